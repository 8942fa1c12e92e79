#!/usr/bin/env bash
# The Windows x64 DLL, cross-built with MinGW-w64 (scripts/portable.sh
# windows-x86_64): imports from Windows' own DLLs only, exactly the
# interface's exports, at most 5 MB stripped; then the C++ tests and the C
# example under Wine. Runs only with QUORENT_WINDOWS=1: the Windows build is
# new and its cold run (OpenSSL and the rest, cross-compiled) is long.
set -euo pipefail
cd "$(dirname "$0")/../.."
if [ "${QUORENT_WINDOWS:-0}" != 1 ]; then
  echo "skipped: the Windows build runs with QUORENT_WINDOWS=1"
  exit 0
fi
start=$(date +%s)
scripts/portable.sh windows-x86_64
echo "windows-x86_64: $(( $(date +%s) - start )) s"
