// Entry point of the piece: start-up, the main loop and shutdown, each in its fixed order.
// Owns every object of the run; the loop's bookkeeping is app/main_loop, the frame's GPU work
// app/scene. A test build (KIVREL_TEST_BUILD) also takes options that only tests use.
#include "app/main_loop.h"
#include "app/parameters.h"
#include "app/scene.h"
#include "audio/renderer.h"
#include "core/log.h"
#include "gfx/context.h"
#include "platform/platform.h"
#include "timeline/timeline_io.h"

#include <cstdlib>
#include <cstring>

namespace {

// What a test build may ask for; the piece itself takes no command line.
struct TestOptions {
    uint32_t firstFrame = 0;      // --first-frame N: the frame index the music starts at
    bool panicWhenReady = false;  // --panic-when-ready: PANIC in the first frame with the soundtrack ready
    bool validation = false;      // --validation: Khronos layer on; errors make the exit code 3
    bool logFrames = false;       // set by either: one line per presented frame
};

TestOptions readTestOptions([[maybe_unused]] int argc, [[maybe_unused]] char** argv)
{
    TestOptions options;
#ifdef KIVREL_TEST_BUILD
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--first-frame") == 0 && i + 1 < argc)
            options.firstFrame = uint32_t(std::strtoul(argv[++i], nullptr, 10));
        else if (std::strcmp(argv[i], "--panic-when-ready") == 0)
            options.panicWhenReady = true;
        else if (std::strcmp(argv[i], "--validation") == 0)
            options.validation = true;
    }
    options.logFrames = true;
#endif
    return options;
}

} // namespace

int main(int argc, char** argv)
{
    const TestOptions test = readTestOptions(argc, argv);

    // >>start-up
    RenderApp app;
    initGraphics(app, {.validation = test.validation});
    DemoParameters parameters;
    Timeline* timeline = createTimeline(timelineFrameCount);
    AudioRenderer* audio = createAudioRenderer(app);
    Image* textImage = createTitleImage(app);
    DemoState state;
    state.camera = makeCamera(parameters.cameraPos, parameters.cameraDir);
    SceneResources scene;
    createSceneResources(app, scene, state, parameters, uint32_t(renderWidth), uint32_t(renderHeight), textImage);
    applyDefaults(state, parameters);
    loadCompiledInTimeline(*timeline);
    setCursorVisible(app.window, false);
    if (timeline->tracks.count == 0)
        seedTracks(*timeline, parameters);
    // From here on a PANIC writes the timeline out before the process ends.
    panicHook.function = saveTimelineHook;
    panicHook.userData = &timeline;
    playAudio(*audio); // no effect yet: the soundtrack is rendered in the first frames

    // >>main loop
    InputState input = {};
    SoundtrackSource soundtrack = {
        .update = [&] { updateAudio(app, *audio); },
        .ready = [&] { return audio->state == 3; },
        .recordRender =
            [&] { recordAudioRender(*audio, app.frames[scene.frameSlot].commandList, *scene.frameHeap, scene.barriers); },
        .playing = [&] { return audio->player.playing.load(std::memory_order_relaxed); },
        .play =
            [&] {
                playAudio(*audio);
                logMessage("kivrel: soundtrack ready, playing from frame %u\n", state.simulation.frame);
            },
        .positionSeconds = [&] { return audioPositionSeconds(*audio); },
    };
    FrameSink frames = {
        .pumpMessages =
            [&] {
                pumpMessages(app, input);
                return app.windowState.quit;
            },
        .beginFrame =
            [&] {
                FrameContext* frame = beginFrame(app);
                if (!frame)
                    PANIC("PANIC: WTF!?\n");
                beginSceneFrame(app, scene, *frame);
            },
        .recordScene =
            [&] {
                if (test.panicWhenReady)
                    PANIC("PANIC: forced by the test build once the soundtrack is ready\n");
                recordScene(app, scene, state, app.frames[scene.frameSlot].commandList);
            },
        .endFrame =
            [&] {
                endSceneFrame(app, scene);
                if (test.logFrames)
                    logMessage("kivrel: frame %u submitted\n", state.simulation.frame);
            },
    };
    MainLoop loop;
    startLoop(loop, state);
    state.simulation.frame = test.firstFrame;
    while (runLoopIteration(loop, state, *timeline, nowMilliseconds, soundtrack, frames)) {
    }
    loop.phase = LoopPhase::teardown;

    // >>shutdown: the GPU is idle after the first step, which the later ones rely on
    waitForAllFrames(app);
    destroyScenePassesAndBlocks(app, scene);
    destroyAudioRenderer(app, audio); // stops, 300 ms of draining, joins the streaming thread
    // The hook sees a null timeline from here on and saves nothing.
    destroyTimeline(timeline);
    destroySceneObjects(app, scene);
    destroyGraphics(app);
    logMessage("kivrel: shut down after frame %u\n", state.simulation.frame);
    if (app.validationErrors) {
        logMessage("kivrel: %llu validation errors\n", (unsigned long long)app.validationErrors);
        return 3;
    }
    return 0;
}
