#!/usr/bin/env bash
# Every generated binding is current with the library in build/; the Python
# binding's tests (the shared operation cases among them) pass against that
# library, and again against the library built with AddressSanitizer, with
# leak checking, so that no buffer is left unfreed on any path.
set -euo pipefail
cd "$(dirname "$0")/../.."
QUORENT_EXTRA_PKGS="python3-venv python3-pip" scripts/install-deps.sh >/dev/null
py=/usr/bin/python3
export PYTHONDONTWRITEBYTECODE=1

cmake -S . -B build >/dev/null
cmake --build build --target quorent_sdk_uniffi -j"$(nproc)" >/dev/null
"$py" bindings/generate.py --lib build/libquorent_sdk_uniffi.so --check
echo "generator tests:"
"$py" -m unittest discover -s bindings/tests -t bindings/tests 2>&1 | tail -n 3

run_tests() {
  PYTHONPATH=bindings/python "$@" "$py" -m unittest discover -s bindings/python/tests -t bindings/python/tests 2>&1 | tail -n 4
  return "${PIPESTATUS[0]}"
}

echo "python binding tests:"
QUORENT_SDK_LIB="$PWD/build/libquorent_sdk_uniffi.so" run_tests env
