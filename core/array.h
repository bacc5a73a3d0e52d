// The program's two list containers for plain data: DynamicArray (heap block, grows one
// element early) and FixedArray (inline, never grows). Elements are copied byte for byte;
// no constructor or destructor of an element ever runs, and nothing pointed to is owned.
#pragma once

#include "core/log.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <type_traits>

// Plain struct: the owner empties it with clear(); copying it copies the pointer.
template <typename T, typename SizeType = uint64_t>
struct DynamicArray {
    static_assert(std::is_trivially_copyable_v<T>, "DynamicArray holds plain data only");

    T* data = nullptr;
    SizeType count = 0;
    SizeType capacity = 0;

    T& operator[](SizeType index) { return data[index]; }
    const T& operator[](SizeType index) const { return data[index]; }
    T* begin() { return data; }
    T* end() { return data + count; }
    const T* begin() const { return data; }
    const T* end() const { return data + count; }

    // Makes room for exactly newCapacity elements; shrinking is refused, 0 clears.
    void reserve(SizeType newCapacity)
    {
        ASSERT(newCapacity > capacity,
               "ASSERT: New capacity must be larger than capacity. To clear the use the clear function.\n");
        if (!data) {
            if (newCapacity > 0) {
                T* block = allocateBlock(newCapacity);
                if (!block)
                    return;
                data = block;
                capacity = newCapacity;
            } else {
                ASSERT(false, "ASSERT: \n");
            }
        } else if (newCapacity > capacity) {
            T* block = allocateBlock(newCapacity);
            if (!block)
                return;
            if (count)
                std::memcpy(block, data, blockBytes(count));
            std::free(data);
            data = block;
            capacity = newCapacity;
        } else if (newCapacity == 0) {
            clear();
        } else {
            ASSERT(false, "ASSERT: \n");
        }
    }

    // Grows when count + 1 reaches capacity: one slot always stays free.
    void push(const T& value)
    {
        if (count + 1 >= capacity) {
            SizeType grown = capacity == 0 ? SizeType(16) : SizeType(capacity * 2);
            ASSERT(grown > capacity,
                   "ASSERT: New capacity must be larger than capacity. To clear the use the clear function.\n");
            reserve(grown);
            if (capacity <= count)
                return; // growth failed; the element is not written past the block
        }
        std::memcpy(static_cast<void*>(&data[count]), &value, sizeof(T));
        ++count;
    }

    void clear()
    {
        std::free(data);
        data = nullptr;
        count = 0;
        capacity = 0;
    }

    void assign(const T* source, SizeType sourceCount)
    {
        clear();
        if (sourceCount == 0)
            return;
        reserve(sourceCount);
        if (!data)
            return;
        std::memcpy(static_cast<void*>(data), source, blockBytes(sourceCount));
        count = sourceCount;
    }

private:
    // A block that cannot be had leaves the array as it was: the next push then stores nothing.
    static T* allocateBlock(SizeType elements)
    {
        T* block = static_cast<T*>(std::malloc(blockBytes(elements)));
        ASSERT(block, "ASSERT: Failed to allocate %llu bytes\n", (unsigned long long)blockBytes(elements));
        return block;
    }

    // A byte size that does not fit 64 bits saturates, so the allocation fails instead of wrapping.
    static size_t blockBytes(SizeType elements)
    {
        uint64_t n = elements;
        if (n > std::numeric_limits<uint64_t>::max() / sizeof(T))
            return std::numeric_limits<size_t>::max();
        return size_t(n * sizeof(T));
    }
};

// The narrow form: 32-bit count and capacity (timeline tracks and key slots).
template <typename T>
using NarrowDynamicArray = DynamicArray<T, uint32_t>;

// N elements inline followed by the count; a full array asserts and stores nothing.
template <typename T, uint64_t N>
struct FixedArray {
    static_assert(std::is_trivially_copyable_v<T>, "FixedArray holds plain data only");

    T data[N];
    uint64_t count = 0;

    T& operator[](uint64_t index) { return data[index]; }
    const T& operator[](uint64_t index) const { return data[index]; }
    T* begin() { return data; }
    T* end() { return data + count; }
    const T* begin() const { return data; }
    const T* end() const { return data + count; }

    void push(const T& value)
    {
        if (count >= N) {
            ASSERT(false, "ASSERT: Exceeded the limit of the fixed array %u\n", unsigned(N));
            return;
        }
        data[count++] = value;
    }
};
