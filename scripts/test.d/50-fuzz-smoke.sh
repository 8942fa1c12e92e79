#!/usr/bin/env bash
# A short run of every fuzz target from its seeds (the long runs are
# scripts/fuzz.sh with a longer time, by hand).
set -euo pipefail
cd "$(dirname "$0")/../.."
scripts/fuzz.sh "${QUORENT_FUZZ_SMOKE_SECONDS:-15}"
