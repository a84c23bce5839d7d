#!/usr/bin/env bash
# Builds the name-pattern fuzz target with clang (libFuzzer, ASan, UBSan)
# and runs it for a bounded time on a copy of its seed corpus. The target
# compares the engine's matcher with a reference matcher and aborts when
# they disagree.
# usage: fuzz-pattern.sh OUTDIR [SECONDS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$1
seconds=${2:-60}
mkdir -p "$out/corpus" "$out/findings"
clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
  -I"$root/engine" "$root/fuzz/name_pattern_fuzzer.cpp" "$root/engine/name_pattern.cpp" \
  "$root/engine/text_codec.cpp" -o "$out/name_pattern_fuzzer"
cp -n "$root"/fuzz/pattern-corpus/* "$out/corpus/" 2>/dev/null || true
cd "$out"
./name_pattern_fuzzer -max_total_time="$seconds" -max_len=512 -timeout=10 -rss_limit_mb=2048 \
  -artifact_prefix="$out/findings/" -print_final_stats=1 corpus 2>&1 | tee fuzz.log | grep -E 'stat::|ERROR|SUMMARY|Done' || true
if ls findings/* >/dev/null 2>&1; then
  echo "findings: $(ls findings)"
  exit 1
fi
grep -q 'Done [0-9]* runs' fuzz.log
