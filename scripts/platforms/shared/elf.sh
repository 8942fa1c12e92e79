# What the Linux systems' files share (linux-gnu.sh, linux-musl.sh).

# The library a package carries: a copy in $2 of the built one, of the row's
# machine, stripped of what no loader reads, with the SONAME every program
# links against -> lib; the C archive's arguments -> archive_args.
elf_package() { # built library, folder
  local soname
  lib=$2/$library
  cp -L "$1" "$lib"
  readelf -h "$lib" | grep "Machine: *$machine\$" >/dev/null \
    || { echo "package: $1 is not a $processor library" >&2; exit 1; }
  if command -v "${tool_prefix}strip" >/dev/null; then "${tool_prefix}strip" --strip-unneeded "$lib"; fi
  soname=$(readelf -d "$lib" | sed -n 's/.*(SONAME).*\[\(.*\)\]$/\1/p')
  [ "$soname" = libquorent_sdk_uniffi.so.0 ] || { echo "package: unexpected SONAME '$soname'" >&2; exit 1; }
  archive_args=(-DSONAME="$soname")
}
