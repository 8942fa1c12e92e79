#!/usr/bin/env bash
# The WebAssembly build (scripts/portable.sh wasm32): built and checked (exactly
# the interface exported, only random_get, fd_write, fd_seek and fd_close
# imported from WASI, at most 2 MB; scripts/check-portable.sh), then the Node
# binding's tests run through it (QUORENT_SDK_WASM=1): the shared operation
# cases byte for byte, the secrets' wiping, and the module's own failures.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
for target in $(scripts/platforms.py names --stage 88-wasm); do
  start=$(date +%s)
  scripts/portable.sh "$target"
  echo "$target: $(( $(date +%s) - start )) s"
done

if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
  QUORENT_EXTRA_PKGS="nodejs npm" scripts/install-deps.sh
fi
(cd bindings/node && npm ci --no-audit --no-fund --loglevel=error)
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! (cd bindings/node && QUORENT_SDK_WASM=1 QUORENT_SDK_WASM_FILE="$root/build-portable/wasm32/quorent_sdk_uniffi.wasm" \
      node --test --test-reporter=spec test/ >"$log" 2>&1); then
  cat "$log"
  echo "node tests through the WebAssembly build failed" >&2
  exit 1
fi
echo "-- node --test (WebAssembly build)"
tail -n 8 "$log"
