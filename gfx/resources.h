// Buffers and images: GPU memory objects with their tracked D3D12 resource state, and their
// initial data, which is copied into the GPU at the next beginFrame of the current slot.
#pragma once

#include "gfx/types.h"

#include <cstddef>
#include <cstdint>

struct RenderApp;
struct BufferResource; // Vulkan buffer + memory, defined in gfx/vk_internal.h
struct ImageResource;  // Vulkan image + memory + views, defined in gfx/vk_internal.h

enum class BufferType : uint32_t {
    Index = 0,      // DEFAULT heap, INDEX_BUFFER
    Vertex = 1,     // DEFAULT heap, VERTEX_AND_CONSTANT_BUFFER
    Constant = 2,   // DEFAULT heap, VERTEX_AND_CONSTANT_BUFFER
    ReadWrite = 3,  // DEFAULT heap, UNORDERED_ACCESS
    Upload = 4,     // host-visible, GENERIC_READ; takes no initial data
    ShaderRead = 5, // DEFAULT heap, NON_PIXEL | PIXEL_SHADER_RESOURCE
    Readback = 6,   // host-visible and cached, COPY_DEST; takes no initial data
};

struct Buffer {
    BufferResource* resource = nullptr;
    uint32_t state = 0;           // tracked ResourceState after the commands recorded so far
    BufferResource* upload = nullptr;   // staging buffer while initial data is pending
    uint32_t uploadState = 0;     // GENERIC_READ
    uint64_t size = 0;            // bytes: the requested size rounded up to 256
    uint8_t* pendingData = nullptr;     // size bytes starting with the initial data, or null
    BufferType type = BufferType::Index;
};

struct Image {
    ImageResource* resource = nullptr;
    uint32_t state = 0;           // tracked ResourceState
    BufferResource* upload = nullptr;
    uint32_t uploadState = 0;
    uint32_t width = 0, height = 0; // pixels
    uint8_t* pendingData;     // tightly packed rows (width * bytesPerPixel each), or null
    uint32_t format;          // Format (DXGI number)
    uint32_t flags = 0;           // ResourceFlags
};

// Bytes per pixel of a DXGI format number; 0 for formats without a fixed pixel size.
uint32_t bytesPerPixel(uint32_t format);

// Placement of an image's rows in a buffer, as copies to and from buffers use it: rows
// start every rowPitch bytes (rowSize rounded up to 256 bytes and to whole pixels).
struct ImageFootprint {
    uint64_t rowPitch = 0;
    uint32_t rowCount = 0;
    uint64_t rowSize = 0;    // width * bytesPerPixel
    uint64_t totalBytes; // rowPitch * (rowCount - 1) + rowSize
};
ImageFootprint imageFootprint(uint32_t width, uint32_t height, uint32_t format);
// Size of an image's upload staging buffer: align256(max(align256(w) * h * p, 256)).
uint64_t imageStagingBytes(uint32_t width, uint32_t height, uint32_t format);
inline uint64_t align256(uint64_t value) { return (value + 255) & ~uint64_t(255); }

// A type above 6 is a PANIC. Data (for types that take it) is copied into a CPU block and
// uploaded at the next beginFrame of the current slot; zeroInitialise clears the memory.
Buffer* createBuffer(RenderApp& app, uint64_t size, BufferType type, const void* data, bool zeroInitialise,
                     uint32_t flags);
// The image is in initialState when the next recorded command runs; data (tightly packed
// rows) is uploaded at the next beginFrame of the current slot. Without data it starts zeroed.
Image* createImage(RenderApp& app, uint32_t width, uint32_t height, const void* data, uint32_t initialState,
                   uint32_t format, uint32_t flags);
// Defer the GPU objects, drop any pending upload, free the record, null the pointer.
void destroyBuffer(RenderApp& app, Buffer*& buffer);
void destroyImage(RenderApp& app, Image*& image);

// The buffer's debug name as tools show it (SetName).
void setBufferName(RenderApp& app, Buffer* buffer, const char* name);

// CPU access to a host-visible buffer (types 4 and 6); null for other types.
void* mapBuffer(Buffer* buffer);
void unmapBuffer(Buffer* buffer);
