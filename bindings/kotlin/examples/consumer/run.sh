#!/usr/bin/env bash
# Installs dist/quorent-sdk-<version>.jar and .pom into a new local Maven repository,
# then builds this project in a temporary directory against it (by the coordinates
# dev.quorent:quorent-sdk:<version>, with no QUORENT_SDK_LIB) and runs SignIn.kt;
# prints what it printed. The artifact must come from that repository, not from the
# cache (${QUORENT_CACHE:-~/.cache/quorent}/m2), where an older build may lie.
set -euo pipefail
root=$(cd "$(dirname "$0")/../../../.." && pwd)
here=$root/bindings/kotlin/examples/consumer
version=$(sed -n 's/^project(quorent_sdk VERSION \([0-9][0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
m2=${QUORENT_CACHE:-$HOME/.cache/quorent}/m2
mvn=(mvn -B -ntp -Dstyle.color=never -Dmaven.repo.local="$m2")
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
cp "$here/pom.xml" "$here/SignIn.kt" "$tmp/project/"
cd "$tmp/project"
unset QUORENT_SDK_LIB
"${mvn[@]}" -Dquorent.repo="file://$tmp/repo" -Dquorent-sdk.version="$version" compile exec:exec > build.log 2>&1 \
  || { cat build.log >&2; echo "consumer: the build failed" >&2; exit 1; }
grep -qx "quorent-sdk-$version.jar>quorent=" "$cached/_remote.repositories" \
  || { echo "consumer: the artifact was not taken from the new repository" >&2; exit 1; }
sed -n '/exec-maven-plugin.*(default-cli)/,/^\[INFO\] ---/p' build.log | grep -v '^\[INFO\]'
