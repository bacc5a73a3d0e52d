// The exported soundtrack's file layout: a float WAV with a fact chunk, and its size limit.
#include "audio/wav.h"

#include <gtest/gtest.h>

#include <cstring>
#include <utility>

TEST(FloatWav, HeaderDescribesStereoFloatAndDataFollowsUnchanged)
{
    const float samples[6] = {0.5f, -0.5f, 0.25f, -0.9f, 0.0f, 0.9f}; // three stereo frames
    DynamicArray<uint8_t> file = makeFloatWav(samples, 3, 2, 44100);
    ASSERT_EQ(file.count, 58u + 3 * 8); // the header, then 3 frames of 8 bytes
    auto field = [&](uint32_t offset, uint32_t bytes) {
        uint32_t value = 0;
        std::memcpy(&value, file.data + offset, bytes); // little-endian, as the machine
        return value;
    };
    struct Field {
        uint32_t offset, bytes, value;
    };
    const Field fields[] = {
        {4, 4, 82 - 8},         // RIFF size: all that follows it
        {16, 4, 18},            // fmt chunk with its 2-byte extension size
        {20, 2, 3},             // IEEE float
        {22, 2, 2},             // channels
        {24, 4, 44100},         // frames per second
        {28, 4, 44100 * 8},     // bytes per second
        {32, 2, 8},             // bytes per frame
        {34, 2, 32},            // bits per sample
        {46, 4, 3},             // fact: frames
        {54, 4, 24},            // data size
    };
    for (const Field& f : fields)
        EXPECT_EQ(field(f.offset, f.bytes), f.value) << "offset " << f.offset;
    const std::pair<uint32_t, const char*> tags[] = {{0, "RIFF"}, {8, "WAVEfmt "}, {38, "fact"}, {50, "data"}};
    for (auto [offset, tag] : tags)
        EXPECT_EQ(std::memcmp(file.data + offset, tag, std::strlen(tag)), 0) << tag;
    EXPECT_EQ(std::memcmp(file.data + 58, samples, 24), 0);
    file.clear();

    // 2^29 stereo frames are 4 GiB of samples: more than a 32-bit RIFF size can say.
    DynamicArray<uint8_t> huge = makeFloatWav(samples, 1u << 29, 2, 44100);
    EXPECT_EQ(huge.data, nullptr);
}
