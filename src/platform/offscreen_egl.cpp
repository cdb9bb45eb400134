#include "offscreen_egl.h"

#include <EGL/eglext.h>

namespace {

EGLDisplay display = EGL_NO_DISPLAY;
EGLContext context = EGL_NO_CONTEXT;

}  // namespace

const char* offscreenEglOpen(const OffscreenEglKind& kind) {
  auto getPlatformDisplay =
      reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
  if (getPlatformDisplay)
    display = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
  if (display == EGL_NO_DISPLAY) return "no surfaceless EGL display";
  if (!eglInitialize(display, nullptr, nullptr)) {
    display = EGL_NO_DISPLAY;
    return "eglInitialize failed";
  }
  if (!eglBindAPI(kind.api)) return kind.apiMissing;

  const EGLint configAttributes[] = {EGL_RENDERABLE_TYPE, kind.renderableBit, EGL_NONE};
  EGLConfig config = nullptr;
  EGLint configCount = 0;
  eglChooseConfig(display, configAttributes, &config, 1, &configCount);
  // The surfaceless platform may offer no configs; a config-less context then serves.
  context = eglCreateContext(display, configCount > 0 ? config : EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT,
                             kind.contextAttributes);
  if (context == EGL_NO_CONTEXT) return kind.contextMissing;
  if (!eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context))
    return "the context cannot be made current";
  return nullptr;
}

bool offscreenEglHasContext() { return context != EGL_NO_CONTEXT; }

void offscreenEglClose() {
  if (context != EGL_NO_CONTEXT) {
    eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglDestroyContext(display, context);
  }
  context = EGL_NO_CONTEXT;
  if (display != EGL_NO_DISPLAY) eglTerminate(display);
  display = EGL_NO_DISPLAY;
}
