// What the shell calls of the renderer. Main thread, with the window's GL
// context current.
#pragma once

// Sets up the render state of a new GL context (textures, music, fixed state).
// Returns nonzero on success.
int initRenderState();

// Draws one frame into the back buffer. The result is not looked at.
int renderFrame();
