#!/usr/bin/env bash
# Time per call of normalize_origin and mint_user_deed through the Kotlin binding
# against the C ABI's own time, measured in one run; prints a Markdown table.
# Needs build/libquorent_sdk_uniffi.so; compiles the benchmark with the binding's
# Maven build (its test classes) and runs it on that classpath.
set -euo pipefail
root=$(cd "$(dirname "$0")/../../.." && pwd)
out=$root/build/kotlin
mkdir -p "$out"
gcc -O2 -Wall -Wextra -I"$root/ffi/include" -I"$root/build/include" -o "$out/cabi" "$root/bindings/kotlin/bench/cabi.c" \
  -L"$root/build" -lquorent_sdk_uniffi -Wl,-rpath,"$root/build"
version=$("$root/scripts/platforms.py" version)
m2=${QUORENT_CACHE:-$HOME/.cache/quorent}/m2
mvn -B -q -ntp -Dstyle.color=never -f "$root/bindings/kotlin/pom.xml" -Dmaven.repo.local="$m2" -Drevision="$version" \
  test-compile > "$out/bench-build.log" 2>&1 || { cat "$out/bench-build.log" >&2; exit 1; }
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
mapfile -t c_abi < <("$out/cabi" | sed 's/ /=/')
QUORENT_SDK_LIB=$root/build/libquorent_sdk_uniffi.so mvn -B -q -ntp -Dstyle.color=never -f "$root/bindings/kotlin/pom.xml" \
  -Dmaven.repo.local="$m2" -Drevision="$version" exec:exec -Dexec.executable=java -Dexec.classpathScope=test \
  -Dexec.args="-cp %classpath quorent.sdk.bench.BenchKt ${QUORENT_BENCH_ITERATIONS:-20000} ${c_abi[*]}"
