// The message pump's rules for keys, buttons, the wheel and quitting.
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

namespace {

// Runs one frame's pump over the messages; returns how many were consumed.
size_t pumpFrame(InputState& input, WindowState& window, const std::vector<InputEvent>& messages)
{
    beginInputFrame(input, window);
    size_t consumed = 0;
    while (consumed < messages.size()) {
        bool goOn = applyInputEvent(input, window, messages[consumed++]);
        if (!goOn)
            break;
    }
    endInputFrame(input, window);
    return consumed;
}

InputEvent key(InputEventType type, uint32_t code)
{
    return {type, code, 0, 0};
}

} // namespace

TEST(InputPump, HeldKeyIsPressedOnlyInItsFirstFrame)
{
    InputState input = {};
    WindowState window;
    pumpFrame(input, window, {key(InputEventType::KeyDown, 'A')});
    EXPECT_TRUE(input.keyPressed['A']);
    EXPECT_TRUE(input.keyDown['A']);
    // Auto-repeat delivers more key-down messages while the key is held: no second press.
    pumpFrame(input, window, {key(InputEventType::KeyDown, 'A'), key(InputEventType::KeyDown, 'A')});
    EXPECT_FALSE(input.keyPressed['A']);
    EXPECT_TRUE(input.keyDown['A']);
    pumpFrame(input, window, {key(InputEventType::KeyUp, 'A')});
    EXPECT_FALSE(input.keyDown['A']);
    EXPECT_FALSE(window.quit);
}

TEST(InputPump, KeyUpKeepsThePressButButtonUpClearsIt)
{
    InputState input = {};
    WindowState window;
    pumpFrame(input, window,
              {key(InputEventType::KeyDown, 'Q'), key(InputEventType::KeyUp, 'Q'), key(InputEventType::ButtonDown, 2),
               key(InputEventType::ButtonUp, 2), key(InputEventType::ButtonDown, 0)});
    EXPECT_TRUE(input.keyPressed['Q']);
    EXPECT_FALSE(input.keyDown['Q']);
    EXPECT_FALSE(input.mousePressed[2]);
    EXPECT_FALSE(input.mouseDown[2]);
    EXPECT_TRUE(input.mousePressed[0]);
    EXPECT_TRUE(input.mouseDown[0]);
    pumpFrame(input, window, {});
    EXPECT_FALSE(input.mousePressed[0]); // pressed lasts one frame
    EXPECT_TRUE(input.mouseDown[0]);
}

TEST(InputPump, WheelEndsTheFramesPumpAndLaterMessagesWait)
{
    InputState input = {};
    WindowState window;
    std::vector<InputEvent> messages = {{InputEventType::MouseMove, 0, 12, -3}, {InputEventType::Wheel, 0, -2, 0},
                                        key(InputEventType::KeyDown, 'B')};
    EXPECT_EQ(pumpFrame(input, window, messages), 2u);
    EXPECT_EQ(window.wheel, -2.0f);
    EXPECT_EQ(window.mouseX, 12.0f);
    EXPECT_EQ(window.mouseY, -3.0f);
    EXPECT_FALSE(input.keyDown['B']);
    // Next frame: the waiting key-down is handled and the wheel is back to 0.
    EXPECT_EQ(pumpFrame(input, window, {key(InputEventType::KeyDown, 'B')}), 1u);
    EXPECT_TRUE(input.keyPressed['B']);
    EXPECT_EQ(window.wheel, 0.0f);
}

TEST(InputPump, EscapeAndClosingTheWindowSetQuit)
{
    InputState input = {};
    WindowState window;
    pumpFrame(input, window, {key(InputEventType::KeyDown, 0x1B), key(InputEventType::KeyUp, 0x1B)});
    EXPECT_TRUE(window.quit); // pressed in this frame, released in the same frame

    WindowState closed;
    InputState other = {};
    std::vector<InputEvent> messages = {{InputEventType::Quit, 0, 0, 0}, key(InputEventType::KeyDown, 'C')};
    EXPECT_EQ(pumpFrame(other, closed, messages), 1u); // quitting stops the pump
    EXPECT_TRUE(closed.quit);
    EXPECT_FALSE(other.keyDown['C']);
}
