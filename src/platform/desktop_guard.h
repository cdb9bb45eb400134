// Gives the desktop its display mode back however the show ends, and lets no
// helper process of the show outlive it.
//
// A termination signal (SIGINT, SIGTERM, SIGHUP) with no mode held ends the
// process at once, as the signal would. With a mode held, the handler only
// records the signal for the main thread, which restores the mode through the
// window system and ends the process at its next call into the platform, and
// wakes a watcher thread (through a pipe). If the main thread has not ended
// the process within a tenth of a second
// (it is blocked, or sits in a modal box), the watcher restores the mode from
// a snapshot taken before the switch, over an X connection of its own, and
// ends the process by the signal itself.
//
// Every child the process forks (a message box's helper, say) is killed when
// the show dies.
//
// Main thread only, except where a function says otherwise.
#pragma once

// Installs the signal handlers, the watcher thread and the rule for
// children. Once; later calls do nothing.
void desktopGuardInstall();

// Before switching the display mode: remembers the desktop's mode (on X, its
// screen size and every CRTC's mode, position, rotation and outputs). From
// now on a termination signal restores before it ends the process.
void desktopGuardModeTaken();

// The mode is the desktop's again: nothing is left to restore.
void desktopGuardModeGiven();

// Whether a mode is held.
bool desktopGuardModeHeld();

// Restores the remembered desktop mode over the guard's own X connection and
// forgets it. Safe from any thread, and while the main thread's display
// connection is busy or broken. Returns false when nothing was restored.
bool desktopGuardRestoreDirectly();

// The termination signal the main thread is asked to act on (0: none):
// restore the mode, then end by that signal (desktopGuardEndBySignal).
int desktopGuardPendingSignal();

// Ends the process as `signalNumber` would, whatever handler it had.
[[noreturn]] void desktopGuardEndBySignal(int signalNumber);

// Marks the main thread as inside a modal box, where it cannot act on a
// signal: the watcher then restores at once instead of waiting.
void desktopGuardInModalBox(bool inside);
