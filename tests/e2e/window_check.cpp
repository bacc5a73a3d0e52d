// e2e check of the windowed graphics context: presents frames cleared to (51, 102, 153) until
// Escape (or closing the window) sets quit, then shuts down and exits 0. A change of the
// back buffers' size (the swapchain made again after a resize) is logged. Exits 2 when the
// frame limit ends it instead, 3 on validation errors. Prints the mean time of one frame
// (record + submit + present) so the cost of an empty frame can be read from the log.
#include "core/log.h"
#include "gfx/commands.h"
#include "gfx/context.h"
#include "gfx/descriptors.h"
#include "gfx/passes.h"

#include <cstdlib>
#include <cstring>

int main(int argc, char** argv)
{
    uint64_t frameLimit = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 3600;
    bool validation = argc > 2 && std::strcmp(argv[2], "--validation") == 0;

    RenderApp app;
    initGraphics(app, {.validation = validation});
    logMessage("window_check: window %ux%u, %u back buffers of format %u\n", app.width, app.height,
               app.backBufferCount, backBufferFormat(app));
    DescriptorHeap* rtvHeap = createDescriptorHeap(app, HEAP_RTV, 1, HEAP_FLAG_NONE);
    InputState input = {};
    const float colour[4] = {0.2f, 0.4f, 0.6f, 1.0f}; // 51, 102, 153 in 8 bits

    uint32_t width = app.width, height = app.height;
    double frameMilliseconds = 0.0;
    uint64_t frames = 0;
    while (!app.windowState.quit && frames < frameLimit) {
        pumpMessages(app, input);
        if (app.windowState.quit)
            break;
        double start = nowMilliseconds();
        FrameContext* frame = beginFrame(app);
        Image* backBuffer = currentBackBuffer(app);
        rtvHeap->used = 0;
        DescriptorTable view = allocateDescriptors(*rtvHeap, 1);
        writeRenderTargetView(view, backBuffer, backBuffer->format);
        transitionNow(frame->commandList, backBuffer, STATE_RENDER_TARGET);
        clearRenderTarget(frame->commandList, view.cpuHandle, colour);
        transitionNow(frame->commandList, backBuffer, STATE_PRESENT);
        endFrame(app);
        frameMilliseconds += nowMilliseconds() - start;
        frames += 1;
        if (frames == 30)
            logMessage("window_check: presenting\n");
        if (app.width != width || app.height != height) {
            // The swapchain was made again at the window's new size.
            width = app.width;
            height = app.height;
            logMessage("window_check: back buffers now %ux%u\n", width, height);
        }
    }
    bool quit = app.windowState.quit;
    waitForAllFrames(app);
    destroyDescriptorHeap(app, rtvHeap);
    destroyGraphics(app);
    logMessage("window_check: %llu frames, %.3f ms per empty frame (record + submit + present)\n",
               (unsigned long long)frames, frames ? frameMilliseconds / double(frames) : 0.0);
    if (app.validationErrors)
        return 3;
    return quit ? 0 : 2;
}
