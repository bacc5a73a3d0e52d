// What beginFrame records before a frame's own work, on Vulkan: the first layout of each new
// image (zeroing those made without data), the zero fills of new buffers, and the pending
// uploads of initial data.
#include "gfx/vk_internal.h"

#include <cstring>

// >>first layouts and fills

void recordFillBarrier(CommandList* list)
{
    recordMemoryBarrier(list, VK_PIPELINE_STAGE_2_ALL_TRANSFER_BIT, VK_ACCESS_2_TRANSFER_WRITE_BIT,
                        VK_PIPELINE_STAGE_2_ALL_COMMANDS_BIT, VK_ACCESS_2_MEMORY_READ_BIT | VK_ACCESS_2_MEMORY_WRITE_BIT);
}

namespace {

void recordLayoutBarrier(CommandList* list, const Image* image, ImageAccess from, ImageAccess to)
{
    VkImageMemoryBarrier2 barrier = wholeImageBarrier(*image->resource, from, to);
    VkDependencyInfo dependency = {.sType = VK_STRUCTURE_TYPE_DEPENDENCY_INFO,
                                   .imageMemoryBarrierCount = 1,
                                   .pImageMemoryBarriers = &barrier};
    vkCmdPipelineBarrier2(list->buffer, &dependency);
}

} // namespace

// The layout of the creation state; an image made without data is zeroed on the way, as a
// D3D12 committed resource is: fresh memory may hold anything, NaNs included, and the scene's
// history images are read before anything has written them.
void recordFirstLayout(CommandList* list, Image* image)
{
    endRendering(list);
    const ImageAccess none = {VK_IMAGE_LAYOUT_UNDEFINED, VK_PIPELINE_STAGE_2_NONE, 0};
    const ImageAccess created = imageAccessFor(image->state, image->resource->swapchainImage);
    if (!image->resource->zeroPending) {
        recordLayoutBarrier(list, image, none, created);
        return;
    }
    image->resource->zeroPending = false;
    const ImageAccess cleared = {VK_IMAGE_LAYOUT_TRANSFER_DST_OPTIMAL, VK_PIPELINE_STAGE_2_CLEAR_BIT,
                                 VK_ACCESS_2_TRANSFER_WRITE_BIT};
    recordLayoutBarrier(list, image, none, cleared);
    VkImageSubresourceRange range = {image->resource->aspect, 0, 1, 0, 1};
    if (image->resource->aspect & VK_IMAGE_ASPECT_DEPTH_BIT) {
        VkClearDepthStencilValue zero = {0.0f, 0};
        vkCmdClearDepthStencilImage(list->buffer, image->resource->image, cleared.layout, &zero, 1, &range);
    } else {
        VkClearColorValue zero = {};
        vkCmdClearColorImage(list->buffer, image->resource->image, cleared.layout, &zero, 1, &range);
    }
    recordLayoutBarrier(list, image, cleared, created);
}

namespace {

template <typename T>
void removeFrom(DynamicArray<T*>& list, T* item)
{
    uint64_t kept = 0;
    for (uint64_t i = 0; i < list.count; ++i) {
        if (list.data[i] != item)
            list.data[kept++] = list.data[i];
    }
    list.count = kept;
}

} // namespace

// >>uploads

void dropPendingUploads(RenderApp& app, Image* image, Buffer* buffer)
{
    // A record destroyed before its upload or first layout was recorded leaves no pointer behind.
    if (!app.vulkan)
        return;
    VulkanContext& vk = vulkanOf(app);
    for (FrameContext& frame : app.frames) {
        if (image)
            removeFrom(frame.pendingImageUploads, image);
        if (buffer)
            removeFrom(frame.pendingBufferUploads, buffer);
    }
    if (image)
        removeFrom(vk.pendingLayouts, image);
    if (buffer)
        removeFrom(vk.pendingFills, buffer);
}

void recordPendingLayouts(RenderApp& app, CommandList* list)
{
    VulkanContext& vk = vulkanOf(app);
    for (Image* image : vk.pendingLayouts)
        recordFirstLayout(list, image);
    vk.pendingLayouts.clear();
    for (Buffer* buffer : vk.pendingFills)
        vkCmdFillBuffer(list->buffer, buffer->resource->buffer, 0, VK_WHOLE_SIZE, 0);
    if (vk.pendingFills.count)
        recordFillBarrier(list);
    vk.pendingFills.clear();
}

namespace {

// A copy into the resource from its upload buffer, in COPY_DEST and then back to its tracked state.
template <typename Copy>
void recordCopyIn(CommandList* list, Buffer* buffer, Image* image, Copy copy)
{
    uint32_t state = buffer ? buffer->state : image->state;
    PendingTransition toCopy = {state, STATE_COPY_DEST, buffer, image};
    PendingTransition back = {STATE_COPY_DEST, state, buffer, image};
    if (state != STATE_COPY_DEST)
        recordBarriers(list, &toCopy, 1);
    copy();
    if (state != STATE_COPY_DEST)
        recordBarriers(list, &back, 1);
}

void recordImageUpload(RenderApp& app, CommandList* list, Image* image)
{
    uint32_t pixelBytes = bytesPerPixel(image->format);
    ImageFootprint footprint = imageFootprint(image->width, image->height, image->format);
    uint8_t* mapped = static_cast<uint8_t*>(image->upload->mapped);
    for (uint32_t row = 0; row < footprint.rowCount; ++row) {
        std::memcpy(mapped + row * footprint.rowPitch, image->pendingData + uint64_t(row) * image->width * pixelBytes,
                    footprint.rowSize);
    }
    flushMapped(image->upload);
    VkBufferImageCopy region;
    if (footprintRegion(image, image->upload->size, &region)) {
        recordCopyIn(list, nullptr, image, [&] {
            vkCmdCopyBufferToImage(list->buffer, image->upload->buffer, image->resource->image,
                                   VK_IMAGE_LAYOUT_TRANSFER_DST_OPTIMAL, 1, &region);
        });
    }
    std::free(image->pendingData);
    image->pendingData = nullptr;
    deferBufferResource(app, image->upload);
}

void recordBufferUpload(RenderApp& app, CommandList* list, Buffer* buffer)
{
    std::memcpy(buffer->upload->mapped, buffer->pendingData, buffer->size);
    flushMapped(buffer->upload);
    recordCopyIn(list, buffer, nullptr, [&] {
        VkBufferCopy region = {.srcOffset = 0, .dstOffset = 0, .size = buffer->size};
        vkCmdCopyBuffer(list->buffer, buffer->upload->buffer, buffer->resource->buffer, 1, &region);
    });
    std::free(buffer->pendingData);
    buffer->pendingData = nullptr;
    deferBufferResource(app, buffer->upload);
}

} // namespace

void recordUploads(RenderApp& app, FrameContext& frame)
{
    for (Image* image : frame.pendingImageUploads) {
        if (image->pendingData && image->upload)
            recordImageUpload(app, frame.commandList, image);
    }
    frame.pendingImageUploads.clear();
    for (Buffer* buffer : frame.pendingBufferUploads) {
        if (buffer->pendingData && buffer->resource && buffer->upload)
            recordBufferUpload(app, frame.commandList, buffer);
    }
    frame.pendingBufferUploads.clear();
}
