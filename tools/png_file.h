// PNG files of the tools (libpng on Linux, the Windows Imaging Component on Windows): frames
// written as 8-bit RGB, any PNG read back as RGBA8.
#pragma once

#include "core/array.h"

#include <cstdint>

// Tightly packed RGBA8 rows, top row first.
struct RgbaImage {
    DynamicArray<uint8_t> pixels; // width * height * 4 bytes
    uint32_t width = 0, height = 0;
};

// Writes width x height RGBA8 pixels as an opaque RGB PNG (alpha dropped: frames are opaque).
// False, with a file already at path left as it was, when the file cannot be written.
bool writePng(const char* path, const uint8_t* rgba, uint32_t width, uint32_t height);
// Any PNG as RGBA8; false when the file is missing or not a PNG.
bool readPng(const char* path, RgbaImage& image);
inline void freeImage(RgbaImage& image)
{
    image.pixels.clear();
    image.width = 0;
    image.height = 0;
}
