// Root-signature builder capacities, barrier batching against the tracked state, and a pass
// that was never built. (How registers map to bindings is every GPU test's binding.)
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
