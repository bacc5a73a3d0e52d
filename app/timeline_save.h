// The piece's one file output, its safety net: once installed as the panic hook, a PANIC
// writes the timeline out as "kivrel_timeline.json" and as the header that compiles it back in.
#pragma once

#include "timeline/timeline.h"

constexpr const char* timelineFileName = "kivrel_timeline.json";

// Writes the document to "kivrel_timeline.json", then the header to
// "code/kivrel_timeline.json.h", both relative to the working directory. Logs each outcome;
// a document that could not be written is not followed by its header.
enum class TimelineSaved { Nothing, DocumentOnly, DocumentAndHeader };
TimelineSaved saveTimeline(const Timeline& timeline);
// The panic hook's form: userData points to the variable that holds the timeline pointer.
// A null timeline (already destroyed) saves nothing.
void saveTimelineHook(void* userData);

// Writes "#pragma once" and the definition of TIMELINE_JSON_DATA to path.
bool exportTimelineHeader(const Timeline& timeline, const char* path);
