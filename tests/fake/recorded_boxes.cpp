#include "recorded_boxes.h"

#include "platform_terminal.h"

#include <cstdio>
#include <cstdlib>

namespace {

std::vector<RecordedBox> boxes;
bool quiet = false;
int focusToken;  // its address stands for the focused window

void writeBoxes() {
  for (const RecordedBox& box : boxes)
    std::fprintf(stderr, "%s|%s|0x%02x|%s\n", box.owner ? "owner" : "no owner", box.caption.c_str(),
                 box.style, box.text.c_str());
}

}  // namespace

const std::vector<RecordedBox>& recordedBoxes() { return boxes; }
void clearBoxes() { boxes.clear(); }
PlatformWindow* fakeFocusWindow() { return reinterpret_cast<PlatformWindow*>(&focusToken); }
void keepBoxesQuiet(bool on) { quiet = on; }

void reportBoxesAtExit() {
  static bool registered = false;
  if (!registered) std::atexit(writeBoxes);
  registered = true;
}

int platformMessageBox(PlatformWindow* owner, const char* text, const char* caption, unsigned style,
                       int fallbackAnswer) {
  boxes.push_back({owner, text ? text : "", caption ? caption : "", style, fallbackAnswer});
  const bool yesNo = (style & 0x0F) == MB_YESNO;
  if (quiet) return yesNo ? fallbackAnswer : IDOK;
  return answerOnTerminal(text, caption, yesNo, fallbackAnswer);
}

PlatformWindow* platformFocusWindow() { return fakeFocusWindow(); }
