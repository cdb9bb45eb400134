// The show's sound on the browser's audio thread: an AudioWorklet processor
// that plays the frames the page sends ({left, right}: Float32Arrays of one
// length), in order, silence when none wait. Every eighth block of 128 frames
// it reports to the page the context time of that block, the output frame it
// started with, the frames it held then, the frames played so far and the
// silent frames played for want of any. {close: true} ends it.
class QueuePlayer extends AudioWorkletProcessor {
  constructor() {
    super();
    this.queue = [];
    this.at = 0;    // frames of queue[0] already played
    this.held = 0;  // frames waiting
    this.played = 0;
    this.gapFrames = 0;
    this.blocks = 0;
    this.closed = false;
    this.port.onmessage = (e) => {
      if (e.data.close) {
        this.closed = true;
        return;
      }
      this.queue.push(e.data);
      this.held += e.data.left.length;
    };
  }

  process(inputs, outputs) {
    if (this.closed) return false;
    const [left, right] = outputs[0];
    const n = left.length;
    const report = {time: currentTime, frame: this.played, held: this.held};
    let done = 0;
    while (done < n && this.queue.length > 0) {
      const c = this.queue[0];
      const take = Math.min(n - done, c.left.length - this.at);
      left.set(c.left.subarray(this.at, this.at + take), done);
      right.set(c.right.subarray(this.at, this.at + take), done);
      done += take;
      this.at += take;
      if (this.at === c.left.length) {
        this.queue.shift();
        this.at = 0;
      }
    }
    left.fill(0, done);
    right.fill(0, done);
    this.held -= done;
    this.played += done;
    this.gapFrames += n - done;
    if (++this.blocks % 8 === 0) {
      report.played = this.played;
      report.gapFrames = this.gapFrames;
      this.port.postMessage(report);
    }
    return true;
  }
}

registerProcessor('quendaloop-queue', QueuePlayer);
