// Buffers and images on Vulkan: memory and views (vk_uploads.cpp records their first layouts
// and uploads). DXGI formats and D3D12 states are translated here and nowhere above gfx/.
#include "gfx/vk_internal.h"

#include "core/log.h"

#include <cstdlib>
#include <cstring>

// >>formats and states

VkFormat vulkanFormat(uint32_t format)
{
    switch (format) {
    case FORMAT_R32G32B32A32_FLOAT: return VK_FORMAT_R32G32B32A32_SFLOAT;
    case FORMAT_R32G32B32A32_UINT: return VK_FORMAT_R32G32B32A32_UINT;
    case FORMAT_R32G32B32_FLOAT: return VK_FORMAT_R32G32B32_SFLOAT;
    case FORMAT_R16G16B16A16_FLOAT: return VK_FORMAT_R16G16B16A16_SFLOAT;
    case FORMAT_R16G16B16A16_UNORM: return VK_FORMAT_R16G16B16A16_UNORM;
    case FORMAT_R32G32_FLOAT: return VK_FORMAT_R32G32_SFLOAT;
    case FORMAT_R10G10B10A2_UNORM: return VK_FORMAT_A2B10G10R10_UNORM_PACK32;
    case FORMAT_R11G11B10_FLOAT: return VK_FORMAT_B10G11R11_UFLOAT_PACK32;
    case FORMAT_R8G8B8A8_UNORM: return VK_FORMAT_R8G8B8A8_UNORM;
    case FORMAT_R8G8B8A8_UNORM_SRGB: return VK_FORMAT_R8G8B8A8_SRGB;
    case FORMAT_R8G8B8A8_UINT: return VK_FORMAT_R8G8B8A8_UINT;
    case FORMAT_R16G16_FLOAT: return VK_FORMAT_R16G16_SFLOAT;
    case FORMAT_D32_FLOAT: return VK_FORMAT_D32_SFLOAT;
    case FORMAT_R32_FLOAT: return VK_FORMAT_R32_SFLOAT;
    case FORMAT_R32_UINT: return VK_FORMAT_R32_UINT;
    case FORMAT_R32_SINT: return VK_FORMAT_R32_SINT;
    case FORMAT_D24_UNORM_S8_UINT: return VK_FORMAT_D24_UNORM_S8_UINT;
    case FORMAT_R8G8_UNORM: return VK_FORMAT_R8G8_UNORM;
    case FORMAT_R16_FLOAT: return VK_FORMAT_R16_SFLOAT;
    case FORMAT_D16_UNORM: return VK_FORMAT_D16_UNORM;
    case FORMAT_R16_UNORM: return VK_FORMAT_R16_UNORM;
    case FORMAT_R16_UINT: return VK_FORMAT_R16_UINT;
    case FORMAT_R8_UNORM: return VK_FORMAT_R8_UNORM;
    case FORMAT_R8_UINT: return VK_FORMAT_R8_UINT;
    case FORMAT_B8G8R8A8_UNORM: return VK_FORMAT_B8G8R8A8_UNORM;
    case FORMAT_B8G8R8A8_UNORM_SRGB: return VK_FORMAT_B8G8R8A8_SRGB;
    default: PANIC("PANIC: Unsupported format %u\n", format);
    }
}

bool isDepthFormat(uint32_t format)
{
    return format == FORMAT_D32_FLOAT || format == FORMAT_D24_UNORM_S8_UINT || format == FORMAT_D16_UNORM;
}

namespace {

// What each state bit asks of an image's layout, of memory access and of pipeline stages.
struct StateBitUse {
    uint32_t bit;
    VkImageLayout layout;
    VkAccessFlags2 access;
    VkPipelineStageFlags2 stages;
};
const StateBitUse stateBitUses[] = {
    {STATE_VERTEX_AND_CONSTANT_BUFFER, VK_IMAGE_LAYOUT_GENERAL,
     VK_ACCESS_2_VERTEX_ATTRIBUTE_READ_BIT | VK_ACCESS_2_UNIFORM_READ_BIT,
     VK_PIPELINE_STAGE_2_VERTEX_ATTRIBUTE_INPUT_BIT | VK_PIPELINE_STAGE_2_VERTEX_SHADER_BIT |
         VK_PIPELINE_STAGE_2_FRAGMENT_SHADER_BIT | VK_PIPELINE_STAGE_2_COMPUTE_SHADER_BIT},
    {STATE_INDEX_BUFFER, VK_IMAGE_LAYOUT_GENERAL, VK_ACCESS_2_INDEX_READ_BIT, VK_PIPELINE_STAGE_2_INDEX_INPUT_BIT},
    {STATE_RENDER_TARGET, VK_IMAGE_LAYOUT_COLOR_ATTACHMENT_OPTIMAL,
     VK_ACCESS_2_COLOR_ATTACHMENT_READ_BIT | VK_ACCESS_2_COLOR_ATTACHMENT_WRITE_BIT,
     VK_PIPELINE_STAGE_2_COLOR_ATTACHMENT_OUTPUT_BIT},
    {STATE_UNORDERED_ACCESS, VK_IMAGE_LAYOUT_GENERAL,
     VK_ACCESS_2_SHADER_STORAGE_READ_BIT | VK_ACCESS_2_SHADER_STORAGE_WRITE_BIT,
     VK_PIPELINE_STAGE_2_COMPUTE_SHADER_BIT | VK_PIPELINE_STAGE_2_FRAGMENT_SHADER_BIT},
    {STATE_DEPTH_WRITE, VK_IMAGE_LAYOUT_DEPTH_STENCIL_ATTACHMENT_OPTIMAL,
     VK_ACCESS_2_DEPTH_STENCIL_ATTACHMENT_READ_BIT | VK_ACCESS_2_DEPTH_STENCIL_ATTACHMENT_WRITE_BIT,
     VK_PIPELINE_STAGE_2_EARLY_FRAGMENT_TESTS_BIT | VK_PIPELINE_STAGE_2_LATE_FRAGMENT_TESTS_BIT},
    {STATE_DEPTH_READ, VK_IMAGE_LAYOUT_DEPTH_STENCIL_READ_ONLY_OPTIMAL, VK_ACCESS_2_DEPTH_STENCIL_ATTACHMENT_READ_BIT,
     VK_PIPELINE_STAGE_2_EARLY_FRAGMENT_TESTS_BIT | VK_PIPELINE_STAGE_2_LATE_FRAGMENT_TESTS_BIT},
    {STATE_NON_PIXEL_SHADER_RESOURCE, VK_IMAGE_LAYOUT_SHADER_READ_ONLY_OPTIMAL,
     VK_ACCESS_2_SHADER_SAMPLED_READ_BIT | VK_ACCESS_2_SHADER_STORAGE_READ_BIT,
     VK_PIPELINE_STAGE_2_COMPUTE_SHADER_BIT | VK_PIPELINE_STAGE_2_VERTEX_SHADER_BIT},
    {STATE_PIXEL_SHADER_RESOURCE, VK_IMAGE_LAYOUT_SHADER_READ_ONLY_OPTIMAL,
     VK_ACCESS_2_SHADER_SAMPLED_READ_BIT | VK_ACCESS_2_SHADER_STORAGE_READ_BIT, VK_PIPELINE_STAGE_2_FRAGMENT_SHADER_BIT},
    {STATE_INDIRECT_ARGUMENT, VK_IMAGE_LAYOUT_GENERAL, VK_ACCESS_2_INDIRECT_COMMAND_READ_BIT,
     VK_PIPELINE_STAGE_2_DRAW_INDIRECT_BIT},
    {STATE_COPY_DEST, VK_IMAGE_LAYOUT_TRANSFER_DST_OPTIMAL, VK_ACCESS_2_TRANSFER_WRITE_BIT,
     VK_PIPELINE_STAGE_2_ALL_TRANSFER_BIT},
    {STATE_COPY_SOURCE, VK_IMAGE_LAYOUT_TRANSFER_SRC_OPTIMAL, VK_ACCESS_2_TRANSFER_READ_BIT,
     VK_PIPELINE_STAGE_2_ALL_TRANSFER_BIT},
};

} // namespace

VkImageLayout layoutForState(uint32_t state, bool swapchainImage)
{
    if (state == STATE_PRESENT)
        return swapchainImage ? VK_IMAGE_LAYOUT_PRESENT_SRC_KHR : VK_IMAGE_LAYOUT_GENERAL;
    // Bits that all want one layout get it; bits that want different layouts get GENERAL.
    VkImageLayout layout = VK_IMAGE_LAYOUT_UNDEFINED;
    for (const StateBitUse& use : stateBitUses) {
        if (state & use.bit)
            layout = layout == VK_IMAGE_LAYOUT_UNDEFINED || layout == use.layout ? use.layout : VK_IMAGE_LAYOUT_GENERAL;
    }
    return layout == VK_IMAGE_LAYOUT_UNDEFINED ? VK_IMAGE_LAYOUT_GENERAL : layout;
}

VkAccessFlags2 accessForState(uint32_t state)
{
    if (state == STATE_COMMON)
        return VK_ACCESS_2_MEMORY_READ_BIT | VK_ACCESS_2_MEMORY_WRITE_BIT;
    VkAccessFlags2 access = 0;
    for (const StateBitUse& use : stateBitUses)
        access |= state & use.bit ? use.access : 0;
    return access;
}

VkPipelineStageFlags2 stagesForState(uint32_t state)
{
    VkPipelineStageFlags2 stages = 0;
    for (const StateBitUse& use : stateBitUses)
        stages |= state & use.bit ? use.stages : 0;
    return stages ? stages : VK_PIPELINE_STAGE_2_ALL_COMMANDS_BIT;
}

// >>memory

namespace {

uint32_t findMemoryType(VulkanContext& vk, uint32_t allowedTypes, VkMemoryPropertyFlags wanted,
                        VkMemoryPropertyFlags fallback)
{
    for (VkMemoryPropertyFlags flags : {wanted, fallback}) {
        for (uint32_t i = 0; i < vk.memoryProperties.memoryTypeCount; ++i) {
            if ((allowedTypes & (1u << i)) && (vk.memoryProperties.memoryTypes[i].propertyFlags & flags) == flags)
                return i;
        }
    }
    return UINT32_MAX;
}

// The slot's command list when one is being recorded, else null.
CommandList* recordingList(RenderApp& app)
{
    uint64_t slot = app.ring.currentFrame;
    return app.ring.state[slot] == FrameState::Recording ? app.frames[slot].commandList : nullptr;
}

bool outOfMemory(VkResult result)
{
    return result == VK_ERROR_OUT_OF_DEVICE_MEMORY || result == VK_ERROR_OUT_OF_HOST_MEMORY;
}

// A resource the device cannot hold goes to the context's failure report when it has one (a
// tool's, which ends the process); otherwise, or should the report return, it is the PANIC.
[[noreturn]] void failAllocation(RenderApp& app, AllocationFailure failure, const char* panicMessage)
{
    VulkanContext& vk = vulkanOf(app);
    failure.imageSizeLimit = vk.imageSizeLimit;
    if (vk.allocationFailureReport)
        vk.allocationFailureReport(failure, vk.allocationFailureData);
    PANIC("%s", panicMessage);
}

} // namespace

BufferResource* createBufferResource(RenderApp& app, VkDeviceSize size, bool hostVisible, bool readback,
                                     const char* name)
{
    VulkanContext& vk = vulkanOf(app);
    BufferResource* resource = new BufferResource{};
    resource->size = size;
    resource->device = vk.device;
    VkBufferCreateInfo info = {
        .sType = VK_STRUCTURE_TYPE_BUFFER_CREATE_INFO,
        .size = size,
        .usage = VK_BUFFER_USAGE_TRANSFER_SRC_BIT | VK_BUFFER_USAGE_TRANSFER_DST_BIT |
                 VK_BUFFER_USAGE_UNIFORM_BUFFER_BIT | VK_BUFFER_USAGE_STORAGE_BUFFER_BIT |
                 VK_BUFFER_USAGE_VERTEX_BUFFER_BIT | VK_BUFFER_USAGE_INDEX_BUFFER_BIT |
                 VK_BUFFER_USAGE_INDIRECT_BUFFER_BIT,
        .sharingMode = VK_SHARING_MODE_EXCLUSIVE,
    };
    const char* failure = "PANIC: Failed to create buffer resource\n";
    const AllocationFailure outOfMemoryFor = {.kind = AllocationFailureKind::OutOfMemory, .bytes = size};
    VkResult result = vkCreateBuffer(vk.device, &info, nullptr, &resource->buffer);
    if (outOfMemory(result))
        failAllocation(app, outOfMemoryFor, failure);
    checkVulkan(result, failure);
    VkMemoryRequirements requirements;
    vkGetBufferMemoryRequirements(vk.device, resource->buffer, &requirements);
    VkMemoryPropertyFlags wanted = VK_MEMORY_PROPERTY_DEVICE_LOCAL_BIT;
    VkMemoryPropertyFlags fallback = 0;
    if (hostVisible) {
        wanted = readback ? VK_MEMORY_PROPERTY_HOST_VISIBLE_BIT | VK_MEMORY_PROPERTY_HOST_CACHED_BIT
                          : VK_MEMORY_PROPERTY_HOST_VISIBLE_BIT | VK_MEMORY_PROPERTY_HOST_COHERENT_BIT;
        fallback = VK_MEMORY_PROPERTY_HOST_VISIBLE_BIT;
    }
    uint32_t type = findMemoryType(vk, requirements.memoryTypeBits, wanted, fallback);
    VkMemoryAllocateInfo allocate = {.sType = VK_STRUCTURE_TYPE_MEMORY_ALLOCATE_INFO,
                                     .allocationSize = requirements.size,
                                     .memoryTypeIndex = type};
    if (type == UINT32_MAX)
        PANIC("%s", failure);
    result = vkAllocateMemory(vk.device, &allocate, nullptr, &resource->memory);
    if (outOfMemory(result))
        failAllocation(app, outOfMemoryFor, failure);
    if (result != VK_SUCCESS || vkBindBufferMemory(vk.device, resource->buffer, resource->memory, 0) != VK_SUCCESS)
        PANIC("%s", failure);
    if (hostVisible) {
        resource->coherent = vk.memoryProperties.memoryTypes[type].propertyFlags & VK_MEMORY_PROPERTY_HOST_COHERENT_BIT;
        result = vkMapMemory(vk.device, resource->memory, 0, VK_WHOLE_SIZE, 0, &resource->mapped);
        if (outOfMemory(result) || result == VK_ERROR_MEMORY_MAP_FAILED)
            failAllocation(app, outOfMemoryFor, failure);
        checkVulkan(result, failure);
    }
    setDebugName(app, VK_OBJECT_TYPE_BUFFER, uint64_t(resource->buffer), name);
    return resource;
}

void deferBufferResource(RenderApp& app, BufferResource*& resource)
{
    if (!resource)
        return;
    // Freeing the memory unmaps it.
    deferRelease(app, ReleaseKind::Buffer, uint64_t(resource->buffer));
    deferRelease(app, ReleaseKind::Memory, uint64_t(resource->memory));
    delete resource;
    resource = nullptr;
}

// >>buffers

Buffer* createBuffer(RenderApp& app, uint64_t size, BufferType type, const void* data, bool zeroInitialise,
                     uint32_t)
{
    if (uint32_t(type) > uint32_t(BufferType::Readback))
        PANIC("PANIC: Error: Invalid buffer type\n");
    static constexpr uint32_t creationState[] = {
        STATE_INDEX_BUFFER,     STATE_VERTEX_AND_CONSTANT_BUFFER, STATE_VERTEX_AND_CONSTANT_BUFFER,
        STATE_UNORDERED_ACCESS, STATE_GENERIC_READ,
        STATE_NON_PIXEL_SHADER_RESOURCE | STATE_PIXEL_SHADER_RESOURCE, STATE_COPY_DEST};
    bool hostVisible = type == BufferType::Upload || type == BufferType::Readback;
    // Vulkan has no empty buffers: a size of 0 gets the smallest block, 256 bytes.
    uint64_t rounded = size ? align256(size) : 256;

    Buffer* buffer = static_cast<Buffer*>(std::calloc(1, sizeof(Buffer)));
    buffer->resource = createBufferResource(app, rounded, hostVisible, type == BufferType::Readback, "gfx::buffer");
    buffer->state = creationState[uint32_t(type)];
    buffer->uploadState = STATE_GENERIC_READ;
    buffer->size = rounded;
    buffer->type = type;

    VulkanContext& vk = vulkanOf(app);
    if (zeroInitialise) {
        if (hostVisible) {
            std::memset(buffer->resource->mapped, 0, rounded);
        } else if (CommandList* list = recordingList(app)) {
            endRendering(list);
            vkCmdFillBuffer(list->buffer, buffer->resource->buffer, 0, VK_WHOLE_SIZE, 0);
            recordFillBarrier(list);
        } else {
            vk.pendingFills.push(buffer);
        }
    }
    if (data && !hostVisible) {
        buffer->upload = createBufferResource(app, rounded, true, false, "gfx::uploadBuffer");
        buffer->pendingData = static_cast<uint8_t*>(std::calloc(1, rounded));
        std::memcpy(buffer->pendingData, data, size);
        app.frames[app.ring.currentFrame].pendingBufferUploads.push(buffer);
    }
    return buffer;
}

void destroyBuffer(RenderApp& app, Buffer*& buffer)
{
    if (!buffer)
        return;
    dropPendingUploads(app, nullptr, buffer);
    deferBufferResource(app, buffer->resource);
    deferBufferResource(app, buffer->upload);
    std::free(buffer->pendingData);
    std::free(buffer);
    buffer = nullptr;
}

void setBufferName(RenderApp& app, Buffer* buffer, const char* name)
{
    setDebugName(app, VK_OBJECT_TYPE_BUFFER, uint64_t(buffer->resource->buffer), name);
}

void* mapBuffer(Buffer* buffer)
{
    if (!buffer || !buffer->resource->mapped)
        return nullptr;
    BufferResource* resource = buffer->resource;
    if (!resource->coherent) {
        VkMappedMemoryRange range = {.sType = VK_STRUCTURE_TYPE_MAPPED_MEMORY_RANGE,
                                     .memory = resource->memory,
                                     .offset = 0,
                                     .size = VK_WHOLE_SIZE};
        vkInvalidateMappedMemoryRanges(resource->device, 1, &range);
    }
    return resource->mapped;
}

void unmapBuffer(Buffer* buffer)
{
    // Host-visible buffers stay mapped for their whole life; CPU writes are made visible here.
    if (buffer && buffer->resource->mapped)
        flushMapped(buffer->resource);
}

void flushMapped(BufferResource* resource)
{
    if (resource->coherent)
        return;
    VkMappedMemoryRange range = {.sType = VK_STRUCTURE_TYPE_MAPPED_MEMORY_RANGE,
                                 .memory = resource->memory,
                                 .offset = 0,
                                 .size = VK_WHOLE_SIZE};
    vkFlushMappedMemoryRanges(resource->device, 1, &range);
}

// >>images

namespace {

// The Vulkan image of a record and its own memory; a size above the device's limit or memory
// that runs out goes to failAllocation.
void createImageResource(RenderApp& app, ImageResource* resource, uint32_t width, uint32_t height, uint32_t flags,
                         bool depth)
{
    VulkanContext& vk = vulkanOf(app);
    const char* failure = "PANIC: Failed to create image resource\n";
    AllocationFailure refused = {.kind = AllocationFailureKind::TooLarge, .width = width, .height = height};
    if (width > vk.imageSizeLimit || height > vk.imageSizeLimit)
        failAllocation(app, refused, failure);
    refused.kind = AllocationFailureKind::OutOfMemory;
    VkImageUsageFlags usage = VK_IMAGE_USAGE_TRANSFER_SRC_BIT | VK_IMAGE_USAGE_TRANSFER_DST_BIT | VK_IMAGE_USAGE_SAMPLED_BIT;
    if (flags & RESOURCE_FLAG_ALLOW_RENDER_TARGET)
        usage |= VK_IMAGE_USAGE_COLOR_ATTACHMENT_BIT;
    if (flags & RESOURCE_FLAG_ALLOW_DEPTH_STENCIL)
        usage |= VK_IMAGE_USAGE_DEPTH_STENCIL_ATTACHMENT_BIT;
    if (flags & RESOURCE_FLAG_ALLOW_UNORDERED_ACCESS)
        usage |= VK_IMAGE_USAGE_STORAGE_BIT;
    VkImageCreateInfo info = {
        .sType = VK_STRUCTURE_TYPE_IMAGE_CREATE_INFO,
        .flags = depth ? 0u : uint32_t(VK_IMAGE_CREATE_MUTABLE_FORMAT_BIT), // views in other formats
        .imageType = VK_IMAGE_TYPE_2D,
        .format = resource->format,
        .extent = {width, height, 1},
        .mipLevels = 1,
        .arrayLayers = 1,
        .samples = VK_SAMPLE_COUNT_1_BIT,
        .tiling = VK_IMAGE_TILING_OPTIMAL,
        .usage = usage,
        .sharingMode = VK_SHARING_MODE_EXCLUSIVE,
        .initialLayout = VK_IMAGE_LAYOUT_UNDEFINED,
    };
    VkResult result = width && height ? vkCreateImage(vk.device, &info, nullptr, &resource->image)
                                      : VK_ERROR_INITIALIZATION_FAILED;
    if (outOfMemory(result))
        failAllocation(app, refused, failure);
    checkVulkan(result, failure);
    VkMemoryRequirements requirements;
    vkGetImageMemoryRequirements(vk.device, resource->image, &requirements);
    uint32_t type = findMemoryType(vk, requirements.memoryTypeBits, VK_MEMORY_PROPERTY_DEVICE_LOCAL_BIT, 0);
    if (type == UINT32_MAX)
        PANIC("%s", failure);
    VkMemoryAllocateInfo allocate = {.sType = VK_STRUCTURE_TYPE_MEMORY_ALLOCATE_INFO,
                                     .allocationSize = requirements.size,
                                     .memoryTypeIndex = type};
    refused.bytes = requirements.size;
    result = vkAllocateMemory(vk.device, &allocate, nullptr, &resource->memory);
    if (outOfMemory(result))
        failAllocation(app, refused, failure);
    if (result != VK_SUCCESS || vkBindImageMemory(vk.device, resource->image, resource->memory, 0) != VK_SUCCESS)
        PANIC("%s", failure);
}

} // namespace

void initImageRecord(RenderApp& app, Image* image, uint32_t width, uint32_t height, const void* data,
                     uint32_t initialState, uint32_t format, uint32_t flags)
{
    VulkanContext& vk = vulkanOf(app);
    *image = {};
    ImageResource* resource = new ImageResource{};
    resource->app = &app;
    resource->format = vulkanFormat(format);
    bool depth = isDepthFormat(format);
    resource->aspect = depth ? VK_IMAGE_ASPECT_DEPTH_BIT : VK_IMAGE_ASPECT_COLOR_BIT;
    if (format == FORMAT_D24_UNORM_S8_UINT)
        resource->aspect |= VK_IMAGE_ASPECT_STENCIL_BIT;
    createImageResource(app, resource, width, height, flags, depth);
    setDebugName(app, VK_OBJECT_TYPE_IMAGE, uint64_t(resource->image), "gfx::image");

    resource->zeroPending = data == nullptr; // initial data overwrites every pixel
    image->resource = resource;
    image->state = initialState;
    image->uploadState = STATE_GENERIC_READ;
    image->width = width;
    image->height = height;
    image->format = format;
    image->flags = flags;

    // A new Vulkan image has no layout yet: the one of its creation state is recorded before
    // any use (now, when a frame is being recorded, else first thing in the next frame).
    if (CommandList* list = recordingList(app))
        recordFirstLayout(list, image);
    else
        vk.pendingLayouts.push(image);

    if (!data)
        return;
    uint32_t pixelBytes = bytesPerPixel(format);
    if (pixelBytes == 0) {
        ASSERT(false, "ASSERT: Format %u has no pixel size: the image data is not uploaded\n", format);
        return;
    }
    uint64_t bytes = uint64_t(width) * height * pixelBytes;
    image->pendingData = static_cast<uint8_t*>(std::malloc(bytes));
    if (!image->pendingData) {
        ASSERT(false, "ASSERT: Failed to allocate cpu data for uploading to texture memory\n");
        return; // nothing is queued: no copy reads the missing block
    }
    std::memcpy(image->pendingData, data, bytes);
    image->upload = createBufferResource(app, imageStagingBytes(width, height, format), true, false, "gfx::uploadBuffer");
    app.frames[app.ring.currentFrame].pendingImageUploads.push(image);
}

Image* createImage(RenderApp& app, uint32_t width, uint32_t height, const void* data, uint32_t initialState,
                   uint32_t format, uint32_t flags)
{
    Image* image = static_cast<Image*>(std::malloc(sizeof(Image)));
    initImageRecord(app, image, width, height, data, initialState, format, flags);
    return image;
}

void releaseImageRecord(RenderApp& app, Image* image)
{
    dropPendingUploads(app, image, nullptr);
    ImageResource* resource = image->resource;
    if (resource) {
        for (const ImageView& view : resource->views)
            deferRelease(app, ReleaseKind::ImageView, uint64_t(view.view));
        resource->views.clear();
        if (resource->memory) { // swapchain images belong to the swapchain
            deferRelease(app, ReleaseKind::Image, uint64_t(resource->image));
            deferRelease(app, ReleaseKind::Memory, uint64_t(resource->memory));
        }
        delete resource;
    }
    deferBufferResource(app, image->upload);
    std::free(image->pendingData);
    *image = {};
}

void destroyImage(RenderApp& app, Image*& image)
{
    if (!image)
        return;
    releaseImageRecord(app, image);
    std::free(image);
    image = nullptr;
}

VkImageView imageViewFor(Image* image, uint32_t format)
{
    ImageResource* resource = image->resource;
    // Swapchain images are made without MUTABLE_FORMAT: their views take the image's own
    // format (an RGBA view asked of a BGRA swapchain reads and writes the same colours).
    if (format == FORMAT_UNKNOWN || resource->swapchainImage)
        format = image->format;
    for (const ImageView& view : resource->views) {
        if (view.format == format)
            return view.view;
    }
    RenderApp& app = *resource->app;
    VkImageViewCreateInfo info = {
        .sType = VK_STRUCTURE_TYPE_IMAGE_VIEW_CREATE_INFO,
        .image = resource->image,
        .viewType = VK_IMAGE_VIEW_TYPE_2D,
        .format = vulkanFormat(format),
        .subresourceRange = {resource->aspect & ~VkImageAspectFlags(VK_IMAGE_ASPECT_STENCIL_BIT), 0, 1, 0, 1},
    };
    VkImageView view = VK_NULL_HANDLE;
    checkVulkan(vkCreateImageView(vulkanOf(app).device, &info, nullptr, &view), "PANIC: Failed to create image view\n");
    setDebugName(app, VK_OBJECT_TYPE_IMAGE_VIEW, uint64_t(view), "gfx::imageView");
    resource->views.push({format, view});
    return view;
}
