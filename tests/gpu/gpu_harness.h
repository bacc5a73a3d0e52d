// GPU test harness: a headless RenderApp per test, validation on (any error fails it at TearDown),
// the piece's programs and their reference variants, and helpers that upload, dispatch, draw and
// read back; what they make goes at TearDown. Keep images small: lavapipe runs on the CPU.
#pragma once

#include "core/array.h"
#include "core/math.h"
#include "gfx/commands.h"
#include "gfx/context.h"
#include "gfx/descriptors.h"
#include "gfx/passes.h"
#include "gfx/pipelines.h"
#include "gfx/resources.h"
#include "shaders/ParticleConfig.h"
#include "shaders/shader_bytecode.h"
#include "tests/gpu/reference_programs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <span>
#include <vector>

// The bytes the driver holds in the process's memory now (tests/gpu/<platform>/driver_memory.cpp).
int64_t driverMemoryBytes();

template <typename T>
std::vector<T> valuesOf(const std::vector<uint8_t>& bytes)
{
    std::vector<T> values(bytes.size() / sizeof(T));
    std::memcpy(values.data(), bytes.data(), values.size() * sizeof(T));
    return values;
}

// The four floats of pixel (x, y) in a row-by-row RGBA image `width` pixels wide.
template <typename Floats>
auto* rgbaAt(Floats& image, uint32_t width, uint32_t x, uint32_t y) { return &image[(y * width + x) * 4]; }

// The particle buffer's 128 records.
using ParticleBlock = std::array<ParticleData, MAX_PARTICLES>;

// An image of `count` pixels, each holding the values given (its channels).
inline std::vector<float> repeated(uint32_t count, std::initializer_list<float> pixel)
{
    std::vector<float> image;
    for (uint32_t i = 0; i < count; ++i)
        image.insert(image.end(), pixel);
    return image;
}

// An RGBA normal image with each pixel's depth in w, as the path tracer writes it.
inline std::vector<float> withDepthInW(std::vector<float> normal, const std::vector<float>& depth)
{
    for (size_t i = 0; i < depth.size(); ++i)
        normal[i * 4 + 3] = depth[i];
    return normal;
}

// The next number of a linear congruential sequence, uniform in [0, 1): the same inputs on
// every machine.
inline float nextUniform(uint32_t& seed)
{
    seed = seed * 1664525u + 1013904223u;
    return float(seed >> 8) / 16777216.0f;
}

inline void expectNear(Float3 actual, Float3 expected, float tolerance)
{
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
}

class GpuTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // >>resources (destroyed at TearDown)
    // Image with initial data (tightly packed rows), uploaded at the next beginFrame.
    Image* uploadImage(uint32_t width, uint32_t height, uint32_t format, const void* data,
                       uint32_t state = STATE_NON_PIXEL_SHADER_RESOURCE, uint32_t flags = RESOURCE_FLAG_NONE);
    // Image the GPU writes through a UAV, in UNORDERED_ACCESS state.
    Image* createStorageImage(uint32_t width, uint32_t height, uint32_t format)
    {
        return uploadImage(width, height, format, nullptr, STATE_UNORDERED_ACCESS, RESOURCE_FLAG_ALLOW_UNORDERED_ACCESS);
    }
    // Image to draw into, in RENDER_TARGET state.
    Image* createRenderTarget(uint32_t width, uint32_t height, uint32_t format)
    {
        return uploadImage(width, height, format, nullptr, STATE_RENDER_TARGET, RESOURCE_FLAG_ALLOW_RENDER_TARGET);
    }
    // Image of float pixels, tightly packed rows; for RGBA16F they are stored as the compiler's
    // own half type makes them (round to nearest even, subnormal halves included).
    Image* uploadFloats(uint32_t width, uint32_t height, uint32_t format, const std::vector<float>& values,
                        uint32_t state = STATE_NON_PIXEL_SHADER_RESOURCE);
    // Buffer of a BufferType with optional initial data (uploaded at the next beginFrame).
    Buffer* uploadBuffer(uint64_t size, BufferType type, const void* data)
    {
        return buffers.emplace_back(createBuffer(app, size, type, data, false, 0));
    }
    Pipeline* track(Pipeline* pipeline) { return pipelines.emplace_back(pipeline); }
    // A compute pipeline whose root signature is one table of the ranges (parameter 0) and,
    // when asked, four root constants (parameter 1) or the samplers s0 linear and s1 point, both
    // clamped at the edge.
    Pipeline* computePipeline(ShaderBytecode program, std::initializer_list<DescriptorRange> ranges,
                              bool rootConstants = false, bool samplers = false);
    // A full-screen pass of the pixel program into one target format, laid out as the scene's
    // passes are: imageCount images and a constant block, s0 a linear sampler of the address mode.
    FullscreenPass* fullscreenPass(ShaderBytecode pixelProgram, uint32_t imageCount, uint32_t targetFormat,
                                   uint32_t samplerAddress);

    // >>recording
    CommandList* beginCommands() { return beginFrame(app)->commandList; } // the open command list
    void submitAndWait() { endFrame(app); waitForAllFrames(app); }          // and waits for every frame
    // setDescriptorHeap(heap) + setPipeline + the table at parameter 0 + the four root constants
    // (if any) at parameter 1 + a dispatch of groupsX x groupsY groups.
    void recordCompute(CommandList* list, Pipeline* pipeline, DescriptorTable table, const uint32_t* rootConstants,
                       uint32_t groupsX, uint32_t groupsY);
    // In a frame of its own, one table at parameter 0: the inputs as t0.., the outputs as u0..,
    // constants (if any) as b0; then ceil(width / 32) x ceil(height / 32) groups, and a wait.
    // The descriptor heap starts again from the top.
    void dispatchOverImage(Pipeline* pipeline, uint32_t width, uint32_t height, std::initializer_list<Image*> inputs,
                           std::initializer_list<Image*> outputs, Buffer* constants,
                           const uint32_t* rootConstants = nullptr);
    // A full-screen pass's bindings: the images as pixel-shader views, then the constant block.
    std::vector<ResourceBinding> passBindings(std::initializer_list<Image*> images, Buffer* constants);
    // A render-target view of image in the harness's RTV heap.
    uint64_t renderTargetView(Image* image, uint32_t format);
    // Draws the pass in a frame of its own into a new width x height target of its format;
    // the descriptor heaps start again from the top (every earlier frame has been waited for).
    Image* drawPass(FullscreenPass* pass, uint32_t width, uint32_t height, std::span<const ResourceBinding> bindings);

    // >>read-back (each runs a frame of its own; the resource keeps its tracked state)
    std::vector<uint8_t> readImageBytes(Image* image);  // tightly packed rows
    std::vector<uint8_t> readBufferBytes(Buffer* buffer);
    std::vector<float> readFloats(Image* image); // 32-bit floats, or RGBA16F halves widened
    template <typename T>
    std::vector<T> readImage(Image* image) { return valuesOf<T>(readImageBytes(image)); }
    template <typename T>
    std::vector<T> readBuffer(Buffer* buffer) { return valuesOf<T>(readBufferBytes(buffer)); }

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
    std::vector<FullscreenPass*> passes;
};
