#!/usr/bin/env bash
# A long fuzzing run outside CI: the archive reader, then the name-pattern
# matcher, one worker each in turn, at low priority. The corpora stay in
# OUTDIR, so a later run goes on from where this one ended. Prints the
# executions of each target and their total; fails on any finding (kept in
# OUTDIR/*/findings; add it to the seed corpus once fixed).
# usage: fuzz-long.sh OUTDIR [READER_SECONDS] [PATTERN_SECONDS]
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(mkdir -p "$1" && cd "$1" && pwd)
reader_seconds=${2:-3600}
pattern_seconds=${3:-1200}
status=0
nice -n 10 "$root/scripts/fuzz.sh" reader "$out/reader" "$reader_seconds" || status=1
nice -n 10 "$root/scripts/fuzz.sh" pattern "$out/pattern" "$pattern_seconds" || status=1
total=0
for target in reader pattern; do
  runs=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$out/$target/fuzz.log" | grep -o '[0-9]*$' || echo 0)
  echo "$target: $runs executions"
  total=$((total + runs))
done
echo "total: $total executions"
exit $status
