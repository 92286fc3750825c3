#!/usr/bin/env python3
"""Golden values for the pixel-format conversion tests.

Builds one 7 x 3 picture in each of the ten pixel formats and converts it to
every other format with numpy, following the conversion rules of the picture
container, written out again here independently of the C++ code: grey weights 21/71/8, the 16-bit
and float weightings, the 8 x 8 ordered dither, the automatic threshold from
the average colour, the exact-colour palette of the quantizer, and the CMYK
and CIELab formulas. Float samples outside 0..1 are clamped (NaN is black).
CIELab is also compared with scikit-image, whose values this script writes
next to the golden table.

Writes conv_golden.inc beside this script. Run with a Python that has numpy
and scikit-image (Debian: python3-numpy, python3-skimage):
    /usr/bin/python3 tests/imaging/core/color/make_conv_golden.py
"""

import os
import warnings

import numpy as np

W, H = 7, 3
FORMATS = ["ieNone", "ie1g", "ie8p", "ie8g", "ie16g", "ie24RGB", "ie32f", "ieCMYK", "ieRGB48", "ieCIELab", "ie32RGB"]
ie1g, ie8p, ie8g, ie16g, ie24RGB, ie32f, ieCMYK, ieRGB48, ieCIELab, ie32RGB = range(1, 11)
WR, WG, WB = 21, 71, 8

BAYER = np.array([
    [0, 32, 8, 40, 2, 34, 10, 42],
    [48, 16, 56, 24, 50, 18, 58, 26],
    [12, 44, 4, 36, 14, 46, 6, 38],
    [60, 28, 52, 20, 62, 30, 54, 22],
    [3, 35, 11, 43, 1, 33, 9, 41],
    [51, 19, 59, 27, 49, 17, 57, 25],
    [15, 47, 7, 39, 13, 45, 5, 37],
    [63, 31, 55, 23, 61, 29, 53, 21],
])

# ---------------------------------------------------------------------------
# The source pictures, as sample arrays of shape (H, W[, channels]).

SRC = {}
SRC[ie1g] = np.array([[1, 0, 1, 0, 1, 1, 0],
                      [0, 1, 1, 1, 0, 0, 1],
                      [1, 1, 0, 0, 0, 1, 1]], dtype=np.uint8)
i = np.arange(256)
PALETTE_BGR = np.stack([(i * 37 + 5) % 256, (i * 91 + 7) % 256, (i * 53 + 11) % 256], axis=1).astype(np.uint8)
PALETTE_BGR[255] = (255, 255, 255)
PALETTE_BGR[0] = (0, 0, 0)
SRC[ie8p] = np.array([[0, 1, 2, 255, 17, 128, 64],
                      [200, 3, 99, 254, 31, 77, 250],
                      [5, 6, 7, 8, 9, 10, 11]], dtype=np.uint8)
SRC[ie8g] = np.array([[0, 1, 2, 127, 128, 254, 255],
                      [53, 64, 100, 200, 250, 251, 252],
                      [3, 4, 5, 10, 30, 90, 180]], dtype=np.uint8)
SRC[ie16g] = np.array([[0, 1, 255, 256, 32896, 65535, 65280],
                       [1000, 1500, 2000, 500, 257, 12345, 40000],
                       [65534, 128, 511, 768, 30000, 50000, 64256]], dtype=np.uint16)
SRC[ie24RGB] = np.array([  # blue, green, red
    [[0, 0, 255], [255, 255, 255], [0, 0, 0], [251, 251, 251], [255, 255, 250], [128, 128, 128], [0, 255, 0]],
    [[255, 0, 0], [10, 20, 30], [200, 100, 50], [1, 2, 3], [250, 250, 250], [17, 170, 255], [99, 0, 199]],
    [[30, 60, 90], [0, 0, 255], [254, 1, 128], [64, 64, 64], [5, 250, 5], [12, 11, 10], [255, 255, 255]],
], dtype=np.uint8)
SRC[ie32f] = np.array([[0.0, 1.0, 0.5, 1.5, -0.1, np.nan, np.inf],
                       [-np.inf, 0.999, 1e-8, 0.25, 0.75, 0.1, 0.9],
                       [1.0 / 3.0, 2.0 / 3.0, 2.0, -1.0, 0.0039, 0.996, 0.5001]], dtype=np.float32)
SRC[ieCMYK] = np.array([  # stored bytes, 255 = no ink
    [[255, 255, 255, 255], [0, 0, 0, 0], [255, 255, 255, 0], [0, 255, 255, 255], [255, 0, 255, 255],
     [255, 255, 0, 255], [128, 128, 128, 128]],
    [[200, 100, 50, 255], [10, 20, 30, 40], [255, 255, 255, 1], [1, 2, 3, 254], [90, 180, 45, 200],
     [255, 128, 0, 64], [33, 66, 99, 132]],
    [[250, 250, 250, 250], [17, 34, 51, 68], [240, 15, 120, 180], [0, 0, 0, 255], [128, 64, 32, 16],
     [77, 88, 99, 111], [254, 253, 252, 251]],
], dtype=np.uint8)
SRC[ieRGB48] = np.array([  # red, green, blue words
    [[65535, 65535, 65535], [0, 0, 0], [65535, 0, 0], [32768, 32768, 32768], [256, 255, 257],
     [65280, 65279, 65281], [1000, 20000, 60000]],
    [[12345, 54321, 11111], [65535, 65535, 64256], [64256, 64256, 64256], [0, 65535, 0], [0, 0, 65535],
     [40000, 30000, 20000], [5, 6, 7]],
    [[22222, 33333, 44444], [65000, 100, 32000], [300, 600, 900], [50000, 50000, 49999], [16384, 32768, 49152],
     [1, 65534, 2], [60000, 60000, 60000]],
], dtype=np.uint16)
SRC[ieCIELab] = np.array([  # L byte, a and b as signed bytes
    [[255, 0, 0], [0, 0, 0], [128, 0, 0], [128, 100, -100], [200, -128, 127], [136, 80, 67], [224, -86, 83]],
    [[82, 79, -107], [10, 5, -5], [250, -3, 4], [64, 20, 30], [180, -40, -40], [100, 127, 127], [30, -128, -128]],
    [[140, 0, 0], [200, 10, 90], [60, 60, 0], [254, 1, 1], [1, 1, 1], [170, -20, 60], [90, 40, -60]],
], dtype=np.int16)
SRC[ie32RGB] = np.array([  # blue, green, red, fourth byte
    [[0, 0, 255, 0], [255, 255, 255, 255], [0, 0, 0, 7], [128, 64, 32, 200], [251, 252, 253, 1],
     [10, 10, 10, 10], [255, 0, 255, 128]],
    [[90, 80, 70, 60], [1, 2, 3, 4], [200, 200, 200, 0], [0, 128, 255, 255], [33, 44, 55, 66],
     [250, 249, 248, 247], [12, 34, 56, 78]],
    [[100, 150, 200, 250], [5, 5, 5, 5], [60, 90, 120, 150], [254, 0, 1, 2], [77, 66, 55, 44],
     [0, 255, 0, 255], [11, 22, 33, 44]],
], dtype=np.uint8)

# ---------------------------------------------------------------------------
# Formulas


def trunc_i(x):
    return np.trunc(x).astype(np.int64)


def unit(v):
    """Float sample clamped to 0..1, NaN as 0."""
    v = v.astype(np.float64)
    v = np.where(np.isnan(v), 0.0, v)
    return np.clip(v, 0.0, 1.0)


def gray8(r, g, b):
    return (r.astype(np.int64) * WR + g.astype(np.int64) * WG + b.astype(np.int64) * WB) // 100


def gray16_of8(r, g, b):
    return (r.astype(np.int64) * 54484 + g.astype(np.int64) * 183241 + b.astype(np.int64) * 19275) // 1000


def grayf_of8(r, g, b):
    r, g, b = (c.astype(np.float64) for c in (r, g, b))
    return ((r * 0.2126 + g * 0.7152 + b * 0.0722) / 255).astype(np.float32)


def cmyk_to_rgb(k4):
    c, m, y, k = (k4[..., j].astype(np.int64) for j in range(4))
    return c * k // 255, m * k // 255, y * k // 255


def rgb_to_cmyk(r, g, b):
    r, g, b = (x.astype(np.int64) for x in (r, g, b))
    k = np.maximum(np.maximum(r, g), b)
    k = np.where(k == 0, 1, k)
    return np.stack([r * 255 // k, g * 255 // k, b * 255 // k, k], axis=-1)


def linearise(c):
    return np.where(c <= 0.03928, c / 12.92, ((c + 0.055) / 1.055) ** 2.4)


def lab_f(t):
    return np.where(t > 0.008856, np.cbrt(t), 7.787 * t + 16.0 / 116.0)


def rgb_to_lab(r, g, b):
    r, g, b = (linearise(x.astype(np.float64) / 255.0) for x in (r, g, b))
    x = (0.412453 * r + 0.35758 * g + 0.180423 * b) / 0.95047
    y = 0.212671 * r + 0.71516 * g + 0.072169 * b
    z = (0.019334 * r + 0.119193 * g + 0.950227 * b) / 1.088883
    fx, fy, fz = lab_f(x), lab_f(y), lab_f(z)
    L = np.where(y > 0.008856, 116.0 * fy - 16.0, 903.3 * y)

    # Truncation toward zero, after moving 1e-9 away from zero: the double
    # sums fall a hair short of the whole values they stand for (white gives
    # L 254.99999...), which plain truncation would turn into a lost level.
    def edge_trunc(v):
        return trunc_i(v + np.where(v >= 0, 1e-9, -1e-9))

    return (np.clip(edge_trunc(L * 2.55), 0, 255), np.clip(edge_trunc(500.0 * (fx - fy)), -128, 127),
            np.clip(edge_trunc(200.0 * (fy - fz)), -128, 127))


def lab_f_inv(f):
    f3 = f * f * f
    return np.where(f3 > 0.008856, f3, (f - 0.13793103448) / 7.787)


def gamma_byte(c):
    with np.errstate(invalid="ignore"):
        c = np.where(c <= 0.0031308, 12.92 * c, 1.055 * np.power(np.maximum(c, 0.0), 0.41666666667) - 0.055)
    return np.clip(np.rint(c * 255.0), 0, 255).astype(np.int64)


def lab_to_rgb(L, a, b):
    L = L.astype(np.float64) * 0.39215686275
    fy = (L + 16.0) / 116.0
    fx = fy + a.astype(np.float64) / 500.0
    fz = fy - b.astype(np.float64) / 200.0
    x, y, z = lab_f_inv(fx) * 0.95047, lab_f_inv(fy), lab_f_inv(fz) * 1.08883
    r = 3.2406 * x - 1.5372 * y - 0.4986 * z
    g = -0.9689 * x + 1.8758 * y + 0.0415 * z
    bb = 0.0557 * x - 0.204 * y + 1.057 * z
    return gamma_byte(r), gamma_byte(g), gamma_byte(bb)


# ---------------------------------------------------------------------------
# The conversion table: every format to an (r, g, b) triple of bytes, which is
# the ie24RGB row of the table, and the direct rows to grey targets.


def to_rgb(fmt, v):
    if fmt == ie1g:
        x = v.astype(np.int64) * 255
        return x, x, x
    if fmt == ie8p:
        p = PALETTE_BGR[v].astype(np.int64)
        return p[..., 2], p[..., 1], p[..., 0]
    if fmt == ie8g:
        x = v.astype(np.int64)
        return x, x, x
    if fmt == ie16g:  # display range empty: the high byte
        x = v.astype(np.int64) >> 8
        return x, x, x
    if fmt == ie24RGB:
        return v[..., 2].astype(np.int64), v[..., 1].astype(np.int64), v[..., 0].astype(np.int64)
    if fmt == ie32f:
        x = trunc_i(unit(v) * 255.0)
        return x, x, x
    if fmt == ieCMYK:
        return cmyk_to_rgb(v)
    if fmt == ieRGB48:
        return tuple(v[..., j].astype(np.int64) >> 8 for j in range(3))
    if fmt == ieCIELab:
        return lab_to_rgb(v[..., 0], v[..., 1], v[..., 2])
    if fmt == ie32RGB:
        return v[..., 2].astype(np.int64), v[..., 1].astype(np.int64), v[..., 0].astype(np.int64)
    raise ValueError(fmt)


def direct(src, dst, v):
    """Target samples of the table's direct rows; None where the table goes
    through ie24RGB."""
    if dst == ie24RGB:
        r, g, b = to_rgb(src, v)
        return np.stack([b, g, r], axis=-1).astype(np.uint8)
    if dst == ie32RGB and src in (ie1g, ie8p, ie8g, ie16g, ie24RGB, ie32f, ieCMYK, ieRGB48, ieCIELab):
        r, g, b = to_rgb(src, v)
        return np.stack([b, g, r, np.full_like(r, 255)], axis=-1).astype(np.uint8)
    if src == ie1g:
        x = v.astype(np.int64)
        return {ie8p: x, ie8g: x * 255, ie16g: x * 65535, ie32f: x.astype(np.float32),
                ieRGB48: np.stack([x * 65535] * 3, axis=-1)}.get(dst)
    if src == ie8p:
        p = PALETTE_BGR[v].astype(np.int64)
        r, g, b = p[..., 2], p[..., 1], p[..., 0]
        return {ie8g: gray8(r, g, b), ie16g: gray16_of8(r, g, b), ie32f: grayf_of8(r, g, b),
                ieRGB48: np.stack([r * 257, g * 257, b * 257], axis=-1)}.get(dst)
    if src == ie8g:
        x = v.astype(np.int64)
        return {ie8p: x, ie16g: x * 257, ie32f: (x / 255.0).astype(np.float32),
                ieRGB48: np.stack([x * 257] * 3, axis=-1)}.get(dst)
    if src == ie16g:
        x = v.astype(np.int64)
        return {ie8p: x >> 8, ie8g: x >> 8, ie32f: (x / 65535.0).astype(np.float32),
                ieRGB48: np.stack([x] * 3, axis=-1)}.get(dst)
    if src == ie24RGB:
        r, g, b = to_rgb(src, v)
        if dst == ieCMYK:
            return rgb_to_cmyk(r, g, b)
        if dst == ieCIELab:
            return np.stack(rgb_to_lab(r, g, b), axis=-1)
        return {ie8g: gray8(r, g, b), ie16g: gray16_of8(r, g, b), ie32f: grayf_of8(r, g, b),
                ieRGB48: np.stack([r * 257, g * 257, b * 257], axis=-1)}.get(dst)
    if src == ie32f:
        u = unit(v)
        return {ie8p: trunc_i(u * 255.0), ie8g: trunc_i(u * 255.0), ie16g: trunc_i(u * 65535.0),
                ieRGB48: np.stack([trunc_i(u * 65535.0)] * 3, axis=-1)}.get(dst)
    if src == ieRGB48:
        R, G, B = (v[..., j].astype(np.int64) for j in range(3))
        if dst == ie8g:
            return gray8(R >> 8, G >> 8, B >> 8)
        if dst == ie16g:
            return (R * 212 + G * 713 + B * 75) // 1000
        if dst == ie32f:
            Rf, Gf, Bf = (x.astype(np.float64) for x in (R, G, B))
            return ((Rf * 0.2126 / 256 + Gf * 0.7152 / 256 + Bf * 0.0722 / 256) / 255).astype(np.float32)
    return None


def is_gray_picture(r, g, b):
    return bool(np.all(r == g) and np.all(g == b))


def to_palette(src, v):
    """ie8p target: (indexes, 256-entry palette of (b, g, r))."""
    palette = np.zeros((256, 3), dtype=np.int64)
    if src == ie1g:
        palette[1] = (255, 255, 255)
        return v.astype(np.int64), palette
    if src in (ie8g, ie16g, ie32f):
        palette[:] = np.arange(256)[:, None]
        return direct(src, ie8p, v), palette
    # Colour sources: the quantizer on the ie24RGB picture with 256 colours.
    r, g, b = to_rgb(src, v)
    if is_gray_picture(r, g, b):
        palette[:] = np.arange(256)[:, None]  # Trunc(256 / 256 * i)
        return r * 256 // 256, palette
    colours = []
    index = np.zeros((H, W), dtype=np.int64)
    for y in range(H):
        for x in range(W):
            c = (int(b[y, x]), int(g[y, x]), int(r[y, x]))
            if c not in colours:
                colours.append(c)
            index[y, x] = colours.index(c)
    assert len(colours) <= 256
    palette[:len(colours)] = colours
    return index, palette


def to_bw(src, v, method):
    r, g, b = to_rgb(src, v)
    grey = gray8(r, g, b)
    if method == 0:
        e = np.where((r >= 251) & (g >= 251) & (b >= 251), 64, grey >> 2)
        ys, xs = np.mgrid[0:H, 0:W]
        return (e > BAYER[xs % 8, ys % 8]).astype(np.int64)
    # Automatic: the grey level of the average colour, each row's sums
    # divided by the width, the totals by the height.
    avg = [int(np.sum(np.sum(c, axis=1) // W) // H) for c in (r, g, b)]
    threshold = (avg[0] * WR + avg[1] * WG + avg[2] * WB) // 100
    return (grey >= threshold).astype(np.int64)


def convert(src, dst, method=1):
    v = SRC[src]
    palette = None
    if src == dst:
        out = v
        if dst == ie8p:
            palette = PALETTE_BGR.astype(np.int64)
    elif dst == ie1g:
        out = to_bw(src, v, method)
    elif dst == ie8p:
        out, palette = to_palette(src, v)
    else:
        out = direct(src, dst, v)
        if out is None:  # through ie24RGB
            rgb = direct(src, ie24RGB, v)
            out = direct(ie24RGB, dst, rgb)
    return out, palette


# ---------------------------------------------------------------------------
# Packing into row bytes


def pack(fmt, a):
    rows = []
    for y in range(H):
        if fmt == ie1g:
            bits = np.zeros(8 * ((W + 7) // 8), dtype=np.uint8)
            bits[:W] = a[y]
            rows.append(np.packbits(bits).tobytes())
        elif fmt in (ie8p, ie8g):
            rows.append(np.asarray(a[y], dtype=np.uint8).tobytes())
        elif fmt == ie16g:
            rows.append(np.asarray(a[y], dtype="<u2").tobytes())
        elif fmt == ie32f:
            rows.append(np.asarray(a[y], dtype="<f4").tobytes())
        elif fmt == ieRGB48:
            rows.append(np.asarray(a[y], dtype="<u2").tobytes())
        elif fmt == ieCIELab:
            rows.append(np.asarray(a[y], dtype=np.int64).astype(np.int8).tobytes())
        else:
            rows.append(np.asarray(a[y], dtype=np.uint8).tobytes())
    return b"".join(rows)


def hexs(b):
    return '"' + b.hex() + '"'


# ---------------------------------------------------------------------------
# scikit-image CIELab references


def skimage_lab():
    from skimage import color
    vals = [0, 7, 10, 11, 50, 128, 200, 255]
    grid = np.array([(r, g, b) for r in vals for g in vals for b in vals], dtype=np.float64)
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        lab = color.rgb2lab(grid[None, :, :] / 255.0)[0]
        # The inverse from the byte form of each colour's CIELab value.
        lab_bytes = np.stack([np.clip(np.rint(lab[:, 0] * 2.55), 0, 255), np.clip(np.rint(lab[:, 1]), -128, 127),
                              np.clip(np.rint(lab[:, 2]), -128, 127)], axis=1)
        back = color.lab2rgb(np.stack([lab_bytes[:, 0] / 2.55, lab_bytes[:, 1], lab_bytes[:, 2]], axis=1)[None])[0]
    forward = [(int(c[0]), int(c[1]), int(c[2]), l[0] * 2.55, l[1], l[2]) for c, l in zip(grid, lab)]
    inverse = [(int(l[0]), int(l[1]), int(l[2]), c[0] * 255, c[1] * 255, c[2] * 255) for l, c in zip(lab_bytes, back)]
    return forward, inverse


def main():
    out = ["// Generated by make_conv_golden.py from the conversion rules; do not edit.",
           "// Sources: one 7 x 3 picture per format, rows packed without padding.",
           "// Golden: source, target, BlackWhiteMethod, packed target rows, palette (ie8p targets).",
           "",
           "static const TConvSource kConvSources[] = {"]
    for f in range(1, 11):
        pal = hexs(PALETTE_BGR.astype(np.uint8).tobytes()) if f == ie8p else '""'
        out.append(f"    {{{FORMATS[f]}, {hexs(pack(f, SRC[f]))}, {pal}}},")
    out.append("};")
    out.append("")
    out.append("static const TConvGolden kConvGolden[] = {")
    for s in range(1, 11):
        for d in range(1, 11):
            methods = [1, 0] if (d == ie1g and s != ie1g) else [1]
            for m in methods:
                a, pal = convert(s, d, m)
                p = hexs(pal.astype(np.uint8).tobytes()) if pal is not None else '""'
                out.append(f"    {{{FORMATS[s]}, {FORMATS[d]}, {m}, {hexs(pack(d, a))}, {p}}},")
    out.append("};")
    out.append("")
    forward, inverse = skimage_lab()
    out.append("// scikit-image: sRGB bytes (R, G, B) -> L * 2.55, a, b.")
    out.append("static const TLabReference kLabForward[] = {")
    for r in forward:
        out.append("    {%d, %d, %d, %.6f, %.6f, %.6f}," % r)
    out.append("};")
    out.append("// scikit-image: CIELab bytes (L, a, b) -> R * 255, G * 255, B * 255.")
    out.append("static const TLabReference kLabInverse[] = {")
    for r in inverse:
        out.append("    {%d, %d, %d, %.6f, %.6f, %.6f}," % r)
    out.append("};")
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "conv_golden.inc")
    with open(path, "w") as fh:
        fh.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
