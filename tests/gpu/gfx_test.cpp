// The graphics layer on the device: a refused full-screen draw, deferred release, descriptor
// pools and timestamps. Uploads, copies, tables, root constants and passes are exercised by
// every program's test and the frame chain's history copies.
#include "gfx/timestamps.h"
#include "gfx/vk_internal.h"
#include "platform/platform.h"
#include "tests/gpu/gpu_harness.h"
#include "tests/gpu/test_programs.h"

// FillBufferCS writes word i of its buffer as 3i + the root constant.
using Gfx = GpuTest;

TEST_F(Gfx, FullscreenPassIntoATargetOfAnotherFormatIsRefused)
{
    // A pass built for RGBA16F drawn into an RGBA8 target: reported, nothing drawn (the clear
    // of the pass still happens), and the device sees no mismatched draw. (The passes' draws
    // themselves are checked through their programs: final_transfer_test, depth_of_field_test.)
    const std::vector<float> white(4 * 4 * 4, 1.0f);
    Image* texture = uploadImage(4, 4, FORMAT_R32G32B32A32_FLOAT, white.data(), STATE_PIXEL_SHADER_RESOURCE);
    std::vector<ResourceBinding> bindings = passBindings({texture}, uploadBuffer(16, BufferType::Constant, white.data()));
    FullscreenPass* pass = fullscreenPass(TestPassPS, 1, FORMAT_R16G16B16A16_FLOAT, ADDRESS_CLAMP);
    Image* target = createRenderTarget(4, 4, FORMAT_R8G8B8A8_UNORM);
    CommandList* list = beginCommands();
    setDescriptorHeap(list, heap);
    testing::internal::CaptureStdout();
    drawFullscreenPass(pass, 4, 4, list, renderTargetView(target, FORMAT_R8G8B8A8_UNORM), heap, bindings);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ASSERT: Render target format 28 does not match the pipeline's 10\n");
    submitAndWait();
    std::vector<uint8_t> pixels = readImageBytes(target);
    for (size_t i = 0; i < pixels.size(); i += 4) // the clear colour (0, 0, 0, 1)
        EXPECT_EQ(pixels[i] + pixels[i + 1] + pixels[i + 2] + (255 - pixels[i + 3]), 0);
}

TEST_F(Gfx, ObjectsDestroyedInTheirFrameOutliveItAndAResetHeapNeverRunsOutOfSets)
{
    // 32 frames of 25 dispatches, each binding a table of its own: 800 descriptor sets, more
    // than the heap's pool holds at once (4 x 128 + 64), so the pool must be emptied whenever
    // the owner resets the cursor (here every fourth frame, once no frame in flight uses the
    // heap). The first dispatch of a frame writes a fresh buffer that is destroyed, with a fresh
    // image, right after recording: deferred release must keep them alive until their slot's
    // fence has passed (validation reports any object destroyed while in use). The others write
    // word i of one buffer as 3i + base.
    Buffer* buffer = uploadBuffer(256, BufferType::ReadWrite, nullptr);
    Pipeline* pipeline = computePipeline(FillBufferCS, {makeRange(RANGE_UAV, 1)}, true);
    for (uint32_t frame = 0; frame < 32; ++frame) {
        if (frame % 4 == 0) {
            waitForAllFrames(app);
            heap->used = 0;
        }
        FrameContext* context = beginFrame(app);
        EXPECT_EQ(context->index, frame % 3);
        Buffer* scratch = createBuffer(app, 256, BufferType::ReadWrite, nullptr, true, 0);
        Image* image = createImage(app, 4, 4, nullptr, STATE_COPY_DEST, FORMAT_R8G8B8A8_UNORM, 0);
        for (uint32_t i = 0; i < 25; ++i) {
            DescriptorTable table = allocateDescriptors(*heap, 1);
            writeBufferUAV(table, i == 0 ? scratch : buffer, 64, 4);
            const uint32_t base[4] = {frame * 100 + i, 0, 0, 0};
            recordCompute(context->commandList, pipeline, table, base, 1, 1);
            uavBarrier(context->commandList); // the next dispatch writes the same words
        }
        destroyBuffer(app, scratch);
        destroyImage(app, image);
        EXPECT_EQ(scratch, nullptr);
        endFrame(app);
    }
    waitForAllFrames(app);
    EXPECT_EQ(readBuffer<uint32_t>(buffer)[63], 3u * 63u + 3124u); // the last dispatch's base: 31 * 100 + 24
}

TEST_F(Gfx, TimestampsMeasureTheWorkBetweenMarksAndReportMarksNeverWritten)
{
    EXPECT_EQ(createTimestampQueries(app, 0), nullptr);
    TimestampQueries* queries = createTimestampQueries(app, 4);
    ASSERT_NE(queries, nullptr) << "lavapipe's queue writes 64-bit timestamps";
    double marks[4] = {-1.0, -1.0, -1.0, -1.0};
    EXPECT_FALSE(readTimestamps(app, queries, marks, 1)); // nothing recorded yet
    // 2^21 words written by 2^15 groups of 64 threads: enough work to take measurable time.
    constexpr uint32_t words = 1u << 21;
    Buffer* output = uploadBuffer(words * 4ull, BufferType::ReadWrite, nullptr);
    Pipeline* pipeline = computePipeline(FillBufferCS, {makeRange(RANGE_UAV, 1)}, true);
    CommandList* list = beginCommands();
    resetTimestamps(list, queries);
    writeTimestamp(list, queries, 0);
    DescriptorTable table = allocateDescriptors(*heap, 1);
    writeBufferUAV(table, output, words, 4);
    const uint32_t base[4] = {5, 0, 0, 0};
    recordCompute(list, pipeline, table, base, words / 64, 1);
    writeTimestamp(list, queries, 1);
    writeTimestamp(list, queries, 2); // mark 3 is reset but never written
    double submitted = nowMilliseconds();
    submitAndWait();
    double completed = nowMilliseconds();

    ASSERT_TRUE(readTimestamps(app, queries, marks, 3));
    EXPECT_EQ(marks[0], 0.0); // every mark is counted from the first
    EXPECT_GT(marks[1], 0.0); // the dispatch ran between marks 0 and 1
    // The GPU did the work between submission and the end of the wait on the CPU's clock.
    EXPECT_LT(marks[1], completed - submitted);
    EXPECT_GE(marks[2], marks[1]);
    EXPECT_FALSE(readTimestamps(app, queries, marks, 4));
    EXPECT_FALSE(readTimestamps(app, queries, marks, 5)); // more marks than the pool holds
    EXPECT_EQ(readBuffer<uint32_t>(output)[words - 1], 3u * (words - 1) + 5);
    destroyTimestampQueries(app, queries);
    EXPECT_EQ(queries, nullptr);
}

TEST_F(Gfx, TheValidationLayerCountsAnInvalidCall)
{
    // A buffer of 0 bytes breaks a rule that only the layer checks. Were the layer not there
    // (under Wine it is the host's, enabled below winevulkan), every test would pass unchecked.
    const VkBufferCreateInfo info = {.sType = VK_STRUCTURE_TYPE_BUFFER_CREATE_INFO, .size = 0,
                                     .usage = VK_BUFFER_USAGE_TRANSFER_DST_BIT};
    VkBuffer buffer = VK_NULL_HANDLE;
    testing::internal::CaptureStdout();
    vkCreateBuffer(vulkanOf(app).device, &info, nullptr, &buffer);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("VUID-VkBufferCreateInfo-size-00912"), std::string::npos);
    vkDestroyBuffer(vulkanOf(app).device, buffer, nullptr);
    EXPECT_EQ(app.validationErrors, 1u);
    app.validationErrors = 0;
}
