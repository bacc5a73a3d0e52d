// The whole frame chain on small render sizes: every scene object, the prologue, the fifteen
// steps and the epilogue, their descriptors and copies, the memory a long run holds, and seeks
// from the particle snapshots. Lit pictures of both scenes are the golden frames'
// (tests/e2e/tools_test.cpp).
#include "app/particle_snapshots.h"
#include "app/piece.h"
#include "gfx/descriptors.h"
#include "gfx/vk_internal.h"
#include "tests/gpu/gpu_harness.h"

namespace {

// The frame's descriptors: simulation 3, path tracer 9, temporal 15, 6 per filter step, the
// depth of field's tiles 5 and pass 5, the final pass 3.
uint32_t descriptorsPerFrame(uint32_t filterSteps)
{
    return 3 + 9 + 15 + 6 * filterSteps + 5 + 5 + 3;
}

} // namespace

// The piece started at 32 x 8, or at the size a derived fixture sets.
class SceneChainTest : public GpuTest {
protected:
    SceneChainTest() { backBufferWidth = 32; }

    void SetUp() override
    {
        GpuTest::SetUp();
        startPiece(app, piece, {.renderWidth = backBufferWidth, .renderHeight = backBufferHeight, .soundtrack = false,
                                .saveTimelineOnPanic = false});
    }

    void TearDown() override
    {
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

    Piece piece; // the piece's start-up, without the soundtrack
    DemoState& state = piece.state;
    SceneResources& scene = piece.scene;
};

// 128 x 72: 4 x 3 groups and tiles where the programs work in blocks of 32.
struct WideSceneChainTest : SceneChainTest {
    WideSceneChainTest() { backBufferWidth = 128, backBufferHeight = 72; }
};

TEST_F(WideSceneChainTest, RecordsEveryStepWithItsDescriptorsFilterChainCopiesAndWholeParticleGroups)
{
    // The defaults: scene 0 from its initialisation frame, 64 particles.
    const struct { uint32_t filterSteps; Image* result; } cases[] = {
        {2, scene.accumImage}, // accum -> colour -> accum
        {3, scene.colorImage}, // accum -> colour -> accum -> colour
        {0, scene.accumImage}, // the temporal output unfiltered
        {maxFilterSteps, scene.accumImage}, // the most the frame's heap holds: one more does not fit
    };
    EXPECT_GT(descriptorsPerFrame(maxFilterSteps + 1), shaderHeapDescriptors);
    for (const auto& c : cases) {
        state.filterSteps = c.filterSteps;
        renderFrame();
        SCOPED_TRACE(testing::Message() << "filterSteps " << c.filterSteps);
        EXPECT_EQ(scene.lastFrame.descriptorsUsed, descriptorsPerFrame(c.filterSteps));
        EXPECT_EQ(scene.lastFrame.filterDispatches, c.filterSteps);
        EXPECT_EQ(scene.lastFrame.filterResult, c.result);
        // Each copy for the next frame, the history taking the temporal chain's image whatever
        // the filter ended in.
        const std::pair<Image*, Image*> copies[] = {
            {scene.historyImage, scene.accumImage},         {scene.prevPositionImage, scene.positionImage},
            {scene.prevNormalImage, scene.normalImage},     {scene.prevMoment1Image, scene.moment1Image},
            {scene.prevMoment2Image, scene.moment2Image}, {scene.prevDepthImage, scene.depthImage}};
        for (size_t i = 0; i < std::size(copies); ++i)
            EXPECT_TRUE(readImageBytes(copies[i].first) == readImageBytes(copies[i].second)) << "copy " << i;
        state.simulation.frame += 1;
    }
    // Every image is back in the state the next frame's steps start from.
    EXPECT_EQ(scene.positionImage->state, STATE_UNORDERED_ACCESS);
    EXPECT_EQ(scene.depthImage->state, STATE_UNORDERED_ACCESS);
    EXPECT_EQ(scene.dofImage->state, STATE_RENDER_TARGET);
    EXPECT_EQ(scene.particleBuffer->state, STATE_UNORDERED_ACCESS);
    EXPECT_EQ(currentBackBuffer(app)->state, STATE_PRESENT);

    // Scene 0 lays its particles out on frame 0, giving record i the id i + 1; a record past
    // count / 32 x 32 (80 -> 64) stays as the zeroed buffer left it. One group steps them all;
    // 31 particles make no whole 32: no dispatch, and the frame is still complete.
    state.simulation.frame = 0;
    for (auto [count, groups, id63, id64, id127] : {std::array<uint32_t, 5>{80, 1, 64, 0, 0}, {128, 1, 64, 65, 128}}) {
        state.scene.numParticles = count;
        renderFrame(false);
        EXPECT_EQ(scene.lastFrame.simulationGroups, groups);
        std::vector<ParticleData> records = readBuffer<ParticleData>(scene.particleBuffer);
        EXPECT_EQ(records[0].id, 1u);
        EXPECT_EQ(records[63].id, id63);
        EXPECT_EQ(records[64].id, id64);
        EXPECT_EQ(records[127].id, id127);
    }
    state.scene.numParticles = 31;
    renderFrame();
    EXPECT_EQ(scene.lastFrame.simulationGroups, 0u);
    EXPECT_EQ(scene.lastFrame.descriptorsUsed, descriptorsPerFrame(state.filterSteps));
}

TEST_F(SceneChainTest, DrawingManyFramesHoldsBoundedMemory)
{
    renderFrame();
    waitForAllFrames(app);
    const int64_t before = driverMemoryBytes();
    for (uint32_t frame = 1; frame <= 160; ++frame) {
        state.simulation.frame = frame;
        renderFrame();
    }
    waitForAllFrames(app);
    // lavapipe compiles and keeps a copy of a program (0.5 to 1 MB) at every bind where a branch
    // or loop bound depends on constant-block values alone: 160 frames of the chain's seven
    // programs would hold several hundred MB.
    EXPECT_LT(driverMemoryBytes() - before, int64_t(16) << 20);
}

TEST_F(SceneChainTest, HistoryImagesStartZeroedWhateverTheirMemoryHeld)
{
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
    for (size_t i = 0; i < std::size(history); ++i) {
        std::vector<uint8_t> bytes = readImageBytes(history[i]);
        EXPECT_EQ(std::count(bytes.begin(), bytes.end(), 0), std::ptrdiff_t(bytes.size())) << "image " << i;
    }
}

TEST_F(SceneChainTest, ASeekGivesTheBytesOfALinearRunFromFrameZero)
{
    ParticleSnapshots snapshots;
    createParticleSnapshots(app, snapshots);
    auto seek = [&](uint32_t frame) { return seekParticles(app, scene, state, *piece.timeline, snapshots, frame); };
    // Frame 0, a snapshot's own frame, the frames scene 1 is cleared and laid out in, and a frame
    // of scene 1's collisions: stepped from frame 0 with no snapshot, then, once a seek past them
    // has taken the snapshots, from the nearest one (frame mod 300 steps), to the same bytes.
    std::vector<uint8_t> linear;
    for (uint32_t frame : {0u, 3300u, 3254u, 3255u, 3500u}) {
        discardSnapshotsFrom(snapshots, 0);
        EXPECT_EQ(seek(frame), frame);
        linear = readBufferBytes(scene.particleBuffer);
        seek(3601);
        EXPECT_EQ(seek(frame), frame % snapshotInterval);
        EXPECT_TRUE(readBufferBytes(scene.particleBuffer) == linear) << "frame " << frame;
        EXPECT_EQ(state.simulation.frame, frame);
    }
    // Snapshots made beside the scene's own particles leave those as they were, and a seek from
    // them gives the same bytes (the last case's, frame 3500).
    discardSnapshotsFrom(snapshots, 0);
    const std::vector<uint8_t> shown = readBufferBytes(scene.particleBuffer);
    while (!makeSnapshots(app, scene, state, *piece.timeline, snapshots, 1000.0)) {}
    EXPECT_TRUE(readBufferBytes(scene.particleBuffer) == shown);
    EXPECT_EQ(seek(3500), 200u);
    EXPECT_TRUE(readBufferBytes(scene.particleBuffer) == linear);
    // An edit from 3301 on keeps the snapshot of 3300, one from 3300 on throws it away.
    discardSnapshotsFrom(snapshots, 3301);
    EXPECT_NE(snapshots.slots[11], nullptr);
    discardSnapshotsFrom(snapshots, 3300);
    EXPECT_EQ(snapshots.slots[11], nullptr);
    EXPECT_NE(snapshots.slots[10], nullptr);
    destroyParticleSnapshots(app, snapshots);
}
