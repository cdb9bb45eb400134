#include "desktop_guard.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <thread>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// How long the watcher leaves the main thread to restore and end by itself.
const long kMainThreadGraceMs = 100;

// Signals whose default action ends the process, caught to give the mode back
// first. The crash signals tell the guard process to restore.
const int kTerminationSignals[] = {SIGINT,    SIGTERM, SIGHUP,  SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM,
                                   SIGVTALRM, SIGPROF, SIGXCPU, SIGXFSZ, SIGPOLL, SIGPWR,  SIGSTKFLT};
const int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGTRAP, SIGSYS};

struct CrtcSnapshot {
  uint32_t crtc;
  int32_t x, y;  // pixels
  uint32_t mode;
  uint32_t rotation;
  std::vector<uint32_t> outputs;
};

// A screen's mode: its size and every CRTC's configuration.
struct ScreenSnapshot {
  int32_t width = 0, height = 0;      // pixels; 0: none taken
  int32_t widthMm = 0, heightMm = 0;  // millimetres
  std::vector<CrtcSnapshot> crtcs;
};

// Reads the screen now. The size in millimetres is the connection's record,
// as old as the connection.
ScreenSnapshot readScreen(Display* display) {
  ScreenSnapshot s;
  const Window root = DefaultRootWindow(display);
  Window rootReturn = 0;
  int x = 0, y = 0;
  unsigned width = 0, height = 0, border = 0, depth = 0;
  XGetGeometry(display, root, &rootReturn, &x, &y, &width, &height, &border, &depth);
  s.width = int32_t(width);
  s.height = int32_t(height);
  s.widthMm = DisplayWidthMM(display, DefaultScreen(display));
  s.heightMm = DisplayHeightMM(display, DefaultScreen(display));
  int eventBase = 0, errorBase = 0;
  XRRScreenResources* resources = XRRQueryExtension(display, &eventBase, &errorBase)
                                      ? XRRGetScreenResourcesCurrent(display, root)
                                      : nullptr;
  for (int i = 0; resources && i < resources->ncrtc; ++i) {
    XRRCrtcInfo* info = XRRGetCrtcInfo(display, resources, resources->crtcs[i]);
    if (!info) continue;
    s.crtcs.push_back(CrtcSnapshot{uint32_t(resources->crtcs[i]), info->x, info->y, uint32_t(info->mode),
                                   info->rotation,
                                   std::vector<uint32_t>(info->outputs, info->outputs + info->noutput)});
    XRRFreeCrtcInfo(info);
  }
  if (resources) XRRFreeScreenResources(resources);
  return s;
}

// Whether the screen `now` shows the mode `set`: same size, every CRTC with
// the same mode, place and rotation.
bool sameMode(const ScreenSnapshot& now, const ScreenSnapshot& set) {
  if (now.width != set.width || now.height != set.height || now.crtcs.size() != set.crtcs.size())
    return false;
  for (size_t i = 0; i < set.crtcs.size(); ++i) {
    const CrtcSnapshot &a = now.crtcs[i], &b = set.crtcs[i];
    if (a.crtc != b.crtc || a.mode != b.mode || a.x != b.x || a.y != b.y || a.rotation != b.rotation)
      return false;
  }
  return true;
}

// Switches the screen to `target`.
void applyScreen(Display* display, const ScreenSnapshot& target) {
  const Window root = DefaultRootWindow(display);
  XGrabServer(display);  // the switch is seen whole or not at all
  const ScreenSnapshot now = readScreen(display);
  const bool resize = now.width != target.width || now.height != target.height;
  XRRScreenResources* resources = XRRGetScreenResourcesCurrent(display, root);
  if (resources) {
    // CRTCs that would not fit the target's screen are turned off first.
    if (resize) {
      for (const CrtcSnapshot& c : target.crtcs)
        XRRSetCrtcConfig(display, resources, c.crtc, CurrentTime, 0, 0, None, RR_Rotate_0, nullptr, 0);
      XRRSetScreenSize(display, root, target.width, target.height, target.widthMm, target.heightMm);
    }
    for (const CrtcSnapshot& c : target.crtcs) {
      std::vector<RROutput> outputs(c.outputs.begin(), c.outputs.end());
      XRRSetCrtcConfig(display, resources, c.crtc, CurrentTime, c.x, c.y, c.mode, Rotation(c.rotation),
                       outputs.data(), int(outputs.size()));
    }
    XRRFreeScreenResources(resources);
  }
  XUngrabServer(display);
  XSync(display, False);
}

// Gives the desktop's mode back, unless the screen has left the mode the show
// set (when that is known: the show may have ended during the switch).
void giveBack(Display* display, const ScreenSnapshot& desktop, const ScreenSnapshot& set) {
  if (desktop.width == 0) return;
  if (set.width != 0 && !sameMode(readScreen(display), set)) return;
  applyScreen(display, desktop);
}

// ---- The guard process -----------------------------------------------------
//
// The show sends it messages of 32-bit words over a socket: a kind, the count
// of words that follow, and a snapshot (desktop, set) or nothing (given,
// ending). The end of the stream means the show is gone.

enum : uint32_t { kDesktopMessage = 'D', kSetMessage = 'S', kGivenMessage = 'G', kEndingMessage = 'E' };
const uint32_t kMaxMessageWords = 65536;

std::vector<uint32_t> encode(uint32_t kind, const ScreenSnapshot& s) {
  std::vector<uint32_t> w{kind,
                          0,
                          uint32_t(s.width),
                          uint32_t(s.height),
                          uint32_t(s.widthMm),
                          uint32_t(s.heightMm),
                          uint32_t(s.crtcs.size())};
  for (const CrtcSnapshot& c : s.crtcs) {
    w.insert(w.end(), {c.crtc, uint32_t(c.x), uint32_t(c.y), c.mode, c.rotation, uint32_t(c.outputs.size())});
    w.insert(w.end(), c.outputs.begin(), c.outputs.end());
  }
  w[1] = uint32_t(w.size() - 2);
  return w;
}

bool decode(const std::vector<uint32_t>& w, ScreenSnapshot& s) {
  size_t at = 0;
  const auto next = [&](uint32_t& value) {
    if (at >= w.size()) return false;
    value = w[at++];
    return true;
  };
  uint32_t width, height, widthMm, heightMm, count;
  if (!next(width) || !next(height) || !next(widthMm) || !next(heightMm) || !next(count)) return false;
  ScreenSnapshot read{int32_t(width), int32_t(height), int32_t(widthMm), int32_t(heightMm), {}};
  for (uint32_t i = 0; i < count; ++i) {
    CrtcSnapshot c{};
    uint32_t x, y, outputs;
    if (!next(c.crtc) || !next(x) || !next(y) || !next(c.mode) || !next(c.rotation) || !next(outputs))
      return false;
    c.x = int32_t(x);
    c.y = int32_t(y);
    for (uint32_t j = 0; j < outputs; ++j) {
      uint32_t output;
      if (!next(output)) return false;
      c.outputs.push_back(output);
    }
    read.crtcs.push_back(c);
  }
  s = read;
  return true;
}

bool readAll(int fd, void* into, size_t size) {
  auto* at = static_cast<char*>(into);
  while (size > 0) {
    const ssize_t got = read(fd, at, size);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    at += got;
    size -= size_t(got);
  }
  return true;
}

int ignoreXError(Display*, XErrorEvent*) { return 0; }
int endOnXIoError(Display*) { _exit(1); }

// The guard process: holds what the show says and, when the show goes away
// without having given the mode back, gives it back.
[[noreturn]] void runGuardProcess(int channel) {
  prctl(PR_SET_NAME, "mode-guard");
  // A terminal's Ctrl-C or Ctrl-\ is for the show, not for the guard; and a
  // signal meant for the show (`pkill -f`) must not take the guard first. The
  // guard ends anyway as soon as the show is gone.
  setpgid(0, 0);
  for (int s : {SIGINT, SIGQUIT, SIGHUP, SIGTERM, SIGPIPE, SIGTSTP}) std::signal(s, SIG_IGN);
  // Holds nothing of the show's open: a reader of the show's output sees its
  // end when the show ends.
  if (channel != 3) dup2(channel, 3);
  channel = 3;
  const int null = open("/dev/null", O_RDWR);
  for (int fd = 0; fd <= 2 && null >= 0; ++fd) dup2(null, fd);
  close_range(4, ~0u, 0);
  XSetErrorHandler(ignoreXError);
  XSetIOErrorHandler(endOnXIoError);

  Display* display = nullptr;
  ScreenSnapshot desktop, set;
  for (;;) {
    uint32_t header[2];
    if (!readAll(channel, header, sizeof header) || header[1] > kMaxMessageWords) break;
    std::vector<uint32_t> words(header[1]);
    if (!readAll(channel, words.data(), words.size() * sizeof(uint32_t))) break;
    if (header[0] == kEndingMessage) break;
    if (header[0] == kDesktopMessage && decode(words, desktop)) {
      set = ScreenSnapshot{};
      if (!display) display = XOpenDisplay(nullptr);
    } else if (header[0] == kSetMessage) {
      decode(words, set);
    } else if (header[0] == kGivenMessage) {
      desktop = set = ScreenSnapshot{};
      if (display) XCloseDisplay(display);
      display = nullptr;
    }
  }
  if (display) giveBack(display, desktop, set);
  _exit(0);
}

// ---- The show's side --------------------------------------------------------

// The desktop's mode as it was before the switch, the mode the show set, the
// screen as last found, and the connection they are restored over. Guarded by
// snapshotLock; the watcher and the main thread both reach it.
std::mutex snapshotLock;
Display* ownConnection = nullptr;
ScreenSnapshot desktopMode, setMode, foundMode;

// Read by the signal handlers, hence lock-free atomics.
std::atomic<bool> modeHeld{false};
std::atomic<bool> inModalBox{false};
std::atomic<int> pendingSignal{0};
int wakePipe[2] = {-1, -1};
int guardChannel = -1;  // the show's end of the guard process's socket
pid_t showPid = 0;
bool installed = false;

void tellGuard(const std::vector<uint32_t>& message) {
  if (guardChannel >= 0) send(guardChannel, message.data(), message.size() * sizeof(uint32_t), MSG_NOSIGNAL);
}

// Signal handlers: async-signal-safe calls only.
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

void onCrashSignal(int signalNumber) {
  const uint32_t ending[2] = {kEndingMessage, 0};
  if (guardChannel >= 0) send(guardChannel, ending, sizeof ending, MSG_NOSIGNAL);
  std::signal(signalNumber, SIG_DFL);
  raise(signalNumber);  // taken as the handler returns
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

// Whether the process runs one thread only: a child forked then may do
// anything, not only what is safe between fork and exec.
bool singleThreaded() {
  DIR* tasks = opendir("/proc/self/task");
  if (!tasks) return false;
  int count = 0;
  while (const dirent* entry = readdir(tasks))
    if (entry->d_name[0] != '.') ++count;
  closedir(tasks);
  return count == 1;
}

void startGuardProcess() {
  if (!singleThreaded()) return;
  int channel[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, channel) != 0) return;
  const pid_t pid = fork();
  if (pid == 0) {
    close(channel[0]);
    runGuardProcess(channel[1]);
  }
  close(channel[1]);
  if (pid < 0) {
    close(channel[0]);
    return;
  }
  guardChannel = channel[0];
  fcntl(guardChannel, F_SETFL, O_NONBLOCK);  // a stuck guard never holds the show up
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

void closeOwnConnection() {
  if (ownConnection) XCloseDisplay(ownConnection);
  ownConnection = nullptr;
}

}  // namespace

void desktopGuardInstall() {
  if (installed) return;
  installed = true;
  showPid = getpid();
  // Only an X display has modes to give back from another process.
  const char* display = std::getenv("DISPLAY");
  if (display && *display) startGuardProcess();
  pthread_atfork(nullptr, nullptr, childDiesWithParent);
  if (pipe2(wakePipe, O_CLOEXEC) != 0) return;
  std::thread(watch).detach();
  for (int signalNumber : kTerminationSignals) catchSignal(signalNumber, onTerminationSignal);
  for (int signalNumber : kCrashSignals) catchSignal(signalNumber, onCrashSignal);
}

void desktopGuardModeTaken() {
  {
    std::lock_guard<std::mutex> hold(snapshotLock);
    closeOwnConnection();
    desktopMode = setMode = ScreenSnapshot{};
    // Only an X display has modes to give back from here; elsewhere the main
    // thread's own restore is all there is.
    const char* display = std::getenv("DISPLAY");
    if (display && *display) ownConnection = XOpenDisplay(display);
    if (ownConnection) {
      desktopMode = readScreen(ownConnection);
      tellGuard(encode(kDesktopMessage, desktopMode));
    }
  }
  modeHeld = true;
}

void desktopGuardModeSet() {
  std::lock_guard<std::mutex> hold(snapshotLock);
  if (!ownConnection) return;
  setMode = readScreen(ownConnection);
  tellGuard(encode(kSetMessage, setMode));
}

void desktopGuardModeGiven() {
  modeHeld = false;
  std::lock_guard<std::mutex> hold(snapshotLock);
  closeOwnConnection();
  tellGuard({kGivenMessage, 0});
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
  if (!modeHeld.exchange(false)) return false;
  std::lock_guard<std::mutex> hold(snapshotLock);
  if (!ownConnection) return false;
  giveBack(ownConnection, desktopMode, setMode);
  closeOwnConnection();
  tellGuard({kGivenMessage, 0});
  return true;
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
