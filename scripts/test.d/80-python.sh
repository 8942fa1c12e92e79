#!/usr/bin/env bash
# Every generated binding is current with the library in build/; the Python
# binding's tests (the shared operation cases among them) pass against that
# library, and again against the library built with AddressSanitizer, with
# leak checking, so that no buffer is left unfreed on any path. The tests run
# under the pinned pytest (scripts/python-tools.sh: Debian's Python with the
# tools of scripts/python-tools.txt).
set -euo pipefail
cd "$(dirname "$0")/../.."
QUORENT_EXTRA_PKGS="python3-venv python3-pip" scripts/install-deps.sh >/dev/null
py=$(scripts/python-tools.sh)
export PYTHONDONTWRITEBYTECODE=1

cmake -S . -B build >/dev/null
cmake --build build --target quorent_sdk_uniffi -j"$(nproc)" >/dev/null
/usr/bin/python3 bindings/generate.py --lib build/libquorent_sdk_uniffi.so --check
echo "generator tests:"
/usr/bin/python3 -m unittest discover -s bindings/tests -t bindings/tests 2>&1 | tail -n 3

run_tests() {  # prints pytest's closing line, or everything when it fails
  local log status=0
  log=$(mktemp)
  PYTHONPATH=bindings/python "$@" "$py" -m pytest -q -p no:cacheprovider bindings/python/tests \
    >"$log" 2>&1 || status=$?
  if [ "$status" -eq 0 ]; then tail -n 1 "$log"; else cat "$log"; fi
  rm -f "$log"
  return "$status"
}

echo "python binding tests:"
QUORENT_SDK_LIB="$PWD/build/libquorent_sdk_uniffi.so" run_tests env

# The same tests against the library built with AddressSanitizer, leak check
# on: the interpreter is not instrumented, so the runtime is preloaded, and
# Python's allocator is switched to malloc so that every allocation is seen.
flags="-O1 -g -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=None \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
  -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build build-asan --target quorent_sdk_uniffi -j"$(nproc)" >/dev/null
echo "python binding tests, library built with AddressSanitizer, leak check on:"
QUORENT_SDK_LIB="$PWD/build-asan/libquorent_sdk_uniffi.so" run_tests env \
  LD_PRELOAD="$(gcc -print-file-name=libasan.so):$(gcc -print-file-name=libubsan.so)" \
  PYTHONMALLOC=malloc ASAN_OPTIONS=detect_leaks=1:exitcode=1 UBSAN_OPTIONS=halt_on_error=1
