// The offscreen context as OpenGL ES 2.0, with the gl11es layer answering the
// show's GL 1.1 calls. Its own ES calls (framebuffer, read-back, scissor) go
// through functions loaded from EGL, like the layer's: nothing here links a
// GL library.
#define GL_GLES_PROTOTYPES 0
#include <EGL/egl.h>
#include <GLES2/gl2.h>
#include <GLES2/gl2ext.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "gl11es.h"
#include "offscreen_egl.h"
#include "offscreen_gl.h"

namespace {

const EGLint kContextAttributes[] = {EGL_CONTEXT_CLIENT_VERSION, 2, EGL_NONE};
const OffscreenEglKind kEs2{EGL_OPENGL_ES_API, EGL_OPENGL_ES2_BIT, kContextAttributes,
                            "OpenGL ES is not available through EGL", "no OpenGL ES 2.0 context"};

GLuint framebuffer = 0;
GLuint colourBuffer = 0;
GLuint depthBuffer = 0;
int openWidth = 0;   // pixels
int openHeight = 0;  // pixels

struct Functions {
  PFNGLGETINTEGERVPROC GetIntegerv;
  PFNGLGENFRAMEBUFFERSPROC GenFramebuffers;
  PFNGLBINDFRAMEBUFFERPROC BindFramebuffer;
  PFNGLGENRENDERBUFFERSPROC GenRenderbuffers;
  PFNGLBINDRENDERBUFFERPROC BindRenderbuffer;
  PFNGLRENDERBUFFERSTORAGEPROC RenderbufferStorage;
  PFNGLFRAMEBUFFERRENDERBUFFERPROC FramebufferRenderbuffer;
  PFNGLCHECKFRAMEBUFFERSTATUSPROC CheckFramebufferStatus;
  PFNGLDELETEFRAMEBUFFERSPROC DeleteFramebuffers;
  PFNGLDELETERENDERBUFFERSPROC DeleteRenderbuffers;
  PFNGLREADPIXELSPROC ReadPixels;
  PFNGLFINISHPROC Finish;
  PFNGLGETSTRINGPROC GetString;
  PFNGLPIXELSTOREIPROC PixelStorei;
  PFNGLENABLEPROC Enable;
  PFNGLDISABLEPROC Disable;
  PFNGLSCISSORPROC Scissor;
} gl;

void* procAddress(const char* name) { return reinterpret_cast<void*>(eglGetProcAddress(name)); }

template <typename Function>
bool load(const char* name, Function* out) {
  *out = reinterpret_cast<Function>(procAddress(name));
  if (!*out) std::fprintf(stderr, "offscreen GL: no %s\n", name);
  return *out != nullptr;
}

bool loadFunctions() {
  bool ok = true;
#define LOAD(name) ok = load("gl" #name, &gl.name) && ok
  LOAD(GetIntegerv);
  LOAD(GenFramebuffers);
  LOAD(BindFramebuffer);
  LOAD(GenRenderbuffers);
  LOAD(BindRenderbuffer);
  LOAD(RenderbufferStorage);
  LOAD(FramebufferRenderbuffer);
  LOAD(CheckFramebufferStatus);
  LOAD(DeleteFramebuffers);
  LOAD(DeleteRenderbuffers);
  LOAD(ReadPixels);
  LOAD(Finish);
  LOAD(GetString);
  LOAD(PixelStorei);
  LOAD(Enable);
  LOAD(Disable);
  LOAD(Scissor);
#undef LOAD
  return ok;
}

bool fail(const char* what) {
  std::fprintf(stderr, "offscreen GL: %s\n", what);
  offscreenGlClose();
  return false;
}

}  // namespace

bool offscreenGlOpen(int width, int height) {
  offscreenGlClose();
  if (width <= 0 || height <= 0) return fail("the size must be positive");

  if (const char* failure = offscreenEglOpen(kEs2)) return fail(failure);
  if (!loadFunctions()) return fail("the context lacks OpenGL ES 2.0 functions");

  GLint maxSize = 0;
  gl.GetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &maxSize);
  if (width > maxSize || height > maxSize)
    return fail("the size is larger than the GL implementation allows");

  gl.GenFramebuffers(1, &framebuffer);
  gl.BindFramebuffer(GL_FRAMEBUFFER, framebuffer);
  gl.GenRenderbuffers(1, &colourBuffer);
  gl.BindRenderbuffer(GL_RENDERBUFFER, colourBuffer);
  gl.RenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8_OES, width, height);
  gl.FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colourBuffer);
  gl.GenRenderbuffers(1, &depthBuffer);
  gl.BindRenderbuffer(GL_RENDERBUFFER, depthBuffer);
  gl.RenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT16, width, height);
  gl.FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depthBuffer);
  gl.BindRenderbuffer(GL_RENDERBUFFER, 0);
  if (gl.CheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE)
    return fail("a framebuffer of that size cannot be made");
  gl11esLoad(procAddress);
  openWidth = width;
  openHeight = height;
  return true;
}

void offscreenGlRead(uint8_t* rgb) {
  gl.Finish();
  // RGBA is the one format ES always reads back.
  const size_t pixels = static_cast<size_t>(openWidth) * static_cast<size_t>(openHeight);
  std::vector<uint8_t> bottomUp(pixels * 4);
  gl.PixelStorei(GL_PACK_ALIGNMENT, 4);
  gl.ReadPixels(0, 0, openWidth, openHeight, GL_RGBA, GL_UNSIGNED_BYTE, bottomUp.data());
  for (int y = 0; y < openHeight; ++y) {
    const uint8_t* from = bottomUp.data() + static_cast<size_t>(openHeight - 1 - y) * openWidth * 4;
    uint8_t* to = rgb + static_cast<size_t>(y) * openWidth * 3;
    for (int x = 0; x < openWidth; ++x) std::memcpy(to + x * 3, from + x * 4, 3);
  }
}

void offscreenGlFinish() { gl.Finish(); }

const char* offscreenGlRenderer() { return reinterpret_cast<const char*>(gl.GetString(GL_RENDERER)); }

void offscreenGlSkipDrawing(bool skip) {
  if (skip) {
    gl.Enable(GL_SCISSOR_TEST);
    gl.Scissor(0, 0, 0, 0);
  } else {
    gl.Disable(GL_SCISSOR_TEST);
  }
}

void offscreenGlClose() {
  if (offscreenEglHasContext()) {
    if (framebuffer) gl.DeleteFramebuffers(1, &framebuffer);
    if (colourBuffer) gl.DeleteRenderbuffers(1, &colourBuffer);
    if (depthBuffer) gl.DeleteRenderbuffers(1, &depthBuffer);
  }
  framebuffer = colourBuffer = depthBuffer = 0;
  offscreenEglClose();
  openWidth = openHeight = 0;
}
