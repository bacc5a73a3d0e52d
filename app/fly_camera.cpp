// The camera mode's camera (app/fly_camera.h).
#include "app/fly_camera.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr const char* cameraTracks[3] = {"CM::Pos", "CM::Dir", "CM::Fov"};

FrameValue float3Value(Float3 v)
{
    return {TrackType::FLOAT3, floatBits(v.x), floatBits(v.y), floatBits(v.z)};
}

std::array<FrameValue, 3> valuesOf(const FlyCamera& camera)
{
    return {float3Value(camera.position), float3Value(camera.direction),
            FrameValue{TrackType::FLOAT, floatBits(camera.fov), 0, 0}};
}

} // namespace

void startFlying(FlyCamera& camera, const Timeline& timeline, uint32_t frame)
{
    DemoParameters defaults;
    camera.position = defaults.cameraPos;
    camera.direction = defaults.cameraDir;
    camera.fov = defaults.fov;
    Float3* fields[2] = {&camera.position, &camera.direction};
    for (uint32_t i = 0; i < 3; ++i) {
        const Track* track = findTrack(timeline, cameraTracks[i]);
        if (!track)
            continue;
        const FrameValue value = evaluateTrack(*track, frame, nullptr);
        if (i < 2)
            *fields[i] = {asFloat(value.x), asFloat(value.y), asFloat(value.z)};
        else
            camera.fov = asFloat(value.x);
    }
    camera.flying = true;
}

void fly(FlyCamera& camera, const FlyInput& input)
{
    constexpr float lookPerPixel = 0.005f, pitchLimit = 1.5533f; // 89 degrees
    float& pitch = camera.direction.x;
    float& yaw = camera.direction.y;
    yaw += input.lookX * lookPerPixel;
    pitch = std::clamp(pitch - input.lookY * lookPerPixel, -pitchLimit, pitchLimit);
    const Float3 forward = {std::cos(yaw) * std::cos(pitch), std::sin(pitch), std::sin(yaw) * std::cos(pitch)};
    const Float3 right = normalize(cross(forward, {0.0f, 1.0f, 0.0f}));
    const float distance = float(input.seconds) * 20.0f * (input.fast ? 5.0f : 1.0f);
    camera.position = camera.position + forward * (input.forward * distance) + right * (input.right * distance) +
                      Float3{0.0f, input.up * distance, 0.0f};
    camera.fov = std::clamp(camera.fov - input.wheel * 2.0f, 5.0f, 150.0f);
}

std::vector<TrackValue> flyCameraValues(const FlyCamera& camera, const Timeline& timeline)
{
    std::vector<TrackValue> values;
    const std::array<FrameValue, 3> flown = valuesOf(camera);
    for (uint32_t i = 0; i < 3; ++i)
        if (const uint32_t index = trackIndex(timeline, cameraTracks[i]); index < timeline.tracks.count)
            values.push_back({index, flown[i]});
    return values;
}

void applyFlyCamera(const FlyCamera& camera, DemoState& state)
{
    const std::array<FrameValue, 3> flown = valuesOf(camera);
    for (uint32_t i = 0; i < 3; ++i) {
        const TrackDescription& track = *findDemoTrack(cameraTracks[i]);
        track.apply(state, clampToTrack(track, flown[i]));
    }
    updateCamera(state.camera);
}
