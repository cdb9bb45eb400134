// The small drawing routines of the scenes: the textured backdrop quad, the
// cube (compiled into a display list or drawn directly) and the flash quad.
// They draw under the caller's matrix and state except where noted.
//
// Main thread only, with the show's rendering context current. The cube
// commands as data (cubeCommands) need no context.
#pragma once

#include <GL/gl.h>

#include <cstdint>

// Half edge of the cube in world units; 1 at start, rewritten by the flash
// scene (may be zero or negative: the cube then collapses or turns inside out).
extern float cubeHalfSize;

// Display-list name of the cube; 0 until the first build gets one.
extern GLuint cubeList;

// The backdrop spans x -12..12, y -9..9 and lies at z = +12 (the half width).
extern const float backdropHalfWidth;
extern const float backdropHalfHeight;

// One command of the cube's GL_QUADS block: a glColor3f, glNormal3f or
// glVertex3f with its three arguments.
enum CubeCommandKind : uint8_t { kCubeColor, kCubeNormal, kCubeVertex };
struct CubeCommand {
  CubeCommandKind kind;
  float x, y, z;
};
// Six faces of one normal and four vertices each, and a colour before faces 2 to 6.
constexpr int kCubeCommandCount = 6 * 5 + 5;

// Fills `out` with the cube's commands for half edge `halfSize` and animation
// counter `frameCount` (radians for the face colours' sines). Any thread.
void cubeCommands(float halfSize, float frameCount, CubeCommand out[kCubeCommandCount]);

// Draws the 24 x 18 backdrop quad in white with textures[slot] bound. A slot
// outside 0..5 binds texture 0 (no image) instead of reading past the table.
void drawBackdrop(int slot);

// Compiles the cube, with the current cubeHalfSize and frameCounter, into
// cubeList without drawing it; takes a list name on first use. If GL gives
// no name the list is left uncompiled and a name is asked for next time.
void buildCubeList();

// Draws the cube directly with the current cubeHalfSize and frameCounter.
void drawCube();

// Draws the white 20 x 20 flash quad (yellow upper right corner), untextured
// and unlit, at depth flashDepth under a fresh modelview matrix, then puts
// flashDepth back to its resting depth of -20.
void drawFlashQuad();
