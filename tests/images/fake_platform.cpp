#include "fake_platform.h"

namespace {
std::vector<RecordedBox> boxes;
int focusToken;  // its address stands for the focused window
}  // namespace

const std::vector<RecordedBox>& recordedBoxes() { return boxes; }
void clearBoxes() { boxes.clear(); }
PlatformWindow* fakeFocusWindow() { return reinterpret_cast<PlatformWindow*>(&focusToken); }

int platformMessageBox(PlatformWindow* owner, const char* text, const char* caption, unsigned style,
                       int fallbackAnswer) {
  boxes.push_back({owner, text, caption, style});
  return IDOK;
}

PlatformWindow* platformFocusWindow() { return fakeFocusWindow(); }
