#!/usr/bin/python3
"""Builds an old-style JPEG TIFF whose picture is split into strips, the way
scanners of that time wrote them: the tables at JPEGInterchangeFormat, the scan
header at the start of strip 0, and one restart interval per strip with the
restart markers left out.

usage: ojpeg_strips.py in.jpg out.tif rows_per_strip [sos_in_every_strip | whole]
in.jpg must be baseline, YCbCr 2x2 (or grey), with one restart interval per
rows_per_strip rows (cjpeg -restart N). "whole" instead stores the complete
JPEG stream as the one strip, with neither JPEGInterchangeFormat nor
StripByteCounts: its length is only known from its markers."""
import struct
import sys


def segments(data):
    """(marker, start, end) of each marker segment before the scan data."""
    i = 2
    while i < len(data):
        assert data[i] == 0xFF, "marker expected at %d" % i
        m = data[i + 1]
        length = struct.unpack(">H", data[i + 2:i + 4])[0]
        yield m, i, i + 2 + length
        if m == 0xDA:
            return
        i += 2 + length


def main():
    src, dst, rows = sys.argv[1], sys.argv[2], int(sys.argv[3])
    sos_everywhere = len(sys.argv) > 4 and sys.argv[4] == "1"
    whole = len(sys.argv) > 4 and sys.argv[4] == "whole"
    data = open(src, "rb").read()
    width = height = comps = None
    sos = None
    for m, s, e in segments(data):
        if m == 0xC0:
            height, width = struct.unpack(">HH", data[s + 5:s + 9])
            comps = data[s + 9]
        if m == 0xDA:
            sos = (s, e)
    assert width and sos
    tables = data[:sos[0]]
    scan_header = data[sos[0]:sos[1]]
    # Entropy data split at the restart markers; the EOI goes.
    intervals, cur, i = [], bytearray(), sos[1]
    while i < len(data):
        b = data[i]
        if b == 0xFF and i + 1 < len(data) and data[i + 1] != 0:
            nxt = data[i + 1]
            if 0xD0 <= nxt <= 0xD7:
                intervals.append(bytes(cur))
                cur = bytearray()
                i += 2
                continue
            if nxt == 0xD9:
                break
        cur.append(b)
        i += 1
    intervals.append(bytes(cur))
    strips_needed = (height + rows - 1) // rows
    assert len(intervals) == strips_needed, (len(intervals), strips_needed)
    strips = []
    for k, body in enumerate(intervals):
        strips.append((scan_header if k == 0 or sos_everywhere else b"") + body)
    if whole:
        strips, rows = [data], height

    # Little-endian TIFF: header, tables, strips, then the directory.
    out = bytearray(b"II*\x00\x00\x00\x00\x00")
    def put(blob):
        if len(out) % 2:
            out.append(0)
        at = len(out)
        out.extend(blob)
        return at
    tables_at = put(tables)
    offsets = [put(s) for s in strips]
    counts = [len(s) for s in strips]
    bps_at = put(struct.pack("<3H", 8, 8, 8))
    offs_at = put(struct.pack("<%dI" % len(offsets), *offsets))
    cnts_at = put(struct.pack("<%dI" % len(counts), *counts))
    colour = comps == 3
    entries = [
        (256, 4, 1, width), (257, 4, 1, height),
        (258, 3, 3 if colour else 1, bps_at if colour else 8),
        (259, 3, 1, 6), (262, 3, 1, 6 if colour else 1),
        (273, 4, len(offsets), offs_at if len(offsets) > 1 else offsets[0]),
        (277, 3, 1, comps), (278, 4, 1, rows),
        (279, 4, len(counts), cnts_at if len(counts) > 1 else counts[0]),
        (284, 3, 1, 1), (512, 3, 1, 1), (513, 4, 1, tables_at), (514, 4, 1, len(tables)),
    ]
    if whole:
        entries = [e for e in entries if e[0] not in (279, 513, 514)]
    if colour:
        entries.append((530, 3, 2, 2 | (2 << 16)))
    if len(out) % 2:
        out.append(0)
    ifd = len(out)
    out[4:8] = struct.pack("<I", ifd)
    out.extend(struct.pack("<H", len(entries)))
    for tag, typ, count, value in entries:
        out.extend(struct.pack("<HHII", tag, typ, count, value))
    out.extend(struct.pack("<I", 0))
    open(dst, "wb").write(out)


main()
