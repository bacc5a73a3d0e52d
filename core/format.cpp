// Number formats: measured with a counting pass, then formatted into a string of that length.
#include "core/format.h"

#include <cstdio>
#include <cstdlib>

namespace {

template <typename... Values>
std::string formatMeasured(const char* format, Values... values)
{
    int length = std::snprintf(nullptr, 0, format, values...);
    std::string text(size_t(length), '\0');
    std::snprintf(text.data(), text.size() + 1, format, values...);
    return text;
}

} // namespace

std::string formatUint(uint32_t value)
{
    return formatMeasured("%u", unsigned(value));
}

std::string formatFloat(float value)
{
    std::string text = formatMeasured("%f", double(value));
    // Up to 150 decimals: the exact value of the smallest float needs 149.
    for (int decimals = 7; decimals <= 150 && float(std::strtod(text.c_str(), nullptr)) != value; ++decimals)
        text = formatMeasured("%.*f", decimals, double(value));
    return text;
}
