# Zig (pinned, scripts/zig.sh) as the compiler of a row: sourced by the platform
# files of the systems it builds for (linux-musl.sh, macos.sh).

# Zig, its cache (in the build cache: it holds the C library and libc++ objects
# it builds per target) and the wrappers every build calls,
# $work/bin/{cc,c++,ar,ranlib}, for the target $1 -> zig, zig_bin, cc, cxx.
zig_prepare() { # target (with the system's version where it names one)
  local tool
  zig=$(scripts/zig.sh) || { echo "portable ($target): Zig could not be installed" >&2; exit 1; }
  export ZIG_GLOBAL_CACHE_DIR="$cache/zig-cache" ZIG_LOCAL_CACHE_DIR="$cache/zig-cache"
  zig_bin="$work/bin"
  mkdir -p "$zig_bin"
  for tool in cc c++; do write_wrapper "$tool" "exec '$zig' $tool -target $1 \"\$@\""; done
  for tool in ar ranlib; do write_wrapper "$tool" "exec '$zig' $tool \"\$@\""; done
  cc="$zig_bin/cc" cxx="$zig_bin/c++"
  # The dependencies' stamps name flags, not the compiler: another Zig
  # rebuilds them all.
  if [ "$(cat "$stamps/zig-version" 2>/dev/null)" != "$("$zig" version)" ]; then
    find "$stamps" -mindepth 1 -delete
    "$zig" version > "$stamps/zig-version"
  fi
}

# A wrapper script $zig_bin/<name> that runs a command with Zig's cache set;
# rewritten only when it changes, so that builds that depend on it stay current.
write_wrapper() { # name, command
  printf '#!/bin/sh\nexport ZIG_GLOBAL_CACHE_DIR="%s" ZIG_LOCAL_CACHE_DIR="%s"\n%s\n' \
    "$ZIG_GLOBAL_CACHE_DIR" "$ZIG_LOCAL_CACHE_DIR" "$2" > "$zig_bin/$1.tmp"
  chmod +x "$zig_bin/$1.tmp"
  if cmp -s "$zig_bin/$1.tmp" "$zig_bin/$1"; then rm "$zig_bin/$1.tmp"; else mv "$zig_bin/$1.tmp" "$zig_bin/$1"; fi
}

# The dependencies' flags (no sysroot: Zig brings the target's headers) and tools.
zig_flags() { # strip tool
  base_flags="-O2 -fPIC -fvisibility=hidden -ffunction-sections -fdata-sections $map_flags"
  cxx_std_flags=""
  ar="$zig_bin/ar" ranlib="$zig_bin/ranlib" strip=$1
}
