// Frames per second of each scene of the show at a given size (640 x 480 by
// default), drawn offscreen with the real renderer, pictures and music start
// (the sound library's offline output, so the music time stands at 0 and
// every scene can be held), with a glFinish after every frame; the CPU time
// per frame of all the process' threads; and the GL
// calls per frame: those the show makes and, where the backend can count
// them (the gl11es layer), those that reach the driver.
//
//   quendaloop-frame-bench [frames-per-scene [width height [scene]]]
//
// With a scene number (0 to 7) only that scene is drawn, e.g. for a profile.
//
// Run it with LIBGL_ALWAYS_SOFTWARE=1 to measure llvmpipe. It changes into
// the directory holding Data/ and pelvorgrind.xm before it starts.
// compare_backends.sh runs the builds of both backends side by side.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "driver_calls.h"
#include "freed_memory.h"
#include "offscreen_gl.h"
#include "render_state.h"
#include "resize_scene.h"
#include "sound.h"
#include "sound_hooks.h"
#include "timeline.h"

namespace {

struct Scene {
  uint32_t state;
  const char* what;
};
const Scene scenes[] = {
    {0, "logo and 16 lit cubes"},  {1, "backdrop and torus tube"}, {6, "credits backdrop"},
    {2, "wave grid, white"},       {3, "wave grid, slow red"},     {4, "wave grid, filled"},
    {5, "flash quad and 3 cubes"}, {7, "cleared frame"},
};

// A whole number from the command line, or `fallback` when absent; 0 is
// accepted only where the fallback is 0.
int number(const char* text, int fallback) {
  if (!text) return fallback;
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (*end != '\0' || v < 0 || v > 100000 || (v == 0 && fallback != 0)) {
    std::fprintf(stderr, "quendaloop-frame-bench: not a valid number: %s\n", text);
    std::exit(2);
  }
  return int(v);
}

// CPU time of every thread of the process (llvmpipe's included): less
// moved than the wall clock by other work on the machine.
double processCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

}  // namespace

int main(int argc, char** argv) {
  keepFreedMemory();  // as the show does
  if (argc > 1 && (argv[1][0] < '0' || argv[1][0] > '9')) {
    std::fprintf(stderr, "usage: quendaloop-frame-bench [frames-per-scene [width height [scene]]]\n");
    return 2;
  }
  const int frames = number(argc > 1 ? argv[1] : nullptr, 300);
  const int width = number(argc > 3 ? argv[2] : nullptr, 640);
  const int height = number(argc > 3 ? argv[3] : nullptr, 480);
  const int only = argc > 4 ? number(argv[4], 0) : -1;
  if (chdir(QUENDALOOP_DATA_DIR) != 0) {
    std::perror(QUENDALOOP_DATA_DIR);
    return 1;
  }
  if (!offscreenGlOpen(width, height)) return 1;
  resizeScene(width, height);
  soundSelectOutput(kSoundOutputOffline);
  if (!initRenderState()) {
    std::fprintf(stderr, "quendaloop-frame-bench: the pictures could not be loaded\n");
    return 1;
  }
  std::printf("backend: %s, renderer: %s\n", backendName(), offscreenGlRenderer());
  std::printf("%d x %d, %d frames per scene, glFinish after each frame\n", width, height, frames);
  std::printf("%-6s %-26s %10s %10s %10s %12s %12s\n", "scene", "", "frames/s", "ms/frame", "cpu ms/f",
              "GL calls/f", "driver/f");
  for (const Scene& s : scenes) {
    if (only >= 0 && uint32_t(only) != s.state) continue;
    for (int i = 0; i < 5; ++i) {  // settle the carried state (outline mode, fog)
      sceneState = s.state;
      renderFrame();
    }
    offscreenGlFinish();
    const DriverCalls before = driverCalls();
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = processCpuSeconds();
    for (int i = 0; i < frames; ++i) {
      sceneState = s.state;
      renderFrame();
      offscreenGlFinish();
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpuSeconds = processCpuSeconds() - cpuStart;
    const DriverCalls after = driverCalls();
    std::printf("%-6u %-26s %10.1f %10.3f %10.3f", s.state, s.what, frames / seconds, 1000 * seconds / frames,
                1000 * cpuSeconds / frames);
    if (after.counted)
      std::printf(" %12.1f %12.1f\n", double(after.show - before.show) / frames,
                  double(after.driver - before.driver) / frames);
    else
      std::printf(" %12s %12s\n", "-", "-");
  }
  offscreenGlClose();
  return 0;
}
