#!/usr/bin/env bash
# Prints the path of a Python that has the pinned tools of scripts/python-tools.txt
# (build, setuptools, auditwheel, pytest...), making its virtual environment
# first when it is missing or was made from another list:
# ${QUORENT_CACHE:-$HOME/.cache/quorent}/venv-pkg, from Debian's /usr/bin/python3.
set -euo pipefail
cd "$(dirname "$0")/.."
reqs=$PWD/scripts/python-tools.txt
venv="${QUORENT_CACHE:-$HOME/.cache/quorent}/venv-pkg"
key="$(/usr/bin/python3 -c 'import sys; print(sys.version.split()[0])') $(sha256sum < "$reqs" | cut -c1-16)"
if [ ! -f "$venv/.quorent-tools" ] || [ "$(cat "$venv/.quorent-tools")" != "$key" ]; then
  QUORENT_EXTRA_PKGS="python3-venv" scripts/install-deps.sh demo >/dev/null
  rm -rf "$venv"
  /usr/bin/python3 -m venv "$venv"
  # --no-deps: the list names every package, so nothing unpinned comes in.
  "$venv/bin/python" -m pip install --quiet --disable-pip-version-check --no-cache-dir --no-deps -r "$reqs" >&2
  "$venv/bin/python" -m pip check >&2
  echo "$key" > "$venv/.quorent-tools"
fi
echo "$venv/bin/python"
