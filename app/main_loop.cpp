// Main loop bookkeeping, in the order of one iteration.
#include "app/main_loop.h"

#include <algorithm>
#include <cmath>

namespace {

// The frames in which the particle simulation lays scene 1 out (shaders/ParticleConfig.h;
// scene 0's, frame 0, is always shown first).
constexpr uint32_t sceneLayoutFrames[] = {SCENE1_CLEAR_FRAME, SCENE1_LAYOUT_FRAME};

// The frame's GPU work: black while the soundtrack is prepared, then the scene. Starts the
// music in the first frame that sees the soundtrack ready.
void renderFrame(MainLoop& loop, DemoState& state, Timeline& timeline, const std::function<double()>& now,
                 SoundtrackSource& soundtrack, FrameSink& frames)
{
    evaluateFrame(state, timeline);
    loop.frameStart = now();
    frames.beginFrame();
    soundtrack.update();

    if (!soundtrack.ready()) {
        loop.phase = LoopPhase::Preparing;
        soundtrack.recordRender(); // nothing of the scene: the frame stays black
    } else {
        frames.recordScene();
        // The iteration before this one, also when it only prepared the soundtrack.
        state.frame.time += float(loop.lastFrameTime);
        state.frame.frame += 1.0f;
        keepPreviousFrame(state);
        if (!soundtrack.playing()) {
            // Frame 0 is shown once more while the music starts.
            loop.phase = LoopPhase::Starting;
            soundtrack.play();
        } else {
            loop.phase = LoopPhase::Playing;
        }
    }

    frames.endFrame();
    // The step reaches the simulation with the next frame's constant upload.
    loop.lastFrameTime = now() - loop.frameStart;
    state.simulation.dt = float(std::min(loop.lastFrameTime, longestSimulationStep)) * state.timeScale;
}

// The audio clock the simulation runs on and the frame the next iteration shows.
void followMusic(MainLoop& loop, DemoState& state, SoundtrackSource& soundtrack, double now)
{
    double heard = readAudioClock(loop, soundtrack.clock(), now);
    state.simulation.time = float(heard);
    if (loop.frameClock == FrameClock::FrameLocked)
        state.simulation.frame += 1;
    else
        state.simulation.frame = musicFrame(state.simulation.frame, loop.firstFrame, heard);
}

} // namespace

void startLoop(MainLoop& loop, DemoState& state)
{
    loop.phase = LoopPhase::Preparing;
    loop.frameStart = 0.0;
    loop.lastFrameTime = 0.0;
    loop.heard = -std::numeric_limits<double>::infinity();
    loop.quit = false;
    state.simulation.frame = loop.firstFrame;
    state.simulation.time = 0.0f;
}

void seekLoop(MainLoop& loop, DemoState& state, uint32_t frame)
{
    loop.firstFrame = 0;
    loop.heard = double(frame) * timelineFrameMilliseconds;
    state.simulation.frame = frame;
    state.simulation.time = float(loop.heard);
}

void evaluateFrame(DemoState& state, Timeline& timeline)
{
    if (state.simulation.frame > timeline.frameCount - 1)
        state.simulation.frame = 0;
    state.finalPass.frame = state.simulation.frame;
    updateTimeline(timeline, state.simulation.frame,
                   [&state](const char* name, uint32_t callbackValue, FrameValue value) {
                       onTrackValue(state, name, callbackValue, value);
                   });
    updateCamera(state.camera);
}

double readAudioClock(MainLoop& loop, const PlaybackClock& device, double now)
{
    // A reading taken just before the device moved can lie a little in the past of movedAt.
    double sinceMoved = std::clamp(now - device.movedAt, 0.0, device.step);
    loop.heard = std::max(loop.heard, device.taken + sinceMoved - device.latency);
    return loop.heard;
}

uint32_t musicFrame(uint32_t shown, uint32_t firstFrame, double heard)
{
    // Before the music is heard the clock is below 0; the piece lasts far less than 2^32 frames.
    double reached = std::floor(std::max(heard, 0.0) * timelineFramesPerSecond / 1000.0);
    uint32_t next = std::max(shown, firstFrame + uint32_t(std::min(reached, double(timelineFrameCount))));
    for (uint32_t layout : sceneLayoutFrames) {
        if (shown < layout && next > layout)
            return layout;
    }
    return next;
}

bool runLoopIteration(MainLoop& loop, DemoState& state, Timeline& timeline, const std::function<double()>& now,
                      SoundtrackSource& soundtrack, FrameSink& frames)
{
    // Shutdown then waits only for the frames already submitted.
    if (frames.pumpMessages()) {
        loop.quit = true;
        return false;
    }
    bool musicPlays = loop.phase == LoopPhase::Playing || loop.phase == LoopPhase::Hidden;
    if (musicPlays && !frames.shown()) {
        // Nothing would be seen: sleep instead of rendering, and pump again at the next tick.
        loop.phase = LoopPhase::Hidden;
        frames.waitUntil(now() + hiddenTickMilliseconds);
    } else {
        renderFrame(loop, state, timeline, now, soundtrack, frames);
    }
    // While hidden too, so that the first frame shown again is the music's.
    if (loop.phase == LoopPhase::Playing || loop.phase == LoopPhase::Hidden)
        followMusic(loop, state, soundtrack, now());
    if (state.simulation.frame > loop.lastFrame)
        loop.quit = true;
    return !loop.quit;
}

void runMainLoop(MainLoop& loop, DemoState& state, Timeline& timeline, const std::function<double()>& now,
                 SoundtrackSource& soundtrack, FrameSink& frames)
{
    startLoop(loop, state);
    while (runLoopIteration(loop, state, timeline, now, soundtrack, frames)) {
    }
    loop.phase = LoopPhase::Teardown;
}
