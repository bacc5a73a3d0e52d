// A GPU fence as Direct3D 12 has it: a 64-bit value the queue sets once the work submitted
// before the signal has finished, which the CPU can read or wait for (a timeline semaphore).
#pragma once

#include <cstdint>

struct RenderApp;
struct GpuFence; // defined in gfx/vk_fence.cpp

// Starts at 0; name is its debug name ("AudioRenderer::copyFence").
GpuFence* createGpuFence(RenderApp& app, const char* name);
// Enqueues on the graphics queue, after everything submitted so far, a signal to value.
void signalGpuFence(RenderApp& app, GpuFence* fence, uint64_t value);
uint64_t gpuFenceValue(RenderApp& app, GpuFence* fence);
// Blocks without a time limit until the fence has reached value.
void waitForGpuFence(RenderApp& app, GpuFence* fence, uint64_t value);
// Waits for the last value signalled, destroys the fence and nulls the pointer; null does nothing.
void destroyGpuFence(RenderApp& app, GpuFence*& fence);
