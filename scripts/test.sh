#!/usr/bin/env bash
# Installs what is missing, builds all three builds and runs every test, the
# native ones and the Windows ones of both Windows builds under Wine, through
# one ctest run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
source scripts/env.sh
scripts/build.sh

# One throw-away Wine prefix for the whole run, and a virtual display if needed.
export WINEPREFIX=$(mktemp -d /tmp/tirvo-wine.XXXXXX)
TIRVO_XVFB_PID=""
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  [ -n "$TIRVO_XVFB_PID" ] && kill "$TIRVO_XVFB_PID" 2>/dev/null || true
  rm -rf "$WINEPREFIX"
}
trap cleanup EXIT
scripts/wine-prefix.sh "$WINEPREFIX"
ensure_display
# Keep one wineserver alive across the tests instead of starting one per test.
wineserver -p >/dev/null 2>&1
# Start Wine's background services now, outside ctest: started by the first
# test they would hold that test's output pipe open until the end.
wine cmd /c exit >/dev/null 2>&1 </dev/null

cat > build/CTestTestfile.cmake <<'CT'
subdirs("linux")
subdirs("windows")
subdirs("windows32")
CT
ctest --test-dir build --output-on-failure -j2 "${CTEST_ARGS[@]+"${CTEST_ARGS[@]}"}"
