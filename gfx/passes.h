// Tracked resource transitions (BarrierBatch) and the full-screen pixel pass that the depth
// of field and the final transfer run as.
#pragma once

#include "core/array.h"
#include "gfx/pipelines.h"

#include <cstdint>
#include <span>

struct RenderApp;
struct CommandList;
struct Buffer;
struct Image;
struct DescriptorHeap;

// One requested transition and the record whose tracked state it changes (one of the two).
struct PendingTransition {
    uint32_t before = 0;
    uint32_t after = 0;
    Buffer* buffer = nullptr;
    Image* image = nullptr;
};

struct BarrierBatch {
    DynamicArray<PendingTransition> pending;
    DynamicArray<PendingTransition> issued; // reused argument of the barrier call
};

// Appends a transition from the tracked state, unless the record is already in newState.
// Requests are not merged: callers flush between dependent requests.
void requestTransition(BarrierBatch& batch, Buffer* buffer, uint32_t newState);
void requestTransition(BarrierBatch& batch, Image* image, uint32_t newState);
// One barrier call with every pending transition in request order, then the tracked states
// are updated; nothing pending means no call at all.
void flushBarriers(BarrierBatch& batch, CommandList* list);
void freeBarrierBatch(BarrierBatch& batch);
// A one-off transition with the same rule (no call when the state is already right).
void transitionNow(CommandList* list, Image* image, uint32_t newState);
void transitionNow(CommandList* list, Buffer* buffer, uint32_t newState);

// Access a pass makes to a bound resource, and the state it needs.
enum class AccessKind : uint32_t {
    UnorderedFirst = 0, // 0-5: unordered access
    PixelReadFirst = 6, // 6-12: read by the pixel program
    PixelImageSrv = 9,  // a 2D image read through a shader-resource view
    RenderTarget = 13,
    DepthWrite = 14,
    ConstantBuffer = 15,
};
// The state an access kind requires; kinds above 15 yield 0.
uint32_t requiredState(AccessKind kind);

struct ResourceBinding {
    AccessKind accessKind = AccessKind::UnorderedFirst;
    Image* image = nullptr;               // one of image or buffer
    Buffer* buffer = nullptr;
    uint32_t viewParameters[4] = {}; // kind 9: format, most detailed mip, mip levels, plane slice;
                                // kind 15: [0] = byte size of the constant block
    float minLodClamp = 0;          // kind 9 only
};

struct FullscreenPass {
    ShaderBytecode pixelProgram;                // set by the owner before building
    DynamicArray<uint32_t> renderTargetFormats; // set by the owner
    uint32_t depthFormat;                       // 0 = none
    RootSignatureBuilder rootSignature;         // parameter 0: the table the bindings fill
    Buffer* vertexBuffer;                       // made by building: the one triangle
    Pipeline* pipeline;                         // made by building; null = not built
    BarrierBatch barriers;
};

FullscreenPass* createFullscreenPass();
// The triangle's vertex buffer reaches the GPU at the next beginFrame: build before the frame.
void buildFullscreenPass(RenderApp& app, FullscreenPass* pass);
void destroyFullscreenPass(RenderApp& app, FullscreenPass*& pass);
// Clears the render target (already in RENDER_TARGET state) to (0, 0, 0, 1), moves every
// bound resource into its required state, writes the views into a new table of the heap
// (which the caller has set on the list) and draws the triangle. An unbuilt pass, a refused
// table or an unsupported binding is reported and nothing is drawn.
void drawFullscreenPass(FullscreenPass* pass, uint32_t width, uint32_t height, CommandList* list,
                        uint64_t renderTargetView, DescriptorHeap* heap, std::span<const ResourceBinding> bindings);
