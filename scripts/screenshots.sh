#!/usr/bin/env bash
# Takes the README's screenshots under Wine: the main window, the options
# dialog, the About box and a finished progress window, saved as PNG files in
# docs/. Uses a fresh Wine prefix (Japanese, with Wine drawing the window
# frames itself) on a virtual display of its own, and removes both at the end.
#
#   scripts/screenshots.sh             install what is missing, build, take them
#   scripts/screenshots.sh --from DIR  use the programs already built in DIR
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bin=$root/build/windows/bin
if [ "${1:-}" = --from ]; then
  bin=$(cd "$2" && pwd)
else
  scripts/install-deps.sh
  scripts/build.sh windows
fi
source scripts/env.sh

export WINEPREFIX=$(mktemp -d /tmp/tirvo-shots.XXXXXX)
shots=$(mktemp -d /tmp/tirvo-shots-bmp.XXXXXX)
unset DISPLAY
TIRVO_XVFB_PID=""
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  [ -n "$TIRVO_XVFB_PID" ] && kill "$TIRVO_XVFB_PID" 2>/dev/null || true
  rm -rf "$WINEPREFIX" "$shots"
}
trap cleanup EXIT
ensure_display
scripts/wine-prefix.sh "$WINEPREFIX"
# Without a window manager, Wine draws the title bars itself only when told.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1

wine "$bin/screenshot_tour.exe" "$(winepath -w "$shots")"
mkdir -p docs
for name in main-window options about progress; do
  convert "$shots/$name.bmp" -strip "docs/$name.png"
  echo "$root/docs/$name.png"
done
