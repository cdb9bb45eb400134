// The window procedure's table: what each message does to the shell's flags,
// what it returns, and which messages reach the default handling.
#include "fake_platform.h"
#include "shell.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Row {
  const char* name;
  unsigned message;
  uintptr_t wParam;
  intptr_t lParam;
  bool passedOn;         // reaches platformDefWindowProc
  std::string recorded;  // the line it leaves, besides any default handling ("" for none)
};

class WindowProcTable : public ::testing::TestWithParam<Row> {
 protected:
  void SetUp() override { fake::reset(); }
};

TEST_P(WindowProcTable, HandlesOrPassesOn) {
  const Row& row = GetParam();
  EXPECT_EQ(windowProc(nullptr, row.message, row.wParam, row.lParam), 0);
  const std::string defaultLine = "DefWindowProc " + std::to_string(row.message) + " " +
                                  std::to_string(row.wParam) + " " + std::to_string(row.lParam);
  EXPECT_EQ(fake::count(defaultLine), row.passedOn ? 1 : 0);
  if (!row.recorded.empty()) {
    EXPECT_EQ(fake::count(row.recorded), 1);
  }
  const size_t expectedLines = (row.passedOn ? 1u : 0u) + (row.recorded.empty() ? 0u : 1u);
  EXPECT_EQ(fake::calls.size(), expectedLines);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, WindowProcTable,
    ::testing::Values(Row{"ScreenSaverRefused", WM_SYSCOMMAND, SC_SCREENSAVE, 0, false, ""},
                      Row{"MonitorPowerRefused", WM_SYSCOMMAND, SC_MONITORPOWER, 2, false, ""},
                      // Compared whole: a screen-saver code with low bits set is another command.
                      Row{"ScreenSaverWithLowBitsPassedOn", WM_SYSCOMMAND, SC_SCREENSAVE | 2, 0, true, ""},
                      Row{"OtherSystemCommandPassedOn", WM_SYSCOMMAND, 0xF020, 0, true, ""},
                      Row{"CloseQuits", WM_CLOSE, 0, 0, false, "PostQuitMessage 0"},
                      Row{"SizeResizes", WM_SIZE, 0, 480 << 16 | 640, false, "resizeScene 640x480"},
                      Row{"SizeToNothing", WM_SIZE, 1, 0, false, "resizeScene 0x0"},
                      Row{"SizeTakesUnsignedWords", WM_SIZE, 0, intptr_t(0xFFFF) << 16 | 0x8000, false,
                          "resizeScene 32768x65535"},
                      Row{"SystemKeyDownPassedOn", WM_SYSKEYDOWN, VK_F10, 0, true, ""},
                      Row{"SystemKeyUpPassedOn", WM_SYSKEYUP, VK_MENU, 0, true, ""},
                      Row{"CreatePassedOn", WM_CREATE, 0, 0, true, ""},
                      Row{"DestroyPassedOn", WM_DESTROY, 0, 0, true, ""},
                      Row{"UnknownPassedOn", 0x7FFF, 5, -3, true, ""}),
    [](const auto& item) { return std::string(item.param.name); });

class WindowProc : public ::testing::Test {
 protected:
  void SetUp() override { fake::reset(); }
};

TEST_F(WindowProc, ActivationFollowsTheMinimizedWordOnly) {
  struct {
    uintptr_t wParam;
    bool active;
  } const cases[] = {
      {WA_INACTIVE | (1u << 16), false},
      {WA_ACTIVE, true},
      {WA_ACTIVE | (1u << 16), false},
      {WA_INACTIVE, true},
      {WA_CLICKACTIVE, true},
      {WA_ACTIVE | (uintptr_t(1) << 32), true},
  };
  for (const auto& c : cases) {
    isActive = !c.active;
    EXPECT_EQ(windowProc(nullptr, WM_ACTIVATE, c.wParam, 0), 0);
    EXPECT_EQ(isActive, c.active) << "wParam " << c.wParam;
  }
  EXPECT_TRUE(fake::calls.empty());
}

TEST_F(WindowProc, KeysSetAndClearTheirFlag) {
  for (unsigned code : {0u, unsigned(VK_ESCAPE), unsigned(VK_F1), unsigned('A'), 255u}) {
    windowProc(nullptr, WM_KEYDOWN, code, 0);
    EXPECT_TRUE(keyDown[code]);
    windowProc(nullptr, WM_KEYDOWN, code, 0);  // auto-repeat
    EXPECT_TRUE(keyDown[code]);
    windowProc(nullptr, WM_KEYUP, code, 0);
    EXPECT_FALSE(keyDown[code]);
  }
  EXPECT_TRUE(fake::calls.empty());
}

TEST_F(WindowProc, KeyCodesBeyondTheTableAreIgnored) {
  // The flags after the table must stay untouched: fill both ends and check.
  windowProc(nullptr, WM_KEYDOWN, 255, 0);
  for (uintptr_t code : {uintptr_t(256), uintptr_t(257), uintptr_t(0x10000), ~uintptr_t(0)}) {
    EXPECT_EQ(windowProc(nullptr, WM_KEYDOWN, code, 0), 0);
    EXPECT_EQ(windowProc(nullptr, WM_KEYUP, code, 0), 0);
  }
  EXPECT_TRUE(keyDown[255]);
  for (int code = 0; code < 255; ++code) EXPECT_FALSE(keyDown[code]) << code;
  EXPECT_TRUE(isActive);
  EXPECT_TRUE(isFullscreen);
  EXPECT_TRUE(fake::calls.empty());
}

TEST_F(WindowProc, SystemKeysLeaveTheKeyTableAlone) {
  windowProc(nullptr, WM_SYSKEYDOWN, VK_ESCAPE, 0);
  windowProc(nullptr, WM_SYSKEYDOWN, VK_F1, 0);
  EXPECT_FALSE(keyDown[VK_ESCAPE]);
  EXPECT_FALSE(keyDown[VK_F1]);
}

}  // namespace
