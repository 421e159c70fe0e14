// The Lumagrove page (make web) in headless Chromium from the system, driven
// by puppeteer-core and served on loopback: replayed levels give the preview
// host's frames within the Windows host's tolerance; a song chosen in the
// page and the microphone (Chromium's fake device, fed a WAV) light the
// glows on their beats; pause holds the levels; a recording is a WebM with
// its picture and sound; what the browser refuses is said on the page.
//
// Environment: LUMAGROVE_SITE (the built page), LUMAGROVE_PREVIEW (the
// native lumagrove-preview), LUMAGROVE_SCREENSHOT (where to put a screenshot
// of the page playing a song, for docs/web.md). Run: node --test page_test.js
'use strict';
const { test, before, after } = require('node:test');
const assert = require('node:assert');
const fs = require('node:fs');
const http = require('node:http');
const os = require('node:os');
const path = require('node:path');
const { execFileSync } = require('node:child_process');
const puppeteer = require('puppeteer-core');
const { browserMemory } = require('./browser_memory.js');

const SITE = process.env.LUMAGROVE_SITE;
const PREVIEW = process.env.LUMAGROVE_PREVIEW;
const RATE = 48000;

// --- sound files the tests write ---------------------------------------------

// A 60 Hz kick on every half second from `first`, 0.1 s long, fading out.
function kicks(seconds, first) {
  const out = new Float32Array(Math.round(RATE * seconds));
  for (let beat = first; beat < seconds; beat += 0.5)
    for (let i = 0; i < RATE * 0.1; ++i) {
      const at = Math.floor(beat * RATE) + i;
      if (at < out.length) out[at] = 0.9 * (1 - i / (RATE * 0.1)) * Math.sin(2 * Math.PI * 60 * i / RATE);
    }
  return out;
}

function writeWav(file, channels) {
  const frames = channels[0].length, bytes = frames * channels.length * 2;
  const b = Buffer.alloc(44 + bytes);
  b.write('RIFF', 0); b.writeUInt32LE(36 + bytes, 4); b.write('WAVE', 8); b.write('fmt ', 12);
  b.writeUInt32LE(16, 16); b.writeUInt16LE(1, 20); b.writeUInt16LE(channels.length, 22);
  b.writeUInt32LE(RATE, 24); b.writeUInt32LE(RATE * 2 * channels.length, 28);
  b.writeUInt16LE(2 * channels.length, 32); b.writeUInt16LE(16, 34); b.write('data', 36); b.writeUInt32LE(bytes, 40);
  for (let i = 0; i < frames; ++i)
    for (let c = 0; c < channels.length; ++c)
      b.writeInt16LE(Math.max(-32767, Math.min(32767, Math.round(channels[c][i] * 32767))), 44 + 2 * (i * channels.length + c));
  fs.writeFileSync(file, b);
}

// --- pictures -----------------------------------------------------------------

function pngRgb(file) {
  return execFileSync('ffmpeg', ['-v', 'error', '-i', file, '-f', 'rawvideo', '-pix_fmt', 'rgb24', '-'],
    { maxBuffer: 1 << 28 });
}

// As the Windows host's tests measure a frame against the Linux one.
const VISIBLE = 16, MAX_VISIBLE_SHARE = 0.005, MAX_MEAN = 0.5;
function difference(a, b) {
  assert.strictEqual(a.length, b.length);
  let visible = 0, sum = 0;
  for (let i = 0; i < a.length; ++i) {
    const d = Math.abs(a[i] - b[i]);
    visible += d > VISIBLE;
    sum += d;
  }
  return { visible: visible / a.length, mean: sum / a.length };
}
const within = (d) => d.visible <= MAX_VISIBLE_SHARE && d.mean <= MAX_MEAN;

// Pixels whose channels differ by more than 40: glow, not the white outline.
function glow(rgb) {
  let n = 0;
  for (let i = 0; i < rgb.length; i += 3)
    n += Math.max(rgb[i], rgb[i + 1], rgb[i + 2]) - Math.min(rgb[i], rgb[i + 1], rgb[i + 2]) > 40;
  return n;
}

// --- the page ------------------------------------------------------------------

let server, origin, scratch;
const TYPES = { '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm' };

before(async () => {
  assert.ok(SITE && fs.existsSync(path.join(SITE, 'index.html')), 'no built page: LUMAGROVE_SITE=' + SITE);
  scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'lumagrove-web-'));
  server = http.createServer((req, res) => {
    const file = path.join(SITE, decodeURIComponent(new URL(req.url, 'http://x').pathname));
    if (!file.startsWith(SITE) || !fs.existsSync(file) || fs.statSync(file).isDirectory()) {
      res.writeHead(404).end();
      return;
    }
    res.writeHead(200, { 'Content-Type': TYPES[path.extname(file)] || 'application/octet-stream' });
    fs.createReadStream(file).pipe(res);
  });
  await new Promise((done) => server.listen(0, '127.0.0.1', done));
  origin = 'http://127.0.0.1:' + server.address().port;
});

after(() => {
  server.close();
  fs.rmSync(scratch, { recursive: true, force: true });
});

// Chromium as root, headless, with nothing reaching out to the network;
// WebGL on SwiftShader.
async function open(extraArgs = [], { ready = true } = {}) {
  const browser = await puppeteer.launch({
    executablePath: '/usr/bin/chromium', headless: true,
    args: ['--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync',
           '--autoplay-policy=no-user-gesture-required', ...extraArgs],
  });
  const page = await browser.newPage();
  page.errors = [];
  page.on('pageerror', (e) => page.errors.push(e.message));
  await page.setViewport({ width: 480, height: 270 });
  await page.goto(origin + '/index.html');
  if (ready) await page.waitForFunction(() => window.lumagrove && window.lumagrove.ready, { timeout: 30000 });
  return { browser, page };
}

const message = (page) => page.$eval('#message', (e) => (e.hidden ? '' : e.textContent));

// The canvas's picture after a replayed frame: RGB, top row first.
async function replayedFrame(page, width, height, time) {
  const rgba = await page.evaluate((w, h, t) => {
    window.lumagrove.frame(w, h, t);
    const c = document.createElement('canvas');
    c.width = w;
    c.height = h;
    c.getContext('2d').drawImage(document.getElementById('canvas'), 0, 0);
    return Array.from(c.getContext('2d').getImageData(0, 0, w, h).data);
  }, width, height, time);
  const rgb = Buffer.alloc(width * height * 3);
  for (let i = 0; i < width * height; ++i) rgb.set(rgba.slice(4 * i, 4 * i + 3), 3 * i);
  return rgb;
}

// The levels, position and glow (coloured pixels) of what the page draws by
// itself, every `ms` for `seconds`.
async function watch(page, seconds, ms = 40) {
  const samples = [];
  const end = Date.now() + seconds * 1000;
  while (Date.now() < end) {
    samples.push(await page.evaluate(() => {
      const shown = document.getElementById('canvas'), c = document.createElement('canvas');
      c.width = shown.width;
      c.height = shown.height;
      c.getContext('2d').drawImage(shown, 0, 0);
      const d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
      let glow = 0;
      for (let i = 0; i < d.length; i += 4)
        glow += Math.max(d[i], d[i + 1], d[i + 2]) - Math.min(d[i], d[i + 1], d[i + 2]) > 40;
      return { levels: window.lumagrove.levels(), at: window.lumagrove.position(), glow };
    }));
    await new Promise((r) => setTimeout(r, ms));
  }
  return samples;
}
const low = (samples) => samples.map((s) => s.levels[0] + s.levels[8]);

// How well `values` (one per sample) follow a kick every half second, on the
// sound's own clock (each sample's `at`): the samples folded on the half
// second, the mean in the 0.15 s after the best phase against the mean in
// the fifth of a second before it. However seldom a busy machine lets the page
// be looked at, the samples it gives keep that rhythm.
function halfSecondContrast(samples, values) {
  let best = { contrast: 0 };
  for (let phase = 0; phase < 0.5; phase += 0.025) {
    let on = 0, onN = 0, off = 0, offN = 0;
    samples.forEach((h, i) => {
      const into = (((h.at - phase) % 0.5) + 0.5) % 0.5;
      if (into < 0.15) on += values[i], ++onN;
      else if (into >= 0.3) off += values[i], ++offN;
    });
    if (onN >= 3 && offN >= 3) {
      const contrast = (on / onN) / Math.max(1e-6, off / offN);
      if (contrast > best.contrast) best = { contrast, phase, onN, offN };
    }
  }
  return best;
}

test('replayed levels give the preview host\'s frames, the same every run', async () => {
  const song = path.join(scratch, 'replay.wav'), csv = path.join(scratch, 'replay.csv');
  // The right side half the left: a swapped side shows.
  writeWav(song, [kicks(3, 0.25), kicks(3, 0.25).map((v) => 0.5 * v)]);
  const sizes = [[203, 117], [320, 180]];
  for (const [w, h] of sizes)
    execFileSync(PREVIEW, ['--audio', song, '--levels-out', csv, '--out', path.join(scratch, `native-${w}`),
      '--size', `${w}x${h}`, '--fps', '10', '--duration', '2.5', '--quiet']);
  const { browser, page } = await open();
  try {
    assert.strictEqual(await page.evaluate((c) => window.lumagrove.replay(c), fs.readFileSync(csv, 'utf8')), '');
    for (const [w, h] of sizes)
      for (const k of [3, 5, 12, 20]) {
        const native = (i) => pngRgb(path.join(scratch, `native-${w}`, `frame_${String(i).padStart(6, '0')}.png`));
        const web = await replayedFrame(page, w, h, k / 10);
        const same = difference(web, native(k)), next = difference(web, native(k + 1));
        assert.ok(within(same), `${w}x${h} frame ${k}: ${JSON.stringify(same)}`);
        assert.ok(!within(next), `${w}x${h} frame ${k} passes for its neighbour: ${JSON.stringify(next)}`);
        assert.deepStrictEqual(await replayedFrame(page, w, h, k / 10), web, `${w}x${h} frame ${k} again`);
      }
    // Larger glows on a beat (0.3 s) than between beats (0.6 s).
    const onBeat = glow(await replayedFrame(page, 320, 180, 0.3)), between = glow(await replayedFrame(page, 320, 180, 0.6));
    assert.ok(onBeat > 2 * between, `glow ${onBeat} on the beat, ${between} between`);
    assert.deepStrictEqual(page.errors, []);
  } finally {
    await browser.close();
  }
});

// The analysis compiled to WebAssembly against the native one: the same
// samples give the same levels, frame after frame, whether pushed whole or
// streamed in blocks as a song plays.
test('the page\'s analysis gives the native levels within 1e-6, whole and streamed', async () => {
  const song = path.join(scratch, 'levels.wav'), csv = path.join(scratch, 'levels.csv');
  const left = kicks(3, 0.25), right = kicks(3, 0.4).map((v, i) => 0.5 * v + 0.2 * Math.sin(i / 7));
  writeWav(song, [left, right]);
  execFileSync(PREVIEW, ['--audio', song, '--levels-out', csv, '--sheet', path.join(scratch, 'levels.png'),
    '--fps', '10', '--quiet']);
  const rows = fs.readFileSync(csv, 'utf8').trim().split('\n').slice(1).map((r) => r.split(',').map(Number));
  // The samples as the WAV holds them (16 bits), as the native host reads them.
  const samples = [left, right].map((c) => Array.from(c, (v) => Math.max(-32767, Math.min(32767, Math.round(v * 32767))) / 32768));
  const { browser, page } = await open();
  try {
    const [whole, streamed] = await page.evaluate((rate, planes, times) => {
      planes = planes.map((p) => Float32Array.from(p));
      window.lumagrove.loadSound(rate, planes);
      const whole = times.map((t) => { window.lumagrove.frame(64, 36, t); return window.lumagrove.levels(); });
      return [whole, window.lumagrove.streamSound(rate, planes, times)];
    }, RATE, samples, rows.map((r) => r[0]));
    assert.ok(rows.length >= 29, `${rows.length} rows`);
    for (const [how, levels] of [['whole', whole], ['streamed', streamed]]) {
      let most = 0;
      rows.forEach((row, i) => row.slice(1).forEach((v, b) => { most = Math.max(most, Math.abs(v - levels[i][b])); }));
      assert.ok(most <= 1e-6, `${how}: levels differ by up to ${most}`);
    }
    assert.ok(Math.max(...rows.map((r) => r[1])) > 0.1, 'the song lights nothing');
  } finally {
    await browser.close();
  }
});

test('a song chosen in the page lights the glows on its beats; pause holds them; a recording has both', async () => {
  const song = path.join(scratch, 'song.wav'), downloads = path.join(scratch, 'downloads');
  writeWav(song, [kicks(8, 0.25), kicks(8, 0.25)]);
  fs.mkdirSync(downloads);
  const { browser, page } = await open();
  try {
    const cdp = await page.target().createCDPSession();
    await cdp.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: downloads });
    await (await page.$('#file')).uploadFile(song);
    await page.waitForFunction(() => window.lumagrove.playing(), { timeout: 15000 });
    await page.click('#record');
    const played = await watch(page, 3);
    const beats = halfSecondContrast(played, low(played)), lit = halfSecondContrast(played, played.map((s) => s.glow));
    assert.ok(beats.contrast > 2, `the levels do not follow the kicks: ${JSON.stringify(beats)} ${low(played).join(' ')}`);
    assert.ok(lit.contrast > 2, `the glows do not follow the kicks: ${JSON.stringify(lit)} ` +
      played.map((s) => s.glow).join(' '));
    if (process.env.LUMAGROVE_SCREENSHOT) await page.screenshot({ path: process.env.LUMAGROVE_SCREENSHOT });
    await page.click('#record');
    // Space pauses from the page, not from a focused button (which it presses).
    await page.evaluate(() => document.activeElement.blur());
    await page.keyboard.press('Space');
    await new Promise((r) => setTimeout(r, 300));
    const paused = await watch(page, 0.6, 100);
    for (const s of paused)
      assert.deepStrictEqual([s.levels, s.at], [paused[0].levels, paused[0].at], 'the levels move on while paused');
    // The recording: about the 3 s recorded, picture and sound.
    let webm = '';
    for (let i = 0; i < 100 && !webm; ++i, await new Promise((r) => setTimeout(r, 100)))
      webm = fs.readdirSync(downloads).find((f) => f.endsWith('.webm')) || '';
    assert.ok(webm, 'no recording was downloaded');
    const probe = JSON.parse(execFileSync('ffprobe', ['-v', 'error', '-show_streams', '-show_format', '-of', 'json',
      path.join(downloads, webm)]));
    assert.deepStrictEqual(probe.streams.map((s) => s.codec_type).sort(), ['audio', 'video']);
    // MediaRecorder writes no duration: the last picture's time tells it.
    const seconds = Math.max(...execFileSync('ffprobe', ['-v', 'error', '-select_streams', 'v:0', '-show_entries',
      'packet=pts_time', '-of', 'csv=p=0', path.join(downloads, webm)]).toString().trim().split('\n').map(Number));
    assert.ok(seconds > 2 && seconds < 4.5, `a recording of ${seconds} s`);
    // The page writes the duration MediaRecorder leaves out, so players can seek it.
    const said = Number(execFileSync('ffprobe', ['-v', 'error', '-show_entries', 'format=duration', '-of', 'csv=p=0',
      path.join(downloads, webm)]).toString().trim());
    assert.ok(Math.abs(said - seconds) < 0.5, `its header says ${said} s of a recording of ${seconds} s`);
    // The position tells a time, and its arrows move 5 s.
    const told = await page.$eval('#progress', (e) => e.getAttribute('aria-valuetext'));
    assert.match(told, /^0:0\d of 0:0[78]$/);
    await page.focus('#progress');
    await page.keyboard.press('Home');
    const before = await page.evaluate(() => window.lumagrove.position());
    await page.keyboard.press('ArrowRight');
    const after = await page.evaluate(() => window.lumagrove.position());
    assert.ok(before < 0.3 && Math.abs(after - before - 5) < 0.3, `Home, then ArrowRight: ${before} and ${after} s`);
    // Sought while paused, the picture shows the new position's sound: on a
    // kick (2.30 s), then between kicks (2.55 s); still paused, where sought.
    const soughtTo = async (at) => {
      await page.$eval('#progress', (e, v) => { e.value = v; e.dispatchEvent(new Event('input')); }, at / 8 * 1000);
      await new Promise((r) => setTimeout(r, 1000));
      return page.evaluate(() => ({ low: window.lumagrove.levels()[0] + window.lumagrove.levels()[8],
        at: window.lumagrove.position(), playing: window.lumagrove.playing() }));
    };
    const onKick = await soughtTo(2.3), between = await soughtTo(2.55);
    assert.ok(onKick.low > 0.1 && between.low < onKick.low / 3,
      `levels ${onKick.low} on a kick, ${between.low} between kicks`);
    for (const [s, at] of [[onKick, 2.3], [between, 2.55]])
      assert.ok(!s.playing && Math.abs(s.at - at) < 0.01, `sought to ${at} s: ${JSON.stringify(s)}`);
    assert.deepStrictEqual(page.errors, []);
  } finally {
    await browser.close();
  }
});

// A FLAC of `seconds` made of one second of kicks (at 0.25 and 0.75 s) over and over.
function kickFlac(file, seconds) {
  const second = path.join(scratch, 'second-of-kicks.wav');
  writeWav(second, [kicks(1, 0.25)]);
  execFileSync('ffmpeg', ['-v', 'error', '-y', '-stream_loop', String(seconds - 1), '-i', second, '-c:a', 'flac', file]);
}

// A song of three hours is streamed: it plays at once with its glows, seeks
// to its last seconds and plays there, and takes the page no more memory than a
// four-minute one (decoded whole it would take over 2 GB).
test('a song longer than an hour plays with its glows, at its start and end, in bounded memory', async () => {
  const short = path.join(scratch, 'four-minutes.flac'), long = path.join(scratch, 'three-hours.flac');
  kickFlac(short, 240);
  kickFlac(long, 3 * 3600);
  const { browser, page } = await open();
  try {
    const chooser = await page.$('#file');
    const playFor = async (seconds) => {
      const played = await watch(page, seconds);
      const lit = halfSecondContrast(played, played.map((s) => s.glow));
      assert.ok(lit.contrast > 2, `the glows do not follow the kicks: ${JSON.stringify(lit)} ` +
        played.map((s) => `${s.at.toFixed(2)}:${s.glow}`).join(' '));
      return played;
    };
    await chooser.uploadFile(short);
    await page.waitForFunction(() => window.lumagrove.playing() && window.lumagrove.position() > 0.2, { timeout: 15000 });
    await playFor(3);
    const shortMemory = browserMemory(browser);

    await chooser.uploadFile(long);
    await page.waitForFunction(() => window.lumagrove.title() === 'three-hours.flac' &&
      window.lumagrove.position() > 0.2, { timeout: 15000 });
    const start = await playFor(3);
    assert.ok(start[start.length - 1].at < 10, 'the long song plays from its start');
    assert.strictEqual(await page.$eval('#progress', (e) => e.getAttribute('aria-valuetext').replace(/^.* of /, '')),
      '3:00:00');
    // The position bar moved to its last thousandth (10.8 s before the end):
    // the last seconds play, glows and all.
    await page.$eval('#progress', (e) => { e.value = 999; e.dispatchEvent(new Event('input')); });
    await page.waitForFunction(() => window.lumagrove.position() > 10789.4, { timeout: 15000 });
    const end = await playFor(3);
    assert.ok(end.every((s) => s.at >= 10789.1 && s.at <= 10800), 'the end plays where it is: ' +
      end.map((s) => s.at.toFixed(2)).join(' '));
    const longMemory = browserMemory(browser);
    assert.ok(longMemory - shortMemory < 300,
      `the page takes ${longMemory.toFixed(0)} MB for the long song, ${shortMemory.toFixed(0)} MB for the short one`);
    assert.deepStrictEqual(page.errors, []);
  } finally {
    await browser.close();
  }
});

// Every control on the screen and big enough to tap at phone sizes, upright
// and on its side; the keyboard reaches each in order, the song chooser is a
// button that Enter opens, and Space presses the button that has the focus.
test('a phone\'s screen holds every control; the keyboard reaches and works them', async () => {
  const { browser, page } = await open();
  try {
    for (const [width, height] of [[390, 844], [844, 390]]) {
      await page.setViewport({ width, height });
      await new Promise((r) => setTimeout(r, 200));
      const controls = await page.$$eval('#bar button, #bar input[type=range]', (all) => all.map((e) => {
        const r = e.getBoundingClientRect();
        return { id: e.id, left: r.left, right: r.right, top: r.top, bottom: r.bottom, height: r.height };
      }));
      assert.strictEqual(controls.length, 6);
      for (const c of controls) {
        assert.ok(c.left >= 0 && c.right <= width && c.top >= 0 && c.bottom <= height,
          `${width}x${height}: ${c.id} is off the screen: ${JSON.stringify(c)}`);
        assert.ok(c.height >= 44, `${width}x${height}: ${c.id} is ${c.height} px tall`);
      }
      // The page on a phone held upright, for docs/web.md.
      if (width < height && process.env.LUMAGROVE_PHONE_SCREENSHOT)
        await page.screenshot({ path: process.env.LUMAGROVE_PHONE_SCREENSHOT });
    }
    await page.evaluate(() => document.activeElement.blur());
    const order = [];
    for (let i = 0; i < 3; ++i) {
      await page.keyboard.press('Tab');
      order.push(await page.evaluate(() => document.activeElement.id));
    }
    assert.deepStrictEqual(order, ['choose', 'mic', 'fullscreen'], 'the enabled controls, in order');
    await page.focus('#choose');
    assert.strictEqual(await page.evaluate(() => document.activeElement.id), 'choose');
    // (Puppeteer turns the browser's chooser over to the test as it starts
    // waiting, not at once: the key waits for that.)
    const waiting = page.waitForFileChooser({ timeout: 15000 });
    await new Promise((r) => setTimeout(r, 300));
    await page.keyboard.press('Enter');
    const chooser = await waiting;
    assert.ok(chooser, 'Enter on the song chooser opens the file chooser');
    await chooser.cancel();
    // Space on a focused button presses it (here: the microphone, which this
    // browser has none of, so the page says so), not the page's pause.
    await page.focus('#mic');
    await page.keyboard.press('Space');
    await page.waitForFunction(() => /microphone/i.test(document.getElementById('message').textContent) &&
      !document.getElementById('message').hidden, { timeout: 15000 });
    assert.strictEqual(await page.$eval('#canvas', (e) => e.getAttribute('aria-label') || ''),
      'Lumagrove: a four-pointed star whose glows follow the music');
    assert.ok(await page.$('main #canvas') && await page.$('footer #choose'), 'the page\'s landmarks');
    assert.match(await page.$eval('link[rel=icon]', (e) => e.href), /^data:image\/svg\+xml/);
    // axe-core (from npm) finds no violation of the rules it checks.
    await page.addScriptTag({ path: require.resolve('axe-core/axe.min.js') });
    const violations = await page.evaluate(async () =>
      (await window.axe.run(document)).violations.map((v) => `${v.id}: ${v.nodes.map((n) => n.target).join(', ')}`));
    assert.deepStrictEqual(violations, []);
    assert.deepStrictEqual(page.errors, []);
  } finally {
    await browser.close();
  }
});

// Choices made while an earlier one still loads: the last one wins, and a
// switch from a playing song to the microphone throws nothing.
test('the last choice wins: a second song 0.3 s after a first, then the microphone', async () => {
  const first = path.join(scratch, 'first.wav'), second = path.join(scratch, 'second.wav');
  writeWav(first, [kicks(40, 0.25), kicks(40, 0.25)]);
  writeWav(second, [kicks(6, 0.25), kicks(6, 0.25)]);
  const { browser, page } = await open(['--use-fake-device-for-media-stream', '--use-fake-ui-for-media-stream',
    '--use-file-for-fake-audio-capture=' + second]);
  try {
    const chooser = await page.$('#file');
    await chooser.uploadFile(first);
    await new Promise((r) => setTimeout(r, 300));
    await chooser.uploadFile(second);
    await page.waitForFunction(() => window.lumagrove.playing(), { timeout: 15000 });
    await new Promise((r) => setTimeout(r, 1500));
    assert.strictEqual(await page.evaluate(() => window.lumagrove.title()), 'second.wav');
    const at = await page.evaluate(() => window.lumagrove.position());
    assert.ok(at > 0.5 && at < 4, `the second song plays, at ${at} s of its 6`);
    await page.click('#mic');
    await page.waitForFunction(() => window.lumagrove.mode() === 'live', { timeout: 15000 });
    await new Promise((r) => setTimeout(r, 500));
    assert.strictEqual(await page.evaluate(() => window.lumagrove.title()), 'Microphone');
    assert.deepStrictEqual(page.errors, [], 'nothing thrown');
  } finally {
    await browser.close();
  }
});

// One recording across a change of song and a change to the microphone: its
// sound goes on to its end, each second with its kicks.
test('a recording keeps its sound across a change of song and to the microphone', async () => {
  const first = path.join(scratch, 'record-first.wav'), second = path.join(scratch, 'record-second.wav');
  const downloads = path.join(scratch, 'switch-downloads');
  writeWav(first, [kicks(20, 0.25), kicks(20, 0.25)]);
  writeWav(second, [kicks(20, 0.25)]);
  fs.mkdirSync(downloads);
  const { browser, page } = await open(['--use-fake-device-for-media-stream', '--use-fake-ui-for-media-stream',
    '--use-file-for-fake-audio-capture=' + second]);
  try {
    const cdp = await page.target().createCDPSession();
    await cdp.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: downloads });
    const chooser = await page.$('#file');
    await chooser.uploadFile(first);
    await page.waitForFunction(() => window.lumagrove.playing() && window.lumagrove.position() > 0.3, { timeout: 15000 });
    await page.click('#record');
    await new Promise((r) => setTimeout(r, 2000));
    await chooser.uploadFile(second);
    await page.waitForFunction(() => window.lumagrove.title() === 'record-second.wav', { timeout: 15000 });
    await new Promise((r) => setTimeout(r, 2000));
    await page.click('#mic');
    await page.waitForFunction(() => window.lumagrove.mode() === 'live', { timeout: 15000 });
    await new Promise((r) => setTimeout(r, 2000));
    await page.click('#record');
    let webm = '';
    for (let i = 0; i < 100 && !webm; ++i, await new Promise((r) => setTimeout(r, 100)))
      webm = fs.readdirSync(downloads).find((f) => f.endsWith('.webm')) || '';
    assert.ok(webm, 'no recording was downloaded');
    const pcm = execFileSync('ffmpeg', ['-v', 'error', '-i', path.join(downloads, webm), '-map', '0:a', '-ac', '1',
      '-ar', '8000', '-f', 'f32le', '-'], { maxBuffer: 1 << 26 });
    const sound = new Float32Array(pcm.buffer.slice(pcm.byteOffset, pcm.byteOffset + pcm.length));
    const seconds = Number(execFileSync('ffprobe', ['-v', 'error', '-show_entries', 'format=duration', '-of',
      'csv=p=0', path.join(downloads, webm)]).toString().trim());
    assert.ok(seconds > 5.5 && sound.length / 8000 > seconds - 0.5,
      `${(sound.length / 8000).toFixed(2)} s of sound in a recording of ${seconds} s`);
    // Every whole second of it holds kicks (two at their loudest near 0.9).
    const loudest = [];
    for (let at = 0; at + 8000 <= sound.length; at += 8000)
      loudest.push(Math.max(...sound.subarray(at, at + 8000).map(Math.abs)));
    assert.ok(loudest.length >= 5 && loudest.every((v) => v > 0.3), 'a second without its kicks: ' +
      loudest.map((v) => v.toFixed(2)).join(' '));
    assert.deepStrictEqual(page.errors, []);
  } finally {
    await browser.close();
  }
});

test('the microphone (Chromium\'s fake device playing a WAV) lights the glows on its beats', async () => {
  const wav = path.join(scratch, 'microphone.wav');
  writeWav(wav, [kicks(12, 0.25)]);
  const { browser, page } = await open(['--use-fake-device-for-media-stream', '--use-fake-ui-for-media-stream',
    '--use-file-for-fake-audio-capture=' + wav]);
  try {
    await page.click('#mic');
    await page.waitForFunction(() => window.lumagrove.mode() === 'live' && window.lumagrove.position() > 0.5,
      { timeout: 15000 });
    const heard = await watch(page, 6);
    assert.ok(heard.length >= 20, `only ${heard.length} looks at the page in 6 s`);
    const follows = halfSecondContrast(heard, low(heard));
    assert.ok(follows.contrast > 2, `the levels do not follow a kick every half second: ${JSON.stringify(follows)} ` +
      low(heard).map((v, i) => `${heard[i].at.toFixed(2)}:${v.toFixed(2)}`).join(' '));
    assert.deepStrictEqual(page.errors, []);
  } finally {
    await browser.close();
  }
});

test('what the browser refuses is said on the page', async () => {
  // WebGL switched off.
  let { browser, page } = await open(['--disable-3d-apis'], { ready: false });
  try {
    await page.waitForFunction(() => /WebGL/.test(document.getElementById('message').textContent), { timeout: 20000 });
  } finally {
    await browser.close();
  }
  // A file that is not sound, and the microphone not allowed.
  ({ browser, page } = await open(['--deny-permission-prompts']));
  try {
    const notes = path.join(scratch, 'notes.txt');
    fs.writeFileSync(notes, 'not a song at all');
    await (await page.$('#file')).uploadFile(notes);
    await page.waitForFunction(() => /cannot be played/.test(document.getElementById('message').textContent),
      { timeout: 15000 });
    assert.match(await message(page), /notes\.txt/);
    await page.click('#mic');
    await page.waitForFunction(() => /microphone/i.test(document.getElementById('message').textContent),
      { timeout: 15000 });
    assert.match(await message(page), /not allowed|no microphone/i);
  } finally {
    await browser.close();
  }
});
