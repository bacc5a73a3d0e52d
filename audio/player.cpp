// The streaming player. Three threads meet here: the main thread (play, stop, position,
// shutdown), the streaming thread, and the device's callback thread (marks headers free).
#include "audio/player.h"

#include "core/log.h"

#include <algorithm>

// The platform's audio device (platform/platform.h) behind the seam that tests replace.
const WaveOut platformWaveOut = {.query = queryAudioFormat, .open = openAudioDevice, .write = writeAudioHeader,
                                 .errorText = audioErrorText, .clock = audioDeviceClock, .close = closeAudioDevice};

namespace {

constexpr uint64_t headerFree = 0;
constexpr uint64_t headerQueued = 1;

uint32_t frameBytes(const AudioPlayer& player)
{
    return player.channels * (player.bitsPerSample / 8);
}

// Device callback thread: the header has been played and may be refilled.
void markHeaderDone(void*, AudioHeader* header)
{
    header->user.store(headerFree);
}

int streamThread(void* argument)
{
    AudioPlayer& player = *static_cast<AudioPlayer*>(argument);
    while (player.running.load(std::memory_order_relaxed)) {
        streamAudioPass(player);
        sleepMilliseconds(1);
    }
    return 0;
}

} // namespace

void negotiateAudioFormat(AudioPlayer& player)
{
    player.bitsPerSample = 32;
    player.format = {.sampleRate = player.sampleRate, .channels = player.channels, .bitsPerSample = 32};
    if (!player.waveOut->query(player.format)) {
        player.bitsPerSample = 16;
        player.format.bitsPerSample = 16;
    }
}

void openAudioOutput(AudioPlayer& player, const uint8_t* samples)
{
    player.samples = samples;
    player.device = player.waveOut->open(player.format, markHeaderDone, &player, false);
    if (!player.device) {
        // Reported once; the silent device keeps the clock running in real time.
        logMessage("Audio Error: %s\n", "no audio output device opened; playing silently");
        player.device = player.waveOut->open(player.format, markHeaderDone, &player, true);
        if (!player.device)
            logMessage("Audio Error: %s\n", "the silent audio output did not open either");
    }
    if (player.device) {
        uint32_t bufferBytes = player.framesPerBuffer * frameBytes(player);
        for (uint32_t h = 0; h < audioHeaderCount; ++h) {
            player.headers[h].data = samples + size_t(h) * bufferBytes;
            player.headers[h].bytes = bufferBytes;
            player.headers[h].user.store(headerFree);
        }
    }
}

void startAudioStreaming(AudioPlayer& player)
{
    player.running.store(true, std::memory_order_relaxed);
    player.thread = startTimeCriticalThread(streamThread, &player);
    if (!player.thread && player.device) {
        logMessage("Audio Error: %s\n", "the streaming thread did not start; playing silently");
        player.waveOut->close(player.device);
    }
}

void shutdownAudioPlayer(AudioPlayer& player)
{
    player.running.store(false, std::memory_order_relaxed);
    joinThread(player.thread);
    // Closed before the caller frees the samples the queued headers point into.
    player.waveOut->close(player.device);
}

void restartPlayer(AudioPlayer& player)
{
    std::lock_guard lock(player.queueLock);
    player.seeked = false;
    player.playedFrom = nowMilliseconds();
    player.position.store(0, std::memory_order_relaxed);
    player.playing.store(true, std::memory_order_relaxed);
}

void seekPlayer(AudioPlayer& player, uint32_t frame)
{
    uint64_t soundFrame = uint64_t(frame) * player.sampleRate / pictureFramesPerSecond;
    std::lock_guard lock(player.queueLock);
    player.seeked = true;
    player.writtenAtSeek = player.framesWritten;
    player.musicAtSeek = soundFrame;
    player.playedFrom = nowMilliseconds() - double(soundFrame) * 1000.0 / double(player.sampleRate);
    // Past the track's end nothing is queued (streamAudioPass), as at its natural end.
    player.position.store(uint32_t(std::min<uint64_t>(soundFrame, UINT32_MAX)), std::memory_order_relaxed);
    player.playing.store(true, std::memory_order_relaxed);
}

void pausePlayer(AudioPlayer& player)
{
    player.stoppedAt = nowMilliseconds();
    player.playing.store(false, std::memory_order_relaxed);
}

void stopPlayer(AudioPlayer& player)
{
    player.stoppedAt = nowMilliseconds();
    player.position.store(0, std::memory_order_relaxed);
    player.playing.store(false, std::memory_order_relaxed);
}

PlaybackClock playerClock(const AudioPlayer& player)
{
    if (!player.device || player.format.sampleRate == 0) {
        if (!player.playing.load(std::memory_order_relaxed))
            return {};
        double now = nowMilliseconds();
        return {.taken = now - player.playedFrom, .movedAt = now};
    }
    AudioDeviceClock clock = player.waveOut->clock(player.device);
    double millisecondsPerFrame = 1000.0 / double(player.format.sampleRate);
    PlaybackClock result = {.taken = double(clock.frames) * millisecondsPerFrame,
                            .movedAt = clock.movedAt,
                            .step = clock.stepFrames * millisecondsPerFrame,
                            .latency = clock.latencyFrames * millisecondsPerFrame};
    if (player.seeked) {
        // Until the old position's sound has been taken the clock holds at the seek.
        bool reached = clock.frames >= player.writtenAtSeek;
        uint64_t since = reached ? clock.frames - player.writtenAtSeek : 0;
        result.taken = double(player.musicAtSeek + since) * millisecondsPerFrame;
        if (!reached)
            result.step = 0.0;
    }
    return result;
}

void streamAudioPass(AudioPlayer& player)
{
    // Without any output there is nothing to queue; that was reported once at the start.
    if (!player.device)
        return;
    std::lock_guard lock(player.queueLock);
    for (AudioHeader& header : player.headers) {
        if (!player.playing.load(std::memory_order_relaxed))
            return;
        uint32_t position = player.position.load(std::memory_order_relaxed);
        if (position + player.framesPerBuffer >= player.totalFrames)
            return;
        uint64_t expected = headerFree;
        if (!header.user.compare_exchange_strong(expected, headerQueued))
            continue; // still queued on the device
        header.data = player.samples + size_t(position) * frameBytes(player);
        int error = player.waveOut->write(player.device, &header);
        if (error != 0) {
            header.user.store(headerFree);
            char text[256] = {};
            player.waveOut->errorText(error, text, sizeof(text));
            ASSERT(false, "Audio Error: %s\n", text);
            return; // the next pass retries the same chunk
        }
        player.framesWritten += player.framesPerBuffer;
        // A play() that restarted meanwhile keeps its frame 0.
        player.position.compare_exchange_strong(position, position + player.framesPerBuffer,
                                                std::memory_order_relaxed);
    }
}
