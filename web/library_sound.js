// The page's side of the sound in a browser: the mixer host's schedule
// (src/sound/sound_mixer_frames.cpp) and the device, Web Audio
// (src/sound/sound_device_web.cpp). Linked with --js-library;
// openAudio waits for the browser (ASYNCIFY_IMPORTS).
//
// Frames mixed on the page's thread wait in a queue in the page; a node
// plays them. Where the page is a secure context (https, localhost) the node
// is an AudioWorklet (sound_worklet.js, beside the program), which plays on
// the browser's audio thread and is handed up to a node's worth of frames at
// a time; elsewhere, or when the worklet cannot be loaded, a ScriptProcessor,
// which takes them a buffer at a time on the page's thread.
//
// What is heard follows the node's reports: each says at which context time
// a block of frames plays, which output frame it starts with, and how many
// frames the node held then; the listener hears the context's playback
// position less its latencies.
//
// Module.sound: the open output, or null. Its gapFrames counts the silence
// the node played because the queue ran dry.

mergeInto(LibraryManager.library, {
  // The mixer host's passes (src/sound/sound_mixer_frames.cpp): one on every
  // animation frame, and every 100 ms while the page is hidden and its
  // animation frames stop. A generation number ends the schedule of an
  // earlier start.
  schedulePasses: function() {
    const generation = (Module.mixerGeneration = (Module.mixerGeneration || 0) + 1);
    const live = () => Module.mixerGeneration === generation;
    const onFrame = () => {
      if (!live()) return;
      _soundMixerFramePass();
      requestAnimationFrame(onFrame);
    };
    requestAnimationFrame(onFrame);
    const timer = setInterval(() => {
      if (!live())
        clearInterval(timer);
      else if (document.hidden)
        _soundMixerFramePass();
    }, 100);
  },

  endPasses: function() {
    Module.mixerGeneration = (Module.mixerGeneration || 0) + 1;
  },

  // Installed before the program starts: the first click or key press on the
  // page makes the audio context, inside the gesture.
  prepareAudioContext: function() {
    if (typeof document === 'undefined' || Module.soundGestureListener) return;
    const make = () => {
      document.removeEventListener('click', make, true);
      document.removeEventListener('keydown', make, true);
      const Context = globalThis.AudioContext || globalThis.webkitAudioContext;
      if (!Context || Module.audioContext) return;
      try {
        Module.audioContext = new Context({sampleRate: 44100, latencyHint: 'interactive'});
      } catch (e) {
        Module.audioContext = null;
      }
    };
    Module.soundGestureListener = make;
    document.addEventListener('click', make, true);
    document.addEventListener('keydown', make, true);
  },

  // Starts the context (waiting up to a second for it to run) and connects a
  // node that plays the queue, `nodeFrames` frames ahead. Returns 1, or 0
  // with nothing left open and a notice on the page that the show runs
  // without sound.
  openAudio__deps: ['$Asyncify'],
  openAudio: function(nodeFrames) {
    return Asyncify.handleAsync(async () => {
      const none = (why) => {
        if (Module.notice) Module.notice('No sound: ' + why + '. The show runs on without it.');
        return 0;
      };
      const ctx = Module.audioContext;
      if (!ctx) return none('this browser gives the page no audio output');
      if (ctx.sampleRate !== 44100) return none('the audio output does not run at 44100 Hz');
      if (ctx.state !== 'running') {
        await Promise.race([ctx.resume().catch(() => {}), new Promise((r) => setTimeout(r, 1000))]);
      }
      if (ctx.state !== 'running') return none('the browser did not start the audio output');
      const s =
          {ctx, kind: '', queue: [], queueAt: 0, queued: 0, written: 0, anchors: [], high: 0, gapFrames: 0};
      // Takes up to `n` queued frames into `left` and `right` at `offset`;
      // returns how many.
      s.take = (left, right, offset, n) => {
        let done = 0;
        while (done < n && s.queue.length > 0) {
          const c = s.queue[0];
          const take = Math.min(n - done, c.left.length - s.queueAt);
          left.set(c.left.subarray(s.queueAt, s.queueAt + take), offset + done);
          right.set(c.right.subarray(s.queueAt, s.queueAt + take), offset + done);
          done += take;
          s.queueAt += take;
          if (s.queueAt === c.left.length) {
            s.queue.shift();
            s.queueAt = 0;
          }
        }
        s.queued -= done;
        return done;
      };
      const anchor = (time, frame, held) => {
        s.anchors.push({time, frame, held});
        if (s.anchors.length > 8) s.anchors.shift();
      };
      const device = () => (ctx.outputLatency || 0) + (ctx.baseLatency || 0);
      if (window.isSecureContext && ctx.audioWorklet && typeof AudioWorkletNode === 'function') {
        try {
          await ctx.audioWorklet.addModule(locateFile('sound_worklet.js'));
          s.node =
              new AudioWorkletNode(ctx, 'quendaloop-queue', {numberOfInputs: 0, outputChannelCount: [2]});
          s.kind = 'worklet';
        } catch (e) {
          s.node = null;
        }
      }
      if (s.node) {
        // The node holds sent - played frames; it is topped up to nodeFrames
        // whenever it reports, and each report is an anchor.
        s.sent = 0;
        s.send = () => {
          const room = nodeFrames - (s.sent - s.played);
          if (room <= 0 || s.queued === 0) return;
          const left = new Float32Array(Math.min(room, s.queued));
          const right = new Float32Array(left.length);
          s.take(left, right, 0, left.length);
          s.sent += left.length;
          s.node.port.postMessage({left, right}, [left.buffer, right.buffer]);
        };
        s.played = 0;
        s.node.port.onmessage = (e) => {
          const m = e.data;
          anchor(m.time, m.frame, m.held);
          s.played = m.played;
          s.gapFrames = m.gapFrames;
          if (s.queued < nodeFrames) _soundWebWake();
          s.send();
          Module.soundLatencyMs = Math.round(device() * 1000);
        };
      } else {
        try {
          s.node = ctx.createScriptProcessor(nodeFrames, 0, 2);
        } catch (e) {
          return none('the browser could not make an audio node');
        }
        s.kind = 'script-processor';
        s.send = () => {};
        s.node.onaudioprocess = (event) => {
          const left = event.outputBuffer.getChannelData(0);
          const right = event.outputBuffer.getChannelData(1);
          const n = left.length;
          if (s.queued < n) _soundWebWake();
          const held = Math.min(s.queued, n);
          const done = s.take(left, right, 0, n);
          left.fill(0, done);
          right.fill(0, done);
          s.gapFrames += n - done;
          anchor(event.playbackTime, s.played, held);
          s.played += done;
          Module.soundLatencyMs = Math.round((event.playbackTime - ctx.currentTime + device()) * 1000);
        };
        s.played = 0;
      }
      s.node.connect(ctx.destination);
      Module.sound = s;
      return 1;
    });
  },

  heardFrame: function() {
    const s = Module.sound;
    const t = s.ctx.currentTime - (s.ctx.outputLatency || 0) - (s.ctx.baseLatency || 0);
    let heard = 0;
    for (let i = s.anchors.length - 1; i >= 0; --i) {
      const a = s.anchors[i];
      if (a.time <= t) {
        heard = a.frame + Math.min(Math.floor((t - a.time) * 44100), a.held);
        break;
      }
    }
    s.high = Math.max(s.high, heard);
    return s.high;
  },

  // Frames mixed but not yet handed to the node.
  queuedFrames: function() {
    return Module.sound.queued;
  },

  pushFrames: function(pcm, frames) {
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
    s.send();
  },

  // Drops what waits in the queue; returns the output frame written next.
  dropQueue: function() {
    const s = Module.sound;
    s.written -= s.queued;
    s.queue = [];
    s.queueAt = 0;
    s.queued = 0;
    return s.written;
  },

  closeAudio: function() {
    const s = Module.sound;
    if (!s) return;
    if (s.kind === 'worklet') {
      s.node.port.onmessage = null;
      s.node.port.postMessage({close: true});
    } else {
      s.node.onaudioprocess = null;
    }
    s.node.disconnect();
    Module.sound = null;
  },
});
