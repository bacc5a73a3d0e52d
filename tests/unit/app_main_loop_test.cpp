// The main loop's bookkeeping driven by a fake clock, a fake soundtrack player and a fake
// frame ring: phases, the frame index, the audio clock, the simulation step and the end.
#include "app/main_loop.h"
#include "code/kivrel_timeline.json.h"
#include "timeline/timeline_io.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr double refreshPeriod = 1000.0 / 60.0; // milliseconds per presented frame

// What one presented frame showed.
struct Shown {
    bool scene;           // false while the soundtrack was being prepared
    uint32_t frameIndex;  // the timeline frame evaluated for it
    LoopPhase phase;
};

struct FakeRun {
    DemoParameters parameters;
    DemoState state;
    Timeline* timeline = createTimeline(timelineFrameCount);
    MainLoop loop;

    double clock = 5000.0; // milliseconds; present waits one refresh period
    int updatesUntilReady = 3; // ready in the third frame, after two preparing ones
    bool playing = false;
    double position = 0.0;  // seconds
    int renderRecords = 0;
    int quitAtIteration = -1;
    int iteration = 0;
    std::vector<Shown> shown;
    std::vector<float> dtSeenByScene; // SimulationData.dt when each scene was recorded
    std::vector<float> accumulatedSeenByScene;

    SoundtrackSource soundtrack{
        .update = [this] { updatesUntilReady -= updatesUntilReady > 0; },
        .ready = [this] { return updatesUntilReady == 0; },
        .recordRender = [this] { ++renderRecords; },
        .playing = [this] { return playing; },
        .play = [this] { playing = true; },
        .positionSeconds = [this] { return position; },
    };
    FrameSink frames{
        .pumpMessages = [this] { return iteration == quitAtIteration; },
        .beginFrame = [] {},
        .recordScene =
            [this] {
                updateFrameMatrices(state);
                dtSeenByScene.push_back(state.simulation.dt);
                accumulatedSeenByScene.push_back(state.frame.time);
            },
        .endFrame =
            [this] {
                shown.push_back({loop.phase != LoopPhase::preparing, state.finalPass.frame, loop.phase});
                clock += refreshPeriod;
                position += 1.0 / 60.0;
                ++iteration;
            },
    };

    explicit FakeRun(const std::string& text)
    {
        state.camera = makeCamera(parameters.cameraPos, parameters.cameraDir);
        initRecords(state, parameters, {1920.0f, 1080.0f});
        applyDefaults(state, parameters);
        testing::internal::CaptureStdout();
        loadTimeline(*timeline, text.data(), text.size());
        testing::internal::GetCapturedStdout();
        if (timeline->tracks.count == 0)
            seedTracks(*timeline, parameters);
    }
    ~FakeRun() { destroyTimeline(timeline); }

    void run()
    {
        runMainLoop(loop, state, *timeline, [this] { return clock; }, soundtrack, frames);
    }
};

const std::string pieceText(TIMELINE_JSON_DATA, sizeof(TIMELINE_JSON_DATA));

} // namespace

TEST(MainLoop, PlaysBlackFramesThenFrameZeroTwiceThenEveryFrameToTheEnd)
{
    FakeRun run(pieceText);
    run.run();
    EXPECT_EQ(run.loop.phase, LoopPhase::teardown);
    // Two frames while the soundtrack is prepared, frame 0 twice, then frames 1 to 7400.
    ASSERT_EQ(run.shown.size(), 2u + 1u + 7401u);
    EXPECT_EQ(run.renderRecords, 2);
    for (int i = 0; i < 2; ++i) {
        EXPECT_FALSE(run.shown[i].scene);
        EXPECT_EQ(run.shown[i].frameIndex, 0u);
        EXPECT_EQ(run.shown[i].phase, LoopPhase::preparing);
    }
    EXPECT_EQ(run.shown[2].phase, LoopPhase::starting);
    EXPECT_EQ(run.shown[2].frameIndex, 0u);
    EXPECT_EQ(run.shown[3].phase, LoopPhase::playing);
    EXPECT_EQ(run.shown[3].frameIndex, 0u);
    for (uint32_t frame = 1; frame <= lastFrameShown; ++frame) {
        ASSERT_EQ(run.shown[3 + frame].frameIndex, frame);
        ASSERT_TRUE(run.shown[3 + frame].scene);
    }
    // The loop ends after the frame in which the index passed 7400.
    EXPECT_EQ(run.state.simulation.frame, 7401u);
    EXPECT_EQ(run.state.frame.frame, 7402.0f);
}

TEST(MainLoop, AudioClockStepAndAccumulatedTime)
{
    FakeRun run(pieceText);
    run.run();
    const std::vector<float>& dt = run.dtSeenByScene;
    // Each scene sees the step of the iteration before: 16.667 ms x 0.025 = 0.41667.
    EXPECT_NEAR(dt[0], 0.41667f, 1e-4f);
    EXPECT_NEAR(dt[1000], 0.41667f, 1e-4f);
    // From frame 3255 the time scale is 0.02: 16.667 x 0.02 = 0.33333.
    EXPECT_NEAR(dt[3255 + 2], 0.33333f, 1e-4f);
    EXPECT_NEAR(run.state.simulation.dt, 0.33333f, 1e-4f);
    // Every scene adds the duration of the iteration before it, the first one that of the
    // last preparing iteration: 7402 scenes, 7402 periods (summed in float, hence the margin).
    EXPECT_EQ(run.accumulatedSeenByScene[0], 0.0f);
    EXPECT_NEAR(run.accumulatedSeenByScene[1], float(refreshPeriod), 1e-3f);
    EXPECT_NEAR(run.state.frame.time, float(7402 * refreshPeriod), 40.0f);
    // After the last frame: played 7402 frames since play(), position 7403/60 s after the
    // counter ran in every iteration; the clock is position x 1000 - 17.4.
    EXPECT_NEAR(run.state.simulation.time, float(run.position * 1000.0 - 1000.0 / 60.0 - 17.4), 0.05f);
}

TEST(MainLoop, VeryFirstIterationCountsZeroAndFailedPositionsAdvanceAnyway)
{
    FakeRun run("{}");
    run.updatesUntilReady = 0; // ready at once: the first iteration renders
    ASSERT_TRUE(run.soundtrack.ready());
    startLoop(run.loop, run.state);
    runLoopIteration(run.loop, run.state, *run.timeline, [&] { return run.clock; }, run.soundtrack, run.frames);
    EXPECT_EQ(run.state.frame.time, 0.0f);
    EXPECT_EQ(run.state.frame.frame, 1.0f);
    EXPECT_EQ(run.state.simulation.frame, 0u); // play() was called, the index stays
    EXPECT_TRUE(run.playing);
    // Defaults: time scale 0.025.
    EXPECT_NEAR(run.state.simulation.dt, float(refreshPeriod) * 0.025f, 1e-6f);

    // A failed position query reads 0: the clock is -17.4 and the index still advances.
    run.position = 0.0;
    run.frames.endFrame = [&run] { run.clock += 20.0; };
    runLoopIteration(run.loop, run.state, *run.timeline, [&] { return run.clock; }, run.soundtrack, run.frames);
    EXPECT_EQ(run.state.simulation.time, -17.4f);
    EXPECT_EQ(run.state.simulation.frame, 1u);
    EXPECT_NEAR(run.state.frame.time, float(refreshPeriod), 1e-4f);
    EXPECT_EQ(run.state.simulation.dt, 20.0f * 0.025f);
    // 1.5 s of playback: 1500 - 17.4.
    run.position = 1.5;
    runLoopIteration(run.loop, run.state, *run.timeline, [&] { return run.clock; }, run.soundtrack, run.frames);
    EXPECT_EQ(run.state.simulation.time, 1482.6f);
    EXPECT_NEAR(run.state.frame.time, float(refreshPeriod) + 20.0f, 1e-4f);
}

TEST(MainLoop, EscapeEndsTheLoopAfterTheCurrentFrame)
{
    FakeRun run(pieceText);
    run.quitAtIteration = 10;
    run.run();
    // Iteration 10 still evaluates, renders and presents; no iteration follows it.
    ASSERT_EQ(run.shown.size(), 11u);
    EXPECT_EQ(run.shown.back().frameIndex, 7u); // 2 preparing, frame 0 twice, then 1 ... 7
    EXPECT_EQ(run.loop.phase, LoopPhase::teardown);
    EXPECT_TRUE(run.loop.quit);
}

TEST(MainLoop, FrameIndexWrapsAtTheTimelinesEnd)
{
    FakeRun run(pieceText);
    run.state.simulation.frame = timelineFrameCount;
    evaluateFrame(run.state, *run.timeline);
    EXPECT_EQ(run.state.simulation.frame, 0u);
    EXPECT_EQ(run.state.finalPass.frame, 0u);
    run.state.simulation.frame = timelineFrameCount - 1;
    evaluateFrame(run.state, *run.timeline);
    EXPECT_EQ(run.state.finalPass.frame, timelineFrameCount - 1);
}
