// The window system with no display, for programs that draw offscreen or not
// at all (the capture program, tests): boxes go to the terminal, questions
// take the terminal's answer or their fallback, and no window can be created,
// whatever display the environment names. Class registration, posted messages
// and the cursor counter are kept as bookkeeping, as the SDL platform keeps
// them when it finds no display.
#include "platform.h"

#include "platform_terminal.h"

#include <deque>
#include <set>
#include <string>

struct PlatformInstance {};

namespace {

PlatformInstance theInstance;
std::set<std::string> classes;
std::deque<PlatformMessage> posted;
int cursorCount = 0;  // the show counter

}  // namespace

int platformMessageBox(PlatformWindow*, const char* text, const char* caption, unsigned style,
                       int fallbackAnswer) {
  return answerOnTerminal(text, caption, (style & 0x0F) == MB_YESNO, fallbackAnswer);
}

PlatformWindow* platformFocusWindow() { return nullptr; }

bool platformPeekMessage(PlatformMessage* message) {
  if (posted.empty()) return false;
  *message = posted.front();
  posted.pop_front();
  return true;
}

bool platformTranslateMessage(const PlatformMessage*) { return false; }

intptr_t platformDispatchMessage(const PlatformMessage*) { return 0; }

intptr_t platformDefWindowProc(PlatformWindow*, unsigned, uintptr_t, intptr_t) { return 0; }

void platformPostQuitMessage(int exitCode) {
  posted.push_back(PlatformMessage{nullptr, WM_QUIT, uintptr_t(exitCode), 0});
}

PlatformInstance* platformModuleHandle() { return &theInstance; }

bool platformRegisterClass(const PlatformWindowClass* windowClass) {
  if (!windowClass || !windowClass->name || !windowClass->procedure) return false;
  return classes.insert(windowClass->name).second;
}

bool platformUnregisterClass(const char* name, PlatformInstance*) { return name && classes.erase(name) > 0; }

void platformAdjustWindowRect(PlatformRect*, uint32_t, uint32_t) {}

PlatformWindow* platformCreateWindow(uint32_t, const char*, const char*, uint32_t, int, int, int, int,
                                     PlatformWindow*, PlatformInstance*) {
  return nullptr;
}

bool platformDestroyWindow(PlatformWindow*) { return false; }
void platformShowWindow(PlatformWindow*) {}
bool platformSetForegroundWindow(PlatformWindow*) { return false; }
PlatformWindow* platformSetFocus(PlatformWindow*) { return nullptr; }

PlatformDevice* platformGetDevice(PlatformWindow*) { return nullptr; }
bool platformReleaseDevice(PlatformWindow*, PlatformDevice*) { return false; }
int platformChoosePixelFormat(PlatformDevice*, const PlatformPixelFormat*) { return 0; }
bool platformSetPixelFormat(PlatformDevice*, int, const PlatformPixelFormat*) { return false; }
PlatformGlContext* platformCreateGlContext(PlatformDevice*) { return nullptr; }

bool platformMakeCurrent(PlatformDevice* device, PlatformGlContext* context) {
  return !device && !context;  // releasing is all there is to do
}

bool platformDeleteGlContext(PlatformGlContext*) { return false; }
bool platformSwapBuffers(PlatformDevice*) { return false; }

bool platformChangeDisplayMode(int, int, int) { return false; }
bool platformRestoreDisplayMode() { return true; }

int platformShowCursor(bool show) {
  cursorCount += show ? 1 : -1;
  return cursorCount;
}
