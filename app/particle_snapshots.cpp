// Particle snapshots and seeks: each stepped frame is a frame of work alone (nothing shown),
// a snapshot is copied out at the start of its frame, before that frame's step.
#include "app/particle_snapshots.h"

#include "gfx/commands.h"
#include "gfx/passes.h"
#include "system/system.h"

#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

// The snapshot copy: the buffer from its unordered-access state and back, around the copy.
void recordParticleCopy(CommandList* list, Buffer* particles, Buffer* other, bool intoParticles)
{
    transitionNow(list, particles, intoParticles ? STATE_COPY_DEST : STATE_COPY_SOURCE);
    if (intoParticles)
        copyBuffer(list, particles, other);
    else
        copyBuffer(list, other, particles);
    transitionNow(list, particles, STATE_UNORDERED_ACCESS);
}

// The snapshot's bytes (zero for slot 0) into the particle buffer, in a frame of its own.
void restoreSnapshot(RenderApp& app, SceneResources& scene, const ParticleSnapshots& snapshots, uint32_t slot)
{
    waitForAllFrames(app); // no frame still reads the upload buffer
    void* upload = mapBuffer(snapshots.upload);
    if (slot == 0)
        std::memset(upload, 0, particleBufferBytes);
    else
        std::memcpy(upload, snapshots.slots[slot], particleBufferBytes);
    unmapBuffer(snapshots.upload);
    FrameContext* frame = beginFrame(app, FrameOutput::None);
    recordParticleCopy(frame->commandList, scene.particleBuffer, snapshots.upload, true);
    endFrame(app);
}

// Frame n's track values, clock and step; timeScale still holds frame n − 1's.
void prepareFrame(DemoState& state, Timeline& timeline, uint32_t n)
{
    state.simulation.dt = float(timelineFrameMilliseconds) * state.timeScale;
    state.simulation.frame = n;
    evaluateFrame(state, timeline);
    state.simulation.time = float(double(n) * timelineFrameMilliseconds - audioLatencyMilliseconds);
}

// Frame n's step, copying the buffer out first when n's snapshot is missing.
void stepFrame(RenderApp& app, SceneResources& scene, DemoState& state, ParticleSnapshots& snapshots, uint32_t n)
{
    uint32_t slot = n / snapshotInterval;
    bool take = n % snapshotInterval == 0 && slot > 0 && !snapshots.slots[slot];
    FrameContext* frame = beginFrame(app, FrameOutput::None);
    beginSimulationFrame(app, scene, *frame);
    if (take)
        recordParticleCopy(frame->commandList, scene.particleBuffer, snapshots.readback, false);
    recordSimulation(scene, state, frame->commandList);
    endFrame(app);
    if (!take)
        return;
    waitForAllFrames(app);
    uint8_t* bytes = static_cast<uint8_t*>(std::malloc(particleBufferBytes));
    if (!bytes)
        return; // without memory the seeks step further, nothing else changes
    std::memcpy(bytes, mapBuffer(snapshots.readback), particleBufferBytes);
    unmapBuffer(snapshots.readback);
    snapshots.slots[slot] = bytes;
}

} // namespace

void createParticleSnapshots(RenderApp& app, ParticleSnapshots& snapshots)
{
    snapshots.readback = createBuffer(app, particleBufferBytes, BufferType::Readback, nullptr, false, 0);
    snapshots.upload = createBuffer(app, particleBufferBytes, BufferType::Upload, nullptr, false, 0);
    snapshots.makerParticles = createBuffer(app, particleBufferBytes, BufferType::ReadWrite, nullptr, true,
                                            RESOURCE_FLAG_ALLOW_UNORDERED_ACCESS);
}

void destroyParticleSnapshots(RenderApp& app, ParticleSnapshots& snapshots)
{
    discardSnapshotsFrom(snapshots, 0);
    destroyBuffer(app, snapshots.makerParticles);
    destroyBuffer(app, snapshots.upload);
    destroyBuffer(app, snapshots.readback);
}

void discardSnapshotsFrom(ParticleSnapshots& snapshots, uint32_t frame)
{
    for (uint32_t slot = (frame + snapshotInterval - 1) / snapshotInterval; slot < snapshotSlotCount; ++slot) {
        std::free(snapshots.slots[slot]);
        snapshots.slots[slot] = nullptr;
    }
    snapshots.makerRestart = true;
}

uint32_t seekParticles(RenderApp& app, SceneResources& scene, DemoState& state, Timeline& timeline,
                       ParticleSnapshots& snapshots, uint32_t frame)
{
    if (frame >= timeline.frameCount)
        frame = timeline.frameCount - 1;
    uint32_t slot = frame / snapshotInterval;
    while (slot > 0 && !snapshots.slots[slot])
        --slot;
    uint32_t start = slot * snapshotInterval;
    restoreSnapshot(app, scene, snapshots, slot);
    // The step of the first frame takes the time scale of the frame before it (frame 0 its own).
    state.simulation.frame = start > 0 ? start - 1 : 0;
    evaluateFrame(state, timeline);
    for (uint32_t n = start; n < frame; ++n) {
        prepareFrame(state, timeline, n);
        stepFrame(app, scene, state, snapshots, n);
    }
    prepareFrame(state, timeline, frame);
    waitForAllFrames(app);
    return frame - start;
}

bool makeSnapshots(RenderApp& app, SceneResources& scene, DemoState& state, Timeline& timeline,
                   ParticleSnapshots& snapshots, double budget)
{
    constexpr uint32_t lastSlot = lastFrameShown / snapshotInterval;
    uint32_t missing = 1;
    while (missing <= lastSlot && snapshots.slots[missing])
        ++missing;
    if (missing > lastSlot)
        return true;
    if (snapshots.makerRestart)
        snapshots.makerState = state; // the live records: every value that no track drives
    std::swap(scene.particleBuffer, snapshots.makerParticles);
    std::swap(state, snapshots.makerState);
    if (snapshots.makerRestart) {
        // The buffer as the frame of the last snapshot before the first missing one finds it.
        uint32_t start = (missing - 1) * snapshotInterval;
        restoreSnapshot(app, scene, snapshots, missing - 1);
        state.simulation.frame = start > 0 ? start - 1 : 0;
        evaluateFrame(state, timeline);
        snapshots.makerFrame = start;
        snapshots.makerRestart = false;
    }
    const double end = nowMilliseconds() + budget;
    for (uint32_t& n = snapshots.makerFrame; n <= lastSlot * snapshotInterval && nowMilliseconds() < end; ++n) {
        prepareFrame(state, timeline, n);
        stepFrame(app, scene, state, snapshots, n);
    }
    waitForAllFrames(app);
    std::swap(state, snapshots.makerState);
    std::swap(scene.particleBuffer, snapshots.makerParticles);
    return false;
}
