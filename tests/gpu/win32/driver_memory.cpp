// The GPU tests' measure of the driver's memory on Windows: the process's working set. Under
// Wine the driver (winevulkan -> lavapipe) allocates from the host's heap, which no Windows
// heap function sees, and Wine's private-bytes counter stays 0; its working set is the host
// process's resident size.
#include "tests/gpu/gpu_harness.h"

#include <windows.h>
#include <psapi.h>

int64_t driverMemoryBytes()
{
    PROCESS_MEMORY_COUNTERS counters = {};
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return int64_t(counters.WorkingSetSize);
}
