#!/usr/bin/env bash
# The tests of the exported interface, the many-threaded one included, and
# the frame's own tests (the asynchronous-call handles lock and count
# references), built with ThreadSanitizer; any report fails the run.
set -euo pipefail
cd "$(dirname "$0")/../.."
jobs=$(nproc)
flags="-O1 -g -fsanitize=thread -fno-omit-frame-pointer"
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=None \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" \
  -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=thread" >/dev/null
cmake --build build-tsan --target abi_tests ffi_tests -j"$jobs"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1"
# Kernels with high mmap randomisation break ThreadSanitizer's fixed memory
# layout; running without address randomisation avoids that.
norandom=()
if command -v setarch >/dev/null; then norandom=(setarch "$(uname -m)" -R); fi
for t in abi_tests ffi_tests; do
  "${norandom[@]}" "build-tsan/tests/$t" --gtest_brief=1
done
