#!/usr/bin/python3
"""Writes the PNG decode matrix for the codec tests into the folder given.

Every colour type x bit depth x interlace x transparency chunk is written by
a small encoder here (Pillow cannot write interlaced files), together with
the RGBA pixels a reader must produce (NAME.rgba) and, for the cases that a
native read keeps as they are, the raw samples (NAME.raw: bytes, or 16-bit
little-endian words). Pillow (python3-pil) decodes every file as well and
must agree with the expected pixels wherever its own conversion is exact.
Prints one line per case: name width height colour-type depth interlace.
"""
import random
import struct
import sys
import zlib

from PIL import Image

out = sys.argv[1]
W, H = 13, 11
ADAM7 = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]
CHANNELS = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}


def chunk(kind, data):
    return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data) & 0xFFFFFFFF)


def pack(samples, depth):
    if depth == 8:
        return bytes(samples)
    if depth == 16:
        return b''.join(struct.pack('>H', s) for s in samples)
    bits, acc, n = bytearray(), 0, 0
    for s in samples:
        acc = (acc << depth) | s
        n += depth
        if n == 8:
            bits.append(acc)
            acc, n = 0, 0
    if n:
        bits.append(acc << (8 - n))
    return bytes(bits)


def encode(path, rows, ct, depth, interlace, plte=None, trns=None, extra=b''):
    ch = CHANNELS[ct]
    raw = b''
    if interlace:
        for x0, y0, dx, dy in ADAM7:
            xs = range(x0, W, dx)
            if not xs:
                continue
            for y in range(y0, H, dy):
                samples = [s for x in xs for s in rows[y][x * ch:(x + 1) * ch]]
                raw += b'\0' + pack(samples, depth)
    else:
        for y in range(H):
            raw += b'\0' + pack(rows[y], depth)
    data = b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', W, H, depth, ct, 0, 0, interlace))
    if plte is not None:
        data += chunk(b'PLTE', b''.join(bytes(c) for c in plte))
    if trns is not None:
        data += chunk(b'tRNS', trns)
    data += extra + chunk(b'IDAT', zlib.compress(raw)) + chunk(b'IEND', b'')
    open(path, 'wb').write(data)


def expected(rows, ct, depth, plte, trns_value, trns_alpha):
    ch = CHANNELS[ct]
    top = (1 << depth) - 1
    level = (lambda v: v >> 8) if depth == 16 else (lambda v: v * 255 // top)
    px = []
    for row in rows:
        for x in range(W):
            s = row[x * ch:(x + 1) * ch]
            if ct == 0:
                g = level(s[0])
                px += [g, g, g, 0 if trns_value is not None and s[0] == trns_value else 255]
            elif ct == 2:
                px += [level(v) for v in s] + [0 if trns_value is not None and tuple(s) == trns_value else 255]
            elif ct == 3:
                c = plte[s[0]] if s[0] < len(plte) else (0, 0, 0)
                px += list(c) + [trns_alpha[s[0]] if trns_alpha and s[0] < len(trns_alpha) else 255]
            elif ct == 4:
                g = level(s[0])
                px += [g, g, g, level(s[1])]
            else:
                px += [level(v) for v in s]
    return bytes(px)


def raw_samples(rows, depth):
    if depth == 16:
        return b''.join(struct.pack('<H', s) for row in rows for s in row)
    return bytes(s for row in rows for s in row)


rng = random.Random(5)
failed = []
for ct, depths in [(0, [1, 2, 4, 8, 16]), (2, [8, 16]), (3, [1, 2, 4, 8]), (4, [8, 16]), (6, [8, 16])]:
    for depth in depths:
        for interlace in (0, 1):
            for with_trns in ((False, True) if ct in (0, 2, 3) else (False,)):
                top = (1 << depth) - 1
                ch = CHANNELS[ct]
                plte, trns, trns_value, trns_alpha, short_palette = None, None, None, None, False
                if ct == 3:
                    entries = 1 << depth
                    # Some palettes are shorter than the indexes the pixels use.
                    short_palette = depth in (4, 8) and with_trns
                    n = 5 if short_palette else entries
                    plte = [(rng.randrange(256), rng.randrange(256), rng.randrange(256)) for _ in range(n)]
                rows = [[rng.randrange(top + 1) for _ in range(W * ch)] for _ in range(H)]
                if with_trns:
                    if ct == 0:
                        trns_value = rows[3][4]
                        trns = struct.pack('>H', trns_value)
                    elif ct == 2:
                        trns_value = tuple(rows[2][6:9])
                        trns = struct.pack('>HHH', *trns_value)
                    else:
                        trns_alpha = [rng.randrange(256) for _ in range(max(1, len(plte) - 1))]
                        trns = bytes(trns_alpha)
                name = 'ct%d_d%d_i%d_t%d' % (ct, depth, interlace, with_trns)
                path = '%s/%s.png' % (out, name)
                encode(path, rows, ct, depth, interlace, plte, trns)
                want = expected(rows, ct, depth, plte, trns_value, trns_alpha)
                open('%s/%s.rgba' % (out, name), 'wb').write(want)
                if depth in (8, 16) and ct in (0, 3):
                    open('%s/%s.raw' % (out, name), 'wb').write(raw_samples(rows, depth))
                # Pillow's own conversion is exact except for 16-bit grey (it
                # clips instead of scaling), indexes past the palette, and the
                # transparent level of grey below 8 bits (it compares the
                # chunk's raw value with scaled levels).
                if not (depth == 16 and ct in (0, 4)) and not short_palette and not (depth == 16 and with_trns) \
                        and not (ct == 0 and depth < 8 and with_trns):
                    got = Image.open(path).convert('RGBA').tobytes()
                    if got != want:
                        failed.append(name)
                print(name, W, H, ct, depth, interlace)

# A one-entry palette whose pixels use index 1 as well: that index reads black.
rows = [[(x + y) & 1 for x in range(W)] for y in range(H)]
encode(out + '/onepal.png', rows, 3, 1, 1, [(10, 200, 30)])
open(out + '/onepal.rgba', 'wb').write(expected(rows, 3, 1, [(10, 200, 30)], None, None))
print('onepal', W, H, 3, 1, 1)

if failed:
    sys.stderr.write('Pillow disagrees: %s\n' % ' '.join(failed))
    sys.exit(1)
