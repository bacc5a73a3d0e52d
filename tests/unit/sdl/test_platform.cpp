// The unit tests' platform hooks on Linux: POSIX exit statuses, and input pushed into SDL's
// event queue as the X server would deliver it.
#include "tests/unit/test_platform.h"

#include <SDL.h>

#include <cstring>
#include <fstream>
#include <string>

const int minusOneExitStatus = 255; // the low 8 bits of -1
const bool textFaceNeedsItsBytes = true;

void postInput(Window*, PostedInput kind, uint32_t code, int x, int y)
{
    SDL_Event event = {};
    const uint8_t buttons[3] = {SDL_BUTTON_LEFT, SDL_BUTTON_MIDDLE, SDL_BUTTON_RIGHT};
    switch (kind) {
    case PostedInput::KeyDown:
    case PostedInput::KeyRepeat:
    case PostedInput::KeyUp:
        event.type = kind == PostedInput::KeyUp ? SDL_KEYUP : SDL_KEYDOWN;
        event.key.repeat = kind == PostedInput::KeyRepeat;
        event.key.keysym.sym = code == 0x1B ? SDLK_ESCAPE : SDL_Keycode(SDLK_a + (code - 'A'));
        break;
    case PostedInput::ButtonDown:
    case PostedInput::ButtonUp:
        event.type = kind == PostedInput::ButtonDown ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
        event.button.button = buttons[code];
        break;
    case PostedInput::MouseMove:
        event.type = SDL_MOUSEMOTION;
        event.motion.x = x;
        event.motion.y = y;
        break;
    case PostedInput::Wheel:
        event.type = SDL_MOUSEWHEEL;
        event.wheel.y = x;
        event.wheel.preciseY = float(x);
        break;
    case PostedInput::Close:
        event.type = SDL_WINDOWEVENT;
        event.window.event = SDL_WINDOWEVENT_CLOSE;
        break;
    }
    SDL_PushEvent(&event);
}

WindowFacts windowFacts(Window*)
{
    WindowFacts facts;
    SDL_DisplayMode mode;
    if (SDL_GetDesktopDisplayMode(0, &mode) == 0) {
        facts.screenWidth = uint32_t(mode.w);
        facts.screenHeight = uint32_t(mode.h);
    }
    // The program's window is the one with its title (the handle stays inside platform/sdl).
    for (uint32_t id = 1; id < 64; ++id) {
        SDL_Window* window = SDL_GetWindowFromID(id);
        if (window && std::strcmp(SDL_GetWindowTitle(window), "KIVREL") == 0)
            facts.borderless = SDL_GetWindowFlags(window) & SDL_WINDOW_BORDERLESS;
    }
    return facts;
}

namespace {

uint64_t residentAtReset = 0;

// A size line of /proc/self/status ("VmHWM:   1234 kB") in bytes.
uint64_t statusBytes(const std::string& field)
{
    std::ifstream status("/proc/self/status");
    std::string name;
    uint64_t kilobytes = 0;
    while (status >> name && name != field)
        status.ignore(256, '\n');
    status >> kilobytes;
    return kilobytes * 1024;
}

} // namespace

bool resetPeakMemory()
{
    // 5 in clear_refs sets the peak resident size (VmHWM) back to the present one (VmRSS).
    bool reset = bool(std::ofstream("/proc/self/clear_refs") << "5");
    residentAtReset = statusBytes("VmRSS:");
    return reset;
}

uint64_t peakMemoryGrowth()
{
    return statusBytes("VmHWM:") - residentAtReset;
}
