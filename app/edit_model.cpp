// The edit model: commands over key slots, the save, and the reload that swaps in a fresh
// timeline only once the file has loaded whole.
#include "app/edit_model.h"

#include "app/parameters.h"
#include "app/timeline_save.h"
#include "core/log.h"
#include "system/system.h"
#include "timeline/easing.h"
#include "timeline/timeline_io.h"

#include <algorithm>
#include <cstring>
#include <map>
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
    // The segment the slot now ends may begin earlier than the one it ended (a key before it went).
    if (movesParticles(t.name))
        model.simulationChangedFrom = std::min(model.simulationChangedFrom, firstChangedFrame(t, frame));
}

void writeBookmarks(Timeline& timeline, const std::vector<uint32_t>& bookmarks)
{
    timeline.bookmarks.clear();
    for (uint32_t frame : bookmarks)
        timeline.bookmarks.push(frame);
}

// A command's slots are each changed once, so forward writes every after and backward every
// before, in any order.
void applyCommand(EditModel& model, const EditCommand& command, bool forward)
{
    for (const KeySlotChange& c : command.changes) {
        if (forward)
            writeSlot(model, c.track, c.frame, c.presentAfter, c.after);
        else
            writeSlot(model, c.track, c.frame, c.presentBefore, c.before);
    }
    if (command.bookmarksChanged)
        writeBookmarks(*model.timeline, forward ? command.bookmarksAfter : command.bookmarksBefore);
}

// Undo and redo: the top command of one stack applied (backward or forward) onto the other.
bool replayCommand(EditModel& model, std::vector<EditCommand>& from, std::vector<EditCommand>& to, bool forward)
{
    if (from.empty())
        return false;
    to.push_back(std::move(from.back()));
    from.pop_back();
    applyCommand(model, to.back(), forward);
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

// Every component of the value within the range of the piece's track of that name.
bool inTrackRange(const Track& track, FrameValue value)
{
    const TrackDescription* description = findDemoTrack(track.name);
    if (!description)
        return true;
    if (track.type == TrackType::UINT)
        return inRange(description->range, double(value.x));
    bool three = track.type == TrackType::FLOAT3;
    return inRange(description->range, asFloat(value.x)) &&
           (!three || (inRange(description->range, asFloat(value.y)) && inRange(description->range, asFloat(value.z))));
}

bool fitsTrack(const EditModel& model, uint32_t track, uint32_t frame, FrameValue value, uint32_t easing)
{
    const Track* t = trackAt(model, track);
    return t && frame < t->keys.count && keyFitsTrack(*t, {value, easing});
}

// One key slot's edit.
bool runSlotEdit(EditModel& model, uint32_t track, uint32_t frame, const Keyframe* key)
{
    const KeySlotWrite write = {.track = track, .frame = frame, .present = key != nullptr, .key = key ? *key : Keyframe{}};
    return runEdit(model, {&write, 1});
}

void forgetCommands(EditModel& model)
{
    model.done.clear();
    model.undone.clear();
}

// FNV-1a over the bytes: what tells one content of the file from another.
uint64_t hashBytes(const std::string& bytes)
{
    uint64_t hash = 14695981039346656037ull;
    for (unsigned char byte : bytes)
        hash = (hash ^ byte) * 1099511628211ull;
    return hash;
}

uint64_t timelineHash(const Timeline& timeline)
{
    return hashBytes(serializeTimeline(timeline, false));
}

// The file's bytes and their hash. A file beyond the checked limit is read no further: its
// hash is that of its size and time, and it loads as the error that names the limit.
FileReadResult readTimelineFile(std::string& text, uint64_t& hash)
{
    FileReadResult read = readWholeFile(timelineFileName, text, checkedDocumentLimit);
    int64_t time = 0;
    if (read == FileReadResult::TooLarge && fileModificationTime(timelineFileName, time))
        text = "larger than the limit, changed at " + std::to_string(time);
    hash = hashBytes(text);
    return read;
}

// The timeline's document beside the file, where it replaces nothing of the user's.
void keepUnsavedEdits(const Timeline& timeline)
{
    constexpr const char* unsaved = "kivrel_timeline.unsaved.json";
    std::string document = serializeTimeline(timeline, false);
    if (writeWholeFile(unsaved, document.data(), document.size()) == FileWriteResult::Ok)
        logMessage("Saved timeline file %s\n", unsaved);
    else
        logMessage("Failed to write file %s\n", unsaved);
}

// Loads into a fresh timeline, checked, and swaps it in only when the text read whole.
bool replaceTimeline(EditModel& model, FileReadResult read, const std::string& text, uint64_t hash)
{
    Timeline* fresh = createTimeline(model.timeline->frameCount);
    TimelineReport report;
    bool loaded = read == FileReadResult::Ok && loadCheckedTimeline(*fresh, text.data(), text.size(), demoTimelineRules, report);
    if (read == FileReadResult::TooLarge)
        failCheck(report, "The file is larger than %llu bytes\n", (unsigned long long)checkedDocumentLimit);
    else if (read != FileReadResult::Ok)
        failCheck(report, "The file could not be read\n");
    model.lastLoad = report;
    if (!loaded) {
        destroyTimeline(fresh);
        return false;
    }
    model.simulationChangedFrom =
        std::min(model.simulationChangedFrom, firstParticleDifference(*model.timeline, *fresh));
    destroyTimeline(model.timeline);
    model.timeline = fresh;
    model.file = FileKnown::Content;
    model.fileHash = hash;
    model.savedHash = timelineHash(*fresh);
    model.changedOnDisk = false;
    forgetCommands(model);
    return true;
}

} // namespace

void startEditModel(EditModel& model, uint32_t frameCount)
{
    model.timeline = createTimeline(frameCount);
    std::string text;
    FileReadResult read = readTimelineFile(text, model.seenHash);
    model.file = read == FileReadResult::Missing ? FileKnown::Absent : FileKnown::Rejected;
    if (read == FileReadResult::Missing || !replaceTimeline(model, read, text, model.seenHash))
        loadCompiledInTimeline(*model.timeline);
    // As the piece starts: a text of no tracks gives the thirteen with their defaults.
    if (model.timeline->tracks.count == 0)
        seedTracks(*model.timeline, DemoParameters{});
    model.savedHash = model.file == FileKnown::Content ? model.savedHash : timelineHash(*model.timeline);
    model.simulationChangedFrom = 0;
}

void stopEditModel(EditModel& model)
{
    if (timelineHash(*model.timeline) != model.savedHash)
        keepUnsavedEdits(*model.timeline);
    forgetCommands(model);
    destroyTimeline(model.timeline);
}

bool runEdit(EditModel& model, std::span<const KeySlotWrite> writes, const std::vector<uint32_t>* bookmarks)
{
    std::map<std::pair<uint32_t, uint32_t>, const KeySlotWrite*> last; // by slot, the last write
    for (const KeySlotWrite& write : writes) {
        const Track* t = trackAt(model, write.track);
        if (!t || write.frame >= t->keys.count || (write.present && !keyFitsTrack(*t, write.key)))
            return false;
        last[{write.track, write.frame}] = &write;
    }
    EditCommand command;
    for (const auto& [slot, write] : last) {
        KeySlotChange change = slotChange(model, write->track, write->frame, write->present ? &write->key : nullptr);
        if (change.presentBefore != change.presentAfter ||
            (change.presentAfter && std::memcmp(&change.before, &change.after, sizeof(Keyframe)) != 0))
            command.changes.push_back(change);
    }
    if (bookmarks) {
        const Timeline& timeline = *model.timeline;
        if (std::any_of(bookmarks->begin(), bookmarks->end(), [&](uint32_t b) { return b >= timeline.frameCount; }))
            return false;
        command.bookmarksBefore.assign(timeline.bookmarks.begin(), timeline.bookmarks.end());
        command.bookmarksAfter = *bookmarks;
        command.bookmarksChanged = command.bookmarksBefore != command.bookmarksAfter;
    }
    if (command.changes.empty() && !command.bookmarksChanged)
        return true;
    applyCommand(model, command, true);
    model.done.push_back(std::move(command));
    model.undone.clear();
    return true;
}

bool keyFitsTrack(const Track& track, const Keyframe& key)
{
    return key.value.type == track.type && key.easing < easingCount && inTrackRange(track, key.value);
}

bool addKey(EditModel& model, uint32_t track, uint32_t frame, FrameValue value, uint32_t easing)
{
    const Keyframe key{value, easing};
    return fitsTrack(model, track, frame, value, easing) && !keyAt(model, track, frame) &&
           runSlotEdit(model, track, frame, &key);
}

bool moveKey(EditModel& model, uint32_t track, uint32_t from, uint32_t to)
{
    const Keyframe* key = keyAt(model, track, from);
    if (!key || !fitsTrack(model, track, to, key->value, key->easing) || from == to)
        return false;
    const KeySlotWrite writes[] = {{.track = track, .frame = from, .present = false, .key = {}},
                                   {.track = track, .frame = to, .present = true, .key = *key}};
    return runEdit(model, writes);
}

bool deleteKey(EditModel& model, uint32_t track, uint32_t frame)
{
    return keyAt(model, track, frame) && runSlotEdit(model, track, frame, nullptr);
}

bool changeKeyValue(EditModel& model, uint32_t track, uint32_t frame, FrameValue value)
{
    const Keyframe* key = keyAt(model, track, frame);
    if (!key)
        return false;
    const Keyframe changed{value, key->easing};
    return runSlotEdit(model, track, frame, &changed);
}

bool changeKeyEasing(EditModel& model, uint32_t track, uint32_t frame, uint32_t easing)
{
    const Keyframe* key = keyAt(model, track, frame);
    if (!key)
        return false;
    const Keyframe changed{key->value, easing};
    return runSlotEdit(model, track, frame, &changed);
}

bool undoEdit(EditModel& model)
{
    return replayCommand(model, model.done, model.undone, false);
}

bool redoEdit(EditModel& model)
{
    return replayCommand(model, model.undone, model.done, true);
}

SaveGuard checkSave(EditModel& model)
{
    std::string text;
    uint64_t hash = 0;
    FileReadResult read = readTimelineFile(text, hash);
    if (read == FileReadResult::Missing || (model.file == FileKnown::Content && hash == model.fileHash))
        return SaveGuard::Free;
    return model.file == FileKnown::Rejected && hash == model.seenHash ? SaveGuard::FileDidNotLoad
                                                                       : SaveGuard::FileChangedOnDisk;
}

TimelineSaved saveEdits(EditModel& model)
{
    std::string document = serializeTimeline(*model.timeline, false);
    TimelineSaved saved = saveTimeline(*model.timeline);
    if (saved != TimelineSaved::Nothing) {
        model.file = FileKnown::Content;
        model.fileHash = model.seenHash = model.savedHash = hashBytes(document);
        model.changedOnDisk = false;
        model.lastLoad = {}; // whatever did not load is gone
    }
    return saved;
}

FilePoll reloadChangedTimeline(EditModel& model)
{
    std::string text;
    uint64_t hash = 0;
    FileReadResult read = readTimelineFile(text, hash);
    if (read == FileReadResult::Missing || hash == model.seenHash)
        return FilePoll::Unchanged;
    model.seenHash = hash;
    if (model.file == FileKnown::Content && hash == model.fileHash) {
        model.changedOnDisk = false; // back to what the model knows
        return FilePoll::Unchanged;
    }
    if (timelineHash(*model.timeline) != model.savedHash) {
        model.changedOnDisk = true;
        return FilePoll::ChangedOverEdits;
    }
    if (!replaceTimeline(model, read, text, hash)) {
        model.file = FileKnown::Rejected;
        return FilePoll::NotLoaded;
    }
    return FilePoll::Reloaded;
}

bool reloadFromDisk(EditModel& model)
{
    std::string text;
    uint64_t hash = 0;
    FileReadResult read = readTimelineFile(text, hash);
    model.seenHash = hash;
    return replaceTimeline(model, read, text, hash);
}

void keepEdits(EditModel& model)
{
    model.changedOnDisk = false;
}

void saveEditsOnPanic(void* userData)
{
    EditModel& model = *static_cast<EditModel*>(userData);
    if (!model.timeline)
        return;
    if (checkSave(model) == SaveGuard::Free)
        saveTimeline(*model.timeline);
    else
        keepUnsavedEdits(*model.timeline);
}

uint32_t takeSimulationChange(EditModel& model)
{
    uint32_t frame = model.simulationChangedFrom;
    model.simulationChangedFrom = noFrame;
    return frame;
}
