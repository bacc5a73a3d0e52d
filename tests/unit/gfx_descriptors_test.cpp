// Descriptor allocator arithmetic, writer capacity and the CBV size rule, on a heap of view
// records built by hand (no device needed: writers of buffer views make no Vulkan call).
#include "gfx/descriptors.h"
#include "gfx/resources.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct HandHeap {
    ViewRecord records[8];
    DescriptorHeap heap;

    explicit HandHeap(uint32_t capacity, bool shaderVisible)
    {
        heap.records = records;
        heap.cpuStart = reinterpret_cast<uint64_t>(records);
        heap.gpuStart = shaderVisible ? heap.cpuStart : 0;
        heap.increment = sizeof(ViewRecord);
        heap.capacity = capacity;
    }
};

} // namespace

TEST(DescriptorAllocator, HandsOutConsecutiveRunsAndRefusesRequestBeyondRemaining)
{
    HandHeap hand(8, true);
    DescriptorTable first = allocateDescriptors(hand.heap, 3);
    DescriptorTable second = allocateDescriptors(hand.heap, 5); // exactly the remaining 5
    EXPECT_EQ(first.cpuHandle, hand.heap.cpuStart);
    EXPECT_EQ(first.capacity, 3u);
    // The second run starts 3 increments in, on the CPU and the GPU side alike.
    EXPECT_EQ(second.cpuHandle, hand.heap.cpuStart + 3 * sizeof(ViewRecord));
    EXPECT_EQ(second.gpuHandle, second.cpuHandle);
    EXPECT_EQ(hand.heap.used, 8u);

    testing::internal::CaptureStdout();
    DescriptorTable refused = allocateDescriptors(hand.heap, 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "ASSERT: DescriptorAllocator: requested 1 descriptors, only 0 remaining\n");
    EXPECT_EQ(refused.capacity, 0u);
    EXPECT_EQ(refused.cpuHandle, 0u);
    EXPECT_EQ(hand.heap.used, 8u); // a refused request changes nothing

    // After a reset (cursor back to 0) the next table is the heap's first descriptor again.
    hand.heap.used = 0;
    EXPECT_EQ(allocateDescriptors(hand.heap, 2).cpuHandle, hand.heap.cpuStart);
}

TEST(DescriptorAllocator, ReportsZeroCountAndInternalOverflow)
{
    HandHeap hand(4, true);
    testing::internal::CaptureStdout();
    DescriptorTable empty = allocateDescriptors(hand.heap, 0);
    hand.heap.used = 5; // beyond capacity: only a broken owner gets here
    DescriptorTable broken = allocateDescriptors(hand.heap, 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "ASSERT: DescriptorAllocator: cannot allocate 0 descriptors\n"
              "ASSERT: DescriptorAllocator: internal overflow\n");
    EXPECT_EQ(empty.capacity, 0u);
    EXPECT_EQ(broken.capacity, 0u);
    EXPECT_EQ(hand.heap.used, 5u);
}

TEST(DescriptorAllocator, TableOfHeapThatIsNotShaderVisibleHasNoGpuHandle)
{
    HandHeap hand(4, false);
    hand.heap.used = 1;
    DescriptorTable table = allocateDescriptors(hand.heap, 2);
    EXPECT_EQ(table.gpuHandle, 0u);
    EXPECT_EQ(table.cpuHandle, hand.heap.cpuStart + sizeof(ViewRecord));
}

TEST(DescriptorWriters, FillRecordsInOrderAndNothingBeyondTheTable)
{
    HandHeap hand(8, true);
    Buffer buffer;
    buffer.size = 65536;
    DescriptorTable table = allocateDescriptors(hand.heap, 2);
    writeCBV(table, &buffer, 36);
    writeBufferUAV(table, &buffer, 10, 16);
    // Record i of the table is at cpuHandle + increment * i.
    EXPECT_EQ(hand.records[0].kind, ViewKind::UniformBuffer);
    EXPECT_EQ(hand.records[0].range, 256u); // 36 bytes rounded up to 256
    EXPECT_EQ(hand.records[1].kind, ViewKind::StorageBuffer);
    EXPECT_EQ(hand.records[1].range, 160u); // 10 elements of 16 bytes

    testing::internal::CaptureStdout();
    writeBufferUAV(table, &buffer, 1, 4);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ASSERT: Exceeded capacity of descriptors allocated\n");
    EXPECT_EQ(table.written, 2u);
    EXPECT_EQ(hand.records[2].kind, ViewKind::None); // the next heap record is untouched
}

TEST(DescriptorWriters, ConstantViewAcceptsUpTo64KiB)
{
    HandHeap hand(8, true);
    Buffer buffer;
    buffer.size = 65536 + 256;
    DescriptorTable table = allocateDescriptors(hand.heap, 3);
    writeCBV(table, &buffer, 65536);
    EXPECT_EQ(hand.records[0].range, 65536u);
    testing::internal::CaptureStdout();
    writeCBV(table, &buffer, 65537); // rounds to 65792
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ASSERT: CBV view must be <= 64KB\n");
    EXPECT_EQ(table.written, 1u);
}
