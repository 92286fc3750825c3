#!/usr/bin/env bash
# Builds the benchmarks (Release, build/bench) and runs them, then prints one
# line per benchmark: its name and its time per iteration.
# Usage: scripts/bench.sh [regex]   runs only the benchmarks whose name matches.
# Benchmarks are never part of CI: run them by hand on a quiet machine. The
# peer comparisons with their ratios are bench/compare_*.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=build/bench
JOBS=${JOBS:-4}
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DGT_BENCH=ON -DBUILD_TESTING=OFF >/dev/null
mapfile -t benches < <(cd bench && ls bench_*.cpp | sed 's/\.cpp$//')
cmake --build "$dir" -j "$JOBS" --target "${benches[@]}"
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
for b in "${benches[@]}"; do
  echo "== $b"
  "$dir/bench/$b" --benchmark_min_time=0.2 ${1:+--benchmark_filter="$1"} \
    --benchmark_out="$out/$b.json" --benchmark_out_format=json >/dev/null
done
python3 - "$out" <<'PY'
import json, os, sys
rows = []
for name in sorted(os.listdir(sys.argv[1])):
    for b in json.load(open(os.path.join(sys.argv[1], name))).get('benchmarks', []):
        if b.get('run_type') == 'iteration' and not b.get('error_occurred'):
            rows.append((b['name'], b['real_time'], b['time_unit']))
width = max((len(r[0]) for r in rows), default=0)
for n, t, u in rows:
    print(f'{n:<{width}}  {t:12.3f} {u}')
print(f'{len(rows)} benchmarks')
PY
