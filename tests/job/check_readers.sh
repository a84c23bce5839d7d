#!/usr/bin/env bash
# Three independent readers check every archive the drop tests left in DIR.
set -euo pipefail
dir=$1
shopt -s nullglob
archives=("$dir"/*.zip)
((${#archives[@]})) || { echo "no archives in $dir" >&2; exit 1; }
for zip in "${archives[@]}"; do
  python3 -c 'import sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
bad = z.testzip()
assert bad is None, bad
print(sys.argv[1], len(z.namelist()), "entries")' "$zip"
  7zz t "$zip" >/dev/null
  bsdtar -tf "$zip" >/dev/null
done
