#!/usr/bin/env bash
# The macOS builds (scripts/portable.sh for each row of this stage), built and
# checked, never run: a dylib of the row's architecture for macOS 11.0, install
# name @rpath/libquorent_sdk_uniffi.dylib, libSystem the one library loaded,
# exactly the interface exported, an ad-hoc signature rcodesign verifies, at
# most 4 MB stripped (scripts/check-portable.sh); then the universal file
# (scripts/macos-universal.sh), each slice checked again. QUORENT_MACOS=0
# leaves it out (its first run builds rcodesign with cargo and cross-compiles
# OpenSSL twice, which takes a while; everything is cached after that).
set -euo pipefail
cd "$(dirname "$0")/../.."
if [ "${QUORENT_MACOS:-1}" = 0 ]; then
  echo "skipped: QUORENT_MACOS=0"
  exit 0
fi
scripts/portable.sh --stage 85-macos
scripts/macos-universal.sh
