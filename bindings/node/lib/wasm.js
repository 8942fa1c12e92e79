'use strict';
// The library as a WebAssembly module (quorent_sdk_uniffi.wasm, the wasm32
// build): the same C interface as the shared library, called through the
// module's exports under the wasm32 C convention. Every structure argument
// (RustBuffer, ForeignBytes) is passed as the address of a copy in the
// module's memory, and a structure result is written to an address passed
// as a hidden first argument; 64-bit integers are BigInts. The module
// imports four WASI functions: random bytes (random_get, from
// crypto.getRandomValues) and what writing a message before an abort needs
// (fd_write, fd_seek, fd_close). Used by lib/runtime.js through the same
// functions as the shared library: declare, free, fromBytes, copyOut; and by
// the browser's (lib/browser.mjs). It is handed the compiled module: reading
// and compiling it is the host's (synchronous in Node, fetched in a browser).
//
// Like lib/protocol.js, the file has neither import nor export: Node requires
// it as CommonJS, browsers and bundlers import it as an ES module, and it
// hands its contents over through module.exports where there is one, else
// under globalThis[Symbol.for('quorent-sdk/lib/wasm.js')].

const WASM_FILE = 'quorent_sdk_uniffi.wasm';
const FN_PREFIX = 'uniffi_quorent_sdk_uniffi_fn_func_';
const CHECKSUM_PREFIX = 'uniffi_quorent_sdk_uniffi_checksum_func_';

// Layout of the scratch area, one library buffer taken when the module is
// instantiated: the call status (32 bytes), the hidden result (24), a
// ForeignBytes (8), then one RustBuffer (24) per buffer argument.
const STATUS = 0;
const RESULT = 32;
const FOREIGN = 56;
const ARGS = 64;
const MAX_ARGS = 16;
const SCRATCH = ARGS + 24 * MAX_ARGS;

// WASI errno values.
const ESUCCESS = 0;
const EBADF = 8;
const ESPIPE = 70;

const decoder = new TextDecoder();

class Module {
  /** `module`: the compiled WebAssembly.Module. */
  constructor(module, InternalError) {
    this.InternalError = InternalError;
    this.module = module;
    this.stderr = '';
    this.instantiate();
  }

  /** A fresh instance: its own memory, constructors run, scratch taken. */
  instantiate() {
    const instance = new WebAssembly.Instance(this.module, { wasi_snapshot_preview1: this.wasi() });
    this.x = instance.exports;
    this.memory = this.x.memory;
    this.x._initialize();
    this.broken = false;
    this.u8 = null;
    this.view();
    // The scratch area: a buffer of the library's own, kept for the
    // instance. Asking for it needs a place for its result and status: the
    // first 64 bytes of memory, which the module leaves unused (its data
    // starts at 1024), read once and cleared.
    this.x.ffi_quorent_sdk_uniffi_rustbuffer_alloc(0, BigInt(SCRATCH + 8), 32);
    const data = this.dv.getInt8(32) === 0 ? this.dv.getUint32(16, true) : 0;
    this.u8.fill(0, 0, 64);
    if (data === 0) throw new Error('quorent-sdk: the WebAssembly module has no memory for its scratch area');
    this.base = (data + 7) & ~7;
  }

  /** The views of the memory, made again after it grew. */
  view() {
    if (this.u8 === null || this.u8.buffer !== this.memory.buffer) {
      this.u8 = new Uint8Array(this.memory.buffer);
      this.dv = new DataView(this.memory.buffer);
    }
  }

  wasi() {
    const self = this;
    return {
      random_get(ptr, len) {
        self.view();
        // getRandomValues fills at most 65536 bytes at a time.
        for (let off = 0; off < len; off += 65536) {
          crypto.getRandomValues(self.u8.subarray(ptr + off, ptr + Math.min(len, off + 65536)));
        }
        return ESUCCESS;
      },
      // Only the message of an abort is written (to standard error): kept, to
      // be reported with the failed call, and copied to the console.
      fd_write(fd, iovs, iovsLen, written) {
        self.view();
        let n = 0;
        for (let i = 0; i < iovsLen; i++) {
          const p = self.dv.getUint32(iovs + 8 * i, true);
          const l = self.dv.getUint32(iovs + 8 * i + 4, true);
          if (fd === 1 || fd === 2) self.stderr += decoder.decode(self.u8.subarray(p, p + l));
          n += l;
        }
        self.dv.setUint32(written, n, true);
        return fd === 1 || fd === 2 ? ESUCCESS : EBADF;
      },
      fd_seek() {
        return ESPIPE;
      },
      fd_close() {
        return EBADF;
      },
    };
  }

  /** A usable instance: after a trap, a fresh one (buffers held from the
   * one before are gone with it). */
  ready() {
    if (this.broken) this.instantiate();
  }

  /** Runs an export; a trap (an abort inside the module: out of memory, a
   * fault) fails this call with an InternalError and leaves the instance
   * unusable: its memory is wiped, and the next call starts a fresh one. */
  call(symbol, args) {
    try {
      return this.x[symbol](...args);
    } catch (e) {
      if (!(e instanceof WebAssembly.RuntimeError)) throw e;
      this.broken = true;
      this.view();
      this.u8.fill(0);
      const written = this.stderr.trim();
      this.stderr = '';
      throw new this.InternalError(`the library stopped (${e.message})${written ? ': ' + written : ''}`);
    }
  }

  /** A u16/u32 export taking no argument (contract version, checksums). */
  number(symbol) {
    const f = this.x[symbol];
    if (typeof f !== 'function') return undefined;
    return f();
  }
}

/** Instantiates the compiled module and returns the functions the runtime
 * calls the library through. */
function open(module, InternalError) {
  const mod = new Module(module, InternalError);
  const status = (base) => base + STATUS;

  // The status, as runtime.js keeps it: [code, 7 bytes, capacity, len, data]
  // (8 bytes each). The library writes it only on failure: its code is
  // cleared before each call and copied out after one that failed.
  function before() {
    mod.ready();
    mod.view();
    mod.dv.setInt8(mod.base + STATUS, 0);
  }
  function after(st) {
    mod.view();
    const b = mod.base;
    if (mod.dv.getInt8(b + STATUS) === 0) return;
    const words = new BigUint64Array(st.buffer, st.byteOffset, 4);
    words[0] = BigInt(mod.dv.getUint8(b + STATUS));
    words[1] = mod.dv.getBigUint64(b + STATUS + 8, true);
    words[2] = mod.dv.getBigUint64(b + STATUS + 16, true);
    words[3] = BigInt(mod.dv.getUint32(b + STATUS + 24, true));
  }
  function putBuffer(at, words) {
    mod.dv.setBigUint64(at, words[0], true);
    mod.dv.setBigUint64(at + 8, words[1], true);
    mod.dv.setUint32(at + 16, Number(words[2]), true);
    mod.dv.setUint32(at + 20, 0, true);
  }
  function getBuffer(at, words) {
    words[0] = mod.dv.getBigUint64(at, true);
    words[1] = mod.dv.getBigUint64(at + 8, true);
    words[2] = BigInt(mod.dv.getUint32(at + 16, true));
  }

  /** Declares one operation (runtime.js's declare). */
  function declare(name, args, result) {
    const symbol = FN_PREFIX + name;
    if (typeof mod.x[symbol] !== 'function') throw new Error(`quorent-sdk: the library has no operation ${name}`);
    if (args.length > MAX_ARGS) throw new Error(`quorent-sdk: ${name} has more arguments than the scratch area holds`);
    const isBuffer = (t) => !(t === 'u64' || t === 'bool' || t === 'u8');
    const bufferResult = result !== null && isBuffer(result);
    const kinds = args.map((t) => (t === 'u64' ? 'u64' : isBuffer(t) ? 'buf' : 'int'));
    return (...a) => {
      const st = a.pop();
      const ret = bufferResult ? a.shift() : null;
      before();
      const b = mod.base;
      const wasmArgs = bufferResult ? [b + RESULT] : [];
      for (let i = 0; i < kinds.length; i++) {
        const v = a[i];
        if (kinds[i] === 'u64') wasmArgs.push(BigInt(v));
        else if (kinds[i] === 'int') wasmArgs.push(v);
        else {
          putBuffer(b + ARGS + 24 * i, v.words);
          wasmArgs.push(b + ARGS + 24 * i);
        }
      }
      wasmArgs.push(status(b));
      const r = mod.call(symbol, wasmArgs);
      after(st);
      if (bufferResult) {
        mod.view();
        getBuffer(mod.base + RESULT, ret);
        return undefined;
      }
      return r;
    };
  }

  function free(buf, st) {
    if (mod.broken) return; // its memory is gone with the instance
    before();
    putBuffer(mod.base + ARGS, buf.words);
    mod.call('ffi_quorent_sdk_uniffi_rustbuffer_free', [mod.base + ARGS, status(mod.base)]);
    after(st);
  }

  /** A new library buffer holding output[0 .. n): allocated by the library,
   * then filled in place (one copy). */
  function fromBytes(retWords, n, output, st) {
    before();
    mod.call('ffi_quorent_sdk_uniffi_rustbuffer_alloc', [mod.base + RESULT, BigInt(n), status(mod.base)]);
    after(st);
    mod.view();
    if (st[0] !== 0) return;
    getBuffer(mod.base + RESULT, retWords);
    mod.u8.set(output.subarray(0, n), Number(retWords[2]));
  }

  function copyOut(dest, data, n) {
    mod.view();
    const p = Number(data);
    dest.set(mod.u8.subarray(p, p + n));
  }

  return {
    kind: 'wasm',
    contractVersion: () => mod.number('ffi_quorent_sdk_uniffi_uniffi_contract_version'),
    checksum: (name) => mod.number(CHECKSUM_PREFIX + name),
    declare,
    free,
    fromBytes,
    copyOut,
  };
}

const shared = { open, WASM_FILE };
if (typeof module === 'object' && module !== null) module.exports = shared;
else globalThis[Symbol.for('quorent-sdk/lib/wasm.js')] = shared;
