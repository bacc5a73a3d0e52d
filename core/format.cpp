// Number formats: measured with a counting pass, then formatted into a string of that length.
#include "core/format.h"

#include <cstdio>

namespace {

template <typename Value>
std::string formatMeasured(const char* format, Value value)
{
    int length = std::snprintf(nullptr, 0, format, value);
    std::string text(size_t(length), '\0');
    std::snprintf(text.data(), text.size() + 1, format, value);
    return text;
}

} // namespace

std::string formatUint(uint32_t value)
{
    return formatMeasured("%u", unsigned(value));
}

std::string formatFloat(float value)
{
    return formatMeasured("%f", double(value));
}
