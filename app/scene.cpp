// The scene's GPU objects and the frame's chain of GPU work (see scene.h).
#include "app/scene.h"

#include "core/log.h"
#include "gfx/commands.h"
#include "gfx/descriptors.h"
#include "gfx/resources.h"
#include "gfx/text.h"
#include "gfx/timestamps.h"
#include "shaders/shader_bytecode.h"

#include <cstring>
#include <span>

namespace {

constexpr uint32_t rgba16f = FORMAT_R16G16B16A16_FLOAT;
constexpr uint32_t rgba32f = FORMAT_R32G32B32A32_FLOAT;
constexpr uint32_t r32f = FORMAT_R32_FLOAT;
constexpr uint32_t rgba8 = FORMAT_R8G8B8A8_UNORM;
constexpr uint32_t particleBufferBytes = MAX_PARTICLES * sizeof(ParticleData); // 13312

// Tiles of 32 pixels (the compute groups) that cover a render size of `pixels`.
uint32_t tileCount(uint32_t pixels)
{
    return (pixels + 31) / 32;
}

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

// Both passes: images and a constant block read by the pixel program, one sampler.
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

// >>recording helpers

void mark(const SceneResources& scene, CommandList* list, SceneMark index)
{
    if (scene.timestamps)
        writeTimestamp(list, scene.timestamps, uint32_t(index));
}

void bindTable(CommandList* list, Pipeline* pipeline, const DescriptorTable& table)
{
    setPipeline(list, pipeline);
    setRootDescriptorTable(list, 0, table);
}

void writeSRV(DescriptorTable& table, Image* image, uint32_t format)
{
    writeImageSRV(table, image, format, 0, 1, 0, 0.0f);
}

ResourceBinding imageBinding(Image* image, uint32_t format)
{
    return {.accessKind = AccessKind::PixelImageSrv, .image = image, .viewParameters = {format, 0, 1, 0}};
}

ResourceBinding constantBinding(const ConstantBlock& block)
{
    return {.accessKind = AccessKind::ConstantBuffer, .buffer = block.buffer, .viewParameters = {block.size, 0, 0, 0}};
}

// The depth of field's pre-pass: colour and depth packed into one image, and the tile records
// that tell each pixel's spiral where it may end.
void recordDepthOfFieldTiles(SceneResources& scene, Image* filterResult, CommandList* list)
{
    BarrierBatch& barriers = scene.barriers;
    requestTransition(barriers, scene.depthImage, STATE_NON_PIXEL_SHADER_RESOURCE);
    requestTransition(barriers, filterResult, STATE_NON_PIXEL_SHADER_RESOURCE);
    requestTransition(barriers, scene.colourDepthImage, STATE_UNORDERED_ACCESS);
    requestTransition(barriers, scene.dofTilesImage, STATE_UNORDERED_ACCESS);
    flushBarriers(barriers, list);
    DescriptorTable table = allocateDescriptors(*scene.frameHeap, 5);
    writeSRV(table, scene.depthImage, r32f);
    writeSRV(table, filterResult, rgba16f);
    writeImageUAV(table, scene.colourDepthImage, rgba32f);
    writeImageUAV(table, scene.dofTilesImage, rgba32f);
    writeCBV(table, scene.dofBlock.buffer, scene.dofBlock.size);
    bindTable(list, scene.dofTilesPipeline, table);
    dispatch(list, tileCount(scene.width), tileCount(scene.height), 1);
}

} // namespace

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
    destroyFullscreenPass(app, scene.dofPass);
    destroyConstantBlock(app, scene.dofBlock);
    destroyConstantBlock(app, scene.simulationBlock);
    destroyConstantBlock(app, scene.frameBlock);
    destroyFullscreenPass(app, scene.finalPass);
    destroyConstantBlock(app, scene.finalBlock);
    destroyConstantBlock(app, scene.sceneBlock);
}

void destroySceneObjects(RenderApp& app, SceneResources& scene)
{
    destroyPipeline(app, scene.atrousPipeline);
    destroyPipeline(app, scene.temporalPipeline);
    for (Image** image : {&scene.depthImage, &scene.prevDepthImage, &scene.moment1Image, &scene.moment2Image,
                          &scene.prevMoment1Image, &scene.prevMoment2Image, &scene.prevPositionImage,
                          &scene.prevNormalImage, &scene.positionImage, &scene.normalImage, &scene.accumImage,
                          &scene.historyImage})
        destroyImage(app, *image);
    destroyDescriptorHeap(app, scene.rtvHeap);
    destroyImage(app, scene.colorImage);
    destroyImage(app, scene.motionImage);
    destroyPipeline(app, scene.pathTracePipeline);
    destroyPipeline(app, scene.simulationPipeline);
    destroyImage(app, scene.textImage);
    for (DescriptorHeap*& heap : scene.shaderHeaps)
        destroyDescriptorHeap(app, heap);
    destroyBuffer(app, scene.particleBuffer);
    destroyImage(app, scene.dofImage);
    destroyImage(app, scene.colourDepthImage);
    destroyImage(app, scene.dofTilesImage);
    destroyPipeline(app, scene.dofTilesPipeline);
    freeBarrierBatch(scene.barriers);
}

void uploadBlock(ConstantBlock& block, CommandList* list, uint32_t slot)
{
    Buffer* staging = block.staging[slot];
    std::memcpy(mapBuffer(staging), block.record, block.size);
    unmapBuffer(staging);
    transitionNow(list, block.buffer, STATE_COPY_DEST);
    copyBuffer(list, block.buffer, staging);
    transitionNow(list, block.buffer, STATE_VERTEX_AND_CONSTANT_BUFFER);
}

// >>frame

void beginSceneFrame(RenderApp& app, SceneResources& scene, FrameContext& frame)
{
    CommandList* list = frame.commandList;
    scene.frameSlot = uint32_t(frame.index);
    // Sixteen heaps against at most three frames in flight: this one's tables are long done.
    scene.frameHeap = scene.shaderHeaps[app.ring.frameCounter % shaderHeapCount];
    resetDescriptorHeap(*scene.frameHeap);
    resetDescriptorHeap(*scene.rtvHeap);
    scene.lastFrame = {};

    DescriptorTable views = allocateDescriptors(*scene.rtvHeap, renderTargetViewCount);
    scene.rtv0 = views.cpuHandle;
    scene.rtv1 = views.cpuHandle + views.increment;

    Image* backBuffer = currentBackBuffer(app);
    requestTransition(scene.barriers, scene.dofImage, STATE_RENDER_TARGET);
    requestTransition(scene.barriers, backBuffer, STATE_RENDER_TARGET);
    flushBarriers(scene.barriers, list);
    writeRenderTargetView(views, scene.dofImage, rgba16f);
    writeRenderTargetView(views, backBuffer, backBuffer->format);

    const float black[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    setRenderTarget(list, scene.rtv1);
    clearRenderTarget(list, scene.rtv0, black);
    clearRenderTarget(list, scene.rtv1, black); // leaves rtv1 as the bound target
    setDescriptorHeap(list, scene.frameHeap);
}

void recordSimulation(SceneResources& scene, DemoState& state, CommandList* list)
{
    if (scene.timestamps)
        resetTimestamps(list, scene.timestamps);
    mark(scene, list, SceneMark::Start);

    // 1. Frame matrices.
    updateFrameMatrices(state);

    // 2. The five records, each through this slot's upload buffer.
    for (ConstantBlock* block :
         {&scene.dofBlock, &scene.simulationBlock, &scene.frameBlock, &scene.finalBlock, &scene.sceneBlock})
        uploadBlock(*block, list, scene.frameSlot);
    mark(scene, list, SceneMark::Uploads);

    // 3. Simulation: 32 particles a group; a remainder below 32 is left unsimulated.
    DescriptorTable table = allocateDescriptors(*scene.frameHeap, 3);
    writeBufferUAV(table, scene.particleBuffer, MAX_PARTICLES, sizeof(ParticleData));
    writeCBV(table, scene.simulationBlock.buffer, scene.simulationBlock.size);
    writeCBV(table, scene.sceneBlock.buffer, scene.sceneBlock.size);
    bindTable(list, scene.simulationPipeline, table);
    uint32_t groups = state.scene.numParticles / 32;
    if (groups != 0)
        dispatch(list, groups, 1, 1);
    scene.lastFrame.simulationGroups = groups;
    mark(scene, list, SceneMark::Simulation);
    scene.lastFrame.descriptorsUsed = scene.frameHeap->used;
}

void recordScene(RenderApp& app, SceneResources& scene, DemoState& state, CommandList* list)
{
    // The final pass scales the picture to the back buffer it draws into this frame, which
    // follows the window should its size change.
    Image* backBuffer = currentBackBuffer(app);
    state.finalPass.nativeResolution = {float(backBuffer->width), float(backBuffer->height)};
    recordSimulation(scene, state, list);
    BarrierBatch& barriers = scene.barriers;
    // Groups of 32 x 32 pixels; one row of groups more than fits, whose pixels write nothing.
    const Float3 resolution = state.frame.resolution;
    const uint32_t groupsX = uint32_t(resolution.x * 0.03125f);
    const uint32_t groupsY = uint32_t(resolution.y * 0.03125f) + 1;

    // 4.
    requestTransition(barriers, scene.particleBuffer, STATE_NON_PIXEL_SHADER_RESOURCE);
    requestTransition(barriers, scene.colorImage, STATE_UNORDERED_ACCESS);
    requestTransition(barriers, scene.motionImage, STATE_UNORDERED_ACCESS);
    flushBarriers(barriers, list);

    // 5. Path tracing. Position, normal and depth are UAVs already: step 13 of the frame
    // before (or their creation) left them so.
    DescriptorTable table = allocateDescriptors(*scene.frameHeap, 9);
    writeBufferSRV(table, scene.particleBuffer, MAX_PARTICLES, sizeof(ParticleData));
    writeImageUAV(table, scene.colorImage, rgba16f);
    writeImageUAV(table, scene.motionImage, rgba32f);
    writeImageUAV(table, scene.positionImage, rgba32f);
    writeImageUAV(table, scene.normalImage, rgba32f);
    writeImageUAV(table, scene.depthImage, r32f);
    writeCBV(table, scene.frameBlock.buffer, scene.frameBlock.size);
    writeCBV(table, scene.sceneBlock.buffer, scene.sceneBlock.size);
    writeCBV(table, scene.simulationBlock.buffer, scene.simulationBlock.size);
    bindTable(list, scene.pathTracePipeline, table);
    dispatch(list, groupsX, groupsY, 1);
    mark(scene, list, SceneMark::PathTrace);

    // 6.
    for (Image* image : {scene.colorImage, scene.motionImage, scene.historyImage, scene.positionImage,
                         scene.normalImage, scene.prevPositionImage, scene.prevNormalImage, scene.prevMoment1Image,
                         scene.prevMoment2Image, scene.depthImage, scene.prevDepthImage})
        requestTransition(barriers, image, STATE_NON_PIXEL_SHADER_RESOURCE);
    for (Image* image : {scene.accumImage, scene.moment1Image, scene.moment2Image})
        requestTransition(barriers, image, STATE_UNORDERED_ACCESS);
    flushBarriers(barriers, list);

    // 7. Temporal reprojection.
    table = allocateDescriptors(*scene.frameHeap, 15);
    writeSRV(table, scene.colorImage, rgba16f);
    writeSRV(table, scene.motionImage, rgba32f);
    writeSRV(table, scene.historyImage, rgba16f);
    writeSRV(table, scene.positionImage, rgba32f);
    writeSRV(table, scene.normalImage, rgba32f);
    writeSRV(table, scene.prevPositionImage, rgba32f);
    writeSRV(table, scene.prevNormalImage, rgba32f);
    writeSRV(table, scene.prevMoment1Image, r32f);
    writeSRV(table, scene.prevMoment2Image, r32f);
    writeSRV(table, scene.depthImage, r32f);
    writeSRV(table, scene.prevDepthImage, r32f);
    writeImageUAV(table, scene.accumImage, rgba16f);
    writeImageUAV(table, scene.moment1Image, r32f);
    writeImageUAV(table, scene.moment2Image, r32f);
    writeCBV(table, scene.frameBlock.buffer, scene.frameBlock.size);
    bindTable(list, scene.temporalPipeline, table);
    dispatch(list, groupsX, groupsY, 1);
    mark(scene, list, SceneMark::Temporal);

    // 8.
    requestTransition(barriers, scene.moment1Image, STATE_NON_PIXEL_SHADER_RESOURCE);
    requestTransition(barriers, scene.moment2Image, STATE_NON_PIXEL_SHADER_RESOURCE);
    flushBarriers(barriers, list);

    // 9. A-trous iterations, ping-ponging between the temporal output and the colour image.
    setPipeline(list, scene.atrousPipeline);
    Image* pair[2] = {scene.accumImage, scene.colorImage};
    Image* result = scene.accumImage;
    for (uint32_t i = 0; i < state.filterSteps; ++i) {
        Image* source = pair[i % 2];
        Image* destination = pair[(i + 1) % 2];
        requestTransition(barriers, source, STATE_NON_PIXEL_SHADER_RESOURCE);
        requestTransition(barriers, destination, STATE_UNORDERED_ACCESS);
        flushBarriers(barriers, list);
        table = allocateDescriptors(*scene.frameHeap, 6);
        writeSRV(table, source, rgba16f);
        writeSRV(table, scene.normalImage, rgba32f);
        writeSRV(table, scene.moment1Image, r32f);
        writeSRV(table, scene.moment2Image, r32f);
        writeSRV(table, scene.depthImage, r32f);
        writeImageUAV(table, destination, rgba16f);
        setRootDescriptorTable(list, 0, table);
        uint32_t constants[4] = {i + 1, 0, 0, 0};
        std::memcpy(&constants[1], &resolution, sizeof(resolution));
        setRootConstants(list, 1, constants, 4, 0);
        dispatch(list, groupsX, groupsY, 1);
        result = destination;
        scene.lastFrame.filterDispatches += 1;
    }
    scene.lastFrame.filterResult = result;
    mark(scene, list, SceneMark::Filter);

    // 10. History: the temporal chain's own output, whatever the filter made of it.
    requestTransition(barriers, scene.historyImage, STATE_COPY_DEST);
    requestTransition(barriers, scene.accumImage, STATE_COPY_SOURCE);
    flushBarriers(barriers, list);
    copyImage(list, scene.historyImage, scene.accumImage);

    // 11. Keep last frame's buffers.
    requestTransition(barriers, scene.particleBuffer, STATE_UNORDERED_ACCESS);
    requestTransition(barriers, result, STATE_COPY_SOURCE);
    for (Image* image : {scene.positionImage, scene.normalImage, scene.moment1Image, scene.moment2Image})
        requestTransition(barriers, image, STATE_COPY_SOURCE);
    for (Image* image : {scene.prevPositionImage, scene.prevNormalImage, scene.prevMoment1Image,
                         scene.prevMoment2Image})
        requestTransition(barriers, image, STATE_COPY_DEST);
    requestTransition(barriers, scene.depthImage, STATE_COPY_SOURCE);
    requestTransition(barriers, scene.prevDepthImage, STATE_COPY_DEST);
    flushBarriers(barriers, list);
    copyImage(list, scene.prevPositionImage, scene.positionImage);
    copyImage(list, scene.prevNormalImage, scene.normalImage);
    copyImage(list, scene.prevMoment1Image, scene.moment1Image);
    copyImage(list, scene.prevMoment2Image, scene.moment2Image);
    copyImage(list, scene.prevDepthImage, scene.depthImage);
    mark(scene, list, SceneMark::Copies);

    // 12. Depth of field: the tile records, then the spiral at the render size into rtv0.
    recordDepthOfFieldTiles(scene, result, list);
    const ResourceBinding dofBindings[] = {imageBinding(scene.depthImage, r32f), imageBinding(result, rgba16f),
                                           imageBinding(scene.colourDepthImage, rgba32f),
                                           imageBinding(scene.dofTilesImage, rgba32f),
                                           constantBinding(scene.dofBlock)};
    drawFullscreenPass(scene.dofPass, scene.width, scene.height, list, scene.rtv0, scene.frameHeap, dofBindings);
    mark(scene, list, SceneMark::DepthOfField);

    // 13.
    for (Image* image : {scene.positionImage, scene.normalImage, scene.prevPositionImage, scene.prevNormalImage,
                         scene.depthImage})
        requestTransition(barriers, image, STATE_UNORDERED_ACCESS);
    requestTransition(barriers, scene.dofImage, STATE_PIXEL_SHADER_RESOURCE);
    requestTransition(barriers, backBuffer, STATE_RENDER_TARGET);
    flushBarriers(barriers, list);

    // 14. Final transfer at the back buffer's size into rtv1.
    const ResourceBinding finalBindings[] = {imageBinding(scene.dofImage, rgba16f),
                                             imageBinding(scene.textImage, rgba8), constantBinding(scene.finalBlock)};
    drawFullscreenPass(scene.finalPass, backBuffer->width, backBuffer->height, list, scene.rtv1, scene.frameHeap,
                       finalBindings);
    mark(scene, list, SceneMark::Final);

    // 15. Flushed with the epilogue.
    requestTransition(barriers, scene.dofImage, STATE_RENDER_TARGET);
    scene.lastFrame.descriptorsUsed = scene.frameHeap->used;
}

void endSceneFrame(RenderApp& app, SceneResources& scene)
{
    CommandList* list = app.frames[scene.frameSlot].commandList;
    requestTransition(scene.barriers, currentBackBuffer(app), STATE_PRESENT);
    flushBarriers(scene.barriers, list);
    endFrame(app);
}
