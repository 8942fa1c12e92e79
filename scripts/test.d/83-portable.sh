#!/usr/bin/env bash
# The self-contained library for each Linux platform whose row in
# scripts/platforms.json names this stage (scripts/portable.sh): the checks of
# scripts/check-portable.sh (NEEDED only the C library's own, no glibc symbol
# newer than the row's floor, exactly the interface's symbols, at most its size
# stripped); then the C++ tests and the C example against it, run as the row
# says (natively, under qemu, under musl's loader). Dependencies are cached in
# ${QUORENT_CACHE:-~/.cache/quorent}/portable, so only a cold run builds them.
set -euo pipefail
cd "$(dirname "$0")/../.."
scripts/portable.sh --stage 83-portable
# Newer versions of each dependency that Debian lists, and whether it serves
# their files (scripts/deps.py check): printed, never a failure.
echo "-- newer dependency versions"
scripts/deps.py check || echo "(scripts/deps.py check did not run through)"
