// The edit mode's model of the timeline, below its UI: key edits as commands that undo and
// redo, saving, and reloading "kivrel_timeline.json" when it changes on disk. Plain logic: no
// window, no GPU; the caller discards the particle snapshots the edits report as stale.
#pragma once

#include "app/timeline_save.h"
#include "core/array.h"
#include "timeline/json.h"
#include "timeline/timeline_io.h"
#include "timeline/timeline.h"

#include <cstdint>
#include <span>
#include <vector>

// One key slot before and after a command; present false is an empty slot.
struct KeySlotChange {
    uint32_t track; // index into the timeline's tracks
    uint32_t frame;
    bool presentBefore, presentAfter;
    Keyframe before, after;
};

// What one edit did, however many keys it touched: each slot it changed once, and the bookmark
// list before and after when it changed that too (a ripple).
struct EditCommand {
    std::vector<KeySlotChange> changes;
    bool bookmarksChanged = false;
    std::vector<uint32_t> bookmarksBefore, bookmarksAfter;
};

// One slot as an edit leaves it: the key it holds, or none (present false).
struct KeySlotWrite {
    uint32_t track, frame;
    bool present;
    Keyframe key;
};

constexpr uint32_t noFrame = UINT32_MAX;

// What the model knows of "kivrel_timeline.json": the content it last loaded or wrote, by a
// hash of its bytes. A file whose bytes differ is another program's, whenever it came.
enum class FileKnown { Absent, Content, Rejected };

struct EditModel {
    Timeline* timeline = nullptr;     // owned; replaced whole by a reload
    std::vector<EditCommand> done;   // undone from the top
    std::vector<EditCommand> undone; // redone from the top; a new edit empties it
    // The first frame whose particle simulation an edit, undo, redo or reload has changed
    // since the caller last took it (takeSimulationChange); noFrame when none.
    uint32_t simulationChangedFrom = noFrame;
    // The file as this model last loaded or wrote it (Content, with its hash), or none there
    // (Absent), or one it could not load and so must not write over unasked (Rejected).
    FileKnown file = FileKnown::Absent;
    uint64_t fileHash = 0;
    uint64_t seenHash = 0;       // the bytes the last look at the file found (each looked at once)
    uint64_t savedHash = 0;      // the timeline's text when it was last loaded or saved
    bool changedOnDisk = false;  // another program's file arrived over unsaved edits: the user chooses
    TimelineReport lastLoad;     // the last load's error (cleared by one that works) and warnings
};
// The start of the edit mode: "kivrel_timeline.json" from the working directory when it exists
// and loads (checked against the piece's tracks and ranges), otherwise the compiled-in text (a
// file that fails leaves its error in lastLoad and is Rejected); the tracks seeded from the
// defaults when that gives none, as the piece does.
void startEditModel(EditModel& model, uint32_t frameCount);
// Edits that are not in "kivrel_timeline.json" when the edit mode ends (Ctrl+Q, a closed window,
// a lost display) are not lost: they are written to "kivrel_timeline.unsaved.json" first.
void stopEditModel(EditModel& model);

// The edits; each is one command. Each refuses (false, nothing changed) a track or frame
// outside the timeline, a value of another type than the track's or outside its range (NaN
// and the infinities included) and an easing outside the table; adding onto a key, and
// moving, deleting or changing a missing key, are refused too.
// A move onto another key replaces it, and undoing the move brings it back.
bool addKey(EditModel& model, uint32_t track, uint32_t frame, FrameValue value, uint32_t easing);
bool moveKey(EditModel& model, uint32_t track, uint32_t from, uint32_t to);
bool deleteKey(EditModel& model, uint32_t track, uint32_t frame);
bool changeKeyValue(EditModel& model, uint32_t track, uint32_t frame, FrameValue value);
bool changeKeyEasing(EditModel& model, uint32_t track, uint32_t frame, uint32_t easing);
// The slots (and, when given, the bookmark list) one edit leaves, run as one command, whatever
// their number: a slot written twice keeps the last write. Refuses (false, nothing changed) a
// slot outside the timeline, a key that does not fit its track (keyFitsTrack) and a bookmark past
// the last frame. Writes that change nothing add no command (and are not refused).
bool runEdit(EditModel& model, std::span<const KeySlotWrite> writes, const std::vector<uint32_t>* bookmarks = nullptr);
// The key's value is of the track's type, finite and within the range of the piece's track of
// that name, and its easing is in the table.
bool keyFitsTrack(const Track& track, const Keyframe& key);
// false when there is nothing to undo or redo.
bool undoEdit(EditModel& model);
bool redoEdit(EditModel& model);

// Whether a save may replace "kivrel_timeline.json" without asking the user: Free when the file
// is the one this model last loaded or wrote, or there is none; otherwise why not.
enum class SaveGuard { Free, FileDidNotLoad, FileChangedOnDisk };
SaveGuard checkSave(EditModel& model);
// The timeline's own save and header export (app/timeline_save.h); the commands stay. What it
// wrote is the file this model knows from then on.
TimelineSaved saveEdits(EditModel& model);

// A look at "kivrel_timeline.json" (the edit mode's poll). A file with other bytes than the
// model knows is loaded into a fresh timeline that replaces the old one (Reloaded; the commands
// are dropped: they were made on the old one), unless the timeline has unsaved edits: then
// nothing is dropped, changedOnDisk is set and the user chooses (reloadFromDisk, or keepEdits
// and a save that asks first). A file that does not load keeps the timeline, sets
// lastLoad.error and is not written over unasked. Each content is acted on once.
enum class FilePoll { Unchanged, Reloaded, NotLoaded, ChangedOverEdits };
FilePoll reloadChangedTimeline(EditModel& model);
// The user's two answers to changedOnDisk: the file's timeline in place of the edits (false,
// with lastLoad.error, when it does not load), or the edits kept for now.
bool reloadFromDisk(EditModel& model);
void keepEdits(EditModel& model);
// The panic hook of the edit mode (userData: the model): the save, or, where the file on disk
// is not the model's to replace, the document alone as "kivrel_timeline.unsaved.json".
void saveEditsOnPanic(void* userData);

// The frame from which the particle buffer must be stepped again, and resets it to noFrame.
uint32_t takeSimulationChange(EditModel& model);
