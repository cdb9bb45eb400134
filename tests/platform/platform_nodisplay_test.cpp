// A window system with no display: boxes on standard error, fallback answers,
// and no window. Built twice: over the SDL platform with no display named, and
// over the null platform.
#include "platform.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

namespace {

intptr_t ignoringProc(PlatformWindow*, unsigned, uintptr_t, intptr_t) { return 0; }

class NoDisplay : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    unsetenv("SDL_VIDEODRIVER");
    // Nobody at a terminal: questions take their fallback answer.
    ASSERT_NE(std::freopen("/dev/null", "r", stdin), nullptr);
  }
};

TEST_F(NoDisplay, BoxesGoToStandardErrorWithTheirFallbackAnswers) {
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(platformMessageBox(nullptr, "FullScreen or what?", "Fullscreen poff!", MB_YESNO | MB_ICONQUESTION,
                               IDNO),
            IDNO);
  EXPECT_EQ(platformMessageBox(nullptr, "Use it?", "Zirn GL", MB_YESNO | MB_ICONEXCLAMATION, IDYES), IDYES);
  EXPECT_EQ(platformMessageBox(nullptr, "Two\nlines", "ERROR", MB_OK | MB_ICONSTOP), IDOK);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "Fullscreen poff!: FullScreen or what?\nZirn GL: Use it?\nERROR: Two\nlines\n");
}

TEST_F(NoDisplay, NoWindowNoModeNoFocus) {
  const PlatformWindowClass windowClass{CS_OWNDC, ignoringProc, "OpenGL"};
  ASSERT_TRUE(platformRegisterClass(&windowClass)) << "bookkeeping needs no display";
  EXPECT_EQ(platformCreateWindow(WS_EX_APPWINDOW, "OpenGL", "x", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480, nullptr,
                                 platformModuleHandle()),
            nullptr);
  EXPECT_FALSE(platformChangeDisplayMode(640, 480, 16));
  EXPECT_TRUE(platformRestoreDisplayMode());
  EXPECT_EQ(platformFocusWindow(), nullptr);
  EXPECT_EQ(platformShowCursor(false), -1);
  EXPECT_EQ(platformShowCursor(true), 0);
  PlatformMessage message{};
  EXPECT_FALSE(platformPeekMessage(&message));
  platformPostQuitMessage(0);
  ASSERT_TRUE(platformPeekMessage(&message));
  EXPECT_EQ(message.message, WM_QUIT);
  EXPECT_TRUE(platformUnregisterClass("OpenGL", platformModuleHandle()));
  EXPECT_FALSE(platformUnregisterClass("OpenGL", platformModuleHandle())) << "no longer registered";
}

}  // namespace
