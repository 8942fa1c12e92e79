#!/usr/bin/env bash
# Builds the library and runs every test. Installs missing Debian packages first.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test
jobs=$(nproc)

echo "== build and unit tests"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORENT_BUILD_TESTS=ON >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

# The stages run in the order of their names. A stage that takes what another
# one makes says so in a line "# needs: <stage> ..." (the packages stage, for
# one, packages the libraries the portable, Windows and macOS stages build and
# check); a stage named before one it needs, or needing one that is not
# there, stops the run before any stage starts.
stages=(scripts/test.d/*.sh)
order=" $(printf '%s\n' "${stages[@]}" | xargs -n1 basename | sed 's/\.sh$//' | tr '\n' ' ')"
for stage in "${stages[@]}"; do
  name=$(basename "$stage" .sh)
  for need in $(sed -n 's/^# needs: //p' "$stage"); do
    case "$order" in
      *" $need "*"$name "*) ;;
      *" $need "*) echo "test: $name needs $need, which runs after it; rename one of them" >&2; exit 1 ;;
      *) echo "test: $name needs $need, which is not in scripts/test.d/" >&2; exit 1 ;;
    esac
  done
done
for stage in "${stages[@]}"; do
  echo "== $(basename "$stage" .sh)"
  bash "$stage"
done
echo "== all tests passed"
