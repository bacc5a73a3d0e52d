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

TEST(UploadFootprint, RowsArePlacedEvery256BytesOfWholePixels)
{
    // (The staging buffer that holds them is sized and filled by the GPU upload test.)
    struct Case {
        uint32_t width, height, format;
        uint64_t rowPitch, totalBytes;
    };
    const Case cases[] = {
        // 100 RGBA8 pixels are 400 bytes, placed every 512; 9 pitches + 400 = 5008.
        {100, 10, FORMAT_R8G8B8A8_UNORM, 512, 5008},
        // 12-byte pixels: 5 * 12 = 60 bytes, rounded to a multiple of both 256 and 12: 768.
        {5, 2, FORMAT_R32G32B32_FLOAT, 768, 828},
        {1, 1, FORMAT_R16G16B16A16_FLOAT, 256, 8},
    };
    for (const Case& c : cases) {
        ImageFootprint footprint = imageFootprint(c.width, c.height, c.format);
        EXPECT_EQ(footprint.rowPitch, c.rowPitch) << c.format;
        EXPECT_EQ(footprint.rowCount, c.height) << c.format;
        EXPECT_EQ(footprint.totalBytes, c.totalBytes) << c.format;
    }
}
