#!/usr/bin/env bash
# Builds the Kotlin/JVM binding with Debian's kotlinc and JNA:
#   dist/quorent-sdk-<version>.jar  the binding's classes, the shared library as the JNA
#                                   classpath resource linux-x86-64/libquorent_sdk_uniffi.so,
#                                   and META-INF/LICENSE (Apache-2.0)
# Users put the jar, jna.jar and kotlin-stdlib.jar on their classpath (Debian:
# /usr/share/java/jna.jar, /usr/share/java/kotlin-stdlib.jar).
#   bindings/kotlin/build.sh [--tests]   --tests also compiles the tests and the benchmark
# The library is taken from $QUORENT_SDK_LIB, else build/libquorent_sdk_uniffi.so.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
here=$root/bindings/kotlin
lib=${QUORENT_SDK_LIB:-$root/build/libquorent_sdk_uniffi.so}
version=$(sed -n 's/^project(quorent_sdk VERSION \([0-9][0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
jna=/usr/share/java/jna.jar
out=$root/build/kotlin
jar=$root/dist/quorent-sdk-$version.jar
kflags=(-Xuse-experimental=kotlin.ExperimentalUnsignedTypes -jvm-target 1.8 -nowarn -module-name quorent-sdk)

[ -f "$lib" ] || { echo "no library at $lib; build it first (cmake --build build --target quorent_sdk_uniffi)" >&2; exit 1; }
rm -rf "$out/classes"
mkdir -p "$out/classes/linux-x86-64" "$out/classes/META-INF" "$root/dist"
kotlinc "${kflags[@]}" -cp "$jna" -d "$out/classes" "$here"/src/quorent/sdk/*.kt
cp -L "$lib" "$out/classes/linux-x86-64/libquorent_sdk_uniffi.so"
strip --strip-debug "$out/classes/linux-x86-64/libquorent_sdk_uniffi.so" 2>/dev/null || true
cat > "$out/classes/META-INF/LICENSE" <<LICENSE
quorent-sdk $version, Kotlin/JVM binding and libquorent_sdk_uniffi (linux-x86-64).
Licensed under the Apache License, Version 2.0: https://www.apache.org/licenses/LICENSE-2.0
Runtime requirements (not included): JNA 5 (jna.jar) and the Kotlin standard library (kotlin-stdlib.jar).
LICENSE
printf 'Implementation-Title: quorent-sdk\nImplementation-Version: %s\n' "$version" > "$out/manifest.txt"
rm -f "$jar"
jar --create --file "$jar" --manifest "$out/manifest.txt" -C "$out/classes" .
echo "built $jar"

if [ "${1:-}" = "--tests" ]; then
  rm -rf "$out/test"
  kotlinc "${kflags[@]}" -cp "$jna:$out/classes" -Xfriend-paths="$out/classes" -d "$out/test" \
    "$here"/tests/*.kt "$here"/bench/*.kt
  echo "built $out/test"
fi
