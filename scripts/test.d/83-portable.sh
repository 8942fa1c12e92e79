#!/usr/bin/env bash
# The self-contained library for each platform (scripts/portable.sh): NEEDED
# only glibc's libraries, no glibc symbol newer than 2.31, exactly the
# interface's symbols, at most 4 MB stripped; then the C++ tests and the C
# example against it, for aarch64 under qemu. Dependencies are cached in
# ${QUORENT_CACHE:-~/.cache/quorent}/portable, so only a cold run builds them.
set -euo pipefail
cd "$(dirname "$0")/../.."
for target in linux-x86_64 linux-aarch64; do
  echo "-- $target"
  start=$(date +%s)
  scripts/portable.sh "$target"
  echo "$target: $(( $(date +%s) - start )) s"
done
# Newer versions of each dependency that Debian lists, and whether it serves
# their files (scripts/deps.py check): printed, never a failure.
echo "-- newer dependency versions"
scripts/deps.py check || echo "(scripts/deps.py check did not run through)"
