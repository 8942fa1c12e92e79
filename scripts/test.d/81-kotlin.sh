#!/usr/bin/env bash
# The Kotlin/JVM binding: checks its generated sources are current, builds it with Maven
# and runs its tests through Surefire (the shared operation cases and its own checks),
# then installs the jar and POM into a new local Maven repository and builds a separate
# project that depends on dev.quorent:quorent-sdk by its coordinates and signs in.
set -euo pipefail
cd "$(dirname "$0")/../.."
QUORENT_EXTRA_PKGS="maven default-jdk-headless" scripts/install-deps.sh
lib=$PWD/build/libquorent_sdk_uniffi.so
if [ ! -f "$lib" ]; then
  cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build build --target quorent_sdk_uniffi -j"$(nproc)" >/dev/null
fi
python3 bindings/generate.py --lib "$lib" --check --lang kotlin
QUORENT_SDK_LIB=$lib bindings/kotlin/build.sh
bindings/kotlin/examples/consumer/run.sh > build/kotlin/consumer.txt
grep "^user-sig deed" build/kotlin/consumer.txt
grep -q "^user-sig deed for 1489790744e14f2e2e2db3734152c0b80e3409fc088873457a5c5a5c618c659f, signed by AppKey(secretKeyHex=<redacted>, " \
  build/kotlin/consumer.txt \
  || { cat build/kotlin/consumer.txt; echo "kotlin: sign-in from the installed artifact failed" >&2; exit 1; }
echo "kotlin: a Maven project using dev.quorent:quorent-sdk by its coordinates signed in"
