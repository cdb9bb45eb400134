#include "render_state.h"

#include <GL/gl.h>

#include "music.h"
#include "texture_set.h"

const float fogColor[4] = {0.0f, 0.0f, 0.0f, 1.0f};

namespace {

void setFixedState() {
  glEnable(GL_TEXTURE_2D);
  glShadeModel(GL_SMOOTH);
  glClearColor(0.0f, 0.0f, 0.0f, 0.5f);
  glClearDepth(1.0);
  glClearStencil(0);
  // The depth test is switched on and right off again: every scene is drawn
  // without it, so draw order decides what covers what.
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LEQUAL);
  glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
  glColor4f(1.0f, 1.0f, 1.0f, 0.5f);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE);
  glEnable(GL_BLEND);
  glDisable(GL_DEPTH_TEST);
  glEnable(GL_LIGHT0);  // lighting itself stays off until the cube swarm
  setupFog();
}

}  // namespace

int initRenderState() {
  if (!loadTextureSet()) return 0;
  startMusic();
  setFixedState();
  return 1;
}

int remakeRenderState() {
  if (!loadTextureSet()) return 0;
  setFixedState();
  return 1;
}

void setupFog() {
  glFogi(GL_FOG_MODE, GL_LINEAR);
  glFogfv(GL_FOG_COLOR, fogColor);
  glFogf(GL_FOG_DENSITY, 0.25f);  // no effect in linear mode
  glHint(GL_FOG_HINT, GL_NICEST);
  glFogf(GL_FOG_START, 0.0f);
  glFogf(GL_FOG_END, 20.0f);
}
