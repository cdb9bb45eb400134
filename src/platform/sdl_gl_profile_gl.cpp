#include "sdl_gl_profile.h"

// SDL's default context is the system's OpenGL, whose functions the program
// links directly: nothing to ask, nothing to load.
void sdlGlAskProfile() {}

void sdlGlContextMade() {}
