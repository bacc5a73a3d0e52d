// Pixel data of the image programs' GPU tests: RGBA16F images written from floats and read back
// into floats by the compiler's own half type (round to nearest even, subnormal halves included,
// which the history-luma guard test needs).
#pragma once

#include "tests/gpu/gpu_harness.h"

#include <cstdint>
#include <cstring>
#include <vector>

inline std::vector<uint16_t> toHalves(const std::vector<float>& values)
{
    std::vector<uint16_t> halves(values.size());
    for (size_t i = 0; i < values.size(); ++i) {
        _Float16 half = _Float16(values[i]);
        std::memcpy(&halves[i], &half, 2);
    }
    return halves;
}

inline std::vector<float> fromHalves(const std::vector<uint16_t>& halves)
{
    std::vector<float> values(halves.size());
    for (size_t i = 0; i < halves.size(); ++i) {
        _Float16 half;
        std::memcpy(&half, &halves[i], 2);
        values[i] = float(half);
    }
    return values;
}
