# Sourced by the other scripts: the Wine and locale settings every run shares.
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
export WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
TIRVO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export TIRVO_ROOT

# Starts Xvfb on a free display when none is set; TIRVO_XVFB_PID tells whether
# this script started one.
ensure_display() {
  if [ -n "${DISPLAY:-}" ]; then return; fi
  local n=99
  while [ -e "/tmp/.X${n}-lock" ]; do n=$((n + 1)); done
  Xvfb ":${n}" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  TIRVO_XVFB_PID=$!
  export DISPLAY=":${n}"
  for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && return; sleep 0.1; done
  echo "Xvfb did not start" >&2
  return 1
}
