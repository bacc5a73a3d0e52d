// Conversion of the read-back track (two floats per frame) to the device's 16-bit samples.
#pragma once

#include <cstdint>

// Each value v becomes round(clamp(v, -1, 1) * 32767), halves away from zero, computed in
// double precision; NaN becomes 0. frames * channels values are converted.
void convertToPcm16(const float* source, uint32_t frames, uint32_t channels, int16_t* destination);
