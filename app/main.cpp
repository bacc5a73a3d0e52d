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

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// What a test build may ask for; the piece itself takes no command line.
struct TestOptions {
    uint32_t firstFrame = 0;      // --first-frame N: the frame index the music starts at
    bool panicWhenReady = false;  // --panic-when-ready: PANIC in the first frame with the soundtrack ready
    bool validation = false;      // --validation: Khronos layer on; errors make the exit code 3
    // --render-size WxH: the scene's images, so that lavapipe shows many frames in a short run
    uint32_t renderWidth = uint32_t(::renderWidth), renderHeight = uint32_t(::renderHeight);
    bool logFrames = false;       // set by the test build: one line per presented frame
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
        else if (std::strcmp(argv[i], "--render-size") == 0 && i + 1 < argc) {
            // The compute groups are 32 pixels wide.
            uint32_t width = 0, height = 0;
            if (std::sscanf(argv[++i], "%ux%u", &width, &height) == 2 && width && width % 32 == 0 && height) {
                options.renderWidth = width;
                options.renderHeight = height;
            }
        }
    }
    options.logFrames = true;
#endif
    return options;
}

// Every object of the run, owned by main() from start-up to shutdown.
struct Piece {
    RenderApp app;
    DemoParameters parameters;
    Timeline* timeline = nullptr;
    AudioRenderer* audio = nullptr;
    DemoState state;
    SceneResources scene;
    InputState input = {};
};

// >>start-up, in its fixed order
void startPiece(Piece& piece, const TestOptions& test)
{
    RenderApp& app = piece.app;
    initGraphics(app, {.validation = test.validation});
    piece.timeline = createTimeline(timelineFrameCount);
    piece.audio = createAudioRenderer(app);
    Image* textImage = createTitleImage(app);
    piece.state.camera = makeCamera(piece.parameters.cameraPos, piece.parameters.cameraDir);
    createSceneResources(app, piece.scene, piece.state, piece.parameters, test.renderWidth, test.renderHeight,
                         textImage);
    applyDefaults(piece.state, piece.parameters);
    loadCompiledInTimeline(*piece.timeline);
    setCursorVisible(app.window, false);
    if (piece.timeline->tracks.count == 0)
        seedTracks(*piece.timeline, piece.parameters);
    // From here on a PANIC writes the timeline out before the process ends.
    panicHook.function = saveTimelineHook;
    panicHook.userData = &piece.timeline;
    playAudio(*piece.audio); // no effect yet: the soundtrack is rendered in the first frames
}

SoundtrackSource pieceSoundtrack(Piece& piece)
{
    return {
        .update = [&piece] { updateAudio(piece.app, *piece.audio); },
        .ready = [&piece] { return piece.audio->state == 3; },
        .recordRender =
            [&piece] {
                SceneResources& scene = piece.scene;
                recordAudioRender(*piece.audio, piece.app.frames[scene.frameSlot].commandList, *scene.frameHeap,
                                  scene.barriers);
            },
        .playing = [&piece] { return audioPlaying(*piece.audio); },
        .play =
            [&piece] {
                playAudio(*piece.audio);
                logMessage("kivrel: soundtrack ready, playing from frame %u\n", piece.state.simulation.frame);
            },
        .clock = [&piece] { return audioClock(*piece.audio); },
    };
}

FrameSink pieceFrames(Piece& piece, const TestOptions& test)
{
    return {
        .pumpMessages =
            [&piece] {
                pumpMessages(piece.app, piece.input);
                return piece.app.windowState.quit;
            },
        .shown = [&piece] { return windowShown(piece.app.window); },
        .waitUntil =
            [](double until) {
                double wait = until - nowMilliseconds();
                if (wait > 0.0)
                    sleepMilliseconds(uint32_t(std::ceil(wait)));
            },
        .beginFrame =
            [&piece] {
                FrameContext* frame = beginFrame(piece.app);
                if (!frame)
                    PANIC("PANIC: WTF!?\n");
                beginSceneFrame(piece.app, piece.scene, *frame);
            },
        .recordScene =
            [&piece, &test] {
                if (test.panicWhenReady)
                    PANIC("PANIC: forced by the test build once the soundtrack is ready\n");
                recordScene(piece.app, piece.scene, piece.state, piece.app.frames[piece.scene.frameSlot].commandList);
            },
        .endFrame =
            [&piece, &test] {
                endSceneFrame(piece.app, piece.scene);
                if (test.logFrames)
                    logMessage("kivrel: frame %u submitted at %.3f s\n", piece.state.simulation.frame,
                               nowMilliseconds() / 1000.0);
            },
    };
}

// >>shutdown: the GPU is idle after the first step, which the later ones rely on
void stopPiece(Piece& piece)
{
    // The music ends with the loop; what is queued drains while the GPU finishes its frames.
    stopAudio(*piece.audio);
    waitForAllFrames(piece.app);
    destroyScenePassesAndBlocks(piece.app, piece.scene);
    destroyAudioRenderer(piece.app, piece.audio); // the rest of 300 ms of draining, joins the streaming thread
    // The hook sees a null timeline from here on and saves nothing.
    destroyTimeline(piece.timeline);
    destroySceneObjects(piece.app, piece.scene);
    destroyGraphics(piece.app);
}

} // namespace

int main(int argc, char** argv)
{
    const TestOptions test = readTestOptions(argc, argv);
    Piece piece;
    startPiece(piece, test);

    SoundtrackSource soundtrack = pieceSoundtrack(piece);
    FrameSink frames = pieceFrames(piece, test);
    MainLoop loop;
    loop.firstFrame = test.firstFrame;
    startLoop(loop, piece.state);
    while (runLoopIteration(loop, piece.state, *piece.timeline, nowMilliseconds, soundtrack, frames)) {
    }
    loop.phase = LoopPhase::Teardown;

    stopPiece(piece);
    logMessage("kivrel: shut down after frame %u\n", piece.state.simulation.frame);
    if (piece.app.validationErrors) {
        logMessage("kivrel: %llu validation errors\n", (unsigned long long)piece.app.validationErrors);
        return 3;
    }
    return 0;
}
