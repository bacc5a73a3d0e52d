// Pixel sizes by DXGI format number and the footprints of image uploads.
#include "gfx/resources.h"

#include <gtest/gtest.h>

TEST(BytesPerPixel, FollowsTheFormatTable)
{
    struct Case {
        uint32_t format, bytes;
    };
    // One value at each edge of every range of the table, and values between ranges.
    const Case cases[] = {
        {0, 0},   {1, 16},  {4, 16},  {5, 12},  {8, 12},  {9, 8},   {10, 8},  {22, 8},  {23, 4},  {28, 4},
        {47, 4},  {48, 2},  {59, 2},  {60, 1},  {65, 1},  {66, 0},  {67, 4},  {69, 4},  {70, 0},  {72, 0},
        {73, 1},  {78, 1},  {79, 0},  {81, 0},  {82, 1},  {84, 1},  {85, 2},  {86, 2},  {87, 4},  {93, 4},
        {94, 1},  {99, 1},  {100, 4}, {101, 4}, {102, 8}, {103, 1}, {104, 3}, {105, 3}, {106, 1}, {107, 4},
        {108, 8}, {109, 8}, {110, 1}, {113, 1}, {114, 2}, {115, 2}, {116, 0}, {1000, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(bytesPerPixel(c.format), c.bytes) << "format " << c.format;
}

TEST(UploadFootprint, HundredByTenRgba8Image)
{
    // Staging: align256(max(align256(100) * 10 * 4, 256)) = 256 * 40 = 10240 bytes.
    EXPECT_EQ(imageStagingBytes(100, 10, FORMAT_R8G8B8A8_UNORM), 10240u);
    // Rows of 400 bytes placed every 512 bytes (400 rounded up to 256).
    ImageFootprint footprint = imageFootprint(100, 10, FORMAT_R8G8B8A8_UNORM);
    EXPECT_EQ(footprint.rowPitch, 512u);
    EXPECT_EQ(footprint.rowSize, 400u);
    EXPECT_EQ(footprint.rowCount, 10u);
    EXPECT_EQ(footprint.totalBytes, 512u * 9 + 400u);
    // The CPU block is tightly packed: 100 * 10 * 4 = 4000 bytes, and the rows fit the staging buffer.
    EXPECT_EQ(100u * 10u * bytesPerPixel(FORMAT_R8G8B8A8_UNORM), 4000u);
    EXPECT_LE(footprint.totalBytes, imageStagingBytes(100, 10, FORMAT_R8G8B8A8_UNORM));
}

TEST(UploadFootprint, PitchIsWholePixelsAndSmallImagesGetTheMinimumStaging)
{
    // 12-byte pixels: 5 * 12 = 60 bytes, rounded to a multiple of both 256 and 12: 768.
    ImageFootprint rgb = imageFootprint(5, 2, FORMAT_R32G32B32_FLOAT);
    EXPECT_EQ(rgb.rowPitch, 768u);
    EXPECT_LE(rgb.totalBytes, imageStagingBytes(5, 2, FORMAT_R32G32B32_FLOAT)); // 256 * 2 * 12 = 6144
    // A 1 x 1 RGBA16F image: 8 bytes of data, 256-byte pitch, 2048-byte staging (256 * 8).
    EXPECT_EQ(imageFootprint(1, 1, FORMAT_R16G16B16A16_FLOAT).rowPitch, 256u);
    EXPECT_EQ(imageStagingBytes(1, 1, FORMAT_R16G16B16A16_FLOAT), 2048u);
    // A format without a pixel size still gets the 256-byte minimum.
    EXPECT_EQ(imageStagingBytes(4, 4, 0), 256u);
    EXPECT_EQ(align256(36), 256u);
    EXPECT_EQ(align256(256), 256u);
    EXPECT_EQ(align256(257), 512u);
}
