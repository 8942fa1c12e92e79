// The runtime in browsers and web workers (the package's browser condition,
// browser.mjs): the WebAssembly build, fetched and compiled by init() (by
// default from prebuilds/wasm32/ beside this package's files, found through
// import.meta.url, which bundlers follow to copy the file), or compiled from
// bytes by initSync() where a synchronous start is needed (a worker). Every
// call crosses the same buffer protocol as in Node (lib/protocol.js), over a
// Uint8Array with the few Buffer methods it calls, and the same module glue
// (lib/wasm.js).

import * as protocolFile from './protocol.js';
import * as wasmFile from './wasm.js';

/** What a file without exports (lib/protocol.js, lib/wasm.js, the generated
 * lib/binding.js) hands over: its module.exports where a bundler gave it
 * one (its default export then), else what it left under its global key. */
function shared(namespace, file) {
  const key = Symbol.for(`quorent-sdk/lib/${file}`);
  const value = namespace.default || globalThis[key];
  delete globalThis[key];
  return value;
}

const { protocol, verify, InternalError } = shared(protocolFile, 'protocol.js');
const wasm = shared(wasmFile, 'wasm.js');

const encoder = new TextEncoder();
const decoder = new TextDecoder();
const strict = new TextDecoder('utf-8', { fatal: true });

/** The bytes the protocol reads and writes: a Uint8Array with the Buffer
 * methods it calls (big-endian integers, UTF-8 in and out, copy). */
class Bytes extends Uint8Array {
  static alloc(n) {
    return new Bytes(n);
  }

  readInt32BE(o) {
    return (this[o] << 24) | (this[o + 1] << 16) | (this[o + 2] << 8) | this[o + 3];
  }

  readBigUInt64BE(o) {
    return (BigInt(this.readInt32BE(o) >>> 0) << 32n) | BigInt(this.readInt32BE(o + 4) >>> 0);
  }

  writeInt32BE(v, o) {
    this[o] = v >>> 24;
    this[o + 1] = v >>> 16;
    this[o + 2] = v >>> 8;
    this[o + 3] = v;
  }

  writeBigUInt64BE(v, o) {
    this.writeInt32BE(Number(v >> 32n), o);
    this.writeInt32BE(Number(v & 0xffffffffn), o + 4);
  }

  write(text, offset) {
    return encoder.encodeInto(text, this.subarray(offset)).written;
  }

  copy(target, targetStart, start, stop) {
    target.set(this.subarray(start, stop), targetStart);
    return stop - start;
  }

  utf8Slice(start, stop) {
    return decoder.decode(this.subarray(start, stop));
  }
}

function isUtf8(bytes) {
  try {
    strict.decode(bytes);
    return true;
  } catch (e) {
    return false;
  }
}

const notLoaded = () => {
  throw new Error('quorent-sdk: the library is not loaded yet: await init() (or, in a worker, call ' +
    'initSync(module or bytes)) before the first call');
};
const rt = protocol(Bytes, isUtf8, notLoaded);
let loaded = null; // lib/wasm.js's functions, once loaded
rt.declare = (name, args, result) => loaded.declare(name, args, result);

/** Where init() fetches the module by default. A function, so that a worker
 * started with initSync() never needs import.meta.url to resolve. */
const defaultUrl = () => new URL('../prebuilds/wasm32/quorent_sdk_uniffi.wasm', import.meta.url);

const isBytes = (x) => x instanceof ArrayBuffer || ArrayBuffer.isView(x);

/** A URL as fetch() takes it: against the page's (or worker's) location. */
function absolute(url) {
  try {
    return globalThis.location ? new URL(url, globalThis.location.href).href : url;
  } catch (e) {
    return url;
  }
}

/** The compiled module from what init() was given: a URL (string, URL or
 * Request), a Response (or a promise of one), bytes, or a compiled module.
 * Fails naming the URL and the engine's or server's reason. */
async function compile(input) {
  if (input instanceof WebAssembly.Module) return input;
  if (isBytes(input)) return compileBytes(input, 'the bytes given');
  let response = await input;
  const isResponse = typeof Response === 'function' && response instanceof Response;
  const where = isResponse ? response.url || 'the response given'
    : absolute(typeof Request === 'function' && response instanceof Request ? response.url : String(response));
  if (!isResponse) {
    try {
      response = await fetch(response);
    } catch (e) {
      const cause = e.cause && e.cause.message ? `: ${e.cause.message}` : '';
      throw new Error(`quorent-sdk: cannot fetch the WebAssembly module ${where} (${e.message}${cause})`);
    }
  }
  if (!response.ok) {
    throw new Error(`quorent-sdk: cannot fetch the WebAssembly module ${where} ` +
      `(HTTP ${response.status}${response.statusText ? ' ' + response.statusText : ''})`);
  }
  const type = response.headers.get('content-type') || '';
  if (typeof WebAssembly.compileStreaming === 'function' && type.split(';')[0].trim() === 'application/wasm') {
    try {
      return await WebAssembly.compileStreaming(response);
    } catch (e) {
      throw new Error(`quorent-sdk: cannot compile the WebAssembly module ${where} (${e.message})`);
    }
  }
  let bytes;
  try {
    bytes = await response.arrayBuffer();
  } catch (e) {
    throw new Error(`quorent-sdk: cannot fetch the WebAssembly module ${where} (${e.message})`);
  }
  return compileBytes(bytes, where);
}

async function compileBytes(bytes, where) {
  try {
    return await WebAssembly.compile(bytes);
  } catch (e) {
    throw new Error(`quorent-sdk: cannot compile the WebAssembly module ${where} (${e.message})`);
  }
}

/** The browser entry's functions over the generated binding (the namespace
 * of lib/binding.js): every operation, init() and initSync(). */
export function entry(generated) {
  const { CONTRACT_VERSION, CHECKSUMS, binding } = shared(generated, 'binding.js');
  const { declare, api } = binding(rt);
  let loading = null;

  function start(compiled) {
    if (loaded !== null) return;
    const m = wasm.open(compiled, InternalError);
    verify(CONTRACT_VERSION, CHECKSUMS, m.contractVersion, m.checksum);
    loaded = m;
    rt.attach(m);
    declare();
  }

  /** Fetches and compiles the module (from `input`, by default the copy
   * beside this package's files) and loads it. Resolves at once when it is
   * loaded; a failure rejects with the URL and the reason, and a later
   * call tries again. */
  function init(input = undefined) {
    if (loaded !== null) return Promise.resolve();
    if (loading === null) {
      loading = compile(input === undefined ? defaultUrl() : input).then(start, (e) => {
        loading = null;
        throw e;
      });
    }
    return loading;
  }

  /** Compiles `input` (bytes, or a compiled module) and loads it, at once:
   * for a worker, or wherever the bytes are at hand (browsers may refuse to
   * compile a large module synchronously on the page's main thread). */
  function initSync(input) {
    if (loaded !== null) return;
    if (input instanceof WebAssembly.Module) return start(input);
    if (!isBytes(input)) throw new TypeError('initSync takes the module\'s bytes or a compiled WebAssembly.Module');
    let compiled;
    try {
      compiled = new WebAssembly.Module(input);
    } catch (e) {
      throw new Error(`quorent-sdk: cannot compile the WebAssembly module (${e.message})`);
    }
    start(compiled);
  }

  return { ...api, init, initSync };
}
