// TransferToBackbufferPS drawn as a full-screen pass: letterboxing, the title overlay's frame
// window, brightness and the eight tone curves. Curves are read from an RGBA16F target so
// values above 1 stay visible; the letterbox runs on an RGBA8 target like the back buffer.
#include "tests/gpu/gpu_harness.h"

namespace {

class FinalTransfer : public GpuTest {
protected:
    // A width x height source of one colour (or of the pixels given), a 4 x 4 RGBA8 overlay.
    uint32_t width = 4, height = 4;
    std::vector<float> source;
    std::vector<uint8_t> overlay = std::vector<uint8_t>(4 * 4 * 4, 0);
    FinalPassData constants{.brightness = 1.0f, .tonemapping = NONE};

    void fill(uint32_t w, uint32_t h, float r, float g, float b)
    {
        width = w, height = h;
        source = repeated(w * h, {r, g, b, 1.0f});
        constants.resolution = constants.nativeResolution = {float(w), float(h)};
    }

    // Draws into a target of nativeResolution's size.
    Image* draw(uint32_t targetFormat)
    {
        Image* frame = uploadFloats(width, height, FORMAT_R16G16B16A16_FLOAT, source, STATE_PIXEL_SHADER_RESOURCE);
        Image* title = uploadImage(4, 4, FORMAT_R8G8B8A8_UNORM, overlay.data(), STATE_PIXEL_SHADER_RESOURCE);
        std::vector<ResourceBinding> bindings =
            passBindings({frame, title}, uploadBuffer(sizeof(FinalPassData), BufferType::Constant, &constants));
        FullscreenPass*& pass = passes[targetFormat == FORMAT_R8G8B8A8_UNORM];
        if (!pass)
            pass = fullscreenPass(TransferToBackbufferPS, 2, targetFormat, ADDRESS_BORDER);
        return drawPass(pass, uint32_t(constants.nativeResolution.x), uint32_t(constants.nativeResolution.y), bindings);
    }
    std::vector<float> drawHalves() { return readFloats(draw(FORMAT_R16G16B16A16_FLOAT)); }

    FullscreenPass* passes[2] = {}; // into RGBA16F, into RGBA8
};

} // namespace

TEST_F(FinalTransfer, LetterboxesTallAndWideTargets)
{
    // A 16 x 9 source of (1, 0.5, 0.25), brightness 1 (luma 0.621: the factor
    // saturate(1 + 0.621) * 1 is 1) and ROMBINDAHAUS, exp(-1 / (2.72 k + 0.15))^(1 / 2.2):
    // 0.8535, 0.7401, 0.5783, or (218, 189, 147) in RGBA8. The curve maps black to 0.0483
    // (12), so a bar pixel that were sampled from the sampler's black border instead of
    // written black would show.
    fill(16, 9, 1.0f, 0.5f, 0.25f);
    constants.tonemapping = ROMBINDAHAUS;
    const int lit[3] = {218, 189, 147};
    // Each target and where the 16 x 9 picture lies in it.
    const struct { uint32_t width, height, left, top; } cases[] = {
        {16, 11, 0, 1}, // aspect 1.45 < 1.78: rows 0 and 10 are black
        {20, 9, 2, 0},  // aspect 2.22 > 1.78: columns 0, 1, 18 and 19 are black
    };
    for (const auto& c : cases) {
        constants.nativeResolution = {float(c.width), float(c.height)};
        std::vector<uint8_t> image = readImageBytes(draw(FORMAT_R8G8B8A8_UNORM));
        for (uint32_t y = 0; y < c.height; ++y)
            for (uint32_t x = 0; x < c.width; ++x) {
                const uint8_t* p = &image[(size_t(y) * c.width + x) * 4];
                bool inside = x >= c.left && x < c.left + 16 && y >= c.top && y < c.top + 9;
                for (int k = 0; k < 3; ++k)
                    ASSERT_NEAR(p[k], inside ? lit[k] : 0, 1) << c.width << "x" << c.height << " at " << x << "," << y;
                ASSERT_EQ(p[3], 255) << x << "," << y;
            }
    }
}

TEST_F(FinalTransfer, OverlayFadesInHoldsAndFadesOutUnderTheBrightnessOfTheFrameBelow)
{
    // Black source, white overlay of alpha 153 / 255 = 0.6, no curve: the pixel is
    // 0.6 * f * b with f = smoothstep(1430, 1600, frame) * (1 - smoothstep(1700, 1900, frame))
    // and b = saturate(brightness + 0) * brightness, the luma being taken before the overlay.
    fill(4, 4, 0.0f, 0.0f, 0.0f);
    for (uint32_t i = 0; i < 16; ++i)
        overlay[i * 4 + 0] = overlay[i * 4 + 1] = overlay[i * 4 + 2] = 255, overlay[i * 4 + 3] = 153;
    constants.showExtraTexture = 1;
    struct Case { uint32_t frame; float brightness, expected; };
    const Case cases[] = {
        {1000, 1.0f, 0.0f}, {1430, 1.0f, 0.0f}, {1515, 1.0f, 0.3f}, // halfway in: 3/4 - 2/8 = 0.5
        {1600, 1.0f, 0.6f}, {1700, 1.0f, 0.6f}, {1800, 1.0f, 0.3f}, {1900, 1.0f, 0.0f},
        {1650, 0.5f, 0.15f}, // b = saturate(0.5) * 0.5 = 0.25
    };
    for (auto [frame, brightness, expected] : cases) {
        constants.frame = frame;
        constants.brightness = brightness;
        std::vector<float> out = drawHalves();
        EXPECT_NEAR(out[(2 * 4 + 1) * 4 + 0], expected, 5e-4f) << "frame " << frame;
        EXPECT_EQ(out[(2 * 4 + 1) * 4 + 3], 1.0f) << "frame " << frame;
    }
    constants.showExtraTexture = 0;
    EXPECT_EQ(drawHalves()[0], 0.0f);
}

TEST_F(FinalTransfer, ToneCurvesMatchTheirFormulas)
{
    // A 3 x 1 source drawn 1:1 with brightness 1: k is the source colour (lumas 0, 0.3825 and
    // 2.484 keep the factor saturate(1 + lum) at 1). Levels k = 0, (0.25, 0.5, 0.125) and
    // (4, 2, 1); the expected values are the formulas worked out per channel, with
    // g = 1 / 2.2:
    //   ACES: v = M1 k, x = M2 ((v (v + 0.0245786) - 0.000090537) / (v (0.983729 v + 0.432951)
    //         + 0.238081)), saturate(x)^g
    //   LINEAR: saturate(k)^g
    //   SIMPLE_REINHARD: (1.5 k / (1 + k / 1.5))^g
    //   LUMA_BASED_REINHARD: L = (0.2126, 0.7152, 0.0722) . k, (k / (1 + L))^g; black for L = 0
    //   WHITE_PRESERVING: (k (1 + L / 4) / (1 + L))^g; black for L = 0
    //   ROMBINDAHAUS: exp(-1 / (2.72 k + 0.15))^g; at 0: exp(-6.6667)^g = 0.0483
    //   FILMIC: x = max(0, k - 0.004), x (6.2 x + 0.5) / (x (6.2 x + 1.7) + 0.06); no gamma
    //   UNCHARTED2: (g2(2k) / g2(11.2))^g with g2(x) = (x (0.15 x + 0.05) + 0.004) /
    //               (x (0.15 x + 0.5) + 0.06) - 0.02 / 0.3
    //   NONE: k as it is, values above 1 included.
    const float expected[9][3][3] = {
        {{0, 0, 0}, {0.25f, 0.5f, 0.125f}, {4.0f, 2.0f, 1.0f}},                        // NONE
        {{0, 0, 0}, {0.4120f, 0.6547f, 0.2649f}, {1.0f, 0.7213f, 0.8041f}},             // ACES
        {{0, 0, 0}, {0.5325f, 0.7297f, 0.3886f}, {1.0f, 1.0f, 1.0f}},                   // LINEAR
        {{0, 0, 0}, {0.5970f, 0.7699f, 0.4506f}, {1.2509f, 1.1210f, 0.9532f}},          // SIMPLE_REINHARD
        {{0, 0, 0}, {0.4541f, 0.6223f, 0.3314f}, {1.0835f, 0.7907f, 0.5770f}},          // LUMA_BASED_REINHARD
        {{0, 0, 0}, {0.4752f, 0.6511f, 0.3467f}, {1.3371f, 0.9757f, 0.7120f}},          // WHITE_PRESERVING_...
        {{0.0483f, 0.0483f, 0.0483f}, {0.5783f, 0.7401f, 0.3955f}, {0.9596f, 0.9219f, 0.8535f}}, // ROMBINDAHAUS
        {{0, 0, 0}, {0.5838f, 0.7302f, 0.4244f}, {0.9541f, 0.9128f, 0.8412f}},          // FILMIC
        {{0, 0, 0}, {0.4492f, 0.5823f, 0.3375f}, {0.9619f, 0.8576f, 0.7250f}},          // UNCHARTED2
    };
    fill(3, 1, 0.0f, 0.0f, 0.0f);
    source = {0.0f, 0.0f, 0.0f, 1.0f, 0.25f, 0.5f, 0.125f, 1.0f, 4.0f, 2.0f, 1.0f, 1.0f}; // the three levels
    for (int curve = NONE; curve <= UNCHARTED2; ++curve) {
        constants.tonemapping = TonemapFunction(curve);
        std::vector<float> out = drawHalves();
        for (int i = 0; i < 3; ++i)
            for (int c = 0; c < 3; ++c) {
                float want = expected[curve - NONE][i][c];
                // Four-digit expectations, RGBA16F output.
                EXPECT_NEAR(out[i * 4 + c], want, 1e-3f * std::fmax(1.0f, want))
                    << "curve " << curve << " level " << i << " channel " << c;
            }
        EXPECT_EQ(out[3], 1.0f);
    }
}
