#!/usr/bin/env bash
# Builds and runs the codec benchmark: our JPEG/PNG coding of a 24-megapixel
# picture and the peers (djpeg, cjpeg, vips, convert) on the same files in the
# same run. Usage: bench/compare_codecs.sh [build-dir]  (default build/release)
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build/release}
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DGT_BENCH=ON >/dev/null
fi
cmake --build "$dir" -j 4 --target bench_codecs >/dev/null
for t in djpeg cjpeg vips convert; do
  command -v "$t" >/dev/null || { echo "missing $t (libjpeg-turbo-progs, libvips-tools, imagemagick)"; exit 1; }
done
"$dir/bench/bench_codecs" --benchmark_repetitions=3 --benchmark_report_aggregates_only=true \
  --benchmark_out=/tmp/bench_codecs.json --benchmark_out_format=json
# Ratios of the medians: ours / peer (below 1: we are faster).
/usr/bin/python3 - <<'PY'
import json
runs = {b['run_name']: b['real_time'] for b in json.load(open('/tmp/bench_codecs.json'))['benchmarks']
        if b.get('aggregate_name') == 'median'}
def t(name):
    return next((v for k, v in runs.items() if k.startswith(name)), None)
pairs = [('Decode/jpeg_full', ['Peer/djpeg_full', 'Peer/vips_jpeg_full']),
         ('Decode/jpeg_eighth', ['Peer/djpeg_eighth', 'Peer/vips_jpeg_eighth']),
         ('Encode/jpeg_q85', ['Peer/cjpeg_q85']),
         ('Decode/png', ['Peer/vips_png_decode', 'Peer/convert_png_decode']),
         ('Encode/png', ['Peer/vips_png_encode', 'Peer/convert_png_encode'])]
for ours, peers in pairs:
    o = t(ours)
    for p in peers:
        v = t(p)
        if o and v:
            print('%-20s %8.1f ms   %-24s %8.1f ms   ratio %.2f' % (ours, o, p, v, o / v))
PY
