#!/usr/bin/env bash
# Checks a library built by scripts/portable.sh:
#   check-portable.sh PLATFORM LIBRARY [PROGRAM ...]
# for every platform of scripts/platforms.json: it exports exactly the
# interface and weighs at most the row's max_bytes stripped; and what its
# system's file (scripts/platforms/<system>.sh, platform_check) demands: for
# glibc Linux, it needs only glibc (libc, libm, the loader, and
# libpthread/libdl, which glibc 2.31 still keeps apart) and references no glibc
# symbol newer than the row's libc_floor; for Windows, the DLL imports from
# Windows' own DLLs only and each program given after it from those and the
# library's DLL only; for macOS, a dylib of the row's architecture for its
# os_floor, named @rpath/<library>, needing libSystem only, its signature valid.
set -euo pipefail
cd "$(dirname "$0")/.."
platforms=scripts/platforms.py
if [ $# -lt 2 ] || ! row=$($platforms shell "$1"); then
  echo "usage: $0 $($platforms names | paste -sd '|') LIB [PROGRAM...]" >&2; exit 2
fi
eval "$row"
lib=$2
shift 2
# shellcheck source=platforms/linux-gnu.sh
. "scripts/platforms/$system.sh"
status=0

platform_check "$lib" "$@"
tests/exports_test.sh "$lib" ffi/include/quorent_sdk_uniffi.h || status=1

stripped=$(mktemp)
trap 'rm -f "$stripped"' EXIT
${strip_cmd:-${tool_prefix}strip} --strip-all -o "$stripped" "$lib"
bytes=$(stat -c %s "$stripped")
mb=$(awk -v b="$max_bytes" 'BEGIN{printf "%g", b/1000000}')
echo "stripped size: $bytes bytes ($(awk -v b="$bytes" 'BEGIN{printf "%.2f", b/1048576}') MiB; limit $mb MB, $(sed ':a;s/\B[0-9]\{3\}\>/,&/;ta' <<<"$max_bytes") bytes)"
if [ "$bytes" -gt "$max_bytes" ]; then echo "larger than $mb MB" >&2; status=1; fi
exit $status
