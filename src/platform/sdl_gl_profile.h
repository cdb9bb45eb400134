// The OpenGL contexts of the SDL window system, chosen by the build: the
// system's OpenGL through SDL (sdl_gl_profile_gl.cpp), or OpenGL ES 2.0
// through EGL under the gl11es layer (sdl_gl_profile_es2.cpp). Main thread
// only.
#pragma once

#include <cstdint>

struct SDL_Window;

// The SDL_WINDOW_* flags a window that is drawn in needs; called, with the
// context attributes set, before each window is made.
uint32_t sdlGlAskProfile();

// Makes a context for drawing in `window`, with the program's GL calls
// working in it, and leaves it current on the window; nullptr on failure.
void* sdlGlCreateContext(SDL_Window* window);

// Makes `context` current on `window`; both null releases the current one.
// Returns whether it did.
bool sdlGlMakeCurrent(SDL_Window* window, void* context);

// The current context and its window, or nulls.
void* sdlGlCurrentContext();
SDL_Window* sdlGlCurrentWindow();

// Asks for `interval` retraces per swap in the current context; returns
// whether the driver waits that long.
bool sdlGlSwapInterval(int interval);

// Deletes a context that is not current.
void sdlGlDeleteContext(void* context);

// Shows the window's back buffer.
void sdlGlSwap(SDL_Window* window);

// Forgets what was made for a window that is about to be destroyed.
void sdlGlWindowGone(SDL_Window* window);
