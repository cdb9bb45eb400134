// Figures for the sound library: offline render speed as a multiple of real
// time, and the CPU share of real-time playback on the null output (or the
// device, with "cpu-device").
//
//   sound_bench [render | cpu SECONDS | cpu-device SECONDS] [MODULE]
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "sound.h"
#include "sound_hooks.h"

namespace {

std::atomic<int> hits{0};
void countHit(FMUSIC_MODULE*, unsigned char) { hits.fetch_add(1); }

double seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

double cpuSeconds() {
  rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

int benchRender(const char* path) {
  soundSelectOutput(kSoundOutputOffline);
  FSOUND_Init(44100, 64, 2);
  double best = 1e9;
  int64_t frames = 0;
  std::vector<int16_t> pcm(1024 * 2);
  for (int run = 0; run < 3; ++run) {
    FMUSIC_MODULE* mod = FMUSIC_LoadSong(path);
    if (mod == nullptr) {
      std::fprintf(stderr, "sound_bench: cannot load %s\n", path);
      return 1;
    }
    FMUSIC_PlaySong(mod);
    FMUSIC_SetInstCallback(mod, countHit, 1);
    hits = 0;
    frames = 0;
    const auto start = std::chrono::steady_clock::now();
    // The module plays about a minute; render 62 s of it, as capture would.
    while (frames < 44100 * 62) {
      frames += static_cast<int64_t>(soundRenderOffline(mod, pcm.data(), 1024));
    }
    best = std::min(best, seconds(std::chrono::steady_clock::now() - start));
  }
  const double audio = static_cast<double>(frames) / 44100.0;
  std::printf(
      "offline render: %.1f s of audio in %.3f s (best of 3): %.0fx real time; %d hits of instrument 1\n",
      audio, best, audio / best, hits.load());
  return 0;
}

int benchRealTime(const char* path, double wall, SoundOutputKind kind) {
  soundSelectOutput(kind);
  FSOUND_Init(44100, 64, 2);
  const char* name = soundActiveOutput() == kSoundActiveDevice ? "device" : "null";
  FMUSIC_MODULE* mod = FMUSIC_LoadSong(path);
  if (mod == nullptr) {
    std::fprintf(stderr, "sound_bench: cannot load %s\n", path);
    return 1;
  }
  const double cpuStart = cpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  FMUSIC_PlaySong(mod);
  FMUSIC_SetInstCallback(mod, countHit, 1);
  // Read the time as the show does, about 60 times a second.
  int reads = 0;
  while (seconds(std::chrono::steady_clock::now() - start) < wall) {
    FMUSIC_GetTime(mod);
    ++reads;
    std::this_thread::sleep_for(std::chrono::milliseconds(16));
  }
  const double elapsed = seconds(std::chrono::steady_clock::now() - start);
  const double cpu = cpuSeconds() - cpuStart;
  // What one time query costs the main thread (the show makes three a frame).
  const auto queryStart = std::chrono::steady_clock::now();
  constexpr int kQueries = 200000;
  for (int i = 0; i < kQueries; ++i) FMUSIC_GetTime(mod);
  const double perQuery = seconds(std::chrono::steady_clock::now() - queryStart) / kQueries;
  std::printf(
      "real-time playback (%s output): %.2f s wall, %.3f s CPU = %.2f %% of one core; "
      "time read %d ms, %d hits of instrument 1, %d reads; one time query %.0f ns\n",
      name, elapsed, cpu, 100.0 * cpu / elapsed, FMUSIC_GetTime(mod), hits.load(), reads, perQuery * 1e9);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "render";
  const bool realTime = mode == "cpu" || mode == "cpu-device";
  const double wall = realTime && argc > 2 ? std::atof(argv[2]) : 10.0;
  const int pathArg = realTime ? 3 : 2;
  const char* path = argc > pathArg ? argv[pathArg] : QUENDALOOP_DEFAULT_MODULE;
  if (mode == "render") return benchRender(path);
  if (mode == "cpu") return benchRealTime(path, wall, kSoundOutputNull);
  if (mode == "cpu-device") return benchRealTime(path, wall, kSoundOutputAuto);
  std::fprintf(stderr, "usage: sound_bench [render | cpu SECONDS | cpu-device SECONDS] [MODULE]\n");
  return 2;
}
