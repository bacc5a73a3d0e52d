// The title text, for FreeType (Linux) and GDI (Windows; Wine's prefix maps its face to Lato
// Light) alike. Expected positions come from Lato Light's tables: 2000 units to the em,
// usWinAscent 1974, usWinDescent 426, advances T 1158, O 1583, L 1012, V 1311, E 1160 units.
#include "gfx/text.h"
#include "platform/platform.h"
#include "tests/unit/test_platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// Whether every colour byte is 255 and the inked pixels (alpha not zero) keep `margin` columns
// clear on either side. (The title's place in the 3840 x 2160 image shows in the golden frames.)
bool whiteInkWithin(const uint8_t* rgba, uint32_t width, uint32_t height, uint32_t margin)
{
    bool ok = true;
    for (uint64_t i = 0; i < uint64_t(width) * height; ++i) {
        const uint8_t* pixel = rgba + i * 4;
        uint32_t x = uint32_t(i % width);
        ok = ok && pixel[0] == 255 && pixel[1] == 255 && pixel[2] == 255 &&
             (pixel[3] == 0 || (x >= margin && x < width - margin));
    }
    return ok;
}

} // namespace

TEST(TextEngine, MeasuresRoundedAdvancesAndTheWindowsCellAndDrawsClippedGreyCoverage)
{
    // 40 px: 0.02 px a unit. Advances 23.16 + 31.66 + 20.24 + 26.22 + 23.20, each rounded:
    // 23 + 32 + 20 + 26 + 23 = 124 (no kerning). Cell: ascent 39.48 -> 39 + descent 8.52 -> 9.
    EXPECT_EQ(openTextFace(titleFontBytes, titleFontSize, 0), nullptr);
    TextFace* face = openTextFace(titleFontBytes, titleFontSize, 40);
    ASSERT_NE(face, nullptr);
    uint32_t width = 0, height = 0;
    ASSERT_TRUE(measureText(face, "TOLVE", width, height));
    EXPECT_EQ(width, 124u);
    EXPECT_EQ(height, 48u);

    // A 40 x 20 surface between two guard runs of 64 pixels; the cell at (-30, -25) puts the
    // O across the surface's top-left. Wholly outside is no failure.
    constexpr uint32_t w = 40, h = 20;
    constexpr size_t guard = 64 * 4;
    std::vector<uint8_t> memory(guard + w * h * 4 + guard, 0x5A);
    uint8_t* surface = memory.data() + guard;
    for (size_t i = 0; i < w * h; ++i)
        std::memcpy(surface + i * 4, "\0\0\0\x33", 4);
    ASSERT_TRUE(drawText(face, "TOLVE", -30, -25, surface, w, h));
    ASSERT_TRUE(drawText(face, "TOLVE", 1000, -1000, surface, w, h));
    closeTextFace(face);
    EXPECT_EQ(face, nullptr);
    EXPECT_TRUE(std::all_of(memory.begin(), memory.begin() + guard, [](uint8_t b) { return b == 0x5A; }));
    EXPECT_TRUE(std::all_of(memory.end() - guard, memory.end(), [](uint8_t b) { return b == 0x5A; }));
    int inked = 0;
    for (size_t i = 0; i < w * h; ++i) {
        const uint8_t* pixel = surface + i * 4;
        ASSERT_EQ(pixel[3], 0x33) << i; // the fourth byte is left alone
        ASSERT_TRUE(pixel[0] == pixel[1] && pixel[1] == pixel[2]) << i; // white text, grey coverage
        inked += pixel[0] != 0;
    }
    EXPECT_GT(inked, 20);
}

TEST(TitleText, GrowsAroundLargerTextAppendsAndFailsWithoutTouchingTheOutput)
{
    // At 1850 px the text outgrows 3840 x 2160: the image is the text's cell plus 4 pixels,
    // the cell 2 pixels in, appended behind what the array held.
    TextFace* face = openTextFace(titleFontBytes, titleFontSize, 1850);
    ASSERT_NE(face, nullptr);
    uint32_t textWidth = 0, textHeight = 0, width = 0, height = 0;
    ASSERT_TRUE(measureText(face, titleText, textWidth, textHeight));
    closeTextFace(face);
    ASSERT_GT(textWidth, 3840u);
    DynamicArray<uint8_t> pixels;
    pixels.assign(reinterpret_cast<const uint8_t*>("abc"), 3);
    ASSERT_TRUE(rasteriseText(titleFontBytes, titleFontSize, 1850, titleText, pixels, width, height));
    EXPECT_EQ(width, textWidth + 4);
    EXPECT_EQ(height, std::max(textHeight + 4, 2160u));
    ASSERT_EQ(pixels.count, 3 + uint64_t(width) * height * 4);
    EXPECT_EQ(std::memcmp(pixels.data, "abc", 3), 0);
    EXPECT_TRUE(whiteInkWithin(pixels.data + 3, width, height, 2));

    // A face that cannot be opened, or no text: false, and the outputs as they were.
    const uint8_t noFont[256] = {};
    const uint8_t* block = pixels.data;
    uint32_t keptWidth = width;
    if (textFaceNeedsItsBytes) {
        EXPECT_FALSE(rasteriseText(noFont, sizeof(noFont), 80, titleText, pixels, width, height));
        EXPECT_FALSE(rasteriseText(titleFontBytes, 100, 80, titleText, pixels, width, height)); // truncated
    }
    EXPECT_FALSE(rasteriseText(titleFontBytes, titleFontSize, 0, titleText, pixels, width, height));
    EXPECT_FALSE(rasteriseText(titleFontBytes, titleFontSize, 80, nullptr, pixels, width, height));
    EXPECT_EQ(pixels.data, block);
    EXPECT_EQ(width, keptWidth);
    pixels.clear();
}

TEST(TitleText, CoverageIsTheBrightestOfTheThreeChannels)
{
    // Input pixels are B, G, R, unused; coloured fringes come from sub-pixel antialiasing.
    uint8_t pixels[] = {0, 0, 0, 0, 10, 200, 30, 77, 90, 20, 5, 255, 3, 4, 250, 0};
    coverageToWhiteRgba(pixels, 4);
    const uint8_t expected[] = {255, 255, 255, 0, 255, 255, 255, 200, 255, 255, 255, 90, 255, 255, 255, 250};
    EXPECT_EQ(std::memcmp(pixels, expected, sizeof(expected)), 0);
}
