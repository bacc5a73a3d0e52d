// Root-signature builder capacities and copies, the resolution of ranges into bindings,
// barrier batching against the tracked state, and a pass that was never built.
#include "gfx/passes.h"
#include "gfx/pipelines.h"
#include "gfx/resources.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

// n ranges of one descriptor of the type, registers 0 .. n - 1.
DescriptorRangeList rangesOf(uint32_t type, uint32_t n)
{
    DescriptorRangeList list = makeRangeList({});
    for (uint32_t i = 0; i < n; ++i) {
        DescriptorRange range = makeRange(type, 1);
        range.baseRegister = i;
        range.offsetFromTableStart = rangeOffsetAppend; // as makeRangeList places them
        list.ranges[list.count++] = range;
    }
    return list;
}

} // namespace

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
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "ASSERT: Exceeded the limit of root parameters 8.\n"
              "ASSERT: Exceeded the limit of static samplers 4.\n"
              "ASSERT: Exceeded the limit of descriptor range 8.\n");
    EXPECT_EQ(builder.parameterCount, 8u);
    EXPECT_EQ(builder.ranges.count, 0u); // the refused table added no ranges
    EXPECT_EQ(builder.samplerCount, 4u);
    EXPECT_EQ(list.count, 8u);
    EXPECT_EQ(list.ranges[7].rangeType, uint32_t(RANGE_SRV));
    freeRootSignatureBuilder(builder);
}

TEST(RootSignatureBuilder, CopiedTablesKeepTheirOwnRangesAndMapRegistersToBindings)
{
    // Three tables of 7 ranges: 21 ranges, past the first block of 16, so the array moves
    // while growing; each table must still resolve to its own ranges. t n -> binding n,
    // u n -> 16 + n, b n -> 32 + n.
    RootSignatureBuilder builder;
    addDescriptorTable(builder, rangesOf(RANGE_SRV, 7), VISIBILITY_ALL);
    addRootConstants(builder);
    addDescriptorTable(builder, rangesOf(RANGE_UAV, 7), VISIBILITY_ALL);
    addDescriptorTable(builder, rangesOf(RANGE_CBV, 7), VISIBILITY_PIXEL);
    RootSignatureBuilder copy = copyRootSignatureBuilder(builder);
    freeRootSignatureBuilder(builder); // the copy owns ranges of its own
    DynamicArray<RootBinding> bindings = resolveRootBindings(copy);
    ASSERT_EQ(bindings.count, 21u);
    for (uint32_t i = 0; i < 21; ++i) {
        const uint32_t parameter[3] = {0, 2, 3}, base[3] = {0, 16, 32};
        EXPECT_EQ(bindings[i].parameter, parameter[i / 7]) << i;
        EXPECT_EQ(bindings[i].binding, base[i / 7] + i % 7) << i;
        EXPECT_EQ(bindings[i].tableIndex, i % 7) << i;
    }
    EXPECT_EQ(bindings[20].visibility, uint32_t(VISIBILITY_PIXEL));
    bindings.clear();
    freeRootSignatureBuilder(copy);
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
    EXPECT_EQ(batch.pending[1].before, uint32_t(STATE_PIXEL_SHADER_RESOURCE));
    EXPECT_EQ(image.state, uint32_t(STATE_PIXEL_SHADER_RESOURCE));
    freeBarrierBatch(batch);

    FullscreenPass* pass = createFullscreenPass();
    testing::internal::CaptureStdout();
    drawFullscreenPass(pass, 1920, 1080, nullptr, 0, nullptr, {});
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ASSERT: Pass hasn't been built\n");
    std::free(pass);
}
