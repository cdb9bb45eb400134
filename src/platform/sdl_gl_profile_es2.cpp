#include <EGL/egl.h>
#include <SDL.h>
#include <SDL_syswm.h>

#include <algorithm>
#include <vector>

#include "gl11es.h"
#include "sdl_gl_profile.h"

// OpenGL ES 2.0 contexts. Under X11 they are made through EGL on the SDL
// window's X window: SDL 2 there loads the desktop libGL for any window with
// SDL_WINDOW_OPENGL, even when it then takes the context from EGL, and fails
// where libGL is not installed (a system with ES and EGL drivers only). So
// the windows are plain X windows to SDL, and EGL is asked here directly:
// one display, one configuration (the one that matches the windows' visual)
// and one surface per window drawn in. Under SDL's other video drivers
// (Wayland, offscreen) SDL makes the ES context itself.

namespace {

bool ownEgl = false;  // the contexts are made here, through EGL (X11)
EGLDisplay display = EGL_NO_DISPLAY;
EGLConfig config = nullptr;
EGLint maxSwapInterval = 0;  // retraces per swap the configuration can wait

struct WindowSurface {
  SDL_Window* window;
  EGLSurface surface;
};
std::vector<WindowSurface> surfaces;
SDL_Window* currentWindow = nullptr;

bool x11Window(SDL_Window* window, SDL_SysWMinfo* info) {
  SDL_VERSION(&info->version);
  return SDL_GetWindowWMInfo(window, info) && info->subsystem == SDL_SYSWM_X11;
}

// The EGL display of the window's X connection and the configuration of
// its visual: 5/6/5 colour or better, 16 bits of depth or better.
bool openDisplay(SDL_Window* window) {
  if (display != EGL_NO_DISPLAY) return true;
  SDL_SysWMinfo info;
  if (!x11Window(window, &info)) return false;
  EGLDisplay opened = eglGetDisplay(reinterpret_cast<EGLNativeDisplayType>(info.info.x11.display));
  if (opened == EGL_NO_DISPLAY || !eglInitialize(opened, nullptr, nullptr)) return false;
  XWindowAttributes attributes{};
  XGetWindowAttributes(info.info.x11.display, info.info.x11.window, &attributes);
  const VisualID visual = XVisualIDFromVisual(attributes.visual);
  // clang-format off
  const EGLint wanted[] = {EGL_SURFACE_TYPE, EGL_WINDOW_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_ES2_BIT,
                           EGL_RED_SIZE, 5, EGL_GREEN_SIZE, 6, EGL_BLUE_SIZE, 5, EGL_DEPTH_SIZE, 16,
                           EGL_NONE};
  // clang-format on
  EGLConfig configs[64];
  EGLint count = 0;
  if (!eglChooseConfig(opened, wanted, configs, 64, &count)) count = 0;
  for (EGLint i = 0; i < count && !config; ++i) {
    EGLint id = 0;
    if (eglGetConfigAttrib(opened, configs[i], EGL_NATIVE_VISUAL_ID, &id) && VisualID(id) == visual)
      config = configs[i];
  }
  if (!config || !eglBindAPI(EGL_OPENGL_ES_API)) {
    config = nullptr;
    eglTerminate(opened);
    return false;
  }
  eglGetConfigAttrib(opened, config, EGL_MAX_SWAP_INTERVAL, &maxSwapInterval);
  display = opened;
  return true;
}

// The window's surface, made on first use.
EGLSurface surfaceOf(SDL_Window* window) {
  for (const WindowSurface& s : surfaces)
    if (s.window == window) return s.surface;
  SDL_SysWMinfo info;
  if (!openDisplay(window) || !x11Window(window, &info)) return EGL_NO_SURFACE;
  const EGLSurface surface = eglCreateWindowSurface(
      display, config, static_cast<EGLNativeWindowType>(info.info.x11.window), nullptr);
  if (surface != EGL_NO_SURFACE) surfaces.push_back({window, surface});
  return surface;
}

void* procAddress(const char* name) { return reinterpret_cast<void*>(eglGetProcAddress(name)); }

}  // namespace

uint32_t sdlGlAskProfile() {
  const char* driver = SDL_GetCurrentVideoDriver();
  ownEgl = driver && SDL_strcmp(driver, "x11") == 0;
  if (ownEgl) return 0;
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_ES);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 0);
  return SDL_WINDOW_OPENGL;
}

void* sdlGlCreateContext(SDL_Window* window) {
  if (!ownEgl) {
    void* context = SDL_GL_CreateContext(window);
    if (context) gl11esLoad(SDL_GL_GetProcAddress);
    return context;
  }
  const EGLSurface surface = surfaceOf(window);
  if (surface == EGL_NO_SURFACE) return nullptr;
  const EGLint attributes[] = {EGL_CONTEXT_CLIENT_VERSION, 2, EGL_NONE};
  const EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, attributes);
  if (context == EGL_NO_CONTEXT) return nullptr;
  if (!eglMakeCurrent(display, surface, surface, context)) {
    eglDestroyContext(display, context);
    return nullptr;
  }
  currentWindow = window;
  // The layer takes the new context's ES functions and starts from GL's
  // initial state, as the show expects of a new context.
  gl11esLoad(procAddress);
  return context;
}

bool sdlGlMakeCurrent(SDL_Window* window, void* context) {
  if (!ownEgl) return SDL_GL_MakeCurrent(window, context) == 0;
  if (!window && !context) {
    currentWindow = nullptr;
    return display == EGL_NO_DISPLAY ||
           eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
  }
  const EGLSurface surface = window ? surfaceOf(window) : EGL_NO_SURFACE;
  if (surface == EGL_NO_SURFACE || !eglMakeCurrent(display, surface, surface, context)) return false;
  currentWindow = window;
  return true;
}

void* sdlGlCurrentContext() {
  if (!ownEgl) return SDL_GL_GetCurrentContext();
  const EGLContext context = eglGetCurrentContext();
  return context == EGL_NO_CONTEXT ? nullptr : context;
}

SDL_Window* sdlGlCurrentWindow() {
  if (!ownEgl) return SDL_GL_GetCurrentWindow();
  return sdlGlCurrentContext() ? currentWindow : nullptr;
}

bool sdlGlSwapInterval(int interval) {
  if (!ownEgl) return SDL_GL_SetSwapInterval(interval) == 0 && SDL_GL_GetSwapInterval() == interval;
  return display != EGL_NO_DISPLAY && eglSwapInterval(display, interval) && interval <= maxSwapInterval;
}

void sdlGlDeleteContext(void* context) {
  if (!ownEgl) return SDL_GL_DeleteContext(context);
  if (display != EGL_NO_DISPLAY) eglDestroyContext(display, context);
}

void sdlGlSwap(SDL_Window* window) {
  if (!ownEgl) return SDL_GL_SwapWindow(window);
  const EGLSurface surface = surfaceOf(window);
  if (surface != EGL_NO_SURFACE) eglSwapBuffers(display, surface);
}

void sdlGlWindowGone(SDL_Window* window) {
  const auto found = std::find_if(surfaces.begin(), surfaces.end(),
                                  [&](const WindowSurface& s) { return s.window == window; });
  if (found == surfaces.end()) return;
  if (currentWindow == window) sdlGlMakeCurrent(nullptr, nullptr);
  eglDestroySurface(display, found->surface);
  surfaces.erase(found);
}
