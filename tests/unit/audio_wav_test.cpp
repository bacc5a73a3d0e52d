// The exported soundtrack's file layout.
#include "audio/wav.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

uint32_t u32At(const DynamicArray<uint8_t>& file, uint32_t offset)
{
    return file[offset] | file[offset + 1] << 8 | file[offset + 2] << 16 | uint32_t(file[offset + 3]) << 24;
}

uint32_t u16At(const DynamicArray<uint8_t>& file, uint32_t offset)
{
    return file[offset] | file[offset + 1] << 8;
}

} // namespace

TEST(FloatWav, HeaderDescribesStereoFloatAndDataFollowsUnchanged)
{
    const float samples[6] = {0.5f, -0.5f, 0.25f, -0.9f, 0.0f, 0.9f}; // three stereo frames
    DynamicArray<uint8_t> file = makeFloatWav(samples, 3, 2, 44100);
    // 58 header bytes + 3 frames * 8 bytes.
    ASSERT_EQ(file.count, 82u);
    EXPECT_EQ(std::memcmp(file.data, "RIFF", 4), 0);
    EXPECT_EQ(u32At(file, 4), 82u - 8);
    EXPECT_EQ(std::memcmp(file.data + 8, "WAVEfmt ", 8), 0);
    EXPECT_EQ(u32At(file, 16), 18u);
    EXPECT_EQ(u16At(file, 20), 3u);        // IEEE float
    EXPECT_EQ(u16At(file, 22), 2u);        // channels
    EXPECT_EQ(u32At(file, 24), 44100u);    // frames per second
    EXPECT_EQ(u32At(file, 28), 352800u);   // 44100 * 8 bytes per second
    EXPECT_EQ(u16At(file, 32), 8u);        // bytes per frame
    EXPECT_EQ(u16At(file, 34), 32u);       // bits per sample
    EXPECT_EQ(std::memcmp(file.data + 38, "fact", 4), 0);
    EXPECT_EQ(u32At(file, 46), 3u);        // frames
    EXPECT_EQ(std::memcmp(file.data + 50, "data", 4), 0);
    EXPECT_EQ(u32At(file, 54), 24u);
    EXPECT_EQ(std::memcmp(file.data + 58, samples, 24), 0);
    file.clear();
}

TEST(FloatWav, RefusesDataBeyondRiffSizes)
{
    // 2^29 stereo frames are 4 GiB of samples: more than a 32-bit RIFF size can say.
    static const float one = 0.0f;
    DynamicArray<uint8_t> file = makeFloatWav(&one, 1u << 29, 2, 44100);
    EXPECT_EQ(file.count, 0u);
    EXPECT_EQ(file.data, nullptr);
}
