// The show stepped frame by frame at a fixed frame rate, with no clock: the
// music is rendered offline up to each frame's first sample, so every frame
// sees the music time and instrument flashes of its exact place on the time
// line. The capture program steps every frame it writes this way, and so does
// the browser's frame page.
//
// Use: soundSelectOutput(kSoundOutputOffline), open a GL context and call
// initRenderState (which starts the music), then stepShowFrame for frames
// 0, 1, 2, ... in order. Main thread only, with the GL context current.
#pragma once

#include <cstdint>

#include "frame_rate.h"

// Draws frame n, with drawing skipped through skipDrawing(true) unless
// `shown` (the show's state advances all the same), then renders the music
// on to frame n + 1's first sample: soundFramesOfFrame(rate, n) stereo int16
// frames into `pcm`, or dropped when `pcm` is null. Returns false when the
// sound library rendered less (the output is not offline, or the music is
// not playing).
bool stepShowFrame(FrameRate rate, int64_t n, bool shown, void (*skipDrawing)(bool skip), int16_t* pcm);
