// Barrier batches over the tracked states, and the full-screen pixel pass.
#include "gfx/passes.h"

#include "core/log.h"
#include "gfx/commands.h"
#include "gfx/descriptors.h"
#include "gfx/resources.h"
#include "shaders/shader_bytecode.h"

#include <cstdlib>

// >>barriers

void requestTransition(BarrierBatch& batch, Buffer* buffer, uint32_t newState)
{
    if (buffer->state != newState)
        batch.pending.push({buffer->state, newState, buffer, nullptr});
}

void requestTransition(BarrierBatch& batch, Image* image, uint32_t newState)
{
    if (image->state != newState)
        batch.pending.push({image->state, newState, nullptr, image});
}

void flushBarriers(BarrierBatch& batch, CommandList* list)
{
    if (batch.pending.count == 0)
        return;
    batch.issued.count = 0;
    for (const PendingTransition& transition : batch.pending)
        batch.issued.push(transition);
    recordBarriers(list, batch.issued.data, uint32_t(batch.issued.count));
    for (const PendingTransition& transition : batch.pending) {
        if (transition.image)
            transition.image->state = transition.after;
        else
            transition.buffer->state = transition.after;
    }
    batch.pending.count = 0;
}

void freeBarrierBatch(BarrierBatch& batch)
{
    batch.pending.clear();
    batch.issued.clear();
}

namespace {

// One transition recorded at once, from the tracked state; none when it is already right.
void recordTransitionNow(CommandList* list, uint32_t& state, uint32_t newState, Buffer* buffer, Image* image)
{
    if (state == newState)
        return;
    PendingTransition transition = {state, newState, buffer, image};
    recordBarriers(list, &transition, 1);
    state = newState;
}

} // namespace

void transitionNow(CommandList* list, Image* image, uint32_t newState)
{
    recordTransitionNow(list, image->state, newState, nullptr, image);
}

void transitionNow(CommandList* list, Buffer* buffer, uint32_t newState)
{
    recordTransitionNow(list, buffer->state, newState, buffer, nullptr);
}

uint32_t requiredState(AccessKind kind)
{
    if (kind < AccessKind::PixelReadFirst)
        return STATE_UNORDERED_ACCESS;
    if (kind < AccessKind::RenderTarget)
        return STATE_PIXEL_SHADER_RESOURCE;
    if (kind == AccessKind::RenderTarget)
        return STATE_RENDER_TARGET;
    if (kind == AccessKind::DepthWrite)
        return STATE_DEPTH_WRITE;
    if (kind == AccessKind::ConstantBuffer)
        return STATE_VERTEX_AND_CONSTANT_BUFFER;
    return 0;
}

// >>fullscreen pass

FullscreenPass* createFullscreenPass()
{
    return static_cast<FullscreenPass*>(std::calloc(1, sizeof(FullscreenPass)));
}

void buildFullscreenPass(RenderApp& app, FullscreenPass* pass)
{
    // One triangle that covers the whole viewport.
    const float triangle[9] = {-1.0f, -7.0f, 0.0f, -1.0f, 7.0f, 0.0f, 7.0f, 7.0f, 0.0f};
    pass->vertexBuffer = createBuffer(app, sizeof(triangle), BufferType::Vertex, triangle, false, 0);

    GraphicsPipelineDesc desc;
    desc.vertexProgram = RenderToScreenVS;
    VertexLayout layout;
    layout.elements.push({.format = FORMAT_R32G32B32_FLOAT, .semanticName = "POSITION", .semanticIndex = 0, .byteOffset = 0});
    layout.stride = 12;
    desc.vertexLayouts.push(layout);
    desc.pixelProgram = pass->pixelProgram;
    for (uint32_t format : pass->renderTargetFormats)
        desc.renderTargetFormats.push(format);
    desc.depthFormat = pass->depthFormat;
    desc.rootSignature = copyRootSignatureBuilder(pass->rootSignature);
    desc.cullMode = CULL_NONE;
    pass->pipeline = createGraphicsPipeline(app, desc);
    freeGraphicsPipelineDesc(desc);
}

void destroyFullscreenPass(RenderApp& app, FullscreenPass*& pass)
{
    if (!pass)
        return;
    destroyBuffer(app, pass->vertexBuffer);
    destroyPipeline(app, pass->pipeline);
    freeBarrierBatch(pass->barriers);
    freeRootSignatureBuilder(pass->rootSignature);
    pass->renderTargetFormats.clear();
    std::free(pass);
    pass = nullptr;
}

void drawFullscreenPass(FullscreenPass* pass, uint32_t width, uint32_t height, CommandList* list,
                        uint64_t renderTargetView, DescriptorHeap* heap, std::span<const ResourceBinding> bindings)
{
    if (!pass->pipeline) {
        ASSERT(false, "ASSERT: Pass hasn't been built\n");
        return;
    }
    DescriptorTable table = allocateDescriptors(*heap, uint32_t(bindings.size()));
    if (table.capacity == 0)
        return; // refused by the allocator, which has reported why
    setPipeline(list, pass->pipeline);
    setVertexBuffer(list, 0, pass->vertexBuffer, 12);
    setRenderTarget(list, renderTargetView);
    const float black[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    clearRenderTarget(list, renderTargetView, black);
    setScissor(list, 0, 0, int32_t(width), int32_t(height));
    setViewport(list, 0.0f, 0.0f, float(width), float(height), 0.1f, 1000.0f);
    for (const ResourceBinding& binding : bindings) {
        if (binding.accessKind > AccessKind::ConstantBuffer) {
            ASSERT(false, "ASSERT: invalid access type\n");
            PANIC("PANIC: invalid resource type\n");
        }
        uint32_t state = requiredState(binding.accessKind);
        if (binding.image)
            requestTransition(pass->barriers, binding.image, state);
        else if (binding.buffer)
            requestTransition(pass->barriers, binding.buffer, state);
        if (binding.accessKind == AccessKind::PixelImageSrv) {
            writeImageSRV(table, binding.image, binding.viewParameters[0], binding.viewParameters[1],
                          binding.viewParameters[2], binding.viewParameters[3], binding.minLodClamp);
        } else if (binding.accessKind == AccessKind::ConstantBuffer) {
            writeCBV(table, binding.buffer, binding.viewParameters[0]);
        } else {
            PANIC("PANIC: not implemented\n");
        }
    }
    flushBarriers(pass->barriers, list);
    setDescriptorHeap(list, heap);
    setRootDescriptorTable(list, 0, table);
    draw(list, 3, 1, 0, 0);
}
