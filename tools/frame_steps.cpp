// kivrel-frame-steps FIRST LAST [WIDTH HEIGHT]: plays the piece's timeline headless from frame
// FIRST (a scene's initialisation frame: 0 or 3255) to LAST at 60 Hz, moving the particles
// only, then draws frame LAST with the whole chain twice (the first draw compiles the programs)
// and reports the second: GPU time per step from timestamps, and the CPU's wait from submission
// to completion. Render size 1920 x 1080 unless given; no window, no audio device.
#include "app/main_loop.h"
#include "app/scene.h"
#include "code/kivrel_timeline.json.h"
#include "core/log.h"
#include "gfx/context.h"
#include "gfx/timestamps.h"
#include "platform/platform.h"
#include "timeline/timeline_io.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char* const stepNames[sceneMarkCount] = {
    "start", "uploads", "simulation", "path tracing", "temporal reprojection", "a-trous filter",
    "history and copies", "depth of field", "final transfer",
};

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3 && argc != 5) {
        std::fprintf(stderr, "usage: kivrel-frame-steps FIRST LAST [WIDTH HEIGHT]\n");
        return 2;
    }
    const uint32_t first = uint32_t(std::strtoul(argv[1], nullptr, 10));
    const uint32_t last = uint32_t(std::strtoul(argv[2], nullptr, 10));
    const uint32_t width = argc == 5 ? uint32_t(std::strtoul(argv[3], nullptr, 10)) : 1920;
    const uint32_t height = argc == 5 ? uint32_t(std::strtoul(argv[4], nullptr, 10)) : 1080;

    RenderApp app;
    initGraphics(app, {.headless = true, .width = width, .height = height});
    DemoParameters parameters;
    Timeline* timeline = createTimeline(timelineFrameCount);
    DemoState state;
    state.camera = makeCamera(parameters.cameraPos, parameters.cameraDir);
    SceneResources scene;
    createSceneResources(app, scene, state, parameters, width, height, createTitleImage(app));
    applyDefaults(state, parameters);
    char* text = static_cast<char*>(std::calloc(sizeof(TIMELINE_JSON_DATA) + 1, 1));
    std::memcpy(text, TIMELINE_JSON_DATA, sizeof(TIMELINE_JSON_DATA));
    loadTimeline(*timeline, text, sizeof(TIMELINE_JSON_DATA));
    std::free(text);

    // The loop's bookkeeping at 60 Hz with the music playing from the first frame.
    double clock = 0.0;
    bool playing = false;
    SoundtrackSource soundtrack = {
        .update = [] {},
        .ready = [] { return true; },
        .recordRender = [] {},
        .playing = [&] { return playing; },
        .play = [&] { playing = true; },
        .positionSeconds = [&] { return (state.simulation.frame + 1) / 60.0; },
    };
    FrameSink frames = {
        .pumpMessages = [] { return false; },
        .beginFrame = [&] { beginSceneFrame(app, scene, *beginFrame(app)); },
        .recordScene =
            [&] {
                CommandList* list = app.frames[scene.frameSlot].commandList;
                if (state.simulation.frame >= last)
                    recordScene(app, scene, state, list);
                else
                    recordSimulation(scene, state, list);
            },
        .endFrame =
            [&] {
                endSceneFrame(app, scene);
                clock += 1000.0 / 60.0;
            },
    };
    MainLoop loop;
    startLoop(loop, state);
    state.simulation.frame = first;
    double started = nowMilliseconds();
    while (state.simulation.frame < last)
        runLoopIteration(loop, state, *timeline, [&] { return clock; }, soundtrack, frames);
    waitForAllFrames(app);
    logMessage("kivrel-frame-steps: frames %u to %u moved in %.0f ms; drawing frame %u at %ux%u, scene %u, "
               "%u particles, %u filter steps, %u samples\n",
               first, last, nowMilliseconds() - started, last, width, height, state.simulation.scene,
               state.scene.numParticles, state.filterSteps, state.frame.sampleCount);

    // Frame `last` twice: the first draw compiles the programs on their first dispatch, the
    // second is measured, by GPU timestamps per step and by the CPU from submission to the fence.
    double submitted = 0.0;
    for (int draw = 0; draw < 2; ++draw) {
        if (draw == 1)
            scene.timestamps = createTimestampQueries(app, sceneMarkCount);
        FrameContext* frame = beginFrame(app);
        beginSceneFrame(app, scene, *frame);
        recordScene(app, scene, state, frame->commandList);
        endSceneFrame(app, scene);
        submitted = nowMilliseconds();
        waitForAllFrames(app);
    }
    double completed = nowMilliseconds();
    logMessage("kivrel-frame-steps: frame %u: %.1f ms from submission to completion (CPU clock)\n", last,
               completed - submitted);
    double marks[sceneMarkCount] = {};
    if (!scene.timestamps)
        logMessage("kivrel-frame-steps: this device writes no timestamps; CPU time only\n");
    else if (readTimestamps(app, scene.timestamps, marks, sceneMarkCount)) {
        for (uint32_t i = 1; i < sceneMarkCount; ++i)
            logMessage("kivrel-frame-steps:   %-22s %9.1f ms\n", stepNames[i], marks[i] - marks[i - 1]);
        logMessage("kivrel-frame-steps:   %-22s %9.1f ms\n", "whole scene", marks[sceneMarkCount - 1]);
    }

    destroyTimestampQueries(app, scene.timestamps);
    waitForAllFrames(app);
    destroyScenePassesAndBlocks(app, scene);
    destroyTimeline(timeline);
    destroySceneObjects(app, scene);
    destroyGraphics(app);
    return 0;
}
