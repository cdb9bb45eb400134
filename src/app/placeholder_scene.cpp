// Stand-ins for the renderer until it is linked: a cleared black frame.
#include "scene_hooks.h"

#include <GL/gl.h>

int initRenderState() {
  glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
  return 1;
}

int renderFrame() {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  return 1;
}
