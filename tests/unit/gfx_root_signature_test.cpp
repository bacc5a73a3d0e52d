// Root-signature builder: capacities, copies and the resolution of ranges into bindings.
#include "gfx/passes.h"
#include "gfx/pipelines.h"
#include "gfx/resources.h"

#include <gtest/gtest.h>

#include <cstdlib>

TEST(RootSignatureBuilder, RefusesParametersSamplersAndRangesBeyondCapacity)
{
    RootSignatureBuilder builder;
    for (int i = 0; i < 8; ++i)
        addRootConstants(builder);
    testing::internal::CaptureStdout();
    addDescriptorTable(builder, makeRangeList({makeRange(RANGE_SRV, 1)}), VISIBILITY_ALL);
    for (uint32_t i = 0; i < 5; ++i)
        addStaticSampler(builder, FILTER_MIN_MAG_MIP_LINEAR, ADDRESS_BORDER, i, VISIBILITY_PIXEL);
    DescriptorRangeList list = makeRangeList({makeRange(RANGE_SRV, 1), makeRange(RANGE_SRV, 1), makeRange(RANGE_SRV, 1),
                                              makeRange(RANGE_SRV, 1), makeRange(RANGE_SRV, 1), makeRange(RANGE_SRV, 1),
                                              makeRange(RANGE_SRV, 1), makeRange(RANGE_SRV, 1), makeRange(RANGE_UAV, 1)});
    VertexLayout layout;
    GraphicsPipelineDesc desc;
    for (int i = 0; i < 5; ++i)
        desc.vertexLayouts.push(layout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "ASSERT: Exceeded the limit of root parameters 8.\n"
              "ASSERT: Exceeded the limit of static samplers 4.\n"
              "ASSERT: Exceeded the limit of descriptor range 8.\n"
              "ASSERT: Exceeded the limit of the fixed array 4\n");
    EXPECT_EQ(builder.parameterCount, 8u);
    EXPECT_EQ(builder.ranges.count, 0u); // the refused table added no ranges
    EXPECT_EQ(builder.samplerCount, 4u);
    EXPECT_EQ(list.count, 8u);
    EXPECT_EQ(list.ranges[7].rangeType, uint32_t(RANGE_SRV));
    EXPECT_EQ(list.ranges[0].offsetFromTableStart, rangeOffsetAppend);
    EXPECT_EQ(desc.vertexLayouts.count, 4u);
    freeRootSignatureBuilder(builder);
    freeGraphicsPipelineDesc(desc);
}

TEST(RootSignatureBuilder, TablesKeepTheirOwnRangesAfterTheRangesArrayGrows)
{
    // Three tables of 7 ranges each: 21 ranges, past the first block of 16, so the array
    // moves while growing; each table must still resolve to its own ranges (by index).
    RootSignatureBuilder builder;
    DescriptorRangeList srvs = makeRangeList({makeRange(RANGE_SRV, 1), makeRange(RANGE_SRV, 1), makeRange(RANGE_SRV, 1),
                                              makeRange(RANGE_SRV, 1), makeRange(RANGE_SRV, 1), makeRange(RANGE_SRV, 1),
                                              makeRange(RANGE_SRV, 1)});
    for (DescriptorRange& range : srvs.ranges)
        range.baseRegister = uint32_t(&range - srvs.ranges); // t0 .. t6
    DescriptorRangeList uavs = srvs;
    for (DescriptorRange& range : uavs.ranges)
        range.rangeType = RANGE_UAV; // u0 .. u6
    DescriptorRangeList cbvs = srvs;
    for (DescriptorRange& range : cbvs.ranges)
        range.rangeType = RANGE_CBV; // b0 .. b6
    addDescriptorTable(builder, srvs, VISIBILITY_ALL);
    addRootConstants(builder);
    addDescriptorTable(builder, uavs, VISIBILITY_ALL);
    addDescriptorTable(builder, cbvs, VISIBILITY_PIXEL);
    EXPECT_EQ(builder.ranges.count, 21u);

    RootSignatureBuilder copy = copyRootSignatureBuilder(builder);
    freeRootSignatureBuilder(builder); // the copy owns ranges of its own
    DynamicArray<RootBinding> bindings = resolveRootBindings(copy);
    ASSERT_EQ(bindings.count, 21u);
    for (uint32_t i = 0; i < 7; ++i) {
        // Parameter 0: t i -> binding i; parameter 2: u i -> 16 + i; parameter 3: b i -> 32 + i.
        EXPECT_EQ(bindings[i].parameter, 0u);
        EXPECT_EQ(bindings[i].binding, i);
        EXPECT_EQ(bindings[i].tableIndex, i);
        EXPECT_EQ(bindings[7 + i].parameter, 2u);
        EXPECT_EQ(bindings[7 + i].binding, 16 + i);
        EXPECT_EQ(bindings[7 + i].tableIndex, i);
        EXPECT_EQ(bindings[14 + i].parameter, 3u);
        EXPECT_EQ(bindings[14 + i].binding, 32 + i);
        EXPECT_EQ(bindings[14 + i].visibility, uint32_t(VISIBILITY_PIXEL));
    }
    bindings.clear();
    freeRootSignatureBuilder(copy);
}

TEST(RootSignatureBuilder, RangeOfSeveralDescriptorsCoversConsecutiveRegistersInTableOrder)
{
    // The final transfer's table: 2 SRVs then 1 CBV -> t0, t1, b0 at descriptors 0, 1, 2.
    RootSignatureBuilder builder;
    addDescriptorTable(builder, makeRangeList({makeRange(RANGE_SRV, 2), makeRange(RANGE_CBV, 1)}), VISIBILITY_PIXEL);
    addStaticSampler(builder, FILTER_MIN_MAG_MIP_LINEAR, ADDRESS_BORDER, 0, VISIBILITY_PIXEL);
    DynamicArray<RootBinding> bindings = resolveRootBindings(builder);
    ASSERT_EQ(bindings.count, 3u);
    EXPECT_EQ(bindings[0].binding, 0u);
    EXPECT_EQ(bindings[1].binding, 1u);
    EXPECT_EQ(bindings[2].binding, 32u);
    EXPECT_EQ(bindings[2].tableIndex, 2u);
    bindings.clear();
    freeRootSignatureBuilder(builder);
    // An empty builder resolves to nothing.
    RootSignatureBuilder empty;
    EXPECT_EQ(resolveRootBindings(empty).count, 0u);
}

TEST(AccessKind, MapsToTheStateThePassNeeds)
{
    EXPECT_EQ(requiredState(AccessKind(0)), uint32_t(STATE_UNORDERED_ACCESS));
    EXPECT_EQ(requiredState(AccessKind(5)), uint32_t(STATE_UNORDERED_ACCESS));
    EXPECT_EQ(requiredState(AccessKind(6)), uint32_t(STATE_PIXEL_SHADER_RESOURCE));
    EXPECT_EQ(requiredState(AccessKind::PixelImageSrv), uint32_t(STATE_PIXEL_SHADER_RESOURCE));
    EXPECT_EQ(requiredState(AccessKind(12)), uint32_t(STATE_PIXEL_SHADER_RESOURCE));
    EXPECT_EQ(requiredState(AccessKind::RenderTarget), uint32_t(STATE_RENDER_TARGET));
    EXPECT_EQ(requiredState(AccessKind::DepthWrite), uint32_t(STATE_DEPTH_WRITE));
    EXPECT_EQ(requiredState(AccessKind::ConstantBuffer), uint32_t(STATE_VERTEX_AND_CONSTANT_BUFFER));
}

TEST(BarrierBatch, RequestsAgainstTheTrackedStateAndFlushesNothingWhenNothingChanges)
{
    Image image;
    image.state = STATE_PIXEL_SHADER_RESOURCE;
    Buffer buffer;
    buffer.state = STATE_UNORDERED_ACCESS;
    BarrierBatch batch;
    requestTransition(batch, &image, STATE_PIXEL_SHADER_RESOURCE);
    requestTransition(batch, &buffer, STATE_UNORDERED_ACCESS);
    EXPECT_EQ(batch.pending.count, 0u);
    flushBarriers(batch, nullptr); // no pending transition: the list is not touched
    // Requests are not merged: two for the same record both start at the old tracked state.
    requestTransition(batch, &image, STATE_RENDER_TARGET);
    requestTransition(batch, &image, STATE_COPY_SOURCE);
    ASSERT_EQ(batch.pending.count, 2u);
    EXPECT_EQ(batch.pending[0].before, uint32_t(STATE_PIXEL_SHADER_RESOURCE));
    EXPECT_EQ(batch.pending[1].before, uint32_t(STATE_PIXEL_SHADER_RESOURCE));
    EXPECT_EQ(image.state, uint32_t(STATE_PIXEL_SHADER_RESOURCE));
    freeBarrierBatch(batch);
}

TEST(FullscreenPass, DrawingAPassThatWasNeverBuiltReportsAndDrawsNothing)
{
    FullscreenPass* pass = createFullscreenPass();
    testing::internal::CaptureStdout();
    drawFullscreenPass(pass, 1920, 1080, nullptr, 0, nullptr, {});
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ASSERT: Pass hasn't been built\n");
    EXPECT_EQ(pass->pipeline, nullptr);
    std::free(pass);
}
