// The window-system layer in a browser page, over emscripten's html5.h and
// the page's side in web/library_platform.js.
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
// frame of the next 1/60 s slot, an idle loop for the next frame or a tenth
// of a second, a box for its button.
//
// Fullscreen is the page's, not the display's: a browser grants it only inside
// a user's gesture, so it is asked for in the gestures that lead to it (Yes to
// a question box, which is the show's fullscreen question, and F1 while
// framed), and platformChangeDisplayMode grants the mode once that request
// has been granted. The stage is then the fullscreen element and scales the
// canvas to the screen, aspect kept. Leaving fullscreen any other way (the
// browser's own Escape, which the page never sees as a key, its controls, a
// resize) goes on framed; F1 then asks for fullscreen again.
//
// A WebGL context can be lost (a GPU reset, a browser dropping a background
// page's context); once the browser restores it, platformGlContextLost says
// so and the show makes its context and everything in it again.
//
// Main thread only (the page's).
#include "platform.h"

#include <GL/gl.h>
#include <emscripten.h>
#include <emscripten/html5.h>

#include <string>
#include <vector>

#include "gl11es.h"
#include "window_registry.h"

// The page's side, in web/library_platform.js.
extern "C" {
void setUpPage();
int takePageEvent(int* out, const unsigned* fresh, int freshCount);
void waitForFrame(int presented);
int showDialog(const char* text, const char* caption, int yesNo, int question);
void makeCanvas(const char* id, const char* title, int width, int height, int popup);
void showCanvas(const char* id);
void removeCanvas(const char* id);
int takeContextRestored();
void noteFailure(const char* text);
int pageActive();
int keepsDrawingBuffer();
int holdFullscreen();
void leaveFullscreen();
void setCursorShown(int shown);
void keepScreenAwake(int awake);
}

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
  if (handle <= 0) {
    noteFailure("This browser gave it no WebGL, which it draws with.");
    return nullptr;
  }
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

bool platformGlContextLost(PlatformGlContext* context) { return isContext(context) && takeContextRestored(); }

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

// WebGL's own scissor, taken from the context and not from the GL 1.1 layer,
// whose state the show sets and reads.
void platformSkipDrawing(bool skip) {
  const auto enable =
      reinterpret_cast<void (*)(GLenum)>(emscripten_webgl_get_proc_address(skip ? "glEnable" : "glDisable"));
  const auto scissor = reinterpret_cast<void (*)(GLint, GLint, GLsizei, GLsizei)>(
      emscripten_webgl_get_proc_address("glScissor"));
  if (!enable || !scissor) return;
  scissor(0, 0, 0, 0);
  enable(GL_SCISSOR_TEST);
}
