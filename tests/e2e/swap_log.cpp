// Records when the show hands a frame over, from outside its own pacing:
// preloaded into the show (LD_PRELOAD), this stands in for SDL_GL_SwapWindow,
// appends the CLOCK_MONOTONIC time of each call, in nanoseconds, one line
// each, to the file that QUENDALOOP_SWAP_LOG names, and calls SDL's own.
// Each line is one write to a file opened for appending, so a reader sees
// whole lines while the show runs.
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

struct SDL_Window;

extern "C" void SDL_GL_SwapWindow(SDL_Window* window) {
  using Swap = void (*)(SDL_Window*);
  static const Swap sdlSwap = reinterpret_cast<Swap>(dlsym(RTLD_NEXT, "SDL_GL_SwapWindow"));
  static const int log = [] {
    const char* name = std::getenv("QUENDALOOP_SWAP_LOG");
    return name ? open(name, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644) : -1;
  }();
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  char line[32];
  const int length =
      std::snprintf(line, sizeof line, "%lld\n", (long long)now.tv_sec * 1000000000 + now.tv_nsec);
  if (log >= 0) {
    const ssize_t written = write(log, line, length);  // a short write loses this line only
    static_cast<void>(written);
  }
  if (sdlSwap) sdlSwap(window);
}
