// The unit tests' platform hooks on Windows (Wine in CI): exit statuses as GetExitCodeProcess
// gives them, and input posted to the real window.
#include "tests/unit/test_platform.h"

#include <windows.h>

const int minusOneExitStatus = -1; // all 32 bits of 0xFFFFFFFF
const bool textFaceNeedsItsBytes = false;

namespace {

HWND windowHandle()
{
    return FindWindowA("WindowClass", "KIVREL");
}

} // namespace

void postInput(Window*, PostedInput kind, uint32_t code, int x, int y)
{
    // lParam of a key message: repeat count 1, bit 30 set when the key was already down,
    // bit 31 on release. The wheel's delta is the signed high word of wParam, 120 a notch.
    const LPARAM firstPress = 1, repeat = 1 | (1 << 30);
    const UINT down[3] = {WM_LBUTTONDOWN, WM_MBUTTONDOWN, WM_RBUTTONDOWN};
    const UINT up[3] = {WM_LBUTTONUP, WM_MBUTTONUP, WM_RBUTTONUP};
    HWND handle = windowHandle();
    switch (kind) {
    case PostedInput::KeyDown: PostMessageA(handle, WM_KEYDOWN, code, firstPress); break;
    case PostedInput::KeyRepeat: PostMessageA(handle, WM_KEYDOWN, code, repeat); break;
    case PostedInput::KeyUp: PostMessageA(handle, WM_KEYUP, code, repeat | LPARAM(1u << 31)); break;
    case PostedInput::ButtonDown: PostMessageA(handle, down[code], 0, MAKELPARAM(10, 20)); break;
    case PostedInput::ButtonUp: PostMessageA(handle, up[code], 0, MAKELPARAM(10, 20)); break;
    case PostedInput::MouseMove: PostMessageA(handle, WM_MOUSEMOVE, 0, MAKELPARAM(uint16_t(x), uint16_t(y))); break;
    case PostedInput::Wheel: PostMessageA(handle, WM_MOUSEWHEEL, MAKEWPARAM(0, uint16_t(x * 120)), 0); break;
    case PostedInput::Close: PostMessageA(handle, WM_CLOSE, 0, 0); break;
    }
}

WindowFacts windowFacts(Window*)
{
    LONG style = GetWindowLongA(windowHandle(), GWL_STYLE);
    return {.borderless = (style & (WS_POPUP | WS_CAPTION | WS_THICKFRAME)) == WS_POPUP,
            .screenWidth = uint32_t(GetSystemMetrics(SM_CXSCREEN)),
            .screenHeight = uint32_t(GetSystemMetrics(SM_CYSCREEN))};
}

bool resetPeakMemory()
{
    return false; // the peak working set cannot be started afresh
}

uint64_t peakMemoryGrowth()
{
    return 0;
}
