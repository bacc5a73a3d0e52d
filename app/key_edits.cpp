// Operations on many keys (app/key_edits.h): each builds the slots it leaves and runs them as
// one edit of the model (runEdit), so that undo and redo take it back and forth whole.
#include "app/key_edits.h"

#include "timeline/easing.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <functional>

namespace {

KeyEdit refused(const char* format, ...)
{
    KeyEdit edit;
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(edit.why, sizeof(edit.why), format, arguments);
    va_end(arguments);
    return edit;
}

KeyEdit refusedByModel()
{
    return refused("Refused: a value must be a finite number within its track's range");
}

KeyEdit done()
{
    KeyEdit edit;
    edit.done = true;
    return edit;
}

const Keyframe* keyOf(const Timeline& timeline, KeyRef key)
{
    if (key.track >= timeline.tracks.count || key.frame >= timeline.frameCount)
        return nullptr;
    return timeline.tracks[key.track]->keys[key.frame];
}

// The selection without the keys that are gone (an undo, a reload).
void keepExistingKeys(const Timeline& timeline, KeySelection& selection)
{
    std::erase_if(selection, [&](KeyRef key) { return !keyOf(timeline, key); });
}

// The selected keys taken from their frames and set down on frames (one a key, in the
// selection's order): the removals first, so that a key set down where a selected one stood
// stays.
KeyEdit placeKeys(EditModel& model, KeySelection& selection, const std::vector<uint32_t>& frames)
{
    std::vector<KeySlotWrite> writes;
    for (KeyRef key : selection)
        writes.push_back({.track = key.track, .frame = key.frame, .present = false, .key = {}});
    for (size_t i = 0; i < selection.size(); ++i)
        writes.push_back(
            {.track = selection[i].track, .frame = frames[i], .present = true, .key = *keyOf(*model.timeline, selection[i])});
    if (!runEdit(model, writes))
        return refusedByModel();
    for (size_t i = 0; i < selection.size(); ++i)
        selection[i].frame = frames[i];
    std::sort(selection.begin(), selection.end());
    return done();
}

// Stretched frames of one track's selected keys (ascending), with the collision rule.
void stretchTrack(std::span<const KeyRef> keys, int64_t pivot, double factor, std::span<int64_t> targets)
{
    const size_t n = keys.size();
    size_t first = 0; // the first key at or after the pivot
    while (first < n && int64_t(keys[first].frame) < pivot)
        ++first;
    for (size_t i = 0; i < n; ++i)
        targets[i] = pivot + std::llround((double(keys[i].frame) - double(pivot)) * factor);
    for (size_t i = first + 1; i < n; ++i)
        targets[i] = std::max(targets[i], targets[i - 1] + 1);
    for (size_t i = first; i-- > 0;)
        if (i + 1 < n)
            targets[i] = std::min(targets[i], targets[i + 1] - 1);
}

// The selected keys with each value component changed by change(value, component); UINT keys
// rounded to whole numbers. All or nothing.
KeyEdit changeValues(EditModel& model, KeySelection selection, const std::function<double(double, uint32_t)>& change)
{
    const Timeline& timeline = *model.timeline;
    keepExistingKeys(timeline, selection);
    if (selection.empty())
        return refused("No key is selected");
    std::vector<KeySlotWrite> writes;
    for (KeyRef ref : selection) {
        const Track& track = *timeline.tracks[ref.track];
        Keyframe key = *keyOf(timeline, ref);
        uint32_t* words[3] = {&key.value.x, &key.value.y, &key.value.z};
        bool whole = track.type == TrackType::UINT;
        for (uint32_t c = 0; c < (track.type == TrackType::FLOAT3 ? 3u : 1u); ++c) {
            double value = change(whole ? double(*words[c]) : double(asFloat(*words[c])), c);
            if (whole)
                *words[c] = value >= 0.0 && value <= 4294967295.0 ? uint32_t(std::llround(value)) : UINT32_MAX;
            else
                *words[c] = floatBits(float(value));
        }
        if (!keyFitsTrack(track, key))
            return refused("Refused: the key of %s at frame %u would leave the track's range", track.name, ref.frame);
        writes.push_back({.track = ref.track, .frame = ref.frame, .present = true, .key = key});
    }
    return runEdit(model, writes) ? done() : refusedByModel();
}

int64_t lastFrame(const Timeline& timeline)
{
    return int64_t(timeline.frameCount) - 1;
}

} // namespace

KeySelection keysInside(const Timeline& timeline, uint32_t firstTrack, uint32_t lastTrack, uint32_t from, uint32_t to)
{
    KeySelection selection;
    if (timeline.tracks.count == 0 || timeline.frameCount == 0)
        return selection;
    const uint32_t lastIndex = std::min(std::max(firstTrack, lastTrack), timeline.tracks.count - 1);
    const uint32_t end = std::min(std::max(from, to), timeline.frameCount - 1);
    for (uint32_t track = std::min(firstTrack, lastTrack); track <= lastIndex; ++track)
        for (uint32_t frame = std::min(from, to); frame <= end; ++frame)
            if (timeline.tracks[track]->keys[frame])
                selection.push_back({track, frame});
    return selection;
}

void toggleKey(KeySelection& selection, KeyRef key)
{
    auto at = std::lower_bound(selection.begin(), selection.end(), key);
    if (at != selection.end() && *at == key)
        selection.erase(at);
    else
        selection.insert(at, key);
}

bool isSelected(const KeySelection& selection, KeyRef key)
{
    return std::binary_search(selection.begin(), selection.end(), key);
}

uint32_t commonEasing(const Timeline& timeline, const KeySelection& selection)
{
    uint32_t easing = easingCount;
    for (KeyRef ref : selection) {
        const Keyframe* key = keyOf(timeline, ref);
        if (!key || (easing != easingCount && key->easing != easing))
            return easingCount;
        easing = key->easing;
    }
    return easing;
}

uint32_t trackIndex(const Timeline& timeline, const char* name)
{
    const Track* track = findTrack(timeline, name);
    return uint32_t(std::find(timeline.tracks.begin(), timeline.tracks.end(), track) - timeline.tracks.begin());
}

FrameSpan selectionSpan(const KeySelection& selection)
{
    if (selection.empty())
        return {};
    FrameSpan span = {UINT32_MAX, 0};
    for (KeyRef key : selection) {
        span.first = std::min(span.first, key.frame);
        span.last = std::max(span.last, key.frame);
    }
    return span;
}

int64_t heldOffset(const Timeline& timeline, const KeySelection& selection, int64_t offset)
{
    const FrameSpan span = selectionSpan(selection);
    return std::clamp(offset, -int64_t(span.first), lastFrame(timeline) - int64_t(span.last));
}

KeyEdit moveKeys(EditModel& model, KeySelection& selection, int64_t offset)
{
    keepExistingKeys(*model.timeline, selection);
    if (selection.empty())
        return refused("No key is selected");
    offset = heldOffset(*model.timeline, selection, offset);
    if (offset == 0)
        return refused("The keys stay: the selection is at the edge of the timeline");
    std::vector<uint32_t> frames;
    for (KeyRef key : selection)
        frames.push_back(uint32_t(int64_t(key.frame) + offset));
    return placeKeys(model, selection, frames);
}

KeyEdit stretchKeys(EditModel& model, KeySelection& selection, uint32_t pivot, double factor)
{
    const Timeline& timeline = *model.timeline;
    keepExistingKeys(timeline, selection);
    if (selection.empty())
        return refused("No key is selected");
    if (!(factor > 0.0) || !std::isfinite(factor))
        return refused("Refused: a stretch takes a factor above 0");
    std::vector<int64_t> targets(selection.size());
    for (size_t begin = 0, end = 0; begin < selection.size(); begin = end) {
        while (end < selection.size() && selection[end].track == selection[begin].track)
            ++end;
        stretchTrack({selection.data() + begin, end - begin}, pivot, factor, {targets.data() + begin, end - begin});
    }
    std::vector<uint32_t> frames;
    for (size_t i = 0; i < selection.size(); ++i) {
        if (targets[i] < 0 || targets[i] > lastFrame(timeline))
            return refused("Refused: the key of %s at frame %u would land at %lld, outside the timeline",
                           timeline.tracks[selection[i].track]->name, selection[i].frame, (long long)targets[i]);
        frames.push_back(uint32_t(targets[i]));
    }
    return placeKeys(model, selection, frames);
}

KeyEdit deleteKeys(EditModel& model, KeySelection& selection)
{
    keepExistingKeys(*model.timeline, selection);
    if (selection.empty())
        return refused("No key is selected");
    std::vector<KeySlotWrite> writes;
    for (KeyRef key : selection)
        writes.push_back({.track = key.track, .frame = key.frame, .present = false, .key = {}});
    runEdit(model, writes);
    selection.clear();
    return done();
}

KeyEdit setKeysEasing(EditModel& model, const KeySelection& selection, uint32_t easing)
{
    if (easing >= easingCount)
        return refused("Refused: no such easing");
    std::vector<KeySlotWrite> writes;
    for (KeyRef ref : selection)
        if (const Keyframe* key = keyOf(*model.timeline, ref))
            writes.push_back({.track = ref.track, .frame = ref.frame, .present = true, .key = {key->value, easing}});
    if (writes.empty())
        return refused("No key is selected");
    return runEdit(model, writes) ? done() : refusedByModel();
}

KeyEdit biasKeys(EditModel& model, const KeySelection& selection, const double offset[3])
{
    return changeValues(model, selection, [offset](double value, uint32_t c) { return value + offset[c]; });
}

KeyEdit scaleKeys(EditModel& model, const KeySelection& selection, const double pivot[3], double factor)
{
    return changeValues(model, selection,
                        [pivot, factor](double value, uint32_t c) { return pivot[c] + (value - pivot[c]) * factor; });
}

KeyClipboard copyKeys(const Timeline& timeline, KeySelection selection)
{
    KeyClipboard clipboard;
    keepExistingKeys(timeline, selection);
    const FrameSpan span = selectionSpan(selection);
    for (KeyRef ref : selection)
        clipboard.keys.push_back({timeline.tracks[ref.track]->name, ref.frame - span.first, *keyOf(timeline, ref)});
    clipboard.span = span.last - span.first;
    return clipboard;
}

KeyEdit pasteKeys(EditModel& model, const KeyClipboard& clipboard, uint32_t frame, KeySelection& selection)
{
    const Timeline& timeline = *model.timeline;
    if (clipboard.keys.empty())
        return refused("Nothing is copied");
    if (int64_t(frame) + clipboard.span > lastFrame(timeline))
        return refused("Refused: the %u copied frames do not fit after frame %u", clipboard.span + 1, frame);
    std::vector<KeySlotWrite> writes;
    KeySelection pasted;
    for (const ClipKey& clip : clipboard.keys) {
        const uint32_t index = trackIndex(timeline, clip.track.c_str());
        if (index == timeline.tracks.count || timeline.tracks[index]->type != clip.key.value.type)
            continue;
        writes.push_back({.track = index, .frame = frame + clip.offset, .present = true, .key = clip.key});
        pasted.push_back({index, frame + clip.offset});
    }
    if (writes.empty())
        return refused("Refused: none of the copied tracks is in this timeline");
    if (!runEdit(model, writes))
        return refusedByModel();
    std::sort(pasted.begin(), pasted.end());
    selection = pasted;
    return done();
}

RemovedByRipple removedByRipple(const Timeline& timeline, uint32_t frame, uint32_t count)
{
    RemovedByRipple removed;
    const uint64_t end = uint64_t(frame) + count; // the last removed frame
    for (const Track* track : timeline.tracks)
        for (uint64_t f = uint64_t(frame) + 1; f <= end && f < track->keys.count; ++f)
            removed.keys += track->keys[uint32_t(f)] != nullptr;
    for (uint32_t bookmark : timeline.bookmarks)
        removed.bookmarks += bookmark > frame && bookmark <= end;
    return removed;
}

namespace {

// Every key and bookmark at or after from moves by shift; those on frames from to from +
// deleted - 1 go. Refused when a key or bookmark would leave the timeline. (The ripples start
// from the frame after the playhead.)
KeyEdit rippleTime(EditModel& model, uint32_t from, uint32_t deleted, int64_t shift)
{
    const Timeline& timeline = *model.timeline;
    std::vector<KeySlotWrite> removals, placements;
    for (uint32_t index = 0; index < timeline.tracks.count; ++index) {
        const Track& track = *timeline.tracks[index];
        for (uint32_t frame = from; frame < track.keys.count; ++frame) {
            if (!track.keys[frame])
                continue;
            removals.push_back({.track = index, .frame = frame, .present = false, .key = {}});
            if (frame - from < deleted)
                continue;
            const int64_t to = int64_t(frame) + shift;
            if (to > lastFrame(timeline))
                return refused("Refused: the key of %s at frame %u would move past the last frame, %lld", track.name,
                               frame, (long long)lastFrame(timeline));
            placements.push_back({.track = index, .frame = uint32_t(to), .present = true, .key = *track.keys[frame]});
        }
    }
    std::vector<uint32_t> bookmarks;
    for (uint32_t bookmark : timeline.bookmarks) {
        if (bookmark < from || bookmark - from >= deleted)
            bookmarks.push_back(bookmark < from ? bookmark : uint32_t(int64_t(bookmark) + shift));
        if (bookmark >= from && int64_t(bookmark) + shift > lastFrame(timeline))
            return refused("Refused: the bookmark at frame %u would move past the last frame", bookmark);
    }
    removals.insert(removals.end(), placements.begin(), placements.end());
    return runEdit(model, removals, &bookmarks) ? done() : refusedByModel();
}

} // namespace

KeyEdit insertTime(EditModel& model, uint32_t frame, uint32_t count)
{
    if (count == 0 || int64_t(frame) >= lastFrame(*model.timeline))
        return refused("Refused: insert at least one frame, before the last frame");
    return rippleTime(model, frame + 1, 0, count);
}

KeyEdit removeTime(EditModel& model, uint32_t frame, uint32_t count)
{
    if (count == 0 || int64_t(frame) >= lastFrame(*model.timeline))
        return refused("Refused: remove at least one frame, before the last frame");
    count = std::min(count, uint32_t(lastFrame(*model.timeline)) - frame);
    return rippleTime(model, frame + 1, count, -int64_t(count));
}

KeyEdit keyValuesAt(EditModel& model, uint32_t frame, std::span<const TrackValue> values)
{
    const Timeline& timeline = *model.timeline;
    if (frame >= timeline.frameCount)
        return refused("Refused: frame %u is past the timeline", frame);
    std::vector<KeySlotWrite> writes;
    for (const TrackValue& value : values) {
        if (value.track >= timeline.tracks.count)
            return refused("Refused: no such track");
        const Track& track = *timeline.tracks[value.track];
        uint32_t easing = 0;
        evaluateTrack(track, frame, &easing);
        Keyframe key = {value.value, track.keys[frame] ? track.keys[frame]->easing : easing};
        if (!keyFitsTrack(track, key))
            return refused("Refused: the value of %s is outside the track's range", track.name);
        writes.push_back({.track = value.track, .frame = frame, .present = true, .key = key});
    }
    return runEdit(model, writes) ? done() : refusedByModel();
}
