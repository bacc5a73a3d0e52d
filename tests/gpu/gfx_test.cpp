// The graphics layer on the device: uploads, compute with tables and root constants, the
// full-screen pass, barrier batching, whole-resource copies and read-back.
#include "tests/gpu/gpu_harness.h"
#include "tests/gpu/test_programs.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace {

// Byte c of pixel (x, y) of the upload pattern: distinct for neighbouring pixels and rows.
uint8_t patternByte(uint32_t x, uint32_t y, uint32_t c)
{
    return uint8_t(x * 7 + y * 13 + c * 61);
}

} // namespace

TEST_F(GpuTest, Upload_ImageAndBufferCreatedBeforeTheFrameReadBackExactly)
{
    // 100 x 10 RGBA8: rows of 400 bytes sit in 512-byte footprint rows in the staging buffer.
    std::vector<uint8_t> pixels(100 * 10 * 4);
    for (uint32_t y = 0; y < 10; ++y)
        for (uint32_t x = 0; x < 100; ++x)
            for (uint32_t c = 0; c < 4; ++c)
                pixels[(y * 100 + x) * 4 + c] = patternByte(x, y, c);
    Image* image = uploadImage(100, 10, FORMAT_R8G8B8A8_UNORM, pixels.data());

    // 36 bytes of data in a 256-byte read-write buffer: the rest is not meaningful.
    uint32_t words[9] = {1, 2, 3, 5, 8, 13, 21, 34, 55};
    Buffer* buffer = uploadBuffer(sizeof(words), BufferType::ReadWrite, words);
    EXPECT_EQ(buffer->size, 256u);

    beginCommands(); // records both uploads
    submitAndWait();
    EXPECT_EQ(image->pendingData, nullptr);
    EXPECT_EQ(buffer->pendingData, nullptr);
    EXPECT_EQ(image->state, uint32_t(STATE_NON_PIXEL_SHADER_RESOURCE)); // restored after the copy

    EXPECT_EQ(readImageBytes(image), pixels);
    std::vector<uint32_t> result = readBuffer<uint32_t>(buffer);
    ASSERT_EQ(result.size(), 64u);
    for (uint32_t i = 0; i < 9; ++i)
        EXPECT_EQ(result[i], words[i]) << "word " << i;
}

TEST_F(GpuTest, Compute_TableWithSrvUavCbvAndRootConstantsTransformsImage)
{
    // 5 x 3 RGBA32F input (not a multiple of the 8 x 8 group): pixel (x, y) = (x, y, 1, 0.5).
    const uint32_t width = 5, height = 3;
    std::vector<float> input(width * height * 4);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) {
            float* p = &input[(y * width + x) * 4];
            p[0] = float(x), p[1] = float(y), p[2] = 1.0f, p[3] = 0.5f;
        }
    Image* source = uploadImage(width, height, FORMAT_R32G32B32A32_FLOAT, input.data());
    Image* output = createStorageImage(width, height, FORMAT_R16G16B16A16_FLOAT); // u0
    Image* coordinates = createStorageImage(width, height, FORMAT_R32G32B32A32_FLOAT); // u1
    float scale[4] = {2.0f, 3.0f, 0.5f, 4.0f};
    Buffer* constants = uploadBuffer(sizeof(scale), BufferType::Constant, scale);

    RootSignatureBuilder root;
    addDescriptorTable(root, makeRangeList({makeRange(RANGE_SRV, 1), makeRange(RANGE_UAV, 2), makeRange(RANGE_CBV, 1)}),
                       VISIBILITY_ALL);
    addRootConstants(root);
    Pipeline* pipeline = track(createComputePipeline(app, root, ScaleImageCS));
    freeRootSignatureBuilder(root);
    ASSERT_NE(pipeline, nullptr);

    CommandList* list = beginCommands();
    DescriptorTable table = allocateDescriptors(*heap, 4);
    writeImageSRV(table, source, FORMAT_R32G32B32A32_FLOAT, 0, 1, 0, 0.0f);
    writeImageUAV(table, output, FORMAT_R16G16B16A16_FLOAT);
    writeImageUAV(table, coordinates, FORMAT_R32G32B32A32_FLOAT);
    writeCBV(table, constants, sizeof(scale));
    float bias = 0.25f;
    RootConstants rootConstants = {.parameter = 1, .values = {100, 0, 0, 0}};
    std::memcpy(&rootConstants.values[1], &bias, 4);
    recordCompute(list, pipeline, {{0, table}}, &rootConstants, 1, 1, 1);
    submitAndWait();

    // out = in * scale + (bias, 0, 0, 0) = (2x + 0.25, 3y, 0.5, 2): all exact in half floats.
    std::vector<uint16_t> result = readImage<uint16_t>(output);
    std::vector<float> coordinate = readImage<float>(coordinates);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) {
            const uint16_t* p = &result[(y * width + x) * 4];
            EXPECT_EQ(halfToFloat(p[0]), 2.0f * float(x) + 0.25f) << x << "," << y;
            EXPECT_EQ(halfToFloat(p[1]), 3.0f * float(y)) << x << "," << y;
            EXPECT_EQ(halfToFloat(p[2]), 0.5f) << x << "," << y;
            EXPECT_EQ(halfToFloat(p[3]), 2.0f) << x << "," << y;
            // The second UAV: (x + offsetX, y, 0, 1) with offsetX = 100.
            const float* c = &coordinate[(y * width + x) * 4];
            EXPECT_EQ(c[0], float(x + 100));
            EXPECT_EQ(c[1], float(y));
            EXPECT_EQ(c[3], 1.0f);
        }
}

TEST_F(GpuTest, FullscreenPass_DrawsEveryPixelIntoRgba16fAndRgba8TargetsWithBlending)
{
    // Source pixel (x, y) = (0.8, x / 16, y / 16, 1); tint (1, 1, 1, 0.5). The pass clears the
    // target to (0, 0, 0, 1), then blends src * a + dst * (1 - a) for colour and
    // src.a * 1 + dst.a * (1 - src.a) for alpha: rgb = (0.4, x / 32, y / 32), alpha = 1.
    const uint32_t width = 7, height = 5;
    std::vector<float> source(width * height * 4);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) {
            float* p = &source[(y * width + x) * 4];
            p[0] = 0.8f, p[1] = float(x) / 16.0f, p[2] = float(y) / 16.0f, p[3] = 1.0f;
        }
    Image* texture = uploadImage(width, height, FORMAT_R32G32B32A32_FLOAT, source.data(), STATE_COMMON);
    float tint[4] = {1.0f, 1.0f, 1.0f, 0.5f};
    Buffer* tintBuffer = uploadBuffer(sizeof(tint), BufferType::Constant, tint);
    Image* targetHalf = createRenderTarget(width, height, FORMAT_R16G16B16A16_FLOAT);
    Image* targetByte = createRenderTarget(width, height, FORMAT_R8G8B8A8_UNORM);

    FullscreenPass* passes[2] = {createFullscreenPass(), createFullscreenPass()};
    uint32_t formats[2] = {FORMAT_R16G16B16A16_FLOAT, FORMAT_R8G8B8A8_UNORM};
    for (int i = 0; i < 2; ++i) {
        passes[i]->pixelProgram = TestPassPS;
        passes[i]->renderTargetFormats.push(formats[i]);
        addDescriptorTable(passes[i]->rootSignature,
                           makeRangeList({makeRange(RANGE_SRV, 1), makeRange(RANGE_CBV, 1)}), VISIBILITY_PIXEL);
        buildFullscreenPass(app, passes[i]);
        ASSERT_NE(passes[i]->pipeline, nullptr);
    }

    ResourceBinding bindings[2] = {
        {.accessKind = AccessKind::PixelImageSrv, .image = texture, .viewParameters = {FORMAT_R32G32B32A32_FLOAT, 0, 1, 0}},
        {.accessKind = AccessKind::ConstantBuffer, .buffer = tintBuffer, .viewParameters = {sizeof(tint), 0, 0, 0}},
    };
    CommandList* list = beginCommands();
    setDescriptorHeap(list, heap);
    uint64_t barriersBefore = barrierCallCount(list);
    drawFullscreenPass(passes[0], width, height, list, renderTargetView(targetHalf, formats[0]), heap, bindings);
    // The first draw moved the texture (COMMON) and the constants (already in the state they
    // need) with one barrier call; the second draw needs none.
    EXPECT_EQ(barrierCallCount(list), barriersBefore + 1);
    EXPECT_EQ(texture->state, uint32_t(STATE_PIXEL_SHADER_RESOURCE));
    drawFullscreenPass(passes[1], width, height, list, renderTargetView(targetByte, formats[1]), heap, bindings);
    EXPECT_EQ(barrierCallCount(list), barriersBefore + 1);
    submitAndWait();

    std::vector<uint16_t> half = readImage<uint16_t>(targetHalf);
    std::vector<uint8_t> bytes = readImageBytes(targetByte);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) {
            const uint16_t* h = &half[(y * width + x) * 4];
            EXPECT_NEAR(halfToFloat(h[0]), 0.4f, 1e-3) << x << "," << y;
            EXPECT_EQ(halfToFloat(h[1]), float(x) / 32.0f) << x << "," << y;
            EXPECT_EQ(halfToFloat(h[2]), float(y) / 32.0f) << x << "," << y;
            EXPECT_EQ(halfToFloat(h[3]), 1.0f) << x << "," << y;
            // RGBA8: 0.4 * 255 = 102; x / 32 * 255 = 7.97x rounds to 8x for x < 7 (error < 0.5).
            const uint8_t* b = &bytes[(y * width + x) * 4];
            EXPECT_NEAR(b[0], 102, 1) << x << "," << y;
            EXPECT_NEAR(b[1], 8 * x, 1) << x << "," << y;
            EXPECT_NEAR(b[2], 8 * y, 1) << x << "," << y;
            EXPECT_EQ(b[3], 255) << x << "," << y;
        }
    destroyFullscreenPass(app, passes[0]);
    destroyFullscreenPass(app, passes[1]);
    EXPECT_EQ(passes[0], nullptr);
}

TEST_F(GpuTest, Barriers_BatchIssuesOneCallForAllChangesAndNoneWithoutChanges)
{
    Image* image = createStorageImage(4, 4, FORMAT_R8G8B8A8_UNORM);
    Buffer* buffer = uploadBuffer(64, BufferType::ReadWrite, nullptr);
    CommandList* list = beginCommands();
    uint64_t start = barrierCallCount(list);
    BarrierBatch batch;

    requestTransition(batch, image, STATE_UNORDERED_ACCESS); // already there
    requestTransition(batch, buffer, STATE_UNORDERED_ACCESS);
    flushBarriers(batch, list);
    EXPECT_EQ(barrierCallCount(list), start);

    requestTransition(batch, image, STATE_NON_PIXEL_SHADER_RESOURCE | STATE_PIXEL_SHADER_RESOURCE);
    requestTransition(batch, buffer, STATE_COPY_SOURCE);
    EXPECT_EQ(image->state, uint32_t(STATE_UNORDERED_ACCESS)); // unchanged until the flush
    flushBarriers(batch, list);
    EXPECT_EQ(barrierCallCount(list), start + 1);
    EXPECT_EQ(image->state, uint32_t(STATE_NON_PIXEL_SHADER_RESOURCE | STATE_PIXEL_SHADER_RESOURCE));
    EXPECT_EQ(buffer->state, uint32_t(STATE_COPY_SOURCE));
    EXPECT_EQ(batch.pending.count, 0u);

    flushBarriers(batch, list); // nothing pending
    EXPECT_EQ(barrierCallCount(list), start + 1);
    submitAndWait();
    freeBarrierBatch(batch);
}

TEST_F(GpuTest, Copies_WholeResourcesBetweenBuffersAndImages)
{
    // 3 x 2 RGBA8 (12-byte rows): buffer -> image A (footprint rows of 256 bytes), A -> B,
    // B -> buffer, and a buffer -> buffer copy; every stage must carry the bytes unchanged.
    const uint32_t width = 3, height = 2;
    std::vector<uint8_t> staged(256 + 12, 0);
    std::vector<uint8_t> expected;
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width * 4; ++x) {
            staged[y * 256 + x] = patternByte(x, y, 1);
            expected.push_back(patternByte(x, y, 1));
        }
    Buffer* source = uploadBuffer(staged.size(), BufferType::ShaderRead, staged.data());
    Image* first = uploadImage(width, height, FORMAT_R8G8B8A8_UNORM, nullptr, STATE_COPY_DEST);
    Image* second = uploadImage(width, height, FORMAT_R8G8B8A8_UNORM, nullptr, STATE_COPY_DEST);
    Buffer* back = uploadBuffer(staged.size(), BufferType::ReadWrite, nullptr);
    Buffer* copy = uploadBuffer(staged.size(), BufferType::ReadWrite, nullptr);

    CommandList* list = beginCommands();
    transitionNow(list, source, STATE_COPY_SOURCE);
    copyBufferToImage(list, first, source);
    transitionNow(list, first, STATE_COPY_SOURCE);
    copyImage(list, second, first);
    transitionNow(list, second, STATE_COPY_SOURCE);
    transitionNow(list, back, STATE_COPY_DEST);
    copyImageToBuffer(list, back, second);
    transitionNow(list, copy, STATE_COPY_DEST);
    copyBuffer(list, copy, source);
    submitAndWait();

    EXPECT_EQ(readImageBytes(second), expected);
    std::vector<uint8_t> backBytes = readBufferBytes(back);
    std::vector<uint8_t> copyBytes = readBufferBytes(copy);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width * 4; ++x) {
            EXPECT_EQ(backBytes[y * 256 + x], staged[y * 256 + x]);
            EXPECT_EQ(copyBytes[y * 256 + x], staged[y * 256 + x]);
        }
}

TEST_F(GpuTest, Readback_BufferAndBackBufferReturnWhatTheGpuWrote)
{
    // A compute program writes word i = 3i + 1000 into a read-write buffer; a copy moves it
    // into a read-back buffer that the CPU maps.
    Buffer* written = uploadBuffer(64 * 4, BufferType::ReadWrite, nullptr);
    Buffer* readback = uploadBuffer(64 * 4, BufferType::Readback, nullptr);
    RootSignatureBuilder root;
    addDescriptorTable(root, makeRangeList({makeRange(RANGE_UAV, 1)}), VISIBILITY_ALL);
    addRootConstants(root);
    Pipeline* pipeline = track(createComputePipeline(app, root, FillBufferCS));
    freeRootSignatureBuilder(root);

    CommandList* list = beginCommands();
    DescriptorTable table = allocateDescriptors(*heap, 1);
    writeBufferUAV(table, written, 64, 4);
    RootConstants constants = {.parameter = 1, .values = {1000, 0, 0, 0}};
    recordCompute(list, pipeline, {{0, table}}, &constants, 1, 1, 1);
    transitionNow(list, written, STATE_COPY_SOURCE);
    copyBuffer(list, readback, written);
    // The back buffer is cleared to a colour exact in 8 bits: (51, 102, 153, 255) / 255.
    Image* back = currentBackBuffer(app);
    transitionNow(list, back, STATE_RENDER_TARGET);
    const float colour[4] = {0.2f, 0.4f, 0.6f, 1.0f};
    clearRenderTarget(list, renderTargetView(back, FORMAT_R8G8B8A8_UNORM), colour);
    transitionNow(list, back, STATE_PRESENT);
    submitAndWait();

    const uint32_t* words = static_cast<const uint32_t*>(mapBuffer(readback));
    for (uint32_t i = 0; i < 64; ++i)
        EXPECT_EQ(words[i], 3 * i + 1000) << "word " << i;
    unmapBuffer(readback);

    DynamicArray<uint8_t> pixels = readBackBuffer(app);
    ASSERT_EQ(pixels.count, 16u * 8u * 4u);
    for (uint64_t i = 0; i < pixels.count; i += 4) {
        EXPECT_EQ(pixels[i + 0], 51);
        EXPECT_EQ(pixels[i + 1], 102);
        EXPECT_EQ(pixels[i + 2], 153);
        EXPECT_EQ(pixels[i + 3], 255);
    }
    pixels.clear();
}

TEST_F(GpuTest, Frames_ObjectsDestroyedEveryFrameOutliveTheGpuWork)
{
    // Twelve frames, each writing a fresh buffer and image that are destroyed right after
    // recording: deferred release must keep them alive until their slot's fence has passed
    // (validation reports any object destroyed while in use).
    RootSignatureBuilder root;
    addDescriptorTable(root, makeRangeList({makeRange(RANGE_UAV, 1)}), VISIBILITY_ALL);
    addRootConstants(root);
    Pipeline* pipeline = track(createComputePipeline(app, root, FillBufferCS));
    freeRootSignatureBuilder(root);
    for (uint32_t frame = 0; frame < 12; ++frame) {
        FrameContext* context = beginFrame(app);
        EXPECT_EQ(context->index, frame % 3);
        Buffer* buffer = createBuffer(app, 256, BufferType::ReadWrite, nullptr, true, 0);
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
    EXPECT_EQ(app.ring.frameCounter, 12u);
}

TEST_F(GpuTest, Descriptors_HeapReusedAfterItsCursorIsResetDoesNotRunOutOfSets)
{
    // 30 frames of 25 dispatches, each binding a table of its own: 750 descriptor sets, more
    // than the heap's pool holds at once (4 x 128 + 64), so the pool must be emptied whenever
    // the owner resets the cursor.
    Buffer* buffer = uploadBuffer(256, BufferType::ReadWrite, nullptr);
    RootSignatureBuilder root;
    addDescriptorTable(root, makeRangeList({makeRange(RANGE_UAV, 1)}), VISIBILITY_ALL);
    addRootConstants(root);
    Pipeline* pipeline = track(createComputePipeline(app, root, FillBufferCS));
    freeRootSignatureBuilder(root);
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
    // The last dispatch wrote 3i + 29 * 100 + 24.
    std::vector<uint32_t> words = readBuffer<uint32_t>(buffer);
    EXPECT_EQ(words[0], 2924u);
    EXPECT_EQ(words[63], 3u * 63u + 2924u);
}

TEST_F(GpuTest, FullscreenPass_TargetOfAnotherFormatThanThePipelineIsRefused)
{
    // A pass built for RGBA16F drawn into an RGBA8 target: reported, nothing drawn (the clear
    // of the pass still happens), and the device sees no mismatched draw.
    Image* target = createRenderTarget(4, 4, FORMAT_R8G8B8A8_UNORM);
    float tint[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    Buffer* tintBuffer = uploadBuffer(sizeof(tint), BufferType::Constant, tint);
    float white[4 * 4 * 4];
    std::fill(std::begin(white), std::end(white), 1.0f);
    Image* texture = uploadImage(4, 4, FORMAT_R32G32B32A32_FLOAT, white, STATE_PIXEL_SHADER_RESOURCE);
    FullscreenPass* pass = createFullscreenPass();
    pass->pixelProgram = TestPassPS;
    pass->renderTargetFormats.push(FORMAT_R16G16B16A16_FLOAT);
    addDescriptorTable(pass->rootSignature, makeRangeList({makeRange(RANGE_SRV, 1), makeRange(RANGE_CBV, 1)}),
                       VISIBILITY_PIXEL);
    buildFullscreenPass(app, pass);
    ResourceBinding bindings[2] = {
        {.accessKind = AccessKind::PixelImageSrv, .image = texture, .viewParameters = {FORMAT_R32G32B32A32_FLOAT, 0, 1, 0}},
        {.accessKind = AccessKind::ConstantBuffer, .buffer = tintBuffer, .viewParameters = {sizeof(tint), 0, 0, 0}},
    };
    CommandList* list = beginCommands();
    setDescriptorHeap(list, heap);
    testing::internal::CaptureStdout();
    drawFullscreenPass(pass, 4, 4, list, renderTargetView(target, FORMAT_R8G8B8A8_UNORM), heap, bindings);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ASSERT: Render target format 28 does not match the pipeline's 10\n");
    submitAndWait();
    std::vector<uint8_t> pixels = readImageBytes(target);
    for (size_t i = 0; i < pixels.size(); i += 4) // the clear colour (0, 0, 0, 1), not white
        EXPECT_EQ(pixels[i] + pixels[i + 1] + pixels[i + 2] + (255 - pixels[i + 3]), 0);
    destroyFullscreenPass(app, pass);
}
