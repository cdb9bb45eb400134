#include "show_context.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include "offscreen_gl.h"

bool openShowContext(int width, int height) {
  if (!offscreenGlOpen(width, height)) return false;
  glViewport(0, 0, width, height);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(45.0, double(width) / double(height), double(0.1f), 100.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  return true;
}

std::vector<uint8_t> readShowFrame(int width, int height) {
  std::vector<uint8_t> rgb(size_t(width) * size_t(height) * 3);
  offscreenGlRead(rgb.data());
  return rgb;
}

void closeShowContext() { offscreenGlClose(); }
