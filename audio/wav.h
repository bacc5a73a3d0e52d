// RIFF/WAVE files of 32-bit float samples, as the soundtrack export writes them.
#pragma once

#include "core/array.h"

#include <cstdint>

// The whole file: a 58-byte header (RIFF, an 18-byte "fmt " chunk of format 3, IEEE float,
// a "fact" chunk) and then the interleaved samples as they are. Empty when the data
// would not fit a RIFF file's 32-bit sizes.
DynamicArray<uint8_t> makeFloatWav(const float* samples, uint32_t frames, uint32_t channels, uint32_t sampleRate);
