// Message boxes for the tests that load the real pictures: written to
// standard error, answered with OK.
#include <cstdio>

#include "platform.h"

int platformMessageBox(PlatformWindow*, const char* text, const char* caption, unsigned, int) {
  std::fprintf(stderr, "%s: %s\n", caption, text);
  return IDOK;
}

PlatformWindow* platformFocusWindow() { return nullptr; }
