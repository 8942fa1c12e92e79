#!/usr/bin/env bash
# Differential run of our URL parser against Node's built-in URL, through the
# Node binding's exported operations (tests/differential/url_differential.js):
#   scripts/differential.sh N [seed]
# prints the inputs, the agreements and each class of difference with
# examples; fails when a difference falls in no class listed, with its
# reason, in tests/differential/known.json.
set -euo pipefail
cd "$(dirname "$0")/.."
count=${1:?usage: scripts/differential.sh N [seed]}
seed=${2:-1}

if [ ! -e build/libquorent_sdk_uniffi.so ]; then
  cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build build --target quorent_sdk_uniffi -j2 >/dev/null
fi
if [ ! -d bindings/node/node_modules/koffi ]; then
  (cd bindings/node && npm ci --no-audit --no-fund --loglevel=error)
fi
QUORENT_SDK_LIB="$PWD/build/libquorent_sdk_uniffi.so" node tests/differential/url_differential.js "$count" "$seed"
