// Demo parameters: defaults, seeding, the per-frame track callback and the frame matrices.
#include "app/parameters.h"

#include "code/kivrel_timeline.json.h"
#include "timeline/timeline_io.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

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

// The defaults that no track drives.
void writeUntrackedDefaults(DemoState& state, const DemoParameters& parameters)
{
    state.frame.depthThreshold = parameters.depthThreshold;
    state.frame.normalThreshold = parameters.normalThreshold;
    state.frame.standardDeviation = parameters.standardDeviation;
    state.frame.velocityScale = parameters.velocityScale;
    state.depthOfField.radiusScale = parameters.radiusScale;
    state.depthOfField.blurSize = parameters.blurSize;
    state.depthOfField.maxDist = parameters.maxDist;
    state.finalPass.tonemapping = TonemapFunction(parameters.tonemapping);
}

} // namespace

// The ranges keep every value to what the scene was made for: the particle buffer's records,
// the scenes the simulation knows, a field of view inside (0, 180), the filter steps the frame's
// descriptor heap holds, at most maxSampleCount paths. Positions stay within the far plane
// (1000), angles within some 16 turns, a time step from frozen to 40 times the piece's, and
// colours, brightness and focus to what is not negative light or beyond every blur.
const TrackDescription demoTracks[demoTrackCount] = {
    {{"SM::NumPart", TrackType::UINT, {0, MAX_PARTICLES, false}}, true, offsetof(DemoParameters, numParticles),
     [](DemoState& state, FrameValue value) { state.scene.numParticles = value.x; }},
    {{"SM::SceneID", TrackType::UINT, {0, 1, false}}, true, offsetof(DemoParameters, sceneId),
     [](DemoState& state, FrameValue value) { state.simulation.scene = value.x; }},
    {{"SM::TimeSc", TrackType::FLOAT, {0, 1, false}}, true, offsetof(DemoParameters, timeScale),
     [](DemoState& state, FrameValue value) { state.timeScale = asFloat(value.x); }},
    {{"CM::Pos", TrackType::FLOAT3, {-1000, 1000, false}}, true, offsetof(DemoParameters, cameraPos),
     [](DemoState& state, FrameValue value) { state.camera.position = float3Of(value); }},
    {{"CM::Dir", TrackType::FLOAT3, {-100, 100, false}}, false, offsetof(DemoParameters, cameraDir),
     [](DemoState& state, FrameValue value) {
         state.camera.pitch = asFloat(value.x);
         state.camera.yaw = asFloat(value.y);
         state.camera.roll = asFloat(value.z);
     }},
    {{"CM::Bright", TrackType::FLOAT, {0, 100, false}}, false, offsetof(DemoParameters, brightness),
     [](DemoState& state, FrameValue value) { state.finalPass.brightness = asFloat(value.x); }},
    {{"CM::Fov", TrackType::FLOAT, {0, 180, true}}, false, offsetof(DemoParameters, fov),
     [](DemoState& state, FrameValue value) { state.projection = projectionFromFov(asFloat(value.x)); }},
    {{"BP::BkgColor", TrackType::FLOAT3, {0, 100, false}}, false, offsetof(DemoParameters, backgroundColor),
     [](DemoState& state, FrameValue value) { state.scene.backgroundColor = float3Of(value); }},
    {{"DF::FocusSc", TrackType::FLOAT, {0, 10000, false}}, false, offsetof(DemoParameters, focusScale),
     [](DemoState& state, FrameValue value) { state.depthOfField.focusScale = asFloat(value.x); }},
    {{"DF::FocusPt", TrackType::FLOAT, {0, 1000, false}}, false, offsetof(DemoParameters, focusPoint),
     [](DemoState& state, FrameValue value) { state.depthOfField.focusPoint = asFloat(value.x); }},
    {{"TR::BlendFct", TrackType::FLOAT, {0, 1, false}}, false, offsetof(DemoParameters, blendFactor),
     [](DemoState& state, FrameValue value) { state.frame.blendFactor = asFloat(value.x); }},
    {{"AT::Steps", TrackType::UINT, {0, maxFilterSteps, false}}, false, offsetof(DemoParameters, filterSteps),
     [](DemoState& state, FrameValue value) { state.filterSteps = value.x; }},
    {{"PT::SampleCnt", TrackType::UINT, {0, maxSampleCount, false}}, false, offsetof(DemoParameters, sampleCount),
     [](DemoState& state, FrameValue value) { state.frame.sampleCount = value.x; }},
};

const TrackDescription* findDemoTrack(const char* name)
{
    for (const TrackDescription& track : demoTracks)
        if (std::strcmp(name, track.name) == 0)
            return &track;
    return nullptr;
}

const TimelineRules demoTimelineRules = {[](const char* name) -> const TrackRule* { return findDemoTrack(name); }};

FrameValue clampToTrack(const TrackRule& track, FrameValue value)
{
    if (track.type == TrackType::UINT) {
        value.x = uint32_t(std::clamp(double(value.x), track.range.min, track.range.max));
        return value;
    }
    for (uint32_t* word : {&value.x, &value.y, &value.z})
        if (track.type == TrackType::FLOAT3 || word == &value.x)
            *word = floatBits(clampToRange(track.range, asFloat(*word)));
    return value;
}

FrameValue defaultValue(const TrackDescription& track, const DemoParameters& parameters)
{
    uint32_t words[3] = {};
    std::memcpy(words, reinterpret_cast<const uint8_t*>(&parameters) + track.defaultOffset,
                track.type == TrackType::FLOAT3 ? sizeof(words) : sizeof(words[0]));
    return {track.type, words[0], words[1], words[2]};
}

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
    state.simulation = {};

    state.projection = projectionFromFov(parameters.fov);
    state.frame = {};
    state.frame.resolution = {renderWidth, renderHeight, 1.0f};
    state.frame.time = 0.0f;
    computeFrameMatrices(state);
    keepPreviousFrame(state);
    state.frame.frame = 0.0f;

    state.depthOfField = {};
    state.depthOfField.resolution = {state.frame.resolution.x, state.frame.resolution.y};
    state.finalPass = {};
    state.finalPass.resolution = {renderWidth, renderHeight};
    state.finalPass.nativeResolution = screenSize;
    state.finalPass.showExtraTexture = 1;
    applyDefaults(state, parameters);
}

void applyDefaults(DemoState& state, const DemoParameters& parameters)
{
    writeUntrackedDefaults(state, parameters);
    for (const TrackDescription& track : demoTracks)
        track.apply(state, clampToTrack(track, defaultValue(track, parameters)));
}

void seedTracks(Timeline& timeline, const DemoParameters& parameters)
{
    for (const TrackDescription& track : demoTracks)
        storeTrackKey(*addTrack(timeline, track.name, track.type), 0, {defaultValue(track, parameters), 0});
}

void onTrackValue(DemoState& state, const char* name, uint32_t, FrameValue value)
{
    if (const TrackDescription* track = findDemoTrack(name))
        track->apply(state, clampToTrack(*track, value));
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
