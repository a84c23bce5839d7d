#!/usr/bin/env bash
# Builds the Windows programs and packs the releases a Windows user downloads:
# build/Tirvo-<version>-win64.zip and build/Tirvo-<version>-win32.zip, each
# with Tirvo.exe, ZIP32.DLL and README-ja.txt, and build/SHA256SUMS for both.
# The zips are made by our own engine: the native build's libzip32.so,
# driven by zip32_bench.
#
#   scripts/release.sh                      install what is missing, build, pack both
#   scripts/release.sh --from DIR --out F   pack the programs already built in DIR into F
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
version=$(sed -n 's/^project(Tirvo VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
from=""
out=""
while (($#)); do
  case $1 in
    --from) from=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    *) echo "usage: $0 [--from DIR --out FILE]" >&2; exit 2 ;;
  esac
done
if [[ -n $from && -z $out || -z $from && -n $out ]]; then
  echo "usage: $0 [--from DIR --out FILE]" >&2
  exit 2
fi

if [ -z "$from" ]; then
  scripts/install-deps.sh
  scripts/build.sh windows windows32
fi
engine=$root/build/linux/bin
if [ ! -x "$engine/zip32_bench" ] || [ ! -f "$engine/libzip32.so" ]; then
  cmake --preset linux >/dev/null
  cmake --build --preset linux --target zip32_bench zip32 >/dev/null
fi

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

# Packs Tirvo.exe and ZIP32.DLL of one build with the read-me into a zip.
pack() {
  local bin=$1 zip=$2
  for f in Tirvo.exe ZIP32.DLL; do
    [ -f "$bin/$f" ] || { echo "missing: $bin/$f" >&2; exit 1; }
  done
  rm -rf "$stage"/*
  cp "$bin/Tirvo.exe" "$bin/ZIP32.DLL" "$stage/"
  # UTF-8 with a byte-order mark and CR/LF line ends, so Notepad shows it
  # right on any Windows.
  { printf '\xef\xbb\xbf'; sed 's/\r$//; s/$/\r/' "$root/dist/readme-ja.txt"; } > "$stage/README-ja.txt"
  # Every entry carries the build's own time.
  touch -r "$bin/Tirvo.exe" "$stage"/*
  mkdir -p "$(dirname "$zip")"
  rm -f "$zip.tmp"
  LC_ALL=C.UTF-8 "$engine/zip32_bench" --level 9 --quiet "$engine/libzip32.so" "$zip.tmp" "$stage/" \
    Tirvo.exe ZIP32.DLL README-ja.txt >/dev/null
  mv "$zip.tmp" "$zip"
  echo "$zip"
}

if [ -n "$from" ]; then
  pack "$from" "$out"
  exit 0
fi
cd build
pack windows/bin "Tirvo-$version-win64.zip"
pack windows32/bin "Tirvo-$version-win32.zip"
sha256sum "Tirvo-$version-win64.zip" "Tirvo-$version-win32.zip" > SHA256SUMS
echo "$root/build/SHA256SUMS"
