// The wave grid: a 33 x 33 grid of points wrapped into a textured, fogged
// tunnel that recedes from the viewer. Row i gives the angle around the
// tunnel, column j the depth (a ring at z = -j whose radius shrinks from 3 to
// 1/3). Its centre line sways and its texture swirls with a clock taken from
// the music; the mouth ring stays centred.
//
// Main thread only, with the show's rendering context current. The clock and
// the tables as data (gridClock, fillGridTables) need no context.
#pragma once

#include <cstdint>

constexpr int kGridSize = 33;       // rows and columns used: 0 to 32
constexpr int kGridRowStride = 36;  // entries declared per row

struct GridTexCoord {
  float u, v;  // texture widths; u spans about -0.5..1.5 (the texture repeats)
};
struct GridVertex {
  float x, y, z;  // world units under the grid's own modelview matrix
};

// Clock of the effect, about 40 units per second of music; recomputed at the
// start of every draw.
extern float gridTime;
// Music time in milliseconds of the previous draw's second reading; 0 at start.
extern uint32_t gridLastMusicTime;
// Rewritten completely by every draw before anything is drawn from them.
extern GridTexCoord gridTexCoords[kGridRowStride][kGridRowStride];
extern GridVertex gridVertices[kGridRowStride][kGridRowStride];
// Set: the draw ends by choosing outline polygons for what follows; clear:
// filled. Every draw sets it afterwards; the timeline clears it in some scenes.
extern bool gridWireframe;

// The clock from a music time `musicTime` (ms) and the previous reading
// `lastMusicTime` (ms): their unsigned 32-bit (wrapping) sum divided by 50,
// truncated. Any thread.
float gridClock(int32_t musicTime, uint32_t lastMusicTime);

// Fills rows and columns 0..32 of both tables for clock `t`. Any thread.
void fillGridTables(float t, GridTexCoord texCoords[][kGridRowStride], GridVertex vertices[][kGridRowStride]);

// Draws the tunnel in colour (red, green, blue) (not scaled or clamped) with
// textures[4], under its own matrix (the caller's modelview comes back), from
// the music time of musicModule. Leaves fog on, blending off, the colour
// current, and both faces' polygon mode outline if gridWireframe was set on
// entry, else filled; then sets gridWireframe.
void drawWaveGrid(int red, int green, int blue);
