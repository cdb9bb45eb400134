// The null platform's message boxes, recorded, for tests that need to see the
// boxes their code shows. Every box is kept (owner, caption, style, text) and
// then shown as the null platform shows it: on standard error, answered from
// the terminal or with its fallback. Linked in place of the null platform; it
// holds the box part of the window system only (platformMessageBox and
// platformFocusWindow).
#pragma once

#include <string>
#include <vector>

#include "platform.h"

struct RecordedBox {
  PlatformWindow* owner;
  std::string text;
  std::string caption;
  unsigned style;
  int fallbackAnswer;
};

// Every box shown since the last clearBoxes(), in order.
const std::vector<RecordedBox>& recordedBoxes();
void clearBoxes();

// The window reported as having the keyboard focus (a token, never a real
// window), so that a test can see which boxes are owned by it.
PlatformWindow* fakeFocusWindow();

// Boxes are only recorded, not written to standard error; a question then
// takes its fallback answer. For tests whose boxes are expected.
void keepBoxesQuiet(bool quiet);

// For code that ends the process after its box (death tests): when the
// process exits, every recorded box is written to standard error as
// "owner|caption|0xSS|text" ("no owner" for a box without one; SS the style in
// hex). Once per process; later calls do nothing.
void reportBoxesAtExit();
