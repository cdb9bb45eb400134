// A screen's display mode on X (RandR): read, compared and switched to, over a
// connection the caller owns.
#pragma once

#include <X11/Xlib.h>

#include <cstdint>
#include <vector>

// One CRTC's configuration.
struct CrtcSnapshot {
  uint32_t crtc;
  int32_t x, y;  // pixels
  uint32_t mode;
  uint32_t rotation;
  std::vector<uint32_t> outputs;
};

// A screen's mode: its size and every CRTC's configuration.
struct ScreenSnapshot {
  int32_t width = 0, height = 0;      // pixels; 0: none taken
  int32_t widthMm = 0, heightMm = 0;  // millimetres
  std::vector<CrtcSnapshot> crtcs;
};

// Reads the screen now. The size in millimetres is the connection's record,
// as old as the connection.
ScreenSnapshot readScreen(Display* display);

// Whether the screen `now` shows the mode `set`: same size, every CRTC with
// the same mode, place and rotation.
bool sameMode(const ScreenSnapshot& now, const ScreenSnapshot& set);

// Switches the screen to `target`, with the server grabbed so that the switch
// is seen whole or not at all.
void applyScreen(Display* display, const ScreenSnapshot& target);

// Gives the desktop's mode back, unless the screen has left the mode the show
// set (when that is known: the show may have ended during the switch).
void giveBack(Display* display, const ScreenSnapshot& desktop, const ScreenSnapshot& set);
