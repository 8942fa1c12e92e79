# Linux with musl (rows of system linux-musl in scripts/platforms.json): Zig
# (pinned, scripts/zig.sh) for the row's zig_target, with its own musl headers
# and libc++; libc++, libc++abi and the unwinder go in statically, so the library
# needs musl's libc alone. The programs run under Debian's musl loader (x86-64)
# or qemu.
# Sourced by scripts/portable.sh, scripts/check-portable.sh and scripts/package.sh.

# shellcheck source=shared/zig.sh
. scripts/platforms/shared/zig.sh
platform_prepare() { zig_prepare "$zig_target"; }
platform_flags() { zig_flags "${tool_prefix}strip"; }
# shellcheck source=shared/elf.sh
. scripts/platforms/shared/elf.sh
platform_package() { # built library, folder
  elf_package "$@"
  archive_args+=(-DLIBC="musl $libc_floor")
}

platform_cmake_args() {
  cmake_common+=(-DQUORENT_ZIG_BIN="$zig_bin")
  [ "$tests" != qemu ] || { musl_root; cmake_common+=(-DQUORENT_MUSL_ROOT="$musl_root"); }
}

# Alpine, the musl system most use, names musl's libc libc.musl-<arch>.so.1
# (its SONAME there), and that is the name a wheel for musl may need
# (auditwheel's musllinux policy); Zig's link names it libc.so. musl's loader
# takes any libc.* name for itself, so either loads; the stripped file is
# given Alpine's name.
platform_after_strip() { # file
  patchelf --replace-needed libc.so "libc.musl-$processor.so.1" "$1" \
    || { echo "portable ($target): patchelf could not rename libc.so in $1" >&2; exit 1; }
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

# Checks a library: it needs musl's libc alone (musl keeps libm, libpthread
# and libdl in it), under Alpine's name for it, names no glibc symbol version, and leaves nothing of the
# C++ runtime to be found at run time (every undefined symbol is a C one).
platform_check() { # lib
  local lib=$1 needed unexpected cxx
  needed=$(readelf -d "$lib" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | sort)
  echo "NEEDED: $(echo $needed)"
  unexpected=$(echo "$needed" | grep -vxF "libc.musl-$processor.so.1" || true)
  if [ -n "$unexpected" ]; then echo "unexpected NEEDED: $unexpected" >&2; status=1; fi
  echo "$needed" | grep -xF "libc.musl-$processor.so.1" >/dev/null || { echo "libc.musl-$processor.so.1 is not NEEDED" >&2; status=1; }
  if readelf -V --wide "$lib" | grep 'GLIBC_' >/dev/null; then
    echo "glibc symbol versions in a musl library" >&2; status=1
  fi
  cxx=$(readelf --dyn-syms -W "$lib" | awk '$7 == "UND" && $8 ~ /^_Z/ {print $8}')
  if [ -n "$cxx" ]; then echo "C++ runtime symbols left to the loader: $(echo $cxx | head -c 300)" >&2; status=1; fi
}
