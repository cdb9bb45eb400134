// A recording stand-in for the message-box part of the platform layer, so
// the tests can see every box the pictures code shows.
#pragma once

#include <string>
#include <vector>

#include "platform.h"

struct RecordedBox {
  PlatformWindow* owner;
  std::string text;
  std::string caption;
  unsigned style;
};

// Every box shown since the last clearBoxes(), in order.
const std::vector<RecordedBox>& recordedBoxes();
void clearBoxes();
// The window the fake reports as having the focus.
PlatformWindow* fakeFocusWindow();
