#!/usr/bin/python3
"""Independent reference of the selection polygon fill.

Reads cases from standard input, one per line:
    W H x y x y ... [| x y x y ...]
('|' separates polygons of one case) and prints for each case H lines of
'#'/'.' followed by an empty line.

Rule: pixel (c, r) of the W x H plane is selected when some polygon contains
it by the even-odd rule, tested along the top edge of row r: every side that
spans row r (upper end included, lower end excluded) crosses it at
x = x_upper + (r - y_upper) * dx / dy, rounded to the nearest column with
exact halves towards x_upper, and the pixel lies inside when an odd number of
crossings is at or left of column c -- that is, the point (c + 0.5, r) is
inside the polygon. Evaluated per pixel with numpy; no scan-line state.
"""
import sys

import numpy as np


def round_half_towards_zero(n, d):
    q, rem = divmod(abs(n), d)
    if 2 * rem > d:
        q += 1
    return q if n >= 0 else -q


def polygon_plane(w, h, pts):
    cols = np.arange(w, dtype=np.int64)
    plane = np.zeros((h, w), dtype=bool)
    n = len(pts)
    for i in range(n):
        (xa, ya), (xb, yb) = pts[i], pts[(i + 1) % n]
        if ya == yb:
            continue
        (xu, yu), (xl, yl) = ((xa, ya), (xb, yb)) if ya < yb else ((xb, yb), (xa, ya))
        for r in range(max(yu, 0), min(yl, h)):
            xr = xu + round_half_towards_zero((r - yu) * (xl - xu), yl - yu)
            plane[r] ^= cols >= xr
    return plane


def main():
    out = []
    for line in sys.stdin:
        tokens = line.split()
        if not tokens:
            continue
        w, h = int(tokens[0]), int(tokens[1])
        union = np.zeros((h, w), dtype=bool)
        for chunk in " ".join(tokens[2:]).split("|"):
            v = [int(t) for t in chunk.split()]
            pts = list(zip(v[0::2], v[1::2]))
            if pts:
                union |= polygon_plane(w, h, pts)
        for row in union:
            out.append("".join("#" if b else "." for b in row))
        out.append("")
    sys.stdout.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
