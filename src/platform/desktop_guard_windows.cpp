// The desktop guard on Windows: only whether a mode is held. SDL switches the
// mode there as a temporary one (ChangeDisplaySettingsEx with
// CDS_FULLSCREEN), which Windows gives back by itself when the process ends,
// however it ends; and there are no POSIX signals to act on.
#include "desktop_guard.h"

#include <cstdlib>

namespace {

bool modeHeld = false;

}  // namespace

void desktopGuardInstall() {}

void desktopGuardModeTaken() { modeHeld = true; }

void desktopGuardModeSet() {}

void desktopGuardModeGiven() { modeHeld = false; }

bool desktopGuardModeHeld() { return modeHeld; }

bool desktopGuardScreenStillSet() { return true; }

void desktopGuardPutScreenBack() {}

bool desktopGuardRestoreDirectly() { return false; }

int desktopGuardPendingSignal() { return 0; }

void desktopGuardEndBySignal(int signalNumber) { std::_Exit(128 + signalNumber); }

void desktopGuardInModalBox(bool) {}
