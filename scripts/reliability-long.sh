#!/usr/bin/env bash
# Long reliability runs outside CI: many more SIGKILLs per scenario than CI
# makes. Prints the figures the tests report.
# usage: reliability-long.sh [BUILD_DIR] [KILLS_PER_SCENARIO]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/linux}
kills=${2:-500}
[ -f "$build/CMakeCache.txt" ] || cmake -S "$root" -B "$build" -DTIRVO_TARGET=linux >/dev/null
cmake --build "$build" -j2 --target reliability_test >/dev/null
export LC_ALL=C.UTF-8 RELIABILITY_KILLS=$kills
"$build/tests/reliability/reliability_test" --gtest_filter='*KilledAtRandomPoints*' |
  grep -E '^\[ *(FIGURES|FAILED|PASSED)'
