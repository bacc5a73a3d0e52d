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
    FrameRing ring;
    FrameFenceCallbacks fences = {
        .user = this,
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

    ~FakeGpu() { frameRingReleaseAll(ring, fences); }
    // beginFrame, recording (with an object deferred if given), submit and endFrame.
    uint32_t runFrame(uint64_t deferredHandle = 0)
    {
        uint32_t slot = frameRingBegin(ring, fences);
        frameRingRecording(ring);
        if (deferredHandle)
            frameRingDefer(ring, {1, deferredHandle});
        uint32_t submitted = 0;
        frameRingSubmit(ring, &submitted);
        frameRingEnd(ring);
        return slot;
    }
};

} // namespace

TEST(FrameRing, TheFourthFrameWaitsForSlotZerosFirstSignalThenReleasesWhatItsSlotDeferred)
{
    FakeGpu gpu;
    frameRingDefer(gpu.ring, {1, 7}); // before frame 0 begins: joins slot 0's list at frame 0
    frameRingDefer(gpu.ring, {1, 0}); // a null handle may be queued
    for (uint32_t frame = 0; frame < 3; ++frame)
        EXPECT_EQ(gpu.runFrame(), frame);
    EXPECT_TRUE(gpu.waits.empty());
    EXPECT_TRUE(gpu.released.empty());
    // Frame 3 reuses slot 0: the wait for frame 0's signal comes first, then the release.
    EXPECT_EQ(gpu.runFrame(5), 0u);
    EXPECT_EQ(gpu.waits, (std::vector<std::pair<uint32_t, uint64_t>>{{0, 1}}));
    EXPECT_EQ(gpu.released, std::vector<uint64_t>{7});
    // A slot whose fence has already passed is not waited for.
    gpu.completed[1] = 1;
    gpu.runFrame();
    EXPECT_EQ(gpu.waits.size(), 1u);
    frameRingWaitAll(gpu.ring, gpu.fences);
    for (FrameState state : gpu.ring.state)
        EXPECT_EQ(state, FrameState::Idle);
    EXPECT_EQ(gpu.released, std::vector<uint64_t>{7}); // waiting releases nothing
    frameRingReleaseAll(gpu.ring, gpu.fences);        // shutdown: what is left in every list
    EXPECT_EQ(gpu.released, (std::vector<uint64_t>{7, 5}));
}

TEST(FrameRing, DeferredObjectIsReleasedAtFrameNPlus6AfterItsSlotsFencePassed)
{
    FakeGpu gpu;
    gpu.completeOnWait = false;
    // Frames 0 .. 8; the object is deferred while frame 2 (slot 2) records. The GPU finishes
    // each slot's previous work only when its slot comes round again.
    for (uint64_t frame = 0; frame <= 8; ++frame) {
        uint32_t slot = uint32_t(frame % 3);
        if (gpu.ring.state[slot] == FrameState::Submitted)
            gpu.completed[slot] = gpu.ring.fenceValue[slot];
        gpu.runFrame(frame == 2 ? 0xABC : 0);
        EXPECT_EQ(gpu.released.empty(), frame < 8) << "after frame " << frame;
    }
    // Released at the beginFrame of frame 8 = 2 + 6, after slot 2's fence reached 2 (frame 5).
    EXPECT_EQ(gpu.released, std::vector<uint64_t>{0xABC});
}

TEST(FrameRing, WaitingForAllAfterEveryFrameStillReleasesOnTime)
{
    // As a capture runs: the object deferred in frame 0 joins slot 0's list as frame 3 begins
    // there and is released as frame 6 begins there, slot 0 idle since frame 3's wait.
    FakeGpu gpu;
    for (uint32_t frame = 0; frame < 7; ++frame) {
        gpu.runFrame(frame == 0 ? 5 : 0);
        frameRingWaitAll(gpu.ring, gpu.fences);
        EXPECT_EQ(gpu.released, frame < 6 ? std::vector<uint64_t>{} : std::vector<uint64_t>{5}) << frame;
    }
}
