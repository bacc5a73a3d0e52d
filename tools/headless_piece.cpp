// The piece headless and frame-locked at 60 Hz (see headless_piece.h).
#include "tools/headless_piece.h"

#include "audio/renderer.h"
#include "system/system.h"

namespace {

// The music has played the frame shown once that frame is presented: the next frame's clock
// is (n + 1) × 1000 / 60 − 17.4 ms, read at the moment it was reached.
SoundtrackSource readySoundtrack(HeadlessPiece& headless)
{
    return {
        .update = [] {},
        .ready = [] { return true; },
        .recordRender = [] {},
        .playing = [&headless] { return headless.playing; },
        .play = [&headless] { headless.playing = true; },
        .clock =
            [&headless] {
                return PlaybackClock{.taken = (headless.piece.state.simulation.frame + 1) * timelineFrameMilliseconds,
                                     .movedAt = headless.clock,
                                     .latency = audioLatencyMilliseconds};
            },
    };
}

FrameSink offscreenFrames(HeadlessPiece& headless)
{
    RenderApp& app = headless.app;
    Piece& piece = headless.piece;
    return {
        .pumpMessages = [] { return false; },
        .shown = [] { return true; },
        .waitUntil = [](double) {},
        .beginFrame =
            [&headless, &app, &piece] {
                FrameContext* frame = beginFrame(app);
                double start = nowMilliseconds(); // the wait for the frame slot is the GPU's time
                beginSceneFrame(app, piece.scene, *frame);
                headless.recordMilliseconds = nowMilliseconds() - start;
            },
        .recordScene =
            [&headless, &app, &piece] {
                double start = nowMilliseconds();
                CommandList* list = app.frames[piece.scene.frameSlot].commandList;
                if (headless.draw)
                    recordScene(app, piece.scene, piece.state, list);
                else
                    recordSimulation(piece.scene, piece.state, list);
                headless.recordMilliseconds += nowMilliseconds() - start;
            },
        .endFrame =
            [&headless, &app, &piece] {
                endSceneFrame(app, piece.scene);
                headless.clock += timelineFrameMilliseconds;
            },
    };
}

} // namespace

void startHeadlessPiece(HeadlessPiece& headless, const HeadlessOptions& options)
{
    headless.tool = options.tool;
    initGraphics(headless.app, {.headless = true,
                                .width = options.outputWidth,
                                .height = options.outputHeight,
                                .validation = options.validation,
                                .allocationFailureReport = reportToolAllocationFailure,
                                .allocationFailureData = &headless.tool});
    startPiece(headless.app, headless.piece,
               {.renderWidth = options.renderWidth,
                .renderHeight = options.renderHeight,
                .soundtrack = false,
                .saveTimelineOnPanic = false});
    headless.soundtrack = readySoundtrack(headless);
    headless.frames = offscreenFrames(headless);

    DemoState& state = headless.piece.state;
    headless.loop.frameClock = FrameClock::FrameLocked;
    startLoop(headless.loop, state);
    // What kivrel's frames while the soundtrack is prepared leave behind: frame 0's track
    // values, and a step of one frame at its time scale.
    evaluateFrame(state, *headless.piece.timeline);
    state.simulation.time = float(-audioLatencyMilliseconds);
    state.simulation.dt = float(timelineFrameMilliseconds) * state.timeScale;
}

void playFrame(HeadlessPiece& headless, bool draw)
{
    headless.draw = draw;
    runLoopIteration(headless.loop, headless.piece.state, *headless.piece.timeline,
                     [&headless] { return headless.clock; }, headless.soundtrack, headless.frames);
}

void stopHeadlessPiece(HeadlessPiece& headless)
{
    stopPiece(headless.app, headless.piece);
    destroyGraphics(headless.app);
}

AudioRenderer* renderSoundtrack(RenderApp& app)
{
    AudioRenderer* audio = createAudioRenderer(app, {.waveOut = nullptr});
    if (!renderWholeSoundtrack(app, *audio) || audio->bitsPerSample != 32)
        destroyAudioRenderer(app, audio); // leaves it null
    return audio;
}
