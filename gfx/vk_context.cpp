// The graphics context on Vulkan: the frame ring's command buffers and fences (timeline
// semaphores), deferred release, headless back buffer. The instance and device live in
// vk_device.cpp, the swapchain in vk_swapchain.cpp.
#include "gfx/vk_internal.h"

#include "core/log.h"

#include <cstring>

void acquireBackBuffer(RenderApp& app, uint32_t slot);
void submitAndPresent(RenderApp& app, uint32_t slot, uint64_t fenceValue);
void createSwapchain(RenderApp& app);
void destroySwapchain(RenderApp& app);

namespace {

VkSemaphore createTimelineSemaphore(RenderApp& app, const char* name, const char* panicMessage)
{
    VkSemaphoreTypeCreateInfo type = {.sType = VK_STRUCTURE_TYPE_SEMAPHORE_TYPE_CREATE_INFO,
                                      .semaphoreType = VK_SEMAPHORE_TYPE_TIMELINE,
                                      .initialValue = 0};
    VkSemaphoreCreateInfo info = {.sType = VK_STRUCTURE_TYPE_SEMAPHORE_CREATE_INFO, .pNext = &type};
    VkSemaphore semaphore = VK_NULL_HANDLE;
    checkVulkan(vkCreateSemaphore(vulkanOf(app).device, &info, nullptr, &semaphore), panicMessage);
    setDebugName(app, VK_OBJECT_TYPE_SEMAPHORE, uint64_t(semaphore), name);
    return semaphore;
}

void createFrameSlots(RenderApp& app, VulkanContext& vk)
{
    for (uint32_t slot = 0; slot < frameCount; ++slot) {
        VkCommandPoolCreateInfo poolInfo = {.sType = VK_STRUCTURE_TYPE_COMMAND_POOL_CREATE_INFO,
                                            .queueFamilyIndex = vk.queueFamily};
        checkVulkan(vkCreateCommandPool(vk.device, &poolInfo, nullptr, &vk.commandPools[slot]),
                    "PANIC: Failed to create command allocator\n");
        VkCommandBufferAllocateInfo listInfo = {.sType = VK_STRUCTURE_TYPE_COMMAND_BUFFER_ALLOCATE_INFO,
                                                .commandPool = vk.commandPools[slot],
                                                .level = VK_COMMAND_BUFFER_LEVEL_PRIMARY,
                                                .commandBufferCount = 1};
        CommandList& list = vk.commandLists[slot];
        list = {};
        list.app = &app;
        checkVulkan(vkAllocateCommandBuffers(vk.device, &listInfo, &list.buffer),
                    "PANIC: Failed to create command list\n");
        vk.frameFences[slot] = createTimelineSemaphore(app, "gfx::frame::fence", "PANIC: Failed to create fence\n");
        setDebugName(app, VK_OBJECT_TYPE_COMMAND_POOL, uint64_t(vk.commandPools[slot]), "gfx::frame::commandAllocator");
        setDebugName(app, VK_OBJECT_TYPE_COMMAND_BUFFER, uint64_t(list.buffer), "gfx::frame::commandList");
        app.frames[slot] = {.commandList = &list, .index = slot};
    }
}

uint64_t fenceCompletedValue(void* user, uint32_t slot)
{
    VulkanContext& vk = *static_cast<VulkanContext*>(user);
    uint64_t value = 0;
    checkVulkan(vkGetSemaphoreCounterValue(vk.device, vk.frameFences[slot], &value), "PANIC: Failed to wait for fence\n");
    return value;
}

void fenceWait(void* user, uint32_t slot, uint64_t value)
{
    VulkanContext& vk = *static_cast<VulkanContext*>(user);
    VkSemaphoreWaitInfo info = {.sType = VK_STRUCTURE_TYPE_SEMAPHORE_WAIT_INFO,
                                .semaphoreCount = 1,
                                .pSemaphores = &vk.frameFences[slot],
                                .pValues = &value};
    checkVulkan(vkWaitSemaphores(vk.device, &info, UINT64_MAX), "PANIC: Failed to wait for fence\n");
}

void releaseHandle(void* user, const ReleaseEntry& entry)
{
    VkDevice device = static_cast<VulkanContext*>(user)->device;
    switch (ReleaseKind(entry.kind)) {
    case ReleaseKind::Buffer: vkDestroyBuffer(device, VkBuffer(entry.handle), nullptr); break;
    case ReleaseKind::Image: vkDestroyImage(device, VkImage(entry.handle), nullptr); break;
    case ReleaseKind::ImageView: vkDestroyImageView(device, VkImageView(entry.handle), nullptr); break;
    case ReleaseKind::Memory: vkFreeMemory(device, VkDeviceMemory(entry.handle), nullptr); break;
    case ReleaseKind::Pipeline: vkDestroyPipeline(device, VkPipeline(entry.handle), nullptr); break;
    case ReleaseKind::PipelineLayout: vkDestroyPipelineLayout(device, VkPipelineLayout(entry.handle), nullptr); break;
    case ReleaseKind::DescriptorSetLayout:
        vkDestroyDescriptorSetLayout(device, VkDescriptorSetLayout(entry.handle), nullptr);
        break;
    case ReleaseKind::Sampler: vkDestroySampler(device, VkSampler(entry.handle), nullptr); break;
    case ReleaseKind::DescriptorPool: vkDestroyDescriptorPool(device, VkDescriptorPool(entry.handle), nullptr); break;
    case ReleaseKind::QueryPool: vkDestroyQueryPool(device, VkQueryPool(entry.handle), nullptr); break;
    case ReleaseKind::Framebuffer: vkDestroyFramebuffer(device, VkFramebuffer(entry.handle), nullptr); break;
    default: ASSERT(false, "ASSERT: Unknown release kind %u\n", entry.kind); break;
    }
}

FrameFenceCallbacks fenceCallbacks(VulkanContext& vk)
{
    return {.user = &vk, .completedValue = fenceCompletedValue, .waitForValue = fenceWait, .release = releaseHandle};
}

} // namespace

// >>helpers

void checkVulkan(VkResult result, const char* panicMessage)
{
    if (result != VK_SUCCESS)
        PANIC("%s", panicMessage);
}

VulkanContext& vulkanOf(RenderApp& app)
{
    return *app.vulkan;
}

RenderApp::~RenderApp()
{
    delete vulkan;
}

// >>context

void initGraphics(RenderApp& app, const GraphicsOptions& options)
{
    ASSERT(!app.vulkan, "ASSERT: initGraphics called twice\n");
    app.vulkan = new VulkanContext{};
    VulkanContext& vk = *app.vulkan;
    vk.allocationFailureReport = options.allocationFailureReport;
    vk.allocationFailureData = options.allocationFailureData;
    app.ring = {};
    app.windowState = {};
    if (options.headless) {
        app.width = options.width;
        app.height = options.height;
    } else {
        app.window = createWindow("KIVREL", options.window);
        windowSize(app.window, &app.width, &app.height);
    }
    createInstance(app, vk, options);
    if (app.window) {
        uint64_t surface = 0;
        if (!createWindowSurface(app.window, vk.instance, &surface))
            PANIC("PANIC: Failed to create window surface\n");
        vk.surface = VkSurfaceKHR(surface);
    }
    pickPhysicalDevice(vk);
    createDevice(app, vk);
    createFrameSlots(app, vk);

    if (app.window)
        createSwapchain(app);
    // The offscreen back buffer: the headless context's only one, and the stand-in (in the
    // swapchain's format) while a window has no area to present to.
    Image* offscreen = app.window ? &vk.offscreen : &app.backBuffers[0];
    uint32_t format = app.backBufferCount ? app.backBuffers[0].format : uint32_t(FORMAT_R8G8B8A8_UNORM);
    initImageRecord(app, offscreen, app.width, app.height, nullptr, STATE_PRESENT, format,
                    RESOURCE_FLAG_ALLOW_RENDER_TARGET);
    setDebugName(app, VK_OBJECT_TYPE_IMAGE, uint64_t(offscreen->resource->image), "gfx::backbuffer");
    if (!app.window) {
        app.backBufferCount = 1;
        vk.frameBackBuffer = offscreen;
    }
}

const char* graphicsDeviceName(const RenderApp& app)
{
    return app.vulkan ? app.vulkan->deviceName : "";
}

uint32_t backBufferFormat(const RenderApp& app)
{
    return app.window ? app.vulkan->offscreen.format : app.backBuffers[0].format;
}

FrameContext* beginFrame(RenderApp& app, FrameOutput output)
{
    VulkanContext& vk = vulkanOf(app);
    uint32_t slot = frameRingBegin(app.ring, fenceCallbacks(vk));
    FrameContext& frame = app.frames[slot];
    checkVulkan(vkResetCommandPool(vk.device, vk.commandPools[slot], 0), "PANIC: Failed to reset command allocator\n");
    openCommandList(frame.commandList);
    if (app.window && output == FrameOutput::Screen) {
        acquireBackBuffer(app, slot);
    } else if (app.window) {
        // As while the window has no area: submitted, not presented.
        vk.imageAcquired = false;
        vk.frameBackBuffer = &vk.offscreen;
    } else {
        vk.frameBackBuffer = &app.backBuffers[0];
    }
    recordPendingLayouts(app, frame.commandList);
    recordUploads(app, frame);
    frameRingRecording(app.ring);
    return &frame;
}

void endFrame(RenderApp& app)
{
    VulkanContext& vk = vulkanOf(app);
    uint32_t recordedSlot = uint32_t(app.ring.currentFrame);
    closeCommandList(app.frames[recordedSlot].commandList);
    uint32_t slot = 0;
    uint64_t value = frameRingSubmit(app.ring, &slot);
    if (app.window) {
        submitAndPresent(app, slot, value);
    } else {
        VkCommandBufferSubmitInfo commands = {.sType = VK_STRUCTURE_TYPE_COMMAND_BUFFER_SUBMIT_INFO,
                                              .commandBuffer = app.frames[slot].commandList->buffer};
        VkSemaphoreSubmitInfo signal = {.sType = VK_STRUCTURE_TYPE_SEMAPHORE_SUBMIT_INFO,
                                        .semaphore = vk.frameFences[slot],
                                        .value = value,
                                        .stageMask = VK_PIPELINE_STAGE_2_ALL_COMMANDS_BIT};
        VkSubmitInfo2 submit = {.sType = VK_STRUCTURE_TYPE_SUBMIT_INFO_2,
                                .commandBufferInfoCount = 1,
                                .pCommandBufferInfos = &commands,
                                .signalSemaphoreInfoCount = 1,
                                .pSignalSemaphoreInfos = &signal};
        checkVulkan(vkQueueSubmit2(vk.queue, 1, &submit, VK_NULL_HANDLE), "PANIC: Failed to signal frame fence\n");
    }
    frameRingEnd(app.ring);
}

void waitForAllFrames(RenderApp& app)
{
    frameRingWaitAll(app.ring, fenceCallbacks(vulkanOf(app)));
}

void deferRelease(RenderApp& app, ReleaseEntry entry)
{
    frameRingDefer(app.ring, entry);
}

Image* currentBackBuffer(RenderApp& app)
{
    return vulkanOf(app).frameBackBuffer;
}

void destroyGraphics(RenderApp& app)
{
    if (!app.vulkan)
        return;
    VulkanContext& vk = vulkanOf(app);
    waitForAllFrames(app);
    vkDeviceWaitIdle(vk.device);
    if (app.window)
        destroySwapchain(app);
    releaseImageRecord(app, app.window ? &vk.offscreen : &app.backBuffers[0]);
    // Both the slot lists and the deferred lists: nothing is left to leak.
    frameRingReleaseAll(app.ring, fenceCallbacks(vk));
    for (uint32_t slot = 0; slot < frameCount; ++slot) {
        vkDestroyCommandPool(vk.device, vk.commandPools[slot], nullptr);
        vkDestroySemaphore(vk.device, vk.frameFences[slot], nullptr);
        app.frames[slot].pendingImageUploads.clear();
        app.frames[slot].pendingBufferUploads.clear();
        app.frames[slot].commandList = nullptr;
    }
    vk.pendingLayouts.clear();
    destroyDevice(vk);
    delete app.vulkan;
    app.vulkan = nullptr;
    if (app.window)
        destroyWindow(app.window);
    app.backBufferCount = 0;
}

DynamicArray<uint8_t> readBackBuffer(RenderApp& app)
{
    if (app.window) {
        ASSERT(false, "ASSERT: readBackBuffer needs a headless context\n");
        return {};
    }
    Image* image = &app.backBuffers[0];
    ImageFootprint footprint = imageFootprint(image->width, image->height, image->format);
    Buffer* readback = createBuffer(app, footprint.totalBytes, BufferType::Readback, nullptr, false, 0);
    FrameContext* frame = beginFrame(app);
    uint32_t state = image->state;
    transitionNow(frame->commandList, image, STATE_COPY_SOURCE);
    copyImageToBuffer(frame->commandList, readback, image);
    transitionNow(frame->commandList, image, state);
    endFrame(app);
    waitForAllFrames(app);
    DynamicArray<uint8_t> pixels;
    pixels.reserve(footprint.rowSize * footprint.rowCount + 1);
    if (!pixels.data) { // reported by the reserve: the caller gets no pixels
        destroyBuffer(app, readback);
        return pixels;
    }
    const uint8_t* mapped = static_cast<const uint8_t*>(mapBuffer(readback));
    for (uint32_t row = 0; row < footprint.rowCount; ++row)
        std::memcpy(pixels.data + row * footprint.rowSize, mapped + row * footprint.rowPitch, footprint.rowSize);
    pixels.count = footprint.rowSize * footprint.rowCount;
    unmapBuffer(readback);
    destroyBuffer(app, readback);
    return pixels;
}

void pumpMessages(RenderApp& app, InputState& input)
{
    if (app.window)
        pumpWindowMessages(app.window, input, app.windowState);
    // A window destroyed under the surface is closed as surely as one the user closed.
    if (app.vulkan && app.vulkan->surfaceLost)
        app.windowState.quit = true;
}
