// The kind of OpenGL context the SDL window system asks for, chosen by the
// build: the system's OpenGL (sdl_gl_profile_gl.cpp) or OpenGL ES 2.0 under
// the gl11es layer (sdl_gl_profile_es2.cpp). Main thread only.
#pragma once

// Sets SDL's context attributes; called before each window is made.
void sdlGlAskProfile();

// Called once a new context is made, while it is current: makes the
// program's GL calls work in it.
void sdlGlContextMade();
