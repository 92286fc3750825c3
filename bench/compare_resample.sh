#!/usr/bin/env bash
# Times the resampling kernels (bench_resample) against libvips ("vips resize")
# and ImageMagick ("convert -filter ... -resize") on the same 24-megapixel
# picture in the same run, on one thread and on all, and prints the ratios
# (peer time / our time: above 1 means we are faster).
#
#   bash bench/compare_resample.sh [BUILD_DIR]     (default build/dev-resample)
#   REPS=3 bash bench/compare_resample.sh          (best of REPS runs per peer command)
#
# Needs bench_resample built (scripts/dev-build.sh NAME bench_resample),
# libvips-tools and imagemagick. The peers read the picture from a file and
# write their result to one, all in memory (/dev/shm when there is one); the
# "net" columns subtract each peer's own cost of loading the picture and
# saving a result of that size, measured in the same run.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/dev-resample}
bench=$build/bench/bench_resample
reps=${REPS:-2}
[ -x "$bench" ] || { echo "missing $bench: scripts/dev-build.sh resample bench_resample" >&2; exit 1; }
command -v vips >/dev/null || { echo "vips not found: apt-get install libvips-tools" >&2; exit 1; }
command -v convert >/dev/null || { echo "convert not found: apt-get install imagemagick" >&2; exit 1; }

base=/dev/shm
[ -d "$base" ] && [ -w "$base" ] || base=${TMPDIR:-/tmp}
work=$(mktemp -d "$base/gt-resample-XXXXXX")
trap 'rm -rf "$work"' EXIT

"$bench" --write-picture="$work/in.ppm"
vips copy "$work/in.ppm" "$work/in.v"

# ImageMagick's packaged policy caps pixel caches far below a 96-megapixel
# result; a private policy for this run lifts the caps.
mkdir "$work/magick"
cat >"$work/magick/policy.xml" <<'EOF'
<policymap>
  <policy domain="resource" name="memory" value="16GiB"/>
  <policy domain="resource" name="map" value="16GiB"/>
  <policy domain="resource" name="width" value="64KP"/>
  <policy domain="resource" name="height" value="64KP"/>
  <policy domain="resource" name="area" value="4GP"/>
  <policy domain="resource" name="disk" value="16GiB"/>
</policymap>
EOF
export MAGICK_CONFIGURE_PATH=$work/magick

echo "machine: $(nproc) processors, load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "running bench_resample ..."
"$bench" --benchmark_format=json --benchmark_min_time=1 >"$work/ours.json" 2>/dev/null

# Best wall time in milliseconds of REPS runs of a command.
best_ms() {
  local best="" t0 t1 ms
  for ((i = 0; i < reps; i++)); do
    t0=$(date +%s%N)
    "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; return 1; }
    t1=$(date +%s%N)
    ms=$(((t1 - t0) / 1000000))
    if [ -z "$best" ] || [ "$ms" -lt "$best" ]; then best=$ms; fi
  done
  echo "$best"
}

vips_run() {  # threads scale kernel
  local threads=$1; shift
  if [ "$threads" = 1 ]; then VIPS_CONCURRENCY=1 vips "$@"; else vips "$@"; fi
}
magick_run() {  # threads args...
  local threads=$1; shift
  if [ "$threads" = 1 ]; then convert -limit thread 1 "$@"; else convert "$@"; fi
}

echo "timing the peers (best of $reps) ..."
results=$work/peers.txt
: >"$results"
for threads in 1 all; do
  # Load-and-save floors: the input written back at its size, and the same
  # for a result 4 times and 1/16 the size (the load cost counted once).
  vcopy=$(best_ms vips_run "$threads" copy "$work/in.v" "$work/out.v")
  vips_run "$threads" resize "$work/in.v" "$work/big.v" 2 --kernel nearest >/dev/null 2>&1
  vbig=$(best_ms vips_run "$threads" copy "$work/big.v" "$work/out.v")
  mcopy=$(best_ms magick_run "$threads" "$work/in.ppm" "$work/out.ppm")
  echo "floor $threads vips $vcopy $vbig magick $mcopy" >>"$results"
  for row in "Lanczos3 lanczos3 Lanczos" "Bicubic cubic Catrom" "Triangle linear Triangle" "FastLinear linear Triangle"; do
    set -- $row
    name=$1 vk=$2 mf=$3
    for op in "reduce25 0.25 25%" "enlarge200 2 200%"; do
      set -- $op
      opname=$1 vscale=$2 mscale=$3
      v=$(best_ms vips_run "$threads" resize "$work/in.v" "$work/out.v" "$vscale" --kernel "$vk")
      m=$(best_ms magick_run "$threads" "$work/in.ppm" -filter "$mf" -resize "$mscale" "$work/out.ppm")
      echo "$name $opname $threads $v $m" >>"$results"
    done
  done
done

python3 - "$work/ours.json" "$results" <<'EOF'
import json, sys

ours = {}
for b in json.load(open(sys.argv[1]))["benchmarks"]:
    parts = b["name"].split("/")
    filt, op, thr = parts[1], parts[2], "1" if parts[3] == "1thread" else "all"
    unit = {"ms": 1.0, "us": 1e-3, "ns": 1e-6, "s": 1e3}[b["time_unit"]]
    ours[(filt, op, thr)] = b["real_time"] * unit

floors, peers = {}, []
for line in open(sys.argv[2]):
    f = line.split()
    if f[0] == "floor":
        # vips: .v files are mapped, so a copy is mostly the write of the
        # result; ImageMagick parses and writes PPM: half load, half save.
        thr, vcopy, vbig, mcopy = f[1], float(f[3]), float(f[4]), float(f[6])
        floors[thr] = (vcopy, vbig, mcopy)
    else:
        peers.append((f[0], f[1], f[2], float(f[3]), float(f[4])))

def floor_for(thr, op):
    vcopy, vbig, mcopy = floors[thr]
    if op == "reduce25":
        return vcopy / 16.0, mcopy / 2 + mcopy / 2 / 16.0
    return vbig, mcopy / 2 + mcopy / 2 * 4.0

print()
print("%-11s %-11s %-4s %9s | %9s %9s %7s %7s | %9s %9s %7s %7s" % (
    "filter", "operation", "thr", "ours ms", "vips ms", "net ms", "ratio", "net", "magick ms", "net ms", "ratio", "net"))
for name, op, thr, v, m in peers:
    o = ours.get((name, op, thr))
    if o is None:
        continue
    fv, fm = floor_for(thr, op)
    vn, mn = max(v - fv, 1.0), max(m - fm, 1.0)
    print("%-11s %-11s %-4s %9.1f | %9.0f %9.0f %7.2f %7.2f | %9.0f %9.0f %7.2f %7.2f" % (
        name, op, thr, o, v, vn, v / o, vn / o, m, mn, m / o, mn / o))
print()
print("ratio = peer time / our time (above 1: we are faster). Peers: vips resize --kernel lanczos3 / cubic /")
print("linear / linear; convert -filter Lanczos / Catrom / Triangle / Triangle -resize. net = minus the peer's")
print("own load-and-save time for the picture and the result size.")
EOF
