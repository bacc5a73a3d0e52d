// The audio device contract, for SDL (Linux) and WinMM (Windows) alike: headers come back in the
// order queued, the clock counts their frames, the silent output keeps real time, and what is not
// whole frames is refused with a message. (What the device plays is the piece check's recording.)
#include "platform/platform.h"
#include "tests/unit/test_platform.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

namespace {

struct DoneLog {
    std::atomic<uint32_t> count{0};
    AudioHeader* order[8] = {};
};

void recordDone(void* userData, AudioHeader* header)
{
    DoneLog& log = *static_cast<DoneLog*>(userData);
    uint32_t index = log.count.load();
    if (index < 8)
        log.order[index] = header;
    log.count.store(index + 1);
}

} // namespace

TEST(AudioDevice, PlaysHeadersInQueueOrderCountsTheirFramesAndTheSilentOneKeepsRealTime)
{
    // 8 headers of 256 stereo float frames; frame k holds (k + 1, -(k + 1)) / 4096, and header h
    // plays chunk 7 - h: queued out of address order, it must come out in queue order.
    constexpr uint32_t frames = 8 * 256;
    std::vector<float> samples(frames * 2);
    for (uint32_t k = 0; k < frames; ++k) {
        samples[2 * k] = float(k + 1) / 4096.0f;
        samples[2 * k + 1] = -float(k + 1) / 4096.0f;
    }
    const AudioFormat format = {.sampleRate = 44100, .channels = 2, .bitsPerSample = 32};
    for (bool silent : {false, true}) {
        SCOPED_TRACE(silent ? "silent output" : "default device");
        EXPECT_TRUE(silent || queryAudioFormat(format)); // floats as they are
        DoneLog log;
        double opened = nowMilliseconds();
        AudioDevice* device = openAudioDevice(format, recordDone, &log, silent);
        ASSERT_NE(device, nullptr);
        AudioHeader headers[8];
        for (uint32_t h = 0; h < 8; ++h) {
            headers[h].data = samples.data() + (7 - h) * 256 * 2;
            headers[h].bytes = 256 * 8;
            ASSERT_EQ(writeAudioHeader(device, &headers[h]), 0) << h;
        }
        for (int wait = 0; wait < 5000 && log.count.load() < 8; ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        double played = nowMilliseconds() - opened;
        AudioDeviceClock clock = audioDeviceClock(device);
        closeAudioDevice(device);
        EXPECT_EQ(device, nullptr);
        ASSERT_EQ(log.count.load(), 8u);
        for (uint32_t h = 0; h < 8; ++h)
            EXPECT_EQ(log.order[h], &headers[h]) << "header " << h;
        EXPECT_EQ(clock.frames, uint64_t(frames)); // silence before and after is not counted
        EXPECT_GT(clock.movedAt, opened);
        // 2048 frames at 44100 Hz last 46.4 ms; a real device may take them faster.
        EXPECT_GE(played, silent ? 40.0 : 0.0);
    }
}

TEST(AudioDevice, RefusesWhatIsNotWholeFramesAndNamesTheError)
{
    DoneLog log;
    EXPECT_EQ(openAudioDevice({.sampleRate = 44100, .channels = 2, .bitsPerSample = 24}, recordDone, &log, true), nullptr);
    AudioDevice* device = openAudioDevice({.sampleRate = 44100, .channels = 2, .bitsPerSample = 16}, recordDone, &log, true);
    ASSERT_NE(device, nullptr);
    int16_t samples[6] = {};
    AudioHeader header;
    header.data = samples;
    header.bytes = 6; // a frame and a half
    int error = writeAudioHeader(device, &header);
    EXPECT_NE(error, 0);
    char small[5] = "xxxx";
    audioErrorText(error, small, 4);
    EXPECT_EQ(std::strlen(small), 3u); // named, cut and terminated
    EXPECT_NE(writeAudioHeader(nullptr, &header), 0);
    closeAudioDevice(device);
    EXPECT_EQ(audioDeviceClock(nullptr).frames, 0u);
}
