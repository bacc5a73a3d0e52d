// Fast seeks: copies of the particle buffer every 300 frames, read back to the CPU, and a seek
// that steps the particles from the nearest copy at or before the target instead of from
// frame 0. Works through the graphics layer's own types only.
#pragma once

#include "app/main_loop.h"
#include "app/scene.h"

#include <cstdint>

constexpr uint32_t snapshotInterval = 300; // frames
constexpr uint32_t snapshotSlotCount = timelineFrameCount / snapshotInterval + 1;

struct ParticleSnapshots {
    // Slot k: the particle buffer as frame k × 300's own step finds it, or null when not taken.
    // Slot 0 is never taken: before frame 0 the buffer is all zero, as at start-up.
    uint8_t* slots[snapshotSlotCount] = {};
    Buffer* readback = nullptr; // particleBufferBytes each, host-visible
    Buffer* upload = nullptr;
    // The maker (makeSnapshots): particles and records of its own, stepped between the edit
    // mode's frames up to the last frame shown; it starts again after a discard.
    Buffer* makerParticles = nullptr;
    DemoState makerState{};
    uint32_t makerFrame = 0;   // the frame it steps next
    bool makerRestart = true;  // from the last snapshot before the first one missing
};

void createParticleSnapshots(RenderApp& app, ParticleSnapshots& snapshots);
void destroyParticleSnapshots(RenderApp& app, ParticleSnapshots& snapshots);

// Throws away the snapshots of frame and after: an edit from frame on changed what they were
// stepped through (app/edit_model.h, takeSimulationChange).
void discardSnapshotsFrom(ParticleSnapshots& snapshots, uint32_t frame);

// Leaves the particle buffer as frame's own step finds it and the state ready for that step
// (its track values, simulation frame, time and step). The particles are stepped from the
// nearest snapshot at or before frame, frame-locked at 60 Hz as the capture steps them:
// frame n with the clock n × 1000 / 60 − 17.4 ms and the step 1000 / 60 ms × the time scale of
// frame n − 1. The snapshots it passes are taken. Returns the frames stepped. The GPU is idle
// afterwards; frame is kept below the timeline's frameCount.
uint32_t seekParticles(RenderApp& app, SceneResources& scene, DemoState& state, Timeline& timeline,
                       ParticleSnapshots& snapshots, uint32_t frame);

// Steps the maker's particles for about budget milliseconds, taking every snapshot up to the
// last frame shown that is missing, with the scene's particle buffer and records (state, whose
// constant blocks the scene uploads) lent to it meanwhile: what the scene shows is untouched.
// Returns true once every snapshot is there. The GPU is idle afterwards.
bool makeSnapshots(RenderApp& app, SceneResources& scene, DemoState& state, Timeline& timeline,
                   ParticleSnapshots& snapshots, double budget);
