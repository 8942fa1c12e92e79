#!/usr/bin/env bash
# The Kotlin/JVM binding: checks its generated sources are current, builds it with Maven
# and runs its tests through Surefire (the shared operation cases and its own checks),
# then checks what it was compiled for (Java 8 class files, Kotlin metadata older Kotlin
# reads, no standard-library API that the oldest supported Kotlin's lacks) and installs
# the jar and POM into a new local Maven repository, where projects depend on
# dev.quorent:quorent-sdk by its coordinates: the Kotlin consumer project, built by the
# oldest supported Kotlin and by the newest, and the Java one (compiled for Java 8) sign in
# alike.
set -euo pipefail
cd "$(dirname "$0")/../.."
QUORENT_EXTRA_PKGS="maven default-jdk-headless" scripts/install-deps.sh
# The oldest Kotlin a project using the binding may have (language, compiler and
# kotlin-stdlib); the newest is the one the consumer project names, the binding's own.
oldest_kotlin=1.9.25
lib=$PWD/build/libquorent_sdk_uniffi.so
if [ ! -f "$lib" ]; then
  cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build build --target quorent_sdk_uniffi -j"$(nproc)" >/dev/null
fi
python3 bindings/generate.py --lib "$lib" --check --lang kotlin
QUORENT_SDK_LIB=$lib bindings/kotlin/build.sh
version=$(scripts/platforms.py version)
pom_property() { sed -n "s|.*<$1>\(.*\)</$1>.*|\1|p" bindings/kotlin/pom.xml; }
newest_kotlin=$(sed -n 's|.*<kotlin.version>\(.*\)</kotlin.version>.*|\1|p' bindings/kotlin/examples/consumer/pom.xml)
[ "$newest_kotlin" = "$(pom_property kotlin.version)" ] \
  || { echo "kotlin: the consumer project names Kotlin $newest_kotlin, the binding $(pom_property kotlin.version)" >&2; exit 1; }

# What the jar was compiled for, and the kotlin-stdlib its POM brings.
m2=${QUORENT_CACHE:-$HOME/.cache/quorent}/m2
rm -rf build/kotlin/stdlib
mvn -B -ntp -q -Dmaven.repo.local="$m2" org.apache.maven.plugins:maven-dependency-plugin:3.8.1:copy \
  -Dartifact="org.jetbrains.kotlin:kotlin-stdlib:$oldest_kotlin" -DoutputDirectory=build/kotlin/stdlib \
  > build/kotlin/stdlib.log 2>&1 || { cat build/kotlin/stdlib.log >&2; echo "kotlin: no kotlin-stdlib $oldest_kotlin" >&2; exit 1; }
python3 bindings/kotlin/check_classes.py "dist/quorent-sdk-$version.jar" --major 52 \
  --metadata "$(pom_property kotlin.compiler.languageVersion).0" \
  --stdlib "build/kotlin/stdlib/kotlin-stdlib-$oldest_kotlin.jar" --java quorent.sdk | sed 's/^/kotlin: jar: /'
stdlib=$(pom_property kotlin.stdlib.version)
python3 - "dist/quorent-sdk-$version.pom" "$stdlib" <<'PY'
import sys
import xml.etree.ElementTree as ET
ns = {"m": "http://maven.apache.org/POM/4.0.0"}
deps = {d.findtext("m:artifactId", namespaces=ns): d.findtext("m:version", namespaces=ns)
        for d in ET.parse(sys.argv[1]).getroot().iterfind("m:dependencies/m:dependency", ns)}
if deps.get("kotlin-stdlib") != sys.argv[2]:
    sys.exit(f"kotlin: the POM depends on kotlin-stdlib {deps.get('kotlin-stdlib')}, not {sys.argv[2]}")
PY
echo "kotlin: the POM brings kotlin-stdlib $stdlib"

# The consumers, which must build without compiler warnings.
consumer() {  # name, run.sh's arguments...
  local out=build/kotlin/consumer-$1.txt name=$1
  shift
  bindings/kotlin/examples/consumer/run.sh "$@" > "$out"
  if grep -E '^\[WARNING\]|^w: ' "$out"; then echo "kotlin: the $name consumer has compiler warnings" >&2; exit 1; fi
}
signed_in() {
  grep -q "^user-sig deed for 1489790744e14f2e2e2db3734152c0b80e3409fc088873457a5c5a5c618c659f, signed by AppKey(secretKeyHex=<redacted>, " "$1" \
    || { cat "$1"; echo "kotlin: sign-in from the installed artifact failed ($1)" >&2; exit 1; }
}
consumer kotlin-$newest_kotlin
signed_in "build/kotlin/consumer-kotlin-$newest_kotlin.txt"
consumer kotlin-$oldest_kotlin --kotlin "$oldest_kotlin"
signed_in "build/kotlin/consumer-kotlin-$oldest_kotlin.txt"
cmp -s "build/kotlin/consumer-kotlin-$newest_kotlin.txt" "build/kotlin/consumer-kotlin-$oldest_kotlin.txt" \
  || { diff "build/kotlin/consumer-kotlin-$newest_kotlin.txt" "build/kotlin/consumer-kotlin-$oldest_kotlin.txt"; echo "kotlin: the consumers differ" >&2; exit 1; }
grep "^user-sig deed" "build/kotlin/consumer-kotlin-$newest_kotlin.txt"
echo "kotlin: Maven projects using dev.quorent:quorent-sdk by its coordinates signed in with Kotlin $newest_kotlin and $oldest_kotlin"

# Java: the same sign-in, printing what the Kotlin consumers print.
consumer java --java
java_out=build/kotlin/consumer-java.txt
signed_in "$java_out"
cmp -s "build/kotlin/consumer-kotlin-$newest_kotlin.txt" "$java_out" \
  || { diff "build/kotlin/consumer-kotlin-$newest_kotlin.txt" "$java_out"; echo "kotlin: the Java consumer printed something else" >&2; exit 1; }
echo "kotlin: a Java 8 project using dev.quorent:quorent-sdk by its coordinates signed in ($(javac -version 2>&1))"
