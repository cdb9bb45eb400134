// An OpenGL context with no display and no window: EGL on Mesa's surfaceless
// platform, drawing into a framebuffer object of the asked size. Used by the
// capture program and by the tests that draw for real. Two implementations,
// chosen by the build: a compatibility context for the system's OpenGL
// (offscreen_gl.cpp), or an OpenGL ES 2.0 context with the gl11es layer
// loaded into it (offscreen_gl_es2.cpp).
// Set LIBGL_ALWAYS_SOFTWARE=1 to pin it to llvmpipe (bit-exact output).
//
// Main thread only; one context at a time.
#pragma once

#include <cstdint>

// Creates the context, makes it current and binds a colour + 16-bit depth
// framebuffer of width x height. Returns false (with a line on standard error
// saying why) when EGL, the context or a framebuffer of that size cannot be had.
bool offscreenGlOpen(int width, int height);

// Reads the framebuffer as RGB bytes, top row first, width x height x 3.
void offscreenGlRead(uint8_t* rgb);

// Waits until everything drawn so far is in the framebuffer.
void offscreenGlFinish();

// The GL implementation's renderer string, e.g. "llvmpipe (LLVM 15.0.6, 256 bits)".
const char* offscreenGlRenderer();

// With `skip`, drawing changes no pixel (a scissor box of nothing) until it
// is called again without.
void offscreenGlSkipDrawing(bool skip);

// Releases the framebuffer, the context and the display. Safe when not open.
void offscreenGlClose();
