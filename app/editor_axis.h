// The track panel's time axis, shared by its parts (app/editor_tracks.cpp, app/editor_music.cpp):
// screen x against timeline frames. Frame f's sound and value start at frameX(f).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

// The axis: x of its left edge and width in screen pixels, over the timeline's frames.
struct Axis {
    float left, width;
    float start, framesPerPixel;
    uint32_t frameCount;
};

inline float frameX(const Axis& axis, float frame)
{
    return axis.left + (frame - axis.start) / axis.framesPerPixel;
}

inline float frameAtX(const Axis& axis, float x)
{
    return axis.start + (x - axis.left) * axis.framesPerPixel;
}

inline uint32_t frameAt(const Axis& axis, float x)
{
    return uint32_t(std::clamp(std::round(frameAtX(axis, x)), 0.0f, float(axis.frameCount - 1)));
}
