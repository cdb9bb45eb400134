// A scripted stand-in for the window system and for the renderer hooks the
// shell calls. Every call is recorded in order as a short line; any operation
// can be told to fail; boxes are answered from a script; the message queue
// hands out scripted messages and idle passes.
#pragma once

#include "platform.h"

#include <deque>
#include <optional>
#include <set>
#include <string>
#include <vector>

struct FakeBox {
  std::string text;
  std::string caption;
  unsigned style;
  int fallbackAnswer;
};

namespace fake {

// Every call, e.g. "RegisterClass OpenGL", "CreateWindow Quendaloop Brakkelgrusk",
// "Box ERROR: Window Creation Error.", "resizeScene 640x480", "renderFrame".
extern std::vector<std::string> calls;
extern std::vector<FakeBox> boxes;
// Answers for yes/no boxes in order; when used up a box answers IDYES.
extern std::deque<int> boxAnswers;
// Operations that fail, by the first word of their line ("CreateWindow",
// "MakeCurrent", "ReleaseCurrent" for the unbinding with two nulls, ...).
extern std::set<std::string> failing;
// Whether the display has the asked mode.
extern bool modeAvailable;
// The queue: each entry is one pass, a message (its null window stands for
// the newest live window) or nullopt for an idle pass. When it runs out the
// queue hands out WM_QUIT with exitWhenExhausted and records "ScriptExhausted".
extern std::deque<std::optional<PlatformMessage>> script;
const int exitWhenExhausted = 99;
// What initRenderState answers.
extern int initRenderStateResult;

// Cursor show counter, display mode held, registered classes, live windows.
extern int cursorCount;
extern bool modeHeld;
extern std::set<std::string> registeredClasses;
extern int liveWindows;
extern PlatformWindow* lastWindow;

// Clears all of the above, and puts the shell's own state back to its start.
void reset();

// Script helpers.
PlatformMessage message(unsigned id, uintptr_t wParam = 0, intptr_t lParam = 0);
void key(unsigned virtualKey, bool down = true);
void idle(int passes = 1);

// How often a line was recorded, and where (index or -1).
int count(const std::string& line);
int indexOf(const std::string& line, int from = 0);

}  // namespace fake
