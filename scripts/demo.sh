#!/usr/bin/env bash
# Builds the library and the quorent tool, then runs the sign-in flow end to
# end through the library: `quorent demo` (options are passed on, e.g. --json).
# Installs only what that needs; scripts/test.sh installs the test toolchain.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh demo
# Tests stay as configured before (scripts/test.sh turns them on); a first
# configuration leaves them out, since their tools need not be installed.
tests=OFF
if [ -f build/CMakeCache.txt ] && grep -q '^QUORENT_BUILD_TESTS:BOOL=ON' build/CMakeCache.txt; then tests=ON; fi
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORENT_BUILD_TESTS=$tests >/dev/null
cmake --build build --target quorent -j"$(nproc)" >/dev/null
exec build/cli/quorent demo "$@"
