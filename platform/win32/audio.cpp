// The wave-out audio device on WinMM: each caller header travels as a WAVEHDR of its own,
// and WOM_DONE hands it back on WinMM's callback thread. The silent output (no device) is a
// thread that consumes the queued headers in real time. Never logs (the caller reports).
// The clock is waveOutGetPosition, which WinMM moves in steps of its mixer period (Wine: every
// 10 ms, a few headers at a time); what it counts ahead of the headers handed back is still
// queued ahead of the playing header, not heard yet.
#include "platform/platform.h"

#include <windows.h>
#include <mmreg.h>
#include <mmsystem.h>

#include <algorithm>
#include <cstdio>
#include <mutex>

namespace {

// More than any caller keeps in flight (the player queues 16); a full table refuses the write.
constexpr uint32_t headerCapacity = 64;
// How often the silent output wakes to consume what is due.
constexpr DWORD silentTickMilliseconds = 2;
// The frames of one caller header (the player's): the least the position is taken to move by.
constexpr uint32_t headerFrames = 256;

// KSDATAFORMAT_SUBTYPE_IEEE_FLOAT and KSDATAFORMAT_SUBTYPE_PCM.
constexpr GUID subtypeFloat = {0x00000003, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
constexpr GUID subtypePcm = {0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

// WAVE_FORMAT_EXTENSIBLE, 32-bit float or 16-bit PCM, front left and right for stereo.
WAVEFORMATEXTENSIBLE waveFormat(const AudioFormat& format)
{
    WAVEFORMATEXTENSIBLE wave = {};
    WORD bytesPerSample = WORD(format.bitsPerSample / 8);
    wave.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    wave.Format.nChannels = WORD(format.channels);
    wave.Format.nSamplesPerSec = format.sampleRate;
    wave.Format.nBlockAlign = WORD(bytesPerSample * format.channels);
    wave.Format.nAvgBytesPerSec = format.sampleRate * wave.Format.nBlockAlign;
    wave.Format.wBitsPerSample = WORD(format.bitsPerSample);
    wave.Format.cbSize = sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX); // 22
    wave.Samples.wValidBitsPerSample = WORD(format.bitsPerSample);
    wave.dwChannelMask = format.channels == 2 ? SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT : 0;
    wave.SubFormat = format.bitsPerSample == 32 ? subtypeFloat : subtypePcm;
    return wave;
}

} // namespace

struct AudioDevice {
    HWAVEOUT handle = nullptr;
    bool silent = false;
    WAVEFORMATEXTENSIBLE format = {};
    uint32_t frameBytes = 0;
    AudioDoneFunction done = nullptr;
    void* userData = nullptr;
    std::atomic<bool> closing{false}; // from here on WOM_DONE hands nothing back

    // WinMM: one WAVEHDR per caller header, found by the header's address (dwUser).
    WAVEHDR waveHeaders[headerCapacity] = {};
    uint32_t waveHeaderCount = 0;
    std::atomic<uint64_t> framesDone{0}; // in the headers WOM_DONE handed back
    // The position as the main thread last read it: when it last changed and by how much.
    // WinMM says nothing of when it moves; the first reading that sees a change is the time.
    mutable AudioDeviceClock seen = {};

    // Silent output: a queue with one producer (the writer) and one consumer (the thread).
    AudioHeader* queue[headerCapacity] = {};
    std::atomic<uint32_t> queueHead{0};
    std::atomic<uint32_t> queueTail{0};
    HANDLE thread = nullptr;
    double openedAt = 0.0;  // milliseconds
    uint64_t clockFrames = 0;
    // Written by the silent thread, read by audioDeviceClock: count and time go together.
    mutable std::mutex clockLock;
    uint64_t framesPlayed = 0;
    double movedAt = 0.0;
};

namespace {

// What the silent output's writes return, in WinMM's codes.
enum class SilentError : int {
    None = MMSYSERR_NOERROR,
    QueueFull = WAVERR_STILLPLAYING,
};

void CALLBACK waveOutCallback(HWAVEOUT, UINT message, DWORD_PTR instance, DWORD_PTR parameter, DWORD_PTR)
{
    if (message != WOM_DONE)
        return;
    AudioDevice& device = *reinterpret_cast<AudioDevice*>(instance);
    if (device.closing.load())
        return;
    WAVEHDR* waveHeader = reinterpret_cast<WAVEHDR*>(parameter);
    device.framesDone.fetch_add(waveHeader->dwBufferLength / device.frameBytes);
    device.done(device.userData, reinterpret_cast<AudioHeader*>(waveHeader->dwUser));
}

// The silent output's thread: as many frames as the clock says have passed since the last
// tick, taken from the queued headers in order; each finished header is handed back.
DWORD WINAPI silentOutput(void* argument)
{
    AudioDevice& device = *static_cast<AudioDevice*>(argument);
    AudioHeader* current = nullptr;
    uint32_t currentOffset = 0;
    while (!device.closing.load()) {
        Sleep(silentTickMilliseconds);
        uint64_t clockFrames = uint64_t((nowMilliseconds() - device.openedAt) * device.format.Format.nSamplesPerSec / 1000.0);
        uint64_t due = (clockFrames - device.clockFrames) * device.frameBytes;
        device.clockFrames = clockFrames;
        uint64_t taken = 0;
        while (taken < due) {
            if (!current) {
                uint32_t head = device.queueHead.load(std::memory_order_relaxed);
                if (head == device.queueTail.load(std::memory_order_acquire))
                    break; // nothing queued: the position holds
                current = device.queue[head % headerCapacity];
                currentOffset = 0;
                device.queueHead.store(head + 1, std::memory_order_release);
            }
            uint32_t count = uint32_t(std::min<uint64_t>(current->bytes - currentOffset, due - taken));
            taken += count;
            currentOffset += count;
            if (currentOffset == current->bytes) {
                device.done(device.userData, current);
                current = nullptr;
            }
        }
        if (taken) {
            std::lock_guard<std::mutex> lock(device.clockLock);
            device.framesPlayed += taken / device.frameBytes;
            device.movedAt = nowMilliseconds();
        }
    }
    return 0;
}

int writeSilent(AudioDevice& device, AudioHeader* header)
{
    uint32_t tail = device.queueTail.load(std::memory_order_relaxed);
    if (tail - device.queueHead.load(std::memory_order_acquire) >= headerCapacity)
        return int(SilentError::QueueFull);
    device.queue[tail % headerCapacity] = header;
    device.queueTail.store(tail + 1, std::memory_order_release);
    return int(SilentError::None);
}

// The WAVEHDR that carries this caller header; a new one the first time. Null when full.
WAVEHDR* waveHeaderFor(AudioDevice& device, AudioHeader* header)
{
    for (uint32_t i = 0; i < device.waveHeaderCount; ++i) {
        if (device.waveHeaders[i].dwUser == DWORD_PTR(header))
            return &device.waveHeaders[i];
    }
    if (device.waveHeaderCount == headerCapacity)
        return nullptr;
    WAVEHDR* waveHeader = &device.waveHeaders[device.waveHeaderCount++];
    *waveHeader = {};
    waveHeader->dwUser = DWORD_PTR(header);
    return waveHeader;
}

} // namespace

bool queryAudioFormat(const AudioFormat& format)
{
    WAVEFORMATEXTENSIBLE wave = waveFormat(format);
    return waveOutOpen(nullptr, WAVE_MAPPER, &wave.Format, 0, 0, WAVE_FORMAT_QUERY) == MMSYSERR_NOERROR;
}

AudioDevice* openAudioDevice(const AudioFormat& format, AudioDoneFunction done, void* userData, bool silent)
{
    if (format.channels == 0 || format.sampleRate == 0 || (format.bitsPerSample != 32 && format.bitsPerSample != 16))
        return nullptr;
    AudioDevice* device = new AudioDevice;
    device->silent = silent;
    device->format = waveFormat(format);
    device->frameBytes = device->format.Format.nBlockAlign;
    device->done = done;
    device->userData = userData;
    device->seen.movedAt = nowMilliseconds();
    device->seen.stepFrames = headerFrames;
    if (silent) {
        device->openedAt = nowMilliseconds();
        device->movedAt = device->openedAt;
        device->thread = CreateThread(nullptr, 0, silentOutput, device, 0, nullptr);
        if (!device->thread) {
            delete device;
            return nullptr;
        }
        return device;
    }
    if (waveOutOpen(&device->handle, WAVE_MAPPER, &device->format.Format, DWORD_PTR(waveOutCallback),
                    DWORD_PTR(device), CALLBACK_FUNCTION) != MMSYSERR_NOERROR) {
        delete device;
        return nullptr;
    }
    waveOutSetVolume(device->handle, 0xFFFFFFFF); // full volume on both channels; may be refused
    return device;
}

int writeAudioHeader(AudioDevice* device, AudioHeader* header)
{
    if (!device)
        return MMSYSERR_INVALHANDLE;
    if (!header || !header->data || header->bytes == 0 || header->bytes % device->frameBytes != 0)
        return MMSYSERR_INVALPARAM;
    if (device->silent)
        return writeSilent(*device, header);

    WAVEHDR* waveHeader = waveHeaderFor(*device, header);
    if (!waveHeader)
        return MMSYSERR_NOMEM;
    if (waveHeader->dwFlags & WHDR_INQUEUE)
        return WAVERR_STILLPLAYING;
    // A header is prepared for one block of memory: aimed elsewhere, it is prepared again.
    LPSTR data = static_cast<LPSTR>(const_cast<void*>(header->data));
    if ((waveHeader->dwFlags & WHDR_PREPARED) && (waveHeader->lpData != data || waveHeader->dwBufferLength != header->bytes)) {
        MMRESULT result = waveOutUnprepareHeader(device->handle, waveHeader, sizeof(WAVEHDR));
        if (result != MMSYSERR_NOERROR)
            return int(result);
    }
    if (!(waveHeader->dwFlags & WHDR_PREPARED)) {
        waveHeader->lpData = data;
        waveHeader->dwBufferLength = header->bytes;
        waveHeader->dwFlags = 0;
        MMRESULT result = waveOutPrepareHeader(device->handle, waveHeader, sizeof(WAVEHDR));
        if (result != MMSYSERR_NOERROR)
            return int(result);
    }
    return int(waveOutWrite(device->handle, waveHeader, sizeof(WAVEHDR)));
}

void audioErrorText(int error, char* text, size_t capacity)
{
    if (capacity == 0)
        return;
    text[0] = 0;
    if (waveOutGetErrorTextA(UINT(error), text, UINT(std::min<size_t>(capacity, 0xFFFF))) != MMSYSERR_NOERROR)
        std::snprintf(text, capacity, "Unknown audio error %d.", error);
    text[capacity - 1] = 0;
}

namespace {

// waveOutGetPosition in frames; 0 when it fails.
uint64_t wavePosition(const AudioDevice& device)
{
    MMTIME time = {};
    time.wType = TIME_SAMPLES;
    if (waveOutGetPosition(device.handle, &time, sizeof(MMTIME)) != MMSYSERR_NOERROR)
        return 0;
    // The device may answer in another unit than the one asked for.
    switch (time.wType) {
    case TIME_SAMPLES: return time.u.sample;
    case TIME_MS: return uint64_t(time.u.ms) * device.format.Format.nSamplesPerSec / 1000;
    case TIME_BYTES: return time.u.cb / device.frameBytes;
    default: return 0;
    }
}

} // namespace

AudioDeviceClock audioDeviceClock(const AudioDevice* device)
{
    if (!device)
        return {};
    if (device->silent) {
        std::lock_guard<std::mutex> lock(device->clockLock);
        return {.frames = device->framesPlayed,
                .movedAt = device->movedAt,
                .stepFrames = uint32_t(silentTickMilliseconds * device->format.Format.nSamplesPerSec / 1000)};
    }
    uint64_t frames = wavePosition(*device);
    AudioDeviceClock& seen = device->seen;
    if (frames != seen.frames) {
        if (frames > seen.frames)
            seen.stepFrames = uint32_t(std::max<uint64_t>(frames - seen.frames, headerFrames));
        seen.frames = frames;
        seen.movedAt = nowMilliseconds();
    }
    uint64_t done = device->framesDone.load();
    seen.latencyFrames = frames > done ? uint32_t(frames - done) : 0;
    return seen;
}

void closeAudioDevice(AudioDevice*& device)
{
    if (!device)
        return;
    device->closing.store(true);
    if (device->silent) {
        WaitForSingleObject(device->thread, INFINITE);
        CloseHandle(device->thread);
    } else {
        // Returns once WinMM holds none of the caller's memory.
        waveOutReset(device->handle);
        for (uint32_t i = 0; i < device->waveHeaderCount; ++i) {
            if (device->waveHeaders[i].dwFlags & WHDR_PREPARED)
                waveOutUnprepareHeader(device->handle, &device->waveHeaders[i], sizeof(WAVEHDR));
        }
        waveOutClose(device->handle);
    }
    delete device;
    device = nullptr;
}
