// GPU fences on Vulkan timeline semaphores; signals are empty submissions on the one queue.
#include "gfx/fence.h"

#include "gfx/vk_internal.h"

struct GpuFence {
    VkSemaphore semaphore;
    uint64_t lastSignalled;
};

GpuFence* createGpuFence(RenderApp& app, const char* name)
{
    VkSemaphoreTypeCreateInfo type = {.sType = VK_STRUCTURE_TYPE_SEMAPHORE_TYPE_CREATE_INFO,
                                      .semaphoreType = VK_SEMAPHORE_TYPE_TIMELINE,
                                      .initialValue = 0};
    VkSemaphoreCreateInfo info = {.sType = VK_STRUCTURE_TYPE_SEMAPHORE_CREATE_INFO, .pNext = &type};
    GpuFence* fence = new GpuFence{};
    checkVulkan(vkCreateSemaphore(vulkanOf(app).device, &info, nullptr, &fence->semaphore),
                "PANIC: Failed to create fence\n");
    setDebugName(app, VK_OBJECT_TYPE_SEMAPHORE, uint64_t(fence->semaphore), name);
    return fence;
}

void signalGpuFence(RenderApp& app, GpuFence* fence, uint64_t value)
{
    VkSemaphoreSubmitInfo signal = {.sType = VK_STRUCTURE_TYPE_SEMAPHORE_SUBMIT_INFO,
                                    .semaphore = fence->semaphore,
                                    .value = value,
                                    .stageMask = VK_PIPELINE_STAGE_2_ALL_COMMANDS_BIT};
    VkSubmitInfo2 submit = {.sType = VK_STRUCTURE_TYPE_SUBMIT_INFO_2,
                            .signalSemaphoreInfoCount = 1,
                            .pSignalSemaphoreInfos = &signal};
    checkVulkan(vkQueueSubmit2(vulkanOf(app).queue, 1, &submit, VK_NULL_HANDLE), "PANIC: Failed to signal fence\n");
    fence->lastSignalled = value;
}

uint64_t gpuFenceValue(RenderApp& app, GpuFence* fence)
{
    uint64_t value = 0;
    checkVulkan(vkGetSemaphoreCounterValue(vulkanOf(app).device, fence->semaphore, &value),
                "PANIC: Failed to read fence\n");
    return value;
}

void waitForGpuFence(RenderApp& app, GpuFence* fence, uint64_t value)
{
    VkSemaphoreWaitInfo info = {.sType = VK_STRUCTURE_TYPE_SEMAPHORE_WAIT_INFO,
                                .semaphoreCount = 1,
                                .pSemaphores = &fence->semaphore,
                                .pValues = &value};
    checkVulkan(vkWaitSemaphores(vulkanOf(app).device, &info, UINT64_MAX), "PANIC: Failed to wait for fence\n");
}

void destroyGpuFence(RenderApp& app, GpuFence*& fence)
{
    if (!fence)
        return;
    // A semaphore must not be destroyed while a signal of it is pending on the queue.
    if (fence->lastSignalled > 0)
        waitForGpuFence(app, fence, fence->lastSignalled);
    vkDestroySemaphore(vulkanOf(app).device, fence->semaphore, nullptr);
    delete fence;
    fence = nullptr;
}
