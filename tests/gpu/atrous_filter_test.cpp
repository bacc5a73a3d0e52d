// ATrousFilterCS on 8 x 8 images: the edge-stopping weights of depth and luma, a zero normal,
// and the one-exponential form against the terms as written (every step, the clamped edges
// too). Expected values come from the program's definition, derived in the comments.
#include "tests/gpu/gpu_harness.h"

#include <bit>

namespace {

constexpr uint32_t W = 8;
constexpr uint32_t H = 8;

// Defaults: colour (0.75, 0.5, 0.25), normal +z, depth 1, moments 0.5 and 0.25 (no variance).
struct FilterInputs {
    std::vector<float> colour = repeated(W * H, {0.75f, 0.5f, 0.25f, 0.0f});
    std::vector<float> normal = repeated(W * H, {0.0f, 0.0f, 1.0f, 0.0f});
    std::vector<float> moment1 = std::vector<float>(W * H, 0.5f);
    std::vector<float> moment2 = std::vector<float>(W * H, 0.25f);
    std::vector<float> depth = std::vector<float>(W * H, 1.0f);
    int32_t iterStep = 1;
};

class ATrousFilter : public GpuTest {
protected:
    // The filtered image as floats, row by row: RGBA16F as in the piece, or RGBA32F to compare
    // two programs at full precision.
    std::vector<float> run(const FilterInputs& in, ShaderBytecode program = ATrousFilterCS,
                           uint32_t resultFormat = FORMAT_R16G16B16A16_FLOAT)
    {
        Image* result = createStorageImage(W, H, resultFormat);
        // iterStep, then the resolution x, y, z as floats.
        const uint32_t constants[4] = {uint32_t(in.iterStep), std::bit_cast<uint32_t>(float(W)),
                                       std::bit_cast<uint32_t>(float(H)), std::bit_cast<uint32_t>(1.0f)};
        dispatchOverImage(computePipeline(program, {makeRange(RANGE_SRV, 5), makeRange(RANGE_UAV, 1)}, true), W, H,
                          {uploadFloats(W, H, FORMAT_R16G16B16A16_FLOAT, in.colour),
                           uploadFloats(W, H, FORMAT_R32G32B32A32_FLOAT, withDepthInW(in.normal, in.depth)),
                           uploadFloats(W, H, FORMAT_R32_FLOAT, in.moment1),
                           uploadFloats(W, H, FORMAT_R32_FLOAT, in.moment2), uploadFloats(W, H, FORMAT_R32_FLOAT, in.depth)},
                          {result}, nullptr, constants);
        return readFloats(result);
    }
};

} // namespace

TEST_F(ATrousFilter, DepthLumaAndNormalTermsStopTheFilterAtEdges)
{
    // Columns 0-3: black at depth 1; columns 4-7: white at depth 1.02. A deviation of 1e6
    // makes the luma term exp(-|dL| / 1.25e6) = 1 for every tap. At (3, 3) the taps of
    // columns 4 and 5 (10 of 25) weigh exp(-0.02 / 0.002) = exp(-10) = 4.54e-5 each:
    // red = 10 w / (15 + 10 w) = 3.0266e-5.
    FilterInputs in;
    std::fill(in.moment1.begin(), in.moment1.end(), 0.0f);
    std::fill(in.moment2.begin(), in.moment2.end(), 1e12f);
    for (uint32_t y = 0; y < H; ++y)
        for (uint32_t x = 0; x < W; ++x) {
            float* c = rgbaAt(in.colour, W, x, y);
            c[0] = c[1] = c[2] = x < 4 ? 0.0f : 1.0f;
            in.depth[y * W + x] = x < 4 ? 1.0f : 1.02f;
        }
    // Normal (0, 0, 0) at (7, 7), outside both windows: every weight of that pixel is
    // saturate(0)^48 = 0, so it writes 0 / 1e-6 = 0 with alpha 1; its white neighbour (6, 6)
    // sees it with weight 0 and stays white.
    in.normal[(7 * W + 7) * 4 + 2] = 0.0f;
    std::vector<float> out = run(in);
    EXPECT_EQ(rgbaAt(out, W, 7, 7)[0], 0.0f);
    EXPECT_EQ(rgbaAt(out, W, 7, 7)[3], 1.0f);
    EXPECT_EQ(rgbaAt(out, W, 6, 6)[0], 1.0f);
    float w = std::exp(-10.0f);
    EXPECT_NEAR(rgbaAt(out, W, 3, 3)[0], 10.0f * w / (15.0f + 10.0f * w), 2e-7f);
    // And the other way round at (4, 3): the 10 black taps of columns 2 and 3 are as weak.
    EXPECT_NEAR(rgbaAt(out, W, 4, 3)[0], 15.0f / (15.0f + 10.0f * w), 1e-3f);

    // Black at (3, 3), grey 2^-10 elsewhere, depth 1: 24 taps differ in luma by 2^-10 =
    // 0.0009765625, and red = 24 wl 2^-10 / (1 + 24 wl). The luma divisor is 1.25 times the
    // deviation, at least 0.001:
    //   M1 = 0.5, M2 = M1^2: deviation 0, divisor 0.001, wl = exp(-0.9765625) = 0.376611;
    //   M1 = 0, M2 = 0.0016^2: divisor 1.25 x 0.0016 = 0.002, wl = exp(-0.48828125) = 0.613710.
    for (uint32_t i = 0; i < W * H; ++i) {
        std::fill_n(&in.colour[i * 4], 3, i == 3 * W + 3 ? 0.0f : 1.0f / 1024.0f);
        in.depth[i] = 1.0f;
    }
    for (auto [m1, m2, exponent] : {std::array{0.5f, 0.25f, -0.9765625f}, {0.0f, 0.0016f * 0.0016f, -0.48828125f}}) {
        std::fill(in.moment1.begin(), in.moment1.end(), m1);
        std::fill(in.moment2.begin(), in.moment2.end(), m2);
        float wl = std::exp(exponent);
        EXPECT_NEAR(run(in)[(3 * W + 3) * 4], 24.0f * wl / 1024.0f / (1.0f + 24.0f * wl), 1e-6f) << m2;
    }
}

TEST_F(ATrousFilter, OneExponentialPerTapWeighsAsTheThreeTerms)
{
    // The piece's program takes the product of the three edge-stopping terms as one exp2 of
    // their summed exponents; the terms as written must give the same picture. Inputs vary
    // from pixel to pixel so that every term weighs something between 0 and 1: normals tilted
    // by up to 0.1 rad (pow 48 spans about 0.8 to 1), depths 0 to 0.004 apart, lumas and
    // deviations of a few hundredths. Every step spacing, the clamped edges included.
    FilterInputs in;
    uint32_t seed = 12345;
    auto next = [&seed] { return nextUniform(seed); };
    for (uint32_t i = 0; i < W * H; ++i) {
        for (int k = 0; k < 3; ++k)
            in.colour[i * 4 + k] = 0.2f + 0.05f * next();
        float tiltX = 0.1f * (next() - 0.5f), tiltY = 0.1f * (next() - 0.5f);
        float length = std::sqrt(1.0f + tiltX * tiltX + tiltY * tiltY);
        in.normal[i * 4 + 0] = tiltX / length, in.normal[i * 4 + 1] = tiltY / length, in.normal[i * 4 + 2] = 1.0f / length;
        in.depth[i] = 1.0f + 0.004f * next();
        in.moment1[i] = 0.2f;
        in.moment2[i] = 0.04f + 0.0004f * next(); // deviations up to 0.01
    }
    for (int32_t step : {1, 2, 3, 5}) {
        SCOPED_TRACE(step);
        in.iterStep = step;
        std::vector<float> fast = run(in, ATrousFilterCS, FORMAT_R32G32B32A32_FLOAT);
        std::vector<float> reference = run(in, ATrousFilterCSReference, FORMAT_R32G32B32A32_FLOAT);
        for (uint32_t i = 0; i < W * H * 4; ++i)
            EXPECT_NEAR(fast[i], reference[i], 1e-5f) << "pixel " << (i / 4) % W << "," << i / 4 / W;
    }
}
