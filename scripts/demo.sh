#!/usr/bin/env bash
# Builds the library and the quorent tool, then runs the sign-in flow end to
# end through the library: `quorent demo` (options are passed on, e.g. --json).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target quorent -j"$(nproc)" >/dev/null
exec build/cli/quorent demo "$@"
