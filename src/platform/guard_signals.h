// The show's signal handling while it may hold a display mode: termination
// signals give the mode back before they end the process, through the main
// thread or, when that cannot act in time, a watcher thread; crash signals
// have the guard process give it back. The public side is in desktop_guard.h
// (desktopGuardPendingSignal, desktopGuardEndBySignal, desktopGuardInModalBox).
#pragma once

// Installs the handlers and starts the watcher thread. Signals ignored when
// the show started (nohup) stay ignored.
void guardSignalsInstall();
