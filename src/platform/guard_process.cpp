#include "guard_process.h"

#include "desktop_record.h"
#include "guard_wire.h"

#include <X11/Xlib.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const char kGuardName[] = "mode-guard";

int guardChannel = -1;  // the show's end of the guard process's socket
pid_t guardPid = 0;
pid_t showPid = 0;

int ignoreXError(Display*, XErrorEvent*) { return 0; }
int endOnXIoError(Display*) { _exit(1); }

// Overwrites the process's arguments, which /proc/PID/cmdline shows and
// `pkill -f` matches, with `name`. Their bounds in memory are fields 48 and
// 49 of /proc/self/stat (the fields after the name start at field 3).
void renameCommandLine(const char* name) {
  const int stat = open("/proc/self/stat", O_RDONLY | O_CLOEXEC);
  if (stat < 0) return;
  char text[4096];
  const ssize_t got = read(stat, text, sizeof text - 1);
  close(stat);
  if (got <= 0) return;
  text[got] = '\0';
  char* at = std::strrchr(text, ')');
  if (!at) return;
  unsigned long long argStart = 0, argEnd = 0;
  char* rest = nullptr;
  int field = 3;
  for (char* word = strtok_r(at + 1, " ", &rest); word && field <= 49; word = strtok_r(nullptr, " ", &rest)) {
    if (field == 48) argStart = std::strtoull(word, nullptr, 10);
    if (field == 49) argEnd = std::strtoull(word, nullptr, 10);
    ++field;
  }
  if (argEnd <= argStart) return;
  // Zeros to the end, the last byte included: the kernel then shows the
  // area as it is, up to its end.
  char* area = reinterpret_cast<char*>(argStart);
  const size_t size = size_t(argEnd - argStart);
  std::memset(area, 0, size);
  std::memcpy(area, name, std::min(size - 1, std::strlen(name)));
}

// The guard process: holds what the show says and, when the show goes away
// without having given the mode back, gives it back.
[[noreturn]] void runGuardProcess(int channel) {
  prctl(PR_SET_NAME, kGuardName);
  renameCommandLine(kGuardName);
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
  uint32_t kind = 0;
  std::vector<uint32_t> body;
  while (receiveMessage(channel, kind, body)) {
    if (kind == kEndingMessage) break;
    if (kind == kDesktopMessage && decodeSnapshot(body, desktop)) {
      set = ScreenSnapshot{};
      if (!display) display = XOpenDisplay(nullptr);
    } else if (kind == kSetMessage) {
      decodeSnapshot(body, set);
    } else if (kind == kGivenMessage) {
      desktop = set = ScreenSnapshot{};
      if (display) XCloseDisplay(display);
      display = nullptr;
    }
  }
  if (display) {
    giveBack(display, desktop, set);
    settleDesktopRecord(display);
  }
  _exit(0);
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

// A forked child dies with the show.
void childDiesWithParent() {
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != showPid) _exit(1);  // the show died before the rule took hold
}

}  // namespace

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
  guardPid = pid;
  fcntl(guardChannel, F_SETFL, O_NONBLOCK);  // a stuck guard never holds the show up
}

int guardChannelFd() { return guardChannel; }

void reportGuardGone() {
  std::fprintf(stderr,
               "Warning: the mode guard (process %d) has ended; should the show now be killed, nothing "
               "gives the desktop its display mode back.\n",
               int(guardPid));
}

void tellGuard(const std::vector<uint32_t>& message) {
  if (guardChannel >= 0) sendMessage(guardChannel, message.data(), message.size());
}

void tellGuardShowEnding() {
  const uint32_t ending[2] = {kEndingMessage, 0};
  if (guardChannel >= 0) sendMessage(guardChannel, ending, 2);
}

void childrenDieWithShow() {
  showPid = getpid();
  pthread_atfork(nullptr, nullptr, childDiesWithParent);
}
