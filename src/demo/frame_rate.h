// A fixed frame rate and where its frames fall on the music's sample clock
// (44100 Hz). All integer: the same frame gets the same sample whatever range
// or chunking led to it. Pure functions; any thread.
#pragma once

#include <cstdint>

constexpr int64_t kOfflineSampleRate = 44100;  // sound frames per second

// A frame rate as an exact fraction: num / den frames per second, both > 0.
struct FrameRate {
  int64_t num;  // frames ...
  int64_t den;  // ... per this many seconds
};

// The sound frame (sample index, 44100 Hz) at which frame n begins:
// floor(n * 44100 * den / num). n >= 0. The product stays far inside 64 bits
// for rates up to 1e7 / 1e4 and times up to a day.
inline int64_t sampleAtFrame(FrameRate rate, int64_t n) {
  return n * kOfflineSampleRate * rate.den / rate.num;
}

// The sound frames from frame n's first sample to frame n + 1's.
inline int64_t soundFramesOfFrame(FrameRate rate, int64_t n) {
  return sampleAtFrame(rate, n + 1) - sampleAtFrame(rate, n);
}
