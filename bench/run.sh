#!/usr/bin/env bash
# The benchmark, one command: bench/run.sh [--small] [--until HH:MM] [--parts LIST]
#
# Builds the committed engine natively (libzip32.so, as in the linux preset)
# and for Windows (ZIP32.DLL, as in the windows preset), with the driver
# bench/zip32_bench.cpp for each; builds the corpus (bench/make_corpus.py)
# under $TIRVO_BENCH_DIR (default /tmp/tirvo-bench); measures every tool on
# it (bench/bench.py) and writes the table and the chart (bench/report.py).
# The full run writes bench/results.{md,png,json}; --small (a corpus of
# about 130 MiB, for trying changes) writes them under $TIRVO_BENCH_DIR/small.
# --until HH:MM (UTC) starts no measurement after that time; the table then
# says what was not measured. --parts tree,office measures only those parts
# (of tree, office, small, big). Takes the machine's two cores: run it on a
# quiet machine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
small="" until=() parts=()
while (($#)); do
  case $1 in
    --small) small=--small ;;
    --until)
      stop=$(date -u -d "$2" +%s)
      if ((stop < $(date +%s))); then stop=$((stop + 86400)); fi
      until=(--until "$stop")
      shift ;;
    --parts) parts=(--parts "$2"); shift ;;
    *) echo "usage: bench/run.sh [--small] [--until HH:MM] [--parts tree,office,small,big]" >&2; exit 2 ;;
  esac
  shift
done
base=${TIRVO_BENCH_DIR:-/tmp/tirvo-bench}
build=$root/build/bench

for tool in 7zz bsdtar pigz wine x86_64-w64-mingw32-g++-posix cmake; do
  command -v "$tool" >/dev/null || { "$root/scripts/install-deps.sh"; break; }
done
# The benchmark's own needs, kept out of the test command's installs.
if [ ! -x /usr/bin/time ] || ! /usr/bin/python3 -c 'import matplotlib' 2>/dev/null; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends time python3-matplotlib >/dev/null
fi

# The engine as committed (the last commit that changed it is named in the
# results), not whatever the work tree holds at the moment; the driver and
# the build files come from the same commit. A new commit there means a
# fresh copy and fresh builds.
src=$build/src
engine_commit=$(git -C "$root" log -1 --format=%h -- engine)
stamp=$(git -C "$root" rev-parse HEAD:engine HEAD:bench HEAD:cmake HEAD:CMakeLists.txt | tr '\n' ' ')
if [ "$(cat "$build/stamp" 2>/dev/null)" != "$stamp" ]; then
  rm -rf "$build/src" "$build/linux" "$build/windows"
  mkdir -p "$src"
  git -C "$root" archive HEAD | tar -x -C "$src"
  echo "$stamp" > "$build/stamp"
fi

# Natively and for Windows, with the build types of the linux and windows
# presets.
cmake -S "$src" -B "$build/linux" -DTIRVO_TARGET=linux -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build/linux" -j2 --target zip32_bench >/dev/null
cmake -S "$src" -B "$build/windows" -DCMAKE_TOOLCHAIN_FILE="$src/cmake/mingw-w64-x86_64.cmake" \
  -DTIRVO_TARGET=windows -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build/windows" -j2 --target zip32 >/dev/null
x86_64-w64-mingw32-g++-posix -std=c++20 -O2 -static -Wall -Wextra -Werror -I"$src/engine" \
  "$src/bench/zip32_bench.cpp" -o "$build/windows/bin/zip32_bench.exe"
# zlib alone, as each build links it (built from Debian's source by both).
zlib_source=$(sed -n 's/^TIRVO_DEPS_SOURCES:PATH=//p' "$build/linux/CMakeCache.txt")/zlib
g++ -std=c++20 -O2 -Wall -Wextra -Werror -I"$zlib_source" "$src/bench/zlib_speed.cpp" -o "$build/linux/bin/zlib_speed" \
  "$build/linux/libtirvo_zlib.a"
x86_64-w64-mingw32-g++-posix -std=c++20 -O2 -static -Wall -Wextra -Werror -I"$zlib_source" "$src/bench/zlib_speed.cpp" \
  -o "$build/windows/bin/zlib_speed.exe" "$build/windows/libtirvo_zlib.a"

if [ -n "$small" ]; then
  corpus=$base/corpus-small results=$base/small
else
  corpus=$base/corpus results=$root/bench
fi
mkdir -p "$results"
/usr/bin/python3 "$root/bench/make_corpus.py" "$corpus" $small

source "$root/scripts/env.sh"
export WINEPREFIX=$base/wineprefix
"$root/scripts/wine-prefix.sh" "$WINEPREFIX"

/usr/bin/python3 "$root/bench/bench.py" $small "${until[@]}" "${parts[@]}" --engine-commit "$engine_commit" --corpus "$corpus" --work "$base/work" --json "$results/results.json" \
  --native-driver "$build/linux/bin/zip32_bench" --native-lib "$build/linux/bin/libzip32.so" \
  --wine-driver "$build/windows/bin/zip32_bench.exe" --wine-lib "$build/windows/bin/ZIP32.DLL" \
  --native-zlib "$build/linux/bin/zlib_speed" --wine-zlib "$build/windows/bin/zlib_speed.exe"
/usr/bin/python3 "$root/bench/report.py" "$results/results.json" "$results/results.md" "$results/results.png"
echo "Results: $results/results.md and $results/results.png"
