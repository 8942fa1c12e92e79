#!/usr/bin/env bash
# The Node binding (bindings/node): generated sources current, its tests (Node's
# own runner) against the library in build/ (twice: on x64's hidden-return fast
# path, and with QUORENT_SDK_NODE_STRUCT_RETURN=1 on the structure returns that
# arm64 takes), the same tests once more against
# the library built with AddressSanitizer, a differential run of the URL parser
# against Node's URL (scripts/differential.sh), then the packed tarball installed into an empty npm project, away
# from the source tree, running a sign-in there.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD

if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
  QUORENT_EXTRA_PKGS="nodejs npm" scripts/install-deps.sh
fi
if [ ! -e build/libquorent_sdk_uniffi.so ]; then
  cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build build --target quorent_sdk_uniffi -j"$(nproc)" >/dev/null
fi

echo "-- generated sources"
python3 bindings/generate.py --lib build/libquorent_sdk_uniffi.so --check --lang typescript

echo "-- npm ci"
(cd bindings/node && npm ci --no-audit --no-fund --loglevel=error)

log=$(mktemp -d)
trap 'rm -rf "$log"' EXIT

run_tests() { # label, then environment assignments
  local label=$1
  shift
  if ! (cd bindings/node && env "$@" node --test --test-reporter=spec test/ >"$log/$label.txt" 2>&1); then
    cat "$log/$label.txt"
    echo "node tests failed ($label)" >&2
    return 1
  fi
  echo "-- node --test ($label)"
  tail -n 8 "$log/$label.txt"
}

run_tests library QUORENT_SDK_LIB="$root/build/libquorent_sdk_uniffi.so"
run_tests library-struct-return QUORENT_SDK_LIB="$root/build/libquorent_sdk_uniffi.so" QUORENT_SDK_NODE_STRUCT_RETURN=1

# The URL parser against Node's URL on 50,000 generated inputs (fixed seed,
# so that a new difference is one the change under test brought).
echo "-- differential run against Node's URL"
if ! scripts/differential.sh 50000 1 >"$log/differential.txt" 2>&1; then
  cat "$log/differential.txt"
  echo "differential run found a difference not listed in tests/differential/known.json" >&2
  exit 1
fi
grep -v '^    ' "$log/differential.txt"

# AddressSanitizer: the library built as scripts/test.d/20-asan.sh builds it
# (same directory and flags, so that stage's build is reused), the runtime
# preloaded into node; an error report, in any process the tests start, fails
# the run (koffi runs native code on a stack of its own, about which ASan
# prints a warning that is not an error). Its leak checker cannot see allocations made through koffi's calls, so
# leaks are checked by the tests themselves: every buffer the binding receives
# from the library must have been handed back when they end.
flags="-O1 -g -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=None \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
  -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build build-asan --target quorent_sdk_uniffi -j"$(nproc)" >/dev/null
mkdir -p "$log/asan"
run_tests asan QUORENT_SDK_LIB="$root/build-asan/libquorent_sdk_uniffi.so" \
  LD_PRELOAD="$(gcc -print-file-name=libasan.so)" \
  ASAN_OPTIONS="detect_leaks=0:log_path=$log/asan/report" \
  UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:log_path=$log/asan/report"
if grep -qsE "ERROR: AddressSanitizer|runtime error:" "$log"/asan/*; then
  cat "$log"/asan/*
  echo "AddressSanitizer reported faults in the Node binding's run" >&2
  exit 1
fi

echo "-- npm pack, installed into an empty project"
mkdir -p "$log/pack" "$log/app"
(cd bindings/node && env -u QUORENT_SDK_LIB npm pack --silent --pack-destination "$log/pack" >/dev/null)
cp bindings/node/examples/signin.mjs "$log/app/"
(
  cd "$log/app"
  npm init -y >/dev/null
  npm install --no-audit --no-fund --loglevel=error "$log"/pack/quorent-sdk-*.tgz
  env -u QUORENT_SDK_LIB node signin.mjs
)
