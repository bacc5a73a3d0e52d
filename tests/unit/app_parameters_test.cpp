// Demo parameters and camera: defaults, seeding, the track callback and the frame matrices,
// checked on the compiled-in timeline and on hand-built cameras.
#include "app/main_loop.h"
#include "app/parameters.h"
#include "code/kivrel_timeline.json.h"
#include "timeline/timeline_io.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <string>

namespace {

// A demo as start-up leaves it, with the given timeline text loaded (or seeded when empty).
struct Demo {
    DemoParameters parameters;
    DemoState state;
    Timeline* timeline = createTimeline(timelineFrameCount);

    explicit Demo(const std::string& text)
    {
        state.camera = makeCamera(parameters.cameraPos, parameters.cameraDir);
        initRecords(state, parameters, {2560.0f, 1440.0f});
        applyDefaults(state, parameters);
        testing::internal::CaptureStdout();
        loadTimeline(*timeline, text.data(), text.size());
        testing::internal::GetCapturedStdout();
        if (timeline->tracks.count == 0)
            seedTracks(*timeline, parameters);
    }
    ~Demo() { destroyTimeline(timeline); }

    void showFrame(uint32_t frame)
    {
        state.simulation.frame = frame;
        evaluateFrame(state, *timeline);
        updateFrameMatrices(state);
    }
};

const std::string pieceText(TIMELINE_JSON_DATA, sizeof(TIMELINE_JSON_DATA));

struct Float4 {
    float x, y, z, w;
};

// Row vector (p, 1) times the matrix.
Float4 transformPoint(Float3 p, const Float4x4& m)
{
    float v[4] = {p.x, p.y, p.z, 1.0f};
    float r[4] = {};
    for (int c = 0; c < 4; ++c)
        for (int k = 0; k < 4; ++k)
            r[c] += v[k] * m.m[k][c];
    return {r[0], r[1], r[2], r[3]};
}

bool sameBytes(const auto& a, const auto& b)
{
    static_assert(sizeof(a) == sizeof(b));
    return std::memcmp(&a, &b, sizeof(a)) == 0;
}

} // namespace

TEST(Parameters, FirstFrameOfThePiece)
{
    Demo demo(pieceText);
    demo.showFrame(0);
    const DemoState& state = demo.state;
    EXPECT_EQ(state.camera.position.x, 0.0f);
    EXPECT_EQ(state.camera.position.y, 0.0f);
    EXPECT_EQ(state.camera.position.z, -208.839996f);
    EXPECT_EQ(state.camera.yaw, 1.57f);
    EXPECT_EQ(state.camera.pitch, 0.0f);
    // forward = (cos 1.57, sin 0, sin 1.57) = (0.00079633, 0, 0.99999968): along +z.
    EXPECT_NEAR(state.camera.forward.x, 0.00079633f, 1e-6f);
    EXPECT_EQ(state.camera.forward.y, 0.0f);
    EXPECT_NEAR(state.camera.forward.z, 0.99999968f, 1e-6f);
    EXPECT_EQ(asFloat(findTrack(*demo.timeline, "CM::Fov")->currentValue.x), 40.029999f);
    // Field of view 40.029999: f = 1 / tan(20.0149995 degrees) = 2.7452411, m00 = f / 1.7777778.
    EXPECT_NEAR(state.projection.m[1][1], 2.7452411f, 2e-6f);
    EXPECT_NEAR(state.projection.m[0][0], 1.5441981f, 2e-6f);
    EXPECT_EQ(state.scene.numParticles, 64u);
    EXPECT_EQ(state.simulation.scene, 0u);
    EXPECT_EQ(state.timeScale, 0.025f);
    EXPECT_EQ(state.filterSteps, 3u);
    EXPECT_EQ(state.finalPass.brightness, 0.0f);
    EXPECT_EQ(state.depthOfField.focusScale, 200.0f);
    EXPECT_EQ(state.scene.backgroundColor.x, 0.23032f);
    EXPECT_EQ(state.simulation.cameraPos.z, -208.839996f);
    // Tracks that do not exist keep the defaults.
    EXPECT_EQ(state.depthOfField.blurSize, 20.0f);
    EXPECT_EQ(state.finalPass.tonemapping, WHITE_PRESERVING_LUMA_BASED_REINHARD);
}

TEST(Parameters, BrightnessRampAndSceneChange)
{
    Demo demo(pieceText);
    demo.showFrame(509);
    // Linear from 0 at 439 to 1 at 579: (509 - 439) / 140 = 0.5.
    EXPECT_EQ(demo.state.finalPass.brightness, 0.5f);
    EXPECT_EQ(demo.state.finalPass.frame, 509u);

    for (uint32_t frame : {0u, 1000u, 3253u}) {
        demo.showFrame(frame);
        EXPECT_EQ(demo.state.finalPass.showExtraTexture, 1u) << frame;
        EXPECT_EQ(demo.state.scene.numParticles, 64u);
    }
    for (uint32_t frame : {3254u, 3255u, 7400u}) {
        demo.showFrame(frame);
        EXPECT_EQ(demo.state.finalPass.showExtraTexture, 0u) << frame;
        EXPECT_EQ(demo.state.scene.numParticles, 128u);
        EXPECT_EQ(demo.state.simulation.scene, 1u);
    }
    EXPECT_EQ(demo.state.timeScale, 0.02f);
}

TEST(Parameters, TimelineWithoutTracksReproducesTheDefaults)
{
    Demo seeded("{}");
    ASSERT_EQ(seeded.timeline->tracks.count, demoTrackCount);
    for (uint32_t i = 0; i < demoTrackCount; ++i) {
        const Track& track = *seeded.timeline->tracks[i];
        EXPECT_STREQ(track.name, demoTracks[i].name);
        EXPECT_EQ(track.type, demoTracks[i].type);
        ASSERT_NE(track.keys[0], nullptr);
        EXPECT_EQ(track.keys[0]->easing, 0u);
    }
    // The defaults as applyDefaults writes them, on a record whose other fields are set apart.
    DemoState expected = seeded.state;
    for (uint32_t frame : {0u, 5000u, 10842u}) {
        DemoState& state = seeded.state;
        std::memset(&state.scene, 0xAB, sizeof(state.scene));
        state.timeScale = 0.0f;
        state.projection = {};
        state.camera.position = {};
        state.simulation.frame = frame;
        evaluateFrame(state, *seeded.timeline);
        EXPECT_TRUE(sameBytes(state.scene, expected.scene));
        EXPECT_TRUE(sameBytes(state.depthOfField, expected.depthOfField));
        EXPECT_TRUE(sameBytes(state.projection, expected.projection));
        EXPECT_EQ(state.timeScale, 0.025f);
        EXPECT_EQ(state.filterSteps, 2u);
        EXPECT_EQ(state.frame.sampleCount, 4u);
        EXPECT_EQ(state.frame.blendFactor, 0.15f);
        EXPECT_EQ(state.finalPass.brightness, 1.0f);
        EXPECT_EQ(state.simulation.scene, 0u);
        EXPECT_EQ(state.camera.position.z, -80.0f);
        EXPECT_EQ(state.camera.yaw, 1.57f);
    }
    // Field of view 60: f = 1 / tan(30 degrees) = 1.7320508, m00 = f / 1.7777778 = 0.9742786.
    EXPECT_NEAR(expected.projection.m[1][1], 1.7320508f, 1e-6f);
    EXPECT_NEAR(expected.projection.m[0][0], 0.9742786f, 1e-6f);
}

TEST(Parameters, ProjectionCarriesTheConstantDepthTerms)
{
    Float4x4 projection = projectionFromFov(90.0f);
    EXPECT_EQ(std::bit_cast<uint32_t>(projection.m[2][2]), 0xBF80068Du);
    EXPECT_EQ(std::bit_cast<uint32_t>(projection.m[3][2]), 0xBE4CD20Au);
    EXPECT_EQ(projection.m[2][3], -1.0f);
    // The constants are the near 0.1 / far 1000 terms: (0.1 + 1000) / (0.1 - 1000) and
    // 2 * 1000 * 0.1 / (0.1 - 1000).
    EXPECT_NEAR(projection.m[2][2], -1.0002f, 1e-6f);
    EXPECT_NEAR(projection.m[3][2], -0.20002f, 1e-6f);
    EXPECT_NEAR(projection.m[1][1], 1.0f, 1e-6f);
    EXPECT_EQ(projection.m[3][3], 0.0f);
}

TEST(Parameters, ViewProjectionIsViewTimesProjection)
{
    DemoState state;
    // Eye at (0, 0, 5) looking down -z: the view is the translation by (0, 0, -5).
    state.camera = makeCamera({0.0f, 0.0f, 5.0f}, {0.0f, 0.0f, 0.0f});
    state.projection = projectionFromFov(90.0f);
    updateFrameMatrices(state);
    // (1, 1, 0) -> view (1, 1, -5) -> clip (0.5625 * 1, 1 * 1, 5 * 1.0002 - 0.20002, 5).
    Float4 clip = transformPoint({1.0f, 1.0f, 0.0f}, state.frame.viewProjMtx);
    EXPECT_NEAR(clip.x, 0.5625f, 1e-6f);
    EXPECT_NEAR(clip.y, 1.0f, 1e-6f);
    EXPECT_NEAR(clip.z, 4.80098f, 1e-5f);
    EXPECT_NEAR(clip.w, 5.0f, 1e-6f);
    // The swapped product sends the same point elsewhere.
    Float4 swapped = transformPoint({1.0f, 1.0f, 0.0f}, multiply(state.projection, state.frame.viewMtx));
    EXPECT_GT(std::fabs(swapped.w - clip.w) + std::fabs(swapped.z - clip.z), 1.0f);
    // The inverse is taken of the transpose: transpose(viewProj) x inverse = identity.
    Float4x4 transposed = state.frame.viewProjMtx;
    transpose(transposed);
    Float4x4 product = multiply(transposed, state.frame.invViewProjMtx);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(product.m[r][c], r == c ? 1.0f : 0.0f, 1e-5f);
    EXPECT_EQ(state.simulation.cameraPos.z, 5.0f);
    EXPECT_EQ(state.frame.cameraPos.z, 5.0f);
}

TEST(Parameters, RollTurnsTheViewAboutItsAxis)
{
    Camera camera = makeCamera({0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 1.5707964f});
    Float4x4 view = viewMatrix(camera);
    // Looking down -z, a quarter turn of roll sends +x to +y: (1, 0, 0) x rotationZ = (0, 1, 0).
    Float4 turned = transformPoint({1.0f, 0.0f, 0.0f}, view);
    EXPECT_NEAR(turned.x, 0.0f, 1e-6f);
    EXPECT_NEAR(turned.y, 1.0f, 1e-6f);
    EXPECT_TRUE(sameBytes(camera.view, view));
}

TEST(Parameters, StartValuesAndPreviousFrameCopies)
{
    Demo demo(pieceText);
    const DemoState& state = demo.state;
    EXPECT_EQ(state.frame.resolution.x, 1920.0f);
    EXPECT_EQ(state.frame.resolution.y, 1080.0f);
    EXPECT_EQ(state.frame.resolution.z, 1.0f);
    EXPECT_EQ(state.depthOfField.resolution.y, 1080.0f);
    EXPECT_EQ(state.finalPass.nativeResolution.x, 2560.0f);
    EXPECT_EQ(state.finalPass.showExtraTexture, 1u);
    EXPECT_EQ(state.frame.time, 0.0f);
    EXPECT_EQ(state.frame.frame, 0.0f);
    EXPECT_TRUE(sameBytes(state.frame.prevViewProjMtx, state.frame.viewProjMtx));
    EXPECT_TRUE(sameBytes(state.frame.prevInvViewProjMtx, state.frame.invViewProjMtx));
    EXPECT_EQ(state.frame.prevCameraPos.z, -80.0f);

    // A rendered frame's matrices become the next frame's previous ones.
    demo.showFrame(0);
    EXPECT_FALSE(sameBytes(demo.state.frame.prevViewProjMtx, demo.state.frame.viewProjMtx));
    keepPreviousFrame(demo.state);
    EXPECT_TRUE(sameBytes(demo.state.frame.prevViewProjMtx, demo.state.frame.viewProjMtx));
    EXPECT_EQ(demo.state.frame.prevCameraPos.z, -208.839996f);
}

TEST(Parameters, CallbackClampsParticlesAndIgnoresUnknownNames)
{
    DemoState state;
    onTrackValue(state, "SM::NumPart", 0, {TrackType::UINT, 200, 0, 0});
    // The particle buffer holds 128 records.
    EXPECT_EQ(state.scene.numParticles, 128u);
    onTrackValue(state, "SM::NumPart", 0, {TrackType::UINT, 128, 0, 0});
    EXPECT_EQ(state.scene.numParticles, 128u);
    onTrackValue(state, "AT::Steps", 0, {TrackType::UINT, 5, 0, 0});
    EXPECT_EQ(state.filterSteps, 5u);

    DemoState before = state;
    onTrackValue(state, "SM::NumPar", 0, {TrackType::UINT, 1, 0, 0});
    onTrackValue(state, "XX::Other", 0, {TrackType::FLOAT, floatBits(2.0f), 0, 0});
    EXPECT_TRUE(sameBytes(state.scene, before.scene));
    EXPECT_EQ(state.filterSteps, 5u);
}
