// The frame's chain of GPU work on the scene's objects: prologue, the fifteen scene steps, one
// function per pass, and the epilogue (see scene.h).
#include "app/scene.h"
#include "app/scene_formats.h"

#include "gfx/commands.h"
#include "gfx/descriptors.h"
#include "gfx/resources.h"
#include "gfx/timestamps.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>

namespace {

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

// An image as a descriptor table sees it: the whole image in one format.
struct TableImage {
    Image* image;
    uint32_t format;
};

void writeSRVs(DescriptorTable& table, std::initializer_list<TableImage> images)
{
    for (const TableImage& view : images)
        writeImageSRV(table, view.image, view.format, 0, 1, 0, 0.0f);
}

void writeUAVs(DescriptorTable& table, std::initializer_list<TableImage> images)
{
    for (const TableImage& view : images)
        writeImageUAV(table, view.image, view.format);
}

void writeCBVs(DescriptorTable& table, std::initializer_list<const ConstantBlock*> blocks)
{
    for (const ConstantBlock* block : blocks)
        writeCBV(table, block->buffer, block->size);
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
    writeSRVs(table, {{scene.depthImage, r32f}, {filterResult, rgba16f}});
    writeUAVs(table, {{scene.colourDepthImage, rgba32f}, {scene.dofTilesImage, rgba32f}});
    writeCBVs(table, {&scene.dofBlock});
    bindTable(list, scene.dofTilesPipeline, table);
    dispatch(list, tileCount(scene.width), tileCount(scene.height), 1);
}

// Compute groups of 32 x 32 pixels over the render size; one row of groups more than fits,
// whose pixels write nothing.
struct PixelGroups {
    uint32_t x, y;
};

// 4-5: the spheres traced into colour, motion, position, normal and depth.
void recordPathTrace(SceneResources& scene, CommandList* list, PixelGroups groups)
{
    BarrierBatch& barriers = scene.barriers;
    requestTransition(barriers, scene.particleBuffer, STATE_NON_PIXEL_SHADER_RESOURCE);
    requestTransition(barriers, scene.colorImage, STATE_UNORDERED_ACCESS);
    requestTransition(barriers, scene.motionImage, STATE_UNORDERED_ACCESS);
    flushBarriers(barriers, list);

    // Position, normal and depth are UAVs already: step 13 of the frame before (or their
    // creation) left them so.
    DescriptorTable table = allocateDescriptors(*scene.frameHeap, 9);
    writeBufferSRV(table, scene.particleBuffer, MAX_PARTICLES, sizeof(ParticleData));
    writeUAVs(table, {{scene.colorImage, rgba16f},
                      {scene.motionImage, rgba32f},
                      {scene.positionImage, rgba32f},
                      {scene.normalImage, rgba32f},
                      {scene.depthImage, r32f}});
    writeCBVs(table, {&scene.frameBlock, &scene.sceneBlock, &scene.simulationBlock});
    bindTable(list, scene.pathTracePipeline, table);
    dispatch(list, groups.x, groups.y, 1);
    mark(scene, list, SceneMark::PathTrace);
}

// 6-7: temporal reprojection of the traced colour against last frame's history.
void recordTemporal(SceneResources& scene, CommandList* list, PixelGroups groups)
{
    BarrierBatch& barriers = scene.barriers;
    for (Image* image : {scene.colorImage, scene.motionImage, scene.historyImage, scene.positionImage,
                         scene.normalImage, scene.prevPositionImage, scene.prevNormalImage, scene.prevMoment1Image,
                         scene.prevMoment2Image, scene.depthImage, scene.prevDepthImage})
        requestTransition(barriers, image, STATE_NON_PIXEL_SHADER_RESOURCE);
    for (Image* image : {scene.accumImage, scene.moment1Image, scene.moment2Image})
        requestTransition(barriers, image, STATE_UNORDERED_ACCESS);
    flushBarriers(barriers, list);

    DescriptorTable table = allocateDescriptors(*scene.frameHeap, 15);
    writeSRVs(table, {{scene.colorImage, rgba16f},
                      {scene.motionImage, rgba32f},
                      {scene.historyImage, rgba16f},
                      {scene.positionImage, rgba32f},
                      {scene.normalImage, rgba32f},
                      {scene.prevPositionImage, rgba32f},
                      {scene.prevNormalImage, rgba32f},
                      {scene.prevMoment1Image, r32f},
                      {scene.prevMoment2Image, r32f},
                      {scene.depthImage, r32f},
                      {scene.prevDepthImage, r32f}});
    writeUAVs(table, {{scene.accumImage, rgba16f}, {scene.moment1Image, r32f}, {scene.moment2Image, r32f}});
    writeCBVs(table, {&scene.frameBlock});
    bindTable(list, scene.temporalPipeline, table);
    dispatch(list, groups.x, groups.y, 1);
    mark(scene, list, SceneMark::Temporal);
}

// 8-9: the a-trous iterations, ping-ponging between the temporal output and the colour
// image. Returns the image the last one wrote (the temporal output when there are none).
Image* recordFilter(SceneResources& scene, const DemoState& state, CommandList* list, PixelGroups groups)
{
    BarrierBatch& barriers = scene.barriers;
    requestTransition(barriers, scene.moment1Image, STATE_NON_PIXEL_SHADER_RESOURCE);
    requestTransition(barriers, scene.moment2Image, STATE_NON_PIXEL_SHADER_RESOURCE);
    flushBarriers(barriers, list);

    setPipeline(list, scene.atrousPipeline);
    const Float3 resolution = state.frame.resolution;
    Image* pair[2] = {scene.accumImage, scene.colorImage};
    Image* result = scene.accumImage;
    for (uint32_t i = 0; i < state.filterSteps; ++i) {
        Image* source = pair[i % 2];
        Image* destination = pair[(i + 1) % 2];
        requestTransition(barriers, source, STATE_NON_PIXEL_SHADER_RESOURCE);
        requestTransition(barriers, destination, STATE_UNORDERED_ACCESS);
        flushBarriers(barriers, list);
        DescriptorTable table = allocateDescriptors(*scene.frameHeap, 6);
        writeSRVs(table, {{source, rgba16f},
                          {scene.normalImage, rgba32f},
                          {scene.moment1Image, r32f},
                          {scene.moment2Image, r32f},
                          {scene.depthImage, r32f}});
        writeUAVs(table, {{destination, rgba16f}});
        setRootDescriptorTable(list, 0, table);
        uint32_t constants[4] = {i + 1, 0, 0, 0};
        std::memcpy(&constants[1], &resolution, sizeof(resolution));
        setRootConstants(list, 1, constants, 4, 0);
        dispatch(list, groups.x, groups.y, 1);
        result = destination;
        scene.lastFrame.filterDispatches += 1;
    }
    scene.lastFrame.filterResult = result;
    mark(scene, list, SceneMark::Filter);
    return result;
}

// 10-11: the history for the next frame's temporal step, and this frame's position, normal,
// moments and depth kept as the next frame's previous ones.
void recordHistoryCopies(SceneResources& scene, Image* filterResult, CommandList* list)
{
    // The history is the temporal chain's own output, whatever the filter made of it.
    BarrierBatch& barriers = scene.barriers;
    requestTransition(barriers, scene.historyImage, STATE_COPY_DEST);
    requestTransition(barriers, scene.accumImage, STATE_COPY_SOURCE);
    flushBarriers(barriers, list);
    copyImage(list, scene.historyImage, scene.accumImage);

    requestTransition(barriers, scene.particleBuffer, STATE_UNORDERED_ACCESS);
    requestTransition(barriers, filterResult, STATE_COPY_SOURCE);
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
}

// 12: depth of field, the tile records, then the spiral at the render size into rtv0.
void recordDepthOfField(SceneResources& scene, Image* filterResult, CommandList* list)
{
    recordDepthOfFieldTiles(scene, filterResult, list);
    const ResourceBinding bindings[] = {imageBinding(scene.depthImage, r32f), imageBinding(filterResult, rgba16f),
                                        imageBinding(scene.colourDepthImage, rgba32f),
                                        imageBinding(scene.dofTilesImage, rgba32f), constantBinding(scene.dofBlock)};
    drawFullscreenPass(scene.dofPass, scene.width, scene.height, list, scene.rtv0, scene.frameHeap, bindings);
    mark(scene, list, SceneMark::DepthOfField);
}

// 13-15: the final transfer into rtv1 over the picture's part of the back buffer; the
// depth-of-field target's way back to a render target is flushed with the epilogue.
void recordFinalTransfer(SceneResources& scene, Image* backBuffer, const Float2& picture, CommandList* list)
{
    BarrierBatch& barriers = scene.barriers;
    for (Image* image : {scene.positionImage, scene.normalImage, scene.prevPositionImage, scene.prevNormalImage,
                         scene.depthImage})
        requestTransition(barriers, image, STATE_UNORDERED_ACCESS);
    requestTransition(barriers, scene.dofImage, STATE_PIXEL_SHADER_RESOURCE);
    requestTransition(barriers, backBuffer, STATE_RENDER_TARGET);
    flushBarriers(barriers, list);

    const ResourceBinding bindings[] = {imageBinding(scene.dofImage, rgba16f), imageBinding(scene.textImage, rgba8),
                                        constantBinding(scene.finalBlock)};
    drawFullscreenPass(scene.finalPass, uint32_t(picture.x), uint32_t(picture.y), list, scene.rtv1, scene.frameHeap,
                       bindings);
    mark(scene, list, SceneMark::Final);

    requestTransition(barriers, scene.dofImage, STATE_RENDER_TARGET);
}

void claimFrameHeap(RenderApp& app, SceneResources& scene, FrameContext& frame)
{
    scene.frameSlot = uint32_t(frame.index);
    // Sixteen heaps against at most three frames in flight: this one's tables are long done.
    scene.frameHeap = scene.shaderHeaps[app.ring.frameCounter % shaderHeapCount];
    resetDescriptorHeap(*scene.frameHeap);
    scene.lastFrame = {};
}

} // namespace

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

void beginSimulationFrame(RenderApp& app, SceneResources& scene, FrameContext& frame)
{
    claimFrameHeap(app, scene, frame);
    setDescriptorHeap(frame.commandList, scene.frameHeap);
}

void beginSceneFrame(RenderApp& app, SceneResources& scene, FrameContext& frame)
{
    CommandList* list = frame.commandList;
    claimFrameHeap(app, scene, frame);
    resetDescriptorHeap(*scene.rtvHeap);

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

    // 3. Simulation: one group steps every particle together (its contacts need them all); the
    // program leaves a remainder below 32 unsimulated, and fewer than 32 make no dispatch.
    DescriptorTable table = allocateDescriptors(*scene.frameHeap, 3);
    writeBufferUAV(table, scene.particleBuffer, MAX_PARTICLES, sizeof(ParticleData));
    writeCBVs(table, {&scene.simulationBlock, &scene.sceneBlock});
    bindTable(list, scene.simulationPipeline, table);
    uint32_t groups = state.scene.numParticles >= 32 ? 1 : 0;
    if (groups != 0)
        dispatch(list, groups, 1, 1);
    scene.lastFrame.simulationGroups = groups;
    mark(scene, list, SceneMark::Simulation);
    scene.lastFrame.descriptorsUsed = scene.frameHeap->used;
}

void recordScene(RenderApp& app, SceneResources& scene, DemoState& state, CommandList* list)
{
    // The final pass scales the picture to the back buffer it draws into this frame, which
    // follows the window should its size change, or to the part of it the picture has.
    Image* backBuffer = currentBackBuffer(app);
    const bool part = scene.pictureWidth && scene.pictureHeight;
    const Float2 picture = {float(part ? std::min(scene.pictureWidth, backBuffer->width) : backBuffer->width),
                            float(part ? std::min(scene.pictureHeight, backBuffer->height) : backBuffer->height)};
    state.finalPass.nativeResolution = picture;
    recordSimulation(scene, state, list);
    const Float3 resolution = state.frame.resolution;
    const PixelGroups groups = {uint32_t(resolution.x * 0.03125f), uint32_t(resolution.y * 0.03125f) + 1};
    recordPathTrace(scene, list, groups);
    recordTemporal(scene, list, groups);
    Image* filterResult = recordFilter(scene, state, list, groups);
    recordHistoryCopies(scene, filterResult, list);
    recordDepthOfField(scene, filterResult, list);
    recordFinalTransfer(scene, backBuffer, picture, list);
    scene.lastFrame.descriptorsUsed = scene.frameHeap->used;
}

void endSceneFrame(RenderApp& app, SceneResources& scene)
{
    CommandList* list = app.frames[scene.frameSlot].commandList;
    requestTransition(scene.barriers, currentBackBuffer(app), STATE_PRESENT);
    flushBarriers(scene.barriers, list);
    endFrame(app);
}
