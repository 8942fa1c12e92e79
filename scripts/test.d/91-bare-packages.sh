#!/usr/bin/env bash
# Every package from dist/ on a bare system: a Debian 11 root (glibc 2.31;
# debootstrap's minbase with python3, python3-venv, openjdk-17-jre-headless and
# openjdk-11-jre-headless and nothing else; scripts/bare-root.sh, cached outside
# the tree) where none of this machine's libraries are visible. Each package is
# installed there as a user installs it, without a network, signs in, and passes
# the binding's shared cases (scripts/root-packages.sh says how):
#   - Python: the wheel into a new virtual environment of the root's Python 3.9;
#   - Node: the npm tarball into an empty project, with the official Node 20 for
#     linux-x64 and the npm it ships with;
#   - JVM: the consumer project on the classpath Maven resolves on this machine,
#     run by the root's Java 17 and Java 11.
# These are the oldest runtimes the packages claim (and Java 17, the JDK the
# other stages build with); 92-runtimes runs the newest on Debian 13.
# Prints one line per package and runtime. dist/ is the packages stage's
# (86-packages); a package missing from it is built by scripts/package.sh.
# needs: 86-packages
set -euo pipefail
cd "$(dirname "$0")/../.."
label="bare packages"
. scripts/root-packages.sh
root_begin python3-venv openjdk-17-jre-headless openjdk-11-jre-headless -default-jre-headless
root_python
root_node 20
root_jvm /usr/lib/jvm/java-17-openjdk-amd64/bin/java
root_jvm /usr/lib/jvm/java-11-openjdk-amd64/bin/java
echo "$label: every package installed and signed in on Debian 11 in $((SECONDS - started)) s"
