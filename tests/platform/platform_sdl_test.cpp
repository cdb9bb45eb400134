// The SDL window system on SDL's offscreen video driver: windows with real GL
// contexts and no display. Events are pushed into SDL's queue the way its
// video driver would, and come out as window messages.
#include "platform.h"

#include <GL/gl.h>
#include <SDL.h>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Seen {
  unsigned message;
  uintptr_t wParam;
  intptr_t lParam;
};
std::vector<Seen> seen;
bool passScreenSaverOn = false;

intptr_t recordingProc(PlatformWindow* window, unsigned message, uintptr_t wParam, intptr_t lParam) {
  seen.push_back(Seen{message, wParam, lParam});
  if (message == WM_SYSCOMMAND && passScreenSaverOn)
    return platformDefWindowProc(window, message, wParam, lParam);
  return 0;
}

const PlatformWindowClass testClass{CS_OWNDC, recordingProc, "Test"};

PlatformPixelFormat showRequest() {
  PlatformPixelFormat request;
  request.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
  request.iPixelType = PFD_TYPE_RGBA;
  request.cColorBits = 16;
  request.cDepthBits = 16;
  return request;
}

// Drains the queue; returns the messages removed, dispatching each.
std::vector<PlatformMessage> drain() {
  std::vector<PlatformMessage> out;
  PlatformMessage message;
  while (platformPeekMessage(&message)) {
    out.push_back(message);
    platformDispatchMessage(&message);
  }
  return out;
}

void pushKey(PlatformWindow* window, SDL_Keycode key, bool down, Uint16 mod = KMOD_NONE) {
  (void)window;
  SDL_Event event{};
  event.type = down ? SDL_KEYDOWN : SDL_KEYUP;
  event.key.state = down ? SDL_PRESSED : SDL_RELEASED;
  event.key.windowID = 0;  // as SDL reports keys before it notices the focus
  event.key.keysym.sym = key;
  event.key.keysym.mod = mod;
  SDL_PushEvent(&event);
}

void pushWindowEvent(PlatformWindow* window, Uint8 what, int data1 = 0, int data2 = 0);

class PlatformSdl : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { setenv("SDL_VIDEODRIVER", "offscreen", 1); }

  void SetUp() override {
    seen.clear();
    passScreenSaverOn = false;
    ASSERT_TRUE(platformRegisterClass(&testClass));
    window = platformCreateWindow(WS_EX_APPWINDOW, "Test", "test window", WS_OVERLAPPEDWINDOW, 0, 0, 64, 48,
                                  nullptr, platformModuleHandle());
    ASSERT_NE(window, nullptr);
    drain();
    seen.clear();
  }

  void TearDown() override {
    if (window) platformDestroyWindow(window);
    platformUnregisterClass("Test", platformModuleHandle());
  }

  PlatformWindow* window = nullptr;
};

uint32_t windowIdOf(PlatformWindow* window) {
  // The window the platform made is the only SDL window there is.
  (void)window;
  for (Uint32 id = 1; id < 1000; ++id)
    if (SDL_GetWindowFromID(id)) return id;
  return 0;
}

void pushWindowEvent(PlatformWindow* window, Uint8 what, int data1, int data2) {
  SDL_Event event{};
  event.type = SDL_WINDOWEVENT;
  event.window.event = what;
  event.window.windowID = windowIdOf(window);
  event.window.data1 = data1;
  event.window.data2 = data2;
  SDL_PushEvent(&event);
}

TEST_F(PlatformSdl, DeviceFormatAndContextFollowTheWin32Rules) {
  PlatformDevice* device = platformGetDevice(window);
  ASSERT_NE(device, nullptr);
  EXPECT_EQ(platformGetDevice(window), device) << "one device per window";
  const PlatformPixelFormat request = showRequest();

  EXPECT_EQ(platformCreateGlContext(device), nullptr) << "no pixel format set yet";
  PlatformPixelFormat noGl = request;
  noGl.dwFlags = PFD_DRAW_TO_WINDOW | PFD_DOUBLEBUFFER;
  EXPECT_EQ(platformChoosePixelFormat(device, &noGl), 0);
  const int format = platformChoosePixelFormat(device, &request);
  ASSERT_GT(format, 0);
  EXPECT_FALSE(platformSetPixelFormat(device, format + 1, &request));
  ASSERT_TRUE(platformSetPixelFormat(device, format, &request));

  PlatformGlContext* context = platformCreateGlContext(device);
  ASSERT_NE(context, nullptr);
  EXPECT_EQ(SDL_GL_GetCurrentContext(), nullptr) << "creating does not bind";
  ASSERT_TRUE(platformMakeCurrent(device, context));
  glClearColor(0, 0, 1, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  GLint depthBits = 0;
  glGetIntegerv(GL_DEPTH_BITS, &depthBits);
  EXPECT_GE(depthBits, 16);
  EXPECT_TRUE(platformSwapBuffers(device));

  EXPECT_FALSE(platformMakeCurrent(device, nullptr));
  EXPECT_TRUE(platformMakeCurrent(nullptr, nullptr));
  EXPECT_EQ(SDL_GL_GetCurrentContext(), nullptr);
  EXPECT_TRUE(platformDeleteGlContext(context));
  EXPECT_FALSE(platformDeleteGlContext(context)) << "already deleted";
  EXPECT_TRUE(platformReleaseDevice(window, device));

  EXPECT_TRUE(platformDestroyWindow(window));
  EXPECT_FALSE(platformDestroyWindow(window));
  EXPECT_FALSE(platformReleaseDevice(window, device));
  EXPECT_EQ(platformGetDevice(window), nullptr);
  EXPECT_FALSE(platformSwapBuffers(device));
  window = nullptr;
}

TEST_F(PlatformSdl, KeysArriveAsVirtualKeyCodes) {
  const struct {
    SDL_Keycode key;
    unsigned code;
  } keys[] = {{SDLK_ESCAPE, 27},  {SDLK_F1, 112},    {SDLK_F2, 113},     {SDLK_F12, 123},    {SDLK_a, 'A'},
              {SDLK_z, 'Z'},      {SDLK_0, '0'},     {SDLK_9, '9'},      {SDLK_LEFT, 0x25},  {SDLK_UP, 0x26},
              {SDLK_RIGHT, 0x27}, {SDLK_DOWN, 0x28}, {SDLK_SPACE, 0x20}, {SDLK_RETURN, 0x0D}};
  for (const auto& k : keys) {
    pushKey(window, k.key, true);
    const auto messages = drain();
    ASSERT_EQ(messages.size(), 1u) << k.key;
    EXPECT_EQ(messages[0].message, WM_KEYDOWN);
    EXPECT_EQ(messages[0].wParam, k.code) << k.key;
    EXPECT_EQ(messages[0].window, window);
    pushKey(window, k.key, false);
    const auto released = drain();
    ASSERT_EQ(released.size(), 1u);
    EXPECT_EQ(released[0].message, WM_KEYUP);
    EXPECT_EQ(released[0].wParam, k.code);
  }
  // Keys with no code make no message; Alt and F10 are system keys.
  pushKey(window, SDLK_CAPSLOCK, true);
  EXPECT_TRUE(drain().empty());
  pushKey(window, SDLK_F10, true);
  pushKey(window, SDLK_x, true, KMOD_LALT);
  const auto system = drain();
  ASSERT_EQ(system.size(), 2u);
  EXPECT_EQ(system[0].message, WM_SYSKEYDOWN);
  EXPECT_EQ(system[0].wParam, 0x79u);
  EXPECT_EQ(system[1].message, WM_SYSKEYDOWN);
  EXPECT_EQ(system[1].wParam, unsigned('X'));
}

TEST_F(PlatformSdl, ATapIsReleasedOnlyAfterAnEmptyPass) {
  pushKey(window, SDLK_ESCAPE, true);
  pushKey(window, SDLK_ESCAPE, false);
  PlatformMessage message;
  ASSERT_TRUE(platformPeekMessage(&message));
  EXPECT_EQ(message.message, WM_KEYDOWN);
  EXPECT_FALSE(platformPeekMessage(&message)) << "the loop gets one empty pass with the key down";
  ASSERT_TRUE(platformPeekMessage(&message));
  EXPECT_EQ(message.message, WM_KEYUP);
  EXPECT_FALSE(platformPeekMessage(&message));
}

TEST_F(PlatformSdl, WindowEventsBecomeActivationSizeAndClose) {
  pushWindowEvent(window, SDL_WINDOWEVENT_MINIMIZED);
  pushWindowEvent(window, SDL_WINDOWEVENT_RESTORED);
  pushWindowEvent(window, SDL_WINDOWEVENT_SIZE_CHANGED, 800, 600);
  pushWindowEvent(window, SDL_WINDOWEVENT_CLOSE);
  const auto messages = drain();
  ASSERT_EQ(messages.size(), 4u);
  EXPECT_EQ(messages[0].message, WM_ACTIVATE);
  EXPECT_EQ(messages[0].wParam >> 16, 1u) << "minimized";
  EXPECT_EQ(messages[1].message, WM_ACTIVATE);
  EXPECT_EQ(messages[1].wParam, uintptr_t(WA_ACTIVE));
  EXPECT_EQ(messages[2].message, WM_SIZE);
  EXPECT_EQ(messages[2].lParam, intptr_t(600) << 16 | 800);
  EXPECT_EQ(messages[3].message, WM_CLOSE);
  ASSERT_EQ(seen.size(), 4u) << "each was dispatched to the class procedure";
}

TEST_F(PlatformSdl, QuitMessageComesAfterWhatWaitsAndCarriesItsCode) {
  pushKey(window, SDLK_a, true);
  drain();
  platformPostQuitMessage(3);
  PlatformMessage message;
  ASSERT_TRUE(platformPeekMessage(&message));
  EXPECT_EQ(message.message, WM_QUIT);
  EXPECT_EQ(message.wParam, 3u);
  EXPECT_EQ(message.window, nullptr);
  EXPECT_EQ(platformDispatchMessage(&message), 0);
}

TEST_F(PlatformSdl, MessagesOfADestroyedWindowAreDropped) {
  pushWindowEvent(window, SDL_WINDOWEVENT_CLOSE);
  SDL_PumpEvents();
  PlatformMessage message;
  ASSERT_TRUE(platformPeekMessage(&message));
  pushWindowEvent(window, SDL_WINDOWEVENT_CLOSE);
  ASSERT_TRUE(platformDestroyWindow(window));
  window = nullptr;
  EXPECT_EQ(platformDispatchMessage(&message), 0);
  EXPECT_FALSE(platformPeekMessage(&message));
}

TEST_F(PlatformSdl, ShowingSendsSizeAndAsksAboutTheScreenSaver) {
  SDL_EnableScreenSaver();
  platformShowWindow(window);
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen[0].message, WM_SIZE) << "sent before showing returns";
  EXPECT_EQ(seen[0].lParam, intptr_t(48) << 16 | 64);
  seen.clear();
  drain();
  int requests = 0;
  for (const Seen& s : seen)
    if (s.message == WM_SYSCOMMAND && (s.wParam == SC_SCREENSAVE || s.wParam == SC_MONITORPOWER)) ++requests;
  EXPECT_EQ(requests, 2);
  EXPECT_FALSE(SDL_IsScreenSaverEnabled()) << "the procedure refused the requests";
}

TEST_F(PlatformSdl, APassedOnScreenSaverRequestLeavesItEnabled) {
  passScreenSaverOn = true;
  SDL_EnableScreenSaver();
  platformShowWindow(window);
  drain();
  EXPECT_TRUE(SDL_IsScreenSaverEnabled());
}

TEST_F(PlatformSdl, ClassBookkeeping) {
  EXPECT_FALSE(platformRegisterClass(&testClass)) << "already registered";
  PlatformWindowClass unnamed = testClass;
  unnamed.name = nullptr;
  EXPECT_FALSE(platformRegisterClass(&unnamed));
  EXPECT_EQ(platformCreateWindow(0, "Unknown", "x", WS_POPUP, 0, 0, 8, 8, nullptr, nullptr), nullptr);
  EXPECT_FALSE(platformUnregisterClass("Unknown", nullptr));
}

TEST_F(PlatformSdl, ModeSwitchOnlyForAnExactMode) {
  SDL_DisplayMode desktop;
  ASSERT_EQ(SDL_GetDesktopDisplayMode(0, &desktop), 0);
  EXPECT_FALSE(platformChangeDisplayMode(desktop.w + 1, desktop.h, 16));
  ASSERT_TRUE(platformChangeDisplayMode(desktop.w, desktop.h, 16));
  PlatformWindow* popup = platformCreateWindow(WS_EX_APPWINDOW, "Test", "popup", WS_POPUP, 0, 0, desktop.w,
                                               desktop.h, nullptr, nullptr);
  ASSERT_NE(popup, nullptr);
  platformShowWindow(popup);
  const auto fullscreenWindows = [] {
    int n = 0;
    for (Uint32 id = 1; id < 1000; ++id)
      if (SDL_Window* w = SDL_GetWindowFromID(id))
        n += (SDL_GetWindowFlags(w) & SDL_WINDOW_FULLSCREEN) ? 1 : 0;
    return n;
  };
  EXPECT_EQ(fullscreenWindows(), 1) << "a popup made while the mode is held is fullscreen";
  EXPECT_TRUE(platformRestoreDisplayMode());
  EXPECT_EQ(fullscreenWindows(), 0) << "restoring the mode takes it out of fullscreen";
  EXPECT_TRUE(platformDestroyWindow(popup));
  EXPECT_TRUE(platformRestoreDisplayMode()) << "nothing held is still a success";
}

TEST_F(PlatformSdl, CursorCounter) {
  EXPECT_EQ(platformShowCursor(false), -1);
  EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
  EXPECT_EQ(platformShowCursor(false), -2);
  EXPECT_EQ(platformShowCursor(true), -1);
  EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE) << "still hidden: one hide left";
  EXPECT_EQ(platformShowCursor(true), 0);
  EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);
}

}  // namespace

namespace {

// Termination signals: with a mode held the main thread gives it back at its
// next call into the platform and then dies of the signal; with none held the
// signal acts at once.
class TerminationSignal : public ::testing::TestWithParam<int> {
 protected:
  static void SetUpTestSuite() {
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
  }
};

// Takes 640x480, or the offscreen driver's only mode when it has no such one.
void holdAMode() {
  SDL_DisplayMode desktop;
  if (!platformChangeDisplayMode(640, 480, 16)) {
    SDL_GetDesktopDisplayMode(0, &desktop);
    platformChangeDisplayMode(desktop.w, desktop.h, 16);
  }
}

TEST_P(TerminationSignal, WithAModeHeldEndsAtTheNextCallAfterRestoring) {
  const int signalNumber = GetParam();
  EXPECT_EXIT(
      {
        holdAMode();
        raise(signalNumber);
        std::fprintf(stderr, "still running\n");
        PlatformMessage message;
        platformPeekMessage(&message);
        std::fprintf(stderr, "not ended\n");
        std::exit(0);
      },
      ::testing::KilledBySignal(signalNumber), "still running\n$");
}

TEST_P(TerminationSignal, WithNoModeHeldActsAtOnce) {
  const int signalNumber = GetParam();
  EXPECT_EXIT(
      {
        holdAMode();
        platformRestoreDisplayMode();
        raise(signalNumber);
        std::fprintf(stderr, "still running\n");
        std::exit(0);
      },
      ::testing::KilledBySignal(signalNumber), "");
}

INSTANTIATE_TEST_SUITE_P(Signals, TerminationSignal, ::testing::Values(SIGINT, SIGTERM, SIGHUP));

}  // namespace
