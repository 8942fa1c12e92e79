#!/usr/bin/env bash
# Installs dist/quorent-sdk-<version>.jar and .pom into a new local Maven repository,
# then builds a project in a temporary directory against it (by the coordinates
# dev.quorent:quorent-sdk:<version>, with no QUORENT_SDK_LIB), runs it and prints what
# it printed:
#   run.sh                   this project (pom.xml, SignIn.kt) with the Kotlin its POM names
#   run.sh --kotlin VERSION  the same project built by Kotlin VERSION (compiler and
#                            kotlin-maven-plugin; the standard library is the one the
#                            binding's POM brings)
#   run.sh --java            the Java project ../consumer-java (pom.xml, SignIn.java),
#                            compiled for Java 8 by the installed JDK
# The artifact must come from that repository, not from the cache
# (${QUORENT_CACHE:-~/.cache/quorent}/m2), where an older build may lie.
set -euo pipefail
root=$(cd "$(dirname "$0")/../../../.." && pwd)
here=$root/bindings/kotlin/examples/consumer
files=("$here/pom.xml" "$here/SignIn.kt")
props=()
case "${1:-}" in
  "") ;;
  --kotlin) [ -n "${2:-}" ] || { echo "usage: $0 [--kotlin VERSION | --java]" >&2; exit 2; }
            props+=(-Dkotlin.version="$2") ;;
  --java) files=("$root/bindings/kotlin/examples/consumer-java/pom.xml" "$root/bindings/kotlin/examples/consumer-java/SignIn.java") ;;
  *) echo "usage: $0 [--kotlin VERSION | --java]" >&2; exit 2 ;;
esac
version=$("$root/scripts/platforms.py" version)
m2=${QUORENT_CACHE:-$HOME/.cache/quorent}/m2
mvn=(mvn -B -ntp -Dstyle.color=never -Dmaven.repo.local="$m2")
# One such build at a time per cache: each removes the cache's copy of the artifact.
mkdir -p "$m2"
exec 9>>"$m2/.quorent-sdk-consumer.lock"
flock 9
tmp=$(mktemp -d)
cached=$m2/dev/quorent/quorent-sdk/$version
trap 'rm -rf "$tmp" "$cached"' EXIT
rm -rf "$cached"

"${mvn[@]}" -q org.apache.maven.plugins:maven-install-plugin:3.2.0:install-file \
  -Dfile="$root/dist/quorent-sdk-$version.jar" -DpomFile="$root/dist/quorent-sdk-$version.pom" \
  -DlocalRepositoryPath="$tmp/repo" > "$tmp/install.log" 2>&1 \
  || { cat "$tmp/install.log" >&2; echo "consumer: installing the jar and POM failed" >&2; exit 1; }
# Checksums, as a repository serves them.
for f in "$tmp/repo/dev/quorent/quorent-sdk/$version"/*.{jar,pom}; do sha1sum "$f" | cut -d' ' -f1 > "$f.sha1"; done

mkdir "$tmp/project"
cp "${files[@]}" "$tmp/project/"
cd "$tmp/project"
unset QUORENT_SDK_LIB
"${mvn[@]}" -Dquorent.repo="file://$tmp/repo" -Dquorent-sdk.version="$version" "${props[@]}" \
  compile exec:exec > build.log 2>&1 \
  || { cat build.log >&2; echo "consumer: the build failed" >&2; exit 1; }
grep -qx "quorent-sdk-$version.jar>quorent=" "$cached/_remote.repositories" \
  || { echo "consumer: the artifact was not taken from the new repository" >&2; exit 1; }
# The compiler's warnings (none expected), then the program's output.
grep -E '^\[WARNING\] .*(\.kt|\.java)|^w: ' build.log || true
sed -n '/exec-maven-plugin.*(default-cli)/,/^\[INFO\] ---/p' build.log | grep -v '^\[INFO\]'
