// What the SDL platform (platform_sdl.cpp) asks of the window system under
// SDL's video driver. The build picks the file: sdl_window_system_x11.cpp on
// Linux (X11 or Wayland), sdl_window_system_windows.cpp on Windows.
// Main thread only.
#pragma once

#include <SDL.h>

// Whether a display is named for SDL's video to try (on Linux an X or a
// Wayland display in the environment; Windows always has its desktop).
// Without one the platform does not start SDL's video, whose Wayland library
// would complain on standard error.
bool windowSystemNamed();

// SDL's video has started with `driver`. On X11 a window destroyed by another
// program shows up as its DestroyNotify or as X errors on it: from now on the
// window-system events are delivered (SDL_SYSWMEVENT), and errors on the
// show's connection are handled (see windowSystemWindowLost) rather than
// ending the process (framed) or hanging it (fullscreen, where SDL's own
// handler would switch the mode back from inside the failing call).
void windowSystemStarted(const char* driver);

// The window system's id of `window` (its X window), 0 where the platform
// tracks none.
unsigned long windowSystemId(SDL_Window* window);

// A window-system event (SDL_SYSWMEVENT): one telling that a window of the
// show was destroyed marks that window lost (markWindowLost).
void windowSystemEvent(const SDL_Event& event);

// Whether another program destroyed a window of the show. The show is then on
// its way out; the errors its teardown meets are ignored, and the display
// mode is given back over the desktop guard's own connection.
bool windowSystemWindowLost();

// Given by platform_sdl.cpp: marks the show's window with the window system's
// id `nativeId` lost (nothing is drawn to it any more; its close request is
// posted once). Returns false when no window of the show has that id.
bool markWindowLost(unsigned long nativeId);
