// Cost of the depth-of-field spiral (shaders/DepthOfFieldPS.hlsl), counted on the CPU with the
// pixel program's loop in single precision: the radius starts at radiusScale and grows by
// radiusScale / radius per sample until it reaches |blurSize|.
#include <gtest/gtest.h>

#include <cmath>

namespace {

int spiralSampleCount(float radiusScale, float blurSize)
{
    int samples = 0;
    for (float radius = radiusScale; radius < std::fabs(blurSize); radius += radiusScale / radius)
        ++samples;
    return samples;
}

} // namespace

TEST(DepthOfField, DemoSpiralTakes198Samples)
{
    // radius^2 grows by 2 + 1 / radius^2 per sample, so reaching 20^2 from 1 takes a little
    // under (400 - 1) / 2 steps: radius goes 1, 2, 2.5, 2.9, ... and the 198th sample leaves
    // it at 20.0093.
    EXPECT_EQ(spiralSampleCount(1.0f, 20.0f), 198);
    EXPECT_EQ(spiralSampleCount(1.0f, -20.0f), 198);
    // Radii 1 and 2 lie below 2.5; the next one is 2.5 itself.
    EXPECT_EQ(spiralSampleCount(1.0f, 2.5f), 2);
    EXPECT_EQ(spiralSampleCount(1.0f, 1.0f), 0);
}
