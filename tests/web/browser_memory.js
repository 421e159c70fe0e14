// browser_memory.js - what a Chromium that puppeteer started holds: the
// resident anonymous memory (heaps, decoded media, GPU buffers; not the
// mapped files) of its process and every process it started, in MB. Used by
// the page's tests and bench/web_bench.js.
'use strict';
const fs = require('node:fs');

function browserMemory(browser) {
  const parents = new Map();
  for (const pid of fs.readdirSync('/proc').filter((f) => /^\d+$/.test(f))) {
    try {
      const stat = fs.readFileSync(`/proc/${pid}/stat`, 'utf8');
      parents.set(Number(pid), Number(stat.slice(stat.lastIndexOf(')') + 2).split(' ')[1]));
    } catch (e) { /* gone */ }
  }
  const tree = new Set([browser.process().pid]);
  for (let grew = true; grew;) {
    grew = false;
    for (const [pid, parent] of parents) if (tree.has(parent) && !tree.has(pid)) { tree.add(pid); grew = true; }
  }
  let kB = 0;
  for (const pid of tree) {
    try {
      kB += Number(/RssAnon:\s+(\d+)/.exec(fs.readFileSync(`/proc/${pid}/status`, 'utf8'))[1]);
    } catch (e) { /* gone */ }
  }
  return kB / 1024;
}

module.exports = { browserMemory };
