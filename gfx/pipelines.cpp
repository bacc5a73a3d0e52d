// Root-signature builder and its resolution into bindings: no Vulkan calls.
#include "gfx/pipelines.h"

#include "core/log.h"

DescriptorRange makeRange(uint32_t rangeType, uint32_t count)
{
    return {.rangeType = rangeType, .count = count, .baseRegister = 0, .registerSpace = 0, .offsetFromTableStart = 0};
}

DescriptorRangeList makeRangeList(std::initializer_list<DescriptorRange> ranges)
{
    DescriptorRangeList list = {};
    for (DescriptorRange range : ranges) {
        if (list.count >= rangeListLimit) {
            ASSERT(false, "ASSERT: Exceeded the limit of descriptor range %u.\n", rangeListLimit);
            break;
        }
        range.offsetFromTableStart = rangeOffsetAppend;
        list.ranges[list.count++] = range;
    }
    return list;
}

namespace {

bool claimParameter(RootSignatureBuilder& builder)
{
    if (builder.parameterCount >= rootParameterLimit) {
        ASSERT(false, "ASSERT: Exceeded the limit of root parameters %u.\n", rootParameterLimit);
        return false;
    }
    return true;
}

} // namespace

void addDescriptorTable(RootSignatureBuilder& builder, const DescriptorRangeList& list, uint32_t visibility)
{
    if (!claimParameter(builder))
        return;
    builder.parameters[builder.parameterCount++] = {
        .type = ROOT_PARAMETER_DESCRIPTOR_TABLE,
        .visibility = visibility,
        .firstRange = uint32_t(builder.ranges.count),
        .rangeCount = list.count,
    };
    for (uint32_t i = 0; i < list.count; ++i)
        builder.ranges.push(list.ranges[i]);
}

void addRootConstants(RootSignatureBuilder& builder)
{
    if (!claimParameter(builder))
        return;
    builder.parameters[builder.parameterCount++] = {
        .type = ROOT_PARAMETER_32BIT_CONSTANTS,
        .visibility = VISIBILITY_ALL,
        .constantCount = rootConstantCount,
        .shaderRegister = 0,
    };
}

void addStaticSampler(RootSignatureBuilder& builder, uint32_t filter, uint32_t addressMode, uint32_t shaderRegister,
                      uint32_t visibility)
{
    if (builder.samplerCount >= staticSamplerLimit) {
        ASSERT(false, "ASSERT: Exceeded the limit of static samplers %u.\n", staticSamplerLimit);
        return;
    }
    builder.samplers[builder.samplerCount++] = {
        .filter = filter, .addressMode = addressMode, .shaderRegister = shaderRegister, .visibility = visibility};
}

RootSignatureBuilder copyRootSignatureBuilder(const RootSignatureBuilder& builder)
{
    RootSignatureBuilder copy = builder;
    copy.ranges = {};
    for (const DescriptorRange& range : builder.ranges)
        copy.ranges.push(range);
    return copy;
}

void freeRootSignatureBuilder(RootSignatureBuilder& builder)
{
    builder.ranges.clear();
}

DynamicArray<RootBinding> resolveRootBindings(const RootSignatureBuilder& builder)
{
    DynamicArray<RootBinding> bindings;
    for (uint32_t p = 0; p < builder.parameterCount; ++p) {
        const RootParameter& parameter = builder.parameters[p];
        if (parameter.type != ROOT_PARAMETER_DESCRIPTOR_TABLE)
            continue;
        uint32_t tableIndex = 0;
        for (uint32_t r = 0; r < parameter.rangeCount; ++r) {
            const DescriptorRange& range = builder.ranges[parameter.firstRange + r];
            if (range.offsetFromTableStart != rangeOffsetAppend)
                tableIndex = range.offsetFromTableStart;
            for (uint32_t k = 0; k < range.count; ++k, ++tableIndex) {
                uint32_t shaderRegister = range.baseRegister + k;
                if (range.rangeType > RANGE_CBV || shaderRegister >= 16) {
                    ASSERT(false, "ASSERT: Root signature range type %u register %u has no binding.\n",
                           range.rangeType, shaderRegister);
                    continue;
                }
                bindings.push({.binding = bindingShift[range.rangeType] + shaderRegister,
                               .rangeType = range.rangeType,
                               .parameter = p,
                               .tableIndex = tableIndex,
                               .visibility = parameter.visibility});
            }
        }
    }
    return bindings;
}

void freeGraphicsPipelineDesc(GraphicsPipelineDesc& desc)
{
    desc.renderTargetFormats.clear();
    freeRootSignatureBuilder(desc.rootSignature);
}
