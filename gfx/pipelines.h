// Root signatures (a fixed-capacity builder) and pipelines (compute and graphics). Register
// numbers follow D3D12: t, u, b per range type, static samplers s0..s3; root constants are
// four 32-bit values at b0 (a push-constant block in the programs).
#pragma once

#include "core/array.h"
#include "gfx/types.h"
#include "shaders/shader_types.h"

#include <cstdint>
#include <initializer_list>

struct RenderApp;
struct PipelineResource; // Vulkan pipeline, layout and samplers, defined in gfx/vk_internal.h

constexpr uint32_t rootParameterLimit = 8;
constexpr uint32_t staticSamplerLimit = 4;
constexpr uint32_t rangeListLimit = 8;
constexpr uint32_t rootConstantCount = 4;

// D3D12_DESCRIPTOR_RANGE; offset APPEND (0xFFFFFFFF) places a range right after the previous one.
struct DescriptorRange {
    uint32_t rangeType = 0;   // DescriptorRangeType
    uint32_t count = 0;
    uint32_t baseRegister = 0;
    uint32_t registerSpace = 0;
    uint32_t offsetFromTableStart = 0;
};
constexpr uint32_t rangeOffsetAppend = 0xFFFFFFFF;

struct DescriptorRangeList {
    DescriptorRange ranges[rangeListLimit];
    uint32_t count;
};

enum RootParameterType : uint32_t {
    ROOT_PARAMETER_DESCRIPTOR_TABLE = 0,
    ROOT_PARAMETER_32BIT_CONSTANTS = 1,
};

struct RootParameter {
    uint32_t type = 0;          // RootParameterType
    uint32_t visibility = 0;    // ShaderVisibility
    uint32_t firstRange = 0;// tables: index into the builder's ranges (they move while growing)
    uint32_t rangeCount = 0;
    uint32_t constantCount = 0; // root constants: 4
    uint32_t shaderRegister = 0;
};

struct StaticSampler {
    uint32_t filter = 0;      // Filter
    uint32_t addressMode = 0; // AddressMode for U, V and W
    uint32_t shaderRegister = 0;
    uint32_t visibility = 0;
};

// A plain value built on the caller's stack; freeRootSignatureBuilder releases its ranges.
struct RootSignatureBuilder {
    RootParameter parameters[rootParameterLimit];
    StaticSampler samplers[staticSamplerLimit];
    DynamicArray<DescriptorRange> ranges;
    uint32_t parameterCount = 0;
    uint32_t samplerCount = 0;
};

// A range of count descriptors at base register 0, space 0.
DescriptorRange makeRange(uint32_t rangeType, uint32_t count);
// The ranges in order, each with offset APPEND; a ninth ASSERTs and is left out.
DescriptorRangeList makeRangeList(std::initializer_list<DescriptorRange> ranges);
// Each addition beyond the builder's capacity ASSERTs and is left out.
void addDescriptorTable(RootSignatureBuilder& builder, const DescriptorRangeList& list, uint32_t visibility);
void addRootConstants(RootSignatureBuilder& builder);
void addStaticSampler(RootSignatureBuilder& builder, uint32_t filter, uint32_t addressMode, uint32_t shaderRegister,
                      uint32_t visibility);
RootSignatureBuilder copyRootSignatureBuilder(const RootSignatureBuilder& builder);
void freeRootSignatureBuilder(RootSignatureBuilder& builder);

// One descriptor of the resolved root signature: descriptor tableIndex of the table at root
// parameter `parameter` is seen by the programs at `binding` (t n -> n, u n -> 16 + n,
// b n -> 32 + n; static sampler s n -> 48 + n).
struct RootBinding {
    uint32_t binding = 0;
    uint32_t rangeType = 0;
    uint32_t parameter = 0;
    uint32_t tableIndex = 0;
    uint32_t visibility = 0;
};
constexpr uint32_t bindingShift[4] = {0, 16, 32, 48};
// Walks every table's ranges (found by index, so growth of the ranges array is harmless).
// Registers that do not fit their 16-binding band ASSERT and are left out.
DynamicArray<RootBinding> resolveRootBindings(const RootSignatureBuilder& builder);

struct VertexElement {
    uint32_t format = 0;            // Format
    const char* semanticName = nullptr;   // kept for the record; Vulkan matches inputs by location
    uint32_t semanticIndex = 0;
    uint32_t byteOffset = 0;
};

// One vertex-buffer slot; element i feeds the vertex program's input location i.
struct VertexLayout {
    FixedArray<VertexElement, 8> elements;
    uint64_t stride = 0;
};

struct GraphicsPipelineDesc {
    RootSignatureBuilder rootSignature;
    ShaderBytecode vertexProgram = {};
    FixedArray<VertexLayout, 4> vertexLayouts; // slot = position in the list
    ShaderBytecode pixelProgram = {};
    DynamicArray<uint32_t> renderTargetFormats; // its count is the number of render targets
    uint32_t depthFormat = FORMAT_UNKNOWN;      // 0 = no depth buffer
    uint32_t cullMode = CULL_NONE;
};
// Frees the formats list and the builder's ranges.
void freeGraphicsPipelineDesc(GraphicsPipelineDesc& desc);

struct Pipeline {
    PipelineResource* resource;
};

Pipeline* createComputePipeline(RenderApp& app, const RootSignatureBuilder& rootSignature, ShaderBytecode program);
Pipeline* createGraphicsPipeline(RenderApp& app, const GraphicsPipelineDesc& desc);
// Defers the pipeline and its layout; null does nothing.
void destroyPipeline(RenderApp& app, Pipeline*& pipeline);
