// The matrix stacks and the transformations the show applies (OpenGL 1.1,
// section 2.10.2), and gluPerspective. Arithmetic is in single precision, as
// GL keeps its matrices.
#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>

#include "layer.h"

namespace {

// OpenGL 1.1, section 2.10.2: the depth of the modelview stack is at least
// 32 and that of the projection stack at least 2.
constexpr size_t kModelviewDepth = 32;
constexpr size_t kProjectionDepth = 2;

std::vector<Matrix>& currentStack() {
  return layer.matrixMode == GL_MODELVIEW ? layer.modelview : layer.projection;
}

void changed() {
  if (layer.matrixMode == GL_MODELVIEW)
    ++layer.modelviewVersion;
  else
    ++layer.projectionVersion;
}

// The current matrix becomes current * m.
void multiplyCurrent(const Matrix& m) {
  Matrix& top = currentStack().back();
  top = multiply(top, m);
  changed();
}

}  // namespace

Matrix identityMatrix() { return Matrix{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}}; }

Matrix multiply(const Matrix& a, const Matrix& b) {
  Matrix r;
  for (int column = 0; column < 4; ++column)
    for (int row = 0; row < 4; ++row) {
      float sum = 0;
      for (int k = 0; k < 4; ++k) sum += a.m[k * 4 + row] * b.m[column * 4 + k];
      r.m[column * 4 + row] = sum;
    }
  return r;
}

void GLAPIENTRY glMatrixMode(GLenum mode) {
  ++showCallCount;
  GL11ES_REQUIRE(!layer.inBegin && !layer.compiling, "glMatrixMode");
  GL11ES_REQUIRE(mode == GL_MODELVIEW || mode == GL_PROJECTION, "glMatrixMode");
  layer.matrixMode = mode;
}

void GLAPIENTRY glLoadIdentity() {
  ++showCallCount;
  GL11ES_REQUIRE(!layer.inBegin && !layer.compiling, "glLoadIdentity");
  currentStack().back() = identityMatrix();
  changed();
}

void GLAPIENTRY glPushMatrix() {
  ++showCallCount;
  GL11ES_REQUIRE(!layer.inBegin && !layer.compiling, "glPushMatrix");
  std::vector<Matrix>& stack = currentStack();
  // A push beyond the stack's depth is an error that changes nothing (section 2.10.2).
  GL11ES_REQUIRE(stack.size() < (layer.matrixMode == GL_MODELVIEW ? kModelviewDepth : kProjectionDepth),
                 "glPushMatrix (stack overflow)");
  stack.push_back(stack.back());
}

void GLAPIENTRY glPopMatrix() {
  ++showCallCount;
  GL11ES_REQUIRE(!layer.inBegin && !layer.compiling, "glPopMatrix");
  std::vector<Matrix>& stack = currentStack();
  GL11ES_REQUIRE(stack.size() > 1, "glPopMatrix (stack underflow)");
  stack.pop_back();
  changed();
}

void GLAPIENTRY glTranslatef(GLfloat x, GLfloat y, GLfloat z) {
  ++showCallCount;
  GL11ES_REQUIRE(!layer.inBegin && !layer.compiling, "glTranslatef");
  Matrix t = identityMatrix();
  t.m[12] = x;
  t.m[13] = y;
  t.m[14] = z;
  multiplyCurrent(t);
}

// A rotation of `angle` degrees about the axis (x, y, z), counter-clockwise
// looking from the axis' end towards the origin (section 2.10.2). An axis of
// no length leaves the matrix as it is.
void GLAPIENTRY glRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z) {
  ++showCallCount;
  GL11ES_REQUIRE(!layer.inBegin && !layer.compiling, "glRotatef");
  const float length = std::sqrt(x * x + y * y + z * z);
  if (!(length > 1.0e-4f)) return;
  x /= length;
  y /= length;
  z /= length;
  const double radians = double(angle) * M_PI / 180.0;
  const float s = float(std::sin(radians));
  const float c = float(std::cos(radians));
  const float oneMinusC = 1.0f - c;
  // R = u u^T + cos(angle) (I - u u^T) + sin(angle) S, S the cross-product matrix of u.
  Matrix r = identityMatrix();
  r.m[0] = oneMinusC * x * x + c;
  r.m[4] = oneMinusC * x * y - z * s;
  r.m[8] = oneMinusC * z * x + y * s;
  r.m[1] = oneMinusC * x * y + z * s;
  r.m[5] = oneMinusC * y * y + c;
  r.m[9] = oneMinusC * y * z - x * s;
  r.m[2] = oneMinusC * z * x - y * s;
  r.m[6] = oneMinusC * y * z + x * s;
  r.m[10] = oneMinusC * z * z + c;
  multiplyCurrent(r);
}

// The perspective projection of GLU: a field of view of `fovy` degrees in y,
// the aspect ratio width / height, and the near and far planes' distances.
// Computed in double, then multiplied into the current matrix.
void GLAPIENTRY gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar) {
  ++showCallCount;
  GL11ES_REQUIRE(!layer.inBegin && !layer.compiling, "gluPerspective");
  const double radians = fovy / 2 * M_PI / 180;
  const double sine = std::sin(radians);
  const double depth = zFar - zNear;
  if (depth == 0 || sine == 0 || aspect == 0) return;
  const double f = std::cos(radians) / sine;
  Matrix p{};
  p.m[0] = float(f / aspect);
  p.m[5] = float(f);
  p.m[10] = float(-(zFar + zNear) / depth);
  p.m[11] = -1;
  p.m[14] = float(-2 * zNear * zFar / depth);
  multiplyCurrent(p);
}
