// The check of a document that a person edits (loadCheckedTimeline, timeline/timeline_io.h):
// everything a load would skip or change is found here, before the timeline is touched.
#pragma once

#include "timeline/timeline_io.h"

// The rule of a member's name: null for a name the rules do not know, and for one with a zero
// byte (whose C string would be another name). The check and the load both find tracks here.
const TrackRule* findRule(const TimelineRules& rules, const JsonString& name);

// True when the whole tree loads as it stands into a timeline of frameCount frames; otherwise
// the first error is kept in the report. Tracks the rules do not know and members that are no
// track are added to the report's warnings.
bool checkDocument(const JsonValue& root, uint32_t frameCount, const TimelineRules& rules, TimelineReport& report);
