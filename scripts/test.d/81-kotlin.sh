#!/usr/bin/env bash
# The Kotlin/JVM binding: checks its generated sources are current, builds the jar,
# runs its tests (the shared operation cases and its own checks), then installs the
# jar into a bare classpath in a temporary directory and signs in from there.
set -euo pipefail
cd "$(dirname "$0")/../.."
QUORENT_EXTRA_PKGS="kotlin libjna-java default-jdk-headless" scripts/install-deps.sh
lib=$PWD/build/libquorent_sdk_uniffi.so
if [ ! -f "$lib" ]; then
  cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build build --target quorent_sdk_uniffi -j"$(nproc)" >/dev/null
fi
python3 bindings/generate.py --lib "$lib" --check --lang kotlin
mkdir -p build/kotlin
QUORENT_SDK_LIB=$lib bindings/kotlin/build.sh --tests > build/kotlin/build.log 2>&1 \
  || { grep -v Xverify build/kotlin/build.log >&2; echo "kotlin: build failed" >&2; exit 1; }
version=$(sed -n 's/^project(quorent_sdk VERSION \([0-9][0-9.]*\).*/\1/p' CMakeLists.txt)
jar=$PWD/dist/quorent-sdk-$version.jar
stdlib=/usr/share/java/kotlin-stdlib.jar
jna=/usr/share/java/jna.jar

cases=tests/cases/operations.json
args=("$cases")
[ -f "$cases" ] || { echo "kotlin: no $cases; running the binding's own checks only" >&2; args=(); }
QUORENT_SDK_LIB=$lib java -Xmx3g -cp "build/kotlin/test:build/kotlin/classes:$jna:$stdlib" \
  quorent.sdk.tests.TestMainKt "${args[@]}"
# A library that is not there, and one that is there but no shared object.
not_elf=$(mktemp -d)/libquorent_sdk_uniffi.so
echo "not a shared object" > "$not_elf"
QUORENT_SDK_LIB=/nonexistent/libquorent_sdk_uniffi.so java -cp "build/kotlin/test:build/kotlin/classes:$jna:$stdlib" \
  quorent.sdk.tests.TestMainKt --load-failure "No such file or directory"
QUORENT_SDK_LIB=$not_elf java -cp "build/kotlin/test:build/kotlin/classes:$jna:$stdlib" \
  quorent.sdk.tests.TestMainKt --load-failure "invalid ELF header" "file too short"
rm -rf "$(dirname "$not_elf")"

# A user's bare classpath: the jar, JNA and the Kotlin standard library; no QUORENT_SDK_LIB.
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cp "$jar" "$jna" "$stdlib" bindings/kotlin/examples/SignIn.kt "$tmp/"
(
  cd "$tmp"
  unset QUORENT_SDK_LIB
  cp_=quorent-sdk-$version.jar:jna.jar:kotlin-stdlib.jar
  kotlinc -Xuse-experimental=kotlin.ExperimentalUnsignedTypes -nowarn -cp "$cp_" -d classes SignIn.kt > build.log 2>&1 \
    || { grep -v Xverify build.log >&2; exit 1; }
  java -cp "$cp_:classes" SignInKt > out.txt
  grep -q "^user-sig deed for 1489790744e14f2e2e2db3734152c0b80e3409fc088873457a5c5a5c618c659f, signed by AppKey(secretKeyHex=<redacted>, " out.txt \
    || { cat out.txt; echo "kotlin: sign-in from the installed jar failed" >&2; exit 1; }
  echo "kotlin: sign-in from the installed jar passed"
)
