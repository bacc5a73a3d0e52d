// The scene images' formats and its 32 x 32 compute tiles, shared by the scene's creation
// (scene.cpp) and its frame recording (scene_frame.cpp).
#pragma once

#include "gfx/types.h"

#include <cstdint>

constexpr uint32_t rgba16f = FORMAT_R16G16B16A16_FLOAT;
constexpr uint32_t rgba32f = FORMAT_R32G32B32A32_FLOAT;
constexpr uint32_t r32f = FORMAT_R32_FLOAT;
constexpr uint32_t rgba8 = FORMAT_R8G8B8A8_UNORM;

// Tiles of 32 pixels (the compute groups) that cover a render size of `pixels`.
constexpr uint32_t tileCount(uint32_t pixels)
{
    return (pixels + 31) / 32;
}
