// Takes the 640 x 480 mode in a fullscreen window through the show's window
// system layer, says "held" on standard output, and then blocks its main
// thread for good, as a show stuck in a system call would. The end-to-end
// tests send it a termination signal and check that the desktop's mode
// comes back all the same.
#include "platform.h"

#include <cstdio>

#include <unistd.h>

namespace {

intptr_t procedure(PlatformWindow* window, unsigned message, uintptr_t wParam, intptr_t lParam) {
  return platformDefWindowProc(window, message, wParam, lParam);
}

}  // namespace

int main() {
  const PlatformWindowClass windowClass{0, procedure, "OpenGL"};
  if (!platformRegisterClass(&windowClass) || !platformChangeDisplayMode(640, 480, 16)) return 2;
  PlatformWindow* window = platformCreateWindow(WS_EX_APPWINDOW, "OpenGL", "mode holder", WS_POPUP, 0, 0, 640,
                                                480, nullptr, platformModuleHandle());
  if (!window) return 3;
  platformShowWindow(window);
  PlatformMessage message;
  while (platformPeekMessage(&message)) {
  }
  std::puts("held");
  std::fflush(stdout);
  for (;;) pause();  // a signal's handler returns here; the main thread never acts again
}
