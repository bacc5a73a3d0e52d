// The piece headless and frame-locked at 60 Hz (see headless_piece.h).
#include "tools/headless_piece.h"

#include "audio/renderer.h"
#include "gfx/descriptors.h"
#include "gfx/passes.h"
#include "platform/platform.h"
#include "timeline/timeline_io.h"

namespace {

constexpr double frameMilliseconds = 1000.0 / 60.0;

} // namespace

void startHeadlessPiece(HeadlessPiece& piece, const HeadlessOptions& options)
{
    piece.tool = options.tool;
    initGraphics(piece.app, {.headless = true,
                             .width = options.outputWidth,
                             .height = options.outputHeight,
                             .validation = options.validation,
                             .allocationFailureReport = reportToolAllocationFailure,
                             .allocationFailureData = &piece.tool});
    piece.timeline = createTimeline(timelineFrameCount);
    Image* textImage = createTitleImage(piece.app);
    DemoState& state = piece.state;
    state.camera = makeCamera(piece.parameters.cameraPos, piece.parameters.cameraDir);
    createSceneResources(piece.app, piece.scene, state, piece.parameters, options.renderWidth, options.renderHeight,
                         textImage);
    applyDefaults(state, piece.parameters);
    loadCompiledInTimeline(*piece.timeline);
    if (piece.timeline->tracks.count == 0)
        seedTracks(*piece.timeline, piece.parameters);

    // The music has played the frame shown once that frame is presented: the next frame's
    // clock is (n + 1) × 1000 / 60 − 17.4 ms, read at the moment it was reached.
    piece.soundtrack = {
        .update = [] {},
        .ready = [] { return true; },
        .recordRender = [] {},
        .playing = [&piece] { return piece.playing; },
        .play = [&piece] { piece.playing = true; },
        .clock =
            [&piece] {
                return PlaybackClock{.taken = (piece.state.simulation.frame + 1) * frameMilliseconds,
                                     .movedAt = piece.clock,
                                     .latency = audioLatencyMilliseconds};
            },
    };
    piece.frames = {
        .pumpMessages = [] { return false; },
        .shown = [] { return true; },
        .waitUntil = [](double) {},
        .beginFrame =
            [&piece] {
                FrameContext* frame = beginFrame(piece.app);
                double start = nowMilliseconds(); // the wait for the frame slot is the GPU's time
                beginSceneFrame(piece.app, piece.scene, *frame);
                piece.recordMilliseconds = nowMilliseconds() - start;
            },
        .recordScene =
            [&piece] {
                double start = nowMilliseconds();
                CommandList* list = piece.app.frames[piece.scene.frameSlot].commandList;
                if (piece.draw)
                    recordScene(piece.app, piece.scene, piece.state, list);
                else
                    recordSimulation(piece.scene, piece.state, list);
                piece.recordMilliseconds += nowMilliseconds() - start;
            },
        .endFrame =
            [&piece] {
                endSceneFrame(piece.app, piece.scene);
                piece.clock += frameMilliseconds;
            },
    };

    piece.loop.frameClock = FrameClock::FrameLocked;
    startLoop(piece.loop, state);
    // What kivrel's frames while the soundtrack is prepared leave behind: frame 0's track
    // values, and a step of one frame at its time scale.
    evaluateFrame(state, *piece.timeline);
    state.simulation.time = float(-audioLatencyMilliseconds);
    state.simulation.dt = float(frameMilliseconds) * state.timeScale;
}

void playFrame(HeadlessPiece& piece, bool draw)
{
    piece.draw = draw;
    runLoopIteration(piece.loop, piece.state, *piece.timeline, [&piece] { return piece.clock; }, piece.soundtrack,
                     piece.frames);
}

void stopHeadlessPiece(HeadlessPiece& piece)
{
    waitForAllFrames(piece.app);
    destroyScenePassesAndBlocks(piece.app, piece.scene);
    destroyTimeline(piece.timeline);
    destroySceneObjects(piece.app, piece.scene);
    destroyGraphics(piece.app);
}

AudioRenderer* renderSoundtrack(RenderApp& app)
{
    DescriptorHeap* heap = createDescriptorHeap(app, HEAP_CBV_SRV_UAV, 16, HEAP_FLAG_SHADER_VISIBLE);
    BarrierBatch barriers;
    AudioRenderer* audio = createAudioRenderer(app, {.waveOut = nullptr});
    // Frame 0 records the render, frame 1 enqueues the completion signal, frame 2 reads back.
    while (audio->state != 3) {
        FrameContext* frame = beginFrame(app);
        updateAudio(app, *audio);
        recordAudioRender(*audio, frame->commandList, *heap, barriers);
        endFrame(app);
    }
    waitForAllFrames(app);
    destroyDescriptorHeap(app, heap);
    freeBarrierBatch(barriers);
    if (audio->bitsPerSample != 32) {
        destroyAudioRenderer(app, audio);
        return nullptr;
    }
    return audio;
}
