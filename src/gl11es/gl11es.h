// gl11es: the OpenGL 1.1 and GLU calls this program makes, answered over
// OpenGL ES 2.0 (and so over WebGL 1).
//
// The program keeps calling glBegin, glVertex3f, glCallList, gluPerspective
// and the rest through <GL/gl.h> and <GL/glu.h>; a build that links this
// library instead of libGL and libGLU gets them from here, with GL 1.1's
// meaning. Only the subset the show uses is here: any other value of a
// supported call stops a debug build with a message naming it.
//
// Use: make an ES 2.0 context current, then call gl11esLoad with the
// context's proc-address function (SDL_GL_GetProcAddress, eglGetProcAddress,
// emscripten_webgl_get_proc_address). Main thread only, one context at a time.
// Under emscripten, build without threads: emscripten_webgl_get_proc_address
// then gives WebGL's own functions (with threads it would give back GL names,
// which here are the layer's).
#pragma once

#include <cstdint>

// Loads the ES 2.0 functions through getProcAddress and starts from GL's
// initial state, as a new context does: every object of an earlier context
// (shaders, buffers, display lists, what is known of textures) is forgotten,
// not deleted, since that context is gone. Stops the program with a message
// when a function cannot be loaded.
void gl11esLoad(void* (*getProcAddress)(const char* name));

// How many ES 2.0 calls the layer has made since the program started: the
// calls that reach the driver.
uint64_t gl11esDriverCalls();

// How many GL 1.1 and GLU calls the program has made to the layer since it
// started: as many as reach the driver when the system's OpenGL answers them.
uint64_t gl11esShowCalls();
