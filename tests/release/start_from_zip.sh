#!/usr/bin/env bash
# Packs the release zip from the built programs, checks what it holds, unpacks it into a fresh Wine prefix of the
# build's width and lets release_probe start Tirvo from there.
# Usage: start_from_zip.sh PROBE_EXE BIN_DIR WORK_DIR win64|win32
set -euo pipefail
probe=$1 bin=$2 work=$3 arch=$4
source "$(dirname "$0")/../../scripts/env.sh"

zip=$work/Tirvo-release.zip
"$TIRVO_ROOT/scripts/release.sh" --from "$bin" --out "$zip" >/dev/null

python3 - "$zip" <<'PY'
import sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
assert sorted(z.namelist()) == ["README-ja.txt", "Tirvo.exe", "ZIP32.DLL"] and z.testzip() is None
text = z.read("README-ja.txt").decode("utf-8")  # with its byte-order mark, if any
assert text.startswith("\ufeff") and "\n" not in text.replace("\r\n", "") and "ZIP32.DLL" in text, text
PY

export WINEPREFIX=$work/clean-prefix
rm -rf "$WINEPREFIX"
cleanup() { wineserver -k >/dev/null 2>&1 || true; rm -rf "$WINEPREFIX"; }
trap cleanup EXIT
"$TIRVO_ROOT/scripts/wine-prefix.sh" "$WINEPREFIX" "$arch"
export WINEARCH=$arch
mkdir -p "$WINEPREFIX/drive_c/Tirvo"
bsdtar -xf "$zip" -C "$WINEPREFIX/drive_c/Tirvo"
wine "$probe" 'C:\Tirvo\Tirvo.exe'
