// The audio device on Windows: WinMM (where Wine has an output: tests/win32/wine_run.sh gives
// it ALSA's null device) and the silent output, which plays the queued headers in order and in
// real time. Each plays well under a second.
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

namespace {

struct DoneLog {
    std::atomic<uint32_t> count{0};
    AudioHeader* order[16] = {};
};

void recordDone(void* userData, AudioHeader* header)
{
    DoneLog& log = *static_cast<DoneLog*>(userData);
    uint32_t index = log.count.load();
    if (index < 16)
        log.order[index] = header;
    log.count.store(index + 1);
}

template <typename Condition>
bool waitFor(Condition condition, int milliseconds)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Plays 8 headers of 256 stereo float frames, queued out of address order, and checks that
// they come back in queue order with the position at their 2048 frames.
void playsEightHeadersInOrder(bool silent)
{
    constexpr uint32_t frames = 8 * 256;
    std::vector<float> samples(frames * 2, 0.0f);
    AudioFormat format = {.sampleRate = 44100, .channels = 2, .bitsPerSample = 32};
    DoneLog log;
    AudioDevice* device = openAudioDevice(format, recordDone, &log, silent);
    if (!device && !silent)
        GTEST_SKIP() << "no wave-out device";
    ASSERT_NE(device, nullptr);
    AudioHeader headers[8];
    auto start = std::chrono::steady_clock::now();
    for (uint32_t h = 0; h < 8; ++h) {
        headers[h].data = samples.data() + (7 - h) * 256 * 2;
        headers[h].bytes = 256 * 8;
        ASSERT_EQ(writeAudioHeader(device, &headers[h]), 0) << h;
    }
    EXPECT_TRUE(waitFor([&] { return log.count.load() == 8; }, 5000));
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(audioDeviceClock(device).frames, uint64_t(frames));
    closeAudioDevice(device);
    EXPECT_EQ(device, nullptr);
    for (uint32_t h = 0; h < 8; ++h)
        EXPECT_EQ(log.order[h], &headers[h]) << "header " << h;
    // 2048 frames at 44100 Hz last 46.4 ms: the silent output plays them in real time, never
    // faster (a device may be faster: Wine's test device plays into nothing).
    if (silent) {
        EXPECT_GE(seconds, 0.040);
    }
}

} // namespace

TEST(WaveOut, SilentOutputPlaysHeadersInOrderInRealTime)
{
    playsEightHeadersInOrder(true);
}

TEST(WaveOut, DevicePlaysHeadersInOrderWhenThereIsOne)
{
    playsEightHeadersInOrder(false);
}

TEST(WaveOut, RefusesWhatIsNotAWholeFrameAndNamesTheError)
{
    AudioFormat format = {.sampleRate = 44100, .channels = 2, .bitsPerSample = 16};
    DoneLog log;
    EXPECT_EQ(openAudioDevice({.sampleRate = 44100, .channels = 2, .bitsPerSample = 24}, recordDone, &log, true), nullptr);
    AudioDevice* device = openAudioDevice(format, recordDone, &log, true);
    ASSERT_NE(device, nullptr);
    int16_t samples[6] = {};
    AudioHeader header;
    header.data = samples;
    header.bytes = 6; // a frame and a half
    int error = writeAudioHeader(device, &header);
    EXPECT_NE(error, 0);
    char text[256];
    std::memset(text, 'x', sizeof(text));
    audioErrorText(error, text, sizeof(text));
    EXPECT_GT(std::strlen(text), 0u);
    EXPECT_LT(std::strlen(text), sizeof(text));
    char small[4];
    audioErrorText(error, small, sizeof(small));
    EXPECT_EQ(std::strlen(small), 3u);
    EXPECT_NE(writeAudioHeader(nullptr, &header), 0);
    closeAudioDevice(device);
    EXPECT_EQ(audioDeviceClock(nullptr).frames, 0u);
}
