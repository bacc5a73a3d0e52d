// The 16-bit fallback conversion of the soundtrack.
#include "audio/conversion.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(Pcm16, ClampsAndRoundsHalvesAwayFromZero)
{
    // Left then right, two frames each: v = round(clamp(x, -1, 1) * 32767).
    const float source[] = {
        1.5f, -1.5f,          // clamped to +-1: +-32767 (never -32768)
        0.5f, -0.5f,          // +-16383.5: the half goes away from zero
        0.25f, 1.0f / 32767,  // 8191.75 -> 8192; exactly one step -> 1
        0.0f, -0.0f,
        std::nanf(""), -1.0f, // NaN is silence
    };
    const int16_t expected[] = {32767, -32767, 16384, -16384, 8192, 1, 0, 0, 0, -32767};
    int16_t destination[10] = {};
    convertToPcm16(source, 5, 2, destination);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(destination[i], expected[i]) << "value " << i;
}
