// The Win32 window and its message pump, with real messages posted to a real window (Wine
// in CI). Each test drains what the system queued first, then posts its own messages.
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

// One window for the suite: Wine takes a second or two to make and map each.
struct PostedWindow : testing::Test {
    static inline Window* window = nullptr;
    static inline HWND handle = nullptr;
    InputState input = {};
    WindowState state = {};

    static void SetUpTestSuite()
    {
        window = createWindow("KIVREL");
        handle = FindWindowA("WindowClass", "KIVREL");
    }
    static void TearDownTestSuite() { destroyWindow(window); }

    void SetUp() override
    {
        ASSERT_NE(handle, nullptr);
        ASSERT_TRUE(IsWindow(handle));
        // Whatever the system or an earlier test queued (activation, a first mouse move) goes now.
        for (int i = 0; i < 4; ++i)
            pumpWindowMessages(window, input, state);
        input = {};
        state = {};
    }

    void post(UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
    {
        ASSERT_TRUE(PostMessageA(handle, message, wParam, lParam));
    }
    void pump() { pumpWindowMessages(window, input, state); }
};

// lParam of a key message: repeat count 1, bit 30 set when the key was already down.
constexpr LPARAM firstPress = 1;
constexpr LPARAM autoRepeat = 1 | (1 << 30);

} // namespace

TEST_F(PostedWindow, IsABorderlessVisiblePopupCoveringTheScreen)
{
    LONG style = GetWindowLongA(handle, GWL_STYLE);
    EXPECT_EQ(style & (WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_THICKFRAME), LONG(WS_POPUP | WS_VISIBLE));
    RECT rectangle;
    ASSERT_TRUE(GetWindowRect(handle, &rectangle));
    uint32_t screenWidth = uint32_t(GetSystemMetrics(SM_CXSCREEN));
    uint32_t screenHeight = uint32_t(GetSystemMetrics(SM_CYSCREEN));
    EXPECT_EQ(rectangle.left, 0);
    EXPECT_EQ(rectangle.top, 0);
    EXPECT_EQ(uint32_t(rectangle.right), screenWidth);
    EXPECT_EQ(uint32_t(rectangle.bottom), screenHeight);
    uint32_t width = 0;
    uint32_t height = 0;
    windowSize(window, &width, &height);
    EXPECT_EQ(width, screenWidth);
    EXPECT_EQ(height, screenHeight);
    // A popup has no frame: the drawable area is the whole window.
    windowDrawableSize(window, &width, &height);
    EXPECT_EQ(width, screenWidth);
    EXPECT_EQ(height, screenHeight);
}

TEST_F(PostedWindow, HeldKeyPressesOnceWhileItRepeats)
{
    post(WM_KEYDOWN, 'A', firstPress);
    post(WM_KEYDOWN, 'A', autoRepeat);
    pump();
    EXPECT_TRUE(input.keyPressed['A']);
    EXPECT_TRUE(input.keyDown['A']);
    post(WM_KEYDOWN, 'A', autoRepeat);
    pump();
    EXPECT_FALSE(input.keyPressed['A']);
    EXPECT_TRUE(input.keyDown['A']);
    post(WM_KEYUP, 'A', autoRepeat | (1u << 31));
    pump();
    EXPECT_FALSE(input.keyPressed['A']);
    EXPECT_FALSE(input.keyDown['A']);
    EXPECT_FALSE(state.quit);
}

TEST_F(PostedWindow, KeyUpWithinTheFrameKeepsThePressButButtonUpClearsIt)
{
    post(WM_KEYDOWN, 'B', firstPress);
    post(WM_KEYUP, 'B', firstPress | (1u << 31));
    post(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 20));
    post(WM_LBUTTONUP, 0, MAKELPARAM(10, 20));
    post(WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(10, 20));
    post(WM_MBUTTONDOWN, MK_MBUTTON, MAKELPARAM(10, 20));
    post(WM_MBUTTONUP, 0, MAKELPARAM(10, 20));
    pump();
    EXPECT_TRUE(input.keyPressed['B']);
    EXPECT_FALSE(input.keyDown['B']);
    EXPECT_FALSE(input.mousePressed[0]);
    EXPECT_FALSE(input.mouseDown[0]);
    EXPECT_TRUE(input.mousePressed[2]);
    EXPECT_TRUE(input.mouseDown[2]);
    EXPECT_FALSE(input.mousePressed[1]);
    EXPECT_FALSE(input.mouseDown[1]);
    // Next frame: the right button is still held but no longer newly pressed.
    pump();
    EXPECT_FALSE(input.keyPressed['B']);
    EXPECT_FALSE(input.mousePressed[2]);
    EXPECT_TRUE(input.mouseDown[2]);
}

TEST_F(PostedWindow, WheelEndsThePumpAndTheRestWaitsForTheNextFrame)
{
    // Wheel delta is the signed high word of wParam, 120 a notch.
    post(WM_MOUSEMOVE, 0, MAKELPARAM(uint16_t(-5), 300));
    post(WM_MOUSEWHEEL, MAKEWPARAM(0, uint16_t(-240)), 0);
    post(WM_KEYDOWN, 'C', firstPress);
    pump();
    EXPECT_EQ(state.mouseX, -5.0f);
    EXPECT_EQ(state.mouseY, 300.0f);
    EXPECT_EQ(state.wheel, -2.0f);
    EXPECT_FALSE(input.keyDown['C']);
    pump();
    EXPECT_EQ(state.wheel, 0.0f);
    EXPECT_TRUE(input.keyPressed['C']);
    EXPECT_TRUE(input.keyDown['C']);
}

TEST_F(PostedWindow, EscapeQuitsInTheSameFrame)
{
    post(WM_KEYDOWN, VK_ESCAPE, firstPress);
    post(WM_KEYUP, VK_ESCAPE, firstPress | (1u << 31));
    pump();
    EXPECT_TRUE(state.quit);
}

TEST(Win32Window, CloseDestroysTheWindowAndQuitFollows)
{
    Window* window = createWindow("KIVREL");
    HWND handle = FindWindowA("WindowClass", "KIVREL");
    ASSERT_NE(handle, nullptr);
    InputState input = {};
    WindowState state = {};
    // WM_CLOSE -> DestroyWindow -> WM_DESTROY -> PostQuitMessage -> WM_QUIT in a pump.
    ASSERT_TRUE(PostMessageA(handle, WM_CLOSE, 0, 0));
    for (int frame = 0; frame < 3 && !state.quit; ++frame)
        pumpWindowMessages(window, input, state);
    EXPECT_TRUE(state.quit);
    EXPECT_FALSE(IsWindow(handle));
    // Nothing to present to any more.
    uint32_t width = 1;
    uint32_t height = 1;
    windowDrawableSize(window, &width, &height);
    EXPECT_EQ(width, 0u);
    EXPECT_EQ(height, 0u);
    destroyWindow(window);
    EXPECT_EQ(window, nullptr);
}

TEST(Win32Window, VulkanSurfaceExtensions)
{
    uint32_t count = 0;
    const char* const* names = windowVulkanExtensions(nullptr, &count);
    ASSERT_EQ(count, 2u);
    EXPECT_STREQ(names[0], "VK_KHR_surface");
    EXPECT_STREQ(names[1], "VK_KHR_win32_surface");
}
