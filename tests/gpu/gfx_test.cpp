// The graphics layer on the device: uploads and copies, compute with tables and root
// constants, the full-screen pass, deferred release, descriptor pools and timestamps.
#include "gfx/timestamps.h"
#include "platform/platform.h"
#include "tests/gpu/gpu_harness.h"
#include "tests/gpu/test_programs.h"

#include <algorithm>
#include <bit>
#include <iterator>

namespace {

// Source pixel (x, y) = (0.8, x / 16, y / 16, 1) and a tint (1, 1, 1, 0.5) for TestPassPS.
struct TintedSource {
    Image* texture;
    Buffer* tint;
    ResourceBinding bindings[2];
};

} // namespace

class Gfx : public GpuTest {
protected:
    TintedSource tintedSource(uint32_t width, uint32_t height, uint32_t state)
    {
        std::vector<float> pixels(width * height * 4);
        for (uint32_t y = 0; y < height; ++y)
            for (uint32_t x = 0; x < width; ++x) {
                float* p = &pixels[(y * width + x) * 4];
                p[0] = 0.8f, p[1] = float(x) / 16.0f, p[2] = float(y) / 16.0f, p[3] = 1.0f;
            }
        const float tint[4] = {1.0f, 1.0f, 1.0f, 0.5f};
        TintedSource source{uploadImage(width, height, FORMAT_R32G32B32A32_FLOAT, pixels.data(), state),
                            uploadBuffer(sizeof(tint), BUFFER_CONSTANT, tint)};
        source.bindings[0] = {.accessKind = ACCESS_PIXEL_IMAGE_SRV, .image = source.texture,
                              .viewParameters = {FORMAT_R32G32B32A32_FLOAT, 0, 1, 0}};
        source.bindings[1] = {.accessKind = ACCESS_CONSTANT_BUFFER, .buffer = source.tint,
                              .viewParameters = {sizeof(tint), 0, 0, 0}};
        return source;
    }
    Pipeline* fillBuffer() { return computePipeline(FillBufferCS, {makeRange(RANGE_UAV, 1)}, true); }
};

TEST_F(Gfx, UploadsAndWholeResourceCopiesCarryEveryByte)
{
    // 100 x 10 RGBA8: rows of 400 bytes sit in 512-byte footprint rows in the staging buffer;
    // byte c of pixel (x, y) differs from its neighbours' and the next row's.
    std::vector<uint8_t> pixels(100 * 10 * 4);
    for (uint32_t i = 0; i < pixels.size(); ++i)
        pixels[i] = uint8_t((i / 4 % 100) * 7 + i / 400 * 13 + i % 4 * 61);
    Image* image = uploadImage(100, 10, FORMAT_R8G8B8A8_UNORM, pixels.data());
    Image* copy = uploadImage(100, 10, FORMAT_R8G8B8A8_UNORM, nullptr, STATE_COPY_DEST);
    // 36 bytes of data in a buffer rounded up to 256.
    const uint32_t words[9] = {1, 2, 3, 5, 8, 13, 21, 34, 55};
    Buffer* buffer = uploadBuffer(sizeof(words), BUFFER_READ_WRITE, words);
    EXPECT_EQ(buffer->size, 256u);

    CommandList* list = beginCommands(); // records both uploads, then the image copy
    transitionNow(list, image, STATE_COPY_SOURCE);
    copyImage(list, copy, image);
    transitionNow(list, image, STATE_NON_PIXEL_SHADER_RESOURCE);
    submitAndWait();
    EXPECT_EQ(image->pendingData, nullptr);
    EXPECT_EQ(buffer->pendingData, nullptr);
    EXPECT_EQ(readImageBytes(image), pixels);
    EXPECT_EQ(readImageBytes(copy), pixels);
    std::vector<uint32_t> result = readBuffer<uint32_t>(buffer);
    EXPECT_TRUE(std::equal(std::begin(words), std::end(words), result.begin()));
}

TEST_F(Gfx, ComputeTableWithSrvUavCbvAndRootConstantsTransformsImage)
{
    // 5 x 3 RGBA32F input (not a multiple of the 8 x 8 group): pixel (x, y) = (x, y, 1, 0.5).
    const uint32_t width = 5, height = 3;
    std::vector<float> input(width * height * 4);
    for (uint32_t i = 0; i < width * height; ++i) {
        input[i * 4 + 0] = float(i % width), input[i * 4 + 1] = float(i / width);
        input[i * 4 + 2] = 1.0f, input[i * 4 + 3] = 0.5f;
    }
    Image* source = uploadImage(width, height, FORMAT_R32G32B32A32_FLOAT, input.data());
    Image* output = createStorageImage(width, height, FORMAT_R16G16B16A16_FLOAT);      // u0
    Image* coordinates = createStorageImage(width, height, FORMAT_R32G32B32A32_FLOAT); // u1
    const float scale[4] = {2.0f, 3.0f, 0.5f, 4.0f};
    Buffer* constants = uploadBuffer(sizeof(scale), BUFFER_CONSTANT, scale);
    Pipeline* pipeline = computePipeline(ScaleImageCS, {makeRange(RANGE_SRV, 1), makeRange(RANGE_UAV, 2),
                                                        makeRange(RANGE_CBV, 1)}, true);
    CommandList* list = beginCommands();
    DescriptorTable table = allocateDescriptors(*heap, 4);
    writeImageSRV(table, source, FORMAT_R32G32B32A32_FLOAT, 0, 1, 0, 0.0f);
    writeImageUAV(table, output, FORMAT_R16G16B16A16_FLOAT);
    writeImageUAV(table, coordinates, FORMAT_R32G32B32A32_FLOAT);
    writeCBV(table, constants, sizeof(scale));
    RootConstants rootConstants = {.parameter = 1, .values = {100, std::bit_cast<uint32_t>(0.25f), 0, 0}}; // offsetX, bias
    recordCompute(list, pipeline, {{0, table}}, &rootConstants, 1, 1, 1);
    submitAndWait();

    // out = in * scale + (bias, 0, 0, 0) = (2x + 0.25, 3y, 0.5, 2), exact in half floats;
    // the second UAV holds (x + offsetX, y, 0, 1).
    std::vector<uint16_t> result = readImage<uint16_t>(output);
    std::vector<float> coordinate = readImage<float>(coordinates);
    for (uint32_t i = 0; i < width * height; ++i) {
        float x = float(i % width), y = float(i / width);
        const float expected[8] = {2.0f * x + 0.25f, 3.0f * y, 0.5f, 2.0f, x + 100.0f, y, 0.0f, 1.0f};
        for (int c = 0; c < 4; ++c) {
            EXPECT_EQ(halfToFloat(result[i * 4 + c]), expected[c]) << "pixel " << i << " channel " << c;
            EXPECT_EQ(coordinate[i * 4 + c], expected[4 + c]) << "pixel " << i << " channel " << c;
        }
    }
}

TEST_F(Gfx, FullscreenPassBlendsEveryPixelIntoRgba16fAndRgba8WithOneBarrierCall)
{
    // The pass clears the target to (0, 0, 0, 1), then blends src * a + dst * (1 - a) for
    // colour and src.a * 1 + dst.a * (1 - src.a) for alpha: with the tint's a = 0.5,
    // rgb = (0.4, x / 32, y / 32), alpha = 1.
    const uint32_t width = 7, height = 5;
    TintedSource source = tintedSource(width, height, STATE_COMMON);
    const std::initializer_list<DescriptorRange> ranges = {makeRange(RANGE_SRV, 1), makeRange(RANGE_CBV, 1)};
    FullscreenPass* halfPass = fullscreenPass(TestPassPS, FORMAT_R16G16B16A16_FLOAT, ranges);
    FullscreenPass* bytePass = fullscreenPass(TestPassPS, FORMAT_R8G8B8A8_UNORM, ranges);
    Image* half = createRenderTarget(width, height, FORMAT_R16G16B16A16_FLOAT);
    Image* bytes = createRenderTarget(width, height, FORMAT_R8G8B8A8_UNORM);
    CommandList* list = beginCommands();
    setDescriptorHeap(list, heap);
    uint64_t barriersBefore = barrierCallCount(list);
    // The first draw moves the texture (COMMON) with one barrier call, the constants being in
    // the state they need; the second needs none.
    drawFullscreenPass(halfPass, width, height, list, renderTargetView(half, FORMAT_R16G16B16A16_FLOAT), heap,
                       source.bindings);
    EXPECT_EQ(barrierCallCount(list), barriersBefore + 1);
    EXPECT_EQ(source.texture->state, uint32_t(STATE_PIXEL_SHADER_RESOURCE));
    drawFullscreenPass(bytePass, width, height, list, renderTargetView(bytes, FORMAT_R8G8B8A8_UNORM), heap,
                       source.bindings);
    EXPECT_EQ(barrierCallCount(list), barriersBefore + 1);
    submitAndWait();

    std::vector<uint16_t> halves = readImage<uint16_t>(half);
    std::vector<uint8_t> rgba8 = readImageBytes(bytes);
    for (uint32_t i = 0; i < width * height; ++i) {
        uint32_t x = i % width, y = i / width;
        EXPECT_NEAR(halfToFloat(halves[i * 4 + 0]), 0.4f, 1e-3) << x << "," << y;
        EXPECT_EQ(halfToFloat(halves[i * 4 + 1]), float(x) / 32.0f) << x << "," << y;
        EXPECT_EQ(halfToFloat(halves[i * 4 + 2]), float(y) / 32.0f) << x << "," << y;
        EXPECT_EQ(halfToFloat(halves[i * 4 + 3]), 1.0f) << x << "," << y;
        // RGBA8: 0.4 * 255 = 102; x / 32 * 255 = 7.97x rounds to 8x for x < 7 (error < 0.5).
        const int expected[4] = {102, int(8 * x), int(8 * y), 255};
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(rgba8[i * 4 + c], expected[c], c == 3 ? 0 : 1) << x << "," << y << " channel " << c;
    }
}

TEST_F(Gfx, FullscreenPassIntoATargetOfAnotherFormatIsRefused)
{
    // A pass built for RGBA16F drawn into an RGBA8 target: reported, nothing drawn (the clear
    // of the pass still happens), and the device sees no mismatched draw.
    TintedSource source = tintedSource(4, 4, STATE_PIXEL_SHADER_RESOURCE);
    FullscreenPass* pass =
        fullscreenPass(TestPassPS, FORMAT_R16G16B16A16_FLOAT, {makeRange(RANGE_SRV, 1), makeRange(RANGE_CBV, 1)});
    Image* target = createRenderTarget(4, 4, FORMAT_R8G8B8A8_UNORM);
    CommandList* list = beginCommands();
    setDescriptorHeap(list, heap);
    testing::internal::CaptureStdout();
    drawFullscreenPass(pass, 4, 4, list, renderTargetView(target, FORMAT_R8G8B8A8_UNORM), heap, source.bindings);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ASSERT: Render target format 28 does not match the pipeline's 10\n");
    submitAndWait();
    std::vector<uint8_t> pixels = readImageBytes(target);
    for (size_t i = 0; i < pixels.size(); i += 4) // the clear colour (0, 0, 0, 1)
        EXPECT_EQ(pixels[i] + pixels[i + 1] + pixels[i + 2] + (255 - pixels[i + 3]), 0);
}

TEST_F(Gfx, ObjectsDestroyedEveryFrameOutliveTheGpuWork)
{
    // Twelve frames, each writing a fresh buffer and image that are destroyed right after
    // recording: deferred release must keep them alive until their slot's fence has passed
    // (validation reports any object destroyed while in use).
    Pipeline* pipeline = fillBuffer();
    for (uint32_t frame = 0; frame < 12; ++frame) {
        FrameContext* context = beginFrame(app);
        EXPECT_EQ(context->index, frame % 3);
        Buffer* buffer = createBuffer(app, 256, BUFFER_READ_WRITE, nullptr, true, 0);
        Image* image = createImage(app, 4, 4, nullptr, STATE_COPY_DEST, FORMAT_R8G8B8A8_UNORM, 0);
        DescriptorTable table = allocateDescriptors(*heap, 1);
        writeBufferUAV(table, buffer, 64, 4);
        RootConstants constants = {.parameter = 1, .values = {frame, 0, 0, 0}};
        recordCompute(context->commandList, pipeline, {{0, table}}, &constants, 1, 1, 1);
        destroyBuffer(app, buffer);
        destroyImage(app, image);
        EXPECT_EQ(buffer, nullptr);
        endFrame(app);
        if (frame % 4 == 3)
            waitForAllFrames(app);
    }
}

TEST_F(Gfx, HeapReusedAfterItsCursorIsResetDoesNotRunOutOfSets)
{
    // 30 frames of 25 dispatches, each binding a table of its own: 750 descriptor sets, more
    // than the heap's pool holds at once (4 x 128 + 64), so the pool must be emptied whenever
    // the owner resets the cursor. Word i becomes 3i + base.
    Buffer* buffer = uploadBuffer(256, BUFFER_READ_WRITE, nullptr);
    Pipeline* pipeline = fillBuffer();
    for (uint32_t frame = 0; frame < 30; ++frame) {
        waitForAllFrames(app); // no frame in flight uses the heap any more
        heap->used = 0;
        CommandList* list = beginCommands();
        for (uint32_t i = 0; i < 25; ++i) {
            DescriptorTable table = allocateDescriptors(*heap, 1);
            writeBufferUAV(table, buffer, 64, 4);
            RootConstants constants = {.parameter = 1, .values = {frame * 100 + i, 0, 0, 0}};
            recordCompute(list, pipeline, {{0, table}}, &constants, 1, 1, 1);
            uavBarrier(list); // the next dispatch writes the same words
        }
        endFrame(app);
    }
    waitForAllFrames(app);
    std::vector<uint32_t> words = readBuffer<uint32_t>(buffer);
    EXPECT_EQ(words[63], 3u * 63u + 2924u); // the last dispatch's base: 29 * 100 + 24
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
    Buffer* output = uploadBuffer(words * 4ull, BUFFER_READ_WRITE, nullptr);
    Pipeline* pipeline = fillBuffer();
    CommandList* list = beginCommands();
    resetTimestamps(list, queries);
    writeTimestamp(list, queries, 0);
    DescriptorTable table = allocateDescriptors(*heap, 1);
    writeBufferUAV(table, output, words, 4);
    RootConstants constants = {.parameter = 1, .values = {5, 0, 0, 0}};
    recordCompute(list, pipeline, {{0, table}}, &constants, words / 64, 1, 1);
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
