// The title overlay's pixels: a line of text drawn by the platform's font engine and turned
// into white RGBA whose alpha is the coverage. Makes no GPU object; the demo uploads the result.
#pragma once

#include "core/array.h"

#include <cstddef>
#include <cstdint>

// The embedded face (assets/Lato-Light.ttf), turned into a source by the build.
extern const uint8_t titleFontBytes[];
extern const size_t titleFontSize;

constexpr const char* titleText = "TOLVE";
constexpr uint32_t titleCharacterHeight = 80; // pixels: the em square, not the cell
// The smallest text image has the render size's aspect, so the overlay maps onto the
// displayed picture one to one in shape; the text's cell keeps 4 pixels of room.
constexpr uint32_t textImageMinimumWidth = 3840;
constexpr uint32_t textImageMinimumHeight = 2160;
constexpr uint32_t textImageMargin = 4;

// Draws the text centred in an image of max(text width + 4, 3840) x max(text height + 4,
// 2160) pixels and appends the image to `pixels`: rows top to bottom, 4 bytes a pixel
// (R, G, B, A), colour 255 everywhere, alpha the text's coverage. True with width and height
// set; false, with all three outputs as they were and nothing left allocated, when the face
// cannot be opened, a glyph cannot be drawn or the memory cannot be had.
bool rasteriseText(const void* fontBytes, size_t fontSize, uint32_t characterHeight,
                   const char* text, DynamicArray<uint8_t>& pixels, uint32_t& width,
                   uint32_t& height);

// "TOLVE" in the embedded face at a character height of 80 pixels.
bool rasteriseTitle(DynamicArray<uint8_t>& pixels, uint32_t& width, uint32_t& height);

// Turns 32-bit (B, G, R, unused) pixels into (255, 255, 255, A) in place, A being the
// brightest of the three channels, so coloured (sub-pixel) antialiasing still gives one
// coverage value.
void coverageToWhiteRgba(uint8_t* pixels, uint64_t pixelCount);
