#!/usr/bin/env bash
# Joins the macOS libraries that scripts/portable.sh builds for the rows of
# scripts/platforms.json whose 'universal' is macos-universal (macos-aarch64,
# macos-x86_64) into one universal file with llvm-lipo-19:
#   scripts/macos-universal.sh  ->  build-portable/macos-universal/libquorent_sdk_uniffi.dylib
# lipo copies each slice as it is, signature included; each slice taken back
# out of the result is checked as its own row's library is
# (scripts/check-portable.sh), so that what ships is what was checked.
set -euo pipefail
cd "$(dirname "$0")/.."
group=macos-universal
mapfile -t rows < <(scripts/platforms.py names --universal "$group")
[ "${#rows[@]}" -ge 2 ] || { echo "universal: scripts/platforms.json joins ${#rows[@]} rows into $group" >&2; exit 1; }
library=$(scripts/platforms.py get "${rows[0]}" library)
out=build-portable/$group
inputs=()
for row in "${rows[@]}"; do
  [ "$(scripts/platforms.py get "$row" library)" = "$library" ] || { echo "universal: the rows name different libraries" >&2; exit 1; }
  f=build-portable/$row/$library
  [ -f "$f" ] || { echo "universal: $f is missing: scripts/portable.sh $row" >&2; exit 1; }
  inputs+=("$f")
done
mkdir -p "$out"
llvm-lipo-19 -create "${inputs[@]}" -output "$out/$library.tmp"
mv "$out/$library.tmp" "$out/$library"
cp -p "build-portable/${rows[0]}/quorent_sdk_uniffi.h" "build-portable/${rows[0]}/quorent_sdk_version.h" "$out/"
echo "universal: $(llvm-lipo-19 -info "$out/$library")"

slices=$(mktemp -d)
trap 'rm -rf "$slices"' EXIT
status=0
for row in "${rows[@]}"; do
  arch=$(scripts/platforms.py get "$row" machine)
  mkdir -p "$slices/$row"
  llvm-lipo-19 "$out/$library" -thin "$arch" -output "$slices/$row/$library"
  cmp -s "$slices/$row/$library" "build-portable/$row/$library" \
    || { echo "universal: the $arch slice differs from build-portable/$row/$library" >&2; status=1; }
  echo "-- $arch slice"
  scripts/check-portable.sh "$row" "$slices/$row/$library" || status=1
done
exit $status
