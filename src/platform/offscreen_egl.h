// The display and context under both offscreen GL contexts: EGL on Mesa's
// surfaceless platform, with a context of the asked API made current and no
// surface. Main thread only; one at a time.
#pragma once

#include <EGL/egl.h>

// What the context is, and how its absence reads.
struct OffscreenEglKind {
  EGLenum api;                      // for eglBindAPI
  EGLint renderableBit;             // EGL_RENDERABLE_TYPE of the config asked for
  const EGLint* contextAttributes;  // EGL_NONE-terminated
  const char* apiMissing;           // the failure when EGL refuses the API
  const char* contextMissing;       // the failure when no such context can be made
};

// Opens the display and makes a context of that kind current. Returns null,
// or why it failed (what was opened is left for offscreenEglClose).
const char* offscreenEglOpen(const OffscreenEglKind& kind);

// Whether a context exists (the caller's GL objects may be deleted in it).
bool offscreenEglHasContext();

// Releases the context and the display. Safe when not open.
void offscreenEglClose();
