'use strict';
// What only this binding can get wrong: JavaScript values the interface cannot
// carry, u64 beyond 2^53, record round trips, and the checks
// made when the library is loaded.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { spawnSync } = require('node:child_process');
const sdk = require('..');

const SEED = '3f7c76331f79b57a5ad8c28c263a9af2a6bfa3fbb72e4c290cf414a57539f150';
const ORIGIN = 'https://shop.example';
const appKey = () => sdk.deriveAppKey(SEED, 7n, ORIGIN);

test('values the interface cannot carry are refused before any call', () => {
  const key = appKey().secretKeyHex;
  const deed = sdk.mintUserDeed(key, 7n, 'aud', ORIGIN, 'c', 1n);
  const refused = [
    [TypeError, () => sdk.normalizeOrigin(5)],
    [TypeError, () => sdk.normalizeOrigin(new String('https://a.test'))],
    [TypeError, () => sdk.normalizeOrigin('https://a.test\ud800')],
    [RangeError, () => sdk.mintUserDeed(key, -1n, 'aud', ORIGIN, 'c', 1n)],
    [RangeError, () => sdk.mintUserDeed(key, 1n << 64n, 'aud', ORIGIN, 'c', 1n)],
    [RangeError, () => sdk.mintUserDeed(key, 7, 'aud', ORIGIN, 'c', -1)],
    [RangeError, () => sdk.mintUserDeed(key, 7, 'aud', ORIGIN, 'c', 1.5)],
    [RangeError, () => sdk.mintUserDeed(key, 7, 'aud', ORIGIN, 'c', 2 ** 53)],
    [TypeError, () => sdk.mintUserDeed(key, '7', 'aud', ORIGIN, 'c', 1n)],
    [TypeError, () => sdk.originVouchBinding(1n, 'a', ORIGIN, 1n, 2n, 1)],
    [TypeError, () => sdk.decodeBoolReturn([0, 0])],
    [TypeError, () => sdk.delegate(1n, 'i', 't', '[]', 1n, '', 1n, '', 5, '')],
    [TypeError, () => sdk.mintCapabilityDeed(null, '[]', '[]')],
    [TypeError, () => sdk.mintCapabilityDeed({ ...deed, mode: undefined }, '[]', '[]')],
    [RangeError, () => sdk.mintCapabilityDeed({ ...deed, v: 256 }, '[]', '[]')],
    [RangeError, () => sdk.mintCapabilityDeed({ ...deed, tenant: -1n }, '[]', '[]')],
  ];
  for (const [kind, call] of refused) assert.throws(call, kind, call.toString());
  assert.equal(sdk.normalizeOrigin('https://A.test'), 'https://a.test');
});

test('u64 values beyond 2^53 and 2^63 cross intact, as bigint', () => {
  const big = (1n << 64n) - 1n;
  const text = sdk.buildClientAssertion('d', big, 'n', (1n << 63n) + 5n);
  assert.match(text, /tenant: 18446744073709551615\n/);
  assert.match(text, /issued-at: 9223372036854775813$/);
  // A record goes out and comes back field for field, optional fields absent
  // as undefined and present ones kept.
  const deed = sdk.mintUserDeed(appKey().secretKeyHex, big, 'aud', ORIGIN, 'c', (1n << 63n) + 1n);
  assert.equal(deed.tenant, big);
  assert.equal(deed.exp, (1n << 63n) + 1n);
  assert.equal(deed.root, undefined);
  const again = sdk.mintCapabilityDeed(deed, '[]', '[]');
  assert.deepEqual({ ...again, grants: undefined, delegations: undefined }, deed);
  assert.equal(again.grants, '[]');
  // Numbers are accepted for u64 arguments within the safe range.
  assert.deepEqual(sdk.mintUserDeed(appKey().secretKeyHex, 7, 'aud', ORIGIN, 'c', 9),
    sdk.mintUserDeed(appKey().secretKeyHex, 7n, 'aud', ORIGIN, 'c', 9n));
});

test('long and non-ASCII texts cross intact', () => {
  const challenge = 'ü€😀'.repeat(20000);
  const deed = sdk.mintUserDeed(appKey().secretKeyHex, 1n, 'aud', ORIGIN, challenge, 1n);
  assert.equal(deed.challenge, challenge);
});

test('loading: a second copy loads beside the first; a missing library or a mismatched checksum is refused, naming what is wrong', () => {
  const load = (env, code = "require('.')") =>
    spawnSync(process.execPath, ['-e', code], { cwd: path.join(__dirname, '..'), env: { ...process.env, ...env }, encoding: 'utf8' });
  const twice = load({}, "const a = require('.'); for (const k of Object.keys(require.cache)) " +
    "if (!k.includes('node_modules')) delete require.cache[k]; " +
    "const b = require('.'); process.stdout.write(String(a !== b && b.normalizeOrigin('https://A.test')))");
  assert.equal(twice.stdout, 'https://a.test', twice.stderr);

  // A file that is not there, and one that is there but no shared object: an
  // error (never a crash) naming the path and giving the loader's own words.
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'quorent-load-'));
  const notElf = path.join(dir, 'libquorent_sdk_uniffi.so');
  fs.writeFileSync(notElf, 'not a shared object\n');
  try {
    for (const [lib, words] of [['/nonexistent/libquorent_sdk_uniffi.so', /No such file or directory/],
      [notElf, /invalid ELF header|file too short/]]) {
      const failed = load({ QUORENT_SDK_LIB: lib, QUORENT_SDK_WASM: '' });
      assert.equal(failed.status, 1, failed.stderr);
      assert.equal(failed.signal, null);
      assert.ok(failed.stderr.includes(`$QUORENT_SDK_LIB: ${lib} (`), failed.stderr);
      assert.match(failed.stderr, words);
      assert.match(failed.stderr, /Set QUORENT_SDK_LIB/);
    }
  } finally {
    fs.rmSync(dir, { recursive: true });
  }

  // The generated checksums, one altered before the library is loaded.
  const mismatch = load({}, "const { CHECKSUMS } = require('./lib/binding.js'); " +
    "CHECKSUMS.normalize_origin = (CHECKSUMS.normalize_origin + 1) % 65536; require('.')");
  assert.notEqual(mismatch.status, 0);
  assert.match(mismatch.stderr, /checksum mismatch for normalize_origin/);
});

test('every buffer received from the library was handed back', () => {
  assert.equal(require('../lib/runtime.js').liveBuffers(), 0);
});
