// Demo parameters and camera: each track's destination, the seeded defaults, the camera's
// direction and the frame matrices with their previous-frame copies.
#include "tests/unit/app_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

// Row vector (p, 1) times the matrix.
Float4x4 rowTimes(Float3 p, const Float4x4& m)
{
    Float4x4 r{};
    const float v[4] = {p.x, p.y, p.z, 1.0f};
    for (int c = 0; c < 4; ++c)
        for (int k = 0; k < 4; ++k)
            r.m[0][c] += v[k] * m.m[k][c];
    return r;
}

bool sameBytes(const auto& a, const auto& b)
{
    return std::memcmp(&a, &b, sizeof(a)) == 0;
}

FrameValue floatValue(float x) { return {TrackType::FLOAT, floatBits(x), 0, 0}; }

} // namespace

TEST(Parameters, TracksReachTheirDestinationsAndNearNamesChangeNothing)
{
    struct Case {
        const char* name;
        FrameValue value;
        bool (*arrived)(const DemoState& s);
    };
    const Case cases[] = {
        {"SM::NumPart", {TrackType::UINT, 77, 0, 0}, [](const DemoState& s) { return s.scene.numParticles == 77; }},
        // Held within each range, whatever a file or an overshooting easing gives: the particle
        // buffer's 128 records, the 14 filter steps the frame's heap holds, a field of view just
        // under 180 degrees (a finite projection), no negative light.
        {"SM::NumPart", {TrackType::UINT, 200, 0, 0}, [](const DemoState& s) { return s.scene.numParticles == 128; }},
        {"AT::Steps", {TrackType::UINT, 1000, 0, 0}, [](const DemoState& s) { return s.filterSteps == 14; }},
        {"CM::Fov", floatValue(180.0f), [](const DemoState& s) { return std::isfinite(s.projection.m[1][1]) && s.projection.m[1][1] > 0.0f; }},
        {"BP::BkgColor", {TrackType::FLOAT3, floatBits(-1.0f), floatBits(NAN), floatBits(0.5f)},
         [](const DemoState& s) { return s.scene.backgroundColor.x == 0.0f && s.scene.backgroundColor.y == 0.0f && s.scene.backgroundColor.z == 0.5f; }},
        // 90 degrees: f = 1 / tan 45 = 1, and m00 = f / (16 / 9) = 0.5625.
        {"CM::Fov", floatValue(90.0f), [](const DemoState& s) {
             return std::fabs(s.projection.m[1][1] - 1.0f) < 1e-6f && std::fabs(s.projection.m[0][0] - 0.5625f) < 1e-6f;
         }},
        // Neighbours in the table that a slip would swap.
        {"DF::FocusSc", floatValue(5.0f), [](const DemoState& s) { return s.depthOfField.focusScale == 5.0f; }},
        {"DF::FocusPt", floatValue(6.0f), [](const DemoState& s) { return s.depthOfField.focusPoint == 6.0f; }},
    };
    for (const Case& c : cases) {
        StartedDemo demo("{}");
        onTrackValue(demo.state, c.name, 0, c.value);
        EXPECT_TRUE(c.arrived(demo.state)) << c.name;
    }
    // Names that are not exactly a track's change nothing.
    StartedDemo demo("{}");
    DemoState before = demo.state;
    onTrackValue(demo.state, "SM::NumPar", 0, {TrackType::UINT, 1, 0, 0});
    onTrackValue(demo.state, "XX::Other", 0, floatValue(2.0f));
    EXPECT_TRUE(sameBytes(demo.state.scene, before.scene));
    EXPECT_EQ(demo.state.filterSteps, before.filterSteps);
}

TEST(Parameters, TimelineWithoutTracksGivesTheDefaultsOnEveryFrame)
{
    StartedDemo seeded("{}");
    ASSERT_EQ(seeded.timeline->tracks.count, demoTrackCount);
    const DemoState expected = seeded.state; // as applyDefaults left it
    for (uint32_t frame : {0u, 5000u, 10842u}) {
        DemoState& state = seeded.state;
        std::memset(&state.scene, 0xAB, sizeof(state.scene));
        state.timeScale = 0.0f;
        state.projection = {};
        state.camera.position = {};
        state.simulation.frame = frame;
        evaluateFrame(state, *seeded.timeline);
        EXPECT_TRUE(sameBytes(state.scene, expected.scene)) << frame;
        EXPECT_TRUE(sameBytes(state.depthOfField, expected.depthOfField)) << frame;
        EXPECT_TRUE(sameBytes(state.projection, expected.projection)) << frame;
        EXPECT_TRUE(sameBytes(state.camera.position, expected.camera.position)) << frame;
        EXPECT_EQ(state.timeScale, seeded.parameters.timeScale);
        EXPECT_EQ(state.filterSteps, seeded.parameters.filterSteps);
        EXPECT_EQ(state.frame.sampleCount, seeded.parameters.sampleCount);
        EXPECT_EQ(state.finalPass.brightness, seeded.parameters.brightness);
    }
    // The picture is rendered at 1920 x 1080 whatever the screen; the final pass knows both.
    EXPECT_EQ(expected.frame.resolution.x, 1920.0f);
    EXPECT_EQ(expected.depthOfField.resolution.y, 1080.0f);
    EXPECT_EQ(expected.finalPass.nativeResolution.x, 2560.0f);
}

TEST(Parameters, CameraLooksAlongYawAndPitchAndRollsAboutItsAxis)
{
    // forward = (cos yaw cos pitch, sin pitch, sin yaw cos pitch): yaw pi/2, pitch 0 is +z.
    Camera camera = makeCamera({0, 0, 0}, {0.0f, 1.5707964f, 0.0f});
    updateCamera(camera);
    EXPECT_NEAR(camera.forward.x, 0.0f, 1e-6f);
    EXPECT_NEAR(camera.forward.z, 1.0f, 1e-6f);
    camera = makeCamera({0, 0, 0}, {0.5235988f, 0.0f, 0.0f}); // pitch 30 degrees, yaw 0
    updateCamera(camera);
    EXPECT_NEAR(camera.forward.x, 0.8660254f, 1e-6f);
    EXPECT_NEAR(camera.forward.y, 0.5f, 1e-6f);
    // Looking down -z, a quarter turn of roll sends +x to +y.
    Camera rolled = makeCamera({0, 0, 0}, {0.0f, 0.0f, 1.5707964f});
    Float4x4 turned = rowTimes({1, 0, 0}, viewMatrix(rolled));
    EXPECT_NEAR(turned.m[0][0], 0.0f, 1e-6f);
    EXPECT_NEAR(turned.m[0][1], 1.0f, 1e-6f);
}

TEST(Parameters, ViewProjectionIsViewTimesProjectionAndBecomesThePreviousFrames)
{
    StartedDemo demo("{}");
    DemoState& state = demo.state;
    // The records start with the previous frame equal to the first.
    EXPECT_TRUE(sameBytes(state.frame.prevViewProjMtx, state.frame.viewProjMtx));
    // Eye at (0, 0, 5) looking down -z: the view is the translation by (0, 0, -5).
    state.camera = makeCamera({0.0f, 0.0f, 5.0f}, {0.0f, 0.0f, 0.0f});
    state.projection = projectionFromFov(90.0f);
    state.simulation.scene = 1;
    updateFrameMatrices(state);
    // (1, 1, 0) -> view (1, 1, -5) -> clip (0.5625, 1, 5 x 1.0002 - 0.20002, 5), the depth terms
    // being (0.1 + 1000) / (0.1 - 1000) and 2 x 1000 x 0.1 / (0.1 - 1000).
    Float4x4 clip = rowTimes({1.0f, 1.0f, 0.0f}, state.frame.viewProjMtx);
    EXPECT_NEAR(clip.m[0][0], 0.5625f, 1e-6f);
    EXPECT_NEAR(clip.m[0][1], 1.0f, 1e-6f);
    EXPECT_NEAR(clip.m[0][2], 4.80098f, 1e-5f);
    EXPECT_NEAR(clip.m[0][3], 5.0f, 1e-6f);
    // The inverse is taken of the transpose: transpose(viewProj) x inverse = identity.
    Float4x4 transposed = state.frame.viewProjMtx;
    transpose(transposed);
    Float4x4 product = multiply(transposed, state.frame.invViewProjMtx);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(product.m[r][c], r == c ? 1.0f : 0.0f, 1e-5f);
    EXPECT_EQ(state.simulation.cameraPos.z, 5.0f);
    EXPECT_EQ(state.finalPass.showExtraTexture, 0u); // the title belongs to scene 0
    EXPECT_FALSE(sameBytes(state.frame.prevViewProjMtx, state.frame.viewProjMtx));
    keepPreviousFrame(state);
    EXPECT_TRUE(sameBytes(state.frame.prevViewProjMtx, state.frame.viewProjMtx));
    EXPECT_TRUE(sameBytes(state.frame.prevInvViewProjMtx, state.frame.invViewProjMtx));
    EXPECT_EQ(state.frame.prevCameraPos.z, 5.0f);
}
