// The window contract, for SDL (Linux, under Xvfb) and Win32 (Windows, under Wine) alike: a
// borderless window covering the screen, and the pump's rules for input delivered to it as
// the window system delivers it.
#include "platform/platform.h"
#include "tests/unit/test_platform.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Posted {
    PostedInput kind;
    uint32_t code = 0;
    int x = 0, y = 0;
};

// The state after one pump: keys pressed this frame and held, as strings of key codes.
struct Expected {
    std::string pressed = "", down = "";
    bool leftDown = false, rightPressed = false, rightDown = false;
    float wheel = 0.0f;
    bool quit = false;
};

std::string keysIn(const uint8_t* keys)
{
    std::string text;
    for (char key : std::string("ABC\x1B"))
        if (keys[uint8_t(key)])
            text += key;
    return text;
}

} // namespace

TEST(Window, CoversTheScreenWithoutBorderAndPumpsInputByTheFrameRules)
{
    Window* window = createWindow("KIVREL");
    WindowFacts facts = windowFacts(window);
    EXPECT_TRUE(facts.borderless);
    uint32_t width = 0, height = 0;
    windowSize(window, &width, &height);
    EXPECT_EQ(width, facts.screenWidth);
    EXPECT_EQ(height, facts.screenHeight);
    windowDrawableSize(window, &width, &height); // no frame: the drawable area is the window
    EXPECT_EQ(width, facts.screenWidth);
    EXPECT_EQ(height, facts.screenHeight);
    uint32_t count = 0;
    const char* const* extensions = windowVulkanExtensions(window, &count);
    ASSERT_EQ(count, 2u);
    EXPECT_STREQ(extensions[0], "VK_KHR_surface");

    InputState input = {};
    WindowState state = {};
    // What the system queued first (mapping, activation, a first mouse move) goes now.
    for (int i = 0; i < 4; ++i)
        pumpWindowMessages(window, input, state);
    using enum PostedInput;
    struct Frame {
        std::vector<Posted> posted;
        Expected expected;
    };
    const Frame frames[] = {
        // A held key presses once: auto-repeat comes as more key-downs.
        {{{KeyDown, 'A'}, {KeyRepeat, 'A'}}, {.pressed = "A", .down = "A"}},
        {{{KeyRepeat, 'A'}}, {.down = "A"}},
        {{{KeyUp, 'A'}}, {}},
        // A key released within the frame stays pressed; a button released does not.
        {{{KeyDown, 'B'}, {KeyUp, 'B'}, {ButtonDown, 0}, {ButtonUp, 0}, {ButtonDown, 2}},
         {.pressed = "B", .rightPressed = true, .rightDown = true}},
        {{}, {.rightDown = true}}, // pressed lasts one frame
        {{{ButtonUp, 2}, {ButtonDown, 0}}, {.leftDown = true}},
        // The wheel ends the frame's pump; the key-down behind it waits for the next frame.
        {{{MouseMove, 0, -5, 300}, {Wheel, 0, -2}, {KeyDown, 'C'}}, {.leftDown = true, .wheel = -2.0f}},
        {{}, {.pressed = "C", .down = "C", .leftDown = true}},
        {{{KeyUp, 'C'}, {KeyDown, 0x1B}, {KeyUp, 0x1B}}, {.pressed = "\x1B", .leftDown = true, .quit = true}},
    };
    for (size_t i = 0; i < std::size(frames); ++i) {
        for (const Posted& p : frames[i].posted)
            postInput(window, p.kind, p.code, p.x, p.y);
        pumpWindowMessages(window, input, state);
        const Expected& e = frames[i].expected;
        SCOPED_TRACE("frame " + std::to_string(i));
        EXPECT_EQ(keysIn(input.keyPressed), e.pressed);
        EXPECT_EQ(keysIn(input.keyDown), e.down);
        EXPECT_EQ(bool(input.mouseDown[0]), e.leftDown);
        EXPECT_EQ(bool(input.mousePressed[2]), e.rightPressed);
        EXPECT_EQ(bool(input.mouseDown[2]), e.rightDown);
        EXPECT_EQ(state.wheel, e.wheel);
        EXPECT_EQ(state.quit, e.quit);
    }
    EXPECT_EQ(state.mouseX, -5.0f);
    EXPECT_EQ(state.mouseY, 300.0f);

    // The close button is a quit, and quitting ends the pump: what follows stays queued.
    InputState afterClose = {};
    WindowState closed = {};
    postInput(window, Close);
    postInput(window, KeyDown, 'A');
    for (int frame = 0; frame < 3 && !closed.quit; ++frame)
        pumpWindowMessages(window, afterClose, closed);
    EXPECT_TRUE(closed.quit);
    EXPECT_FALSE(afterClose.keyDown['A']);
    destroyWindow(window);
    EXPECT_EQ(window, nullptr);
}
