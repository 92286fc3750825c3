#!/usr/bin/python3
# Independent reference for the magic wand: the matching pixels, their
# 4-connected component around the seed (scipy.ndimage.label) and its 3x3
# dilation. One case per input line:
#   mode W H X Y TOLERANCE DILATE r g b r g b ...   (mode: fill or global)
# One output line per case: W*H characters, '1' selected, row by row.
import sys

import numpy as np
from scipy import ndimage

for line in sys.stdin:
    f = line.split()
    if not f:
        continue
    mode = f[0]
    w, h, x, y, tol, dilate = (int(v) for v in f[1:7])
    rgb = np.array([int(v) for v in f[7:]], dtype=np.int32).reshape(h, w, 3)
    seed = rgb[y, x]
    match = np.all(np.abs(rgb - seed) <= tol, axis=2)
    if mode == "fill":
        labels, _ = ndimage.label(match)  # default structure: 4-connectivity
        region = labels == labels[y, x]
        if dilate:
            region = ndimage.binary_dilation(region, structure=np.ones((3, 3), bool))
    else:
        region = match
    print("".join("1" if v else "0" for v in region.ravel()))
