#!/usr/bin/env bash
# The WebAssembly build (scripts/portable.sh wasm32): built and checked (exactly
# the interface exported, only random_get, fd_write, fd_seek and fd_close
# imported from WASI, at most 2 MB; scripts/check-portable.sh), then the Node
# binding's tests run through it (QUORENT_SDK_WASM=1): the shared operation
# cases byte for byte, the secrets' wiping, and the module's own failures.
# Then the npm package the packages stage packed (dist/), installed into an
# empty project as a user installs it: the shared cases through its
# WebAssembly build in Node (QUORENT_SDK_WASM=1), and in headless Chromium
# (Debian's, driven by playwright-core; bindings/node/browser-test/run.mjs):
# the loading failures, the cases and a worker in a page served from
# 127.0.0.1, the browser sign-in example with a stub wallet, and a page Vite
# bundles with no configuration. playwright-core and Vite are pinned with
# their hashes in bindings/node/browser-test/package-lock.json.
# needs: 86-packages
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
for target in $(scripts/platforms.py names --stage 88-wasm); do
  start=$(date +%s)
  scripts/portable.sh "$target"
  echo "$target: $(( $(date +%s) - start )) s"
done

if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
  QUORENT_EXTRA_PKGS="nodejs npm" scripts/install-deps.sh demo
fi
scripts/install-deps.sh browser
(cd bindings/node && npm ci --no-audit --no-fund --loglevel=error)
log=$(mktemp)
app=$(mktemp -d)
trap 'rm -rf "$log" "$app"' EXIT
if ! (cd bindings/node && QUORENT_SDK_WASM=1 QUORENT_SDK_WASM_FILE="$root/build-portable/wasm32/quorent_sdk_uniffi.wasm" \
      node --test --test-reporter=spec test/ >"$log" 2>&1); then
  cat "$log"
  echo "node tests through the WebAssembly build failed" >&2
  exit 1
fi
echo "-- node --test (WebAssembly build)"
tail -n 8 "$log"

tgz=$root/dist/quorent-sdk-$(scripts/platforms.py version).tgz
[ -f "$tgz" ] || { echo "wasm: no $tgz; the packages stage (86-packages) packs it" >&2; exit 1; }
cmp "$root/build-portable/wasm32/quorent_sdk_uniffi.wasm" <(tar -xzOf "$tgz" package/prebuilds/wasm32/quorent_sdk_uniffi.wasm) \
  || { echo "wasm: $tgz does not carry build-portable/wasm32's module" >&2; exit 1; }
echo '{ "name": "app", "private": true }' > "$app/package.json"
(cd "$app" && npm install --no-audit --no-fund --loglevel=error "$tgz" >/dev/null)
(cd bindings/node/browser-test && npm ci --no-audit --no-fund --loglevel=error)
echo "-- the packed package in Node (WebAssembly build) and in headless Chromium"
QUORENT_SDK_WASM=1 QUORENT_EXPECT_BACKEND=wasm node bindings/node/browser-test/node-cases.mjs "$app"
node bindings/node/browser-test/run.mjs "$app"
