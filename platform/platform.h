// The operating system as the rest of the program sees it. Implemented once per
// platform folder (platform/sdl on Linux); nothing above this header calls the OS.
#pragma once

#include <cstddef>

// >>system services (no dependency on core: core's diagnostics stand on these)

// Hands a finished log line to the debugger's output channel, if there is one.
void debugOutput(const char* text);
bool isDebuggerAttached();
// Breakpoint trap, raised only while a debugger is attached (it would end the process otherwise).
void debugBreakIfAttached();
[[noreturn]] void exitProcess(int exitCode);

// Monotonic clock in milliseconds.
double nowMilliseconds();

// Creates or truncates the file and writes the bytes in one call.
enum class FileWriteResult { ok, openFailed, writeFailed };
FileWriteResult writeWholeFile(const char* path, const void* bytes, size_t size);

// >>window and input (platform/<name>/window.cpp; the rules in platform/input.cpp)

#include <cstdint>

// Held and newly pressed keys (indexed by the Windows virtual-key code, Escape = 0x1B) and
// mouse buttons (0 left, 1 middle, 2 right). Pressed is true only in the frame the key or
// button went down.
struct InputState {
    uint8_t keyDown[512];
    uint8_t keyPressed[512];
    uint8_t mouseDown[3];
    uint8_t mousePressed[3];
};

struct WindowState {
    float mouseX = 0, mouseY = 0; // client pixels
    float wheel = 0;              // notches this frame
    bool quit = false;
};

// One window message, as the pump sees it.
struct InputEvent {
    enum Type : uint32_t { KeyDown, KeyUp, ButtonDown, ButtonUp, MouseMove, Wheel, Quit, Other };
    Type type;
    uint32_t code; // key: virtual-key code (low byte used); button: 0, 1, 2
    float x, y;    // mouse position, or wheel notches in x
};

// Start of a frame's pump: pressed flags and wheel cleared.
void beginInputFrame(InputState& input, WindowState& window);
// Applies one message; false means the pump stops for this frame (wheel, quit) and the
// remaining messages wait for the next frame.
bool applyInputEvent(InputState& input, WindowState& window, const InputEvent& event);
// End of a frame's pump: Escape pressed in this frame sets quit.
void endInputFrame(const InputState& input, WindowState& window);

struct Window; // the platform's window, opaque

// A borderless window covering the primary display, titled `title`; no display is a PANIC.
Window* createWindow(const char* title);
void destroyWindow(Window*& window);
void windowSize(Window* window, uint32_t* width, uint32_t* height);
// Drawable size now (0 x 0 while minimised).
void windowDrawableSize(Window* window, uint32_t* width, uint32_t* height);
// One frame's message pump with the rules above.
void pumpWindowMessages(Window* window, InputState& input, WindowState& state);
void setCursorVisible(Window* window, bool visible);
// Vulkan instance extensions the window needs (names valid while the window lives).
const char* const* windowVulkanExtensions(Window* window, uint32_t* count);
// Creates a VkSurfaceKHR for the window on a VkInstance; both passed as opaque handles.
bool createWindowSurface(Window* window, void* instance, uint64_t* surface);
