// The streaming player: a ring of 16 device headers of 256 frames, refilled in order from a
// thread that polls every millisecond. Reaches the OS only through a WaveOut table.
#pragma once

#include "platform/platform.h"

#include <atomic>
#include <cstdint>
#include <mutex>

// The device functions the player calls: the platform's, or a stand-in in tests.
struct WaveOut {
    bool (*query)(const AudioFormat& format);
    AudioDevice* (*open)(const AudioFormat& format, AudioDoneFunction done, void* userData, bool silent);
    int (*write)(AudioDevice* device, AudioHeader* header);
    void (*errorText)(int error, char* text, size_t capacity);
    AudioDeviceClock (*clock)(const AudioDevice* device);
    void (*close)(AudioDevice*& device);
};
extern const WaveOut platformWaveOut;

constexpr uint32_t audioHeaderCount = 16;
// Pictures per second of music: timeline frame f starts f × sampleRate / 60 sound frames in.
constexpr uint32_t pictureFramesPerSecond = 60;
// Stereo frames of the soundtrack (44100 Hz) to one picture: 735.
constexpr uint32_t soundFramesPerPicture = 44100 / pictureFramesPerSecond;

struct AudioPlayer {
    const WaveOut* waveOut = &platformWaveOut;

    // Shared with the streaming thread; relaxed ordering is enough for each on its own.
    std::atomic<bool> playing{false};
    std::atomic<uint32_t> position{0}; // next frame to queue
    std::atomic<bool> running{true};   // the streaming thread loops while true
    double playedFrom = 0.0;           // nowMilliseconds() of the last restart (main thread only)
    double stoppedAt = 0.0;            // nowMilliseconds() of the last stop (main thread only)

    // A seek and the queuing of a pass exclude each other, so that the seek knows exactly how
    // much sound of the old position is still ahead of the new one on the device.
    std::mutex queueLock;
    uint64_t framesWritten = 0; // handed to the device since it opened (under queueLock)
    // After a seek the clock is the music's position: musicAtSeek once the device has taken
    // the writtenAtSeek frames queued before it, counting on from there.
    bool seeked = false;
    uint64_t writtenAtSeek = 0, musicAtSeek = 0;

    uint32_t framesPerBuffer = 256;
    uint32_t sampleRate = 44100;
    uint32_t channels = 2;
    uint32_t bitsPerSample = 32; // 16 after negotiation when the device refuses floats
    uint32_t totalFrames = 0;
    const uint8_t* samples = nullptr; // the track; must outlive the device and the thread

    AudioFormat format{};
    AudioDevice* device = nullptr;
    AudioHeader headers[audioHeaderCount];
    PlatformThread* thread = nullptr;
};

// Tries 32-bit float, falls back to 16-bit PCM without a message; sets bitsPerSample and format.
void negotiateAudioFormat(AudioPlayer& player);
// Opens the device in the negotiated format (a silent one, reported once, when none opens)
// and prepares the headers over samples.
void openAudioOutput(AudioPlayer& player, const uint8_t* samples);
// Starts the streaming thread. Without one nothing could ever be queued: the device is then
// closed (reported once) and the clock runs in real time.
void startAudioStreaming(AudioPlayer& player);
// Stops the thread and closes the device, in that order; samples may be freed afterwards.
void shutdownAudioPlayer(AudioPlayer& player);

// Queuing restarts from frame 0; the clock is the device's count since it opened again.
void restartPlayer(AudioPlayer& player);
void stopPlayer(AudioPlayer& player);
// Plays from timeline frame's sound (the sound queued before it plays out first, at most 16
// headers); the clock reads that frame's time of music once the new sound is taken.
void seekPlayer(AudioPlayer& player, uint32_t frame);
// Queues nothing more, keeping the position; what is queued plays out (93 ms at most).
void pausePlayer(AudioPlayer& player);

// The device's count as a clock, in milliseconds (see AudioDeviceClock).
struct PlaybackClock {
    double taken = 0.0;   // sound the device has taken since it opened
    double movedAt = 0.0; // nowMilliseconds() when taken last moved
    double step = 0.0;    // taken moves by at most this much at a time
    double latency = 0.0; // taken but not heard yet
};
// Without a device the clock runs in real time from the last restart while playing, so that
// the picture still keeps time.
PlaybackClock playerClock(const AudioPlayer& player);

// One pass of the streaming thread: queues the next chunk into every free header, in order.
void streamAudioPass(AudioPlayer& player);
