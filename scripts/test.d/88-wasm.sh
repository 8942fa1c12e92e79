#!/usr/bin/env bash
# The WebAssembly build (scripts/portable.sh wasm32): built and checked (exactly
# the interface exported, only random_get, fd_write, fd_seek and fd_close
# imported from WASI, at most 2 MB; scripts/check-portable.sh).
set -euo pipefail
cd "$(dirname "$0")/../.."
for target in $(scripts/platforms.py names --stage 88-wasm); do
  start=$(date +%s)
  scripts/portable.sh "$target"
  echo "$target: $(( $(date +%s) - start )) s"
done
