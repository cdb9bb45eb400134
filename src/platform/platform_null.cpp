// The window system with no display, for programs that draw offscreen or not
// at all (the capture program, tests): boxes go to the terminal, questions
// take the terminal's answer or their fallback, and no window can be created,
// whatever display the environment names. Class registration, posted messages
// and the cursor counter are kept as bookkeeping, the same bookkeeping the
// other window systems keep (window_registry.cpp).
#include "platform.h"

#include "platform_terminal.h"
#include "window_registry.h"

namespace {

int cursorCount = 0;  // the show counter

}  // namespace

int platformMessageBox(PlatformWindow*, const char* text, const char* caption, unsigned style,
                       int fallbackAnswer) {
  return answerOnTerminal(text, caption, (style & 0x0F) == MB_YESNO, fallbackAnswer);
}

PlatformWindow* platformFocusWindow() { return nullptr; }

bool platformPeekMessage(PlatformMessage* message) { return takeQueuedMessage(message); }

intptr_t platformDispatchMessage(const PlatformMessage*) { return 0; }

intptr_t platformDefWindowProc(PlatformWindow*, unsigned, uintptr_t, intptr_t) { return 0; }

PlatformWindow* platformCreateWindow(uint32_t, const char*, const char*, uint32_t, int, int, int, int,
                                     PlatformWindow*, PlatformInstance*) {
  return nullptr;
}

bool platformDestroyWindow(PlatformWindow*) { return false; }
void platformShowWindow(PlatformWindow*) {}
bool platformSetForegroundWindow(PlatformWindow*) { return false; }
PlatformWindow* platformSetFocus(PlatformWindow*) { return nullptr; }

int platformChoosePixelFormat(PlatformDevice*, const PlatformPixelFormat*) { return 0; }
PlatformGlContext* platformCreateGlContext(PlatformDevice*) { return nullptr; }

bool platformMakeCurrent(PlatformDevice* device, PlatformGlContext* context) {
  return !device && !context;  // releasing is all there is to do
}

bool platformDeleteGlContext(PlatformGlContext*) { return false; }
bool platformGlContextLost(PlatformGlContext*) { return false; }
bool platformSwapBuffers(PlatformDevice*) { return false; }

bool platformChangeDisplayMode(int, int, int) { return false; }
bool platformRestoreDisplayMode() { return true; }

int platformShowCursor(bool show) {
  cursorCount += show ? 1 : -1;
  return cursorCount;
}
