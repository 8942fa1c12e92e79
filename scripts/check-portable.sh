#!/usr/bin/env bash
# Checks a library built by scripts/portable.sh:
#   check-portable.sh linux-x86_64|linux-aarch64 <libquorent_sdk_uniffi.so>
#   check-portable.sh windows-x86_64 <quorent_sdk_uniffi.dll> [<program.exe> ...]
# it needs only glibc (libc, libm, the loader, and libpthread/libdl, which
# glibc 2.31 still keeps apart), references no glibc symbol newer than 2.31,
# exports exactly the interface and weighs at most 4 MB stripped. The DLL
# imports from Windows' own DLLs only, exports exactly the interface and
# weighs at most 5 MB stripped; each program given after it imports from
# those and the library's DLL only.
set -euo pipefail
cd "$(dirname "$0")/.."
target=$1
lib=$2
shift 2
max_glibc=2.31
max_bytes=4000000  # 4 MB
case "$target" in
  linux-x86_64) loader=ld-linux-x86-64.so.2 prefix="" ;;
  linux-aarch64) loader=ld-linux-aarch64.so.1 prefix=aarch64-linux-gnu- ;;
  windows-x86_64) ;;
  *) echo "usage: $0 linux-x86_64|linux-aarch64|windows-x86_64 LIB" >&2; exit 2 ;;
esac
status=0

if [ "$target" = windows-x86_64 ]; then
  max_bytes=5000000  # 5 MB
  objdump=x86_64-w64-mingw32-objdump
  # Windows' own DLLs: the kernel, the C runtime, and the system libraries
  # libcrypto and the library call (the tool also takes its command line
  # from shell32). Anything else (libstdc++, winpthreads, libgcc, a
  # dependency's DLL) would have to be shipped beside it.
  own='kernel32|msvcrt|ucrtbase|api-ms-win-crt-[a-z0-9-]+|bcrypt|advapi32|user32|ws2_32|crypt32'
  check_imports() { # file, extra DLL names allowed (a regex)
    local dlls unexpected
    dlls=$($objdump -p "$1" | sed -n 's/^[[:space:]]*DLL Name: //p' | sort -f)
    echo "$(basename "$1") imports from: $(echo $dlls)"
    unexpected=$(echo "$dlls" | grep -viE "^($own$2)\.dll\$" || true)
    if [ -n "$unexpected" ]; then echo "$(basename "$1") imports from DLLs that are not Windows' own: $unexpected" >&2; status=1; fi
  }
  check_imports "$lib" ""
  for program in "$@"; do check_imports "$program" "|shell32|quorent_sdk_uniffi"; done
  tests/exports_test.sh "$lib" ffi/include/quorent_sdk_uniffi.h || status=1
  stripped=$(mktemp)
  trap 'rm -f "$stripped"' EXIT
  x86_64-w64-mingw32-strip --strip-all -o "$stripped" "$lib"
  bytes=$(stat -c %s "$stripped")
  echo "stripped size: $bytes bytes ($(awk -v b="$bytes" 'BEGIN{printf "%.2f", b/1048576}') MiB; limit 5 MB, 5,000,000 bytes)"
  if [ "$bytes" -gt "$max_bytes" ]; then echo "larger than 5 MB" >&2; status=1; fi
  exit $status
fi

needed=$(readelf -d "$lib" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | sort)
unexpected=$(echo "$needed" | grep -vxE "libc\.so\.6|libm\.so\.6|libpthread\.so\.0|libdl\.so\.2|${loader//./\\.}" || true)
echo "NEEDED: $(echo $needed)"
if [ -n "$unexpected" ]; then echo "unexpected NEEDED: $unexpected" >&2; status=1; fi
for must in libc.so.6; do
  echo "$needed" | grep -qx "$must" || { echo "libc.so.6 is not NEEDED" >&2; status=1; }
done

glibc=$(readelf --dyn-syms -W "$lib" | grep -o 'GLIBC_[0-9.]*' | sed 's/GLIBC_//' | sort -uV | tail -n1)
echo "highest glibc symbol version: GLIBC_$glibc (ceiling $max_glibc)"
if [ "$(printf '%s\n%s\n' "$glibc" "$max_glibc" | sort -V | tail -n1)" != "$max_glibc" ]; then
  echo "symbols newer than glibc $max_glibc:" >&2
  readelf --dyn-syms -W "$lib" | awk -v m="$max_glibc" '/GLIBC_/ {print $8}' | grep -v "@GLIBC_2\.\([0-9]\|[12][0-9]\|3[01]\)\b" >&2 || true
  status=1
fi

tests/exports_test.sh "$lib" ffi/include/quorent_sdk_uniffi.h || status=1

stripped=$(mktemp)
trap 'rm -f "$stripped"' EXIT
${prefix}strip --strip-all -o "$stripped" "$lib"
bytes=$(stat -c %s "$stripped")
echo "stripped size: $bytes bytes ($(awk -v b="$bytes" 'BEGIN{printf "%.2f", b/1048576}') MiB; limit 4 MB, 4,000,000 bytes)"
if [ "$bytes" -gt "$max_bytes" ]; then echo "larger than 4 MB" >&2; status=1; fi
exit $status
