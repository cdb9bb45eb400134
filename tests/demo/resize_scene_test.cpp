// resizeScene in a real context: the viewport, the projection it leaves, and
// the matrix mode and model-view it hands back.
#include "resize_scene.h"
#include "offscreen_gl.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>

namespace {

class ResizeScene : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(offscreenGlOpen(64, 64)); }
  void TearDown() override { offscreenGlClose(); }

  static void projection(double m[16]) { glGetDoublev(GL_PROJECTION_MATRIX, m); }
};

// The perspective matrix for 45 degrees, `aspect`, near double(0.1f), far 100.
void expectPerspective(const double m[16], double aspect) {
  const double nearPlane = double(0.1f);
  const double farPlane = 100.0;
  const double f = 1.0 / std::tan(45.0 / 2.0 * M_PI / 180.0);
  const double tolerance = 1e-5;  // the matrix is kept in single precision
  EXPECT_NEAR(m[0], f / aspect, tolerance * f / aspect);
  EXPECT_NEAR(m[5], f, tolerance);
  EXPECT_NEAR(m[10], (farPlane + nearPlane) / (nearPlane - farPlane), tolerance);
  EXPECT_NEAR(m[11], -1.0, tolerance);
  EXPECT_NEAR(m[14], 2.0 * farPlane * nearPlane / (nearPlane - farPlane), tolerance);
  EXPECT_EQ(m[15], 0.0);
}

TEST_F(ResizeScene, SetsViewportAndPerspective) {
  glMatrixMode(GL_PROJECTION);
  glTranslatef(3, 4, 5);  // replaced, not multiplied
  glMatrixMode(GL_MODELVIEW);
  glRotatef(30, 0, 0, 1);

  resizeScene(640, 480);
  GLint viewport[4];
  glGetIntegerv(GL_VIEWPORT, viewport);
  EXPECT_EQ(viewport[0], 0);
  EXPECT_EQ(viewport[1], 0);
  EXPECT_EQ(viewport[2], 640);
  EXPECT_EQ(viewport[3], 480);
  double m[16];
  projection(m);
  expectPerspective(m, 640.0 / 480.0);

  GLint mode = 0;
  glGetIntegerv(GL_MATRIX_MODE, &mode);
  EXPECT_EQ(mode, GL_MODELVIEW);
  double modelView[16];
  glGetDoublev(GL_MODELVIEW_MATRIX, modelView);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(modelView[i], i % 5 == 0 ? 1.0 : 0.0) << i;
}

TEST_F(ResizeScene, HeightZeroCountsAsOne) {
  resizeScene(300, 0);
  GLint viewport[4];
  glGetIntegerv(GL_VIEWPORT, viewport);
  EXPECT_EQ(viewport[2], 300);
  EXPECT_EQ(viewport[3], 1);
  double m[16];
  projection(m);
  expectPerspective(m, 300.0);
  for (int i = 0; i < 16; ++i) EXPECT_TRUE(std::isfinite(m[i])) << i;
}

TEST_F(ResizeScene, WidthZeroPassesAspectZeroOn) {
  // GLU refuses an aspect of 0 and leaves the identity loaded before it.
  resizeScene(0, 480);
  GLint viewport[4];
  glGetIntegerv(GL_VIEWPORT, viewport);
  EXPECT_EQ(viewport[2], 0);
  EXPECT_EQ(viewport[3], 480);
  double m[16];
  projection(m);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(m[i], i % 5 == 0 ? 1.0 : 0.0) << i;
}

}  // namespace
