// Time per call of the public-key and JSON operations (the first succeeding
// case of each in tests/cases/operations.json) through the package installed
// in APP, in one run: in Node on the native library and on the WebAssembly
// build (two copies of the package in one process), and in headless
// Chromium on the WebAssembly build (bench.html), in 5 alternating rounds,
// each the best of 5 batches (timing.mjs); prints the medians as a Markdown
// table.   node bench.mjs APP
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { createRequire } from 'node:module';
import { fileURLToPath } from 'node:url';
import { caseCalls } from './cases.mjs';
import { OPERATIONS, perCall } from './timing.mjs';
import { serve, browser } from './harness.mjs';

const ROUNDS = 5;
const here = path.dirname(fileURLToPath(import.meta.url));
const repo = path.resolve(here, '..', '..', '..');
const app = path.resolve(process.argv[2] || '');
const read = (...p) => JSON.parse(fs.readFileSync(path.join(repo, ...p), 'utf8'));
const description = read('bindings', 'interface.json');
const cases = read('tests', 'cases', 'operations.json');
const ops = Object.values(OPERATIONS).flat();

// The package twice: as Node loads it here (the native library), then a
// fresh copy of its modules with QUORENT_SDK_WASM=1.
const require = createRequire(path.join(app, 'package.json'));
const pkg = path.dirname(require.resolve('quorent-sdk'));
function load(wasm) {
  for (const k of Object.keys(require.cache)) if (k.startsWith(pkg + path.sep)) delete require.cache[k];
  process.env.QUORENT_SDK_WASM = wasm ? '1' : '';
  const sdk = require('quorent-sdk');
  const backend = require(path.join(pkg, 'lib', 'runtime.js')).backend();
  if (backend !== (wasm ? 'wasm' : 'native')) throw new Error(`the ${backend} build was loaded`);
  return caseCalls(sdk, description, cases, ops);
}
const node = { native: load(false), wasm: load(true) };

const site = await serve({
  '/': here,
  '/node_modules/': path.join(app, 'node_modules'),
  '/cases/operations.json': path.join(repo, 'tests', 'cases', 'operations.json'),
  '/cases/interface.json': path.join(repo, 'bindings', 'interface.json'),
});
const chromium = await browser();
const version = `Chromium ${chromium.version()}`;
const rounds = { native: [], wasm: [], chromium: [] };
try {
  const page = await chromium.newPage();
  await page.goto(`${site.url}/bench.html`);
  await page.waitForFunction(() => window.ready === true, null, { timeout: 60000 });
  for (let r = 0; r < ROUNDS; r++) {
    for (const side of ['native', 'wasm']) {
      rounds[side].push(Object.fromEntries(ops.map((op) => [op, perCall(node[side][op])])));
    }
    rounds.chromium.push(await page.evaluate(() => window.round()));
  }
} finally {
  await chromium.close();
  await site.close();
}

const median = (xs) => xs.slice().sort((a, b) => a - b)[xs.length >> 1];
const at = (side, op) => median(rounds[side].map((r) => r[op]));
const fmt = (x) => (x >= 10 ? x.toFixed(1) : x.toFixed(2));
const load1 = os.loadavg().map((x) => x.toFixed(2)).join(' ');
console.log(`node ${process.version}, ${version}, ${os.cpus()[0].model}, ` +
  `${os.cpus().length} logical CPUs, load average ${load1}`);
console.log('| operation | kind | Node native µs | Node wasm µs | wasm/native | Chromium wasm µs | Chromium/native |');
console.log('|---|---|---:|---:|---:|---:|---:|');
for (const [kind, names] of Object.entries(OPERATIONS)) {
  for (const op of names) {
    const n = at('native', op);
    const w = at('wasm', op);
    const c = at('chromium', op);
    console.log(`| ${op} | ${kind} | ${fmt(n)} | ${fmt(w)} | ${(w / n).toFixed(2)} | ${fmt(c)} | ${(c / n).toFixed(2)} |`);
  }
}
