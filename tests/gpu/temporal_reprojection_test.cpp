// TemporalReprojectionCS on 8 x 8 images: when history is accepted, how it is clamped and
// blended, and the 17-tap fallback with its moment reset. Expected values come from the
// program's definition, derived in the comments.
#include "tests/gpu/gpu_harness.h"

#include <cstdlib>

namespace {

constexpr uint32_t W = 8;
constexpr uint32_t H = 8;

// Every input of the program. The defaults describe one particle (id 1) that stands still
// (motion 0) facing +z at depth 0, with grey 0.5 colour and history and previous moments
// 0.75 and 0.625: every pixel accepts its history.
struct TemporalInputs {
    std::vector<float> colour = std::vector<float>(W * H * 4, 0.5f);
    std::vector<float> motion = std::vector<float>(W * H * 4, 0.0f);
    std::vector<float> history = std::vector<float>(W * H * 4, 0.5f);
    std::vector<float> position = repeated(W * H, {0.0f, 0.0f, 0.0f, 1.0f}); // particle id 1
    std::vector<float> normal = repeated(W * H, {0.0f, 0.0f, 1.0f, 0.0f});
    std::vector<float> prevPosition = position;
    std::vector<float> prevNormal = normal;
    std::vector<float> prevMoment1 = std::vector<float>(W * H, 0.75f);
    std::vector<float> prevMoment2 = std::vector<float>(W * H, 0.625f);
    std::vector<float> depth = std::vector<float>(W * H, 0.0f);
    std::vector<float> prevDepth = std::vector<float>(W * H, 0.0f);
    // blendFactor 0: history only, where it is accepted.
    ConstantBufferData constants = {.resolution = {float(W), float(H), 1.0f}, .blendFactor = 0.0f, .depthThreshold = 0.1f,
                                    .normalThreshold = 0.9f, .standardDeviation = 1.0f, .velocityScale = 1.0f};
};

float* pixel(std::vector<float>& image, uint32_t x, uint32_t y) { return rgbaAt(image, W, x, y); }

struct TemporalOutputs {
    std::vector<float> colour; // RGBA
    std::vector<float> moment1;
    std::vector<float> moment2;

    const float* at(uint32_t x, uint32_t y) const { return rgbaAt(colour, W, x, y); }
    float m1(uint32_t x, uint32_t y) const { return moment1[y * W + x]; }
    float m2(uint32_t x, uint32_t y) const { return moment2[y * W + x]; }
};

class TemporalReprojection : public GpuTest {
protected:
    // accum is RGBA16F as in the piece, or RGBA32F to compare two programs at full precision.
    TemporalOutputs run(const TemporalInputs& in, ShaderBytecode program = TemporalReprojectionCS,
                        uint32_t accumFormat = FORMAT_R16G16B16A16_FLOAT)
    {
        const uint32_t rgba16 = FORMAT_R16G16B16A16_FLOAT, rgba32 = FORMAT_R32G32B32A32_FLOAT, r32 = FORMAT_R32_FLOAT;
        auto image = [&](uint32_t format, const std::vector<float>& values) { return uploadFloats(W, H, format, values); };
        Image* outputs[3] = {createStorageImage(W, H, accumFormat), createStorageImage(W, H, r32),
                             createStorageImage(W, H, r32)};
        dispatchOverImage(
            computePipeline(program, {makeRange(RANGE_SRV, 11), makeRange(RANGE_UAV, 3), makeRange(RANGE_CBV, 1)}, false, true),
            W, H,
            {image(rgba16, in.colour), image(rgba32, in.motion), image(rgba16, in.history), image(rgba32, in.position),
             image(rgba32, withDepthInW(in.normal, in.depth)), image(rgba32, in.prevPosition),
             image(rgba32, withDepthInW(in.prevNormal, in.prevDepth)),
             image(r32, in.prevMoment1), image(r32, in.prevMoment2), image(r32, in.depth), image(r32, in.prevDepth)},
            {outputs[0], outputs[1], outputs[2]}, uploadBuffer(sizeof(ConstantBufferData), BufferType::Constant, &in.constants));
        return {readFloats(outputs[0]), readFloats(outputs[1]), readFloats(outputs[2])};
    }
};

} // namespace

TEST_F(TemporalReprojection, DifferentIdFallsBackToBlurAndResetsMoments)
{
    // The previous frame saw particle 2 everywhere: no pixel keeps history, although
    // blendFactor 0.5 and previous moments 0.75 / 0.625 would show if one did. The colour is
    // black except red 1 at (0, 0) and green 1 at (4, 4).
    // Red: clamped taps that land on (0, 0): at (0, 0) every tap with dx <= 0 and dy <= 0:
    // (0,0) (-1,-1) (0,-1) (-1,0) (-2,-2) (0,-2) (-2,0) = 7 of 17.
    // Green: pixel p sees (4, 4) once when (4, 4) - p is one of the 17 offsets, which are the
    // 5 x 5 square around the pixel without its eight knight's moves (1, 2), (2, 1), ...
    TemporalInputs in;
    in.constants.blendFactor = 0.5f;
    in.prevPosition = repeated(W * H, {0.0f, 0.0f, 0.0f, 2.0f});
    in.colour = repeated(W * H, {0.0f, 0.0f, 0.0f, 0.5f});
    pixel(in.colour, 0, 0)[0] = 1.0f;
    pixel(in.colour, 4, 4)[1] = 1.0f;
    TemporalOutputs out = run(in);

    const float tolerance = 5e-4f; // RGBA16F output
    EXPECT_NEAR(out.at(0, 0)[0], 7.0f / 17.0f, tolerance);
    for (uint32_t y = 0; y < H; ++y)
        for (uint32_t x = 0; x < W; ++x) {
            int dx = std::abs(4 - int(x)), dy = std::abs(4 - int(y));
            bool tap = dx <= 2 && dy <= 2 && !(dx == 1 && dy == 2) && !(dx == 2 && dy == 1);
            EXPECT_NEAR(out.at(x, y)[1], tap ? 1.0f / 17.0f : 0.0f, tolerance) << x << "," << y;
            EXPECT_EQ(out.at(x, y)[3], 1.0f);
        }
    // Moments restart from this frame's luma: 0.299 at (0, 0), 0 at (1, 0).
    EXPECT_NEAR(out.m1(0, 0), 0.299f, 1e-6f);
    EXPECT_NEAR(out.m2(0, 0), 0.299f * 0.299f, 1e-6f);
    EXPECT_EQ(out.m1(1, 0), 0.0f);
}

TEST_F(TemporalReprojection, AcceptsHistoryOnlyOnTheSameSurfaceInsideTheImageAndClampsItsLuma)
{
    // blendFactor 0: an accepted pixel writes the clamped history itself and takes m1 from the
    // previous first moment at its reprojected position, set to 1 + x + 8y there; a rejected
    // one restarts at Lc = 0.5. The history is (1, 0.5, 0.25) (luma 0.621), grey 0.1 at (4, 3).
    TemporalInputs in;
    for (uint32_t i = 0; i < W * H; ++i) {
        in.prevMoment1[i] = float(1 + i);
        in.history[i * 4 + 0] = 1.0f, in.history[i * 4 + 2] = 0.25f;
    }
    std::fill_n(pixel(in.history, 4, 3), 3, 0.1f);

    // Depth tolerance max(0.1 * Z, 0.05): at Z = 0 it is 0.05, at Z = 1 it is 0.1.
    in.depth[1 * W + 1] = 0.0f, in.prevDepth[1 * W + 1] = 0.04f;
    in.depth[1 * W + 3] = 0.0f, in.prevDepth[1 * W + 3] = 0.06f;
    in.depth[1 * W + 5] = 1.0f, in.prevDepth[1 * W + 5] = 1.08f;
    in.depth[3 * W + 1] = 1.0f, in.prevDepth[3 * W + 1] = 1.12f;
    // prevUV = uv + motion; uv of column 7 is 7.5 / 8 = 0.9375, of column 0 is 0.0625.
    pixel(in.motion, 7, 3)[0] = 0.0625f;  // prevUV.x = 1.0: inside
    pixel(in.motion, 0, 3)[0] = -0.0625f; // prevUV.x = 0.0: outside
    pixel(in.motion, 3, 7)[1] = 0.0625f;  // prevUV.y = 1.0: inside
    pixel(in.motion, 3, 0)[1] = -0.0625f; // prevUV.y = 0.0: outside
    pixel(in.motion, 5, 5)[0] = 0.5f;     // prevUV.x = 1.1875: outside
    pixel(in.motion, 2, 5)[0] = 0.25f;    // prevUV = (0.5625, 0.6875): centre of pixel (4, 5)
    // Surfaces: background, another particle last frame, a turned normal, and normals that
    // only differ in length (both are normalised).
    pixel(in.position, 6, 1)[3] = 0.0f;
    pixel(in.prevPosition, 6, 3)[3] = 3.0f;
    pixel(in.prevNormal, 6, 5)[1] = 1.0f, pixel(in.prevNormal, 6, 5)[2] = 0.0f;
    pixel(in.normal, 4, 6)[2] = 3.0f, pixel(in.prevNormal, 4, 6)[2] = 5.0f;
    // Greys 0.5 everywhere except (3, 2) = 0.25. Around (3, 3) the nine lumas are eight 0.5
    // and one 0.25: mean 4.25 / 9, mean of squares 2.0625 / 9, variance 1 / 162, deviation
    // 0.0785674. With standardDeviation 1: lo = 0.25 - 0.0785674 = 0.1714326,
    // hi = 0.5 + 0.0785674 = 0.5785674. Around (6, 6) all lumas are 0.5: lo = hi = 0.5.
    std::fill_n(pixel(in.colour, 3, 2), 3, 0.25f);
    TemporalOutputs out = run(in);

    // Each pixel and where its history comes from, or (-1, -1) when it is rejected.
    const struct { uint32_t x, y; int fromX, fromY; const char* why; } cases[] = {
        {1, 1, 1, 1, "|0 - 0.04| < 0.05"},   {3, 1, -1, -1, "|0 - 0.06| >= 0.05"}, {5, 1, 5, 1, "|1 - 1.08| < 0.1"},
        {1, 3, -1, -1, "|1 - 1.12| >= 0.1"}, {7, 3, 7, 3, "prevUV.x = 1"},       {0, 3, -1, -1, "prevUV.x = 0"},
        {3, 7, 3, 7, "prevUV.y = 1"},        {3, 0, -1, -1, "prevUV.y = 0"},     {5, 5, -1, -1, "prevUV.x > 1"},
        {2, 5, 4, 5, "history read where the pixel came from"},                 {6, 1, -1, -1, "background (id 0)"},
        {6, 3, -1, -1, "another particle last frame"}, {6, 5, -1, -1, "normal turned by 90 degrees"},
        {4, 6, 4, 6, "normals of different length"},
    };
    for (const auto& c : cases)
        EXPECT_NEAR(out.m1(c.x, c.y), c.fromX < 0 ? 0.5f : in.prevMoment1[c.fromY * W + c.fromX], 1e-5f) << c.why;
    EXPECT_NEAR(out.m2(1, 1), 0.625f, 1e-5f);
    EXPECT_NEAR(out.m2(3, 1), 0.25f, 1e-5f);

    // The history keeps its hue and is scaled by hi / 0.621 at (3, 3), 0.5 / 0.621 at (6, 6).
    // (4, 3) sees the same nine lumas as (3, 3): its grey 0.1 history rises to lo.
    const float tolerance = 5e-4f;
    float scale = 0.5785674f / 0.621f;
    EXPECT_NEAR(out.at(3, 3)[0], 1.0f * scale, tolerance);
    EXPECT_NEAR(out.at(3, 3)[1], 0.5f * scale, tolerance);
    EXPECT_NEAR(out.at(3, 3)[2], 0.25f * scale, tolerance);
    EXPECT_NEAR(out.at(6, 6)[0], 0.5f / 0.621f, tolerance);
    EXPECT_NEAR(out.at(6, 6)[2], 0.125f / 0.621f, tolerance);
    EXPECT_NEAR(out.at(4, 3)[1], 0.1714326f, tolerance);
}

TEST_F(TemporalReprojection, BlursFromTheNeighbourhoodAsFromSamples)
{
    // The piece's program takes the 17 blur taps from the pixels it loaded for the luma range
    // and the ring at distance 2; the reference samples each at its pixel centre. Colours
    // differ from pixel to pixel, and every other pixel sees another particle last frame, so
    // that blurred and blended pixels sit side by side, on the edges too.
    TemporalInputs in;
    in.constants.blendFactor = 0.25f;
    for (uint32_t y = 0; y < H; ++y)
        for (uint32_t x = 0; x < W; ++x) {
            float* c = pixel(in.colour, x, y);
            c[0] = float((x * 7 + y * 3) % 8) / 8.0f, c[1] = float((x * 5 + y * 11) % 9) / 9.0f, c[2] = 0.5f;
            pixel(in.history, x, y)[1] = float(x + y) / 16.0f;
            pixel(in.prevPosition, x, y)[3] = (x + 2 * y) % 3 == 0 ? 2.0f : 1.0f;
        }
    TemporalOutputs fast = run(in, TemporalReprojectionCS, FORMAT_R32G32B32A32_FLOAT);
    TemporalOutputs reference = run(in, TemporalReprojectionCSReference, FORMAT_R32G32B32A32_FLOAT);
    for (uint32_t y = 0; y < H; ++y)
        for (uint32_t x = 0; x < W; ++x) {
            for (int c = 0; c < 4; ++c)
                EXPECT_NEAR(fast.at(x, y)[c], reference.at(x, y)[c], 1e-5f) << x << "," << y << " channel " << c;
            EXPECT_NEAR(fast.m1(x, y), reference.m1(x, y), 1e-5f) << x << "," << y;
            EXPECT_NEAR(fast.m2(x, y), reference.m2(x, y), 1e-5f) << x << "," << y;
        }
}
