#!/usr/bin/env python3
"""Writes "IEV" object streams of older versions and damaged ones, from the
byte layout alone, as an oracle independent of the view's own writer.

Usage: vect_fixtures.py OUTDIR
"""
import os
import struct
import sys
import zlib


def i32(v):
    return struct.pack('<i', v)


def string(s):
    return i32(len(s)) + s


def font(height, face=b'Arial'):
    # LOGFONTA: five int32, eight bytes, 32-byte face name.
    return b'\x01' + struct.pack('<5i8B', height, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0) + face.ljust(32, b'\0')


def png(w, h, rgba):
    """A w x h RGBA PNG of one colour."""
    def chunk(t, d):
        return struct.pack('>I', len(d)) + t + d + struct.pack('>I', zlib.crc32(t + d))
    raw = b''.join(b'\0' + bytes(rgba) * w for _ in range(h))
    ihdr = struct.pack('>IIBBBBB', w, h, 8, 6, 0, 0, 0)
    return b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', ihdr) + chunk(b'IDAT', zlib.compress(raw)) + chunk(b'IEND', b'')


def bmp(w, h, bgr):
    row = (bytes(bgr) * w).ljust((w * 3 + 3) // 4 * 4, b'\0')
    pixels = row * h
    info = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    head = b'BM' + struct.pack('<IHHI', 14 + 40 + len(pixels), 0, 0, 54)
    return head + info + pixels


def common(v, kind, rect, name=b'', pen=0x000080, width=1, brush=0xFFFFFF, style=15):
    out = b''
    if v >= 0x3C:
        out += i32(7)  # handle when saved, not read back
    out += b''.join(i32(c) for c in rect) + bytes([kind])
    if v >= 0x4D:
        out += b'\0'
    if v >= 0x3D:
        out += b'\0' + struct.pack('<d', 3.0) + i32(2) + i32(2)
    if v >= 0x4F:
        out += i32(100) + b'\0\0\0'
    out += string(name) + i32(0) + i32(pen) + b'\0' + i32(width) + i32(brush) + b'\1' + bytes([style])
    if v >= 0x3D:
        out += i32(200)
    if v >= 0x40:
        out += b'\0'
    if v >= 0x51:
        out += b'\0'
    if v >= 0x49:
        out += i32(0)
    return out


def editable(v):
    return b'\1' if v >= 0x4A else b''


def box(v, rect=(1, 2, 30, 40), name=b'box'):
    return common(v, 2, rect, name) + editable(v)


def bitmap_obj(v, index, rect=(0, 0, 9, 9)):
    out = common(v, 5, rect, b'pic') + i32(index)
    if v >= 0x42:
        out += b'\0'
    if v >= 0x46:
        out += string(b'')
    return out + editable(v)


def text_obj(v, text=b'hello'):
    out = common(v, 6, (5, 5, 80, 20), b'txt')
    if v >= 0x34:
        out += b'\1'
    if v >= 0x39:
        out += b'\0'
    out += string(text) + font(-11)
    if v >= 0x3F:
        out += i32(0)
    return out + editable(v)


def ruler(v):
    out = common(v, 7, (0, 0, 100, 0), b'rule') + editable(v)
    if v >= 0x35:
        out += bytes([5, 1])
        if v >= 0x41:
            out += font(-9)
    return out


def memo(v, indexes, formats):
    text = b'ab'
    out = common(v, 10, (0, 0, 50, 50), b'memo') + string(text) + font(-12)
    if v >= 0x43:
        out += b'\1'
    out += b''.join(i32(x) for x in indexes) + i32(formats) + b'\0' * (280 * formats)
    out += b'\1\0' + i32(0) + i32(0xFFFFFF) + b'\0\0' + i32(0)
    if v >= 0x49:
        out += b'\0'
    if v >= 0x48:
        out += struct.pack('<4d', 0, 0, 0, 0)
    if v >= 0x4C:
        out += b'\0'
    return out + editable(v)


def group(v, members):
    return common(v, 0, (0, 0, 0, 0)) + i32(len(members)) + b''.join(members) + editable(v)


def stream(v, entries, records, scale=1.0, alpha=False):
    """entries: list of (count, picture bytes or None, w, h)."""
    body = b'IEV' + bytes([v]) + i32(0)
    body += struct.pack('<d', scale) if v >= 0x32 else i32(int(scale))
    body += i32(len(entries))
    for count, pic, w, h in entries:
        body += i32(count)
        if count > 0:
            body += pic
            if alpha:
                row = (w + 3) // 4 * 4
                rows = b''.join(bytes([40 * (h - 1 - y)]) * w + b'\0' * (row - w) for y in range(h))
                packed = zlib.compress(rows)
                body += i32(len(packed)) + packed
    body += zlib.compress(i32(len(records)) + b''.join(records))
    return body[:4] + i32(len(body)) + body[8:]


def deep_group(v, depth):
    # Each level holds one member: the same head before and tail after it.
    return (common(v, 0, (0, 0, 0, 0)) + i32(1)) * depth + box(v) + editable(v) * depth


def main():
    out = sys.argv[1]
    red = png(3, 2, (255, 0, 0, 255))
    files = {
        'v31.iev': stream(0x31, [(1, bmp(2, 2, (0, 255, 0)), 2, 2)],
                          [bitmap_obj(0x31, 0), ruler(0x31), text_obj(0x31)], scale=2),
        'v34.iev': stream(0x34, [], [ruler(0x34), text_obj(0x34)]),
        'v35.iev': stream(0x35, [], [ruler(0x35)]),
        'v3c.iev': stream(0x3C, [(1, red, 3, 2)], [bitmap_obj(0x3C, 0), box(0x3C)], alpha=True),
        'v3d.iev': stream(0x3D, [(1, red, 3, 2)], [bitmap_obj(0x3D, 0), box(0x3D)]),
        'group.iev': stream(0x51, [], [group(0x51, [box(0x51, name=b'a'), box(0x51, name=b'b')])]),
        'deep.iev': stream(0x51, [], [deep_group(0x51, 100000)]),
        'bad_index.iev': stream(0x51, [(1, red, 3, 2)], [bitmap_obj(0x51, 99)]),
        'free_index.iev': stream(0x51, [(0, None, 0, 0)], [bitmap_obj(0x51, 0)]),
        'bad_format.iev': stream(0x51, [], [memo(0x51, [0, 5], 1)]),
        'memo.iev': stream(0x51, [], [memo(0x51, [0, 1], 2)]),
    }
    for name, data in files.items():
        with open(os.path.join(out, name), 'wb') as f:
            f.write(data)


if __name__ == '__main__':
    main()
