// Runs the scene programs on the harness's device with the bindings of the frame sequence.
#include "tests/gpu/scene_programs.h"

#include "shaders/shader_bytecode.h"
#include "tests/gpu/reference_programs.h"

#include <algorithm>

ParticleBlock SceneProgramTest::runSimulation(const ParticleBlock& particles, const SimulationData& simulation,
                                              const ParticleSceneData& scene)
{
    if (!simulationPipeline)
        simulationPipeline = computePipeline(ParticleSimulationCS, {makeRange(RANGE_UAV, 1), makeRange(RANGE_CBV, 2)});
    Buffer* particleBuffer = uploadBuffer(sizeof(ParticleBlock), BufferType::ReadWrite, particles.data());
    Buffer* simulationBlock = uploadBuffer(sizeof(SimulationData), BufferType::Constant, &simulation);
    Buffer* sceneBlock = uploadBuffer(sizeof(ParticleSceneData), BufferType::Constant, &scene);

    CommandList* list = beginCommands();
    resetDescriptorHeap(*heap);
    DescriptorTable table = allocateDescriptors(*heap, 3);
    writeBufferUAV(table, particleBuffer, MAX_PARTICLES, sizeof(ParticleData));
    writeCBV(table, simulationBlock, sizeof(SimulationData));
    writeCBV(table, sceneBlock, sizeof(ParticleSceneData));
    if (scene.numParticles / 32 != 0)
        recordCompute(list, simulationPipeline, {{0, table}}, nullptr, scene.numParticles / 32, 1, 1);
    submitAndWait();

    std::vector<ParticleData> records = readBuffer<ParticleData>(particleBuffer);
    ParticleBlock result;
    std::copy(records.begin(), records.begin() + MAX_PARTICLES, result.begin());
    return result;
}

PathTraceImages SceneProgramTest::runPathTracer(const ParticleBlock& particles, const ConstantBufferData& frame,
                                                const ParticleSceneData& scene, const SimulationData& simulation,
                                                bool reference)
{
    Pipeline*& pathTracePipeline = pathTracePipelines[reference ? 1 : 0];
    if (!pathTracePipeline)
        pathTracePipeline = computePipeline(reference ? PathTracerCSReference : PathTracerCS,
                                            {makeRange(RANGE_SRV, 1), makeRange(RANGE_UAV, 5), makeRange(RANGE_CBV, 3)});
    const uint32_t width = uint32_t(frame.resolution.x);
    const uint32_t height = uint32_t(frame.resolution.y);
    Buffer* particleBuffer = uploadBuffer(sizeof(ParticleBlock), BufferType::ReadWrite, particles.data());
    Buffer* frameBlock = uploadBuffer(sizeof(ConstantBufferData), BufferType::Constant, &frame);
    Buffer* sceneBlock = uploadBuffer(sizeof(ParticleSceneData), BufferType::Constant, &scene);
    Buffer* simulationBlock = uploadBuffer(sizeof(SimulationData), BufferType::Constant, &simulation);
    Image* color = createStorageImage(width, height, FORMAT_R32G32B32A32_FLOAT);
    Image* motion = createStorageImage(width, height, FORMAT_R32G32B32A32_FLOAT);
    Image* position = createStorageImage(width, height, FORMAT_R32G32B32A32_FLOAT);
    Image* normal = createStorageImage(width, height, FORMAT_R32G32B32A32_FLOAT);
    Image* depth = createStorageImage(width, height, FORMAT_R32_FLOAT);

    CommandList* list = beginCommands();
    transitionNow(list, particleBuffer, STATE_NON_PIXEL_SHADER_RESOURCE);
    resetDescriptorHeap(*heap);
    DescriptorTable table = allocateDescriptors(*heap, 9);
    writeBufferSRV(table, particleBuffer, MAX_PARTICLES, sizeof(ParticleData));
    writeImageUAV(table, color, FORMAT_R32G32B32A32_FLOAT);
    writeImageUAV(table, motion, FORMAT_R32G32B32A32_FLOAT);
    writeImageUAV(table, position, FORMAT_R32G32B32A32_FLOAT);
    writeImageUAV(table, normal, FORMAT_R32G32B32A32_FLOAT);
    writeImageUAV(table, depth, FORMAT_R32_FLOAT);
    writeCBV(table, frameBlock, sizeof(ConstantBufferData));
    writeCBV(table, sceneBlock, sizeof(ParticleSceneData));
    writeCBV(table, simulationBlock, sizeof(SimulationData));
    recordCompute(list, pathTracePipeline, {{0, table}}, nullptr, uint32_t(frame.resolution.x * 0.03125f),
                  uint32_t(frame.resolution.y * 0.03125f) + 1, 1);
    submitAndWait();

    PathTraceImages images;
    images.width = int(width);
    images.height = int(height);
    images.color = readImage<float>(color);
    images.motion = readImage<float>(motion);
    images.position = readImage<float>(position);
    images.normal = readImage<float>(normal);
    images.depth = readImage<float>(depth);
    return images;
}
