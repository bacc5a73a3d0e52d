// The whole frame chain on small render sizes: every scene object, the prologue, the fifteen
// steps and the epilogue, driven by the main loop's bookkeeping with the piece's timeline.
#include "app/main_loop.h"
#include "app/piece.h"
#include "gfx/descriptors.h"
#include "gfx/vk_internal.h"
#include "tests/gpu/gpu_harness.h"

#include <malloc.h>
#include <png.h>

#include <algorithm>
#include <filesystem>
#include <string>

namespace {

// The frame's descriptors: simulation 3, path tracer 9, temporal 15, 6 per filter step, the
// depth of field's tiles 5 and pass 5, the final pass 3.
uint32_t descriptorsPerFrame(uint32_t filterSteps)
{
    return 3 + 9 + 15 + 6 * filterSteps + 5 + 5 + 3;
}

} // namespace

class SceneChainTest : public GpuTest {
protected:
    void startScene(uint32_t width, uint32_t height)
    {
        backBufferWidth = width;
        backBufferHeight = height;
        GpuTest::SetUp();
        startPiece(app, piece,
                   {.renderWidth = width, .renderHeight = height, .soundtrack = false, .saveTimelineOnPanic = false});
        started = true;
    }

    void SetUp() override {} // each test picks its render size with startScene

    void TearDown() override
    {
        if (!started)
            return;
        stopPiece(app, piece);
        GpuTest::TearDown();
    }

    // One frame of the scene outside the loop: prologue, steps 1 to 15 (or 1 to 3), epilogue.
    void renderFrame(bool wholeChain = true)
    {
        FrameContext* frame = beginFrame(app);
        beginSceneFrame(app, scene, *frame);
        if (wholeChain)
            recordScene(app, scene, state, frame->commandList);
        else
            recordSimulation(scene, state, frame->commandList);
        endSceneFrame(app, scene);
    }

    // The loop of the piece from `first` to `last` with the soundtrack ready and playing at
    // 60 Hz; frames before `drawFrom` only move the particles (drawing them all would take
    // lavapipe minutes), so the path tracer, temporal and filter history are those of the last
    // frames only.
    void playFrames(uint32_t first, uint32_t last, uint32_t drawFrom)
    {
        double clock = 0.0; // milliseconds
        bool playing = false;
        SoundtrackSource soundtrack = {
            .update = [] {},
            .ready = [] { return true; },
            .recordRender = [] {},
            .playing = [&] { return playing; },
            .play = [&] { playing = true; },
            // The music has played the frame shown once it is presented.
            .clock =
                [&] {
                    return PlaybackClock{.taken = (state.simulation.frame + 1) * 1000.0 / 60.0,
                                         .movedAt = clock,
                                         .latency = audioLatencyMilliseconds};
                },
        };
        FrameSink frames = {
            .pumpMessages = [] { return false; },
            .shown = [] { return true; },
            .waitUntil = [](double) {},
            .beginFrame = [&] { beginSceneFrame(app, scene, *beginFrame(app)); },
            .recordScene =
                [&] {
                    CommandList* list = app.frames[scene.frameSlot].commandList;
                    if (state.simulation.frame >= drawFrom)
                        recordScene(app, scene, state, list);
                    else
                        recordSimulation(scene, state, list);
                },
            .endFrame =
                [&] {
                    endSceneFrame(app, scene);
                    clock += 1000.0 / 60.0;
                },
        };
        MainLoop loop{.frameClock = FrameClock::FrameLocked, .firstFrame = first};
        startLoop(loop, state);
        // The first iteration starts the music and shows `first` again in the second.
        while (state.simulation.frame < last)
            runLoopIteration(loop, state, *piece.timeline, [&] { return clock; }, soundtrack, frames);
    }

    // Writes the back buffer to the test-output folder; returns its mean over R, G and B (0-255).
    double savePicture(const std::string& name)
    {
        DynamicArray<uint8_t> pixels = readBackBuffer(app);
        std::filesystem::create_directories(KIVREL_TEST_OUTPUT_DIR);
        std::string path = std::string(KIVREL_TEST_OUTPUT_DIR) + "/" + name;
        png_image image{};
        image.version = PNG_IMAGE_VERSION;
        image.width = app.width;
        image.height = app.height;
        image.format = PNG_FORMAT_RGBA;
        EXPECT_NE(png_image_write_to_file(&image, path.c_str(), 0, pixels.data, 0, nullptr), 0) << path;
        double sum = 0.0;
        for (uint64_t i = 0; i < pixels.count; ++i)
            sum += (i % 4 == 3) ? 0.0 : pixels.data[i];
        double mean = sum / double(app.width * app.height * 3);
        pixels.clear();
        std::printf("%s: mean %.2f of 255\n", path.c_str(), mean);
        return mean;
    }

    void expectSameBytes(Image* copy, Image* original, const char* what)
    {
        EXPECT_TRUE(readImageBytes(copy) == readImageBytes(original)) << what;
    }

    Piece piece; // the piece's start-up with its timeline, without the soundtrack
    DemoState& state = piece.state;
    SceneResources& scene = piece.scene;
    bool started = false;
};

TEST_F(SceneChainTest, RecordsEveryStepWithItsDescriptorsFilterChainAndCopies)
{
    startScene(128, 72);
    // The defaults: scene 0 from its initialisation frame, 64 particles.
    struct Case {
        uint32_t filterSteps;
        Image* result;
    } cases[] = {
        {2, scene.accumImage}, // accum -> colour -> accum
        {3, scene.colorImage}, // accum -> colour -> accum -> colour
        {0, scene.accumImage}, // the temporal output unfiltered
    };
    for (const Case& c : cases) {
        state.filterSteps = c.filterSteps;
        renderFrame();
        SCOPED_TRACE(testing::Message() << "filterSteps " << c.filterSteps);
        EXPECT_EQ(scene.lastFrame.descriptorsUsed, descriptorsPerFrame(c.filterSteps));
        EXPECT_EQ(scene.lastFrame.filterDispatches, c.filterSteps);
        EXPECT_EQ(scene.lastFrame.filterResult, c.result);
        // The history takes the temporal chain's image whatever the filter ended in.
        expectSameBytes(scene.historyImage, scene.accumImage, "history = accum");
        expectSameBytes(scene.prevPositionImage, scene.positionImage, "previous position");
        expectSameBytes(scene.prevNormalImage, scene.normalImage, "previous normal");
        expectSameBytes(scene.prevMoment1Image, scene.moment1Image, "previous first moment");
        expectSameBytes(scene.prevMoment2Image, scene.moment2Image, "previous second moment");
        expectSameBytes(scene.prevDepthImage, scene.depthImage, "previous depth");
        state.simulation.frame += 1;
    }
    // Every image is back in the state the next frame's steps start from.
    EXPECT_EQ(scene.positionImage->state, STATE_UNORDERED_ACCESS);
    EXPECT_EQ(scene.depthImage->state, STATE_UNORDERED_ACCESS);
    EXPECT_EQ(scene.dofImage->state, STATE_RENDER_TARGET);
    EXPECT_EQ(scene.particleBuffer->state, STATE_UNORDERED_ACCESS);
    EXPECT_EQ(currentBackBuffer(app)->state, STATE_PRESENT);
}

TEST_F(SceneChainTest, SimulatesWholeGroupsOfThirtyTwoParticles)
{
    startScene(64, 36);
    // Scene 0 lays its particles out on frame 0, giving record i the id i + 1; a record no
    // thread reached stays as the zeroed buffer left it.
    auto particleIds = [&] {
        std::vector<ParticleData> records = readBuffer<ParticleData>(scene.particleBuffer);
        return std::vector<uint32_t>{records[0].id, records[63].id, records[64].id, records[127].id};
    };
    state.simulation.frame = 0;
    state.scene.numParticles = 64;
    renderFrame(false);
    EXPECT_EQ(scene.lastFrame.simulationGroups, 2u);
    EXPECT_EQ(particleIds(), (std::vector<uint32_t>{1, 64, 0, 0}));

    state.scene.numParticles = 128;
    renderFrame(false);
    EXPECT_EQ(scene.lastFrame.simulationGroups, 4u);
    EXPECT_EQ(particleIds(), (std::vector<uint32_t>{1, 64, 65, 128}));

    // 31 particles make no whole group: no dispatch, and the frame is still complete.
    state.scene.numParticles = 31;
    renderFrame();
    EXPECT_EQ(scene.lastFrame.simulationGroups, 0u);
    EXPECT_EQ(scene.lastFrame.descriptorsUsed, descriptorsPerFrame(state.filterSteps));
}

TEST_F(SceneChainTest, DrawingManyFramesHoldsBoundedMemory)
{
    startScene(32, 8);
    auto heapBytes = [] {
        struct mallinfo2 info = mallinfo2();
        return int64_t(info.uordblks + info.hblkhd);
    };
    renderFrame();
    waitForAllFrames(app);
    const int64_t before = heapBytes();
    for (uint32_t frame = 1; frame <= 160; ++frame) {
        state.simulation.frame = frame;
        renderFrame();
    }
    waitForAllFrames(app);
    // lavapipe compiles and keeps a copy of a program (0.5 to 1 MB) at every bind where a branch
    // or loop bound depends on constant-block values alone: 160 frames of the chain's seven
    // programs would hold several hundred MB.
    EXPECT_LT(heapBytes() - before, int64_t(16) << 20);
}

TEST_F(SceneChainTest, HistoryImagesStartZeroedWhateverTheirMemoryHeld)
{
    startScene(32, 8);
    Image* history[] = {scene.prevPositionImage, scene.prevNormalImage, scene.prevMoment1Image, scene.prevMoment2Image,
                        scene.prevDepthImage, scene.historyImage, scene.accumImage, scene.moment1Image,
                        scene.moment2Image};
    // Fresh memory as a GPU may hand it out: 0x7FC07FC0 is a NaN as one 32-bit float and as
    // two 16-bit ones. Written from the CPU before the first frame records anything.
    VulkanContext& vk = vulkanOf(app);
    for (Image* image : history) {
        VkMemoryRequirements requirements;
        vkGetImageMemoryRequirements(vk.device, image->resource->image, &requirements);
        for (uint32_t type = 0; type < vk.memoryProperties.memoryTypeCount; ++type) {
            if ((requirements.memoryTypeBits >> type & 1) &&
                !(vk.memoryProperties.memoryTypes[type].propertyFlags & VK_MEMORY_PROPERTY_HOST_VISIBLE_BIT))
                GTEST_SKIP() << "image memory the CPU cannot write (lavapipe's can)";
        }
        void* mapped = nullptr;
        ASSERT_EQ(vkMapMemory(vk.device, image->resource->memory, 0, VK_WHOLE_SIZE, 0, &mapped), VK_SUCCESS);
        std::fill_n(static_cast<uint32_t*>(mapped), requirements.size / 4, 0x7FC07FC0u);
        vkUnmapMemory(vk.device, image->resource->memory);
    }
    // What the first temporal pass reads: every byte 0.
    for (Image* image : history) {
        std::vector<uint8_t> bytes = readImageBytes(image);
        EXPECT_EQ(std::count(bytes.begin(), bytes.end(), 0), std::ptrdiff_t(bytes.size()))
            << "image " << (std::find(std::begin(history), std::end(history), image) - std::begin(history));
    }
}

// The piece is black until the brightness track rises at frame 439: these run the chain from a
// scene's initialisation frame to a lit frame and keep the picture for people to look at.
TEST_F(SceneChainTest, SceneZeroIsLitAtFrames700And1650)
{
    startScene(384, 216);
    playFrames(0, 700, 692);
    EXPECT_EQ(state.simulation.scene, 0u);
    EXPECT_GT(savePicture("scene0_frame700.png"), 2.0);
    // The lights have grown (frames 713 to 1093) and the title is in (frames 1600 to 1700).
    playFrames(700, 1650, 1642);
    EXPECT_GT(savePicture("scene0_frame1650.png"), 2.0);
}

TEST_F(SceneChainTest, SceneOneIsLitAtFrame3400)
{
    startScene(384, 216);
    playFrames(3255, 3400, 3392);
    EXPECT_EQ(state.simulation.scene, 1u);
    EXPECT_GT(savePicture("scene1_frame3400.png"), 2.0);
}
