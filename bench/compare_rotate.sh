#!/usr/bin/env bash
# Turns of a 24-megapixel picture by 30 degrees and by a quarter turn: our
# kernels (bench_rotate) next to `vips rotate`/`vips rot` and ImageMagick's
# `convert -rotate` on the same picture in the same run, on one thread and
# on all of them. The peers read and write files, so each is also timed
# copying the picture without turning it; "kernel" is the difference.
#   bench/compare_rotate.sh [path/to/bench_rotate]
set -euo pipefail
cd "$(dirname "$0")/.."
bench=${1:-build/dev-render/bench/bench_rotate}
for tool in vips convert /usr/bin/python3; do
  command -v "$tool" >/dev/null || { echo "compare_rotate: $tool is missing" >&2; exit 1; }
done
[ -x "$bench" ] || { echo "compare_rotate: build $bench first" >&2; exit 1; }

tmp=$(mktemp -d /tmp/gt-compare-rotate-XXXXXX)
trap 'rm -rf "$tmp"' EXIT
"$bench" --write-ppm="$tmp/in.ppm"
vips copy "$tmp/in.ppm" "$tmp/in.v"

# Best wall time of three runs, in milliseconds.
best() {
  local best_ms=""
  for _ in 1 2 3; do
    local t0 t1 ms
    t0=$(date +%s%N)
    "$@" >/dev/null 2>&1
    t1=$(date +%s%N)
    ms=$(( (t1 - t0) / 1000000 ))
    if [ -z "$best_ms" ] || [ "$ms" -lt "$best_ms" ]; then best_ms=$ms; fi
  done
  echo "$best_ms"
}

declare -A peer
for threads in 1 all; do
  if [ "$threads" = 1 ]; then
    export VIPS_CONCURRENCY=1 MAGICK_THREAD_LIMIT=1 OMP_NUM_THREADS=1
  else
    unset VIPS_CONCURRENCY MAGICK_THREAD_LIMIT OMP_NUM_THREADS
  fi
  peer[vips_copy_$threads]=$(best vips copy "$tmp/in.v" "$tmp/out.v")
  peer[vips_rotate_$threads]=$(best vips rotate "$tmp/in.v" "$tmp/out.v" 30)
  peer[vips_rot_$threads]=$(best vips rot "$tmp/in.v" "$tmp/out.v" d90)
  peer[im_copy_$threads]=$(best convert "$tmp/in.ppm" "$tmp/out.ppm")
  peer[im_rotate_$threads]=$(best convert "$tmp/in.ppm" -rotate 30 "$tmp/out.ppm")
  peer[im_rot_$threads]=$(best convert "$tmp/in.ppm" -rotate 90 "$tmp/out.ppm")
done
unset VIPS_CONCURRENCY MAGICK_THREAD_LIMIT OMP_NUM_THREADS

"$bench" --benchmark_out="$tmp/ours.json" --benchmark_out_format=json >/dev/null

args=()
for k in "${!peer[@]}"; do args+=("$k=${peer[$k]}"); done
/usr/bin/python3 - "$tmp/ours.json" "${args[@]}" <<'EOF'
import json, sys
ours = {b["name"]: b["real_time"] for b in json.load(open(sys.argv[1]))["benchmarks"]}
peer = dict((k, float(v)) for k, v in (a.split("=") for a in sys.argv[2:]))
rows = [("30 degrees, anti-aliased", "BM_Rotate30Antialiased", "rotate"),
        ("30 degrees, nearest", "BM_Rotate30Nearest", "rotate"),
        ("quarter turn", "BM_QuarterTurn", "rot")]
print("%-26s %-7s %9s %17s %17s %9s %9s" % ("operation", "threads", "ours ms", "vips ms (kernel)",
                                              "convert ms (kern)", "vips/us", "conv/us"))
for label, name, op in rows:
    for arg, threads in (("1", "1"), ("0", "all")):
        mine = ours.get("%s/%s/min_time:2.000/real_time" % (name, arg))
        if mine is None:
            continue
        v, vc = peer["vips_%s_%s" % (op, threads)], peer["vips_copy_%s" % threads]
        m, mc = peer["im_%s_%s" % (op, threads)], peer["im_copy_%s" % threads]
        vk, mk = max(v - vc, 1.0), max(m - mc, 1.0)
        print("%-26s %-7s %9.1f %8.0f (%6.0f) %8.0f (%6.0f) %9.2f %9.2f" %
              (label, threads, mine, v, vk, m, mk, vk / mine, mk / mine))
print("vips/us and conv/us: the peer's kernel time divided by ours (above 1: we are faster).")
EOF
