#!/usr/bin/env python3
# Writes the small hostile TIFF files that the TIFF handler tests read. Each
# one is named after the fault it once caused; run from this folder.
import struct


def ifd(entries, next_off):
    """Little-endian directory: entries are (tag, type, count, value-bytes-or-int)."""
    out = struct.pack('<H', len(entries))
    for tag, typ, cnt, val in entries:
        if isinstance(val, int):
            val = struct.pack('<I', val)
        out += struct.pack('<HHI', tag, typ, cnt) + val.ljust(4, b'\0')
    return out + struct.pack('<I', next_off)


def header(first):
    return b'II' + struct.pack('<HI', 42, first)


SIZE = [(256, 3, 1, 4), (257, 3, 1, 2)]


def write(name, data):
    with open(name, 'wb') as f:
        f.write(data)


# Directory A at 8 points to B, B points back to A.
a = ifd(SIZE, 8 + 30)
b = ifd(SIZE + [(259, 3, 1, 1)], 8)
write('tiff_ifd_loop.tif', header(8) + a + b)

# The EXIF pointer of IFD0 points at IFD0 itself.
write('tiff_exif_self_reference.tif', header(8) + ifd(SIZE + [(34665, 4, 1, 8)], 0))

# EXIF directory points to a GPS directory whose EXIF pointer leads back.
ifd0 = ifd(SIZE + [(34665, 4, 1, 8 + 42)], 0)              # 42 bytes
exif = ifd([(33434, 3, 1, 5), (34853, 4, 1, 8 + 42 + 30)], 0)  # 30 bytes
gps = ifd([(0, 1, 4, b'\x02\x03\x00\x00'), (34665, 4, 1, 8 + 42)], 0)
write('tiff_subifd_cycle.tif', header(8) + ifd0 + exif + gps)

# Three strip offsets, two strip byte counts.
pix = bytes(range(8))
base = 8 + 2 + 4 * 12 + 4 + 8  # the arrays follow the pixels and the directory
offs = struct.pack('<3I', 8 + 0, 8 + 2, 8 + 4)
cnts = struct.pack('<2I', 2, 2)
d = ifd(SIZE + [(273, 4, 3, base), (279, 4, 2, base + 12)], 0)
write('tiff_strip_count_mismatch.tif', header(8 + 8) + pix + d + offs + cnts)

# One strip whose byte count claims almost 4 GB.
d = ifd(SIZE + [(273, 4, 1, 8), (279, 4, 1, 0xFFFFFF00)], 0)
write('tiff_oversize_piece.tif', header(16) + pix + d)

# Values whose data run past the end: a description that starts 10 bytes
# before the end but claims 100 bytes, and a LONG array of 2^30 items.
d = ifd(SIZE + [(270, 2, 100, 0), (339, 4, 0x40000000, 8)], 0)
total = 8 + len(d) + 16
d = ifd(SIZE + [(270, 2, 100, total - 10), (339, 4, 0x40000000, 8)], 0)
write('tiff_value_past_end.tif', header(8) + d + b'\0' * 16)

# Strip offsets and byte counts with no items at all.
write('tiff_zero_strips.tif', header(8) + ifd(SIZE + [(273, 4, 0, 0), (279, 4, 0, 0)], 0))
