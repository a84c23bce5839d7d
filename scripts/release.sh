#!/usr/bin/env bash
# Builds the Windows programs and packs the release a Windows user downloads:
# build/Tirvo-<version>-win64.zip with Tirvo.exe, ZIP32.DLL and README-ja.txt.
#
#   scripts/release.sh                      install what is missing, build, pack
#   scripts/release.sh --from DIR --out F   pack the programs already built in DIR into F
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
version=$(sed -n 's/^project(Tirvo VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
from=""
out="$root/build/Tirvo-$version-win64.zip"
while (($#)); do
  case $1 in
    --from) from=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    *) echo "usage: $0 [--from DIR] [--out FILE]" >&2; exit 2 ;;
  esac
done

if [ -z "$from" ]; then
  scripts/install-deps.sh
  scripts/build.sh windows
  from=$root/build/windows/bin
fi
for f in Tirvo.exe ZIP32.DLL; do
  [ -f "$from/$f" ] || { echo "missing: $from/$f" >&2; exit 1; }
done

# The read-me goes out as UTF-8 with a byte-order mark and CR/LF line ends, so
# Notepad shows it right on any Windows. Entries carry the build's own time.
mkdir -p "$(dirname "$out")"
python3 - "$from" "$root/dist/readme-ja.txt" "$out" <<'PY'
import os, sys, time, zipfile
src, readme, out = sys.argv[1:]
text = open(readme, encoding="utf-8").read().replace("\r\n", "\n").replace("\n", "\r\n")
entries = [("Tirvo.exe", open(os.path.join(src, "Tirvo.exe"), "rb").read()),
           ("ZIP32.DLL", open(os.path.join(src, "ZIP32.DLL"), "rb").read()),
           ("README-ja.txt", b"\xef\xbb\xbf" + text.encode("utf-8"))]
stamp = time.localtime(os.path.getmtime(os.path.join(src, "Tirvo.exe")))[:6]
tmp = out + ".tmp"
with zipfile.ZipFile(tmp, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as z:
    for name, data in entries:
        info = zipfile.ZipInfo(name, stamp)
        info.compress_type = zipfile.ZIP_DEFLATED
        info.external_attr = 0o644 << 16
        z.writestr(info, data)
os.replace(tmp, out)
PY
echo "$out"
