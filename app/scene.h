// The scene's GPU objects, made once at start-up in a fixed order and kept to the end, and the
// chain of GPU work of one frame: prologue, the fifteen scene steps, epilogue. Records through
// the graphics layer only; the values it uploads are the CPU records of DemoState.
#pragma once

#include "app/parameters.h"
#include "gfx/context.h"
#include "gfx/passes.h"
#include "gfx/pipelines.h"

#include <cstdint>
#include <initializer_list>

struct CommandList;
struct DescriptorHeap;
struct TimestampQueries;

constexpr uint32_t shaderHeapCount = 16;        // used in turn by frame counter mod 16
constexpr uint32_t shaderHeapDescriptors = 128; // per heap
constexpr uint32_t renderTargetViewCount = 2;   // rtv0 the depth-of-field target, rtv1 the back buffer
constexpr uint32_t particleBufferBytes = MAX_PARTICLES * sizeof(ParticleData); // 13312

// One GPU constant record: the CPU copy (a record of DemoState), the constant buffer the
// programs read, and one upload buffer per frame slot, so that a frame's copy reads the values
// of its own frame even while the CPU writes the next frame's.
struct ConstantBlock {
    const void* record = nullptr;
    uint32_t size = 0; // record bytes
    Buffer* buffer = nullptr;
    Buffer* staging[frameCount] = {};
};

// Timestamp marks of a measured frame: mark i is taken when step i has finished.
enum class SceneMark : uint32_t {
    Start,
    Uploads,
    Simulation,
    PathTrace,
    Temporal,
    Filter,
    Copies,
    DepthOfField,
    Final,
};
constexpr uint32_t sceneMarkCount = uint32_t(SceneMark::Final) + 1;

// What the last scene recording did; read by tests and measurements.
struct SceneFrameRecord {
    uint32_t simulationGroups = 0;
    uint32_t filterDispatches = 0;
    Image* filterResult = nullptr;  // what the depth of field reads
    uint32_t descriptorsUsed = 0;   // from the frame's shader-visible heap
};

struct SceneResources {
    uint32_t width = 0, height = 0; // render size; the piece passes 1920 x 1080

    Image* textImage = nullptr; // the title, or 1 x 1 transparent when it could not be drawn
    Buffer* particleBuffer = nullptr;
    Image* colorImage = nullptr;
    Image* motionImage = nullptr;
    Image* positionImage = nullptr;
    Image* normalImage = nullptr;
    Image* prevPositionImage = nullptr;
    Image* prevNormalImage = nullptr;
    Image* moment1Image = nullptr;
    Image* moment2Image = nullptr;
    Image* prevMoment1Image = nullptr;
    Image* prevMoment2Image = nullptr;
    Image* depthImage = nullptr;
    Image* prevDepthImage = nullptr;
    Image* historyImage = nullptr;
    Image* accumImage = nullptr;
    Image* dofImage = nullptr;
    Image* colourDepthImage = nullptr; // the filter result's colour with depthImage in alpha
    Image* dofTilesImage = nullptr;    // per 32 x 32 tile: largest blur, focus offset range

    DescriptorHeap* shaderHeaps[shaderHeapCount] = {};
    DescriptorHeap* rtvHeap = nullptr;
    Pipeline* simulationPipeline = nullptr;
    Pipeline* pathTracePipeline = nullptr;
    Pipeline* temporalPipeline = nullptr;
    Pipeline* atrousPipeline = nullptr;
    Pipeline* dofTilesPipeline = nullptr;
    FullscreenPass* dofPass = nullptr;
    FullscreenPass* finalPass = nullptr;

    ConstantBlock sceneBlock;      // ParticleSceneData
    ConstantBlock simulationBlock; // SimulationData
    ConstantBlock frameBlock;      // ConstantBufferData
    ConstantBlock dofBlock;        // DepthOfFieldData
    ConstantBlock finalBlock;      // FinalPassData
    BarrierBatch barriers;         // the frame's
    // The part of the back buffer the final pass fills, from its top-left corner (the edit
    // mode's viewport, with its UI around it), pixels; 0 x 0 fills all of it.
    uint32_t pictureWidth = 0, pictureHeight = 0;

    // >>this frame (set by the prologue)
    uint32_t frameSlot = 0;
    DescriptorHeap* frameHeap = nullptr;
    uint64_t rtv0 = 0, rtv1 = 0;
    SceneFrameRecord lastFrame;
    TimestampQueries* timestamps = nullptr; // set by a measurement: the scene steps write marks
};

// A scene program's pipeline: one table of the ranges (parameter 0) and, when asked, four root
// constants (parameter 1) or the samplers s0 linear and s1 point, both clamped at the edge.
Pipeline* createScenePipeline(RenderApp& app, ShaderBytecode program, std::initializer_list<DescriptorRange> ranges,
                              bool rootConstants, bool samplers);
// A scene pass: imageCount images and a constant block read by the pixel program, s0 a linear
// sampler of the address mode.
FullscreenPass* createScenePass(RenderApp& app, ShaderBytecode program, uint32_t imageCount, uint32_t targetFormat,
                                uint32_t addressMode);

// The title "TOLVE" as an RGBA8 image in PIXEL_SHADER_RESOURCE state; null when rasterising fails.
Image* createTitleImage(RenderApp& app);

// Makes every object in creation order and fills the five records from the defaults, at a
// render size of width x height (the dispatch grids and passes follow it). textImage (may be
// null: a 1 x 1 transparent image stands in) is owned by the scene from here on.
void createSceneResources(RenderApp& app, SceneResources& scene, DemoState& state, const DemoParameters& parameters,
                          uint32_t width, uint32_t height, Image* textImage);
// Shutdown step 2: the two passes and the five constant blocks.
void destroyScenePassesAndBlocks(RenderApp& app, SceneResources& scene);
// Shutdown steps 5 to 9: pipelines, images, heaps, the particle buffer, the depth-of-field target.
void destroySceneObjects(RenderApp& app, SceneResources& scene);

// Copies the CPU record through this slot's upload buffer into the constant buffer.
void uploadBlock(ConstantBlock& block, CommandList* list, uint32_t slot);

// Frame prologue: the frame's heap, both render-target views, both targets cleared to black.
void beginSceneFrame(RenderApp& app, SceneResources& scene, FrameContext& frame);
// The prologue of a frame that only moves the particles (FrameOutput::None): the frame's heap,
// no render targets.
void beginSimulationFrame(RenderApp& app, SceneResources& scene, FrameContext& frame);
// Scene steps 1 to 3: frame matrices, the five uploads and the particle simulation. A frame
// that records only these moves the particles without drawing them.
void recordSimulation(SceneResources& scene, DemoState& state, CommandList* list);
// Scene steps 1 to 15.
void recordScene(RenderApp& app, SceneResources& scene, DemoState& state, CommandList* list);
// Frame epilogue: the back buffer to PRESENT, then endFrame (submit and present).
void endSceneFrame(RenderApp& app, SceneResources& scene);
