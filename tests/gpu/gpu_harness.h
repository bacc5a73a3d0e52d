// GPU test harness: each test gets a headless RenderApp on the Vulkan device (lavapipe in CI)
// with the Khronos validation layer on; any validation error fails the test at TearDown.
// Helpers upload, record and run work, and read images and buffers back.
//
// Example (a compute program that reads t0, writes u0 and takes root constants):
//
//   #include "tests/gpu/gpu_harness.h"
//   #include "shaders/shader_bytecode.h"          // the piece's programs (MyProgramCS)
//
//   TEST_F(GpuTest, MyProgramDoublesEveryPixel)
//   {
//       float pixels[4 * 4 * 4] = {...};             // 4 x 4 RGBA32F, rows top to bottom
//       Image* input = uploadImage(4, 4, FORMAT_R32G32B32A32_FLOAT, pixels);
//       Image* output = createStorageImage(4, 4, FORMAT_R32G32B32A32_FLOAT);
//
//       RootSignatureBuilder root;                     // table at parameter 0, constants at 1
//       addDescriptorTable(root, makeRangeList({makeRange(RANGE_SRV, 1), makeRange(RANGE_UAV, 1)}),
//                          VISIBILITY_ALL);
//       addRootConstants(root);
//       Pipeline* pipeline = track(createComputePipeline(app, root, MyProgramCS));
//       freeRootSignatureBuilder(root);
//
//       CommandList* list = beginCommands();           // beginFrame: the upload is recorded here
//       transitionNow(list, input, STATE_NON_PIXEL_SHADER_RESOURCE);
//       DescriptorTable table = allocateDescriptors(*heap, 2);
//       writeImageSRV(table, input, FORMAT_R32G32B32A32_FLOAT, 0, 1, 0, 0.0f);
//       writeImageUAV(table, output, FORMAT_R32G32B32A32_FLOAT);
//       RootConstants constants = {.parameter = 1, .values = {2, 0, 0, 0}};
//       recordCompute(list, pipeline, {{0, table}}, &constants, 1, 1, 1);
//       submitAndWait();                               // endFrame + waitForAllFrames
//
//       std::vector<float> result = readImage<float>(output);   // tightly packed rows
//       EXPECT_EQ(result[0], 2.0f * pixels[0]);        // expected values derived by hand
//   }
//
// Images and buffers made with the helpers (and pipelines passed to track) are destroyed at
// TearDown. Keep images small: lavapipe runs on the CPU.
#pragma once

#include "core/array.h"
#include "gfx/commands.h"
#include "gfx/context.h"
#include "gfx/descriptors.h"
#include "gfx/passes.h"
#include "gfx/pipelines.h"
#include "gfx/resources.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <vector>

struct TableBinding {
    uint32_t parameter;
    DescriptorTable table;
};

struct RootConstants {
    uint32_t parameter;
    uint32_t values[4];
};

class GpuTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // >>resources (destroyed at TearDown)
    // Image with initial data (tightly packed rows), uploaded at the next beginFrame.
    Image* uploadImage(uint32_t width, uint32_t height, uint32_t format, const void* data,
                       uint32_t state = STATE_NON_PIXEL_SHADER_RESOURCE, uint32_t flags = RESOURCE_FLAG_NONE);
    // Image the GPU writes through a UAV, in UNORDERED_ACCESS state.
    Image* createStorageImage(uint32_t width, uint32_t height, uint32_t format);
    // Image to draw into, in RENDER_TARGET state.
    Image* createRenderTarget(uint32_t width, uint32_t height, uint32_t format);
    // Buffer of a BufferType with optional initial data (uploaded at the next beginFrame).
    Buffer* uploadBuffer(uint64_t size, BufferType type, const void* data);
    Pipeline* track(Pipeline* pipeline);

    // >>recording
    CommandList* beginCommands();     // beginFrame; returns the open command list
    void submitAndWait();             // endFrame, then waits for every frame
    // setDescriptorHeap(heap) + setPipeline + tables + root constants + dispatch.
    void recordCompute(CommandList* list, Pipeline* pipeline, std::initializer_list<TableBinding> tables,
                       const RootConstants* constants, uint32_t groupsX, uint32_t groupsY, uint32_t groupsZ);
    // A render-target view of image in the harness's RTV heap.
    uint64_t renderTargetView(Image* image, uint32_t format);

    // >>read-back (each runs a frame of its own; the resource keeps its tracked state)
    std::vector<uint8_t> readImageBytes(Image* image);  // tightly packed rows
    std::vector<uint8_t> readBufferBytes(Buffer* buffer);
    template <typename T>
    std::vector<T> readImage(Image* image)
    {
        std::vector<uint8_t> bytes = readImageBytes(image);
        std::vector<T> values(bytes.size() / sizeof(T));
        std::memcpy(values.data(), bytes.data(), values.size() * sizeof(T));
        return values;
    }
    template <typename T>
    std::vector<T> readBuffer(Buffer* buffer)
    {
        std::vector<uint8_t> bytes = readBufferBytes(buffer);
        std::vector<T> values(bytes.size() / sizeof(T));
        std::memcpy(values.data(), bytes.data(), values.size() * sizeof(T));
        return values;
    }

    // Size of the headless back buffer; a fixture may change it before SetUp runs.
    uint32_t backBufferWidth = 16;
    uint32_t backBufferHeight = 8;

    RenderApp app;
    DescriptorHeap* heap = nullptr;    // shader-visible, 128 descriptors
    DescriptorHeap* rtvHeap = nullptr; // 16 render-target views

private:
    std::vector<Image*> images;
    std::vector<Buffer*> buffers;
    std::vector<Pipeline*> pipelines;
};

// IEEE half <-> float for RGBA16F data.
float halfToFloat(uint16_t half);
uint16_t floatToHalf(float value);
