// sound_worklet.js - a sound's samples, as the audio graph renders them, to
// the page: its first two channels (a mono sound on both), untouched (no
// window, scaling or smoothing), gathered into blocks of kBlock sample
// frames and posted as { frame, planes }: `frame` is the context's sample
// frame of the block's first sample (the clock AudioContext.currentTime
// counts in seconds), `planes` two Float32Arrays. Rendered quanta without
// any input (a source not started) are passed over; the next block starts
// where the sound does again.
const kBlock = 512;

class LumagroveTap extends AudioWorkletProcessor {
  constructor() {
    super();
    this.fresh();
  }

  fresh() {
    this.planes = [new Float32Array(kBlock), new Float32Array(kBlock)];
    this.filled = 0;
    this.first = 0;
  }

  post() {
    if (!this.filled) return;
    const planes = this.planes.map((p) => (this.filled < kBlock ? p.slice(0, this.filled) : p));
    this.port.postMessage({ frame: this.first, planes }, planes.map((p) => p.buffer));
    this.fresh();
  }

  process(inputs) {
    const input = inputs[0];
    if (!input || input.length === 0) {
      this.post();
      return true;
    }
    const left = input[0], right = input.length > 1 ? input[1] : input[0];
    if (this.filled && this.first + this.filled !== currentFrame) this.post();  // a gap: a new block
    if (!this.filled) this.first = currentFrame;
    for (let done = 0; done < left.length;) {
      const n = Math.min(left.length - done, kBlock - this.filled);
      this.planes[0].set(left.subarray(done, done + n), this.filled);
      this.planes[1].set(right.subarray(done, done + n), this.filled);
      this.filled += n;
      done += n;
      if (this.filled === kBlock) {
        const next = this.first + kBlock;
        this.post();
        this.first = next;
      }
    }
    return true;
  }
}
registerProcessor('lumagrove-tap', LumagroveTap);
