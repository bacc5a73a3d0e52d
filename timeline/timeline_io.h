// The timeline as a JSON document: loading it into tracks, keys and bookmarks, and the text
// of the document and of the header that defines TIMELINE_JSON_DATA. Reads and writes no file.
#pragma once

#include "timeline/json.h"
#include "timeline/timeline.h"

#include <cstdint>
#include <string>

// Replaces every track and bookmark of the timeline with the document's (frameCount stays).
// length counts the text's bytes, a terminating zero may be included. Returns false, leaving
// the timeline as it was, when the text holds no value or its root is not an object. Parts of
// the document of the wrong shape are reported with an ASSERT and skipped. Given an error
// record, a text that does not read (the reader's PANIC), holds no value or has another root
// is kept there instead, and the timeline is left as it was.
bool loadTimeline(Timeline& timeline, const char* text, uint64_t length, JsonError* error = nullptr);

// The document text; the escaped form is the same text made ready to stand between the
// double quotes of a C++ string literal.
std::string serializeTimeline(const Timeline& timeline, bool escaped);

// The header that compiles the document back in: "#pragma once", then the definition of
// TIMELINE_JSON_DATA holding the escaped form.
std::string timelineHeaderText(const Timeline& timeline);
