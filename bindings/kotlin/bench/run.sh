#!/usr/bin/env bash
# Time per call of normalize_origin and mint_user_deed through the Kotlin binding
# against the C ABI's own time, measured in one run; prints a Markdown table.
# Needs build/libquorent_sdk_uniffi.so and `bindings/kotlin/build.sh --tests`.
set -euo pipefail
root=$(cd "$(dirname "$0")/../../.." && pwd)
out=$root/build/kotlin
gcc -O2 -Wall -Wextra -I"$root/ffi/include" -I"$root/build/include" -o "$out/cabi" "$root/bindings/kotlin/bench/cabi.c" \
  -L"$root/build" -lquorent_sdk_uniffi -Wl,-rpath,"$root/build"
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
mapfile -t c_abi < <("$out/cabi" | sed 's/ /=/')
QUORENT_SDK_LIB=$root/build/libquorent_sdk_uniffi.so java \
  -cp "$out/test:$out/classes:/usr/share/java/jna.jar:/usr/share/java/kotlin-stdlib.jar" \
  quorent.sdk.bench.BenchKt "${QUORENT_BENCH_ITERATIONS:-20000}" "${c_abi[@]}"
