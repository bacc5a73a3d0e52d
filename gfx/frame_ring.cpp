// Frame ring bookkeeping (see frame_ring.h); the GPU is reached only through the callbacks.
#include "gfx/frame_ring.h"

namespace {

void waitForSlot(FrameRing& ring, const FrameFenceCallbacks& fences, uint32_t slot)
{
    if (fences.completedValue(fences.user, slot) < ring.fenceValue[slot])
        fences.waitForValue(fences.user, slot, ring.fenceValue[slot]);
}

void releaseList(ReleaseList& list, const FrameFenceCallbacks& fences)
{
    for (const ReleaseEntry& entry : list) {
        if (entry.handle)
            fences.release(fences.user, entry);
    }
    list.clear();
}

} // namespace

uint32_t frameRingBegin(FrameRing& ring, const FrameFenceCallbacks& fences)
{
    uint32_t slot = uint32_t(ring.currentFrame);
    if (ring.state[slot] != FrameState::Idle) {
        waitForSlot(ring, fences, slot);
        if (ring.state[slot] == FrameState::Submitted)
            ring.state[slot] = FrameState::Idle;
    }
    // An idle slot has passed its fence, in the wait above or in frameRingWaitAll: its old list
    // can go. (A tool that waits for all frames after each one, as the capture does, would
    // otherwise keep every deferred object, a read-back buffer a frame, until shutdown.)
    if (ring.state[slot] == FrameState::Idle)
        releaseList(ring.slotReleases[slot], fences);
    // Objects deferred while this slot was last recording stay alive until it has passed
    // its fence once more.
    ReleaseList& deferred = ring.deferred[ring.frameCounter % frameCount];
    for (const ReleaseEntry& entry : deferred)
        ring.slotReleases[slot].push(entry);
    deferred.clear();
    return slot;
}

void frameRingRecording(FrameRing& ring)
{
    ring.state[ring.currentFrame] = FrameState::Recording;
}

uint64_t frameRingSubmit(FrameRing& ring, uint32_t* submittedSlot)
{
    uint32_t slot = uint32_t(ring.currentFrame);
    ring.fenceValue[slot] += 1;
    ring.currentFrame = (ring.currentFrame + 1) % frameCount;
    ring.state[slot] = FrameState::Submitted;
    *submittedSlot = slot;
    return ring.fenceValue[slot];
}

void frameRingEnd(FrameRing& ring)
{
    ring.frameCounter += 1;
}

void frameRingWaitAll(FrameRing& ring, const FrameFenceCallbacks& fences)
{
    for (uint32_t slot = 0; slot < frameCount; ++slot) {
        waitForSlot(ring, fences, slot);
        if (ring.state[slot] == FrameState::Submitted)
            ring.state[slot] = FrameState::Idle;
    }
}

void frameRingDefer(FrameRing& ring, ReleaseEntry entry)
{
    ring.deferred[ring.frameCounter % frameCount].push(entry);
}

void frameRingReleaseAll(FrameRing& ring, const FrameFenceCallbacks& fences)
{
    for (uint32_t slot = 0; slot < frameCount; ++slot) {
        releaseList(ring.slotReleases[slot], fences);
        releaseList(ring.deferred[slot], fences);
    }
}
