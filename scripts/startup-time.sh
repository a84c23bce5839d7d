#!/usr/bin/env bash
# Measures the time from starting Tirvo.exe under Wine to its visible main
# window, five times, and prints each run and the median (seconds).
# Usage: scripts/startup-time.sh [path/to/Tirvo.exe]; uses $WINEPREFIX
# (default build/wineprefix) and $DISPLAY (a virtual display when unset).
# The first run also starts the prefix's services; the median is warm.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/env.sh
exe=${1:-build/windows/bin/Tirvo.exe}
export WINEPREFIX=${WINEPREFIX:-$TIRVO_ROOT/build/wineprefix}
scripts/wine-prefix.sh "$WINEPREFIX"
TIRVO_XVFB_PID=""
ensure_display
wineserver -p >/dev/null 2>&1   # a running server, as on a desktop in use

times=()
for _ in 1 2 3 4 5; do
  start=$(date +%s.%N)
  wine "$exe" &
  pid=$!
  until xwininfo -name Tirvo 2>/dev/null | grep -q 'IsViewable'; do sleep 0.01; done
  end=$(date +%s.%N)
  times+=("$(printf "%.3f" "$(echo "$end - $start" | bc)")")
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  while xwininfo -name Tirvo >/dev/null 2>&1; do sleep 0.05; done
done
printf 'run: %s\n' "${times[@]}"
printf '%s\n' "${times[@]}" | sort -n | sed -n 3p | sed 's/^/median: /'
wineserver -k
[ -n "$TIRVO_XVFB_PID" ] && kill "$TIRVO_XVFB_PID" 2>/dev/null || true
