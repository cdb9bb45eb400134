#include "frame_timing.h"

// The products below stay far inside 64 bits: options.cpp limits rates to
// 1000 fps with numerators up to 1e7 and denominators up to 1e4, and music
// times to one day.

int64_t musicMsAtSample(int64_t samples) { return samples * 1000 / kCaptureSampleRate; }

int64_t firstFrameAtOrAfter(FrameRate rate, int64_t micros) {
  const int64_t scaledNum = micros * rate.num;
  const int64_t scaledDen = rate.den * 1000000;
  return (scaledNum + scaledDen - 1) / scaledDen;
}

std::vector<int64_t> secondStartFrames(FrameRate rate, int64_t firstFrame, int64_t endFrame) {
  std::vector<int64_t> frames;
  if (firstFrame >= endFrame) return frames;
  frames.push_back(firstFrame);
  for (int64_t second = 1;; ++second) {
    const int64_t frame = firstFrameAtOrAfter(rate, second * 1000000);
    if (frame >= endFrame) break;
    if (frame > frames.back()) frames.push_back(frame);
  }
  return frames;
}

double framesPerSecond(FrameRate rate) {
  return static_cast<double>(rate.num) / static_cast<double>(rate.den);
}
