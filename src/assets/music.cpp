#include "music.h"

#include <cstdlib>

#include "platform.h"

FMUSIC_MODULE* musicModule = nullptr;
std::atomic<float> flashDepth{0.0f};

const char* const kMusicFile = "pelvorgrind.xm";

namespace {

constexpr const char* kCaption = "Ravnel demoengine";

[[noreturn]] void failMusic(const char* text) {
  platformMessageBox(nullptr, text, kCaption, MB_OK | MB_ICONINFORMATION);
  std::exit(1);
}

}  // namespace

void startMusic() {
  if (!(FSOUND_GetVersion() >= 3.6f)) {  // also refuses a NaN
    failMusic("You are using the wrong DLL version! You should be using FMOD 3.6.0");
  }
  if (!FSOUND_Init(44100, 64, 2)) failMusic("Init failed");
  musicModule = FMUSIC_LoadSong(kMusicFile);
  if (musicModule == nullptr) failMusic("there is no module!");
  FMUSIC_PlaySong(musicModule);
  FMUSIC_SetInstCallback(musicModule, onInstrumentTrigger, 1);
}

void onInstrumentTrigger(FMUSIC_MODULE*, unsigned char) {
  float depth = flashDepth.load();
  while (!flashDepth.compare_exchange_weak(depth, depth + 19.0f)) {
  }
}
