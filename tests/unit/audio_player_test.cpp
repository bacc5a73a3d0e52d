// The streaming player's ring over a fake wave-out device: claims, order, retries, restarts.
#include "audio/player.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Write {
    uint32_t header; // index into the player's headers
    uint64_t frame;  // first frame of the chunk the header points at
};

// The one fake device; the functions below are what the player sees instead of SDL.
struct FakeDevice {
    bool acceptsFloat = true;
    bool opens = true;
    bool silentOpens = true;
    bool openedSilent = false;
    bool completeOnWrite = false; // hand each header back at once, as a device that never lags
    std::vector<int> writeErrors; // popped from the front: 0 = accept
    AudioDoneFunction done = nullptr;
    void* userData = nullptr;
    uint64_t framesPlayed = 0;
    bool closed = false;
    size_t writesWhenClosed = 0;
    std::vector<Write> writes;
    std::atomic<size_t> writeCount{0};
    const AudioPlayer* player = nullptr;
};
FakeDevice* fake = nullptr;

AudioDevice* fakeHandle()
{
    return reinterpret_cast<AudioDevice*>(fake);
}

const WaveOut fakeWaveOut = {
    .query = [](const AudioFormat& format) { return format.bitsPerSample != 32 || fake->acceptsFloat; },
    .open = [](const AudioFormat&, AudioDoneFunction done, void* userData, bool silent) -> AudioDevice* {
        if (!(silent ? fake->silentOpens : fake->opens))
            return nullptr;
        fake->openedSilent = silent;
        fake->done = done;
        fake->userData = userData;
        return fakeHandle();
    },
    .write = [](AudioDevice* device, AudioHeader* header) -> int {
        EXPECT_EQ(device, fakeHandle());
        if (!fake->writeErrors.empty()) {
            int error = fake->writeErrors.front();
            fake->writeErrors.erase(fake->writeErrors.begin());
            if (error != 0)
                return error;
        }
        const AudioPlayer& player = *fake->player;
        uint32_t frameBytes = player.channels * player.bitsPerSample / 8;
        size_t offset = static_cast<const uint8_t*>(header->data) - player.samples;
        fake->writes.push_back({uint32_t(header - player.headers), offset / frameBytes});
        fake->writeCount.store(fake->writes.size());
        if (fake->completeOnWrite)
            fake->done(fake->userData, header);
        return 0;
    },
    .errorText = [](int error, char* text, size_t capacity) { std::snprintf(text, capacity, "fake failure %d", error); },
    .clock = [](const AudioDevice*) { return AudioDeviceClock{.frames = fake->framesPlayed}; },
    .close = [](AudioDevice*& device) {
        fake->closed = true;
        fake->writesWhenClosed = fake->writeCount.load();
        device = nullptr;
    },
};

class Player : public testing::Test {
protected:
    FakeDevice device;
    AudioPlayer player;
    uint8_t* samples = nullptr;

    void SetUp() override
    {
        fake = &device;
        device.player = &player;
        player.waveOut = &fakeWaveOut;
    }
    void TearDown() override
    {
        std::free(samples);
        fake = nullptr;
    }

    // A track of the given length, its format negotiated and its device open, not yet playing.
    void open(uint32_t totalFrames)
    {
        player.totalFrames = totalFrames;
        negotiateAudioFormat(player);
        // calloc leaves untouched pages unmapped: a 63 MB track costs nothing here.
        samples = static_cast<uint8_t*>(std::calloc(size_t(totalFrames) * 8, 1));
        openAudioOutput(player, samples);
    }
    void finish(uint32_t header) { device.done(device.userData, &player.headers[header]); }
    void finishAll()
    {
        for (uint32_t h = 0; h < audioHeaderCount; ++h)
            if (player.headers[h].user.load() == 1)
                finish(h);
    }
    std::vector<Write> passWrites()
    {
        device.writes.clear();
        streamAudioPass(player);
        return device.writes;
    }
};

bool operator==(const Write& a, const Write& b)
{
    return a.header == b.header && a.frame == b.frame;
}

} // namespace

TEST_F(Player, RefillsFinishedHeadersInOrderAndSkipsQueuedOnes)
{
    open(256 * 100);
    EXPECT_TRUE(passWrites().empty()); // not playing yet
    restartPlayer(player);

    // First pass: header h takes chunk h, frames 256h to 256h + 255.
    std::vector<Write> first = passWrites();
    ASSERT_EQ(first.size(), 16u);
    for (uint32_t h = 0; h < 16; ++h)
        EXPECT_EQ(first[h], (Write{h, 256ull * h}));
    EXPECT_EQ(player.position.load(), 16u * 256);

    // All still queued: nothing is claimed, nothing moves.
    const void* fifthData = player.headers[5].data;
    EXPECT_TRUE(passWrites().empty());

    // The device finishes 0 and 1: they take chunks 16 and 17; queued 2..15 are left alone.
    finish(0);
    finish(1);
    EXPECT_EQ(passWrites(), (std::vector<Write>{{0, 16 * 256}, {1, 17 * 256}}));
    EXPECT_EQ(player.headers[5].data, fifthData);
    EXPECT_EQ(player.headers[5].user.load(), 1u);

    finish(5);
    EXPECT_EQ(passWrites(), (std::vector<Write>{{5, 18 * 256}}));
}

TEST_F(Player, LastChunkOfTheFullTrackStartsAt7937536)
{
    // 180 s at 44100 Hz; a chunk at p is queued only while p + 256 < 7938000, so the last is
    // 31006 * 256 = 7937536 and frames from 7937792 on are never queued.
    open(7938000);
    device.completeOnWrite = true;
    restartPlayer(player);
    std::vector<Write> all;
    for (int pass = 0; pass < 3000; ++pass) {
        std::vector<Write> writes = passWrites();
        all.insert(all.end(), writes.begin(), writes.end());
    }
    ASSERT_EQ(all.size(), 31007u);
    for (size_t k = 0; k < all.size(); ++k)
        ASSERT_EQ(all[k].frame, 256ull * k);
    EXPECT_EQ(all.back().frame, 7937536u);
    EXPECT_EQ(player.position.load(), 7937792u);
}

TEST_F(Player, FailedWriteRetriesTheSameChunkAndReportsOncePerFailure)
{
    open(256 * 100);
    restartPlayer(player);
    device.writeErrors = {0, 0, 11};

    testing::internal::CaptureStdout();
    // Headers 0 and 1 go out; the third write fails and ends the pass.
    EXPECT_EQ(passWrites(), (std::vector<Write>{{0, 0}, {1, 256}}));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Audio Error: fake failure 11\n");
    EXPECT_EQ(player.headers[2].user.load(), 0u); // given back for the retry
    EXPECT_EQ(player.position.load(), 512u);

    // Two more failures, one report each; then chunk 2 goes out through header 2.
    device.writeErrors = {12, 13};
    testing::internal::CaptureStdout();
    EXPECT_TRUE(passWrites().empty());
    EXPECT_TRUE(passWrites().empty());
    std::vector<Write> retried = passWrites();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Audio Error: fake failure 12\nAudio Error: fake failure 13\n");
    ASSERT_FALSE(retried.empty());
    EXPECT_EQ(retried.front(), (Write{2, 512}));
}

TEST_F(Player, PlayRestartsFromFrameZeroAndStopQueuesNothing)
{
    open(256 * 100);
    restartPlayer(player);
    passWrites();
    finishAll();
    EXPECT_EQ(passWrites().front(), (Write{0, 16 * 256}));
    finishAll();

    restartPlayer(player); // a second play: back to frame 0
    EXPECT_EQ(passWrites().front(), (Write{0, 0}));
    finishAll();

    stopPlayer(player);
    EXPECT_EQ(player.position.load(), 0u);
    EXPECT_TRUE(passWrites().empty());

    // The position is the device's count since opening, whatever play did.
    device.framesPlayed = 3 * 44100 / 2;
    EXPECT_DOUBLE_EQ(playerClock(player).taken, 1500.0);
}

TEST_F(Player, RefusedFloatsGive16BitHeadersOfHalfTheSize)
{
    device.acceptsFloat = false;
    open(256 * 100);
    EXPECT_EQ(player.bitsPerSample, 16u);
    EXPECT_EQ(player.format.bitsPerSample, 16u);
    // 256 frames * 2 channels * 2 bytes.
    EXPECT_EQ(player.headers[0].bytes, 1024u);
    EXPECT_EQ(player.headers[1].data, samples + 1024);
    restartPlayer(player);
    std::vector<Write> writes = passWrites();
    EXPECT_EQ(writes[3], (Write{3, 3 * 256})); // the fake measures frames at 4 bytes each
}

TEST_F(Player, WithoutADeviceReportsOnceAndPlaysSilently)
{
    device.opens = false;
    testing::internal::CaptureStdout();
    open(256 * 100);
    restartPlayer(player);
    EXPECT_EQ(passWrites().size(), 16u);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Audio Error: no audio output device opened; playing silently\n");
    EXPECT_TRUE(device.openedSilent);
    EXPECT_EQ(player.headers[0].bytes, 2048u);
}

TEST_F(Player, WithNoOutputAtAllPassesStayQuiet)
{
    device.opens = false;
    device.silentOpens = false;
    testing::internal::CaptureStdout();
    open(256 * 100);
    std::string openReport = testing::internal::GetCapturedStdout();
    EXPECT_EQ(openReport, "Audio Error: no audio output device opened; playing silently\n"
                          "Audio Error: the silent audio output did not open either\n");
    restartPlayer(player);
    testing::internal::CaptureStdout();
    for (int pass = 0; pass < 100; ++pass)
        EXPECT_TRUE(passWrites().empty());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    // Nothing is ever taken, so the clock runs in real time from play().
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_GE(playerClock(player).taken, 5.0);
}

TEST_F(Player, StreamingThreadQueuesTheTrackAndStopsBeforeTheDeviceCloses)
{
    // 40 chunks of room: chunks 0..38 are queued (38 * 256 + 256 < 40 * 256, 39 * 256 + 256 is not).
    open(256 * 40);
    device.completeOnWrite = true;
    startAudioStreaming(player);
    ASSERT_NE(player.thread, nullptr);
    restartPlayer(player);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (device.writeCount.load() < 39 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    shutdownAudioPlayer(player);
    EXPECT_EQ(player.thread, nullptr);
    EXPECT_EQ(player.device, nullptr);
    EXPECT_TRUE(device.closed);
    EXPECT_EQ(device.writesWhenClosed, 39u);
    EXPECT_EQ(device.writes.size(), 39u);
    EXPECT_EQ(device.writes.back().frame, 38u * 256);
}
