#!/usr/bin/env bash
# Prints the path of rcodesign, the tool that checks the macOS libraries'
# code signatures (scripts/platforms/macos.sh: `rcodesign verify` recomputes
# every page hash of the code directory against the file), installing it first
# when it is missing or another version is pinned: the crate apple-codesign of
# the version below from crates.io, built by cargo with the crate's own
# Cargo.lock (--locked: every dependency at the version and checksum it names),
# without the notarization client (no network code is needed to verify), into
# ${QUORENT_CACHE:-$HOME/.cache/quorent}/rcodesign.
set -euo pipefail
cd "$(dirname "$0")/.."
crate=apple-codesign
version=0.29.0
root="${QUORENT_CACHE:-$HOME/.cache/quorent}/rcodesign"
mkdir -p "$(dirname "$root")"
# One install at a time: a second caller waits, then finds it made.
exec 8>"$root.lock"
flock 8
key="$crate $version no-default-features $(rustc --version 2>/dev/null || echo no-rustc)"
if [ ! -x "$root/bin/rcodesign" ] || [ "$(cat "$root/.quorent-tools" 2>/dev/null)" != "$key" ]; then
  command -v cargo >/dev/null || { echo "rcodesign: cargo is needed to build $crate $version" >&2; exit 1; }
  rm -rf "$root"
  # Cargo's own target folder, in the cache as well: a failed build resumes.
  CARGO_TARGET_DIR="${root}-build" nice -n 19 cargo install --quiet --locked --no-default-features \
    -j "${QUORENT_PORTABLE_JOBS:-2}" --root "$root" "$crate@$version" --bin rcodesign >&2
  echo "$key" > "$root/.quorent-tools"
fi
echo "$root/bin/rcodesign"
