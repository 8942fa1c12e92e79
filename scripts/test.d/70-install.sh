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
ldd "$tmp/signin-pc" | grep "$prefix/.*libquorent_sdk_uniffi.so.0" >/dev/null \
  || { echo "signin (pkg-config) does not use the installed library" >&2; exit 1; }
"$tmp/signin-pc" | grep "mode: user-sig" >/dev/null

cmake -S "$root/examples" -B "$tmp/example" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$tmp/example" >/dev/null
ldd "$tmp/example/signin" | grep "$prefix/.*libquorent_sdk_uniffi.so.0" >/dev/null \
  || { echo "signin (find_package) does not use the installed library" >&2; exit 1; }
"$tmp/example/signin" | grep "mode: user-sig" >/dev/null
echo "installed package: pkg-config and find_package builds of examples/signin.c pass"

# One version everywhere: the header's macro, pkg-config, the tool.
version=$(sed -n 's/^#define QUORENT_SDK_VERSION_STRING "\(.*\)"/\1/p' "$prefix/include/quorent_sdk_version.h")
[ -n "$version" ] && [ "$(pkg-config --modversion quorent_sdk_uniffi)" = "$version" ] \
  || { echo "pkg-config version differs from the header's ($version)" >&2; exit 1; }
"$prefix/bin/quorent" --version | grep -x "quorent $version (libquorent_sdk_uniffi $version, contract version 30)" >/dev/null \
  || { echo "installed quorent --version is not $version" >&2; exit 1; }
# The installed tool runs against the installed library; its man page and
# bash completion are in place and work.
"$prefix/bin/quorent" normalize-origin --origin https://Example.COM:443/ | grep -x "https://example.com" >/dev/null
man_page=$(find "$prefix" -name quorent.1)
grep -q '^\.TH QUORENT 1' "$man_page" || { echo "no man page header in $man_page" >&2; exit 1; }
if command -v groff >/dev/null; then groff -man -Tutf8 -ww -z "$man_page"; fi
completion=$(find "$prefix" -path '*bash-completion/completions/quorent')
bash -c 'source "$1"; COMP_WORDS=(quorent normalize-); COMP_CWORD=1; _quorent; printf "%s\n" "${COMPREPLY[@]}"' _ \
  "$completion" | grep -x normalize-origin >/dev/null || { echo "bash completion does not complete a command" >&2; exit 1; }
echo "installed tool: quorent $version, its man page and bash completion"
