#include "gl_window.h"

#include "render_state.h"
#include "resize_scene.h"
#include "shell.h"

PlatformInstance* instanceHandle = nullptr;
PlatformWindow* windowHandle = nullptr;
PlatformDevice* deviceContext = nullptr;
PlatformGlContext* renderingContext = nullptr;

// Colour and depth bits stay 0 until the first open fills them; a depth of 0
// therefore means "not yet filled".
PlatformPixelFormat pixelFormatRequest = {
    .dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER,
    .iPixelType = PFD_TYPE_RGBA,
};

namespace {

const char* const kClassName = "OpenGL";
int openWidth = 0;   // client size of the open window, pixels
int openHeight = 0;  // client size of the open window, pixels

bool failOpen(const char* text) {
  closeGlWindow();
  platformMessageBox(nullptr, text, "ERROR", MB_OK | MB_ICONEXCLAMATION);
  return false;
}

void reportShutdownError(const char* text) {
  platformMessageBox(nullptr, text, "SHUTDOWN ERROR", MB_OK | MB_ICONINFORMATION);
}

}  // namespace

bool openGlWindow(const char* title, int width, int height, int bits, bool fullscreen) {
  PlatformRect windowRect{0, 0, width, height};
  isFullscreen = fullscreen;
  instanceHandle = platformModuleHandle();

  const PlatformWindowClass windowClass{CS_HREDRAW | CS_VREDRAW | CS_OWNDC, windowProc, kClassName};
  if (!platformRegisterClass(&windowClass)) {
    platformMessageBox(nullptr, "Failed To Register The Window Class.", "ERROR", MB_OK | MB_ICONEXCLAMATION);
    return false;
  }

  if (isFullscreen && !platformChangeDisplayMode(width, height, bits)) {
    // Yes is the answer nobody-at-the-terminal gets: the show goes on framed.
    if (platformMessageBox(nullptr,
                           "The Requested Fullscreen Mode Is Not Supported By\nYour Video Card. "
                           "Use Windowed Mode Instead?",
                           "Zirn GL", MB_YESNO | MB_ICONEXCLAMATION, IDYES) == IDYES) {
      isFullscreen = false;
    } else {
      platformMessageBox(nullptr, "Program Will Now Close.", "ERROR", MB_OK | MB_ICONSTOP);
      return false;
    }
  }

  uint32_t extendedStyle;
  uint32_t style;
  if (isFullscreen) {
    extendedStyle = WS_EX_APPWINDOW;
    style = WS_POPUP;
    platformShowCursor(false);
  } else {
    extendedStyle = WS_EX_APPWINDOW | WS_EX_WINDOWEDGE;
    style = WS_OVERLAPPEDWINDOW;
  }
  platformAdjustWindowRect(&windowRect, style, extendedStyle);

  windowHandle = platformCreateWindow(
      extendedStyle, kClassName, title, style | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0, 0,
      windowRect.right - windowRect.left, windowRect.bottom - windowRect.top, nullptr, instanceHandle);
  if (!windowHandle) return failOpen("Window Creation Error.");

  if (pixelFormatRequest.cDepthBits == 0) {
    pixelFormatRequest.cColorBits = uint8_t(bits);
    pixelFormatRequest.cDepthBits = 16;
  }

  deviceContext = platformGetDevice(windowHandle);
  if (!deviceContext) return failOpen("Can't Create A GL Device Context.");
  const int pixelFormat = platformChoosePixelFormat(deviceContext, &pixelFormatRequest);
  if (pixelFormat == 0) return failOpen("Can't Find A Suitable PixelFormat.");
  if (!platformSetPixelFormat(deviceContext, pixelFormat, &pixelFormatRequest))
    return failOpen("Can't Set The PixelFormat.");
  renderingContext = platformCreateGlContext(deviceContext);
  if (!renderingContext) return failOpen("Can't Create A GL Rendering Context.");
  if (!platformMakeCurrent(deviceContext, renderingContext))
    return failOpen("Can't Activate The GL Rendering Context.");

  platformShowWindow(windowHandle);
  platformSetForegroundWindow(windowHandle);
  platformSetFocus(windowHandle);
  openWidth = width;
  openHeight = height;
  resizeScene(width, height);  // the asked size, not a measured one

  if (!initRenderState()) return failOpen("Initialization Failed.");
  return true;
}

bool remakeGlContext() {
  if (renderingContext) {
    platformMakeCurrent(nullptr, nullptr);
    platformDeleteGlContext(renderingContext);
  }
  renderingContext = platformCreateGlContext(deviceContext);
  if (!renderingContext) return failOpen("Can't Create A GL Rendering Context.");
  if (!platformMakeCurrent(deviceContext, renderingContext))
    return failOpen("Can't Activate The GL Rendering Context.");
  resizeScene(openWidth, openHeight);
  if (!remakeRenderState()) return failOpen("Initialization Failed.");
  return true;
}

void closeGlWindow() {
  if (isFullscreen) {
    platformRestoreDisplayMode();
    platformShowCursor(true);
  }
  if (renderingContext) {
    if (!platformMakeCurrent(nullptr, nullptr)) reportShutdownError("Release Of DC And RC Failed.");
    if (!platformDeleteGlContext(renderingContext)) reportShutdownError("Release Rendering Context Failed.");
    renderingContext = nullptr;
  }
  if (deviceContext) {
    if (!platformReleaseDevice(windowHandle, deviceContext))
      reportShutdownError("Release Device Context Failed.");
    deviceContext = nullptr;
  }
  if (windowHandle) {
    if (!platformDestroyWindow(windowHandle)) reportShutdownError("Could Not Release hWnd.");
    windowHandle = nullptr;
  }
  if (!platformUnregisterClass(kClassName, instanceHandle))
    reportShutdownError("Could Not Unregister Class.");
}
