#!/usr/bin/env bash
# Builds and tests the Kotlin/JVM binding with Maven (bindings/kotlin/pom.xml: Kotlin 2,
# JNA and JUnit from Maven Central), then copies into dist/
#   quorent-sdk-<version>.jar  the binding's classes (Java 8 bytecode, for Kotlin language
#                              and API version 2.0, which Kotlin 1.9 projects can use;
#                              the tests run on the kotlin-stdlib the POM names), the native library
#                              as JNA classpath resources, one folder for each platform of
#                              scripts/platforms.json that names a jar folder (linux-x86-64/,
#                              linux-aarch64/, their -musl builds, darwin-*, win32-x86-64/),
#                              and META-INF/LICENSE; with
#                              $QUORENT_SDK_NOTICES (the folder scripts/notices.py wrote
#                              for the jar, as scripts/package.sh passes it) also
#                              META-INF/NOTICE, META-INF/third-party/ and META-INF/sbom/
#                              (quorent-sdk.cdx.json, and quorent-sdk/<platform>.tsv that
#                              components() reads)
#   quorent-sdk-<version>.pom  its POM: dev.quorent:quorent-sdk:<version>, depending on
#                              net.java.dev.jna:jna and org.jetbrains.kotlin:kotlin-stdlib
#                              (2.0.0, the lowest with that API)
#   bindings/kotlin/build.sh [--no-tests] [maven arguments...]
# Each platform's library is the file its row's variable names (for linux-x86-64
# $QUORENT_SDK_LIB, which the tests load, else build/libquorent_sdk_uniffi.so; for the
# others $QUORENT_SDK_LIB_AARCH64, $QUORENT_SDK_LIB_MUSL_X86_64, ...), else the portable
# build in build-portable/<platform>/ if there is one; a variable naming no file fails.
# Maven's local repository is ${QUORENT_CACHE:-~/.cache/quorent}/m2.
# Every entry of the jar is dated $SOURCE_DATE_EPOCH, by default the last commit's time.
# Prints the tests' summary; Maven's whole output is in build/kotlin/maven.log.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
lib=${QUORENT_SDK_LIB:-$root/build/libquorent_sdk_uniffi.so}
version=$("$root/scripts/platforms.py" version)
target=$root/build/kotlin/target
native=$root/build/kotlin/native
log=$root/build/kotlin/maven.log
args=()
if [ "${1:-}" = "--no-tests" ]; then args+=(-Dmaven.test.skip=true); shift; fi

[ -f "$lib" ] || { echo "no library at $lib; build it first (cmake --build build --target quorent_sdk_uniffi)" >&2; exit 1; }

# The libraries the jar carries: ELF files without their debug information, the
# others as they are (the DLL comes stripped, a dylib signed).
platforms="$root/scripts/platforms.py"
rm -rf "$native"
for platform in $("$platforms" names --package jar); do
  folder=$("$platforms" get "$platform" packages.jar.folder)
  var=$("$platforms" get "$platform" packages.jar.env)
  file=$("$platforms" get "$platform" library)
  src=${!var:-}
  [ "$var" != QUORENT_SDK_LIB ] || src=$lib
  if [ -n "$src" ]; then
    [ -f "$src" ] || { echo "no library at $src ($var)" >&2; exit 1; }
  else
    src=$root/build-portable/$platform/$file
    [ -f "$src" ] || continue
  fi
  mkdir -p "$native/$folder"
  cp -L "$src" "$native/$folder/$file"
  case "$file" in
    *.so) strip --strip-debug "$native/$folder/$file" 2>/dev/null || true ;;
  esac
done

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
