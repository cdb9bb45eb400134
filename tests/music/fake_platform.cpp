// A message box that writes "caption|style|text" to standard error, where
// the death tests read it, and remembers the last box.
#include <cstdio>
#include <string>

#include "platform.h"

std::string lastBoxText;

int platformMessageBox(PlatformWindow* owner, const char* text, const char* caption, unsigned style,
                       int) {
  std::fprintf(stderr, "%s|%s|0x%02x|%s\n", owner == nullptr ? "no owner" : "owner", caption, style, text);
  lastBoxText = text;
  return IDOK;
}

PlatformWindow* platformFocusWindow() { return nullptr; }
