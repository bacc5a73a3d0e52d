// Main loop bookkeeping, in the order of one iteration.
#include "app/main_loop.h"

void startLoop(MainLoop& loop, DemoState& state)
{
    loop.phase = LoopPhase::preparing;
    loop.frameStart = 0.0;
    loop.lastFrameTime = 0.0;
    loop.quit = false;
    state.simulation.frame = 0;
    state.simulation.time = 0.0f;
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

bool runLoopIteration(MainLoop& loop, DemoState& state, Timeline& timeline, const std::function<double()>& now,
                      SoundtrackSource& soundtrack, FrameSink& frames)
{
    if (frames.pumpMessages())
        loop.quit = true;
    evaluateFrame(state, timeline);
    loop.frameStart = now();
    frames.beginFrame();
    soundtrack.update();

    if (!soundtrack.ready()) {
        loop.phase = LoopPhase::preparing;
        soundtrack.recordRender(); // nothing of the scene: the frame stays black
    } else {
        frames.recordScene();
        // The iteration before this one, also when it only prepared the soundtrack.
        state.frame.time += float(loop.lastFrameTime);
        state.frame.frame += 1.0f;
        keepPreviousFrame(state);
        if (!soundtrack.playing()) {
            // Frame 0 is shown once more while the music starts.
            loop.phase = LoopPhase::starting;
            soundtrack.play();
        } else {
            loop.phase = LoopPhase::playing;
            state.simulation.time = float(soundtrack.positionSeconds() * 1000.0 - audioLatencyMilliseconds);
            state.simulation.frame += 1;
        }
    }

    frames.endFrame();
    // The step reaches the simulation with the next frame's constant upload.
    loop.lastFrameTime = now() - loop.frameStart;
    state.simulation.dt = float(loop.lastFrameTime) * state.timeScale;
    if (state.simulation.frame > lastFrameShown)
        loop.quit = true;
    return !loop.quit;
}

void runMainLoop(MainLoop& loop, DemoState& state, Timeline& timeline, const std::function<double()>& now,
                 SoundtrackSource& soundtrack, FrameSink& frames)
{
    startLoop(loop, state);
    while (runLoopIteration(loop, state, timeline, now, soundtrack, frames)) {
    }
    loop.phase = LoopPhase::teardown;
}
