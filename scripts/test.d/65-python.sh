#!/usr/bin/env bash
# The Python binding's tests (Python's own test runner) against the library
# built in build/.
set -euo pipefail
cd "$(dirname "$0")/../.."
export QUORENT_SDK_LIB="$PWD/build/libquorent_sdk_uniffi.so"
export PYTHONDONTWRITEBYTECODE=1
python3 -m unittest discover -s bindings/python/tests -t bindings/python/tests
