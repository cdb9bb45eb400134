#include <SDL.h>

#include "sdl_gl_profile.h"

// SDL's default context is the system's OpenGL, whose functions the program
// links directly: SDL makes it, and nothing is loaded into it.
uint32_t sdlGlAskProfile() { return SDL_WINDOW_OPENGL; }

void* sdlGlCreateContext(SDL_Window* window) { return SDL_GL_CreateContext(window); }

bool sdlGlMakeCurrent(SDL_Window* window, void* context) { return SDL_GL_MakeCurrent(window, context) == 0; }

void* sdlGlCurrentContext() { return SDL_GL_GetCurrentContext(); }

SDL_Window* sdlGlCurrentWindow() { return SDL_GL_GetCurrentWindow(); }

bool sdlGlSwapInterval(int interval) {
  return SDL_GL_SetSwapInterval(interval) == 0 && SDL_GL_GetSwapInterval() == interval;
}

void sdlGlDeleteContext(void* context) { SDL_GL_DeleteContext(context); }

void sdlGlSwap(SDL_Window* window) { SDL_GL_SwapWindow(window); }

void sdlGlWindowGone(SDL_Window*) {}
