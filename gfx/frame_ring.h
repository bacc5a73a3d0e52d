// The frame ring's bookkeeping: three slots, their fence values and states, and the
// deferred-release lists. No Vulkan here: the fence and the release are callbacks, so the
// ordering rules can be exercised without a device.
#pragma once

#include "core/array.h"

#include <cstdint>

constexpr uint32_t frameCount = 3;

enum class FrameState : uint32_t {
    Recording = 0,
    Submitted = 1,
    Idle = 2,
};

// A platform object whose destruction waits for the GPU: a tag saying which destroy call
// applies and the handle. A zero handle is skipped at release time.
struct ReleaseEntry {
    uint32_t kind;
    uint64_t handle;
};
using ReleaseList = DynamicArray<ReleaseEntry>;

// What the ring needs from the GPU side.
struct FrameFenceCallbacks {
    void* user = nullptr;
    uint64_t (*completedValue)(void* user, uint32_t slot) = nullptr;
    void (*waitForValue)(void* user, uint32_t slot, uint64_t value) = nullptr; // blocks
    void (*release)(void* user, const ReleaseEntry& entry) = nullptr;
};

struct FrameRing {
    uint64_t fenceValue[frameCount] = {};
    FrameState state[frameCount] = {FrameState::Idle, FrameState::Idle, FrameState::Idle};
    ReleaseList slotReleases[frameCount];  // released once the slot's fence has passed
    ReleaseList deferred[frameCount];      // deferRelease, indexed by frame counter mod 3
    uint64_t currentFrame = 0;             // slot being recorded, 0..2
    uint64_t frameCounter = 0;             // frames ended so far
};

// Steps 1-2 of beginFrame: waits for the current slot's fence if it was used, releases the
// slot's old list (also when frameRingWaitAll saw the fence pass), then moves
// deferred[frameCounter mod 3] into it. Returns the slot.
uint32_t frameRingBegin(FrameRing& ring, const FrameFenceCallbacks& fences);
// Marks the slot being recorded as Recording (the last step of beginFrame).
void frameRingRecording(FrameRing& ring);
// endFrame after submission: returns the value to signal on the submitted slot's fence
// (its fence value + 1), advances the current slot and marks the submitted one Submitted.
uint64_t frameRingSubmit(FrameRing& ring, uint32_t* submittedSlot);
// endFrame's last step: frame counter += 1.
void frameRingEnd(FrameRing& ring);
// Waits for every slot's last value; Submitted slots become Idle; no list is released.
void frameRingWaitAll(FrameRing& ring, const FrameFenceCallbacks& fences);
void frameRingDefer(FrameRing& ring, ReleaseEntry entry);
// At shutdown (after waitAll): releases every slot list and every deferred list.
void frameRingReleaseAll(FrameRing& ring, const FrameFenceCallbacks& fences);
