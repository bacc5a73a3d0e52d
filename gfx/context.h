// The graphics context: device, queue, the ring of three frame slots, the swap chain (or an
// offscreen back buffer when headless) and deferred release. One per process; the demo owns it.
#pragma once

#include "core/array.h"
#include "gfx/frame_ring.h"
#include "gfx/resources.h"
#include "platform/platform.h"

#include <cstdint>

struct CommandList;
struct VulkanContext; // instance, device, queue, swapchain: defined in gfx/vk_internal.h

struct FrameContext {
    CommandList* commandList;                 // open between beginFrame and endFrame
    uint64_t index;                           // 0, 1 or 2
    DynamicArray<Image*> pendingImageUploads; // copied at this slot's next beginFrame
    DynamicArray<Buffer*> pendingBufferUploads;
};

constexpr uint32_t backBufferLimit = 8;

// A buffer or image the device could not make.
enum class AllocationFailureKind { TooLarge, OutOfMemory };
struct AllocationFailure {
    AllocationFailureKind kind;
    uint32_t width, height;  // the image's pixels; 0 x 0 for a buffer
    uint64_t bytes;          // the memory asked for; 0 when it was not asked
    uint32_t imageSizeLimit; // the device's largest image side, pixels
};
using AllocationFailureReport = void (*)(const AllocationFailure& failure, void* userData);

struct GraphicsOptions {
    bool headless = false;   // no window: an offscreen RGBA8 back buffer of width x height
    uint32_t width = 1920;   // headless size; a window takes the screen's size
    uint32_t height = 1080;
    bool validation = false; // Khronos validation layer; every message is logged and counted
    WindowShape window = {};  // the piece's covers the display, the edit mode's is framed
    // What a failed allocation does. Unset, it is the PANIC with the system's message (the
    // piece); a tool reports it its own way, and its report must end the process.
    AllocationFailureReport allocationFailureReport = nullptr;
    void* allocationFailureData = nullptr; // handed to the report
};

struct RenderApp {
    virtual ~RenderApp();

    VulkanContext* vulkan = nullptr;
    Window* window = nullptr;
    uint32_t width = 0, height = 0; // window, swap chain and back buffers, pixels
    FrameRing ring;                 // fence values, slot states, release lists, counters
    FrameContext frames[frameCount] = {};
    // Back buffers are Image records whose tracked state starts at PRESENT; the demo moves
    // them between PRESENT and RENDER_TARGET itself.
    Image backBuffers[backBufferLimit] = {};
    uint32_t backBufferCount = 0;
    uint64_t currentBackBuffer = 0;
    WindowState windowState;       // mouse, wheel, quit
    uint64_t validationErrors = 0; // validation messages of error severity (validation on)
};

// Creates window (unless headless), device, queue, frame slots and swap chain; any failure is
// a PANIC with the system's message.
void initGraphics(RenderApp& app, const GraphicsOptions& options = {});
// Whether a frame shows anything: a frame of work alone (stepping the simulation) takes no
// back buffer from the window and presents nothing, so it never waits for the display.
enum class FrameOutput { Screen, None };

// Waits for the slot, releases what its fence now protects, records the pending uploads and
// returns the slot with its command list open.
FrameContext* beginFrame(RenderApp& app, FrameOutput output = FrameOutput::Screen);
// Submits the slot, presents (windowed, a Screen frame) and advances the ring.
void endFrame(RenderApp& app);
void waitForAllFrames(RenderApp& app);
void destroyGraphics(RenderApp& app);
// The object is destroyed once the GPU has finished every frame that can use it.
void deferRelease(RenderApp& app, ReleaseEntry entry);

// The back buffer to render into this frame (between beginFrame and endFrame).
Image* currentBackBuffer(RenderApp& app);
// The DXGI format of the back buffers: R8G8B8A8_UNORM, or B8G8R8A8_UNORM where the surface
// offers only that. Pipelines that draw into the back buffer are built with it.
uint32_t backBufferFormat(const RenderApp& app);
// The device's name as its driver gives it ("llvmpipe (LLVM 15.0.6, 256 bits)"); for reports.
const char* graphicsDeviceName(const RenderApp& app);
// Message pump: updates the input state, mouse, wheel and quit (Escape, window close).
void pumpMessages(RenderApp& app, InputState& input);
// Reads the headless back buffer (tightly packed RGBA8 rows) after waiting for all frames;
// empty when the CPU block cannot be allocated. Records and submits a frame of its own.
DynamicArray<uint8_t> readBackBuffer(RenderApp& app);
