// How the command-line tools report what stops them: one line on standard error that names the
// tool (a usage error adds the usage line), and the exit code the README gives.
#pragma once

#include "gfx/context.h"

void reportToolError(const char* tool, const char* format, ...) __attribute__((format(gnu_printf, 2, 3)));

struct ToolIdentity {
    const char* name;  // "kivrel-capture"
    const char* usage; // its usage line, or null
};
// The AllocationFailureReport of a tool (userData is its ToolIdentity): an image larger
// than the device makes is a usage error (exit 2), memory that runs out an error (exit 1).
[[noreturn]] void reportToolAllocationFailure(const AllocationFailure& failure, void* userData);
