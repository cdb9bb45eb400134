// The mixer host of a browser page, which gives the program one thread: work
// runs at once on the caller's thread, and passes run once per displayed
// frame (the page's animation frames, between which the show's own loop
// waits), every 100 ms while the page is hidden and its animation frames
// stop, and whenever the output asks for more.
//
// Threads: the page has one; everything here runs on it.
#include <emscripten.h>

#include "sound_mixer.h"

// The page's side, in web/library_sound.js: passes on every animation frame
// and every 100 ms while the page is hidden, until endPasses.
extern "C" {
void schedulePasses();
void endPasses();
}

namespace {

RealTimeSoundDevice* output = nullptr;  // fed while the host runs
bool inPass = false;

void runPass() {
  if (output == nullptr || inPass) return;
  inPass = true;
  soundMixerPass(*output);
  inPass = false;
}

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
