// quendaloop_frames: draws chosen frames of the show with its own scene code
// the way the capture program draws them (at 60 frames a second; the music
// rendered offline up to each frame's sample; every frame before a chosen one
// drawn too, scissored away, so the show's state advances as in the capture)
// and writes each as OUTDIR/frame-NNNNNN.ppm. Built for Windows and run under
// Wine, its frames are compared with the Linux capture's.
//
//   quendaloop_frames OUTDIR FRAME...   (in a folder with Data/ and the module)
//
// The GL context is a hidden SDL window's; frames are read from its back buffer.
#define SDL_MAIN_HANDLED
#include <SDL.h>

#include <GL/gl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "frame_timing.h"
#include "music.h"
#include "render_state.h"
#include "resize_scene.h"
#include "sound_hooks.h"
#include "timeline.h"

namespace {

constexpr int kWidth = 640, kHeight = 480;
constexpr FrameRate kRate{60, 1};

bool writePpm(const std::string& path, const std::vector<uint8_t>& bottomUp) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  std::fprintf(file, "P6\n%d %d\n255\n", kWidth, kHeight);
  bool ok = true;
  for (int y = kHeight - 1; y >= 0 && ok; --y)
    ok = std::fwrite(&bottomUp[static_cast<size_t>(y) * kWidth * 3], 1, kWidth * 3, file) == kWidth * 3;
  return std::fclose(file) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  SDL_SetMainReady();
  if (argc < 3) {
    std::fprintf(stderr, "usage: quendaloop_frames OUTDIR FRAME...\n");
    return 2;
  }
  const std::string outDir = argv[1];
  std::set<int64_t> wanted;
  for (int i = 2; i < argc; ++i) wanted.insert(std::strtoll(argv[i], nullptr, 10));
  soundSelectOutput(kSoundOutputOffline);
  if (SDL_Init(SDL_INIT_VIDEO) != 0) {
    std::fprintf(stderr, "SDL: %s\n", SDL_GetError());
    return 1;
  }
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  SDL_Window* window =
      SDL_CreateWindow("quendaloop_frames", 0, 0, kWidth, kHeight, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
  SDL_GLContext gl = window ? SDL_GL_CreateContext(window) : nullptr;
  if (!gl) {
    std::fprintf(stderr, "no GL context: %s\n", SDL_GetError());
    return 1;
  }
  std::fprintf(stderr, "GL: %s, %s\n", glGetString(GL_RENDERER), glGetString(GL_VERSION));
  resizeScene(kWidth, kHeight);
  if (!initRenderState() || !musicModule) return 1;
  glReadBuffer(GL_BACK);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  std::vector<uint8_t> rgb(static_cast<size_t>(kWidth) * kHeight * 3);
  const int64_t last = *wanted.rbegin();
  for (int64_t n = 0; n <= last; ++n) {
    const bool drawn = wanted.count(n) > 0;
    if (drawn) {
      glDisable(GL_SCISSOR_TEST);
    } else {
      glEnable(GL_SCISSOR_TEST);
      glScissor(0, 0, 0, 0);
    }
    renderFrame();
    if (drawn) {
      glReadPixels(0, 0, kWidth, kHeight, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
      char name[32];
      std::snprintf(name, sizeof name, "/frame-%06lld.ppm", static_cast<long long>(n));
      if (!writePpm(outDir + name, rgb)) {
        std::fprintf(stderr, "cannot write %s%s\n", outDir.c_str(), name);
        return 1;
      }
      std::printf("frame %lld scene %u\n", static_cast<long long>(n), sceneState);
    }
    const auto samples = static_cast<size_t>(sampleAtFrame(kRate, n + 1) - sampleAtFrame(kRate, n));
    if (soundRenderOffline(musicModule, nullptr, samples) != samples) return 1;
  }
  SDL_GL_DeleteContext(gl);
  SDL_DestroyWindow(window);
  SDL_Quit();
  return 0;
}
