// Fuzz target of the edit mode's timeline reader: any text either loads, and then its save
// loads again to the same text, or is refused with the timeline left as it was.
#include "app/main_loop.h"
#include "app/parameters.h"
#include "timeline/timeline_io.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

[[noreturn]] void failFuzzCheck(const char* what, const std::string& text)
{
    std::fprintf(stderr, "timeline_fuzz: %s\n%s\n", what, text.c_str());
    std::abort();
}

// The same key (value words and easing) at every frame of every track: the text alone would
// not show a value that the save rounds away (names and types the text compares).
bool sameKeys(const Timeline& a, const Timeline& b)
{
    bool same = a.tracks.count == b.tracks.count;
    for (uint32_t t = 0; same && t < a.tracks.count; ++t)
        for (uint32_t f = 0; same && f < a.tracks[t]->keys.count; ++f) {
            const Keyframe *p = a.tracks[t]->keys[f], *q = b.tracks[t]->keys[f];
            same = p == q || (p && q && std::memcmp(p, q, sizeof(Keyframe)) == 0);
        }
    return same;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const char* text = reinterpret_cast<const char*>(data);
    // The piece's own loader, which skips what does not fit, must not fail on any text either
    // (on 16 frames: it takes a slot a frame for every track, known or not).
    Timeline* timeline = createTimeline(16);
    JsonError error;
    loadTimeline(*timeline, text, size, &error);
    destroyTimeline(timeline);
    timeline = createTimeline(timelineFrameCount);
    const std::string empty = serializeTimeline(*timeline, false);
    TimelineReport report;
    if (!loadCheckedTimeline(*timeline, text, size, demoTimelineRules, report)) {
        if (!report.error.failed)
            failFuzzCheck("a refused text has no error", "");
        if (serializeTimeline(*timeline, false) != empty)
            failFuzzCheck("a refused text changed the timeline", report.error.message);
        destroyTimeline(timeline);
        return 0;
    }
    // The save of what loaded must load, with nothing skipped, and save to the same text.
    const std::string saved = serializeTimeline(*timeline, false);
    Timeline* again = createTimeline(timelineFrameCount);
    if (!loadCheckedTimeline(*again, saved.data(), saved.size(), demoTimelineRules, report))
        failFuzzCheck(report.error.message, saved);
    if (!report.warnings.empty())
        failFuzzCheck("the saved text has parts the load skips", saved);
    if (!sameKeys(*timeline, *again) || serializeTimeline(*again, false) != saved)
        failFuzzCheck("the saved text loads to another timeline", saved);
    destroyTimeline(again);
    destroyTimeline(timeline);
    return 0;
}
