// The edit model: commands over key slots, the save, and the reload that swaps in a fresh
// timeline only once the file has loaded whole.
#include "app/edit_model.h"

#include "app/parameters.h"
#include "app/timeline_save.h"
#include "system/system.h"
#include "timeline/easing.h"
#include "timeline/timeline_io.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

Track* trackAt(const EditModel& model, uint32_t track)
{
    return track < model.timeline->tracks.count ? model.timeline->tracks[track] : nullptr;
}

const Keyframe* keyAt(const EditModel& model, uint32_t track, uint32_t frame)
{
    const Track* t = trackAt(model, track);
    return t && frame < t->keys.count ? t->keys[frame] : nullptr;
}

bool movesParticles(const char* trackName)
{
    for (const TrackDescription& description : demoTracks)
        if (std::strcmp(description.name, trackName) == 0)
            return description.movesParticles;
    return false;
}

// The first frame a slot's change can alter: an eased segment that the slot ends begins
// changing just after the key before it.
uint32_t firstChangedFrame(const Track& track, uint32_t frame)
{
    uint32_t previous = frame;
    while (previous > 0 && !track.keys[previous - 1])
        --previous;
    if (previous > 0 && track.keys[previous - 1]->easing != 0)
        return previous;
    return frame;
}

bool sameSlot(const Keyframe* a, const Keyframe* b)
{
    return a == b || (a && b && std::memcmp(a, b, sizeof(Keyframe)) == 0);
}

// The first frame whose particles a replaced timeline can alter: noFrame when every track that
// moves the particles keeps its keys; 0 when the tracks themselves differ.
uint32_t firstParticleDifference(const Timeline& before, const Timeline& after)
{
    if (before.tracks.count != after.tracks.count || before.frameCount != after.frameCount)
        return 0;
    uint32_t first = noFrame;
    for (uint32_t i = 0; i < after.tracks.count; ++i) {
        const Track& old = *before.tracks[i];
        const Track& fresh = *after.tracks[i];
        if (std::strcmp(old.name, fresh.name) != 0 || old.type != fresh.type)
            return 0;
        if (!movesParticles(fresh.name))
            continue;
        for (uint32_t frame = 0; frame < fresh.keys.count && frame < first; ++frame) {
            if (!sameSlot(old.keys[frame], fresh.keys[frame]))
                first = std::min({first, firstChangedFrame(old, frame), firstChangedFrame(fresh, frame)});
        }
    }
    return first;
}

void writeSlot(EditModel& model, uint32_t track, uint32_t frame, bool present, const Keyframe& key)
{
    Track& t = *model.timeline->tracks[track];
    if (movesParticles(t.name))
        model.simulationChangedFrom = std::min(model.simulationChangedFrom, firstChangedFrame(t, frame));
    if (present)
        storeTrackKey(t, frame, key);
    else
        removeTrackKey(t, frame);
}

// Forward applies the changes in order, backward restores them in reverse order: the inverse
// of a sequence, whatever slots its changes share.
void applyCommand(EditModel& model, const EditCommand& command, bool forward)
{
    for (uint32_t i = 0; i < command.changeCount; ++i) {
        const KeySlotChange& c = command.changes[forward ? i : command.changeCount - 1 - i];
        if (forward)
            writeSlot(model, c.track, c.frame, c.presentAfter, c.after);
        else
            writeSlot(model, c.track, c.frame, c.presentBefore, c.before);
    }
}

void runCommand(EditModel& model, const EditCommand& command)
{
    applyCommand(model, command, true);
    model.done.push(command);
    model.undone.clear();
}

// Undo and redo: the top command of one stack applied (backward or forward) onto the other.
bool replayCommand(EditModel& model, DynamicArray<EditCommand>& from, DynamicArray<EditCommand>& to, bool forward)
{
    if (from.count == 0)
        return false;
    EditCommand command = from[--from.count];
    applyCommand(model, command, forward);
    to.push(command);
    return true;
}

KeySlotChange slotChange(const EditModel& model, uint32_t track, uint32_t frame, const Keyframe* after)
{
    const Keyframe* before = keyAt(model, track, frame);
    return {.track = track,
            .frame = frame,
            .presentBefore = before != nullptr,
            .presentAfter = after != nullptr,
            .before = before ? *before : Keyframe{},
            .after = after ? *after : Keyframe{}};
}

bool fitsTrack(const EditModel& model, uint32_t track, uint32_t frame, FrameValue value, uint32_t easing)
{
    const Track* t = trackAt(model, track);
    return t && frame < t->keys.count && value.type == t->type && easing < easingCount;
}

void forgetCommands(EditModel& model)
{
    model.done.clear();
    model.undone.clear();
}

// Loads into a fresh timeline and swaps it in only when the text read whole.
bool replaceTimeline(EditModel& model, const std::string& text)
{
    Timeline* fresh = createTimeline(model.timeline->frameCount);
    JsonError error;
    if (!loadTimeline(*fresh, text.data(), text.size(), &error)) {
        destroyTimeline(fresh);
        model.loadError = error;
        return false;
    }
    model.simulationChangedFrom =
        std::min(model.simulationChangedFrom, firstParticleDifference(*model.timeline, *fresh));
    destroyTimeline(model.timeline);
    model.timeline = fresh;
    model.loadError = {};
    forgetCommands(model);
    return true;
}

} // namespace

void startEditModel(EditModel& model, uint32_t frameCount)
{
    model.timeline = createTimeline(frameCount);
    model.fileSeen = fileModificationTime(timelineFileName, model.fileTime);
    std::string text;
    if (!model.fileSeen || readWholeFile(timelineFileName, text) != FileReadResult::Ok || !replaceTimeline(model, text))
        loadCompiledInTimeline(*model.timeline);
    // As the piece starts: a text of no tracks gives the thirteen with their defaults.
    if (model.timeline->tracks.count == 0)
        seedTracks(*model.timeline, DemoParameters{});
    model.simulationChangedFrom = 0;
}

void stopEditModel(EditModel& model)
{
    forgetCommands(model);
    destroyTimeline(model.timeline);
}

bool addKey(EditModel& model, uint32_t track, uint32_t frame, FrameValue value, uint32_t easing)
{
    if (!fitsTrack(model, track, frame, value, easing) || keyAt(model, track, frame))
        return false;
    Keyframe key{value, easing};
    runCommand(model, {.changes = {slotChange(model, track, frame, &key)}, .changeCount = 1});
    return true;
}

bool moveKey(EditModel& model, uint32_t track, uint32_t from, uint32_t to)
{
    const Keyframe* key = keyAt(model, track, from);
    if (!key || !fitsTrack(model, track, to, key->value, key->easing) || from == to)
        return false;
    Keyframe moved = *key;
    runCommand(model, {.changes = {slotChange(model, track, from, nullptr), slotChange(model, track, to, &moved)},
                       .changeCount = 2});
    return true;
}

bool deleteKey(EditModel& model, uint32_t track, uint32_t frame)
{
    if (!keyAt(model, track, frame))
        return false;
    runCommand(model, {.changes = {slotChange(model, track, frame, nullptr)}, .changeCount = 1});
    return true;
}

bool changeKeyValue(EditModel& model, uint32_t track, uint32_t frame, FrameValue value)
{
    const Keyframe* key = keyAt(model, track, frame);
    if (!key || !fitsTrack(model, track, frame, value, key->easing))
        return false;
    Keyframe changed{value, key->easing};
    runCommand(model, {.changes = {slotChange(model, track, frame, &changed)}, .changeCount = 1});
    return true;
}

bool changeKeyEasing(EditModel& model, uint32_t track, uint32_t frame, uint32_t easing)
{
    const Keyframe* key = keyAt(model, track, frame);
    if (!key || easing >= easingCount)
        return false;
    Keyframe changed{key->value, easing};
    runCommand(model, {.changes = {slotChange(model, track, frame, &changed)}, .changeCount = 1});
    return true;
}

bool undoEdit(EditModel& model)
{
    return replayCommand(model, model.done, model.undone, false);
}

bool redoEdit(EditModel& model)
{
    return replayCommand(model, model.undone, model.done, true);
}

TimelineSaved saveEdits(EditModel& model)
{
    TimelineSaved saved = saveTimeline(*model.timeline);
    model.fileSeen = fileModificationTime(timelineFileName, model.fileTime);
    return saved;
}

bool reloadChangedTimeline(EditModel& model)
{
    int64_t time = 0;
    if (!fileModificationTime(timelineFileName, time) || (model.fileSeen && time == model.fileTime))
        return false;
    // Taken as seen whether or not it loads: a broken file is reported once, not every frame.
    model.fileSeen = true;
    model.fileTime = time;
    std::string text;
    if (readWholeFile(timelineFileName, text) != FileReadResult::Ok) {
        model.loadError = {.failed = true, .message = "Failed to read kivrel_timeline.json\n"};
        return false;
    }
    return replaceTimeline(model, text);
}

uint32_t takeSimulationChange(EditModel& model)
{
    uint32_t frame = model.simulationChangedFrom;
    model.simulationChangedFrom = noFrame;
    return frame;
}
