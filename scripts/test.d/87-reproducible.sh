#!/usr/bin/env bash
# Reproducible builds: the x86-64 library and every package are built a second
# time, in another folder at another time, from the same sources (the files git
# tracks or would track, with the same SOURCE_DATE_EPOCH: the last commit's
# time), sharing the dependency cache; each must be byte for byte the one of
# this tree (build-portable/linux-x86_64/ and dist/, as scripts/package.sh made
# them in the packages stage). The other platforms' libraries (scripts/platforms.json)
# are copied over as they are: the packages around them are rebuilt and compared.
# needs: 86-packages
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
version=$(scripts/platforms.py version)
if [ ! -x scripts/portable.sh ]; then
  echo "reproducible: skipped: no scripts/portable.sh in this tree"
  exit 0
fi
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
export SOURCE_DATE_EPOCH
start=$(date +%s)
[ -f dist/SHA256SUMS ] || scripts/package.sh >/dev/null
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
other=$tmp/quorent-sdk

git ls-files -z --cached --others --exclude-standard | while IFS= read -r -d '' f; do
  [ -e "$f" ] || [ -L "$f" ] && printf '%s\0' "$f"
done | tar --null -T - -cf - | (mkdir -p "$other" && tar -C "$other" -xf -)
for platform in $(scripts/platforms.py names | grep -vx linux-x86_64); do
  [ -d "build-portable/$platform" ] || continue
  mkdir -p "$other/build-portable/$platform"
  find "build-portable/$platform" -maxdepth 1 -type f -exec cp -p {} "$other/build-portable/$platform/" \;
done

# The library (without its tests: they change nothing in it), then the packages.
(cd "$other" && QUORENT_PORTABLE_SKIP_TESTS=1 QUORENT_PORTABLE_CMAKE_ARGS=-DQUORENT_BUILD_TESTS=OFF \
  scripts/portable.sh linux-x86_64 > "$tmp/portable.log" 2>&1) \
  || { tail -n 30 "$tmp/portable.log"; echo "reproducible: the second library build failed" >&2; exit 1; }
(cd "$other" && QUORENT_PACKAGE_USE_BUILT=1 scripts/package.sh > "$tmp/package.log" 2>&1) \
  || { tail -n 30 "$tmp/package.log"; echo "reproducible: the second packaging failed" >&2; exit 1; }

# Every file the same; for an archive that differs, the members that do.
members() {
  python3 - "$1" <<'PY'
import hashlib, sys, tarfile, zipfile
path = sys.argv[1]
if path.endswith((".whl", ".jar", ".zip")):
    with zipfile.ZipFile(path) as z:
        for i in z.infolist():
            print(i.filename, i.date_time, oct(i.external_attr >> 16), hashlib.sha256(z.read(i)).hexdigest())
else:
    with tarfile.open(path) as t:
        for m in t.getmembers():
            data = t.extractfile(m).read() if m.isfile() else b""
            print(m.name, m.mtime, oct(m.mode), m.uid, m.gid, m.uname, m.gname, hashlib.sha256(data).hexdigest())
PY
}
failed=0 compared=()
for f in build-portable/linux-x86_64/libquorent_sdk_uniffi.so $(cd dist && ls | sed 's|^|dist/|'); do
  if ! cmp -s "$f" "$other/$f"; then
    failed=1
    echo "reproducible: $f differs between the two builds" >&2
    case "$f" in
      *.whl|*.jar|*.zip|*.tgz|*.tar.gz) diff <(members "$f") <(members "$other/$f") | head -n 20 >&2 || true ;;
    esac
  fi
  compared+=("$(basename "$f")")
done
[ "$(cd dist && ls)" = "$(cd "$other/dist" && ls)" ] \
  || { echo "reproducible: the two builds made different files:" >&2; diff <(ls dist) <(ls "$other/dist") >&2; failed=1; }
[ "$failed" = 0 ] || exit 1
echo "reproducible: ${#compared[@]} files identical in a second build elsewhere (${compared[*]}):" \
  "$(( $(date +%s) - start )) s"
