#!/usr/bin/env bash
# Builds one fuzz target with clang (libFuzzer, ASan, UBSan) and runs it for a
# bounded time on a copy of its seed corpus. Any crash, leak, timeout or (for
# the name patterns) disagreement with the reference matcher leaves an
# artifact, and the run fails on one.
# usage: fuzz.sh reader|pattern OUTDIR [SECONDS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
target=$1
out=$2
seconds=${3:-60}
case $target in
  reader) name=archive_reader_fuzzer; libs=(-lz)
          sources=(engine/archive_reader.cpp engine/central_fields.cpp engine/record_fields.cpp)
          corpus=fuzz/corpus; max_len=8192 ;;
  pattern) name=name_pattern_fuzzer; sources=(engine/name_pattern.cpp engine/case_fold.cpp); libs=()
           corpus=fuzz/pattern-corpus; max_len=512 ;;
  *) echo "usage: fuzz.sh reader|pattern OUTDIR [SECONDS]" >&2; exit 2 ;;
esac
mkdir -p "$out/corpus" "$out/findings"
cd "$root"
clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
  -Iengine "fuzz/$name.cpp" "${sources[@]}" engine/text_codec.cpp engine/utf8.cpp "${libs[@]}" -o "$out/$name"
cp -n "$corpus"/* "$out/corpus/" 2>/dev/null || true
cd "$out"
"./$name" -max_total_time="$seconds" -max_len="$max_len" -timeout=10 -rss_limit_mb=2048 \
  -artifact_prefix="$out/findings/" -print_final_stats=1 corpus 2>&1 | tee fuzz.log | grep -E 'stat::|ERROR|SUMMARY|Done' || true
if ls findings/* >/dev/null 2>&1; then
  echo "findings: $(ls findings)"
  exit 1
fi
grep -q 'Done [0-9]* runs' fuzz.log
