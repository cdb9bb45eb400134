#include "primitives.h"

#include <cmath>

#include "music.h"
#include "texture_set.h"
#include "timeline.h"

float cubeHalfSize = 1.0f;
GLuint cubeList = 0;

const float backdropHalfWidth = 12.0f;
const float backdropHalfHeight = 9.0f;

namespace {

constexpr float kFlashHalfSize = 10.0f;
constexpr float kFlashRestingDepth = -20.0f;
constexpr int kTextureSlots = 6;

// Issues the cube's commands for the current size and counter.
void issueCube() {
  CubeCommand commands[kCubeCommandCount];
  cubeCommands(cubeHalfSize, frameCounter, commands);
  glBegin(GL_QUADS);
  for (const CubeCommand& c : commands) {
    switch (c.kind) {
      case kCubeColor: glColor3f(c.x, c.y, c.z); break;
      case kCubeNormal: glNormal3f(c.x, c.y, c.z); break;
      case kCubeVertex: glVertex3f(c.x, c.y, c.z); break;
    }
  }
  glEnd();
}

}  // namespace

void cubeCommands(float halfSize, float frameCount, CubeCommand out[kCubeCommandCount]) {
  const float h = halfSize;
  const double fc = frameCount;
  // Blue of faces 2 to 6: the factors are the single-precision values of
  // 0.2, 0.4, 0.6, 0.8 and 1 widened to double.
  const float blue[5] = {
      float(double(0.2f) * std::sin(fc / 20)), float(double(0.4f) * std::sin(fc / 16)),
      float(double(0.6f) * std::sin(fc / 12)), float(double(0.8f) * std::sin(fc / 8)),
      float(1.0 * std::sin(fc / 4)),
  };
  const float normals[6][3] = {{0, 0, 1}, {0, 0, -1}, {1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}};
  // Corner signs of each face, counter-clockwise seen from outside.
  const signed char corners[6][4][3] = {
      {{-1, -1, 1}, {1, -1, 1}, {1, 1, 1}, {-1, 1, 1}}, {{-1, -1, -1}, {-1, 1, -1}, {1, 1, -1}, {1, -1, -1}},
      {{1, -1, -1}, {1, 1, -1}, {1, 1, 1}, {1, -1, 1}}, {{-1, -1, 1}, {-1, 1, 1}, {-1, 1, -1}, {-1, -1, -1}},
      {{1, 1, 1}, {1, 1, -1}, {-1, 1, -1}, {-1, 1, 1}}, {{1, -1, -1}, {1, -1, 1}, {-1, -1, 1}, {-1, -1, -1}},
  };
  int n = 0;
  for (int face = 0; face < 6; ++face) {
    if (face > 0) out[n++] = {kCubeColor, 0.0f, 0.0f, blue[face - 1]};
    out[n++] = {kCubeNormal, normals[face][0], normals[face][1], normals[face][2]};
    for (const auto& c : corners[face]) out[n++] = {kCubeVertex, c[0] * h, c[1] * h, c[2] * h};
  }
}

void drawBackdrop(int slot) {
  const bool known = slot >= 0 && slot < kTextureSlots;
  glBindTexture(GL_TEXTURE_2D, known ? textures[slot] : 0);
  const float w = backdropHalfWidth;
  const float hh = backdropHalfHeight;
  glBegin(GL_QUADS);
  glColor3f(1.0f, 1.0f, 1.0f);
  glTexCoord2f(0.0f, 0.0f);
  glVertex3f(-w, -hh, w);
  glTexCoord2f(1.0f, 0.0f);
  glVertex3f(w, -hh, w);
  glTexCoord2f(1.0f, 1.0f);
  glVertex3f(w, hh, w);
  glTexCoord2f(0.0f, 1.0f);
  glVertex3f(-w, hh, w);
  glEnd();
}

void buildCubeList() {
  if (cubeList == 0) cubeList = glGenLists(2);  // the second name stays unused
  if (cubeList == 0) return;                    // no name: try again next build
  glNewList(cubeList, GL_COMPILE);
  issueCube();
  glEndList();
}

void drawCube() { issueCube(); }

void drawFlashQuad() {
  glLoadIdentity();
  glTranslatef(0.0f, 0.0f, flashDepth.load());
  glBindTexture(GL_TEXTURE_2D, textures[5]);  // slot 5 holds 0: no image
  glDisable(GL_LIGHTING);
  const float s = kFlashHalfSize;
  glBegin(GL_QUADS);
  glColor3f(1.0f, 1.0f, 1.0f);
  glVertex3f(-s, -s, 1.0f);
  glColor3f(1.0f, 1.0f, 1.0f);
  glVertex3f(s, -s, 1.0f);
  glColor3f(1.0f, 1.0f, 0.0f);
  glVertex3f(s, s, 1.0f);
  glColor3f(1.0f, 1.0f, 1.0f);
  glVertex3f(-s, s, 1.0f);
  glEnd();
  // A trigger that lands between the read above and this store is lost.
  flashDepth.store(kFlashRestingDepth);
}
