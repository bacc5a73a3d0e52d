// Number formats of every text the program assembles (the timeline writer among them).
#pragma once

#include <cstdint>
#include <string>

// Plain decimal digits: 3254 -> "3254".
std::string formatUint(uint32_t value);
// Widened to double, "%f": six decimals, no exponent: 0.025f -> "0.025000". A value that six
// decimals do not give back (1e-7f) gets the fewest decimals that do: "0.0000001". Read back
// as a double and narrowed to float, the text is the same float (finite values only).
std::string formatFloat(float value);
