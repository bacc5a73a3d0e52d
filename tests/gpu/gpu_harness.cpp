// GPU test harness (see gpu_harness.h).
#include "tests/gpu/gpu_harness.h"

#include <cmath>

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
    destroyDescriptorHeap(app, heap);
    destroyDescriptorHeap(app, rtvHeap);
    destroyGraphics(app);
    EXPECT_EQ(app.validationErrors, 0u) << "validation errors were reported (see the log above)";
}

Image* GpuTest::uploadImage(uint32_t width, uint32_t height, uint32_t format, const void* data, uint32_t state,
                            uint32_t flags)
{
    images.push_back(createImage(app, width, height, data, state, format, flags));
    return images.back();
}

Image* GpuTest::createStorageImage(uint32_t width, uint32_t height, uint32_t format)
{
    images.push_back(createImage(app, width, height, nullptr, STATE_UNORDERED_ACCESS, format,
                                 RESOURCE_FLAG_ALLOW_UNORDERED_ACCESS));
    return images.back();
}

Image* GpuTest::createRenderTarget(uint32_t width, uint32_t height, uint32_t format)
{
    images.push_back(createImage(app, width, height, nullptr, STATE_RENDER_TARGET, format,
                                 RESOURCE_FLAG_ALLOW_RENDER_TARGET));
    return images.back();
}

Buffer* GpuTest::uploadBuffer(uint64_t size, BufferType type, const void* data)
{
    buffers.push_back(createBuffer(app, size, type, data, false, 0));
    return buffers.back();
}

Pipeline* GpuTest::track(Pipeline* pipeline)
{
    pipelines.push_back(pipeline);
    return pipeline;
}

CommandList* GpuTest::beginCommands()
{
    return beginFrame(app)->commandList;
}

void GpuTest::submitAndWait()
{
    endFrame(app);
    waitForAllFrames(app);
}

void GpuTest::recordCompute(CommandList* list, Pipeline* pipeline, std::initializer_list<TableBinding> tables,
                            const RootConstants* constants, uint32_t groupsX, uint32_t groupsY, uint32_t groupsZ)
{
    setDescriptorHeap(list, heap);
    setPipeline(list, pipeline);
    for (const TableBinding& binding : tables)
        setRootDescriptorTable(list, binding.parameter, binding.table);
    if (constants)
        setRootConstants(list, constants->parameter, constants->values, 4, 0);
    dispatch(list, groupsX, groupsY, groupsZ);
}

uint64_t GpuTest::renderTargetView(Image* image, uint32_t format)
{
    DescriptorTable table = allocateDescriptors(*rtvHeap, 1);
    writeRenderTargetView(table, image, format);
    return table.cpuHandle;
}

std::vector<uint8_t> GpuTest::readImageBytes(Image* image)
{
    ImageFootprint footprint = imageFootprint(image->width, image->height, image->format);
    Buffer* readback = createBuffer(app, footprint.totalBytes, BufferType::Readback, nullptr, false, 0);
    CommandList* list = beginCommands();
    uint32_t state = image->state;
    transitionNow(list, image, STATE_COPY_SOURCE);
    copyImageToBuffer(list, readback, image);
    transitionNow(list, image, state);
    submitAndWait();
    std::vector<uint8_t> bytes(footprint.rowSize * footprint.rowCount);
    const uint8_t* mapped = static_cast<const uint8_t*>(mapBuffer(readback));
    for (uint32_t row = 0; row < footprint.rowCount; ++row)
        std::memcpy(bytes.data() + row * footprint.rowSize, mapped + row * footprint.rowPitch, footprint.rowSize);
    unmapBuffer(readback);
    destroyBuffer(app, readback);
    return bytes;
}

std::vector<uint8_t> GpuTest::readBufferBytes(Buffer* buffer)
{
    Buffer* readback = createBuffer(app, buffer->size, BufferType::Readback, nullptr, false, 0);
    CommandList* list = beginCommands();
    uint32_t state = buffer->state;
    transitionNow(list, buffer, STATE_COPY_SOURCE);
    copyBuffer(list, readback, buffer);
    transitionNow(list, buffer, state);
    submitAndWait();
    std::vector<uint8_t> bytes(buffer->size);
    std::memcpy(bytes.data(), mapBuffer(readback), bytes.size());
    unmapBuffer(readback);
    destroyBuffer(app, readback);
    return bytes;
}

float halfToFloat(uint16_t half)
{
    uint32_t sign = half >> 15, exponent = (half >> 10) & 0x1F, mantissa = half & 0x3FF;
    float value = exponent == 0    ? std::ldexp(float(mantissa), -24)
                  : exponent == 31 ? (mantissa ? NAN : INFINITY)
                                   : std::ldexp(float(mantissa | 0x400), int(exponent) - 25);
    return sign ? -value : value;
}

uint16_t floatToHalf(float value)
{
    // Exact for the normal, representable values the tests use.
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    uint32_t sign = (bits >> 16) & 0x8000;
    int32_t exponent = int32_t((bits >> 23) & 0xFF) - 127 + 15;
    uint32_t mantissa = (bits >> 13) & 0x3FF;
    if (value == 0.0f)
        return uint16_t(sign);
    return uint16_t(sign | (uint32_t(exponent) << 10) | mantissa);
}
