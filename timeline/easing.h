// Easing functions: a key's easing index (0 to 31) names one of 32 curves that map the
// position t in [0, 1] between two keys to the share of the way the value has travelled.
#pragma once

#include <cstdint>
#include <string_view>

constexpr uint32_t easingCount = 32;

using EasingFunction = float (*)(float t);

// Names as the timeline files write them, in index order; 0 is "None" (hold).
extern const char* const easingNames[easingCount];
// Entry 0 is null: a key without easing holds its value and never reaches the table.
extern const EasingFunction easingFunctions[easingCount];

// Byte-wise, case-sensitive; easingCount (32) when the name is none of the 32.
uint32_t easingIndex(std::string_view name);
