// web_bench.js - the page's frame time in headless Chromium (WebGL on
// SwiftShader) at 1280x720 and 1920x1080, replaying the levels of the
// built-in demo (written by lumagrove-preview --levels-out) frame after frame,
// each frame waited for (a one-pixel read-back) so that the time is the
// drawing's, and the sizes of the page's .wasm and .js. Best of 3 runs of
// 300 frames. Then songs streamed as a visitor plays them: a FLAC of four
// minutes and one of three hours (clicks), each chosen in the page and
// played 3 s (the long one at its start and again 11 s before its end), and
// how long each took to start and what Chromium holds then. Prints Markdown
// tables.
//
//   LUMAGROVE_SITE=build-web LUMAGROVE_PREVIEW=build/lumagrove-preview \
//     NODE_PATH=tests/web/node_modules node bench/web_bench.js
'use strict';
const fs = require('node:fs');
const http = require('node:http');
const os = require('node:os');
const path = require('node:path');
const { execFileSync } = require('node:child_process');
const puppeteer = require('puppeteer-core');
const { browserMemory } = require('../tests/web/browser_memory.js');

const SITE = path.resolve(process.env.LUMAGROVE_SITE || 'build-web');
const PREVIEW = process.env.LUMAGROVE_PREVIEW || 'build/lumagrove-preview';
const TYPES = { '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm' };

(async () => {
  const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'lumagrove-web-bench-'));
  const csv = path.join(scratch, 'demo.csv');
  execFileSync(PREVIEW, ['--levels-out', csv, '--sheet', path.join(scratch, 'sheet.png'), '--fps', '60', '--quiet']);
  const server = http.createServer((req, res) => {
    const file = path.join(SITE, new URL(req.url, 'http://x').pathname);
    if (!fs.existsSync(file)) return res.writeHead(404).end();
    res.writeHead(200, { 'Content-Type': TYPES[path.extname(file)] || 'application/octet-stream' });
    fs.createReadStream(file).pipe(res);
  });
  await new Promise((done) => server.listen(0, '127.0.0.1', done));
  const browser = await puppeteer.launch({
    executablePath: '/usr/bin/chromium', headless: true,
    args: ['--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync',
           '--autoplay-policy=no-user-gesture-required'],
  });
  try {
    const page = await browser.newPage();
    await page.goto('http://127.0.0.1:' + server.address().port + '/index.html');
    await page.waitForFunction(() => window.lumagrove && window.lumagrove.ready, { timeout: 30000 });
    await page.evaluate((c) => window.lumagrove.replay(c), fs.readFileSync(csv, 'utf8'));
    console.log('| frames | page, ms/frame (best of 3, 300 frames from 0:04) |');
    console.log('|---|---:|');
    for (const [w, h] of [[1280, 720], [1920, 1080]]) {
      const ms = await page.evaluate((w, h) => {
        const gl = document.getElementById('canvas').getContext('webgl');
        const pixel = new Uint8Array(4);
        let best = Infinity;
        for (let run = 0; run < 3; ++run) {
          const start = performance.now();
          for (let i = 0; i < 300; ++i) {
            window.lumagrove.frame(w, h, 4 + i / 60);
            gl.readPixels(0, 0, 1, 1, gl.RGBA, gl.UNSIGNED_BYTE, pixel);
          }
          best = Math.min(best, (performance.now() - start) / 300);
        }
        return best;
      }, w, h);
      console.log(`| ${w}x${h} | ${ms.toFixed(2)} |`);
    }
    const size = (name) => (fs.statSync(path.join(SITE, name)).size / 1024).toFixed(0) + ' KiB';
    console.log(`\n| file | size |\n|---|---:|\n| lumagrove.wasm | ${size('lumagrove.wasm')} |\n` +
                `| lumagrove.js | ${size('lumagrove.js')} |\n| page.js | ${size('page.js')} |`);

    // Songs, streamed: made of one second of clicks, over and over.
    const second = path.join(scratch, 'second.wav');
    execFileSync('ffmpeg', ['-v', 'error', '-f', 'lavfi', '-i',
      "aevalsrc='0.9*sin(2*PI*60*t)*lt(mod(t,0.5),0.1)':s=48000:d=1", second]);
    const songs = [['4 minutes', 240], ['3 hours', 3 * 3600]];
    const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
    console.log('\n| song (FLAC, mono, 48 kHz) | file | to its first picture | Chromium holds, playing | more than 4 minutes |');
    console.log('|---|---:|---:|---:|---:|');
    let base = 0;
    for (const [name, seconds] of songs) {
      const file = path.join(scratch, `${seconds}.flac`);
      execFileSync('ffmpeg', ['-v', 'error', '-stream_loop', String(seconds - 1), '-i', second, '-c:a', 'flac', file]);
      const began = Date.now();
      await (await page.$('#file')).uploadFile(file);
      await page.waitForFunction((n) => window.lumagrove.title() === n && window.lumagrove.position() > 0,
        { timeout: 60000 }, path.basename(file));
      const start = (Date.now() - began) / 1000;
      await sleep(3000);
      if (seconds > 600) {
        await page.$eval('#progress', (e) => { e.value = 999; e.dispatchEvent(new Event('input')); });
        await sleep(3000);
      }
      const held = browserMemory(browser);
      base = base || held;
      const mb = (v) => `${v.toFixed(0)} MB`;
      console.log(`| ${name} | ${mb(fs.statSync(file).size / 1048576)} | ${start.toFixed(2)} s | ${mb(held)} | ` +
                  `${seconds > 240 ? mb(held - base) : ''} |`);
    }
  } finally {
    await browser.close();
    server.close();
    fs.rmSync(scratch, { recursive: true, force: true });
  }
})().catch((e) => {
  console.error('web_bench: ' + (e && e.message ? e.message : e));
  process.exit(1);
});
