#define GL_GLEXT_PROTOTYPES 1
#include "offscreen_gl.h"

#include <EGL/egl.h>
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "offscreen_egl.h"

namespace {

const EGLint kContextAttributes[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                     EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT, EGL_NONE};
const OffscreenEglKind kCompatibility{EGL_OPENGL_API, EGL_OPENGL_BIT, kContextAttributes,
                                      "desktop OpenGL is not available through EGL",
                                      "no OpenGL compatibility context"};

GLuint framebuffer = 0;
GLuint colourBuffer = 0;
GLuint depthBuffer = 0;
int openWidth = 0;   // pixels
int openHeight = 0;  // pixels

bool fail(const char* what) {
  std::fprintf(stderr, "offscreen GL: %s\n", what);
  offscreenGlClose();
  return false;
}

}  // namespace

bool offscreenGlOpen(int width, int height) {
  offscreenGlClose();
  if (width <= 0 || height <= 0) return fail("the size must be positive");

  if (const char* failure = offscreenEglOpen(kCompatibility)) return fail(failure);

  GLint maxSize = 0;
  glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &maxSize);
  if (width > maxSize || height > maxSize)
    return fail("the size is larger than the GL implementation allows");

  glGenFramebuffers(1, &framebuffer);
  glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
  glGenRenderbuffers(1, &colourBuffer);
  glBindRenderbuffer(GL_RENDERBUFFER, colourBuffer);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colourBuffer);
  glGenRenderbuffers(1, &depthBuffer);
  glBindRenderbuffer(GL_RENDERBUFFER, depthBuffer);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT16, width, height);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depthBuffer);
  glBindRenderbuffer(GL_RENDERBUFFER, 0);
  if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE)
    return fail("a framebuffer of that size cannot be made");
  glDrawBuffer(GL_COLOR_ATTACHMENT0);
  glReadBuffer(GL_COLOR_ATTACHMENT0);
  openWidth = width;
  openHeight = height;
  return true;
}

void offscreenGlRead(uint8_t* rgb) {
  glFinish();
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  const size_t rowBytes = static_cast<size_t>(openWidth) * 3;
  std::vector<uint8_t> bottomUp(rowBytes * static_cast<size_t>(openHeight));
  glReadPixels(0, 0, openWidth, openHeight, GL_RGB, GL_UNSIGNED_BYTE, bottomUp.data());
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  for (int y = 0; y < openHeight; ++y)
    std::memcpy(rgb + static_cast<size_t>(y) * rowBytes,
                bottomUp.data() + static_cast<size_t>(openHeight - 1 - y) * rowBytes, rowBytes);
}

void offscreenGlFinish() { glFinish(); }

const char* offscreenGlRenderer() { return reinterpret_cast<const char*>(glGetString(GL_RENDERER)); }

void offscreenGlSkipDrawing(bool skip) {
  if (skip) {
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, 0, 0);
  } else {
    glDisable(GL_SCISSOR_TEST);
  }
}

void offscreenGlClose() {
  if (offscreenEglHasContext()) {
    if (framebuffer) glDeleteFramebuffers(1, &framebuffer);
    if (colourBuffer) glDeleteRenderbuffers(1, &colourBuffer);
    if (depthBuffer) glDeleteRenderbuffers(1, &depthBuffer);
  }
  framebuffer = colourBuffer = depthBuffer = 0;
  offscreenEglClose();
  openWidth = openHeight = 0;
}
