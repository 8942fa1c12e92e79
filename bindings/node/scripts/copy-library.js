'use strict';
// Run by `npm pack` (prepack): copies the built library into the package's
// prebuilds/<platform>-<arch>/ so that the tarball carries it. The library is
// $QUORENT_SDK_LIB, or else build/libquorent_sdk_uniffi.so of the repository.
const fs = require('node:fs');
const path = require('node:path');
const { spawnSync } = require('node:child_process');

const pkg = path.join(__dirname, '..');
const source = process.env.QUORENT_SDK_LIB ||
  path.join(pkg, '..', '..', 'build', 'libquorent_sdk_uniffi.so');
if (!fs.existsSync(source)) {
  console.error(`copy-library: ${source} does not exist; build the library or set QUORENT_SDK_LIB`);
  process.exit(1);
}
const dir = path.join(pkg, 'prebuilds', `${process.platform}-${process.arch}`);
fs.mkdirSync(dir, { recursive: true });
const target = path.join(dir, 'libquorent_sdk_uniffi.so');
fs.copyFileSync(fs.realpathSync(source), target);
// Debug information is of no use to the package's users; strip it when the
// tool is there (the dynamic symbols, which the binding needs, stay).
spawnSync('strip', ['--strip-debug', target], { stdio: 'ignore' });
console.error(`copy-library: ${source} -> ${path.relative(pkg, dir)}/libquorent_sdk_uniffi.so`);
