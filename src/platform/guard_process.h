// The guard process: forked from the show at its start, it holds what the
// show tells it over the wire (guard_wire.h) and, when the show goes away
// without having given the desktop's mode back (SIGKILL, a crash, a lost
// display connection), gives it back over an X connection of its own.
#pragma once

#include <cstdint>
#include <vector>

// Forks the guard process, when the process runs one thread only (the guard
// runs on without exec, so it may do nothing else); otherwise there is none.
// Its command line reads "mode-guard", so that what kills the show by its
// command line (`pkill -f`) does not take the guard with it.
void startGuardProcess();

// The show's end of the guard process's socket, for the watcher thread: the
// guard never writes, so it turns readable (at the end of the stream) when the
// guard process is gone. -1 when there is no guard process.
int guardChannelFd();

// Says on standard error that the guard process has ended, and so that
// nothing gives the mode back should the show be killed. Any thread.
void reportGuardGone();

// Sends a message to the guard process, never blocking; nothing when there
// is none.
void tellGuard(const std::vector<uint32_t>& message);

// Tells the guard process that the show is ending and to give the mode back
// at once. Async-signal-safe.
void tellGuardShowEnding();

// From now on every child the process forks dies with it (a message box's
// helper must not stay on screen); the guard process is the exception.
void childrenDieWithShow();
