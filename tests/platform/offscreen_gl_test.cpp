#include "offscreen_gl.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <vector>

// A cleared frame with one immediate-mode quad reads back with the quad in
// the right place, top row first.
TEST(OffscreenGl, DrawsImmediateModeAndReadsTopRowFirst) {
  ASSERT_TRUE(offscreenGlOpen(64, 48));
  glViewport(0, 0, 64, 48);
  glClearColor(0, 0, 1, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  glColor3f(1, 0, 0);
  glBegin(GL_QUADS);  // the upper half of the frame
  glVertex3f(-1, 0, 0);
  glVertex3f(1, 0, 0);
  glVertex3f(1, 1, 0);
  glVertex3f(-1, 1, 0);
  glEnd();
  std::vector<uint8_t> rgb(64 * 48 * 3);
  offscreenGlRead(rgb.data());
  EXPECT_EQ(rgb[0], 255);  // top-left is red
  EXPECT_EQ(rgb[2], 0);
  const size_t bottomLeft = (47 * 64) * 3;
  EXPECT_EQ(rgb[bottomLeft], 0);  // bottom-left is blue
  EXPECT_EQ(rgb[bottomLeft + 2], 255);
  offscreenGlClose();
}

TEST(OffscreenGl, RefusesImpossibleSizes) {
  EXPECT_FALSE(offscreenGlOpen(0, 480));
  EXPECT_FALSE(offscreenGlOpen(1 << 20, 480));
  offscreenGlClose();  // safe twice
}
