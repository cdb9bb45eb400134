// openGlWindow and closeGlWindow against the scripted platform: the order of
// the steps, the boxes, what is released after each possible failure, and the
// handles left behind.
#include "gl_window.h"
#include "fake_platform.h"
#include "shell.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const char* const title = "Quendaloop Brakkelgrusk";
const std::string windowedStyles =
    "  styles " + std::to_string(0x06CF0000u) + " " + std::to_string(0x40100u) + " at 0,0 size 640x480";
const std::string fullscreenStyles =
    "  styles " + std::to_string(0x86000000u) + " " + std::to_string(0x40000u) + " at 0,0 size 640x480";

std::vector<std::string> callsFrom(size_t first) {
  return std::vector<std::string>(fake::calls.begin() + long(first), fake::calls.end());
}

void expectNoHandles() {
  EXPECT_EQ(windowHandle, nullptr);
  EXPECT_EQ(deviceContext, nullptr);
  EXPECT_EQ(renderingContext, nullptr);
}

class GlWindow : public ::testing::Test {
 protected:
  void SetUp() override { fake::reset(); }
};

TEST_F(GlWindow, WindowedOpenTakesEveryStepInOrder) {
  ASSERT_TRUE(openGlWindow(title, 640, 480, 16, false));
  const std::vector<std::string> expected = {
      "RegisterClass OpenGL style=35",
      "AdjustWindowRect " + std::to_string(0x00CF0000u) + " " + std::to_string(0x40100u),
      std::string("CreateWindow ") + title,
      windowedStyles,
      "GetDevice",
      "ChoosePixelFormat colour=16 depth=16",
      "SetPixelFormat 7",
      "CreateGlContext",
      "MakeCurrent",
      "ShowWindow",
      "SetForegroundWindow",
      "SetFocus",
      "resizeScene 640x480",
      "initRenderState",
  };
  EXPECT_EQ(fake::calls, expected);
  EXPECT_FALSE(isFullscreen);
  EXPECT_EQ(fake::cursorCount, 0);
  EXPECT_NE(instanceHandle, nullptr);
  EXPECT_NE(windowHandle, nullptr);
  EXPECT_NE(deviceContext, nullptr);
  EXPECT_NE(renderingContext, nullptr);
}

TEST_F(GlWindow, FullscreenOpenSwitchesModeAndHidesCursorBeforeTheWindow) {
  ASSERT_TRUE(openGlWindow(title, 640, 480, 16, true));
  EXPECT_TRUE(isFullscreen);
  EXPECT_EQ(fake::calls[1], "ChangeDisplayMode 640x480x16");
  EXPECT_EQ(fake::calls[2], "HideCursor");
  EXPECT_EQ(fake::calls[3],
            "AdjustWindowRect " + std::to_string(0x80000000u) + " " + std::to_string(0x40000u));
  EXPECT_EQ(fake::calls[5], fullscreenStyles);
  EXPECT_TRUE(fake::boxes.empty());

  closeGlWindow();
  const std::vector<std::string> expected = {"RestoreDisplayMode",    "ShowCursor",    "ReleaseCurrent",
                                             "DeleteGlContext",       "ReleaseDevice", "DestroyWindow",
                                             "UnregisterClass OpenGL"};
  EXPECT_EQ(callsFrom(fake::calls.size() - expected.size()), expected);
  EXPECT_EQ(fake::cursorCount, 0);
  EXPECT_FALSE(fake::modeHeld);
  EXPECT_TRUE(isFullscreen) << "closing leaves the flag alone";
  expectNoHandles();
  EXPECT_TRUE(fake::boxes.empty());
}

TEST_F(GlWindow, RegistrationFailureShowsItsBoxAndCleansNothing) {
  fake::failing = {"RegisterClass"};
  EXPECT_FALSE(openGlWindow(title, 640, 480, 16, true));
  const std::vector<std::string> expected = {"RegisterClass OpenGL style=35",
                                             "Box ERROR: Failed To Register The Window Class."};
  EXPECT_EQ(fake::calls, expected);
  EXPECT_EQ(fake::boxes[0].style, MB_OK | MB_ICONEXCLAMATION);
}

TEST_F(GlWindow, RegisteringTwiceFailsUntilClosed) {
  ASSERT_TRUE(openGlWindow(title, 640, 480, 16, false));
  EXPECT_FALSE(openGlWindow(title, 640, 480, 16, false)) << "the class is still registered";
  fake::reset();
  ASSERT_TRUE(openGlWindow(title, 640, 480, 16, false));
  closeGlWindow();
  EXPECT_TRUE(openGlWindow(title, 640, 480, 16, false));
}

TEST_F(GlWindow, RefusedModeAnsweredYesFallsBackToAFramedWindow) {
  fake::modeAvailable = false;
  fake::boxAnswers = {IDYES};
  ASSERT_TRUE(openGlWindow(title, 640, 480, 16, true));
  ASSERT_EQ(fake::boxes.size(), 1u);
  EXPECT_EQ(fake::boxes[0].caption, "Zirn GL");
  EXPECT_EQ(fake::boxes[0].text,
            "The Requested Fullscreen Mode Is Not Supported By\nYour Video Card. Use Windowed Mode "
            "Instead?");
  EXPECT_EQ(fake::boxes[0].style, MB_YESNO | MB_ICONEXCLAMATION);
  EXPECT_EQ(fake::boxes[0].fallbackAnswer, IDYES) << "nobody to ask: the show goes on framed";
  EXPECT_FALSE(isFullscreen);
  EXPECT_EQ(fake::count("HideCursor"), 0);
  EXPECT_EQ(fake::calls[fake::indexOf(std::string("CreateWindow ") + title) + 1], windowedStyles);

  closeGlWindow();  // framed: no mode to restore, no cursor to show
  EXPECT_EQ(fake::count("RestoreDisplayMode"), 0);
  EXPECT_EQ(fake::count("ShowCursor"), 0);
}

TEST_F(GlWindow, RefusedModeAnsweredNoClosesTheProgram) {
  fake::modeAvailable = false;
  fake::boxAnswers = {IDNO};
  EXPECT_FALSE(openGlWindow(title, 640, 480, 16, true));
  ASSERT_EQ(fake::boxes.size(), 2u);
  EXPECT_EQ(fake::boxes[1].caption, "ERROR");
  EXPECT_EQ(fake::boxes[1].text, "Program Will Now Close.");
  EXPECT_EQ(fake::boxes[1].style, MB_OK | MB_ICONSTOP);
  EXPECT_EQ(fake::calls.back(), "Box ERROR: Program Will Now Close.");
  EXPECT_EQ(fake::registeredClasses.count("OpenGL"), 1u) << "the class stays registered";
  EXPECT_EQ(fake::count("HideCursor"), 0);
  expectNoHandles();
}

TEST_F(GlWindow, PixelFormatRequestIsFilledOnceAndKept) {
  ASSERT_TRUE(openGlWindow(title, 640, 480, 16, false));
  closeGlWindow();
  ASSERT_TRUE(openGlWindow(title, 640, 480, 32, true));
  EXPECT_EQ(pixelFormatRequest.dwFlags, PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER);
  EXPECT_EQ(pixelFormatRequest.iPixelType, PFD_TYPE_RGBA);
  EXPECT_EQ(pixelFormatRequest.cColorBits, 16) << "kept from the first open";
  EXPECT_EQ(pixelFormatRequest.cDepthBits, 16);
  EXPECT_EQ(pixelFormatRequest.cStencilBits, 0);
  EXPECT_EQ(fake::count("ChoosePixelFormat colour=16 depth=16"), 2);
}

TEST_F(GlWindow, FailedCreationLeavesThePixelFormatRequestForTheNextOpen) {
  fake::failing = {"CreateWindow"};
  EXPECT_FALSE(openGlWindow(title, 640, 480, 24, false));
  fake::failing.clear();
  ASSERT_TRUE(openGlWindow(title, 640, 480, 16, false));
  EXPECT_EQ(pixelFormatRequest.cColorBits, 16);
}

// One failing step of the open: its operation, its box text, and the
// releases closeGlWindow then makes (after the display mode, when fullscreen).
struct OpenFailure {
  const char* operation;
  const char* text;
  std::vector<std::string> releases;
};

class OpenFailsAtStep : public ::testing::TestWithParam<std::tuple<OpenFailure, bool>> {
 protected:
  void SetUp() override { fake::reset(); }
};

TEST_P(OpenFailsAtStep, ReleasesWhatExistsThenShowsItsBox) {
  const OpenFailure& failure = std::get<0>(GetParam());
  const bool fullscreen = std::get<1>(GetParam());
  if (std::string(failure.operation) == "initRenderState")
    fake::initRenderStateResult = 0;
  else
    fake::failing = {failure.operation};

  EXPECT_FALSE(openGlWindow(title, 640, 480, 16, fullscreen));

  std::vector<std::string> expected;
  if (fullscreen) expected = {"RestoreDisplayMode", "ShowCursor"};
  expected.insert(expected.end(), failure.releases.begin(), failure.releases.end());
  expected.push_back("UnregisterClass OpenGL");
  expected.push_back(std::string("Box ERROR: ") + failure.text);
  ASSERT_GE(fake::calls.size(), expected.size());
  EXPECT_EQ(callsFrom(fake::calls.size() - expected.size()), expected);

  ASSERT_EQ(fake::boxes.size(), 1u) << "no release fails, so only the reason is shown";
  EXPECT_EQ(fake::boxes[0].style, MB_OK | MB_ICONEXCLAMATION);
  expectNoHandles();
  EXPECT_EQ(isFullscreen, fullscreen);
  EXPECT_EQ(fake::cursorCount, 0);
  EXPECT_FALSE(fake::modeHeld);
  EXPECT_EQ(fake::liveWindows, 0);
  EXPECT_TRUE(fake::registeredClasses.empty());
}

const std::vector<std::string> windowOnly = {"DestroyWindow"};
const std::vector<std::string> deviceAndWindow = {"ReleaseDevice", "DestroyWindow"};
const std::vector<std::string> everything = {"ReleaseCurrent", "DeleteGlContext", "ReleaseDevice",
                                             "DestroyWindow"};

INSTANTIATE_TEST_SUITE_P(
    EachStep, OpenFailsAtStep,
    ::testing::Combine(
        ::testing::Values(
            OpenFailure{"CreateWindow", "Window Creation Error.", {}},
            OpenFailure{"GetDevice", "Can't Create A GL Device Context.", windowOnly},
            OpenFailure{"ChoosePixelFormat", "Can't Find A Suitable PixelFormat.", deviceAndWindow},
            OpenFailure{"SetPixelFormat", "Can't Set The PixelFormat.", deviceAndWindow},
            OpenFailure{"CreateGlContext", "Can't Create A GL Rendering Context.", deviceAndWindow},
            OpenFailure{"MakeCurrent", "Can't Activate The GL Rendering Context.", everything},
            OpenFailure{"initRenderState", "Initialization Failed.", everything}),
        ::testing::Bool()),
    [](const auto& item) {
      return std::string(std::get<0>(item.param).operation) +
             (std::get<1>(item.param) ? "Fullscreen" : "Windowed");
    });

// One failing release of closeGlWindow and its box text.
struct ReleaseFailure {
  const char* operation;
  const char* text;
};

class CloseGoesOnPast : public ::testing::TestWithParam<ReleaseFailure> {
 protected:
  void SetUp() override { fake::reset(); }
};

TEST_P(CloseGoesOnPast, AFailingRelease) {
  ASSERT_TRUE(openGlWindow(title, 640, 480, 16, true));
  const size_t first = fake::calls.size();
  fake::failing = {GetParam().operation};
  closeGlWindow();

  std::vector<std::string> expected = {"RestoreDisplayMode",    "ShowCursor",    "ReleaseCurrent",
                                       "DeleteGlContext",       "ReleaseDevice", "DestroyWindow",
                                       "UnregisterClass OpenGL"};
  const auto failed = std::find_if(expected.begin(), expected.end(), [](const std::string& line) {
    return line.rfind(GetParam().operation, 0) == 0;
  });
  ASSERT_NE(failed, expected.end());
  expected.insert(failed + 1, std::string("Box SHUTDOWN ERROR: ") + GetParam().text);
  EXPECT_EQ(callsFrom(first), expected);
  ASSERT_EQ(fake::boxes.size(), 1u);
  EXPECT_EQ(fake::boxes[0].style, MB_OK | MB_ICONINFORMATION);
  expectNoHandles();

  // Nothing released is touched again by a second close.
  fake::failing.clear();
  const size_t second = fake::calls.size();
  closeGlWindow();
  const std::vector<std::string> again = {"RestoreDisplayMode", "ShowCursor", "UnregisterClass OpenGL"};
  const auto rest = callsFrom(second);
  EXPECT_EQ(std::vector<std::string>(rest.begin(), rest.begin() + 3), again);
}

INSTANTIATE_TEST_SUITE_P(EachRelease, CloseGoesOnPast,
                         ::testing::Values(ReleaseFailure{"ReleaseCurrent", "Release Of DC And RC Failed."},
                                           ReleaseFailure{"DeleteGlContext",
                                                          "Release Rendering Context Failed."},
                                           ReleaseFailure{"ReleaseDevice", "Release Device Context Failed."},
                                           ReleaseFailure{"DestroyWindow", "Could Not Release hWnd."},
                                           ReleaseFailure{"UnregisterClass", "Could Not Unregister Class."}),
                         [](const auto& item) { return std::string(item.param.operation); });

TEST_F(GlWindow, CloseWithNothingHeldOnlyUnregisters) {
  isFullscreen = false;
  closeGlWindow();
  const std::vector<std::string> expected = {"UnregisterClass OpenGL",
                                             "Box SHUTDOWN ERROR: Could Not Unregister Class."};
  EXPECT_EQ(fake::calls, expected);
}

TEST_F(GlWindow, ReopeningInTheOtherModeTakesNewHandles) {
  ASSERT_TRUE(openGlWindow(title, 640, 480, 16, false));
  PlatformWindow* first = windowHandle;
  closeGlWindow();
  ASSERT_TRUE(openGlWindow("Quendaloop Brakkelgrusk!", 640, 480, 16, true));
  EXPECT_NE(windowHandle, first);
  EXPECT_EQ(fake::count("initRenderState"), 2);
  EXPECT_EQ(fake::count("RegisterClass OpenGL style=35"), 2);
  EXPECT_EQ(fake::liveWindows, 1);
  EXPECT_EQ(fake::cursorCount, -1);
}

}  // namespace
