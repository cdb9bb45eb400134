// Capture throughput: runs quendaloop-capture on a stretch of the show at the
// sizes and outputs below and prints, for each, frames per second of wall
// time, the multiple of real time (seconds of show per second of wall time)
// and the CPU time the capture and its ffmpeg took per second of show.
//
//   capture_bench [SECONDS [BIG_SECONDS]]
//     SECONDS      show seconds captured at 640x480 (default 20, from 0)
//     BIG_SECONDS  show seconds captured at 1920x1440 (default 6)
//
// Run it on an otherwise idle machine; LIBGL_ALWAYS_SOFTWARE=1 pins llvmpipe.
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

extern char** environ;

namespace {

struct Case {
  const char* name;
  const char* size;
  const char* extra;  // output options
  bool big;           // uses BIG_SECONDS
};

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 20;
  const double bigSeconds = argc > 2 ? std::atof(argv[2]) : 6;
  if (seconds <= 0 || bigSeconds <= 0) {
    std::fprintf(stderr, "usage: capture_bench [SECONDS [BIG_SECONDS]]\n");
    return 1;
  }
  setenv("LIBGL_ALWAYS_SOFTWARE", "1", 0);
  char dirTemplate[] = "/tmp/capture-bench-XXXXXX";
  const char* dir = mkdtemp(dirTemplate);
  if (!dir) {
    std::perror("capture_bench: mkdtemp");
    return 1;
  }
  const std::string out = std::string(dir) + "/out";
  const std::vector<Case> cases = {
      {"MP4, x264 superfast (default)", "640x480", "--output OUT.mp4", false},
      {"MP4, x264 veryfast", "640x480", "--output OUT.mp4 --preset veryfast", false},
      {"MP4, x264 ultrafast", "640x480", "--output OUT.mp4 --preset ultrafast", false},
      {"drawn and read back, no encoding", "640x480", "--contact-sheet OUT.png", false},
      {"MP4, x264 superfast (default)", "1920x1440", "--output OUT.mp4", true},
      {"MP4, x264 ultrafast", "1920x1440", "--output OUT.mp4 --preset ultrafast", true},
      {"drawn and read back, no encoding", "1920x1440", "--contact-sheet OUT.png", true},
  };
  std::printf("capture throughput, 60 fps, music from 0 s (%g s at 640x480, %g s at 1920x1440)\n", seconds,
              bigSeconds);
  std::printf("%-10s %-34s %7s %8s %8s %10s %12s %8s\n", "size", "output", "frames", "wall s", "fps",
              "x realtime", "CPU s/show s", "MP4 MB");
  for (const Case& c : cases) {
    const double span = c.big ? bigSeconds : seconds;
    std::string extra = c.extra;
    extra.replace(extra.find("OUT"), 3, out);
    const std::string command = std::string("'") + CAPTURE_PROGRAM + "' --data '" + SHOW_DATA_DIR +
                                "' -q --size " + c.size + " --to " + std::to_string(span) + " " + extra;
    const char* args[] = {"/bin/sh", "-c", command.c_str(), nullptr};
    const auto start = std::chrono::steady_clock::now();
    pid_t child = 0;
    if (posix_spawn(&child, "/bin/sh", nullptr, nullptr, const_cast<char**>(args), environ) != 0) {
      std::perror("capture_bench: posix_spawn");
      return 1;
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);  // the shell's usage includes the capture and its ffmpeg
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      std::fprintf(stderr, "capture_bench: the capture failed: %s\n", command.c_str());
      return 1;
    }
    const double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                       static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    const double frames = span * 60;
    struct stat info;
    const bool mp4 = stat((out + ".mp4").c_str(), &info) == 0;
    std::printf("%-10s %-34s %7.0f %8.2f %8.1f %10.2f %12.2f %8s\n", c.size, c.name, frames, wall,
                frames / wall, span / wall, cpu / span,
                mp4 ? std::to_string(static_cast<double>(info.st_size) / 1e6).substr(0, 5).c_str() : "-");
    std::remove((out + ".mp4").c_str());
    std::fflush(stdout);
  }
  std::system((std::string("rm -rf '") + dir + "'").c_str());
  return 0;
}
