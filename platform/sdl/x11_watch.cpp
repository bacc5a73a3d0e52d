// The X11 window under SDL, watched for being destroyed from outside or losing its display (see
// x11_watch.h). SDL keeps making requests on a window it does not know is gone; Xlib's default
// handlers would print "BadWindow" or "XIO: fatal IO error" and exit with code 1 in the middle
// of a frame, with no shutdown at all.
#include "platform/sdl/x11_watch.h"

#include "core/log.h"

#include <SDL_syswm.h>

#include <atomic>

namespace {

// Process-wide because Xlib's error handler takes no user data. The handler may run on any
// thread that talks to the display (the Vulkan driver's presentation included).
struct X11Watch {
    Display* display = nullptr;
    ::Window window = 0; // the X window, 0 when nothing is watched
    XErrorHandler previous = nullptr;
    XIOErrorHandler previousIo = nullptr;
    std::atomic<bool> lost{false};
    std::atomic<bool> displayLost{false}; // the connection to the X server broke
};
X11Watch watch;

int onX11Error(Display* display, XErrorEvent* error)
{
    // Errors about the window itself, or any window or drawable once it is known to be gone
    // (what was made on it, as the driver's presentation images), mean it went away.
    bool missing = error->error_code == BadWindow || error->error_code == BadDrawable;
    if (watch.window && missing && (error->resourceid == watch.window || watch.lost.load())) {
        watch.lost.store(true);
        return 0;
    }
    return watch.previous ? watch.previous(display, error) : 0;
}

// Xlib calls this, then the display's exit handler, for every call that finds the connection
// broken, on whichever thread made it; once Xlib has marked the display, it sends nothing more.
int onX11IoError(Display* display)
{
    if (display != watch.display)
        return watch.previousIo ? watch.previousIo(display) : 0;
    watch.lost.store(true);
    if (!watch.displayLost.exchange(true))
        logMessage("kivrel: the display connection was lost (X server %s gone); quitting\n", DisplayString(display));
    return 0;
}

// Returning, where Xlib's default exits, lets the frame finish and the main loop quit in order.
void returnFromX11IoError(Display*, void*) {}

} // namespace

void watchX11Window(SDL_Window* window)
{
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11)
        return;
    watch.display = info.info.x11.display;
    watch.window = info.info.x11.window;
    watch.lost.store(false);
    watch.displayLost.store(false);
    watch.previous = XSetErrorHandler(onX11Error);
    watch.previousIo = XSetIOErrorHandler(onX11IoError);
    XSetIOErrorExitHandler(watch.display, returnFromX11IoError, nullptr);
    // DestroyNotify reaches the pump only as a window-manager event.
    SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
}

void unwatchX11Window()
{
    if (!watch.window)
        return;
    // A lost display keeps both handlers: SDL never closes it (see destroyWindow), and a call
    // that still reaches it must not end the process.
    if (watch.displayLost.load()) {
        watch.window = 0;
        return;
    }
    // SDL puts back Xlib's default handler before it closes the display: the errors of
    // destroying a window that is gone must arrive while this one still answers.
    XSync(watch.display, False);
    XSetErrorHandler(watch.previous);
    XSetIOErrorHandler(watch.previousIo);
    watch.display = nullptr;
    watch.window = 0;
    watch.previous = nullptr;
    watch.previousIo = nullptr;
}

bool isX11WindowDestroyed(const SDL_Event& event)
{
    if (event.type != SDL_SYSWMEVENT || !watch.window || event.syswm.msg->subsystem != SDL_SYSWM_X11)
        return false;
    const XEvent& x = event.syswm.msg->msg.x11.event;
    if (x.type != DestroyNotify || x.xdestroywindow.window != watch.window)
        return false;
    watch.lost.store(true);
    return true;
}

bool x11WindowLost()
{
    return watch.lost.load();
}

bool x11DisplayLost()
{
    return watch.displayLost.load();
}
