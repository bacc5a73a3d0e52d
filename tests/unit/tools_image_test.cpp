// The comparison that judges a captured frame against its reference (the PNG files
// themselves are read and written by the golden-frame tests, tests/e2e/tools_test.cpp).
#include "tools/image_compare.h"

#include <gtest/gtest.h>

namespace {

RgbaImage imageOf(uint32_t width, uint32_t height, const uint8_t* rgba)
{
    RgbaImage image;
    image.width = width;
    image.height = height;
    image.pixels.assign(rgba, uint64_t(width) * height * 4);
    return image;
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
    // The limit is inclusive; above it fails; another shape never matches.
    EXPECT_TRUE(withinTolerance(difference, {.pixelThreshold = 16, .maxShareOverThreshold = 0.5}));
    EXPECT_FALSE(withinTolerance(difference, {.pixelThreshold = 16, .maxShareOverThreshold = 0.25}));
    EXPECT_FALSE(withinTolerance(compareImages(reference, wide, 16), {.pixelThreshold = 255, .maxShareOverThreshold = 1}));
    freeImage(reference);
    freeImage(captured);
    freeImage(wide);
}
