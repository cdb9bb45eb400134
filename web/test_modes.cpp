#include "test_modes.h"

#include <emscripten.h>

#include <cstdint>
#include <vector>

#include "frame_step.h"
#include "gl_window.h"
#include "music.h"
#include "platform.h"
#include "sound.h"
#include "sound_hooks.h"

// The page's side, in web/library_test_modes.js.
extern "C" {
// The page address's parameter `name` as a whole number; -1 when absent or
// not a number of at most nine digits.
int pageNumber(const char* name);
void markFrame(int frame);
void reportPcm(const int16_t* pcm, int bytes);
}

namespace {

const char* const kTitle = "Quendaloop Brakkelgrusk";
constexpr int kWidth = 640;   // pixels
constexpr int kHeight = 480;  // pixels
constexpr FrameRate kRate{60, 1};

[[noreturn]] void holdPage() {
  for (;;) emscripten_sleep(3600 * 1000);
}

// Frames before N are stepped as the capture steps the frames before its
// range, nothing of them reaching the canvas.
int drawTestFrame(int frame) {
  soundSelectOutput(kSoundOutputOffline);
  if (!openGlWindow(kTitle, kWidth, kHeight, 16, false) || musicModule == nullptr) return 1;
  for (int n = 0; n <= frame; ++n) {
    if (!stepShowFrame(kRate, n, n == frame, platformSkipDrawing, nullptr)) return 1;
    if (n % 120 == 119) emscripten_sleep(0);  // lets the page answer while it works
  }
  markFrame(frame);
  holdPage();
}

int renderTestSound(int seconds) {
  soundSelectOutput(kSoundOutputOffline);
  if (!FSOUND_Init(44100, 64, 2)) return 1;
  FMUSIC_MODULE* mod = FMUSIC_LoadSong(kMusicFile);
  if (mod == nullptr || !FMUSIC_PlaySong(mod)) return 1;
  std::vector<int16_t> pcm(size_t(seconds) * 44100 * 2);
  if (soundRenderOffline(mod, pcm.data(), pcm.size() / 2) != pcm.size() / 2) return 1;
  reportPcm(pcm.data(), int(pcm.size() * 2));
  holdPage();
}

}  // namespace

int runTestModeIfAsked() {
  const int frame = pageNumber("frame");
  if (frame >= 0) return drawTestFrame(frame);
  const int seconds = pageNumber("pcm");
  if (seconds >= 0) return renderTestSound(seconds);
  return 0;
}
