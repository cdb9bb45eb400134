// The null output: no sound leaves the program, and the listener's position
// follows a clock. The mixer thread still renders the module's ticks, a
// little ahead of the clock, so that their triggers are known before they
// are due.
//
// Threads: the controlling thread opens it while no mixer thread runs;
// fill, start and refillAt run on the mixer thread, the only one that touches
// the count of frames rendered. heard() runs on any thread: it reads the
// clock and the origin, which is fixed at opening.
#include "sound_device.h"

#include <cstdint>

namespace {

// Rendered ahead of the clock, in frames (~93 ms).
constexpr int64_t kLeadFrames = 4096;

class NullDevice final : public RealTimeSoundDevice {
 public:
  void open(int64_t (*clock)()) {
    clock_ = clock;
    originNs_ = clock();
    rendered_ = 0;
  }

  int64_t heard() override { return soundFramesIn(clock_() - originNs_); }

  // What was rendered ahead is dropped: the module starts now.
  int64_t start(int64_t heard) override {
    rendered_ = heard;
    return heard;
  }

  // Renders whole ticks until the lead is reached; once nothing plays,
  // silence costs nothing to render.
  void fill(SoundSource& source, int64_t heard) override {
    while (rendered_ < heard + kLeadFrames) {
      const size_t frames = source.skip();
      if (frames == 0) {
        rendered_ = heard + kLeadFrames;
        break;
      }
      rendered_ += static_cast<int64_t>(frames);
    }
  }

  // Half the lead before the rendered frames run out.
  int64_t refillAt() const override { return rendered_ - kLeadFrames / 2; }

  void close() override {}

 private:
  int64_t (*clock_)() = nullptr;
  int64_t originNs_ = 0;  // clock reading at which frame 0 is heard
  int64_t rendered_ = 0;  // output frames rendered so far
};

NullDevice nullDevice;

}  // namespace

RealTimeSoundDevice* soundDeviceOpenNull(int64_t (*clock)()) {
  nullDevice.open(clock);
  return &nullDevice;
}
