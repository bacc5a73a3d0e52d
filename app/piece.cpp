// Start-up and shutdown of the piece (see piece.h).
#include "app/piece.h"

#include "app/main_loop.h"
#include "app/timeline_save.h"
#include "audio/renderer.h"
#include "core/log.h"
#include "gfx/context.h"

void startPiece(RenderApp& app, Piece& piece, const PieceOptions& options)
{
    piece.timeline = createTimeline(timelineFrameCount);
    if (options.soundtrack)
        piece.audio = createAudioRenderer(app);
    Image* textImage = createTitleImage(app);
    piece.state.camera = makeCamera(piece.parameters.cameraPos, piece.parameters.cameraDir);
    createSceneResources(app, piece.scene, piece.state, piece.parameters, options.renderWidth, options.renderHeight,
                         textImage);
    applyDefaults(piece.state, piece.parameters);
    loadCompiledInTimeline(*piece.timeline);
    if (piece.timeline->tracks.count == 0)
        seedTracks(*piece.timeline, piece.parameters);
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
