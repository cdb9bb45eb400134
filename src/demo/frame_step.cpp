#include "frame_step.h"

#include <cstddef>

#include "music.h"
#include "sound_hooks.h"
#include "timeline.h"

bool stepShowFrame(FrameRate rate, int64_t n, bool shown, void (*skipDrawing)(bool skip), int16_t* pcm) {
  skipDrawing(!shown);
  renderFrame();
  const size_t frames = static_cast<size_t>(soundFramesOfFrame(rate, n));
  return soundRenderOffline(musicModule, pcm, frames) == frames;
}
