// Descriptor heaps on Vulkan: an array of view records plus, for shader-visible heaps, the
// descriptor pool the bound tables' sets are allocated from.
#include "gfx/vk_internal.h"

#include "core/log.h"

#include <cstdlib>

DescriptorHeap* createDescriptorHeap(RenderApp& app, uint32_t type, uint32_t count, uint32_t flags)
{
    DescriptorHeap* heap = static_cast<DescriptorHeap*>(std::calloc(1, sizeof(DescriptorHeap)));
    heap->records = static_cast<ViewRecord*>(std::calloc(count ? count : 1, sizeof(ViewRecord)));
    if (!heap->records)
        PANIC("PANIC: Failed to create descriptor heap\n");
    heap->cpuStart = reinterpret_cast<uint64_t>(heap->records);
    heap->increment = sizeof(ViewRecord);
    heap->capacity = count;
    heap->type = type;
    if ((flags & HEAP_FLAG_SHADER_VISIBLE) && type == HEAP_CBV_SRV_UAV) {
        heap->gpuStart = heap->cpuStart;
        // A table may be bound to several dispatches, each taking a set of its own: room for
        // every descriptor four times over.
        uint32_t descriptors = count * 4 + 64;
        VkDescriptorPoolSize sizes[] = {
            {VK_DESCRIPTOR_TYPE_SAMPLED_IMAGE, descriptors},  {VK_DESCRIPTOR_TYPE_STORAGE_IMAGE, descriptors},
            {VK_DESCRIPTOR_TYPE_STORAGE_BUFFER, descriptors}, {VK_DESCRIPTOR_TYPE_UNIFORM_BUFFER, descriptors},
            {VK_DESCRIPTOR_TYPE_SAMPLER, descriptors},
        };
        VkDescriptorPoolCreateInfo info = {.sType = VK_STRUCTURE_TYPE_DESCRIPTOR_POOL_CREATE_INFO,
                                           .maxSets = descriptors,
                                           .poolSizeCount = 5,
                                           .pPoolSizes = sizes};
        heap->pool = new DescriptorPoolResource{};
        heap->pool->device = vulkanOf(app).device;
        heap->pool->maxSets = descriptors;
        checkVulkan(vkCreateDescriptorPool(heap->pool->device, &info, nullptr, &heap->pool->pool),
                    "PANIC: Failed to create descriptor heap\n");
        setDebugName(app, VK_OBJECT_TYPE_DESCRIPTOR_POOL, uint64_t(heap->pool->pool), "gfx::descriptorHeap");
    }
    return heap;
}

void destroyDescriptorHeap(RenderApp& app, DescriptorHeap*& heap)
{
    if (!heap)
        return;
    if (heap->pool) {
        deferRelease(app, ReleaseKind::DescriptorPool, uint64_t(heap->pool->pool));
        delete heap->pool;
    }
    std::free(heap->records);
    std::free(heap);
    heap = nullptr;
}

void resetDescriptorPool(DescriptorPoolResource* pool)
{
    vkResetDescriptorPool(pool->device, pool->pool, 0);
    pool->setsAllocated = 0;
}
