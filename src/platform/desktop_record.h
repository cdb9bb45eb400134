// The desktop's own mode, kept on the X server for as long as a show's mode is
// on the screen: a root-window property written by the show that found the
// desktop in its own mode, holding that mode and the mode the show set. A show
// that starts while the screen is in the recorded show mode (another show's)
// takes the desktop's mode from the record, not from the screen, so that it
// never gives another show's mode back as the desktop's.
//
// What the record cannot tell apart: a screen that another program put into
// exactly the recorded show mode is taken for the show's.
#pragma once

#include "display_snapshot.h"

// The desktop's mode for a show about to switch: the mode the record names
// when the screen is in the recorded show mode, else the screen as it is now,
// which is then recorded (and `recorded` set). The server is grabbed
// meanwhile, so that two shows starting at once see one record.
ScreenSnapshot takeDesktopMode(Display* display, bool& recorded);

// Adds the mode the show set to the record written by takeDesktopMode.
void recordSetMode(Display* display, const ScreenSnapshot& desktop, const ScreenSnapshot& set);

// Removes the record unless the screen is still in the show mode it names
// (another show holds it): for after a show has given its mode back, or had
// nothing to give back.
void settleDesktopRecord(Display* display);
