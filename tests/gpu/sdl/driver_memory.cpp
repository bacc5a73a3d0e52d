// The GPU tests' measure of the driver's memory on Linux: lavapipe allocates from glibc's heap.
#include "tests/gpu/gpu_harness.h"

#include <malloc.h>

int64_t driverMemoryBytes()
{
    struct mallinfo2 info = mallinfo2();
    return int64_t(info.uordblks + info.hblkhd);
}
