#!/usr/bin/python3
"""Writes the TIFF strip-decoding matrix for the reader tests into the folder given.

Each case is a small TIFF written by the minimal writer below (or passed
through tiffcp for LZW and big-endian copies), read back by tifffile, and
the pixels the reader must produce are derived from tifffile's samples:
NAME-N.want holds the rows of the target bitmap without padding for the
native (N=1) or 24-bit (N=0) read, NAME.alpha the alpha plane when there is
one. Prints one line per expectation:
name native pixelformat width height alpha tolerance
"""
import struct
import subprocess
import sys
import zlib

import numpy as np
import tifffile
from PIL import Image

out = sys.argv[1]
W, H = 13, 7
rng = np.random.default_rng(1234)

# Pixel format codes of the reader's targets.
IE1G, IE8P, IE8G, IE16G, IE24RGB, IECMYK, IERGB48 = 1, 2, 3, 4, 5, 7, 8


def packbits(data):
    res, i = bytearray(), 0
    while i < len(data):
        j = i
        while j < len(data) and j - i < 128 and data[j] == data[i]:
            j += 1
        if j - i >= 3:
            res += bytes([(257 - (j - i)) & 0xFF, data[i]])
            i = j
            continue
        j = i
        while j < len(data) and j - i < 128 and not (j + 2 < len(data) and data[j] == data[j + 1] == data[j + 2]):
            j += 1
        res += bytes([j - i - 1]) + data[i:j]
        i = j
    return bytes(res)


def write_tiff(path, rows, bits, spp, photometric, big=False, compression=1, predictor=1,
               extra=None, colormap=None, rows_per_strip=3, lab=False):
    """rows: list of H byte strings (each a packed row in file byte order)."""
    e = '>' if big else '<'
    strips = []
    for s in range(0, H, rows_per_strip):
        raw = b''.join(rows[s:s + rows_per_strip])
        if compression in (8, 32946):
            raw = zlib.compress(raw)
        elif compression == 32773:
            raw = b''.join(packbits(r) for r in rows[s:s + rows_per_strip])
        strips.append(raw)
    tags = {256: (4, [W]), 257: (4, [H]), 258: (3, [bits] * spp), 259: (3, [compression]),
            262: (3, [photometric]), 277: (3, [spp]), 278: (4, [rows_per_strip]),
            284: (3, [1])}
    if predictor != 1:
        tags[317] = (3, [predictor])
    if extra is not None:
        tags[338] = (3, extra)
    if colormap is not None:
        tags[320] = (3, list(colormap.reshape(-1)))
    # The directory comes right after the header and the strips last, so
    # that cutting the file cuts only pixel data.
    tags[273] = (4, [0] * len(strips))
    tags[279] = (4, [len(s) for s in strips])
    fmt = {3: 'H', 4: 'I'}

    def blob(tag):
        typ, vals = tags[tag]
        return struct.pack(e + fmt[typ] * len(vals), *vals)

    pos = 8 + 2 + 12 * len(tags) + 4
    where = {}
    for tag in sorted(tags):
        if len(blob(tag)) > 4:
            where[tag] = pos
            pos += len(blob(tag)) + len(blob(tag)) % 2
    offsets = []
    for st in strips:
        offsets.append(pos)
        pos += len(st)
    tags[273] = (4, offsets)
    data = bytearray(b'II*\0' if not big else b'MM\0*') + struct.pack(e + 'I', 8)
    data += struct.pack(e + 'H', len(tags))
    for tag in sorted(tags):
        typ, vals = tags[tag]
        value = struct.pack(e + 'I', where[tag]) if tag in where else blob(tag).ljust(4, b'\0')
        data += struct.pack(e + 'HHI', tag, typ, len(vals)) + value
    data += struct.pack(e + 'I', 0)
    for tag in sorted(where):
        data += blob(tag) + b'\0' * (len(blob(tag)) % 2)
    for st in strips:
        data += st
    with open(path, 'wb') as f:
        f.write(data)


def pack_rows(samples, bits, big=False, predictor=1):
    """samples: H x (W*spp) array; returns packed rows in file order."""
    rows = []
    for r in samples:
        r = np.asarray(r)
        if predictor == 2:
            spp = len(r) // W
            d = r.astype(np.int64).copy()
            d[spp:] = r[spp:].astype(np.int64) - r[:-spp].astype(np.int64)
            r = (d % (1 << bits)).astype(r.dtype)
        if bits == 16:
            rows.append(r.astype('>u2' if big else '<u2').tobytes())
        elif bits == 8:
            rows.append(r.astype(np.uint8).tobytes())
        else:
            acc, n, res = 0, 0, bytearray()
            for v in r:
                acc, n = (acc << bits) | int(v), n + bits
                while n >= 8:
                    res.append((acc >> (n - 8)) & 0xFF)
                    n -= 8
            if n:
                res.append((acc << (8 - n)) & 0xFF)
            rows.append(bytes(res))
    return rows


cases = []


def emit(name, native, pf, want, alpha=None, tol=0):
    want = np.ascontiguousarray(want)
    with open(f'{out}/{name}-{int(native)}.want', 'wb') as f:
        f.write(want.tobytes())
    if alpha is not None:
        with open(f'{out}/{name}.alpha', 'wb') as f:
            f.write(np.ascontiguousarray(alpha, dtype=np.uint8).tobytes())
    cases.append(f'{name} {int(native)} {pf} {W} {H} {int(alpha is not None)} {tol}')


def read(name):
    return tifffile.imread(f'{out}/{name}.tif')


def read_pil(name):
    # tifffile unpacks samples below 8 bits only with a codec package that
    # Debian lacks; Pillow decodes them instead.
    return np.array(Image.open(f'{out}/{name}.tif'))


def gray3(g):
    return np.repeat(g[..., None], 3, axis=2)


def case_gray(name, bits, photometric, big=False, compression=1, predictor=1):
    hi = (1 << bits) - 1
    s = rng.integers(0, hi + 1, size=(H, W), dtype=np.uint16 if bits == 16 else np.uint8)
    s[0, 0], s[0, 1] = 0, hi
    write_tiff(f'{out}/{name}.tif', pack_rows(s, bits, big, predictor), bits, 1, photometric, big,
               compression, predictor)
    if bits < 8:
        scale = {2: 85, 4: 17}[bits]
        g = (s.astype(np.int64) * scale).astype(np.uint8)
        if photometric == 0:
            g = 255 - g
        assert np.array_equal(read_pil(name), g), name
        emit(name, 0, IE24RGB, gray3(g))
        return
    got = read(name)
    assert np.array_equal(got, s), name
    if bits == 16:
        v = got.astype(np.uint16) if photometric == 1 else (65535 - got).astype(np.uint16)
        emit(name, 1, IE16G, v.astype('<u2'))
        emit(name, 0, IE24RGB, gray3((v >> 8).astype(np.uint8)))
        return
    g = got if photometric == 1 else 255 - got
    emit(name, 1, IE8G, g)
    emit(name, 0, IE24RGB, gray3(g))


def case_bilevel(name, photometric, compression=1):
    s = rng.integers(0, 2, size=(H, W), dtype=np.uint8)
    write_tiff(f'{out}/{name}.tif', pack_rows(s, 1), 1, 1, photometric, compression=compression)
    white = s if photometric == 1 else 1 - s
    assert np.array_equal(read_pil(name).astype(np.uint8), white), name
    emit(name, 1, IE1G, np.packbits(white, axis=1))


def case_rgb(name, spp=3, extra=None, bits=8, big=False, compression=1, predictor=1, premultiplied=False):
    hi = (1 << bits) - 1
    s = rng.integers(0, hi + 1, size=(H, W, spp), dtype=np.uint16 if bits == 16 else np.uint8)
    if premultiplied:
        # Mostly sound premultiplied data, with a few colours above their
        # alpha as rounding or mislabelled data produce them.
        s[..., :3] = (s[..., :3].astype(np.int64) * s[..., 3:4] // hi).astype(s.dtype)
        s[0, 0] = [200, 10, 10, 100]
        s[0, 1] = [50, 50, 50, 0]
    write_tiff(f'{out}/{name}.tif', pack_rows(s.reshape(H, -1), bits, big, predictor), bits, spp, 2, big,
               compression, predictor, extra=extra)
    got = read(name)
    assert np.array_equal(got, s), name
    rgb8 = (got[..., :3] >> 8).astype(np.uint8) if bits == 16 else got[..., :3].astype(np.uint8)
    alpha = None
    if spp == 4:
        alpha = (got[..., 3] >> 8).astype(np.uint8) if bits == 16 else got[..., 3].astype(np.uint8)
        if extra == [1]:
            a = alpha.astype(np.int64)[..., None]
            un = np.where(a > 0, rgb8.astype(np.int64) * 255 // np.maximum(a, 1), rgb8)
            rgb8 = np.minimum(un, 255).astype(np.uint8)
    if bits == 16 and spp == 3:
        emit(name, 1, IERGB48, got.astype('<u2'))
    emit(name, 0, IE24RGB, rgb8[..., ::-1], alpha)


def case_palette(name, bits, with_alpha=False):
    n = 1 << bits
    cmap = rng.integers(0, 65536, size=(3, n), dtype=np.uint16)
    cmap[:, 0] = [65535, 0, 65535]
    idx = rng.integers(0, n, size=(H, W), dtype=np.uint8)
    if with_alpha:
        a = rng.integers(0, 256, size=(H, W), dtype=np.uint8)
        a[0, 0], a[0, 1] = 0, 255
        s = np.stack([idx, a], axis=2).reshape(H, -1)
        write_tiff(f'{out}/{name}.tif', pack_rows(s, 8), 8, 2, 3, extra=[2], colormap=cmap)
        got = read(name)
        idx2, a2 = got[..., 0], got[..., 1]
    else:
        write_tiff(f'{out}/{name}.tif', pack_rows(idx, bits), bits, 1, 3, colormap=cmap)
        idx2, a2 = (read(name) if bits == 8 else read_pil(name)), None
    assert np.array_equal(idx2, idx), name
    rgb = (cmap[:, idx2] >> 8).astype(np.uint8).transpose(1, 2, 0)
    if bits == 8 and not with_alpha:
        emit(name, 1, IE8P, idx2)
    emit(name, 0, IE24RGB, rgb[..., ::-1], a2)


def case_cmyk(name, bits, big=False, compression=1, predictor=1):
    hi = (1 << bits) - 1
    s = rng.integers(0, hi + 1, size=(H, W, 4), dtype=np.uint16 if bits == 16 else np.uint8)
    write_tiff(f'{out}/{name}.tif', pack_rows(s.reshape(H, -1), bits, big, predictor), bits, 4, 5, big,
               compression, predictor)
    got = read(name)
    assert np.array_equal(got, s), name
    ink = (got >> 8).astype(np.uint8) if bits == 16 else got.astype(np.uint8)
    emit(name, 1, IECMYK, 255 - ink)


def case_lab(name):
    # Colours whose L*a*b* values are known: the 24-bit read must give them back.
    colours = np.array([[255, 255, 255], [0, 0, 0], [255, 0, 0], [0, 255, 0], [0, 0, 255], [128, 128, 128]])
    lab = np.array([[255, 0, 0], [0, 0, 0], [136, 80, 67], [224, -86, 83], [82, 79, -108], [137, 0, 0]])
    pick = rng.integers(0, len(colours), size=(H, W))
    s = lab[pick].astype(np.int8).view(np.uint8).reshape(H, -1)
    write_tiff(f'{out}/{name}.tif', pack_rows(s, 8), 8, 3, 8)
    # 8-bit L*a*b* steps move a channel near 0 by a few levels.
    emit(name, 0, IE24RGB, colours[pick][..., ::-1].astype(np.uint8), tol=8)


def tiffcp(src, dst, *args):
    subprocess.run(['tiffcp', *args, f'{out}/{src}.tif', f'{out}/{dst}.tif'], check=True)


def copy_case(src, dst, *args):
    tiffcp(src, dst, *args)
    for line in [c for c in cases if c.split()[0] == src]:
        name, native = line.split()[:2]
        with open(f'{out}/{src}-{native}.want', 'rb') as f, open(f'{out}/{dst}-{native}.want', 'wb') as g:
            g.write(f.read())
        cases.append(dst + line[len(src):])
    try:
        with open(f'{out}/{src}.alpha', 'rb') as f, open(f'{out}/{dst}.alpha', 'wb') as g:
            g.write(f.read())
    except FileNotFoundError:
        pass
    # libtiff decodes its own copy back to the source samples.
    tiffcp(dst, dst + '_plain', '-c', 'none')
    assert np.array_equal(read(src), read(dst + '_plain')), dst


case_gray('gray8_black0', 8, 1)
case_gray('gray8_white0', 8, 0)
case_gray('gray16_black0_mm', 16, 1, big=True)
case_gray('gray16_white0', 16, 0)
case_gray('gray4', 4, 1)
case_gray('gray2_white0', 2, 0)
case_bilevel('bilevel_white0', 0)
case_bilevel('bilevel_black0', 1)
case_bilevel('bilevel_packbits', 0, compression=32773)
case_rgb('rgb8')
case_rgb('rgb8_packbits', compression=32773)
case_rgb('rgba8_unassociated', 4, [2])
case_rgb('rgba8_associated', 4, [1], premultiplied=True)
case_rgb('rgb16_mm', bits=16, big=True)
case_rgb('rgb8_deflate_predictor', compression=8, predictor=2)
case_rgb('rgb8_deflate32946_predictor', compression=32946, predictor=2)
case_rgb('rgba16_deflate_predictor_mm', 4, [2], bits=16, big=True, compression=32946, predictor=2)
case_gray('gray16_deflate_predictor_mm', 16, 1, big=True, compression=8, predictor=2)
case_palette('palette8', 8)
case_palette('palette4', 4)
case_palette('palette8_alpha', 8, with_alpha=True)
case_cmyk('cmyk8', 8)
case_cmyk('cmyk16_mm_deflate_predictor', 16, big=True, compression=8, predictor=2)
case_lab('lab8')
copy_case('gray16_white0', 'gray16_lzw_predictor', '-c', 'lzw:2')
copy_case('gray16_white0', 'gray16_lzw_predictor_mm', '-c', 'lzw:2', '-B')
copy_case('rgb8', 'rgb8_lzw_predictor_mm', '-c', 'lzw:2', '-B')

print('\n'.join(cases))
