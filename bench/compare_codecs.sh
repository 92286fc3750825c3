#!/usr/bin/env bash
# Builds and runs the codec benchmark: our JPEG/PNG coding of a 24-megapixel
# picture and the peers (djpeg, cjpeg, vips, convert) on the same files in the
# same run. Usage: bench/compare_codecs.sh [build-dir]  (default build/bench);
# REPS=n sets the repetitions (3), FILTER=regex picks benchmarks (e.g. png).
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build/bench}
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DGT_BENCH=ON >/dev/null
fi
cmake --build "$dir" -j 4 --target bench_codecs >/dev/null
for t in djpeg cjpeg vips convert; do
  command -v "$t" >/dev/null || { echo "missing $t (libjpeg-turbo-progs, libvips-tools, imagemagick)"; exit 1; }
done
# Every repetition is kept in the JSON: on a busy machine the best run of
# each side is the fairer figure, so both the median and the best are shown.
"$dir/bench/bench_codecs" --benchmark_repetitions="${REPS:-3}" --benchmark_display_aggregates_only=true \
  --benchmark_out=/tmp/bench_codecs.json --benchmark_out_format=json ${FILTER:+--benchmark_filter="$FILTER"}
# Ratios ours / peer (below 1: we are faster), of the medians and of the best runs.
/usr/bin/python3 - <<'PY'
import json
benchmarks = json.load(open('/tmp/bench_codecs.json'))['benchmarks']
runs = {b['run_name']: b['real_time'] for b in benchmarks if b.get('aggregate_name') == 'median'}
best = {}
for b in benchmarks:
    if b.get('run_type') == 'iteration' and not b.get('error_occurred'):
        best[b['run_name']] = min(best.get(b['run_name'], float('inf')), b['real_time'])
def t(name, table=runs):
    return next((v for k, v in table.items() if k.startswith(name)), None)
pairs = [('Decode/jpeg_full', ['Peer/djpeg_full', 'Peer/vips_jpeg_full']),
         ('Decode/jpeg_eighth', ['Peer/djpeg_eighth', 'Peer/vips_jpeg_eighth']),
         ('Encode/jpeg_q85', ['Peer/cjpeg_q85']),
         ('Decode/png', ['Peer/vips_png_decode', 'Peer/convert_png_decode']),
         ('Encode/png', ['Peer/vips_png_encode', 'Peer/convert_png_encode'])]
print('%-20s %10s %10s   %-24s %10s %10s   %6s %6s' % ('ours', 'median', 'best', 'peer', 'median', 'best',
                                                      'ratio', 'best'))
for ours, peers in pairs:
    o, ob = t(ours), t(ours, best)
    for p in peers:
        v, vb = t(p), t(p, best)
        if o and v and ob and vb:
            print('%-20s %7.1f ms %7.1f ms   %-24s %7.1f ms %7.1f ms   %6.2f %6.2f' % (ours, o, ob, p, v, vb, o / v,
                                                                                  ob / vb))
# Same work: each PNG encoder's output of this run, its deflate header and the
# filter bytes of its rows (all 0, none, for a fair comparison).
import os, struct, zlib
folder = os.path.join(os.environ.get('BENCH_DIR', '/dev/shm'), 'gt-bench-codecs')
outputs = (('ours', 'ours.png', 'Encode/png'), ('vips', 'out.png', 'Peer/vips_png_encode'),
           ('convert', 'outc.png', 'Peer/convert_png_encode'))
for who, name, bench in outputs:
    path = os.path.join(folder, name)
    if t(bench) is None or not os.path.exists(path):
        continue
    data = open(path, 'rb').read()
    at, idat, height = 8, bytearray(), 0
    while at + 8 <= len(data):
        n, kind = struct.unpack('>I4s', data[at:at + 8])
        if kind == b'IHDR':
            height = struct.unpack('>I', data[at + 12:at + 16])[0]
        elif kind == b'IDAT':
            idat += data[at + 8:at + 8 + n]
        at += 12 + n
    rows = zlib.decompress(bytes(idat))
    stride = len(rows) // height if height else 0
    filters = sorted({rows[y * stride] for y in range(height)}) if stride else []
    print('%-8s %10d bytes  IDAT %10d  zlib header %s  row filters %s' % (who, len(data), len(idat),
                                                                         bytes(idat[:2]).hex(), filters))
PY
