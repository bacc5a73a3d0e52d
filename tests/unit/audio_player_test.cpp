// The streaming player's ring over a fake wave-out device: claims, order, the track's end,
// retries, restarts, seeks and pauses with the main loop's clock, the 16-bit fallback, no
// device, and the streaming thread's shutdown order.
#include "audio/player.h"

#include "app/main_loop.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

struct Write {
    uint32_t header; // index into the player's headers
    uint64_t frame;  // first frame of the chunk the header points at
    bool operator==(const Write&) const = default;
};

// The one fake device; fakeWaveOut is what the player sees instead of the platform's.
struct FakeDevice {
    bool acceptsFloat = true;
    bool opens = true;
    bool silentOpens = true;
    bool openedSilent = false;
    bool completeOnWrite = false; // hands each header back at once, as a device that never lags
    std::vector<int> writeErrors; // popped from the front: 0 = accept
    AudioDoneFunction done = nullptr;
    void* userData = nullptr;
    uint64_t framesPlayed = 0;
    size_t writesWhenClosed = SIZE_MAX;
    std::vector<Write> writes;
    std::atomic<size_t> writeCount{0};
    const AudioPlayer* player = nullptr;
};
FakeDevice* fake = nullptr;

const WaveOut fakeWaveOut = {
    .query = [](const AudioFormat& format) { return format.bitsPerSample != 32 || fake->acceptsFloat; },
    .open = [](const AudioFormat&, AudioDoneFunction done, void* userData, bool silent) -> AudioDevice* {
        if (!(silent ? fake->silentOpens : fake->opens))
            return nullptr;
        fake->openedSilent = silent;
        fake->done = done;
        fake->userData = userData;
        return reinterpret_cast<AudioDevice*>(fake);
    },
    .write = [](AudioDevice*, AudioHeader* header) -> int {
        if (!fake->writeErrors.empty()) {
            int error = fake->writeErrors.front();
            fake->writeErrors.erase(fake->writeErrors.begin());
            if (error != 0)
                return error;
        }
        const AudioPlayer& player = *fake->player;
        size_t offset = static_cast<const uint8_t*>(header->data) - player.samples;
        fake->writes.push_back({uint32_t(header - player.headers), offset / (player.channels * player.bitsPerSample / 8)});
        fake->writeCount.store(fake->writes.size());
        if (fake->completeOnWrite)
            fake->done(fake->userData, header);
        return 0;
    },
    .errorText = [](int error, char* text, size_t capacity) { std::snprintf(text, capacity, "fake failure %d", error); },
    .clock = [](const AudioDevice*) { return AudioDeviceClock{.frames = fake->framesPlayed}; },
    .close = [](AudioDevice*& device) {
        fake->writesWhenClosed = fake->writeCount.load();
        device = nullptr;
    },
};

// A player on the fake device; open() gives it a track of the given length, not yet playing.
struct Rig {
    FakeDevice device;
    AudioPlayer player;
    uint8_t* samples = nullptr;

    Rig()
    {
        fake = &device;
        device.player = &player;
        player.waveOut = &fakeWaveOut;
    }
    ~Rig()
    {
        std::free(samples);
        fake = nullptr;
    }
    void open(uint32_t totalFrames)
    {
        player.totalFrames = totalFrames;
        negotiateAudioFormat(player);
        // calloc leaves untouched pages unmapped: a 63 MB track costs nothing here.
        samples = static_cast<uint8_t*>(std::calloc(size_t(totalFrames) * 8, 1));
        openAudioOutput(player, samples);
    }
    void finish(uint32_t header) { device.done(device.userData, &player.headers[header]); }
    std::vector<Write> passWrites()
    {
        device.writes.clear();
        streamAudioPass(player);
        return device.writes;
    }
};

struct Player : testing::Test, Rig {};

} // namespace

TEST_F(Player, RefillsFinishedHeadersInOrderSkipsQueuedOnesAndRestartsFromFrameZero)
{
    open(256 * 100);
    EXPECT_TRUE(passWrites().empty()); // not playing yet
    restartPlayer(player);
    // First pass: header h takes chunk h, frames 256h to 256h + 255.
    std::vector<Write> first = passWrites();
    ASSERT_EQ(first.size(), 16u);
    for (uint32_t h = 0; h < 16; ++h)
        EXPECT_EQ(first[h], (Write{h, 256ull * h}));
    EXPECT_TRUE(passWrites().empty()); // all still queued
    // The device finishes 5, then 0 and 1: they take chunks 16, 17 and 18 in header order;
    // queued 2..15 are left alone.
    const void* secondData = player.headers[2].data;
    finish(5);
    finish(0);
    finish(1);
    EXPECT_EQ(passWrites(), (std::vector<Write>{{0, 16 * 256}, {1, 17 * 256}, {5, 18 * 256}}));
    EXPECT_EQ(player.headers[2].data, secondData);
    finish(0);
    restartPlayer(player); // a second play: back to frame 0
    EXPECT_EQ(passWrites(), (std::vector<Write>{{0, 0}}));
    finish(0);
    stopPlayer(player);
    EXPECT_TRUE(passWrites().empty());
    device.framesPlayed = 3 * 44100 / 2; // the clock is the device's count: 1.5 s at 44100 Hz
    EXPECT_DOUBLE_EQ(playerClock(player).taken, 1500.0);
}

TEST_F(Player, SeekPlaysFromTheFramesSoundTheLoopsClockFollowsItAndPauseKeepsThePosition)
{
    open(44100 * 10);
    restartPlayer(player);
    ASSERT_EQ(passWrites().size(), 16u); // 4096 frames from frame 0 queued
    // Frame 120 starts 120 × 44100 / 60 = 88200 sound frames in (2000 ms).
    seekPlayer(player, 120);
    finish(3);
    EXPECT_EQ(passWrites(), (std::vector<Write>{{3, 88200}}));
    MainLoop loop;
    DemoState state;
    seekLoop(loop, state, 120);
    // While the 4096 frames queued before the seek play, the clock holds at 2000 ms; then it
    // counts the new sound: 256 frames are 256 × 1000 / 44100 ms.
    for (auto [played, taken] : {std::pair{4000ull, 2000.0}, std::pair{4096ull + 256, 2000.0 + 256000.0 / 44100}}) {
        device.framesPlayed = played;
        EXPECT_NEAR(playerClock(player).taken, taken, 1e-9) << played;
        EXPECT_NEAR(readAudioClock(loop, playerClock(player), 0.0), taken, 1e-9) << played;
    }
    // Back to frame 60 (1000 ms) once the 17 headers written so far have played: the clock
    // goes back across the seek only.
    seekPlayer(player, 60);
    device.framesPlayed = 17 * 256;
    EXPECT_GT(readAudioClock(loop, playerClock(player), 0.0), 2000.0);
    seekLoop(loop, state, 60);
    EXPECT_DOUBLE_EQ(readAudioClock(loop, playerClock(player), 0.0), 1000.0);
    EXPECT_EQ(state.simulation.frame, 60u);
    pausePlayer(player);
    finish(4);
    EXPECT_TRUE(passWrites().empty());
    EXPECT_EQ(player.position.load(), 44100u);
}

TEST_F(Player, QueuesEveryChunkThatEndsBeforeTheTracksLastFrame)
{
    // A chunk at p is queued while p + 256 < total: a track of exactly 40 chunks stops one
    // short, at 38 * 256.
    open(40 * 256);
    device.completeOnWrite = true;
    restartPlayer(player);
    std::vector<Write> all;
    for (int pass = 0; pass < 4; ++pass) {
        std::vector<Write> writes = passWrites();
        all.insert(all.end(), writes.begin(), writes.end());
    }
    ASSERT_EQ(all.size(), 39u);
    for (size_t k = 0; k < all.size(); ++k)
        ASSERT_EQ(all[k].frame, 256ull * k);
}

TEST_F(Player, FailedWriteRetriesTheSameChunkAndReportsOncePerFailure)
{
    open(256 * 100);
    restartPlayer(player);
    device.writeErrors = {0, 0, 11, 12};
    CaptureStdout();
    // Headers 0 and 1 go out; the third write fails and ends the pass; so does the next try.
    EXPECT_EQ(passWrites(), (std::vector<Write>{{0, 0}, {1, 256}}));
    EXPECT_TRUE(passWrites().empty());
    std::vector<Write> retried = passWrites();
    EXPECT_EQ(GetCapturedStdout(), "Audio Error: fake failure 11\nAudio Error: fake failure 12\n");
    ASSERT_FALSE(retried.empty());
    EXPECT_EQ(retried.front(), (Write{2, 512}));
}

TEST_F(Player, WithoutADeviceReportsOnceAndPlaysSilentlyInRealTime)
{
    const std::string noDevice = "Audio Error: no audio output device opened; playing silently\n";
    struct Case {
        bool silentOpens;
        std::string log;
        size_t firstPassWrites;
    };
    const Case cases[] = {
        {true, noDevice, 16}, // the silent output takes the headers as a device would
        {false, noDevice + "Audio Error: the silent audio output did not open either\n", 0},
    };
    for (const Case& c : cases) {
        Rig rig;
        rig.device.opens = false;
        rig.device.silentOpens = c.silentOpens;
        CaptureStdout();
        rig.open(256 * 100);
        restartPlayer(rig.player);
        for (int pass = 0; pass < 3; ++pass)
            EXPECT_EQ(rig.passWrites().size(), pass == 0 ? c.firstPassWrites : 0);
        EXPECT_EQ(GetCapturedStdout(), c.log);
        if (!c.silentOpens) {
            // Nothing is ever taken, so the clock runs in real time from play().
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            EXPECT_GE(playerClock(rig.player).taken, 5.0);
        }
    }
}

TEST_F(Player, StreamingThreadStopsBeforeTheDeviceCloses)
{
    open(256 * 40); // chunks 0..38 (see QueuesEveryChunkThatEndsBeforeTheTracksLastFrame)
    device.completeOnWrite = true;
    startAudioStreaming(player);
    restartPlayer(player);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (device.writeCount.load() < 39 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    shutdownAudioPlayer(player);
    EXPECT_EQ(player.thread, nullptr);
    EXPECT_EQ(player.device, nullptr);
    EXPECT_EQ(device.writesWhenClosed, 39u); // nothing written after the close
    EXPECT_EQ(device.writes.size(), 39u);
}
