// Track curves for the edit mode's rows (app/track_curve.h).
#include "app/track_curve.h"

#include <algorithm>
#include <cmath>

namespace {

// The keys about a frame, found by walking on from the last frame asked: the frames only grow
// along a row's samples, so a row costs one pass over its visible key slots, not evaluateTrack's
// scan to the neighbouring keys from every sample (thousands of slots in a long gap).
struct KeyWalk {
    uint32_t previous = UINT32_MAX; // the last key at or before the frame; none yet
    uint32_t next = 0;              // the first key after the frame; keys.count when none
    uint32_t walked = 0;            // slots below this have been looked at for previous
};

void walkTo(const Track& track, KeyWalk& walk, uint32_t frame)
{
    for (; walk.walked <= frame; ++walk.walked)
        if (track.keys[walk.walked])
            walk.previous = walk.walked;
    if (walk.next <= frame)
        for (walk.next = frame + 1; walk.next < track.keys.count && !track.keys[walk.next];)
            ++walk.next;
}

// evaluateTrack's rules with the keys already found; the eased values are its own function's.
FrameValue walkedValue(const Track& track, const KeyWalk& walk, uint32_t frame)
{
    if (walk.previous == UINT32_MAX)
        return {track.type, 0, 0, 0}; // before the first key
    const Keyframe& previous = *track.keys[walk.previous];
    if (walk.previous == frame || previous.easing == 0 || walk.next >= track.keys.count)
        return previous.value; // the frame's own key, a held value or the last key's
    return easeBetweenKeys(track, walk.previous, walk.next, frame);
}

} // namespace

void sampleTrackCurve(const Track& track, float startFrame, float step, std::span<CurveSample> samples)
{
    step = std::max(step, 1.0f);
    const float lastFrame = float(track.keys.count - 1);
    KeyWalk walk;
    if (startFrame > 0.0f) // the walk starts at the visible span's first key, not frame 0
        walk.walked = uint32_t(std::min(std::round(startFrame), lastFrame));
    for (walk.previous = walk.walked; walk.previous != UINT32_MAX && !track.keys[walk.previous];)
        walk.previous = walk.previous > 0 ? walk.previous - 1 : UINT32_MAX;
    for (size_t i = 0; i < samples.size(); ++i) {
        const uint32_t frame = uint32_t(std::clamp(std::round(startFrame + float(i) * step), 0.0f, lastFrame));
        walkTo(track, walk, frame);
        const FrameValue value = walkedValue(track, walk, frame);
        CurveSample& sample = samples[i];
        sample.frame = frame;
        if (track.type == TrackType::UINT)
            sample.value[0] = sample.value[1] = sample.value[2] = float(value.x);
        else
            sample.value[0] = asFloat(value.x), sample.value[1] = asFloat(value.y), sample.value[2] = asFloat(value.z);
    }
}

uint32_t curveComponents(TrackType type)
{
    return type == TrackType::FLOAT3 ? 3 : 1;
}

void curveRange(std::span<const CurveSample> samples, TrackType type, float& low, float& high)
{
    low = INFINITY;
    high = -INFINITY;
    for (const CurveSample& sample : samples)
        for (uint32_t c = 0; c < curveComponents(type); ++c) {
            low = std::min(low, sample.value[c]);
            high = std::max(high, sample.value[c]);
        }
    if (!(high > low)) {
        const float middle = std::isfinite(low) ? low : 0.0f;
        low = middle - 0.5f;
        high = middle + 0.5f;
    }
}
