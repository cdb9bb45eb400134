// The show's side of the desktop guard: the desktop's mode and the mode the
// show set, as read over an X connection of the guard's own, and what the
// guard process is told of them. The signal handling is in guard_signals.cpp,
// the guard process in guard_process.cpp, the wire between them in
// guard_wire.cpp, the reading and switching of modes in display_snapshot.cpp,
// and the desktop's mode shared between shows in desktop_record.cpp.
#include "desktop_guard.h"

#include "desktop_record.h"
#include "display_snapshot.h"
#include "guard_process.h"
#include "guard_signals.h"
#include "guard_wire.h"

#include <atomic>
#include <cstdlib>
#include <mutex>

namespace {

// The desktop's mode as it was before the switch (or before another show's),
// the mode the show set, the screen as last found, and the connection they are
// restored over; whether this show wrote the desktop's record. Guarded by
// snapshotLock; the watcher and the main thread both reach it.
std::mutex snapshotLock;
Display* ownConnection = nullptr;
ScreenSnapshot desktopMode, setMode, foundMode;
bool recordWritten = false;

// Read by the signal handlers, hence a lock-free atomic.
std::atomic<bool> modeHeld{false};
bool installed = false;

void closeOwnConnection() {
  if (ownConnection) XCloseDisplay(ownConnection);
  ownConnection = nullptr;
}

// The mode is given back, or there was nothing to give back: the record goes
// with the show's mode, and the guard process forgets it too.
void endHold() {
  if (ownConnection) settleDesktopRecord(ownConnection);
  closeOwnConnection();
  tellGuard({kGivenMessage, 0});
}

}  // namespace

void desktopGuardInstall() {
  if (installed) return;
  installed = true;
  // Only an X display has modes to give back from another process.
  const char* display = std::getenv("DISPLAY");
  if (display && *display) startGuardProcess();
  childrenDieWithShow();
  guardSignalsInstall();
}

void desktopGuardModeTaken() {
  {
    std::lock_guard<std::mutex> hold(snapshotLock);
    closeOwnConnection();
    desktopMode = setMode = ScreenSnapshot{};
    recordWritten = false;
    // Only an X display has modes to give back from here; elsewhere the main
    // thread's own restore is all there is.
    const char* display = std::getenv("DISPLAY");
    if (display && *display) ownConnection = XOpenDisplay(display);
    if (ownConnection) {
      desktopMode = takeDesktopMode(ownConnection, recordWritten);
      tellGuard(encodeSnapshot(kDesktopMessage, desktopMode));
    }
  }
  modeHeld = true;
}

void desktopGuardModeSet() {
  std::lock_guard<std::mutex> hold(snapshotLock);
  if (!ownConnection) return;
  setMode = readScreen(ownConnection);
  if (recordWritten) recordSetMode(ownConnection, desktopMode, setMode);
  tellGuard(encodeSnapshot(kSetMessage, setMode));
}

void desktopGuardModeGiven() {
  modeHeld = false;
  std::lock_guard<std::mutex> hold(snapshotLock);
  endHold();
}

bool desktopGuardModeHeld() { return modeHeld.load(); }

bool desktopGuardScreenStillSet() {
  std::lock_guard<std::mutex> hold(snapshotLock);
  if (!ownConnection) return true;
  // A fresh connection: its record of the screen's size in millimetres is
  // the screen's now.
  if (const char* display = std::getenv("DISPLAY")) {
    if (Display* fresh = XOpenDisplay(display)) {
      XCloseDisplay(ownConnection);
      ownConnection = fresh;
    }
  }
  foundMode = readScreen(ownConnection);
  return setMode.width == 0 || sameMode(foundMode, setMode);
}

void desktopGuardPutScreenBack() {
  std::lock_guard<std::mutex> hold(snapshotLock);
  if (ownConnection && foundMode.width != 0) applyScreen(ownConnection, foundMode);
}

bool desktopGuardRestoreDirectly() {
  // The lock first: a second caller (the watcher, while the main thread
  // restores) waits until the mode is back before it ends the process.
  std::lock_guard<std::mutex> hold(snapshotLock);
  if (!ownConnection || !modeHeld.exchange(false)) return false;
  giveBack(ownConnection, desktopMode, setMode);
  endHold();
  return true;
}
