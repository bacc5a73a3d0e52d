// Descriptor allocator arithmetic, writer capacity and the CBV size rule, on a heap of view
// records built by hand (no device needed: writers of buffer views make no Vulkan call).
#include "gfx/descriptors.h"
#include "gfx/resources.h"

#include <gtest/gtest.h>

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

struct HandHeap {
    ViewRecord records[8];
    DescriptorHeap heap;

    HandHeap(uint32_t capacity, bool shaderVisible)
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
    EXPECT_EQ(second.capacity, 5u);

    CaptureStdout();
    DescriptorTable refused = allocateDescriptors(hand.heap, 1);
    DescriptorTable empty = allocateDescriptors(hand.heap, 0);
    hand.heap.used = 9; // beyond capacity: only a broken owner gets here
    DescriptorTable broken = allocateDescriptors(hand.heap, 1);
    EXPECT_EQ(GetCapturedStdout(), "ASSERT: DescriptorAllocator: requested 1 descriptors, only 0 remaining\n"
                                   "ASSERT: DescriptorAllocator: cannot allocate 0 descriptors\n"
                                   "ASSERT: DescriptorAllocator: internal overflow\n");
    EXPECT_EQ(refused.capacity + empty.capacity + broken.capacity, 0u);
    EXPECT_EQ(refused.cpuHandle, 0u);
    EXPECT_EQ(hand.heap.used, 9u); // a refused request changes nothing

    // After a reset (cursor back to 0) the next table is the heap's first descriptor again;
    // a heap that is not shader visible gives no GPU handle.
    hand.heap.used = 0;
    EXPECT_EQ(allocateDescriptors(hand.heap, 2).cpuHandle, hand.heap.cpuStart);
    HandHeap cpuOnly(4, false);
    EXPECT_EQ(allocateDescriptors(cpuOnly.heap, 2).gpuHandle, 0u);
}

TEST(DescriptorWriters, FillRecordsInOrderNothingBeyondTheTableAndConstantViewsUpTo64KiB)
{
    HandHeap hand(8, true);
    Buffer buffer;
    buffer.size = 65536 + 256;
    DescriptorTable table = allocateDescriptors(hand.heap, 3);
    writeCBV(table, &buffer, 36);
    writeBufferUAV(table, &buffer, 10, 16);
    writeCBV(table, &buffer, 65536);
    // Record i of the table is at cpuHandle + increment * i.
    EXPECT_EQ(hand.records[0].kind, ViewKind::UniformBuffer);
    EXPECT_EQ(hand.records[0].range, 256u); // 36 bytes rounded up to 256
    EXPECT_EQ(hand.records[1].kind, ViewKind::StorageBuffer);
    EXPECT_EQ(hand.records[1].range, 160u); // 10 elements of 16 bytes
    EXPECT_EQ(hand.records[2].range, 65536u);

    CaptureStdout();
    writeBufferUAV(table, &buffer, 1, 4);
    DescriptorTable more = allocateDescriptors(hand.heap, 1);
    writeCBV(more, &buffer, 65537); // rounds to 65792
    EXPECT_EQ(GetCapturedStdout(), "ASSERT: Exceeded capacity of descriptors allocated\n"
                                   "ASSERT: CBV view must be <= 64KB\n");
    EXPECT_EQ(table.written, 3u);
    EXPECT_EQ(more.written, 0u);
    EXPECT_EQ(hand.records[3].kind, ViewKind::None); // the next heap record is untouched
}

