#include "wave_grid.h"

#include <GL/gl.h>

#include <cmath>

#include "music.h"
#include "sound.h"
#include "texture_set.h"

float gridTime = 0.0f;
uint32_t gridLastMusicTime = 0;
GridTexCoord gridTexCoords[kGridRowStride][kGridRowStride];
GridVertex gridVertices[kGridRowStride][kGridRowStride];
bool gridWireframe = false;

namespace {

// Angle between two rows in radians: pi/16 as a single-precision value.
constexpr float kRowAngleStep = 0.19634955f;
// Depth of the grid's mouth in front of the viewer.
constexpr float kGridDistance = -3.2f;

}  // namespace

float gridClock(int32_t musicTime, uint32_t lastMusicTime) {
  const uint32_t sum = uint32_t(musicTime) + lastMusicTime;
  return float(sum / 50u);
}

void fillGridTables(float t, GridTexCoord texCoords[][kGridRowStride],
                    GridVertex vertices[][kGridRowStride]) {
  const double td = t;
  for (int i = 0; i < kGridSize; ++i) {
    for (int j = 0; j < kGridSize; ++j) {
      const double u = std::cos((td * 3 + j * 8) / 60) / 2 + i / 32.0;
      const double v = std::sin(td * 0.1 + j) / 120 + j / 32.0;
      texCoords[i][j] = {float(u), float(v)};
    }
  }
  for (int i = 0; i < kGridSize; ++i) {
    for (int j = 0; j < kGridSize; ++j) {
      const double s = float(3 - j / 12.0);
      const double a = i * double(kRowAngleStep);
      const double w = td + j * 0.4;
      // The terms in t alone cancel the sway of the mouth ring (j = 0).
      const double x = ((((2 * std::sin(w / 29) + std::cos(a)) + std::cos(w / 13)) - 2 * std::sin(td / 29)) -
                        std::cos(td / 13)) *
                       s;
      const double y = ((((2 * std::cos(w / 33) + std::sin(a)) + std::sin(w / 17)) - 2 * std::cos(td / 33)) -
                        std::sin(td / 17)) *
                       s;
      vertices[i][j] = {float(x), float(y), float(-j)};
    }
  }
}

void drawWaveGrid(int red, int green, int blue) {
  glColor3f(float(red), float(green), float(blue));
  gridTime = gridClock(FMUSIC_GetTime(musicModule), gridLastMusicTime);
  gridLastMusicTime = uint32_t(FMUSIC_GetTime(musicModule));
  glPushMatrix();
  glLoadIdentity();
  glTranslatef(0.0f, 0.0f, kGridDistance);
  fillGridTables(gridTime, gridTexCoords, gridVertices);
  glEnable(GL_FOG);
  // One quad strip per band between rows i and i + 1. The corner order pairs
  // the vertices into self-crossing cells joined by zero-area ones: that is
  // the effect's look.
  static const int corners[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  for (int i = 0; i < kGridSize - 1; ++i) {
    glBindTexture(GL_TEXTURE_2D, textures[4]);
    glBegin(GL_QUAD_STRIP);
    for (int j = 0; j < kGridSize - 1; ++j) {
      for (const auto& c : corners) {
        const GridTexCoord& tc = gridTexCoords[i + c[0]][j + c[1]];
        const GridVertex& p = gridVertices[i + c[0]][j + c[1]];
        glTexCoord2f(tc.u, tc.v);
        glVertex3f(p.x, p.y, p.z);
      }
    }
    glEnd();
  }
  glPopMatrix();
  glDisable(GL_BLEND);
  const GLenum mode = gridWireframe ? GL_LINE : GL_FILL;
  glPolygonMode(GL_FRONT, mode);
  glPolygonMode(GL_BACK, mode);
  gridWireframe = true;
}
