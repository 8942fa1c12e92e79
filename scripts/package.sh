#!/usr/bin/env bash
# Builds the library, then every binding's package into dist/:
#   dist/quorent_sdk-<version>-py3-none-linux_x86_64.whl  the Python wheel (pip install it)
#   dist/quorent-sdk-<version>.tgz                       the npm package (npm install it)
#   dist/quorent-sdk-<version>.jar, .pom                 the Kotlin/JVM artifact dev.quorent:quorent-sdk
# Each carries the shared library. A binding whose sources are not in the tree
# is skipped with a note. The generated sources must be current.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
QUORENT_EXTRA_PKGS="python3-venv python3-pip maven default-jdk-headless" scripts/install-deps.sh >/dev/null
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target quorent_sdk_uniffi -j"$(nproc)" >/dev/null
lib=$root/build/libquorent_sdk_uniffi.so
/usr/bin/python3 bindings/generate.py --lib "$lib" --check
mkdir -p dist
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Python: built offline from a copy of the package that carries the library.
mkdir -p "$tmp/python"
cp -r bindings/python/pyproject.toml bindings/python/setup.py bindings/python/README.md bindings/python/quorent_sdk \
  "$tmp/python/"
cp -L "$lib" "$tmp/python/quorent_sdk/libquorent_sdk_uniffi.so"
strip --strip-debug "$tmp/python/quorent_sdk/libquorent_sdk_uniffi.so"
PYTHONDONTWRITEBYTECODE=1 /usr/bin/python3 -m pip wheel --quiet --no-build-isolation --no-deps --no-cache-dir \
  --wheel-dir dist "$tmp/python"

# Node: npm pack copies the library into the package (its prepack script).
if [ -f bindings/node/package.json ] && command -v npm >/dev/null; then
  (cd bindings/node && QUORENT_SDK_LIB=$lib npm pack --silent --pack-destination "$root/dist" >/dev/null)
else
  echo "package: no Node binding or no npm; skipping the npm package" >&2
fi

# Kotlin/JVM: the binding's own build script makes the jar and POM with Maven (its tests
# run in the Kotlin stage).
if [ -x bindings/kotlin/build.sh ]; then
  QUORENT_SDK_LIB=$lib bindings/kotlin/build.sh --no-tests > "$tmp/kotlin.log" 2>&1 \
    || { cat "$tmp/kotlin.log" >&2; echo "package: the Kotlin build failed" >&2; exit 1; }
else
  echo "package: no Kotlin binding; skipping the jar" >&2
fi
ls -1 dist
