#!/usr/bin/env bash
# Installs the library from build/ into a temporary prefix, then builds the C
# example against the installed copy twice, with pkg-config and with CMake's
# find_package, and runs both.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$(pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
prefix="$tmp/prefix"

cmake --install build --prefix "$prefix" >/dev/null
test -f "$prefix/include/quorent_sdk_uniffi.h"

# A host's own program, compiled against the installed header and library only.
export PKG_CONFIG_PATH="$(dirname "$(find "$prefix" -name quorent_sdk_uniffi.pc)")"
libdir=$(pkg-config --variable=libdir quorent_sdk_uniffi)
cc -std=c11 -Wall -Wextra -Werror -o "$tmp/signin-pc" "$root/examples/signin.c" \
   $(pkg-config --cflags --libs quorent_sdk_uniffi) -Wl,-rpath,"$libdir"
ldd "$tmp/signin-pc" | grep -q "$prefix/.*libquorent_sdk_uniffi.so.0" \
  || { echo "signin (pkg-config) does not use the installed library" >&2; exit 1; }
"$tmp/signin-pc" | grep -q "mode: user-sig"

cmake -S "$root/examples" -B "$tmp/example" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$tmp/example" >/dev/null
ldd "$tmp/example/signin" | grep -q "$prefix/.*libquorent_sdk_uniffi.so.0" \
  || { echo "signin (find_package) does not use the installed library" >&2; exit 1; }
"$tmp/example/signin" | grep -q "mode: user-sig"
echo "installed package: pkg-config and find_package builds of examples/signin.c pass"
