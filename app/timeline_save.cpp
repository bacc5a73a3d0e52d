// Saving the timeline: its text (timeline/timeline_io.h) written through the system layer.
#include "app/timeline_save.h"

#include "core/log.h"
#include "system/system.h"
#include "timeline/timeline_io.h"

#include <cstdio>

namespace {

// Logs a failed write in the words of the step that failed; writeFailedFormat words a failed write.
void logWriteFailure(FileWriteResult result, const char* path, const char* writeFailedFormat)
{
    if (result == FileWriteResult::OpenFailed)
        logMessage("Failed to open file %s\n", path);
    else if (result == FileWriteResult::ReplaceFailed)
        logMessage("Failed to replace file %s\n", path);
    else
        logMessage(writeFailedFormat, path);
}

} // namespace

bool exportTimelineHeader(const Timeline& timeline, const char* path)
{
    std::string header = timelineHeaderText(timeline);
    FileWriteResult result = writeWholeFile(path, header.data(), header.size());
    if (result != FileWriteResult::Ok) {
        logWriteFailure(result, path, "Failed to write file header %s\n");
        return false;
    }
    logMessage("Saved timeline file header %s\n", path);
    return true;
}

TimelineSaved saveTimeline(const Timeline& timeline)
{
    std::string document = serializeTimeline(timeline, false);
    FileWriteResult result = writeWholeFile(timelineFileName, document.data(), document.size());
    if (result != FileWriteResult::Ok) {
        logWriteFailure(result, timelineFileName, "Failed to write file %s\n");
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
