#include "torus_tube.h"

#include <GL/gl.h>

#include <cmath>
#include <vector>

#include "texture_set.h"

namespace {

// Full turn in radians as the tube's angles use it (a hair above 2 pi).
constexpr double kFullTurn = 6.283185308;
// Distances of a point's three vertices from the main circle, in tube radii.
constexpr double kRadialFactors[3] = {0.5, 0.2, 0.7};

// The strip being drawn; reused from call to call.
std::vector<TorusVertex> stripVertices;

}  // namespace

int torusStripVertexCount(int segments) { return segments < 1 ? 0 : 6 * (segments + 1); }

void torusStripVertices(int strip, int rings, int segments, TorusVertex* out) {
  if (segments < 1 || rings < 1) return;
  int n = 0;
  for (int j = 0; j <= segments; ++j) {
    const double b = (j % segments) * kFullTurn / segments;
    for (int k = 1; k >= 0; --k) {
      const double a = (((strip + k) % rings) + 0.5) * kFullTurn / rings;
      for (double r : kRadialFactors) {
        const double x = std::cos(b) * (std::cos(a) * r + 1);
        const double y = std::sin(b) * (std::cos(a) * r + 1);
        const double z = std::sin(a) * 0.5;
        out[n++] = {float(x), float(y), float(z)};
      }
    }
  }
}

void drawTorusTube(int rings, int segments) {
  glBindTexture(GL_TEXTURE_2D, textures[2]);
  const int count = torusStripVertexCount(segments);
  if (count == 0) return;
  stripVertices.resize(count);
  for (int i = 0; i < rings; ++i) {
    torusStripVertices(i, rings, segments, stripVertices.data());
    glBegin(GL_TRIANGLE_STRIP);
    for (const TorusVertex& v : stripVertices) {
      glVertex3f(v.x, v.y, v.z);
      glTexCoord3f(v.x, v.y, v.z);
    }
    glEnd();
  }
}
