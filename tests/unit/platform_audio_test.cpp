// The SDL audio device behind the player, on SDL's file-writing ("disk") driver and on the
// silent fallback. Real time is involved: each test plays well under a second.
#include "audio/player.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <unistd.h>
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

} // namespace

TEST(AudioDevice, DiskDriverPlaysQueuedHeadersInOrderAndCountsTheirFrames)
{
    // One file per process: several builds may run their tests at once.
    std::string path = testing::TempDir() + "kivrel_audio_device_test_" + std::to_string(getpid()) + ".raw";
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", path.c_str(), 1);

    // 8 headers of 256 stereo float frames; frame k holds (k + 1, -(k + 1)) / 4096.
    constexpr uint32_t frames = 8 * 256;
    std::vector<float> samples(frames * 2);
    for (uint32_t k = 0; k < frames; ++k) {
        samples[2 * k] = float(k + 1) / 4096.0f;
        samples[2 * k + 1] = -float(k + 1) / 4096.0f;
    }
    AudioFormat format = {.sampleRate = 44100, .channels = 2, .bitsPerSample = 32};
    EXPECT_TRUE(queryAudioFormat(format)); // the file takes floats as they are

    DoneLog log;
    double opened = nowMilliseconds();
    AudioDevice* device = openAudioDevice(format, recordDone, &log, false);
    ASSERT_NE(device, nullptr);
    // Queued out of address order: header h plays chunk 7 - h, and must come out as queued.
    AudioHeader headers[8];
    for (uint32_t h = 0; h < 8; ++h) {
        headers[h].data = samples.data() + (7 - h) * 256 * 2;
        headers[h].bytes = 256 * 8;
        EXPECT_EQ(writeAudioHeader(device, &headers[h]), 0);
    }
    EXPECT_TRUE(waitFor([&] { return log.count.load() == 8; }, 5000));
    AudioDeviceClock clock = audioDeviceClock(device);
    EXPECT_EQ(clock.frames, uint64_t(frames)); // silence before and after is not counted
    EXPECT_GT(clock.movedAt, opened);          // stamped when the headers were taken
    closeAudioDevice(device);
    EXPECT_EQ(device, nullptr);
    unsetenv("SDL_AUDIODRIVER");
    unsetenv("SDL_DISKAUDIOFILE");

    for (uint32_t h = 0; h < 8; ++h)
        EXPECT_EQ(log.order[h], &headers[h]) << "header " << h;

    // The file: silence, then the chunks in queue order (7, 6, ..., 0), then silence.
    std::FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    std::vector<float> written;
    float pair[2];
    while (std::fread(pair, sizeof(pair), 1, file) == 1) {
        written.push_back(pair[0]);
        written.push_back(pair[1]);
    }
    std::fclose(file);
    std::remove(path.c_str());
    size_t first = 0;
    while (first < written.size() && written[first] == 0.0f)
        ++first;
    ASSERT_LE(first + frames * 2, written.size());
    for (uint32_t h = 0; h < 8; ++h) {
        for (uint32_t i = 0; i < 256 * 2; ++i) {
            ASSERT_EQ(written[first + h * 512 + i], samples[(7 - h) * 512 + i]) << "header " << h << " value " << i;
        }
    }
    for (size_t i = first + frames * 2; i < written.size(); ++i)
        ASSERT_EQ(written[i], 0.0f) << "after the last header, value " << i;
}

TEST(AudioDevice, WithoutAnOutputThePlayerFallsBackToASilentRealTimeClock)
{
    // No such driver: the default output cannot open, so the player reports once and streams
    // into the silent output, whose position follows the wall clock.
    setenv("SDL_AUDIODRIVER", "kivrel-no-such-driver", 1);
    std::vector<float> samples(44100 * 2 * 2, 0.25f); // 2 s
    AudioPlayer player;
    player.totalFrames = 44100 * 2;
    negotiateAudioFormat(player);
    testing::internal::CaptureStdout();
    openAudioOutput(player, reinterpret_cast<const uint8_t*>(samples.data()));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Audio Error: no audio output device opened; playing silently\n");
    ASSERT_NE(player.device, nullptr);
    startAudioStreaming(player);
    restartPlayer(player);
    auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    double seconds = playerClock(player).taken / 1000.0;
    double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    stopPlayer(player);
    shutdownAudioPlayer(player);
    unsetenv("SDL_AUDIODRIVER");
    // Generous bounds: the machine may be busy, but the clock moves and never runs ahead.
    EXPECT_GT(seconds, 0.1);
    EXPECT_LE(seconds, elapsed + 0.02);
    EXPECT_EQ(player.device, nullptr);
}
