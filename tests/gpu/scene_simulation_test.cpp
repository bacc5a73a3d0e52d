// ParticleSimulationCS on lavapipe: crafted particle buffers, one dispatch each, checked
// against values worked out from the scene rules by hand.
#include "tests/gpu/scene_programs.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

constexpr float PI = 3.14159265f;

void expectNear(Float3 actual, Float3 expected, float tolerance)
{
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
}

void expectSame(const ParticleData& actual, const ParticleData& expected)
{
    EXPECT_EQ(std::memcmp(&actual, &expected, sizeof(ParticleData)), 0);
}

float length3(Float3 v)
{
    return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
}

// A buffer in which every field of every record holds a value of its own, so that a field
// the program must leave alone is seen to keep it.
ParticleBlock patternedParticles()
{
    ParticleBlock particles{};
    for (uint32_t i = 0; i < MAX_PARTICLES; ++i) {
        float f = float(i);
        ParticleData& p = particles[i];
        p.position = {f + 0.5f, 2.0f * f + 1.0f, -3.0f * f - 7.0f};
        p.prevPosition = {-1.0f, -2.0f, -3.0f};
        p.velocity = {0.25f, -0.5f, f};
        p.acceleration = {0.125f, f, -0.75f};
        p.radius = 0.0f; // no overlaps: nothing collides
        p.elasticity = 0.3f;
        p.friction = 0.7f;
        p.id = 1000 + i;
        p.dynamic = i % 3 == 0 ? 1 : 0;
        p.visible = 1;
        p.material = {{0.2f, 0.3f, 0.4f}, 5.0f, 0.6f, 0.55f, 0.45f, 1.35f};
    }
    return particles;
}

SimulationData simulationAt(uint32_t scene, uint32_t frame, float time, float dt)
{
    SimulationData simulation{};
    simulation.cameraPos = {7.0f, 8.0f, 9.0f};
    simulation.scene = scene;
    simulation.frame = frame;
    simulation.time = time;
    simulation.dt = dt;
    return simulation;
}

ParticleSceneData sceneOf(uint32_t numParticles)
{
    return {{0.0f, 0.0f, 0.0f}, numParticles};
}

float smoothstep(float lo, float hi, float x)
{
    float s = std::fmin(std::fmax((x - lo) / (hi - lo), 0.0f), 1.0f);
    return s * s * (3.0f - 2.0f * s);
}

} // namespace

class Simulation : public SceneProgramTest {};

TEST_F(Simulation, OtherSceneNumbersOnlyRenumberAndRememberPositions)
{
    ParticleBlock before = patternedParticles();
    ParticleBlock after = runSimulation(before, simulationAt(2, 500, 1234.0f, 0.5f), sceneOf(128));
    for (uint32_t i = 0; i < MAX_PARTICLES; ++i) {
        ParticleData expected = before[i];
        expected.id = i + 1;
        expected.prevPosition = before[i].position;
        expectSame(after[i], expected);
    }
}

TEST_F(Simulation, Scene0FirstFrameLaysOutTheSphereAndThreeLights)
{
    ParticleBlock before = patternedParticles();
    ParticleBlock after = runSimulation(before, simulationAt(0, 0, 1000.0f, 0.5f), sceneOf(64));

    const ParticleData& sphere = after[0];
    expectNear(sphere.position, {0.0f, 0.0f, -100.0f}, 0.0f);
    EXPECT_EQ(sphere.radius, 8.0f);
    EXPECT_EQ(sphere.friction, 0.55948f);
    EXPECT_EQ(sphere.elasticity, 0.0f);
    EXPECT_EQ(sphere.dynamic, 0u);
    EXPECT_EQ(sphere.material.transparency, 1.0f);
    EXPECT_EQ(sphere.material.indexOfRefraction, 1.1f);
    EXPECT_EQ(sphere.material.reflection, 1.0f);
    EXPECT_EQ(sphere.material.metallic, 1.0f);
    EXPECT_EQ(sphere.material.emissive, 0.0f);

    // Lights k = 1, 2, 3 start at (20 sin 2(k - 1), 20 cos 2(k - 1), -100), radius 0.
    const Float3 lightPositions[3] = {{0.0f, 20.0f, -100.0f},
                                      {18.185947f, -8.322937f, -100.0f},
                                      {-15.13605f, -13.072872f, -100.0f}};
    const float lightFriction[3] = {0.006f, 0.01f, 0.01f};
    for (int k = 1; k <= 3; ++k) {
        const ParticleData& light = after[k];
        expectNear(light.position, lightPositions[k - 1], 0.0f);
        EXPECT_EQ(light.radius, 0.0f);
        EXPECT_EQ(light.friction, lightFriction[k - 1]);
        EXPECT_EQ(light.dynamic, 1u);
        EXPECT_EQ(light.material.emissive, 1.0f);
        EXPECT_EQ(light.material.metallic, 0.0f);
        // 0.3 r + 0.1 with r in [0, 1).
        EXPECT_GE(light.elasticity, 0.1f);
        EXPECT_LT(light.elasticity, 0.4f);
        // Not written: the previous record's values stay.
        EXPECT_EQ(light.material.reflection, before[k].material.reflection);
        EXPECT_EQ(light.material.transparency, before[k].material.transparency);
        EXPECT_EQ(light.material.indexOfRefraction, before[k].material.indexOfRefraction);
    }
    for (int i = 0; i < 4; ++i) {
        expectNear(after[i].velocity, {0.0f, 0.0f, 0.0f}, 0.0f);
        expectNear(after[i].acceleration, {0.0f, 0.0f, 0.0f}, 0.0f);
        expectNear(after[i].material.albedo, {1.0f, 1.0f, 1.0f}, 0.0f);
    }

    // Exactly four visible; every dispatched record forgets its previous position.
    for (uint32_t i = 0; i < 64; ++i) {
        EXPECT_EQ(after[i].visible, i < 4 ? 1u : 0u) << "particle " << i;
        EXPECT_EQ(after[i].id, i + 1);
        expectNear(after[i].prevPosition, {0.0f, 0.0f, 0.0f}, 0.0f);
    }
    for (uint32_t i = 4; i < 64; ++i) {
        ParticleData expected = before[i];
        expected.id = i + 1;
        expected.prevPosition = {0.0f, 0.0f, 0.0f};
        expected.visible = 0;
        expectSame(after[i], expected);
    }
    // Two groups of 32 threads: records 64 and up are not touched at all.
    for (uint32_t i = 64; i < MAX_PARTICLES; ++i)
        expectSame(after[i], before[i]);
}

TEST_F(Simulation, Scene0LightsOrbitAndGrowInOneAfterAnother)
{
    ParticleBlock before = patternedParticles();
    // Light k reaches radius 4 at the end frame of its ramp: 800, 953, 1093; all are 0 at 712.
    struct Case {
        uint32_t frame;
        float radii[3];
    };
    const Case cases[] = {
        {712, {0.0f, 0.0f, 0.0f}},
        {800, {4.0f, 0.0f, 0.0f}},
        {953, {4.0f, 4.0f, 0.0f}},
        {1093, {4.0f, 4.0f, 4.0f}},
        // Light 1 a quarter of the way: s = (735 - 713) / 87, 4 s^2 (3 - 2 s) = 0.6598.
        {735, {4.0f * smoothstep(713.0f, 800.0f, 735.0f), 0.0f, 0.0f}},
    };
    const float time = 2000.0f;
    for (const Case& c : cases) {
        ParticleBlock after = runSimulation(before, simulationAt(0, c.frame, time, 0.5f), sceneOf(64));
        for (int k = 1; k <= 3; ++k)
            EXPECT_NEAR(after[k].radius, c.radii[k - 1], 1e-5f) << "frame " << c.frame << " light " << k;
    }

    ParticleBlock after = runSimulation(before, simulationAt(0, 1500, time, 0.5f), sceneOf(64));
    // a = 2000 * 0.0005 = 1; light k at angle a + 2 (k - 1) on
    // (20 sin, 15 cos, -100 - 14 sin); velocity = (new - old) x 2.985, 2, 2.
    const float gain[3] = {2.985f, 2.0f, 2.0f};
    for (int k = 1; k <= 3; ++k) {
        float angle = 1.0f + 2.0f * float(k - 1);
        Float3 expected = {20.0f * std::sin(angle), 15.0f * std::cos(angle), -100.0f - 14.0f * std::sin(angle)};
        expectNear(after[k].position, expected, 1e-4f);
        expectNear(after[k].velocity, (expected - before[k].position) * gain[k - 1], 1e-3f);
        expectNear(after[k].prevPosition, before[k].position, 0.0f);
    }
    // The sphere pulses every 2400 ms: 8.5 + 0.5 sin(2 pi x 2000 / 2400) = 8.5 - 0.25 sqrt(3).
    EXPECT_NEAR(after[0].radius, 8.5f - 0.25f * std::sqrt(3.0f), 1e-5f);
    // Before frame 2375 nothing else moves, dynamic or not.
    for (uint32_t i = 4; i < 64; ++i) {
        ParticleData expected = before[i];
        expected.id = i + 1;
        expected.prevPosition = before[i].position;
        expectSame(after[i], expected);
    }
}

TEST_F(Simulation, Scene0LightsFallTowardsTheSphereFromFrame2375)
{
    ParticleBlock before{};
    for (uint32_t i = 0; i < 64; ++i)
        before[i].position = {1000.0f * float(i), 0.0f, 0.0f}; // far apart: no contacts
    before[0].position = {0.0f, 0.0f, -100.0f};
    before[0].radius = 8.0f;
    ParticleData& light = before[2];
    light.dynamic = 1;
    light.radius = 4.0f;
    light.position = {10.0f, 20.0f, -100.0f};
    light.velocity = {1.0f, 0.0f, 0.0f};

    const float time = 3000.0f;
    ParticleBlock after = runSimulation(before, simulationAt(0, 2400, time, 2.0f), sceneOf(64));
    // acceleration = (centre - position) x 0.0021 = (-10, -20, 0) x 0.0021;
    // velocity = (1, 0, 0) + acceleration x 2; position += velocity x 2.
    Float3 acceleration = {-0.021f, -0.042f, 0.0f};
    Float3 velocity = {1.0f - 0.042f, -0.084f, 0.0f};
    expectNear(after[2].acceleration, acceleration, 1e-6f);
    expectNear(after[2].velocity, velocity, 1e-6f);
    expectNear(after[2].position, Float3{10.0f, 20.0f, -100.0f} + velocity * 2.0f, 1e-5f);
    // emissive = |sin(0.5 sin(3000 x 0.0005 + 2))|.
    EXPECT_NEAR(after[2].material.emissive, std::fabs(std::sin(0.5f * std::sin(1.5f + 2.0f))), 1e-5f);
    // Not dynamic: untouched apart from the bookkeeping and the sphere's pulse.
    expectNear(after[3].position, before[3].position, 0.0f);
    EXPECT_EQ(after[3].material.emissive, 0.0f);
    EXPECT_NEAR(after[0].radius, 8.5f + 0.5f * std::sin(2.0f * PI * 0.25f), 1e-5f);
}

TEST_F(Simulation, Scene1HidesEverythingThenLaysOutItsSpheres)
{
    ParticleBlock before = patternedParticles();
    SimulationData hide = simulationAt(1, 3254, 500.0f, 0.5f);
    ParticleBlock hidden = runSimulation(before, hide, sceneOf(128));
    for (uint32_t i = 0; i < MAX_PARTICLES; ++i) {
        ParticleData expected = before[i];
        expected.id = i + 1;
        expected.prevPosition = before[i].position;
        expected.radius = 0.0f;
        expected.visible = 0;
        expectSame(hidden[i], expected);
    }

    SimulationData layout = simulationAt(1, 3255, 500.0f, 0.5f);
    ParticleBlock after = runSimulation(hidden, layout, sceneOf(128));
    struct Fixed {
        uint32_t index;
        float radius;
        Float3 position;
        float friction;
        Float3 albedo;
        float reflection;
        float metallic;
        uint32_t visible;
    };
    const Fixed fixedSpheres[] = {
        {1, 2000.0f, {0.0f, 2025.0f, 0.0f}, 0.1f, {0.01f, 0.01f, 0.01f}, 1.0f, 1.0f, 1},
        {2, 0.0f, {0.0f, 0.0f, 0.0f}, 0.0f, {0.0f, 0.0f, 0.0f}, 0.0f, 0.0f, 0},
        {3, 500.0f, {-525.0f, 0.0f, 0.0f}, 0.0f, {0.1f, 0.1f, 0.1f}, 1.0f, 1.0f, 1},
        {4, 500.0f, {525.0f, 0.0f, 0.0f}, 0.0f, {0.1f, 0.1f, 0.1f}, 1.0f, 1.0f, 1},
        {5, 500.0f, {0.0f, 0.0f, 525.0f}, 0.0f, {0.1f, 0.1f, 0.1f}, 1.0f, 1.0f, 1},
        {6, 0.0f, {0.0f, 0.0f, -525.0f}, 0.0f, {0.0f, 0.0f, 0.0f}, 0.0f, 0.0f, 0},
        {7, 4.0f, {7.0f, 8.0f, 9.0f}, 0.0f, {0.0f, 0.0f, 0.0f}, 0.0f, 0.0f, 0},
        {8, 8.0f, {0.0f, 0.0f, 0.0f}, 0.5f, {1.0f, 1.0f, 1.0f}, 0.0f, 0.0f, 1},
    };
    for (const Fixed& f : fixedSpheres) {
        const ParticleData& p = after[f.index];
        SCOPED_TRACE(f.index);
        EXPECT_EQ(p.radius, f.radius);
        expectNear(p.position, f.position, 0.0f);
        EXPECT_EQ(p.friction, f.friction);
        expectNear(p.material.albedo, f.albedo, 0.0f);
        EXPECT_EQ(p.material.reflection, f.reflection);
        EXPECT_EQ(p.material.metallic, f.metallic);
        EXPECT_EQ(p.material.emissive, f.index == 8 ? 1.0f : 0.0f);
        EXPECT_EQ(p.visible, f.visible);
        EXPECT_EQ(p.dynamic, 0u);
        EXPECT_EQ(p.elasticity, 0.0f);
        expectNear(p.velocity, {0.0f, 0.0f, 0.0f}, 0.0f);
        expectNear(p.acceleration, {0.0f, 0.0f, 0.0f}, 0.0f);
        EXPECT_EQ(p.material.transparency, before[f.index].material.transparency);
    }

    // 101 waits far away; 102 sits at the camera and moves off along +z.
    const ParticleData& waiting = after[101];
    EXPECT_EQ(waiting.radius, 4.0f);
    expectNear(waiting.position, {0.0f, 25.0f, -300.0f}, 0.0f);
    expectNear(waiting.velocity, {0.0f, 0.0f, 0.0f}, 0.0f);
    expectNear(waiting.acceleration, {0.0f, 0.49f, 0.0f}, 0.0f);
    EXPECT_EQ(waiting.elasticity, 0.3f);
    EXPECT_EQ(waiting.material.emissive, 1.0f);
    EXPECT_EQ(waiting.material.reflection, 0.5f);
    EXPECT_EQ(waiting.visible, 0u);
    EXPECT_EQ(waiting.dynamic, 0u);
    const ParticleData& pusher = after[102];
    EXPECT_EQ(pusher.radius, 8.0f);
    expectNear(pusher.position, layout.cameraPos, 0.0f);
    expectNear(pusher.velocity, {0.0f, 0.0f, 3.0f}, 0.0f);
    expectNear(pusher.acceleration, {0.0f, 0.49f, 0.0f}, 0.0f);
    EXPECT_EQ(pusher.visible, 0u);

    // The 92 balls: radius 4 r + 0.8, inside their radius of (0, 25, -300), heading for the
    // origin at 1.8, coloured by k = i / 128 along 0.5 + 0.5 cos(2 pi (k, k + 0.1, k + 0.2)).
    for (uint32_t i = 9; i <= 100; ++i) {
        const ParticleData& ball = after[i];
        SCOPED_TRACE(i);
        EXPECT_GE(ball.radius, 0.8f);
        EXPECT_LT(ball.radius, 4.8f);
        Float3 offset = ball.position - Float3{0.0f, 25.0f, -300.0f};
        EXPECT_LE(std::fabs(offset.x), ball.radius + 1e-4f);
        EXPECT_LE(std::fabs(offset.y), ball.radius + 1e-4f);
        EXPECT_LE(std::fabs(offset.z), ball.radius + 1e-4f);
        EXPECT_NEAR(length3(ball.velocity), 1.8f, 1e-5f);
        expectNear(ball.velocity, ball.position * (-1.8f / length3(ball.position)), 1e-5f);
        expectNear(ball.acceleration, {0.0f, 0.049f, 0.0f}, 0.0f);
        EXPECT_EQ(ball.elasticity, 0.1f);
        EXPECT_EQ(ball.friction, 0.5f);
        EXPECT_EQ(ball.dynamic, 1u);
        EXPECT_EQ(ball.visible, 1u);
        EXPECT_EQ(ball.material.emissive, 0.0f);
        EXPECT_EQ(ball.material.reflection, 1.0f);
        EXPECT_GE(ball.material.metallic, 0.0f);
        EXPECT_LT(ball.material.metallic, 1.0f);
        EXPECT_EQ(ball.material.transparency, 0.0f);
        EXPECT_EQ(ball.material.indexOfRefraction, 0.0f);
        float k = float(i) / 128.0f;
        Float3 albedo = {0.5f + 0.5f * std::cos(6.283185f * k), 0.5f + 0.5f * std::cos(6.283185f * (k + 0.1f)),
                         0.5f + 0.5f * std::cos(6.283185f * (k + 0.2f))};
        expectNear(ball.material.albedo, albedo, 1e-5f);
    }
    // The balls' draws differ from thread to thread.
    EXPECT_NE(after[9].radius, after[10].radius);

    // Particle 0 and 103 upwards are only hidden (they already were).
    for (uint32_t i : {0u, 103u, 127u}) {
        ParticleData expected = hidden[i];
        expected.id = i + 1;
        expected.prevPosition = hidden[i].position;
        expectSame(after[i], expected);
    }
}

TEST_F(Simulation, Scene1BallsFollowTheBeatRulesOfTheirFrameRange)
{
    // One ball at (30, 40, 0): n = (0.6, 0.8, 0). At 2424 ms the beat phase is 0.01, so the
    // pulse is on; at 1200 ms (phase 0.5) it is off.
    ParticleBlock before{};
    for (uint32_t i = 0; i < 32; ++i)
        before[i].position = {-1000.0f * float(i + 1), 0.0f, 0.0f};
    ParticleData& ball = before[9];
    ball.position = {30.0f, 40.0f, 0.0f};
    ball.velocity = {1.0f, 2.0f, 3.0f};
    ball.acceleration = {0.0f, 0.049f, 0.0f};
    ball.dynamic = 1;
    ball.radius = 1.0f;
    const Float3 n = {0.6f, 0.8f, 0.0f};
    const float dt = 0.5f;

    struct Case {
        uint32_t frame;
        float time;
        Float3 acceleration;
        Float3 velocity;
    };
    const Case cases[] = {
        // Up to 3300: the stored acceleration.
        {3300, 2424.0f, {0.0f, 0.049f, 0.0f}, {1.0f, 2.0f + 0.049f * dt, 3.0f}},
        // 3301 to 4000, pulse on: acceleration -5 n, but the velocity takes lerp(a, -0.001 n, 1).
        {3500, 2424.0f, n * -5.0f, Float3{1.0f, 2.0f, 3.0f} + n * (-0.001f * dt)},
        // 3301 to 4000, pulse off: acceleration 0.
        {3500, 1200.0f, {0.0f, 0.0f, 0.0f}, {1.0f, 2.0f, 3.0f}},
        // 4001 to 5560, pulse on: -2 n.
        {5560, 2424.0f, n * -2.0f, Float3{1.0f, 2.0f, 3.0f} + n * (-2.0f * dt)},
        // After 5560: rising at 0.49.
        {5561, 1200.0f, {0.0f, 0.49f, 0.0f}, {1.0f, 2.0f + 0.49f * dt, 3.0f}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.frame);
        ParticleBlock after = runSimulation(before, simulationAt(1, c.frame, c.time, dt), sceneOf(32));
        expectNear(after[9].acceleration, c.acceleration, 1e-5f);
        expectNear(after[9].velocity, c.velocity, 1e-5f);
        expectNear(after[9].position, Float3{30.0f, 40.0f, 0.0f} + c.velocity * dt, 1e-4f);
    }
}

TEST_F(Simulation, Scene1CollisionsPushDynamicSpheresOut)
{
    // Frame 4500 at 1200 ms: the beat pulse is off, so the rules add nothing to the velocities,
    // and with dt 0 nothing moves but by collision or script. Every record not set below is a
    // fixed sphere of radius 0 at the origin (8 is the pulsing light there); the tests keep
    // well away from it.
    ParticleBlock before{};
    auto place = [&](uint32_t i, Float3 position, float radius, uint32_t dynamic) -> ParticleData& {
        ParticleData& p = before[i];
        p.position = position;
        p.radius = radius;
        p.dynamic = dynamic;
        p.visible = 1;
        return p;
    };
    // 10 fixed, 11 dynamic at its very centre falling at 2: pushed along +y by
    // 0.8 (6 - 0 - 0.001) = 4.7992; vn = -2 < 0, no tangential part, bounced with elasticity 0.5.
    place(10, {100.0f, 0.0f, 0.0f}, 5.0f, 0).friction = 0.5f;
    ParticleData& inside = place(11, {100.0f, 0.0f, 0.0f}, 1.0f, 1);
    inside.velocity = {0.0f, -2.0f, 0.0f};
    inside.elasticity = 0.5f;
    inside.friction = 0.4f;
    // 12 fixed, 13 overlapping by 3 and moving away (vn = 1 > 0): pushed out by
    // 0.8 (6 - 3 - 0.001) = 2.3992 along +x, velocity unchanged.
    place(12, {0.0f, 100.0f, 0.0f}, 5.0f, 0).friction = 0.5f;
    ParticleData& leaving = place(13, {3.0f, 100.0f, 0.0f}, 1.0f, 1);
    leaving.velocity = {1.0f, 0.5f, 0.0f};
    leaving.elasticity = 0.5f;
    // 15 fixed, 14 arriving at an angle: n = (0, 0, 1), pushed by 0.8 (7 - 4 - 0.001);
    // vN = (0, 0, -2), vT = (1, 0, 0): v = vT (1 - 0.5 x 0.6) - vN x 0.25 = (0.7, 0, 0.5).
    place(15, {0.0f, 0.0f, 100.0f}, 5.0f, 0).friction = 0.6f;
    ParticleData& arriving = place(14, {0.0f, 0.0f, 104.0f}, 2.0f, 1);
    arriving.velocity = {1.0f, 0.0f, -2.0f};
    arriving.elasticity = 0.25f;
    arriving.friction = 0.5f;
    // 16 and 17, dynamic, radii 1, 1.5 apart, closing at 2: n = (1, 0, 0), overlap 0.5,
    // vn = 2, e = 0.5 + 1, J = -3 n, each velocity changes by J x 0.5 and each centre moves
    // 0.25 apart. Whichever thread resolves the contact, the other then finds the spheres
    // just touching (distance 2 = R) and leaves them.
    ParticleData& left = place(16, {-100.0f, 0.0f, 0.0f}, 1.0f, 1);
    left.velocity = {1.0f, 0.0f, 0.0f};
    ParticleData& right = place(17, {-98.5f, 0.0f, 0.0f}, 1.0f, 1);
    right.velocity = {-1.0f, 0.0f, 0.0f};
    for (ParticleData* p : {&left, &right}) {
        p->elasticity = 0.5f;
        p->friction = 0.5f;
    }
    // 20 and 21, dynamic with coincident centres: separated along y, never NaN.
    place(20, {0.0f, -100.0f, 50.0f}, 1.0f, 1);
    place(21, {0.0f, -100.0f, 50.0f}, 2.0f, 1);
    // 22, dynamic and free: with dt 0 it keeps its place and velocity.
    place(22, {50.0f, 50.0f, 50.0f}, 1.0f, 1).velocity = {3.0f, 3.0f, 3.0f};
    // 102 follows the camera whatever dt is.
    place(102, {-5.0f, -5.0f, -5.0f}, 8.0f, 0);

    SimulationData simulation = simulationAt(1, 4500, 1200.0f, 0.0f);
    ParticleBlock after = runSimulation(before, simulation, sceneOf(128));

    expectNear(after[11].position, {100.0f, 4.7992f, 0.0f}, 1e-5f);
    expectNear(after[11].velocity, {0.0f, 1.0f, 0.0f}, 1e-6f);
    expectNear(after[13].position, {5.3992f, 100.0f, 0.0f}, 1e-5f);
    expectNear(after[13].velocity, {1.0f, 0.5f, 0.0f}, 0.0f);
    expectNear(after[14].position, {0.0f, 0.0f, 106.3992f}, 1e-4f);
    expectNear(after[14].velocity, {0.7f, 0.0f, 0.5f}, 1e-6f);
    expectNear(after[16].position, {-100.25f, 0.0f, 0.0f}, 1e-5f);
    expectNear(after[17].position, {-98.25f, 0.0f, 0.0f}, 1e-5f);
    expectNear(after[16].velocity, {-0.5f, 0.0f, 0.0f}, 1e-6f);
    expectNear(after[17].velocity, {0.5f, 0.0f, 0.0f}, 1e-6f);
    for (uint32_t i : {20u, 21u}) {
        const ParticleData& p = after[i];
        SCOPED_TRACE(i);
        EXPECT_FALSE(std::isnan(p.position.y));
        EXPECT_NE(p.position.y, -100.0f);
        EXPECT_EQ(p.position.x, 0.0f);
        EXPECT_EQ(p.position.z, 50.0f);
    }
    EXPECT_NE(after[20].position.y, after[21].position.y);
    expectNear(after[22].position, {50.0f, 50.0f, 50.0f}, 0.0f);
    expectNear(after[22].velocity, {3.0f, 3.0f, 3.0f}, 0.0f);
    expectNear(after[102].position, simulation.cameraPos, 0.0f);
    // Fixed spheres never move.
    for (uint32_t i : {10u, 12u, 15u})
        expectNear(after[i].position, before[i].position, 0.0f);
}
