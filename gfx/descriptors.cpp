// Descriptor allocator and writers: cursor arithmetic and view records, no Vulkan calls.
#include "gfx/descriptors.h"

#include "core/log.h"
#include "gfx/resources.h"

void resetDescriptorHeap(DescriptorHeap& heap)
{
    heap.used = 0;
}

DescriptorTable allocateDescriptors(DescriptorHeap& heap, uint32_t count)
{
    if (count == 0) {
        ASSERT(false, "ASSERT: DescriptorAllocator: cannot allocate 0 descriptors\n");
        return {};
    }
    if (heap.used > heap.capacity) {
        ASSERT(false, "ASSERT: DescriptorAllocator: internal overflow\n");
        return {};
    }
    uint32_t remaining = heap.capacity - heap.used;
    if (remaining < count) {
        ASSERT(false, "ASSERT: DescriptorAllocator: requested %u descriptors, only %u remaining\n", count,
               remaining);
        return {};
    }
    // Owners reset a heap by setting its cursor to 0; the sets of its previous use go then.
    if (heap.used == 0 && heap.pool)
        resetDescriptorPool(heap.pool);
    uint64_t offset = uint64_t(heap.increment) * heap.used;
    DescriptorTable table = {
        .gpuHandle = heap.gpuStart ? heap.gpuStart + offset : 0,
        .cpuHandle = heap.cpuStart + offset,
        .increment = heap.increment,
        .written = 0,
        .capacity = count,
    };
    heap.used += count;
    return table;
}

namespace {

// The next free record of the table, or null (after the ASSERT) when the table is full.
ViewRecord* claimRecord(DescriptorTable& table)
{
    if (table.written + 1 > table.capacity) {
        ASSERT(false, "ASSERT: Exceeded capacity of descriptors allocated\n");
        return nullptr;
    }
    ViewRecord* record = viewRecordAt(table.cpuHandle + uint64_t(table.increment) * table.written);
    table.written += 1;
    return record;
}

void writeBufferView(DescriptorTable& table, Buffer* buffer, uint64_t offset, uint64_t range)
{
    if (ViewRecord* record = claimRecord(table))
        *record = {.kind = ViewKind::StorageBuffer, .buffer = buffer, .offset = offset, .range = range};
}

} // namespace

void writeBufferUAV(DescriptorTable& table, Buffer* buffer, uint32_t elementCount, uint32_t stride)
{
    writeBufferView(table, buffer, 0, uint64_t(elementCount) * stride);
}

void writeBufferSRV(DescriptorTable& table, Buffer* buffer, uint32_t elementCount, uint32_t stride)
{
    writeBufferView(table, buffer, 0, uint64_t(elementCount) * stride);
}

void writeImageUAV(DescriptorTable& table, Image* image, uint32_t format)
{
    if (ViewRecord* record = claimRecord(table))
        *record = {.kind = ViewKind::StorageImage, .format = format, .image = image, .mipLevels = 1};
}

void writeImageSRV(DescriptorTable& table, Image* image, uint32_t format, uint32_t mostDetailedMip,
                   uint32_t mipLevels, uint32_t, float minLodClamp)
{
    if (ViewRecord* record = claimRecord(table)) {
        *record = {.kind = ViewKind::SampledImage,
                   .format = format,
                   .image = image,
                   .mostDetailedMip = mostDetailedMip,
                   .mipLevels = mipLevels,
                   .minLodClamp = minLodClamp};
    }
}

void writeCBV(DescriptorTable& table, Buffer* buffer, uint32_t byteSize)
{
    uint64_t rounded = (uint64_t(byteSize) + 255) & ~uint64_t(255);
    if (rounded > 65536) {
        ASSERT(false, "ASSERT: CBV view must be <= 64KB\n");
        return;
    }
    if (ViewRecord* record = claimRecord(table))
        *record = {.kind = ViewKind::UniformBuffer, .buffer = buffer, .offset = 0, .range = rounded};
}

void writeRenderTargetView(DescriptorTable& table, Image* image, uint32_t format)
{
    if (ViewRecord* record = claimRecord(table))
        *record = {.kind = ViewKind::RenderTarget, .format = format, .image = image, .mipLevels = 1};
}
