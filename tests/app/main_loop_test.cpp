// WinMain against the scripted platform: the start-up question, which passes
// draw, when Escape and F1 act, and every exit status.
#include "fake_platform.h"
#include "gl_window.h"
#include "shell.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string firstWindow = "CreateWindow Quendaloop Brakkelgrusk";
const std::string toggledWindow = "CreateWindow Quendaloop Brakkelgrusk!";

int runShow() { return WinMain(); }

class MainLoop : public ::testing::Test {
 protected:
  void SetUp() override {
    fake::reset();
    fake::boxAnswers = {IDNO};  // framed, unless a test says otherwise
  }
};

TEST_F(MainLoop, AsksTheFullscreenQuestionFirst) {
  fake::key(VK_ESCAPE);
  fake::idle();
  EXPECT_EQ(runShow(), 0);
  ASSERT_FALSE(fake::boxes.empty());
  EXPECT_EQ(fake::calls[0], "Box Fullscreen poff!: FullScreen or what?");
  EXPECT_EQ(fake::boxes[0].style, MB_YESNO | MB_ICONQUESTION);
  EXPECT_EQ(fake::boxes[0].fallbackAnswer, IDNO) << "nobody to ask: framed";
}

TEST_F(MainLoop, TheAnswerPicksTheMode) {
  for (int answer : {IDYES, IDNO}) {
    fake::reset();
    fake::boxAnswers = {answer};
    fake::key(VK_ESCAPE);
    fake::idle();
    EXPECT_EQ(runShow(), 0);
    EXPECT_EQ(fake::count("ChangeDisplayMode 640x480x16"), answer == IDYES ? 1 : 0);
    EXPECT_EQ(isFullscreen, answer == IDYES);
    EXPECT_EQ(fake::count(firstWindow), 1);
  }
}

TEST_F(MainLoop, APassThatRemovesAMessageNeverDraws) {
  fake::key('A');
  fake::key('A', false);
  fake::idle(2);
  fake::key('B');
  fake::key(VK_ESCAPE);
  fake::idle();
  EXPECT_EQ(runShow(), 0);
  EXPECT_EQ(fake::count("renderFrame"), 2);
  EXPECT_EQ(fake::count("SwapBuffers"), 2);
  EXPECT_EQ(fake::count("ScriptExhausted"), 0);
  // Each frame is swapped right after it is drawn.
  const int frame = fake::indexOf("renderFrame");
  EXPECT_EQ(fake::calls[size_t(frame) + 1], "SwapBuffers");
}

TEST_F(MainLoop, EscapeActsOnlyInAnActiveIdlePass) {
  fake::script.push_back(fake::message(WM_ACTIVATE, WA_INACTIVE | (1u << 16)));  // minimized
  fake::key(VK_ESCAPE);
  fake::idle(3);
  fake::script.push_back(fake::message(WM_ACTIVATE, WA_ACTIVE));  // restored
  fake::idle();
  fake::idle();  // never reached
  EXPECT_EQ(runShow(), 0);
  EXPECT_EQ(fake::count("renderFrame"), 0) << "no frames while minimized, none on Escape";
  EXPECT_EQ(fake::script.size(), 1u) << "the loop ended in the first idle pass after restoring";
  EXPECT_EQ(fake::count("DestroyWindow"), 1);
}

TEST_F(MainLoop, AWindowThatOnlyLosesTheFocusKeepsDrawing) {
  fake::script.push_back(fake::message(WM_ACTIVATE, WA_INACTIVE));
  fake::idle(2);
  fake::key(VK_ESCAPE);
  fake::idle();
  EXPECT_EQ(runShow(), 0);
  EXPECT_EQ(fake::count("renderFrame"), 2);
}

TEST_F(MainLoop, F1TogglesOnceWithTheExclaimedTitle) {
  fake::key(VK_F1);
  fake::idle(3);
  fake::key(VK_ESCAPE);
  fake::idle();
  EXPECT_EQ(runShow(), 0);
  EXPECT_EQ(fake::count(firstWindow), 1);
  EXPECT_EQ(fake::count(toggledWindow), 1);
  EXPECT_TRUE(isFullscreen) << "framed flipped to fullscreen";
  EXPECT_FALSE(keyDown[VK_F1]);
  EXPECT_EQ(fake::count("renderFrame"), 3);
  // The old window goes before the new one comes.
  EXPECT_LT(fake::indexOf("DestroyWindow"), fake::indexOf(toggledWindow));
  EXPECT_EQ(fake::count("initRenderState"), 2);
}

TEST_F(MainLoop, EveryToggleFlipsTheModeAndKeepsTheSameTitle) {
  for (int i = 0; i < 3; ++i) {
    fake::key(VK_F1);
    fake::idle();
  }
  fake::key(VK_ESCAPE);
  fake::idle();
  EXPECT_EQ(runShow(), 0);
  EXPECT_EQ(fake::count(toggledWindow), 3);
  EXPECT_TRUE(isFullscreen);  // framed, then fullscreen, framed, fullscreen
  EXPECT_EQ(fake::count("ChangeDisplayMode 640x480x16"), 2);
  EXPECT_EQ(fake::cursorCount, 0) << "every hide matched by a show";
  EXPECT_FALSE(fake::modeHeld);
}

TEST_F(MainLoop, ALostContextIsMadeAgainWithTheMusicPlayingOn) {
  fake::idle();
  fake::idle();
  fake::key(VK_ESCAPE);
  fake::idle();
  fake::failing = {"GlContextLost"};  // lost before the first frame, once
  EXPECT_EQ(runShow(), 0);
  EXPECT_EQ(fake::count(firstWindow), 1) << "the window stays";
  EXPECT_EQ(fake::count("initRenderState"), 1) << "the music is not started again";
  EXPECT_EQ(fake::count("remakeRenderState"), 1);
  EXPECT_EQ(fake::count("renderFrame"), 2);
  // The new context is current, with the projection, before the first frame.
  const int lost = fake::indexOf("GlContextLost");
  ASSERT_GE(lost, 0);
  EXPECT_LT(lost, fake::indexOf("remakeRenderState"));
  EXPECT_LT(fake::indexOf("remakeRenderState"), fake::indexOf("renderFrame"));
  EXPECT_EQ(fake::count("DeleteGlContext"), 2) << "the lost one, then the new one at the end";
  EXPECT_EQ(fake::count("resizeScene 640x480"), 2);
}

TEST_F(MainLoop, F1ActsWhileMinimized) {
  fake::script.push_back(fake::message(WM_ACTIVATE, WA_INACTIVE | (1u << 16)));
  fake::key(VK_F1);
  fake::idle();
  fake::key(VK_ESCAPE);
  fake::idle();
  fake::script.push_back(fake::message(WM_ACTIVATE, WA_ACTIVE));
  fake::idle();
  EXPECT_EQ(runShow(), 0);
  EXPECT_EQ(fake::count(toggledWindow), 1);
  EXPECT_EQ(fake::count("renderFrame"), 0);
}

TEST_F(MainLoop, EscapeAndF1InOnePassReopenThenEnd) {
  fake::key(VK_ESCAPE);
  fake::key(VK_F1);
  fake::idle();
  fake::idle();  // never reached
  EXPECT_EQ(runShow(), 0);
  EXPECT_EQ(fake::count("renderFrame"), 0);
  EXPECT_EQ(fake::count(toggledWindow), 1);
  EXPECT_EQ(fake::count("DestroyWindow"), 2) << "the first window, then the re-created one";
  EXPECT_LT(fake::indexOf(toggledWindow), fake::indexOf("DestroyWindow", fake::indexOf(toggledWindow)));
  EXPECT_EQ(fake::liveWindows, 0);
  EXPECT_EQ(fake::script.size(), 1u);
}

TEST_F(MainLoop, ClosingTheWindowEndsWithZero) {
  fake::idle();
  fake::script.push_back(fake::message(WM_CLOSE));
  fake::idle();  // never reached: the quit message comes first
  EXPECT_EQ(runShow(), 0);
  EXPECT_EQ(fake::count("PostQuitMessage 0"), 1);
  EXPECT_EQ(fake::count("renderFrame"), 1);
  EXPECT_EQ(fake::count("DestroyWindow"), 1);
  EXPECT_EQ(fake::liveWindows, 0);
  EXPECT_TRUE(fake::registeredClasses.empty());
}

// How the show ends and the exit status it gives.
struct Ending {
  const char* name;
  void (*script)();
  int status;
};

class ExitStatus : public ::testing::TestWithParam<Ending> {
 protected:
  void SetUp() override {
    fake::reset();
    fake::boxAnswers = {IDNO};
  }
};

TEST_P(ExitStatus, IsTheOneForItsEnding) {
  GetParam().script();
  EXPECT_EQ(runShow(), GetParam().status);
  EXPECT_EQ(fake::count("ScriptExhausted"), 0);
  EXPECT_EQ(fake::liveWindows, 0);
  EXPECT_FALSE(fake::modeHeld);
}

INSTANTIATE_TEST_SUITE_P(
    Endings, ExitStatus,
    ::testing::Values(
        // Escape after a message whose wParam is 27 still ends with 0.
        Ending{"Escape",
               [] {
                 fake::key(VK_ESCAPE);
                 fake::idle();
               },
               0},
        Ending{"CloseRequest", [] { fake::script.push_back(fake::message(WM_CLOSE)); }, 0},
        Ending{"FirstWindowFails", [] { fake::failing = {"CreateWindow"}; }, 1},
        Ending{"InitialisationFails", [] { fake::initRenderStateResult = 0; }, 1},
        Ending{"RefusedModeAnsweredNo",
               [] {
                 fake::boxAnswers = {IDYES, IDNO};
                 fake::modeAvailable = false;
               },
               1},
        Ending{"ToggledWindowFails",
               [] {
                 fake::key(VK_F1);
                 fake::idle();
                 fake::failing = {"GetDevice"};  // only the second open gets this far after it
               },
               1},
        Ending{"ToggleToRefusedModeAnsweredNo",
               [] {
                 fake::boxAnswers = {IDNO, IDNO};
                 fake::modeAvailable = false;
                 fake::key(VK_F1);
                 fake::idle();
               },
               1}),
    [](const auto& item) { return std::string(item.param.name); });

TEST_F(MainLoop, AFailedFirstWindowIsNotClosedAgain) {
  fake::failing = {"ChoosePixelFormat"};
  EXPECT_EQ(runShow(), 1);
  EXPECT_EQ(fake::calls.back(), "Box ERROR: Can't Find A Suitable PixelFormat.");
  EXPECT_EQ(fake::count("UnregisterClass OpenGL"), 1);
}

TEST_F(MainLoop, AFailedToggleEndsAtOnceWithoutAnotherClose) {
  fake::boxAnswers = {IDNO, IDNO};
  fake::modeAvailable = false;
  fake::key(VK_F1);
  fake::idle(2);
  EXPECT_EQ(runShow(), 1);
  EXPECT_EQ(fake::calls.back(), "Box ERROR: Program Will Now Close.");
  EXPECT_EQ(fake::count("UnregisterClass OpenGL"), 1) << "only the close before the re-open";
  EXPECT_EQ(fake::script.size(), 1u);
}

}  // namespace
