# Linux with musl (rows of system linux-musl in scripts/platforms.json): Zig
# (pinned, scripts/zig.sh) for the row's zig_target, with its own musl headers
# and libc++; libc++, libc++abi and the unwinder go in statically, so the library
# needs musl's libc.so alone. The programs run under Debian's musl loader (x86-64)
# or qemu.
# Sourced by scripts/portable.sh and scripts/check-portable.sh.

# Zig, its cache (in the build cache: it holds the libc++ and musl objects it
# builds per target) and the wrappers every build calls: $work/bin/{cc,c++,ar,ranlib}.
platform_prepare() {
  local zig wrap tool
  zig=$(scripts/zig.sh) || { echo "portable ($target): Zig could not be installed" >&2; exit 1; }
  export ZIG_GLOBAL_CACHE_DIR="$cache/zig-cache" ZIG_LOCAL_CACHE_DIR="$cache/zig-cache"
  zig_bin="$work/bin"
  mkdir -p "$zig_bin"
  for tool in cc c++ ar ranlib; do
    case "$tool" in
      cc|c++) wrap="exec '$zig' $tool -target $zig_target \"\$@\"" ;;
      *) wrap="exec '$zig' $tool \"\$@\"" ;;
    esac
    printf '#!/bin/sh\nexport ZIG_GLOBAL_CACHE_DIR="%s" ZIG_LOCAL_CACHE_DIR="%s"\n%s\n' \
      "$ZIG_GLOBAL_CACHE_DIR" "$ZIG_LOCAL_CACHE_DIR" "$wrap" > "$zig_bin/$tool.tmp"
    chmod +x "$zig_bin/$tool.tmp"
    if cmp -s "$zig_bin/$tool.tmp" "$zig_bin/$tool"; then rm "$zig_bin/$tool.tmp"; else mv "$zig_bin/$tool.tmp" "$zig_bin/$tool"; fi
  done
  cc="$zig_bin/cc" cxx="$zig_bin/c++"
  # The dependencies' stamps name flags, not the compiler: another Zig
  # rebuilds them all.
  if [ "$(cat "$stamps/zig-version" 2>/dev/null)" != "$("$zig" version)" ]; then
    find "$stamps" -mindepth 1 -delete
    "$zig" version > "$stamps/zig-version"
  fi
}

platform_flags() {
  base_flags="-O2 -fPIC -fvisibility=hidden -ffunction-sections -fdata-sections $map_flags"
  cxx_std_flags=""
  ar="$zig_bin/ar" ranlib="$zig_bin/ranlib" strip=${tool_prefix}strip
}

platform_cmake_args() {
  cmake_common+=(-DQUORENT_ZIG_BIN="$zig_bin")
  [ "$tests" != qemu ] || { musl_root; cmake_common+=(-DQUORENT_MUSL_ROOT="$musl_root"); }
}

# For qemu: Debian's musl of the row's architecture (its loader and libc.so) in
# a root of its own -> $musl_root; debootstrap checks what it downloads against
# the suite's signed index, and only the base and musl are unpacked.
musl_root() {
  local suite mirror key log
  suite=$($deps root suite) mirror=$($deps root mirror)
  musl_root="$cache/roots/$suite-$deb_arch-musl"
  key="$suite $deb_arch minbase musl v1"
  [ "$(cat "$musl_root/.quorent-root" 2>/dev/null)" != "$key" ] || return 0
  log="$cache/roots/$suite-$deb_arch-musl.log"
  echo "-- musl root ($suite, $deb_arch)"
  rm -rf "$musl_root" "$musl_root.tmp"
  debootstrap --arch="$deb_arch" --foreign --variant=minbase --include=musl "$suite" "$musl_root.tmp" "$mirror" \
    >"$log" 2>&1 || fail "debootstrap of the $suite $deb_arch musl root" "$log"
  dpkg-deb -x "$musl_root.tmp"/var/cache/apt/archives/musl_*.deb "$musl_root.tmp" >>"$log" 2>&1 \
    || fail "unpacking musl" "$log"
  [ -e "$musl_root.tmp/lib/$loader" ] || fail "the musl root has no lib/$loader" "$log"
  echo "$key" > "$musl_root.tmp/.quorent-root"
  mv "$musl_root.tmp" "$musl_root"
}
platform_before_library() { :; }
platform_library() {
  lib="$out/$library"
  built="$bdir/$library"
}
platform_programs() { programs=(); }
platform_test_opts() { test_opts=(-j"$jobs"); }

# Checks a library: it needs musl's libc.so alone (musl keeps libm, libpthread
# and libdl in it), names no glibc symbol version, and leaves nothing of the
# C++ runtime to be found at run time (every undefined symbol is a C one).
platform_check() { # lib
  local lib=$1 needed unexpected cxx
  needed=$(readelf -d "$lib" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | sort)
  echo "NEEDED: $(echo $needed)"
  unexpected=$(echo "$needed" | grep -vx 'libc\.so' || true)
  if [ -n "$unexpected" ]; then echo "unexpected NEEDED: $unexpected" >&2; status=1; fi
  echo "$needed" | grep -qx libc.so || { echo "libc.so is not NEEDED" >&2; status=1; }
  if readelf -V --wide "$lib" | grep 'GLIBC_' >/dev/null; then
    echo "glibc symbol versions in a musl library" >&2; status=1
  fi
  cxx=$(readelf --dyn-syms -W "$lib" | awk '$7 == "UND" && $8 ~ /^_Z/ {print $8}')
  if [ -n "$cxx" ]; then echo "C++ runtime symbols left to the loader: $(echo $cxx | head -c 300)" >&2; status=1; fi
}
