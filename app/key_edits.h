// The edit mode's operations on many keys at once, over the edit model: a selection across
// tracks, moving and stretching it in time, copy, cut and paste, bias and scale of the values,
// the easing of all of them, ripple edits of time, and keys of values taken at the playhead.
// Each operation is one command of the model's undo and redo, whatever the number of keys.
// Plain logic: no window, no GPU.
#pragma once

#include "app/edit_model.h"

#include <compare>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

// A key of the timeline: its track's index and its frame.
struct KeyRef {
    uint32_t track, frame;
    auto operator<=>(const KeyRef&) const = default;
};
// Sorted by track, then frame; each key once.
using KeySelection = std::vector<KeyRef>;

// What an operation did: done, or why nothing changed (for the status line).
struct KeyEdit {
    bool done = false;
    char why[160] = "";
};

// The keys of tracks firstTrack to lastTrack on frames from to to (inclusive, either order).
KeySelection keysInside(const Timeline& timeline, uint32_t firstTrack, uint32_t lastTrack, uint32_t from, uint32_t to);
// A Shift-click: the key joins the selection, or leaves it when it was in.
void toggleKey(KeySelection& selection, KeyRef key);
bool isSelected(const KeySelection& selection, KeyRef key);
// The easing every selected key has, or easingCount when they differ (or none is selected).
uint32_t commonEasing(const Timeline& timeline, const KeySelection& selection);

// The index of the first track of that name, or the track count when there is none.
uint32_t trackIndex(const Timeline& timeline, const char* name);
// The earliest and the latest frame of the selection (0 and 0 when it is empty).
struct FrameSpan {
    uint32_t first = 0, last = 0;
};
FrameSpan selectionSpan(const KeySelection& selection);
// The offset held so that the selection, moved by it, stays within the timeline.
int64_t heldOffset(const Timeline& timeline, const KeySelection& selection, int64_t offset);

// Moves every selected key by offset frames. The offset is held so that the whole selection
// stays within the timeline, keeping its spacing (a selection at frame 0 moves no further back).
// A key that lands on an unselected key of its track replaces it; undo brings it back. The
// selection follows the keys.
KeyEdit moveKeys(EditModel& model, KeySelection& selection, int64_t offset);
// Stretches the selection about the pivot frame: each key to round(pivot + (frame - pivot) x
// factor), halves away from the pivot. Keys keep their order within a track: where keys would
// land on one frame, the first key at or after the pivot keeps its frame and each other one
// goes a frame further out from the pivot than its neighbour (so a stretch never loses a key;
// with a factor below 1 no key passes its old frame). A factor of 0
// or less, or one that takes a key outside the timeline, is refused. Landing on an unselected
// key replaces it, as a move does.
KeyEdit stretchKeys(EditModel& model, KeySelection& selection, uint32_t pivot, double factor);
KeyEdit deleteKeys(EditModel& model, KeySelection& selection);
KeyEdit setKeysEasing(EditModel& model, const KeySelection& selection, uint32_t easing);
// The values of the selected FLOAT and FLOAT3 keys plus offset (per component; FLOAT takes x),
// or pivot + (value - pivot) x factor; UINT keys take x rounded to the nearest whole number. All
// or nothing: a value that leaves its track's range refuses the operation, naming the key.
KeyEdit biasKeys(EditModel& model, const KeySelection& selection, const double offset[3]);
KeyEdit scaleKeys(EditModel& model, const KeySelection& selection, const double pivot[3], double factor);

// Copied keys by track name, each frame relative to the earliest selected key: a reload of
// the file (which builds the tracks afresh) leaves it usable.
struct ClipKey {
    std::string track;
    uint32_t offset;
    Keyframe key;
};
struct KeyClipboard {
    std::vector<ClipKey> keys;
    uint32_t span = 0; // frames from the first key to the last
};
KeyClipboard copyKeys(const Timeline& timeline, KeySelection selection);
// Pastes with the earliest key at frame, into the tracks of the same names and types (keys on
// those frames are replaced). Refused whole when its last key would fall past the timeline's
// end. The selection becomes the pasted keys.
KeyEdit pasteKeys(EditModel& model, const KeyClipboard& clipboard, uint32_t frame, KeySelection& selection);

// Ripple: count frames of time inserted after frame (every key and bookmark after it moves on
// by count), or removed after frame (the keys and bookmarks on frames frame + 1 to frame + count
// are deleted, everything after them moves back by count). What stands on frame itself stays:
// a ripple at frame 0 keeps the tracks' first keys, so no frame falls before a track's first key.
// An insertion that would push a key or a bookmark past the last frame is refused.
KeyEdit insertTime(EditModel& model, uint32_t frame, uint32_t count);
KeyEdit removeTime(EditModel& model, uint32_t frame, uint32_t count);
// What removeTime would delete: the UI asks first when it is anything.
struct RemovedByRipple {
    uint32_t keys = 0, bookmarks = 0;
};
RemovedByRipple removedByRipple(const Timeline& timeline, uint32_t frame, uint32_t count);

// Keys of the given values at frame, one command: a key standing there takes the value and
// keeps its easing; elsewhere a key is added with the easing in force at that frame.
struct TrackValue {
    uint32_t track;
    FrameValue value;
};
KeyEdit keyValuesAt(EditModel& model, uint32_t frame, std::span<const TrackValue> values);
