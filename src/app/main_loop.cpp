#include "shell.h"

#include "gl_window.h"
#include "resize_scene.h"
#include "timeline.h"

bool isFullscreen = true;
bool isActive = true;
bool keyDown[256] = {};

namespace {

const char* const kFirstTitle = "Quendaloop Brakkelgrusk";
const char* const kToggledTitle = "Quendaloop Brakkelgrusk!";
const int kWindowWidth = 640;   // client pixels
const int kWindowHeight = 480;  // client pixels
const int kWindowBits = 16;     // colour bits per pixel

// A window that cannot be opened ends the show as a failure.
const int kExitWindowFailed = 1;

}  // namespace

int WinMain() {
  PlatformMessage message{};
  bool done = false;
  int exitCode = 0;  // a normal end: Escape, or the quit message's own code

  if (platformMessageBox(nullptr, "FullScreen or what?", "Fullscreen poff!", MB_YESNO | MB_ICONQUESTION,
                         IDNO) == IDNO)
    isFullscreen = false;
  if (!openGlWindow(kFirstTitle, kWindowWidth, kWindowHeight, kWindowBits, isFullscreen))
    return kExitWindowFailed;

  while (!done) {
    if (platformPeekMessage(&message)) {
      if (message.message == WM_QUIT) {
        done = true;
        exitCode = int(message.wParam);
      } else {
        platformTranslateMessage(&message);
        platformDispatchMessage(&message);
      }
      continue;  // the queue is emptied before each frame
    }
    if (isActive) {
      if (keyDown[VK_ESCAPE]) {
        done = true;
      } else {
        // A lost context is made again with all it held; the show goes on
        // from its time.
        if (platformGlContextLost(renderingContext) && !remakeGlContext()) return kExitWindowFailed;
        renderFrame();
        platformSwapBuffers(deviceContext);
      }
    }
    // Acted on even in the pass that Escape ends, and while minimized.
    if (keyDown[VK_F1]) {
      keyDown[VK_F1] = false;
      closeGlWindow();
      isFullscreen = !isFullscreen;
      if (!openGlWindow(kToggledTitle, kWindowWidth, kWindowHeight, kWindowBits, isFullscreen))
        return kExitWindowFailed;
    }
  }
  closeGlWindow();
  return exitCode;
}

intptr_t windowProc(PlatformWindow* window, unsigned message, uintptr_t wParam, intptr_t lParam) {
  switch (message) {
    case WM_ACTIVATE:
      isActive = ((wParam >> 16) & 0xFFFF) == 0;  // not minimized; focus does not matter
      return 0;
    case WM_SYSCOMMAND:
      if (wParam == SC_SCREENSAVE || wParam == SC_MONITORPOWER) return 0;  // refused
      break;
    case WM_CLOSE:
      platformPostQuitMessage(0);  // the loop ends on it; closeGlWindow destroys the window
      return 0;
    case WM_KEYDOWN:
      if (wParam < 256) keyDown[wParam] = true;  // larger codes come only from other programs
      return 0;
    case WM_KEYUP:
      if (wParam < 256) keyDown[wParam] = false;
      return 0;
    case WM_SIZE: resizeScene(int(lParam & 0xFFFF), int((lParam >> 16) & 0xFFFF)); return 0;
    default: break;
  }
  return platformDefWindowProc(window, message, wParam, lParam);
}
