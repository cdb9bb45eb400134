// The system's sound device in a browser: Web Audio, through the page's side
// in web/library_sound.js. Frames mixed on the page's thread wait in a queue
// in the page; an AudioWorklet node plays them where the page is a secure
// context, a ScriptProcessor node elsewhere (a worklet needs a secure
// context, and the page is also served from plain addresses on a local
// network).
//
// The audio context is made inside the page's first user gesture, which is
// the start question's answer: browsers start audio only there. What is
// heard follows the node's reports of the context time at which its frames
// play.
//
// Threads: the page has one; the node's callbacks (a worklet's reports) run
// on it between the program's frames.
#include <emscripten.h>

#include <algorithm>
#include <cstdint>

#include "sound_device.h"

// The page's side, in web/library_sound.js.
extern "C" {
void prepareAudioContext();
int openAudio(int nodeFrames);
double heardFrame();
int queuedFrames();
void pushFrames(const int16_t* pcm, int frames);
double dropQueue();
void closeAudio();
}

namespace {

// Frames the node holds (about 93 ms): it plays them while the page fills
// more, so a frame of the page may take that long without a gap.
constexpr int kNodeFrames = 4096;
// Frames kept mixed ahead in the queue, beyond what the node holds.
constexpr int kQueueFrames = 8192;
constexpr int kChunkFrames = 2048;

int16_t chunk[kChunkFrames * 2];

void (*wakeMixer)() = nullptr;

class WebDevice final : public RealTimeSoundDevice {
 public:
  int64_t heard() override { return static_cast<int64_t>(heardFrame()); }

  // What was queued ahead is dropped: the module is heard right after what
  // the node already holds.
  int64_t start(int64_t) override { return static_cast<int64_t>(dropQueue()); }

  void fill(SoundSource& source, int64_t) override {
    for (int room = kQueueFrames - queuedFrames(); room > 0;) {
      const size_t got = source.read(chunk, static_cast<size_t>(std::min(room, kChunkFrames)));
      pushFrames(chunk, static_cast<int>(got));
      room -= static_cast<int>(got);
    }
  }

  // The node asks for a pass when the queue runs short.
  int64_t refillAt() const override { return INT64_MAX; }

  void close() override {
    closeAudio();
    wakeMixer = nullptr;
  }
};

WebDevice webDevice;

const bool gestureListenerInstalled = (prepareAudioContext(), true);

}  // namespace

extern "C" EMSCRIPTEN_KEEPALIVE void soundWebWake() {
  if (wakeMixer != nullptr) wakeMixer();
}

RealTimeSoundDevice* soundDeviceOpenSystem(void (*wake)()) {
  (void)gestureListenerInstalled;
  if (!openAudio(kNodeFrames)) return nullptr;
  wakeMixer = wake;
  return &webDevice;
}
