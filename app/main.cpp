// Entry point of the piece: the graphics context, start-up (app/piece), the main loop and
// shutdown. Owns every object of the run; the loop's bookkeeping is app/main_loop, the frame's
// GPU work app/scene. A test build (KIVREL_TEST_BUILD) also takes options that only tests use.
#include "app/main_loop.h"
#include "app/piece.h"
#include "audio/renderer.h"
#include "core/log.h"
#include "gfx/context.h"
#include "platform/platform.h"

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
struct Run {
    RenderApp app;
    Piece piece;
    InputState input = {};
};

SoundtrackSource pieceSoundtrack(Run& run)
{
    RenderApp& app = run.app;
    Piece& piece = run.piece;
    return {
        .update = [&app, &piece] { updateAudio(app, *piece.audio); },
        .ready = [&piece] { return piece.audio->state == RendererState::Ready; },
        .recordRender =
            [&app, &piece] {
                SceneResources& scene = piece.scene;
                recordAudioRender(*piece.audio, app.frames[scene.frameSlot].commandList, *scene.frameHeap,
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

FrameSink pieceFrames(Run& run, const TestOptions& test)
{
    RenderApp& app = run.app;
    Piece& piece = run.piece;
    return {
        .pumpMessages =
            [&app, &input = run.input] {
                pumpMessages(app, input);
                return app.windowState.quit;
            },
        .shown = [&app] { return windowShown(app.window); },
        .waitUntil =
            [](double until) {
                double wait = until - nowMilliseconds();
                if (wait > 0.0)
                    sleepMilliseconds(uint32_t(std::ceil(wait)));
            },
        .beginFrame =
            [&app, &piece] {
                FrameContext* frame = beginFrame(app);
                if (!frame)
                    PANIC("PANIC: WTF!?\n");
                beginSceneFrame(app, piece.scene, *frame);
            },
        .recordScene =
            [&app, &piece, &test] {
                if (test.panicWhenReady)
                    PANIC("PANIC: forced by the test build once the soundtrack is ready\n");
                recordScene(app, piece.scene, piece.state, app.frames[piece.scene.frameSlot].commandList);
            },
        .endFrame =
            [&app, &piece, &test] {
                endSceneFrame(app, piece.scene);
                if (test.logFrames)
                    logMessage("kivrel: frame %u submitted at %.3f s\n", piece.state.simulation.frame,
                               nowMilliseconds() / 1000.0);
            },
    };
}

} // namespace

int main(int argc, char** argv)
{
    const TestOptions test = readTestOptions(argc, argv);
    Run run;
    Piece& piece = run.piece;
    initGraphics(run.app, {.validation = test.validation});
    startPiece(run.app, piece, {.renderWidth = test.renderWidth, .renderHeight = test.renderHeight});

    SoundtrackSource soundtrack = pieceSoundtrack(run);
    FrameSink frames = pieceFrames(run, test);
    MainLoop loop;
    loop.firstFrame = test.firstFrame;
    runMainLoop(loop, piece.state, *piece.timeline, nowMilliseconds, soundtrack, frames);

    stopPiece(run.app, piece);
    destroyGraphics(run.app);
    logMessage("kivrel: shut down after frame %u\n", piece.state.simulation.frame);
    if (run.app.validationErrors) {
        logMessage("kivrel: %llu validation errors\n", (unsigned long long)run.app.validationErrors);
        return 3;
    }
    return 0;
}
