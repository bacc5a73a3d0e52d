// The edit mode's model of the timeline, below its UI: key edits as commands that undo and
// redo, saving, and reloading "kivrel_timeline.json" when it changes on disk. Plain logic: no
// window, no GPU; the caller discards the particle snapshots the edits report as stale.
#pragma once

#include "app/timeline_save.h"
#include "core/array.h"
#include "timeline/json.h"
#include "timeline/timeline.h"

#include <cstdint>

// One key slot before and after a command; present false is an empty slot.
struct KeySlotChange {
    uint32_t track; // index into the timeline's tracks
    uint32_t frame;
    bool presentBefore, presentAfter;
    Keyframe before, after;
};

// What one edit did: a move empties one slot and fills another (whose old key it keeps).
struct EditCommand {
    KeySlotChange changes[2];
    uint32_t changeCount;
};

constexpr uint32_t noFrame = UINT32_MAX;

struct EditModel {
    Timeline* timeline = nullptr;     // owned; replaced whole by a reload
    DynamicArray<EditCommand> done;   // undone from the top
    DynamicArray<EditCommand> undone; // redone from the top; a new edit empties it
    // The first frame whose particle simulation an edit, undo, redo or reload has changed
    // since the caller last took it (takeSimulationChange); noFrame when none.
    uint32_t simulationChangedFrom = noFrame;
    // "kivrel_timeline.json" as last loaded or saved: its time, or none seen.
    bool fileSeen = false;
    int64_t fileTime = 0;
    JsonError loadError; // the last load's failure, kept for the UI; cleared by a load that works
};

// The start of the edit mode: "kivrel_timeline.json" from the working directory when it exists
// and loads, otherwise the compiled-in text (a file that fails leaves its error in loadError);
// the tracks seeded from the defaults when that gives none, as the piece does.
void startEditModel(EditModel& model, uint32_t frameCount);
void stopEditModel(EditModel& model);

// The edits; each is one command. Each refuses (false, nothing changed) a track or frame
// outside the timeline, a value of another type than the track's and an easing outside the
// table; adding onto a key, and moving, deleting or changing a missing key, are refused too.
// A move onto another key replaces it, and undoing the move brings it back.
bool addKey(EditModel& model, uint32_t track, uint32_t frame, FrameValue value, uint32_t easing);
bool moveKey(EditModel& model, uint32_t track, uint32_t from, uint32_t to);
bool deleteKey(EditModel& model, uint32_t track, uint32_t frame);
bool changeKeyValue(EditModel& model, uint32_t track, uint32_t frame, FrameValue value);
bool changeKeyEasing(EditModel& model, uint32_t track, uint32_t frame, uint32_t easing);
// false when there is nothing to undo or redo.
bool undoEdit(EditModel& model);
bool redoEdit(EditModel& model);

// The timeline's own save and header export (app/timeline_save.h); the commands stay, and the
// file written is not taken for a change on disk.
TimelineSaved saveEdits(EditModel& model);
// When "kivrel_timeline.json" has another time than last seen, loads it into a fresh timeline:
// true when that replaced the timeline (the commands are dropped: they were made on the old
// one). A file that does not load keeps the timeline and sets loadError.
bool reloadChangedTimeline(EditModel& model);

// The frame from which the particle buffer must be stepped again, and resets it to noFrame.
uint32_t takeSimulationChange(EditModel& model);
