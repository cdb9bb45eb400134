// The scene director: picks the scene from the music's playing time and
// advances the animation counters once per drawn frame.
//
// Two clocks: scene changes follow the music (whole seconds); motion inside a
// scene follows the frame count, so it runs faster on a faster machine.
//
// Main thread only, with the show's rendering context current. The state
// lives for the whole run and survives window re-creation.
#pragma once

#include <cstdint>

// Scene drawn by the next frame: 0, 1, 6, 2, 3, 4, 5, 7 in show order.
extern uint32_t sceneState;
// Music playing time in whole seconds, read at the start of every frame.
extern float musicSeconds;
// +1.5 per frame: degrees for rotations, radians for sines.
extern float frameCounter;
// +1.2 per frame: degrees, used by the opening scene's spin.
extern float spinAngle;

// The scene for the next frame after a frame at `seconds` (whole seconds) of
// music drawn in scene `current`: `current` kept at 10 s or less, else the
// scene the timeline names for that time. Any thread.
uint32_t nextSceneState(float seconds, uint32_t current);

// Clears the frame, draws the current scene, picks the next scene from the
// music time of musicModule and advances the counters. Always returns 1.
int renderFrame();
