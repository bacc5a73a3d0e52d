// ParticleSimulationCS on lavapipe: crafted particle buffers, one dispatch each, checked
// against values worked out from the scene rules by hand: the bookkeeping and scene 1's
// collisions. The scenes' layouts, orbits and beat rules show in the golden frames.
#include "tests/gpu/scene_programs.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

// The record as the program must leave it when no rule of its scene applies: renumbered, its
// position remembered as the previous one.
void expectOnlyBookkeeping(const ParticleData& after, const ParticleData& before, uint32_t index)
{
    ParticleData expected = before;
    expected.id = index + 1;
    expected.prevPosition = before.position;
    EXPECT_EQ(std::memcmp(&after, &expected, sizeof(ParticleData)), 0) << "particle " << index;
}

// Every field of every record holds a value of its own, so that a field written at the wrong
// offset, or one the program must leave alone, is seen.
ParticleBlock patternedParticles()
{
    ParticleBlock particles{};
    for (uint32_t i = 0; i < MAX_PARTICLES; ++i) {
        float f = float(i);
        particles[i] = {.position = {f + 0.5f, 2.0f * f + 1.0f, -3.0f * f - 7.0f},
                        .prevPosition = {-1.0f, -2.0f, -3.0f},
                        .velocity = {0.25f, -0.5f, f},
                        .acceleration = {0.125f, f, -0.75f},
                        .radius = 0.0f, // no overlaps: nothing collides
                        .elasticity = 0.3f,
                        .friction = 0.7f,
                        .id = 1000 + i,
                        .dynamic = i % 3 == 0 ? 1u : 0u,
                        .visible = 1,
                        .material = {{0.2f, 0.3f, 0.4f}, 5.0f, 0.6f, 0.55f, 0.45f, 1.35f}};
    }
    return particles;
}

SimulationData simulationAt(uint32_t scene, uint32_t frame, float time, float dt)
{
    return {.cameraPos = {7.0f, 8.0f, 9.0f}, .scene = scene, .frame = frame, .time = time, .dt = dt};
}

ParticleSceneData sceneOf(uint32_t numParticles)
{
    return {{0.0f, 0.0f, 0.0f}, numParticles};
}

} // namespace

using Simulation = SceneProgramTest;

TEST_F(Simulation, OtherSceneNumbersOnlyRenumberAndRememberPositions)
{
    ParticleBlock before = patternedParticles();
    ParticleBlock after = runSimulation(before, simulationAt(2, 500, 1234.0f, 0.5f), sceneOf(128));
    for (uint32_t i = 0; i < MAX_PARTICLES; ++i)
        expectOnlyBookkeeping(after[i], before[i], i);
}

TEST_F(Simulation, Scene1CollisionsPushDynamicSpheresOut)
{
    // Frame 4500 at 1200 ms: the beat pulse is off, so the rules add nothing to the velocities,
    // and with dt 0 nothing moves but by collision or script. Every record not set below is a
    // fixed sphere of radius 0 at the origin; the spheres here keep well away from it.
    ParticleBlock before{};
    auto place = [&](uint32_t i, Float3 position, float radius, uint32_t dynamic, Float3 velocity = {},
                     float elasticity = 0.0f, float friction = 0.0f) {
        before[i] = {.position = position, .velocity = velocity, .radius = radius, .elasticity = elasticity,
                     .friction = friction, .dynamic = dynamic, .visible = 1};
    };
    // 10 fixed, 11 dynamic at its very centre falling at 2: pushed along +y by
    // 0.8 (6 - 0 - 0.001) = 4.7992; vn = -2 < 0, no tangential part, bounced with elasticity 0.5.
    place(10, {100.0f, 0.0f, 0.0f}, 5.0f, 0, {}, 0.0f, 0.5f);
    place(11, {100.0f, 0.0f, 0.0f}, 1.0f, 1, {0.0f, -2.0f, 0.0f}, 0.5f, 0.4f);
    // 12 fixed, 13 overlapping by 3 and moving away (vn = 1 > 0): pushed out by
    // 0.8 (6 - 3 - 0.001) = 2.3992 along +x, velocity unchanged.
    place(12, {0.0f, 100.0f, 0.0f}, 5.0f, 0, {}, 0.0f, 0.5f);
    place(13, {3.0f, 100.0f, 0.0f}, 1.0f, 1, {1.0f, 0.5f, 0.0f}, 0.5f);
    // 15 fixed, 14 arriving at an angle: n = (0, 0, 1), pushed by 0.8 (7 - 4 - 0.001);
    // vN = (0, 0, -2), vT = (1, 0, 0): v = vT (1 - 0.5 x 0.6) - vN x 0.25 = (0.7, 0, 0.5).
    place(15, {0.0f, 0.0f, 100.0f}, 5.0f, 0, {}, 0.0f, 0.6f);
    place(14, {0.0f, 0.0f, 104.0f}, 2.0f, 1, {1.0f, 0.0f, -2.0f}, 0.25f, 0.5f);
    // 16 and 17, dynamic, radii 1, 1.5 apart, closing at 2: n = (1, 0, 0), overlap 0.5,
    // vn = 2, e = 0.5 + 1, J = -3 n, each velocity changes by J x 0.5 and each centre moves
    // 0.25 apart. Whichever thread resolves the contact, the other then finds the spheres
    // just touching (distance 2 = R) and leaves them.
    place(16, {-100.0f, 0.0f, 0.0f}, 1.0f, 1, {1.0f, 0.0f, 0.0f}, 0.5f, 0.5f);
    place(17, {-98.5f, 0.0f, 0.0f}, 1.0f, 1, {-1.0f, 0.0f, 0.0f}, 0.5f, 0.5f);
    // 20 and 21, dynamic with coincident centres: separated along y, never NaN.
    place(20, {0.0f, -100.0f, 50.0f}, 1.0f, 1);
    place(21, {0.0f, -100.0f, 50.0f}, 2.0f, 1);
    // 22, dynamic and free: with dt 0 it keeps its place and velocity; 102 follows the camera.
    place(22, {50.0f, 50.0f, 50.0f}, 1.0f, 1, {3.0f, 3.0f, 3.0f});
    place(102, {-5.0f, -5.0f, -5.0f}, 8.0f, 0);

    SimulationData simulation = simulationAt(1, 4500, 1200.0f, 0.0f);
    ParticleBlock after = runSimulation(before, simulation, sceneOf(128));
    const std::pair<uint32_t, Float3> positions[] = {
        {11, {100.0f, 4.7992f, 0.0f}}, {13, {5.3992f, 100.0f, 0.0f}}, {14, {0.0f, 0.0f, 106.3992f}},
        {16, {-100.25f, 0.0f, 0.0f}}, {17, {-98.25f, 0.0f, 0.0f}},    {22, {50.0f, 50.0f, 50.0f}},
        {10, before[10].position},    {12, before[12].position},      {15, before[15].position}, // fixed
        {102, simulation.cameraPos}};
    for (auto [i, position] : positions)
        expectNear(after[i].position, position, 1e-4f);
    const std::pair<uint32_t, Float3> velocities[] = {
        {11, {0.0f, 1.0f, 0.0f}}, {13, {1.0f, 0.5f, 0.0f}}, {14, {0.7f, 0.0f, 0.5f}},
        {16, {-0.5f, 0.0f, 0.0f}}, {17, {0.5f, 0.0f, 0.0f}}, {22, {3.0f, 3.0f, 3.0f}}};
    for (auto [i, velocity] : velocities)
        expectNear(after[i].velocity, velocity, 1e-6f);
    for (uint32_t i : {20u, 21u}) {
        EXPECT_FALSE(std::isnan(after[i].position.y)) << i;
        EXPECT_NE(after[i].position.y, -100.0f) << i;
        expectNear({after[i].position.x, 0.0f, after[i].position.z}, {0.0f, 0.0f, 50.0f}, 0.0f);
    }
    EXPECT_NE(after[20].position.y, after[21].position.y);
}
