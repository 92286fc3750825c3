#!/usr/bin/env bash
# Builds a small outer project that pulls this tree in with add_subdirectory and
# links gt_imaging, then loads a PNG made here by ImageMagick with it.
# Usage: tests/build/subproject_check.sh SOURCE_TREE WORK_FOLDER
# Unoptimised, the library builds in a fraction of the time of the real one:
# what is checked is that the tree configures, builds and works as someone
# else's subproject, not its speed.
set -euo pipefail
tree=$(cd "$1" && pwd)
work=$2
jobs=${JOBS:-2}
mkdir -p "$work"
cmake -S "$tree/tests/build/subproject" -B "$work/build" -G Ninja \
  -DGT_TREE="$tree" -DCMAKE_BUILD_TYPE= \
  >"$work/configure.log" 2>&1 || { cat "$work/configure.log"; exit 1; }
cmake --build "$work/build" -j "$jobs" --target load_png >"$work/build.log" 2>&1 ||
  { tail -n 60 "$work/build.log"; exit 1; }
convert -size 5x3 xc:'rgb(200,100,50)' "PNG24:$work/pic.png"
out=$("$work/build/load_png" "$work/pic.png")
echo "load_png: $out"
[ "$out" = "5x3 200,100,50" ]
