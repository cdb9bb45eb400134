#include <SDL.h>

#include "gl11es.h"
#include "sdl_gl_profile.h"

void sdlGlAskProfile() {
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_ES);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 0);
}

// The layer takes the new context's ES functions and starts from GL's
// initial state, as the show expects of a new context.
void sdlGlContextMade() { gl11esLoad(SDL_GL_GetProcAddress); }
