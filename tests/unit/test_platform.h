// What the unit tests need that differs by platform, defined in tests/unit/<platform>/
// test_platform.cpp: exit statuses, text faces, and how input reaches a real window.
#pragma once

#include <cstdint>

struct Window;

// How a parent sees a child that ended through exitProcess(-1): 255 from a POSIX wait,
// -1 (0xFFFFFFFF) from GetExitCodeProcess on Windows.
extern const int minusOneExitStatus;

// Whether a text face opens only from its font bytes: FreeType's does; GDI falls back to an
// installed face of the name when the bytes are unusable.
extern const bool textFaceNeedsItsBytes;

// Input as the window system delivers it to the window: keys by virtual-key code, buttons
// 0 left, 1 middle, 2 right, the wheel in notches, and the close button.
enum class PostedInput { KeyDown, KeyRepeat, KeyUp, ButtonDown, ButtonUp, MouseMove, Wheel, Close };
void postInput(Window* window, PostedInput kind, uint32_t code = 0, int x = 0, int y = 0);

// The window as the window system sees it.
struct WindowFacts {
    bool borderless = false;
    uint32_t screenWidth = 0, screenHeight = 0;
};
WindowFacts windowFacts(Window* window);

// The process's peak memory since the reset, in bytes above what it used then (false: unmeasured).
bool resetPeakMemory();
uint64_t peakMemoryGrowth();
