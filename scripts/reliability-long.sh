#!/usr/bin/env bash
# Long reliability runs outside CI: many more SIGKILLs per scenario than CI
# makes, and a folder of 100,000 files. Prints the figures the tests report.
# usage: reliability-long.sh [BUILD_DIR] [KILLS_PER_SCENARIO] [FILES]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/linux}
kills=${2:-500}
files=${3:-100000}
[ -f "$build/CMakeCache.txt" ] || cmake -S "$root" -B "$build" -DTIRVO_TARGET=linux >/dev/null
cmake --build "$build" -j2 --target reliability_test >/dev/null
export LC_ALL=C.UTF-8 RELIABILITY_KILLS=$kills RELIABILITY_MANY_FILES=$files
"$build/tests/reliability/reliability_test" --gtest_filter='*KilledAtRandomPoints*:*FolderWithVeryManyFiles*' |
  grep -E '^\[ *(FIGURES|FAILED|PASSED)'
