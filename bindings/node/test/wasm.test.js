'use strict';
// The WebAssembly build's own failures: a module that cannot be read or
// compiled, a trap inside it (out of memory), a capacity a 32-bit module
// cannot hold; and the choice between it and the shared library. Skipped
// when the module is not at hand ($QUORENT_SDK_WASM_FILE, else the package's
// prebuilds/wasm32/).
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { spawnSync } = require('node:child_process');
const wasm = require('../lib/wasm.js');
const { loadWasm, wasmPath } = require('../lib/runtime.js');
const { InternalError } = require('../lib/protocol.js');

const root = path.join(__dirname, '..');
const file = wasmPath(root);
const skip = !fs.existsSync(file) && `no WebAssembly module at ${file}`;

const load = (env, code) => spawnSync(process.execPath, ['-e', code], { cwd: root, env: { ...process.env, ...env },
  encoding: 'utf8' });

test('a module that cannot be read or compiled is refused, naming the file and the reason', { skip }, () => {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'quorent-wasm-'));
  const bad = path.join(dir, wasm.WASM_FILE);
  fs.writeFileSync(bad, 'not a module');
  try {
    for (const [f, words] of [[path.join(dir, 'missing.wasm'), /cannot read .*missing\.wasm \(ENOENT/],
      [bad, /cannot compile .*quorent_sdk_uniffi\.wasm \(WebAssembly\.Module\(\): .*magic/]]) {
      const r = load({ QUORENT_SDK_WASM: '1', QUORENT_SDK_WASM_FILE: f }, "require('.')");
      assert.equal(r.status, 1, r.stderr);
      assert.match(r.stderr, words);
    }
  } finally {
    fs.rmSync(dir, { recursive: true });
  }
});

test('QUORENT_SDK_WASM=1 takes the module; without it, a platform with no shared library takes it too', { skip }, () => {
  const code = "const s = require('.'); process.stdout.write(require('./lib/runtime.js').backend() + ' ' + " +
    "s.normalizeOrigin('https://A.test'))";
  assert.equal(load({ QUORENT_SDK_WASM: '1', QUORENT_SDK_WASM_FILE: file }, code).stdout, 'wasm https://a.test');
  // No $QUORENT_SDK_LIB and nothing on the library path for an unknown platform.
  const none = load({ QUORENT_SDK_WASM: '', QUORENT_SDK_LIB: '', QUORENT_SDK_WASM_FILE: file, LD_LIBRARY_PATH: '' },
    "Object.defineProperty(process, 'arch', { value: 'none' });" + code);
  assert.equal(none.stdout, 'wasm https://a.test', none.stderr);
});

test('a trap inside the module fails that call alone; the next call runs in a fresh instance', { skip }, () => {
  const m = loadWasm(file);
  const ret = new BigUint64Array(3);
  const status = new Uint8Array(32);
  // 3.5e9 bytes: a size_t on wasm32, more than its memory can hold. The
  // library writes why it stops, then aborts.
  assert.throws(() => m.fromBytes(ret, 3.5e9, Buffer.alloc(0), status),
    (e) => e instanceof InternalError && /memory allocation of 3500000000 bytes failed/.test(e.message));
  m.fromBytes(ret, 4, Buffer.from('abcd'), status);
  assert.deepEqual([status[0], ret[0], ret[1]], [0, 4n, 4n]);
  const back = Buffer.alloc(4);
  m.copyOut(back, ret[2], 4);
  assert.equal(back.toString(), 'abcd');
  m.free({ words: ret }, status);
  // A capacity that is no size_t there is refused, never truncated.
  m.fromBytes(ret, 2 ** 32 + 5, Buffer.alloc(0), status);
  assert.equal(status[0], 2);
  const message = Buffer.alloc(Number(new BigUint64Array(status.buffer)[2]));
  m.copyOut(message, new BigUint64Array(status.buffer)[3], message.length);
  assert.equal(message.toString(), 'capacity overflow');
  m.free({ words: new BigUint64Array(status.buffer).subarray(1, 4) }, new Uint8Array(32));
});
