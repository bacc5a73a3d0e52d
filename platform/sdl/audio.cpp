// The wave-out-like audio device on SDL2: headers queued by the streaming thread are copied
// out, in order, by SDL's audio callback, which hands each back as soon as it is consumed.
// SDL's dummy driver plays nowhere: it only ever serves as the silent output. Knows nothing of
// the player above it; never logs (the caller reports).
#include "platform/platform.h"

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

// More than any caller keeps in flight (the player queues 16); a full queue refuses the write.
constexpr uint32_t queueCapacity = 64;
// Frames per SDL callback: 10 ms at 44100 Hz, well inside the 93 ms the player keeps queued.
constexpr uint32_t callbackFrames = 441;

// The codes writeAudioHeader returns (as int, like WinMM's).
enum class AudioError : int {
    None = 0,
    NotOpen = 1,
    QueueFull = 2,
    BadHeader = 3,
};

SDL_AudioSpec sdlAudioFormat(const AudioFormat& format)
{
    SDL_AudioSpec desired{};
    desired.freq = int(format.sampleRate);
    desired.format = format.bitsPerSample == 32 ? AUDIO_F32SYS : AUDIO_S16SYS;
    desired.channels = Uint8(format.channels);
    desired.samples = Uint16(callbackFrames);
    return desired;
}

// The silent output is SDL's dummy driver, chosen over the environment for as long as it is open.
// A real output never is: the dummy driver (SDL_AUDIODRIVER=dummy) consumes samples at about 0.9
// of real time, which would slow the music's clock down.
bool initAudioSubsystem(bool silent)
{
    if (silent)
        SDL_SetHintWithPriority(SDL_HINT_AUDIODRIVER, "dummy", SDL_HINT_OVERRIDE);
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) == 0) {
        const char* driver = SDL_GetCurrentAudioDriver();
        if (silent || !driver || std::strcmp(driver, "dummy") != 0)
            return true;
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    if (silent)
        SDL_ResetHint(SDL_HINT_AUDIODRIVER);
    return false;
}

void quitAudioSubsystem(bool silent)
{
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    if (silent)
        SDL_ResetHint(SDL_HINT_AUDIODRIVER);
}

} // namespace

struct AudioDevice {
    SDL_AudioDeviceID id = 0;
    bool silent = false;
    uint32_t frameBytes = 0;
    AudioDoneFunction done = nullptr;
    void* userData = nullptr;

    // Single producer (writeAudioHeader) and single consumer (the callback).
    AudioHeader* queue[queueCapacity] = {};
    std::atomic<uint32_t> queueHead{0}; // next to consume; written by the callback
    std::atomic<uint32_t> queueTail{0}; // next free slot; written by the writer

    // Callback-thread state: the header being copied and how far.
    AudioHeader* current = nullptr;
    uint32_t currentOffset = 0;

    // The clock: written by the callback, which SDL runs under the device's lock, and read
    // under that lock (SDL_LockAudioDevice), so that count and time always belong together.
    uint64_t framesPlayed = 0;
    double movedAt = 0.0;       // milliseconds
    uint32_t stepFrames = 0;    // one callback's frames
    uint32_t latencyFrames = 0;

    // The silent output's clock: opening time (milliseconds) and frames of time since then.
    uint32_t sampleRate = 0;
    double openedAt = 0.0;
    uint64_t clockFrames = 0;
};

namespace {

// Takes up to byteCount bytes of queued sound in order, copying them to destination when
// there is one, and hands back each header it finishes. Returns the bytes taken.
uint32_t consumeQueue(AudioDevice& device, uint8_t* destination, uint32_t byteCount)
{
    uint32_t taken = 0;
    while (taken < byteCount) {
        if (!device.current) {
            uint32_t head = device.queueHead.load(std::memory_order_relaxed);
            if (head == device.queueTail.load(std::memory_order_acquire))
                break; // nothing queued: the position holds
            device.current = device.queue[head % queueCapacity];
            device.currentOffset = 0;
            device.queueHead.store(head + 1, std::memory_order_release);
        }
        AudioHeader* header = device.current;
        uint32_t count = std::min(header->bytes - device.currentOffset, byteCount - taken);
        if (destination)
            std::memcpy(destination + taken, static_cast<const uint8_t*>(header->data) + device.currentOffset, count);
        taken += count;
        device.currentOffset += count;
        if (device.currentOffset == header->bytes) {
            device.current = nullptr;
            device.done(device.userData, header);
        }
    }
    if (taken) {
        device.framesPlayed += taken / device.frameBytes;
        device.movedAt = nowMilliseconds();
    }
    return taken;
}

// SDL's audio thread. The silent output plays as many frames as the clock says have passed
// (SDL's dummy driver oversleeps each callback by a tenth or so); the others fill the stream.
void fillStream(void* userData, Uint8* stream, int length)
{
    AudioDevice& device = *static_cast<AudioDevice*>(userData);
    if (device.silent) {
        uint64_t clockFrames = uint64_t((nowMilliseconds() - device.openedAt) * device.sampleRate / 1000.0);
        uint64_t dueFrames = clockFrames - device.clockFrames;
        device.clockFrames = clockFrames;
        consumeQueue(device, nullptr, uint32_t(std::min<uint64_t>(dueFrames, 1u << 20)) * device.frameBytes);
        std::memset(stream, 0, size_t(length));
        return;
    }
    uint32_t taken = consumeQueue(device, stream, uint32_t(length));
    std::memset(stream + taken, 0, uint32_t(length) - taken);
}

} // namespace

bool queryAudioFormat(const AudioFormat& format)
{
    if (!initAudioSubsystem(false))
        return false;
    // SDL would convert any format; allowing a format change shows what the device itself takes.
    SDL_AudioSpec wanted = sdlAudioFormat(format);
    SDL_AudioSpec obtained{};
    SDL_AudioDeviceID id = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, SDL_AUDIO_ALLOW_FORMAT_CHANGE);
    bool accepted = id != 0 && obtained.format == wanted.format;
    if (id != 0)
        SDL_CloseAudioDevice(id);
    quitAudioSubsystem(false);
    return accepted;
}

AudioDevice* openAudioDevice(const AudioFormat& format, AudioDoneFunction done, void* userData, bool silent)
{
    if (format.channels == 0 || (format.bitsPerSample != 32 && format.bitsPerSample != 16))
        return nullptr;
    if (!initAudioSubsystem(silent))
        return nullptr;
    AudioDevice* device = new AudioDevice;
    device->silent = silent;
    device->frameBytes = format.channels * format.bitsPerSample / 8;
    device->done = done;
    device->userData = userData;
    device->sampleRate = format.sampleRate;

    SDL_AudioSpec wanted = sdlAudioFormat(format);
    wanted.callback = fillStream;
    wanted.userdata = device;
    SDL_AudioSpec obtained{};
    // No changes allowed: SDL converts to whatever the hardware takes.
    device->id = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
    if (device->id == 0) {
        delete device;
        quitAudioSubsystem(silent);
        return nullptr;
    }
    device->openedAt = nowMilliseconds();
    device->movedAt = device->openedAt;
    device->stepFrames = obtained.samples;
    // What a callback takes waits in SDL's and the system's buffers behind what is playing:
    // one buffer at least. Nothing is heard from the silent output.
    device->latencyFrames = silent ? 0 : obtained.samples;
    SDL_PauseAudioDevice(device->id, 0);
    return device;
}

int writeAudioHeader(AudioDevice* device, AudioHeader* header)
{
    if (!device)
        return int(AudioError::NotOpen);
    if (!header || !header->data || header->bytes == 0 || header->bytes % device->frameBytes != 0)
        return int(AudioError::BadHeader);
    uint32_t tail = device->queueTail.load(std::memory_order_relaxed);
    if (tail - device->queueHead.load(std::memory_order_acquire) >= queueCapacity)
        return int(AudioError::QueueFull);
    device->queue[tail % queueCapacity] = header;
    device->queueTail.store(tail + 1, std::memory_order_release);
    return int(AudioError::None);
}

void audioErrorText(int error, char* text, size_t capacity)
{
    if (capacity == 0)
        return;
    const char* message = "Unknown audio error.";
    switch (AudioError(error)) {
    case AudioError::None: message = "The operation completed successfully."; break;
    case AudioError::NotOpen: message = "The audio device is not open."; break;
    case AudioError::QueueFull: message = "Too many buffers are queued on the audio device."; break;
    case AudioError::BadHeader: message = "The buffer does not hold whole sample frames."; break;
    }
    std::snprintf(text, capacity, "%s", message);
}

AudioDeviceClock audioDeviceClock(const AudioDevice* device)
{
    if (!device)
        return {};
    SDL_LockAudioDevice(device->id);
    AudioDeviceClock clock = {.frames = device->framesPlayed,
                              .movedAt = device->movedAt,
                              .stepFrames = device->stepFrames,
                              .latencyFrames = device->latencyFrames};
    SDL_UnlockAudioDevice(device->id);
    return clock;
}

void closeAudioDevice(AudioDevice*& device)
{
    if (!device)
        return;
    // Returns once the callback has finished for good: nothing reads the caller's samples after.
    SDL_CloseAudioDevice(device->id);
    quitAudioSubsystem(device->silent);
    delete device;
    device = nullptr;
}
