#!/usr/bin/env bash
# Whole process against whole process, as a user feels it: our command-line
# program (bench/gtcli) and the peer tools start, read the same files, do the
# same work with the same settings, write their result and exit. Time is the
# median of hyperfine's runs after a warm-up; peak memory is the maximum
# resident set of one run (/usr/bin/time -v). One table, ratios ours / peer
# (below 1: we are faster).
#
# Usage: bench/compare.sh [build-dir]   (default build/bench)
#   SIZES="6 24 96"   megapixels of the photo-like test pictures
#   RUNS=5            timed runs per command
#   ONLY=regex        only the rows whose work matches
#   LARGE=1           also the 30000 x 30000 picture under a 2 GiB limit
#   BENCH_DIR=/dev/shm  where the pictures and outputs go (memory-backed by
#                     default, so the disk does not weigh on either side)
#   GTCLI=path        run this gtcli instead of building one (to compare two
#                     builds of ours against the same peers)
#
# The last column is the ratio of processor time (user + system, means):
# on a machine busy with other work, waiting for a core stretches the
# elapsed times of both sides unevenly, while processor time stays put.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build/bench}
SIZES=${SIZES:-"6 24 96"}
RUNS=${RUNS:-5}
ONLY=${ONLY:-.}
work=${BENCH_DIR:-/dev/shm}/gt-compare
mkdir -p "$work"

for t in hyperfine djpeg vips convert /usr/bin/time /usr/bin/python3; do
  command -v "$t" >/dev/null || {
    echo "missing $t (scripts/install-deps.sh installs hyperfine, libjpeg-turbo-progs, libvips-tools, imagemagick, time)"
    exit 1
  }
done
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DGT_BENCH=ON >/dev/null
fi
if [ -n "${GTCLI:-}" ]; then
  gt=$(realpath "$GTCLI")
else
  cmake --build "$dir" -j "${JOBS:-4}" --target gtcli >/dev/null
  gt=$(realpath "$dir/bench/gtcli")
fi
cores=$(nproc)

# Photo-like pictures: smooth light, soft shapes, fine texture and sensor
# noise, written once per size as JPEG (quality 90) and PNG.
for mp in $SIZES; do
  [ -f "$work/p$mp.jpg" ] && [ -f "$work/p$mp.png" ] && continue
  /usr/bin/python3 - "$mp" "$work" <<'PY'
import sys
import numpy as np
from PIL import Image
mp, folder = int(sys.argv[1]), sys.argv[2]
w = int((mp * 1e6 * 1.5) ** 0.5) // 8 * 8
h = int(mp * 1e6 / w) // 8 * 8
y, x = np.mgrid[0:h, 0:w].astype(np.float32)
light = 0.55 + 0.17 * (np.sin(x * 0.0021 * 6000 / w) + np.cos(y * 0.0017 * 4000 / h)) + 0.25 * x / w
rng = np.random.default_rng(7)
noise = rng.normal(0, 3, (h, w)).astype(np.float32)
disc = ((x - 0.3 * w) ** 2 + (y - 0.35 * h) ** 2 < (0.12 * w) ** 2).astype(np.float32)
tex = 6 * np.sin(x * 0.9) * np.sin(y * 0.7)
r = 160 * light + 10 + 50 * disc + tex + noise
g = 120 * light + 20 - 30 * disc + tex + noise
b = 70 * light + 30 + 90 * disc + noise
img = np.clip(np.stack([r, g, b], axis=2), 0, 255).astype(np.uint8)
im = Image.fromarray(img, 'RGB')
im.save(f'{folder}/p{mp}.jpg', quality=90)
im.save(f'{folder}/p{mp}.png', compress_level=6)
PY
done

# Our PNG writer and vips's: compression 6, no row filters, on both sides.
rows=()
row() {  # work size ours-command peer-name peer-command [peer-name peer-command ...]
  local work=$1 size=$2 ours=$3
  shift 3
  [[ "$work" =~ $ONLY ]] || return 0
  local json="$work_dir/h.json"
  local args=(--warmup 1 --runs "$RUNS" --export-json "$json" -N)
  local cmds=("$ours") names=(ours)
  while [ $# -gt 0 ]; do
    names+=("$1")
    cmds+=("$2")
    shift 2
  done
  hyperfine "${args[@]}" "${cmds[@]}" >/dev/null 2>&1 || { echo "failed: $work $size" >&2; return 0; }
  local i=0 c medians=() cpus=() peaks=()
  for c in "${cmds[@]}"; do
    medians+=("$(/usr/bin/python3 -c "import json,sys; r=json.load(open('$json'))['results'][$i]; print('%.1f' % (r['median']*1000))")")
    cpus+=("$(/usr/bin/python3 -c "import json,sys; r=json.load(open('$json'))['results'][$i]; print('%.1f' % ((r['user']+r['system'])*1000))")")
    peaks+=("$(/usr/bin/time -v sh -c "exec $c" >/dev/null 2>"$work_dir/err"; grep 'Maximum resident' "$work_dir/err" | awk '{print int($6/1024)}')")
    i=$((i + 1))
  done
  for ((i = 1; i < ${#cmds[@]}; i++)); do
    rows+=("$(printf '%-34s %5s MP  %9s ms %7s MiB   %-22s %9s ms %7s MiB   %6s %6s' "$work" "$size" "${medians[0]}" \
      "${peaks[0]}" "${names[$i]}" "${medians[$i]}" "${peaks[$i]}" \
      "$(/usr/bin/python3 -c "print('%.2f' % (${medians[0]} / ${medians[$i]}))")" \
      "$(/usr/bin/python3 -c "print('%.2f' % (${cpus[0]} / max(${cpus[$i]}, 0.1)))")")")
  done
}
work_dir=$work
export VIPS_CONCURRENCY=1 MAGICK_THREAD_LIMIT=1 GT_THREADS=1
o=$work/out
for mp in $SIZES; do
  j=$work/p$mp.jpg
  p=$work/p$mp.png
  row "JPEG decode" "$mp" "$gt decode $j" djpeg "djpeg -outfile /dev/null $j" \
    "vips avg" "vips avg $j"
  row "JPEG decode 1/8" "$mp" "$gt decode $j --scale 8" "djpeg 1/8" "djpeg -scale 1/8 -outfile /dev/null $j"
  row "PNG decode" "$mp" "$gt decode $p" "vips avg" "vips avg $p"
  row "JPEG->Lanczos3 25%->PNG" "$mp" "$gt resize $j $o.png 0.25 lanczos3" \
    "vips --gap 0" "vips resize $j $o.png[compression=6,filter=none] 0.25 --kernel lanczos3 --gap 0" \
    "vips (default gap)" "vips resize $j $o.png[compression=6,filter=none] 0.25 --kernel lanczos3" \
    "convert" "convert $j -filter Lanczos -resize 25% -define png:compression-level=6 -define png:compression-filter=0 $o.png"
  # Debian's ImageMagick policy caps its pixel cache at 1 GiB of disk, which
  # a 96 MP turn exceeds: convert takes part at the smaller sizes only.
  im=("convert" "convert $j -background black -rotate 30 -define png:compression-level=6 -define png:compression-filter=0 $o.png")
  [ "$mp" -lt 96 ] || im=()
  row "JPEG->rotate 30->PNG" "$mp" "$gt rotate $j $o.png 30" \
    "vips rotate" "vips rotate $j $o.png[compression=6,filter=none] 30" "${im[@]}"
done
# TIFF at 24 MP: decoding each compression (written back uncompressed) and
# encoding each from an uncompressed file. LZW with the horizontal predictor
# and deflate without, at zlib's level 6, on every side, as our writer does.
if [[ " $SIZES " == *" 24 "* ]] && [[ "TIFF" =~ $ONLY ]]; then
  t=$work/p24
  [ -f "$t-none.tif" ] || vips copy "$work/p24.png" "$t-none.tif[compression=none]"
  [ -f "$t-lzw.tif" ] || tiffcp -c lzw:2 "$t-none.tif" "$t-lzw.tif"
  [ -f "$t-deflate.tif" ] || tiffcp -c zip "$t-none.tif" "$t-deflate.tif"
  declare -A vipsopt=([none]="compression=none" [lzw]="compression=lzw,predictor=horizontal"
    [deflate]="compression=deflate,predictor=none,level=6")
  declare -A tiffcpopt=([none]="none" [lzw]="lzw:2" [deflate]="zip")
  for c in none lzw deflate; do
    row "TIFF $c decode" 24 "$gt convert $t-$c.tif $o.tif --tiff-compression none" \
      tiffcp "tiffcp -c none $t-$c.tif $o.tif" "vips copy" "vips copy $t-$c.tif $o.tif[compression=none]"
    row "TIFF $c encode" 24 "$gt convert $t-none.tif $o.tif --tiff-compression $c" \
      tiffcp "tiffcp -c ${tiffcpopt[$c]} $t-none.tif $o.tif" "vips copy" "vips copy $t-none.tif $o.tif[${vipsopt[$c]}]"
  done
fi

# The processor's edits at 24 MP, one thread, on uncompressed PPM on both
# sides so that the codecs weigh little beside the edit. ImageMagick's
# separable -blur is its fast form of the Gaussian blur.
if [[ " $SIZES " == *" 24 "* ]]; then
  q=$work/p24.ppm
  [ -f "$q" ] || convert "$work/p24.png" "$q"
  row "PPM->Gaussian blur 5->PPM" 24 "$gt proc $q $o.ppm blur5" convert "convert $q -blur 0x5 $o.ppm"
  row "PPM->sharpen 3x3->PPM" 24 "$gt proc $q $o.ppm sharpen" \
    convert "convert $q -morphology Convolve 3x3:0,-1,0,-1,5,-1,0,-1,0 $o.ppm"
  row "PPM->contrast+HSL->PPM" 24 "$gt proc $q $o.ppm contrast-hsl" \
    convert "convert $q -brightness-contrast 0x20 -modulate 105,110,117 $o.ppm"
  row "PPM->rotate 30 AA->PPM" 24 "$gt proc $q $o.ppm rotate30" \
    convert "convert $q -background black -rotate 30 $o.ppm"
  row "PPM->Lanczos3 50%->PPM" 24 "$gt proc $q $o.ppm half-lanczos3" \
    convert "convert $q -filter Lanczos -resize 50% $o.ppm"
fi

# Enlargement on every core, at 24 MP.
if [[ " $SIZES " == *" 24 "* ]]; then
  export VIPS_CONCURRENCY=$cores MAGICK_THREAD_LIMIT=$cores GT_THREADS=0
  row "JPEG->Lanczos3 200%->PNG, $cores thr" 24 "$gt resize $work/p24.jpg $o.png 2 lanczos3" \
    "vips --gap 0" "vips resize $work/p24.jpg $o.png[compression=6,filter=none] 2 --kernel lanczos3 --gap 0"
fi

# A picture larger than the memory it may use (LARGE=1, a few minutes): a
# 30000 x 30000 JPEG, 2.7 GB of pixels, opened, turned by 90 degrees,
# resized to 25% and saved under an address-space limit of 2 GiB. vips does
# the same through a turned copy in a file of its own, without the limit.
if [ -n "${LARGE:-}" ] && [[ "larger than memory" =~ $ONLY ]]; then
  export VIPS_CONCURRENCY=1 MAGICK_THREAD_LIMIT=1 GT_THREADS=1
  big=$work/b30k.jpg
  if [ ! -f "$big" ]; then
    [ -f "$work/p24.jpg" ] || { echo "LARGE needs the 24 MP picture (SIZES with 24)" >&2; exit 1; }
    vips replicate "$work/p24.jpg" "$work/r.v" 5 8
    vips extract_area "$work/r.v" "$big[Q=90]" 0 0 30000 30000
    rm -f "$work/r.v"
  fi
  row "larger than memory: rot 90+25%" 900 "prlimit --as=$((2 << 30)) $gt steps $big $o.jpg rotate=90 resize=0.25" \
    "vips via file" "sh -c 'vips rot $big $work/t.v d90 && vips resize $work/t.v $o.jpg 0.25 --kernel lanczos3 --gap 0'"
  rm -f "$work/t.v"
fi

printf '%-34s %8s  %12s %11s   %-22s %12s %11s   %6s %6s\n' work size ours peak peer median peak ours/peer cpu
printf '%s\n' "${rows[@]}"
