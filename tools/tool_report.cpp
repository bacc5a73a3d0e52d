// Failure reports of the tools (see tool_report.h).
#include "tools/tool_report.h"

#include "system/system.h"

#include <cstdarg>
#include <cstdio>

void reportToolError(const char* tool, const char* format, ...)
{
    std::fprintf(stderr, "%s: ", tool);
    va_list arguments;
    va_start(arguments, format);
    std::vfprintf(stderr, format, arguments);
    va_end(arguments);
}

void reportToolAllocationFailure(const AllocationFailure& failure, void* userData)
{
    const ToolIdentity& tool = *static_cast<const ToolIdentity*>(userData);
    const bool image = failure.width != 0;
    if (failure.kind == AllocationFailureKind::TooLarge) {
        reportToolError(tool.name, "this device makes images of at most %u x %u pixels, not %u x %u\n",
                        failure.imageSizeLimit, failure.imageSizeLimit, failure.width, failure.height);
        if (tool.usage)
            std::fprintf(stderr, "%s", tool.usage);
        exitProcess(2);
    }
    if (image)
        reportToolError(tool.name, "out of memory: %.1f MiB for an image of %u x %u pixels could not be allocated\n",
                        failure.bytes / 1048576.0, failure.width, failure.height);
    else
        reportToolError(tool.name, "out of memory: %.1f MiB for a buffer could not be allocated\n",
                        failure.bytes / 1048576.0);
    exitProcess(1);
}
