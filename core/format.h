// Number formats of every text the program assembles (the timeline writer among them).
#pragma once

#include <cstdint>
#include <string>

// Plain decimal digits: 3254 -> "3254".
std::string formatUint(uint32_t value);
// Widened to double, "%f": six decimals, no exponent: 0.025f -> "0.025000".
std::string formatFloat(float value);
