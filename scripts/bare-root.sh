#!/usr/bin/env bash
# Prints the path of a bare Debian 11 (bullseye) amd64 root: debootstrap's
# minbase variant with nothing added but python3. It is made once and kept
# outside the work tree, in ${QUORENT_CACHE:-$HOME/.cache/quorent}/roots/;
# a stamp written last marks it complete, and a root without its stamp (an
# interrupted run) is made anew. Needs root (debootstrap, chroot).
set -euo pipefail
cd "$(dirname "$0")/.."
suite=bullseye arch=amd64
mirror=${QUORENT_DEBIAN_MIRROR:-http://deb.debian.org/debian}
dir=${QUORENT_CACHE:-$HOME/.cache/quorent}/roots/$suite-python3-$arch
stamp="$dir/.quorent-root"
want="debootstrap --variant=minbase --include=python3 --arch=$arch $suite"

mkdir -p "$(dirname "$dir")"
exec 9>"$dir.lock"
flock 9  # one maker at a time; a second waits and then finds the root made
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$want" ]; then
  echo "$dir"
  exit 0
fi
QUORENT_EXTRA_PKGS=debootstrap scripts/install-deps.sh demo >&2
tmp=$dir.tmp
rm -rf "$tmp" "$dir"
log=$(dirname "$dir")/$(basename "$dir").log
echo "bare root: making $dir ($want; log in $log)" >&2
if ! debootstrap --variant=minbase --include=python3 --arch="$arch" "$suite" "$tmp" "$mirror" >"$log" 2>&1; then
  tail -n 20 "$log" >&2
  echo "bare root: debootstrap failed" >&2
  exit 1
fi
rm -rf "$tmp"/var/cache/apt/archives/*.deb
echo "$want" > "$tmp/.quorent-root"
mv "$tmp" "$dir"
echo "$dir"
