// The piece without a window or an audio device, frame-locked at 60 Hz, for the capture and
// bench tools: kivrel's own scene objects, frame chain, timeline and main-loop bookkeeping,
// driven by a clock that advances exactly 1000 / 60 ms a frame and a soundtrack that is ready
// from the start. Frame n therefore runs with the audio clock n × 1000 / 60 − 17.4 ms and
// the step (1000 / 60) × the time scale.
#pragma once

#include "app/main_loop.h"
#include "app/piece.h"
#include "gfx/context.h"
#include "tools/tool_report.h"

#include <cstdint>

struct AudioRenderer;

struct HeadlessOptions {
    uint32_t renderWidth = 1920, renderHeight = 1080; // the scene's images
    uint32_t outputWidth = 1920, outputHeight = 1080; // the back buffer the final pass fills
    bool validation = false;                          // Khronos layer; errors counted in app
    ToolIdentity tool = {"kivrel-capture", nullptr};  // names the tool in its failure reports
};

struct HeadlessPiece {
    ToolIdentity tool; // what the graphics layer's allocation failures are reported as
    RenderApp app;
    Piece piece;       // without its soundtrack renderer: the soundtrack is ready from the start
    MainLoop loop;
    SoundtrackSource soundtrack;
    FrameSink frames;
    double clock = 0.0;              // milliseconds, the loop's only clock
    bool playing = false;
    bool draw = true;                // this frame: the whole chain, or the simulation only
    double recordMilliseconds = 0.0; // CPU time of the last frame's recording (prologue and scene)
};

// A headless graphics context, then kivrel's start-up without the soundtrack renderer and the
// panic save. A size beyond the device's images or memory that runs out ends the tool
// (reportToolAllocationFailure).
void startHeadlessPiece(HeadlessPiece& headless, const HeadlessOptions& options);
// The frame the next playFrame shows.
inline uint32_t nextFrame(const HeadlessPiece& headless)
{
    return headless.piece.state.simulation.frame;
}
// One iteration of kivrel's loop. The first shows frame 0 while the music starts (phase
// starting) and the next shows it again (playing); later ones show one frame more each.
// Without draw, only the particles move (scene steps 1 to 3): how late frames are reached.
void playFrame(HeadlessPiece& headless, bool draw);
// kivrel's shutdown, then the context.
void stopHeadlessPiece(HeadlessPiece& headless);

// The whole soundtrack, rendered by kivrel's audio renderer on this context with no audio
// device; null when it could not be read back as 32-bit floats. Destroy with destroyAudioRenderer.
AudioRenderer* renderSoundtrack(RenderApp& app);
