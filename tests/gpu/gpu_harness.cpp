// GPU test harness (see gpu_harness.h).
#include "tests/gpu/gpu_harness.h"

#include "app/scene.h"

#include <type_traits>

void GpuTest::SetUp()
{
    initGraphics(app, {.headless = true, .width = backBufferWidth, .height = backBufferHeight, .validation = true});
    heap = createDescriptorHeap(app, HEAP_CBV_SRV_UAV, 128, HEAP_FLAG_SHADER_VISIBLE);
    rtvHeap = createDescriptorHeap(app, HEAP_RTV, 16, HEAP_FLAG_NONE);
}

void GpuTest::TearDown()
{
    waitForAllFrames(app);
    for (Image*& image : images)
        destroyImage(app, image);
    for (Buffer*& buffer : buffers)
        destroyBuffer(app, buffer);
    for (Pipeline*& pipeline : pipelines)
        destroyPipeline(app, pipeline);
    for (FullscreenPass*& pass : passes)
        destroyFullscreenPass(app, pass);
    destroyDescriptorHeap(app, heap);
    destroyDescriptorHeap(app, rtvHeap);
    destroyGraphics(app);
    EXPECT_EQ(app.validationErrors, 0u) << "validation errors were reported (see the log above)";
}

Image* GpuTest::uploadImage(uint32_t width, uint32_t height, uint32_t format, const void* data, uint32_t state,
                            uint32_t flags)
{
    return images.emplace_back(createImage(app, width, height, data, state, format, flags));
}

Image* GpuTest::uploadFloats(uint32_t width, uint32_t height, uint32_t format, const std::vector<float>& values,
                             uint32_t state)
{
    if (format != FORMAT_R16G16B16A16_FLOAT)
        return uploadImage(width, height, format, values.data(), state);
    std::vector<_Float16> halves(values.begin(), values.end());
    return uploadImage(width, height, format, halves.data(), state);
}

// The piece's own root signatures, so that a test binds as the frame binds.
Pipeline* GpuTest::computePipeline(ShaderBytecode program, std::initializer_list<DescriptorRange> ranges,
                                   bool rootConstants, bool samplers)
{
    Pipeline* pipeline = track(createScenePipeline(app, program, ranges, rootConstants, samplers));
    EXPECT_NE(pipeline, nullptr);
    return pipeline;
}

FullscreenPass* GpuTest::fullscreenPass(ShaderBytecode pixelProgram, uint32_t imageCount, uint32_t targetFormat,
                                        uint32_t samplerAddress)
{
    FullscreenPass* pass = createScenePass(app, pixelProgram, imageCount, targetFormat, samplerAddress);
    EXPECT_NE(pass->pipeline, nullptr);
    passes.push_back(pass);
    return pass;
}

Image* GpuTest::drawPass(FullscreenPass* pass, uint32_t width, uint32_t height,
                         std::span<const ResourceBinding> bindings)
{
    uint32_t format = pass->renderTargetFormats[0];
    Image* target = createRenderTarget(width, height, format);
    // Every earlier frame has been waited for: both heaps can start again from the top.
    resetDescriptorHeap(*heap);
    rtvHeap->used = 0;
    CommandList* list = beginCommands();
    setDescriptorHeap(list, heap);
    drawFullscreenPass(pass, width, height, list, renderTargetView(target, format), heap, bindings);
    submitAndWait();
    return target;
}

void GpuTest::recordCompute(CommandList* list, Pipeline* pipeline, DescriptorTable table, const uint32_t* rootConstants,
                            uint32_t groupsX, uint32_t groupsY)
{
    setDescriptorHeap(list, heap);
    setPipeline(list, pipeline);
    setRootDescriptorTable(list, 0, table);
    if (rootConstants)
        setRootConstants(list, 1, rootConstants, 4, 0);
    dispatch(list, groupsX, groupsY, 1);
}

void GpuTest::dispatchOverImage(Pipeline* pipeline, uint32_t width, uint32_t height,
                                std::initializer_list<Image*> inputs, std::initializer_list<Image*> outputs,
                                Buffer* constants, const uint32_t* rootConstants)
{
    resetDescriptorHeap(*heap);
    CommandList* list = beginCommands();
    DescriptorTable table = allocateDescriptors(*heap, uint32_t(inputs.size() + outputs.size()) + (constants ? 1 : 0));
    for (Image* image : inputs)
        writeImageSRV(table, image, image->format, 0, 1, 0, 0.0f);
    for (Image* image : outputs)
        writeImageUAV(table, image, image->format);
    if (constants)
        writeCBV(table, constants, uint32_t(constants->size));
    recordCompute(list, pipeline, table, rootConstants, (width + 31) / 32, (height + 31) / 32);
    submitAndWait();
}

std::vector<ResourceBinding> GpuTest::passBindings(std::initializer_list<Image*> images, Buffer* constants)
{
    std::vector<ResourceBinding> bindings;
    for (Image* image : images)
        bindings.push_back({.accessKind = AccessKind::PixelImageSrv, .image = image,
                            .viewParameters = {image->format, 0, 1, 0}});
    bindings.push_back({.accessKind = AccessKind::ConstantBuffer, .buffer = constants,
                        .viewParameters = {uint32_t(constants->size), 0, 0, 0}});
    return bindings;
}

uint64_t GpuTest::renderTargetView(Image* image, uint32_t format)
{
    DescriptorTable table = allocateDescriptors(*rtvHeap, 1);
    writeRenderTargetView(table, image, format);
    return table.cpuHandle;
}

namespace {

// Copies the resource into a read-back buffer in a frame of its own (the resource keeps its
// tracked state) and gathers the footprint's rows, tightly packed.
template <typename Resource>
std::vector<uint8_t> readBack(RenderApp& app, Resource* resource, const ImageFootprint& footprint)
{
    Buffer* readback = createBuffer(app, footprint.totalBytes, BufferType::Readback, nullptr, false, 0);
    CommandList* list = beginFrame(app)->commandList;
    uint32_t state = resource->state;
    transitionNow(list, resource, STATE_COPY_SOURCE);
    if constexpr (std::is_same_v<Resource, Image>)
        copyImageToBuffer(list, readback, resource);
    else
        copyBuffer(list, readback, resource);
    transitionNow(list, resource, state);
    endFrame(app);
    waitForAllFrames(app);
    std::vector<uint8_t> bytes(footprint.rowSize * footprint.rowCount);
    const uint8_t* mapped = static_cast<const uint8_t*>(mapBuffer(readback));
    for (uint32_t row = 0; row < footprint.rowCount; ++row)
        std::memcpy(bytes.data() + row * footprint.rowSize, mapped + row * footprint.rowPitch, footprint.rowSize);
    unmapBuffer(readback);
    destroyBuffer(app, readback);
    return bytes;
}

} // namespace

std::vector<uint8_t> GpuTest::readImageBytes(Image* image)
{
    return readBack(app, image, imageFootprint(image->width, image->height, image->format));
}

std::vector<uint8_t> GpuTest::readBufferBytes(Buffer* buffer)
{
    return readBack(app, buffer, {.rowPitch = buffer->size, .rowCount = 1, .rowSize = buffer->size, .totalBytes = buffer->size});
}

std::vector<float> GpuTest::readFloats(Image* image)
{
    if (image->format != FORMAT_R16G16B16A16_FLOAT)
        return readImage<float>(image);
    std::vector<_Float16> halves = readImage<_Float16>(image);
    return std::vector<float>(halves.begin(), halves.end());
}
