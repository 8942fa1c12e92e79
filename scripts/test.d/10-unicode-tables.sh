#!/usr/bin/env bash
# The committed Unicode tables are what the pinned Unicode data generates.
set -euo pipefail
cd "$(dirname "$0")/../.."
scripts/unicode-data.sh --check
