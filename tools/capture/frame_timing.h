// Frame arithmetic of the capture: which frames a range of music time
// covers, and the music time a frame sees; which audio sample each frame
// starts at is in frame_rate.h.
//
// The capture draws frame n once the music has been rendered up to sample
// floor(n * 44100 / rate), so the music time and the instrument hook of every
// frame are those of its exact place on the time line. All integer: the same
// frame gets the same sample whatever range or chunking led to it.
// Pure functions; any thread.
#pragma once

#include <cstdint>
#include <vector>

#include "frame_rate.h"

constexpr int64_t kCaptureSampleRate = kOfflineSampleRate;  // audio frames per second

// The music time in whole milliseconds after `samples` audio frames, as the
// sound library's offline mode reports it: floor(samples * 1000 / 44100).
int64_t musicMsAtSample(int64_t samples);

// The first frame whose start time is at or after `micros` microseconds of
// music time: ceil(micros * num / (den * 1e6)). micros >= 0.
int64_t firstFrameAtOrAfter(FrameRate rate, int64_t micros);

// The frames of [firstFrame, endFrame) that the contact sheet shows, one per
// whole second of music time: firstFrame itself, then the first frame at or
// after each later whole second; each frame once.
std::vector<int64_t> secondStartFrames(FrameRate rate, int64_t firstFrame, int64_t endFrame);

// Frames per second as a double, for display and for ffmpeg's rate in text form.
double framesPerSecond(FrameRate rate);
