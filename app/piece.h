// The piece's objects and their one start-up and one shutdown, each in its fixed order, on a
// graphics context the caller made and releases: kivrel itself (app/main.cpp), the headless
// tools and the tests.
#pragma once

#include "app/main_loop.h"
#include "app/parameters.h"
#include "app/scene.h"
#include "timeline/timeline.h"

#include <cstdint>

struct AudioRenderer;
struct InputState;
struct RenderApp;

struct PieceOptions {
    // The scene's images; the piece renders 1920 x 1080, previews and tests smaller.
    uint32_t renderWidth = uint32_t(::renderWidth), renderHeight = uint32_t(::renderHeight);
    // The soundtrack renderer (nothing rendered yet, playback requested); the headless tools
    // and tests run the picture without it.
    bool soundtrack = true;
    // A PANIC from then on writes the timeline out (app/timeline_save.h).
    bool saveTimelineOnPanic = true;
    // The compiled-in timeline; the edit mode brings its own (app/edit_model.h) and leaves
    // piece.timeline null.
    bool compiledInTimeline = true;
};

// Every object of the run but the graphics context, owned from start-up to shutdown.
struct Piece {
    DemoParameters parameters;
    Timeline* timeline = nullptr;
    AudioRenderer* audio = nullptr; // null when started without the soundtrack
    DemoState state;
    SceneResources scene;
};

// After the context: the empty timeline (unless the caller brings its own), the audio
// renderer, the title, the camera and the scene's objects, the defaults applied, the
// compiled-in timeline (or the tracks seeded from the defaults when it yields none), the cursor
// hidden where there is a window, the panic hook, playback requested.
void startPiece(RenderApp& app, Piece& piece, const PieceOptions& options);
// Before the context goes: the music stopped, every frame finished, then the objects in their
// fixed order (the audio renderer lets 300 ms of queued sound drain and joins its thread).
void stopPiece(RenderApp& app, Piece& piece);

// The piece's soundtrack and window as the main loop sees them (app/main_loop.h): the renderer
// and player, the message pump, the frame ring and the scene. The test build and the edit mode
// wrap some of them.
SoundtrackSource pieceSoundtrack(RenderApp& app, Piece& piece);
FrameSink pieceFrames(RenderApp& app, Piece& piece, InputState& input);

// kivrel's exit code once a run is over: 3 after validation errors (their count logged), else 0.
int exitCodeOf(const RenderApp& app);
