#include "fake_platform.h"

#include "gl_window.h"
#include "render_state.h"
#include "resize_scene.h"
#include "shell.h"
#include "timeline.h"

#include <algorithm>
#include <cstring>
#include <map>

struct PlatformWindow {
  std::string className;
  PlatformWindowProc procedure;
  bool alive;
};
struct PlatformDevice {
  PlatformWindow* window;
};
struct PlatformGlContext {
  bool alive;
};
struct PlatformInstance {};

namespace fake {

std::vector<std::string> calls;
std::vector<FakeBox> boxes;
std::deque<int> boxAnswers;
std::set<std::string> failing;
bool modeAvailable = true;
std::deque<std::optional<PlatformMessage>> script;
int initRenderStateResult = 1;
int cursorCount = 0;
bool modeHeld = false;
std::set<std::string> registeredClasses;
int liveWindows = 0;
PlatformWindow* lastWindow = nullptr;

namespace {

PlatformInstance instance;
std::deque<PlatformWindow> windows;  // stable addresses for the handles
std::deque<PlatformDevice> devices;
std::deque<PlatformGlContext> contexts;
std::map<std::string, PlatformWindowProc> classProcedures;
std::deque<PlatformMessage> posted;

bool fails(const char* operation) { return failing.count(operation) > 0; }
void record(const std::string& line) { calls.push_back(line); }

}  // namespace

void reset() {
  calls.clear();
  boxes.clear();
  boxAnswers.clear();
  failing.clear();
  modeAvailable = true;
  script.clear();
  initRenderStateResult = 1;
  cursorCount = 0;
  modeHeld = false;
  registeredClasses.clear();
  classProcedures.clear();
  liveWindows = 0;
  lastWindow = nullptr;
  posted.clear();
  windows.clear();
  devices.clear();
  contexts.clear();

  isFullscreen = true;
  isActive = true;
  std::memset(keyDown, 0, sizeof keyDown);
  instanceHandle = nullptr;
  windowHandle = nullptr;
  deviceContext = nullptr;
  renderingContext = nullptr;
  pixelFormatRequest = PlatformPixelFormat{};
  pixelFormatRequest.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
}

PlatformMessage message(unsigned id, uintptr_t wParam, intptr_t lParam) {
  return PlatformMessage{nullptr, id, wParam, lParam};
}

void key(unsigned virtualKey, bool down) {
  script.push_back(message(down ? WM_KEYDOWN : WM_KEYUP, virtualKey, 0));
}

void idle(int passes) {
  for (int i = 0; i < passes; ++i) script.push_back(std::nullopt);
}

int count(const std::string& line) { return int(std::count(calls.begin(), calls.end(), line)); }

int indexOf(const std::string& line, int from) {
  for (size_t i = size_t(from); i < calls.size(); ++i)
    if (calls[i] == line) return int(i);
  return -1;
}

}  // namespace fake

using namespace fake;

int platformMessageBox(PlatformWindow*, const char* text, const char* caption, unsigned style,
                       int fallbackAnswer) {
  boxes.push_back(FakeBox{text, caption, style, fallbackAnswer});
  record(std::string("Box ") + caption + ": " + text);
  if ((style & 0x0F) != MB_YESNO) return IDOK;
  if (boxAnswers.empty()) return IDYES;
  const int answer = boxAnswers.front();
  boxAnswers.pop_front();
  return answer;
}

PlatformWindow* platformFocusWindow() { return lastWindow && lastWindow->alive ? lastWindow : nullptr; }

bool platformPeekMessage(PlatformMessage* message) {
  if (!posted.empty()) {
    *message = posted.front();
    posted.pop_front();
    return true;
  }
  if (script.empty()) {
    record("ScriptExhausted");
    *message = PlatformMessage{nullptr, WM_QUIT, uintptr_t(exitWhenExhausted), 0};
    return true;
  }
  std::optional<PlatformMessage> next = script.front();
  script.pop_front();
  if (!next) return false;
  if (!next->window && next->message != WM_QUIT) next->window = lastWindow;
  *message = *next;
  return true;
}

bool platformTranslateMessage(const PlatformMessage*) { return false; }

intptr_t platformDispatchMessage(const PlatformMessage* message) {
  PlatformWindow* window = message->window;
  if (!window || !window->alive) return 0;
  return window->procedure(window, message->message, message->wParam, message->lParam);
}

intptr_t platformDefWindowProc(PlatformWindow*, unsigned message, uintptr_t wParam, intptr_t lParam) {
  record("DefWindowProc " + std::to_string(message) + " " + std::to_string(wParam) + " " +
         std::to_string(lParam));
  return 0;
}

void platformPostQuitMessage(int exitCode) {
  record("PostQuitMessage " + std::to_string(exitCode));
  posted.push_back(PlatformMessage{nullptr, WM_QUIT, uintptr_t(exitCode), 0});
}

PlatformInstance* platformModuleHandle() { return &instance; }

bool platformRegisterClass(const PlatformWindowClass* windowClass) {
  record(std::string("RegisterClass ") + windowClass->name + " style=" + std::to_string(windowClass->style));
  if (fails("RegisterClass") || registeredClasses.count(windowClass->name)) return false;
  registeredClasses.insert(windowClass->name);
  classProcedures[windowClass->name] = windowClass->procedure;
  return true;
}

bool platformUnregisterClass(const char* name, PlatformInstance*) {
  record(std::string("UnregisterClass ") + name);
  if (fails("UnregisterClass") || !registeredClasses.count(name)) return false;
  registeredClasses.erase(name);
  return true;
}

void platformAdjustWindowRect(PlatformRect* rect, uint32_t style, uint32_t extendedStyle) {
  record("AdjustWindowRect " + std::to_string(style) + " " + std::to_string(extendedStyle));
  (void)rect;
}

PlatformWindow* platformCreateWindow(uint32_t extendedStyle, const char* className, const char* title,
                                     uint32_t style, int x, int y, int width, int height, PlatformWindow*,
                                     PlatformInstance* instanceArgument) {
  record(std::string("CreateWindow ") + title);
  record("  styles " + std::to_string(style) + " " + std::to_string(extendedStyle) + " at " +
         std::to_string(x) + "," + std::to_string(y) + " size " + std::to_string(width) + "x" +
         std::to_string(height) + (instanceArgument == &instance ? "" : " without instance"));
  if (fails("CreateWindow") || !registeredClasses.count(className)) return nullptr;
  windows.push_back(PlatformWindow{className, classProcedures[className], true});
  ++liveWindows;
  lastWindow = &windows.back();
  return lastWindow;
}

bool platformDestroyWindow(PlatformWindow* window) {
  record("DestroyWindow");
  if (!window || !window->alive) return false;
  window->alive = false;  // gone even when the destruction is reported as failed
  --liveWindows;
  return !fails("DestroyWindow");
}

void platformShowWindow(PlatformWindow*) { record("ShowWindow"); }
bool platformSetForegroundWindow(PlatformWindow*) {
  record("SetForegroundWindow");
  return true;
}
PlatformWindow* platformSetFocus(PlatformWindow*) {
  record("SetFocus");
  return nullptr;
}

PlatformDevice* platformGetDevice(PlatformWindow* window) {
  record("GetDevice");
  if (fails("GetDevice") || !window || !window->alive) return nullptr;
  devices.push_back(PlatformDevice{window});
  return &devices.back();
}

bool platformReleaseDevice(PlatformWindow*, PlatformDevice*) {
  record("ReleaseDevice");
  return !fails("ReleaseDevice");
}

int platformChoosePixelFormat(PlatformDevice*, const PlatformPixelFormat* request) {
  record("ChoosePixelFormat colour=" + std::to_string(request->cColorBits) +
         " depth=" + std::to_string(request->cDepthBits));
  return fails("ChoosePixelFormat") ? 0 : 7;
}

bool platformSetPixelFormat(PlatformDevice*, int format, const PlatformPixelFormat*) {
  record("SetPixelFormat " + std::to_string(format));
  return !fails("SetPixelFormat");
}

PlatformGlContext* platformCreateGlContext(PlatformDevice*) {
  record("CreateGlContext");
  if (fails("CreateGlContext")) return nullptr;
  contexts.push_back(PlatformGlContext{true});
  return &contexts.back();
}

bool platformMakeCurrent(PlatformDevice* device, PlatformGlContext* context) {
  if (!device && !context) {
    record("ReleaseCurrent");
    return !fails("ReleaseCurrent");
  }
  record("MakeCurrent");
  return !fails("MakeCurrent");
}

bool platformDeleteGlContext(PlatformGlContext* context) {
  record("DeleteGlContext");
  if (context) context->alive = false;
  return !fails("DeleteGlContext");
}

bool platformGlContextLost(PlatformGlContext* context) {
  if (!context || !context->alive || !fails("GlContextLost")) return false;
  failing.erase("GlContextLost");
  record("GlContextLost");
  return true;
}

bool platformSwapBuffers(PlatformDevice*) {
  record("SwapBuffers");
  return true;
}

bool platformChangeDisplayMode(int width, int height, int bits) {
  record("ChangeDisplayMode " + std::to_string(width) + "x" + std::to_string(height) + "x" +
         std::to_string(bits));
  if (!modeAvailable) return false;
  modeHeld = true;
  return true;
}

bool platformRestoreDisplayMode() {
  record("RestoreDisplayMode");
  modeHeld = false;
  return true;
}

int platformShowCursor(bool show) {
  record(show ? "ShowCursor" : "HideCursor");
  cursorCount += show ? 1 : -1;
  return cursorCount;
}

// The renderer hooks and the resize, recorded.
int initRenderState() {
  record("initRenderState");
  return initRenderStateResult;
}

int remakeRenderState() {
  record("remakeRenderState");
  return initRenderStateResult;
}

int renderFrame() {
  record("renderFrame");
  return 1;
}

void resizeScene(int width, int height) {
  record("resizeScene " + std::to_string(width) + "x" + std::to_string(height));
}
