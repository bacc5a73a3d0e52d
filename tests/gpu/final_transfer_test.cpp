// TransferToBackbufferPS drawn as a full-screen pass: letterboxing, the title overlay's frame
// window, brightness and the eight tone curves. Curves are read from an RGBA16F target so
// values above 1 and NaN stay visible; the letterbox runs on RGBA8 targets like the back
// buffer. Expected values come from the program's definition, derived in the comments.
#include "shaders/ParticleConfig.h"
#include "shaders/shader_bytecode.h"
#include "tests/gpu/image_test_data.h"

#include <cmath>

namespace {

struct TransferInputs {
    uint32_t width, height;      // source image, RGBA16F
    std::vector<float> source;
    uint32_t overlayWidth = 4, overlayHeight = 4; // RGBA8
    std::vector<uint8_t> overlay = std::vector<uint8_t>(4 * 4 * 4, 0);
    FinalPassData constants{};
};

class FinalTransfer : public GpuTest {
protected:
    void TearDown() override
    {
        waitForAllFrames(app);
        for (FullscreenPass*& pass : passes)
            destroyFullscreenPass(app, pass);
        GpuTest::TearDown();
    }

    FullscreenPass* buildPass(uint32_t targetFormat)
    {
        FullscreenPass* pass = createFullscreenPass();
        pass->pixelProgram = TransferToBackbufferPS;
        pass->renderTargetFormats.push(targetFormat);
        addDescriptorTable(pass->rootSignature,
                           makeRangeList({makeRange(RANGE_SRV, 2), makeRange(RANGE_CBV, 1)}), VISIBILITY_PIXEL);
        addStaticSampler(pass->rootSignature, FILTER_MIN_MAG_MIP_LINEAR, ADDRESS_BORDER, 0, VISIBILITY_PIXEL);
        buildFullscreenPass(app, pass);
        passes.push_back(pass);
        return pass;
    }

    // Draws into a new target of nativeResolution's size and returns it.
    Image* draw(FullscreenPass* pass, uint32_t targetFormat, const TransferInputs& in)
    {
        uint32_t width = uint32_t(in.constants.nativeResolution.x), height = uint32_t(in.constants.nativeResolution.y);
        std::vector<uint16_t> source = toHalves(in.source);
        Image* frame = uploadImage(in.width, in.height, FORMAT_R16G16B16A16_FLOAT, source.data(),
                                   STATE_PIXEL_SHADER_RESOURCE);
        Image* overlay = uploadImage(in.overlayWidth, in.overlayHeight, FORMAT_R8G8B8A8_UNORM, in.overlay.data(),
                                     STATE_PIXEL_SHADER_RESOURCE);
        Buffer* constants = uploadBuffer(sizeof(FinalPassData), BufferType::Constant, &in.constants);
        Image* target = createRenderTarget(width, height, targetFormat);
        ResourceBinding bindings[3] = {
            {.accessKind = AccessKind::PixelImageSrv, .image = frame,
             .viewParameters = {FORMAT_R16G16B16A16_FLOAT, 0, 1, 0}},
            {.accessKind = AccessKind::PixelImageSrv, .image = overlay,
             .viewParameters = {FORMAT_R8G8B8A8_UNORM, 0, 1, 0}},
            {.accessKind = AccessKind::ConstantBuffer, .buffer = constants,
             .viewParameters = {sizeof(FinalPassData), 0, 0, 0}},
        };
        CommandList* list = beginCommands();
        setDescriptorHeap(list, heap);
        drawFullscreenPass(pass, width, height, list, renderTargetView(target, targetFormat), heap, bindings);
        submitAndWait();
        return target;
    }

    std::vector<FullscreenPass*> passes;
};

// A source of one colour.
TransferInputs uniformSource(uint32_t width, uint32_t height, float r, float g, float b)
{
    TransferInputs in{.width = width, .height = height, .source = std::vector<float>(width * height * 4, 1.0f)};
    for (uint32_t i = 0; i < width * height; ++i)
        in.source[i * 4 + 0] = r, in.source[i * 4 + 1] = g, in.source[i * 4 + 2] = b;
    in.constants.resolution = {float(width), float(height)};
    in.constants.nativeResolution = {float(width), float(height)};
    in.constants.brightness = 1.0f;
    in.constants.tonemapping = NONE;
    return in;
}

} // namespace

TEST_F(FinalTransfer, LetterboxesTallAndWideTargets)
{
    // A 1920 x 1080 source of (1, 0.5, 0.25), brightness 1 (luma 0.621: the factor
    // saturate(1 + 0.621) * 1 is 1) and ROMBINDAHAUS, exp(-1 / (2.72 k + 0.15))^(1 / 2.2):
    // 0.8535, 0.7401, 0.5783, or (218, 189, 147) in RGBA8. Pixel centres of the picture fall
    // on source texel centres. The curve maps black to 0.0483 (12), so a bar pixel that were
    // sampled from the sampler's black border instead of written black would show.
    FullscreenPass* pass = buildPass(FORMAT_R8G8B8A8_UNORM);
    TransferInputs in = uniformSource(1920, 1080, 1.0f, 0.5f, 0.25f);
    in.constants.tonemapping = ROMBINDAHAUS;
    auto expectPixel = [](const std::vector<uint8_t>& image, uint32_t width, uint32_t x, uint32_t y, bool inside) {
        const uint8_t* p = &image[(size_t(y) * width + x) * 4];
        EXPECT_NEAR(p[0], inside ? 218 : 0, 1) << x << "," << y;
        EXPECT_NEAR(p[1], inside ? 189 : 0, 1) << x << "," << y;
        EXPECT_NEAR(p[2], inside ? 147 : 0, 1) << x << "," << y;
        EXPECT_EQ(p[3], 255) << x << "," << y;
    };

    // 1920 x 1200 (aspect 1.6 < 1.778): d = (1920, 1080), tl = (0, 60): rows 0-59 and
    // 1140-1199 are black.
    in.constants.nativeResolution = {1920.0f, 1200.0f};
    std::vector<uint8_t> tall = readImageBytes(draw(pass, FORMAT_R8G8B8A8_UNORM, in));
    for (uint32_t x : {0u, 960u, 1919u}) {
        for (uint32_t y : {0u, 59u, 1140u, 1199u})
            expectPixel(tall, 1920, x, y, false);
        for (uint32_t y : {60u, 600u, 1139u})
            expectPixel(tall, 1920, x, y, true);
    }

    // 2560 x 1080 (aspect 2.37 > 1.778): d = (1920, 1080), tl = (320, 0): columns 0-319 and
    // 2240-2559 are black.
    in.constants.nativeResolution = {2560.0f, 1080.0f};
    std::vector<uint8_t> wide = readImageBytes(draw(pass, FORMAT_R8G8B8A8_UNORM, in));
    for (uint32_t y : {0u, 540u, 1079u}) {
        for (uint32_t x : {0u, 319u, 2240u, 2559u})
            expectPixel(wide, 2560, x, y, false);
        for (uint32_t x : {320u, 1280u, 2239u})
            expectPixel(wide, 2560, x, y, true);
    }
}

TEST_F(FinalTransfer, OverlayFadesInHoldsAndFadesOut)
{
    // Black source, white overlay of alpha 153 / 255 = 0.6, brightness 1, no curve: the pixel
    // is 0.6 * f with f = smoothstep(1430, 1600, frame) * (1 - smoothstep(1700, 1900, frame)).
    FullscreenPass* pass = buildPass(FORMAT_R16G16B16A16_FLOAT);
    TransferInputs in = uniformSource(4, 4, 0.0f, 0.0f, 0.0f);
    for (uint32_t i = 0; i < 16; ++i)
        in.overlay[i * 4 + 0] = in.overlay[i * 4 + 1] = in.overlay[i * 4 + 2] = 255, in.overlay[i * 4 + 3] = 153;
    in.constants.showExtraTexture = 1;
    struct {
        uint32_t frame;
        float weight; // f
    } cases[] = {
        {1000, 0.0f}, {1430, 0.0f}, {1515, 0.5f}, // halfway through the fade-in: 3/4 - 2/8 = 0.5
        {1600, 1.0f}, {1650, 1.0f}, {1700, 1.0f}, {1800, 0.5f}, {1900, 0.0f}, {2500, 0.0f},
    };
    for (auto [frame, weight] : cases) {
        in.constants.frame = frame;
        std::vector<float> out = fromHalves(readImage<uint16_t>(draw(pass, FORMAT_R16G16B16A16_FLOAT, in)));
        EXPECT_NEAR(out[(2 * 4 + 1) * 4 + 0], 0.6f * weight, 5e-4f) << "frame " << frame;
        EXPECT_EQ(out[(2 * 4 + 1) * 4 + 3], 1.0f) << "frame " << frame;
    }

    // The brightness factor takes the luma before the overlay (0 here):
    // saturate(0.5 + 0) * 0.5 = 0.25, so 0.6 * 0.25 = 0.15 at frame 1650.
    in.constants.frame = 1650;
    in.constants.brightness = 0.5f;
    std::vector<float> out = fromHalves(readImage<uint16_t>(draw(pass, FORMAT_R16G16B16A16_FLOAT, in)));
    EXPECT_NEAR(out[0], 0.15f, 5e-4f);
    in.constants.showExtraTexture = 0;
    out = fromHalves(readImage<uint16_t>(draw(pass, FORMAT_R16G16B16A16_FLOAT, in)));
    EXPECT_EQ(out[0], 0.0f);
}

TEST_F(FinalTransfer, ZeroBrightnessGivesBlack)
{
    // k = colour * saturate(0 + lum) * 0 = 0 for a bright source; NONE, LINEAR and ACES map 0
    // to 0 (ACES: a / b = -0.000090537 / 0.238081 < 0 in every channel, saturated to 0).
    FullscreenPass* pass = buildPass(FORMAT_R16G16B16A16_FLOAT);
    TransferInputs in = uniformSource(4, 4, 2.0f, 1.0f, 0.5f);
    in.constants.brightness = 0.0f;
    for (int32_t curve : {NONE, LINEAR, ACES}) {
        in.constants.tonemapping = TonemapFunction(curve);
        std::vector<float> out = fromHalves(readImage<uint16_t>(draw(pass, FORMAT_R16G16B16A16_FLOAT, in)));
        for (uint32_t i = 0; i < 16; ++i)
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(out[i * 4 + c], 0.0f) << "curve " << curve << " pixel " << i;
    }
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
    const float levels[3][3] = {{0.0f, 0.0f, 0.0f}, {0.25f, 0.5f, 0.125f}, {4.0f, 2.0f, 1.0f}};
    const float expected[8][3][3] = {
        {{0, 0, 0}, {0.4120f, 0.6547f, 0.2649f}, {1.0f, 0.7213f, 0.8041f}},             // ACES
        {{0, 0, 0}, {0.5325f, 0.7297f, 0.3886f}, {1.0f, 1.0f, 1.0f}},                   // LINEAR
        {{0, 0, 0}, {0.5970f, 0.7699f, 0.4506f}, {1.2509f, 1.1210f, 0.9532f}},          // SIMPLE_REINHARD
        {{0, 0, 0}, {0.4541f, 0.6223f, 0.3314f}, {1.0835f, 0.7907f, 0.5770f}},          // LUMA_BASED_REINHARD
        {{0, 0, 0}, {0.4752f, 0.6511f, 0.3467f}, {1.3371f, 0.9757f, 0.7120f}},          // WHITE_PRESERVING_...
        {{0.0483f, 0.0483f, 0.0483f}, {0.5783f, 0.7401f, 0.3955f}, {0.9596f, 0.9219f, 0.8535f}}, // ROMBINDAHAUS
        {{0, 0, 0}, {0.5838f, 0.7302f, 0.4244f}, {0.9541f, 0.9128f, 0.8412f}},          // FILMIC
        {{0, 0, 0}, {0.4492f, 0.5823f, 0.3375f}, {0.9619f, 0.8576f, 0.7250f}},          // UNCHARTED2
    };
    FullscreenPass* pass = buildPass(FORMAT_R16G16B16A16_FLOAT);
    TransferInputs in = uniformSource(3, 1, 0.0f, 0.0f, 0.0f);
    for (int i = 0; i < 3; ++i)
        for (int c = 0; c < 3; ++c)
            in.source[i * 4 + c] = levels[i][c];
    for (int curve = ACES; curve <= UNCHARTED2; ++curve) {
        in.constants.tonemapping = TonemapFunction(curve);
        std::vector<float> out = fromHalves(readImage<uint16_t>(draw(pass, FORMAT_R16G16B16A16_FLOAT, in)));
        for (int i = 0; i < 3; ++i)
            for (int c = 0; c < 3; ++c) {
                float want = expected[curve - 1][i][c];
                // Four-digit expectations, RGBA16F output.
                EXPECT_NEAR(out[i * 4 + c], want, 1e-3f * std::fmax(1.0f, want))
                    << "curve " << curve << " level " << i << " channel " << c;
            }
        EXPECT_EQ(out[3], 1.0f);
    }
    // NONE passes k through unchanged, values above 1 included.
    in.constants.tonemapping = NONE;
    std::vector<float> out = fromHalves(readImage<uint16_t>(draw(pass, FORMAT_R16G16B16A16_FLOAT, in)));
    EXPECT_EQ(out[8], 4.0f);
    EXPECT_EQ(out[5], 0.5f);
}
