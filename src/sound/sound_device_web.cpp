// The system's sound device in a browser: Web Audio. Frames mixed on the
// page's thread wait in a queue in the page; a ScriptProcessor node takes
// them a buffer at a time and plays them. (A ScriptProcessor, not an
// AudioWorklet: a worklet needs a secure context, and the page is also served
// from plain addresses on a local network.)
//
// The audio context is made inside the page's first user gesture, which is
// the start question's answer: browsers start audio only there. What is
// heard follows the node's buffers: each records the context time at which
// it plays and which output frames it holds, and the listener hears the
// context's playback position less its latencies.
//
// Threads: the page has one; the node's callbacks run on it between the
// program's frames.
#include <emscripten.h>

#include <algorithm>
#include <cstdint>

#include "sound_device.h"

namespace {

// Frames the node takes per callback (about 93 ms): it plays one buffer
// while the page fills the next, so a frame of the page may take that long
// without a gap.
constexpr int kNodeFrames = 4096;
// Frames kept mixed ahead in the queue, beyond what the node holds.
constexpr int kQueueFrames = 8192;
constexpr int kChunkFrames = 2048;

int16_t chunk[kChunkFrames * 2];

// Installed before the program starts: the first click or key press on the
// page makes the audio context, inside the gesture.
// clang-format off
EM_JS(void, prepareAudioContext, (), {
  if (typeof document === "undefined" || Module.soundGestureListener) return;
  const make = () => {
    document.removeEventListener("click", make, true);
    document.removeEventListener("keydown", make, true);
    const Context = globalThis.AudioContext || globalThis.webkitAudioContext;
    if (!Context || Module.audioContext) return;
    try {
      Module.audioContext = new Context({sampleRate: 44100, latencyHint: "interactive"});
    } catch (e) {
      Module.audioContext = null;
    }
  };
  Module.soundGestureListener = make;
  document.addEventListener("click", make, true);
  document.addEventListener("keydown", make, true);
});
// clang-format on

// Starts the context (waiting up to a second for it to run) and connects a
// node that plays the queue. Returns 1, or 0 with nothing left open.
// clang-format off
EM_ASYNC_JS(int, openAudio, (int nodeFrames), {
  const ctx = Module.audioContext;
  if (!ctx || ctx.sampleRate !== 44100) return 0;
  if (ctx.state !== "running") {
    await Promise.race([ctx.resume().catch(() => {}), new Promise((r) => setTimeout(r, 1000))]);
  }
  if (ctx.state !== "running") return 0;
  let node;
  try {
    node = ctx.createScriptProcessor(nodeFrames, 0, 2);
  } catch (e) {
    return 0;
  }
  // gapFrames: silence the node played because the queue ran dry.
  const s = {ctx, node, queue: [], queueAt: 0, queued: 0, written: 0, consumed: 0, anchors: [], high: 0,
             gapFrames: 0};
  node.onaudioprocess = (event) => {
    const left = event.outputBuffer.getChannelData(0);
    const right = event.outputBuffer.getChannelData(1);
    const n = left.length;
    if (s.queued < n) _soundWebWake();
    let done = 0;
    while (done < n && s.queue.length > 0) {
      const c = s.queue[0];
      const take = Math.min(n - done, c.left.length - s.queueAt);
      left.set(c.left.subarray(s.queueAt, s.queueAt + take), done);
      right.set(c.right.subarray(s.queueAt, s.queueAt + take), done);
      done += take;
      s.queueAt += take;
      if (s.queueAt === c.left.length) {
        s.queue.shift();
        s.queueAt = 0;
      }
    }
    left.fill(0, done);
    right.fill(0, done);
    s.gapFrames += n - done;
    s.anchors.push({time: event.playbackTime, frame: s.consumed, real: done});
    if (s.anchors.length > 8) s.anchors.shift();
    s.consumed += done;
    s.queued -= done;
    const lead = event.playbackTime - ctx.currentTime;
    const device = (ctx.outputLatency || 0) + (ctx.baseLatency || 0);
    Module.soundLatencyMs = Math.round((lead + device) * 1000);
  };
  node.connect(ctx.destination);
  Module.sound = s;
  return 1;
});
// clang-format on

// clang-format off
EM_JS(double, heardFrame, (), {
  const s = Module.sound;
  const t = s.ctx.currentTime - (s.ctx.outputLatency || 0) - (s.ctx.baseLatency || 0);
  let heard = 0;
  for (let i = s.anchors.length - 1; i >= 0; --i) {
    const a = s.anchors[i];
    if (a.time <= t) {
      heard = a.frame + Math.min(Math.floor((t - a.time) * 44100), a.real);
      break;
    }
  }
  s.high = Math.max(s.high, heard);
  return s.high;
});
// clang-format on

// clang-format off
EM_JS(int, queuedFrames, (), { return Module.sound.queued; });
// clang-format on

// clang-format off
EM_JS(void, pushFrames, (const int16_t* pcm, int frames), {
  const s = Module.sound;
  const left = new Float32Array(frames);
  const right = new Float32Array(frames);
  const from = pcm >> 1;
  for (let i = 0; i < frames; ++i) {
    left[i] = HEAP16[from + 2 * i] / 32768;
    right[i] = HEAP16[from + 2 * i + 1] / 32768;
  }
  s.queue.push({left, right});
  s.queued += frames;
  s.written += frames;
});
// clang-format on

// Drops what waits in the queue; returns the output frame written next.
// clang-format off
EM_JS(double, dropQueue, (), {
  const s = Module.sound;
  s.written -= s.queued;
  s.queue = [];
  s.queueAt = 0;
  s.queued = 0;
  return s.written;
});
// clang-format on

// clang-format off
EM_JS(void, closeAudio, (), {
  const s = Module.sound;
  if (!s) return;
  s.node.onaudioprocess = null;
  s.node.disconnect();
  Module.sound = null;
});
// clang-format on

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
