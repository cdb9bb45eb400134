// Where the sound library's frames go, and which of them the listener hears
// now. Three outputs, one file each:
//   sound_device_sdl.cpp      the system's device on the desktop: SDL2 audio;
//   sound_device_web.cpp      the system's device in a browser: Web Audio;
//   sound_device_null.cpp     the null output, paced by a clock, sound dropped;
//   sound_device_offline.cpp  the offline renderer, which makes frames only
//                             when asked.
// The build links one of the two system devices. sound.cpp opens an output in
// FSOUND_Init and plays the current module through it. The device and null
// outputs are real-time: the mixer host (sound_mixer.h) feeds them, on the
// library's mixer thread or, in a browser, on the program's one thread. The
// offline renderer runs on the thread that calls soundRenderOffline.
//
// Frames are 44100 Hz stereo int16 (4 bytes). An output frame position
// counts frames since the output opened; offline, since the module started.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>

constexpr int kSoundRate = 44100;

// The steady clock in nanoseconds.
inline int64_t soundSteadyNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Whole frames that play in `ns` nanoseconds; 0 for none or less.
inline int64_t soundFramesIn(int64_t ns) {
  if (ns <= 0) return 0;
  return ns / 1000000000 * kSoundRate + ns % 1000000000 * kSoundRate / 1000000000;
}

// What the outputs play: the current module's frames, tick by tick (sound.cpp).
// Reading renders ticks through libxmp and queues their triggers, so it runs
// only on the thread that owns libxmp: the mixer thread, or offline the
// caller's thread.
class SoundSource {
 public:
  // Copies up to `frames` (> 0) frames of what plays next to `pcm` (null
  // drops them) and returns how many: the rest of the current tick, after
  // rendering the next tick when none is left; `frames` frames of silence
  // when no module plays or it has ended.
  virtual size_t read(int16_t* pcm, size_t frames) = 0;

  // Passes over the rest of the current tick, or the whole next tick, without
  // copying its sound; returns the frames passed, 0 when nothing plays.
  virtual size_t skip() = 0;

 protected:
  ~SoundSource() = default;
};

// What every output answers.
class SoundDevice {
 public:
  // The output frame the listener hears now. Any thread: it reads only
  // atomics, values fixed at opening, or a short lock.
  virtual int64_t heard() = 0;

  // A module starts now, and `heard` is heard() read just before: returns the
  // output frame at which its first frame will be heard, and forgets what the
  // output had made ahead where it can. The thread that owns libxmp.
  virtual int64_t start(int64_t heard) = 0;

  // Closes the output. The controlling thread, once no mixer thread runs.
  virtual void close() = 0;

 protected:
  ~SoundDevice() = default;
};

// An output that plays in real time, fed by the mixer thread.
class RealTimeSoundDevice : public SoundDevice {
 public:
  // Takes from `source` what the output needs now; `heard` is heard() read
  // just before. The mixer thread.
  virtual void fill(SoundSource& source, int64_t heard) = 0;

  // The heard frame at which the output needs filling again; INT64_MAX when
  // it wakes the mixer itself. The mixer thread.
  virtual int64_t refillAt() const = 0;

 protected:
  ~RealTimeSoundDevice() = default;
};

// The system's sound device, 44100 Hz stereo int16; null, with nothing left
// open, when there is none. `wake` asks the mixer host for a pass; the device
// calls it from its own thread when it has taken frames. The controlling
// thread, before the mixer host starts; the device stays open until close().
//
// On the desktop, the SDL2 audio device (sound_device_sdl.cpp): a ring of
// frames that the mixer thread fills (fill, start) and SDL's audio thread
// drains. The ring's read and write positions are atomics; what SDL's audio
// thread learns of the device's timing sits behind a short lock that heard()
// takes, on any thread. Null when SDL has no audio, only its dummy or disk
// driver, or the device does not open.
//
// In a browser, Web Audio (sound_device_web.cpp): frames mixed ahead on the
// page's one thread wait in a queue in the page, and an audio node plays
// them. Null when the page has no Web Audio or its audio context does not
// start.
RealTimeSoundDevice* soundDeviceOpenSystem(void (*wake)());

// The null output (sound_device_null.cpp): plays nothing; the listener hears
// frame n at clock reading `origin + n / 44100 s`, where origin is the clock
// at opening. The mixer thread renders ticks a little ahead of the clock
// (fill, start, refillAt) only for their triggers; heard() reads `clock` and
// the origin, fixed at opening, from any thread. `clock` gives nanoseconds,
// monotonic, and must be callable from any thread. The controlling thread,
// before the mixer thread starts.
RealTimeSoundDevice* soundDeviceOpenNull(int64_t (*clock)());

// The offline renderer (sound_device_offline.cpp): frames are made only by
// render(), on the caller's thread, the one that also plays the module
// (start). The count of frames rendered is an atomic, so heard() may be read
// from any thread.
class OfflineSoundDevice final : public SoundDevice {
 public:
  int64_t heard() override;
  int64_t start(int64_t heard) override;
  void close() override;

  // Renders the next `frames` frames of `source` to `pcm` (2 * frames
  // values; null drops them) and returns the frame heard after them.
  int64_t render(SoundSource& source, int16_t* pcm, size_t frames);

 private:
  std::atomic<int64_t> rendered_{0};  // frames since the module started
};

// Opens the offline renderer, at frame 0. The controlling thread.
OfflineSoundDevice* soundDeviceOpenOffline();
