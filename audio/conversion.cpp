// Float-to-PCM conversion of the soundtrack.
#include "audio/conversion.h"

#include <algorithm>
#include <cmath>

void convertToPcm16(const float* source, uint32_t frames, uint32_t channels, int16_t* destination)
{
    uint64_t count = uint64_t(frames) * channels;
    for (uint64_t i = 0; i < count; ++i) {
        double x = source[i];
        if (std::isnan(x))
            x = 0.0; // converting NaN to an integer is undefined
        double v = std::round(std::clamp(x, -1.0, 1.0) * 32767.0);
        destination[i] = int16_t(std::clamp(v, -32768.0, 32767.0));
    }
}
