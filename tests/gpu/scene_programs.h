// Runs the two scene programs once on the test device: ParticleSimulationCS on a full
// 128-record particle buffer, PathTracerCS on images of ConstantBufferData.resolution.
#pragma once

#include "shaders/ParticleConfig.h"
#include "tests/gpu/gpu_harness.h"

#include <array>
#include <vector>

using ParticleBlock = std::array<ParticleData, MAX_PARTICLES>;

struct PathTraceImages {
    int width = 0;
    int height = 0;
    std::vector<float> color;    // 4 floats a pixel
    std::vector<float> motion;   // 4 floats a pixel
    std::vector<float> position; // 4 floats a pixel, w = id
    std::vector<float> normal;   // 4 floats a pixel
    std::vector<float> depth;    // 1 float a pixel

    Float3 colorAt(int x, int y) const { return at(color, x, y); }
    Float3 positionAt(int x, int y) const { return at(position, x, y); }
    Float3 normalAt(int x, int y) const { return at(normal, x, y); }
    float idAt(int x, int y) const { return position[4 * (y * width + x) + 3]; }
    float depthAt(int x, int y) const { return depth[y * width + x]; }
    Float2 motionAt(int x, int y) const
    {
        const float* p = &motion[4 * (y * width + x)];
        return {p[0], p[1]};
    }

private:
    Float3 at(const std::vector<float>& image, int x, int y) const
    {
        const float* p = &image[4 * (y * width + x)];
        return {p[0], p[1], p[2]};
    }
};

inline void expectNear(Float3 actual, Float3 expected, float tolerance)
{
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
}

class SceneProgramTest : public GpuTest {
protected:
    // One dispatch of numParticles / 32 groups, bound as the frame binds it (u0 particle
    // buffer, b0 SimulationData, b1 ParticleSceneData); returns the whole buffer afterwards.
    ParticleBlock runSimulation(const ParticleBlock& particles, const SimulationData& simulation,
                                const ParticleSceneData& scene);

    // One dispatch of the frame's grid, floor(width / 32) x (floor(height / 32) + 1) groups,
    // bound as the frame binds it. Every image is 32-bit float so that values are checked at
    // full precision (the programs write formatless storage images).
    // `reference` runs the tracer that tests every sphere for every ray.
    PathTraceImages runPathTracer(const ParticleBlock& particles, const ConstantBufferData& frame,
                                  const ParticleSceneData& scene, const SimulationData& simulation,
                                  bool reference = false);

private:
    Pipeline* simulationPipeline = nullptr;
    Pipeline* pathTracePipelines[2] = {}; // the piece's, the reference
};
