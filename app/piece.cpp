// Start-up and shutdown of the piece (see piece.h).
#include "app/piece.h"

#include "app/main_loop.h"
#include "app/timeline_save.h"
#include "audio/renderer.h"
#include "core/log.h"
#include "gfx/context.h"

#include <cmath>

void startPiece(RenderApp& app, Piece& piece, const PieceOptions& options)
{
    if (options.compiledInTimeline)
        piece.timeline = createTimeline(timelineFrameCount);
    if (options.soundtrack)
        piece.audio = createAudioRenderer(app);
    Image* textImage = createTitleImage(app);
    piece.state.camera = makeCamera(piece.parameters.cameraPos, piece.parameters.cameraDir);
    createSceneResources(app, piece.scene, piece.state, piece.parameters, options.renderWidth, options.renderHeight,
                         textImage); // the records start with the defaults applied
    if (piece.timeline) {
        loadCompiledInTimeline(*piece.timeline);
        if (piece.timeline->tracks.count == 0)
            seedTracks(*piece.timeline, piece.parameters);
    }
    if (app.window)
        setCursorVisible(app.window, false);
    if (options.saveTimelineOnPanic) {
        panicHook.function = saveTimelineHook;
        panicHook.userData = &piece.timeline;
    }
    if (piece.audio)
        playAudio(*piece.audio); // no effect yet: the soundtrack is rendered in the first frames
}

// The GPU is idle after the second step, which the later ones rely on.
void stopPiece(RenderApp& app, Piece& piece)
{
    // The music ends with the loop; what is queued drains while the GPU finishes its frames.
    if (piece.audio)
        stopAudio(*piece.audio);
    waitForAllFrames(app);
    destroyScenePassesAndBlocks(app, piece.scene);
    destroyAudioRenderer(app, piece.audio);
    // The hook sees a null timeline from here on and saves nothing.
    destroyTimeline(piece.timeline);
    destroySceneObjects(app, piece.scene);
}

SoundtrackSource pieceSoundtrack(RenderApp& app, Piece& piece)
{
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

FrameSink pieceFrames(RenderApp& app, Piece& piece, InputState& input)
{
    return {
        .pumpMessages =
            [&app, &input] {
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
            [&app, &piece] { recordScene(app, piece.scene, piece.state, app.frames[piece.scene.frameSlot].commandList); },
        .endFrame = [&app, &piece] { endSceneFrame(app, piece.scene); },
    };
}

int exitCodeOf(const RenderApp& app)
{
    if (!app.validationErrors)
        return 0;
    logMessage("kivrel: %llu validation errors\n", (unsigned long long)app.validationErrors);
    return 3;
}
