// The show's entry routine, its main loop and the window procedure, with the
// flags they share. Main thread only.
#pragma once

#include "platform.h"

#include <cstdint>

// Whether the show runs fullscreen: the start-up answer, flipped by F1,
// cleared by openGlWindow when it falls back to a framed window.
extern bool isFullscreen;
// False while the window is minimized; frames are drawn and Escape is acted
// on only while it is true.
extern bool isActive;
// Pressed keys by virtual-key code (VK_*).
extern bool keyDown[256];

// Asks the fullscreen question, opens the window and runs the main loop until
// Escape or a close request. Returns the process exit code: 0 for a normal
// end, 1 when a window could not be opened (at start or on F1).
int WinMain();

// The show window's procedure: keeps keyDown and isActive, resizes on
// WM_SIZE, turns a close request into the quit message, refuses screen-saver
// and monitor-power requests, and passes everything else to the default.
intptr_t windowProc(PlatformWindow* window, unsigned message, uintptr_t wParam, intptr_t lParam);
