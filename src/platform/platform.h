// The show's window-system layer: message boxes, the message queue, window
// class bookkeeping, windows with their GL contexts, the display mode and the
// cursor. A flat list of free functions over opaque handles. The build picks
// one of four implementations: over SDL2 (platform_sdl.cpp) for the show on
// the desktop, Linux and Windows alike; in a web page (platform_web.cpp: a
// canvas, WebGL and boxes drawn in the page); with no display
// (platform_null.cpp: boxes on the terminal, no windows) for the capture
// program and tests; and a scripted fake that the shell's unit tests link.
// Where one of them cannot do a thing (the null one has no windows, a page
// has no display modes of its own), its contract below says what it returns.
//
// Use: register a class with a window procedure, create a window of that
// class, take its device, choose and set a pixel format on the device, create
// a GL context for it and make it current. Then poll with platformPeekMessage
// and hand each message to platformDispatchMessage, which calls the window
// procedure. Release in the reverse order.
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

struct PlatformWindow;     // a show window
struct PlatformDevice;     // a window's drawing device (one per window, owned by it)
struct PlatformGlContext;  // an OpenGL rendering context
struct PlatformInstance;   // the running program's instance, a token with no contents

// Shows a modal box with `text` and `caption`; `style` is one button set
// (MB_OK or MB_YESNO) or-ed with at most one icon. `owner` may be null.
// Returns IDOK, IDYES or IDNO. In a yes/no box Return answers Yes and Escape
// answers No. With no display the box is written to standard error as
// "caption: text"; a yes/no question is then read from an interactive
// terminal, or answered with `fallbackAnswer` when there is none.
int platformMessageBox(PlatformWindow* owner, const char* text, const char* caption, unsigned style,
                       int fallbackAnswer = IDNO);

// The show window that has the keyboard focus, or null.
PlatformWindow* platformFocusWindow();

// ---- Messages -------------------------------------------------------------

// Message numbers, with the values Windows uses.
enum : unsigned {
  WM_CREATE = 0x0001,
  WM_DESTROY = 0x0002,
  WM_SIZE = 0x0005,        // lParam: client width (low word), height (high word), pixels
  WM_ACTIVATE = 0x0006,    // wParam: WA_* (low word), minimized flag (high word)
  WM_CLOSE = 0x0010,       // the window's close box or the window manager's close request
  WM_QUIT = 0x0012,        // posted by platformPostQuitMessage; wParam: exit code
  WM_KEYDOWN = 0x0100,     // wParam: virtual-key code
  WM_KEYUP = 0x0101,       // wParam: virtual-key code
  WM_SYSKEYDOWN = 0x0104,  // a key pressed with Alt held, or F10
  WM_SYSKEYUP = 0x0105,
  WM_SYSCOMMAND = 0x0112,  // wParam: SC_* command
};
enum : unsigned { WA_INACTIVE = 0, WA_ACTIVE = 1, WA_CLICKACTIVE = 2 };
// System commands the platform sends while a window exists: the screen saver
// and the monitor's power saving start only when the window procedure passes
// them on to platformDefWindowProc.
enum : unsigned { SC_SCREENSAVE = 0xF140, SC_MONITORPOWER = 0xF170 };

// Virtual-key codes (Windows values). Letters and digits are their upper-case
// ASCII codes ('A'..'Z', '0'..'9').
enum : unsigned {
  VK_BACK = 0x08,
  VK_TAB = 0x09,
  VK_RETURN = 0x0D,
  VK_SHIFT = 0x10,
  VK_CONTROL = 0x11,
  VK_MENU = 0x12,  // Alt
  VK_PAUSE = 0x13,
  VK_ESCAPE = 0x1B,
  VK_SPACE = 0x20,
  VK_PRIOR = 0x21,
  VK_NEXT = 0x22,
  VK_END = 0x23,
  VK_HOME = 0x24,
  VK_LEFT = 0x25,
  VK_UP = 0x26,
  VK_RIGHT = 0x27,
  VK_DOWN = 0x28,
  VK_INSERT = 0x2D,
  VK_DELETE = 0x2E,
  VK_F1 = 0x70,  // F2..F12 follow in order
  VK_F10 = 0x79,
  VK_F12 = 0x7B,
};

// A window message. `window` is null for thread messages such as WM_QUIT.
struct PlatformMessage {
  PlatformWindow* window;
  unsigned message;
  uintptr_t wParam;
  intptr_t lParam;
};

typedef intptr_t (*PlatformWindowProc)(PlatformWindow* window, unsigned message, uintptr_t wParam,
                                       intptr_t lParam);

// Removes the oldest waiting message into `message`. Returns false (and
// leaves `message` alone) when none is waiting: at once while a window is
// drawn to, and after waiting a little for one while every window is
// minimized, so that a loop that draws nothing then does not spin. A key's
// release is held back until a call has returned false since its press, so
// a loop that reads keys when the queue is empty sees even the shortest tap.
bool platformPeekMessage(PlatformMessage* message);

// Key translation hook kept for the loop's shape; this platform makes no
// character messages. Returns false.
bool platformTranslateMessage(const PlatformMessage* message);

// Calls the window procedure of the message's window and returns its result;
// 0 when the window no longer exists or the message has no window.
intptr_t platformDispatchMessage(const PlatformMessage* message);

// The default handling of a message the window procedure does not handle
// itself. Returns 0.
intptr_t platformDefWindowProc(PlatformWindow* window, unsigned message, uintptr_t wParam, intptr_t lParam);

// Posts WM_QUIT with `exitCode` as its wParam, to be removed after the
// messages already waiting.
void platformPostQuitMessage(int exitCode);

// ---- Window classes and windows --------------------------------------------

// Class styles and window styles (Windows values).
enum : uint32_t {
  CS_VREDRAW = 0x0001,
  CS_HREDRAW = 0x0002,
  CS_OWNDC = 0x0020,
};
enum : uint32_t {
  WS_POPUP = 0x80000000u,
  WS_CLIPSIBLINGS = 0x04000000u,
  WS_CLIPCHILDREN = 0x02000000u,
  WS_OVERLAPPEDWINDOW = 0x00CF0000u,  // title bar, frame, system menu, minimize and maximize
  WS_EX_WINDOWEDGE = 0x00000100u,
  WS_EX_APPWINDOW = 0x00040000u,
};
// A window class: the procedure that handles its windows' messages, under a name.
struct PlatformWindowClass {
  uint32_t style;  // CS_*
  PlatformWindowProc procedure;
  const char* name;
};

struct PlatformRect {
  int32_t left, top, right, bottom;  // pixels
};

// The running program's instance, passed back to platformCreateWindow and
// platformUnregisterClass; never null.
PlatformInstance* platformModuleHandle();

// Registers a window class under its name. Returns false when a class of that
// name is already registered or the record is incomplete (no name, no procedure).
bool platformRegisterClass(const PlatformWindowClass* windowClass);

// Unregisters a class. Returns false when no class of that name is registered.
bool platformUnregisterClass(const char* name, PlatformInstance* instance);

// Turns a wanted client rectangle into the window's outer rectangle for the
// given styles (no menu). The frame of a framed window belongs to the desktop's
// window manager and lies outside what is created, so the rectangle is left as
// it is and the created window's client area is exactly the wanted size.
void platformAdjustWindowRect(PlatformRect* rect, uint32_t style, uint32_t extendedStyle);

// Creates a hidden window of a registered class, sized width x height pixels
// at (x, y). WS_POPUP makes a borderless window, fullscreen in the display
// mode that platformChangeDisplayMode granted, when one is held; otherwise a
// framed, resizable one. Returns null when the class is unknown, there is no
// display, or the window system refuses.
PlatformWindow* platformCreateWindow(uint32_t extendedStyle, const char* className, const char* title,
                                     uint32_t style, int x, int y, int width, int height,
                                     PlatformWindow* parent, PlatformInstance* instance);

// Destroys a window (sends it WM_ACTIVATE inactive and WM_DESTROY first).
// Returns false for a window that does not exist.
bool platformDestroyWindow(PlatformWindow* window);

// Shows the window (sends WM_SIZE with its client size, then posts the
// screen-saver and monitor-power requests); raises it; gives it the keyboard
// focus (sends WM_ACTIVATE active). Results carry nothing worth checking.
void platformShowWindow(PlatformWindow* window);
bool platformSetForegroundWindow(PlatformWindow* window);
PlatformWindow* platformSetFocus(PlatformWindow* window);

// ---- Devices, pixel formats, GL contexts -----------------------------------

enum : uint32_t {
  PFD_DOUBLEBUFFER = 0x00000001u,
  PFD_DRAW_TO_WINDOW = 0x00000004u,
  PFD_SUPPORT_OPENGL = 0x00000020u,
};
enum : uint8_t { PFD_TYPE_RGBA = 0 };

// A pixel-format request: what the window's drawing surface must offer at
// least. Every field not given is 0.
struct PlatformPixelFormat {
  uint32_t dwFlags = 0;      // PFD_*
  uint8_t iPixelType = 0;    // PFD_TYPE_RGBA
  uint8_t cColorBits = 0;    // bits per pixel without alpha
  uint8_t cDepthBits = 0;    // depth buffer bits
  uint8_t cStencilBits = 0;  // stencil buffer bits
};

// The window's device (one per window, kept for its life). Null for a window
// that does not exist.
PlatformDevice* platformGetDevice(PlatformWindow* window);

// Gives the device back. Returns false when it is not that window's device.
bool platformReleaseDevice(PlatformWindow* window, PlatformDevice* device);

// The number (1 and up) of a pixel format that meets the request at least:
// RGBA, double-buffered, drawable by OpenGL, and at least its colour and
// depth bits (5/6/5 colour and 16 depth are always available). 0 when the
// request cannot be met.
int platformChoosePixelFormat(PlatformDevice* device, const PlatformPixelFormat* request);

// Sets the device's pixel format. Returns false for an unknown format number,
// an unknown device, or a device whose format is already set to another one.
bool platformSetPixelFormat(PlatformDevice* device, int format, const PlatformPixelFormat* request);

// Creates a GL context for a device whose pixel format is set, of the kind
// the build's GL answers to: a compatibility context for the system's OpenGL,
// or an OpenGL ES 2.0 context (WebGL 1 in a page) for the GL 1.1 layer. Does
// not make it current. Null on failure, and always with no display.
PlatformGlContext* platformCreateGlContext(PlatformDevice* device);

// Makes `context` current on the calling thread for `device` and sets how
// its swaps are paced: to 60 frames a second, each frame held for whole
// refreshes of the window's display where its rate is a multiple of 60 and
// the driver waits, and kept to 60 by the platform itself otherwise; one
// frame per refresh below 60 Hz; no wait at all with QUENDALOOP_PACING=off.
// In a page, the first animation frame of each 1/60 s slot. Two nulls release
// the current context. Returns false on failure.
bool platformMakeCurrent(PlatformDevice* device, PlatformGlContext* context);

// Deletes a context (released first if current). Returns false for an unknown one.
bool platformDeleteGlContext(PlatformGlContext* context);

// True once, when `context` has lost everything made in it (a GPU reset, a
// browser dropping a background page's context) and a new context can be
// made for its device: the caller deletes it and makes a new one, with its
// textures and state. False while it is whole, for an unknown context, and
// always on window systems whose contexts are never lost (SDL, null).
bool platformGlContextLost(PlatformGlContext* context);

// With `skip`, drawing in the current GL context changes no pixel of its
// window until called again without; the GL state the show sets and reads
// stays as it is. For test pages that draw frames they do not show, so that
// the show's state advances as when they are seen. The browser's window
// system only.
void platformSkipDrawing(bool skip);

// Waits for the frame's slot when paced (see platformMakeCurrent), then
// presents the back buffer of the device's window. Returns false for an
// unknown device.
bool platformSwapBuffers(PlatformDevice* device);

// ---- Display mode and cursor -----------------------------------------------

// Switches the display to width x height for fullscreen windows. Only an
// exact mode of that size counts: returns false (nothing changed) when the
// display has none, or there is no display. The colour depth is the display's
// own. While a mode is held the desktop's mode comes back on every way out:
// platformRestoreDisplayMode, exit(), a termination signal (the process then
// ends as the signal would), and on X a crash or SIGKILL too, through the
// desktop guard; Windows gives its temporary mode back itself when the
// process ends. In a page the browser's fullscreen stands for the mode: the
// canvas scaled to the screen, false where the browser refuses it.
bool platformChangeDisplayMode(int width, int height, int bits);

// Gives the desktop its own display mode back (fullscreen windows leave
// fullscreen). Returns true, also when no mode was held.
bool platformRestoreDisplayMode();

// Moves the cursor's show counter by one (up with `show`, down otherwise);
// the cursor is visible while the counter is 0 or more. Returns the new count.
int platformShowCursor(bool show);
