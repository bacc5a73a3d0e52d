// The tools' pictures: PNG files written and read back, and the tolerant comparison that
// judges a captured frame against its reference.
#include "tools/image_compare.h"
#include "tools/png_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

RgbaImage solidImage(uint32_t width, uint32_t height, uint8_t r, uint8_t g, uint8_t b)
{
    RgbaImage image;
    image.width = width;
    image.height = height;
    image.pixels.reserve(uint64_t(width) * height * 4 + 1);
    for (uint64_t i = 0; i < uint64_t(width) * height; ++i) {
        for (uint8_t value : {r, g, b, uint8_t(255)})
            image.pixels.push(value);
    }
    return image;
}

void setPixel(RgbaImage& image, uint32_t index, uint8_t r, uint8_t g, uint8_t b, uint8_t a)
{
    uint8_t* p = image.pixels.data + index * 4;
    p[0] = r;
    p[1] = g;
    p[2] = b;
    p[3] = a;
}

std::string outputPath(const char* name)
{
    std::filesystem::create_directories(KIVREL_TEST_OUTPUT_DIR);
    return std::string(KIVREL_TEST_OUTPUT_DIR) + "/" + name;
}

} // namespace

TEST(ImageCompare, MeanOverEveryColourChannelAndShareOfPixelsAboveThreshold)
{
    RgbaImage reference = solidImage(2, 2, 100, 100, 100);
    RgbaImage captured = solidImage(2, 2, 100, 100, 100);
    setPixel(captured, 0, 100, 100, 100, 0); // alpha alone differs: not a difference
    setPixel(captured, 1, 103, 100, 100, 255); // 3
    setPixel(captured, 2, 100, 80, 100, 255);  // 20
    setPixel(captured, 3, 100, 100, 0, 255);   // 100

    // Sum 3 + 20 + 100 = 123 over 4 pixels x 3 channels: 10.25. Above 16: pixels 2 and 3.
    ImageDifference difference = compareImages(reference, captured, 16);
    EXPECT_TRUE(difference.sameSize);
    EXPECT_DOUBLE_EQ(difference.meanAbsolute, 10.25);
    EXPECT_DOUBLE_EQ(difference.shareOverThreshold, 0.5);
    EXPECT_EQ(difference.largest, 100u);
    // "Above" is strict: at threshold 20 the pixel off by 20 no longer counts.
    EXPECT_DOUBLE_EQ(compareImages(reference, captured, 20).shareOverThreshold, 0.25);
    // The comparison is symmetric.
    EXPECT_DOUBLE_EQ(compareImages(captured, reference, 16).meanAbsolute, 10.25);

    // Both limits are inclusive; either one exceeded fails.
    EXPECT_TRUE(withinTolerance(difference, {.pixelThreshold = 16, .maxMeanAbsolute = 10.25,
                                             .maxShareOverThreshold = 0.5}));
    EXPECT_FALSE(withinTolerance(difference, {.pixelThreshold = 16, .maxMeanAbsolute = 10.0,
                                              .maxShareOverThreshold = 0.5}));
    EXPECT_FALSE(withinTolerance(difference, {.pixelThreshold = 16, .maxMeanAbsolute = 11.0,
                                              .maxShareOverThreshold = 0.25}));
    freeImage(reference);
    freeImage(captured);
}

TEST(ImageCompare, PicturesOfAnotherSizeNeverMatch)
{
    RgbaImage wide = solidImage(4, 1, 0, 0, 0);
    RgbaImage tall = solidImage(1, 4, 0, 0, 0); // the same bytes, another shape
    ImageDifference difference = compareImages(wide, tall, 16);
    EXPECT_FALSE(difference.sameSize);
    EXPECT_FALSE(withinTolerance(difference, {.pixelThreshold = 255, .maxMeanAbsolute = 255, .maxShareOverThreshold = 1}));
    RgbaImage empty;
    EXPECT_FALSE(withinTolerance(compareImages(empty, wide, 16), {}));
    freeImage(wide);
    freeImage(tall);
}

TEST(PngFile, WritesOpaqueRgbAndReadsItBackAsRgba)
{
    // 3 x 2 pixels, with an alpha that the opaque file drops.
    const uint8_t pixels[3 * 2 * 4] = {
        255, 0, 0, 255, 0, 255, 0, 128, 0, 0, 255, 0,
        1, 2, 3, 4, 250, 251, 252, 253, 0, 0, 0, 255,
    };
    std::string path = outputPath("png_round_trip.png");
    ASSERT_TRUE(writePng(path.c_str(), pixels, 3, 2));
    RgbaImage image;
    ASSERT_TRUE(readPng(path.c_str(), image));
    EXPECT_EQ(image.width, 3u);
    EXPECT_EQ(image.height, 2u);
    ASSERT_EQ(image.pixels.count, 24u);
    for (uint32_t i = 0; i < 6; ++i) {
        for (uint32_t channel = 0; channel < 3; ++channel)
            EXPECT_EQ(image.pixels[i * 4 + channel], pixels[i * 4 + channel]) << "pixel " << i;
        EXPECT_EQ(image.pixels[i * 4 + 3], 255) << "pixel " << i;
    }
    freeImage(image);
}

TEST(PngFile, ReportsFilesThatCannotBeWrittenOrRead)
{
    const uint8_t pixel[4] = {1, 2, 3, 255};
    std::string missingFolder = outputPath("no_such_folder/frame.png");
    std::filesystem::remove_all(outputPath("no_such_folder"));
    EXPECT_FALSE(writePng(missingFolder.c_str(), pixel, 1, 1));
    EXPECT_FALSE(writePng(outputPath("empty.png").c_str(), pixel, 0, 1));

    RgbaImage image;
    EXPECT_FALSE(readPng(missingFolder.c_str(), image));
    std::string notPng = outputPath("not_a_png.png");
    std::FILE* file = std::fopen(notPng.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fputs("plain text, not a picture", file);
    std::fclose(file);
    EXPECT_FALSE(readPng(notPng.c_str(), image));
    EXPECT_EQ(image.pixels.data, nullptr);
}
