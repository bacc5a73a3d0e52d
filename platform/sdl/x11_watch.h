// Watches the X11 window under an SDL window for being destroyed from outside (xdotool
// windowclose, a window manager's kill): that is a quit, not an X error that ends the process.
// Kept apart from platform.h, whose Window would clash with X11's.
#pragma once

#include <SDL.h>

// Takes over X11's error handler while the window lives, when SDL runs on X11 (else nothing).
void watchX11Window(SDL_Window* window);
// Gives the error handler back: after the window is destroyed, before SDL's video quits.
void unwatchX11Window();
// True for the SDL_SYSWMEVENT that reports the watched window destroyed.
bool isX11WindowDestroyed(const SDL_Event& event);
// True once the window is gone: destroyed, or an X request on it failed for that reason.
bool x11WindowLost();
