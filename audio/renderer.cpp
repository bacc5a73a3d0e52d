// The audio renderer: GPU synthesis, read-back and conversion, then the device side.
#include "audio/renderer.h"

#include "audio/conversion.h"
#include "core/log.h"
#include "gfx/commands.h"
#include "gfx/context.h"
#include "gfx/descriptors.h"
#include "gfx/fence.h"
#include "gfx/passes.h"
#include "gfx/pipelines.h"
#include "gfx/resources.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr uint32_t threadGroupSize = 256; // numthreads of the synthesis program
constexpr uint32_t frameStride = 8;       // one float2 per frame
constexpr uint32_t wholeRenderFrameLimit = 8;

} // namespace

AudioRenderer* createAudioRenderer(RenderApp& app, const AudioRendererOptions& options)
{
    AudioRenderer* audio = new AudioRenderer;
    audio->durationSeconds = options.durationSeconds;
    audio->sampleRate = options.sampleRate;
    audio->totalFrames = audio->durationSeconds * audio->sampleRate;
    audio->blockAlign = (audio->bitsPerSample / 8) * audio->channels;
    audio->totalBytes = audio->totalFrames * audio->blockAlign;
    audio->waveOut = options.waveOut;

    RootSignatureBuilder rootSignature;
    addDescriptorTable(rootSignature, makeRangeList({makeRange(RANGE_UAV, 1), makeRange(RANGE_CBV, 1)}),
                       VISIBILITY_ALL);
    audio->pipeline = createComputePipeline(app, rootSignature, options.program);
    freeRootSignatureBuilder(rootSignature);

    uint64_t trackBytes = uint64_t(audio->totalFrames) * frameStride;
    audio->outputBuffer = createBuffer(app, trackBytes, BufferType::ReadWrite, nullptr, true,
                                       RESOURCE_FLAG_ALLOW_UNORDERED_ACCESS);
    audio->readbackBuffer = createBuffer(app, trackBytes, BufferType::Readback, nullptr, false, RESOURCE_FLAG_NONE);
    audio->copyFence = createGpuFence(app, "AudioRenderer::copyFence");
    audio->constantBuffer = createBuffer(app, sizeof(AudioData), BufferType::Constant, nullptr, false, RESOURCE_FLAG_NONE);
    audio->constantUpload = createBuffer(app, sizeof(AudioData), BufferType::Upload, nullptr, false, RESOURCE_FLAG_NONE);
    audio->audioData.duration = float(audio->durationSeconds);
    audio->audioData.sampleRate = audio->sampleRate;

    AudioPlayer& player = audio->player;
    if (audio->waveOut)
        player.waveOut = audio->waveOut;
    player.sampleRate = audio->sampleRate;
    player.channels = audio->channels;
    player.totalFrames = audio->totalFrames;
    return audio;
}

void destroyAudioRenderer(RenderApp& app, AudioRenderer*& audio)
{
    if (!audio)
        return;
    if (audioPlaying(*audio))
        stopAudio(*audio);
    // Lets what is queued play out before the device is closed: 300 ms from the stop, which
    // may have come a while before (the piece stops the music as its loop ends).
    double drained = nowMilliseconds() - audio->player.stoppedAt;
    if (audio->player.device && drained < 300.0)
        sleepMilliseconds(uint32_t(300.0 - drained));
    shutdownAudioPlayer(audio->player);
    destroyPipeline(app, audio->pipeline);
    destroyBuffer(app, audio->outputBuffer);
    destroyBuffer(app, audio->readbackBuffer);
    destroyGpuFence(app, audio->copyFence);
    destroyBuffer(app, audio->constantBuffer);
    destroyBuffer(app, audio->constantUpload);
    std::free(audio->samples);
    delete audio;
    audio = nullptr;
}

void recordAudioRender(AudioRenderer& audio, CommandList* list, DescriptorHeap& heap, BarrierBatch& barriers)
{
    if (audio.state != RendererState::Idle)
        return;

    // An upload buffer that cannot be mapped leaves the constants as they were.
    if (void* upload = mapBuffer(audio.constantUpload)) {
        std::memcpy(upload, &audio.audioData, sizeof(AudioData));
        unmapBuffer(audio.constantUpload);
        requestTransition(barriers, audio.constantBuffer, STATE_COPY_DEST);
        flushBarriers(barriers, list);
        copyBuffer(list, audio.constantBuffer, audio.constantUpload);
        requestTransition(barriers, audio.constantBuffer, STATE_VERTEX_AND_CONSTANT_BUFFER);
        flushBarriers(barriers, list);
    }

    setDescriptorHeap(list, &heap);
    setPipeline(list, audio.pipeline);
    DescriptorTable table = allocateDescriptors(heap, 2);
    writeBufferUAV(table, audio.outputBuffer, audio.totalFrames, frameStride);
    writeCBV(table, audio.constantBuffer, sizeof(AudioData));
    setRootDescriptorTable(list, 0, table);
    // Whole groups only: the last totalFrames % 256 frames keep the buffer's zeros.
    dispatch(list, audio.totalFrames / threadGroupSize, 1, 1);

    requestTransition(barriers, audio.outputBuffer, STATE_COPY_SOURCE);
    flushBarriers(barriers, list);
    copyBuffer(list, audio.readbackBuffer, audio.outputBuffer);
    flushBarriers(barriers, list);
    audio.state = RendererState::Rendering;
}

void updateAudio(RenderApp& app, AudioRenderer& audio)
{
    if (audio.state == RendererState::Rendering) {
        // The render was submitted with the previous frame; this signal follows it.
        signalGpuFence(app, audio.copyFence, ++audio.fenceValue);
        audio.state = RendererState::ReadingBack;
        return;
    }
    if (audio.state != RendererState::ReadingBack)
        return;

    if (gpuFenceValue(app, audio.copyFence) < audio.fenceValue)
        waitForGpuFence(app, audio.copyFence, audio.fenceValue);

    audio.samples = static_cast<uint8_t*>(std::malloc(audio.totalBytes));
    if (!audio.samples)
        return; // retried next frame

    AudioPlayer& player = audio.player;
    if (audio.waveOut) {
        negotiateAudioFormat(player);
        audio.bitsPerSample = player.bitsPerSample;
    }

    const float* frames = static_cast<const float*>(mapBuffer(audio.readbackBuffer));
    if (!frames) {
        std::memset(audio.samples, 0, audio.totalBytes); // silence rather than stale memory
    } else {
        if (audio.bitsPerSample == 16)
            convertToPcm16(frames, audio.totalFrames, audio.channels, reinterpret_cast<int16_t*>(audio.samples));
        else
            std::memcpy(audio.samples, frames, size_t(audio.totalFrames) * frameStride);
        unmapBuffer(audio.readbackBuffer);
    }

    if (audio.waveOut)
        openAudioOutput(player, audio.samples);
    destroyGpuFence(app, audio.copyFence);
    if (audio.waveOut)
        startAudioStreaming(player);
    audio.state = RendererState::Ready;
}

bool renderWholeSoundtrack(RenderApp& app, AudioRenderer& audio, SoundtrackTimes* times)
{
    DescriptorHeap* heap = createDescriptorHeap(app, HEAP_CBV_SRV_UAV, 16, HEAP_FLAG_SHADER_VISIBLE);
    BarrierBatch barriers;
    SoundtrackTimes seen;
    // Frame 0 records the render, frame 1 enqueues the completion signal, frame 2 reads back;
    // a frame more for each time the samples find no memory.
    for (uint32_t frame = 0; frame < wholeRenderFrameLimit && audio.state != RendererState::Ready; ++frame) {
        FrameContext* context = beginFrame(app);
        if (audio.state == RendererState::ReadingBack) {
            // Waiting here rather than inside updateAudio times the GPU work alone.
            waitForGpuFence(app, audio.copyFence, audio.fenceValue);
            seen.completed = nowMilliseconds();
        }
        updateAudio(app, audio);
        RendererState before = audio.state;
        recordAudioRender(audio, context->commandList, *heap, barriers);
        if (before == RendererState::Idle && audio.state == RendererState::Rendering)
            seen.recorded = nowMilliseconds();
        endFrame(app);
    }
    waitForAllFrames(app);
    destroyDescriptorHeap(app, heap);
    freeBarrierBatch(barriers);
    if (times)
        *times = seen;
    return audio.state == RendererState::Ready;
}

void playAudio(AudioRenderer& audio)
{
    if (audio.state == RendererState::Ready)
        restartPlayer(audio.player);
}

void stopAudio(AudioRenderer& audio)
{
    if (audio.state == RendererState::Ready)
        stopPlayer(audio.player);
}

void seekAudio(AudioRenderer& audio, uint32_t frame)
{
    if (audio.state == RendererState::Ready)
        seekPlayer(audio.player, frame);
}

void pauseAudio(AudioRenderer& audio)
{
    if (audio.state == RendererState::Ready)
        pausePlayer(audio.player);
}

bool audioPlaying(const AudioRenderer& audio)
{
    return audio.player.playing.load(std::memory_order_relaxed);
}

PlaybackClock audioClock(const AudioRenderer& audio)
{
    return playerClock(audio.player);
}
