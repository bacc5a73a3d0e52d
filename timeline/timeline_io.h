// The timeline as a JSON document: loading it into tracks, keys and bookmarks, and the text
// of the document and of the header that defines TIMELINE_JSON_DATA. Reads and writes no file.
#pragma once

#include "timeline/json.h"
#include "timeline/timeline.h"

#include <cstdint>
#include <string>

// The values a track may take: [min, max], or (min, max) when open. Each component of a FLOAT3.
struct ValueRange {
    double min, max;
    bool open;
};
bool inRange(const ValueRange& range, double value);
// The nearest value of the range (for an open one, the nearest float inside it); NaN gives min.
float clampToRange(const ValueRange& range, float value);

// A track a checked document may hold.
struct TrackRule {
    const char* name;
    TrackType type;
    ValueRange range;
};

// What a checked document may hold: the known tracks, found by name (null for any other name).
struct TimelineRules {
    const TrackRule* (*findTrack)(const char* name);
};

// A checked document is at most 2 MiB (some 25 000 keys of about 80 bytes; the piece's own is
// 4.9 KB with 76), has at most one key a frame in each track (so at most frameCount keys a
// track), and at most 64 bookmarks.
constexpr uint64_t checkedDocumentLimit = uint64_t(2) << 20;
constexpr uint32_t checkedBookmarkLimit = 64;

// What a checked load found: the first error (the load refused), and the parts it skipped,
// one line each.
struct TimelineReport {
    JsonError error;
    std::string warnings;
};
// Keeps the first error of a report (a printf format; the text ends with a line feed).
__attribute__((format(gnu_printf, 2, 3))) void failCheck(TimelineReport& report, const char* format, ...);

// Replaces every track and bookmark of the timeline with the document's (frameCount stays).
// length counts the text's bytes, a terminating zero may be included. Returns false, leaving
// the timeline as it was, when the text holds no value or its root is not an object. Parts of
// the document of the wrong shape are reported with an ASSERT and skipped. Given an error
// record, a text that does not read (the reader's PANIC), holds no value or has another root
// is kept there instead, and the timeline is left as it was.
bool loadTimeline(Timeline& timeline, const char* text, uint64_t length, JsonError* error = nullptr);

// Reads a document that a person edits, where nothing may be lost or changed on the way: only
// the tracks the rules know are loaded, each at most once and of its rule's type. Any key that
// would be dropped or changed (not an object, a member missing, an unknown easing, a frame
// outside the timeline or taken twice, a value of the wrong type, or outside its range, or a
// number that does not fit) is an error, and so are bookmarks that are not frames of the
// timeline, a document beyond the limits above and every error of the reader. The first error
// is kept in report.error and the timeline is left as it was. Tracks the rules do not know
// and other members of the root take no memory: each is named in report.warnings.
bool loadCheckedTimeline(Timeline& timeline, const char* text, uint64_t length, const TimelineRules& rules,
                         TimelineReport& report);

// The document text; the escaped form is the same text made ready to stand between the
// double quotes of a C++ string literal.
std::string serializeTimeline(const Timeline& timeline, bool escaped);

// The header that compiles the document back in: "#pragma once", then the definition of
// TIMELINE_JSON_DATA holding the escaped form.
std::string timelineHeaderText(const Timeline& timeline);
