// DynamicArray and FixedArray: growth one element early, misuse reported and survived.
#include "core/array.h"

#include <gtest/gtest.h>

#include <string>

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

TEST(DynamicArray, GrowsWhenCountPlusOneReachesCapacityAndSurvivesRefusedReserves)
{
    // 16 from the first push; the push that makes count + 1 reach the capacity doubles it first.
    const std::pair<uint32_t, uint32_t> cases[] = {{1, 16}, {15, 16}, {16, 32}, {31, 32}, {32, 64}};
    DynamicArray<uint64_t> array;
    uint32_t pushed = 0;
    for (auto [pushes, capacity] : cases) {
        for (; pushed < pushes; ++pushed)
            array.push(pushed);
        EXPECT_EQ(array.capacity, capacity) << pushes;
    }
    for (uint32_t i = 0; i < 32; ++i)
        ASSERT_EQ(array[i], i) << i;

    // Not beyond 64: refused, nothing changes. 8 TiB cannot be had: reported, the array as it was.
    const std::string refused = "ASSERT: New capacity must be larger than capacity. To clear the use the clear function.\n";
    uint64_t* block = array.data;
    CaptureStdout();
    array.reserve(40);
    volatile uint64_t huge = uint64_t(1) << 40;
    array.reserve(huge);
    std::string log = GetCapturedStdout();
    EXPECT_EQ(log.rfind(refused + "ASSERT: \nASSERT: Failed to allocate ", 0), 0u) << log;
    EXPECT_EQ(array.data, block);
    EXPECT_EQ(array.capacity, 64u);
    array.push(32);
    EXPECT_EQ(array[32] + array[31], 63u);
    // 0 is reported, then empties; the next reserve is exact.
    CaptureStdout();
    array.reserve(0);
    EXPECT_EQ(GetCapturedStdout(), refused);
    EXPECT_EQ(array.data, nullptr);
    EXPECT_EQ(array.count, 0u);
    array.push(7);
    array.reserve(100);
    EXPECT_EQ(array.capacity, 100u);
    EXPECT_EQ(array[0], 7u);
    array.clear();
    EXPECT_EQ(array.data, nullptr);
    EXPECT_EQ(array.capacity, 0u);
}

TEST(FixedArray, FullArrayAssertsAndStoresNothing)
{
    struct Guarded {
        FixedArray<int, 4> array;
        int after = -1; // the word right behind the inline elements and the count
    } guarded;
    for (int i = 0; i < 4; ++i)
        guarded.array.push(i * 10);
    CaptureStdout();
    guarded.array.push(99);
    EXPECT_EQ(GetCapturedStdout(), "ASSERT: Exceeded the limit of the fixed array 4\n");
    EXPECT_EQ(guarded.array.count, 4u);
    EXPECT_EQ(guarded.array[3], 30);
    EXPECT_EQ(guarded.after, -1);
}
