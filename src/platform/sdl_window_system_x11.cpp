// The window system under SDL on Linux: X11 (where a window of the show can
// be destroyed by another program) or Wayland.
#include "sdl_window_system.h"

#include "desktop_guard.h"

#include <SDL_syswm.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <unistd.h>

namespace {

// The show's X connection (null until a window exists, and on Wayland) and
// the X error handler that was there before ours.
Display* xDisplay = nullptr;
int (*previousXErrorHandler)(Display*, XErrorEvent*) = nullptr;
bool windowWasLost = false;

void markLost(unsigned long xid) {
  if (markWindowLost(xid)) windowWasLost = true;
}

// Errors about a window of ours mean another program destroyed it: they mark
// it lost and, like every error after that, are otherwise ignored.
// Any other error on the show's connection ends the process as X's own
// handler would (status 1), after the desktop's mode is back.
int onXError(Display* display, XErrorEvent* error) {
  if (display != xDisplay) return 0;  // the guard's own connection: it checks its own results
  if (markWindowLost(error->resourceid)) {
    windowWasLost = true;
    return 0;
  }
  if (windowWasLost) return 0;
  if (desktopGuardModeHeld()) {
    std::fprintf(stderr, "X error %d (request %d.%d) on resource 0x%lx\n", error->error_code,
                 error->request_code, error->minor_code, error->resourceid);
    desktopGuardRestoreDirectly();
    _exit(1);
  }
  return previousXErrorHandler ? previousXErrorHandler(display, error) : 0;
}

// The show's display connection is gone: another program killed it (xkill),
// or the server ended. Nothing more can go over it, so the mode is given back
// over the guard's own connection, and the show ends with status 1, as X's
// own handler would end it.
int onXIoError(Display* display) {
  std::fprintf(stderr, "The connection to the display %s is lost.\n", DisplayString(display));
  if (display == xDisplay) desktopGuardRestoreDirectly();
  _exit(1);
}

}  // namespace

bool windowSystemNamed() {
  const auto set = [](const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
  };
  return set("DISPLAY") || set("WAYLAND_DISPLAY");
}

void windowSystemStarted(const char* driver) {
  if (std::strcmp(driver, "x11") != 0) return;
  SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
  previousXErrorHandler = XSetErrorHandler(onXError);
  XSetIOErrorHandler(onXIoError);
}

unsigned long windowSystemId(SDL_Window* window) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return 0;
  xDisplay = info.info.x11.display;
  return info.info.x11.window;
}

void windowSystemEvent(const SDL_Event& event) {
  const XEvent& x = event.syswm.msg->msg.x11.event;
  if (x.type == DestroyNotify) markLost(x.xdestroywindow.window);
}

bool windowSystemWindowLost() { return windowWasLost; }
