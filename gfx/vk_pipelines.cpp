// Root signatures and pipelines on Vulkan: the builder's tables become one set layout
// (t n -> binding n, u n -> 16 + n, b n -> 32 + n, static sampler s n -> immutable sampler at
// 48 + n), root constants a 16-byte push-constant range. The descriptor type of each binding
// is read from the programs' SPIR-V (gfx/vk_reflect.cpp).
#include "gfx/vk_internal.h"

#include "core/log.h"

#include <cstdlib>

namespace {

VkSampler createStaticSampler(RenderApp& app, const StaticSampler& sampler)
{
    VkSamplerAddressMode address = sampler.addressMode == ADDRESS_WRAP     ? VK_SAMPLER_ADDRESS_MODE_REPEAT
                                   : sampler.addressMode == ADDRESS_MIRROR ? VK_SAMPLER_ADDRESS_MODE_MIRRORED_REPEAT
                                   : sampler.addressMode == ADDRESS_BORDER ? VK_SAMPLER_ADDRESS_MODE_CLAMP_TO_BORDER
                                                                           : VK_SAMPLER_ADDRESS_MODE_CLAMP_TO_EDGE;
    // D3D12 filter bits: 0x1 mip linear, 0x4 mag linear, 0x10 min linear.
    VkSamplerCreateInfo info = {
        .sType = VK_STRUCTURE_TYPE_SAMPLER_CREATE_INFO,
        .magFilter = (sampler.filter & 0x4) ? VK_FILTER_LINEAR : VK_FILTER_NEAREST,
        .minFilter = (sampler.filter & 0x10) ? VK_FILTER_LINEAR : VK_FILTER_NEAREST,
        .mipmapMode = (sampler.filter & 0x1) ? VK_SAMPLER_MIPMAP_MODE_LINEAR : VK_SAMPLER_MIPMAP_MODE_NEAREST,
        .addressModeU = address,
        .addressModeV = address,
        .addressModeW = address,
        .mipLodBias = 0.0f,
        .anisotropyEnable = VK_FALSE,
        .compareEnable = VK_FALSE,
        .minLod = 0.0f,
        .maxLod = 0.0f,
        .borderColor = VK_BORDER_COLOR_FLOAT_OPAQUE_BLACK,
    };
    VkSampler result = VK_NULL_HANDLE;
    checkVulkan(vkCreateSampler(vulkanOf(app).device, &info, nullptr, &result), "PANIC: Failed to create root signature\n");
    return result;
}

// The root signature: set layout, samplers and pipeline layout, on a copy of the builder.
PipelineResource* createRootSignature(RenderApp& app, const RootSignatureBuilder& source,
                                      std::initializer_list<ShaderBytecode> programs, VkShaderStageFlags stages,
                                      VkPipelineBindPoint bindPoint)
{
    VulkanContext& vk = vulkanOf(app);
    RootSignatureBuilder builder = copyRootSignatureBuilder(source);
    ProgramInterface interface;
    for (VkDescriptorType& type : interface.types)
        type = VK_DESCRIPTOR_TYPE_MAX_ENUM;
    interface.pushConstants = false;
    for (ShaderBytecode program : programs) {
        if (program.code)
            reflectProgram(program, interface);
    }

    PipelineResource* resource = new PipelineResource{};
    resource->bindPoint = bindPoint;
    resource->parameterCount = builder.parameterCount;
    DynamicArray<RootBinding> bindings = resolveRootBindings(builder);
    FixedArray<VkDescriptorSetLayoutBinding, programBindingLimit> layoutBindings;
    // Only the bindings the programs declare enter the layout, with the type they declare.
    for (const RootBinding& binding : bindings) {
        if (binding.binding >= programBindingLimit || interface.types[binding.binding] == VK_DESCRIPTOR_TYPE_MAX_ENUM)
            continue;
        resource->bindings.push(binding);
        resource->types.push(interface.types[binding.binding]);
        layoutBindings.push({.binding = binding.binding,
                             .descriptorType = interface.types[binding.binding],
                             .descriptorCount = 1,
                             .stageFlags = stages});
    }
    bindings.clear();
    for (uint32_t i = 0; i < builder.samplerCount; ++i) {
        resource->samplers[i] = createStaticSampler(app, builder.samplers[i]);
        layoutBindings.push({.binding = 48 + builder.samplers[i].shaderRegister,
                             .descriptorType = VK_DESCRIPTOR_TYPE_SAMPLER,
                             .descriptorCount = 1,
                             .stageFlags = stages,
                             .pImmutableSamplers = &resource->samplers[i]});
    }
    VkDescriptorSetLayoutCreateInfo setInfo = {.sType = VK_STRUCTURE_TYPE_DESCRIPTOR_SET_LAYOUT_CREATE_INFO,
                                               .bindingCount = uint32_t(layoutBindings.count),
                                               .pBindings = layoutBindings.data};
    checkVulkan(vkCreateDescriptorSetLayout(vk.device, &setInfo, nullptr, &resource->setLayout),
                "PANIC: Failed to create root signature\n");

    VkPushConstantRange pushRange = {.stageFlags = stages, .offset = 0, .size = rootConstantCount * 4};
    for (uint32_t p = 0; p < builder.parameterCount; ++p) {
        if (builder.parameters[p].type == ROOT_PARAMETER_32BIT_CONSTANTS) {
            resource->pushStages = stages;
            resource->rootConstantParameter = p;
        }
    }
    VkPipelineLayoutCreateInfo layoutInfo = {.sType = VK_STRUCTURE_TYPE_PIPELINE_LAYOUT_CREATE_INFO,
                                             .setLayoutCount = 1,
                                             .pSetLayouts = &resource->setLayout,
                                             .pushConstantRangeCount = resource->pushStages ? 1u : 0u,
                                             .pPushConstantRanges = &pushRange};
    checkVulkan(vkCreatePipelineLayout(vk.device, &layoutInfo, nullptr, &resource->layout),
                "PANIC: Failed to create root signature\n");
    setDebugName(app, VK_OBJECT_TYPE_PIPELINE_LAYOUT, uint64_t(resource->layout), "gfx::rootSignature");
    freeRootSignatureBuilder(builder);
    return resource;
}

VkShaderModule createModule(RenderApp& app, ShaderBytecode program, const char* panicMessage)
{
    VkShaderModuleCreateInfo info = {.sType = VK_STRUCTURE_TYPE_SHADER_MODULE_CREATE_INFO,
                                     .codeSize = program.size,
                                     .pCode = program.code};
    VkShaderModule module = VK_NULL_HANDLE;
    if (!program.code || program.size % 4)
        PANIC("%s", panicMessage);
    checkVulkan(vkCreateShaderModule(vulkanOf(app).device, &info, nullptr, &module), panicMessage);
    return module;
}

void releaseRootSignature(RenderApp& app, PipelineResource* resource)
{
    deferRelease(app, ReleaseKind::PipelineLayout, uint64_t(resource->layout));
    deferRelease(app, ReleaseKind::DescriptorSetLayout, uint64_t(resource->setLayout));
    for (VkSampler sampler : resource->samplers)
        deferRelease(app, ReleaseKind::Sampler, uint64_t(sampler));
    resource->bindings.clear();
    resource->types.clear();
}

VkPipeline buildComputePipeline(RenderApp& app, const PipelineResource& resource, ShaderBytecode program)
{
    const char* failure = "PANIC: Failed to create compute pipeline state\n";
    VkShaderModule module = createModule(app, program, failure);
    VkComputePipelineCreateInfo info = {
        .sType = VK_STRUCTURE_TYPE_COMPUTE_PIPELINE_CREATE_INFO,
        .stage = {.sType = VK_STRUCTURE_TYPE_PIPELINE_SHADER_STAGE_CREATE_INFO,
                  .stage = VK_SHADER_STAGE_COMPUTE_BIT,
                  .module = module,
                  .pName = "main"},
        .layout = resource.layout,
    };
    VkDevice device = vulkanOf(app).device;
    VkPipeline pipeline = VK_NULL_HANDLE;
    VkResult result = vkCreateComputePipelines(device, VK_NULL_HANDLE, 1, &info, nullptr, &pipeline);
    vkDestroyShaderModule(device, module, nullptr);
    checkVulkan(result, failure);
    if (pipeline)
        setDebugName(app, VK_OBJECT_TYPE_PIPELINE, uint64_t(pipeline), "gfx::computePipeline");
    return pipeline;
}

} // namespace

Pipeline* createComputePipeline(RenderApp& app, const RootSignatureBuilder& rootSignature, ShaderBytecode program)
{
    PipelineResource* resource = createRootSignature(app, rootSignature, {program}, VK_SHADER_STAGE_COMPUTE_BIT,
                                                     VK_PIPELINE_BIND_POINT_COMPUTE);
    resource->pipeline = buildComputePipeline(app, *resource, program);
    if (!resource->pipeline) {
        releaseRootSignature(app, resource);
        delete resource;
        return nullptr;
    }
    return new Pipeline{resource};
}

// >>graphics pipelines

namespace {

// Input elements in order: element i of all slots together feeds location i.
struct VertexInput {
    FixedArray<VkVertexInputBindingDescription, 4> bindings;
    FixedArray<VkVertexInputAttributeDescription, 32> attributes;
    VkPipelineVertexInputStateCreateInfo info;
};

void describeVertexInput(const GraphicsPipelineDesc& desc, VertexInput& input)
{
    for (uint32_t slot = 0; slot < desc.vertexLayouts.count; ++slot) {
        const VertexLayout& layout = desc.vertexLayouts[slot];
        input.bindings.push({.binding = slot, .stride = uint32_t(layout.stride), .inputRate = VK_VERTEX_INPUT_RATE_VERTEX});
        for (const VertexElement& element : layout.elements) {
            input.attributes.push({.location = uint32_t(input.attributes.count),
                                   .binding = slot,
                                   .format = vulkanFormat(element.format),
                                   .offset = element.byteOffset});
        }
    }
    input.info = {
        .sType = VK_STRUCTURE_TYPE_PIPELINE_VERTEX_INPUT_STATE_CREATE_INFO,
        .vertexBindingDescriptionCount = uint32_t(input.bindings.count),
        .pVertexBindingDescriptions = input.bindings.data,
        .vertexAttributeDescriptionCount = uint32_t(input.attributes.count),
        .pVertexAttributeDescriptions = input.attributes.data,
    };
}

// The render targets' formats and blending: alpha blending where the format can blend.
struct ColourTargets {
    FixedArray<VkPipelineColorBlendAttachmentState, 8> blends;
    FixedArray<VkFormat, 8> formats;
    VkPipelineColorBlendStateCreateInfo blend;
    VkPipelineRenderingCreateInfo rendering;
};

void describeColourTargets(VulkanContext& vk, const GraphicsPipelineDesc& desc, ColourTargets& targets)
{
    for (uint32_t format : desc.renderTargetFormats) {
        VkFormat vulkan = vulkanFormat(format);
        VkFormatProperties properties;
        vkGetPhysicalDeviceFormatProperties(vk.physicalDevice, vulkan, &properties);
        // Formats that cannot blend (32-bit float on some devices) are written unblended.
        bool blendable = properties.optimalTilingFeatures & VK_FORMAT_FEATURE_COLOR_ATTACHMENT_BLEND_BIT;
        targets.formats.push(vulkan);
        targets.blends.push({
            .blendEnable = blendable,
            .srcColorBlendFactor = VK_BLEND_FACTOR_SRC_ALPHA,
            .dstColorBlendFactor = VK_BLEND_FACTOR_ONE_MINUS_SRC_ALPHA,
            .colorBlendOp = VK_BLEND_OP_ADD,
            .srcAlphaBlendFactor = VK_BLEND_FACTOR_ONE,
            .dstAlphaBlendFactor = VK_BLEND_FACTOR_ONE_MINUS_SRC_ALPHA,
            .alphaBlendOp = VK_BLEND_OP_ADD,
            .colorWriteMask = 0xF,
        });
    }
    targets.blend = {.sType = VK_STRUCTURE_TYPE_PIPELINE_COLOR_BLEND_STATE_CREATE_INFO,
                     .logicOpEnable = VK_FALSE,
                     .attachmentCount = uint32_t(targets.blends.count),
                     .pAttachments = targets.blends.data};
    VkFormat depthFormat = desc.depthFormat ? vulkanFormat(desc.depthFormat) : VK_FORMAT_UNDEFINED;
    targets.rendering = {
        .sType = VK_STRUCTURE_TYPE_PIPELINE_RENDERING_CREATE_INFO,
        .colorAttachmentCount = uint32_t(targets.formats.count),
        .pColorAttachmentFormats = targets.formats.data,
        .depthAttachmentFormat = depthFormat,
        .stencilAttachmentFormat = desc.depthFormat == FORMAT_D24_UNORM_S8_UINT ? depthFormat : VK_FORMAT_UNDEFINED,
    };
}

// Triangle lists, one dynamic viewport and scissor, the desc's culling, one sample, and the
// depth test and write where there is a depth format.
struct FixedStates {
    VkPipelineInputAssemblyStateCreateInfo inputAssembly;
    VkPipelineViewportStateCreateInfo viewport;
    VkPipelineRasterizationStateCreateInfo raster;
    VkPipelineMultisampleStateCreateInfo multisample;
    VkPipelineDepthStencilStateCreateInfo depth;
    VkDynamicState dynamicStates[2];
    VkPipelineDynamicStateCreateInfo dynamic;
};

void describeFixedStates(const GraphicsPipelineDesc& desc, FixedStates& states)
{
    states.inputAssembly = {.sType = VK_STRUCTURE_TYPE_PIPELINE_INPUT_ASSEMBLY_STATE_CREATE_INFO,
                            .topology = VK_PRIMITIVE_TOPOLOGY_TRIANGLE_LIST};
    states.viewport = {.sType = VK_STRUCTURE_TYPE_PIPELINE_VIEWPORT_STATE_CREATE_INFO,
                       .viewportCount = 1,
                       .scissorCount = 1};
    // The viewport is flipped (negative height), so clockwise on screen is clockwise here too.
    states.raster = {
        .sType = VK_STRUCTURE_TYPE_PIPELINE_RASTERIZATION_STATE_CREATE_INFO,
        .depthClampEnable = VK_FALSE,
        .polygonMode = VK_POLYGON_MODE_FILL,
        .cullMode = desc.cullMode == CULL_FRONT  ? VkCullModeFlags(VK_CULL_MODE_FRONT_BIT)
                    : desc.cullMode == CULL_BACK ? VkCullModeFlags(VK_CULL_MODE_BACK_BIT)
                                                 : VkCullModeFlags(VK_CULL_MODE_NONE),
        .frontFace = VK_FRONT_FACE_CLOCKWISE,
        .lineWidth = 1.0f,
    };
    states.multisample = {.sType = VK_STRUCTURE_TYPE_PIPELINE_MULTISAMPLE_STATE_CREATE_INFO,
                          .rasterizationSamples = VK_SAMPLE_COUNT_1_BIT};
    const VkStencilOpState keep = {VK_STENCIL_OP_KEEP, VK_STENCIL_OP_KEEP, VK_STENCIL_OP_KEEP,
                                   VK_COMPARE_OP_ALWAYS, 0xFF, 0xFF, 0};
    states.depth = {
        .sType = VK_STRUCTURE_TYPE_PIPELINE_DEPTH_STENCIL_STATE_CREATE_INFO,
        .depthTestEnable = desc.depthFormat != FORMAT_UNKNOWN,
        .depthWriteEnable = desc.depthFormat != FORMAT_UNKNOWN,
        .depthCompareOp = VK_COMPARE_OP_LESS_OR_EQUAL,
        .stencilTestEnable = VK_FALSE,
        .front = keep,
        .back = keep,
    };
    states.dynamicStates[0] = VK_DYNAMIC_STATE_VIEWPORT;
    states.dynamicStates[1] = VK_DYNAMIC_STATE_SCISSOR;
    states.dynamic = {.sType = VK_STRUCTURE_TYPE_PIPELINE_DYNAMIC_STATE_CREATE_INFO,
                      .dynamicStateCount = 2,
                      .pDynamicStates = states.dynamicStates};
}

VkPipelineShaderStageCreateInfo shaderStage(VkShaderStageFlagBits stage, VkShaderModule module)
{
    return {.sType = VK_STRUCTURE_TYPE_PIPELINE_SHADER_STAGE_CREATE_INFO, .stage = stage, .module = module, .pName = "main"};
}

} // namespace

Pipeline* createGraphicsPipeline(RenderApp& app, const GraphicsPipelineDesc& desc)
{
    const char* failure = "PANIC: Failed to create graphics pipeline state\n";
    VulkanContext& vk = vulkanOf(app);
    VkShaderStageFlags stages = VK_SHADER_STAGE_VERTEX_BIT | VK_SHADER_STAGE_FRAGMENT_BIT;
    PipelineResource* resource = createRootSignature(app, desc.rootSignature, {desc.vertexProgram, desc.pixelProgram},
                                                     stages, VK_PIPELINE_BIND_POINT_GRAPHICS);
    VkShaderModule vertexModule = createModule(app, desc.vertexProgram, failure);
    VkShaderModule pixelModule = desc.pixelProgram.code ? createModule(app, desc.pixelProgram, failure) : VK_NULL_HANDLE;
    VkPipelineShaderStageCreateInfo shaderStages[2] = {shaderStage(VK_SHADER_STAGE_VERTEX_BIT, vertexModule),
                                                       shaderStage(VK_SHADER_STAGE_FRAGMENT_BIT, pixelModule)};
    VertexInput vertexInput;
    describeVertexInput(desc, vertexInput);
    ColourTargets targets;
    describeColourTargets(vk, desc, targets);
    FixedStates states;
    describeFixedStates(desc, states);
    VkGraphicsPipelineCreateInfo info = {
        .sType = VK_STRUCTURE_TYPE_GRAPHICS_PIPELINE_CREATE_INFO,
        .pNext = &targets.rendering,
        .stageCount = pixelModule ? 2u : 1u,
        .pStages = shaderStages,
        .pVertexInputState = &vertexInput.info,
        .pInputAssemblyState = &states.inputAssembly,
        .pViewportState = &states.viewport,
        .pRasterizationState = &states.raster,
        .pMultisampleState = &states.multisample,
        .pDepthStencilState = &states.depth,
        .pColorBlendState = &targets.blend,
        .pDynamicState = &states.dynamic,
        .layout = resource->layout,
    };
    VkResult result = vkCreateGraphicsPipelines(vk.device, VK_NULL_HANDLE, 1, &info, nullptr, &resource->pipeline);
    vkDestroyShaderModule(vk.device, vertexModule, nullptr);
    if (pixelModule)
        vkDestroyShaderModule(vk.device, pixelModule, nullptr);
    checkVulkan(result, failure);
    if (!resource->pipeline) {
        releaseRootSignature(app, resource);
        delete resource;
        return nullptr;
    }
    resource->renderTargetFormat = desc.renderTargetFormats.count ? desc.renderTargetFormats[0] : 0;
    setDebugName(app, VK_OBJECT_TYPE_PIPELINE, uint64_t(resource->pipeline), "gfx::graphicsPipeline");
    return new Pipeline{resource};
}

void destroyPipeline(RenderApp& app, Pipeline*& pipeline)
{
    if (!pipeline)
        return;
    deferRelease(app, ReleaseKind::Pipeline, uint64_t(pipeline->resource->pipeline));
    releaseRootSignature(app, pipeline->resource);
    delete pipeline->resource;
    delete pipeline;
    pipeline = nullptr;
}
