// The sound library's operations: module registry, the mixer thread that
// owns libxmp, the null and offline outputs, heard time and the instrument
// callbacks.
#include "sound.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sound_device.h"
#include "sound_hooks.h"
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

constexpr int kRate = 44100;
// The null output renders this far ahead of its clock, in frames (~93 ms),
// so that the triggers of the coming ticks are known before they are due.
constexpr int64_t kNullLeadFrames = 4096;
constexpr auto kLongestWait = std::chrono::milliseconds(20);

enum class Output { None, Device, Null, Offline };

// Configuration and registry, guarded by stateLock.
std::mutex stateLock;
std::vector<FMUSIC_MODULE*> modules;  // live modules of the current initialisation
std::atomic<Output> output{Output::None};
SoundOutputKind selectedKind = SOUND_OUTPUT_AUTO;
std::atomic<SoundClock> injectedClock{nullptr};
int64_t nullOriginNs = 0;  // clock reading at which the null output's frame 0 plays

// Work handed to the mixer thread by the controlling thread, one at a time.
struct Command {
  enum Kind { Load, Play, Quit } kind = Load;
  std::string path;
  FMUSIC_MODULE* mod = nullptr;
  XmPlayer* loaded = nullptr;
  bool ok = false;
  bool done = false;
};
std::mutex commandLock;
std::condition_variable commandCv;  // wakes the mixer thread
std::condition_variable replyCv;    // wakes the waiting caller
Command* command = nullptr;         // guarded by commandLock
bool mixerWoken = false;            // guarded by commandLock
std::thread mixer;
thread_local bool onMixerThread = false;
thread_local int callbackDepth = 0;  // > 0 while this thread runs an instrument callback

// Offline output state: the controlling thread only, except offlineFrames,
// which FMUSIC_GetTime may read from anywhere.
FMUSIC_MODULE* offlinePlaying = nullptr;
std::atomic<int64_t> offlineFrames{0};  // frames rendered of offlinePlaying
std::vector<int16_t> offlineCarry;      // the rest of the last rendered tick
size_t offlineCarryAt = 0;              // frames of offlineCarry already handed out
std::deque<XmTrigger> offlineDue;       // triggers rendered but not yet heard

int64_t nowNs() {
  if (SoundClock clock = injectedClock.load()) return clock();
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

int64_t steadyNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

int64_t nsToFrames(int64_t ns) {
  if (ns <= 0) return 0;
  return ns / 1000000000 * kRate + ns % 1000000000 * kRate / 1000000000;
}

int framesToMs(int64_t frames) {
  if (frames <= 0) return 0;
  const int64_t ms = frames / kRate * 1000 + frames % kRate * 1000 / kRate;
  return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

// The output frame the listener hears now.
int64_t heardFrames() {
  switch (output.load()) {
    case Output::Device: return soundDeviceHeard(steadyNs());
    case Output::Null: return nsToFrames(nowNs() - nullOriginNs);
    default: return 0;
  }
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

void wakeMixer() {
  {
    std::lock_guard<std::mutex> lock(commandLock);
    mixerWoken = true;
  }
  commandCv.notify_one();
}

// The mixer thread: runs every libxmp call of the device and null outputs,
// keeps the output fed, and calls the callbacks when their notes are heard.
void mixerMain() {
  onMixerThread = true;
  const bool device = output.load() == Output::Device;
  FMUSIC_MODULE* current = nullptr;
  std::deque<DueTrigger> due;
  std::vector<XmTrigger> found;
  std::vector<int16_t> carry;  // device only: the part of a tick that did not fit the ring
  size_t carryAt = 0;
  int64_t nullRendered = 0;  // null only: output frames rendered so far
  bool quit = false;

  // Renders the next tick of the current module; returns its frame count
  // (0 after the end) and queues its triggers.
  auto renderTick = [&](const int16_t** pcm) -> size_t {
    found.clear();
    const int64_t moduleStart = current->startFrame.load();
    const size_t frames = xmPlayerRenderTick(current->player, pcm, found);
    for (const XmTrigger& t : found) {
      due.push_back(DueTrigger{moduleStart + t.frame, current, t.instrument});
    }
    return frames;
  };

  while (!quit) {
    Command* work = nullptr;
    {
      std::lock_guard<std::mutex> lock(commandLock);
      work = command;
      mixerWoken = false;
    }
    if (work != nullptr) {
      switch (work->kind) {
        case Command::Load:
          work->loaded = xmPlayerLoadFile(work->path.c_str());
          work->ok = work->loaded != nullptr;
          break;
        case Command::Play: {
          const int64_t heard = heardFrames();
          if (current != nullptr) stopModule(current, heard);
          due.clear();
          carry.clear();
          carryAt = 0;
          current = nullptr;
          work->ok = xmPlayerStart(work->mod->player);
          // The null output drops what it rendered ahead, so the module
          // starts now; the device plays out what is already in its ring.
          const int64_t start = device ? soundDeviceWritten() : heard;
          nullRendered = start;
          work->mod->timeMs.store(0);
          work->mod->startFrame.store(start);
          current = work->mod;
          break;
        }
        case Command::Quit:
          quit = true;
          break;
      }
      {
        std::lock_guard<std::mutex> lock(commandLock);
        work->done = true;
        command = nullptr;
      }
      replyCv.notify_all();
      if (quit) break;
    }

    const int64_t heard = heardFrames();
    if (device) {
      // Keep the ring filled: the rest of a tick first, then new ticks, or
      // silence when nothing plays.
      for (size_t room = soundDeviceWritable(); room > 0; room = soundDeviceWritable()) {
        if (carryAt * 2 < carry.size()) {
          const size_t n = std::min(room, carry.size() / 2 - carryAt);
          soundDeviceWrite(carry.data() + carryAt * 2, n);
          carryAt += n;
          continue;
        }
        const int16_t* pcm = nullptr;
        const size_t frames = current != nullptr ? renderTick(&pcm) : 0;
        if (frames == 0) {
          soundDeviceWrite(nullptr, std::min<size_t>(room, 512));
          continue;
        }
        carry.assign(pcm, pcm + frames * 2);
        carryAt = 0;
      }
    } else {
      while (nullRendered < heard + kNullLeadFrames) {
        const int16_t* pcm = nullptr;
        const size_t frames = current != nullptr ? renderTick(&pcm) : 0;
        if (frames == 0) {
          nullRendered = heard + kNullLeadFrames;  // silence costs nothing to render
          break;
        }
        nullRendered += static_cast<int64_t>(frames);
      }
    }

    while (!due.empty() && due.front().frame < heard) {
      const DueTrigger t = due.front();
      due.pop_front();
      fireCallback(t.mod, t.instrument);
    }

    // Sleep until the next trigger is due or the output needs more, or a
    // command or the device wakes us. An injected clock moves in jumps, so
    // it is polled often.
    auto wait = std::chrono::duration_cast<std::chrono::nanoseconds>(kLongestWait);
    if (injectedClock.load() != nullptr) {
      wait = std::chrono::milliseconds(1);
    } else {
      int64_t nextFrame = INT64_MAX;
      if (!due.empty()) nextFrame = due.front().frame + 1;
      if (!device) nextFrame = std::min(nextFrame, nullRendered - kNullLeadFrames / 2);
      if (nextFrame != INT64_MAX) {
        const int64_t ahead = std::max<int64_t>(nextFrame - heardFrames(), 0);
        wait = std::min(wait, std::chrono::nanoseconds(ahead * 1000000000 / kRate + 100000));
      }
    }
    std::unique_lock<std::mutex> lock(commandLock);
    commandCv.wait_for(lock, wait, [] { return command != nullptr || mixerWoken; });
  }

  std::lock_guard<std::mutex> lock(stateLock);
  for (FMUSIC_MODULE* mod : modules) {
    xmPlayerFree(mod->player);
    mod->player = nullptr;
  }
}

// Hands `work` to the mixer thread and waits until it is done.
void runOnMixer(Command& work) {
  std::unique_lock<std::mutex> lock(commandLock);
  replyCv.wait(lock, [] { return command == nullptr; });
  command = &work;
  commandCv.notify_one();
  replyCv.wait(lock, [&] { return work.done; });
}

void resetOffline() {
  offlinePlaying = nullptr;
  offlineFrames.store(0);
  offlineCarry.clear();
  offlineCarryAt = 0;
  offlineDue.clear();
}

// Stops the outputs and frees every module of the current initialisation.
void shutDown() {
  if (mixer.joinable()) {
    Command quit;
    quit.kind = Command::Quit;
    runOnMixer(quit);
    mixer.join();
  }
  if (output.load() == Output::Device) soundDeviceClose();
  std::lock_guard<std::mutex> lock(stateLock);
  for (FMUSIC_MODULE* mod : modules) {
    xmPlayerFree(mod->player);  // offline: still held here; otherwise freed by the mixer
    delete mod;
  }
  modules.clear();
  resetOffline();
  output.store(Output::None);
}

// True on the threads that must not re-initialise, load or start: the
// mixer thread, and any thread inside a callback, whose caller would
// otherwise find its module freed or replaced under it.
bool insideLibrary() { return onMixerThread || callbackDepth > 0; }

// Runs at process exit: the show never closes the library, and a mixer
// thread still running when the statics go would end the process abnormally.
void shutDownAtExit() {
  if (onMixerThread) {
    mixer.detach();  // exit called from a callback: the process ends around it
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
  if (kind == SOUND_OUTPUT_AUTO && forced != nullptr && std::strcmp(forced, "null") == 0) {
    kind = SOUND_OUTPUT_NULL;
  }
  if (kind == SOUND_OUTPUT_OFFLINE) {
    output.store(Output::Offline);
    return 1;
  }
  if (kind == SOUND_OUTPUT_AUTO && soundDeviceOpen(wakeMixer)) {
    output.store(Output::Device);
  } else {
    nullOriginNs = nowNs();
    output.store(Output::Null);
  }
  mixer = std::thread(mixerMain);
  return 1;
}

FMUSIC_MODULE* FMUSIC_LoadSong(const char* name) {
  if (name == nullptr || insideLibrary()) return nullptr;
  const Output out = output.load();
  if (out == Output::None) return nullptr;
  XmPlayer* player = nullptr;
  if (out == Output::Offline) {
    player = xmPlayerLoadFile(name);
  } else {
    Command load;
    load.kind = Command::Load;
    load.path = name;
    runOnMixer(load);
    player = load.loaded;
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
  if (output.load() == Output::Offline) {
    if (offlinePlaying != nullptr) stopModule(offlinePlaying, offlineFrames.load());
    resetOffline();
    const bool ok = xmPlayerStart(mod->player);
    mod->timeMs.store(0);
    mod->startFrame.store(0);
    offlinePlaying = mod;
    return ok ? 1 : 0;
  }
  Command play;
  play.kind = Command::Play;
  play.mod = mod;
  runOnMixer(play);
  return play.ok ? 1 : 0;
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
  if (output.load() == Output::Offline) {
    return raiseTime(mod, framesToMs(offlineFrames.load()));
  }
  return raiseTime(mod, framesToMs(heardFrames() - start));
}

void soundSelectOutput(SoundOutputKind kind) {
  std::lock_guard<std::mutex> lock(stateLock);
  selectedKind = kind;
}

size_t soundRenderOffline(FMUSIC_MODULE* mod, int16_t* pcm, size_t frames) {
  if (output.load() != Output::Offline || mod == nullptr || mod != offlinePlaying) return 0;
  std::vector<XmTrigger> found;
  size_t done = 0;
  while (done < frames) {
    const size_t carried = offlineCarry.size() / 2 - offlineCarryAt;
    if (carried > 0) {
      const size_t n = std::min(carried, frames - done);
      if (pcm != nullptr) {
        std::memcpy(pcm + done * 2, offlineCarry.data() + offlineCarryAt * 2, n * 4);
      }
      offlineCarryAt += n;
      done += n;
      continue;
    }
    const int16_t* tick = nullptr;
    found.clear();
    const size_t got = xmPlayerRenderTick(mod->player, &tick, found);
    offlineDue.insert(offlineDue.end(), found.begin(), found.end());
    if (got == 0) {
      if (pcm != nullptr) std::memset(pcm + done * 2, 0, (frames - done) * 4);
      done = frames;
      break;
    }
    offlineCarry.assign(tick, tick + got * 2);
    offlineCarryAt = 0;
  }
  const int64_t heard = offlineFrames.load() + static_cast<int64_t>(frames);
  offlineFrames.store(heard);
  while (!offlineDue.empty() && offlineDue.front().frame < heard) {
    const int instrument = offlineDue.front().instrument;
    offlineDue.pop_front();
    fireCallback(mod, instrument);
  }
  return frames;
}

void soundSetClock(SoundClock clock) { injectedClock.store(clock); }

SoundActiveOutput soundActiveOutput() {
  switch (output.load()) {
    case Output::Device: return SOUND_ACTIVE_DEVICE;
    case Output::Null: return SOUND_ACTIVE_NULL;
    case Output::Offline: return SOUND_ACTIVE_OFFLINE;
    case Output::None: break;
  }
  return SOUND_ACTIVE_NONE;
}
