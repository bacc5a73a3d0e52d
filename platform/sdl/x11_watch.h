// Watches the X11 window under an SDL window for being destroyed from outside (xdotool
// windowclose, a window manager's kill) or its display lost (the X server gone): that is a
// quit, not an X error that ends the process.
// Kept apart from platform.h, whose Window would clash with X11's.
#pragma once

#include <SDL.h>

// Takes over X11's error handler while the window lives, when SDL runs on X11 (else nothing).
void watchX11Window(SDL_Window* window);
// Gives the error handler back: after the window is destroyed, before SDL's video quits.
void unwatchX11Window();
// True for the SDL_SYSWMEVENT that reports the watched window destroyed.
bool isX11WindowDestroyed(const SDL_Event& event);
// True once the window is gone: destroyed, an X request on it failed for that reason, or the
// connection to the X server broke.
bool x11WindowLost();
// True once the connection to the X server broke: nothing more reaches the server, and SDL's
// teardown, which still makes requests, must not run.
bool x11DisplayLost();
