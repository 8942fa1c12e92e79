#!/usr/bin/env bash
# Prints the path of a bare Debian 11 (bullseye) amd64 root, or of another
# suite's (--suite trixie: Debian 13): debootstrap's minbase variant, its
# index checked against Debian's archive keyring, with nothing added but python3
# and the packages named as arguments (with what they depend on); a name after
# a minus is a package purged afterwards, one that debootstrap took as the first
# choice of an alternative that another package included satisfies:
#   scripts/bare-root.sh                                   python3 alone
#   scripts/bare-root.sh python3-venv openjdk-17-jre-headless openjdk-11-jre-headless -default-jre-headless
#   scripts/bare-root.sh --suite trixie python3-venv openjdk-21-jre-headless openjdk-25-jre-headless
# Each set of packages has its own root, made once and kept outside the work
# tree, in ${QUORENT_CACHE:-$HOME/.cache/quorent}/roots/; a stamp written last
# marks it complete, and a root without its stamp (an interrupted run) is
# made anew. Needs root (debootstrap, chroot).
set -euo pipefail
cd "$(dirname "$0")/.."
suite=bullseye arch=amd64
if [ "${1:-}" = --suite ]; then suite=$2; shift 2; fi
mirror=${QUORENT_DEBIAN_MIRROR:-http://deb.debian.org/debian}
keyring=/usr/share/keyrings/debian-archive-keyring.gpg
include=python3
name=python3
purge=()
for p in "$@"; do
  case "$p" in
    -*) purge+=("${p#-}") ;;
    *) include+=",$p" name+="-$p" ;;
  esac
done
dir=${QUORENT_CACHE:-$HOME/.cache/quorent}/roots/$suite-$name-$arch
stamp="$dir/.quorent-root"
want="debootstrap --variant=minbase --include=$include --arch=$arch $suite${purge:+; dpkg --purge ${purge[*]}}"

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
if ! debootstrap --variant=minbase --keyring="$keyring" --include="$include" --arch="$arch" "$suite" "$tmp" "$mirror" >"$log" 2>&1; then
  tail -n 20 "$log" >&2
  echo "bare root: debootstrap failed" >&2
  exit 1
fi
if [ ${#purge[@]} -gt 0 ] && ! chroot "$tmp" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin \
     dpkg --purge "${purge[@]}" >>"$log" 2>&1; then
  tail -n 20 "$log" >&2
  echo "bare root: dpkg --purge ${purge[*]} failed" >&2
  exit 1
fi
rm -rf "$tmp"/var/cache/apt/archives/*.deb
echo "$want" > "$tmp/.quorent-root"
mv "$tmp" "$dir"
echo "$dir"
