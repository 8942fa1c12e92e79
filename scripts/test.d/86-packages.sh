#!/usr/bin/env bash
# Builds every package into dist/ (scripts/package.sh), then installs each in a
# fresh place away from the source tree, with no QUORENT_SDK_LIB, and signs in
# from there: the wheel into a new virtual environment, the npm tarball into an
# empty npm project, the jar and POM into a new Maven repository, the C/C++
# archive unpacked into a temporary folder that the C example is built against
# (find_package and pkg-config). The library each carries is the portable one:
# it needs the C library and nothing else. Each binding's components() names what
# that library is built with as its package's SBOM does, the three alike (and the
# Windows tool's --version as the npm package's SBOM for win32-x64); an SBOM that
# does not match its package's bytes, or is not valid CycloneDX, is refused.
# needs: 83-portable 84-windows 85-macos
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
if { [ ! -f build-portable/linux-x86_64/libquorent_sdk_uniffi.so ] \
     || [ ! -f build-portable/linux-aarch64/libquorent_sdk_uniffi.so ]; } && [ ! -x scripts/portable.sh ]; then
  echo "packages: skipped: no portable libraries, and no scripts/portable.sh in this tree to build them"
  exit 0
fi
scripts/package.sh >/dev/null
version=$(scripts/platforms.py version)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
unset QUORENT_SDK_LIB

only_libc() {  # the packaged library, what carries it: it needs the C library alone at run time
  local needed extra
  [ -f "$1" ] || { echo "packages: no library in the $2 at $1" >&2; exit 1; }
  needed=$(readelf -d "$1" | sed -n 's/.*(NEEDED).*\[\(.*\)\]$/\1/p')
  extra=$(grep -vxE 'libc\.so\.6|libm\.so\.6|libpthread\.so\.0|libdl\.so\.2|ld-linux-(x86-64|aarch64)\.so\.[12]' <<<"$needed" || true)
  [ -z "$extra" ] || { echo "packages: the library in the $2 needs more than the C library:" $extra >&2; exit 1; }
  echo "packages: the library in the $2 needs only" $needed
}
expected="user-sig deed for 1489790744e14f2e2e2db3734152c0b80e3409fc088873457a5c5a5c618c659f, signed by "

# Python: a new virtual environment, the wheel installed offline; the binding's tests
# run under the pinned pytest (scripts/python-tools.sh), the wheel's copy imported.
tools_py=$(scripts/python-tools.sh)
/usr/bin/python3 -m venv "$tmp/venv"
"$tmp/venv/bin/python" -m pip install --quiet --no-index --no-cache-dir "$root"/dist/quorent_sdk-"$version"-*-manylinux_*_x86_64.whl
cp bindings/python/examples/signin.py "$tmp/"
(cd "$tmp" && PYTHONDONTWRITEBYTECODE=1 "$tmp/venv/bin/python" signin.py > py.txt)
grep -q "^${expected}AppKey(secret_key_hex=<redacted>, " "$tmp/py.txt" \
  || { cat "$tmp/py.txt"; echo "packages: sign-in from the installed wheel failed" >&2; exit 1; }
"$tmp/venv/bin/python" -c "import quorent_sdk, sys; sys.exit(quorent_sdk.__version__ != '$version')"
(cd "$tmp" && "$tmp/venv/bin/python" -c "
import os, quorent_sdk, quorent_sdk._runtime as r
assert os.path.dirname(r.path) == os.path.dirname(quorent_sdk.__file__), r.path")
tools_site=$("$tools_py" -c "import sysconfig; print(sysconfig.get_paths()['purelib'])")
(cd "$tmp" && PYTHONDONTWRITEBYTECODE=1 PYTHONPATH="$tools_site" "$tmp/venv/bin/python" -m pytest -q \
  -p no:cacheprovider --rootdir "$root/bindings/python" "$root/bindings/python/tests" 2>&1 | tail -n 1)
only_libc "$("$tmp/venv/bin/python" -c "import quorent_sdk._runtime as r; print(r.path)")" wheel
# A wheel whose tag promises an older glibc than the library needs is refused.
cp "$root"/dist/quorent_sdk-"$version"-*-manylinux_*_x86_64.whl "$tmp/quorent_sdk-$version-py3-none-manylinux_2_17_x86_64.whl"
if "$tools_py" scripts/check_wheel.py "$tmp/quorent_sdk-$version-py3-none-manylinux_2_17_x86_64.whl" > "$tmp/old-glibc.txt" 2>&1 \
   || ! grep -q 'auditwheel needs glibc 2\.[0-9]*, the tag promises 2\.17' "$tmp/old-glibc.txt"; then
  cat "$tmp/old-glibc.txt"; echo "packages: scripts/check_wheel.py did not refuse a wheel tagged for an older glibc than it needs" >&2; exit 1
fi
"$tmp/venv/bin/python" -c "
import quorent_sdk
for c in quorent_sdk.components(): print(f\"{c['name']} {c['version']} ({c['license']})\")" > "$tmp/components.txt"
grep -q '^openssl [0-9]' "$tmp/components.txt" && grep -q '^libsecp256k1 [0-9]' "$tmp/components.txt" \
  || { cat "$tmp/components.txt"; echo "packages: components() of the installed wheel does not name OpenSSL and libsecp256k1" >&2; exit 1; }
# An SBOM is refused when it does not describe the package's bytes, or is no valid CycloneDX.
python3 - "$root/dist/quorent-sdk-$version-linux-x86_64.tar.gz" "$tmp/tampered" <<'PY'
import io, json, os, sys, tarfile
src, out = sys.argv[1:]
os.makedirs(out)
name = os.path.basename(src)
def rewrite(dest, change):
    with tarfile.open(src) as t, tarfile.open(dest, "w:gz") as w:
        for m in t.getmembers():
            data = t.extractfile(m).read() if m.isfile() else None
            if m.name.endswith("share/sbom/quorent-sdk.cdx.json"):
                bom = json.loads(data)
                change(bom)
                data = json.dumps(bom).encode()
                m.size = len(data)
            w.addfile(m, io.BytesIO(data) if data is not None else None)
def wrong_hash(bom):
    bom["components"][0]["hashes"][0]["content"] = "0" * 64
def no_schema(bom):
    bom["components"][1]["type"] = "a-library"
os.makedirs(f"{out}/hash"); os.makedirs(f"{out}/schema")
rewrite(f"{out}/hash/{name}", wrong_hash)
rewrite(f"{out}/schema/{name}", no_schema)
PY
for kind in hash schema; do
  if "$tools_py" scripts/check_sbom.py "$tmp/tampered/$kind/quorent-sdk-$version-linux-x86_64.tar.gz" >/dev/null 2>&1; then
    echo "packages: scripts/check_sbom.py accepted an archive whose SBOM was altered ($kind)" >&2; exit 1
  fi
done
echo "packages: python wheel installed in a fresh virtual environment; its tests and sign-in passed;" \
  "components(): $(paste -sd, "$tmp/components.txt")"

# Node: an empty npm project, the tarball installed into it.
tgz=$root/dist/quorent-sdk-$version.tgz
if [ -f "$tgz" ]; then
  mkdir "$tmp/npm"
  (
    cd "$tmp/npm"
    npm init -y >/dev/null
    npm install --silent --no-audit --no-fund "$tgz" >/dev/null
    cp "$root/bindings/node/scripts/package-signin.mjs" signin.mjs
    only_libc node_modules/quorent-sdk/prebuilds/linux-x64/libquorent_sdk_uniffi.so "npm package"
    only_libc node_modules/quorent-sdk/prebuilds/linux-arm64/libquorent_sdk_uniffi.so "npm package (arm64)"
    readelf -h node_modules/quorent-sdk/prebuilds/linux-arm64/libquorent_sdk_uniffi.so | grep 'Machine:.*AArch64' >/dev/null \
      || { echo "packages: prebuilds/linux-arm64 of the npm package is not an AArch64 library" >&2; exit 1; }
    node signin.mjs > out.txt
    grep -q "^${expected}" out.txt || { cat out.txt; echo "packages: sign-in from the npm package failed" >&2; exit 1; }
    node -e "for (const c of require('quorent-sdk/components').components()) console.log(\`\${c.name} \${c.version} (\${c.license})\`)" \
      | cmp -s - "$tmp/components.txt" \
      || { echo "packages: components() of the npm package differs from the wheel's for linux-x64" >&2; exit 1; }
    # The arm64 library the package carries, through the shared cases with an arm64
    # Node under qemu-aarch64 (koffi's structure returns, as on an arm64 machine).
    QUORENT_SDK_LIB_LINUX_ARM64=$PWD/node_modules/quorent-sdk/prebuilds/linux-arm64/libquorent_sdk_uniffi.so \
      "$root/bindings/node/scripts/test-arm64.sh" > arm64.txt 2>&1 \
      || { cat arm64.txt; echo "packages: the npm package's arm64 library failed the cases under qemu" >&2; exit 1; }
    grep -E '^(node arm64: skipped|ℹ (pass|fail) )' arm64.txt | sed 's/^/packages: linux-arm64 cases: /'
  )
  echo "packages: npm package installed in an empty project; sign-in passed"
else
  echo "packages: no npm package in dist/; skipped"
fi

# Kotlin/JVM: the jar and POM installed into a new Maven repository, and a Maven project
# that depends on them by their coordinates.
jar=$root/dist/quorent-sdk-$version.jar
if [ -f "$jar" ] && [ -f "$root/dist/quorent-sdk-$version.pom" ]; then
  mkdir "$tmp/jvm"
  python3 -c "import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extract(sys.argv[2], sys.argv[3])" \
    "$jar" linux-x86-64/libquorent_sdk_uniffi.so "$tmp/jvm"
  only_libc "$tmp/jvm/linux-x86-64/libquorent_sdk_uniffi.so" jar
  python3 -c "import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extract(sys.argv[2], sys.argv[3])" \
    "$jar" linux-aarch64/libquorent_sdk_uniffi.so "$tmp/jvm"
  only_libc "$tmp/jvm/linux-aarch64/libquorent_sdk_uniffi.so" "jar (aarch64)"
  # Compiled as the Kotlin stage checks it: Java 8 class files, the metadata of the
  # language version the binding's POM names.
  python3 bindings/kotlin/check_classes.py "$jar" --major 52 \
    --metadata "$(sed -n 's|.*<kotlin.compiler.languageVersion>\(.*\)</kotlin.compiler.languageVersion>.*|\1|p' bindings/kotlin/pom.xml).0" \
    | sed 's/^/packages: jar: /'
  bindings/kotlin/examples/consumer/run.sh > "$tmp/jvm.txt"
  grep -q "^${expected}AppKey(secretKeyHex=<redacted>, " "$tmp/jvm.txt" \
    || { cat "$tmp/jvm.txt"; echo "packages: sign-in from the Maven artifact failed" >&2; exit 1; }
  sed -n 's/^built with //p' "$tmp/jvm.txt" | cmp -s - "$tmp/components.txt" \
    || { cat "$tmp/jvm.txt"; echo "packages: components() of the jar differs from the wheel's for linux-x86-64" >&2; exit 1; }
  echo "packages: Maven artifact installed in a new repository; a project using it signed in"
else
  echo "packages: no jar and POM in dist/; skipped"
fi

# C and C++: the archive unpacked where it was not made; the C example built against it
# with find_package and with pkg-config, and run.
for platform in $(scripts/platforms.py names --package archive); do
  eval "$(scripts/platforms.py shell "$platform")"
  case "$system" in linux-*) ;; *) continue ;; esac
  archive=$root/dist/quorent-sdk-$version-$platform.tar.gz
  [ -f "$archive" ] || { echo "packages: no $(basename "$archive")"; continue; }
  mkdir -p "$tmp/c/$platform"
  tar -C "$tmp/c/$platform" -xzf "$archive"
  prefix=$tmp/c/$platform/quorent-sdk-$version-$platform
  for f in include/quorent_sdk_uniffi.h include/quorent_sdk_version.h LICENSE README lib/pkgconfig/quorent_sdk_uniffi.pc \
           lib/cmake/quorent_sdk_uniffi/quorent_sdk_uniffiConfig.cmake \
           lib/cmake/quorent_sdk_uniffi/quorent_sdk_uniffiConfigVersion.cmake \
           lib/cmake/quorent_sdk_uniffi/quorent_sdk_uniffiTargets.cmake; do
    [ -f "$prefix/$f" ] || { echo "packages: $(basename "$archive") lacks $f" >&2; exit 1; }
  done
  [ "$(readlink "$prefix/lib/libquorent_sdk_uniffi.so")" = libquorent_sdk_uniffi.so.0 ] \
    && [ "$(readlink "$prefix/lib/libquorent_sdk_uniffi.so.0")" = "libquorent_sdk_uniffi.so.$version" ] \
    && [ -f "$prefix/lib/libquorent_sdk_uniffi.so.$version" ] && [ ! -L "$prefix/lib/libquorent_sdk_uniffi.so.$version" ] \
    || { ls -l "$prefix/lib" >&2; echo "packages: the library and its links in $(basename "$archive") are wrong" >&2; exit 1; }
  found=$(readelf -h "$prefix/lib/libquorent_sdk_uniffi.so.$version" | sed -n 's/^ *Machine: *//p')
  [ "$found" = "$machine" ] || { echo "packages: the library in $(basename "$archive") is for $found" >&2; exit 1; }
  grep -q "^#define QUORENT_SDK_VERSION_STRING \"$version\"$" "$prefix/include/quorent_sdk_version.h" \
    || { echo "packages: the header in $(basename "$archive") is not of version $version" >&2; exit 1; }
  echo "packages: $(basename "$archive"): $(tar -tzf "$archive" | wc -l) entries, library and links in place"
done
prefix=$tmp/c/linux-x86_64/quorent-sdk-$version-linux-x86_64
[ -d "$prefix" ] || { echo "packages: no x86-64 archive to build the example against" >&2; exit 1; }
only_libc "$prefix/lib/libquorent_sdk_uniffi.so.$version" "C archive"
cmake -S examples -B "$tmp/c/cmake-build" -DCMAKE_PREFIX_PATH="$prefix" >"$tmp/c/cmake.log" 2>&1 \
  && cmake --build "$tmp/c/cmake-build" >>"$tmp/c/cmake.log" 2>&1 \
  || { cat "$tmp/c/cmake.log"; echo "packages: the example did not build with find_package" >&2; exit 1; }
grep -qx "quorent_sdk_uniffi_DIR:PATH=$prefix/lib/cmake/quorent_sdk_uniffi" "$tmp/c/cmake-build/CMakeCache.txt" \
  || { grep quorent_sdk_uniffi_DIR "$tmp/c/cmake-build/CMakeCache.txt"; echo "packages: find_package did not take the archive's" >&2; exit 1; }
"$tmp/c/cmake-build/signin" > "$tmp/c/cmake.txt"  # CMake put the archive's lib/ in its rpath
mkdir "$tmp/c/pc-build"
# shellcheck disable=SC2046
cc -Wall -Wextra -o "$tmp/c/pc-build/signin" examples/signin.c \
  $(PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --cflags --libs "quorent_sdk_uniffi = $version")
LD_LIBRARY_PATH="$prefix/lib" "$tmp/c/pc-build/signin" > "$tmp/c/pc.txt"
sub=1489790744e14f2e2e2db3734152c0b80e3409fc088873457a5c5a5c618c659f
for out in cmake pc; do
  grep -q "^  mode: user-sig$" "$tmp/c/$out.txt" && grep -q "^  sub: $sub$" "$tmp/c/$out.txt" \
    || { cat "$tmp/c/$out.txt"; echo "packages: sign-in from the C archive ($out build) failed" >&2; exit 1; }
done
cmp -s "$tmp/c/cmake.txt" "$tmp/c/pc.txt" || { echo "packages: the two C builds disagree" >&2; exit 1; }
echo "packages: C archive unpacked; the example built with find_package and with pkg-config signed in"

# The aarch64 archive, where its cross compiler and qemu are (scripts/portable.sh
# installs them): the example built with pkg-config and run under qemu.
prefix=$tmp/c/linux-aarch64/quorent-sdk-$version-linux-aarch64
if [ -d "$prefix" ] && command -v aarch64-linux-gnu-gcc >/dev/null && command -v qemu-aarch64 >/dev/null; then
  # shellcheck disable=SC2046
  aarch64-linux-gnu-gcc -Wall -Wextra -o "$tmp/c/signin-aarch64" examples/signin.c \
    $(PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --cflags --libs quorent_sdk_uniffi)
  QEMU_LD_PREFIX=/usr/aarch64-linux-gnu LD_LIBRARY_PATH="$prefix/lib" qemu-aarch64 "$tmp/c/signin-aarch64" > "$tmp/c/aarch64.txt"
  cmp -s "$tmp/c/pc.txt" "$tmp/c/aarch64.txt" \
    || { diff "$tmp/c/pc.txt" "$tmp/c/aarch64.txt"; echo "packages: the aarch64 archive's example differs" >&2; exit 1; }
  echo "packages: aarch64 C archive: the example built with pkg-config signed in under qemu, as on x86-64"
fi

# musl: the example built against each musl archive (pkg-config) by the compiler
# of the row's portable build (Zig for its target, in the build cache) signs in
# as on glibc: under Debian's musl loader, or under qemu with the arm64 musl
# root that build keeps. Optimised, as the suite's programs are: Zig gives an
# unoptimised C program its UBSan runtime, which needs a newer musl than those.
deps=scripts/deps.py cache=${QUORENT_CACHE:-$HOME/.cache/quorent}/portable
for platform in $(scripts/platforms.py names --package archive); do
  eval "$(scripts/platforms.py shell "$platform")"
  [ "$system" = linux-musl ] || continue
  prefix=$tmp/c/$platform/quorent-sdk-$version-$platform
  # shellcheck disable=SC2046
  "$cache/$platform/bin/cc" -O2 -Wall -Wextra -o "$tmp/c/signin-$platform" examples/signin.c \
    $(PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --cflags --libs quorent_sdk_uniffi)
  run=()
  if [ "$tests" = qemu ]; then
    # shellcheck source=../platforms/linux-musl.sh
    . scripts/platforms/linux-musl.sh
    musl_root
    run=(qemu-aarch64 -L "$musl_root")
  fi
  LD_LIBRARY_PATH="$prefix/lib" "${run[@]}" "$tmp/c/signin-$platform" > "$tmp/c/$platform.txt"
  cmp -s "$tmp/c/pc.txt" "$tmp/c/$platform.txt" \
    || { diff "$tmp/c/pc.txt" "$tmp/c/$platform.txt"; echo "packages: the $platform archive's example differs" >&2; exit 1; }
  echo "packages: $platform C archive: the example built with pkg-config signed in${run:+ under qemu}, as on glibc"
done

# Every package carries, for each platform, the very library of that platform's
# C archive (for macOS, the slice of the universal file): the wheels, the npm
# package's prebuilds and the jar's resources (scripts/package_libraries.py).
"$tools_py" scripts/package_libraries.py dist "$version" | sed 's/^/packages: /'

# Windows x64: no Windows Python, Node or JVM runs here, so the wheel, the npm
# package and the jar are checked for their layout and for carrying the very DLL
# of the C/C++ zip; that zip, unpacked, is what a C and a C++ host are built
# against with MinGW-w64 (its headers and import library only), and they run
# under Wine: the C example signs in as on Linux, and the shared cases pass.
zip=$root/dist/quorent-sdk-$version-windows-x86_64.zip
if [ ! -f "$zip" ]; then
  echo "packages: no $(basename "$zip"); the Windows packages are not checked"
  exit 0
fi
win=$tmp/win
mkdir -p "$win"
start=$(date +%s)
python3 -c "import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])" "$zip" "$win"
prefix=$win/quorent-sdk-$version-windows-x86_64
for f in bin/quorent_sdk_uniffi.dll lib/libquorent_sdk_uniffi.dll.a lib/quorent_sdk_uniffi.def \
         include/quorent_sdk_uniffi.h include/quorent_sdk_version.h LICENSE README.txt \
         lib/pkgconfig/quorent_sdk_uniffi.pc lib/cmake/quorent_sdk_uniffi/quorent_sdk_uniffiConfig.cmake \
         lib/cmake/quorent_sdk_uniffi/quorent_sdk_uniffiConfigVersion.cmake \
         lib/cmake/quorent_sdk_uniffi/quorent_sdk_uniffiTargets.cmake; do
  [ -f "$prefix/$f" ] || { echo "packages: $(basename "$zip") lacks $f" >&2; exit 1; }
done
dll=$prefix/bin/quorent_sdk_uniffi.dll
x86_64-w64-mingw32-objdump -f "$dll" | grep 'file format pei-x86-64' >/dev/null \
  || { echo "packages: the DLL in $(basename "$zip") is not an x86-64 DLL" >&2; exit 1; }
# The DLL exports exactly the interface, and the export list names each export,
# the interface blobs as data.
tests/exports_test.sh "$dll" "$prefix/include/quorent_sdk_uniffi.h" >/dev/null \
  || { echo "packages: the DLL in $(basename "$zip") does not export exactly the interface" >&2; exit 1; }
diff <(x86_64-w64-mingw32-objdump -p "$dll" | awk '/^\[Ordinal\/Name Pointer\] Table/ {t = 1; next} t && /^[[:space:]]*$/ {t = 0} t && /\[ *[0-9]+\]/ {print $NF}' \
       | sed 's/^UNIFFI_META_.*/& DATA/' | sort) \
     <(sed -n 's/^    //p' "$prefix/lib/quorent_sdk_uniffi.def" | sort) \
  || { echo "packages: the export list in $(basename "$zip") differs from the DLL's exports" >&2; exit 1; }
echo "packages: $(basename "$zip"): $(python3 -c "import sys, zipfile; print(len(zipfile.ZipFile(sys.argv[1]).namelist()))" "$zip") entries, DLL, import library and export list in place"

# The wheel, the npm package and the jar carry the same DLL.
wheel=$root/dist/quorent_sdk-$version-py3-none-win_amd64.whl
"$tools_py" scripts/check_wheel.py "$wheel" win_amd64 | sed 's/^/packages: /'
python3 - "$wheel" "$dll" "$tmp/tampered.whl" <<'PY'
import sys, zipfile
wheel, dll, tampered = sys.argv[1:]
with zipfile.ZipFile(wheel) as z, zipfile.ZipFile(tampered, "w") as t:
    assert z.read("quorent_sdk/quorent_sdk_uniffi.dll") == open(dll, "rb").read(), "the wheel's DLL is not the zip's"
    assert not [n for n in z.namelist() if n.endswith(".so")], "the Windows wheel carries a Linux library"
    for info in z.infolist():  # the same wheel with one byte of the DLL changed, RECORD as it was
        data = z.read(info)
        t.writestr(info, data[:-1] + bytes([data[-1] ^ 1]) if info.filename.endswith(".dll") else data)
PY
if "$tools_py" scripts/check_wheel.py "$tmp/tampered.whl" win_amd64 >/dev/null 2>&1; then
  echo "packages: scripts/check_wheel.py accepted a wheel whose RECORD does not match its DLL" >&2; exit 1
fi
# pip installs it for Windows only, and where the loader looks for the DLL on Windows.
if "$tmp/venv/bin/python" -m pip install --quiet --no-index --no-deps --no-cache-dir --target "$tmp/winpy-here" "$wheel" 2>/dev/null; then
  echo "packages: pip installed the win_amd64 wheel for Linux" >&2; exit 1
fi
"$tmp/venv/bin/python" -m pip install --quiet --no-index --no-deps --no-cache-dir --platform win_amd64 \
  --only-binary=:all: --target "$tmp/winpy" "$wheel"
PYTHONDONTWRITEBYTECODE=1 python3 - "$tmp/winpy/quorent_sdk" <<'PY'
import importlib.util, os, sys
os.environ.pop("QUORENT_SDK_LIB", None)
spec = importlib.util.spec_from_file_location("runtime", os.path.join(sys.argv[1], "_runtime.py"))
runtime = importlib.util.module_from_spec(spec)
spec.loader.exec_module(runtime)
first = runtime.candidates("win32")[0][0]  # (candidates, why one was passed over)
assert first == os.path.join(sys.argv[1], "quorent_sdk_uniffi.dll") and os.path.isfile(first), first
PY
(cd "$tmp/npm" && env -u QUORENT_SDK_LIB node -e "
  const r = require('./node_modules/quorent-sdk/lib/runtime.js'), fs = require('node:fs'), path = require('node:path');
  const root = path.resolve('node_modules/quorent-sdk'), first = r.candidates('win32', 'x64', root)[0][1];
  if (!fs.existsSync(first) || !r.prebuilds(root).includes('win32-x64')) throw new Error('win32-x64 loader: ' + first);")
cmp "$dll" "$tmp/npm/node_modules/quorent-sdk/prebuilds/win32-x64/quorent_sdk_uniffi.dll" \
  || { echo "packages: the npm package does not carry the zip's DLL in prebuilds/win32-x64/" >&2; exit 1; }
python3 -c "import sys, zipfile; sys.stdout.buffer.write(zipfile.ZipFile(sys.argv[1]).read(sys.argv[2]))" \
  "$jar" win32-x86-64/quorent_sdk_uniffi.dll | cmp - "$dll" \
  || { echo "packages: the jar does not carry the zip's DLL as win32-x86-64/" >&2; exit 1; }
echo "packages: the win_amd64 wheel (pip installs it for Windows only), prebuilds/win32-x64/ of the npm package" \
  "and win32-x86-64/ of the jar carry the zip's DLL where each loader looks for it on Windows"

# The hosts, built with MinGW-w64 against the unpacked zip, run under Wine in the
# prefix scripts/portable.sh keeps; the DLL is found next to each program.
deps="${QUORENT_CACHE:-$HOME/.cache/quorent}/portable/windows-x86_64/prefix"
wine_run() { WINEPREFIX="${QUORENT_CACHE:-$HOME/.cache/quorent}/portable/windows-x86_64/wine" WINEDEBUG=-all \
  /usr/lib/wine/wine64 "$@"; }
# The Windows tool names what its DLL is built with as the packages' SBOM does.
exe=build-portable/windows-x86_64/build/bin/quorent.exe
if [ -f "$exe" ]; then
  cp "$exe" "$dll" "$win/"
  wine_run "$win/quorent.exe" --version | tr -d '\r' | sed -n 's/^  //p' > "$win/version.txt"
  (cd "$tmp/npm" && node -e "for (const c of require('quorent-sdk/components').components('win32', 'x64'))
    console.log(\`\${c.name} \${c.version} (\${c.license})\`)") | diff "$win/version.txt" - \
    || { echo "packages: quorent.exe --version and the npm package's SBOM for win32-x64 differ" >&2; exit 1; }
  echo "packages: quorent.exe --version names the $(wc -l < "$win/version.txt") components of the DLL as the SBOM does"
fi
cmake -S examples -B "$win/example" -DCMAKE_SYSTEM_NAME=Windows -DCMAKE_SYSTEM_PROCESSOR=x86_64 \
  -DCMAKE_C_COMPILER=x86_64-w64-mingw32-gcc-posix -DCMAKE_PREFIX_PATH="$prefix" >"$win/example.log" 2>&1 \
  && cmake --build "$win/example" >>"$win/example.log" 2>&1 \
  || { cat "$win/example.log"; echo "packages: the example did not build against the Windows zip with find_package" >&2; exit 1; }
x86_64-w64-mingw32-objdump -p "$win/example/signin.exe" | grep 'DLL Name: quorent_sdk_uniffi.dll' >/dev/null \
  || { echo "packages: the example does not import quorent_sdk_uniffi.dll" >&2; exit 1; }
mkdir "$win/pc"
# shellcheck disable=SC2046
x86_64-w64-mingw32-gcc-posix -Wall -Wextra -o "$win/pc/signin.exe" examples/signin.c \
  $(PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --cflags --libs quorent_sdk_uniffi)
for build in example pc; do
  cp "$dll" "$win/$build/"
  wine_run "$win/$build/signin.exe" | tr -d '\r' > "$win/$build.txt"
  cmp -s "$tmp/c/pc.txt" "$win/$build.txt" \
    || { diff "$tmp/c/pc.txt" "$win/$build.txt"; echo "packages: the Windows example's sign-in ($build build) differs from Linux's" >&2; exit 1; }
done
# The shared cases, as the C++ tests run them (GoogleTest from the Windows build's
# dependencies), linked with the zip's import library; everything else static.
mkdir "$win/cases"
x86_64-w64-mingw32-g++-posix -std=c++20 -O1 -o "$win/cases/cases.exe" tests/abi/cases_test.cpp \
  -I"$prefix/include" -Itests/abi -Itests/common -Iffi/host -isystem "$deps/include" \
  -DQUORENT_CASES_FILE="\"$root/tests/cases/operations.json\"" \
  "$prefix/lib/libquorent_sdk_uniffi.dll.a" -L"$deps/lib" -lgtest_main -lgtest -static > "$win/cases.log" 2>&1 \
  || { cat "$win/cases.log"; echo "packages: the shared cases did not build against the Windows zip" >&2; exit 1; }
x86_64-w64-mingw32-objdump -p "$win/cases/cases.exe" | grep 'DLL Name: quorent_sdk_uniffi.dll' >/dev/null \
  || { echo "packages: the cases program does not import quorent_sdk_uniffi.dll" >&2; exit 1; }
cp "$dll" "$win/cases/"
status=0
wine_run "$win/cases/cases.exe" 2>&1 | tr -d '\r' > "$win/cases.txt" || status=$?
[ "$status" = 0 ] && grep '^\[  PASSED  \] 1 test\.$' "$win/cases.txt" >/dev/null \
  || { grep -vE '^\[ +(RUN|OK) ' "$win/cases.txt" | tail -n 40; echo "packages: the shared cases failed through the Windows DLL" >&2; exit 1; }
echo "packages: windows-x86_64 zip: the C example (find_package and pkg-config builds) signed in under Wine as on Linux, and the" \
  "$(python3 -c "import json, sys; print(len(json.load(open(sys.argv[1]))['cases']))" tests/cases/operations.json)" \
  "shared cases passed through the DLL ($(( $(date +%s) - start )) s)"
