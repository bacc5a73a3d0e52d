// Title text image: size, white colour, coverage alpha, centring, growth, failures.
// Expected positions come from Lato Light's tables: 2000 units to the em, usWinAscent 1974,
// usWinDescent 426, advances T 1158, O 1583, L 1012, V 1311, E 1160 units.
#include "gfx/text.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

// Inclusive bounds of the pixels whose alpha is not zero.
struct InkBox {
    uint32_t left = UINT32_MAX;
    uint32_t top = UINT32_MAX;
    uint32_t right = 0;
    uint32_t bottom = 0;
    bool empty = true;
};

InkBox findInk(const uint8_t* rgba, uint32_t width, uint32_t height)
{
    InkBox box;
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            if (rgba[(uint64_t(y) * width + x) * 4 + 3] == 0)
                continue;
            box.left = std::min(box.left, x);
            box.right = std::max(box.right, x);
            box.top = std::min(box.top, y);
            box.bottom = std::max(box.bottom, y);
            box.empty = false;
        }
    }
    return box;
}

bool everyColourByteIs255(const uint8_t* rgba, uint64_t pixelCount)
{
    for (uint64_t i = 0; i < pixelCount; ++i) {
        if (rgba[i * 4] != 255 || rgba[i * 4 + 1] != 255 || rgba[i * 4 + 2] != 255)
            return false;
    }
    return true;
}

// The alpha channel as grey: the title as it shows over a black picture.
void writeAlphaPng(const char* name, const uint8_t* rgba, uint32_t width, uint32_t height)
{
    std::filesystem::create_directories(KIVREL_TEST_OUTPUT_DIR);
    std::string path = std::string(KIVREL_TEST_OUTPUT_DIR) + "/" + name;
    uint8_t* grey = static_cast<uint8_t*>(std::malloc(uint64_t(width) * height));
    ASSERT_NE(grey, nullptr);
    for (uint64_t i = 0; i < uint64_t(width) * height; ++i)
        grey[i] = rgba[i * 4 + 3];
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = width;
    image.height = height;
    image.format = PNG_FORMAT_GRAY;
    EXPECT_NE(png_image_write_to_file(&image, path.c_str(), 0, grey, 0, nullptr), 0) << path;
    std::free(grey);
}

} // namespace

TEST(TitleText, FillsA3840x2160ImageWithWhiteCoverageTheSameEveryTime)
{
    DynamicArray<uint8_t> pixels;
    uint32_t width = 0;
    uint32_t height = 0;
    ASSERT_TRUE(rasteriseTitle(pixels, width, height));
    // "TOLVE" at 80 pixels is 247 x 96 (see below): far inside the minimum image.
    EXPECT_EQ(width, 3840u);
    EXPECT_EQ(height, 2160u);
    ASSERT_EQ(pixels.count, 3840u * 2160u * 4u); // 33 177 600 bytes
    EXPECT_TRUE(everyColourByteIs255(pixels.data, uint64_t(width) * height));

    DynamicArray<uint8_t> again;
    uint32_t againWidth = 0;
    uint32_t againHeight = 0;
    ASSERT_TRUE(rasteriseTitle(again, againWidth, againHeight));
    EXPECT_EQ(againWidth, width);
    EXPECT_EQ(againHeight, height);
    ASSERT_EQ(again.count, pixels.count);
    EXPECT_EQ(std::memcmp(again.data, pixels.data, pixels.count), 0);

    writeAlphaPng("title_alpha.png", pixels.data, width, height);
    pixels.clear();
    again.clear();
}

TEST(TitleText, CentresTheCellAndInksOnlyTheGlyphs)
{
    DynamicArray<uint8_t> pixels;
    uint32_t width = 0;
    uint32_t height = 0;
    ASSERT_TRUE(rasteriseTitle(pixels, width, height));
    ASSERT_EQ(pixels.count, uint64_t(width) * height * 4);

    // At 80 pixels a font unit is 0.04 px. Advances 46.32 + 63.32 + 40.48 + 52.44 + 46.40,
    // each rounded: 46 + 63 + 40 + 52 + 46 = 247. Cell height: ascent 78.96 -> 79, descent
    // 17.04 -> 17, 96 in all. Cell origin ((3840 - 247) / 2, (2160 - 96) / 2) = (1796, 1032);
    // baseline 1032 + 79 = 1111.
    // T starts 29 units (1.16 px) in: column 1797. E's pen is 1796 + 46 + 63 + 40 + 52 = 1997
    // and its right edge 1059 units (42.36 px) on: column 2039. O rises 1431 units (57.24 px)
    // above the baseline, to row 1053, and dips 15 units (0.6 px) below it: row 1111.
    // Hinting may move an edge by one pixel.
    InkBox ink = findInk(pixels.data, width, height);
    ASSERT_FALSE(ink.empty);
    EXPECT_NEAR(ink.left, 1797, 1);
    EXPECT_NEAR(ink.right, 2039, 1);
    EXPECT_NEAR(ink.top, 1053, 1);
    EXPECT_NEAR(ink.bottom, 1111, 1);

    // Nothing outside the cell [1796, 2043) x [1032, 1128).
    EXPECT_GE(ink.left, 1796u);
    EXPECT_LT(ink.right, 2043u);
    EXPECT_GE(ink.top, 1032u);
    EXPECT_LT(ink.bottom, 1128u);

    // The cell is what is centred; the capitals hang 79 - 57 = 22 px below its top and 17 px
    // above its bottom, so the ink's centre sits about 2.5 px low and 1.5 px left.
    double inkCentreX = (ink.left + ink.right + 1) / 2.0;
    double inkCentreY = (ink.top + ink.bottom + 1) / 2.0;
    EXPECT_NEAR(inkCentreX, width / 2.0, 2.5);
    EXPECT_NEAR(inkCentreY, height / 2.0, 3.5);

    // Every vertical stroke crosses the row halfway up the capitals (1111 - 28); their
    // insides, wider than a pixel at this size, are fully covered.
    uint8_t strongest = 0;
    for (uint32_t x = 0; x < width; ++x)
        strongest = std::max(strongest, pixels.data[(uint64_t(1083) * width + x) * 4 + 3]);
    EXPECT_EQ(strongest, 255);
    pixels.clear();
}

TEST(TitleText, GrowsAroundTextLargerThan3840x2160AndAppends)
{
    // At 1850 pixels a unit is 0.925 px. Advances 1071.15 + 1464.275 + 936.1 + 1212.675 +
    // 1073.0 rounded: 1071 + 1464 + 936 + 1213 + 1073 = 5757; cell height 1825.95 -> 1826
    // plus 394.05 -> 394 = 2220. Image (5757 + 4) x (2220 + 4) with the cell at (2, 2).
    DynamicArray<uint8_t> pixels;
    const uint8_t before[3] = {7, 8, 9};
    pixels.assign(before, 3);
    uint32_t width = 0;
    uint32_t height = 0;
    ASSERT_TRUE(rasteriseText(titleFontBytes, titleFontSize, 1850, titleText, pixels, width,
                              height));
    EXPECT_EQ(width, 5761u);
    EXPECT_EQ(height, 2224u);
    ASSERT_EQ(pixels.count, 3 + uint64_t(width) * height * 4);
    EXPECT_EQ(std::memcmp(pixels.data, before, 3), 0);

    const uint8_t* image = pixels.data + 3;
    EXPECT_TRUE(everyColourByteIs255(image, uint64_t(width) * height));
    // The ink stays inside the cell [2, 5759) x [2, 2222): the 2-pixel border is clear.
    InkBox ink = findInk(image, width, height);
    ASSERT_FALSE(ink.empty);
    EXPECT_GE(ink.left, 2u);
    EXPECT_LT(ink.right, 5759u);
    EXPECT_GE(ink.top, 2u);
    EXPECT_LT(ink.bottom, 2222u);
    pixels.clear();
}

TEST(TitleText, AlphaIsTheBrightestChannel)
{
    // Input pixels are B, G, R, unused; coloured fringes come from sub-pixel antialiasing.
    uint8_t pixels[] = {
        0,   0,   0,   0,   // no coverage
        10,  200, 30,  77,  // green brightest: 200; the unused byte plays no part
        90,  20,  5,   255, // blue brightest: 90
        3,   4,   250, 0,   // red brightest: 250
        255, 255, 255, 0,   // full coverage
    };
    coverageToWhiteRgba(pixels, 5);
    const uint8_t expected[] = {
        255, 255, 255, 0,   255, 255, 255, 200, 255, 255, 255, 90,
        255, 255, 255, 250, 255, 255, 255, 255,
    };
    EXPECT_EQ(std::memcmp(pixels, expected, sizeof(expected)), 0);
}

TEST(TitleText, UnusableFaceFailsAndLeavesTheOutputAsItWas)
{
    DynamicArray<uint8_t> pixels;
    const uint8_t before[3] = {1, 2, 3};
    pixels.assign(before, 3);
    const uint8_t* block = pixels.data;
    uint32_t width = 7;
    uint32_t height = 9;
    uint8_t noFont[256];
    std::memset(noFont, 'x', sizeof(noFont));

    EXPECT_FALSE(rasteriseText(noFont, sizeof(noFont), 80, titleText, pixels, width, height));
    EXPECT_FALSE(rasteriseText(nullptr, 0, 80, titleText, pixels, width, height));
    EXPECT_FALSE(rasteriseText(titleFontBytes, 100, 80, titleText, pixels, width, height))
        << "a truncated font file";
    EXPECT_FALSE(rasteriseText(titleFontBytes, titleFontSize, 0, titleText, pixels, width,
                               height));
    EXPECT_FALSE(rasteriseText(titleFontBytes, titleFontSize, 80, nullptr, pixels, width,
                               height));

    EXPECT_EQ(pixels.data, block);
    EXPECT_EQ(pixels.count, 3u);
    EXPECT_EQ(std::memcmp(pixels.data, before, 3), 0);
    EXPECT_EQ(width, 7u);
    EXPECT_EQ(height, 9u);
    pixels.clear();
}
