// The operating system as the layers above core see it: text, threads, the audio device, the
// window with its input and the Vulkan loader. Implemented once per platform folder
// (platform/sdl on Linux, platform/win32 on Windows); nothing above this header calls the OS.
#pragma once

#include "system/system.h"

#include <atomic>
#include <cstddef>
#include <cstdint>

// >>text (the title's font engine: FreeType on Linux, GDI on Windows)

// One font face opened from the bytes of a font file at a character height in pixels
// (the em square, as a negative font height asks of GDI). Opaque to the callers.
struct TextFace;

// Null when the bytes hold no scalable face or the height cannot be set (0 included).
// The bytes must stay alive and unchanged until the face is closed. GDI (Windows) asks the
// system for "Corbel Light" instead and its font mapper picks a substitute where that is
// missing; the bytes only join the process's private fonts, which the mapper may pick.
TextFace* openTextFace(const void* fontBytes, size_t fontSize, uint32_t characterHeight);
void closeTextFace(TextFace*& face);

// Text is one byte a character (Latin-1). The extent of one line as GDI measures it: the
// glyphs' advance widths in whole pixels, summed without kerning, by the face's ascent +
// descent (its Windows metrics when it has them). False when a glyph cannot be loaded.
bool measureText(TextFace* face, const char* text, uint32_t& width, uint32_t& height);

// Draws one line antialiased in white onto a top-down surface of width x height pixels,
// 4 bytes a pixel (B, G, R, unused), with the top-left corner of its measured cell at
// (x, y). The background shows through (transparent mode): a glyph's coverage blends the
// colour bytes towards 255 and the fourth byte is left alone. Whatever falls outside the
// surface is clipped. False when a glyph cannot be loaded or rendered.
bool drawText(TextFace* face, const char* text, int32_t x, int32_t y, uint8_t* surface,
              uint32_t width, uint32_t height);

// >>threads

struct PlatformThread;
// Runs function(argument) on a new thread at the highest priority the system grants it
// (real-time where permitted); null when the thread cannot be created.
PlatformThread* startTimeCriticalThread(int (*function)(void* argument), void* argument);
// Waits without a time limit for the thread to return, then forgets it.
void joinThread(PlatformThread*& thread);
void sleepMilliseconds(uint32_t milliseconds);

// >>audio device
// A wave-out-like output. The caller queues headers that point into its own sample memory;
// the device plays them in the order they were written and hands each back through the done
// function, on the device's own thread. The position counts frames played since opening.

struct AudioFormat {
    uint32_t sampleRate;    // frames per second
    uint32_t channels;      // interleaved
    uint32_t bitsPerSample; // 32: IEEE float, 16: signed PCM; native byte order
};

struct AudioHeader {
    const void* data = nullptr;
    uint32_t bytes = 0;             // whole frames
    std::atomic<uint64_t> user{0};  // the caller's word; the device never touches it
};

struct AudioDevice;
using AudioDoneFunction = void (*)(void* userData, AudioHeader* header);

// True when the default output device takes the format as it is.
bool queryAudioFormat(const AudioFormat& format);
// Opens the default output device, or with silent, an output that plays nothing but consumes
// headers in real time. Null when it cannot be opened.
AudioDevice* openAudioDevice(const AudioFormat& format, AudioDoneFunction done, void* userData, bool silent);
// 0 when the header is queued, otherwise an error code for audioErrorText.
int writeAudioHeader(AudioDevice* device, AudioHeader* header);
// Writes the error's text, cut to capacity and always terminated.
void audioErrorText(int error, char* text, size_t capacity);

// The device's count as a clock. The count moves in steps (a device buffer at a time), and
// what it has taken is heard a latency later.
struct AudioDeviceClock {
    uint64_t frames = 0;        // taken since opening
    double movedAt = 0.0;       // nowMilliseconds() when frames last changed (before that, the opening)
    uint32_t stepFrames = 0;    // frames grows by at most this many at a time
    uint32_t latencyFrames = 0; // taken but not heard yet
};
AudioDeviceClock audioDeviceClock(const AudioDevice* device); // all zero without a device
// Stops output at once; queued headers are dropped without being handed back.
void closeAudioDevice(AudioDevice*& device);

// >>window and input (platform/<name>/window.cpp; the rules in platform/input.cpp)

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
    bool escapeQuits = true;      // the edit mode keeps Escape for its UI
};

// One window message, as the pump sees it.
enum class InputEventType : uint32_t { KeyDown, KeyUp, ButtonDown, ButtonUp, MouseMove, Wheel, Quit, Other };
struct InputEvent {
    InputEventType type;
    uint32_t code; // key: virtual-key code (low byte used); button: 0, 1, 2
    float x, y;    // mouse position, or wheel notches in x
};

// Start of a frame's pump: pressed flags and wheel cleared.
void beginInputFrame(InputState& input, WindowState& window);
// Applies one message; false means the pump stops for this frame (wheel, quit) and the
// remaining messages wait for the next frame.
bool applyInputEvent(InputState& input, WindowState& window, const InputEvent& event);
// End of a frame's pump: Escape pressed in this frame sets quit (where escapeQuits).
void endInputFrame(const InputState& input, WindowState& window);

struct Window; // the platform's window, opaque

// The piece's window covers the primary display without a frame; the edit mode's is a normal
// resizable window of width x height pixels.
struct WindowShape {
    bool framed = false;
    uint32_t width = 0, height = 0; // framed only
};

// A window titled `title` of that shape; no display is a PANIC.
Window* createWindow(const char* title, const WindowShape& shape = {});
void destroyWindow(Window*& window);
void windowSize(Window* window, uint32_t* width, uint32_t* height);
// Drawable size now (0 x 0 while minimised).
void windowDrawableSize(Window* window, uint32_t* width, uint32_t* height);
// False while the window is minimised or hidden (unmapped): nothing presented would be seen.
bool windowShown(Window* window);
// One frame's message pump with the rules above.
void pumpWindowMessages(Window* window, InputState& input, WindowState& state);
void setCursorVisible(Window* window, bool visible);
// Vulkan instance extensions the window needs (names valid while the window lives).
const char* const* windowVulkanExtensions(Window* window, uint32_t* count);
// Creates a VkSurfaceKHR for the window on a VkInstance; both passed as opaque handles.
bool createWindowSurface(Window* window, void* instance, uint64_t* surface);

// >>Vulkan loader (platform/<name>/vulkan.cpp)

// Makes the global Vulkan entry points callable; false when the system has no Vulkan loader.
// Called before anything else of Vulkan, as often as wanted.
bool loadVulkan();
// Points every instance- and device-level entry point at the instance's implementations.
void loadVulkanInstance(void* instance);
