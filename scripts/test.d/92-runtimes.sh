#!/usr/bin/env bash
# The packages on the newest runtimes they claim, where 91-bare-packages runs the
# oldest (Python 3.9, Node 20, Java 11 and 17 on Debian 11) and the packages
# stage the host's (Python 3.11 and Java 17 on Debian 12): a Debian 13 root
# (glibc 2.41; debootstrap's minbase with python3, python3-venv,
# openjdk-21-jre-headless, openjdk-25-jre-headless and libatomic1, which the
# official Node 26 needs, and nothing else;
# scripts/bare-root.sh, cached outside the tree), in which, as in 91 (scripts/root-packages.sh says how), each
# package is installed as a user installs it, without a network, signs in and
# passes the binding's shared cases:
#   - Python 3.13: the wheel into a new virtual environment;
#   - Node 22, 24 (the newest in long-term support) and 26 (the current line):
#     the official builds for linux-x64 and the npm each ships with (pinned in
#     scripts/npm-pins.txt, cached), the npm tarball installed into an empty
#     project;
#   - Java 21 and 25 (the newest Debian packages): the consumer project on the
#     classpath Maven resolves here.
# Then the arm64 library of the npm package passes the shared cases with the
# official Node 24 for linux-arm64 under qemu-aarch64
# (bindings/node/scripts/test-arm64.sh 24), as the packages stage runs them with
# Node 20. Prints one line per runtime.
# needs: 86-packages
set -euo pipefail
cd "$(dirname "$0")/../.."
label=runtimes
. scripts/root-packages.sh
root_begin --suite trixie python3-venv openjdk-21-jre-headless openjdk-25-jre-headless libatomic1
root_python
root_node 22
root_node 24
root_node 26
root_jvm /usr/lib/jvm/java-21-openjdk-amd64/bin/java
# From Java 24 on, JNA's System.load is a restricted method: the JVM warns unless the
# application enables native access, as the README tells users to.
root_jvm /usr/lib/jvm/java-25-openjdk-amd64/bin/java --enable-native-access=ALL-UNNAMED

arm64=$scratch/arm64
mkdir "$arm64"
tar -xzf "dist/quorent-sdk-$version.tgz" -C "$arm64" package/prebuilds/linux-arm64/libquorent_sdk_uniffi.so
QUORENT_SDK_LIB_LINUX_ARM64=$arm64/package/prebuilds/linux-arm64/libquorent_sdk_uniffi.so \
  bindings/node/scripts/test-arm64.sh 24 >"$arm64/log" 2>&1 || fail "the npm package's arm64 library failed the cases with Node 24 under qemu" "$arm64/log"
echo "$label: node arm64: the npm package's linux-arm64 library, Node $(node_pin arm64 24) under qemu-aarch64: shared cases:" \
  "$(grep -E '^(node arm64: skipped|ℹ (tests|pass|fail) )' "$arm64/log" | sed 's/^ℹ //' | paste -sd, | sed 's/,/, /g')"
echo "$label: every package installed and signed in on Debian 13 in $((SECONDS - started)) s"
