#include "resize_scene.h"

#include <GL/gl.h>
#include <GL/glu.h>

void resizeScene(int width, int height) {
  if (height == 0) height = 1;  // the divisor of the aspect ratio
  glViewport(0, 0, width, height);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  // The near plane is the single-precision 0.1 widened, as the show always had it.
  gluPerspective(45.0, double(width) / double(height), double(0.1f), 100.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}
