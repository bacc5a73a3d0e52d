// The timeline as a JSON document: loading it into tracks, keys and bookmarks, and writing
// it back as "kivrel_timeline.json" and as the header that defines TIMELINE_JSON_DATA.
#pragma once

#include "timeline/timeline.h"

#include <cstdint>
#include <string>

constexpr const char* timelineFileName = "kivrel_timeline.json";

// Replaces every track and bookmark of the timeline with the document's (frameCount stays).
// length counts the text's bytes, a terminating zero may be included. Returns false, leaving
// the timeline as it was, when the text holds no value or its root is not an object. Parts of
// the document of the wrong shape are reported with an ASSERT and skipped.
bool loadTimeline(Timeline& timeline, const char* text, uint64_t length);

// The document text; the escaped form is the same text made ready to stand between the
// double quotes of a C++ string literal.
std::string serializeTimeline(const Timeline& timeline, bool escaped);

// Writes the document to "kivrel_timeline.json", then the header to
// "code/kivrel_timeline.json.h", both relative to the working directory. Logs each outcome.
void saveTimeline(const Timeline& timeline);
// The panic hook's form: userData points to the variable that holds the timeline pointer.
// A null timeline (already destroyed) saves nothing.
void saveTimelineHook(void* userData);

// Writes "#pragma once" and the definition of TIMELINE_JSON_DATA to path.
bool exportTimelineHeader(const Timeline& timeline, const char* path);
