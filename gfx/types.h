// The graphics layer's vocabulary: resource states, formats and root-signature enums carry
// the Direct3D 12 / DXGI numbers; only gfx/vk_*.cpp translates them to Vulkan.
#pragma once

#include <cstdint>

// >>resource states (D3D12_RESOURCE_STATES); values may be OR-ed like the originals
enum ResourceState : uint32_t {
    STATE_COMMON = 0x0, STATE_PRESENT = 0x0,
    STATE_VERTEX_AND_CONSTANT_BUFFER = 0x1, STATE_INDEX_BUFFER = 0x2,
    STATE_RENDER_TARGET = 0x4, STATE_UNORDERED_ACCESS = 0x8,
    STATE_DEPTH_WRITE = 0x10, STATE_DEPTH_READ = 0x20,
    STATE_NON_PIXEL_SHADER_RESOURCE = 0x40, STATE_PIXEL_SHADER_RESOURCE = 0x80,
    STATE_INDIRECT_ARGUMENT = 0x200,
    STATE_COPY_DEST = 0x400, STATE_COPY_SOURCE = 0x800,
    STATE_GENERIC_READ = 0xAC3, // the read states above but render target and depth
};

// >>formats (DXGI_FORMAT numbers); the ones the Vulkan translation knows, a layout's
// variants on one line
enum Format : uint32_t {
    FORMAT_UNKNOWN = 0,
    FORMAT_R32G32B32A32_FLOAT = 2, FORMAT_R32G32B32A32_UINT = 3,
    FORMAT_R32G32B32_FLOAT = 6,
    FORMAT_R16G16B16A16_FLOAT = 10, FORMAT_R16G16B16A16_UNORM = 11,
    FORMAT_R32G32_FLOAT = 16,
    FORMAT_R10G10B10A2_UNORM = 24,
    FORMAT_R11G11B10_FLOAT = 26,
    FORMAT_R8G8B8A8_UNORM = 28, FORMAT_R8G8B8A8_UNORM_SRGB = 29, FORMAT_R8G8B8A8_UINT = 30,
    FORMAT_R16G16_FLOAT = 34,
    FORMAT_D32_FLOAT = 40, FORMAT_R32_FLOAT = 41, FORMAT_R32_UINT = 42, FORMAT_R32_SINT = 43,
    FORMAT_D24_UNORM_S8_UINT = 45,
    FORMAT_R8G8_UNORM = 49,
    FORMAT_R16_FLOAT = 54, FORMAT_D16_UNORM = 55, FORMAT_R16_UNORM = 56, FORMAT_R16_UINT = 57,
    FORMAT_R8_UNORM = 61, FORMAT_R8_UINT = 62,
    FORMAT_B8G8R8A8_UNORM = 87, FORMAT_B8G8R8A8_UNORM_SRGB = 91,
};

// >>resource flags (D3D12_RESOURCE_FLAGS)
enum ResourceFlags : uint32_t {
    RESOURCE_FLAG_NONE = 0x0,
    RESOURCE_FLAG_ALLOW_RENDER_TARGET = 0x1,
    RESOURCE_FLAG_ALLOW_DEPTH_STENCIL = 0x2,
    RESOURCE_FLAG_ALLOW_UNORDERED_ACCESS = 0x4,
};

// >>root signatures (D3D12_DESCRIPTOR_RANGE_TYPE, D3D12_SHADER_VISIBILITY, D3D12_FILTER, ...)
enum DescriptorRangeType : uint32_t { RANGE_SRV = 0, RANGE_UAV = 1, RANGE_CBV = 2, RANGE_SAMPLER = 3 };

enum ShaderVisibility : uint32_t { VISIBILITY_ALL = 0, VISIBILITY_VERTEX = 1, VISIBILITY_PIXEL = 5 };

enum Filter : uint32_t { FILTER_MIN_MAG_MIP_POINT = 0x0, FILTER_MIN_MAG_MIP_LINEAR = 0x15 };

enum AddressMode : uint32_t { ADDRESS_WRAP = 1, ADDRESS_MIRROR = 2, ADDRESS_CLAMP = 3, ADDRESS_BORDER = 4 };

enum CullMode : uint32_t { CULL_NONE = 1, CULL_FRONT = 2, CULL_BACK = 3 };

enum DescriptorHeapType : uint32_t { HEAP_CBV_SRV_UAV = 0, HEAP_SAMPLER = 1, HEAP_RTV = 2, HEAP_DSV = 3 };

enum DescriptorHeapFlags : uint32_t { HEAP_FLAG_NONE = 0, HEAP_FLAG_SHADER_VISIBLE = 1 };
