'use strict';
// One package for several platforms: the loader picks the library carried for
// the platform it runs on and, on one it has no build for, says so; the pack
// script carries every declared library and refuses a missing or foreign one.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { spawnSync } = require('node:child_process');
const runtime = require('../lib/runtime.js');

const FILE_NAME = 'libquorent_sdk_uniffi.so';
const DLL = 'quorent_sdk_uniffi.dll';
const DYLIB = 'libquorent_sdk_uniffi.dylib';

/** Runs `body` in a fresh folder, with QUORENT_SDK_LIB unset. */
function inTemp(body) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'quorent-platforms-'));
  const saved = process.env.QUORENT_SDK_LIB;
  delete process.env.QUORENT_SDK_LIB;
  try {
    return body(dir);
  } finally {
    if (saved !== undefined) process.env.QUORENT_SDK_LIB = saved;
    fs.rmSync(dir, { recursive: true, force: true });
  }
}

function put(file, bytes) {
  fs.mkdirSync(path.dirname(file), { recursive: true });
  fs.writeFileSync(file, bytes);
}

const refuse = (file) => {
  throw new Error(`stub: ${path.basename(path.dirname(file))} not loaded`);
};

test('the loader takes the build for the platform, and names the platform and the builds it has when it has none', () => {
  inTemp((root) => {
    put(path.join(root, 'prebuilds', 'linux-x64', FILE_NAME), 'x');
    put(path.join(root, 'prebuilds', 'linux-arm64', FILE_NAME), 'a');
    put(path.join(root, 'prebuilds', 'win32-x64', DLL), 'w');
    fs.mkdirSync(path.join(root, 'prebuilds', 'darwin-arm64')); // a folder without a library is no build
    put(path.join(root, 'prebuilds', 'win32-arm64', FILE_NAME), 'x'); // nor one without the platform's file
    assert.deepEqual(runtime.prebuilds(root), ['linux-arm64', 'linux-x64', 'win32-x64']);

    const loaded = [];
    const record = (file) => {
      loaded.push(file);
      return { file };
    };
    for (const arch of ['arm64', 'x64']) {
      loaded.length = 0;
      const handle = runtime.openLibrary('linux', arch, root, record, 'glibc');
      assert.equal(handle.file, path.join(root, 'prebuilds', `linux-${arch}`, FILE_NAME));
      assert.equal(loaded.length, 1);
    }
    assert.equal(runtime.openLibrary('win32', 'x64', root, record).file, path.join(root, 'prebuilds', 'win32-x64', DLL));
    // Windows has no SONAME: the system's search is for the DLL's name alone.
    assert.deepEqual(runtime.candidates('win32', 'x64', root).slice(1), [["the system's library path", DLL]]);
    assert.deepEqual(runtime.candidates('linux', 'x64', root, 'glibc').slice(1).map(([, n]) => n), [`${FILE_NAME}.0`, FILE_NAME]);

    // Nothing for linux-riscv64 here nor on the system's path (stubbed).
    assert.throws(() => runtime.openLibrary('linux', 'riscv64', root, refuse, 'glibc'), (e) => {
      assert.match(e.message, /no build for linux-riscv64 \(it has linux-arm64, linux-x64, win32-x64\)/);
      assert.ok(e.message.includes(path.join(root, 'prebuilds', 'linux-riscv64', FILE_NAME)), e.message);
      assert.match(e.message, /Set QUORENT_SDK_LIB/);
      return true;
    });
    assert.throws(() => runtime.openLibrary('win32', 'x64', path.join(root, 'none'), refuse),
      /cannot load quorent_sdk_uniffi\.dll; this package has no build for win32-x64 \(it has none\)/);
    // A build that is carried but fails to load is reported as such, not as a missing platform.
    assert.throws(() => runtime.openLibrary('linux', 'arm64', root, refuse, 'glibc'), (e) => {
      assert.doesNotMatch(e.message, /no build for/);
      assert.match(e.message, /the copy in this package: .*linux-arm64.* \(stub: linux-arm64 not loaded\)/);
      return true;
    });
  });
});

test('musl and glibc each take their own build, never the other; macOS takes its .dylib', () => {
  inTemp((root) => {
    for (const key of ['linux-x64', 'linux-arm64', 'linux-x64-musl', 'linux-arm64-musl']) {
      put(path.join(root, 'prebuilds', key, FILE_NAME), key);
    }
    put(path.join(root, 'prebuilds', 'darwin-arm64', DYLIB), 'm');
    put(path.join(root, 'prebuilds', 'darwin-x64', FILE_NAME), 'x'); // not macOS's file: no build
    assert.deepEqual(runtime.prebuilds(root),
      ['darwin-arm64', 'linux-arm64', 'linux-arm64-musl', 'linux-x64', 'linux-x64-musl']);
    const record = (file) => ({ file });
    for (const arch of ['x64', 'arm64']) {
      for (const [c, key] of [['glibc', `linux-${arch}`], ['musl', `linux-${arch}-musl`]]) {
        assert.equal(runtime.openLibrary('linux', arch, root, record, c).file,
          path.join(root, 'prebuilds', key, FILE_NAME), `${arch} ${c}`);
      }
    }
    assert.equal(runtime.openLibrary('darwin', 'arm64', root, record, null).file,
      path.join(root, 'prebuilds', 'darwin-arm64', DYLIB));
    assert.deepEqual(runtime.candidates('darwin', 'arm64', root, null).slice(1), [["the system's library path", DYLIB]]);

    // A package with the glibc builds only: on musl, they are not tried, and the error says musl.
    fs.rmSync(path.join(root, 'prebuilds', 'linux-x64-musl'), { recursive: true });
    const tried = [];
    assert.throws(() => runtime.openLibrary('linux', 'x64', root, (f) => { tried.push(f); refuse(f); }, 'musl'), (e) => {
      assert.match(e.message, /no build for linux-x64-musl \(it has darwin-arm64, linux-arm64, linux-arm64-musl, linux-x64\)/);
      return true;
    });
    assert.deepEqual(tried, [path.join(root, 'prebuilds', 'linux-x64-musl', FILE_NAME), `${FILE_NAME}.0`, FILE_NAME]);
    assert.throws(() => runtime.openLibrary('darwin', 'x64', root, refuse, null),
      /cannot load libquorent_sdk_uniffi\.dylib; this package has no build for darwin-x64/);
  });
  // The C library, from the report's header: glibc names its version there.
  assert.equal(runtime.libc('linux', { glibcVersionRuntime: '2.36' }), 'glibc');
  assert.equal(runtime.libc('linux', {}), 'musl');
  assert.equal(runtime.libc('darwin', {}), null);
  assert.equal(runtime.libc('win32'), null);
  const excluded = process.report.excludeNetwork;
  assert.equal(runtime.libc(), process.platform === 'linux'
    ? (process.report.getReport().header.glibcVersionRuntime ? 'glibc' : 'musl') : null);
  assert.equal(process.report.excludeNetwork, excluded); // left as it was
});

test('only linux-x64 declares the System V hidden result pointer; Windows takes memcpy from its C runtime', () => {
  assert.equal(runtime.hiddenReturn('linux', 'x64', {}), true);
  assert.equal(runtime.hiddenReturn('linux', 'x64', { QUORENT_SDK_NODE_STRUCT_RETURN: '1' }), false);
  for (const [platform, arch] of [['linux', 'arm64'], ['win32', 'x64'], ['win32', 'arm64'], ['darwin', 'x64']]) {
    assert.equal(runtime.hiddenReturn(platform, arch, {}), false, `${platform}-${arch}`);
  }
  assert.equal(runtime.cRuntime('win32'), 'msvcrt.dll');
  assert.equal(runtime.cRuntime('linux'), null);
});

test('an explicit QUORENT_SDK_LIB is the only candidate, on any platform', () => {
  inTemp((root) => {
    process.env.QUORENT_SDK_LIB = path.join(root, 'mine.so');
    assert.deepEqual(runtime.candidates('freebsd', 'riscv64', root), [['$QUORENT_SDK_LIB', path.join(root, 'mine.so')]]);
    assert.throws(() => runtime.openLibrary('freebsd', 'riscv64', root, refuse), (e) => {
      assert.doesNotMatch(e.message, /no build for/);
      return true;
    });
  });
});

/** The headers of a PE image for `machine`: a DLL unless `exe`. */
function pe(machine, exe = false) {
  const b = Buffer.alloc(0x80 + 24);
  b.write('MZ', 0, 'latin1');
  b.writeUInt32LE(0x80, 0x3c);
  b.writeUInt32BE(0x50450000, 0x80);
  b.writeUInt16LE(machine, 0x84);
  b.writeUInt16LE(exe ? 0x0022 : 0x2022, 0x96);
  return b;
}

/** The first 20 bytes of a 64-bit little-endian ELF shared object for `machine`. */
function elf(machine) {
  const b = Buffer.alloc(64);
  b.writeUInt32BE(0x7f454c46, 0);
  b[4] = 2;
  b[5] = 1;
  b.writeUInt16LE(3, 16);
  b.writeUInt16LE(machine, 18);
  return b;
}

/** A 64-bit Mach-O dylib header for a CPU type. */
function macho(cpu) {
  const b = Buffer.alloc(32);
  b.writeUInt32LE(0xfeedfacf, 0);
  b.writeUInt32LE(cpu, 4);
  b.writeUInt32LE(6, 12); // MH_DYLIB
  return b;
}

test('npm pack carries every declared library and refuses a missing or foreign one', () => {
  inTemp((repo) => {
    // The script as it sits in the repository, in a copy of its surroundings.
    const script = path.join(repo, 'bindings', 'node', 'scripts', 'copy-library.js');
    put(script, fs.readFileSync(path.join(__dirname, '..', 'scripts', 'copy-library.js')));
    const table = path.join('scripts', 'platforms.json');
    put(path.join(repo, table), fs.readFileSync(path.join(__dirname, '..', '..', '..', table)));
    const prebuilt = path.join(repo, 'bindings', 'node', 'prebuilds');
    const run = (env) => spawnSync(process.execPath, [script], {
      encoding: 'utf8',
      env: { PATH: process.env.PATH, ...env },
    });
    const x64 = path.join(repo, 'x64.so');
    const arm64 = path.join(repo, 'arm64.so');
    const win = path.join(repo, 'x64.dll');
    const mac = path.join(repo, 'arm64.dylib');
    put(x64, elf(62));
    put(arm64, elf(183));
    put(win, pe(0x8664));
    put(mac, macho(0x0100000c));

    put(path.join(prebuilt, 'linux-ia32', FILE_NAME), 'stale'); // from an earlier pack
    let r = run({ QUORENT_SDK_LIB_LINUX_X64: x64, QUORENT_SDK_LIB_LINUX_ARM64: arm64, QUORENT_SDK_LIB_WIN32_X64: win,
      QUORENT_SDK_LIB_LINUX_X64_MUSL: x64, QUORENT_SDK_LIB_DARWIN_ARM64: mac });
    assert.equal(r.status, 0, r.stderr);
    assert.deepEqual(fs.readdirSync(prebuilt).sort(), ['darwin-arm64', 'linux-arm64', 'linux-x64', 'linux-x64-musl', 'win32-x64']);
    assert.deepEqual(fs.readFileSync(path.join(prebuilt, 'darwin-arm64', DYLIB)), macho(0x0100000c)); // signed: as it is
    // A macOS build is a dylib of its own architecture.
    r = run({ QUORENT_SDK_LIB_LINUX_X64: x64, QUORENT_SDK_LIB_DARWIN_X64: mac });
    assert.equal(r.status, 1);
    assert.ok(r.stderr.includes('is not a shared object for darwin-x64 (Mach-O machine 0x100000c, expected 0x1000007)'), r.stderr);
    for (const [key, machine] of [['linux-arm64', 183], ['linux-x64', 62]]) {
      assert.equal(fs.readFileSync(path.join(prebuilt, key, FILE_NAME)).readUInt16LE(18), machine, key);
    }
    assert.deepEqual(fs.readFileSync(path.join(prebuilt, 'win32-x64', DLL)), pe(0x8664)); // carried as it is

    // A Windows build must be a 64-bit x86 DLL: not an ELF object, a 32-bit DLL or a program.
    for (const [bytes, words] of [[elf(62), 'PE machine none'], [pe(0x14c), 'PE machine 0x14c'],
      [pe(0x8664, true), 'PE machine none']]) {
      put(win, bytes);
      r = run({ QUORENT_SDK_LIB_LINUX_X64: x64, QUORENT_SDK_LIB_WIN32_X64: win });
      assert.equal(r.status, 1);
      assert.ok(r.stderr.includes(`is not a shared object for win32-x64 (${words}, expected 0x8664)`), r.stderr);
    }

    // The WebAssembly build must be a module of version 1: not an ELF object, nor another version.
    const module = path.join(repo, 'q.wasm');
    for (const [bytes, words] of [[elf(62), 'version none'], [Buffer.from('\0asm\x02\0\0\0', 'latin1'), 'version 2']]) {
      put(module, bytes);
      r = run({ QUORENT_SDK_LIB_LINUX_X64: x64, QUORENT_SDK_LIB_WASM32: module });
      assert.equal(r.status, 1);
      assert.ok(r.stderr.includes(`is not a module for wasm32 (WebAssembly ${words}, expected 1)`), r.stderr);
    }
    put(module, Buffer.from('\0asm\x01\0\0\0', 'latin1'));
    r = run({ QUORENT_SDK_LIB_LINUX_X64: x64, QUORENT_SDK_LIB_WASM32: module });
    assert.equal(r.status, 0, r.stderr);
    assert.deepEqual(fs.readFileSync(path.join(prebuilt, 'wasm32', 'quorent_sdk_uniffi.wasm')), fs.readFileSync(module));

    // The portable builds' folders are the defaults.
    put(path.join(repo, 'build-portable', 'linux-aarch64', FILE_NAME), elf(183));
    put(path.join(repo, 'build-portable', 'windows-x86_64', DLL), pe(0x8664));
    r = run({ QUORENT_SDK_LIB_LINUX_X64: x64 });
    assert.equal(r.status, 0, r.stderr);
    assert.match(r.stderr, /linux-aarch64.*\(the portable build\) -> prebuilds\/linux-arm64/);
    assert.match(r.stderr, /windows-x86_64.*\(the portable build\) -> prebuilds\/win32-x64\/quorent_sdk_uniffi\.dll/);

    r = run({ QUORENT_SDK_LIB_LINUX_X64: x64, QUORENT_SDK_LIB_LINUX_ARM64: path.join(repo, 'gone.so') });
    assert.equal(r.status, 1);
    assert.match(r.stderr, /gone\.so \(named by QUORENT_SDK_LIB_LINUX_ARM64\) does not exist/);

    r = run({ QUORENT_SDK_LIB_LINUX_X64: arm64, QUORENT_SDK_LIB_LINUX_ARM64: x64 });
    assert.equal(r.status, 1);
    assert.match(r.stderr, /is not a shared object for linux-x64 \(ELF machine 183, expected 62\)/);
    // A refused pack leaves the last good one as it was.
    assert.deepEqual(fs.readdirSync(prebuilt).sort(), ['linux-arm64', 'linux-x64', 'win32-x64']);

    fs.rmSync(path.join(repo, 'build-portable'), { recursive: true });
    r = run({});
    assert.equal(r.status, 1);
    assert.match(r.stderr, /no library to carry/);
  });
});
