'use strict';
// The binding's runtime: finds and loads libquorent_sdk_uniffi with koffi (or,
// where this package carries no build for the platform or QUORENT_SDK_WASM=1
// asks for it, the WebAssembly build: lib/wasm.js), checks that it matches
// the generated declarations, and carries every call
// across the buffer protocol: arguments checked, then lowered into buffers the
// library allocates; results and errors copied out, read, and freed on every
// path. The generated index.js holds one specialised function per operation
// and one reader/writer per record, built from the helpers below.

const fs = require('node:fs');
const path = require('node:path');
const { isUtf8 } = require('node:buffer');

const ENV_VAR = 'QUORENT_SDK_LIB';
const FN_PREFIX = 'uniffi_quorent_sdk_uniffi_fn_func_';
const CHECKSUM_PREFIX = 'uniffi_quorent_sdk_uniffi_checksum_func_';
const U64_MAX = 0xffffffffffffffffn;
const I32_MAX = 0x7fffffff;

/** An unexpected failure inside the library (call status 2), or a result the
 * binding could not read. `message` is the library's own text. */
class InternalError extends Error {
  constructor(message) {
    super(message);
    this.name = 'InternalError';
  }
}

// ---- ABI types -------------------------------------------------------------------

// koffi is loaded when the shared library is: where it has no build of its own
// (a platform without a prebuild of either), the WebAssembly build is taken.
let koffi = null;
let RustBuffer, RustBufferWords, ForeignBytes, RustCallStatus, RustCallStatusPtr;
function loadKoffi() {
  if (koffi !== null) return koffi;
  const k = require('koffi');
  // Unnamed: koffi's type names are global to the process, which may hold
  // another copy of this package.
  RustBuffer = k.struct({ capacity: 'uint64_t', len: 'uint64_t', data: 'void *' });
  // A RustBuffer argument is declared as one array of three 64-bit words: the
  // same size, alignment and argument class as the three fields, and koffi
  // copies a typed array in one step where it reads an object's fields one by
  // one (about 0.15 us less per buffer argument).
  RustBufferWords = k.struct({ words: k.array('uint64_t', 3) });
  ForeignBytes = k.struct({ len: 'int32_t', data: 'const uint8_t *' });
  RustCallStatus = k.struct({ code: 'int8_t', error_buf: RustBuffer });
  RustCallStatusPtr = k.pointer(RustCallStatus);
  koffi = k;
  return k;
}

// A RustBuffer on this side: { words: [capacity, len, data] } as a BigUint64Array.
const newHandle = () => ({ words: new BigUint64Array(3) });
const EMPTY = newHandle(); // never written

// Results in a RustBuffer. On x86-64 System V a 24-byte structure is returned
// through a hidden pointer that the caller passes as the first integer
// argument (and a 16-byte ForeignBytes travels in two registers, as two
// arguments would), so there the functions are declared with that pointer as
// an explicit first argument: each result lands in `ret`, one reused buffer,
// instead of a new object that koffi builds per call (about 0.4 us each).
// Elsewhere, or with QUORENT_SDK_NODE_STRUCT_RETURN=1, the structures are
// declared as they are and `ret` is unused: koffi's general structure
// returns, laid out by the platform's own convention. That is the path
// linux-arm64 takes: AAPCS64 returns a 24-byte structure through x8, a
// register of its own that is not an argument, so an explicit pointer
// argument cannot stand for it (it would arrive in x0 and the library would
// write the result wherever x8 happened to point). The Node stage runs the
// tests on x64 this way too.
// Windows x64 takes the general path as well: its hidden result pointer
// (in RCX) would fit the explicit one, but it passes a 16-byte ForeignBytes
// by reference, not as two arguments, and koffi knows that convention.
function hiddenReturn(platform, arch, env = process.env) {
  return platform === 'linux' && arch === 'x64' && !env.QUORENT_SDK_NODE_STRUCT_RETURN;
}
let HIDDEN_RETURN = hiddenReturn(process.platform, process.arch);
const ret = newHandle();
let lastResult = null;

// Buffers received from the library and not yet handed back (freed, or
// consumed as an argument): the tests check that it returns to zero.
let live = 0;

/** The RustBuffer the last buffer-returning call produced, in `ret` (which
 * the next such call overwrites). */
function received() {
  if (!HIDDEN_RETURN) {
    ret.words[0] = BigInt(lastResult.capacity);
    ret.words[1] = BigInt(lastResult.len);
    ret.words[2] = lastResult.data === null ? 0n : BigInt(lastResult.data);
    lastResult = null;
  }
  if (ret.words[2] !== 0n) live++;
  return ret;
}

/** Declares a function returning a RustBuffer, called as f(ret, ...args)
 * and read with received(). */
function funcReturningBuffer(handle, symbol, args) {
  if (HIDDEN_RETURN) return handle.func(symbol, 'void *', ['uint8_t *', ...args]);
  const f = handle.func(symbol, RustBuffer, args);
  return (_ret, ...a) => {
    lastResult = f(...a);
  };
}

// ---- loading ---------------------------------------------------------------------

const PACKAGE_ROOT = path.join(__dirname, '..');

/** The library's file name on a platform (process.platform's names): the
 * MinGW-built DLL has no "lib" prefix; macOS takes a .dylib. */
function fileName(platform = process.platform) {
  if (platform === 'win32') return 'quorent_sdk_uniffi.dll';
  return platform === 'darwin' ? 'libquorent_sdk_uniffi.dylib' : 'libquorent_sdk_uniffi.so';
}

/** The C library this process runs on, on Linux: 'glibc' when Node's report
 * names the glibc it runs with (a Node built for musl has no such field),
 * else 'musl'; null on other platforms. `header` is the report's header, for
 * tests; the report is made without its network part, which can be slow. */
function libc(platform = process.platform, header = undefined) {
  if (platform !== 'linux') return null;
  if (header === undefined) {
    const excluded = process.report.excludeNetwork;
    process.report.excludeNetwork = true;
    try {
      header = process.report.getReport().header;
    } finally {
      process.report.excludeNetwork = excluded;
    }
  }
  return header && header.glibcVersionRuntime ? 'glibc' : 'musl';
}

/** The folder prebuilds/<name>/ of the build for a platform: Node's
 * <platform>-<arch>, with -musl for Linux's musl build (never taken for glibc,
 * nor the reverse). */
function prebuildName(platform, arch, c) {
  return `${platform}-${arch}${c === 'musl' ? '-musl' : ''}`;
}

/** Where memcpy is looked up: the process's own symbols, but on Windows, where
 * koffi.load(null) is the executable (whose exports have no memcpy), the C
 * runtime DLL every Windows has (and the library itself imports). */
function cRuntime(platform = process.platform) {
  return platform === 'win32' ? 'msvcrt.dll' : null;
}

/** The platforms this package carries a library for: the folders
 * prebuilds/<platform>-<arch>/ that hold one, sorted. */
function prebuilds(root = PACKAGE_ROOT) {
  let names;
  try {
    names = fs.readdirSync(path.join(root, 'prebuilds'));
  } catch (e) {
    return [];
  }
  return names.filter((n) => fs.existsSync(path.join(root, 'prebuilds', n, fileName(n.split('-')[0])))).sort();
}

/** Where the library is looked for, as [description, path], in order:
 * $QUORENT_SDK_LIB alone when it is set (an explicit choice is never
 * silently replaced); otherwise the copy this package carries for the
 * platform and C library (prebuilds/<platform>-<arch>[-musl]/), then the
 * system's library path. */
function candidates(platform = process.platform, arch = process.arch, root = PACKAGE_ROOT, c = libc(platform)) {
  const fromEnv = process.env[ENV_VAR];
  if (fromEnv) return [[`$${ENV_VAR}`, fromEnv]];
  const name = fileName(platform);
  // Under its SONAME first, but on Windows and macOS (which have none).
  const system = platform === 'win32' || platform === 'darwin' ? [name] : [`${name}.0`, name];
  return [
    ['the copy in this package', path.join(root, 'prebuilds', prebuildName(platform, arch, c), name)],
    ...system.map((n) => ["the system's library path", n]),
  ];
}

/** Loads the first candidate that loads. When none does, the error names
 * what was tried and, when this package carries no library for the platform,
 * the platform and those it does carry. `load` is koffi.load but for tests. */
function openLibrary(platform = process.platform, arch = process.arch, root = PACKAGE_ROOT, load = (p) => loadKoffi().load(p),
  c = libc(platform)) {
  const tried = [];
  for (const [where, candidate] of candidates(platform, arch, root, c)) {
    try {
      return load(candidate);
    } catch (e) {
      tried.push(`${where}: ${candidate} (${e.message})`);
    }
  }
  const key = prebuildName(platform, arch, c);
  const carried = prebuilds(root);
  const unsupported = process.env[ENV_VAR] || carried.includes(key) ? ''
    : `this package has no build for ${key} (it has ${carried.length > 0 ? carried.join(', ') : 'none'}); `;
  throw new Error(
    `quorent-sdk: cannot load ${fileName(platform)}; ${unsupported}tried ${tried.join('; ')}. ` +
    `Set ${ENV_VAR} to the library's path.`);
}

let lib = null;
let wasm = null; // the WebAssembly build's functions (lib/wasm.js), when it is the one loaded
let freeFn = null;
let fromBytesFn = null;
let memcpy = null;

/** Whether the WebAssembly build is taken: QUORENT_SDK_WASM=1 asks for it;
 * otherwise only where no shared library loads and the module is there. */
function wasmForced(env = process.env) {
  return env.QUORENT_SDK_WASM === '1';
}

/** Refuses a library unless its contract version and every operation's
 * checksum equal those the binding was generated with. */
function verify(contractVersion, checksums, versionOf, checksumOf) {
  const version = versionOf();
  if (version !== contractVersion) {
    throw new Error(
      `quorent-sdk: the library has contract version ${version}, this binding needs ${contractVersion}`);
  }
  for (const [name, expected] of Object.entries(checksums)) {
    let actual;
    try {
      actual = checksumOf(name);
    } catch (e) {
      actual = undefined;
    }
    if (actual === undefined) throw new Error(`quorent-sdk: the library has no operation ${name}`);
    if (actual !== expected) {
      throw new Error(
        `quorent-sdk: checksum mismatch for ${name}: library ${actual}, binding ${expected}; ` +
        'the binding and the library come from different versions');
    }
  }
}

function openWasm(contractVersion, checksums, file) {
  wasm = require('./wasm.js').open(file, InternalError);
  verify(contractVersion, checksums, wasm.contractVersion, wasm.checksum);
  ({ free: freeFn, fromBytes: fromBytesFn, copyOut: memcpy } = wasm);
  HIDDEN_RETURN = true; // results land in `ret`, written from the module's memory
  return wasm;
}

/** Which build is loaded: 'native' or 'wasm'. */
function backend() {
  return wasm !== null ? 'wasm' : 'native';
}

/** Loads the library and refuses it unless its contract version and every
 * operation's checksum equal those the binding was generated with. Returns
 * the library handle, on which the generated code declares each operation. */
function open(contractVersion, checksums) {
  const wasmFile = require('./wasm.js').wasmPath(PACKAGE_ROOT);
  if (wasmForced()) return openWasm(contractVersion, checksums, wasmFile);
  let handle;
  try {
    handle = openLibrary();
  } catch (e) {
    // No shared library for this platform: the WebAssembly build, when the
    // package carries it (an explicit $QUORENT_SDK_LIB is never replaced).
    if (process.env[ENV_VAR] || !fs.existsSync(wasmFile)) throw e;
    return openWasm(contractVersion, checksums, wasmFile);
  }
  verify(contractVersion, checksums,
    () => handle.func('ffi_quorent_sdk_uniffi_uniffi_contract_version', 'uint32_t', [])(),
    (name) => handle.func(CHECKSUM_PREFIX + name, 'uint16_t', [])());
  freeFn = handle.func('ffi_quorent_sdk_uniffi_rustbuffer_free', 'void', [RustBufferWords, RustCallStatusPtr]);
  if (HIDDEN_RETURN) {
    fromBytesFn = funcReturningBuffer(handle, 'ffi_quorent_sdk_uniffi_rustbuffer_from_bytes',
      ['int32_t', 'const uint8_t *', RustCallStatusPtr]);
  } else {
    const f = funcReturningBuffer(handle, 'ffi_quorent_sdk_uniffi_rustbuffer_from_bytes',
      [ForeignBytes, RustCallStatusPtr]);
    fromBytesFn = (r, len, data, st) => f(r, { len, data }, st);
  }
  memcpy = koffi.load(cRuntime()).func('memcpy', 'void *', ['uint8_t *', 'void *', 'size_t']);
  lib = handle;
  return handle;
}

/** Declares one operation: `args` and `ret` use the model's type names. An
 * operation with a buffer result is called as f(ret, ...args, status), its
 * result read with received(); any other as f(...args, status). */
function declare(name, args, result) {
  if (wasm !== null) return wasm.declare(name, args, result);
  const abi = (t) => (t === 'u64' ? 'uint64_t' : t === 'bool' || t === 'u8' ? 'int8_t' : RustBufferWords);
  const params = [...args.map(abi), RustCallStatusPtr];
  if (result !== null && abi(result) === RustBufferWords) return funcReturningBuffer(lib, FN_PREFIX + name, params);
  return lib.func(FN_PREFIX + name, result === null ? 'void' : abi(result), params);
}

// ---- call status ---------------------------------------------------------------------

// One status for every call: JavaScript runs one call at a time per thread, and
// the library leaves the status untouched on success, so it is cleared only
// after a failure was read from it.
const status = new Uint8Array(32); // RustCallStatus on 64-bit platforms, and as lib/wasm.js keeps it
const statusWords = new BigUint64Array(status.buffer); // [code and padding, capacity, len, data]

/** Takes the error buffer out of the status and clears the status. */
function takeErrorBuf() {
  const buf = newHandle();
  buf.words.set(statusWords.subarray(1, 4));
  if (buf.words[2] !== 0n) live++;
  status.fill(0);
  return buf;
}

// ---- received buffers ----------------------------------------------------------------------

const SCRATCH_KEEP = 1 << 16;
let input = Buffer.alloc(4096); // bytes copied out of the last received buffer
let pos = 0;
let end = 0;

function free(buf) {
  live--;
  freeFn(buf, status);
  if (status[0] !== 0) {
    const err = takeErrorBuf();
    let message = '';
    if (err.words[2] !== 0n) {
      take(err);
      message = ': ' + input.toString('utf8', 0, end);
      done();
    }
    throw new InternalError('rustbuffer_free failed' + message);
  }
}

/** Copies a received buffer into `input`, frees it whatever happens, and
 * sets the read window to its bytes (which the caller clears with done(),
 * also when this throws). */
function take(buf) {
  const data = buf.words[2];
  try {
    const n = Number(buf.words[1]);
    if (n > input.length) input = Buffer.alloc(Math.max(n, input.length * 2));
    if (n > 0) memcpy(input, data, n);
    pos = 0;
    end = n;
    if (copies !== null) copies(input, 0, n);
  } finally {
    if (data !== 0n) free(buf);
  }
}

// For the tests: when set, is called with (buffer, from, to) for every range
// the runtime fills with a copy (an argument lowered, a result received), so
// that a test can check that each is zeroed once the call is over.
let copies = null;
function traceCopies(fn) {
  copies = fn;
}

/** Clears what was read (it may hold a secret); shrinks a grown scratch. */
function done() {
  zero(input, 0, end);
  if (input.length > SCRATCH_KEEP) input = Buffer.alloc(4096);
  pos = end = 0;
}

// Buffer's own fill and toString check their arguments on every call; these
// are the unchecked typed-array and Buffer primitives, for the hot paths.
const zero = (buf, from, to) => Uint8Array.prototype.fill.call(buf, 0, from, to);
const utf8Slice = typeof Buffer.prototype.utf8Slice === 'function'
  ? (buf, from, to) => buf.utf8Slice(from, to)
  : (buf, from, to) => buf.toString('utf8', from, to);

function need(n) {
  if (n < 0 || end - pos < n) throw new InternalError('result buffer is shorter than its declared form');
}

function utf8(start, stop) {
  const s = utf8Slice(input, start, stop);
  if (s.includes('\ufffd') && !isUtf8(input.subarray(start, stop))) {
    throw new InternalError('library returned text that is not UTF-8');
  }
  return s;
}

function readU8() {
  need(1);
  return input[pos++];
}

function readBool() {
  need(1);
  const b = input[pos++];
  if (b > 1) throw new InternalError('unexpected byte for Boolean');
  return b === 1;
}

function readU64() {
  need(8);
  const v = input.readBigUInt64BE(pos);
  pos += 8;
  return v;
}

function readI32() {
  need(4);
  const v = input.readInt32BE(pos);
  pos += 4;
  return v;
}

function readStr() {
  const n = readI32();
  need(n);
  pos += n;
  return utf8(pos - n, pos);
}

function readBytes() {
  const n = readI32();
  need(n);
  pos += n;
  return new Uint8Array(input.subarray(pos - n, pos));
}

function readOpt(read) {
  need(1);
  const tag = input[pos++];
  if (tag === 0) return undefined;
  if (tag === 1) return read();
  throw new InternalError('unexpected tag byte for Option');
}

function finish() {
  if (pos !== end) throw new InternalError(`junk data left in buffer after lifting (count: ${end - pos})`);
}

/** A direct text result. */
function liftStr(buf) {
  try {
    take(buf);
    return utf8(0, end);
  } finally {
    done();
  }
}

/** A result in nested form, read by `read`. */
function lift(buf, read) {
  try {
    take(buf);
    const value = read();
    finish();
    return value;
  } finally {
    done();
  }
}

function liftBool(v) {
  if (v !== 0 && v !== 1) throw new InternalError('unexpected byte for Boolean');
  return v === 1;
}

// ---- arguments: checks ------------------------------------------------------------------------

function checkStr(v, name) {
  if (typeof v !== 'string') throw new TypeError(`${name} must be a string`);
  if (!v.isWellFormed()) throw new TypeError(`${name} must be well-formed Unicode (it has a lone surrogate)`);
}

function checkOptStr(v, name) {
  if (v !== undefined && v !== null) checkStr(v, name);
}

function checkU64(v, name) {
  if (typeof v === 'bigint') {
    if (v < 0n || v > U64_MAX) throw new RangeError(`${name} must be in 0 .. 2^64 - 1`);
  } else if (typeof v === 'number') {
    if (!Number.isSafeInteger(v) || v < 0) {
      throw new RangeError(`${name} must be a non-negative safe integer, or a bigint in 0 .. 2^64 - 1`);
    }
  } else {
    throw new TypeError(`${name} must be a bigint`);
  }
}

function checkU8(v, name) {
  if (typeof v !== 'number') throw new TypeError(`${name} must be a number`);
  if (!Number.isInteger(v) || v < 0 || v > 255) throw new RangeError(`${name} must be an integer in 0 .. 255`);
}

function checkBool(v, name) {
  if (typeof v !== 'boolean') throw new TypeError(`${name} must be a boolean`);
}

function checkBytes(v, name) {
  if (!(v instanceof Uint8Array)) throw new TypeError(`${name} must be a Uint8Array`);
  if (v.length > I32_MAX - 4) throw new RangeError(`${name} is too long (at most 2^31 - 5 bytes)`);
}

function checkRecord(v, name) {
  if (v === null || typeof v !== 'object') throw new TypeError(`${name} must be an object`);
}

// ---- arguments: lowering ----------------------------------------------------------------------

let output = Buffer.alloc(4096); // the argument being lowered
let wpos = 0;
const pending = []; // lowered buffers not yet handed to the library
const slots = []; // pending[i] is slots[i]: reused from call to call

function room(n) {
  if (wpos + n > output.length) {
    const next = Buffer.alloc(Math.max(wpos + n, output.length * 2));
    output.copy(next, 0, 0, wpos);
    output.fill(0, 0, wpos);
    output = next;
  }
}

function writeU8(v) {
  room(1);
  output[wpos++] = v;
}

function writeBool(v) {
  writeU8(v ? 1 : 0);
}

function writeU64(v) {
  room(8);
  output.writeBigUInt64BE(BigInt(v), wpos);
  wpos += 8;
}

function writeStr(s) {
  room(4 + s.length * 3);
  const n = output.write(s, wpos + 4, 'utf8');
  if (n > I32_MAX) throw new RangeError('text is too long (at most 2^31 - 1 bytes)');
  output.writeInt32BE(n, wpos);
  wpos += 4 + n;
}

function writeBytes(v) {
  room(4 + v.length);
  output.writeInt32BE(v.length, wpos);
  output.set(v, wpos + 4);
  wpos += 4 + v.length;
}

function writeOpt(v, write) {
  if (v === undefined || v === null) {
    writeU8(0);
  } else {
    writeU8(1);
    write(v);
  }
}

/** Hands the bytes written since `begin()` to the library as a new buffer. */
function seal() {
  const n = wpos;
  wpos = 0;
  if (n > I32_MAX) {
    zero(output, 0, n);
    throw new RangeError('argument is too long (at most 2^31 - 1 bytes)');
  }
  if (n === 0) return EMPTY;
  if (copies !== null) copies(output, 0, n);
  try {
    fromBytesFn(ret.words, n, output, status);
    if (status[0] !== 0) {
      const err = takeErrorBuf();
      if (err.words[2] !== 0n) free(err);
      throw new InternalError('rustbuffer_from_bytes failed');
    }
  } finally {
    zero(output, 0, n);
    if (output.length > SCRATCH_KEEP) output = Buffer.alloc(4096);
  }
  received();
  if (slots.length === pending.length) slots.push(newHandle());
  const buf = slots[pending.length];
  buf.words.set(ret.words);
  pending.push(buf);
  return buf;
}

function begin() {
  wpos = 0;
}

/** A direct text argument. */
function lowerStr(s) {
  begin();
  room(s.length * 3);
  wpos = output.write(s, 0, 'utf8');
  return seal();
}

/** Releases the buffers lowered for a call that never happened, and clears
 * what a lowering that failed half-way left in the scratch. */
function abandon() {
  zero(output, 0, output.length);
  wpos = 0;
  while (pending.length > 0) {
    const buf = pending.pop();
    try {
      free(buf);
    } catch (e) {
      // keep releasing the others
    }
  }
}

/** Reads the status after an operation returned `result` (the lowered
 * buffers are the library's now): returns `result` on success, frees it and
 * throws otherwise. `makeError` turns a declared error's (variant number,
 * message) into the error to throw; null for an operation that cannot fail. */
function outcome(result, makeError) {
  live -= pending.length;
  pending.length = 0;
  const code = status[0];
  if (code === 0) return result;
  const err = takeErrorBuf();
  try {
    if (typeof result === 'object' && result.words[2] !== 0n) free(result);
  } finally {
    if (err.words[2] !== 0n) take(err);
  }
  if (err.words[2] === 0n) throw new InternalError(`call failed with status ${code} and no message`);
  try {
    if (code === 1 && makeError !== null) {
      const variant = readI32();
      const message = readStr();
      finish();
      return throwError(makeError(variant, message));
    }
    if (code === 2) throw new InternalError(input.toString('utf8', 0, end));
    throw new InternalError(`unexpected call status ${code}`);
  } finally {
    done();
  }
}

function throwError(e) {
  throw e;
}

/** How many buffers received from the library are not yet handed back. */
function liveBuffers() {
  return live;
}

module.exports = {
  backend,
  wasmForced,
  liveBuffers,
  traceCopies,
  InternalError,
  ENV_VAR,
  open,
  declare,
  outcome,
  status,
  ret: ret.words,
  received,
  lift,
  liftStr,
  liftBool,
  lowerStr,
  begin,
  seal,
  abandon,
  readU8,
  readBool,
  readU64,
  readI32,
  readStr,
  readBytes,
  readOpt,
  writeU8,
  writeBool,
  writeU64,
  writeStr,
  writeBytes,
  writeOpt,
  checkStr,
  checkOptStr,
  checkU64,
  checkU8,
  checkBool,
  checkBytes,
  checkRecord,
  candidates,
  prebuilds,
  openLibrary,
  fileName,
  libc,
  prebuildName,
  hiddenReturn,
  cRuntime,
};
