#!/usr/bin/env bash
# Per-call cost of the operations with public-key cryptography through the
# portable library (build-portable/linux-x86_64/) against the distro build, in
# one run: the same benchmark binary loads one library or the other
# (LD_LIBRARY_PATH comes before its run path), in alternating rounds, so that
# a change in the machine's load falls on both alike. Prints the table and
# writes it into docs/performance.md between its markers.
#   scripts/bench-portable.sh [rounds]      (default 6 rounds of 3 repetitions)
# QUORENT_BENCH_BASELINE=<another portable libquorent_sdk_uniffi.so> adds that
# library to the rounds (a build of other dependency versions, say) and a
# column portable/baseline; the table is then printed only, docs/ unchanged.
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-6}
build=${QUORENT_BENCH_BUILD:-build-bench}
portable=build-portable/linux-x86_64/libquorent_sdk_uniffi.so
ops="derive_app_key|mint_user_deed|mint_admin_deed|origin_vouch_signer|sign_client_assertion|user_sub|verify_token_at"

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUORENT_BUILD_BENCH=ON -DQUORENT_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target quorent_bench -j"$(nproc)" >/dev/null
[ -f "$portable" ] || scripts/portable.sh linux-x86_64 >/dev/null
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir "$tmp/portable"
cp "$portable" "$tmp/portable/libquorent_sdk_uniffi.so.0"
libs=(distro portable)
baseline=${QUORENT_BENCH_BASELINE:-}
if [ -n "$baseline" ]; then
  mkdir "$tmp/baseline"
  cp "$baseline" "$tmp/baseline/libquorent_sdk_uniffi.so.0"
  libs+=(baseline)
fi

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
for round in $(seq 1 "$rounds"); do
  for lib in "${libs[@]}"; do
    env_=()
    [ "$lib" = distro ] || env_=(LD_LIBRARY_PATH="$tmp/$lib")
    env "${env_[@]}" "$build/bench/quorent_bench" --benchmark_filter="^op/($ops)\$" \
      --benchmark_repetitions=3 --benchmark_report_aggregates_only=true \
      --benchmark_out="$tmp/$lib-$round.json" --benchmark_out_format=json >/dev/null
  done
done
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

python3 - "$tmp" "$rounds" "$load_before" "$load_after" "$baseline" <<'PY'
import json, pathlib, platform, re, statistics, sys, time
tmp, rounds, before, after, baseline = pathlib.Path(sys.argv[1]), int(sys.argv[2]), sys.argv[3], sys.argv[4], sys.argv[5]
libs = ("distro", "portable", "baseline") if baseline else ("distro", "portable")
times = {}
for lib in libs:
    for r in range(1, rounds + 1):
        for b in json.loads((tmp / f"{lib}-{r}.json").read_text())["benchmarks"]:
            if b.get("aggregate_name") == "median":
                times.setdefault(b["run_name"][3:], {}).setdefault(lib, []).append(b["cpu_time"] / 1000.0)
cpu = next((l.split(":", 1)[1].strip() for l in open("/proc/cpuinfo") if l.startswith("model name")), "?")
lines = ["<!-- portable-vs-distro: written by scripts/bench-portable.sh -->",
         "## Portable library against the distro build",
         "",
         f"Operations with public-key cryptography, through the exported functions, the same benchmark binary",
         f"loading one library or the other in {rounds} alternating rounds (median of the rounds' medians, CPU",
         f"time per call). Target: the portable library within 3% of the distro build.",
         "",
         f"- date: {time.strftime('%Y-%m-%d %H:%M UTC', time.gmtime())}; CPU: {cpu}, 2 logical CPUs; {platform.platform()}",
         f"- load average before -> after: {before} -> {after}",
         "",
         "| operation | distro µs | portable µs | portable/distro | within 3% |"
         + (" baseline µs | portable/baseline |" if baseline else ""),
         "|---|---:|---:|---:|:-:|" + ("---:|---:|" if baseline else "")]
record = pathlib.Path("build-portable/linux-x86_64/dependencies.json")
if record.is_file():
    built = [f"{d['name']} {d['version']}" for d in json.loads(record.read_text())["dependencies"]
             if d.get("source", {}).get("kind") == "debian-source"]
    lines.insert(lines.index(f"- load average before -> after: {before} -> {after}") + 1,
                 "- the portable library's sources: " + ", ".join(built))
if baseline:
    lines[7:7] = [f"- baseline: {baseline}"]
worst = 0.0
for op in sorted(times):
    d, p = statistics.median(times[op]["distro"]), statistics.median(times[op]["portable"])
    ratio = p / d
    worst = max(worst, ratio)
    row = f"| {op} | {d:.1f} | {p:.1f} | {ratio:.3f} | {'yes' if ratio <= 1.03 else 'NO'} |"
    if baseline:
        b = statistics.median(times[op]["baseline"])
        row += f" {b:.1f} | {p / b:.3f} |"
    lines.append(row)
lines.append("<!-- /portable-vs-distro -->")
table = "\n".join(lines) + "\n"
print(table)
if baseline:
    sys.exit(0)
doc = pathlib.Path("docs/performance.md")
text = doc.read_text()
text = re.sub(r"<!-- portable-vs-distro:.*?<!-- /portable-vs-distro -->\n", lambda m: table, text, flags=re.S) \
    if "<!-- portable-vs-distro:" in text else text.rstrip("\n") + "\n\n" + table
doc.write_text(text)
PY
