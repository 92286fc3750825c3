#!/usr/bin/python3
# Exact-rational oracle of the view's coordinate tables. For each argument
# "zoom:imagewidth:length" it prints one line per table:
#   Z <zoomed-to-column entries 0..length-1>
#   B <column-to-zoomed entries 0..length-1>
# Above 100 % the column under zoomed x is floor(x * 100 / zoom) and each
# column starts at its first zoomed x; at or below 100 % column c lies at
# floor(c * zoom / 100) and a zoomed x takes the first column landing on it.
# Columns are clamped to the last image column. Fractions keep every
# boundary exact.
import sys
from fractions import Fraction
from math import floor

for arg in sys.argv[1:]:
    zs, ws, ns = arg.split(":")
    zoom, width, n = Fraction(zs), int(ws), int(ns)
    last = max(width - 1, 0)
    z2b, b2z = [], []
    if zoom > 100:
        for z in range(n):
            z2b.append(min(floor(Fraction(z * 100) / zoom), last))
        c, z = 0, 0
        while len(b2z) < n:
            while floor(Fraction(z * 100) / zoom) < c:
                z += 1
            b2z.append(z)
            c += 1
    else:
        b2z = [floor(c * zoom / 100) for c in range(n)]
        first = {}
        c = 0
        while len(first) < n and c < 100 * n + 100:
            first.setdefault(floor(c * zoom / 100), c)
            c += 1
        z2b = [min(first.get(z, 0), last) for z in range(n)]
    print("Z " + " ".join(map(str, z2b)))
    print("B " + " ".join(map(str, b2z)))
