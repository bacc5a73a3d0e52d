// The message pump's rules, independent of the window system that delivers the messages.
#include "platform/platform.h"

#include <cstring>

void beginInputFrame(InputState& input, WindowState& window)
{
    std::memset(input.keyPressed, 0, sizeof(input.keyPressed));
    std::memset(input.mousePressed, 0, sizeof(input.mousePressed));
    window.wheel = 0;
}

bool applyInputEvent(InputState& input, WindowState& window, const InputEvent& event)
{
    switch (event.type) {
    case InputEventType::Quit:
        window.quit = true;
        return false;
    case InputEventType::MouseMove:
        window.mouseX = event.x;
        window.mouseY = event.y;
        return true;
    case InputEventType::KeyDown: {
        uint32_t key = event.code & 0xFF;
        if (!input.keyDown[key])
            input.keyPressed[key] = 1; // auto-repeat does not press again
        input.keyDown[key] = 1;
        return true;
    }
    case InputEventType::KeyUp:
        input.keyDown[event.code & 0xFF] = 0; // pressed stays for this frame
        return true;
    case InputEventType::ButtonDown:
        if (event.code < 3) {
            if (!input.mouseDown[event.code])
                input.mousePressed[event.code] = 1;
            input.mouseDown[event.code] = 1;
        }
        return true;
    case InputEventType::ButtonUp:
        if (event.code < 3) {
            input.mouseDown[event.code] = 0;
            input.mousePressed[event.code] = 0;
        }
        return true;
    case InputEventType::Wheel:
        window.wheel = event.x;
        return false;
    case InputEventType::Other:
        return true;
    }
    return true;
}

void endInputFrame(const InputState& input, WindowState& window)
{
    if (input.keyPressed[0x1B] && window.escapeQuits)
        window.quit = true;
}
