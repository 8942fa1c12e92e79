#!/usr/bin/env bash
# Fetches the pinned Unicode inputs of core/src/unicode_tables.cpp into a cache
# outside the work tree, verifies their SHA-256 (a file that does not verify is
# deleted and refused), and runs the generator.
#   unicode-data.sh           regenerate core/src/unicode_tables.cpp
#   unicode-data.sh --check   fail if the committed tables differ from the data
# QUORENT_UNICODE_CACHE overrides the cache folder.
set -euo pipefail
cd "$(dirname "$0")/.."
cache="${QUORENT_UNICODE_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/quorent/unicode}"
mkdir -p "$cache"

ucd_deb=unicode-data_17.0.0-2_all.deb
ucd_url=http://deb.debian.org/debian/pool/main/u/unicode-data/$ucd_deb
ucd_sha=6286fdf4e6d4bf1f46a2865f54df44feda9395ab66f50b12cc384d921a9af865
idna_tgz=idna-3.19.tar.gz
idna_url=https://files.pythonhosted.org/packages/5f/f7/abb373e5757eaec4b922b92f97ec8d6d7e057cf06778247604fbc4e7c3f3/$idna_tgz
idna_sha=5e0811a4383b21dc5838069f801c4fb62113b7447663d2530d2bd6e77b49bf15

fetch() {  # file url sha256
  local file="$cache/$1"
  if [ ! -f "$file" ]; then
    curl -fsSL --retry 3 -o "$file.part" "$2"
    mv "$file.part" "$file"
  fi
  if ! echo "$3  $file" | sha256sum -c --quiet - >/dev/null 2>&1; then
    rm -f "$file"
    echo "unicode-data: $1 does not match its pinned SHA-256; refused" >&2
    exit 1
  fi
}
fetch "$ucd_deb" "$ucd_url" "$ucd_sha"
fetch "$idna_tgz" "$idna_url" "$idna_sha"

# Unpack into fresh folders from the verified archives.
ucd="$cache/ucd-17.0.0"
idna="$cache/idna-3.19"
rm -rf "$ucd" "$idna"
mkdir -p "$ucd" "$idna"
dpkg-deb -x "$cache/$ucd_deb" "$ucd"
tar -xzf "$cache/$idna_tgz" -C "$idna" --strip-components=1 idna-3.19/idna/uts46data.py

python3 core/unicode/generate.py --ucd "$ucd/usr/share/unicode" --uts46 "$idna/idna/uts46data.py" "$@"
