'use strict';
// Run by `npm pack` (prepack): puts the libraries the tarball carries into the
// package's prebuilds/<folder>/, one for each platform of the repository's
// scripts/platforms.json that names an npm folder (Node's platform-arch, with
// -musl for Linux's musl builds: the loader picks by process.platform,
// process.arch and the C library). For each platform the library is the file
// its row's variable names ($QUORENT_SDK_LIB_LINUX_X64, ...), else
// build-portable/<platform>/ of the repository (scripts/portable.sh makes
// those), under the row's file name. A library named by its variable must
// exist. For the platform packing, $QUORENT_SDK_LIB stands in for its
// variable, and build/libquorent_sdk_uniffi.so (the distro build) for its
// portable library. Each file must be a shared object (an ELF shared object, a
// PE DLL, a Mach-O dylib) for its platform's machine, or, for the wasm32 row
// (prebuilds/wasm32/, which Node takes where it has no shared library and
// browsers always), a WebAssembly module of binary format version 1.
// prebuilds/ is emptied first, so that nothing from an earlier pack rides
// along.
// The notices go with them: from $QUORENT_SDK_NOTICES, the folder
// scripts/notices.py wrote for this package (scripts/package.sh sets it),
// LICENSE, NOTICE, third-party/ and the SBOM quorent-sdk.cdx.json; without it,
// the repository's LICENSE alone, where there is one (a pack for development).
const fs = require('node:fs');
const path = require('node:path');
const { spawnSync } = require('node:child_process');

const pkg = path.join(__dirname, '..');
const repo = path.join(pkg, '..', '..');
// A library's format by its file name, and each format's machine numbers (ELF
// e_machine, PE Machine, Mach-O cputype; a WebAssembly module's version) by
// the table's processor names.
const FORMATS = {
  '.so': { format: 'ELF', machine: { x86_64: 62, aarch64: 183 } },
  '.dll': { format: 'PE', machine: { x86_64: 0x8664 } },
  '.dylib': { format: 'Mach-O', machine: { x86_64: 0x01000007, aarch64: 0x0100000c } },
  '.wasm': { format: 'WebAssembly', machine: { wasm32: 1 } },
};
const HOST = `${process.platform}-${process.arch}`;

/** The table's platforms that the npm package carries. */
function platforms() {
  const table = JSON.parse(fs.readFileSync(path.join(repo, 'scripts', 'platforms.json'), 'utf8'));
  return table.platforms.filter((row) => row.packages && row.packages.npm).map((row) => {
    const f = FORMATS[path.extname(row.library)];
    if (!f || !(row.processor in f.machine)) fail(`no format known for ${row.name}'s ${row.library} (${row.processor})`);
    const toolchain = row.toolchain || {};
    return {
      key: row.packages.npm.folder, env: row.packages.npm.env, portable: row.name, file: row.library,
      format: f.format, machine: f.machine[row.processor],
      // The ELF files lose their debug information (a Mach-O file would lose its
      // signature, and the DLL comes stripped: every package carries the same bytes).
      strip: f.format === 'ELF' ? [`${toolchain.tool_prefix || ''}strip`, 'llvm-strip'] : [],
      // Where the distro build may stand in for the portable one: glibc, this machine.
      here: row.packages.npm.folder === HOST,
    };
  });
}

function fail(message) {
  console.error(`copy-library: ${message}`);
  process.exit(1);
}

/** The library for platform `p` as [source, how it was named], or null. */
function source(p) {
  const here = p.here;
  for (const name of here ? [p.env, 'QUORENT_SDK_LIB'] : [p.env]) {
    const value = process.env[name];
    if (value) {
      if (!fs.existsSync(value)) fail(`${value} (named by ${name}) does not exist`);
      return [value, `$${name}`];
    }
  }
  const portable = path.join(repo, 'build-portable', p.portable, p.file);
  if (fs.existsSync(portable)) return [portable, 'the portable build'];
  const distro = path.join(repo, 'build', p.file);
  if (here && fs.existsSync(distro)) return [distro, 'the distro build'];
  return null;
}

/** The first `n` bytes of a file at `offset` (fewer at its end). */
function bytesAt(file, offset, n) {
  const b = Buffer.alloc(n);
  const fd = fs.openSync(file, 'r');
  try {
    return b.subarray(0, fs.readSync(fd, b, 0, n, offset));
  } finally {
    fs.closeSync(fd);
  }
}

/** The machine of a 64-bit little-endian ELF shared object, or null if it is none. */
function elfMachine(file) {
  const head = bytesAt(file, 0, 20);
  if (head.length < 20) return null;
  const elf = head.readUInt32BE(0) === 0x7f454c46 && head[4] === 2 && head[5] === 1;
  return elf && head.readUInt16LE(16) === 3 ? head.readUInt16LE(18) : null;
}

/** The machine of a PE DLL, or null if it is none. */
function peMachine(file) {
  const dos = bytesAt(file, 0, 64);
  if (dos.length < 64 || dos.toString('latin1', 0, 2) !== 'MZ') return null;
  const pe = bytesAt(file, dos.readUInt32LE(0x3c), 24);
  if (pe.length < 24 || pe.readUInt32BE(0) !== 0x50450000) return null;
  const IMAGE_FILE_DLL = 0x2000;
  return pe.readUInt16LE(22) & IMAGE_FILE_DLL ? pe.readUInt16LE(4) : null;
}

/** The CPU type of a 64-bit little-endian Mach-O dylib, or null if it is none. */
function machoMachine(file) {
  const head = bytesAt(file, 0, 16);
  const MH_DYLIB = 6;
  if (head.length < 16 || head.readUInt32LE(0) !== 0xfeedfacf) return null;
  return head.readUInt32LE(12) === MH_DYLIB ? head.readUInt32LE(4) : null;
}

/** The binary format version of a WebAssembly module ("\0asm", then the
 * version as 32 bits little-endian), or null if it is none. */
function wasmVersion(file) {
  const head = bytesAt(file, 0, 8);
  return head.length === 8 && head.readUInt32BE(0) === 0x0061736d ? head.readUInt32LE(4) : null;
}

const hex = (m) => `0x${m.toString(16)}`;
const MACHINE_OF = { ELF: elfMachine, PE: peMachine, 'Mach-O': machoMachine, WebAssembly: wasmVersion };

const PLATFORMS = platforms();
const found = PLATFORMS.map((p) => [p, source(p)]).filter(([, s]) => s !== null);
if (found.length === 0) {
  fail('no library to carry: build one (scripts/portable.sh PLATFORM, or the distro build ' +
    `in build/), or name it with ${PLATFORMS.map((p) => p.env).join(' or ')}`);
}
for (const [p, [file]] of found) {
  const machine = MACHINE_OF[p.format](file);
  if (machine !== p.machine) {
    const show = p.format === 'ELF' || p.format === 'WebAssembly' ? String : hex;
    const what = p.format === 'WebAssembly' ? 'version' : 'machine';
    fail(`${file} is not a ${p.format === 'WebAssembly' ? 'module' : 'shared object'} for ${p.key} ` +
      `(${p.format} ${what} ${machine === null ? 'none' : show(machine)}, expected ${show(p.machine)})`);
  }
}
const NOTICES = ['LICENSE', 'NOTICE', 'third-party', 'quorent-sdk.cdx.json'];
for (const name of [...NOTICES, 'prebuilds']) fs.rmSync(path.join(pkg, name), { recursive: true, force: true });
const notices = process.env.QUORENT_SDK_NOTICES;
if (notices) {
  for (const name of NOTICES) {
    if (!fs.existsSync(path.join(notices, name))) fail(`${name} is not in ${notices} (QUORENT_SDK_NOTICES)`);
    fs.cpSync(path.join(notices, name), path.join(pkg, name), { recursive: true });
  }
} else if (fs.existsSync(path.join(repo, 'LICENSE'))) {
  fs.copyFileSync(path.join(repo, 'LICENSE'), path.join(pkg, 'LICENSE'));
}
for (const [p, [file, how]] of found) {
  const dir = path.join(pkg, 'prebuilds', p.key);
  fs.mkdirSync(dir, { recursive: true });
  const target = path.join(dir, p.file);
  fs.copyFileSync(fs.realpathSync(file), target);
  // Debug information is of no use to the package's users; strip it when a
  // tool for the machine is there (the dynamic symbols, which the binding
  // needs, stay).
  for (const tool of p.strip) {
    if (spawnSync(tool, ['--strip-debug', target], { stdio: 'ignore' }).status === 0) break;
  }
  console.error(`copy-library: ${file} (${how}) -> ${path.relative(pkg, target)}`);
}
