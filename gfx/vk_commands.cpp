// Command recording on Vulkan: binding state that becomes one descriptor set per dispatch or
// draw, dynamic rendering begun and ended around draws, copies and barriers.
#include "gfx/vk_internal.h"

#include "core/log.h"

#include <algorithm>
#include <cstring>

// >>list lifetime

void openCommandList(CommandList* list)
{
    RenderApp* app = list->app;
    VkCommandBuffer buffer = list->buffer;
    *list = {};
    list->app = app;
    list->buffer = buffer;
    VkCommandBufferBeginInfo info = {.sType = VK_STRUCTURE_TYPE_COMMAND_BUFFER_BEGIN_INFO,
                                     .flags = VK_COMMAND_BUFFER_USAGE_ONE_TIME_SUBMIT_BIT};
    checkVulkan(vkBeginCommandBuffer(list->buffer, &info), "PANIC: Failed to reset command list\n");
}

void closeCommandList(CommandList* list)
{
    endRendering(list);
    // Whatever the frame wrote into read-back memory becomes visible to the CPU once the
    // frame's fence has passed (D3D12 does this implicitly; Vulkan wants the host barrier).
    recordMemoryBarrier(list, VK_PIPELINE_STAGE_2_ALL_COMMANDS_BIT, VK_ACCESS_2_MEMORY_WRITE_BIT,
                        VK_PIPELINE_STAGE_2_HOST_BIT, VK_ACCESS_2_HOST_READ_BIT);
    checkVulkan(vkEndCommandBuffer(list->buffer), "PANIC: Failed to close command list\n");
}

void recordMemoryBarrier(CommandList* list, VkPipelineStageFlags2 sourceStages, VkAccessFlags2 sourceAccess,
                         VkPipelineStageFlags2 destinationStages, VkAccessFlags2 destinationAccess)
{
    VkMemoryBarrier2 barrier = {.sType = VK_STRUCTURE_TYPE_MEMORY_BARRIER_2,
                                .srcStageMask = sourceStages,
                                .srcAccessMask = sourceAccess,
                                .dstStageMask = destinationStages,
                                .dstAccessMask = destinationAccess};
    VkDependencyInfo dependency = {.sType = VK_STRUCTURE_TYPE_DEPENDENCY_INFO,
                                   .memoryBarrierCount = 1,
                                   .pMemoryBarriers = &barrier};
    vkCmdPipelineBarrier2(list->buffer, &dependency);
}

void endRendering(CommandList* list)
{
    if (list->rendering) {
        vkCmdEndRendering(list->buffer);
        list->rendering = false;
    }
}

namespace {

bool beginRendering(CommandList* list, const float* clearColour)
{
    const ViewRecord& target = list->renderTarget;
    if (target.kind != ViewKind::RenderTarget || !target.image) {
        ASSERT(false, "ASSERT: No render target is set\n");
        return false;
    }
    Image* image = target.image;
    VkRenderingAttachmentInfo colour = {
        .sType = VK_STRUCTURE_TYPE_RENDERING_ATTACHMENT_INFO,
        .imageView = imageViewFor(image, target.format),
        .imageLayout = VK_IMAGE_LAYOUT_COLOR_ATTACHMENT_OPTIMAL,
        .loadOp = clearColour ? VK_ATTACHMENT_LOAD_OP_CLEAR : VK_ATTACHMENT_LOAD_OP_LOAD,
        .storeOp = VK_ATTACHMENT_STORE_OP_STORE,
    };
    if (clearColour)
        std::memcpy(colour.clearValue.color.float32, clearColour, 4 * sizeof(float));
    VkRenderingInfo info = {
        .sType = VK_STRUCTURE_TYPE_RENDERING_INFO,
        .renderArea = {{0, 0}, {image->width, image->height}},
        .layerCount = 1,
        .colorAttachmentCount = 1,
        .pColorAttachments = &colour,
    };
    vkCmdBeginRendering(list->buffer, &info);
    list->rendering = true;
    return true;
}

bool isCompatible(VkDescriptorType type, ViewKind kind)
{
    switch (type) {
    case VK_DESCRIPTOR_TYPE_SAMPLED_IMAGE: return kind == ViewKind::SampledImage;
    case VK_DESCRIPTOR_TYPE_STORAGE_IMAGE: return kind == ViewKind::StorageImage;
    case VK_DESCRIPTOR_TYPE_STORAGE_BUFFER: return kind == ViewKind::StorageBuffer;
    case VK_DESCRIPTOR_TYPE_UNIFORM_BUFFER: return kind == ViewKind::UniformBuffer;
    default: return false;
    }
}

// The view written for the binding in its bound table; null, after an ASSERT, when there is
// none or it does not match the binding's type.
const ViewRecord* boundView(const CommandList* list, const RootBinding& binding, VkDescriptorType type)
{
    if (!list->tableBound[binding.parameter]) {
        ASSERT(false, "ASSERT: Root parameter %u has no descriptor table\n", binding.parameter);
        return nullptr;
    }
    const DescriptorTable& table = list->tables[binding.parameter];
    if (binding.tableIndex >= table.written) {
        ASSERT(false, "ASSERT: Descriptor %u of the table at root parameter %u was never written\n",
               binding.tableIndex, binding.parameter);
        return nullptr;
    }
    const ViewRecord* record = viewRecordAt(table.gpuHandle + uint64_t(table.increment) * binding.tableIndex);
    if (!isCompatible(type, record->kind)) {
        ASSERT(false, "ASSERT: Descriptor %u of the table at root parameter %u does not match binding %u\n",
               binding.tableIndex, binding.parameter, binding.binding);
        return nullptr;
    }
    return record;
}

VkDescriptorSet allocateDescriptorSet(CommandList* list, const PipelineResource& resource)
{
    VkDescriptorSetAllocateInfo allocate = {.sType = VK_STRUCTURE_TYPE_DESCRIPTOR_SET_ALLOCATE_INFO,
                                            .descriptorPool = list->heap->pool->pool,
                                            .descriptorSetCount = 1,
                                            .pSetLayouts = &resource.setLayout};
    const char* exhausted = "PANIC: Failed to allocate descriptor set: the descriptor heap's pool is exhausted\n";
    DescriptorPoolResource* pool = list->heap->pool;
    if (pool->setsAllocated >= pool->maxSets)
        PANIC("%s", exhausted);
    VkDescriptorSet set = VK_NULL_HANDLE;
    checkVulkan(vkAllocateDescriptorSets(vulkanOf(*list->app).device, &allocate, &set), exhausted);
    pool->setsAllocated += 1;
    return set;
}

// One set's writes with the image and buffer records they point at (reserved up front, so
// the pointers stay valid).
struct SetWrites {
    DynamicArray<VkWriteDescriptorSet> writes;
    DynamicArray<VkDescriptorImageInfo> images;
    DynamicArray<VkDescriptorBufferInfo> buffers;
};

void addWrite(SetWrites& set, VkWriteDescriptorSet write, const ViewRecord& record)
{
    if (record.image) {
        // The layout the image is in when this work runs: its tracked state.
        set.images.data[set.images.count] = {
            .imageView = imageViewFor(record.image, record.format),
            .imageLayout = layoutForState(record.image->state, record.image->resource->swapchainImage)};
        write.pImageInfo = &set.images.data[set.images.count++];
    } else {
        Buffer* buffer = record.buffer;
        uint64_t offset = std::min(record.offset, buffer->size);
        uint64_t range = std::min(record.range, buffer->size - offset);
        set.buffers.data[set.buffers.count] = {.buffer = buffer->resource->buffer,
                                               .offset = offset,
                                               .range = range ? range : VK_WHOLE_SIZE};
        write.pBufferInfo = &set.buffers.data[set.buffers.count++];
    }
    set.writes.data[set.writes.count++] = write;
}

// Allocates the set of this dispatch or draw and writes every bound table into it. False (after
// an ASSERT) when a binding is missing or does not match: the work is then not recorded, since
// a mismatched binding crashes lavapipe at dispatch.
bool bindDescriptors(CommandList* list)
{
    Pipeline* pipeline = list->pipeline;
    if (!pipeline) {
        ASSERT(false, "ASSERT: No pipeline is set\n");
        return false;
    }
    const PipelineResource& resource = *pipeline->resource;
    if (!list->setDirty)
        return true;
    if (resource.bindings.count == 0 && resource.samplers[0] == VK_NULL_HANDLE) {
        list->setDirty = false;
        return true;
    }
    if (!list->heap || !list->heap->pool) {
        ASSERT(false, "ASSERT: No shader-visible descriptor heap is set\n");
        return false;
    }
    VkDescriptorSet set = allocateDescriptorSet(list, resource);
    uint32_t count = uint32_t(resource.bindings.count);
    SetWrites writes;
    writes.writes.reserve(count + 1);
    writes.images.reserve(count + 1);
    writes.buffers.reserve(count + 1);
    bool complete = true;
    for (uint32_t i = 0; i < count && complete; ++i) {
        const RootBinding& binding = resource.bindings[i];
        const ViewRecord* record = boundView(list, binding, resource.types[i]);
        complete = record != nullptr;
        if (complete)
            addWrite(writes,
                     {.sType = VK_STRUCTURE_TYPE_WRITE_DESCRIPTOR_SET,
                      .dstSet = set,
                      .dstBinding = binding.binding,
                      .descriptorCount = 1,
                      .descriptorType = resource.types[i]},
                     *record);
    }
    if (complete) {
        VkDevice device = vulkanOf(*list->app).device;
        vkUpdateDescriptorSets(device, uint32_t(writes.writes.count), writes.writes.data, 0, nullptr);
        vkCmdBindDescriptorSets(list->buffer, resource.bindPoint, resource.layout, 0, 1, &set, 0, nullptr);
        list->setDirty = false;
    }
    writes.writes.clear();
    writes.images.clear();
    writes.buffers.clear();
    return complete;
}

} // namespace

// >>binding

void setDescriptorHeap(CommandList* list, DescriptorHeap* heap)
{
    list->heap = heap;
    list->setDirty = true;
}

void setPipeline(CommandList* list, Pipeline* pipeline)
{
    list->pipeline = pipeline;
    list->setDirty = true;
    if (pipeline) {
        if (pipeline->resource->bindPoint == VK_PIPELINE_BIND_POINT_COMPUTE)
            endRendering(list);
        vkCmdBindPipeline(list->buffer, pipeline->resource->bindPoint, pipeline->resource->pipeline);
    }
}

void setRootDescriptorTable(CommandList* list, uint32_t parameter, const DescriptorTable& table)
{
    if (parameter >= rootParameterLimit) {
        ASSERT(false, "ASSERT: Exceeded the limit of root parameters %u.\n", rootParameterLimit);
        return;
    }
    list->tables[parameter] = table;
    list->tableBound[parameter] = true;
    list->setDirty = true;
}

void setRootConstants(CommandList* list, uint32_t parameter, const void* values, uint32_t count, uint32_t offset)
{
    PipelineResource* resource = list->pipeline ? list->pipeline->resource : nullptr;
    if (!resource || !resource->pushStages || resource->rootConstantParameter != parameter ||
        offset + count > rootConstantCount) {
        ASSERT(false, "ASSERT: Root parameter %u does not hold %u root constants at %u\n", parameter, count, offset);
        return;
    }
    vkCmdPushConstants(list->buffer, resource->layout, resource->pushStages, offset * 4, count * 4, values);
}

void dispatch(CommandList* list, uint32_t groupsX, uint32_t groupsY, uint32_t groupsZ)
{
    endRendering(list);
    if (!bindDescriptors(list))
        return;
    vkCmdDispatch(list->buffer, groupsX, groupsY, groupsZ);
}

// >>rendering

void setRenderTarget(CommandList* list, uint64_t renderTargetView)
{
    const ViewRecord* record = viewRecordAt(renderTargetView);
    endRendering(list);
    if (!record || record->kind != ViewKind::RenderTarget) {
        ASSERT(false, "ASSERT: Not a render-target view\n");
        list->renderTarget = {};
        return;
    }
    list->renderTarget = *record;
}

void clearRenderTarget(CommandList* list, uint64_t renderTargetView, const float colour[4])
{
    setRenderTarget(list, renderTargetView);
    if (beginRendering(list, colour))
        endRendering(list);
}

void setViewport(CommandList* list, float x, float y, float width, float height, float minDepth, float maxDepth)
{
    // Negative height: y grows downwards from the top-left corner, as in Direct3D.
    VkViewport viewport = {x, y + height, width, -height, std::clamp(minDepth, 0.0f, 1.0f),
                           std::clamp(maxDepth, 0.0f, 1.0f)};
    vkCmdSetViewport(list->buffer, 0, 1, &viewport);
}

void setScissor(CommandList* list, int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    VkRect2D scissor = {{std::max(left, 0), std::max(top, 0)},
                        {uint32_t(std::max(right - std::max(left, 0), 0)), uint32_t(std::max(bottom - std::max(top, 0), 0))}};
    vkCmdSetScissor(list->buffer, 0, 1, &scissor);
}

void setVertexBuffer(CommandList* list, uint32_t slot, Buffer* buffer, uint32_t)
{
    VkDeviceSize offset = 0;
    vkCmdBindVertexBuffers(list->buffer, slot, 1, &buffer->resource->buffer, &offset);
}

void draw(CommandList* list, uint32_t vertexCount, uint32_t instanceCount, uint32_t startVertex, uint32_t startInstance)
{
    // A pipeline built for another format than the target's view would draw garbage or crash
    // (the back buffer may be BGRA: build its pipelines with backBufferFormat).
    const ViewRecord& target = list->renderTarget;
    if (list->pipeline && target.image) {
        uint32_t viewFormat = target.image->resource->swapchainImage || target.format == FORMAT_UNKNOWN
                                  ? target.image->format
                                  : target.format;
        uint32_t pipelineFormat = list->pipeline->resource->renderTargetFormat;
        if (viewFormat != pipelineFormat) {
            ASSERT(false, "ASSERT: Render target format %u does not match the pipeline's %u\n", viewFormat,
                   pipelineFormat);
            return;
        }
    }
    // Descriptor sets are bound outside a render pass only by choice; both are allowed.
    if (!bindDescriptors(list))
        return;
    if (!list->rendering && !beginRendering(list, nullptr))
        return;
    vkCmdDraw(list->buffer, vertexCount, instanceCount, startVertex, startInstance);
}

// >>copies

void copyBuffer(CommandList* list, Buffer* destination, Buffer* source)
{
    copyBufferRegion(list, destination, 0, source, 0, std::min(destination->size, source->size));
}

void copyBufferRegion(CommandList* list, Buffer* destination, uint64_t destinationOffset, Buffer* source,
                      uint64_t sourceOffset, uint64_t bytes)
{
    if (destinationOffset + bytes > destination->size || sourceOffset + bytes > source->size || bytes == 0) {
        ASSERT(false, "ASSERT: Buffer copy of %llu bytes is outside the buffers\n", (unsigned long long)bytes);
        return;
    }
    endRendering(list);
    VkBufferCopy region = {.srcOffset = sourceOffset, .dstOffset = destinationOffset, .size = bytes};
    vkCmdCopyBuffer(list->buffer, source->resource->buffer, destination->resource->buffer, 1, &region);
}

void copyImage(CommandList* list, Image* destination, Image* source)
{
    if (destination->width != source->width || destination->height != source->height ||
        bytesPerPixel(destination->format) != bytesPerPixel(source->format)) {
        ASSERT(false, "ASSERT: Image copy between images of different size or pixel size\n");
        return;
    }
    endRendering(list);
    VkImageCopy region = {
        .srcSubresource = {source->resource->aspect, 0, 0, 1},
        .dstSubresource = {destination->resource->aspect, 0, 0, 1},
        .extent = {source->width, source->height, 1},
    };
    vkCmdCopyImage(list->buffer, source->resource->image, layoutForState(source->state, source->resource->swapchainImage),
                   destination->resource->image,
                   layoutForState(destination->state, destination->resource->swapchainImage), 1, &region);
}

bool footprintRegion(const Image* image, uint64_t bufferBytes, VkBufferImageCopy* region)
{
    ImageFootprint footprint = imageFootprint(image->width, image->height, image->format);
    uint32_t pixelBytes = bytesPerPixel(image->format);
    if (pixelBytes == 0 || footprint.totalBytes > bufferBytes) {
        ASSERT(false, "ASSERT: Buffer of %llu bytes cannot hold the %ux%u image\n", (unsigned long long)bufferBytes,
               image->width, image->height);
        return false;
    }
    *region = {
        .bufferOffset = 0,
        .bufferRowLength = uint32_t(footprint.rowPitch / pixelBytes),
        .bufferImageHeight = image->height,
        .imageSubresource = {image->resource->aspect & ~VkImageAspectFlags(VK_IMAGE_ASPECT_STENCIL_BIT), 0, 0, 1},
        .imageOffset = {0, 0, 0},
        .imageExtent = {image->width, image->height, 1},
    };
    return true;
}

void copyBufferToImage(CommandList* list, Image* destination, Buffer* source)
{
    VkBufferImageCopy region;
    if (!footprintRegion(destination, source->size, &region))
        return;
    endRendering(list);
    vkCmdCopyBufferToImage(list->buffer, source->resource->buffer, destination->resource->image,
                           layoutForState(destination->state, destination->resource->swapchainImage), 1, &region);
}

void copyImageToBuffer(CommandList* list, Buffer* destination, Image* source)
{
    VkBufferImageCopy region;
    if (!footprintRegion(source, destination->size, &region))
        return;
    endRendering(list);
    vkCmdCopyImageToBuffer(list->buffer, source->resource->image,
                           layoutForState(source->state, source->resource->swapchainImage),
                           destination->resource->buffer, 1, &region);
}

// >>barriers

ImageAccess imageAccessFor(uint32_t state, bool swapchainImage)
{
    return {.layout = layoutForState(state, swapchainImage), .stages = stagesForState(state), .access = accessForState(state)};
}

VkImageMemoryBarrier2 wholeImageBarrier(const ImageResource& resource, ImageAccess from, ImageAccess to)
{
    return {
        .sType = VK_STRUCTURE_TYPE_IMAGE_MEMORY_BARRIER_2,
        .srcStageMask = from.stages,
        .srcAccessMask = from.access,
        .dstStageMask = to.stages,
        .dstAccessMask = to.access,
        .oldLayout = from.layout,
        .newLayout = to.layout,
        .srcQueueFamilyIndex = VK_QUEUE_FAMILY_IGNORED,
        .dstQueueFamilyIndex = VK_QUEUE_FAMILY_IGNORED,
        .image = resource.image,
        .subresourceRange = {resource.aspect, 0, 1, 0, 1},
    };
}

void recordBarriers(CommandList* list, const PendingTransition* transitions, uint32_t count)
{
    if (count == 0)
        return;
    endRendering(list);
    DynamicArray<VkImageMemoryBarrier2> images;
    DynamicArray<VkBufferMemoryBarrier2> buffers;
    images.reserve(count + 1);
    buffers.reserve(count + 1);
    for (uint32_t i = 0; i < count; ++i) {
        const PendingTransition& transition = transitions[i];
        if (transition.image) {
            const ImageResource& resource = *transition.image->resource;
            images.data[images.count++] =
                wholeImageBarrier(resource, imageAccessFor(transition.before, resource.swapchainImage),
                                  imageAccessFor(transition.after, resource.swapchainImage));
        } else if (transition.buffer) {
            buffers.data[buffers.count++] = {
                .sType = VK_STRUCTURE_TYPE_BUFFER_MEMORY_BARRIER_2,
                .srcStageMask = stagesForState(transition.before),
                .srcAccessMask = accessForState(transition.before),
                .dstStageMask = stagesForState(transition.after),
                .dstAccessMask = accessForState(transition.after),
                .srcQueueFamilyIndex = VK_QUEUE_FAMILY_IGNORED,
                .dstQueueFamilyIndex = VK_QUEUE_FAMILY_IGNORED,
                .buffer = transition.buffer->resource->buffer,
                .offset = 0,
                .size = VK_WHOLE_SIZE,
            };
        }
    }
    VkDependencyInfo dependency = {.sType = VK_STRUCTURE_TYPE_DEPENDENCY_INFO,
                                   .bufferMemoryBarrierCount = uint32_t(buffers.count),
                                   .pBufferMemoryBarriers = buffers.data,
                                   .imageMemoryBarrierCount = uint32_t(images.count),
                                   .pImageMemoryBarriers = images.data};
    vkCmdPipelineBarrier2(list->buffer, &dependency);
    list->barrierCalls += 1;
    images.clear();
    buffers.clear();
}

void uavBarrier(CommandList* list)
{
    endRendering(list);
    VkPipelineStageFlags2 stages = VK_PIPELINE_STAGE_2_COMPUTE_SHADER_BIT | VK_PIPELINE_STAGE_2_FRAGMENT_SHADER_BIT;
    VkAccessFlags2 access = VK_ACCESS_2_SHADER_STORAGE_READ_BIT | VK_ACCESS_2_SHADER_STORAGE_WRITE_BIT;
    recordMemoryBarrier(list, stages, access, stages, access);
    list->barrierCalls += 1;
}

uint64_t barrierCallCount(const CommandList* list)
{
    return list->barrierCalls;
}
