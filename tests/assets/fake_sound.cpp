// A scripted sound library: the version and the results of initialisation
// and loading are set by the test, and every call is logged.
#include "fake_sound.h"

#include <cstdio>

float fakeVersion = 3.6f;
signed char fakeInitResult = 1;
bool fakeLoadFails = false;
std::vector<std::string> fakeCalls;
FMUSIC_CALLBACK fakeCallback = nullptr;

struct FMUSIC_MODULE {
  int serial;
};

namespace {
FMUSIC_MODULE modules[8] = {{0}, {1}, {2}, {3}, {4}, {5}, {6}, {7}};
int loaded = 0;

std::string describe(const FMUSIC_MODULE* mod) { return "module " + std::to_string(mod->serial); }
}  // namespace

float FSOUND_GetVersion() {
  fakeCalls.push_back("GetVersion");
  return fakeVersion;
}

signed char FSOUND_Init(int mixrate, int maxsoftwarechannels, unsigned int flags) {
  fakeCalls.push_back("Init " + std::to_string(mixrate) + " " + std::to_string(maxsoftwarechannels) + " " +
                      std::to_string(flags));
  return fakeInitResult;
}

FMUSIC_MODULE* FMUSIC_LoadSong(const char* name) {
  fakeCalls.push_back(std::string("LoadSong ") + name);
  if (fakeLoadFails) return nullptr;
  return &modules[loaded++ % 8];
}

signed char FMUSIC_PlaySong(FMUSIC_MODULE* mod) {
  fakeCalls.push_back("PlaySong " + describe(mod));
  return 1;
}

signed char FMUSIC_SetInstCallback(FMUSIC_MODULE* mod, FMUSIC_CALLBACK callback, int instrument) {
  fakeCalls.push_back("SetInstCallback " + describe(mod) + " " + std::to_string(instrument));
  fakeCallback = callback;
  return 1;
}

int FMUSIC_GetTime(FMUSIC_MODULE*) { return 0; }
