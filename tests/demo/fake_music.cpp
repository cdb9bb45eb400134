// Music start and clock stand-ins: startMusic only logs, and the clock is
// whatever the test says.
#include <deque>

#include "demo_fakes.h"
#include "music.h"
#include "sound.h"

FMUSIC_MODULE* musicModule = nullptr;
std::atomic<float> flashDepth{0.0f};

namespace {
int32_t steadyTime = 0;
std::deque<int32_t> scripted;
int reads = 0;
}  // namespace

void startMusic() { callLog().push_back("startMusic"); }

void onInstrumentTrigger(FMUSIC_MODULE*, unsigned char) { flashDepth.store(flashDepth.load() + 19.0f); }

int FMUSIC_GetTime(FMUSIC_MODULE*) {
  ++reads;
  if (scripted.empty()) return steadyTime;
  const int32_t t = scripted.front();
  scripted.pop_front();
  return t;
}

void setMusicTime(int32_t ms) {
  steadyTime = ms;
  scripted.clear();
  reads = 0;
}

void scriptMusicTimes(std::initializer_list<int32_t> ms) { scripted.assign(ms.begin(), ms.end()); }

int musicTimeReads() { return reads; }
