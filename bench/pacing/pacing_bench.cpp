// Plays the whole show on the display (fullscreen where the display has a
// 640x480 mode) and prints, per scene, the frames per second, the interval
// between swaps (mean and 99th percentile) and the CPU time per second of
// show. The start-up question is answered Yes; the run ends once the black
// scene has shown for two seconds.
//
//   QUENDALOOP_SOUND=null quendaloop-pacing-bench             (paced)
//   QUENDALOOP_PACING=off QUENDALOOP_SOUND=null quendaloop-pacing-bench
//
// Run it from the folder that holds Data/ and the module.
#include "platform.h"
#include "timeline.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

// The wrapped functions go by their C++ symbol names.
#define SWAP _Z19platformSwapBuffersP14PlatformDevice
#define BOX _Z18platformMessageBoxP14PlatformWindowPKcS2_ji
#define JOIN(a, b) a##b
#define WRAP(name) JOIN(__wrap_, name)
#define REAL(name) JOIN(__real_, name)

extern "C" bool REAL(SWAP)(PlatformDevice* device);
extern "C" int REAL(BOX)(PlatformWindow*, const char*, const char*, unsigned, int);

namespace {

double seconds(clockid_t clock) {
  timespec t{};
  clock_gettime(clock, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

struct Scene {
  std::vector<double> intervals;  // seconds between swaps
  double cpu = 0;                 // CPU seconds, all threads
};

Scene scenes[8];
double lastWall = -1, lastCpu = 0, blackSince = -1;
bool reported = false;

void report() {
  const char* order = "01623457";
  std::printf("%-6s %8s %9s %10s %10s %12s\n", "scene", "frames", "fps", "mean ms", "p99 ms", "cpu ms/s");
  for (const char* c = order; *c; ++c) {
    Scene& s = scenes[*c - '0'];
    if (s.intervals.empty()) continue;
    double total = 0;
    for (double i : s.intervals) total += i;
    std::vector<double> sorted = s.intervals;
    std::sort(sorted.begin(), sorted.end());
    const double p99 = sorted[std::min(sorted.size() - 1, size_t(double(sorted.size()) * 0.99))];
    std::printf("%-6c %8zu %9.2f %10.3f %10.3f %12.1f\n", *c, s.intervals.size(),
                double(s.intervals.size()) / total, 1e3 * total / double(s.intervals.size()), 1e3 * p99,
                1e3 * s.cpu / total);
  }
  std::fflush(stdout);
}

}  // namespace

extern "C" int WRAP(BOX)(PlatformWindow* owner, const char* text, const char* caption, unsigned style,
                         int fallbackAnswer) {
  if ((style & 0x0F) == MB_YESNO) return IDYES;
  return REAL(BOX)(owner, text, caption, style, fallbackAnswer);
}

extern "C" bool WRAP(SWAP)(PlatformDevice* device) {
  const uint32_t scene = sceneState;  // the scene of the frame just drawn, before the swap
  const bool swapped = REAL(SWAP)(device);
  const double wall = seconds(CLOCK_MONOTONIC), cpu = seconds(CLOCK_PROCESS_CPUTIME_ID);
  if (lastWall >= 0 && scene < 8) {
    scenes[scene].intervals.push_back(wall - lastWall);
    scenes[scene].cpu += cpu - lastCpu;
  }
  lastWall = wall;
  lastCpu = cpu;
  if (scene == 7 && blackSince < 0) blackSince = wall;
  if (blackSince >= 0 && wall - blackSince > 2 && !reported) {
    reported = true;
    report();
    platformPostQuitMessage(0);
  }
  return swapped;
}
