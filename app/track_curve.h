// A track's curve as the edit mode's rows draw it: the track's own evaluation at frames across
// the visible span, and the range those values cover. Plain logic: no UI.
#pragma once

#include "timeline/timeline.h"

#include <cstdint>
#include <span>

struct CurveSample {
    uint32_t frame;
    float value[3]; // FLOAT: [0]; FLOAT3: x, y, z; UINT: [0] as a number
};

// count samples from startFrame, step frames apart (at least one: a frame holds one value),
// each at the whole frame nearest to its place, kept inside the track.
void sampleTrackCurve(const Track& track, float startFrame, float step, std::span<CurveSample> samples);
// The lowest and highest of the samples' components (FLOAT3: all three); a flat curve gets a
// span of 1 about its value, so that it draws in the row's middle.
void curveRange(std::span<const CurveSample> samples, TrackType type, float& low, float& high);
// The number of components a type draws: 3 for FLOAT3, else 1.
uint32_t curveComponents(TrackType type);
