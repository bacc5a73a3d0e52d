// Descriptor heaps (linear arenas of view records), the allocator that hands out tables
// (consecutive runs) and the writers that append one view at a table's cursor.
// Handles are addresses of view records; nothing here calls Vulkan except heap creation.
#pragma once

#include "gfx/types.h"

#include <cstdint>

struct RenderApp;
struct Buffer;
struct Image;
struct DescriptorPoolResource; // Vulkan descriptor pool, defined in gfx/vk_internal.h

enum class ViewKind : uint32_t {
    None = 0,
    SampledImage,  // image SRV
    StorageImage,  // image UAV
    StorageBuffer, // buffer SRV or UAV
    UniformBuffer, // CBV
    RenderTarget,  // RTV
};

// One descriptor: what a D3D12 view holds. Buffers and images are referenced, not owned.
struct ViewRecord {
    ViewKind kind = ViewKind::None;
    uint32_t format = 0;      // images: the view's DXGI format
    Image* image = nullptr;
    Buffer* buffer = nullptr;
    uint64_t offset = 0;      // buffers: byte range
    uint64_t range = 0;
    uint32_t mostDetailedMip = 0;
    uint32_t mipLevels = 0;
    float minLodClamp = 0.0f;
};

struct DescriptorHeap {
    ViewRecord* records = nullptr;
    DescriptorPoolResource* pool = nullptr; // shader-visible heaps only
    uint64_t gpuStart = 0;  // handle of descriptor 0; 0 when not shader-visible
    uint64_t cpuStart = 0;  // handle of descriptor 0
    uint32_t increment = 0; // bytes between handles
    uint32_t used = 0;      // descriptors handed out since the last reset
    uint32_t capacity = 0;
    uint32_t type = 0;      // DescriptorHeapType
};

// Descriptor i lives at cpuHandle + increment * i. A refused allocation is all zero.
struct DescriptorTable {
    uint64_t gpuHandle = 0;
    uint64_t cpuHandle = 0;
    uint32_t increment = 0;
    uint32_t written = 0;  // descriptors appended so far; the next goes at index written
    uint32_t capacity = 0; // descriptors the table was allocated with
};

DescriptorHeap* createDescriptorHeap(RenderApp& app, uint32_t type, uint32_t count, uint32_t flags);
// Frees the records at once (they are CPU data) and defers the descriptor pool.
void destroyDescriptorHeap(RenderApp& app, DescriptorHeap*& heap);
// Cursor back to 0 (the same as setting used = 0). The owner resets a heap only when no
// frame in flight, nor the list being recorded, still uses its tables.
void resetDescriptorHeap(DescriptorHeap& heap);
// Returns every descriptor set made for the heap's tables to its pool (Vulkan only).
void resetDescriptorPool(DescriptorPoolResource* pool);

// Hands out count consecutive descriptors. A request of 0, or beyond what remains, is
// reported by ASSERT and refused: the heap is unchanged and the returned table is empty.
// The first table after a reset (used = 0) also empties the heap's descriptor pool.
DescriptorTable allocateDescriptors(DescriptorHeap& heap, uint32_t count);

// >>writers: each appends one view at the table's cursor; a full table ASSERTs and writes nothing.
void writeBufferUAV(DescriptorTable& table, Buffer* buffer, uint32_t elementCount, uint32_t stride);
void writeBufferSRV(DescriptorTable& table, Buffer* buffer, uint32_t elementCount, uint32_t stride);
void writeImageUAV(DescriptorTable& table, Image* image, uint32_t format);
void writeImageSRV(DescriptorTable& table, Image* image, uint32_t format, uint32_t mostDetailedMip,
                   uint32_t mipLevels, uint32_t planeSlice, float minLodClamp);
// The view covers byteSize rounded up to 256 bytes; above 64 KiB it ASSERTs and writes nothing.
void writeCBV(DescriptorTable& table, Buffer* buffer, uint32_t byteSize);
void writeRenderTargetView(DescriptorTable& table, Image* image, uint32_t format);

// The record a handle points at (CPU or GPU handle of a heap's descriptor).
inline ViewRecord* viewRecordAt(uint64_t handle) { return reinterpret_cast<ViewRecord*>(handle); }
