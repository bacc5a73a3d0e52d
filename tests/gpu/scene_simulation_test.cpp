// ParticleSimulationCS on crafted particle buffers against the scene rules worked out by hand:
// the bookkeeping and what the golden frames cannot show (the lights' growth and speed, scene 0
// from 2375, scene 1's beats, the collisions); the layouts and orbits show in the golden frames.
#include "tests/gpu/gpu_harness.h"

namespace {

class Simulation : public GpuTest {
protected:
    // One dispatch as the frame makes it (one group, none below 32 particles), bound as the
    // frame binds it (u0 particle buffer, b0 SimulationData, b1 ParticleSceneData); returns the
    // whole buffer afterwards.
    std::vector<ParticleData> runSimulation(const ParticleBlock& particles, const SimulationData& simulation,
                                            uint32_t numParticles)
    {
        const ParticleSceneData scene = {{0.0f, 0.0f, 0.0f}, numParticles};
        Pipeline* pipeline = computePipeline(ParticleSimulationCS, {makeRange(RANGE_UAV, 1), makeRange(RANGE_CBV, 2)});
        Buffer* particleBuffer = uploadBuffer(sizeof(ParticleBlock), BufferType::ReadWrite, particles.data());
        Buffer* simulationBlock = uploadBuffer(sizeof(SimulationData), BufferType::Constant, &simulation);
        Buffer* sceneBlock = uploadBuffer(sizeof(ParticleSceneData), BufferType::Constant, &scene);

        CommandList* list = beginCommands();
        resetDescriptorHeap(*heap);
        DescriptorTable table = allocateDescriptors(*heap, 3);
        writeBufferUAV(table, particleBuffer, MAX_PARTICLES, sizeof(ParticleData));
        writeCBV(table, simulationBlock, sizeof(SimulationData));
        writeCBV(table, sceneBlock, sizeof(ParticleSceneData));
        recordCompute(list, pipeline, table, nullptr, numParticles >= 32 ? 1 : 0, 1);
        submitAndWait();
        return readBuffer<ParticleData>(particleBuffer);
    }
};

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
        particles[i] = {.position = {f + 0.5f, 2.0f * f + 1.0f, -3.0f * f - 7.0f}, .prevPosition = {-1.0f, -2.0f, -3.0f},
                        .velocity = {0.25f, -0.5f, f}, .acceleration = {0.125f, f, -0.75f},
                        .radius = 0.0f, // no overlaps: nothing collides
                        .elasticity = 0.3f, .friction = 0.7f, .id = 1000 + i, .dynamic = i % 3 == 0 ? 1u : 0u, .visible = 1,
                        .material = {{0.2f, 0.3f, 0.4f}, 5.0f, 0.6f, 0.55f, 0.45f, 1.35f}};
    }
    return particles;
}

SimulationData simulationAt(uint32_t scene, uint32_t frame, float time, float dt)
{
    return {.cameraPos = {7.0f, 8.0f, 9.0f}, .scene = scene, .frame = frame, .time = time, .dt = dt};
}

float smoothstep(float lo, float hi, float x)
{
    float s = std::fmin(std::fmax((x - lo) / (hi - lo), 0.0f), 1.0f);
    return s * s * (3.0f - 2.0f * s);
}

} // namespace

TEST_F(Simulation, OtherSceneNumbersOnlyRenumberAndRememberPositions)
{
    ParticleBlock before = patternedParticles();
    std::vector<ParticleData> after = runSimulation(before, simulationAt(2, 500, 1234.0f, 0.5f), 128);
    for (uint32_t i = 0; i < MAX_PARTICLES; ++i)
        expectOnlyBookkeeping(after[i], before[i], i);
}

TEST_F(Simulation, Scene0LightsOrbitAndGrowInOneAfterAnother)
{
    ParticleBlock before = patternedParticles();
    // Lights 1, 2, 3 grow to radius 4 over frames 713-800, 868-953 and 1008-1093 (smoothstep);
    // all are 0 at 712. Each later frame is within one light's ramp, the earlier ones grown.
    const std::pair<uint32_t, Float3> radii[] = {{712, {0, 0, 0}},
                                                 {735, {4.0f * smoothstep(713.0f, 800.0f, 735.0f), 0, 0}},
                                                 {900, {4, 4.0f * smoothstep(868.0f, 953.0f, 900.0f), 0}},
                                                 {1050, {4, 4, 4.0f * smoothstep(1008.0f, 1093.0f, 1050.0f)}},
                                                 {1093, {4, 4, 4}}};
    const float time = 2000.0f;
    for (auto [frame, expected] : radii) {
        std::vector<ParticleData> after = runSimulation(before, simulationAt(0, frame, time, 0.5f), 64);
        expectNear({after[1].radius, after[2].radius, after[3].radius}, expected, 1e-5f);
    }
    std::vector<ParticleData> after = runSimulation(before, simulationAt(0, 1500, time, 0.5f), 64);
    // a = 2000 * 0.0005 = 1; light k at angle a + 2 (k - 1) on (20 sin, 15 cos, -100 - 14 sin);
    // velocity = (new - old) x 2.985, 2, 2.
    const float gain[3] = {2.985f, 2.0f, 2.0f};
    for (int k = 1; k <= 3; ++k) {
        float angle = 1.0f + 2.0f * float(k - 1);
        Float3 expected = {20.0f * std::sin(angle), 15.0f * std::cos(angle), -100.0f - 14.0f * std::sin(angle)};
        expectNear(after[k].position, expected, 1e-4f);
        expectNear(after[k].velocity, (expected - before[k].position) * gain[k - 1], 1e-3f);
    }
    // The sphere pulses every 2400 ms: 8.5 + 0.5 sin(2 pi x 2000 / 2400) = 8.5 - 0.25 sqrt(3).
    EXPECT_NEAR(after[0].radius, 8.5f - 0.25f * std::sqrt(3.0f), 1e-5f);
    // Before frame 2375 nothing else moves, dynamic or not.
    for (uint32_t i = 4; i < 64; ++i)
        expectOnlyBookkeeping(after[i], before[i], i);
}

TEST_F(Simulation, Scene0LightsFallTowardsTheSphereFromFrame2375)
{
    ParticleBlock before{};
    for (uint32_t i = 0; i < 64; ++i)
        before[i].position = {1000.0f * float(i), 0.0f, 0.0f}; // far apart: no contacts
    before[0] = {.position = {0.0f, 0.0f, -100.0f}, .radius = 8.0f};
    before[2] = {.position = {10.0f, 20.0f, -100.0f}, .velocity = {1.0f, 0.0f, 0.0f}, .radius = 4.0f, .dynamic = 1};
    std::vector<ParticleData> after = runSimulation(before, simulationAt(0, 2400, 3000.0f, 2.0f), 64);
    // acceleration = (centre - position) x 0.0021 = (-10, -20, 0) x 0.0021;
    // velocity = (1, 0, 0) + acceleration x 2; position += velocity x 2.
    Float3 velocity = {1.0f - 0.042f, -0.084f, 0.0f};
    expectNear(after[2].acceleration, {-0.021f, -0.042f, 0.0f}, 1e-6f);
    expectNear(after[2].velocity, velocity, 1e-6f);
    expectNear(after[2].position, Float3{10.0f, 20.0f, -100.0f} + velocity * 2.0f, 1e-5f);
    // emissive = |sin(0.5 sin(3000 x 0.0005 + 2))|.
    EXPECT_NEAR(after[2].material.emissive, std::fabs(std::sin(0.5f * std::sin(1.5f + 2.0f))), 1e-5f);
    // Not dynamic: untouched apart from the bookkeeping and the sphere's pulse, 8.5 + 0.5 sin(pi / 2).
    expectOnlyBookkeeping(after[3], before[3], 3);
    EXPECT_NEAR(after[0].radius, 9.0f, 1e-5f);
}

TEST_F(Simulation, Scene1BallsFollowTheBeatRulesOfTheirFrameRange)
{
    // One ball at (30, 40, 0): n = (0.6, 0.8, 0). At 2424 ms the beat phase is 0.01, so the
    // pulse is on; at 1200 ms (phase 0.5) it is off. The others wait far away.
    ParticleBlock before{};
    for (uint32_t i = 0; i < 32; ++i)
        before[i].position = {-1000.0f * float(i + 1), 0.0f, 0.0f};
    before[9] = {.position = {30.0f, 40.0f, 0.0f}, .velocity = {1.0f, 2.0f, 3.0f}, .acceleration = {0.0f, 0.049f, 0.0f},
                 .radius = 1.0f, .dynamic = 1};
    const Float3 n = {0.6f, 0.8f, 0.0f}, v = {1.0f, 2.0f, 3.0f};
    const float dt = 0.5f;
    struct Case { uint32_t frame; float time; Float3 acceleration, velocity; };
    const Case cases[] = {
        {3300, 2424.0f, {0.0f, 0.049f, 0.0f}, {1.0f, 2.0f + 0.049f * dt, 3.0f}}, // up to 3300: as stored
        // 3301 to 4000, pulse on: acceleration -5 n, but the velocity takes lerp(a, -0.001 n, 1).
        {3500, 2424.0f, n * -5.0f, v + n * (-0.001f * dt)},
        {3500, 1200.0f, {0.0f, 0.0f, 0.0f}, v},                             // pulse off: 0
        {5560, 2424.0f, n * -2.0f, v + n * (-2.0f * dt)},                   // 4001 to 5560: -2 n
        {5561, 1200.0f, {0.0f, 0.49f, 0.0f}, {1.0f, 2.0f + 0.49f * dt, 3.0f}}, // then rising at 0.49
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.frame);
        std::vector<ParticleData> after = runSimulation(before, simulationAt(1, c.frame, c.time, dt), 32);
        expectNear(after[9].acceleration, c.acceleration, 1e-5f);
        expectNear(after[9].velocity, c.velocity, 1e-5f);
        expectNear(after[9].position, Float3{30.0f, 40.0f, 0.0f} + c.velocity * dt, 1e-4f);
    }
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
    // 16 and 17, dynamic, radii 1, 1.5 apart, closing at 2, resolved once with the lower index
    // as self: n = (1, 0, 0), overlap 0.5, vn = 2, e = min(0.5, 0.9) + 1, J = -3 n, each
    // velocity changes by J x 17's friction 0.25 and each centre moves 0.25 apart.
    place(16, {-100.0f, 0.0f, 0.0f}, 1.0f, 1, {1.0f, 0.0f, 0.0f}, 0.5f, 0.5f);
    place(17, {-98.5f, 0.0f, 0.0f}, 1.0f, 1, {-1.0f, 0.0f, 0.0f}, 0.9f, 0.25f);
    // 20 and 21, dynamic with coincident centres: n = (0, 1, 0), overlap = R = 3, so 20 moves
    // down by 21's radius 2 and 21 up by 20's radius 1.
    place(20, {0.0f, -100.0f, 50.0f}, 1.0f, 1);
    place(21, {0.0f, -100.0f, 50.0f}, 2.0f, 1);
    // 22, dynamic and free: with dt 0 it keeps its place and velocity; 102 follows the camera.
    place(22, {50.0f, 50.0f, 50.0f}, 1.0f, 1, {3.0f, 3.0f, 3.0f});
    place(102, {-5.0f, -5.0f, -5.0f}, 8.0f, 0);

    SimulationData simulation = simulationAt(1, 4500, 1200.0f, 0.0f);
    std::vector<ParticleData> after = runSimulation(before, simulation, 128);
    const std::pair<uint32_t, Float3> positions[] = {
        {11, {100.0f, 4.7992f, 0.0f}}, {13, {5.3992f, 100.0f, 0.0f}}, {14, {0.0f, 0.0f, 106.3992f}},
        {16, {-100.25f, 0.0f, 0.0f}}, {17, {-98.25f, 0.0f, 0.0f}},    {22, {50.0f, 50.0f, 50.0f}},
        {20, {0.0f, -102.0f, 50.0f}}, {21, {0.0f, -99.0f, 50.0f}},
        {10, before[10].position},    {12, before[12].position},      {15, before[15].position}, // fixed
        {102, simulation.cameraPos}};
    for (auto [i, position] : positions)
        expectNear(after[i].position, position, 1e-4f);
    const std::pair<uint32_t, Float3> velocities[] = {
        {11, {0.0f, 1.0f, 0.0f}}, {13, {1.0f, 0.5f, 0.0f}}, {14, {0.7f, 0.0f, 0.5f}},
        {16, {0.25f, 0.0f, 0.0f}}, {17, {-0.25f, 0.0f, 0.0f}}, {22, {3.0f, 3.0f, 3.0f}}};
    for (auto [i, velocity] : velocities)
        expectNear(after[i].velocity, velocity, 1e-6f);
}
