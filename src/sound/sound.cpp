// The sound library's operations: the module registry, the stream of the
// playing module (the rest of its last tick and its triggers not yet heard),
// the pass that feeds the real-time outputs, heard time and the instrument
// callbacks. The outputs are behind sound_device.h; the thread that runs
// libxmp for the real-time outputs is the mixer host's (sound_mixer.h).
#include "sound.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "sound_device.h"
#include "sound_hooks.h"
#include "sound_mixer.h"
#include "xm_player.h"

struct FMUSIC_MODULE {
  // The module's libxmp player. Touched only by the thread that runs libxmp:
  // the mixer thread, or the caller's thread with the offline output.
  XmPlayer* player = nullptr;
  int instruments = 0;  // fixed at load
  // Callback per instrument number (index 0 unused). Guarded by stateLock.
  std::vector<FMUSIC_CALLBACK> callbacks;
  // Output frame at which the module's first frame is heard; -1 while it
  // does not play. Written by the libxmp thread, read by FMUSIC_GetTime.
  std::atomic<int64_t> startFrame{-1};
  // The highest time reported, in ms; keeps the time monotonic and holds it
  // once the module has been stopped.
  std::atomic<int> timeMs{0};
};

namespace {

constexpr auto kLongestWait = std::chrono::milliseconds(20);

// Configuration and registry, guarded by stateLock.
std::mutex stateLock;
std::vector<FMUSIC_MODULE*> modules;  // live modules of the current initialisation
SoundOutputKind selectedKind = kSoundOutputAuto;
std::atomic<SoundClock> injectedClock{nullptr};

// The open output. Set by FSOUND_Init and cleared by shutDown on the
// controlling thread while no mixer host runs; read from any thread.
std::atomic<SoundActiveOutput> output{kSoundActiveNone};
std::atomic<SoundDevice*> device{nullptr};
OfflineSoundDevice* offline = nullptr;  // the offline renderer when open; controlling thread

thread_local int callbackDepth = 0;  // > 0 while this thread runs an instrument callback

// The null output's clock: the injected one, or the steady clock.
int64_t nowNs() {
  if (SoundClock clock = injectedClock.load()) return clock();
  return soundSteadyNs();
}

int framesToMs(int64_t frames) {
  if (frames <= 0) return 0;
  const int64_t ms = frames / kSoundRate * 1000 + frames % kSoundRate * 1000 / kSoundRate;
  return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

// The output frame the listener hears now.
int64_t heardFrames() {
  SoundDevice* out = device.load();
  return out != nullptr ? out->heard() : 0;
}

bool isLive(const FMUSIC_MODULE* mod) {
  return mod != nullptr && std::find(modules.begin(), modules.end(), mod) != modules.end();
}

// Raises a module's reported time to `ms` unless it is already higher;
// returns the time to report.
int raiseTime(FMUSIC_MODULE* mod, int ms) {
  int high = mod->timeMs.load();
  while (ms > high && !mod->timeMs.compare_exchange_weak(high, ms)) {
  }
  return std::max(ms, high);
}

void fireCallback(FMUSIC_MODULE* mod, int instrument) {
  FMUSIC_CALLBACK callback = nullptr;
  {
    std::lock_guard<std::mutex> lock(stateLock);
    if (instrument > 0 && static_cast<size_t>(instrument) < mod->callbacks.size()) {
      callback = mod->callbacks[static_cast<size_t>(instrument)];
    }
  }
  if (callback == nullptr) return;
  ++callbackDepth;
  callback(mod, static_cast<unsigned char>(instrument));
  --callbackDepth;
}

// Stops `mod`, freezing its time at what has been heard of it.
void stopModule(FMUSIC_MODULE* mod, int64_t heard) {
  const int64_t start = mod->startFrame.load();
  if (start >= 0) raiseTime(mod, framesToMs(heard - start));
  mod->startFrame.store(-1);
}

// A trigger placed on the output's timeline.
struct DueTrigger {
  int64_t frame;
  FMUSIC_MODULE* mod;
  int instrument;
};

// The playing module as the outputs take it: ticks rendered through libxmp,
// the part of the last tick not yet handed out, and the triggers rendered
// but not yet heard. One stream serves every output; it belongs to the
// thread that owns libxmp (the mixer thread, or offline the controlling
// thread).
class Stream final : public SoundSource {
 public:
  FMUSIC_MODULE* module() const { return mod_; }

  // Plays `mod`, whose first frame is heard at output frame `start`.
  void play(FMUSIC_MODULE* mod, int64_t start) {
    mod_ = mod;
    start_ = start;
  }

  // Plays nothing, and forgets what was rendered and not yet heard.
  void stop() {
    mod_ = nullptr;
    carry_.clear();
    carryAt_ = 0;
    due_.clear();
  }

  size_t read(int16_t* pcm, size_t frames) override {
    if (carryAt_ * 2 >= carry_.size()) {
      const int16_t* tick = nullptr;
      const size_t got = renderTick(&tick);
      if (got == 0) {
        if (pcm != nullptr) std::memset(pcm, 0, frames * 4);
        return frames;
      }
      carry_.assign(tick, tick + got * 2);
      carryAt_ = 0;
    }
    const size_t n = std::min(frames, carry_.size() / 2 - carryAt_);
    if (pcm != nullptr) std::memcpy(pcm, carry_.data() + carryAt_ * 2, n * 4);
    carryAt_ += n;
    return n;
  }

  size_t skip() override {
    const size_t carried = carry_.size() / 2 - carryAt_;
    if (carried > 0) {
      carryAt_ += carried;
      return carried;
    }
    const int16_t* tick = nullptr;
    return renderTick(&tick);
  }

  // Calls, in order, the callbacks of the triggers heard before output frame
  // `heard`.
  void fireHeard(int64_t heard) {
    while (!due_.empty() && due_.front().frame < heard) {
      const DueTrigger t = due_.front();
      due_.pop_front();
      fireCallback(t.mod, t.instrument);
    }
  }

  // The output frame after which the next trigger is heard; INT64_MAX when
  // none is waiting.
  int64_t nextHeard() const { return due_.empty() ? INT64_MAX : due_.front().frame + 1; }

 private:
  // Renders the next tick of the module; returns its frame count (0 after
  // the end, or when nothing plays) and queues its triggers.
  size_t renderTick(const int16_t** pcm) {
    if (mod_ == nullptr) return 0;
    found_.clear();
    const size_t frames = xmPlayerRenderTick(mod_->player, pcm, found_);
    for (const XmTrigger& t : found_) due_.push_back(DueTrigger{start_ + t.frame, mod_, t.instrument});
    return frames;
  }

  FMUSIC_MODULE* mod_ = nullptr;
  int64_t start_ = 0;
  std::vector<int16_t> carry_;  // the last rendered tick
  size_t carryAt_ = 0;          // frames of carry_ already handed out
  std::deque<DueTrigger> due_;  // in output frame order
  std::vector<XmTrigger> found_;
};

Stream stream;

// Starts `mod` from its beginning on `out`, stopping the module that
// played. On the thread that owns libxmp.
bool startPlaying(SoundDevice& out, FMUSIC_MODULE* mod) {
  const int64_t heard = out.heard();
  if (stream.module() != nullptr) stopModule(stream.module(), heard);
  stream.stop();
  const bool ok = xmPlayerStart(mod->player);
  const int64_t start = out.start(heard);
  mod->timeMs.store(0);
  mod->startFrame.store(start);
  stream.play(mod, start);
  return ok;
}

}  // namespace

std::chrono::nanoseconds soundMixerPass(RealTimeSoundDevice& out) {
  const int64_t heard = out.heard();
  out.fill(stream, heard);
  stream.fireHeard(heard);

  // Wait until the next trigger is due or the output needs more. An injected
  // clock moves in jumps, so it is polled often.
  if (injectedClock.load() != nullptr) return std::chrono::milliseconds(1);
  std::chrono::nanoseconds wait = kLongestWait;
  const int64_t nextFrame = std::min(stream.nextHeard(), out.refillAt());
  if (nextFrame != INT64_MAX) {
    const int64_t ahead = std::max<int64_t>(nextFrame - out.heard(), 0);
    wait = std::min(wait, std::chrono::nanoseconds(ahead * 1000000000 / kSoundRate + 100000));
  }
  return wait;
}

namespace {

// Stops the outputs and frees every module of the current initialisation.
void shutDown() {
  if (output.load() == kSoundActiveDevice || output.load() == kSoundActiveNull) {
    mixerRun([] {
      stream.stop();  // no later pass touches a freed player
      std::lock_guard<std::mutex> lock(stateLock);
      for (FMUSIC_MODULE* mod : modules) {
        xmPlayerFree(mod->player);
        mod->player = nullptr;
      }
    });
    mixerStop();
  }
  stream.stop();
  if (SoundDevice* out = device.load()) out->close();
  std::lock_guard<std::mutex> lock(stateLock);
  for (FMUSIC_MODULE* mod : modules) {
    xmPlayerFree(mod->player);  // offline: still held here; otherwise freed by the mixer
    delete mod;
  }
  modules.clear();
  device.store(nullptr);
  offline = nullptr;
  output.store(kSoundActiveNone);
}

// True on the threads that must not re-initialise, load or start: the
// mixer thread, and any thread inside a callback, whose caller would
// otherwise find its module freed or replaced under it.
bool insideLibrary() { return mixerInsidePass() || callbackDepth > 0; }

// Runs at process exit: the show never closes the library, and a mixer
// thread still running when the statics go would end the process abnormally.
void shutDownAtExit() {
  if (mixerInsidePass()) {
    mixerAbandon();  // exit called from a callback: the process ends around it
    return;
  }
  shutDown();
}

}  // namespace

float FSOUND_GetVersion() { return 3.6f; }

signed char FSOUND_Init(int mixrate, int maxsoftwarechannels, unsigned int flags) {
  (void)flags;
  if (insideLibrary()) return 0;
  if (mixrate < 4000 || mixrate > 48000 || maxsoftwarechannels < 0 || maxsoftwarechannels > 1024) {
    return 0;
  }
  static const bool exitHook = std::atexit(shutDownAtExit) == 0;
  (void)exitHook;
  shutDown();
  SoundOutputKind kind;
  {
    std::lock_guard<std::mutex> lock(stateLock);
    kind = selectedKind;
  }
  const char* forced = std::getenv("QUENDALOOP_SOUND");
  if (kind == kSoundOutputAuto && forced != nullptr && std::strcmp(forced, "null") == 0) {
    kind = kSoundOutputNull;
  }
  if (kind == kSoundOutputOffline) {
    offline = soundDeviceOpenOffline();
    device.store(offline);
    output.store(kSoundActiveOffline);
    return 1;
  }
  RealTimeSoundDevice* out = kind == kSoundOutputAuto ? soundDeviceOpenSystem(mixerWake) : nullptr;
  if (out != nullptr) {
    output.store(kSoundActiveDevice);
  } else {
    out = soundDeviceOpenNull(nowNs);
    output.store(kSoundActiveNull);
  }
  device.store(out);
  mixerStart(out);
  return 1;
}

FMUSIC_MODULE* FMUSIC_LoadSong(const char* name) {
  if (name == nullptr || insideLibrary()) return nullptr;
  const SoundActiveOutput out = output.load();
  if (out == kSoundActiveNone) return nullptr;
  XmPlayer* player = nullptr;
  if (out == kSoundActiveOffline) {
    player = xmPlayerLoadFile(name);
  } else {
    const std::string path = name;
    mixerRun([&] { player = xmPlayerLoadFile(path.c_str()); });
  }
  if (player == nullptr) return nullptr;
  FMUSIC_MODULE* mod = new FMUSIC_MODULE;
  mod->player = player;
  mod->instruments = xmPlayerInstrumentCount(player);
  mod->callbacks.assign(static_cast<size_t>(mod->instruments) + 1, nullptr);
  std::lock_guard<std::mutex> lock(stateLock);
  modules.push_back(mod);
  return mod;
}

signed char FMUSIC_PlaySong(FMUSIC_MODULE* mod) {
  if (insideLibrary()) return 0;
  {
    std::lock_guard<std::mutex> lock(stateLock);
    if (!isLive(mod)) return 0;
  }
  if (output.load() == kSoundActiveOffline) return startPlaying(*offline, mod) ? 1 : 0;
  bool ok = false;
  mixerRun([&] { ok = startPlaying(*device.load(), mod); });
  return ok ? 1 : 0;
}

signed char FMUSIC_SetInstCallback(FMUSIC_MODULE* mod, FMUSIC_CALLBACK callback, int instrument) {
  std::lock_guard<std::mutex> lock(stateLock);
  if (!isLive(mod) || instrument < 1 || instrument > mod->instruments) return 0;
  mod->callbacks[static_cast<size_t>(instrument)] = callback;
  return 1;
}

int FMUSIC_GetTime(FMUSIC_MODULE* mod) {
  std::lock_guard<std::mutex> lock(stateLock);
  if (!isLive(mod)) return 0;
  const int64_t start = mod->startFrame.load();
  if (start < 0) return mod->timeMs.load();
  return raiseTime(mod, framesToMs(heardFrames() - start));
}

void soundSelectOutput(SoundOutputKind kind) {
  std::lock_guard<std::mutex> lock(stateLock);
  selectedKind = kind;
}

size_t soundRenderOffline(FMUSIC_MODULE* mod, int16_t* pcm, size_t frames) {
  if (output.load() != kSoundActiveOffline || mod == nullptr || mod != stream.module()) return 0;
  stream.fireHeard(offline->render(stream, pcm, frames));
  return frames;
}

void soundSetClock(SoundClock clock) { injectedClock.store(clock); }

SoundActiveOutput soundActiveOutput() { return output.load(); }
