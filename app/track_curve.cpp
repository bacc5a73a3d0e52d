// Track curves for the edit mode's rows (app/track_curve.h).
#include "app/track_curve.h"

#include <algorithm>
#include <cmath>

void sampleTrackCurve(const Track& track, float startFrame, float step, std::span<CurveSample> samples)
{
    step = std::max(step, 1.0f);
    const float lastFrame = float(track.keys.count - 1);
    for (size_t i = 0; i < samples.size(); ++i) {
        const uint32_t frame = uint32_t(std::clamp(std::round(startFrame + float(i) * step), 0.0f, lastFrame));
        const FrameValue value = evaluateTrack(track, frame, nullptr);
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
