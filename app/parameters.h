// The thirteen named parameters of the piece: their defaults, how the defaults reach the GPU
// records, the camera and the timeline, and how each frame's track values are written into
// their destinations. CPU side only: the constant blocks copy these records to the GPU.
#pragma once

#include "app/camera.h"
#include "shaders/ParticleConfig.h"
#include "timeline/timeline.h"
#include "timeline/timeline_io.h"

#include <cstddef>
#include <cstdint>

// Render resolution, whatever the screen size.
constexpr float renderWidth = 1920.0f;
constexpr float renderHeight = 1080.0f;

// The defaults; filled once at start-up and read only by applyDefaults and the seeding.
struct DemoParameters {
    // the simulation
    uint32_t numParticles = 64;
    uint32_t sceneId = 0;
    float timeScale = 0.025f;
    // the camera (its field of view last)
    Float3 cameraPos = {0.0f, 0.0f, -80.0f};
    Float3 cameraDir = {0.0f, 1.57f, 0.0f}; // pitch, yaw, roll in radians
    float brightness = 1.0f;                // the final pass
    Float3 backgroundColor = {0.11f, 0.11f, 0.18f}; // the sky, in the scene record
    // depth of field
    float focusScale = 0.0f;
    float focusPoint = 22.0f;
    float radiusScale = 1.0f;
    float blurSize = 20.0f;
    float maxDist = 1000.0f;
    // the frame's constant block: temporal blend, the a-trous edge stops, motion scale
    float blendFactor = 0.15f;
    float depthThreshold = 0.004f;
    float normalThreshold = 0.9f;
    float standardDeviation = 1.0f;
    float velocityScale = 1.0f;
    uint32_t filterSteps = 2; // a-trous passes
    uint32_t sampleCount = 4; // paths per pixel, in the constant block too
    uint32_t tonemapping = WHITE_PRESERVING_LUMA_BASED_REINHARD;
    float fov = 60.0f; // vertical, degrees
};
static_assert(sizeof(DemoParameters) == 27 * 4);

// The CPU copies of the five GPU constant records and the demo variables beside them.
struct DemoState {
    ParticleSceneData scene{};
    SimulationData simulation{};
    ConstantBufferData frame{};
    DepthOfFieldData depthOfField{};
    FinalPassData finalPass{};
    float timeScale = 0.0f;      // frame time (milliseconds) to simulation step
    uint32_t filterSteps = 2;    // a-trous iterations per frame
    Float4x4 projection{};
    Camera camera{};
};

// A frame's descriptor heap (app/scene.h) holds 128 views: the passes other than the a-trous
// steps take 40 of them and each step 6 (app/scene_frame.cpp), so at most 14 steps fit.
constexpr uint32_t maxFilterSteps = (128 - 40) / 6;
// Paths per pixel: the piece takes 4. A frame's path tracing grows with the count (scene 1
// takes some 5 s for 4 at 1920 x 1080 on lavapipe) and, past the fifth, the samples only cycle
// through the jitter table again: 16 keeps a frame within four times the piece's own.
constexpr uint32_t maxSampleCount = 16;

// One of the thirteen tracks: its name, type and range (TrackRule), the default it is seeded
// with and where each frame's value goes. Seeding, the per-frame callback and the check of an
// edited timeline all loop over the table.
struct TrackDescription : TrackRule {
    // Its values reach the particle simulation (the camera's position too: scene 1's camera
    // sphere pushes the balls), so an edit of it changes every later particle buffer.
    bool movesParticles;
    size_t defaultOffset;                              // of the default's field in DemoParameters
    void (*apply)(DemoState& state, FrameValue value); // read as the track's type, within its range
};
constexpr uint32_t demoTrackCount = 13;
// In the order they are registered.
extern const TrackDescription demoTracks[demoTrackCount];
// The track of that name, or null; demoTimelineRules checks an edited timeline against the table.
const TrackDescription* findDemoTrack(const char* name);
extern const TimelineRules demoTimelineRules;
// The value held within the track's range (each component of a FLOAT3).
FrameValue clampToTrack(const TrackRule& track, FrameValue value);

// The track's default, as a value of its type.
FrameValue defaultValue(const TrackDescription& track, const DemoParameters& parameters);

// Perspective of the vertical field of view (degrees) at 16:9, near 0.1, far 1000.
Float4x4 projectionFromFov(float fovDegrees);

// The records as the constant blocks start them: render resolution, zero times and frames, the
// frame matrices of the camera as built and their previous-frame copies, then every default
// (applyDefaults). The camera is built first (makeCamera).
void initRecords(DemoState& state, const DemoParameters& parameters, Float2 screenSize);
// Writes the defaults into the records, the camera, timeScale, filterSteps and projection.
void applyDefaults(DemoState& state, const DemoParameters& parameters);
// Registers the thirteen tracks on an empty timeline and keys each default at frame 0.
void seedTracks(Timeline& timeline, const DemoParameters& parameters);
// Loads the timeline text compiled into the program (code/kivrel_timeline.json.h).
void loadCompiledInTimeline(Timeline& timeline);

// The per-frame timeline callback: writes one track's value into its destination. Unknown
// names are ignored, and values are read as the name's type whatever the track's type, held
// within its range (a particle count above the particle buffer's 128 records is 128, a field
// of view of 180 degrees is just under it).
void onTrackValue(DemoState& state, const char* name, uint32_t callbackValue, FrameValue value);

// Camera position, view, view-projection and its inverse into the frame record, and the
// values that depend on them in the other records.
void updateFrameMatrices(DemoState& state);
// The previous-frame fields take this frame's camera position and matrices.
void keepPreviousFrame(DemoState& state);
