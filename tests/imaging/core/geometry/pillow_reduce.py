#!/usr/bin/env python3
"""Independent oracle for integer-factor area reductions: Pillow's reduce().

    pillow_reduce.py IN.pnm OUT.pnm FX FY

IN is a binary PGM (P5) or PPM (P6) of 8 or 16 bits per sample; OUT gets the
same kind. 8-bit pictures go through Pillow's L and RGB modes; 16-bit
samples through one 32-bit integer ("I") image per channel, the deepest
mode reduce() accepts.
"""
import sys

from PIL import Image


def read_pnm(path):
    data = open(path, "rb").read()
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos) + 1
            continue
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    pos += 1
    magic, width, height, maxval = fields[0], int(fields[1]), int(fields[2]), int(fields[3])
    channels = 1 if magic == b"P5" else 3
    count = width * height * channels
    if maxval > 255:
        raw = data[pos:pos + 2 * count]
        samples = [raw[2 * i] << 8 | raw[2 * i + 1] for i in range(count)]
    else:
        samples = list(data[pos:pos + count])
    return width, height, channels, maxval, samples


def write_pnm(path, width, height, channels, maxval, samples):
    with open(path, "wb") as f:
        f.write(b"%s\n%d %d\n%d\n" % (b"P5" if channels == 1 else b"P6", width, height, maxval))
        if maxval > 255:
            f.write(bytes(b for v in samples for b in (v >> 8, v & 255)))
        else:
            f.write(bytes(samples))


def main():
    src, dst, fx, fy = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
    width, height, channels, maxval, samples = read_pnm(src)
    if maxval <= 255:
        image = Image.frombytes("L" if channels == 1 else "RGB", (width, height), bytes(samples))
        out = image.reduce((fx, fy))
        result = list(out.tobytes())
    else:
        planes = []
        for c in range(channels):
            plane = Image.new("I", (width, height))
            plane.putdata(samples[c::channels])
            planes.append(list(plane.reduce((fx, fy)).getdata()))
        out = Image.new("L", (width // fx, height // fy))
        result = [planes[c][i] for i in range(len(planes[0])) for c in range(channels)]
    write_pnm(dst, out.size[0], out.size[1], channels, maxval, result)


if __name__ == "__main__":
    main()
