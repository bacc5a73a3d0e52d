// The soundtrack on the GPU: the synthesis program through the audio renderer, read back and
// checked against values derived by hand from the instruments' formulas. A small sampleRate
// in AudioData reaches late times with small dispatches (t = i / sampleRate).
#include "audio/renderer.h"
#include "tests/gpu/gpu_harness.h"

namespace {

struct Frame { float left, right; };

// A device that refuses floats and takes every write; nothing here plays, so nothing is written.
int pcmDeviceToken;
const WaveOut pcmOnlyDevice = {
    .query = [](const AudioFormat& format) { return format.bitsPerSample != 32; },
    .open = [](const AudioFormat&, AudioDoneFunction, void*, bool) { return reinterpret_cast<AudioDevice*>(&pcmDeviceToken); },
    .write = [](AudioDevice*, AudioHeader*) { return 0; },
    .errorText = [](int, char* text, size_t) { text[0] = 0; },
    .clock = [](const AudioDevice*) { return AudioDeviceClock{}; },
    .close = [](AudioDevice*& device) { device = nullptr; },
};

class Soundtrack : public GpuTest {
protected:
    BarrierBatch barriers;

    void TearDown() override
    {
        freeBarrierBatch(barriers);
        GpuTest::TearDown();
    }
    // One main-loop frame: update, then the render while the track is not ready.
    void runFrame(AudioRenderer& audio)
    {
        FrameContext* frame = beginFrame(app);
        updateAudio(app, audio);
        recordAudioRender(audio, frame->commandList, *heap, barriers);
        endFrame(app);
    }
    // The whole track at the sample rate, for the device given (none: the floats as rendered).
    AudioRenderer* renderTrack(uint32_t sampleRate, const WaveOut* waveOut)
    {
        AudioRenderer* audio = createAudioRenderer(app, {.durationSeconds = 180, .sampleRate = sampleRate, .waveOut = waveOut});
        EXPECT_TRUE(renderWholeSoundtrack(app, *audio));
        return audio;
    }
};

} // namespace

TEST_F(Soundtrack, SamplesMatchTheFormulasAndTheEnvelopeAsFloatsAndAs16Bits)
{
    constexpr uint32_t rate = 64; // 180 s = 11520 frames = 45 whole groups
    AudioRenderer* floats = renderTrack(rate, nullptr);
    ASSERT_EQ(floats->totalFrames, 11520u);
    const Frame* track = reinterpret_cast<const Frame*>(floats->samples);
    struct Expected { float t, left, right, tolerance; };
    const Expected expected[] = {
        // t = 0: the master fade-in smoothstep(0, 8, 0) is 0.
        {0.0f, 0.0f, 0.0f, 0.0f},
        // t = 4: only the pad layer plays. p1 = sine(mtof(48) + 2 slowLFO(4, 0.05), 4) = -0.831174,
        // p2 = 0.966232, p3 = -0.470690; env(ntime = 4.485981, 10, 0.015) = 0.423169;
        // pad = (p1 + p2 + p3) / 3 * env * 0.018 = -0.0008522; master fade smoothstep(0, 8, 4) = 0.5;
        // mono = -0.0004261; pan = 0.3 slowLFO(4, 0.05) = 0.285314;
        // left = mono sqrt(0.5 (1 - pan)), right = mono sqrt(0.5 (1 + pan)).
        {4.0f, -0.000254707f, -0.000341576f, 3e-6f},
        // t = 6.5: pad = 0.0007721 (p1..p3 = -0.840574, 0.836799, 0.160811; env = 0.819449);
        // b1: p = frac(6.5 * 25 / 60) = 0.708333, e = beatEnv(p, 0.015, 10) = 0.000975,
        // tanh(1.6 (e sine(65.40639, t) + 0.5 e sine(32.70320, t))) = 0.000823, faded in by
        // smoothstep(5, 15, 6.5) = 0.06075, * 0.18 = 0.0000090; fade 0.907715; pan 0.267310.
        {6.5f, 0.000429140f, 0.000564392f, 3e-6f},
        // t = 10: pad = 0.0058989; b1: p = 0.166667, e = 0.219442, bass = 0.060723,
        // sub = 0.015331, tanh(1.6 (bass + sub)) = 0.121090, * 0.5 * 0.18 = 0.0108981;
        // mono = 0.0167971; pan = 0.000028.
        {10.0f, 0.011877151f, 0.011877481f, 2e-5f},
        // t = 40, every layer but co3: mel = 0.037743 (bar 1, root 44 * 5/3 Hz), pad = 0.009833,
        // co1 = 0.004779, co2 = 0.003987, ch * ch2 = 0 (ch2 = 0 at this frame), b1 = 0.000497;
        // mono = 0.056839; pan = -0.000111. Phases near 4e5 rad: single precision moves them.
        {40.0f, 0.040193f, 0.040188f, 1e-3f},
        // t = 60, every layer: mel = -0.050351 (bar 1), pad = 0.003754, co1 = 0.007098,
        // co2 = 0.008339, co3 = 0.006188, ch * ch2 ~ 0, b1 = 0; mono = -0.024972; pan = -0.000167.
        {60.0f, -0.017658f, -0.017655f, 1e-3f},
    };
    for (const Expected& e : expected) {
        const Frame& frame = track[uint32_t(e.t * rate)];
        EXPECT_NEAR(frame.left, e.left, e.tolerance) << "t = " << e.t;
        EXPECT_NEAR(frame.right, e.right, e.tolerance) << "t = " << e.t;
    }
    // From 107 s on, 1 - smoothstep(100, 107, t) is exactly 0; nothing is ever beyond the 0.9 clamp.
    double sumSquares = 0.0;
    for (uint32_t i = 0; i < 11520; ++i) {
        ASSERT_TRUE(std::fabs(track[i].left) <= 0.9f && std::fabs(track[i].right) <= 0.9f) << "frame " << i;
        if (i >= 107 * rate) {
            ASSERT_TRUE(track[i].left == 0.0f && track[i].right == 0.0f) << "frame " << i;
        }
        if (i >= 20 * rate && i < 100 * rate)
            sumSquares += double(track[i].left) * track[i].left;
    }
    // Audible in between: melody, chords and bass give an RMS of about 0.048 (0.01 is -40 dB).
    EXPECT_GT(std::sqrt(sumSquares / (80 * rate)), 0.01);

    // A device that refuses floats gets 16-bit samples of the same track: each its float
    // scaled by 32767 and rounded, within half a step.
    AudioRenderer* audio = renderTrack(rate, &pcmOnlyDevice);
    EXPECT_EQ(audio->bitsPerSample, 16u);
    ASSERT_NE(audio->player.thread, nullptr);
    const int16_t* pcm = reinterpret_cast<const int16_t*>(audio->samples);
    for (uint32_t i = 0; i < 11520; ++i) {
        ASSERT_LE(std::fabs(pcm[2 * i] - track[i].left * 32767.0), 0.5) << "frame " << i;
        ASSERT_LE(std::fabs(pcm[2 * i + 1] - track[i].right * 32767.0), 0.5) << "frame " << i;
    }
    EXPECT_EQ(pcm[2 * 640], 389); // t = 10: 0.011877151 * 32767 = 389.18
    destroyAudioRenderer(app, audio);
    destroyAudioRenderer(app, floats);
}

TEST_F(Soundtrack, RecordsOnceReadsBackAfterOneSignalAndPlaysOnlyWhenReady)
{
    AudioRenderer* audio = createAudioRenderer(app, {.durationSeconds = 1, .sampleRate = 1000, .waveOut = nullptr});
    playAudio(*audio); // not ready: no effect
    EXPECT_FALSE(audioPlaying(*audio));
    // Frame 1: update does nothing, the render is recorded, and only once.
    FrameContext* frame = beginFrame(app);
    updateAudio(app, *audio);
    EXPECT_EQ(audio->state, RendererState::Idle);
    recordAudioRender(*audio, frame->commandList, *heap, barriers);
    uint64_t barrierCalls = barrierCallCount(frame->commandList);
    recordAudioRender(*audio, frame->commandList, *heap, barriers);
    EXPECT_EQ(barrierCallCount(frame->commandList), barrierCalls);
    EXPECT_EQ(audio->state, RendererState::Rendering);
    endFrame(app);
    // Frame 2: the signal follows the submitted render. Frame 3: waits, reads back, releases.
    runFrame(*audio);
    EXPECT_EQ(audio->state, RendererState::ReadingBack);
    runFrame(*audio);
    EXPECT_EQ(audio->state, RendererState::Ready);
    EXPECT_EQ(audio->copyFence, nullptr);
    ASSERT_NE(audio->samples, nullptr);
    // 1000 / 256 = 3 whole groups: frames 768 to 999 keep the buffer's zeros.
    const Frame* frames = reinterpret_cast<const Frame*>(audio->samples);
    EXPECT_NE(frames[767].left, 0.0f); // the pad's first whisper, about 1e-6
    for (uint32_t i = 768; i < 1000; ++i)
        ASSERT_EQ(frames[i].left, 0.0f) << "frame " << i;
    runFrame(*audio);
    EXPECT_EQ(audio->state, RendererState::Ready);
    // Without a device play and stop still switch playing.
    playAudio(*audio);
    EXPECT_TRUE(audioPlaying(*audio));
    stopAudio(*audio);
    EXPECT_FALSE(audioPlaying(*audio));
    destroyAudioRenderer(app, audio);
}
