# Linux with glibc (rows of system linux-gnu in scripts/platforms.json): gcc 12
# against a Debian 11 root (glibc 2.31) made by debootstrap, so that the library
# runs on any glibc >= 2.31 system of its architecture. Sourced by
# scripts/portable.sh (the platform_* build functions, with its variables),
# scripts/check-portable.sh (platform_check) and scripts/package.sh
# (platform_package).
# shellcheck source=shared/elf.sh
. scripts/platforms/shared/elf.sh

# The Debian 11 root: glibc 2.31 headers and libraries -> $root.
platform_prepare() {
  ROOT_SUITE=$($deps root suite)
  ROOT_MIRROR=$($deps root mirror)
  root="$cache/roots/$ROOT_SUITE-$deb_arch"
  local root_key="$ROOT_SUITE $deb_arch minbase libc6-dev libgcc-10-dev linux-libc-dev v1" log foreign deb
  if ! [ -f "$root/.quorent-root" ] || [ "$(cat "$root/.quorent-root")" != "$root_key" ]; then
    log="$cache/roots/$ROOT_SUITE-$deb_arch.log"
    echo "-- Debian 11 root ($deb_arch)"
    rm -rf "$root" "$root.tmp"
    foreign=(); [ "$deb_arch" != amd64 ] && foreign=(--foreign)
    debootstrap --arch="$deb_arch" "${foreign[@]}" --variant=minbase \
      --include=libc6-dev,libgcc-10-dev,linux-libc-dev "$ROOT_SUITE" "$root.tmp" "$ROOT_MIRROR" >"$log" 2>&1 \
      || fail "debootstrap of the $ROOT_SUITE $deb_arch root" "$log"
    if [ "$deb_arch" != amd64 ]; then
      # A foreign root is only unpacked, and only its base: unpack the
      # development packages as well (enough for a sysroot).
      for deb in "$root.tmp"/var/cache/apt/archives/{libc6-dev,libgcc-10-dev,linux-libc-dev,libc6,libgcc-s1}_*.deb; do
        dpkg-deb -x "$deb" "$root.tmp" >>"$log" 2>&1 || fail "unpacking $deb" "$log"
      done
    fi
    echo "$root_key" > "$root.tmp/.quorent-root"
    mv "$root.tmp" "$root"
  fi
  local prep_key="relative links, linker scripts by name, gcc 10 unwinder v1" link dest script
  if ! [ -f "$root/.quorent-prepared" ] || [ "$(cat "$root/.quorent-prepared")" != "$prep_key" ]; then
    # Absolute links and the absolute names in the linker scripts (libc.so,
    # libm.so...) point at the build machine's files once the root serves as a
    # sysroot: links become relative, scripts name their files only, found in
    # the root's directories that the toolchains put first on the search path.
    while IFS= read -r link; do
      dest=$(readlink "$link")
      ln -sfn "$(realpath -m --relative-to="$(dirname "$link")" "$root$dest")" "$link"
    done < <(find "$root" -type l -lname '/*')
    for script in "$root/usr/lib/$triple"/*.so; do
      [ -f "$script" ] && [ ! -L "$script" ] || continue
      if head -c 512 "$script" | grep -q 'GROUP\|INPUT'; then
        sed -i -E '/GROUP|INPUT/ s#/([^ ()]*/)?([^/ ()]+)#\2#g' "$script"
      fi
    done
    # gcc 10's unwinder (libgcc_eh.a) finds frames with dl_iterate_phdr; gcc 12's
    # calls _dl_find_object (glibc 2.35). It alone sits in this directory, put
    # ahead of gcc's own on the link line.
    mkdir -p "$root/opt/quorent-libgcc-eh"
    cp "$root/usr/lib/gcc/$triple/10/libgcc_eh.a" "$root/opt/quorent-libgcc-eh/"
    echo "$prep_key" > "$root/.quorent-prepared"
  fi
}

# Compiler flags for the dependencies -> base_flags, cxx_std_flags; tools -> ar, ranlib, strip.
platform_flags() {
  local cxx_inc
  if [ "$deb_arch" = amd64 ]; then
    cxx_inc=(/usr/include/c++/12 "/usr/include/$triple/c++/12" /usr/include/c++/12/backward)
  else
    cxx_inc=("/usr/$triple/include/c++/12" "/usr/$triple/include/c++/12/$triple" "/usr/$triple/include/c++/12/backward")
  fi
  base_flags="--sysroot=$root -O2 -fPIC -fvisibility=hidden -ffunction-sections -fdata-sections $map_flags"
  cxx_std_flags="-nostdinc++$(printf ' -isystem %s' "${cxx_inc[@]}")"
  ar=${tool_prefix}ar ranlib=${tool_prefix}ranlib strip=${tool_prefix}strip
}

# The toolchain file's arguments besides the common ones.
platform_cmake_args() { cmake_common+=(-DQUORENT_SYSROOT="$root"); }

platform_package() { # built library, folder
  elf_package "$@"
  archive_args+=(-DLIBC="glibc $libc_floor")
}

# The built library -> built (in the build tree), lib (its stripped copy's place).

# Checks a library: it needs only glibc (libc, libm, the loader, and
# libpthread/libdl, which glibc 2.31 still keeps apart) and references no glibc
# symbol newer than the row's floor. Sets status=1 on a failure.
platform_check() { # lib
  local lib=$1 needed unexpected glibc
  needed=$(readelf -d "$lib" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | sort)
  unexpected=$(echo "$needed" | grep -vxE "libc\.so\.6|libm\.so\.6|libpthread\.so\.0|libdl\.so\.2|${loader//./\\.}" || true)
  echo "NEEDED: $(echo $needed)"
  if [ -n "$unexpected" ]; then echo "unexpected NEEDED: $unexpected" >&2; status=1; fi
  echo "$needed" | grep -qx libc.so.6 || { echo "libc.so.6 is not NEEDED" >&2; status=1; }

  glibc=$(readelf --dyn-syms -W "$lib" | grep -o 'GLIBC_[0-9.]*' | sed 's/GLIBC_//' | sort -uV | tail -n1)
  echo "highest glibc symbol version: GLIBC_$glibc (ceiling $libc_floor)"
  if [ "$(printf '%s\n%s\n' "$glibc" "$libc_floor" | sort -V | tail -n1)" != "$libc_floor" ]; then
    echo "symbols newer than glibc $libc_floor:" >&2
    readelf --dyn-syms -W "$lib" | awk '/GLIBC_/ {print $8}' | grep -v "@GLIBC_2\.\([0-9]\|[12][0-9]\|3[01]\)\b" >&2 || true
    status=1
  fi
}
