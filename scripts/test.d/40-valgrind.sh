#!/usr/bin/env bash
# Memcheck over the tests that go through the exported interface: no leak,
# no invalid access, no use of uninitialised memory.
set -euo pipefail
cd "$(dirname "$0")/../.."
cmake -S . -B build >/dev/null
cmake --build build --target abi_tests consttime_test json_cost_test -j"$(nproc)"
# The many-threaded test runs a short round here: memcheck serialises threads.
QUORENT_CONCURRENCY_THREADS=2 QUORENT_CONCURRENCY_ROUNDS=1 \
  valgrind --quiet --leak-check=full --show-leak-kinds=definite,indirect \
  --errors-for-leak-kinds=definite,indirect --error-exitcode=1 \
  build/tests/abi_tests --gtest_brief=1
# Secrets in constant time: every secret byte marked undefined, memcheck must
# see no branch or address computed from one (tests/consttime).
valgrind --quiet --error-exitcode=1 build/tests/consttime_test --gtest_brief=1
# The work of the operations that read JSON, on shapes built to be costly,
# counted in instructions by callgrind (tests/cost): each call's counters are
# dumped into a folder of their own, which the test reads back.
cost_dir=$(mktemp -d)
trap 'rm -rf "$cost_dir"' EXIT
QUORENT_COST_DIR=$cost_dir valgrind --quiet --tool=callgrind --callgrind-out-file="$cost_dir/cost.%p" \
  --cache-sim=no --branch-sim=no build/tests/json_cost_test
