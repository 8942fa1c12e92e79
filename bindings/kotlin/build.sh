#!/usr/bin/env bash
# Builds and tests the Kotlin/JVM binding with Maven (bindings/kotlin/pom.xml: Kotlin 2,
# JNA and JUnit from Maven Central), then copies into dist/
#   quorent-sdk-<version>.jar  the binding's classes (Java 8 bytecode, for Kotlin language
#                              and API version 2.0, which Kotlin 1.9 projects can use;
#                              the tests run on the kotlin-stdlib the POM names), the native library
#                              as JNA classpath resources linux-x86-64/ (and linux-aarch64/
#                              and win32-x86-64/ when given), and META-INF/LICENSE; with
#                              $QUORENT_SDK_NOTICES (the folder scripts/notices.py wrote
#                              for the jar, as scripts/package.sh passes it) also
#                              META-INF/NOTICE, META-INF/third-party/ and META-INF/sbom/
#                              (quorent-sdk.cdx.json, and quorent-sdk/<platform>.tsv that
#                              components() reads)
#   quorent-sdk-<version>.pom  its POM: dev.quorent:quorent-sdk:<version>, depending on
#                              net.java.dev.jna:jna and org.jetbrains.kotlin:kotlin-stdlib
#                              (2.0.0, the lowest with that API)
#   bindings/kotlin/build.sh [--no-tests] [maven arguments...]
# The x86-64 library is $QUORENT_SDK_LIB, else build/libquorent_sdk_uniffi.so; the aarch64
# one $QUORENT_SDK_LIB_AARCH64, else build-portable/linux-aarch64/libquorent_sdk_uniffi.so
# if it exists; the Windows x64 DLL $QUORENT_SDK_LIB_WIN32_X86_64, else
# build-portable/windows-x86_64/quorent_sdk_uniffi.dll if it exists (carried as it is:
# it comes stripped). Maven's local repository is ${QUORENT_CACHE:-~/.cache/quorent}/m2.
# Every entry of the jar is dated $SOURCE_DATE_EPOCH, by default the last commit's time.
# Prints the tests' summary; Maven's whole output is in build/kotlin/maven.log.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
lib=${QUORENT_SDK_LIB:-$root/build/libquorent_sdk_uniffi.so}
lib_aarch64=${QUORENT_SDK_LIB_AARCH64:-$root/build-portable/linux-aarch64/libquorent_sdk_uniffi.so}
lib_win=${QUORENT_SDK_LIB_WIN32_X86_64:-$root/build-portable/windows-x86_64/quorent_sdk_uniffi.dll}
version=$(sed -n 's/^project(quorent_sdk VERSION \([0-9][0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
target=$root/build/kotlin/target
native=$root/build/kotlin/native
log=$root/build/kotlin/maven.log
args=()
if [ "${1:-}" = "--no-tests" ]; then args+=(-Dmaven.test.skip=true); shift; fi

[ -f "$lib" ] || { echo "no library at $lib; build it first (cmake --build build --target quorent_sdk_uniffi)" >&2; exit 1; }
if [ -n "${QUORENT_SDK_LIB_AARCH64:-}" ] && [ ! -f "$lib_aarch64" ]; then
  echo "no library at $lib_aarch64 (QUORENT_SDK_LIB_AARCH64)" >&2; exit 1
fi
if [ -n "${QUORENT_SDK_LIB_WIN32_X86_64:-}" ] && [ ! -f "$lib_win" ]; then
  echo "no library at $lib_win (QUORENT_SDK_LIB_WIN32_X86_64)" >&2; exit 1
fi

# The libraries the jar carries, without their debug information.
stage() {
  mkdir -p "$native/$1"
  cp -L "$2" "$native/$1/libquorent_sdk_uniffi.so"
  strip --strip-debug "$native/$1/libquorent_sdk_uniffi.so" 2>/dev/null || true
}
rm -rf "$native"
stage linux-x86-64 "$lib"
if [ -f "$lib_aarch64" ]; then stage linux-aarch64 "$lib_aarch64"; fi
if [ -f "$lib_win" ]; then
  mkdir -p "$native/win32-x86-64"
  cp -L "$lib_win" "$native/win32-x86-64/quorent_sdk_uniffi.dll"
fi

# META-INF: the licence, and the notices and SBOM when given.
meta=$root/build/kotlin/meta
rm -rf "$meta"
mkdir -p "$meta"
cp "$root/LICENSE" "$meta/"
if [ -n "${QUORENT_SDK_NOTICES:-}" ]; then
  mkdir -p "$meta/sbom"
  cp -r "$QUORENT_SDK_NOTICES"/{LICENSE,NOTICE,third-party} "$meta/"
  cp "$QUORENT_SDK_NOTICES/quorent-sdk.cdx.json" "$meta/sbom/"
  cp -r "$QUORENT_SDK_NOTICES/components" "$meta/sbom/quorent-sdk"
fi
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct 2>/dev/null || echo 315532802)}

mkdir -p "$root/dist" "$(dirname "$log")"
if ! mvn -B -ntp -f "$root/bindings/kotlin/pom.xml" \
    -Dmaven.repo.local="${QUORENT_CACHE:-$HOME/.cache/quorent}/m2" \
    -Drevision="$version" -Dquorent.lib="$lib" -Dquorent.native.dir="$native" -Dquorent.meta.dir="$meta" \
    -Dproject.build.outputTimestamp="$epoch" \
    "${args[@]}" "$@" clean verify > "$log" 2>&1; then
  grep -E '^\[(ERROR|WARNING)\]|Tests run:|FAIL' "$log" | head -n 80 >&2
  echo "kotlin: the Maven build failed; see $log" >&2
  exit 1
fi
# The compiler's warnings, and Surefire's summary of each run (the cases and checks,
# the cases again on the portable path, then the load-failure check, each of the last
# two in a JVM of its own).
grep -E '^\[WARNING\] file:' "$log" || true
grep -E 'Tests run: [0-9]+, Failures: [0-9]+, Errors: [0-9]+, Skipped: [0-9]+$' "$log" | sed 's/^\[INFO\] //' || true
cp "$target/quorent-sdk-$version.jar" "$target/quorent-sdk-$version.pom" "$root/dist/"
echo "built $root/dist/quorent-sdk-$version.jar and .pom"
