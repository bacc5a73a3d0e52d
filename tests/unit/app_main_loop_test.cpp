// The main loop's bookkeeping driven by a fake steady clock, a fake display that presents at a
// fixed rate and a fake audio device that takes 10 ms steps: the frames shown, the audio clock,
// the simulation step, the end of the piece, hiding the window and Escape.
#include "tests/unit/app_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr double deviceStep = 10.0;    // milliseconds: 441 frames at 44100 Hz, as SDL takes them here
constexpr double deviceLatency = 10.0; // one step
constexpr double deviceStart = 5.0;    // the device starts taking 5 ms after play()
constexpr double endOfMusic = 7401 * 1000.0 / 60.0; // the clock at which frame 7401 is reached: 123350 ms
constexpr uint32_t never = UINT32_MAX;

struct FakeRun : StartedDemo {
    double period;                 // milliseconds per presented frame
    uint32_t stallAfter = never;    // the display stalls 3 s after presenting this frame
    uint32_t hideAfter = never;     // the window is hidden for 10 s after this frame
    uint32_t underrunAfter = never; // the device takes nothing for 1 s after this frame
    int quitAtIteration = -1;

    MainLoop loop;
    double clock = 5000.0;         // milliseconds
    int updatesUntilReady = 3;     // ready in the third frame, after two preparing ones
    double playAt = -1.0;          // when play() was called
    double hideFrom = 1e300, hideUntil = 1e300;
    double underrunFrom = 1e300, underrunUntil = 1e300;
    int iteration = 0;
    std::vector<uint32_t> shown;   // the frame of every iteration that rendered the scene
    std::vector<float> dt, time;   // SimulationData.dt and .time when each scene was recorded
    int preparingFrames = 0;
    int hiddenTicks = 0;

    SoundtrackSource soundtrack{
        .update = [this] { updatesUntilReady -= updatesUntilReady > 0; },
        .ready = [this] { return updatesUntilReady == 0; },
        .recordRender = [this] { ++preparingFrames; },
        .playing = [this] { return playAt >= 0.0; },
        .play = [this] { playAt = clock; },
        .clock = [this] { return deviceClock(); },
    };
    FrameSink frames{
        .pumpMessages = [this] { return iteration++ == quitAtIteration; },
        .shown = [this] { return clock < hideFrom || clock >= hideUntil; },
        .waitUntil = [this](double until) { ++hiddenTicks; clock = until; },
        .beginFrame = [] {},
        .recordScene =
            [this] {
                shown.push_back(state.simulation.frame);
                dt.push_back(state.simulation.dt);
                time.push_back(state.simulation.time);
            },
        .endFrame = [this] { present(); },
    };

    explicit FakeRun(double refreshHz) : period(1000.0 / refreshHz) {}

    void present()
    {
        clock += period;
        if (shown.empty() || loop.phase != LoopPhase::Playing)
            return;
        uint32_t frame = shown.back();
        if (frame == stallAfter)
            clock += 3000.0;
        if (frame == hideAfter && hideFrom > 1e299) {
            hideFrom = clock - period / 2; // from the next iteration on, clear of its start
            hideUntil = hideFrom + 10000.0;
        }
        if (frame == underrunAfter && underrunFrom > 1e299) {
            underrunFrom = clock;
            underrunUntil = clock + 1000.0;
        }
    }

    // Whole 10 ms steps of the time the device has been playing, outside its underrun.
    PlaybackClock deviceClock() const
    {
        auto overlap = [&](double t) { return std::clamp(t, underrunFrom, underrunUntil) - underrunFrom; };
        double started = playAt + deviceStart;
        double played = std::max(clock - started - overlap(clock), 0.0);
        double taken = std::floor(played / deviceStep) * deviceStep;
        double movedAt = started + taken + (started + taken >= underrunFrom ? underrunUntil - underrunFrom : 0.0);
        return {.taken = taken, .movedAt = movedAt, .step = deviceStep, .latency = deviceLatency};
    }

    void run() { runMainLoop(loop, state, *timeline, [this] { return clock; }, soundtrack, frames); }
};

// How often each frame was shown once the music played (all but the Starting iteration).
std::vector<int> showings(const std::vector<uint32_t>& shown)
{
    std::vector<int> count(shown.back() + 1, 0);
    for (size_t i = 1; i < shown.size(); ++i)
        count[shown[i]] += 1;
    return count;
}

// Derivations: play() is called at t0 in the Starting iteration; the k-th Playing iteration
// (k = 0, 1, ...) reads the clock after its present, at t0 + (k + 2) × period, where it reads
// (k + 2) × period - 15 ms (the device runs from t0 + 5 ms, the latency is one 10 ms step).
// Only the smooth clock reads that: the device's own count is up to 10 ms (0.6 frames) behind.
struct MainLoopCase {
    const char* name;
    double refreshHz;
    uint32_t stallAfter, hideAfter, underrunAfter;
    uint32_t lastShown;
    void (*check)(FakeRun& run);
};
const MainLoopCase mainLoopCases[] = {
    // 60 Hz: iteration k + 1 shows floor(((k + 2) × 16.667 - 15) × 0.06) = floor(k + 1.1) = k + 1.
    // Scene i + 1 (frame i) steps by the iteration before at its time scale: 16.667 ms x 0.025,
    // and x 0.02 after frame 3255. Every scene adds one period to the accumulated time.
    {"60 Hz", 60.0, never, never, never, 7400, [](FakeRun& run) {
         for (int count : showings(run.shown))
             ASSERT_EQ(count, 1); // 0, 1, 2, ... 7400: no repeat, no skip
         EXPECT_NEAR(run.time[2], 2 * 1000.0 / 60.0 - 15.0, 1e-3); // what frame 1 runs with
         EXPECT_NEAR(run.dt[3255 + 1], 0.41667f, 1e-4f);
         EXPECT_NEAR(run.dt[3256 + 1], 0.33333f, 1e-4f);
         EXPECT_NEAR(run.state.frame.time, float(7402 * run.period), 40.0f); // summed in float
     }},
    // 30 Hz: floor(((k + 2) × 33.333 - 15) × 0.06) = 2k + 3: frames 0, 3, 5, ... 7399, but
    // for the scene layout: 3253, then 3254 and 3255 where 3255 and 3257 were read, then 3259.
    {"30 Hz", 30.0, never, never, never, 7399, [](FakeRun& run) {
         for (size_t i = 2; i + 1 < run.shown.size(); ++i) {
             uint32_t frame = run.shown[i];
             uint32_t expected = frame == 3253 ? 3254 : frame == 3254 ? 3255 : frame == 3255 ? 3259 : frame + 2;
             ASSERT_EQ(run.shown[i + 1], expected) << i;
         }
     }},
    // 144 Hz: 2.4 presents a frame, so each frame from 1 on is shown two or three times.
    {"144 Hz", 144.0, never, never, never, 7400, [](FakeRun& run) {
         std::vector<int> count = showings(run.shown);
         for (uint32_t frame = 1; frame < count.size(); ++frame)
             ASSERT_TRUE(count[frame] == 2 || count[frame] == 3) << frame;
     }},
    // 3 s (180 frames) more after frame 3200 reads 3201 + 180, 3382, 3383: scene 1 is still
    // laid out (3254, 3255) first, then the music's 3383. The step after the stall is
    // 100 ms x 0.025, the next one 16.667 ms x 0.025.
    {"60 Hz, a 3 s stall", 60.0, 3200, never, never, 7400, [](FakeRun& run) {
         auto stall = std::find(run.shown.begin(), run.shown.end(), 3200u) - run.shown.begin();
         EXPECT_EQ(run.shown[stall + 1], 3254u);
         EXPECT_EQ(run.shown[stall + 2], 3255u);
         EXPECT_EQ(run.shown[stall + 3], 3383u);
         EXPECT_EQ(run.shown[stall + 4], 3384u);
         EXPECT_NEAR(run.dt[stall + 1], 2.5f, 1e-6f);
         EXPECT_NEAR(run.dt[stall + 2], 1000.0f / 60.0f * 0.025f, 1e-5f);
     }},
    // Hidden for 10 s = 600 ticks after frame 1000: nothing is rendered, and the first
    // frame shown again is the music's, 1601.
    {"60 Hz, hidden 10 s", 60.0, never, 1000, never, 7400, [](FakeRun& run) {
         EXPECT_EQ(run.hiddenTicks, 600);
         auto hidden = std::find(run.shown.begin(), run.shown.end(), 1000u) - run.shown.begin();
         EXPECT_EQ(run.shown[hidden + 1], 1601u);
         EXPECT_EQ(run.shown.size(), 1u + 7401u - 600u);
     }},
    // The device takes nothing for 1 s (60 presents) from the read that gives frame 2001:
    // its count stops at 33360 ms, where the clock waits (one step ahead, less the 10 ms
    // latency), so frame 2001 is shown 61 times; then the music goes on without a skip.
    {"60 Hz, a 1 s underrun", 60.0, never, never, 2000, 7400, [](FakeRun& run) {
         std::vector<int> count = showings(run.shown);
         for (uint32_t frame = 0; frame < count.size(); ++frame)
             ASSERT_EQ(count[frame], frame == 2001 ? 61 : 1) << frame;
     }},
};

} // namespace

TEST(MainLoop, FramesFollowTheMusicOnEveryDisplayAndEndAtTheSameMusicTime)
{
    for (const MainLoopCase& c : mainLoopCases) {
        SCOPED_TRACE(c.name);
        FakeRun run(c.refreshHz);
        run.stallAfter = c.stallAfter;
        run.hideAfter = c.hideAfter;
        run.underrunAfter = c.underrunAfter;
        run.run();
        EXPECT_EQ(run.preparingFrames, 2);
        EXPECT_EQ(run.loop.phase, LoopPhase::Teardown);
        // Frame 0 while the music starts, then frame 0 again: the first frame of the music.
        ASSERT_GE(run.shown.size(), 2u);
        EXPECT_EQ(run.shown[0], 0u);
        EXPECT_EQ(run.shown[1], 0u);
        EXPECT_TRUE(std::is_sorted(run.shown.begin(), run.shown.end()));
        EXPECT_EQ(run.shown.back(), c.lastShown);
        // The loop ends at the first reading past frame 7400: within one present of 123.35 s.
        EXPECT_GE(run.loop.heard, endOfMusic);
        EXPECT_LT(run.loop.heard, endOfMusic + run.period);
        EXPECT_EQ(run.state.simulation.time, float(run.loop.heard));
        c.check(run);
    }
}
