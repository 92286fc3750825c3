#!/usr/bin/python3
"""Reference results of the 38 blend operations, written from their table.

Usage: blend_reference.py OUT

The grid is 16 x 16 pairs of colours (source i, destination j) built from
the values in VALUES, each channel from a different place of the list so
that the three channels of a colour differ. OUT receives one line per
operation and pair: "op i j" followed by blue, green and red of the source,
of the destination and of the result.
"""
import math
import sys

import numpy as np

VALUES = [0, 1, 2, 64, 100, 126, 127, 128, 129, 130, 160, 200, 253, 254, 255, 77]
N = len(VALUES)


def colour(index, shifts):
    """(blue, green, red) of grid entry index."""
    return tuple(VALUES[(index + k) % N] for k in shifts)


SRC = [colour(i, (0, 5, 11)) for i in range(N)]
DST = [colour(j, (0, 3, 7)) for j in range(N)]

# Source and destination samples of every (i, j, channel), as int64 arrays.
S = np.array([[SRC[i] for _ in range(N)] for i in range(N)], dtype=np.int64)
D = np.array([[DST[j] for j in range(N)] for _ in range(N)], dtype=np.int64)

COSINE = np.array([round(64 - 64 * math.cos(i * math.pi / 255)) for i in range(256)], dtype=np.int64)


def clamp(x):
    return np.clip(x, 0, 255)


def safe_div(num, den):
    """Integer division where den may be 0 in lanes whose result is unused."""
    return num // np.where(den == 0, 1, den)


def soft_light(s, d):
    a, b = s / 255.0, d / 255.0
    if a >= 0.5:
        x = math.sqrt(b) * (2 * a - 1) + 2 * b * (1 - a)
    else:
        x = b * b * (1 - 2 * a) + 2 * a * b
    return int(x * 255)


def channel_op(op, s, d):
    if op == 0:
        return s
    if op == 1:
        return clamp(d + s)
    if op == 2:
        return np.abs(d - s)
    if op == 3:
        return clamp(d // np.maximum(s, 1))
    if op == 4:
        return (s * d) >> 8
    if op == 5:
        return d | s
    if op == 6:
        return d & s
    if op == 7:
        return d ^ s
    if op == 8:
        return np.maximum(d, s)
    if op == 9:
        return np.minimum(d, s)
    if op == 10:
        return (d + s) >> 1
    if op == 11:
        return 255 - (((255 - d) * (255 - s)) >> 8)
    if op == 12:
        return 255 - np.abs(255 - s - d)
    if op == 13:
        return (d + s - (s * d) // 128) & 0xFF
    if op == 14:
        return np.where(d < 128, (s * d) >> 7, 255 - (((255 - s) * (255 - d)) >> 7))
    if op == 15:
        return np.where(s < 128, (s * d) >> 7, 255 - (((255 - s) * (255 - d)) >> 7))
    if op == 16:
        return np.vectorize(soft_light)(s, d)
    if op == 17:
        m = (s * d) >> 8
        c = 255 - (((255 - d) * (255 - s)) >> 8) - m
        return m + ((d * c) >> 8)
    if op == 18:
        return np.where(s == 255, 255, np.minimum(255, safe_div(d * 256, 255 - s)))
    if op == 19:
        return np.where(s == 0, 0, np.maximum(0, 255 - safe_div((255 - d) << 8, s)))
    if op == 20:
        return np.where(d == 255, 255, np.minimum(255, safe_div(s * 256, 255 - d)))
    if op == 21:
        return np.where(d == 0, 0, np.maximum(0, 255 - safe_div((255 - s) << 8, d)))
    if op == 22:
        low = np.where(s == 255, 255, np.minimum(255, safe_div(d * 128, 255 - s)))
        high = np.maximum(0, 255 - safe_div((255 - s) << 7, d))
        return np.where(s + d < 256, low, high)
    if op == 23:
        low = np.where(d == 255, 255, np.minimum(255, safe_div(s * 128, 255 - d)))
        high = np.maximum(0, 255 - safe_div((255 - d) << 7, s))
        return np.where(s + d < 256, low, high)
    if op == 24:
        return np.where(s == 255, 255, np.minimum(255, safe_div(d * d, 255 - s)))
    if op == 25:
        return np.where(d == 255, 255, np.minimum(255, safe_div(s * s, 255 - d)))
    if op == 26:
        return np.where(s == 0, 0, np.maximum(0, 255 - safe_div((255 - d) ** 2, s)))
    if op == 27:
        return np.where(d == 0, 0, np.maximum(0, 255 - safe_div((255 - s) ** 2, d)))
    if op == 28:
        return clamp(d + s - 256)
    if op == 29:
        return np.minimum(255, COSINE[s] + COSINE[d])
    if op == 30:
        return clamp(d + 2 * s - 256)
    raise ValueError(op)


# --- HSL, from the colour model's rules -----------------------------------


def rgb_to_hsl(r8, g8, b8):
    r, g, b = r8 / 255.0, g8 / 255.0, b8 / 255.0
    mx, mn = max(r, g, b), min(r, g, b)
    l = (mx + mn) / 2
    if mx == mn:
        return 0.0, 0.0, l
    delta = mx - mn
    s = delta / (2 - mx - mn) if l >= 0.5 else delta / (mx + mn)
    if mx == r:
        h = (g - b) / delta
    elif mx != g:
        h = 4 + (r - g) / delta
    else:
        h = 2 + (b - r) / delta
    h /= 6
    if h < 0:
        h += 1
    return h, s, l


def hue_to_rgb(x, t2, t1):
    if x < 0:
        x += 1
    elif x > 1:
        x -= 1
    if 6 * x < 1:
        return t1 + (t2 - t1) * 6 * x
    if 2 * x < 1:
        return t2
    if 3 * x < 2:
        return t1 + (t2 - t1) * (2.0 / 3 - x) * 6
    return t1


def to_byte(v):
    return min(255, max(0, round(v * 255)))  # round() takes halves to even


def hsl_to_rgb(h, s, l):
    if h < 0:
        h += 1
    elif h > 1:
        h -= 1
    s = min(max(s, 0.0), 1.0)
    l = min(max(l, 0.0), 1.0)
    if s == 0:
        v = to_byte(l)
        return v, v, v
    t2 = s + l - s * l if l > 0.5 else l * (1 + s)
    t1 = 2 * l - t2
    return (to_byte(hue_to_rgb(h + 1.0 / 3, t2, t1)), to_byte(hue_to_rgb(h, t2, t1)),
            to_byte(hue_to_rgb(h - 1.0 / 3, t2, t1)))


def pixel_op(op, src, dst):
    """Operations 31..37 on (blue, green, red) triples."""
    b, g, r = dst
    if op == 31:
        return b, g, src[2]
    if op == 32:
        return b, src[1], r
    if op == 33:
        return src[0], g, r
    sh, ss, sl = rgb_to_hsl(src[2], src[1], src[0])
    dh, ds, dl = rgb_to_hsl(r, g, b)
    h, s, l = {34: (sh, ds, dl), 35: (dh, ss, dl), 36: (sh, ss, dl), 37: (sh, ds, sl)}[op]
    rr, gg, bb = hsl_to_rgb(h, s, l)
    return bb, gg, rr


def main():
    lines = []
    for op in range(38):
        if op <= 30:
            out = channel_op(op, S, D)
            results = [[tuple(int(v) for v in out[i, j]) for j in range(N)] for i in range(N)]
        else:
            results = [[pixel_op(op, SRC[i], DST[j]) for j in range(N)] for i in range(N)]
        for i in range(N):
            for j in range(N):
                fields = (op, i, j) + SRC[i] + DST[j] + tuple(results[i][j])
                lines.append(" ".join(str(v) for v in fields))
    with open(sys.argv[1], "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
