// The torus tube: a ring-shaped tube of main radius 1 around the z axis,
// made of one triangle strip per step of its cross-section. Each mesh point
// is emitted as three vertices at radial factors 0.5, 0.2 and 0.7, and each
// vertex is followed by a texture coordinate equal to its own position, so
// the texture is laid on by position and lags one vertex behind.
//
// Main thread only, with the show's rendering context current. The strip
// data (torusStripVertices) needs no context.
#pragma once

struct TorusVertex {
  float x, y, z;  // world units, under the caller's modelview transform
};

// Vertices in one strip for `segments` steps around the main circle:
// six per step, steps 0 to segments inclusive; 0 when segments < 1.
int torusStripVertexCount(int segments);

// Fills `out` (torusStripVertexCount(segments) entries) with the vertices of
// strip `strip` (0 <= strip < rings) in the order they are drawn. Any thread.
void torusStripVertices(int strip, int rings, int segments, TorusVertex* out);

// Binds textures[2] and draws the tube with the current colour and modes.
// Leaves the texture coordinate at the last vertex's position. rings <= 0 or
// segments < 1 draws nothing (the texture is still bound).
void drawTorusTube(int rings, int segments);
