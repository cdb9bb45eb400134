// The program's entry in a browser page: the show, or what the page's address
// asks for instead:
//   ?frame=N  draws frame N of the show exactly as the capture program does at
//             60 frames per second and holds it on the canvas, which then
//             carries data-frame="N";
//   ?pcm=S    renders the first S seconds of the music offline and puts the
//             SHA-256 of its PCM (44100 Hz stereo int16) on the page as
//             data-pcm-sha256.
// Those two pages are held as they are; the show itself ends, and the page
// shows its end, when WinMain returns.
#include <GL/gl.h>
#include <emscripten.h>
#include <emscripten/html5.h>

#include <cstdint>
#include <vector>

#include "gl_window.h"
#include "music.h"
#include "shell.h"
#include "sound.h"
#include "sound_hooks.h"
#include "timeline.h"

namespace {

const char* const kTitle = "Quendaloop Brakkelgrusk";
constexpr int kWidth = 640;   // pixels
constexpr int kHeight = 480;  // pixels
// Sound frames (44100 Hz) per picture frame at 60 frames per second: exact.
constexpr int kSamplesPerFrame = 735;

// The page address's parameter `name` as a whole number; -1 when absent or
// not a number of at most nine digits.
// clang-format off
EM_JS(int, pageNumber, (const char* name), {
  const value = new URLSearchParams(location.search).get(UTF8ToString(name));
  return value !== null && /^[0-9]{1,9}$/.test(value) ? Number(value) : -1;
});
// clang-format on

// clang-format off
EM_JS(void, markFrame, (int frame), {
  if (Module.platform && Module.platform.canvas) Module.platform.canvas.dataset.frame = String(frame);
});
// clang-format on

// clang-format off
EM_ASYNC_JS(void, reportPcm, (const int16_t* pcm, int bytes), {
  const data = HEAPU8.slice(pcm, pcm + bytes);
  const digest = new Uint8Array(await crypto.subtle.digest("SHA-256", data));
  document.body.dataset.pcmSha256 = Array.from(digest, (b) => b.toString(16).padStart(2, "0")).join("");
});
// clang-format on

// Keeps the page as it is, and the program's runtime alive, for good.
[[noreturn]] void holdPage() {
  for (;;) emscripten_sleep(3600 * 1000);
}

// WebGL's own calls for what the show never asks of GL: the scissor that keeps
// a frame off the canvas, and the wait for the drawing to end. They are taken
// from the context, not from the GL 1.1 layer, which answers only the show.
struct WebGl {
  void (*enable)(GLenum);
  void (*disable)(GLenum);
  void (*scissor)(GLint, GLint, GLsizei, GLsizei);
  void (*finish)();
};

WebGl loadWebGl() {
  WebGl gl;
  gl.enable = reinterpret_cast<void (*)(GLenum)>(emscripten_webgl_get_proc_address("glEnable"));
  gl.disable = reinterpret_cast<void (*)(GLenum)>(emscripten_webgl_get_proc_address("glDisable"));
  gl.scissor = reinterpret_cast<void (*)(GLint, GLint, GLsizei, GLsizei)>(
      emscripten_webgl_get_proc_address("glScissor"));
  gl.finish = reinterpret_cast<void (*)()>(emscripten_webgl_get_proc_address("glFinish"));
  return gl;
}

// Frames before N are drawn with nothing reaching the canvas, as the capture
// draws the frames before its range, so that the show's state advances
// exactly; the music is rendered offline up to each frame's first sample.
int drawTestFrame(int frame) {
  soundSelectOutput(kSoundOutputOffline);
  if (!openGlWindow(kTitle, kWidth, kHeight, 16, false)) return 1;
  if (musicModule == nullptr) return 1;
  const WebGl gl = loadWebGl();
  if (!gl.enable || !gl.disable || !gl.scissor || !gl.finish) return 1;
  gl.scissor(0, 0, 0, 0);
  for (int n = 0;; ++n) {
    const bool shown = n == frame;
    if (shown)
      gl.disable(GL_SCISSOR_TEST);
    else
      gl.enable(GL_SCISSOR_TEST);
    renderFrame();
    if (shown) break;
    soundRenderOffline(musicModule, nullptr, kSamplesPerFrame);
    if (n % 120 == 119) emscripten_sleep(0);  // lets the page answer while it works
  }
  gl.finish();
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

// What the page's tests read while the show runs: the scene of the next frame
// and the music time the last frame read, in whole seconds.
extern "C" EMSCRIPTEN_KEEPALIVE int webScene() { return int(sceneState); }
extern "C" EMSCRIPTEN_KEEPALIVE int webMusicSeconds() { return int(musicSeconds); }

int main() {
  const int frame = pageNumber("frame");
  if (frame >= 0) return drawTestFrame(frame);
  const int seconds = pageNumber("pcm");
  if (seconds >= 0) return renderTestSound(seconds);
  // The page's waits keep the runtime alive; the end of the show ends it,
  // which runs the exit handlers (the sound is closed) and tells the page.
  emscripten_force_exit(WinMain());
}
