#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for a given time.
#   scripts/fuzz.sh [seconds-per-target] [target ...]    (default 60 s, all targets)
# Each target starts from seeds generated now by fuzz/seeds.py into
# <build>/corpus/<target>/ and from the inputs kept in fuzz/seeds/<target>/,
# and keeps what it finds in fuzz/corpus-run/<target>/ (not committed). A
# crash or a failed property leaves its input in fuzz/corpus-run/artifacts/
# and fails the run. fuzz/pick_seeds.py TARGET then keeps at most 24 of a
# run's inputs in fuzz/seeds/TARGET/: those adding the most coverage, greedily.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
build=${QUORENT_FUZZ_BUILD:-build-fuzz}

CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUORENT_BUILD_FUZZ=ON -DQUORENT_BUILD_TESTS=OFF -DQUORENT_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --target fuzz_all -j"$(nproc)"

if [ $# -gt 0 ]; then
  targets=("$@")
else
  targets=()
  for src in fuzz/*.cpp; do targets+=("$(basename "$src" .cpp)"); done
fi

python3 fuzz/seeds.py "$build/corpus" >/dev/null
mkdir -p fuzz/corpus-run/artifacts
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
failed=()
for t in "${targets[@]}"; do
  run_dir=fuzz/corpus-run/$t
  mkdir -p "$run_dir" "$build/corpus/$t"
  seeds=("$build/corpus/$t")
  [ -d "fuzz/seeds/$t" ] && seeds+=("fuzz/seeds/$t")
  dict=()
  [ -f "fuzz/$t.dict" ] && dict=(-dict="fuzz/$t.dict")
  limits=(-rss_limit_mb=2048)
  # json reads ~1 MB documents; a reader that held them as a tree would need far more.
  [ "$t" = json ] && limits=(-rss_limit_mb=1024 -malloc_limit_mb=16)
  log=fuzz/corpus-run/$t.log
  if "$build/fuzz/fuzz_$t" "$run_dir" "${seeds[@]}" "${dict[@]}" \
       -max_total_time="$seconds" -timeout=10 "${limits[@]}" -print_final_stats=1 \
       -artifact_prefix="fuzz/corpus-run/artifacts/$t-" >"$log" 2>&1; then
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 || true)
    printf '%-12s ok   %5ss  %10s runs  %s  corpus %s\n' "$t" "$seconds" "${execs:-?}" "${cov:-}" \
      "$(ls "$run_dir" | wc -l)"
  else
    printf '%-12s FAILED (see %s)\n' "$t" "$log"
    grep -E 'ERROR|property failed|SUMMARY|Test unit written' "$log" | head -8 || true
    failed+=("$t")
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz targets failed: ${failed[*]}" >&2
  exit 1
fi
