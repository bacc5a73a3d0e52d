// The swapchain: FIFO (one vertical blank per present), three images, UNORM RGBA or BGRA
// (never sRGB: the final pass applies its own gamma). Recreated, not fatal, when the surface
// reports out-of-date or suboptimal; nothing is presented while the window has no area, nor
// ever again once the surface is lost (the window destroyed under it), which is a quit.
#include "gfx/vk_internal.h"

#include "core/log.h"

#include <algorithm>

void createSwapchain(RenderApp& app);
void destroySwapchain(RenderApp& app);

namespace {

VkSemaphore createBinarySemaphore(RenderApp& app)
{
    VkSemaphoreCreateInfo info = {.sType = VK_STRUCTURE_TYPE_SEMAPHORE_CREATE_INFO};
    VkSemaphore semaphore = VK_NULL_HANDLE;
    checkVulkan(vkCreateSemaphore(vulkanOf(app).device, &info, nullptr, &semaphore), "PANIC: Failed to create fence\n");
    return semaphore;
}

void releaseSwapchainImages(RenderApp& app)
{
    VulkanContext& vk = vulkanOf(app);
    for (uint32_t i = 0; i < app.backBufferCount; ++i) {
        ImageResource* resource = app.backBuffers[i].resource;
        if (resource) {
            for (const ImageView& view : resource->views)
                vkDestroyImageView(vk.device, view.view, nullptr);
            resource->views.clear();
            delete resource;
        }
        app.backBuffers[i] = {};
    }
    app.backBufferCount = 0;
}

// Replaces the swapchain (after the GPU is idle); false while the window has no area.
bool recreateSwapchain(RenderApp& app)
{
    VulkanContext& vk = vulkanOf(app);
    uint32_t width = 0, height = 0;
    windowDrawableSize(app.window, &width, &height);
    if (width == 0 || height == 0)
        return false;
    checkVulkan(vkDeviceWaitIdle(vk.device), "PANIC: Failed to create swapchain\n");
    createSwapchain(app);
    return vk.swapchain != VK_NULL_HANDLE && !vk.surfaceLost;
}

// The semaphores that outlive every swapchain: one acquire semaphore per frame slot and the
// timeline semaphore that counts presented frames.
void createSwapchainSemaphores(RenderApp& app)
{
    VulkanContext& vk = vulkanOf(app);
    for (VkSemaphore& semaphore : vk.acquired) {
        if (!semaphore)
            semaphore = createBinarySemaphore(app);
    }
    if (vk.presentFence)
        return;
    VkSemaphoreTypeCreateInfo type = {.sType = VK_STRUCTURE_TYPE_SEMAPHORE_TYPE_CREATE_INFO,
                                      .semaphoreType = VK_SEMAPHORE_TYPE_TIMELINE};
    VkSemaphoreCreateInfo info = {.sType = VK_STRUCTURE_TYPE_SEMAPHORE_CREATE_INFO, .pNext = &type};
    checkVulkan(vkCreateSemaphore(vk.device, &info, nullptr, &vk.presentFence), "PANIC: Failed to create fence\n");
    setDebugName(app, VK_OBJECT_TYPE_SEMAPHORE, uint64_t(vk.presentFence), "gfx::backbuffer::fence");
}

// R8G8B8A8 else B8G8R8A8, UNORM in the sRGB colour space; none of them is a PANIC.
VkSurfaceFormatKHR chooseSurfaceFormat(VulkanContext& vk)
{
    uint32_t formatCount = 0;
    vkGetPhysicalDeviceSurfaceFormatsKHR(vk.physicalDevice, vk.surface, &formatCount, nullptr);
    VkSurfaceFormatKHR formats[64];
    formatCount = std::min(formatCount, 64u);
    vkGetPhysicalDeviceSurfaceFormatsKHR(vk.physicalDevice, vk.surface, &formatCount, formats);
    for (VkFormat wanted : {VK_FORMAT_R8G8B8A8_UNORM, VK_FORMAT_B8G8R8A8_UNORM}) {
        for (uint32_t i = 0; i < formatCount; ++i) {
            if (formats[i].format == wanted && formats[i].colorSpace == VK_COLOR_SPACE_SRGB_NONLINEAR_KHR)
                return formats[i];
        }
    }
    PANIC("PANIC: Failed to create swapchain\n");
}

// The window's drawable size where the surface leaves the extent to the swapchain.
VkExtent2D swapchainExtent(RenderApp& app, const VkSurfaceCapabilitiesKHR& capabilities)
{
    VkExtent2D extent = capabilities.currentExtent;
    if (extent.width == UINT32_MAX) {
        windowDrawableSize(app.window, &extent.width, &extent.height);
        extent.width = std::clamp(extent.width, capabilities.minImageExtent.width, capabilities.maxImageExtent.width);
        extent.height = std::clamp(extent.height, capabilities.minImageExtent.height, capabilities.maxImageExtent.height);
    }
    return extent;
}

// Back buffer records for the swapchain's images, in PRESENT state.
void adoptSwapchainImages(RenderApp& app, VkFormat format, VkExtent2D extent)
{
    VulkanContext& vk = vulkanOf(app);
    uint32_t count = 0;
    vkGetSwapchainImagesKHR(vk.device, vk.swapchain, &count, nullptr);
    count = std::min(count, backBufferLimit);
    VkImage images[backBufferLimit];
    vkGetSwapchainImagesKHR(vk.device, vk.swapchain, &count, images);
    for (uint32_t i = 0; i < count; ++i) {
        ImageResource* resource = new ImageResource{};
        resource->image = images[i];
        resource->format = format;
        resource->aspect = VK_IMAGE_ASPECT_COLOR_BIT;
        resource->swapchainImage = true;
        resource->app = &app;
        app.backBuffers[i] = {
            .resource = resource,
            .state = STATE_PRESENT,
            .uploadState = STATE_GENERIC_READ,
            .width = extent.width,
            .height = extent.height,
            .format = format == VK_FORMAT_R8G8B8A8_UNORM ? uint32_t(FORMAT_R8G8B8A8_UNORM)
                                                         : uint32_t(FORMAT_B8G8R8A8_UNORM),
            .flags = RESOURCE_FLAG_ALLOW_RENDER_TARGET,
        };
        setDebugName(app, VK_OBJECT_TYPE_IMAGE, uint64_t(images[i]), "gfx::backbuffer");
        // Kept across recreation: a present of the old swapchain may still wait on one.
        if (!vk.renderDone[i])
            vk.renderDone[i] = createBinarySemaphore(app);
        vk.backBufferNeedsLayout[i] = true;
    }
    app.backBufferCount = count;
}

} // namespace

void createSwapchain(RenderApp& app)
{
    VulkanContext& vk = vulkanOf(app);
    createSwapchainSemaphores(app);
    VkSurfaceCapabilitiesKHR capabilities;
    VkResult result = vkGetPhysicalDeviceSurfaceCapabilitiesKHR(vk.physicalDevice, vk.surface, &capabilities);
    if (result == VK_ERROR_SURFACE_LOST_KHR) {
        vk.surfaceLost = true;
        return;
    }
    checkVulkan(result, "PANIC: Failed to create swapchain\n");
    VkExtent2D extent = swapchainExtent(app, capabilities);
    VkSwapchainKHR old = vk.swapchain;
    releaseSwapchainImages(app);
    if (extent.width == 0 || extent.height == 0) {
        // Minimised: no swapchain until the window has an area again.
        if (old)
            vkDestroySwapchainKHR(vk.device, old, nullptr);
        vk.swapchain = VK_NULL_HANDLE;
        vk.swapchainStale = true;
        return;
    }

    VkSurfaceFormatKHR chosen = chooseSurfaceFormat(vk);
    uint32_t imageCount = std::max(3u, capabilities.minImageCount);
    if (capabilities.maxImageCount)
        imageCount = std::min(imageCount, capabilities.maxImageCount);
    VkImageUsageFlags usage = VK_IMAGE_USAGE_COLOR_ATTACHMENT_BIT |
                              (capabilities.supportedUsageFlags &
                               (VK_IMAGE_USAGE_TRANSFER_SRC_BIT | VK_IMAGE_USAGE_TRANSFER_DST_BIT));
    VkSwapchainCreateInfoKHR info = {
        .sType = VK_STRUCTURE_TYPE_SWAPCHAIN_CREATE_INFO_KHR,
        .surface = vk.surface,
        .minImageCount = imageCount,
        .imageFormat = chosen.format,
        .imageColorSpace = chosen.colorSpace,
        .imageExtent = extent,
        .imageArrayLayers = 1,
        .imageUsage = usage,
        .imageSharingMode = VK_SHARING_MODE_EXCLUSIVE,
        .preTransform = capabilities.currentTransform,
        .compositeAlpha = VK_COMPOSITE_ALPHA_OPAQUE_BIT_KHR,
        .presentMode = VK_PRESENT_MODE_FIFO_KHR, // always supported; one vertical blank per present
        .clipped = VK_TRUE,
        .oldSwapchain = old,
    };
    if (!(capabilities.supportedCompositeAlpha & VK_COMPOSITE_ALPHA_OPAQUE_BIT_KHR))
        info.compositeAlpha = VK_COMPOSITE_ALPHA_INHERIT_BIT_KHR;
    checkVulkan(vkCreateSwapchainKHR(vk.device, &info, nullptr, &vk.swapchain), "PANIC: Failed to create swapchain\n");
    if (old)
        vkDestroySwapchainKHR(vk.device, old, nullptr);
    setDebugName(app, VK_OBJECT_TYPE_SWAPCHAIN_KHR, uint64_t(vk.swapchain), "gfx::swapchain");
    vk.swapchainFormat = chosen.format;
    vk.swapchainExtent = extent;
    vk.swapchainStale = false;
    adoptSwapchainImages(app, chosen.format, extent);
    app.width = extent.width;
    app.height = extent.height;
}

void destroySwapchain(RenderApp& app)
{
    VulkanContext& vk = vulkanOf(app);
    vkDeviceWaitIdle(vk.device);
    releaseSwapchainImages(app);
    if (vk.swapchain)
        vkDestroySwapchainKHR(vk.device, vk.swapchain, nullptr);
    vk.swapchain = VK_NULL_HANDLE;
    for (VkSemaphore& semaphore : vk.acquired) {
        vkDestroySemaphore(vk.device, semaphore, nullptr);
        semaphore = VK_NULL_HANDLE;
    }
    for (VkSemaphore& semaphore : vk.renderDone) {
        vkDestroySemaphore(vk.device, semaphore, nullptr);
        semaphore = VK_NULL_HANDLE;
    }
    vkDestroySemaphore(vk.device, vk.presentFence, nullptr);
    vk.presentFence = VK_NULL_HANDLE;
}

// Picks this frame's back buffer: the next swapchain image, or the offscreen stand-in while
// the window has no area (that frame is recorded and submitted but not presented).
void acquireBackBuffer(RenderApp& app, uint32_t slot)
{
    VulkanContext& vk = vulkanOf(app);
    vk.imageAcquired = false;
    vk.frameBackBuffer = &vk.offscreen;
    if (vk.surfaceLost)
        return;
    // A window whose size changed is caught here even when the surface does not report it.
    uint32_t width = 0, height = 0;
    windowDrawableSize(app.window, &width, &height);
    if (width != vk.swapchainExtent.width || height != vk.swapchainExtent.height)
        vk.swapchainStale = true;
    for (int attempt = 0; attempt < 2; ++attempt) {
        if ((vk.swapchainStale || !vk.swapchain) && !recreateSwapchain(app))
            return;
        uint32_t index = 0;
        VkResult result = vkAcquireNextImageKHR(vk.device, vk.swapchain, UINT64_MAX, vk.acquired[slot], VK_NULL_HANDLE,
                                                &index);
        if (result == VK_ERROR_OUT_OF_DATE_KHR) {
            vk.swapchainStale = true;
            continue;
        }
        if (result == VK_ERROR_SURFACE_LOST_KHR) {
            vk.surfaceLost = true;
            return;
        }
        if (result == VK_SUBOPTIMAL_KHR)
            vk.swapchainStale = true; // this image is still presentable; recreate after presenting it
        else
            checkVulkan(result, "PANIC: Failed to acquire back buffer\n");
        vk.imageAcquired = true;
        app.currentBackBuffer = index;
        vk.frameBackBuffer = &app.backBuffers[index];
        if (vk.backBufferNeedsLayout[index]) {
            vk.pendingLayouts.push(vk.frameBackBuffer);
            vk.backBufferNeedsLayout[index] = false;
        }
        return;
    }
}

void submitAndPresent(RenderApp& app, uint32_t slot, uint64_t fenceValue)
{
    VulkanContext& vk = vulkanOf(app);
    uint32_t index = uint32_t(app.currentBackBuffer);
    VkCommandBufferSubmitInfo commands = {.sType = VK_STRUCTURE_TYPE_COMMAND_BUFFER_SUBMIT_INFO,
                                          .commandBuffer = app.frames[slot].commandList->buffer};
    VkSemaphoreSubmitInfo wait = {.sType = VK_STRUCTURE_TYPE_SEMAPHORE_SUBMIT_INFO,
                                  .semaphore = vk.acquired[slot],
                                  .stageMask = VK_PIPELINE_STAGE_2_ALL_COMMANDS_BIT};
    VkSemaphoreSubmitInfo signals[2] = {
        {.sType = VK_STRUCTURE_TYPE_SEMAPHORE_SUBMIT_INFO,
         .semaphore = vk.frameFences[slot],
         .value = fenceValue,
         .stageMask = VK_PIPELINE_STAGE_2_ALL_COMMANDS_BIT},
        {.sType = VK_STRUCTURE_TYPE_SEMAPHORE_SUBMIT_INFO,
         .semaphore = vk.renderDone[index],
         .stageMask = VK_PIPELINE_STAGE_2_ALL_COMMANDS_BIT},
    };
    VkSubmitInfo2 submit = {.sType = VK_STRUCTURE_TYPE_SUBMIT_INFO_2,
                            .waitSemaphoreInfoCount = vk.imageAcquired ? 1u : 0u,
                            .pWaitSemaphoreInfos = &wait,
                            .commandBufferInfoCount = 1,
                            .pCommandBufferInfos = &commands,
                            .signalSemaphoreInfoCount = vk.imageAcquired ? 2u : 1u,
                            .pSignalSemaphoreInfos = signals};
    checkVulkan(vkQueueSubmit2(vk.queue, 1, &submit, VK_NULL_HANDLE), "PANIC: Failed to signal frame fence\n");
    if (!vk.imageAcquired)
        return;

    // At most one presented frame ahead: wait for the signal placed after the previous present.
    uint64_t previous = vk.presentFenceValue;
    VkSemaphoreWaitInfo waitInfo = {.sType = VK_STRUCTURE_TYPE_SEMAPHORE_WAIT_INFO,
                                    .semaphoreCount = 1,
                                    .pSemaphores = &vk.presentFence,
                                    .pValues = &previous};
    checkVulkan(vkWaitSemaphores(vk.device, &waitInfo, UINT64_MAX), "PANIC: Failed to present\n");

    VkPresentInfoKHR present = {.sType = VK_STRUCTURE_TYPE_PRESENT_INFO_KHR,
                                .waitSemaphoreCount = 1,
                                .pWaitSemaphores = &vk.renderDone[index],
                                .swapchainCount = 1,
                                .pSwapchains = &vk.swapchain,
                                .pImageIndices = &index};
    VkResult result = vkQueuePresentKHR(vk.queue, &present);
    if (result == VK_ERROR_OUT_OF_DATE_KHR || result == VK_SUBOPTIMAL_KHR)
        vk.swapchainStale = true;
    else if (result == VK_ERROR_SURFACE_LOST_KHR)
        vk.surfaceLost = true;
    else
        checkVulkan(result, "PANIC: Failed to present\n");

    vk.presentFenceValue += 1;
    VkSemaphoreSubmitInfo presentSignal = {.sType = VK_STRUCTURE_TYPE_SEMAPHORE_SUBMIT_INFO,
                                           .semaphore = vk.presentFence,
                                           .value = vk.presentFenceValue,
                                           .stageMask = VK_PIPELINE_STAGE_2_ALL_COMMANDS_BIT};
    VkSubmitInfo2 signalSubmit = {.sType = VK_STRUCTURE_TYPE_SUBMIT_INFO_2,
                                  .signalSemaphoreInfoCount = 1,
                                  .pSignalSemaphoreInfos = &presentSignal};
    checkVulkan(vkQueueSubmit2(vk.queue, 1, &signalSubmit, VK_NULL_HANDLE), "PANIC: Failed to signal present fence\n");
}
