// The scene's GPU objects, made in a fixed order and destroyed (see scene.h); the frame's work on
// them is recorded in scene_frame.cpp.
#include "app/scene.h"
#include "app/scene_formats.h"

#include "gfx/commands.h"
#include "gfx/descriptors.h"
#include "gfx/resources.h"
#include "gfx/text.h"
#include "shaders/shader_bytecode.h"

namespace {


// >>creation

Image* createRenderImage(RenderApp& app, const SceneResources& scene, uint32_t format, uint32_t state,
                         uint32_t flags)
{
    return createImage(app, scene.width, scene.height, nullptr, state, format, flags);
}

Image* createStorageImage(RenderApp& app, const SceneResources& scene, uint32_t format)
{
    return createRenderImage(app, scene, format, STATE_UNORDERED_ACCESS, RESOURCE_FLAG_ALLOW_UNORDERED_ACCESS);
}

ConstantBlock createConstantBlock(RenderApp& app, const void* record, uint32_t size)
{
    ConstantBlock block = {.record = record, .size = size};
    block.buffer = createBuffer(app, size, BufferType::Constant, nullptr, false, 0);
    for (Buffer*& staging : block.staging)
        staging = createBuffer(app, size, BufferType::Upload, nullptr, false, 0);
    return block;
}

void destroyConstantBlock(RenderApp& app, ConstantBlock& block)
{
    destroyBuffer(app, block.buffer);
    for (Buffer*& staging : block.staging)
        destroyBuffer(app, staging);
    block = {};
}

} // namespace

Pipeline* createScenePipeline(RenderApp& app, ShaderBytecode program, std::initializer_list<DescriptorRange> ranges,
                              bool rootConstants, bool samplers)
{
    RootSignatureBuilder root;
    addDescriptorTable(root, makeRangeList(ranges), VISIBILITY_ALL);
    if (rootConstants)
        addRootConstants(root);
    if (samplers) {
        addStaticSampler(root, FILTER_MIN_MAG_MIP_LINEAR, ADDRESS_CLAMP, 0, VISIBILITY_ALL);
        addStaticSampler(root, FILTER_MIN_MAG_MIP_POINT, ADDRESS_CLAMP, 1, VISIBILITY_ALL);
    }
    Pipeline* pipeline = createComputePipeline(app, root, program);
    freeRootSignatureBuilder(root);
    return pipeline;
}

FullscreenPass* createScenePass(RenderApp& app, ShaderBytecode program, uint32_t imageCount, uint32_t targetFormat,
                                uint32_t addressMode)
{
    FullscreenPass* pass = createFullscreenPass();
    pass->pixelProgram = program;
    pass->renderTargetFormats.push(targetFormat);
    addDescriptorTable(pass->rootSignature,
                       makeRangeList({makeRange(RANGE_SRV, imageCount), makeRange(RANGE_CBV, 1)}), VISIBILITY_PIXEL);
    addStaticSampler(pass->rootSignature, FILTER_MIN_MAG_MIP_LINEAR, addressMode, 0, VISIBILITY_PIXEL);
    buildFullscreenPass(app, pass);
    return pass;
}

Image* createTitleImage(RenderApp& app)
{
    DynamicArray<uint8_t> pixels;
    uint32_t width = 0, height = 0;
    if (!rasteriseTitle(pixels, width, height))
        return nullptr;
    Image* image = createImage(app, width, height, pixels.data, STATE_PIXEL_SHADER_RESOURCE, rgba8,
                               RESOURCE_FLAG_NONE);
    pixels.clear(); // createImage keeps its own copy until the upload
    return image;
}

void createSceneResources(RenderApp& app, SceneResources& scene, DemoState& state, const DemoParameters& parameters,
                          uint32_t width, uint32_t height, Image* textImage)
{
    scene.width = width;
    scene.height = height;
    scene.textImage = textImage;
    // The records start zeroed; the blocks only point at them, so they are filled once below.
    state.scene = {};
    state.simulation = {};
    state.frame = {};
    state.depthOfField = {};
    state.finalPass = {};

    scene.sceneBlock = createConstantBlock(app, &state.scene, sizeof(ParticleSceneData));
    scene.particleBuffer = createBuffer(app, particleBufferBytes, BufferType::ReadWrite, nullptr, true,
                                        RESOURCE_FLAG_ALLOW_UNORDERED_ACCESS);
    for (DescriptorHeap*& heap : scene.shaderHeaps)
        heap = createDescriptorHeap(app, HEAP_CBV_SRV_UAV, shaderHeapDescriptors, HEAP_FLAG_SHADER_VISIBLE);

    scene.simulationPipeline = createScenePipeline(
        app, ParticleSimulationCS, {makeRange(RANGE_UAV, 1), makeRange(RANGE_CBV, 2)}, false, false);
    scene.simulationBlock = createConstantBlock(app, &state.simulation, sizeof(SimulationData));
    setBufferName(app, scene.particleBuffer, "ParticleBuffer");
    scene.pathTracePipeline = createScenePipeline(
        app, PathTracerCS, {makeRange(RANGE_SRV, 1), makeRange(RANGE_UAV, 5), makeRange(RANGE_CBV, 3)}, false, false);

    scene.colorImage = createStorageImage(app, scene, rgba16f);
    scene.motionImage = createStorageImage(app, scene, rgba32f);
    scene.positionImage = createStorageImage(app, scene, rgba32f);
    scene.normalImage = createStorageImage(app, scene, rgba32f);

    scene.frameBlock = createConstantBlock(app, &state.frame, sizeof(ConstantBufferData));
    scene.barriers = {};
    scene.rtvHeap = createDescriptorHeap(app, HEAP_RTV, renderTargetViewCount, HEAP_FLAG_NONE);

    scene.prevPositionImage = createStorageImage(app, scene, rgba32f);
    scene.prevNormalImage = createStorageImage(app, scene, rgba32f);
    scene.moment1Image = createStorageImage(app, scene, r32f);
    scene.moment2Image = createStorageImage(app, scene, r32f);
    scene.prevMoment1Image = createStorageImage(app, scene, r32f);
    scene.prevMoment2Image = createStorageImage(app, scene, r32f);
    scene.depthImage = createStorageImage(app, scene, r32f);
    scene.prevDepthImage = createStorageImage(app, scene, r32f);
    // Only ever a copy destination and a shader input.
    scene.historyImage = createRenderImage(app, scene, rgba16f, STATE_NON_PIXEL_SHADER_RESOURCE, RESOURCE_FLAG_NONE);
    scene.accumImage = createStorageImage(app, scene, rgba16f);

    scene.temporalPipeline = createScenePipeline(
        app, TemporalReprojectionCS, {makeRange(RANGE_SRV, 11), makeRange(RANGE_UAV, 3), makeRange(RANGE_CBV, 1)},
        false, true);
    scene.atrousPipeline =
        createScenePipeline(app, ATrousFilterCS, {makeRange(RANGE_SRV, 5), makeRange(RANGE_UAV, 1)}, true, false);

    scene.dofPass = createScenePass(app, DepthOfFieldPS, 4, rgba16f, ADDRESS_CLAMP);
    scene.dofBlock = createConstantBlock(app, &state.depthOfField, sizeof(DepthOfFieldData));
    scene.dofImage = createRenderImage(app, scene, rgba16f, STATE_RENDER_TARGET, RESOURCE_FLAG_ALLOW_RENDER_TARGET);
    scene.dofTilesPipeline = createScenePipeline(
        app, DepthOfFieldTilesCS, {makeRange(RANGE_SRV, 2), makeRange(RANGE_UAV, 2), makeRange(RANGE_CBV, 1)}, false,
        false);
    scene.colourDepthImage = createStorageImage(app, scene, rgba32f);
    scene.dofTilesImage = createImage(app, tileCount(width), tileCount(height), nullptr, STATE_UNORDERED_ACCESS,
                                      rgba32f, RESOURCE_FLAG_ALLOW_UNORDERED_ACCESS);

    // The back buffer's own format (R8G8B8A8, or B8G8R8A8 where the window offers only that).
    scene.finalPass = createScenePass(app, TransferToBackbufferPS, 2, backBufferFormat(app), ADDRESS_BORDER);
    scene.finalBlock = createConstantBlock(app, &state.finalPass, sizeof(FinalPassData));

    if (!scene.textImage) {
        // The final pass samples its extra texture whatever the frame; transparent shows nothing.
        const uint8_t transparent[4] = {0, 0, 0, 0};
        scene.textImage = createImage(app, 1, 1, transparent, STATE_PIXEL_SHADER_RESOURCE, rgba8, RESOURCE_FLAG_NONE);
    }

    initRecords(state, parameters, {float(app.width), float(app.height)});
    state.frame.resolution = {float(width), float(height), 1.0f};
    state.depthOfField.resolution = {float(width), float(height)};
    state.finalPass.resolution = {float(width), float(height)};
}

void destroyScenePassesAndBlocks(RenderApp& app, SceneResources& scene)
{
    for (FullscreenPass** pass : {&scene.dofPass, &scene.finalPass})
        destroyFullscreenPass(app, *pass);
    for (ConstantBlock* block :
         {&scene.dofBlock, &scene.simulationBlock, &scene.frameBlock, &scene.finalBlock, &scene.sceneBlock})
        destroyConstantBlock(app, *block);
}

void destroySceneObjects(RenderApp& app, SceneResources& scene)
{
    for (Pipeline** pipeline : {&scene.atrousPipeline, &scene.temporalPipeline, &scene.pathTracePipeline,
                                &scene.simulationPipeline, &scene.dofTilesPipeline})
        destroyPipeline(app, *pipeline);
    for (Image** image : {&scene.depthImage, &scene.prevDepthImage, &scene.moment1Image, &scene.moment2Image,
                          &scene.prevMoment1Image, &scene.prevMoment2Image, &scene.prevPositionImage,
                          &scene.prevNormalImage, &scene.positionImage, &scene.normalImage, &scene.accumImage,
                          &scene.historyImage, &scene.colorImage, &scene.motionImage, &scene.textImage,
                          &scene.dofImage, &scene.colourDepthImage, &scene.dofTilesImage})
        destroyImage(app, *image);
    destroyDescriptorHeap(app, scene.rtvHeap);
    for (DescriptorHeap*& heap : scene.shaderHeaps)
        destroyDescriptorHeap(app, heap);
    destroyBuffer(app, scene.particleBuffer);
    freeBarrierBatch(scene.barriers);
}
