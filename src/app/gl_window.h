// The show window's life: window class, window, device, pixel format,
// rendering context, and in fullscreen the display mode and hidden cursor.
// Main thread only.
#pragma once

#include "platform.h"

// Handles, each null while not held.
extern PlatformInstance* instanceHandle;
extern PlatformWindow* windowHandle;
extern PlatformDevice* deviceContext;  // buffers are swapped on it
extern PlatformGlContext* renderingContext;
// The pixel format asked for; its colour and depth bits are filled by the
// first openGlWindow and kept for every later one.
extern PlatformPixelFormat pixelFormatRequest;

// Opens a window of client size width x height with its GL context current,
// fullscreen (display mode width x height) or framed, and sets up the render
// state. On failure tears down what exists, says why in a box and returns
// false; isFullscreen then holds the last decision.
bool openGlWindow(const char* title, int width, int height, int bits, bool fullscreen);

// Replaces the open window's rendering context, once platformGlContextLost
// says it is lost, with a new current one, and makes the projection and the
// render state (textures, GL state) again; the music plays on. On failure
// tears down what exists, says why in a box and returns false.
bool remakeGlContext();

// Releases whatever is held, in reverse order, and gives the desktop its
// display mode back; a failing release is reported in a box and the rest still
// runs. Every handle is null afterwards. Safe with any subset held.
void closeGlWindow();
