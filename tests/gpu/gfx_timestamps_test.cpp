// GPU timestamps: marks read back in milliseconds from the first, around real work, and the
// marks that were never written reported as such instead of being waited for.
#include "gfx/timestamps.h"
#include "platform/platform.h"
#include "tests/gpu/gpu_harness.h"
#include "tests/gpu/test_programs.h"

TEST_F(GpuTest, TimestampsMeasureTheWorkBetweenMarksFromTheFirstMark)
{
    TimestampQueries* queries = createTimestampQueries(app, 3);
    ASSERT_NE(queries, nullptr) << "lavapipe's queue writes 64-bit timestamps";
    double marks[3] = {-1.0, -1.0, -1.0};
    // Nothing recorded yet: no mark can be read.
    EXPECT_FALSE(readTimestamps(app, queries, marks, 1));

    // 2^21 words written by 2^15 groups of 64 threads: enough work to take measurable time.
    constexpr uint32_t words = 1u << 21;
    Buffer* output = uploadBuffer(words * 4ull, BufferType::ReadWrite, nullptr);
    RootSignatureBuilder root;
    addDescriptorTable(root, makeRangeList({makeRange(RANGE_UAV, 1)}), VISIBILITY_ALL);
    addRootConstants(root);
    Pipeline* pipeline = track(createComputePipeline(app, root, FillBufferCS));
    freeRootSignatureBuilder(root);

    CommandList* list = beginCommands();
    resetTimestamps(list, queries);
    writeTimestamp(list, queries, 0);
    DescriptorTable table = allocateDescriptors(*heap, 1);
    writeBufferUAV(table, output, words, 4);
    RootConstants constants = {.parameter = 1, .values = {5, 0, 0, 0}};
    recordCompute(list, pipeline, {{0, table}}, &constants, words / 64, 1, 1);
    writeTimestamp(list, queries, 1);
    writeTimestamp(list, queries, 2);
    double submitted = nowMilliseconds();
    submitAndWait();
    double completed = nowMilliseconds();

    ASSERT_TRUE(readTimestamps(app, queries, marks, 3));
    EXPECT_EQ(marks[0], 0.0); // every mark is counted from the first
    EXPECT_GT(marks[1], 0.0); // the dispatch ran between marks 0 and 1
    // The GPU did the work between submission and the end of the wait on the CPU's clock.
    EXPECT_LT(marks[1], completed - submitted);
    EXPECT_GE(marks[2], marks[1]);
    // The work was done: word i = 3i + 5.
    std::vector<uint32_t> values = readBuffer<uint32_t>(output);
    EXPECT_EQ(values[words - 1], 3u * (words - 1) + 5);
    destroyTimestampQueries(app, queries);
}

TEST_F(GpuTest, TimestampsReportMarksThatWereNeverWritten)
{
    TimestampQueries* queries = createTimestampQueries(app, 2);
    ASSERT_NE(queries, nullptr);
    CommandList* list = beginCommands();
    resetTimestamps(list, queries);
    writeTimestamp(list, queries, 0); // mark 1 is reset but never written
    submitAndWait();
    double marks[2] = {};
    EXPECT_TRUE(readTimestamps(app, queries, marks, 1));
    EXPECT_FALSE(readTimestamps(app, queries, marks, 2));
    EXPECT_FALSE(readTimestamps(app, queries, marks, 3)); // more marks than the pool holds
    EXPECT_EQ(createTimestampQueries(app, 0), nullptr);
    destroyTimestampQueries(app, queries);
    EXPECT_EQ(queries, nullptr);
}
