// The tools' pictures: PNG files written and read back, and the tolerant comparison that
// judges a captured frame against its reference.
#include "tools/image_compare.h"
#include "tools/png_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

RgbaImage imageOf(uint32_t width, uint32_t height, const uint8_t* rgba)
{
    RgbaImage image;
    image.width = width;
    image.height = height;
    image.pixels.assign(rgba, uint64_t(width) * height * 4);
    return image;
}

std::string outputPath(const char* name)
{
    std::filesystem::create_directories(KIVREL_TEST_OUTPUT_DIR);
    return std::string(KIVREL_TEST_OUTPUT_DIR) + "/" + name;
}

} // namespace

TEST(ImageCompare, MeanOverEveryColourChannelShareAboveThresholdAndSizeMustMatch)
{
    const uint8_t grey[16] = {100, 100, 100, 255, 100, 100, 100, 255, 100, 100, 100, 255, 100, 100, 100, 255};
    const uint8_t off[16] = {
        100, 100, 100, 0,   // alpha alone differs: not a difference
        103, 100, 100, 255, // 3
        100, 80, 100, 255,  // 20
        100, 100, 0, 255,   // 100
    };
    RgbaImage reference = imageOf(2, 2, grey), captured = imageOf(2, 2, off), wide = imageOf(4, 1, grey);
    // Sum 3 + 20 + 100 = 123 over 4 pixels x 3 channels: 10.25. Above 16: pixels 2 and 3.
    ImageDifference difference = compareImages(reference, captured, 16);
    EXPECT_TRUE(difference.sameSize);
    EXPECT_DOUBLE_EQ(difference.meanAbsolute, 10.25);
    EXPECT_DOUBLE_EQ(difference.shareOverThreshold, 0.5);
    EXPECT_EQ(difference.largest, 100u);
    // "Above" is strict: at threshold 20 the pixel off by 20 no longer counts.
    EXPECT_DOUBLE_EQ(compareImages(captured, reference, 20).shareOverThreshold, 0.25);
    // Both limits are inclusive; either one exceeded fails; another shape never matches.
    EXPECT_TRUE(withinTolerance(difference, {.pixelThreshold = 16, .maxMeanAbsolute = 10.25, .maxShareOverThreshold = 0.5}));
    EXPECT_FALSE(withinTolerance(difference, {.pixelThreshold = 16, .maxMeanAbsolute = 10.0, .maxShareOverThreshold = 0.5}));
    EXPECT_FALSE(withinTolerance(difference, {.pixelThreshold = 16, .maxMeanAbsolute = 11.0, .maxShareOverThreshold = 0.25}));
    EXPECT_FALSE(withinTolerance(compareImages(reference, wide, 16),
                                 {.pixelThreshold = 255, .maxMeanAbsolute = 255, .maxShareOverThreshold = 1}));
    freeImage(reference);
    freeImage(captured);
    freeImage(wide);
}

TEST(PngFile, WritesOpaqueRgbReadsItBackAsRgbaAndReportsWhatCannotBeWrittenOrRead)
{
    // 3 x 1 pixels, with an alpha that the opaque file drops.
    const uint8_t pixels[12] = {255, 0, 0, 255, 0, 255, 0, 128, 1, 2, 3, 0};
    const uint8_t opaque[12] = {255, 0, 0, 255, 0, 255, 0, 255, 1, 2, 3, 255};
    std::string path = outputPath("png_round_trip.png");
    ASSERT_TRUE(writePng(path.c_str(), pixels, 3, 1));
    RgbaImage image;
    ASSERT_TRUE(readPng(path.c_str(), image));
    EXPECT_EQ(image.width, 3u);
    ASSERT_EQ(image.pixels.count, 12u);
    EXPECT_EQ(std::memcmp(image.pixels.data, opaque, 12), 0);
    freeImage(image);

    std::string missingFolder = outputPath("no_such_folder/frame.png");
    std::filesystem::remove_all(outputPath("no_such_folder"));
    EXPECT_FALSE(writePng(missingFolder.c_str(), pixels, 1, 1));
    EXPECT_FALSE(writePng(outputPath("empty.png").c_str(), pixels, 0, 1));
    EXPECT_FALSE(readPng(missingFolder.c_str(), image));
    std::string notPng = outputPath("not_a_png.png");
    std::FILE* file = std::fopen(notPng.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fputs("plain text, not a picture", file);
    std::fclose(file);
    EXPECT_FALSE(readPng(notPng.c_str(), image));
    EXPECT_EQ(image.pixels.data, nullptr);
}
