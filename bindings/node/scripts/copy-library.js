'use strict';
// Run by `npm pack` (prepack): puts the libraries the tarball carries into the
// package's prebuilds/<platform>-<arch>/ (Node's names; the loader picks by
// process.platform and process.arch). For each platform the library is, in
// order:
//   linux-x64    $QUORENT_SDK_LIB_LINUX_X64, else build-portable/linux-x86_64/
//   linux-arm64  $QUORENT_SDK_LIB_LINUX_ARM64, else build-portable/linux-aarch64/
// of the repository (scripts/portable.sh makes those). A library named by its
// variable must exist. For the platform packing, $QUORENT_SDK_LIB stands in
// for its variable, and build/libquorent_sdk_uniffi.so (the distro build) for
// its portable library. Each file must be a shared object for its platform's
// machine. prebuilds/ is emptied first, so that nothing from an earlier pack
// rides along.
const fs = require('node:fs');
const path = require('node:path');
const { spawnSync } = require('node:child_process');

const pkg = path.join(__dirname, '..');
const repo = path.join(pkg, '..', '..');
const FILE_NAME = 'libquorent_sdk_uniffi.so';

// Node's platform-arch, the variable naming its library, the portable
// build's folder, the ELF machine (e_machine) and the strip tool for it.
const PLATFORMS = [
  { key: 'linux-x64', env: 'QUORENT_SDK_LIB_LINUX_X64', portable: 'linux-x86_64', machine: 62, strip: ['strip'] },
  { key: 'linux-arm64', env: 'QUORENT_SDK_LIB_LINUX_ARM64', portable: 'linux-aarch64', machine: 183,
    strip: ['aarch64-linux-gnu-strip', 'llvm-strip'] },
];

function fail(message) {
  console.error(`copy-library: ${message}`);
  process.exit(1);
}

/** The library for platform `p` as [source, how it was named], or null. */
function source(p) {
  const here = `${process.platform}-${process.arch}` === p.key;
  for (const name of here ? [p.env, 'QUORENT_SDK_LIB'] : [p.env]) {
    const value = process.env[name];
    if (value) {
      if (!fs.existsSync(value)) fail(`${value} (named by ${name}) does not exist`);
      return [value, `$${name}`];
    }
  }
  const portable = path.join(repo, 'build-portable', p.portable, FILE_NAME);
  if (fs.existsSync(portable)) return [portable, 'the portable build'];
  const distro = path.join(repo, 'build', FILE_NAME);
  if (here && fs.existsSync(distro)) return [distro, 'the distro build'];
  return null;
}

/** The ELF machine of a 64-bit little-endian shared object, or null if it is none. */
function elfMachine(file) {
  const head = Buffer.alloc(20);
  const fd = fs.openSync(file, 'r');
  try {
    if (fs.readSync(fd, head, 0, 20, 0) < 20) return null;
  } finally {
    fs.closeSync(fd);
  }
  const elf = head.readUInt32BE(0) === 0x7f454c46 && head[4] === 2 && head[5] === 1;
  return elf && head.readUInt16LE(16) === 3 ? head.readUInt16LE(18) : null;
}

const found = PLATFORMS.map((p) => [p, source(p)]).filter(([, s]) => s !== null);
if (found.length === 0) {
  fail('no library to carry: build one (scripts/portable.sh linux-x86_64|linux-aarch64, or the distro build ' +
    `in build/), or name it with ${PLATFORMS.map((p) => p.env).join(' or ')}`);
}
for (const [p, [file]] of found) {
  const machine = elfMachine(file);
  if (machine !== p.machine) {
    fail(`${file} is not a shared object for ${p.key} (ELF machine ${machine === null ? 'none' : machine}, ` +
      `expected ${p.machine})`);
  }
}
fs.rmSync(path.join(pkg, 'prebuilds'), { recursive: true, force: true });
for (const [p, [file, how]] of found) {
  const dir = path.join(pkg, 'prebuilds', p.key);
  fs.mkdirSync(dir, { recursive: true });
  const target = path.join(dir, FILE_NAME);
  fs.copyFileSync(fs.realpathSync(file), target);
  // Debug information is of no use to the package's users; strip it when a
  // tool for the machine is there (the dynamic symbols, which the binding
  // needs, stay).
  for (const tool of p.strip) {
    if (spawnSync(tool, ['--strip-debug', target], { stdio: 'ignore' }).status === 0) break;
  }
  console.error(`copy-library: ${file} (${how}) -> ${path.relative(pkg, target)}`);
}
