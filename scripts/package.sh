#!/usr/bin/env bash
# Builds the packages into dist/, for each platform (linux-x86_64, linux-aarch64):
#   quorent_sdk-<v>-py3-none-manylinux_2_<N>_<arch>.whl  the Python wheel (pip install it)
#   quorent-sdk-<v>-<platform>.tar.gz                    C and C++: the library, its headers,
#                                                        pkg-config and CMake files, relocatable
# for windows-x86_64 (the DLL that scripts/portable.sh cross-builds with MinGW-w64):
#   quorent_sdk-<v>-py3-none-win_amd64.whl               the Python wheel
#   quorent-sdk-<v>-windows-x86_64.zip                   C and C++: the DLL, its import library
#                                                        and export list, headers, pkg-config
#                                                        and CMake files
# and, carrying every platform's library (the loaders pick by platform):
#   quorent-sdk-<v>.tgz                                  the npm package (npm install it)
#   quorent-sdk-<v>.jar, .pom                            the Kotlin/JVM artifact dev.quorent:quorent-sdk
# Each carries the portable library of its platform, build-portable/<platform>/
# (scripts/portable.sh brings it up to date when the script is in the tree): it
# needs nothing but the C library, so the packages run on any Linux of that
# architecture with glibc 2.31 or later: the glibc of the root it is built
# against and tested in (scripts/portable.sh, test stage 90-bare), declared as
# the wheels' tag manylinux_2_31_<arch> and in the archives' README. The newest
# glibc symbol version the library uses is read from it and must not pass that
# floor; auditwheel (pinned, scripts/python-tools.txt) must find each wheel
# consistent with its tag, or the script fails (the Windows wheel's layout is
# checked alike; auditwheel has nothing to say about it). QUORENT_PACKAGE_PLATFORMS
# limits the platforms; the aarch64 and Windows ones are skipped with a note when
# there is neither their library nor scripts/portable.sh. The distro build in build/ is for
# scripts/demo.sh, cmake --install and pkg-config. The generated sources must
# be current.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
glibc_floor=2.31
QUORENT_EXTRA_PKGS="python3-venv maven default-jdk-headless" scripts/install-deps.sh demo >/dev/null
version=$(sed -n 's/^project(quorent_sdk VERSION \([0-9][0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "package: no version in CMakeLists.txt" >&2; exit 1; }
py=$(scripts/python-tools.sh)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p dist
rm -f dist/quorent_sdk-*.whl dist/quorent-sdk-*-linux-*.tar.gz dist/quorent-sdk-*-windows-*.zip
mtime=$(git log -1 --format=%ct 2>/dev/null || echo 0)

# The Python wheel of a platform: built offline (no isolation) from a copy of the
# package that carries its library, then checked (scripts/check_wheel.py).
#   wheel <platform> <library> <file name in the package> <platform tag>
wheel() {
  local stage=$tmp/$1/python out
  mkdir -p "$stage"
  cp -r bindings/python/pyproject.toml bindings/python/setup.py bindings/python/README.md \
    bindings/python/quorent_sdk LICENSE "$stage/"
  find "$stage" -name __pycache__ -prune -exec rm -rf {} +
  cp "$2" "$stage/quorent_sdk/$3"
  QUORENT_WHEEL_PLATFORM=$4 PYTHONDONTWRITEBYTECODE=1 "$py" -m build --wheel --no-isolation \
    --outdir "$tmp/$1/wheel" "$stage" > "$tmp/$1/build.log" 2>&1 \
    || { cat "$tmp/$1/build.log" >&2; echo "package: the $1 wheel failed to build" >&2; exit 1; }
  out=$tmp/$1/wheel/quorent_sdk-$version-py3-none-$4.whl
  [ -f "$out" ] || { ls "$tmp/$1/wheel" >&2; echo "package: no $(basename "$out")" >&2; exit 1; }
  "$py" scripts/check_wheel.py "$out" "$4"
  cp "$out" dist/
}

# windows-x86_64: the DLL, stripped by scripts/portable.sh, carried as it is by every package.
windows() {
  local dir=$root/build-portable/windows-x86_64 dll implib def name header_version
  dll=$dir/quorent_sdk_uniffi.dll implib=$dir/libquorent_sdk_uniffi.dll.a
  x86_64-w64-mingw32-objdump -f "$dll" 2>/dev/null | grep 'file format pei-x86-64' >/dev/null \
    || { echo "package: $dll is not an x86-64 DLL" >&2; exit 1; }
  header_version=$(sed -n 's/^#define QUORENT_SDK_VERSION_STRING "\(.*\)"$/\1/p' "$dir/quorent_sdk_version.h")
  [ "$header_version" = "$version" ] \
    || { echo "package: $dir holds version '$header_version', the tree $version: rebuild it (scripts/portable.sh windows-x86_64)" >&2; exit 1; }
  # The export list, read from the DLL's export table; the interface blobs are data
  # (in the import library they have no call thunk, only __imp_ and __nm_ symbols).
  def=$tmp/windows-x86_64/quorent_sdk_uniffi.def
  mkdir -p "$tmp/windows-x86_64"
  { echo "LIBRARY quorent_sdk_uniffi.dll"; echo "EXPORTS"
    awk 'NR == FNR { data[$0] = 1; next } { print "    " $0 (($0 in data) ? " DATA" : "") }' \
      <(x86_64-w64-mingw32-nm "$implib" | sed -n 's/^.* I __nm_\(.*\)$/\1/p') \
      <(x86_64-w64-mingw32-objdump -p "$dll" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/s/^\s*\[ *[0-9]*\] \(.*\)$/\1/p')
  } > "$def"
  [ "$(grep -c '^    ' "$def")" -gt 0 ] || { echo "package: no exports read from $dll" >&2; exit 1; }

  wheel windows-x86_64 "$dll" quorent_sdk_uniffi.dll win_amd64

  name=quorent-sdk-$version-windows-x86_64
  cmake -DLIB="$dll" -DIMPLIB="$implib" -DDEF="$def" -DINCLUDE_DIR="$dir" -DVERSION="$version" \
    -DPLATFORM=windows-x86_64 -DOUT="$tmp/windows-x86_64/archive/$name" -P cmake/archive.cmake
  # Reproducible: sorted entries, the last commit's time, no extra fields.
  python3 - "$tmp/windows-x86_64/archive" "$name" "dist/$name.zip" "$mtime" <<'PY'
import os, sys, time, zipfile
base, name, out, mtime = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
stamp = time.gmtime(max(mtime, 315532800))[:6]  # a zip cannot date before 1980
files = sorted(os.path.relpath(os.path.join(d, f), base) for d, _, fs in os.walk(os.path.join(base, name)) for f in fs)
with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as z:
    for rel in files:
        info = zipfile.ZipInfo(rel.replace(os.sep, "/"), stamp)
        info.compress_type, info.external_attr = zipfile.ZIP_DEFLATED, 0o644 << 16
        with open(os.path.join(base, rel), "rb") as f:
            z.writestr(info, f.read())
PY
  win_dll=$dll
}

built=()
for platform in ${QUORENT_PACKAGE_PLATFORMS:-linux-x86_64 linux-aarch64 windows-x86_64}; do
  case "$platform" in
    linux-x86_64) arch=x86_64 machine="Advanced Micro Devices X86-64" strip=strip file=libquorent_sdk_uniffi.so ;;
    linux-aarch64) arch=aarch64 machine="AArch64" strip=aarch64-linux-gnu-strip file=libquorent_sdk_uniffi.so ;;
    windows-x86_64) file=quorent_sdk_uniffi.dll ;;
    *) echo "package: unknown platform $platform" >&2; exit 2 ;;
  esac
  dir=$root/build-portable/$platform
  if [ -x scripts/portable.sh ]; then
    # Incremental: nothing is rebuilt when the library is current with the tree.
    QUORENT_PORTABLE_SKIP_TESTS=1 scripts/portable.sh "$platform" > "$tmp/portable-$platform.log" 2>&1 \
      || { tail -n 30 "$tmp/portable-$platform.log" >&2; echo "package: scripts/portable.sh $platform failed" >&2; exit 1; }
  elif [ ! -f "$dir/$file" ]; then
    [ "$platform" != linux-x86_64 ] || { echo "package: no $dir/$file and no scripts/portable.sh to build it" >&2; exit 1; }
    echo "package: no $platform library and no scripts/portable.sh to build it; skipping $platform" >&2
    continue
  fi
  if [ "$platform" = windows-x86_64 ]; then
    windows
    built+=("$platform")
    continue
  fi

  # The library: of this platform, of this version, stripped.
  mkdir -p "$tmp/$platform"
  lib=$tmp/$platform/libquorent_sdk_uniffi.so
  cp -L "$dir/libquorent_sdk_uniffi.so" "$lib"
  readelf -h "$lib" | grep -q "Machine: *$machine\$" \
    || { echo "package: $dir/libquorent_sdk_uniffi.so is not a $arch library" >&2; exit 1; }
  header_version=$(sed -n 's/^#define QUORENT_SDK_VERSION_STRING "\(.*\)"$/\1/p' "$dir/quorent_sdk_version.h")
  [ "$header_version" = "$version" ] \
    || { echo "package: $dir holds version '$header_version', the tree $version: rebuild it (scripts/portable.sh $platform)" >&2; exit 1; }
  if command -v "$strip" >/dev/null; then "$strip" --strip-unneeded "$lib"; fi
  soname=$(readelf -d "$lib" | sed -n 's/.*(SONAME).*\[\(.*\)\]$/\1/p')
  [ "$soname" = libquorent_sdk_uniffi.so.0 ] || { echo "package: unexpected SONAME '$soname'" >&2; exit 1; }
  needs=$(readelf -V --wide "$lib" | grep -o 'GLIBC_2\.[0-9]*' | sort -uV | tail -n 1)
  [ -n "$needs" ] || { echo "package: no glibc symbol version in $dir/libquorent_sdk_uniffi.so" >&2; exit 1; }
  needs=${needs#GLIBC_}
  [ "$(printf '%s\n' "$needs" "$glibc_floor" | sort -V | tail -n 1)" = "$glibc_floor" ] \
    || { echo "package: the $platform library needs glibc $needs, past the declared $glibc_floor" >&2; exit 1; }
  echo "package: $platform library needs glibc $needs; declared floor $glibc_floor"
  [ "$platform" != linux-x86_64 ] || x86_lib=$lib
  [ "$platform" != linux-aarch64 ] || arm_lib=$lib

  wheel "$platform" "$lib" libquorent_sdk_uniffi.so "manylinux_2_${glibc_floor#2.}_$arch"

  # C and C++: the relocatable tree, in a folder of the archive's name.
  name=quorent-sdk-$version-$platform
  cmake -DLIB="$lib" -DSONAME="$soname" -DINCLUDE_DIR="$dir" -DVERSION="$version" -DPLATFORM="$platform" \
    -DGLIBC_FLOOR="$glibc_floor" -DOUT="$tmp/$platform/archive/$name" -P cmake/archive.cmake
  tar -C "$tmp/$platform/archive" --sort=name --owner=0 --group=0 --numeric-owner \
    --mtime="@$mtime" -cf - "$name" | gzip -n9 > "dist/$name.tar.gz"
  built+=("$platform")
done
[ -n "${x86_lib:-}" ] || { echo "package: no x86-64 library; the npm package and the jar need it" >&2; exit 1; }
/usr/bin/python3 bindings/generate.py --lib "$x86_lib" --check >/dev/null

# Node: npm pack copies the library into the package (its prepack script).
if [ -f bindings/node/package.json ] && command -v npm >/dev/null; then
  extra_env=()
  [ -z "${arm_lib:-}" ] || extra_env+=(QUORENT_SDK_LIB_LINUX_ARM64="$arm_lib")
  [ -z "${win_dll:-}" ] || extra_env+=(QUORENT_SDK_LIB_WIN32_X64="$win_dll")
  (cd bindings/node && env -u QUORENT_SDK_LIB QUORENT_SDK_LIB_LINUX_X64="$x86_lib" "${extra_env[@]}" \
    npm pack --silent --pack-destination "$root/dist" >/dev/null)
else
  echo "package: no Node binding or no npm; skipping the npm package" >&2
fi

# Kotlin/JVM: the binding's own build script makes the jar and POM with Maven (its tests
# run in the Kotlin stage).
if [ -x bindings/kotlin/build.sh ]; then
  extra_env=()
  [ -z "${arm_lib:-}" ] || extra_env+=(QUORENT_SDK_LIB_AARCH64="$arm_lib")
  [ -z "${win_dll:-}" ] || extra_env+=(QUORENT_SDK_LIB_WIN32_X86_64="$win_dll")
  env QUORENT_SDK_LIB="$x86_lib" "${extra_env[@]}" bindings/kotlin/build.sh --no-tests > "$tmp/kotlin.log" 2>&1 \
    || { cat "$tmp/kotlin.log" >&2; echo "package: the Kotlin build failed" >&2; exit 1; }
else
  echo "package: no Kotlin binding; skipping the jar" >&2
fi
echo "package: platforms ${built[*]}"
ls -1 dist
