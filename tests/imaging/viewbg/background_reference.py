#!/usr/bin/python3
"""Reference pictures of the view backgrounds, drawn with Pillow and numpy
from the rules of each style, for comparison with the C++ painter.

usage: background_reference.py CASES.json OUTDIR
Every case becomes OUTDIR/<name>.ppm. A picture starts as the junk pattern
below (what a back buffer held before), so pixels the style must not touch
keep it and pixels it must define lose it.
"""
import json
import math
import sys

import numpy as np
from PIL import Image


def junk(w, h):
    y, x = np.mgrid[0:h, 0:w]
    return np.stack([(x * 53 + y * 17) & 255, (x * 11 + y * 71 + 40) & 255, (x * y + 7) & 255],
                    axis=-1).astype(np.uint8)


class Painter:
    def __init__(self, case):
        self.c = case
        self.w, self.h = case["width"], case["height"]
        self.px = junk(self.w, self.h)
        self.sys = {int(k): v for k, v in case["syscolors"].items()}

    # --- colours: TColor values hold red in the low byte; a high byte of
    # 0xFF names a system colour by its low byte.
    def resolve(self, color):
        color &= 0xFFFFFFFF
        if color >> 24 == 0xFF:
            color = self.sys[color & 0xFF]
        return (color & 255, (color >> 8) & 255, (color >> 16) & 255)

    @staticmethod
    def complement(color):
        return ~color & 0xFFFFFF

    # --- pixels, always clipped to the picture
    def put(self, x, y, rgb):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y, x] = rgb

    def fill(self, l, t, r, b, rgb):
        l, t, r, b = max(l, 0), max(t, 0), min(r, self.w), min(b, self.h)
        if l < r and t < b:
            self.px[t:b, l:r] = rgb

    # The 8 x 8 hatch cells of the platform, anchored at the picture's origin.
    @staticmethod
    def hatch_on(style, x, y):
        x, y = x % 8, y % 8
        horiz, vert = y == 3, x == 4
        fdiag, bdiag = x == y, x + y == 7
        return {"horizontal": horiz, "vertical": vert, "fdiagonal": fdiag, "bdiagonal": bdiag,
                "cross": horiz or vert, "diagcross": fdiag or bdiag}[style]

    def fill_brush(self, l, t, r, b, rgb, style):
        if style == "solid":
            self.fill(l, t, r, b, rgb)
        elif style != "clear":
            for y in range(max(t, 0), min(b, self.h)):
                for x in range(max(l, 0), min(r, self.w)):
                    if self.hatch_on(style, x, y):
                        self.px[y, x] = rgb

    def hatched(self, l, t, r, b, color, style):
        self.fill(l, t, r, b, (255, 255, 255))  # defined gaps between the lines
        self.fill_brush(l, t, r, b, self.resolve(color), style)

    # --- chessboards
    def chess_rows(self, l, t, w, h, color, s):
        """Written into the 24-bit rows: the first square s + 1 pixels, then s."""
        a, b = self.resolve(color), self.resolve(self.complement(color))

        def square(i):
            return 0 if i <= s else 1 + (i - s - 1) // s

        for y in range(max(t, 0), min(t + h, self.h)):
            for x in range(max(l, 0), min(l + w, self.w)):
                self.px[y, x] = a if (square(x - l) + square(y - t)) % 2 == 0 else b

    def chess_tiles(self, l, t, w, h, color, s, style):
        """s x s tiles from the top-left, the first in the complement, over a
        complement fill."""
        a, b = self.resolve(color), self.resolve(self.complement(color))
        self.fill(l, t, l + w, t + h, b)
        for j, y in enumerate(range(t, t + h, s)):
            for i, x in enumerate(range(l, l + w, s)):
                rgb = b if (i + j) % 2 == 0 else a
                self.fill_brush(x, y, min(x + s, l + w), min(y + s, t + h), rgb, style)

    def chessboard(self, l, t, w, h):
        c = self.c
        s = max(c["chess"], 1)
        if c["target"] and c["brush"] == "solid":
            self.chess_rows(l, t, w, h, c["color"], s)
        else:
            self.chess_tiles(l, t, w, h, c["color"], s, c["brush"])

    # --- the darkening strips beside a picture box
    @staticmethod
    def factor(T, k):
        t = (T - k) / (T / 3)
        return math.exp(-0.1 - t * t / 6)

    def darken(self, x, y, f):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y, x] = [math.trunc(int(v) * f) for v in self.px[y, x]]

    def vert_strip(self, x1, y1, x2, y2):
        T = x2 - x1 + 1
        for k in range(T):
            for y in range(y1 + T, y2 - T + k + 3 + 1):
                self.darken(x1 + k, y, self.factor(T, k))

    def horiz_strip(self, x1, y1, x2, y2):
        T = y2 - y1 + 1
        for k in range(T):
            for x in range(x1 + T, x2 - T + k + 1 + 1):
                self.darken(x, y1 + k, self.factor(T, k))

    # --- the wallpaper, always placed from the picture's origin
    def wallpaper(self, w, h):
        wp = self.c.get("wallpaper")
        if not wp:
            return
        sw, sh = wp["width"], wp["height"]
        src = np.array([[(v & 255, (v >> 8) & 255, (v >> 16) & 255) for v in row] for row in wp["pixels"]],
                       dtype=np.uint8)

        def blit(x0, y0):
            for y in range(sh):
                for x in range(sw):
                    self.put(x0 + x, y0 + y, src[y, x])

        mode = wp["mode"]
        if mode == "normal":
            blit(0, 0)
        elif mode == "stretch":
            for y in range(h):
                for x in range(w):
                    self.put(x, y, src[y * sh // h, x * sw // w])
        elif mode == "tile":
            for y0 in range(0, h, sh):
                for x0 in range(0, w, sw):
                    blit(x0, y0)

    def paint(self):
        c = self.c
        l, t, w, h = c["area"]
        r, b = l + w, t + h
        x1, y1, x2, y2 = c["image"]
        color = c["color"]
        style = c["style"]
        big = x2 - x1 >= 2 and y2 - y1 >= 2
        wall_w, wall_h = w, h
        if c["designing"] and style in ("cropped", "cropshadow", "softshadow"):
            style = "solid"
        if style == "solid":
            self.fill(l, t, r, b, self.resolve(color))
        elif style in ("horizontal", "vertical", "fdiagonal", "bdiagonal", "cross", "diagcross"):
            self.hatched(l, t, r, b, color, style)
        elif style == "chessboard":
            self.chessboard(l, t, w, h)
        elif style == "diagonals":
            assert w == h, "the reference draws diagonals of square areas only"
            self.fill(l, t, r, b, self.resolve(color))
            pen = self.resolve(self.complement(color))
            for i in range(w):  # lines without their end points
                self.put(l + i, t + i, pen)
                self.put(r - i, t + i, pen)
        elif style == "cropped":
            self.fill(l, t, r, b, self.resolve(0xFF00000F))  # the button face
            if big:
                e = c["edge"]
                rl, rt, rr, rb = x1 - e, y1 - e, x2 + e, y2 + e
                # sunken: outer ring shadow / highlight, inner ring dark shadow / light;
                # the lower-right colour wins at the two mixed corners.
                for ul, lr in ((self.sys[16], self.sys[20]), (self.sys[21], self.sys[22])):
                    self.fill(rl, rt, rl + 1, rb, self.resolve(ul))
                    self.fill(rl, rt, rr, rt + 1, self.resolve(ul))
                    self.fill(rr - 1, rt, rr, rb, self.resolve(lr))
                    self.fill(rl, rb - 1, rr, rb, self.resolve(lr))
                    rl, rt, rr, rb = rl + 1, rt + 1, rr - 1, rb - 1
        elif style == "cropshadow":
            self.fill(l, t, r, b, self.resolve(color))
            if big:
                self.vert_strip(x2, y1, x2 + 4, y2 + 3)
                self.horiz_strip(x1, y2, x2 + 4, y2 + 4)
        elif style == "gradient":
            c1, c2 = self.resolve(color), self.resolve(c["gradient_end"])
            for i in range(h):
                rgb = [((a << 8) * (h - i) + (z << 8) * i) // h >> 8 for a, z in zip(c1, c2)]
                self.fill(l, t + i, r, t + i + 1, rgb)
        elif style == "photolike":
            self.fill(l, t, r, b, self.resolve(0xB0B0B0))
            wall_w, wall_h = x2 - x1, y2 - y1
            if x2 > x1 and y2 > y1:
                black = (0, 0, 0)
                self.fill(x1 - 1, y1 - 1, x2 + 1, y1, black)
                self.fill(x1 - 1, y2, x2 + 1, y2 + 1, black)
                self.fill(x1 - 1, y1 - 1, x1, y2 + 1, black)
                self.fill(x2, y1 - 1, x2 + 1, y2 + 1, black)
                self.chessboard(x1, y1, x2 - x1, y2 - y1)
        else:
            raise SystemExit("no reference for style " + style)
        self.wallpaper(wall_w, wall_h)
        return self.px


def main():
    with open(sys.argv[1]) as f:
        cases = json.load(f)
    for case in cases:
        Image.fromarray(Painter(case).paint(), "RGB").save(f"{sys.argv[2]}/{case['name']}.ppm")


if __name__ == "__main__":
    main()
