// Gives the desktop its display mode back however the show ends, and lets no
// helper process of the show outlive it.
//
// Two guards hold a snapshot of the desktop's mode, each on an X connection
// of its own: a watcher thread in the show, and a guard process forked at
// start. The process restores when the show goes away without having given
// the mode back (SIGKILL, a crash, a lost display connection); the watcher
// restores when the main thread cannot act on a signal in time.
//
// A termination signal (SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGALRM,
// ...) with no mode held ends the process at once, as the signal would. With
// a mode held, the handler only records the signal for the main thread, which
// restores the mode (desktopGuardRestoreDirectly, or through the window system
// where that has nothing to restore over) and ends the process at its next
// call into the platform, and wakes the watcher (through a pipe). If the
// main thread has not ended the process within a tenth of a second (it is
// blocked, or sits in a modal box), the watcher restores the mode itself and
// ends the process by the signal. A crash signal (SIGSEGV, SIGABRT, ...) tells
// the guard process to restore at once and ends the process by that signal.
// Signals ignored when the show started (nohup) stay ignored.
//
// The mode is given back only while the screen is still in the mode the show
// set: another program (another show) may have changed it since. A show that
// starts in another show's mode takes the desktop's mode from that show's
// record on the X server, not from the screen.
//
// Every child the process forks (a message box's helper, say) is killed when
// the show dies; the guard process is the exception.
//
// Main thread only, except where a function says otherwise.
#pragma once

// Forks the guard process, and installs the signal handlers, the watcher
// thread and the rule for children. Call it while the process has no other
// thread and no display connection (the guard process runs on without exec).
// Once; later calls do nothing.
void desktopGuardInstall();

// Before switching the display mode: remembers the desktop's mode (on X, its
// screen size and every CRTC's mode, position, rotation and outputs). From
// now on a termination signal restores before it ends the process.
void desktopGuardModeTaken();

// After the switch: remembers the mode the show set, to know at the end
// whether the screen is still in it.
void desktopGuardModeSet();

// The mode is the desktop's again: nothing is left to restore.
void desktopGuardModeGiven();

// Whether a mode is held.
bool desktopGuardModeHeld();

// Whether the screen is still in the mode the show set (true when that is
// unknown). Remembers the screen as it is now for desktopGuardPutScreenBack.
bool desktopGuardScreenStillSet();

// Puts the screen back as desktopGuardScreenStillSet found it: for after the
// window system switched back to its own idea of the desktop's mode on a
// screen that another program had changed meanwhile.
void desktopGuardPutScreenBack();

// Restores the remembered desktop mode over the guard's own X connection
// (when the screen is still in the mode the show set) and forgets it. Safe
// from any thread, and while the main thread's display connection is busy or
// broken. Returns false when no mode was held or there is no connection.
bool desktopGuardRestoreDirectly();

// The termination signal the main thread is asked to act on (0: none):
// restore the mode, then end by that signal (desktopGuardEndBySignal).
int desktopGuardPendingSignal();

// Ends the process as `signalNumber` would, whatever handler it had.
[[noreturn]] void desktopGuardEndBySignal(int signalNumber);

// Marks the main thread as inside a modal box, where it cannot act on a
// signal: the watcher then restores at once instead of waiting.
void desktopGuardInModalBox(bool inside);
