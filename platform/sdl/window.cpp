// The window, its message pump and its Vulkan surface on SDL2. The pump's rules are in
// platform/input.cpp; this file only translates SDL events into InputEvents. A window that
// goes away (closed, destroyed from outside, its display lost) is a quit. With the edit mode's
// UI on, ImGui's SDL backend sees every event too (platform/window_ui.h).
#include "platform/platform.h"
#include "platform/window_ui.h"

#include "core/log.h"
#include "platform/sdl/x11_watch.h"

#include <SDL.h>
#include <SDL_vulkan.h>
#include <imgui_impl_sdl.h>

#include <cstring>

struct Window {
    SDL_Window* window;
    const char* extensions[8];
    uint32_t extensionCount;
    bool feedsUi; // between startWindowUi and stopWindowUi
};

namespace {

// SDL key -> Windows virtual-key code (the index of InputState's key arrays); 0 = not mapped.
uint32_t virtualKey(SDL_Keycode key)
{
    if (key >= SDLK_a && key <= SDLK_z)
        return 'A' + uint32_t(key - SDLK_a);
    if (key >= SDLK_0 && key <= SDLK_9)
        return '0' + uint32_t(key - SDLK_0);
    if (key >= SDLK_F1 && key <= SDLK_F12)
        return 0x70 + uint32_t(key - SDLK_F1);
    switch (key) {
    case SDLK_ESCAPE: return 0x1B;
    case SDLK_RETURN: return 0x0D;
    case SDLK_SPACE: return 0x20;
    case SDLK_TAB: return 0x09;
    case SDLK_BACKSPACE: return 0x08;
    case SDLK_LEFT: return 0x25;
    case SDLK_UP: return 0x26;
    case SDLK_RIGHT: return 0x27;
    case SDLK_DOWN: return 0x28;
    case SDLK_LSHIFT:
    case SDLK_RSHIFT: return 0x10;
    case SDLK_LCTRL:
    case SDLK_RCTRL: return 0x11;
    default: return 0;
    }
}

uint32_t buttonIndex(uint8_t button)
{
    return button == SDL_BUTTON_LEFT ? 0 : button == SDL_BUTTON_MIDDLE ? 1 : button == SDL_BUTTON_RIGHT ? 2 : 3;
}

InputEvent translate(const SDL_Event& event)
{
    InputEvent input = {InputEventType::Other, 0, 0, 0};
    switch (event.type) {
    case SDL_QUIT: input.type = InputEventType::Quit; break;
    case SDL_WINDOWEVENT:
        if (event.window.event == SDL_WINDOWEVENT_CLOSE)
            input.type = InputEventType::Quit;
        break;
    case SDL_SYSWMEVENT:
        if (isX11WindowDestroyed(event))
            input.type = InputEventType::Quit;
        break;
    case SDL_KEYDOWN:
    case SDL_KEYUP:
        input.code = virtualKey(event.key.keysym.sym);
        if (input.code)
            input.type = event.type == SDL_KEYDOWN ? InputEventType::KeyDown : InputEventType::KeyUp;
        break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
        input.type = event.type == SDL_MOUSEBUTTONDOWN ? InputEventType::ButtonDown : InputEventType::ButtonUp;
        input.code = buttonIndex(event.button.button);
        break;
    case SDL_MOUSEMOTION:
        input.type = InputEventType::MouseMove;
        input.x = float(event.motion.x);
        input.y = float(event.motion.y);
        break;
    case SDL_MOUSEWHEEL:
        input.type = InputEventType::Wheel;
        input.x = event.wheel.preciseY; // notches
        break;
    default: break;
    }
    return input;
}

} // namespace

Window* createWindow(const char* title, const WindowShape& shape)
{
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0)
        PANIC("PANIC: Failed to create window: no display could be opened (%s)\n", SDL_GetError());
    // Without a display SDL settles for a video driver that shows nothing.
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!driver || std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0)
        PANIC("PANIC: Failed to create window: no display could be opened (SDL found only its \"%s\" video "
              "driver; is DISPLAY set?)\n",
              driver ? driver : "");
    SDL_DisplayMode mode;
    if (SDL_GetDesktopDisplayMode(0, &mode) != 0)
        PANIC("PANIC: Failed to create window: %s\n", SDL_GetError());
    // The piece: a borderless window the size of the primary display; the swapchain stays
    // windowed. The edit mode: a normal resizable one.
    SDL_Window* window =
        shape.framed ? SDL_CreateWindow(title, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, int(shape.width),
                                        int(shape.height), SDL_WINDOW_RESIZABLE | SDL_WINDOW_VULKAN | SDL_WINDOW_SHOWN)
                     : SDL_CreateWindow(title, 0, 0, mode.w, mode.h,
                                        SDL_WINDOW_BORDERLESS | SDL_WINDOW_VULKAN | SDL_WINDOW_SHOWN);
    if (!window)
        PANIC("PANIC: Failed to create window: %s\n", SDL_GetError());
    watchX11Window(window);
    Window* result = new Window{};
    result->window = window;
    unsigned int count = 8;
    if (!SDL_Vulkan_GetInstanceExtensions(window, &count, result->extensions))
        PANIC("PANIC: Failed to create window: %s\n", SDL_GetError());
    result->extensionCount = count;
    return result;
}

void destroyWindow(Window*& window)
{
    if (!window)
        return;
    // On a lost display SDL's teardown would still make X requests: Xlib no longer sends them
    // and fails them once its buffer is full, which XWithdrawWindow and libXi do not survive.
    // The server took the window with it, and the process ends next.
    bool displayLost = x11DisplayLost();
    if (!displayLost)
        SDL_DestroyWindow(window->window);
    delete window;
    window = nullptr;
    unwatchX11Window();
    if (!displayLost)
        SDL_QuitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS);
}

void windowSize(Window* window, uint32_t* width, uint32_t* height)
{
    int w = 0, h = 0;
    SDL_GetWindowSize(window->window, &w, &h);
    *width = uint32_t(w);
    *height = uint32_t(h);
}

void windowDrawableSize(Window* window, uint32_t* width, uint32_t* height)
{
    int w = 0, h = 0;
    if (SDL_GetWindowFlags(window->window) & SDL_WINDOW_MINIMIZED) {
        *width = *height = 0;
        return;
    }
    SDL_Vulkan_GetDrawableSize(window->window, &w, &h);
    *width = uint32_t(w);
    *height = uint32_t(h);
}

bool windowShown(Window* window)
{
    return !(SDL_GetWindowFlags(window->window) & (SDL_WINDOW_MINIMIZED | SDL_WINDOW_HIDDEN));
}

void pumpWindowMessages(Window* window, InputState& input, WindowState& state)
{
    beginInputFrame(input, state);
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        if (window->feedsUi)
            ImGui_ImplSDL2_ProcessEvent(&event);
        if (!applyInputEvent(input, state, translate(event)))
            break; // the rest waits for the next frame
    }
    endInputFrame(input, state);
    if (x11WindowLost())
        state.quit = true;
}

void setCursorVisible(Window*, bool visible)
{
    SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE);
}

const char* const* windowVulkanExtensions(Window* window, uint32_t* count)
{
    *count = window->extensionCount;
    return window->extensions;
}

bool createWindowSurface(Window* window, void* instance, uint64_t* surface)
{
    VkSurfaceKHR result = nullptr;
    if (!SDL_Vulkan_CreateSurface(window->window, static_cast<VkInstance>(instance), &result))
        return false;
    *surface = uint64_t(result);
    return true;
}

// >>the edit mode's UI

void startWindowUi(Window* window)
{
    if (!ImGui_ImplSDL2_InitForVulkan(window->window))
        PANIC("PANIC: Failed to start the UI on the window\n");
    window->feedsUi = true;
}

void beginWindowUiFrame(Window*)
{
    ImGui_ImplSDL2_NewFrame();
}

void stopWindowUi(Window* window)
{
    window->feedsUi = false;
    // The backend frees its cursors through X requests: on a lost display they stay, as the
    // window does (destroyWindow).
    if (!x11DisplayLost())
        ImGui_ImplSDL2_Shutdown();
}
