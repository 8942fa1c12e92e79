'use strict';
// The binding's runtime in Node: finds and loads libquorent_sdk_uniffi with
// koffi (or, where this package carries no build for the platform or
// QUORENT_SDK_WASM=1 asks for it, the WebAssembly build: lib/wasm.js), checks
// that it matches the generated declarations, and declares each operation.
// Every call crosses the buffer protocol of lib/protocol.js, over Node's
// Buffer. The generated lib/binding.js holds one specialised function per
// operation and one reader/writer per record, built from those helpers;
// index.js gives it this runtime.

const fs = require('node:fs');
const path = require('node:path');
const { isUtf8 } = require('node:buffer');
const { protocol, verify, InternalError } = require('./protocol.js');
const wasmRuntime = require('./wasm.js');

const ENV_VAR = 'QUORENT_SDK_LIB';
const FN_PREFIX = 'uniffi_quorent_sdk_uniffi_fn_func_';
const CHECKSUM_PREFIX = 'uniffi_quorent_sdk_uniffi_checksum_func_';

const notLoaded = () => {
  throw new Error('quorent-sdk: the library is not loaded');
};
const rt = protocol(Buffer, isUtf8, notLoaded);

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
const HIDDEN_RETURN = hiddenReturn(process.platform, process.arch);

/** Declares a function returning a RustBuffer, called as f(ret, ...args)
 * with `ret` the protocol's result words, and read with received(). */
function funcReturningBuffer(handle, symbol, args) {
  if (HIDDEN_RETURN) return handle.func(symbol, 'void *', ['uint8_t *', ...args]);
  const f = handle.func(symbol, RustBuffer, args);
  return (ret, ...a) => {
    const r = f(...a);
    ret[0] = BigInt(r.capacity);
    ret[1] = BigInt(r.len);
    ret[2] = r.data === null ? 0n : BigInt(r.data);
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

/** Whether the WebAssembly build is taken: QUORENT_SDK_WASM=1 asks for it;
 * otherwise only where no shared library loads and the module is there. */
function wasmForced(env = process.env) {
  return env.QUORENT_SDK_WASM === '1';
}

/** The WebAssembly module's file: $QUORENT_SDK_WASM_FILE, else the copy this
 * package carries. */
function wasmPath(root = PACKAGE_ROOT, env = process.env) {
  return env.QUORENT_SDK_WASM_FILE || path.join(root, 'prebuilds', 'wasm32', wasmRuntime.WASM_FILE);
}

/** The WebAssembly module at `file`, read and compiled synchronously
 * (require() stays synchronous), instantiated (lib/wasm.js). */
function loadWasm(file) {
  let bytes;
  try {
    bytes = fs.readFileSync(file);
  } catch (e) {
    throw new Error(`quorent-sdk: cannot read the WebAssembly module ${file} (${e.message})`);
  }
  let compiled;
  try {
    compiled = new WebAssembly.Module(bytes);
  } catch (e) {
    throw new Error(`quorent-sdk: cannot compile the WebAssembly module ${file} (${e.message})`);
  }
  return wasmRuntime.open(compiled, InternalError);
}

function openWasm(contractVersion, checksums, file) {
  wasm = loadWasm(file);
  verify(contractVersion, checksums, wasm.contractVersion, wasm.checksum);
  rt.attach(wasm);
  return wasm;
}

/** Which build is loaded: 'native' or 'wasm'. */
function backend() {
  return wasm !== null ? 'wasm' : 'native';
}

/** Loads the library and refuses it unless its contract version and every
 * operation's checksum equal those the binding was generated with. */
function open(contractVersion, checksums) {
  const wasmFile = wasmPath();
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
  let fromBytes;
  if (HIDDEN_RETURN) {
    fromBytes = funcReturningBuffer(handle, 'ffi_quorent_sdk_uniffi_rustbuffer_from_bytes',
      ['int32_t', 'const uint8_t *', RustCallStatusPtr]);
  } else {
    const f = funcReturningBuffer(handle, 'ffi_quorent_sdk_uniffi_rustbuffer_from_bytes',
      [ForeignBytes, RustCallStatusPtr]);
    fromBytes = (r, len, data, st) => f(r, { len, data }, st);
  }
  rt.attach({
    free: handle.func('ffi_quorent_sdk_uniffi_rustbuffer_free', 'void', [RustBufferWords, RustCallStatusPtr]),
    fromBytes,
    copyOut: koffi.load(cRuntime()).func('memcpy', 'void *', ['uint8_t *', 'void *', 'size_t']),
  });
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

module.exports = {
  ...rt,
  backend,
  wasmForced,
  loadWasm,
  wasmPath,
  ENV_VAR,
  open,
  declare,
  candidates,
  prebuilds,
  openLibrary,
  fileName,
  libc,
  prebuildName,
  hiddenReturn,
  cRuntime,
};
