// page.js - the Lumagrove page: a song chosen or dropped, or the microphone,
// drawn each animation frame by the plug-in on the canvas at device pixels;
// pause and seek, fullscreen, and recording what is shown, with its sound.
//
// Sound reaches the host's analysis as it is rendered, through an
// AudioWorklet (sound_worklet.js), in blocks stamped with the context's
// sample frame. A song is never decoded whole: a media element plays it from
// the file, so a song of any length takes the same memory. What is heard of
// a song is held back (a DelayNode) by half an analysis window and a little
// slack, so the picture of what is heard is drawn from the window centred on
// it, as the other hosts draw a song; the analysis keeps the newest 10 s.
//
// A song's clocks: the store's sound time counts the sound taken since the
// song started or was last sought (its sample 0 taken at context frame
// `frame0`, at `origin` seconds into the song); the picture shows the sound
// time of what is heard now, and the song's position is `origin` on from it.
//
// window.lumagrove is the tests' hold on the page: while it replays levels
// the page draws only the frames it is asked for.
'use strict';

(async function () {
  const $ = (id) => document.getElementById(id);
  const canvas = $('canvas');

  function say(text) {
    $('message').textContent = text;
    $('message').hidden = !text;
  }

  let module;
  try {
    module = await LumagroveModule({ canvas: canvas, print: () => {}, printErr: () => {} });
  } catch (e) {
    say('Lumagrove cannot start in this browser: ' + e);
    return;
  }
  const started = module._page_start();
  if (started !== 0) {
    say(started === 1
      ? 'Lumagrove needs WebGL, and this browser gives the page none (it may be switched off in its settings).'
      : 'Lumagrove cannot start: ' + module.UTF8ToString(module._page_error()));
    for (const id of ['choose', 'file', 'mic', 'play', 'progress', 'record', 'fullscreen']) $(id).disabled = true;
    return;
  }

  let audio = null;        // the AudioContext, made on the first gesture
  let mode = 'idle';       // 'song', 'live' or 'replay'
  let song = null;         // the song playing or paused (openSong)
  let live = null;         // { stream, input, node }
  let speakers = null;     // what is heard: a song's sound (the microphone's is not)
  let recordBus = null;    // what a recording takes its sound from, whatever plays
  let recorder = null;
  let choice = 0;          // the newest choice of a sound: an older one still loading gives way
  const since = performance.now();

  let worklet = null;      // the tap's module, loading or loaded

  async function ensureAudio() {
    if (!audio) {
      audio = new AudioContext();
      speakers = audio.createGain();
      speakers.connect(audio.destination);
      recordBus = audio.createGain();
      worklet = audio.audioWorklet.addModule('sound_worklet.js');
    }
    await audio.resume();
    await worklet;
  }

  // A tap on `node`'s sound: its blocks to `take`. The tap is pulled by the
  // graph through a silent path to the speakers.
  function tapOn(node, take) {
    const tap = new AudioWorkletNode(audio, 'lumagrove-tap');
    const mute = audio.createGain();
    mute.gain.value = 0;
    node.connect(tap).connect(mute).connect(audio.destination);
    tap.port.onmessage = (e) => take(e.data);
    return { tap, mute };
  }
  function untap(t) {
    t.tap.port.onmessage = null;
    t.tap.disconnect();
    t.mute.disconnect();
  }
  const contextFrame = () => Math.round(audio.currentTime * audio.sampleRate);

  // Planar samples into the host's store, `frames` of each plane.
  function pushSound(planes, frames) {
    const channels = planes.length;
    for (let done = 0; done < frames;) {
      const n = Math.min(65536, frames - done);
      const at = module._page_sound_memory(n) >> 2;
      const heap = module.HEAPF32;  // after the call: memory may have grown
      for (let i = 0; i < n; ++i)
        for (let c = 0; c < channels; ++c) heap[at + i * channels + c] = planes[c][done + i];
      module._page_push(n);
      done += n;
    }
  }

  function stopSound() {
    if (song) {
      const element = song.element;
      element.onended = element.onerror = element.onseeked = null;
      element.onpause = element.onplay = element.ondurationchange = null;
      element.pause();
      element.removeAttribute('src');
      element.load();  // lets go of the file
      URL.revokeObjectURL(song.url);
      untap(song.tap);
      song.source.disconnect();
      song.delay.disconnect();
      song.gate.disconnect();
      clearTimeout(song.peekTimer);
    }
    if (live) { live.stream.getTracks().forEach((t) => t.stop()); live.input.disconnect(); untap(live.tap); }
    song = null;
    live = null;
    if (mode !== 'replay') mode = 'idle';
    $('play').disabled = $('progress').disabled = true;
  }

  // --- a song, streamed --------------------------------------------------------

  const kSlack = 0.05;  // seconds of sound held back past half a window: the blocks' way to the page

  // The song's length in seconds (0 while unknown: a stream that says none).
  const songLength = (s) => (Number.isFinite(s.element.duration) ? s.element.duration : 0);

  // A block from the tap: what falls in the taking span goes to the store.
  function takeSong(s, block) {
    if (song !== s) return;
    const n = block.planes[0].length;
    const from = Math.max(block.frame, s.from), to = Math.min(block.frame + n, s.until);
    if (to <= from) return;
    if (s.frame0 === null) s.frame0 = from - s.taken;
    pushSound(block.planes.map((p) => p.subarray(from - block.frame, to - block.frame)), to - from);
    s.taken += to - from;
    if (s.peeking && s.taken >= s.peeking.frames) endPeek(s);
  }

  // The sound time of what would be heard now: the sample tapped a delay
  // ago, never back, and while the song plays never closer to the newest
  // sound than half a window (late blocks hold the picture, not blank it);
  // during a peek (below) no further than the position sought.
  function songSoundTime(s) {
    const rate = audio.sampleRate, newest = s.taken / rate;
    let at = s.shown;
    if (s.frame0 !== null) at = audio.currentTime - s.delaySeconds - s.frame0 / rate;
    let limit = Math.max(s.shown, s.playing ? newest - s.heldBack : newest);
    if (s.pinned !== null) limit = Math.min(limit, s.pinned);
    s.shown = Math.min(Math.max(at, s.shown), limit);
    return s.shown;
  }

  function songPosition() {
    if (!song) return 0;
    const at = song.origin + song.shown, length = songLength(song);
    return length ? Math.min(at, length) : at;
  }

  // The song's sound from here on is a new stretch of the store: taken from
  // the first block at or after `from` (context frames).
  function takeFrom(s, from) {
    s.from = from;
    s.until = Infinity;
    s.frame0 = null;
  }

  function play(s) {
    const peeked = s.peeking || s.peeked;
    cancelPeek(s);
    if (peeked) {
      s.element.currentTime = peeked.at;
      restartStore(s, peeked.at);
    }
    s.gate.gain.value = 1;
    s.origin = s.element.currentTime - s.taken / audio.sampleRate;
    takeFrom(s, s.element.seeking ? Infinity : contextFrame());
    s.playing = true;
    $('play').textContent = 'Pause';
    s.element.play().catch((e) => {
      if (song !== s || !s.playing) return;
      stop(s);
      say('"' + s.name + '" cannot be played: ' + (e && e.message ? e.message : e));
    });
  }

  function stop(s) {
    s.until = contextFrame();
    s.playing = false;
    s.element.pause();
    $('play').textContent = 'Play';
  }

  // The store and the analysis afresh: sound time 0 is `origin` in the song.
  function restartStore(s, origin) {
    module._page_restart();
    s.taken = 0;
    s.shown = 0;
    s.origin = origin;
  }

  // A seek starts the store and the analysis afresh at the new position;
  // the sound is taken again once the element is there (onseeked).
  function seekSong(s, at) {
    cancelPeek(s);
    s.element.currentTime = at;
    restartStore(s, at);
    takeFrom(s, Infinity);
    if (!s.playing) {
      s.until = -Infinity;
      s.peekTimer = setTimeout(() => peek(s, at), kPeekSettle);
    }
  }

  // While paused, the picture of a position sought is drawn from its own
  // sound: once the seeks settle, the element plays unheard (gated off from
  // the speakers and recordings) from a little more than half a window
  // before it to as much past it, its sound taken and its picture drawn as
  // when it plays (the analysis follows sound only as time goes by), up to
  // the position, where it stops. Play then starts the sound afresh there.
  const kPeekSettle = 150;  // ms after the last seek
  function peek(s, at) {
    s.peekTimer = 0;
    if (song !== s || s.playing) return;
    const reach = s.heldBack + kSlack, from = Math.max(0, at - reach);
    s.peeking = { at, frames: Math.ceil((at - from + reach) * audio.sampleRate) };
    s.gate.gain.value = 0;
    s.element.currentTime = from;
    restartStore(s, from);
    s.pinned = at - from;
    takeFrom(s, Infinity);
    s.element.play().catch(() => cancelPeek(s));
  }
  function endPeek(s) {
    s.peeked = s.peeking;
    s.peeking = null;
    s.until = -Infinity;
    s.element.pause();
    s.element.currentTime = s.peeked.at;
  }
  function cancelPeek(s) {
    clearTimeout(s.peekTimer);
    s.peekTimer = 0;
    if (s.peeking) {
      s.peeking = null;
      s.until = -Infinity;
      s.element.pause();
    }
    s.peeked = null;
    s.pinned = null;
  }

  // Each choice (a song chosen or dropped, the microphone) cancels whatever
  // was loading: once a newer one is made, an older one gives way silently.
  async function openSong(file) {
    const mine = ++choice;
    await ensureAudio();
    if (mine !== choice) return;
    const element = new Audio();
    const url = URL.createObjectURL(file);
    element.preload = 'auto';
    element.src = url;
    try {
      await new Promise((loaded, failed) => {
        element.onloadedmetadata = loaded;
        element.onerror = () => failed(element.error);
      });
    } catch (e) {
      element.removeAttribute('src');
      URL.revokeObjectURL(url);
      if (mine === choice) say('"' + file.name + '" cannot be played: the browser cannot decode it as sound.');
      return;
    }
    element.onloadedmetadata = null;
    if (mine !== choice) {
      element.onerror = null;
      element.removeAttribute('src');
      element.load();
      URL.revokeObjectURL(url);
      return;
    }
    stopSound();
    module._page_sound(audio.sampleRate, 2, 2);
    const heldBack = module._page_held_back();
    const s = {
      element, url, name: file.name, heldBack, delaySeconds: heldBack + kSlack,
      source: audio.createMediaElementSource(element), delay: null, tap: null,
      taken: 0, shown: 0, origin: 0, frame0: null, from: Infinity, until: Infinity, playing: false,
      gate: audio.createGain(), peekTimer: 0, peeking: null, peeked: null, pinned: null,
    };
    s.delay = new DelayNode(audio, { maxDelayTime: 1, delayTime: s.delaySeconds });
    s.source.connect(s.gate).connect(s.delay);
    s.delay.connect(speakers);
    s.delay.connect(recordBus);
    s.tap = tapOn(s.source, (block) => takeSong(s, block));
    element.onseeked = () => {
      if (song !== s || element.seeking) return;  // (a later seek still under way)
      if (s.playing || s.peeking) takeFrom(s, contextFrame());
    };
    element.onended = () => {
      if (song === s && s.peeking) endPeek(s);
      else if (song === s) stop(s);
    };
    // The browser may pause or play the element itself (a headset unplugged,
    // the system's media keys): the page follows.
    element.onpause = () => { if (song === s && s.playing) stop(s); };
    element.onplay = () => { if (song === s && !s.playing && !s.peeking) play(s); };
    element.ondurationchange = () => { if (song === s) $('progress').disabled = !songLength(s); };
    element.onerror = () => {
      if (song !== s) return;
      stop(s);
      say('"' + s.name + '" stopped: the browser could not read it further.');
    };
    song = s;
    mode = 'song';
    $('title').textContent = file.name;
    $('play').disabled = false;
    $('progress').disabled = !songLength(s);
    $('record').disabled = false;
    say('');
    play(s);
  }

  async function openMicrophone() {
    const mine = ++choice;
    await ensureAudio();
    let stream;
    try {
      stream = await navigator.mediaDevices.getUserMedia({
        audio: { echoCancellation: false, noiseSuppression: false, autoGainControl: false } });
    } catch (e) {
      if (stream) stream.getTracks().forEach((t) => t.stop());
      if (mine !== choice) return;
      say(e && e.name === 'NotAllowedError'
        ? 'The microphone was not allowed: permit it for this page to see what it hears.'
        : 'No microphone can be had: ' + (e && e.message ? e.message : e));
      return;
    }
    if (mine !== choice) {
      stream.getTracks().forEach((t) => t.stop());
      return;
    }
    stopSound();
    const input = audio.createMediaStreamSource(stream);
    input.connect(recordBus);
    module._page_sound(audio.sampleRate, 2, 1);
    live = { stream, input, tap: tapOn(input, (block) => pushSound(block.planes, block.planes[0].length)) };
    mode = 'live';
    $('title').textContent = 'Microphone';
    $('record').disabled = false;
    say('');
  }

  function togglePause() {
    if (mode !== 'song' || !song) return;
    if (song.playing) stop(song);
    else {
      if (song.element.ended) seekSong(song, 0);
      play(song);
    }
  }

  // A WebM from MediaRecorder carries no duration (players cannot seek it):
  // the Duration element (float, in the Info's timecode scale, 1 ms unless
  // said) is put in its Segment's Info, whose size is written anew. The
  // Segment's own size is MediaRecorder's "unknown"; what follows moves on.
  function withDuration(bytes, milliseconds) {
    const id = (at) => { let n = 1; for (let b = bytes[at]; n <= 4 && !(b & (0x100 >> n)); ++n); return n; };
    const size = (at) => {
      let n = 1;
      while (n <= 8 && !(bytes[at] & (0x100 >> n))) ++n;
      let value = bytes[at] & ((0x100 >> n) - 1);
      for (let i = 1; i < n; ++i) value = value * 256 + bytes[at + i];
      return { length: n, value, unknown: value === 2 ** (7 * n) - 1 };
    };
    const idAt = (at, n) => Array.from(bytes.subarray(at, at + n)).reduce((v, b) => v * 256 + b, 0);
    let at = 0;
    // The EBML header, then the Segment and into it.
    const headerIdLength = id(at), header = size(at + headerIdLength);
    at += headerIdLength + header.length + header.value;
    if (idAt(at, 4) !== 0x18538067) return bytes;
    at += 4 + size(at + 4).length;
    for (let guard = 0; guard < 64 && at < bytes.length; ++guard) {
      const n = id(at), element = idAt(at, n), s2 = size(at + n);
      if (s2.unknown) return bytes;
      if (element !== 0x1549A966) { at += n + s2.length + s2.value; continue; }
      // The Info: add the Duration (8-byte float) after what it holds.
      const body = bytes.subarray(at + n + s2.length, at + n + s2.length + s2.value);
      const duration = new Uint8Array(11);
      duration.set([0x44, 0x89, 0x88]);
      new DataView(duration.buffer).setFloat64(3, milliseconds);
      const newSize = s2.value + duration.length, sizeBytes = new Uint8Array(8);
      sizeBytes[0] = 0x01;
      for (let i = 7, v = newSize; i >= 1; --i, v = Math.floor(v / 256)) sizeBytes[i] = v % 256;
      const out = new Uint8Array(bytes.length + duration.length + 8 - s2.length);
      let o = 0;
      const put = (part) => { out.set(part, o); o += part.length; };
      put(bytes.subarray(0, at + n));
      put(sizeBytes);
      put(body);
      put(duration);
      put(bytes.subarray(at + n + s2.length + s2.value));
      return out;
    }
    return bytes;
  }

  function toggleRecording() {
    if (recorder) { recorder.stop(); return; }
    // The sound of whatever plays, through every change of song or to the microphone.
    const tracks = canvas.captureStream(60).getVideoTracks();
    let out = null;
    if (recordBus) {
      out = audio.createMediaStreamDestination();
      recordBus.connect(out);
      tracks.push(...out.stream.getAudioTracks());
    }
    const chunks = [];
    const began = performance.now();
    recorder = new MediaRecorder(new MediaStream(tracks), { mimeType: 'video/webm;codecs=vp8,opus' });
    recorder.ondataavailable = (e) => { if (e.data.size) chunks.push(e.data); };
    recorder.onstop = async () => {
      recorder = null;
      if (out) recordBus.disconnect(out);
      $('record').textContent = 'Record';
      const recorded = new Uint8Array(await new Blob(chunks).arrayBuffer());
      const link = document.createElement('a');
      link.href = URL.createObjectURL(new Blob([withDuration(recorded, performance.now() - began)], { type: 'video/webm' }));
      link.download = 'lumagrove.webm';
      document.body.appendChild(link);
      link.click();
      link.remove();
    };
    recorder.start(250);
    $('record').textContent = 'Stop';
  }

  function fullscreen() {
    if (document.fullscreenElement) document.exitFullscreen();
    else document.documentElement.requestFullscreen().catch(() => {});
  }

  // The canvas at device pixels, the size it is shown at.
  function fitCanvas() {
    const ratio = window.devicePixelRatio || 1;
    const width = Math.max(1, Math.round(canvas.clientWidth * ratio));
    const height = Math.max(1, Math.round(canvas.clientHeight * ratio));
    if (canvas.width !== width || canvas.height !== height) { canvas.width = width; canvas.height = height; }
  }

  function draw() {
    requestAnimationFrame(draw);
    if (mode === 'replay') return;
    fitCanvas();
    let time = (performance.now() - since) / 1000, soundTime = time;
    if (mode === 'song' && song) {
      soundTime = songSoundTime(song);
      time = songPosition();
      showPosition(time);
    } else if (mode === 'live') {
      time = soundTime = module._page_sound_end();
    }
    module._page_frame(time, soundTime);
  }

  // "m:ss" (or "h:mm:ss") of a time in seconds, for the position's spoken value.
  function clock(seconds) {
    const s = Math.max(0, Math.floor(seconds)), h = Math.floor(s / 3600), m = Math.floor(s / 60) % 60;
    const ss = String(s % 60).padStart(2, '0');
    return h ? `${h}:${String(m).padStart(2, '0')}:${ss}` : `${m}:${ss}`;
  }
  function showPosition(at) {
    const length = song ? songLength(song) : 0;
    $('progress').value = length ? Math.round(1000 * at / length) : 0;
    $('progress').setAttribute('aria-valuetext', length ? `${clock(at)} of ${clock(length)}` : clock(at));
  }
  function seekTo(at) {
    if (mode !== 'song' || !songLength(song)) return;
    seekSong(song, Math.min(Math.max(0, at), songLength(song)));
    showPosition(songPosition());
  }

  // A choice that fails where nothing else says why (Web Audio refused, the
  // tap's module not loaded) is said on the page, never thrown.
  function choose(open, ...what) {
    const mine = choice + 1;
    open(...what).catch((e) => { if (mine === choice) say('Lumagrove cannot play: ' + (e && e.message ? e.message : e)); });
  }

  // The song chooser is a button: Tab reaches it, Enter and Space open the chooser.
  $('choose').addEventListener('click', () => $('file').click());
  $('file').addEventListener('change', (e) => {
    if (e.target.files[0]) choose(openSong, e.target.files[0]);
    e.target.value = '';  // the same file chosen again is a choice again
  });
  $('mic').addEventListener('click', () => choose(openMicrophone));
  $('play').addEventListener('click', togglePause);
  $('record').addEventListener('click', toggleRecording);
  $('fullscreen').addEventListener('click', fullscreen);
  $('progress').addEventListener('input', (e) => {
    if (mode === 'song') seekTo(e.target.value / 1000 * songLength(song));
  });
  // On the position, the arrows move 5 s (Home and End to the ends).
  $('progress').addEventListener('keydown', (e) => {
    if (mode !== 'song') return;
    const steps = { ArrowRight: 5, ArrowUp: 5, ArrowLeft: -5, ArrowDown: -5 };
    if (e.key in steps) seekTo(songPosition() + steps[e.key]);
    else if (e.key === 'Home') seekTo(0);
    else if (e.key === 'End') seekTo(songLength(song));
    else return;
    e.preventDefault();
  });
  document.addEventListener('fullscreenchange', () => {
    $('fullscreen').textContent = document.fullscreenElement ? 'Exit fullscreen' : 'Fullscreen';
  });
  // The page's own keys only where no control takes them: Space presses a
  // focused button, the arrows move a focused position.
  window.addEventListener('keydown', (e) => {
    const focused = document.activeElement;
    const control = focused && focused !== document.body && /^(BUTTON|INPUT|SELECT|TEXTAREA|A)$/.test(focused.tagName);
    if (control || e.ctrlKey || e.metaKey || e.altKey) return;
    if (e.code === 'Space') { e.preventDefault(); togglePause(); }
    else if (e.key === 'f' || e.key === 'F') fullscreen();
    else if (e.key === 'ArrowRight') seekTo(songPosition() + 5);
    else if (e.key === 'ArrowLeft') seekTo(songPosition() - 5);
  });
  window.addEventListener('dragover', (e) => { e.preventDefault(); document.body.classList.add('dragging'); });
  window.addEventListener('dragleave', () => document.body.classList.remove('dragging'));
  window.addEventListener('drop', (e) => {
    e.preventDefault();
    document.body.classList.remove('dragging');
    if (e.dataTransfer.files[0]) choose(openSong, e.dataTransfer.files[0]);
  });

  // The tests' hold on the page.
  window.lumagrove = {
    // Levels from a CSV's text; then the frames asked for, at their sizes and times.
    replay(csv) {
      module.FS.writeFile('/levels.csv', csv);
      mode = 'replay';
      return module._page_replay() === 0 ? '' : module.UTF8ToString(module._page_error());
    },
    // A sound's samples (planes of numbers in [-1, 1]) analysed as a song's,
    // not played: the frames asked for then show its levels.
    loadSound(rate, planes) {
      stopSound();
      mode = 'replay';
      module._page_sound(rate, planes.length, 0);
      pushSound(planes, planes[0].length);
    },
    // The same streamed as a song is: blocks of 512 sample frames into a
    // streamed song's store, each frame at `times` drawn once its window is
    // whole; the levels of each.
    streamSound(rate, planes, times) {
      stopSound();
      mode = 'replay';
      module._page_sound(rate, planes.length, 2);
      const heldBack = module._page_held_back(), length = planes[0].length;
      let taken = 0;
      return times.map((t) => {
        while (taken < length && taken < (t + heldBack) * rate) {
          const n = Math.min(512, length - taken);
          pushSound(planes.map((p) => p.subarray(taken, taken + n)), n);
          taken += n;
        }
        module._page_frame(t, t);
        return this.levels();
      });
    },
    frame(width, height, time, soundTime) {
      canvas.width = width;
      canvas.height = height;
      return module._page_frame(time, soundTime === undefined ? time : soundTime);
    },
    levels() { return Array.from(new Float32Array(module.HEAPF32.buffer, module._page_levels(), 16)); },
    mode() { return mode; },
    position() { return mode === 'song' ? songPosition() : module._page_sound_end(); },
    title() { return $('title').textContent; },
    playing() { return !!(song && song.playing); },
  };
  window.lumagrove.ready = true;
  requestAnimationFrame(draw);
})();
