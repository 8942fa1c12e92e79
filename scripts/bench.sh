#!/usr/bin/env bash
# Builds and runs the benchmarks, prints per operation its median time, its
# floor and their ratio, and writes the table to docs/performance.md.
#   scripts/bench.sh [extra Google Benchmark flags, e.g. --benchmark_filter=op/]
# QUORENT_BENCH_REPS (default 5) sets the repetitions whose median is taken.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${QUORENT_BENCH_BUILD:-build-bench}
reps=${QUORENT_BENCH_REPS:-5}

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUORENT_BUILD_BENCH=ON -DQUORENT_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target quorent_bench -j"$(nproc)" >/dev/null

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
"$build/bench/quorent_bench" --benchmark_repetitions="$reps" --benchmark_report_aggregates_only=true \
  --benchmark_enable_random_interleaving=true \
  --benchmark_out="$build/bench.json" --benchmark_out_format=json "$@" >/dev/null
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

mkdir -p docs
export QUORENT_BENCH_LOAD="$load_before -> $load_after"
python3 scripts/bench_report.py "$build/bench.json" docs/performance.md
