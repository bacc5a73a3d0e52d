// Keyframed tracks: a timeline of typed tracks (FLOAT, FLOAT3, UINT) with at most one key per
// frame, evaluated once per frame. Knows nothing of the GPU, the window or files.
#pragma once

#include "core/array.h"
#include "core/math.h"

#include <bit>
#include <cstdint>
#include <functional>

// The names are the words the timeline files use ("FLOAT", "FLOAT3", "UINT", "INVALID").
enum class TrackType : uint32_t { FLOAT = 0, FLOAT3 = 1, UINT = 2, INVALID = 3 };

constexpr uint32_t trackTypeCount = 4;
extern const char* const trackTypeNames[trackTypeCount];

// What a track yields per frame. The words hold float bits for FLOAT and FLOAT3 and an
// unsigned integer for UINT; words the type does not use are 0.
struct FrameValue {
    TrackType type;
    uint32_t x, y, z;
};
static_assert(sizeof(FrameValue) == 16);

inline float asFloat(uint32_t word) { return std::bit_cast<float>(word); }
inline uint32_t floatBits(float value) { return std::bit_cast<uint32_t>(value); }

struct Keyframe {
    FrameValue value;
    uint32_t easing; // index into the easing table, 0 ("None") holds the value
};
static_assert(sizeof(Keyframe) == 20);

constexpr uint32_t trackNameCapacity = 256; // terminating zero included

struct Track {
    char name[trackNameCapacity];
    TrackType type;
    // Exactly frameCount entries: entry f is the key at frame f, or null.
    NarrowDynamicArray<Keyframe*> keys;
    FrameValue currentValue;
    uint32_t currentEasing;
};

// Owns its tracks and their keys.
struct Timeline {
    NarrowDynamicArray<Track*> tracks; // in the order they were added
    DynamicArray<uint32_t> bookmarks;  // frame numbers, in file order
    uint32_t frameCount;               // valid frames are 0 to frameCount - 1
    uint32_t callbackValue;            // handed to every per-frame callback unchanged
};

// Receives each track's value once per frame: (track name, callbackValue, value).
using TrackCallback = std::function<void(const char* name, uint32_t callbackValue, FrameValue value)>;

Timeline* createTimeline(uint32_t frameCount);
// Frees every key, track and list, and leaves the pointer null.
void destroyTimeline(Timeline*& timeline);
// Deletes every track with its keys and empties the bookmarks; frameCount stays.
void clearTimeline(Timeline& timeline);

// Appends a track with frameCount empty key entries. A name of more than 255 bytes is
// refused with an ASSERT and gives null. Existing tracks of the same name are not looked at.
Track* addTrack(Timeline& timeline, const char* name, TrackType type);
// The first track of that name, or null.
Track* findTrack(const Timeline& timeline, const char* name);

// Store a key on the first track of that name; an unknown name does nothing. A track of
// another type reports it and still takes the key. A frame outside the track reports it
// and stores nothing, and so does an easing index outside the table.
void setKeyUint(Timeline& timeline, const char* name, uint32_t frame, const uint32_t* value, uint32_t easing);
void setKeyFloat(Timeline& timeline, const char* name, uint32_t frame, const float* value, uint32_t easing);
void setKeyFloat3(Timeline& timeline, const char* name, uint32_t frame, const Float3* value, uint32_t easing);

// One key slot of a track, written directly (the editor's commands): the key is copied in, or
// the slot emptied. A frame outside the track reports it and changes nothing.
void storeTrackKey(Track& track, uint32_t frame, const Keyframe& key);
void removeTrackKey(Track& track, uint32_t frame);

// The track's value at frame; easing (when not null) receives the easing in force there.
FrameValue evaluateTrack(const Track& track, uint32_t frame, uint32_t* easing);
// evaluateTrack's value at a frame between two keys with an easing (previous < frame < next, the
// keys at previous and next, none between): for a caller that walks the keys itself (the edit
// mode's curves) and must get exactly the evaluation's values.
FrameValue easeBetweenKeys(const Track& track, uint32_t previous, uint32_t next, uint32_t frame);

// Evaluates every track at frame, then calls the callback for every track in track order.
// The caller keeps frame below frameCount.
void updateTimeline(Timeline& timeline, uint32_t frame, const TrackCallback& callback);
