#!/usr/bin/python3
"""Fixtures and the reference output for the camera RAW reader tests.

dng OUT W H MAKE MODEL    a small uncompressed Bayer DNG (RGGB, 12-bit data)
output WORK W H MAKE BRIGHT GAMMA BITS OUT
                          the reader's output stage computed from the working
                          image WORK (W x H pixels of R, G, B, brightness as
                          little-endian 16-bit samples); writes the trimmed
                          RGB rows (8 or 16 bits a sample) to OUT. Exits 3
                          when a brightness sample is not Trunc(|RGB| / 2).
"""
import sys

import numpy as np


def dng(out, w, h, make, model):
    import tifffile
    rng = np.random.default_rng(7)
    yy, xx = np.mgrid[0:h, 0:w]
    raw = (200 + (xx * 3000 // w) + (yy * 2000 // h) + rng.integers(0, 200, (h, w))).astype(np.uint16)
    raw[(yy % 2 == 0) & (xx % 2 == 0)] += 900
    raw[h // 3:h // 2, w // 3:w // 2] = 4000

    def srat(v):
        return [x for f in v for x in (int(round(f * 10000)), 10000)]
    extra = [
        (271, 's', 0, make, False), (272, 's', 0, model, False),
        (33421, 'H', 2, (2, 2), False), (33422, 'B', 4, (0, 1, 1, 2), False),
        (50706, 'B', 4, (1, 4, 0, 0), False), (50708, 's', 0, make + ' ' + model, False),
        (50717, 'I', 1, (4095,), False), (50714, 'H', 1, (0,), False),
        (50721, '2i', 9, srat([0.7, -0.1, -0.05, -0.4, 1.2, 0.2, -0.05, 0.1, 0.6]), False),
        (50778, 'H', 1, (21,), False),
        (50728, '2I', 3, (5000, 10000, 10000, 10000, 6000, 10000), False),
    ]
    tifffile.imwrite(out, raw, photometric=32803, planarconfig=1, subfiletype=0, extratags=extra,
                     metadata=None, compression=None)


def output(work, w, h, make, bright, gamma, bits, out):
    s = np.fromfile(work, dtype='<u2').reshape(h, w, 4).astype(np.float64)
    rgb = s[:, :, :3]
    b = np.minimum(np.trunc(np.sqrt((rgb * rgb).sum(axis=2)) / 2), 65535)
    if not np.array_equal(b, s[:, :, 3]):
        sys.exit(3)
    hist = np.bincount((s[:, :, 3].astype(np.int64) >> 3).ravel(), minlength=0x2000)
    p = 0.005 if make == 'FUJIFILM' else 0.01
    limit = int(p * w * h)
    total, v = 0, 0x1FFF
    while v >= 1:
        total += hist[v]
        if total > limit:
            break
        v -= 1
    white = max(v * 16, 1) if v >= 1 else 1
    scale = bright * 442 / white
    i = np.arange(65536, dtype=np.float64)
    table = np.power(2 * i / white, gamma - 1, where=i > 0, out=np.zeros(65536)) * scale
    top = 255
    if bits == 16:
        table = table / 255 * 65535
        top = 65535
    t = table[s[:, :, 3].astype(np.int64)]
    o = np.minimum(np.trunc(rgb * t[:, :, None]), top)
    o = o[1:h - 1, 1:w - 1]
    o.astype('<u2' if bits == 16 else np.uint8).tofile(out)


if __name__ == '__main__':
    a = sys.argv
    if a[1] == 'dng':
        dng(a[2], int(a[3]), int(a[4]), a[5], a[6])
    else:
        output(a[2], int(a[3]), int(a[4]), a[5], float(a[6]), float(a[7]), int(a[8]), a[9])
