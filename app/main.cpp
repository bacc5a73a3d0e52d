// Entry point of the piece: the graphics context, start-up (app/piece), the main loop and
// shutdown, or with --edit the edit mode (app/edit_mode). Owns every object of the run; the loop's
// bookkeeping is app/main_loop, the frame's GPU work app/scene. A test build (KIVREL_TEST_BUILD)
// also takes options that only tests use.
#include "app/edit_mode.h"
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

// The command line: nothing for the piece, --edit for the edit mode; a test build also takes
// options that only tests use.
struct TestOptions {
    bool edit = false;            // --edit: the edit mode (app/edit_mode.h)
    uint32_t firstFrame = 0;      // --first-frame N: the frame index the music starts at
    bool panicWhenReady = false;  // --panic-when-ready: PANIC in the first frame with the soundtrack ready
    bool validation = false;      // --validation: Khronos layer on; errors make the exit code 3
    // --render-size WxH: the scene's images (the edit mode's preview, or in a test build the
    // piece's, so that lavapipe shows many frames in a short run); 0 x 0 is the mode's default
    uint32_t renderWidth = 0, renderHeight = 0;
    bool logFrames = false;       // set by the test build: one line per presented frame
};

#ifdef KIVREL_TEST_BUILD
constexpr bool testBuild = true;
constexpr const char* usage = "usage: kivrel [--edit] [--render-size WxH] [--first-frame N] [--panic-when-ready] "
                              "[--validation]\n";
#else
constexpr bool testBuild = false;
constexpr const char* usage = "usage: kivrel [--edit [--render-size WxH]]\n";
#endif

// False on an option it does not know or a value it cannot read.
bool readOptions(int argc, char** argv, TestOptions& options)
{
    for (int i = 1; i < argc; ++i) {
        const char* option = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (std::strcmp(option, "--edit") == 0) {
            options.edit = true;
        } else if (std::strcmp(option, "--render-size") == 0 && value) {
            // The compute groups are 32 pixels wide.
            uint32_t width = 0, height = 0;
            char end = 0;
            if (std::sscanf(value, "%ux%u%c", &width, &height, &end) != 2 || !width || width % 32 || !height)
                return false;
            options.renderWidth = width;
            options.renderHeight = height;
            ++i;
        } else if (testBuild && std::strcmp(option, "--first-frame") == 0 && value) {
            options.firstFrame = uint32_t(std::strtoul(value, nullptr, 10));
            ++i;
        } else if (testBuild && std::strcmp(option, "--panic-when-ready") == 0) {
            options.panicWhenReady = true;
        } else if (testBuild && std::strcmp(option, "--validation") == 0) {
            options.validation = true;
        } else {
            return false;
        }
    }
    // Only the edit mode and tests choose the render size.
    if (!testBuild && !options.edit && options.renderWidth)
        return false;
    options.logFrames = testBuild;
    return true;
}

// Every object of the run, owned by main() from start-up to shutdown.
struct Run {
    RenderApp app;
    Piece piece;
    InputState input = {};
};

// The piece's frames with what the test build adds: a forced PANIC, a line per frame.
FrameSink testFrames(Run& run, const TestOptions& test)
{
    FrameSink frames = pieceFrames(run.app, run.piece, run.input);
    frames.recordScene = [&test, recordScene = frames.recordScene] {
        if (test.panicWhenReady)
            PANIC("PANIC: forced by the test build once the soundtrack is ready\n");
        recordScene();
    };
    frames.endFrame = [&piece = run.piece, &test, endFrame = frames.endFrame] {
        endFrame();
        if (test.logFrames)
            logMessage("kivrel: frame %u submitted at %.3f s\n", piece.state.simulation.frame,
                       nowMilliseconds() / 1000.0);
    };
    return frames;
}

} // namespace

int main(int argc, char** argv)
{
    TestOptions test;
    if (!readOptions(argc, argv, test)) {
        std::fputs(usage, stderr);
        return 2;
    }
    if (test.edit)
        return runEditMode({.renderWidth = test.renderWidth ? test.renderWidth : editRenderWidth,
                            .renderHeight = test.renderHeight ? test.renderHeight : editRenderHeight,
                            .validation = test.validation});
    Run run;
    Piece& piece = run.piece;
    initGraphics(run.app, {.validation = test.validation});
    startPiece(run.app, piece,
               {.renderWidth = test.renderWidth ? test.renderWidth : uint32_t(::renderWidth),
                .renderHeight = test.renderHeight ? test.renderHeight : uint32_t(::renderHeight)});

    SoundtrackSource soundtrack = pieceSoundtrack(run.app, piece);
    FrameSink frames = testFrames(run, test);
    MainLoop loop;
    loop.firstFrame = test.firstFrame;
    runMainLoop(loop, piece.state, *piece.timeline, nowMilliseconds, soundtrack, frames);

    stopPiece(run.app, piece);
    destroyGraphics(run.app);
    logMessage("kivrel: shut down after frame %u\n", piece.state.simulation.frame);
    return exitCodeOf(run.app);
}
