#!/usr/bin/env bash
# The Windows x64 build, cross-built with MinGW-w64 (scripts/portable.sh
# windows-x86_64): the DLL imports from Windows' own DLLs only, exports
# exactly the interface and weighs at most 5 MB stripped, quorent.exe imports
# from those and the DLL only (scripts/check-portable.sh); then the C++
# tests, the C example and the tool's tests under Wine. QUORENT_WINDOWS=0
# leaves it out (its first run cross-compiles OpenSSL and the rest, which
# takes a while; the builds are cached after that).
set -euo pipefail
cd "$(dirname "$0")/../.."
if [ "${QUORENT_WINDOWS:-1}" = 0 ]; then
  echo "skipped: QUORENT_WINDOWS=0"
  exit 0
fi
scripts/portable.sh --stage 84-windows
