'use strict';
// The buffer protocol every call crosses, whichever build of the library is
// loaded: arguments checked, then lowered into buffers the library
// allocates; results and errors copied out, read, and freed on every path;
// every byte copied on this side zeroed once read. Shared by the Node
// runtime (lib/runtime.js: the shared library through koffi, or the
// WebAssembly build) and the browser's (lib/browser.mjs), which hand it the
// library's functions (attach) and their byte arrays: Node's Buffer, or a
// Uint8Array with the few Buffer methods this file calls (Bytes in
// lib/browser.mjs).
//
// The file has neither import nor export, so that Node requires it as
// CommonJS and browsers and bundlers import it as an ES module: it hands its
// contents over through module.exports where there is one, else under
// globalThis[Symbol.for('quorent-sdk/lib/protocol.js')], which the browser
// entry takes and deletes.

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

/** A RustBuffer on this side: { words: [capacity, len, data] } as a BigUint64Array. */
const newHandle = () => ({ words: new BigUint64Array(3) });

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

/** The protocol over byte arrays of class `Bytes` (Bytes.alloc(n), zeroed;
 * Buffer's readInt32BE, readBigUInt64BE, writeInt32BE, writeBigUInt64BE,
 * write(text, offset, 'utf8'), copy and utf8Slice) and `isUtf8(bytes)`. Calls
 * fail with `notLoaded`'s error until attach() hands it the library's
 * functions: free(buf, status), fromBytes(retWords, n, bytes, status) and
 * copyOut(dest, address, n). */
function protocol(Bytes, isUtf8, notLoaded) {
  let freeFn = notLoaded;
  let fromBytesFn = notLoaded;
  let memcpy = notLoaded;
  function attach(lib) {
    ({ free: freeFn, fromBytes: fromBytesFn, copyOut: memcpy } = lib);
  }

  const EMPTY = newHandle(); // never written
  // Where a buffer-returning call leaves its result (the runtime's declared
  // functions write it), read with received().
  const ret = newHandle();

  // Buffers received from the library and not yet handed back (freed, or
  // consumed as an argument): the tests check that it returns to zero.
  let live = 0;

  /** The RustBuffer the last buffer-returning call produced, in `ret` (which
   * the next such call overwrites). */
  function received() {
    if (ret.words[2] !== 0n) live++;
    return ret;
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
  let input = Bytes.alloc(4096); // bytes copied out of the last received buffer
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
        message = ': ' + utf8Slice(input, 0, end);
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
      if (n > input.length) input = Bytes.alloc(Math.max(n, input.length * 2));
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
    if (input.length > SCRATCH_KEEP) input = Bytes.alloc(4096);
    pos = end = 0;
  }

  // Node's Buffer.fill and toString check their arguments on every call; these
  // are the unchecked typed-array and Buffer primitives, for the hot paths.
  const zero = (buf, from, to) => Uint8Array.prototype.fill.call(buf, 0, from, to);
  const utf8Slice = typeof Bytes.prototype.utf8Slice === 'function'
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

  let output = Bytes.alloc(4096); // the argument being lowered
  let wpos = 0;
  const pending = []; // lowered buffers not yet handed to the library
  const slots = []; // pending[i] is slots[i]: reused from call to call

  function room(n) {
    if (wpos + n > output.length) {
      const next = Bytes.alloc(Math.max(wpos + n, output.length * 2));
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
      if (output.length > SCRATCH_KEEP) output = Bytes.alloc(4096);
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
      if (code === 2) throw new InternalError(utf8Slice(input, 0, end));
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

  return {
    attach,
    notLoaded,
    liveBuffers,
    traceCopies,
    InternalError,
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
  };
}

const shared = { protocol, verify, InternalError };
if (typeof module === 'object' && module !== null) module.exports = shared;
else globalThis[Symbol.for('quorent-sdk/lib/protocol.js')] = shared;
