// The fixed OpenGL state of a new rendering context: textures, music start,
// shading, clear values, additive blending, light 0 and the fog parameters.
//
// Main thread only, with the show's rendering context current.
#pragma once

// Fog colour: black, opaque (RGBA, 0..1).
extern const float fogColor[4];

// Makes the texture set, starts the music and sets the GL state that no frame
// sets again. Returns 1, or 0 when the texture set failed (then neither the
// music nor any GL state has been touched). A failed music start ends the
// process inside the music code.
int initRenderState();

// Makes the texture set and the GL state again in a new context that
// replaces a lost one, as initRenderState does, the music playing on. Returns
// 1, or 0 when the texture set failed.
int remakeRenderState();

// Sets linear fog from 0 to 20 eye units towards fogColor; does not enable fog.
void setupFog();
