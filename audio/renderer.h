// The soundtrack's owner: renders the whole track once with the synthesis program, reads it
// back, converts it to the device's format and streams it (audio/player.h). Records GPU work
// only through the graphics layer; the main loop drives it once per frame.
#pragma once

#include "audio/player.h"
#include "shaders/ParticleConfig.h"
#include "shaders/shader_bytecode.h"

#include <cstdint>

struct RenderApp;
struct CommandList;
struct DescriptorHeap;
struct BarrierBatch;
struct Buffer;
struct Pipeline;
struct GpuFence;

struct AudioRendererOptions {
    uint32_t durationSeconds = 180;
    uint32_t sampleRate = 44100;
    // Null renders and reads back the track without any audio device (export, tests).
    const WaveOut* waveOut = &platformWaveOut;
    ShaderBytecode program = AudioProcessCS; // a test may run another program of the same bindings
};

enum class RendererState : uint32_t {
    Idle,        // created; nothing recorded yet
    Rendering,   // the render is recorded into a frame
    ReadingBack, // its completion signal is enqueued; the next update waits and reads back
    Ready,       // the samples are in CPU memory, converted; the device side has started
};

struct AudioRenderer {
    RendererState state = RendererState::Idle;
    uint32_t durationSeconds = 180;
    uint32_t sampleRate = 44100;
    uint32_t channels = 2;
    uint32_t bitsPerSample = 32; // 16 once the device has refused floats
    uint32_t totalFrames = 0;    // durationSeconds * sampleRate
    uint32_t blockAlign = 0;     // bytes per frame of the float format
    uint32_t totalBytes = 0;     // size of the sample block

    AudioData audioData{};              // CPU copy of the program's constants
    Buffer* constantBuffer = nullptr;   // DEFAULT heap, filled through constantUpload
    Buffer* constantUpload = nullptr;
    Pipeline* pipeline = nullptr;
    Buffer* outputBuffer = nullptr;     // one float2 per frame, zeroed
    Buffer* readbackBuffer = nullptr;
    GpuFence* copyFence = nullptr;      // released once the track is in CPU memory
    uint64_t fenceValue = 0;

    uint8_t* samples = nullptr;         // totalBytes; 16-bit samples use its first half
    const WaveOut* waveOut = nullptr;
    AudioPlayer player;
};

// Builds the pipeline and buffers; nothing is recorded yet.
AudioRenderer* createAudioRenderer(RenderApp& app, const AudioRendererOptions& options = {});
// Stops playback unless stopped already, lets queued sound drain (300 ms from the stop), joins
// the streaming thread and closes the device before the samples are freed; GPU objects go
// through deferred release.
void destroyAudioRenderer(RenderApp& app, AudioRenderer*& audio);

// Idle only: records the constants' upload, one dispatch of totalFrames / 256 groups and
// the copy to the read-back buffer into the frame's list, then Rendering. Otherwise nothing.
void recordAudioRender(AudioRenderer& audio, CommandList* list, DescriptorHeap& heap, BarrierBatch& barriers);
// Once per frame before any recording: Rendering -> ReadingBack enqueues the completion
// signal; ReadingBack -> Ready waits for it (the one blocking wait), reads back, converts and
// starts the device and thread.
void updateAudio(RenderApp& app, AudioRenderer& audio);

// When renderWholeSoundtrack recorded the render and saw it complete (nowMilliseconds()).
struct SoundtrackTimes {
    double recorded = 0.0;
    double completed = 0.0;
};
// The whole track outside the piece's frames (the export, the capture, tests): frames of
// their own on the context, with a heap and barriers of their own, until the samples are
// ready, at most a few frames; the GPU is idle afterwards. False when they are not ready by
// then (no memory for the samples).
bool renderWholeSoundtrack(RenderApp& app, AudioRenderer& audio, SoundtrackTimes* times = nullptr);

// Ready only: playback (re)starts from frame 0, or stops.
void playAudio(AudioRenderer& audio);
void stopAudio(AudioRenderer& audio);
// Ready only: plays from timeline frame's sound (audio/player.h), or pauses where it is.
void seekAudio(AudioRenderer& audio, uint32_t frame);
void pauseAudio(AudioRenderer& audio);
bool audioPlaying(const AudioRenderer& audio);
// The device's count as a clock (audio/player.h); all zero before the device opens.
PlaybackClock audioClock(const AudioRenderer& audio);
