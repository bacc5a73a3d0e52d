// Recording GPU work into a frame's command list, in the Direct3D 12 shape: set the heap,
// the pipeline, the tables and root constants, then dispatch or draw; copies; barriers go
// through BarrierBatch (gfx/passes.h). Render passes begin and end implicitly.
#pragma once

#include <cstdint>

struct CommandList; // Vulkan command buffer and binding state, defined in gfx/vk_internal.h
struct Buffer;
struct Image;
struct Pipeline;
struct DescriptorHeap;
struct DescriptorTable;
struct PendingTransition;

// SetDescriptorHeaps: tables bound afterwards are written into sets from this heap's pool.
void setDescriptorHeap(CommandList* list, DescriptorHeap* heap);
// SetPipelineState + Set{Compute,Graphics}RootSignature.
void setPipeline(CommandList* list, Pipeline* pipeline);
// Set{Compute,Graphics}RootDescriptorTable: the table's descriptor i feeds binding i of the
// parameter's ranges. The set is written when the next dispatch or draw is recorded.
void setRootDescriptorTable(CommandList* list, uint32_t parameter, const DescriptorTable& table);
// Set{Compute,Graphics}Root32BitConstants: count 32-bit values at offset (in values).
void setRootConstants(CommandList* list, uint32_t parameter, const void* values, uint32_t count, uint32_t offset);
void dispatch(CommandList* list, uint32_t groupsX, uint32_t groupsY, uint32_t groupsZ);

// OMSetRenderTargets with one render-target view (a handle from an RTV heap); the image must
// be in RENDER_TARGET state when drawn into.
void setRenderTarget(CommandList* list, uint64_t renderTargetView);
void clearRenderTarget(CommandList* list, uint64_t renderTargetView, const float colour[4]);
// Origin top-left, y down, as in Direct3D. Depths are clamped to [0, 1] (Vulkan's range).
void setViewport(CommandList* list, float x, float y, float width, float height, float minDepth, float maxDepth);
void setScissor(CommandList* list, int32_t left, int32_t top, int32_t right, int32_t bottom);
void setVertexBuffer(CommandList* list, uint32_t slot, Buffer* buffer, uint32_t stride);
void draw(CommandList* list, uint32_t vertexCount, uint32_t instanceCount, uint32_t startVertex,
          uint32_t startInstance);

// CopyResource: whole buffers (the smaller size) and whole images of the same size.
void copyBuffer(CommandList* list, Buffer* destination, Buffer* source);
void copyBufferRegion(CommandList* list, Buffer* destination, uint64_t destinationOffset, Buffer* source,
                      uint64_t sourceOffset, uint64_t bytes);
void copyImage(CommandList* list, Image* destination, Image* source);
// CopyTextureRegion with the image's footprint (imageFootprint in gfx/resources.h): rows every
// rowPitch bytes from the buffer's start.
void copyBufferToImage(CommandList* list, Image* destination, Buffer* source);
void copyImageToBuffer(CommandList* list, Buffer* destination, Image* source);

// ResourceBarrier: one call carrying count transitions (BarrierBatch flushes through this).
void recordBarriers(CommandList* list, const PendingTransition* transitions, uint32_t count);
// A D3D12 UAV barrier for every resource: unordered-access writes recorded before finish
// before unordered access recorded after (a resource that stays in UNORDERED_ACCESS).
void uavBarrier(CommandList* list);
// Number of barrier calls recorded into the list since it was opened.
uint64_t barrierCallCount(const CommandList* list);
