// GPU timestamps on a Vulkan query pool (see timestamps.h).
#include "gfx/timestamps.h"

#include "core/log.h"
#include "gfx/vk_internal.h"

#include <cstdlib>

struct TimestampQueries {
    VkQueryPool pool;
    uint32_t count;
    double nanosecondsPerTick;
    uint64_t validMask; // the bits the queue writes
    bool resetRecorded; // a query must be reset before it is read
};

TimestampQueries* createTimestampQueries(RenderApp& app, uint32_t count)
{
    VulkanContext& vk = vulkanOf(app);
    VkPhysicalDeviceProperties properties;
    vkGetPhysicalDeviceProperties(vk.physicalDevice, &properties);
    uint32_t familyCount = 0;
    vkGetPhysicalDeviceQueueFamilyProperties(vk.physicalDevice, &familyCount, nullptr);
    DynamicArray<VkQueueFamilyProperties> families;
    families.reserve(familyCount + 1);
    vkGetPhysicalDeviceQueueFamilyProperties(vk.physicalDevice, &familyCount, families.data);
    uint32_t validBits = families.data[vk.queueFamily].timestampValidBits;
    families.clear();
    if (validBits == 0 || count == 0)
        return nullptr;

    VkQueryPoolCreateInfo info = {.sType = VK_STRUCTURE_TYPE_QUERY_POOL_CREATE_INFO,
                                  .queryType = VK_QUERY_TYPE_TIMESTAMP,
                                  .queryCount = count};
    VkQueryPool pool = VK_NULL_HANDLE;
    checkVulkan(vkCreateQueryPool(vk.device, &info, nullptr, &pool), "PANIC: Failed to create query heap\n");
    setDebugName(app, VK_OBJECT_TYPE_QUERY_POOL, uint64_t(pool), "gfx::timestamps");
    auto* queries = static_cast<TimestampQueries*>(std::calloc(1, sizeof(TimestampQueries)));
    queries->pool = pool;
    queries->count = count;
    queries->nanosecondsPerTick = double(properties.limits.timestampPeriod);
    queries->validMask = validBits >= 64 ? ~uint64_t(0) : (uint64_t(1) << validBits) - 1;
    return queries;
}

void destroyTimestampQueries(RenderApp& app, TimestampQueries*& queries)
{
    if (!queries)
        return;
    deferRelease(app, ReleaseKind::QueryPool, uint64_t(queries->pool));
    std::free(queries);
    queries = nullptr;
}

void resetTimestamps(CommandList* list, TimestampQueries* queries)
{
    endRendering(list); // a reset is not allowed inside rendering
    vkCmdResetQueryPool(list->buffer, queries->pool, 0, queries->count);
    queries->resetRecorded = true;
}

void writeTimestamp(CommandList* list, TimestampQueries* queries, uint32_t index)
{
    if (index >= queries->count) {
        ASSERT(false, "ASSERT: Timestamp %u beyond the %u allocated\n", index, queries->count);
        return;
    }
    vkCmdWriteTimestamp2(list->buffer, VK_PIPELINE_STAGE_2_ALL_COMMANDS_BIT, queries->pool, index);
}

bool readTimestamps(RenderApp& app, TimestampQueries* queries, double* milliseconds, uint32_t count)
{
    if (count == 0 || count > queries->count || !queries->resetRecorded)
        return false;
    // Once every submitted frame has finished, a mark that is still unavailable was never
    // written: asked without waiting, the driver says so instead of waiting for it forever.
    waitForAllFrames(app);
    DynamicArray<uint64_t> ticks;
    ticks.reserve(count + 1);
    VkResult result = vkGetQueryPoolResults(vulkanOf(app).device, queries->pool, 0, count, count * sizeof(uint64_t),
                                            ticks.data, sizeof(uint64_t), VK_QUERY_RESULT_64_BIT);
    if (result == VK_SUCCESS) {
        for (uint32_t i = 0; i < count; ++i) {
            uint64_t elapsed = (ticks.data[i] - ticks.data[0]) & queries->validMask;
            milliseconds[i] = double(elapsed) * queries->nanosecondsPerTick * 1e-6;
        }
    }
    ticks.clear();
    return result == VK_SUCCESS;
}
