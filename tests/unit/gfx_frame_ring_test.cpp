// The frame ring's waits and the deferred-release timing, against a fake GPU whose fences
// complete only when the test says so.
#include "gfx/frame_ring.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct FakeGpu {
    uint64_t completed[frameCount] = {};
    std::vector<std::pair<uint32_t, uint64_t>> waits; // (slot, value) of every blocking wait
    std::vector<uint64_t> released;                   // handles, in release order
    bool completeOnWait = true;                       // a wait returns once the value is reached
};

FrameFenceCallbacks callbacksFor(FakeGpu& gpu)
{
    return {
        .user = &gpu,
        .completedValue = [](void* user, uint32_t slot) { return static_cast<FakeGpu*>(user)->completed[slot]; },
        .waitForValue =
            [](void* user, uint32_t slot, uint64_t value) {
                FakeGpu& gpu = *static_cast<FakeGpu*>(user);
                gpu.waits.push_back({slot, value});
                if (gpu.completeOnWait)
                    gpu.completed[slot] = value;
            },
        .release = [](void* user, const ReleaseEntry& entry) { static_cast<FakeGpu*>(user)->released.push_back(entry.handle); },
    };
}

void endFrame(FrameRing& ring)
{
    uint32_t slot = 0;
    frameRingSubmit(ring, &slot);
    frameRingEnd(ring);
}

void freeRing(FrameRing& ring)
{
    for (uint32_t i = 0; i < frameCount; ++i) {
        ring.slotReleases[i].clear();
        ring.deferred[i].clear();
    }
}

} // namespace

TEST(FrameRing, FirstThreeFramesNeverWaitAndTheFourthWaitsForSlotZero)
{
    FakeGpu gpu;
    FrameFenceCallbacks fences = callbacksFor(gpu);
    FrameRing ring;
    for (uint32_t frame = 0; frame < 3; ++frame) {
        EXPECT_EQ(frameRingBegin(ring, fences), frame);
        frameRingRecording(ring);
        endFrame(ring);
    }
    EXPECT_TRUE(gpu.waits.empty());
    EXPECT_EQ(frameRingBegin(ring, fences), 0u);
    ASSERT_EQ(gpu.waits.size(), 1u);
    EXPECT_EQ(gpu.waits[0], std::make_pair(0u, uint64_t(1))); // slot 0's first signal
    EXPECT_EQ(ring.state[0], FrameState::Idle);

    // A slot whose fence has already passed is not waited for.
    frameRingRecording(ring);
    endFrame(ring);
    gpu.completed[1] = 1;
    frameRingBegin(ring, fences);
    EXPECT_EQ(gpu.waits.size(), 1u);
    freeRing(ring);
}

TEST(FrameRing, DeferredObjectIsReleasedAtFrameNPlus6AfterItsSlotsFencePassed)
{
    FakeGpu gpu;
    gpu.completeOnWait = false;
    FrameFenceCallbacks fences = callbacksFor(gpu);
    FrameRing ring;
    // Frames 0 .. 8; the object is deferred while frame 2 (slot 2) records.
    for (uint64_t frame = 0; frame <= 8; ++frame) {
        uint32_t slot = uint32_t(frame % 3);
        // The GPU finishes each slot's previous work only when asked to wait for it.
        if (ring.state[slot] == FrameState::Submitted)
            gpu.completed[slot] = ring.fenceValue[slot];
        frameRingBegin(ring, fences);
        if (frame < 8) {
            EXPECT_TRUE(gpu.released.empty()) << "released too early, at frame " << frame;
        }
        frameRingRecording(ring);
        if (frame == 2)
            frameRingDefer(ring, {1, 0xABC});
        endFrame(ring);
        if (frame == 8)
            break;
    }
    // Released at the beginFrame of frame 8 = 2 + 6, after slot 2's fence reached 2 (frame 5).
    ASSERT_EQ(gpu.released.size(), 1u);
    EXPECT_EQ(gpu.released[0], 0xABCu);
    freeRing(ring);
}

TEST(FrameRing, ReleasesOnlyAfterWaitingForTheSlotsFenceAndSkipsNullHandles)
{
    FakeGpu gpu;
    FrameFenceCallbacks fences = callbacksFor(gpu);
    FrameRing ring;
    frameRingDefer(ring, {1, 7}); // before frame 0 begins: joins slot 0's list at frame 0
    frameRingDefer(ring, {1, 0}); // a null handle may be queued
    for (uint64_t frame = 0; frame < 3; ++frame) {
        frameRingBegin(ring, fences);
        frameRingRecording(ring);
        endFrame(ring);
    }
    EXPECT_TRUE(gpu.released.empty());
    EXPECT_TRUE(gpu.waits.empty());
    // Frame 3 reuses slot 0: the wait for frame 0's signal comes first, then the release.
    frameRingBegin(ring, fences);
    ASSERT_EQ(gpu.waits.size(), 1u);
    EXPECT_EQ(gpu.completed[0], 1u);
    EXPECT_EQ(gpu.released, std::vector<uint64_t>{7});
    frameRingRecording(ring);
    endFrame(ring);
    freeRing(ring);
}

TEST(FrameRing, WaitAllIdlesSubmittedSlotsWithoutReleasing)
{
    FakeGpu gpu;
    FrameFenceCallbacks fences = callbacksFor(gpu);
    FrameRing ring;
    frameRingBegin(ring, fences);
    frameRingRecording(ring);
    frameRingDefer(ring, {1, 5});
    endFrame(ring);
    frameRingBegin(ring, fences);
    frameRingRecording(ring);
    endFrame(ring);
    frameRingWaitAll(ring, fences);
    EXPECT_EQ(ring.state[0], FrameState::Idle);
    EXPECT_EQ(ring.state[1], FrameState::Idle);
    EXPECT_EQ(ring.state[2], FrameState::Idle);
    EXPECT_EQ(gpu.waits.size(), 2u);
    EXPECT_TRUE(gpu.released.empty());
    // Shutdown releases what is left in every list.
    frameRingReleaseAll(ring, fences);
    EXPECT_EQ(gpu.released, std::vector<uint64_t>{5});
}

TEST(FrameRing, WaitingForAllAfterEveryFrameStillReleasesOnTime)
{
    FakeGpu gpu;
    FrameFenceCallbacks fences = callbacksFor(gpu);
    FrameRing ring;
    for (uint32_t frame = 0; frame < 7; ++frame) {
        frameRingBegin(ring, fences);
        frameRingRecording(ring);
        if (frame == 0)
            frameRingDefer(ring, {1, 5});
        endFrame(ring);
        frameRingWaitAll(ring, fences);
        // Deferred in frame 0, moved into slot 0's list as frame 3 begins there, released as
        // frame 6 begins there: slot 0 idle since frame 3's waitAll.
        EXPECT_EQ(gpu.released, frame < 6 ? std::vector<uint64_t>{} : std::vector<uint64_t>{5});
    }
    freeRing(ring);
}
