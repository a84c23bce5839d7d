#!/usr/bin/env bash
# LeakSanitizer over one run of every mode through the engine library, loaded
# and freed as the program does: add, update, freshen and move, each
# encrypted, with a comment and through a work directory, then a plain add
# and a request that fails. The ordinary build is used as it is: the
# standalone LeakSanitizer runtime (GCC's liblsan) is preloaded into the
# driver, and any leak ends it with status 23. Frames inside the engine show
# as <unknown module> in a report, as the library is unloaded by then.
# usage: leak_check.sh RUN_REQUEST_CHILD LIBRARY OUTDIR
set -euo pipefail
child=$1
library=$2
out=$3
rm -rf "$out"
mkdir -p "$out/tree/docs" "$out/tree/moved" "$out/work"
tree=$out/tree
printf 'alpha\n' > "$tree/a.txt"
printf 'beta\n' > "$tree/docs/b.txt"
printf 'moved\n' > "$tree/moved/m.txt"
seq 1 900000 > "$tree/big.txt"  # over 4 MiB: deflated in blocks on the worker threads
lsan=$(g++ -print-file-name=liblsan.so)

# run EXPECTED_STATUS ARCHIVE MODE ENCRYPT COMMENT WORKDIR NAME...
# (MODE: 0 add, 1 move, 2 update, 3 freshen; WORKDIR "-" for none)
run() {
  local expected=$1 archive=$2 mode=$3 encrypt=$4 comment=$5 workdir=$6
  shift 6
  local status=0
  LD_PRELOAD=$lsan LSAN_OPTIONS=exitcode=23 \
    "$child" "$library" "$archive" "$tree/" "$mode" "$encrypt" "$comment" "$workdir" secret "$@" || status=$?
  if [ "$status" != "$expected" ]; then
    echo "mode $mode on $(basename "$archive"): status $status, expected $expected (23: a leak)" >&2
    exit 1
  fi
}

run 0 "$out/all.zip" 0 1 1 "$out/work" a.txt docs big.txt
touch -d '+1 hour' "$tree/a.txt"
run 0 "$out/all.zip" 2 1 1 "$out/work" a.txt docs big.txt
touch -d '+2 hours' "$tree/docs/b.txt"
run 0 "$out/all.zip" 3 1 1 "$out/work" a.txt docs big.txt
run 0 "$out/all.zip" 1 1 1 "$out/work" moved
[ ! -e "$tree/moved/m.txt" ]
run 0 "$out/plain.zip" 0 0 0 - a.txt docs big.txt
printf 'not an archive' > "$out/not-a-zip.zip"
run 4 "$out/not-a-zip.zip" 0 0 0 - a.txt
echo "6 runs, no leaks"
