#!/usr/bin/env bash
# Prints the path of the pinned Zig executable, installing it first when it is
# missing or another version or wheel is pinned: the Python package index's
# ziglang wheel of the version that scripts/dependencies.json gives (entry
# zig-runtime), checked by pip against the SHA-256 it pins for this machine's
# processor, in a virtual environment of Debian's
# /usr/bin/python3 of its own: ${QUORENT_CACHE:-$HOME/.cache/quorent}/zig.
set -euo pipefail
cd "$(dirname "$0")/.."
version=$(scripts/deps.py get zig-runtime version)
machine=$(uname -m)
sha256=$(scripts/deps.py get zig-runtime "source.wheels.$machine.sha256" 2>/dev/null) \
  || { echo "zig: scripts/dependencies.json pins no Zig wheel for this machine ($machine)" >&2; exit 1; }
[[ "$version" =~ ^[0-9]+\.[0-9]+\.[0-9]+$ && "$sha256" =~ ^[0-9a-f]{64}$ ]] \
  || { echo "zig: scripts/dependencies.json pins no usable version and hash ('$version', '$sha256')" >&2; exit 1; }
venv="${QUORENT_CACHE:-$HOME/.cache/quorent}/zig"
key="$(/usr/bin/python3 -c 'import sys; print(sys.version.split()[0])') ziglang==$version $sha256"
if [ ! -f "$venv/.quorent-tools" ] || [ "$(cat "$venv/.quorent-tools")" != "$key" ]; then
  QUORENT_EXTRA_PKGS="python3-venv" scripts/install-deps.sh demo >/dev/null
  rm -rf "$venv"
  /usr/bin/python3 -m venv "$venv"
  printf 'ziglang==%s --hash=sha256:%s\n' "$version" "$sha256" > "$venv/requirements.txt"
  "$venv/bin/python" -m pip install --quiet --disable-pip-version-check --no-cache-dir --no-deps \
    --require-hashes --only-binary=:all: -r "$venv/requirements.txt" >&2
  echo "$key" > "$venv/.quorent-tools"
fi
zig=$("$venv/bin/python" -c 'import os, ziglang; print(os.path.join(os.path.dirname(ziglang.__file__), "zig"))')
[ -x "$zig" ] || { echo "zig: no executable at $zig" >&2; exit 1; }
echo "$zig"
