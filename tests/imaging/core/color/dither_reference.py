#!/usr/bin/env python3
"""Independent reference of the 8x8 ordered dither to black and white.

Usage: dither_reference.py IN.ppm OUT.pgm

Reads a binary P6 picture and writes a P5 picture whose pixels are 0 (black)
or 255 (white). Pixel (x, y) takes the matrix entry at row x mod 8, column
y mod 8 of the table below; its level is 64 when red, green and blue are all
at least 251, else the weighted gray (21 R + 71 G + 8 B) div 100 shifted right
by 2; it is white when the level is greater than the entry.
"""
import sys

import numpy as np

MATRIX = np.array([
    [0, 32, 8, 40, 2, 34, 10, 42],
    [48, 16, 56, 24, 50, 18, 58, 26],
    [12, 44, 4, 36, 14, 46, 6, 38],
    [60, 28, 52, 20, 62, 30, 54, 22],
    [3, 35, 11, 43, 1, 33, 9, 41],
    [51, 19, 59, 27, 49, 17, 57, 25],
    [15, 47, 7, 39, 13, 45, 5, 37],
    [63, 31, 55, 23, 61, 29, 53, 21],
], dtype=np.int32)


def read_ppm(path):
    with open(path, 'rb') as f:
        data = f.read()
    fields = []
    pos = 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b'#':
            pos = data.index(b'\n', pos) + 1
            continue
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    if fields[0] != b'P6' or int(fields[3]) != 255:
        raise SystemExit('expected an 8-bit P6 picture')
    w, h = int(fields[1]), int(fields[2])
    pixels = np.frombuffer(data, dtype=np.uint8, count=w * h * 3, offset=pos + 1)
    return pixels.reshape(h, w, 3).astype(np.int32)


def main():
    rgb = read_ppm(sys.argv[1])
    h, w, _ = rgb.shape
    r, g, b = rgb[..., 0], rgb[..., 1], rgb[..., 2]
    gray = (21 * r + 71 * g + 8 * b) // 100
    level = np.where((r >= 251) & (g >= 251) & (b >= 251), 64, gray >> 2)
    ys, xs = np.mgrid[0:h, 0:w]
    entry = MATRIX[xs % 8, ys % 8]
    out = np.where(level > entry, 255, 0).astype(np.uint8)
    with open(sys.argv[2], 'wb') as f:
        f.write(b'P5\n%d %d\n255\n' % (w, h))
        f.write(out.tobytes())


if __name__ == '__main__':
    main()
