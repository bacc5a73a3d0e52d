// DepthOfFieldPS drawn as a full-screen pass into an 8 x 8 RGBA16F target: when the spiral
// runs, how its samples are weighed, and the pass-through of pixels with depth below -1.
// Expected values come from the program's definition, derived in the comments.
#include "tests/gpu/gpu_harness.h"

namespace {

constexpr uint32_t W = 8;
constexpr uint32_t H = 8;

// Device depth 0 lies at the near plane: linearise(0) = 0.1 * 1000 / 1000 = 0.1, and with
// maxDist 1000 the scaled distance is 0.1. Depth 1 gives 100 / (1000 - 999.9) = 1000.
struct FieldInputs {
    uint32_t width, height;
    std::vector<float> depth = std::vector<float>(width * height, 0.0f);
    std::vector<float> colour = std::vector<float>(width * height * 4, 0.0f);
    DepthOfFieldData constants = {.resolution = {float(width), float(height)}, .focusPoint = 1.0f, .focusScale = 0.0f,
                                  .radiusScale = 1.0f, .blurSize = 20.0f, .maxDist = 1000.0f};

    float* colourAt(uint32_t x, uint32_t y) { return rgbaAt(colour, width, x, y); }
};

class DepthOfField : public GpuTest {
protected:
    // The tile pre-pass, then a draw of the piece's pass (or the reference's) into a new
    // target, as RGBA floats row by row. The pass blends with SRC_ALPHA / INV_SRC_ALPHA over
    // its (0, 0, 0, 1) clear, so an output of alpha 1 is stored as it is.
    std::vector<float> run(const FieldInputs& in, bool reference = false)
    {
        const uint32_t width = in.width, height = in.height, rgba32 = FORMAT_R32G32B32A32_FLOAT;
        if (!tilesPipeline)
            tilesPipeline = computePipeline(DepthOfFieldTilesCS, {makeRange(RANGE_SRV, 2), makeRange(RANGE_UAV, 2),
                                                                  makeRange(RANGE_CBV, 1)});
        FullscreenPass*& pass = passes[reference];
        if (!pass)
            pass = fullscreenPass(reference ? DepthOfFieldPSReference : DepthOfFieldPS, 4, FORMAT_R16G16B16A16_FLOAT,
                                  ADDRESS_CLAMP);
        Image* depth = uploadFloats(width, height, FORMAT_R32_FLOAT, in.depth);
        Image* frame = uploadFloats(width, height, FORMAT_R16G16B16A16_FLOAT, in.colour);
        Image* packed = createStorageImage(width, height, rgba32);
        Image* tiles = createStorageImage((width + 31) / 32, (height + 31) / 32, rgba32);
        Buffer* constants = uploadBuffer(sizeof(DepthOfFieldData), BufferType::Constant, &in.constants);
        dispatchOverImage(tilesPipeline, width, height, {depth, frame}, {packed, tiles}, constants);
        return readFloats(drawPass(pass, width, height, passBindings({depth, frame, packed, tiles}, constants)));
    }

    Pipeline* tilesPipeline = nullptr;
    FullscreenPass* passes[2] = {}; // the piece's; the reference: the whole spiral, two reads a sample
};

} // namespace

TEST_F(DepthOfField, NoBlurWithoutAFocusScaleRoomOrAPositiveRadiusScale)
{
    // focusScale 0 makes every blur radius 0, so each of the 198 spiral samples of the demo's
    // values (radiusScale 1, blurSize 20) has m = smoothstep(r - 0.5, r + 0.5, 0) = 0 and adds
    // the running mean. With focusScale 1 everything in front of the focus point would be fully
    // blurred, but the spiral never starts without room (|blurSize| <= radiusScale) and a
    // radius that cannot grow means no blur rather than an endless loop. 1e-30 jumps the radius
    // to 1, where adding 1e-30 changes nothing in single precision: the spiral stops there, and
    // focusScale 0 keeps those samples out. Each writes the centre colour with alpha 1.
    const struct { float focusScale, blurSize, radiusScale; } cases[] = {
        {0.0f, 20.0f, 1.0f}, {1.0f, 1.0f, 1.0f},   {1.0f, -0.5f, 1.0f},
        {1.0f, 20.0f, 0.0f}, {1.0f, 20.0f, -1.0f}, {0.0f, 20.0f, 1e-30f}};
    // Colour (x / 8, y / 8, 0.5 on odd pixels, alpha 0.5): every pixel differs from its neighbours.
    FieldInputs in{W, H};
    for (uint32_t y = 0; y < H; ++y)
        for (uint32_t x = 0; x < W; ++x) {
            float* c = in.colourAt(x, y);
            c[0] = float(x) / 8.0f, c[1] = float(y) / 8.0f, c[2] = (x + y) % 2 ? 0.5f : 0.0f, c[3] = 0.5f;
        }
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.focusScale << " " << c.blurSize << " " << c.radiusScale);
        in.constants.focusScale = c.focusScale, in.constants.blurSize = c.blurSize;
        in.constants.radiusScale = c.radiusScale;
        std::vector<float> out = run(in);
        for (uint32_t i = 0; i < W * H * 4; ++i)
            EXPECT_NEAR(out[i], i % 4 == 3 ? 1.0f : in.colour[i], 1e-3f) << "pixel " << i / 4 % W << "," << i / 4 / W;
    }
}

TEST_F(DepthOfField, CentrePixelAveragesItsBlurredSamplesUnlessFocusedOrBelowMinusOne)
{
    // Colour (0.25, 0.5, 1, 1) everywhere but the centre (3, 3), (1, 1, 0, alpha). With depth 0
    // the scaled distance is 0.1, and with focusPoint 1 the blur radius is
    // |clamp((1 - 10) * 1, -1, 1)| * 2.5 = 2.5 for centre and samples alike. With radiusScale 1
    // and blurSize 2.5 the spiral takes two samples:
    //   radius 1 at angle 0: the centre of pixel (4, 3), m = smoothstep(0.5, 1.5, 2.5) = 1;
    //   radius 2 at angle 7.39996: offset (0.877, 1.797) pixels, between pixels (3..4, 4..5),
    //   m = smoothstep(1.5, 2.5, 2.5) = 1;
    // so colour = (c + s + s) / 3. Depth below -1 passes the colour through, alpha included:
    // the blend stores rgb * 0.25 over the black clear and alpha 0.25 + 1 * 0.75 = 1. A centre
    // at the focus point (focusPoint 0.1) on a background far behind it (depth 1, distance
    // 1000) has radius 0: each sample's radius is clamped to 2 * 0, m = 0, the colour stays.
    struct Case { const char* name; float centreDepth, otherDepth, focusPoint, alpha; Float3 expected; };
    const Case cases[] = {
        {"blurred", 0.0f, 0.0f, 1.0f, 1.0f, {1.5f / 3.0f, 2.0f / 3.0f, 2.0f / 3.0f}},
        {"depth -1 is not below -1", -1.0f, 0.0f, 1.0f, 1.0f, {1.5f / 3.0f, 2.0f / 3.0f, 2.0f / 3.0f}},
        {"depth -2", -2.0f, 0.0f, 1.0f, 0.25f, {0.25f, 0.25f, 0.0f}},
        {"focused over the background", 0.0f, 1.0f, 0.1f, 1.0f, {1.0f, 1.0f, 0.0f}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FieldInputs in{W, H};
        in.constants.focusScale = 1.0f, in.constants.blurSize = 2.5f, in.constants.focusPoint = c.focusPoint;
        in.colour = repeated(W * H, {0.25f, 0.5f, 1.0f, 1.0f});
        in.depth.assign(W * H, c.otherDepth);
        float* centre = in.colourAt(3, 3);
        centre[0] = 1.0f, centre[1] = 1.0f, centre[2] = 0.0f, centre[3] = c.alpha;
        in.depth[3 * W + 3] = c.centreDepth;
        std::vector<float> out = run(in);
        const float* centreOut = rgbaAt(out, W, 3, 3);
        expectNear({centreOut[0], centreOut[1], centreOut[2]}, c.expected, 1e-3f);
        EXPECT_EQ(centreOut[3], 1.0f);
    }
}

TEST_F(DepthOfField, EndsTheSpiralEarlyWithTheWholeSpiralsResult)
{
    // 96 x 64 pixels, 3 x 2 tiles, blurSize 20: the whole spiral (198 samples, two reads each)
    // against the piece's, which ends where the tile records show that no further sample can
    // count and reads no depth where everything within reach is blurred the most. The scaled
    // distance of depth z is d = 100 / (1000 - 999.9 z), so z = (1000 - 100 / d) / 999.9, and
    // with focusPoint 10 the blur radius is |clamp((0.1 - 1 / d) focusScale, -1, 1)| 20.
    auto depthAt = [](float d) { return (1000.0f - 100.0f / d) / 999.9f; };
    auto inDisc = [](uint32_t x, uint32_t y) { return (x - 40.0f) * (x - 40.0f) + (y - 30.0f) * (y - 30.0f) < 144.0f; };
    // blurred: the whole spiral changes most pixels.
    struct Case { const char* name; float focusScale; float (*distance)(uint32_t x, uint32_t y, bool disc); bool blurred; };
    const Case cases[] = {
        // Background d = 1000: (0.1 - 0.001) 20 = 1.98, fully blurred; the disc at the focus.
        {"sharp foreground on blurred background", 20.0f, [](uint32_t, uint32_t, bool disc) { return disc ? 10.0f : 1000.0f; }, true},
        // (0.1 - 0.001) 5 = 0.495: 9.9 pixels, so every spiral ends at radius 10.41.
        {"foreground on half-blurred background", 5.0f, [](uint32_t, uint32_t, bool disc) { return disc ? 10.0f : 1000.0f; }, true},
        // (0.1 - 0.001) 7.5 = 0.7425: 14.85 pixels, short of blurSize, so not one tile is saturated.
        {"three-quarters blurred background", 7.5f, [](uint32_t, uint32_t, bool) { return 1000.0f; }, true},
        {"all in focus", 20.0f, [](uint32_t, uint32_t, bool) { return 10.0f; }, false},
        {"all blurred", 20.0f, [](uint32_t, uint32_t, bool) { return 1000.0f; }, true},
        // d from 5 to 100 across the picture: blur radii from 8 down to 0 and up to 7.2, a
        // different end in every tile column.
        {"depth ramp", 4.0f, [](uint32_t x, uint32_t, bool) { return 5.0f + x; }, true},
        // One pixel in front, (0.1 - 0.5) 20 = -8: blurred by 20 pixels over a picture in focus,
        // reaching into the tile to its left.
        {"one blurred pixel", 20.0f, [](uint32_t x, uint32_t y, bool) { return x == 33 && y == 20 ? 2.0f : 10.0f; }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FieldInputs in{96, 64};
        in.constants.focusPoint = 10.0f;
        in.constants.focusScale = c.focusScale;
        for (uint32_t y = 0; y < 64; ++y)
            for (uint32_t x = 0; x < 96; ++x) {
                in.depth[y * 96 + x] = depthAt(c.distance(x, y, inDisc(x, y)));
                float* colour = in.colourAt(x, y);
                for (int k = 0; k < 3; ++k)
                    colour[k] = float((x * 7 + y * 13 + k * 5) % 11) / 10.0f; // no two neighbours alike
                colour[3] = 1.0f;
            }
        std::vector<float> reference = run(in, true);
        std::vector<float> fast = run(in);
        uint32_t changed = 0, worst = 0;
        for (uint32_t i = 0; i < 96 * 64 * 4; ++i) {
            if (std::fabs(fast[i] - reference[i]) > 1e-3f && worst++ < 5)
                ADD_FAILURE() << "pixel " << (i / 4) % 96 << "," << i / 384 << ": " << fast[i] << " vs " << reference[i];
            changed += i % 4 != 3 && std::fabs(reference[i] - in.colour[i]) > 0.01f;
        }
        EXPECT_EQ(changed > 96 * 64, c.blurred) << changed << " channels blurred";
    }
}
