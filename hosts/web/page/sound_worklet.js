// sound_worklet.js - the live input's samples, as they come, to the page:
// each block of the input's first two channels (a mono input on both) posted
// as two Float32Arrays, untouched (no window, scaling or smoothing).
class LumagroveTap extends AudioWorkletProcessor {
  process(inputs) {
    const input = inputs[0];
    if (input && input.length > 0) {
      const left = input[0].slice(0);
      const right = (input.length > 1 ? input[1] : input[0]).slice(0);
      this.port.postMessage([left, right], [left.buffer, right.buffer]);
    }
    return true;
  }
}
registerProcessor('lumagrove-tap', LumagroveTap);
