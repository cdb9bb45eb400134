#include "guard_signals.h"

#include "desktop_guard.h"
#include "guard_process.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

namespace {

// How long the watcher leaves the main thread to restore and end by itself.
const long kMainThreadGraceMs = 100;

// Signals whose default action ends the process, caught to give the mode back
// first. The crash signals tell the guard process to restore.
const int kTerminationSignals[] = {SIGINT,    SIGTERM, SIGHUP,  SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM,
                                   SIGVTALRM, SIGPROF, SIGXCPU, SIGXFSZ, SIGPOLL, SIGPWR,  SIGSTKFLT};
const int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGTRAP, SIGSYS};

// Read by the signal handlers, hence lock-free atomics.
std::atomic<bool> inModalBox{false};
std::atomic<int> pendingSignal{0};
int wakePipe[2] = {-1, -1};

// Signal handlers: async-signal-safe calls only.
void onTerminationSignal(int signalNumber) {
  if (!desktopGuardModeHeld()) {
    std::signal(signalNumber, SIG_DFL);
    raise(signalNumber);
    return;
  }
  const int savedErrno = errno;
  pendingSignal = signalNumber;  // for the main thread's next call into the platform
  const unsigned char byte = static_cast<unsigned char>(signalNumber);
  if (write(wakePipe[1], &byte, 1) < 0) {
    // The pipe cannot be full: the watcher ends the process on the first byte.
  }
  errno = savedErrno;
}

void onCrashSignal(int signalNumber) {
  tellGuardShowEnding();
  std::signal(signalNumber, SIG_DFL);
  raise(signalNumber);  // taken as the handler returns
}

void sleepMs(long ms) {
  timespec wait{ms / 1000, (ms % 1000) * 1000000L};
  while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
  }
}

// The watcher thread: waits for a signal's byte on the wake pipe, and notices
// meanwhile when the guard process is gone.
void watch() {
  pollfd watched[2] = {{wakePipe[0], POLLIN, 0}, {guardChannelFd(), POLLIN, 0}};  // fd -1: not polled
  unsigned char byte = 0;
  for (;;) {
    if (poll(watched, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (watched[1].revents != 0) {
      reportGuardGone();
      watched[1].fd = -1;
    }
    if (watched[0].revents == 0) continue;
    const ssize_t got = read(wakePipe[0], &byte, 1);
    if (got == 1) break;
    if (got < 0 && errno == EINTR) continue;
    return;
  }
  const int signalNumber = byte;
  if (!inModalBox.load()) sleepMs(kMainThreadGraceMs);  // the main thread normally ends the process meanwhile
  desktopGuardRestoreDirectly();
  desktopGuardEndBySignal(signalNumber);
}

void catchSignal(int signalNumber, void (*handler)(int)) {
  struct sigaction before {};
  if (sigaction(signalNumber, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) return;
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(signalNumber, &action, nullptr);
}

}  // namespace

void guardSignalsInstall() {
  if (pipe2(wakePipe, O_CLOEXEC) != 0) return;
  std::thread(watch).detach();
  for (int signalNumber : kTerminationSignals) catchSignal(signalNumber, onTerminationSignal);
  for (int signalNumber : kCrashSignals) catchSignal(signalNumber, onCrashSignal);
}

int desktopGuardPendingSignal() { return pendingSignal.load(); }

void desktopGuardEndBySignal(int signalNumber) {
  std::signal(signalNumber, SIG_DFL);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, signalNumber);
  pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
  kill(getpid(), signalNumber);
  // Delivery to this process is now pending and its action is to end it;
  // should the signal be blocked in every other thread, this one takes it.
  for (;;) pause();
}

void desktopGuardInModalBox(bool inside) { inModalBox = inside; }
