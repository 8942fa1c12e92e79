#!/usr/bin/env bash
# Builds every binding's package into dist/:
#   dist/quorent_sdk-<version>-py3-none-manylinux_2_<N>_x86_64.whl  the Python wheel (pip install it)
#   dist/quorent-sdk-<version>.tgz                                  the npm package (npm install it)
#   dist/quorent-sdk-<version>.jar, .pom                            the Kotlin/JVM artifact dev.quorent:quorent-sdk
# Each carries the portable library, build-portable/linux-x86_64/ (made by
# scripts/portable.sh when missing), stripped: it needs nothing but the C
# library, so the packages run on any x86-64 Linux whose glibc is at least
# the newest symbol version it uses (2.<N>, the wheel's tag). The npm package
# and the jar carry build-portable/linux-aarch64/ as well (made the same way),
# for Linux on arm64; the loaders pick by platform. The distro
# build in build/ is for scripts/demo.sh, cmake --install and pkg-config. A
# binding whose sources are not in the tree is skipped with a note. The
# generated sources must be current.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
QUORENT_EXTRA_PKGS="python3-venv python3-pip maven default-jdk-headless" scripts/install-deps.sh >/dev/null
portable=$root/build-portable/linux-x86_64/libquorent_sdk_uniffi.so
if [ ! -f "$portable" ]; then
  [ -x scripts/portable.sh ] \
    || { echo "package: no $portable and no scripts/portable.sh to build it" >&2; exit 1; }
  scripts/portable.sh linux-x86_64 >/dev/null
fi
portable_arm64=$root/build-portable/linux-aarch64/libquorent_sdk_uniffi.so
if [ ! -f "$portable_arm64" ]; then
  [ -x scripts/portable.sh ] \
    || { echo "package: no $portable_arm64 and no scripts/portable.sh to build it" >&2; exit 1; }
  scripts/portable.sh linux-aarch64 >/dev/null
fi
/usr/bin/python3 bindings/generate.py --lib "$portable" --check
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
lib=$tmp/lib/libquorent_sdk_uniffi.so
lib_arm64=$tmp/lib-arm64/libquorent_sdk_uniffi.so
mkdir -p "$tmp/lib" "$tmp/lib-arm64"
cp -L "$portable" "$lib"
strip --strip-unneeded "$lib"
cp -L "$portable_arm64" "$lib_arm64"
if command -v aarch64-linux-gnu-strip >/dev/null; then aarch64-linux-gnu-strip --strip-unneeded "$lib_arm64"; fi
floor=$(readelf -V --wide "$lib" | grep -o 'GLIBC_2\.[0-9]*' | sort -uV | tail -n 1)
[ -n "$floor" ] || { echo "package: no glibc symbol version in $portable" >&2; exit 1; }
mkdir -p dist

# Python: built offline from a copy of the package that carries the library.
mkdir -p "$tmp/python"
cp -r bindings/python/pyproject.toml bindings/python/setup.py bindings/python/README.md bindings/python/quorent_sdk \
  "$tmp/python/"
cp "$lib" "$tmp/python/quorent_sdk/libquorent_sdk_uniffi.so"
rm -f dist/quorent_sdk-*.whl
QUORENT_WHEEL_PLATFORM="manylinux_2_${floor#GLIBC_2.}_x86_64" PYTHONDONTWRITEBYTECODE=1 /usr/bin/python3 -m pip wheel --quiet --no-build-isolation --no-deps --no-cache-dir \
  --wheel-dir dist "$tmp/python"

# Node: npm pack copies the library into the package (its prepack script).
if [ -f bindings/node/package.json ] && command -v npm >/dev/null; then
  (cd bindings/node && env -u QUORENT_SDK_LIB QUORENT_SDK_LIB_LINUX_X64="$lib" QUORENT_SDK_LIB_LINUX_ARM64="$lib_arm64" \
    npm pack --silent --pack-destination "$root/dist" >/dev/null)
else
  echo "package: no Node binding or no npm; skipping the npm package" >&2
fi

# Kotlin/JVM: the binding's own build script makes the jar and POM with Maven (its tests
# run in the Kotlin stage).
if [ -x bindings/kotlin/build.sh ]; then
  QUORENT_SDK_LIB=$lib QUORENT_SDK_LIB_AARCH64=$lib_arm64 bindings/kotlin/build.sh --no-tests > "$tmp/kotlin.log" 2>&1 \
    || { cat "$tmp/kotlin.log" >&2; echo "package: the Kotlin build failed" >&2; exit 1; }
else
  echo "package: no Kotlin binding; skipping the jar" >&2
fi
ls -1 dist
