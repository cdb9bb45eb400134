// The program's entry in a browser page: the show, or one of the test modes
// the page's address asks for (web/test_modes.h), which hold the page as it
// is. The show itself ends, and the page shows its end, when WinMain returns.
#include <emscripten.h>

#include "shell.h"
#include "test_modes.h"
#include "timeline.h"

// What the page's tests read while the show runs: the scene of the next frame
// and the music time the last frame read, in whole seconds.
extern "C" EMSCRIPTEN_KEEPALIVE int webScene() { return int(sceneState); }
extern "C" EMSCRIPTEN_KEEPALIVE int webMusicSeconds() { return int(musicSeconds); }

int main() {
  if (const int failed = runTestModeIfAsked()) return failed;
  // The page's waits keep the runtime alive; the end of the show ends it,
  // which runs the exit handlers (the sound is closed) and tells the page.
  emscripten_force_exit(WinMain());
}
