// Pixel data of the image programs' GPU tests: RGBA16F images are written from floats with
// round-to-nearest (subnormal halves included, which the history-luma guard test needs) and
// read back into floats.
#pragma once

#include "tests/gpu/gpu_harness.h"

#include <cstdint>
#include <cstring>
#include <vector>

inline uint16_t roundToHalf(float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    uint32_t sign = (bits >> 16) & 0x8000;
    int32_t exponent = int32_t((bits >> 23) & 0xFF) - 127 + 15;
    uint32_t mantissa = (bits & 0x7FFFFF) | 0x800000; // with the implicit leading 1
    if (exponent >= 31)
        return uint16_t(sign | 0x7C00);
    // Normal halves keep 11 significant bits; subnormal ones lose one more per step below.
    uint32_t shift = exponent > 0 ? 13 : uint32_t(14 - exponent);
    if (shift > 24)
        return uint16_t(sign);
    uint32_t kept = mantissa >> shift;
    uint32_t rest = mantissa & ((1u << shift) - 1);
    uint32_t halfway = 1u << (shift - 1);
    if (rest > halfway || (rest == halfway && (kept & 1)))
        ++kept; // a carry into the exponent field is the correct next half
    uint32_t magnitude = exponent > 0 ? ((uint32_t(exponent) << 10) + (kept - 0x400)) : kept;
    return uint16_t(sign | magnitude);
}

inline std::vector<uint16_t> toHalves(const std::vector<float>& values)
{
    std::vector<uint16_t> halves(values.size());
    for (size_t i = 0; i < values.size(); ++i)
        halves[i] = roundToHalf(values[i]);
    return halves;
}

inline std::vector<float> fromHalves(const std::vector<uint16_t>& halves)
{
    std::vector<float> values(halves.size());
    for (size_t i = 0; i < halves.size(); ++i)
        values[i] = halfToFloat(halves[i]);
    return values;
}
