// DynamicArray and FixedArray.
#include "core/array.h"

#include <gtest/gtest.h>

#include <string>

namespace {
const std::string newCapacityMessage =
    "ASSERT: New capacity must be larger than capacity. To clear the use the clear function.\n";
}

TEST(DynamicArray, GrowsOneElementEarlyTo16Then32Then64)
{
    DynamicArray<int> wide;
    NarrowDynamicArray<int> narrow;
    for (int i = 0; i < 15; ++i) {
        wide.push(i);
        narrow.push(i);
    }
    EXPECT_EQ(wide.capacity, 16u);
    EXPECT_EQ(narrow.capacity, 16u);
    wide.push(15); // count + 1 reaches 16: grows before storing
    narrow.push(15);
    EXPECT_EQ(wide.capacity, 32u);
    EXPECT_EQ(narrow.capacity, 32u);
    for (int i = 16; i < 31; ++i)
        wide.push(i);
    EXPECT_EQ(wide.capacity, 32u);
    wide.push(31); // the 32nd element
    EXPECT_EQ(wide.capacity, 64u);
    ASSERT_EQ(wide.count, 32u);
    for (int i = 0; i < 32; ++i)
        EXPECT_EQ(wide[i], i);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(narrow[i], i);
    wide.clear();
    narrow.clear();
    EXPECT_EQ(wide.data, nullptr);
    EXPECT_EQ(wide.capacity, 0u);
}

TEST(DynamicArray, ReserveMisuseIsReportedAndHandled)
{
    DynamicArray<int> array;
    for (int i = 0; i < 3; ++i)
        array.push(i);

    // 0 < n <= capacity: both assertions, nothing changes.
    int* block = array.data;
    testing::internal::CaptureStdout();
    array.reserve(8);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), newCapacityMessage + "ASSERT: \n");
    EXPECT_EQ(array.data, block);
    EXPECT_EQ(array.count, 3u);
    EXPECT_EQ(array.capacity, 16u);

    // reserve(0) on a non-empty array: reported, then the array is emptied.
    testing::internal::CaptureStdout();
    array.reserve(0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), newCapacityMessage);
    EXPECT_EQ(array.data, nullptr);
    EXPECT_EQ(array.count, 0u);
    EXPECT_EQ(array.capacity, 0u);

    // reserve(0) on an empty array: both assertions, still empty.
    testing::internal::CaptureStdout();
    array.reserve(0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), newCapacityMessage + "ASSERT: \n");
    EXPECT_EQ(array.data, nullptr);

    // Growing keeps the elements.
    array.push(7);
    array.reserve(100);
    EXPECT_EQ(array.capacity, 100u);
    EXPECT_EQ(array[0], 7);
    array.clear();
}

TEST(DynamicArray, AssignCopiesOrEmpties)
{
    const double source[3] = {1.5, 2.5, 3.5};
    DynamicArray<double> array;
    array.push(9.0);
    array.assign(source, 3);
    EXPECT_EQ(array.count, 3u);
    EXPECT_EQ(array.capacity, 3u);
    EXPECT_EQ(array[2], 3.5);

    array.assign(nullptr, 0);
    EXPECT_EQ(array.data, nullptr);
    EXPECT_EQ(array.count, 0u);
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
    testing::internal::CaptureStdout();
    guarded.array.push(99);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ASSERT: Exceeded the limit of the fixed array 4\n");
    EXPECT_EQ(guarded.array.count, 4u);
    EXPECT_EQ(guarded.array[3], 30);
    EXPECT_EQ(guarded.after, -1);
}

TEST(DynamicArray, BlockThatCannotBeHadLeavesArrayUsable)
{
    DynamicArray<uint64_t> array;
    array.push(5);
    testing::internal::CaptureStdout();
    // 2^40 elements of 8 bytes (8 TiB): more than any machine of ours can give.
    volatile uint64_t huge = uint64_t(1) << 40;
    array.reserve(huge);
    std::string log = testing::internal::GetCapturedStdout();
    EXPECT_EQ(log.rfind("ASSERT: Failed to allocate ", 0), 0u) << log;
    EXPECT_EQ(array.capacity, 16u);
    EXPECT_EQ(array[0], 5u);
    array.push(6);
    EXPECT_EQ(array[1], 6u);
    array.clear();
}
