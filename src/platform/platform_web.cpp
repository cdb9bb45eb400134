// The window-system layer in a browser page, over emscripten's html5.h and a
// little JavaScript of its own.
//
// The page's element #stage holds the show: a window is a 640x480 canvas in
// it, its GL context a WebGL 1 context (OpenGL ES 2.0) with the GL 1.1 layer
// loaded over it. Boxes are dialogs in the stage with real buttons. Keys,
// focus and visibility arrive from the page's own listeners into a queue that
// platformPeekMessage turns into window messages.
//
// A browser gives the program one thread, and the show's loop never returns
// to it; so the platform waits for the browser where the desktop would wait
// for the display (Asyncify): the buffer swap waits for the next animation
// frame, an idle loop for the next frame or a tenth of a second, a box for its
// button.
//
// Fullscreen is the page's, not the display's: a browser grants it only inside
// a user's gesture, so it is asked for in the gestures that lead to it (Yes to
// a question box, which is the show's fullscreen question, and F1 while
// framed), and platformChangeDisplayMode grants the mode once that request
// has been granted. The stage is then the fullscreen element and scales the
// canvas to the screen, aspect kept. Leaving fullscreen by the browser's own
// Escape, which the page never sees as a key, arrives as the Escape key.
//
// Main thread only (the page's).
#include "platform.h"

#include <emscripten.h>
#include <emscripten/html5.h>

#include <string>
#include <vector>

#include "gl11es.h"
#include "window_registry.h"

struct PlatformWindow {
  std::string canvasId;  // the canvas element's id
  PlatformWindowProc procedure;
  PlatformDevice device;
  bool screenSaverPassedOn;  // the window procedure let a screen-saver request through
};

struct PlatformGlContext {
  EMSCRIPTEN_WEBGL_CONTEXT_HANDLE handle;
};

namespace {

int cursorCount = 0;  // the show counter; visible while >= 0
int canvasesMade = 0;
int idlePasses = 0;  // platformPeekMessage calls that found nothing since the last swap

// The page's side: its listeners, the event queue and the fullscreen state,
// made once.
// clang-format off
EM_JS(void, setUpPage, (), {
  if (Module.platform) return;
  const P = (Module.platform = {
    events: [],
    stage: document.getElementById("stage") || document.body,
    canvas: null,
    holdsFullscreen: false,  // the show holds fullscreen (the display mode is granted)
    request: null,           // a fullscreen request not yet answered
    dialogOpen: false,
    swaps: 0,            // frames presented
    firstFrameAt: null,  // performance.now() when the first was presented
  });
  const params = new URLSearchParams(location.search);
  P.keepBuffer = params.has("frame");
  P.requestFullscreen = () => {
    if (document.fullscreenElement || !P.stage.requestFullscreen) return;
    P.request = P.stage.requestFullscreen({navigationUI: "hide"}).then(() => true, () => false);
  };
  // Keys go to the show while it has a window and no dialog is open.
  const onKey = (e, down) => {
    if (!P.canvas || P.dialogOpen) return;
    const code = e.keyCode;
    if (code <= 0 || code > 255) return;
    if (code === 112 || code === 27 || (code >= 113 && code <= 123)) e.preventDefault();
    if (down && code === 112 && !P.holdsFullscreen) P.requestFullscreen();
    const system = code === 18 || code === 121 || e.altKey;
    const message = system ? (down ? 0x104 : 0x105) : (down ? 0x100 : 0x101);
    let lParam = 1 | ((e.which & 0xff) << 16);
    if (e.repeat) lParam |= 1 << 30;
    if (!down) lParam |= 3 << 30;
    P.events.push([message, code, lParam]);
  };
  document.addEventListener("keydown", (e) => onKey(e, true));
  document.addEventListener("keyup", (e) => onKey(e, false));
  // A hidden page or a lost focus: inactive, as a minimized window is.
  const activity = () => {
    if (!P.canvas) return;
    const active = !document.hidden && document.hasFocus();
    P.events.push([0x0006, active ? 1 : 0x10000, 0]);
  };
  document.addEventListener("visibilitychange", activity);
  window.addEventListener("blur", activity);
  window.addEventListener("focus", activity);
  document.addEventListener("fullscreenchange", () => {
    if (!document.fullscreenElement && P.holdsFullscreen) {
      P.holdsFullscreen = false;
      if (P.canvas) P.events.push([0x100, 27, 1 | (1 << 16)]);
    }
  });
});
// clang-format on

// Takes the oldest page event into `out` (message, wParam, lParam); returns
// 0 when none waits. A key release of a key in `fresh` stays waiting.
// clang-format off
EM_JS(int, takePageEvent, (int* out, const unsigned* fresh, int freshCount), {
  const P = Module.platform;
  if (P.events.length === 0) return 0;
  const e = P.events[0];
  if (e[0] === 0x101 || e[0] === 0x105) {
    for (let i = 0; i < freshCount; ++i)
      if (HEAPU32[(fresh >> 2) + i] === e[1]) return 0;
  }
  P.events.shift();
  HEAP32[out >> 2] = e[0];
  HEAP32[(out >> 2) + 1] = e[1];
  HEAP32[(out >> 2) + 2] = e[2];
  return 1;
});
// clang-format on

// Waits for the browser's next animation frame, or a tenth of a second while
// the page is hidden and frames stop.
// clang-format off
EM_ASYNC_JS(void, waitForFrame, (int presented), {
  const P = Module.platform;
  if (presented && P.swaps++ === 0) P.firstFrameAt = performance.now();
  await new Promise((resolve) => {
    const timer = setTimeout(resolve, 100);
    requestAnimationFrame(() => {
      clearTimeout(timer);
      resolve();
    });
  });
});
// clang-format on

// Shows a dialog in the stage and waits for its answer. Enter picks the
// default (the first button), Escape the last.
// clang-format off
EM_ASYNC_JS(int, showDialog, (const char* textPtr, const char* captionPtr, int yesNo, int question), {
  const P = Module.platform;
  const text = UTF8ToString(textPtr);
  const caption = UTF8ToString(captionPtr);
  const box = document.createElement("div");
  box.className = "box";
  box.setAttribute("role", "dialog");
  box.setAttribute("aria-modal", "true");
  const title = document.createElement("div");
  title.className = "caption";
  title.textContent = caption;
  const body = document.createElement("p");
  body.className = "text";
  body.textContent = text;
  const row = document.createElement("div");
  row.className = "buttons";
  box.append(title, body, row);
  const answers = yesNo ? [["Yes", 6], ["No", 7]] : [["OK", 1]];
  P.dialogOpen = true;
  const answer = await new Promise((resolve) => {
    const pick = (value) => {
      // The question"s Yes is the gesture fullscreen needs.
      if (question && value === 6) P.requestFullscreen();
      document.removeEventListener("keydown", onKey, true);
      resolve(value);
    };
    const onKey = (e) => {
      if (e.key === "Enter") pick(answers[0][1]);
      else if (e.key === "Escape") pick(answers[answers.length - 1][1]);
      else return;
      e.preventDefault();
      e.stopPropagation();
    };
    for (const answer of answers) {
      const label = answer[0];
      const value = answer[1];
      const button = document.createElement("button");
      button.type = "button";
      button.textContent = label;
      button.addEventListener("click", () => pick(value));
      row.append(button);
    }
    document.addEventListener("keydown", onKey, true);
    P.stage.append(box);
    row.firstChild.focus();
  });
  box.remove();
  P.dialogOpen = false;
  return answer;
});
// clang-format on

// clang-format off
EM_JS(void, makeCanvas, (const char* idPtr, const char* titlePtr, int width, int height, int popup), {
  const P = Module.platform;
  const canvas = document.createElement("canvas");
  canvas.id = UTF8ToString(idPtr);
  canvas.width = width;
  canvas.height = height;
  canvas.className = popup ? "popup" : "framed";
  canvas.hidden = true;
  canvas.setAttribute("aria-label", UTF8ToString(titlePtr));
  P.stage.append(canvas);
  P.canvas = canvas;
  document.title = UTF8ToString(titlePtr);
});
// clang-format on

// clang-format off
EM_JS(void, showCanvas, (const char* idPtr), {
  const canvas = document.getElementById(UTF8ToString(idPtr));
  if (canvas) canvas.hidden = false;
  window.focus();
});
// clang-format on

// clang-format off
EM_JS(void, removeCanvas, (const char* idPtr), {
  const P = Module.platform;
  const canvas = document.getElementById(UTF8ToString(idPtr));
  if (canvas) canvas.remove();
  if (P.canvas === canvas) P.canvas = null;
});
// clang-format on

// clang-format off
EM_JS(int, pageActive, (), { return !document.hidden && document.hasFocus(); });
// clang-format on

// clang-format off
EM_JS(int, keepsDrawingBuffer, (), { return Module.platform.keepBuffer ? 1 : 0; });
// clang-format on

// Fullscreen stands once a request made in a gesture has been granted.
// clang-format off
EM_ASYNC_JS(int, holdFullscreen, (), {
  const P = Module.platform;
  if (!document.fullscreenElement && P.request) await P.request;
  P.request = null;
  P.holdsFullscreen = document.fullscreenElement === P.stage;
  return P.holdsFullscreen ? 1 : 0;
});
// clang-format on

// clang-format off
EM_JS(void, leaveFullscreen, (), {
  const P = Module.platform;
  P.holdsFullscreen = false;
  if (document.fullscreenElement) document.exitFullscreen().catch(() => {});
});
// clang-format on

// clang-format off
EM_JS(void, setCursorShown, (int shown), { Module.platform.stage.style.cursor = shown ? "" : "none"; });
// clang-format on

// The screen saver is refused by keeping the screen awake while the show runs,
// where the browser offers that.
// clang-format off
EM_JS(void, keepScreenAwake, (int awake), {
  const P = Module.platform;
  if (awake && !P.wakeLock && navigator.wakeLock) {
    navigator.wakeLock.request("screen").then((lock) => { P.wakeLock = lock; }, () => {});
  } else if (!awake && P.wakeLock) {
    P.wakeLock.release().catch(() => {});
    P.wakeLock = null;
  }
});
// clang-format on

intptr_t sendMessage(PlatformWindow* window, unsigned message, uintptr_t wParam, intptr_t lParam) {
  return window->procedure(window, message, wParam, lParam);
}

uintptr_t activation(bool active) { return active ? WA_ACTIVE : (WA_INACTIVE | 1u << 16); }

}  // namespace

int platformMessageBox(PlatformWindow*, const char* text, const char* caption, unsigned style, int) {
  setUpPage();
  const bool yesNo = (style & 0x0F) == MB_YESNO;
  const bool question = (style & 0xF0) == MB_ICONQUESTION;
  return showDialog(text ? text : "", caption ? caption : "", yesNo, question);
}

PlatformWindow* platformFocusWindow() {
  const std::vector<PlatformWindow*>& windows = liveWindows();
  return windows.empty() || !pageActive() ? nullptr : windows.front();
}

bool platformPeekMessage(PlatformMessage* message) {
  setUpPage();
  PlatformWindow* window = liveWindows().empty() ? nullptr : liveWindows().front();
  for (;;) {
    const std::vector<unsigned> fresh(keysPressedSinceIdle().begin(), keysPressedSinceIdle().end());
    int event[3];
    if (!takePageEvent(event, fresh.data(), int(fresh.size()))) break;
    if (window) queueMessage(window, unsigned(event[0]), uintptr_t(event[1]), intptr_t(event[2]));
  }
  if (takeQueuedMessage(message)) return true;
  // A loop that finds nothing twice without drawing gives the browser its turn.
  if (++idlePasses >= 2) {
    idlePasses = 0;
    waitForFrame(0);
  }
  return false;
}

intptr_t platformDispatchMessage(const PlatformMessage* message) {
  PlatformWindow* window = message->window;
  if (!window || !isWindow(window)) return 0;
  const bool screenSaverRequest = message->message == WM_SYSCOMMAND && message->wParam == SC_SCREENSAVE;
  if (screenSaverRequest) window->screenSaverPassedOn = false;
  const intptr_t result = sendMessage(window, message->message, message->wParam, message->lParam);
  if (screenSaverRequest && isWindow(window)) keepScreenAwake(!window->screenSaverPassedOn);
  return result;
}

intptr_t platformDefWindowProc(PlatformWindow* window, unsigned message, uintptr_t wParam, intptr_t) {
  if (message == WM_SYSCOMMAND && wParam == SC_SCREENSAVE && isWindow(window))
    window->screenSaverPassedOn = true;
  return 0;
}

// The page holds one show window at a time.
PlatformWindow* platformCreateWindow(uint32_t, const char* className, const char* title, uint32_t style, int,
                                     int, int width, int height, PlatformWindow*, PlatformInstance*) {
  setUpPage();
  const PlatformWindowProc procedure = registeredClassProcedure(className);
  if (!procedure || width <= 0 || height <= 0 || !liveWindows().empty()) return nullptr;
  const bool popup = (style & WS_POPUP) != 0;
  if (!popup) leaveFullscreen();
  auto* window = new PlatformWindow{"show-" + std::to_string(++canvasesMade), procedure, {nullptr, 0}, false};
  window->device.window = window;
  makeCanvas(window->canvasId.c_str(), title ? title : "", width, height, popup);
  addWindow(window, &window->device);
  sendMessage(window, WM_CREATE, 0, 0);
  return window;
}

bool platformDestroyWindow(PlatformWindow* window) {
  if (!isWindow(window)) return false;
  sendMessage(window, WM_ACTIVATE, activation(false), 0);
  sendMessage(window, WM_DESTROY, 0, 0);
  removeWindow(window);
  removeCanvas(window->canvasId.c_str());
  keepScreenAwake(false);
  delete window;
  return true;
}

void platformShowWindow(PlatformWindow* window) {
  if (!isWindow(window)) return;
  showCanvas(window->canvasId.c_str());
  int width = 0, height = 0;
  emscripten_get_canvas_element_size(("#" + window->canvasId).c_str(), &width, &height);
  sendMessage(window, WM_SIZE, 0, intptr_t(width & 0xFFFF) | (intptr_t(height & 0xFFFF) << 16));
  queueMessage(window, WM_SYSCOMMAND, SC_SCREENSAVE, 0);
  queueMessage(window, WM_SYSCOMMAND, SC_MONITORPOWER, 2);
}

bool platformSetForegroundWindow(PlatformWindow* window) { return isWindow(window); }

PlatformWindow* platformSetFocus(PlatformWindow* window) {
  if (!isWindow(window)) return nullptr;
  sendMessage(window, WM_ACTIVATE, activation(pageActive()), 0);
  return nullptr;
}

int platformChoosePixelFormat(PlatformDevice* device, const PlatformPixelFormat* request) {
  if (!isDevice(device) || !request) return 0;
  const uint32_t needed = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL;
  if ((request->dwFlags & needed) != needed || request->iPixelType != PFD_TYPE_RGBA) return 0;
  if (request->cColorBits > 32 || request->cDepthBits > 24 || request->cStencilBits > 8) return 0;
  return 1;  // WebGL's one configuration: 8 bits a channel, 16 depth bits or more
}

PlatformGlContext* platformCreateGlContext(PlatformDevice* device) {
  if (!isDevice(device) || device->pixelFormat == 0) return nullptr;
  EmscriptenWebGLContextAttributes attributes;
  emscripten_webgl_init_context_attributes(&attributes);
  attributes.alpha = EM_FALSE;  // the show clears with alpha 0.5: the page must not show through
  attributes.depth = EM_TRUE;
  attributes.stencil = EM_FALSE;
  attributes.antialias = EM_FALSE;  // as the desktop's single-sampled window
  attributes.preserveDrawingBuffer = keepsDrawingBuffer() ? EM_TRUE : EM_FALSE;
  attributes.majorVersion = 1;
  attributes.minorVersion = 0;
  const EMSCRIPTEN_WEBGL_CONTEXT_HANDLE previous = emscripten_webgl_get_current_context();
  const EMSCRIPTEN_WEBGL_CONTEXT_HANDLE handle =
      emscripten_webgl_create_context(("#" + device->window->canvasId).c_str(), &attributes);
  emscripten_webgl_make_context_current(previous);
  if (handle <= 0) return nullptr;
  auto* context = new PlatformGlContext{handle};
  addContext(context);
  return context;
}

bool platformMakeCurrent(PlatformDevice* device, PlatformGlContext* context) {
  if (!device && !context) return emscripten_webgl_make_context_current(0) == EMSCRIPTEN_RESULT_SUCCESS;
  if (!isDevice(device) || !isContext(context)) return false;
  if (emscripten_webgl_get_current_context() == context->handle) return true;
  if (emscripten_webgl_make_context_current(context->handle) != EMSCRIPTEN_RESULT_SUCCESS) return false;
  // The GL 1.1 layer starts afresh on each context made current.
  gl11esLoad(emscripten_webgl_get_proc_address);
  return true;
}

bool platformDeleteGlContext(PlatformGlContext* context) {
  if (!isContext(context)) return false;
  if (emscripten_webgl_get_current_context() == context->handle) emscripten_webgl_make_context_current(0);
  emscripten_webgl_destroy_context(context->handle);
  removeContext(context);
  delete context;
  return true;
}

// The browser presents what was drawn once the program gives it its turn.
bool platformSwapBuffers(PlatformDevice* device) {
  if (!isDevice(device)) return false;
  idlePasses = 0;
  waitForFrame(1);
  return true;
}

bool platformChangeDisplayMode(int, int, int) {
  setUpPage();
  return holdFullscreen();
}

bool platformRestoreDisplayMode() {
  setUpPage();
  leaveFullscreen();
  return true;
}

int platformShowCursor(bool show) {
  setUpPage();
  cursorCount += show ? 1 : -1;
  setCursorShown(cursorCount >= 0);
  return cursorCount;
}
