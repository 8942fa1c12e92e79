# Windows (rows of system windows in scripts/platforms.json): Debian's MinGW-w64
# (posix threads), every dependency and the C++ runtime static, one DLL that
# needs Windows' own DLLs only; the programs run under Wine, in a prefix kept in
# the cache. Sourced by scripts/portable.sh, scripts/check-portable.sh and
# scripts/package.sh.

# No root: MinGW-w64 brings its own Windows headers and import libraries.
platform_prepare() { :; }

# No sysroot, no position-independent code or ELF visibility: a DLL exports
# what is marked dllexport (QUORENT_API) and nothing else.
platform_flags() {
  base_flags="-O2 -ffunction-sections -fdata-sections $map_flags"
  cxx_std_flags=""
  ar=${tool_prefix}ar ranlib=${tool_prefix}ranlib strip=${tool_prefix}strip
}

# The tests run under Wine, in a prefix of their own made once.
platform_cmake_args() {
  wineprefix="$work/wine"
  cmake_common+=(-DQUORENT_WINEPREFIX="$wineprefix")
}

platform_before_library() {
  if [ ! -f "$wineprefix/system.reg" ]; then
    # The toolchain's emulator runs the programs (test discovery at build time,
    # ctest) with WINEPREFIX set to it.
    run_logged "Wine prefix" "$logs/wineprefix.log" \
      env WINEPREFIX="$wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" /usr/lib/wine/wine64 wineboot --init
    env WINEPREFIX="$wineprefix" /usr/lib/wine/wineserver64 -w 2>/dev/null || true
  fi
}

# The DLL and its import library.
platform_library() {
  lib="$out/$library"
  built="$bdir/bin/$library"
  cp -p "$bdir/libquorent_sdk_uniffi.dll.a" "$out/"
}
platform_programs() { programs=("$bdir/bin/quorent.exe"); }

# Under Wine the tests run one at a time: two programs starting at the same
# moment in one prefix now and then fail to start (exit 1, no output; about
# one run in four with two at a time, none in a row of runs one at a time).
# A test that fails there once runs a second time; a real fault fails both
# times, and every failed run's output stays in the log.
platform_test_opts() { test_opts=(-j1 --repeat until-pass:2); }

# The DLL imports from Windows' own DLLs only; each program given after it
# imports from those and the library's DLL only. Sets status=1 on a failure.
platform_check() { # dll, programs...
  local lib=$1 program
  shift
  objdump=${tool_prefix}objdump
  # Windows' own DLLs: the kernel, the C runtime, and the system libraries
  # libcrypto and the library call (the tool also takes its command line
  # from shell32). Anything else (libstdc++, winpthreads, libgcc, a
  # dependency's DLL) would have to be shipped beside it.
  own='kernel32|msvcrt|ucrtbase|api-ms-win-crt-[a-z0-9-]+|bcrypt|advapi32|user32|ws2_32|crypt32'
  check_imports "$lib" ""
  for program in "$@"; do check_imports "$program" "|shell32|quorent_sdk_uniffi"; done
}
check_imports() { # file, extra DLL names allowed (a regex)
  local dlls unexpected
  dlls=$($objdump -p "$1" | sed -n 's/^[[:space:]]*DLL Name: //p' | sort -f)
  echo "$(basename "$1") imports from: $(echo $dlls)"
  unexpected=$(echo "$dlls" | grep -viE "^($own$2)\.dll\$" || true)
  if [ -n "$unexpected" ]; then echo "$(basename "$1") imports from DLLs that are not Windows' own: $unexpected" >&2; status=1; fi
}

# The library a package carries: the DLL as scripts/portable.sh stripped it,
# the same bytes in every package -> lib; the C archive's arguments (its import
# library, and the export list MSVC's lib.exe makes one of) -> archive_args.
platform_package() { # built DLL, folder
  local implib def
  lib=$1 implib=$(dirname "$1")/libquorent_sdk_uniffi.dll.a def=$2/quorent_sdk_uniffi.def
  ${tool_prefix}objdump -f "$lib" 2>/dev/null | grep 'file format pei-x86-64' >/dev/null \
    || { echo "package: $lib is not an x86-64 DLL" >&2; exit 1; }
  # The export list, read from the DLL's export table; the interface blobs are data
  # (in the import library they have no call thunk, only __imp_ and __nm_ symbols).
  { echo "LIBRARY $library"; echo "EXPORTS"
    awk 'NR == FNR { data[$0] = 1; next } { print "    " $0 (($0 in data) ? " DATA" : "") }' \
      <(${tool_prefix}nm "$implib" | sed -n 's/^.* I __nm_\(.*\)$/\1/p') \
      <(${tool_prefix}objdump -p "$lib" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/s/^\s*\[ *[0-9]*\] \(.*\)$/\1/p')
  } > "$def"
  [ "$(grep -c '^    ' "$def")" -gt 0 ] || { echo "package: no exports read from $lib" >&2; exit 1; }
  archive_args=(-DIMPLIB="$implib" -DDEF="$def")
}
