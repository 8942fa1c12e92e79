'use strict';
// Time per call through the binding against the C ABI's own time, measured in
// one run: CPU time per call, the best of nine runs on each side (the least
// disturbed by other work on a shared machine), for normalizeOrigin and
// mintUserDeed with the inputs of the C benchmarks (bench/operations.cpp).
// The C side is the Google Benchmark binary ($QUORENT_BENCH_BIN, else
// build-bench/bench/quorent_bench, as scripts/bench.sh builds it); the binding
// uses the library beside it unless $QUORENT_SDK_LIB says otherwise.
//   node bench.js
const fs = require('node:fs');
const path = require('node:path');
const { spawnSync } = require('node:child_process');

const benchBuild = path.join(__dirname, '..', '..', 'build-bench');
const benchLib = path.join(benchBuild, 'libquorent_sdk_uniffi.so');
if (!process.env.QUORENT_SDK_LIB && fs.existsSync(benchLib)) process.env.QUORENT_SDK_LIB = benchLib;
const sdk = require('.');

const ORIGIN = 'https://app.example.com';
const key = sdk.deriveAppKey('11'.repeat(32), 7n, ORIGIN).secretKeyHex;
const cases = [
  { name: 'normalize_origin', c: 'op/normalize_origin/1', target: 3,
    run: () => sdk.normalizeOrigin('https://App.Example.com:443/') },
  { name: 'mint_user_deed', c: 'op/mint_user_deed', target: 8,
    run: () => sdk.mintUserDeed(key, 7n, 'app.example.com', ORIGIN, 'c-0123456789abcdef0123456789abcdef', 1700000300n) },
];

function cpuMicros(run, n) {
  const start = process.cpuUsage();
  for (let i = 0; i < n; i++) run();
  const used = process.cpuUsage(start);
  return (used.user + used.system) / n;
}


function measureBinding(run) {
  let n = 100;
  while (cpuMicros(run, n) * n < 100000) n *= 2; // warm up; about 0.1 s per run
  return Math.min(...Array.from({ length: 9 }, () => cpuMicros(run, n)));
}

function measureC() {
  const bin = process.env.QUORENT_BENCH_BIN || path.join(benchBuild, 'bench', 'quorent_bench');
  if (!fs.existsSync(bin)) return { bin, times: null };
  const filter = '^(' + cases.map((c) => c.c).join('|') + ')$';
  const r = spawnSync(bin, [`--benchmark_filter=${filter}`, '--benchmark_repetitions=9',
    '--benchmark_format=json'], { encoding: 'utf8' });
  if (r.status !== 0) throw new Error(`${bin} failed: ${r.stderr}`);
  const scale = { ns: 1e-3, us: 1, ms: 1e3, s: 1e6 };
  const times = {};
  for (const b of JSON.parse(r.stdout).benchmarks) {
    if (b.run_type !== 'iteration') continue;
    const t = b.cpu_time * scale[b.time_unit];
    times[b.run_name] = Math.min(times[b.run_name] ?? Infinity, t);
  }
  return { bin, times };
}

const fmt = (x) => (x === undefined ? '–' : x.toFixed(2));
const c = measureC();
const load = fs.readFileSync('/proc/loadavg', 'utf8').split(' ').slice(0, 3).join(' ');
console.log(`node ${process.version}, koffi ${require('koffi').version}, library ${process.env.QUORENT_SDK_LIB || '(packaged or system)'}, load average ${load}`);
if (!c.times) console.log(`(no C benchmark at ${c.bin}: binding times only)`);
console.log('| operation | binding µs | C ABI µs | overhead µs | target µs | met |');
console.log('|---|---:|---:|---:|---:|:-:|');
for (const k of cases) {
  const binding = measureBinding(k.run);
  const abi = c.times ? c.times[k.c] : undefined;
  const overhead = abi === undefined ? undefined : binding - abi;
  const met = overhead === undefined ? '–' : overhead <= k.target ? 'yes' : 'NO';
  console.log(`| ${k.name} | ${fmt(binding)} | ${fmt(abi)} | ${fmt(overhead)} | ${k.target} | ${met} |`);
}
