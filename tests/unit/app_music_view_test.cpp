// The edit mode's music: the waveform's per-column peaks, the tempo and first beat of a click
// track, the snap of a key, the grid file, and the rows' curves.
#include "app/beat_grid.h"
#include "app/music_view.h"
#include "app/track_curve.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

TEST(MusicView, ColumnsTakeEveryFrameTheirSpanTouches)
{
    // Frame f: left from -f to f, right from -2f to 2f.
    std::vector<SoundPeaks> frames(6);
    for (int f = 0; f < 6; ++f)
        frames[f] = {.low = {-float(f), -2.0f * f}, .high = {float(f), 2.0f * f}, .empty = false};
    struct Case {
        float start, perColumn;
        int column;
        float leftHigh; // -1: no frame in the column
    } cases[] = {
        {0.0f, 2.0f, 0, 1.0f},   // [0, 2): frames 0, 1
        {0.0f, 2.0f, 2, 5.0f},   // [4, 6): frames 4, 5
        {0.0f, 2.0f, 3, -1.0f},  // [6, 8): past the sound
        {0.5f, 2.0f, 1, 4.0f},   // [2.5, 4.5): frames 2 to 4
        {1.0f, 0.25f, 3, 1.0f},  // [1.75, 2): inside frame 1
        {1.0f, 0.25f, 4, 2.0f},  // [2, 2.25): inside frame 2
        {-3.0f, 1.0f, 2, -1.0f}, // [-1, 0): before the sound
    };
    for (const Case& c : cases) {
        SoundPeaks columns[5];
        reduceColumns(frames, c.start, c.perColumn, columns);
        const SoundPeaks& got = columns[c.column];
        EXPECT_EQ(got.empty, c.leftHigh < 0.0f) << c.start << " column " << c.column;
        if (c.leftHigh >= 0.0f) {
            EXPECT_EQ(got.high[0], c.leftHigh) << c.start << " column " << c.column;
            EXPECT_EQ(got.low[1], -2.0f * c.leftHigh) << c.start << " column " << c.column;
        }
    }
}

TEST(MusicView, FindsTheTempoAndFirstBeatOfAClickTrack)
{
    // 40 s of 10 ms clicks (a decaying 1 kHz tone) from t0, one a beat, each bar's first at 0.8
    // and the others at `quiet`, over a 200 Hz tone in 20 Hz tremolo; the first beat's frame is
    // t0 * 60. The tremolo flickers with a period of 3 frames, which is no tempo (it gave 120).
    struct Case {
        float bpm, t0, quiet, tremolo;
    } cases[] = {{90.0f, 0.3f, 0.8f, 0.0f}, {128.0f, 0.1f, 0.8f, 0.0f}, {150.0f, 0.35f, 0.8f, 0.0f},
                 {100.0f, 0.2f, 0.1f, 0.3f}};
    for (const Case& c : cases) {
        const uint32_t sampleFrames = 40 * 44100;
        std::vector<float> samples(size_t(sampleFrames) * 2, 0.0f);
        for (uint32_t s = 0; s < sampleFrames; ++s)
            samples[size_t(s) * 2] = c.tremolo * std::sin(6.2831853f * 200.0f * s / 44100.0f) *
                                     std::sin(6.2831853f * 20.0f * s / 44100.0f);
        int beat = 0;
        for (double t = c.t0; t < 40.0 - 0.02; t += 60.0 / c.bpm, ++beat)
            for (uint32_t i = 0, start = uint32_t(std::lround(t * 44100)); i < 441; ++i)
                samples[size_t(start + i) * 2] += (beat % 4 ? c.quiet : 0.8f) * std::exp(-float(i) / 100.0f) *
                                                  std::sin(6.2831853f * 1000.0f * i / 44100.0f);
        for (uint32_t s = 0; s < sampleFrames; ++s)
            samples[size_t(s) * 2 + 1] = samples[size_t(s) * 2];
        MusicView view;
        buildMusicView(view, samples.data(), 32, sampleFrames);
        EXPECT_EQ(view.framePeaks.size(), 2400u) << c.bpm; // 40 s at 60 frames a second
        EXPECT_NEAR(view.tempo.beatsPerMinute, c.bpm, 0.5f) << c.bpm;
        EXPECT_NEAR(view.tempo.firstBeatFrame, c.t0 * 60.0f, 1.0f) << c.bpm;
        ASSERT_FALSE(view.onsets.empty()) << c.bpm;
        EXPECT_NEAR(float(view.onsets[0]), c.t0 * 60.0f, 1.0f) << c.bpm;
    }
}

TEST(BeatGrid, SnapsToTheNearestLineBookmarkOrOnsetInReach)
{
    // 120 bpm: 30 frames a beat; first beat 10, halves: lines at 10, 25, 40, 55, ... 100.
    // 128 bpm: 28.125 frames a beat from 0: beats at 28.125, 56.25, 84.375, 112.5, 140.625.
    const uint32_t bookmarks[] = {100}, onsets[] = {47, 200};
    struct Case {
        float bpm, first;
        uint32_t subdivision;
        bool snapping;
        float frame;
        uint32_t expected;
    } cases[] = {
        {120, 10, 2, true, 26.4f, 25},    // line 25 (1.4 away)
        {120, 10, 2, true, 44.0f, 47},    // onset 47 (3) before line 40 (4)
        {120, 10, 2, true, 101.5f, 100},  // bookmark and line 100
        {120, 10, 2, true, 199.0f, 200},  // onset 200 (1) before line 205 (6: out of reach)
        {120, 10, 2, true, 32.4f, 32},    // lines 25, 40 out of reach: rounded
        {120, 10, 2, false, 26.4f, 26},   // snapping off
        {128, 0, 1, true, 86.0f, 84},     // 84.375: the whole frame nearest is 84
        {128, 0, 1, true, 139.0f, 141},   // 140.625: 141
        {128, 0, 4, true, 118.0f, 120},   // quarters, 7.03125 frames apart: 119.53 is 120
        {120, 10, 1, true, -2.0f, 0},     // line -20 out of reach, the frame inside the timeline
    };
    for (const Case& c : cases) {
        const BeatGrid grid = {.beatsPerMinute = c.bpm, .firstBeatFrame = c.first, .subdivision = c.subdivision,
                               .snapping = c.snapping};
        EXPECT_EQ(snapFrame(c.frame, 4.0f, grid, bookmarks, onsets, 1000), c.expected) << c.bpm << " " << c.frame;
    }
}

TEST(BeatGrid, FileReadsBackAndABrokenOneLeavesTheGrid)
{
    const BeatGrid written = {.beatsPerMinute = 100.5f, .firstBeatFrame = 12.25f, .subdivision = 4, .snapping = false};
    BeatGrid read;
    JsonError error;
    const std::string text = formatGrid(written);
    ASSERT_TRUE(parseGrid(text.c_str(), text.size(), read, error)) << error.message;
    EXPECT_EQ(formatGrid(read), text);
    const char* broken[] = {
        "",
        "{\"bpm\": 100.0, \"firstBeatFrame\": 0, \"subdivision\": 1}",                   // no snapping
        "{\"bpm\": 10.0, \"firstBeatFrame\": 0, \"subdivision\": 1, \"snapping\": true}", // too slow
        "{\"bpm\": 100.0, \"firstBeatFrame\": 0, \"subdivision\": 3, \"snapping\": true}",
        "{\"bpm\": \"fast\", \"firstBeatFrame\": 0, \"subdivision\": 1, \"snapping\": true}",
        "{\"bpm\": 100.0, \"firstBeatFrame\": -5, \"subdivision\": 1, \"snapping\": true}",
        "[1, 2",
    };
    for (const char* document : broken) {
        JsonError brokenError;
        EXPECT_FALSE(parseGrid(document, std::strlen(document), read, brokenError)) << document;
        EXPECT_TRUE(brokenError.failed && brokenError.message[0]) << document;
        EXPECT_EQ(formatGrid(read), text) << document;
    }
}

TEST(TrackCurve, SamplesAreTheTracksValueAtWholeFrames)
{
    Timeline* timeline = createTimeline(100);
    Track& position = *addTrack(*timeline, "p", TrackType::FLOAT3);
    const Float3 from = {0.0f, 10.0f, -4.0f}, to = {8.0f, 10.0f, 4.0f};
    setKeyFloat3(*timeline, "p", 10, &from, 1); // easing 1: linear
    setKeyFloat3(*timeline, "p", 18, &to, 0);
    struct Case {
        float start, step;
        uint32_t frames[3];
    } cases[] = {{9.6f, 0.25f, {10, 11, 12}}, {11.6f, 2.5f, {12, 14, 17}}, {97.0f, 2.0f, {97, 99, 99}}};
    for (const Case& c : cases) {
        CurveSample samples[3];
        sampleTrackCurve(position, c.start, c.step, samples);
        for (uint32_t i = 0; i < 3; ++i) {
            EXPECT_EQ(samples[i].frame, c.frames[i]) << c.start << " " << i;
            // Linear from key 10 to 18, then held: x runs 0 to 8, z -4 to 4, y stays 10.
            const float t = std::min(float(c.frames[i]) - 10.0f, 8.0f) / 8.0f;
            EXPECT_NEAR(samples[i].value[0], 8.0f * t, 1e-5f) << c.frames[i];
            EXPECT_EQ(samples[i].value[1], 10.0f) << c.frames[i];
            EXPECT_NEAR(samples[i].value[2], -4.0f + 8.0f * t, 1e-5f) << c.frames[i];
        }
    }
    float low = 0.0f, high = 0.0f;
    CurveSample samples[3];
    sampleTrackCurve(position, 12.0f, 2.0f, samples); // frames 12, 14, 16: x 2..6, y 10, z -2..2
    curveRange(samples, TrackType::FLOAT3, low, high);
    EXPECT_EQ(low, -2.0f);
    EXPECT_EQ(high, 10.0f);
    destroyTimeline(timeline);
}
