// Demo parameters: defaults, seeding, the per-frame track callback and the frame matrices.
#include "app/parameters.h"

#include "code/kivrel_timeline.json.h"
#include "timeline/timeline_io.h"

#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>

const TrackDescription demoTracks[demoTrackCount] = {
    {"SM::NumPart", TrackType::UINT},    {"SM::SceneID", TrackType::UINT},  {"SM::TimeSc", TrackType::FLOAT},
    {"CM::Pos", TrackType::FLOAT3},      {"CM::Dir", TrackType::FLOAT3},    {"CM::Bright", TrackType::FLOAT},
    {"CM::Fov", TrackType::FLOAT},       {"BP::BkgColor", TrackType::FLOAT3}, {"DF::FocusSc", TrackType::FLOAT},
    {"DF::FocusPt", TrackType::FLOAT},   {"TR::BlendFct", TrackType::FLOAT}, {"AT::Steps", TrackType::UINT},
    {"PT::SampleCnt", TrackType::UINT},
};

namespace {

// The particle buffer holds MAX_PARTICLES records; the simulation and path tracer must not
// be asked for more.
uint32_t clampParticleCount(uint32_t count)
{
    return count > MAX_PARTICLES ? MAX_PARTICLES : count;
}

Float3 float3Of(FrameValue value)
{
    return {asFloat(value.x), asFloat(value.y), asFloat(value.z)};
}

// Steps shared by start-up and every rendered frame.
void computeFrameMatrices(DemoState& state)
{
    ConstantBufferData& frame = state.frame;
    frame.cameraPos = state.camera.position;
    frame.viewMtx = viewMatrix(state.camera);
    // Row vectors: the view applies first, then the projection.
    frame.viewProjMtx = multiply(frame.viewMtx, state.projection);
    frame.invViewProjMtx = frame.viewProjMtx;
    transpose(frame.invViewProjMtx);
    inverse(frame.invViewProjMtx); // a singular matrix stays transposed
}

} // namespace

Float4x4 projectionFromFov(float fovDegrees)
{
    float f = 1.0f / std::tan(fovDegrees * 3.1415927f / 180.0f * 0.5f);
    Float4x4 projection{};
    projection.m[0][0] = f / 1.7777778f;
    projection.m[1][1] = f;
    // The depth terms of near 0.1 and far 1000, written as constants.
    projection.m[2][2] = std::bit_cast<float>(0xBF80068Du); // -1.0002
    projection.m[2][3] = -1.0f;
    projection.m[3][2] = std::bit_cast<float>(0xBE4CD20Au); // -0.20002
    return projection;
}

void initRecords(DemoState& state, const DemoParameters& parameters, Float2 screenSize)
{
    state.scene = {};
    state.scene.numParticles = clampParticleCount(parameters.numParticles);
    state.scene.backgroundColor = parameters.backgroundColor;

    state.simulation = {};

    state.projection = projectionFromFov(parameters.fov);
    state.frame = {};
    state.frame.resolution = {renderWidth, renderHeight, 1.0f};
    state.frame.time = 0.0f;
    computeFrameMatrices(state);
    keepPreviousFrame(state);
    state.frame.frame = 0.0f;
    state.frame.sampleCount = parameters.sampleCount;
    state.frame.blendFactor = parameters.blendFactor;
    state.frame.depthThreshold = parameters.depthThreshold;
    state.frame.normalThreshold = parameters.normalThreshold;
    state.frame.standardDeviation = parameters.standardDeviation;
    state.frame.velocityScale = parameters.velocityScale;

    state.depthOfField = {
        .resolution = {state.frame.resolution.x, state.frame.resolution.y},
        .focusPoint = parameters.focusPoint,
        .focusScale = parameters.focusScale,
        .radiusScale = parameters.radiusScale,
        .blurSize = parameters.blurSize,
        .maxDist = parameters.maxDist,
    };

    state.finalPass = {
        .resolution = {renderWidth, renderHeight},
        .nativeResolution = screenSize,
        .time = 0.0f,
        .brightness = parameters.brightness,
        .tonemapping = TonemapFunction(parameters.tonemapping),
        .showExtraTexture = 1,
        .frame = 0,
    };
}

void applyDefaults(DemoState& state, const DemoParameters& parameters)
{
    state.scene.numParticles = clampParticleCount(parameters.numParticles);
    state.scene.backgroundColor = parameters.backgroundColor;
    state.frame.sampleCount = parameters.sampleCount;
    state.frame.blendFactor = parameters.blendFactor;
    state.frame.depthThreshold = parameters.depthThreshold;
    state.frame.normalThreshold = parameters.normalThreshold;
    state.frame.standardDeviation = parameters.standardDeviation;
    state.frame.velocityScale = parameters.velocityScale;
    state.depthOfField.focusScale = parameters.focusScale;
    state.depthOfField.focusPoint = parameters.focusPoint;
    state.depthOfField.radiusScale = parameters.radiusScale;
    state.depthOfField.blurSize = parameters.blurSize;
    state.depthOfField.maxDist = parameters.maxDist;
    state.finalPass.brightness = parameters.brightness;
    state.finalPass.tonemapping = TonemapFunction(parameters.tonemapping);
    state.timeScale = parameters.timeScale;
    state.filterSteps = parameters.filterSteps;
    state.camera.position = parameters.cameraPos;
    state.camera.pitch = parameters.cameraDir.x;
    state.camera.yaw = parameters.cameraDir.y;
    state.camera.roll = parameters.cameraDir.z;
    state.projection = projectionFromFov(parameters.fov);
}

void seedTracks(Timeline& timeline, const DemoParameters& parameters)
{
    for (const TrackDescription& track : demoTracks)
        addTrack(timeline, track.name, track.type);
    setKeyUint(timeline, "SM::NumPart", 0, &parameters.numParticles, 0);
    setKeyUint(timeline, "SM::SceneID", 0, &parameters.sceneId, 0);
    setKeyFloat(timeline, "SM::TimeSc", 0, &parameters.timeScale, 0);
    setKeyFloat3(timeline, "CM::Pos", 0, &parameters.cameraPos, 0);
    setKeyFloat3(timeline, "CM::Dir", 0, &parameters.cameraDir, 0);
    setKeyFloat(timeline, "CM::Bright", 0, &parameters.brightness, 0);
    setKeyFloat(timeline, "CM::Fov", 0, &parameters.fov, 0);
    setKeyFloat3(timeline, "BP::BkgColor", 0, &parameters.backgroundColor, 0);
    setKeyFloat(timeline, "DF::FocusSc", 0, &parameters.focusScale, 0);
    setKeyFloat(timeline, "DF::FocusPt", 0, &parameters.focusPoint, 0);
    setKeyFloat(timeline, "TR::BlendFct", 0, &parameters.blendFactor, 0);
    setKeyUint(timeline, "AT::Steps", 0, &parameters.filterSteps, 0);
    setKeyUint(timeline, "PT::SampleCnt", 0, &parameters.sampleCount, 0);
}

void onTrackValue(DemoState& state, const char* name, uint32_t, FrameValue value)
{
    auto is = [name](const char* trackName) { return std::strcmp(name, trackName) == 0; };
    float x = asFloat(value.x);
    if (is("SM::NumPart"))
        state.scene.numParticles = clampParticleCount(value.x);
    else if (is("SM::SceneID"))
        state.simulation.scene = value.x;
    else if (is("SM::TimeSc"))
        state.timeScale = x;
    else if (is("CM::Pos"))
        state.camera.position = float3Of(value);
    else if (is("CM::Dir")) {
        Float3 direction = float3Of(value);
        state.camera.pitch = direction.x;
        state.camera.yaw = direction.y;
        state.camera.roll = direction.z;
    } else if (is("CM::Bright"))
        state.finalPass.brightness = x;
    else if (is("CM::Fov"))
        state.projection = projectionFromFov(x);
    else if (is("BP::BkgColor"))
        state.scene.backgroundColor = float3Of(value);
    else if (is("DF::FocusSc"))
        state.depthOfField.focusScale = x;
    else if (is("DF::FocusPt"))
        state.depthOfField.focusPoint = x;
    else if (is("TR::BlendFct"))
        state.frame.blendFactor = x;
    else if (is("AT::Steps"))
        state.filterSteps = value.x;
    else if (is("PT::SampleCnt"))
        state.frame.sampleCount = value.x;
}

void updateFrameMatrices(DemoState& state)
{
    computeFrameMatrices(state);
    state.finalPass.time = state.frame.time;
    state.finalPass.showExtraTexture = state.simulation.scene == 0 ? 1 : 0;
    state.simulation.cameraPos = state.camera.position;
}

void keepPreviousFrame(DemoState& state)
{
    state.frame.prevCameraPos = state.frame.cameraPos;
    state.frame.prevInvViewProjMtx = state.frame.invViewProjMtx;
    state.frame.prevViewProjMtx = state.frame.viewProjMtx;
}

// The loader reads a writable copy of the compiled-in text, one zero byte longer.
void loadCompiledInTimeline(Timeline& timeline)
{
    char* text = static_cast<char*>(std::calloc(sizeof(TIMELINE_JSON_DATA) + 1, 1));
    std::memcpy(text, TIMELINE_JSON_DATA, sizeof(TIMELINE_JSON_DATA));
    loadTimeline(timeline, text, sizeof(TIMELINE_JSON_DATA));
    std::free(text);
}
