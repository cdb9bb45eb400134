#include "desktop_record.h"

#include "guard_wire.h"

#include <X11/Xatom.h>

#include <vector>

namespace {

// The property's words are two messages as the wire carries them: the
// desktop's mode, then the show mode (of width 0 until the show has set it).
Atom recordAtom(Display* display) { return XInternAtom(display, "_QUENDALOOP_DESKTOP_MODE", False); }

bool readRecord(Display* display, ScreenSnapshot& desktop, ScreenSnapshot& set) {
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(display, DefaultRootWindow(display), recordAtom(display), 0, 2 * kMaxMessageWords,
                         False, XA_CARDINAL, &type, &format, &count, &after, &data) != Success)
    return false;
  std::vector<uint32_t> words;
  if (data && type == XA_CARDINAL && format == 32) {
    const long* values = reinterpret_cast<const long*>(data);  // format 32 comes as longs
    words.assign(values, values + count);
  }
  if (data) XFree(data);
  std::vector<uint32_t> bodies[2];
  size_t at = 0;
  for (std::vector<uint32_t>& body : bodies) {
    if (words.size() - at < 2 || words[at + 1] > words.size() - at - 2) return false;
    body.assign(words.begin() + long(at) + 2, words.begin() + long(at + 2 + words[at + 1]));
    at += 2 + words[at + 1];
  }
  return decodeSnapshot(bodies[0], desktop) && decodeSnapshot(bodies[1], set);
}

void writeRecord(Display* display, const ScreenSnapshot& desktop, const ScreenSnapshot& set) {
  std::vector<uint32_t> words = encodeSnapshot(kDesktopMessage, desktop);
  const std::vector<uint32_t> setWords = encodeSnapshot(kSetMessage, set);
  words.insert(words.end(), setWords.begin(), setWords.end());
  const std::vector<long> values(words.begin(), words.end());
  XChangeProperty(display, DefaultRootWindow(display), recordAtom(display), XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(values.data()), int(values.size()));
}

}  // namespace

ScreenSnapshot takeDesktopMode(Display* display, bool& recorded) {
  XGrabServer(display);
  const ScreenSnapshot now = readScreen(display);
  ScreenSnapshot desktop, set;
  recorded = !(readRecord(display, desktop, set) && set.width != 0 && sameMode(now, set));
  if (recorded) {
    desktop = now;
    writeRecord(display, desktop, ScreenSnapshot{});
  }
  XUngrabServer(display);
  XSync(display, False);
  return desktop;
}

void recordSetMode(Display* display, const ScreenSnapshot& desktop, const ScreenSnapshot& set) {
  writeRecord(display, desktop, set);
  XSync(display, False);
}

void settleDesktopRecord(Display* display) {
  XGrabServer(display);
  ScreenSnapshot desktop, set;
  // A record with no show mode yet is left by a show that ended before its
  // switch; a show mode that is the desktop's own tells a later show nothing.
  if (readRecord(display, desktop, set) &&
      (set.width == 0 || sameMode(desktop, set) || !sameMode(readScreen(display), set)))
    XDeleteProperty(display, DefaultRootWindow(display), recordAtom(display));
  XUngrabServer(display);
  XSync(display, False);
}
