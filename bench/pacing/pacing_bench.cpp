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
//
// This file stands in, at link time, for two of SDL's routines that the SDL
// platform calls: the message box, which here presses the button that Return
// would (Yes to the question), and the buffer swap, which here times each
// frame around the library's own swap.
#include "platform.h"
#include "timeline.h"

#include <SDL.h>
#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

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

extern "C" int SDL_ShowMessageBox(const SDL_MessageBoxData* box, int* buttonId) {
  std::fprintf(stderr, "%s: %s\n", box->title, box->message);
  *buttonId = -1;
  for (int i = 0; i < box->numbuttons; ++i)
    if (box->buttons[i].flags & SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT) *buttonId = box->buttons[i].buttonid;
  return 0;
}

extern "C" void SDL_GL_SwapWindow(SDL_Window* window) {
  using Swap = void (*)(SDL_Window*);
  static const Swap librarySwap = reinterpret_cast<Swap>(dlsym(RTLD_NEXT, "SDL_GL_SwapWindow"));
  const uint32_t scene = sceneState;  // the scene of the frame just drawn, before the swap
  librarySwap(window);
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
}
