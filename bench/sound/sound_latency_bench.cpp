// How far FMUSIC_GetTime and the instrument callbacks are from what is
// actually heard on a PulseAudio output. Plays a module of short clicks, one
// every 500 ms, through the SDL device while recording the sink's monitor;
// compares the wall time at which each click is captured with the wall time
// at which the time query reaches the click and its callback comes.
//
//   sound_latency_bench [SECONDS]        (needs a PulseAudio server; a null
//                                          sink serves as the default sink)
// A PulseAudio server with a null sink, started as root for this purpose:
//   apt-get install pulseaudio
//   pulseaudio --daemonize --exit-idle-time=-1 -n
//     --load="module-null-sink sink_name=bench rate=44100" --load=module-native-protocol-unix
//   (one command line)
// (end it afterwards with kill and its process id).
// Set QUENDALOOP_SOUND_LATENCY_MS=0 to see the error without compensation,
// QUENDALOOP_BENCH_SETTLE_MS=0 to start the module as the device opens, and
// QUENDALOOP_BENCH_VERBOSE=1 for every click.
#include <pulse/error.h>
#include <pulse/simple.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include "sound.h"
#include "sound_hooks.h"
#include "xm_writer.h"

namespace {

constexpr int kRate = 44100;
constexpr int kClickMs = 500;

double wallMs() {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::mutex lock;
std::vector<double> callbackAt;  // wall ms of each callback
std::vector<double> clickAt;     // wall ms at which each click was captured
std::atomic<bool> recording{true};

void onClick(FMUSIC_MODULE*, unsigned char) {
  const double now = wallMs();
  std::lock_guard<std::mutex> guard(lock);
  callbackAt.push_back(now);
}

// One click per 500 ms row: speed 25 at 125 BPM, 20 ms ticks.
XmModule clickModule(int clicks) {
  XmModule module;
  module.name = "clicks";
  module.channels = 1;
  module.speed = 25;
  module.bpm = 125;
  XmPattern pattern;
  pattern.rows = static_cast<uint16_t>(clicks);
  for (int r = 0; r < clicks; ++r) pattern.cells.push_back(XmCell{49, 1, 0, 0, 0});
  module.patterns.push_back(pattern);
  module.order.push_back(0);
  XmInstrument click;
  click.name = "click";
  XmSample sample;
  sample.name = "click";
  for (int n = 0; n < 220; ++n) sample.data.push_back(n % 20 < 10 ? 30000 : -30000);
  click.samples.push_back(sample);
  module.instruments.push_back(click);
  return module;
}

// Records the default source (the sink's monitor) and finds the first loud
// sample of each click. The monitor delivers frames at the sink's pace and
// never early, so the wall time of recorded frame 0 is the lowest value of
// (wall time after a read - frames read so far / rate): no latency report
// of the recording stream is trusted.
void record() {
  pa_sample_spec spec{PA_SAMPLE_S16LE, static_cast<uint32_t>(kRate), 2};
  pa_buffer_attr attr{static_cast<uint32_t>(-1), 0, 0, 0, 256 * 4};
  int error = 0;
  pa_simple* in = pa_simple_new(nullptr, "quendaloop latency bench", PA_STREAM_RECORD, nullptr, "monitor",
                                &spec, nullptr, &attr, &error);
  if (in == nullptr) {
    std::fprintf(stderr, "sound_latency_bench: no PulseAudio recording: %s\n", pa_strerror(error));
    std::exit(1);
  }
  int16_t chunk[256 * 2];
  int64_t frames = 0;
  int64_t quietSince = -kRate;
  double origin = 1e300;
  std::vector<int64_t> clickFrames;
  while (recording.load()) {
    if (pa_simple_read(in, chunk, sizeof chunk, &error) < 0) break;
    for (int i = 0; i < 256; ++i, ++frames) {
      if (std::abs(chunk[i * 2]) > 2000) {
        if (frames - quietSince > kRate / 5) clickFrames.push_back(frames);
        quietSince = frames;
      }
    }
    origin = std::min(origin, wallMs() - static_cast<double>(frames) * 1000.0 / kRate);
  }
  pa_simple_free(in);
  std::lock_guard<std::mutex> guard(lock);
  for (int64_t f : clickFrames) clickAt.push_back(origin + static_cast<double>(f) * 1000.0 / kRate);
}

struct Stats {
  double mean = 0, worst = 0;
  int count = 0;
};

// From click `first` on: the time query is at 0 from the start, so it says
// nothing about the first click.
Stats compare(const std::vector<double>& measured, const std::vector<double>& heard, size_t first) {
  Stats s;
  for (size_t i = first; i < measured.size() && i < heard.size(); ++i) {
    const double error = measured[i] - heard[i];
    s.mean += error;
    s.worst = std::abs(error) > std::abs(s.worst) ? error : s.worst;
    ++s.count;
  }
  if (s.count > 0) s.mean /= s.count;
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
  const int clicks = seconds * 1000 / kClickMs;
  const char* path = "/tmp/quendaloop-latency-clicks.xm";
  if (!xmWriteFile(clickModule(clicks), path)) return 1;

  soundSelectOutput(kSoundOutputAuto);
  FSOUND_Init(44100, 64, 2);
  if (soundActiveOutput() != kSoundActiveDevice) {
    std::fprintf(stderr, "sound_latency_bench: no sound device\n");
    return 1;
  }
  std::thread recorder(record);
  // Let both streams settle first, unless the start itself is to be measured.
  const char* settle = std::getenv("QUENDALOOP_BENCH_SETTLE_MS");
  std::this_thread::sleep_for(std::chrono::milliseconds(settle != nullptr ? std::atoi(settle) : 2000));
  FMUSIC_MODULE* mod = FMUSIC_LoadSong(path);
  FMUSIC_PlaySong(mod);
  FMUSIC_SetInstCallback(mod, onClick, 1);

  // Poll the time and note when it reaches each click.
  std::vector<double> timeAt;
  while (static_cast<int>(timeAt.size()) < clicks) {
    const int ms = FMUSIC_GetTime(mod);
    while (static_cast<int>(timeAt.size()) < clicks && ms >= static_cast<int>(timeAt.size()) * kClickMs) {
      timeAt.push_back(wallMs());
    }
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  recording = false;
  recorder.join();

  std::lock_guard<std::mutex> guard(lock);
  const char* compensation = std::getenv("QUENDALOOP_SOUND_LATENCY_MS");
  std::printf("clicks: %d played, %zu captured, %zu callbacks; assumed device latency %s\n", clicks,
              clickAt.size(), callbackAt.size(),
              compensation != nullptr ? compensation : "the library's default");
  if (std::getenv("QUENDALOOP_BENCH_VERBOSE") != nullptr) {
    for (size_t i = 0; i < clickAt.size() && i < timeAt.size() && i < callbackAt.size(); ++i) {
      std::printf("click %2zu: time %+6.1f ms, callback %+6.1f ms\n", i, timeAt[i] - clickAt[i],
                  callbackAt[i] - clickAt[i]);
    }
  }
  const Stats time = compare(timeAt, clickAt, 1);
  const Stats calls = compare(callbackAt, clickAt, 0);
  std::printf(
      "time query reaches the click after it is heard by: mean %+.1f ms, worst %+.1f ms (%d clicks)\n",
      time.mean, time.worst, time.count);
  std::printf(
      "callback comes after the click is heard by:        mean %+.1f ms, worst %+.1f ms (%d clicks)\n",
      calls.mean, calls.worst, calls.count);
  return 0;
}
