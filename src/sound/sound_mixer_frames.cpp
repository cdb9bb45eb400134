// The mixer host of a browser page, which gives the program one thread: work
// runs at once on the caller's thread, and passes run once per displayed
// frame (the page's animation frames, between which the show's own loop
// waits), every 100 ms while the page is hidden and its animation frames
// stop, and whenever the output asks for more.
//
// Threads: the page has one; everything here runs on it.
#include <emscripten.h>

#include "sound_mixer.h"

namespace {

RealTimeSoundDevice* output = nullptr;  // fed while the host runs
bool inPass = false;

void runPass() {
  if (output == nullptr || inPass) return;
  inPass = true;
  soundMixerPass(*output);
  inPass = false;
}

// A generation number ends the schedule of an earlier start.
// clang-format off
EM_JS(void, schedulePasses, (), {
  const generation = (Module.mixerGeneration = (Module.mixerGeneration || 0) + 1);
  const live = () => Module.mixerGeneration === generation;
  const onFrame = () => {
    if (!live()) return;
    _soundMixerFramePass();
    requestAnimationFrame(onFrame);
  };
  requestAnimationFrame(onFrame);
  const timer = setInterval(() => {
    if (!live()) clearInterval(timer);
    else if (document.hidden) _soundMixerFramePass();
  }, 100);
});
// clang-format on

// clang-format off
EM_JS(void, endPasses, (), { Module.mixerGeneration = (Module.mixerGeneration || 0) + 1; });
// clang-format on

}  // namespace

extern "C" EMSCRIPTEN_KEEPALIVE void soundMixerFramePass() { runPass(); }

void mixerStart(RealTimeSoundDevice* out) {
  output = out;
  schedulePasses();
}

void mixerRun(const std::function<void()>& work) { work(); }

void mixerStop() {
  endPasses();
  output = nullptr;
}

bool mixerInsidePass() { return inPass; }

void mixerWake() { runPass(); }

void mixerAbandon() { mixerStop(); }
