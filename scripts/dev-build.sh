#!/usr/bin/env bash
# Private build folder for one developer or helper, so parallel work never
# shares a build tree: scripts/dev-build.sh NAME [asan] [targets...]
# Configures build/dev-NAME[-asan] and builds the given targets (all by default)
# with JOBS parallel jobs (4 unless set).
set -euo pipefail
cd "$(dirname "$0")/.."
name=$1; shift
flags=""
type=RelWithDebInfo
dir=build/dev-$name
if [ "${1:-}" = asan ]; then
  shift
  dir=$dir-asan
  # Debug keeps assertions on; -O1 is the only optimisation level on the line.
  type=Debug
  flags="-O1 -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all"
fi
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=$type -DGT_BENCH=ON \
    -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_C_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="${flags:+-fsanitize=address,undefined}" >/dev/null
fi
if [ $# -gt 0 ]; then
  cmake --build "$dir" -j "${JOBS:-4}" --target "$@"
else
  cmake --build "$dir" -j "${JOBS:-4}"
fi
echo "build dir: $dir"
