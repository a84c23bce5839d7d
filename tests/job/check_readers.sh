#!/usr/bin/env bash
# Three independent readers check every archive the drop tests left in DIR.
set -euo pipefail
shopt -s nullglob
archives=("$1"/*.zip)
((${#archives[@]})) || { echo "no archives in $1" >&2; exit 1; }
for zip in "${archives[@]}"; do
  python3 -c 'import sys, zipfile; bad = zipfile.ZipFile(sys.argv[1]).testzip(); assert bad is None, bad' "$zip"
  7zz t "$zip" >/dev/null
  bsdtar -tf "$zip" >/dev/null
done
