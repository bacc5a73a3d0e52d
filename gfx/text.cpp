// Title text: measures and draws the line through the platform's font engine, centres it in
// an image of at least 3840 x 2160 and converts the coverage into white RGBA.
#include "gfx/text.h"

#include "platform/platform.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

// A block of `bytes` zero bytes after a copy of `existing`, with one byte to spare as the
// array's push keeps it. False when the heap refuses the block.
bool makeGrownCopy(const DynamicArray<uint8_t>& existing, uint64_t bytes, DynamicArray<uint8_t>& grown)
{
    uint64_t total = existing.count + bytes;
    grown.reserve(total + 1);
    if (!grown.data) {
        grown.clear();
        return false;
    }
    if (existing.count)
        std::memcpy(grown.data, existing.data, existing.count);
    std::memset(grown.data + existing.count, 0, bytes);
    grown.count = total;
    return true;
}

} // namespace

bool rasteriseText(const void* fontBytes, size_t fontSize, uint32_t characterHeight,
                   const char* text, DynamicArray<uint8_t>& pixels, uint32_t& width,
                   uint32_t& height)
{
    TextFace* face = openTextFace(fontBytes, fontSize, characterHeight);
    if (!face)
        return false;

    uint32_t textWidth = 0;
    uint32_t textHeight = 0;
    constexpr uint32_t largest = std::numeric_limits<uint32_t>::max() - textImageMargin;
    if (!measureText(face, text, textWidth, textHeight) || textWidth > largest ||
        textHeight > largest) {
        closeTextFace(face);
        return false;
    }
    uint32_t imageWidth = std::max(textWidth + textImageMargin, textImageMinimumWidth);
    uint32_t imageHeight = std::max(textHeight + textImageMargin, textImageMinimumHeight);

    // The byte count must fit beside what the array already holds (and its spare byte).
    uint64_t pixelCount = uint64_t(imageWidth) * imageHeight;
    uint64_t room = (std::numeric_limits<uint64_t>::max() - pixels.count - 1) / 4;
    DynamicArray<uint8_t> image;
    if (pixelCount > room || !makeGrownCopy(pixels, pixelCount * 4, image)) {
        closeTextFace(face);
        return false;
    }

    // The cell is centred; the image is at most 4 pixels larger than the text on a side
    // that the text outgrows, so the halves stay far inside 32 bits.
    uint8_t* surface = image.data + pixels.count;
    int32_t x = int32_t((imageWidth - textWidth) / 2);
    int32_t y = int32_t((imageHeight - textHeight) / 2);
    bool drawn = drawText(face, text, x, y, surface, imageWidth, imageHeight);
    closeTextFace(face);
    if (!drawn) {
        image.clear();
        return false;
    }

    coverageToWhiteRgba(surface, pixelCount);
    pixels.clear();
    pixels = image;
    width = imageWidth;
    height = imageHeight;
    return true;
}

bool rasteriseTitle(DynamicArray<uint8_t>& pixels, uint32_t& width, uint32_t& height)
{
    return rasteriseText(titleFontBytes, titleFontSize, titleCharacterHeight, titleText, pixels,
                         width, height);
}

void coverageToWhiteRgba(uint8_t* pixels, uint64_t pixelCount)
{
    for (uint64_t i = 0; i < pixelCount; ++i) {
        uint8_t* pixel = pixels + i * 4;
        uint8_t alpha = std::max({pixel[0], pixel[1], pixel[2]});
        pixel[0] = 255;
        pixel[1] = 255;
        pixel[2] = 255;
        pixel[3] = alpha;
    }
}
