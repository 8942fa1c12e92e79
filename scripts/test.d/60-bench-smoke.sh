#!/usr/bin/env bash
# Builds the benchmarks and runs each once, briefly: they must compile, and
# every operation must accept the benchmark's inputs (timings are not judged
# here; scripts/bench.sh measures).
set -euo pipefail
cd "$(dirname "$0")/../.."
cmake -S . -B build -DQUORENT_BUILD_BENCH=ON >/dev/null
cmake --build build --target quorent_bench -j"$(nproc)"
build/bench/quorent_bench --benchmark_min_time=0.002 --benchmark_out=build/bench-smoke.json \
  --benchmark_out_format=json >/dev/null
python3 - build/bench-smoke.json <<'PY'
import json, sys
data = json.load(open(sys.argv[1]))
bad = [(b["name"], b.get("error_message", "")) for b in data["benchmarks"] if b.get("error_occurred")]
ran = sum(1 for b in data["benchmarks"] if not b.get("error_occurred"))
for name, msg in bad:
    print(f"{name}: {msg}")
print(f"{ran} benchmarks ran, {len(bad)} failed")
sys.exit(1 if bad else 0)
PY
