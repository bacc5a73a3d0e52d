// Saving the timeline: its text (timeline/timeline_io.h) written through the system layer.
#include "app/timeline_save.h"

#include "core/log.h"
#include "system/system.h"
#include "timeline/timeline_io.h"

#include <cstdio>

bool exportTimelineHeader(const Timeline& timeline, const char* path)
{
    std::string header = timelineHeaderText(timeline);
    switch (writeWholeFile(path, header.data(), header.size())) {
    case FileWriteResult::Ok:
        logMessage("Saved timeline file header %s\n", path);
        return true;
    case FileWriteResult::OpenFailed:
        logMessage("Failed to open file %s\n", path);
        return false;
    case FileWriteResult::WriteFailed:
        break;
    }
    logMessage("Failed to write file header %s\n", path);
    return false;
}

TimelineSaved saveTimeline(const Timeline& timeline)
{
    std::string document = serializeTimeline(timeline, false);
    switch (writeWholeFile(timelineFileName, document.data(), document.size())) {
    case FileWriteResult::Ok:
        break;
    case FileWriteResult::OpenFailed:
        logMessage("Failed to open file %s\n", timelineFileName);
        return TimelineSaved::Nothing;
    case FileWriteResult::WriteFailed:
        logMessage("Failed to write file %s\n", timelineFileName);
        return TimelineSaved::Nothing; // a failed document write skips the header
    }
    logMessage("Saved timeline file %s\n", timelineFileName);

    char headerPath[128];
    std::snprintf(headerPath, sizeof(headerPath), "code/%s.h", timelineFileName);
    return exportTimelineHeader(timeline, headerPath) ? TimelineSaved::DocumentAndHeader : TimelineSaved::DocumentOnly;
}

void saveTimelineHook(void* userData)
{
    const Timeline* timeline = userData ? *static_cast<Timeline* const*>(userData) : nullptr;
    if (timeline)
        saveTimeline(*timeline);
}
