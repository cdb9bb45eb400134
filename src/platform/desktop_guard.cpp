#include "desktop_guard.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <pthread.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

// How long the watcher leaves the main thread to restore and end by itself.
const long kMainThreadGraceMs = 100;

struct CrtcSnapshot {
  RRCrtc crtc;
  int x, y;  // pixels
  RRMode mode;
  Rotation rotation;
  std::vector<RROutput> outputs;
};

// The desktop's mode as it was before the switch, and the connection it is
// restored over. Guarded by snapshotLock; the watcher and the main thread
// both reach it.
std::mutex snapshotLock;
Display* ownConnection = nullptr;
int screenWidth = 0, screenHeight = 0;      // pixels
int screenWidthMm = 0, screenHeightMm = 0;  // millimetres
std::vector<CrtcSnapshot> crtcs;

// Read by the signal handler, hence lock-free atomics.
std::atomic<bool> modeHeld{false};
std::atomic<bool> inModalBox{false};
std::atomic<int> pendingSignal{0};
int wakePipe[2] = {-1, -1};
pid_t showPid = 0;
bool installed = false;

// Signal handler: async-signal-safe calls only.
void onTerminationSignal(int signalNumber) {
  if (!modeHeld.load()) {
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

void sleepMs(long ms) {
  timespec wait{ms / 1000, (ms % 1000) * 1000000L};
  while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
  }
}

void watch() {
  unsigned char byte = 0;
  for (;;) {
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

// A forked child dies with the show: a box's helper must not stay on screen.
void childDiesWithParent() {
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != showPid) _exit(1);  // the show died before the rule took hold
}

void closeOwnConnection() {
  if (ownConnection) XCloseDisplay(ownConnection);
  ownConnection = nullptr;
  crtcs.clear();
}

}  // namespace

void desktopGuardInstall() {
  if (installed) return;
  installed = true;
  showPid = getpid();
  pthread_atfork(nullptr, nullptr, childDiesWithParent);
  if (pipe2(wakePipe, O_CLOEXEC) != 0) return;
  std::thread(watch).detach();
  for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(signalNumber, &action, nullptr);
  }
}

void desktopGuardModeTaken() {
  {
    std::lock_guard<std::mutex> hold(snapshotLock);
    closeOwnConnection();
    // Only an X display has modes to give back from here; elsewhere the main
    // thread's own restore is all there is.
    const char* display = std::getenv("DISPLAY");
    if (display && *display) ownConnection = XOpenDisplay(display);
    if (ownConnection) {
      const Window root = DefaultRootWindow(ownConnection);
      const int screen = DefaultScreen(ownConnection);
      screenWidth = DisplayWidth(ownConnection, screen);
      screenHeight = DisplayHeight(ownConnection, screen);
      screenWidthMm = DisplayWidthMM(ownConnection, screen);
      screenHeightMm = DisplayHeightMM(ownConnection, screen);
      int eventBase = 0, errorBase = 0;
      XRRScreenResources* resources = XRRQueryExtension(ownConnection, &eventBase, &errorBase)
                                          ? XRRGetScreenResourcesCurrent(ownConnection, root)
                                          : nullptr;
      for (int i = 0; resources && i < resources->ncrtc; ++i) {
        XRRCrtcInfo* info = XRRGetCrtcInfo(ownConnection, resources, resources->crtcs[i]);
        if (!info) continue;
        crtcs.push_back(CrtcSnapshot{resources->crtcs[i], info->x, info->y, info->mode, info->rotation,
                                     std::vector<RROutput>(info->outputs, info->outputs + info->noutput)});
        XRRFreeCrtcInfo(info);
      }
      if (resources) XRRFreeScreenResources(resources);
    }
  }
  modeHeld = true;
}

void desktopGuardModeGiven() {
  modeHeld = false;
  std::lock_guard<std::mutex> hold(snapshotLock);
  closeOwnConnection();
}

bool desktopGuardModeHeld() { return modeHeld.load(); }

bool desktopGuardRestoreDirectly() {
  if (!modeHeld.exchange(false)) return false;
  std::lock_guard<std::mutex> hold(snapshotLock);
  if (!ownConnection) return false;
  const Window root = DefaultRootWindow(ownConnection);
  XGrabServer(ownConnection);  // the switch back is seen whole or not at all
  // The root window's size now (the connection's own record of it is as old
  // as the connection).
  Window rootReturn = 0;
  int x = 0, y = 0;
  unsigned width = 0, height = 0, border = 0, depth = 0;
  XGetGeometry(ownConnection, root, &rootReturn, &x, &y, &width, &height, &border, &depth);
  const bool resize = int(width) != screenWidth || int(height) != screenHeight;
  XRRScreenResources* resources = XRRGetScreenResourcesCurrent(ownConnection, root);
  if (resources) {
    // CRTCs that would not fit the desktop's screen are turned off first.
    if (resize) {
      for (const CrtcSnapshot& c : crtcs)
        XRRSetCrtcConfig(ownConnection, resources, c.crtc, CurrentTime, 0, 0, None, RR_Rotate_0, nullptr, 0);
      XRRSetScreenSize(ownConnection, root, screenWidth, screenHeight, screenWidthMm, screenHeightMm);
    }
    for (CrtcSnapshot& c : crtcs)
      XRRSetCrtcConfig(ownConnection, resources, c.crtc, CurrentTime, c.x, c.y, c.mode, c.rotation,
                       c.outputs.data(), int(c.outputs.size()));
    XRRFreeScreenResources(resources);
  }
  XUngrabServer(ownConnection);
  XSync(ownConnection, False);
  closeOwnConnection();
  return resources != nullptr;
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
