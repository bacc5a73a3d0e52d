// Tracks, keys and per-frame evaluation.
#include "timeline/timeline.h"

#include "core/log.h"
#include "timeline/easing.h"

#include <cstring>

const char* const trackTypeNames[trackTypeCount] = {"FLOAT", "FLOAT3", "UINT", "INVALID"};

namespace {

void deleteTrack(Track* track)
{
    for (Keyframe* key : track->keys)
        delete key;
    track->keys.clear();
    delete track;
}

void setKey(Timeline& timeline, const char* name, uint32_t frame, FrameValue value, uint32_t easing,
            const char* typeMismatchMessage)
{
    Track* track = findTrack(timeline, name);
    if (!track)
        return;
    ASSERT(track->type == value.type, "%s", typeMismatchMessage);
    if (easing >= easingCount) {
        ASSERT(false, "ASSERT: Unknown easing %u\n", easing);
        return; // keys only hold easings the table has
    }
    if (frame >= track->keys.count) {
        ASSERT(false, "ASSERT: Exceeded frame index. Max frame index is %u\n", timeline.frameCount);
        return; // never written outside the per-frame list
    }
    storeTrackKey(*track, frame, {value, easing});
}

TrackType valueType(const Track& track)
{
    bool knownType = track.type == TrackType::FLOAT || track.type == TrackType::FLOAT3 || track.type == TrackType::UINT;
    return knownType ? track.type : TrackType::INVALID;
}

} // namespace

void storeTrackKey(Track& track, uint32_t frame, const Keyframe& key)
{
    if (frame >= track.keys.count) {
        ASSERT(false, "ASSERT: Exceeded frame index. Max frame index is %u\n", track.keys.count);
        return;
    }
    delete track.keys[frame];
    track.keys[frame] = new Keyframe{key};
}

void removeTrackKey(Track& track, uint32_t frame)
{
    if (frame >= track.keys.count) {
        ASSERT(false, "ASSERT: Exceeded frame index. Max frame index is %u\n", track.keys.count);
        return;
    }
    delete track.keys[frame];
    track.keys[frame] = nullptr;
}

Timeline* createTimeline(uint32_t frameCount)
{
    return new Timeline{.tracks = {}, .bookmarks = {}, .frameCount = frameCount, .callbackValue = 0};
}

void clearTimeline(Timeline& timeline)
{
    for (Track* track : timeline.tracks)
        deleteTrack(track);
    timeline.tracks.clear();
    timeline.bookmarks.clear();
}

void destroyTimeline(Timeline*& timeline)
{
    if (!timeline)
        return;
    clearTimeline(*timeline);
    delete timeline;
    timeline = nullptr;
}

Track* addTrack(Timeline& timeline, const char* name, TrackType type)
{
    size_t nameLength = std::strlen(name);
    if (nameLength >= trackNameCapacity) {
        ASSERT(false, "ASSERT: Track name exceeds %u bytes\n", trackNameCapacity - 1);
        return nullptr;
    }
    Track* track = new Track{};
    std::memcpy(track->name, name, nameLength);
    track->type = type;
    for (uint32_t frame = 0; frame < timeline.frameCount; ++frame)
        track->keys.push(nullptr);
    timeline.tracks.push(track);
    return track;
}

Track* findTrack(const Timeline& timeline, const char* name)
{
    for (Track* track : timeline.tracks)
        if (std::strcmp(track->name, name) == 0)
            return track;
    return nullptr;
}

void setKeyUint(Timeline& timeline, const char* name, uint32_t frame, const uint32_t* value, uint32_t easing)
{
    setKey(timeline, name, frame, {TrackType::UINT, *value, 0, 0}, easing, "ASSERT: Track is UINT type\n");
}

void setKeyFloat(Timeline& timeline, const char* name, uint32_t frame, const float* value, uint32_t easing)
{
    setKey(timeline, name, frame, {TrackType::FLOAT, floatBits(*value), 0, 0}, easing,
           "ASSERT: Track is FLOAT type\n");
}

void setKeyFloat3(Timeline& timeline, const char* name, uint32_t frame, const Float3* value, uint32_t easing)
{
    setKey(timeline, name, frame,
           {TrackType::FLOAT3, floatBits(value->x), floatBits(value->y), floatBits(value->z)}, easing,
           "ASSERT: Track is FLOAT3 type\n");
}

FrameValue easeBetweenKeys(const Track& track, uint32_t previous, uint32_t next, uint32_t frame)
{
    const Keyframe& p = *track.keys[previous];
    const Keyframe& n = *track.keys[next];
    FrameValue result{valueType(track), 0, 0, 0};
    float t = float(frame - previous) / float(next - previous);
    t = t < 0.0f ? 0.0f : (t < 1.0f ? t : 1.0f);
    // The earlier key's easing shapes the whole segment.
    float e = easingFunctions[p.easing](t);

    auto lerpWord = [e](uint32_t a, uint32_t b) { return floatBits(e * (asFloat(b) - asFloat(a)) + asFloat(a)); };
    switch (result.type) {
    case TrackType::FLOAT:
        result.x = lerpWord(p.value.x, n.value.x);
        break;
    case TrackType::FLOAT3:
        result.x = lerpWord(p.value.x, n.value.x);
        result.y = lerpWord(p.value.y, n.value.y);
        result.z = lerpWord(p.value.z, n.value.z);
        break;
    case TrackType::UINT: {
        float a = float(p.value.x);
        float b = float(n.value.x);
        float v = e * (b - a) + a;
        // Truncation toward zero through a signed 64-bit integer; its low 32 bits are the value.
        result.x = uint32_t(int64_t(v));
        break;
    }
    case TrackType::INVALID:
        break;
    }
    return result;
}

FrameValue evaluateTrack(const Track& track, uint32_t frame, uint32_t* easing)
{
    uint32_t frameCount = track.keys.count;
    ASSERT(frame < frameCount, "ASSERT: Exceeded frame index. Max frame index is %u\n", frameCount);
    FrameValue result{valueType(track), 0, 0, 0};
    if (easing)
        *easing = 0;
    if (frame >= frameCount)
        return result;

    if (const Keyframe* key = track.keys[frame]) {
        if (easing)
            *easing = key->easing;
        return key->value;
    }

    uint32_t previous = frame;
    while (previous > 0 && !track.keys[previous - 1])
        --previous;
    if (previous == 0)
        return result; // before the first key
    const Keyframe& p = *track.keys[--previous];
    if (easing)
        *easing = p.easing;
    // "None" holds the previous key's value until the next key.
    if (p.easing == 0)
        return p.value;

    uint32_t next = frame + 1;
    while (next < frameCount && !track.keys[next])
        ++next;
    if (next >= frameCount)
        return p.value; // after the last key
    return easeBetweenKeys(track, previous, next, frame);
}

void updateTimeline(Timeline& timeline, uint32_t frame, const TrackCallback& callback)
{
    for (Track* track : timeline.tracks)
        track->currentValue = evaluateTrack(*track, frame, &track->currentEasing);
    for (Track* track : timeline.tracks)
        callback(track->name, timeline.callbackValue, track->currentValue);
}
