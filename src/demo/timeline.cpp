#include "timeline.h"

#include <GL/gl.h>

#include <cmath>

#include "music.h"
#include "primitives.h"
#include "sound.h"
#include "torus_tube.h"
#include "wave_grid.h"

uint32_t sceneState = 0;
float musicSeconds = 0.0f;
float frameCounter = 0.0f;
float spinAngle = 0.0f;

namespace {

// Camera distance of the scenes that keep the director's matrix.
constexpr float kCameraDistance = -35.0f;

// Backdrop with the logo and a swarm of sixteen lit cubes.
void drawLogoScene(double fc, float sa) {
  glDisable(GL_LIGHTING);
  glColor3f(1.0f, 1.0f, 1.0f);
  glTranslatef(0.0f, float(double(0.1f) * std::sin(fc)), 0.0f);
  drawBackdrop(3);
  glEnable(GL_LIGHTING);
  buildCubeList();
  // Each pass builds on the transform of the pass before. The cubes bind no
  // texture: they show the logo's texels at the backdrop's last coordinate
  // (0, 1), which linear filtering with repeat takes from the four corners.
  const float angle = float(fc);
  for (int pass = 0; pass < 8; ++pass) {
    glEnable(GL_LIGHTING);
    glEnable(GL_BLEND);
    glTranslatef(0.0f, 0.0f, 2.5f);
    glRotatef(angle, 1.0f, 0.0f, 0.0f);
    glRotatef(sa, 0.0f, 1.0f, angle);
    glCallList(cubeList);
    glRotatef(angle, 0.0f, 0.0f, angle);
    glCallList(cubeList);
  }
}

// Backdrop and the red textured torus tube.
void drawTorusScene(double fc) {
  const float angle = float(fc);
  glTranslatef(0.0f, float(double(0.2f) * std::sin(fc / 2)), 0.0f);
  glPolygonMode(GL_BACK, GL_FILL);
  glPolygonMode(GL_FRONT, GL_FILL);
  glTranslatef(0.0f, 0.0f, -5.0f);
  glDisable(GL_LIGHTING);
  drawBackdrop(0);
  glTranslatef(float(2 * std::sin(fc / 20)), 0.0f, float(2 * std::sin(fc / 10) + 30));
  glRotatef(angle, 0.0f, 1.0f, 0.0f);
  glRotatef(angle, 1.0f, 0.0f, 1.0f);
  glRotatef(angle, 1.0f, 0.0f, float(std::sin(fc / 20)));
  glDisable(GL_BLEND);
  glColor3f(5.0f, 0.2f, 0.2f);  // red beyond 1: GL clamps it
  glDisable(GL_LIGHTING);
  drawTorusTube(8, 25);
}

// The credits picture alone.
void drawCreditsScene() {
  glDisable(GL_LIGHTING);
  glColor3f(1.0f, 1.0f, 1.0f);
  gridWireframe = false;
  glPolygonMode(GL_BACK, GL_FILL);
  glPolygonMode(GL_FRONT, GL_FILL);
  glLoadIdentity();
  glTranslatef(0.0f, 0.0f, kCameraDistance);
  drawBackdrop(1);
}

// Flash quad and three unlit cubes drawn over each other.
void drawFlashScene(double fc) {
  const float angle = float(fc);
  drawFlashQuad();
  glLoadIdentity();
  glTranslatef(0.0f, 0.0f, -10.0f);
  glRotatef(angle, 0.0f, 1.0f, 0.0f);
  glRotatef(angle, 1.0f, 0.0f, 1.0f);
  glRotatef(angle, 1.0f, 0.0f, float(std::sin(fc / 20)));
  glEnable(GL_BLEND);
  glColor3f(float(5 * std::sin(fc)), 0.2f, 0.2f);
  drawCube();
  drawCube();
  drawCube();
  cubeHalfSize = float(2 * std::sin(fc));  // used from the next frame on
}

}  // namespace

uint32_t nextSceneState(float seconds, uint32_t current) {
  if (!(seconds > 10)) return current;
  if (!(seconds > 22)) return 1;
  if (!(seconds > 28)) return 6;
  if (!(seconds > 36)) return 2;
  if (!(seconds > 40)) return 3;
  if (!(seconds > 48)) return 4;
  if (!(seconds > 56)) return 5;
  return 7;
}

int renderFrame() {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glLoadIdentity();
  musicSeconds = float(FMUSIC_GetTime(musicModule) / 1000);
  glTranslatef(0.0f, 0.0f, kCameraDistance);

  const double fc = frameCounter;
  switch (sceneState) {
    case 0: drawLogoScene(fc, spinAngle); break;
    case 1: drawTorusScene(fc); break;
    case 6: drawCreditsScene(); break;
    case 2: drawWaveGrid(1, 1, 1); break;
    case 3: drawWaveGrid(int(5 * std::sin(fc / 10)), 1, 1); break;
    case 4:
      glDisable(GL_BLEND);
      gridWireframe = false;  // this grid ends in filled mode
      drawWaveGrid(int(5 * std::sin(fc)), 1, 1);
      glEnable(GL_BLEND);
      break;
    case 5: drawFlashScene(fc); break;
    default: break;  // 7: the cleared frame only
  }

  sceneState = nextSceneState(musicSeconds, sceneState);
  frameCounter += 1.5f;
  spinAngle += 1.2f;
  return 1;
}
