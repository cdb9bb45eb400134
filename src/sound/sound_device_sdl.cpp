// The SDL2 audio device: a single-producer single-consumer ring between the
// mixer thread and SDL's audio callback, and the heard-position estimate.
//
// Threads: the controlling thread opens and closes the device while no mixer
// thread runs. The mixer thread is the only writer of the ring (fill, start);
// SDL's audio thread, in fillAudio, the only reader. ringWritten and ringRead
// are atomics that publish the ring's contents between them. What fillAudio
// learns of the device's timing is guarded by timingLock, which heard() takes
// from any thread; heardHigh is an atomic. The rest is fixed while the device
// is open.
#include "sound_device.h"

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

constexpr int kRequestedBufferFrames = 1024;  // about 23 ms
constexpr size_t kRingFrames = 16384;         // power of two
// How far ahead of the device the mixer keeps the ring filled, beyond one
// device buffer: enough to ride out a late mixer wake-up.
constexpr size_t kLeadFrames = 2048;

SDL_AudioDeviceID device = 0;
bool audioSubsystemUp = false;
void (*wakeMixer)() = nullptr;
int bufferFrames = kRequestedBufferFrames;  // frames per SDL callback
int latencyFrames = kRequestedBufferFrames * 2 / 3;

int16_t ring[kRingFrames * 2];
std::atomic<int64_t> ringWritten{0};  // frames written (mixer thread)
std::atomic<int64_t> ringRead{0};     // frames taken (SDL audio thread)

// What the callbacks saw, for the heard estimate. Guarded by timingLock.
// The device consumes frames at the nominal rate and asks for more when its
// queue runs low. So at each callback, the frames handed over so far less
// the frames the nominal rate gives since the device opened is the heard
// position's offset from that clock, plus the queue, less whatever the
// callback came late. Late callbacks only lower it, so the offset is the
// highest value over the last callbacks; a pause of several buffers (the
// stream starting, a stall) starts the window afresh.
std::mutex timingLock;
constexpr int kWindow = 16;   // callbacks, about 370 ms at 1024-frame buffers
int64_t openedNs = 0;         // steady clock when the device opened
int64_t deliveredFrames = 0;  // frames handed to SDL, ring frames and padding
int64_t paddedFrames = 0;     // silence handed over because the ring ran dry
int64_t lastCallbackNs = 0;
int64_t bounds[kWindow];  // offsets seen by the last callbacks, in frames
int boundCount = 0;       // 0 before the first callback
int boundNext = 0;
int64_t clockOffset = 0;            // frames: heard ~ rate * (now - openedNs) + clockOffset - latency
std::atomic<int64_t> heardHigh{0};  // highest position reported

void SDLCALL fillAudio(void*, Uint8* stream, int len) {
  const size_t wanted = static_cast<size_t>(len) / 4;
  int16_t* out = reinterpret_cast<int16_t*>(stream);
  const int64_t read = ringRead.load(std::memory_order_relaxed);
  const int64_t available = ringWritten.load(std::memory_order_acquire) - read;
  const size_t take = std::min(wanted, static_cast<size_t>(std::max<int64_t>(available, 0)));
  for (size_t done = 0; done < take;) {
    const size_t at = static_cast<size_t>((read + static_cast<int64_t>(done)) % kRingFrames);
    const size_t run = std::min(take - done, kRingFrames - at);
    std::memcpy(out + done * 2, ring + at * 2, run * 4);
    done += run;
  }
  if (take < wanted) std::memset(out + take * 2, 0, (wanted - take) * 4);
  ringRead.store(read + static_cast<int64_t>(take), std::memory_order_release);
  {
    std::lock_guard<std::mutex> lock(timingLock);
    const int64_t now = soundSteadyNs();
    if (boundCount > 0 && soundFramesIn(now - lastCallbackNs) > 4 * static_cast<int64_t>(wanted))
      boundCount = 0;
    if (boundCount == 0) boundNext = 0;
    bounds[boundNext] = deliveredFrames - soundFramesIn(now - openedNs);
    boundNext = (boundNext + 1) % kWindow;
    boundCount = std::min(boundCount + 1, kWindow);
    clockOffset = *std::max_element(bounds, bounds + boundCount);
    lastCallbackNs = now;
    deliveredFrames += static_cast<int64_t>(wanted);
    paddedFrames += static_cast<int64_t>(wanted - take);
  }
  if (wakeMixer != nullptr) wakeMixer();
}

// Stops and closes the device; the ring is emptied.
void closeDevice() {
  if (device != 0) {
    SDL_CloseAudioDevice(device);  // waits for a running callback to finish
    device = 0;
  }
  wakeMixer = nullptr;
  if (audioSubsystemUp) {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    audioSubsystemUp = false;
  }
  ringWritten.store(0);
  ringRead.store(0);
}

// Frames that fit into the ring now without passing the fill target.
size_t writable() {
  const int64_t fill = ringWritten.load(std::memory_order_relaxed) - ringRead.load(std::memory_order_acquire);
  const int64_t target = static_cast<int64_t>(bufferFrames) + static_cast<int64_t>(kLeadFrames);
  const int64_t room = std::min<int64_t>(target, static_cast<int64_t>(kRingFrames)) - fill;
  return room > 0 ? static_cast<size_t>(room) : 0;
}

// The ring frame heard at `nowNs` (steady clock): the frames the device has
// taken, less its output latency, advanced by the time since it last took
// some. Never decreases.
int64_t heardAt(int64_t nowNs) {
  int64_t delivered, padded, offset, opened;
  {
    std::lock_guard<std::mutex> lock(timingLock);
    if (boundCount == 0) return 0;
    delivered = deliveredFrames;
    padded = paddedFrames;
    offset = clockOffset;
    opened = openedNs;
  }
  // Nothing can be heard that has not been handed over.
  const int64_t played = std::min(soundFramesIn(nowNs - opened) + offset - latencyFrames, delivered);
  const int64_t heard = std::max<int64_t>(0, played - padded);
  int64_t high = heardHigh.load(std::memory_order_relaxed);
  while (heard > high && !heardHigh.compare_exchange_weak(high, heard)) {
  }
  return std::max(heard, high);
}

class SdlDevice final : public RealTimeSoundDevice {
 public:
  int64_t heard() override { return heardAt(soundSteadyNs()); }

  // The module is heard once the device has played out what the ring holds.
  int64_t start(int64_t) override { return ringWritten.load(std::memory_order_relaxed); }

  // Keeps the ring filled up to its target, a piece of a tick at a time.
  void fill(SoundSource& source, int64_t) override {
    for (size_t room = writable(); room > 0; room = writable()) {
      const int64_t written = ringWritten.load(std::memory_order_relaxed);
      const size_t at = static_cast<size_t>(written % kRingFrames);
      const size_t got = source.read(ring + at * 2, std::min(room, kRingFrames - at));
      ringWritten.store(written + static_cast<int64_t>(got), std::memory_order_release);
    }
  }

  // SDL's audio thread wakes the mixer when it has taken frames.
  int64_t refillAt() const override { return INT64_MAX; }

  void close() override { closeDevice(); }
};

SdlDevice sdlDevice;

// The output latency QUENDALOOP_SOUND_LATENCY_MS asks for, in milliseconds,
// or -1 when it is not set (or empty). Anything but a whole number of
// milliseconds in range is refused with a warning, and -1 returned.
constexpr const char* kLatencyVariable = "QUENDALOOP_SOUND_LATENCY_MS";
constexpr long kMaxLatencyMs = 2000;

long latencyOverrideMs() {
  const char* text = std::getenv(kLatencyVariable);
  if (text == nullptr || *text == '\0') return -1;
  long ms = 0;
  const char* at = text;
  for (; *at >= '0' && *at <= '9' && ms <= kMaxLatencyMs; ++at) ms = ms * 10 + (*at - '0');
  if (*at == '\0' && ms <= kMaxLatencyMs) return ms;
  std::fprintf(stderr,
               "%s=\"%s\" is not a whole number of milliseconds from 0 to %ld; the default is used.\n",
               kLatencyVariable, text, kMaxLatencyMs);
  return -1;
}

}  // namespace

RealTimeSoundDevice* soundDeviceOpenSystem(void (*wake)()) {
  // Under PipeWire (Debian's desktops), SDL's PipeWire driver keeps closer
  // time than its PulseAudio one, which goes through PipeWire's emulation and
  // plays about 9 ms later than it can tell. It goes first unless a driver
  // was asked for; with no PipeWire server it fails and SDL picks as usual.
  const long latencyMs = latencyOverrideMs();
  bool up = false;
  if (!SDL_getenv("SDL_AUDIODRIVER")) {
    SDL_SetHint(SDL_HINT_AUDIODRIVER, "pipewire");
    up = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
    SDL_ResetHint(SDL_HINT_AUDIODRIVER);
  }
  if (!up && SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return nullptr;
  audioSubsystemUp = true;
  const char* driver = SDL_GetCurrentAudioDriver();
  // The dummy and disk drivers pace themselves in whole milliseconds and
  // drift; the wall clock keeps better time, so they count as no device.
  if (driver == nullptr || std::strcmp(driver, "dummy") == 0 || std::strcmp(driver, "disk") == 0) {
    closeDevice();
    return nullptr;
  }
  SDL_AudioSpec want;
  SDL_zero(want);
  want.freq = kSoundRate;
  want.format = AUDIO_S16SYS;
  want.channels = 2;
  want.samples = kRequestedBufferFrames;
  want.callback = fillAudio;
  SDL_AudioSpec have;
  ringWritten.store(0);
  ringRead.store(0);
  heardHigh.store(0);
  {
    std::lock_guard<std::mutex> lock(timingLock);
    deliveredFrames = paddedFrames = 0;
    boundCount = boundNext = 0;
    clockOffset = 0;
    openedNs = lastCallbackNs = soundSteadyNs();
  }
  wakeMixer = wake;
  device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  if (device == 0) {
    closeDevice();
    return nullptr;
  }
  bufferFrames = have.samples > 0 ? have.samples : kRequestedBufferFrames;
  // When the device asks for a buffer it still holds about two thirds of
  // one to play on PulseAudio, and about half of one on PipeWire's own driver
  // (measured on their null sinks: the time then lands within a few
  // milliseconds of what the sink plays).
  latencyFrames = std::strcmp(driver, "pipewire") == 0 ? bufferFrames / 2 : bufferFrames * 2 / 3;
  if (latencyMs >= 0) latencyFrames = int(latencyMs * kSoundRate / 1000);
  SDL_PauseAudioDevice(device, 0);
  return &sdlDevice;
}
