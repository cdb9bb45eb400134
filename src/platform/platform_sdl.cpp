// The window-system layer over SDL2 (X11, Wayland or Windows through SDL's
// video drivers, OpenGL through SDL's GL functions).
//
// SDL keeps its own event queue; platformPeekMessage turns SDL events into
// window messages and keeps them, with the posted ones, in one queue of its
// own, removed one at a time. "No display" means SDL found no real video
// driver (it then picks its offscreen driver on its own): boxes go to standard
// error and windows cannot be created.
#include "platform.h"

#include "desktop_guard.h"
#include "frame_pacer.h"
#include "platform_terminal.h"
#include "sdl_gl_profile.h"
#include "sdl_window_system.h"
#include "window_registry.h"

#include <SDL.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

struct PlatformWindow {
  SDL_Window* sdl;
  PlatformWindowProc procedure;
  PlatformDevice device;
  bool screenSaverPassedOn;  // the window procedure let a screen-saver request through
  unsigned long nativeId;    // the window system's id (the X window), 0 where none is tracked
  bool lost;                 // destroyed by another program; nothing is drawn to it any more
  bool lossReported;         // its close request has been posted
};

struct PlatformGlContext {
  void* gl;  // the build's context (sdl_gl_profile.h)
};

namespace {

int videoState = 0;  // 0 not tried, 1 a display, -1 no display

// The longest wait for an event while every window is minimized.
const int kMinimizedWaitMs = 100;

// The display mode granted for fullscreen windows; whether it is held is the
// desktop guard's to know. A screen already in that mode (the desktop's own,
// or another show's) is not switched: the window covers it as it is.
SDL_DisplayMode heldMode{};
bool switchNeeded = false;
bool restoreAtExitInstalled = false;
int cursorCount = 0;  // the show counter; visible while >= 0

bool haveDisplay() {
  if (videoState != 0) return videoState > 0;
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
  SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
  videoState = -1;
  const auto set = [](const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
  };
  const bool explicitlyAsked = set("SDL_VIDEODRIVER");
  if (!explicitlyAsked && !windowSystemNamed()) return false;
  desktopGuardInstall();  // before SDL starts a thread or opens the display
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
  const char* driver = SDL_GetCurrentVideoDriver();
  if (!driver ||
      (!explicitlyAsked && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0))) {
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return false;
  }
  videoState = 1;
  windowSystemStarted(driver);
  return true;
}

PlatformWindow* windowFromId(Uint32 id) {
  for (PlatformWindow* w : liveWindows())
    if (SDL_GetWindowID(w->sdl) == id) return w;
  return nullptr;
}

intptr_t sendMessage(PlatformWindow* window, unsigned message, uintptr_t wParam, intptr_t lParam) {
  return window->procedure(window, message, wParam, lParam);
}

bool isMinimized(PlatformWindow* window) {
  return (SDL_GetWindowFlags(window->sdl) & SDL_WINDOW_MINIMIZED) != 0;
}

bool allMinimized() {
  for (PlatformWindow* w : liveWindows())
    if (!isMinimized(w)) return false;
  return !liveWindows().empty();
}

uintptr_t activation(unsigned state, bool minimized) { return state | (minimized ? 1u << 16 : 0u); }

void restoreModeNow() {
  if (!desktopGuardModeHeld()) return;
  // A window that is gone cannot be taken out of fullscreen: the mode is
  // then switched back over the guard's own connection.
  if (windowSystemWindowLost() && desktopGuardRestoreDirectly()) return;
  // SDL switches back to the mode it found at its start. When another
  // program has changed the mode since, the screen is then put back as that
  // program left it.
  const bool stillSet = desktopGuardScreenStillSet();
  for (PlatformWindow* w : liveWindows())
    if (SDL_GetWindowFlags(w->sdl) & SDL_WINDOW_FULLSCREEN) SDL_SetWindowFullscreen(w->sdl, 0);
  if (videoState > 0) SDL_PumpEvents();  // lets the mode switch reach the display server
  if (!stillSet && switchNeeded) desktopGuardPutScreenBack();
  desktopGuardModeGiven();
}

// Acts on a termination signal that arrived while a mode was held: the
// watcher asked the main thread to give the mode back and end. As the process
// ends at once, the mode goes back over the guard's own connection where
// there is one: SDL would switch to the mode it found at its start, even on a
// screen that another program has changed since, and the watcher could end
// the process before the screen is put back as that program left it.
void actOnPendingSignal() {
  const int signalNumber = desktopGuardPendingSignal();
  if (signalNumber == 0) return;
  if (!desktopGuardRestoreDirectly()) restoreModeNow();
  desktopGuardEndBySignal(signalNumber);
}

void restoreAtExit() { restoreModeNow(); }

// Sleeps until `deadline` (ns of CLOCK_MONOTONIC).
void sleepUntil(int64_t deadline) {
  const timespec until{time_t(deadline / 1000000000), long(deadline % 1000000000)};
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
  }
}

int64_t monotonicNow() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// Pacing is on unless QUENDALOOP_PACING says "off" (or "0").
bool pacingWanted() {
  const char* value = std::getenv("QUENDALOOP_PACING");
  return !value || (std::strcmp(value, "off") != 0 && std::strcmp(value, "0") != 0);
}

// Windows virtual-key code of an SDL key, 0 for keys the show has no code for.
unsigned virtualKey(SDL_Keycode key) {
  if (key >= SDLK_a && key <= SDLK_z) return 'A' + unsigned(key - SDLK_a);
  if (key >= SDLK_0 && key <= SDLK_9) return '0' + unsigned(key - SDLK_0);
  if (key >= SDLK_F1 && key <= SDLK_F12) return VK_F1 + unsigned(key - SDLK_F1);
  if (key >= SDLK_F13 && key <= SDLK_F24) return VK_F12 + 1 + unsigned(key - SDLK_F13);
  if (key >= SDLK_KP_1 && key <= SDLK_KP_9) return 0x61 + unsigned(key - SDLK_KP_1);
  switch (key) {
    case SDLK_KP_0: return 0x60;
    case SDLK_BACKSPACE: return VK_BACK;
    case SDLK_TAB: return VK_TAB;
    case SDLK_RETURN:
    case SDLK_KP_ENTER: return VK_RETURN;
    case SDLK_LSHIFT:
    case SDLK_RSHIFT: return VK_SHIFT;
    case SDLK_LCTRL:
    case SDLK_RCTRL: return VK_CONTROL;
    case SDLK_LALT:
    case SDLK_RALT: return VK_MENU;
    case SDLK_PAUSE: return VK_PAUSE;
    case SDLK_ESCAPE: return VK_ESCAPE;
    case SDLK_SPACE: return VK_SPACE;
    case SDLK_PAGEUP: return VK_PRIOR;
    case SDLK_PAGEDOWN: return VK_NEXT;
    case SDLK_END: return VK_END;
    case SDLK_HOME: return VK_HOME;
    case SDLK_LEFT: return VK_LEFT;
    case SDLK_UP: return VK_UP;
    case SDLK_RIGHT: return VK_RIGHT;
    case SDLK_DOWN: return VK_DOWN;
    case SDLK_INSERT: return VK_INSERT;
    case SDLK_DELETE: return VK_DELETE;
    default: return 0;
  }
}

// Whether the event releases a key pressed since the last pass that found the
// queue empty. Such a release is held back for one pass: the loop reads keys
// in empty passes only, so a tap whose press and release arrive together
// would otherwise never be seen.
bool releasesFreshKey(const SDL_Event& event) {
  return event.type == SDL_KEYUP && keysPressedSinceIdle().count(virtualKey(event.key.keysym.sym)) > 0;
}

void translateEvent(const SDL_Event& event) {
  if (event.type == SDL_SYSWMEVENT) {
    windowSystemEvent(event);
    return;
  }
  if (event.type == SDL_KEYDOWN || event.type == SDL_KEYUP) {
    PlatformWindow* window = windowFromId(event.key.windowID);
    // SDL takes the keyboard focus a moment after the window gets it and
    // reports keys of that moment with no window; they belong to the show's.
    if (!window && event.key.windowID == 0 && liveWindows().size() == 1) window = liveWindows().front();
    const unsigned code = virtualKey(event.key.keysym.sym);
    if (!window || code == 0) return;
    const bool down = event.type == SDL_KEYDOWN;
    const bool system = code == VK_MENU || code == VK_F10 || (event.key.keysym.mod & KMOD_ALT);
    const unsigned message = system ? (down ? WM_SYSKEYDOWN : WM_SYSKEYUP) : (down ? WM_KEYDOWN : WM_KEYUP);
    intptr_t lParam = 1 | (intptr_t(event.key.keysym.scancode & 0xFF) << 16);
    if (event.key.repeat) lParam |= intptr_t(1) << 30;
    if (!down) lParam |= intptr_t(3) << 30;
    queueMessage(window, message, code, lParam);
    return;
  }
  if (event.type != SDL_WINDOWEVENT) return;
  PlatformWindow* window = windowFromId(event.window.windowID);
  if (!window) return;
  switch (event.window.event) {
    case SDL_WINDOWEVENT_MINIMIZED:
      queueMessage(window, WM_ACTIVATE, activation(WA_INACTIVE, true), 0);
      break;
    case SDL_WINDOWEVENT_RESTORED: queueMessage(window, WM_ACTIVATE, activation(WA_ACTIVE, false), 0); break;
    case SDL_WINDOWEVENT_FOCUS_GAINED:
      queueMessage(window, WM_ACTIVATE, activation(WA_ACTIVE, isMinimized(window)), 0);
      break;
    case SDL_WINDOWEVENT_FOCUS_LOST:
      queueMessage(window, WM_ACTIVATE, activation(WA_INACTIVE, isMinimized(window)), 0);
      break;
    case SDL_WINDOWEVENT_SIZE_CHANGED:
      queueMessage(window, WM_SIZE, 0,
                   intptr_t(event.window.data1 & 0xFFFF) | (intptr_t(event.window.data2 & 0xFFFF) << 16));
      break;
    case SDL_WINDOWEVENT_CLOSE: queueMessage(window, WM_CLOSE, 0, 0); break;
    default: break;
  }
}

}  // namespace

bool markWindowLost(unsigned long nativeId) {
  for (PlatformWindow* w : liveWindows())
    if (w->nativeId != 0 && w->nativeId == nativeId) {
      w->lost = true;
      return true;
    }
  return false;
}

int platformMessageBox(PlatformWindow* owner, const char* text, const char* caption, unsigned style,
                       int fallbackAnswer) {
  actOnPendingSignal();
  const bool yesNo = (style & 0x0F) == MB_YESNO;
  if (!haveDisplay()) return answerOnTerminal(text, caption, yesNo, fallbackAnswer);

  Uint32 flags = SDL_MESSAGEBOX_BUTTONS_LEFT_TO_RIGHT;
  switch (style & 0xF0) {
    case MB_ICONSTOP: flags |= SDL_MESSAGEBOX_ERROR; break;
    case MB_ICONEXCLAMATION: flags |= SDL_MESSAGEBOX_WARNING; break;
    default: flags |= SDL_MESSAGEBOX_INFORMATION; break;  // SDL draws no question mark
  }
  const SDL_MessageBoxButtonData yesNoButtons[] = {
      {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, IDYES, "Yes"},
      {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, IDNO, "No"},
  };
  const SDL_MessageBoxButtonData okButton[] = {
      {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT | SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, IDOK, "OK"},
  };
  SDL_MessageBoxData box{};
  box.flags = flags;
  box.window = isWindow(owner) ? owner->sdl : nullptr;
  box.title = caption ? caption : "";
  box.message = text ? text : "";
  box.numbuttons = yesNo ? 2 : 1;
  box.buttons = yesNo ? yesNoButtons : okButton;
  int answer = -1;
  desktopGuardInModalBox(true);
  const int result = SDL_ShowMessageBox(&box, &answer);
  desktopGuardInModalBox(false);
  actOnPendingSignal();
  if (result != 0) return answerOnTerminal(text, caption, yesNo, fallbackAnswer);
  if (answer < 0) return yesNo ? IDNO : IDOK;  // the box was closed: as Escape
  return answer;
}

PlatformWindow* platformFocusWindow() {
  if (videoState <= 0) return nullptr;
  SDL_Window* focus = SDL_GetKeyboardFocus();
  for (PlatformWindow* w : liveWindows())
    if (w->sdl == focus) return w;
  return nullptr;
}

bool platformPeekMessage(PlatformMessage* message) {
  actOnPendingSignal();
  if (videoState > 0) {
    SDL_PumpEvents();
    // Nothing is drawn while every window is minimized: rather than return
    // at once, wait for the window system's next event, a tenth of a second
    // at most, so that a signal is still acted on in time.
    if (!messagesQueued() && allMinimized() && !SDL_HasEvents(SDL_FIRSTEVENT, SDL_LASTEVENT)) {
      SDL_WaitEventTimeout(nullptr, kMinimizedWaitMs);
      actOnPendingSignal();
    }
    SDL_Event event;
    while (SDL_PeepEvents(&event, 1, SDL_PEEKEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) == 1) {
      if (releasesFreshKey(event)) break;  // stays in SDL's queue until a pass found ours empty
      SDL_PeepEvents(&event, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT);
      translateEvent(event);
    }
  }
  // A window another program destroyed asks to be closed, once.
  for (PlatformWindow* w : liveWindows()) {
    if (w->lost && !w->lossReported) {
      w->lossReported = true;
      queueMessage(w, WM_CLOSE, 0, 0);
    }
  }
  return takeQueuedMessage(message);
}

intptr_t platformDispatchMessage(const PlatformMessage* message) {
  PlatformWindow* window = message->window;
  if (!window || !isWindow(window)) return 0;
  const bool screenSaverRequest = message->message == WM_SYSCOMMAND &&
                                  (message->wParam == SC_SCREENSAVE || message->wParam == SC_MONITORPOWER);
  if (screenSaverRequest) window->screenSaverPassedOn = false;
  const intptr_t result = sendMessage(window, message->message, message->wParam, message->lParam);
  if (screenSaverRequest && isWindow(window)) {
    if (window->screenSaverPassedOn)
      SDL_EnableScreenSaver();
    else
      SDL_DisableScreenSaver();  // refused: the screen saver waits while the window exists
  }
  return result;
}

intptr_t platformDefWindowProc(PlatformWindow* window, unsigned message, uintptr_t wParam, intptr_t) {
  if (message == WM_SYSCOMMAND && (wParam == SC_SCREENSAVE || wParam == SC_MONITORPOWER) && isWindow(window))
    window->screenSaverPassedOn = true;
  return 0;
}

PlatformWindow* platformCreateWindow(uint32_t, const char* className, const char* title, uint32_t style,
                                     int x, int y, int width, int height, PlatformWindow*,
                                     PlatformInstance*) {
  const PlatformWindowProc procedure = registeredClassProcedure(className);
  if (!procedure || width <= 0 || height <= 0 || !haveDisplay()) return nullptr;

  // The minimum configuration every pixel format choice can rely on.
  SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 5);
  SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 6);
  SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 5);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  Uint32 flags = sdlGlAskProfile() | SDL_WINDOW_HIDDEN;
  const bool popup = (style & WS_POPUP) != 0;
  if (popup) {
    flags |= SDL_WINDOW_BORDERLESS;
  } else {
    flags |= SDL_WINDOW_RESIZABLE;
  }
  const bool modeHeld = desktopGuardModeHeld();
  if (popup && modeHeld) flags |= switchNeeded ? SDL_WINDOW_FULLSCREEN : SDL_WINDOW_FULLSCREEN_DESKTOP;
  SDL_Window* sdl = SDL_CreateWindow(title ? title : "", x, y, width, height, flags);
  if (!sdl) return nullptr;
  if (popup && modeHeld && switchNeeded) SDL_SetWindowDisplayMode(sdl, &heldMode);

  auto* window = new PlatformWindow{sdl, procedure, {nullptr, 0}, false, windowSystemId(sdl), false, false};
  window->device.window = window;
  addWindow(window, &window->device);
  sendMessage(window, WM_CREATE, 0, 0);
  return window;
}

bool platformDestroyWindow(PlatformWindow* window) {
  if (!isWindow(window)) return false;
  if (SDL_GetKeyboardFocus() == window->sdl)
    sendMessage(window, WM_ACTIVATE, activation(WA_INACTIVE, false), 0);
  sendMessage(window, WM_DESTROY, 0, 0);
  removeWindow(window);
  sdlGlWindowGone(window->sdl);
  SDL_DestroyWindow(window->sdl);
  delete window;
  if (liveWindows().empty()) SDL_EnableScreenSaver();  // the desktop's own choice again
  return true;
}

void platformShowWindow(PlatformWindow* window) {
  if (!isWindow(window)) return;
  SDL_ShowWindow(window->sdl);  // switches the mode of a fullscreen window
  if (desktopGuardModeHeld() && (SDL_GetWindowFlags(window->sdl) & SDL_WINDOW_FULLSCREEN))
    desktopGuardModeSet();
  int width = 0, height = 0;
  SDL_GetWindowSize(window->sdl, &width, &height);
  sendMessage(window, WM_SIZE, 0, intptr_t(width & 0xFFFF) | (intptr_t(height & 0xFFFF) << 16));
  queueMessage(window, WM_SYSCOMMAND, SC_SCREENSAVE, 0);
  queueMessage(window, WM_SYSCOMMAND, SC_MONITORPOWER, 2);
}

bool platformSetForegroundWindow(PlatformWindow* window) {
  if (!isWindow(window)) return false;
  SDL_RaiseWindow(window->sdl);
  return true;
}

PlatformWindow* platformSetFocus(PlatformWindow* window) {
  if (!isWindow(window)) return nullptr;
  PlatformWindow* previous = platformFocusWindow();
  sendMessage(window, WM_ACTIVATE, activation(WA_ACTIVE, isMinimized(window)), 0);
  return previous;
}

int platformChoosePixelFormat(PlatformDevice* device, const PlatformPixelFormat* request) {
  if (!isDevice(device) || !request) return 0;
  const uint32_t needed = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL;
  if ((request->dwFlags & needed) != needed || request->iPixelType != PFD_TYPE_RGBA) return 0;
  if (request->cColorBits > 32 || request->cDepthBits > 32 || request->cStencilBits > 8) return 0;
  return 1;  // the window's own configuration: 5/6/5 or better, 16 depth or better, double-buffered
}

PlatformGlContext* platformCreateGlContext(PlatformDevice* device) {
  if (!isDevice(device) || device->pixelFormat == 0) return nullptr;
  SDL_Window* previousWindow = sdlGlCurrentWindow();
  void* previous = sdlGlCurrentContext();
  void* gl = sdlGlCreateContext(device->window->sdl);  // makes it current
  sdlGlMakeCurrent(previous ? previousWindow : nullptr, previous);
  if (!gl) return nullptr;
  auto* context = new PlatformGlContext{gl};
  addContext(context);
  return context;
}

bool platformMakeCurrent(PlatformDevice* device, PlatformGlContext* context) {
  if (!device && !context) return videoState <= 0 || sdlGlMakeCurrent(nullptr, nullptr);
  if (!isDevice(device) || !isContext(context)) return false;
  SDL_Window* sdl = device->window->sdl;
  if (!sdlGlMakeCurrent(sdl, context->gl)) return false;
  // Read anew for every context: a new window may be on another display, and
  // the fullscreen window's mode, switched when it is shown after this, may
  // refresh at another rate than the desktop; its rate is the held mode's. A
  // framed window refreshes with its display.
  SDL_DisplayMode mode{};
  int refreshHz = 0;  // 0: unknown
  if (desktopGuardModeHeld() && (SDL_GetWindowFlags(sdl) & SDL_WINDOW_FULLSCREEN))
    refreshHz = heldMode.refresh_rate;
  else if (SDL_GetCurrentDisplayMode(std::max(0, SDL_GetWindowDisplayIndex(sdl)), &mode) == 0)
    refreshHz = mode.refresh_rate;
  // The driver is asked to show each frame for whole refreshes (the pacer
  // says how many), and the pacer makes up for a driver that refuses or does
  // not keep to it. A driver that refuses more than one refresh is still
  // asked to wait for one, so that frames are not torn.
  const bool paced = pacingWanted();
  const int interval = paced ? framePacerSwapInterval(refreshHz) : 0;
  const bool driverWaits = sdlGlSwapInterval(interval);
  if (paced && !driverWaits && interval > 1) sdlGlSwapInterval(1);
  framePacerReset(refreshHz, paced && driverWaits, paced);
  return true;
}

bool platformDeleteGlContext(PlatformGlContext* context) {
  if (!isContext(context)) return false;
  if (sdlGlCurrentContext() == context->gl) sdlGlMakeCurrent(nullptr, nullptr);
  sdlGlDeleteContext(context->gl);
  removeContext(context);
  delete context;
  return true;
}

// A desktop context is never lost.
bool platformGlContextLost(PlatformGlContext*) { return false; }

bool platformSwapBuffers(PlatformDevice* device) {
  actOnPendingSignal();
  if (!isDevice(device) || device->window->lost) return false;
  const int64_t until = framePacerBeforeSwap(monotonicNow());
  if (until > monotonicNow()) sleepUntil(until);
  sdlGlSwap(device->window->sdl);
  framePacerAfterSwap(monotonicNow());
  return true;
}

bool platformChangeDisplayMode(int width, int height, int) {
  if (!haveDisplay()) return false;
  // The display's own listed modes, and its desktop mode (some drivers list none).
  const int count = SDL_GetNumDisplayModes(0);
  for (int i = -1; i < count; ++i) {
    SDL_DisplayMode mode{};
    const int found = i < 0 ? SDL_GetDesktopDisplayMode(0, &mode) : SDL_GetDisplayMode(0, i, &mode);
    if (found == 0 && mode.w == width && mode.h == height) {
      heldMode = mode;
      switchNeeded = i >= 0;
      if (!restoreAtExitInstalled) {
        restoreAtExitInstalled = true;
        std::atexit(restoreAtExit);
      }
      if (!desktopGuardModeHeld()) desktopGuardModeTaken();
      return true;
    }
  }
  return false;
}

bool platformRestoreDisplayMode() {
  restoreModeNow();
  return true;
}

int platformShowCursor(bool show) {
  cursorCount += show ? 1 : -1;
  if (videoState > 0) SDL_ShowCursor(cursorCount >= 0 ? SDL_ENABLE : SDL_DISABLE);
  return cursorCount;
}
