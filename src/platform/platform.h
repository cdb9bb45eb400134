// The show's window-system layer: message boxes, the message queue, window
// class bookkeeping, windows with their GL contexts, the display mode and the
// cursor. A flat list of free functions over opaque handles; one SDL2
// implementation (platform_sdl.cpp) and a scripted fake for the unit tests.
//
// Everything here is called from the main thread only.
#pragma once

#include <cstdint>

// Message box styles and answers, with the numeric values Windows uses, so
// that a style reads the same everywhere it is written.
enum : unsigned {
  MB_OK = 0x00,
  MB_YESNO = 0x04,
  MB_ICONSTOP = 0x10,
  MB_ICONQUESTION = 0x20,
  MB_ICONEXCLAMATION = 0x30,
  MB_ICONINFORMATION = 0x40,
};
enum : int { IDOK = 1, IDYES = 6, IDNO = 7 };

struct PlatformWindow;  // a show window

// Shows a modal box with `text` and `caption`; `style` is one button set
// (MB_OK or MB_YESNO) or-ed with at most one icon. `owner` may be null.
// Returns IDOK, IDYES or IDNO. In a yes/no box Return answers Yes and Escape
// answers No. With no display the box is written to standard error as
// "caption: text"; a yes/no question is then read from an interactive
// terminal, or answered with `fallbackAnswer` when there is none.
int platformMessageBox(PlatformWindow* owner, const char* text, const char* caption,
                       unsigned style, int fallbackAnswer = IDNO);

// The show window that has the keyboard focus, or null.
PlatformWindow* platformFocusWindow();
