#!/usr/bin/python3
# Makes the DICOM reader's fixtures with pydicom, and beside each file
# NAME.dcm the picture the reader must deliver, NAME.expect: one byte per
# sample (8-bit pictures) or two little-endian bytes (16-bit), red, green,
# blue for colour. Grey 16-bit pictures follow the reader's rule, computed
# here with numpy from pydicom's own decoding of the file: rescale, the
# window when one is given, then a stretch of the frame's range to 0..65535.
# Usage: test_dicom_fixtures.py OUTDIR
import io
import sys

import numpy as np
import pydicom
from pydicom.dataset import Dataset, FileMetaDataset
from pydicom.filewriter import write_dataset
from pydicom.uid import (ExplicitVRBigEndian, ExplicitVRLittleEndian, ImplicitVRLittleEndian,
                         generate_uid)

out = sys.argv[1]


def base(rows, cols, bits_alloc, bits_stored, signed=False, samples=1, photometric="MONOCHROME2"):
    ds = Dataset()
    ds.SOPClassUID = "1.2.840.10008.5.1.4.1.1.7"
    ds.SOPInstanceUID = generate_uid()
    ds.PatientName = "Test^Fixture"
    ds.Modality = "OT"
    ds.Rows = rows
    ds.Columns = cols
    ds.SamplesPerPixel = samples
    ds.PhotometricInterpretation = photometric
    if samples == 3:
        ds.PlanarConfiguration = 0
    ds.BitsAllocated = bits_alloc
    ds.BitsStored = bits_stored
    ds.HighBit = bits_stored - 1
    ds.PixelRepresentation = 1 if signed else 0
    return ds


def save(name, ds, syntax, preamble=True):
    little = syntax != ExplicitVRBigEndian
    implicit = syntax == ImplicitVRLittleEndian
    ds.is_little_endian = little
    ds.is_implicit_VR = implicit
    if preamble:
        meta = FileMetaDataset()
        meta.MediaStorageSOPClassUID = ds.SOPClassUID
        meta.MediaStorageSOPInstanceUID = ds.SOPInstanceUID
        meta.TransferSyntaxUID = syntax
        ds.file_meta = meta
        ds.preamble = b"\0" * 128
        ds.save_as(out + "/" + name + ".dcm", write_like_original=False)
    else:
        buf = io.BytesIO()
        write_dataset(pydicom.filebase.DicomFileLike(buf), ds)
        with open(out + "/" + name + ".dcm", "wb") as f:
            f.write(buf.getvalue())


def pixels(arr, little=True, bits_alloc=16):
    if bits_alloc == 8:
        return arr.astype(np.uint8).tobytes()
    return arr.astype("<u2" if little else ">u2").tobytes()


def expect(name, arr):
    with open(out + "/" + name + ".expect", "wb") as f:
        f.write(arr.tobytes())


def stretched(values, intercept=0.0, slope=1.0, centre=None, width=None, top=65535):
    g = values.astype(np.float64) * slope + intercept
    if centre is not None:
        c = centre - 0.5
        w = width - 1
        lo = np.trunc(c - w / 2)
        hi = np.trunc(c + w / 2)
        inside = ((g - c) / w + 0.5) * top
        g = np.where(g <= lo, 0.0, np.where(g >= hi, float(top), inside))
        g = np.clip(g, 0, top)
    kind = np.uint8 if top == 255 else np.dtype("<u2")
    mn, mx = g.min(), g.max()
    if mx <= mn:
        return np.zeros(g.shape, kind)
    return np.clip(np.trunc((g - mn) * (top / (mx - mn))), 0, top).astype(kind)


def decoded(name):
    return pydicom.dcmread(out + "/" + name + ".dcm", force=True).pixel_array


rng = np.random.default_rng(7)

# 12 bits stored in 16, in each uncompressed transfer syntax, and without preamble.
grey12 = rng.integers(0, 4096, (9, 11), dtype=np.uint16)
for name, syntax, pre in (("implicit_le", ImplicitVRLittleEndian, True),
                          ("explicit_le", ExplicitVRLittleEndian, True),
                          ("explicit_be", ExplicitVRBigEndian, True),
                          ("no_preamble", ImplicitVRLittleEndian, False)):
    ds = base(9, 11, 16, 12)
    ds.PixelData = pixels(grey12, syntax != ExplicitVRBigEndian)
    save(name, ds, syntax, pre)
    if pre:
        assert (decoded(name) == grey12).all(), name
    expect(name, stretched(grey12))

# Three frames; index 5 asked, frame 2 delivered.
frames = rng.integers(0, 256, (3, 6, 5), dtype=np.uint8)
ds = base(6, 5, 8, 8)
ds.NumberOfFrames = 3
ds.PixelData = frames.tobytes()
save("frames", ds, ExplicitVRLittleEndian)
assert (decoded("frames")[2] == frames[2]).all()
expect("frames", frames[2])

# Signed 12-bit CT, intercept -1024, no window.
ct = rng.integers(-2048, 2048, (8, 8), dtype=np.int16)
ct[0, 0], ct[0, 1], ct[0, 2] = -1000, 0, -1024
ds = base(8, 8, 16, 12, signed=True)
ds.RescaleIntercept = "-1024"
ds.RescaleSlope = "1"
ds.PixelData = (ct.astype(np.int32) & 0xFFFF).astype("<u2").tobytes()
save("ct_signed", ds, ExplicitVRLittleEndian)
assert (decoded("ct_signed") == ct).all()
expect("ct_signed", stretched(ct, intercept=-1024))

# Window 40/400 over rescaled CT values, the centre given with a second value.
ct2 = rng.integers(0, 1400, (10, 10), dtype=np.uint16)
ds = base(10, 10, 16, 16)
ds.RescaleIntercept = "-1024"
ds.RescaleSlope = "1"
ds.WindowCenter = ["40", "80"]
ds.WindowWidth = "400"
ds.PixelData = pixels(ct2)
save("window", ds, ExplicitVRLittleEndian)
expect("window", stretched(decoded("window"), intercept=-1024, centre=40, width=400))

# A window centred on 0 is a window.
ds = base(10, 10, 16, 16)
ds.RescaleIntercept = "-1024"
ds.WindowCenter = "0"
ds.WindowWidth = "500"
ds.PixelData = pixels(ct2)
save("window_zero", ds, ExplicitVRLittleEndian)
expect("window_zero", stretched(decoded("window_zero"), intercept=-1024, centre=0, width=500))

# 6 bits stored in 8: scaled by 4.
six = rng.integers(0, 64, (5, 7), dtype=np.uint8)
ds = base(5, 7, 8, 6)
ds.PixelData = six.tobytes()
save("six_bit", ds, ExplicitVRLittleEndian)
expect("six_bit", (decoded("six_bit") << 2).astype(np.uint8))

# 8 bits stored in 16 allocated: two bytes a sample, 8-bit output.
eight = rng.integers(0, 256, (4, 6), dtype=np.uint16)
ds = base(4, 6, 16, 8)
ds.PixelData = pixels(eight | 0xAB00)  # bits above the stored ones are ignored
save("eight_in_sixteen", ds, ExplicitVRLittleEndian)
expect("eight_in_sixteen", eight.astype(np.uint8))

# MONOCHROME1: value 10 reads as 245.
mono = np.full((3, 4), 10, np.uint8)
mono[1, 1] = 200
ds = base(3, 4, 8, 8, photometric="MONOCHROME1")
ds.PixelData = mono.tobytes()
save("monochrome1", ds, ImplicitVRLittleEndian)
expect("monochrome1", (255 - mono).astype(np.uint8))

# Elements with 32-bit lengths in explicit VR (UT, UC, UR) before the pixels.
ds = base(4, 4, 8, 8)
ds.add_new(0x00084000, "LT", "short text")
ds.add_new(0x00180010, "LO", "agent")
ds.add_new(0x0040A160, "UT", "x" * 70000)
ds.add_new(0x0018980C, "UC", "unlimited")
ds.add_new(0x0008010E, "UR", "http://example.invalid/" + "y" * 300)
ut = rng.integers(0, 256, (4, 4), dtype=np.uint8)
ds.PixelData = ut.tobytes()
save("long_vrs", ds, ExplicitVRLittleEndian)
assert (decoded("long_vrs") == ut).all()
expect("long_vrs", ut)

# Colour, interleaved and planar.
rgb = rng.integers(0, 256, (5, 6, 3), dtype=np.uint8)
for name, planar in (("rgb", 0), ("rgb_planar", 1)):
    ds = base(5, 6, 8, 8, samples=3, photometric="RGB")
    ds.PlanarConfiguration = planar
    ds.PixelData = rgb.tobytes() if planar == 0 else rgb.transpose(2, 0, 1).tobytes()
    save(name, ds, ExplicitVRLittleEndian)
    assert (decoded(name) == rgb).all(), name
    expect(name, rgb)

# A uniform 16-bit frame: one constant.
ds = base(3, 3, 16, 16)
ds.PixelData = pixels(np.full((3, 3), 777, np.uint16))
save("uniform", ds, ExplicitVRLittleEndian)
expect("uniform", np.zeros((3, 3), "<u2"))

# Compressed pixel data, made by dcmtk from uncompressed files; what the
# reader must deliver follows from the peer decoder's (dcmdjpeg, dcmdrle) output.
import os
import subprocess


def run(*args):
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def source(name, ds):
    save(name + "_src", ds, ExplicitVRLittleEndian)
    return out + "/" + name + "_src.dcm"


def peer(name, decoder):
    path = out + "/" + name + ".dcm"
    plain = out + "/" + name + "_plain.dcm"
    run(decoder, path, plain)
    arr = pydicom.dcmread(plain).pixel_array
    os.remove(plain)
    return arr


if subprocess.run(["sh", "-c", "command -v dcmcrle && command -v dcmcjpeg"], stdout=subprocess.DEVNULL).returncode == 0:
    # RLE: odd sizes, so every segment carries a pad byte.
    g8 = rng.integers(0, 256, (7, 9), dtype=np.uint8)
    g8[0, :5] = 17  # a run
    ds = base(7, 9, 8, 8)
    ds.PixelData = g8.tobytes()
    run("dcmcrle", source("rle_grey8", ds), out + "/rle_grey8.dcm")
    expect("rle_grey8", stretched(peer("rle_grey8", "dcmdrle"), top=255))

    ds = base(9, 11, 16, 12)
    ds.PixelData = pixels(grey12)
    run("dcmcrle", source("rle_grey16", ds), out + "/rle_grey16.dcm")
    expect("rle_grey16", stretched(peer("rle_grey16", "dcmdrle")))

    odd = rng.integers(0, 256, (5, 7, 3), dtype=np.uint8)
    odd[2, :, 1] = 99
    ds = base(5, 7, 8, 8, samples=3, photometric="RGB")
    ds.PixelData = odd.tobytes()
    run("dcmcrle", source("rle_rgb", ds), out + "/rle_rgb.dcm")
    expect("rle_rgb", peer("rle_rgb", "dcmdrle"))

    # Three frames, with and without an offset table: frame 2 asked.
    ds = base(6, 5, 8, 8)
    ds.NumberOfFrames = 3
    ds.PixelData = frames.tobytes()
    src = source("frames_c", ds)
    run("dcmcrle", "+ot", src, out + "/rle_frames_table.dcm")
    run("dcmcrle", "-ot", src, out + "/rle_frames_empty.dcm")
    for name in ("rle_frames_table", "rle_frames_empty"):
        expect(name, stretched(peer(name, "dcmdrle")[2], top=255))

    # Lossless JPEG with every predictor, 12-bit and 8-bit grey and colour.
    ds = base(9, 11, 16, 12)
    ds.PixelData = pixels(grey12)
    src16 = source("ll16", ds)
    ds = base(7, 9, 8, 8)
    ds.PixelData = g8.tobytes()
    src8 = source("ll8", ds)
    ds = base(5, 7, 8, 8, samples=3, photometric="RGB")
    ds.PixelData = odd.tobytes()
    srcrgb = source("llrgb", ds)
    for sv in range(1, 8):
        name = "lossless16_sv%d" % sv
        run("dcmcjpeg", "+el", "+sv", str(sv), src16, out + "/" + name + ".dcm")
        expect(name, stretched(peer(name, "dcmdjpeg")))
        name = "lossless8_sv%d" % sv
        run("dcmcjpeg", "+el", "+sv", str(sv), src8, out + "/" + name + ".dcm")
        expect(name, stretched(peer(name, "dcmdjpeg"), top=255))
    run("dcmcjpeg", "+el", "+sv", "4", "+cn", srcrgb, out + "/lossless_rgb.dcm")
    expect("lossless_rgb", peer("lossless_rgb", "dcmdjpeg"))
    ds = base(6, 5, 8, 8)
    ds.NumberOfFrames = 3
    ds.PixelData = frames.tobytes()
    run("dcmcjpeg", "+e1", "-ot", source("llframes", ds), out + "/lossless_frames.dcm")
    expect("lossless_frames", stretched(peer("lossless_frames", "dcmdjpeg")[2], top=255))

    # Frames split over fragments of 1 KiB: three frames found through the
    # offset table, and one frame with an empty table.
    big = rng.integers(0, 4096, (3, 40, 48), dtype=np.uint16)
    ds = base(40, 48, 16, 12)
    ds.NumberOfFrames = 3
    ds.PixelData = pixels(big)
    run("dcmcjpeg", "+e1", "+fs", "1", source("fragframes", ds), out + "/fragments_frames.dcm")
    expect("fragments_frames", stretched(peer("fragments_frames", "dcmdjpeg")[2]))
    ds = base(40, 48, 16, 12)
    ds.PixelData = pixels(big[1])
    run("dcmcjpeg", "+e1", "+fs", "1", "-ot", source("fragone", ds), out + "/fragments_one.dcm")
    expect("fragments_one", stretched(peer("fragments_one", "dcmdjpeg")))

    # Baseline JPEG through the library's JPEG reader: close, not exact.
    smooth = (np.add.outer(np.arange(16) * 8, np.arange(24) * 4) % 256).astype(np.uint8)
    ds = base(16, 24, 8, 8)
    ds.PixelData = smooth.tobytes()
    run("dcmcjpeg", "+eb", "+un", source("jpeg8", ds), out + "/baseline_grey.dcm")
    expect("baseline_grey", stretched(peer("baseline_grey", "dcmdjpeg"), top=255))
    ds = base(5, 7, 8, 8, samples=3, photometric="RGB")
    ds.PixelData = odd.tobytes()
    run("dcmcjpeg", "+eb", "+un", "+cr", source("jpegrgb", ds), out + "/baseline_rgb.dcm")
    expect("baseline_rgb", peer("baseline_rgb", "dcmdjpeg"))
    for f in os.listdir(out):
        if f.endswith("_src.dcm"):
            os.remove(out + "/" + f)
    print("compressed")

# JPEG 2000 through the library's JPEG 2000 reader: gdcmconv codes the data
# set reversibly and decodes it back (--raw) as the peer's answer.
if subprocess.run(["sh", "-c", "command -v gdcmconv"], stdout=subprocess.DEVNULL).returncode == 0:
    def gdcm_peer(name):
        plain = out + "/" + name + "_plain.dcm"
        run("gdcmconv", "--raw", out + "/" + name + ".dcm", plain)
        arr = pydicom.dcmread(plain).pixel_array
        os.remove(plain)
        return arr

    # 12 bits stored: the reader must window the samples as stored, not an
    # 8-bit picture of them.
    g12 = rng.integers(0, 4096, (24, 32), dtype=np.uint16)
    ds = base(24, 32, 16, 12)
    ds.PixelData = pixels(g12)
    run("gdcmconv", "--j2k", source("j2k_grey16", ds), out + "/j2k_grey16.dcm")
    expect("j2k_grey16", stretched(gdcm_peer("j2k_grey16")))
    ds.WindowCenter, ds.WindowWidth = 2000, 1000
    ds.PixelData = pixels(g12)
    run("gdcmconv", "--j2k", source("j2k_window", ds), out + "/j2k_window.dcm")
    expect("j2k_window", stretched(gdcm_peer("j2k_window"), centre=2000, width=1000))
    g8 = (np.add.outer(np.arange(24) * 5, np.arange(32) * 3) % 256).astype(np.uint8)
    ds = base(24, 32, 8, 8)
    ds.PixelData = g8.tobytes()
    run("gdcmconv", "--j2k", source("j2k_grey8", ds), out + "/j2k_grey8.dcm")
    expect("j2k_grey8", stretched(gdcm_peer("j2k_grey8"), top=255))
    for f in os.listdir(out):
        if f.endswith("_src.dcm"):
            os.remove(out + "/" + f)
    print("jpeg 2000")

# Lossless JPEG with restart intervals, which dcmtk's encoder cannot make: a
# small encoder here (every category coded in 5 bits), checked against the
# source samples it started from.
def lossless_jpeg(arr, precision, predictor, restart, counts=None, symbols=None):
    h, w = arr.shape
    bits = []

    def put(value, n):
        for i in range(n - 1, -1, -1):
            bits.append((value >> i) & 1)

    segments = []

    def flush():
        while len(bits) % 8:
            bits.append(1)
        data = bytearray()
        for i in range(0, len(bits), 8):
            b = int("".join(map(str, bits[i:i + 8])), 2)
            data.append(b)
            if b == 0xFF:
                data.append(0)
        bits.clear()
        return bytes(data)

    a = arr.astype(np.int64)
    mcu = 0
    first_line = True
    for y in range(h):
        for x in range(w):
            restart_here = False
            if restart and mcu and mcu % restart == 0:
                segments.append(flush())
                restart_here = True
                first_line = True
            if (x == 0 and y == 0) or restart_here:
                pred = 1 << (precision - 1)
            elif first_line:
                pred = a[y, x - 1] if x > 0 else a[y - 1, x]
            elif x == 0:
                pred = a[y - 1, x]
            else:
                ra, rb, rc = a[y, x - 1], a[y - 1, x], a[y - 1, x - 1]
                pred = [ra, rb, rc, ra + rb - rc, ra + ((rb - rc) >> 1), rb + ((ra - rc) >> 1), (ra + rb) >> 1][predictor - 1]
            diff = (int(a[y, x]) - int(pred)) % 65536
            if diff >= 32768:
                diff -= 65536
            if diff == -32768:
                put(16, 5)
            else:
                cat = abs(diff).bit_length()
                put(cat, 5)
                if cat:
                    put(diff if diff > 0 else diff + (1 << cat) - 1, cat)
            mcu += 1
        first_line = False
    segments.append(flush())
    counts = counts or [0, 0, 0, 0, 17] + [0] * 11
    symbols = symbols or list(range(17))
    dht = bytes([0]) + bytes(counts) + bytes(symbols)
    head = b"\xff\xd8"
    head += b"\xff\xc3" + (8 + 3).to_bytes(2, "big") + bytes([precision]) + h.to_bytes(2, "big") + w.to_bytes(2, "big") + bytes([1, 1, 0x11, 0])
    head += b"\xff\xc4" + (2 + len(dht)).to_bytes(2, "big") + dht
    if restart:
        head += b"\xff\xdd" + (4).to_bytes(2, "big") + restart.to_bytes(2, "big")
    head += b"\xff\xda" + (8).to_bytes(2, "big") + bytes([1, 1, 0, predictor, 0, 0])
    body = b""
    for i, seg in enumerate(segments):
        if i:
            body += bytes([0xFF, 0xD0 + (i - 1) % 8])
        body += seg
    return head + body + b"\xff\xd9"


def encapsulated(name, ds, frames_bytes, syntax):
    from pydicom.encaps import encapsulate
    ds.PixelData = encapsulate(frames_bytes, has_bot=True)
    ds["PixelData"].VR = "OB"
    ds.is_little_endian = True
    ds.is_implicit_VR = False
    meta = FileMetaDataset()
    meta.MediaStorageSOPClassUID = ds.SOPClassUID
    meta.MediaStorageSOPInstanceUID = ds.SOPInstanceUID
    meta.TransferSyntaxUID = syntax
    ds.file_meta = meta
    ds.preamble = b"\0" * 128
    ds.save_as(out + "/" + name + ".dcm", write_like_original=False)


LOSSLESS = "1.2.840.10008.1.2.4.70"
r12 = rng.integers(0, 4096, (6, 10), dtype=np.uint16)
for sv, rows_per_interval in ((1, 1), (4, 1), (6, 2), (7, 3)):
    name = "restart_sv%d" % sv
    ds = base(6, 10, 16, 12)
    encapsulated(name, ds, [lossless_jpeg(r12, 12, sv, 10 * rows_per_interval)], LOSSLESS)
    expect(name, stretched(r12))
r8 = rng.integers(0, 256, (5, 8), dtype=np.uint16)
ds = base(5, 8, 8, 8)
encapsulated("restart8", ds, [lossless_jpeg(r8, 8, 5, 8)], LOSSLESS)
expect("restart8", stretched(r8, top=255))
# Tables no decoder may accept: 18 codes, a category of 17.
ds = base(5, 8, 8, 8)
encapsulated("bad_dht_count", ds, [lossless_jpeg(r8, 8, 1, 0, counts=[0, 0, 0, 0, 18] + [0] * 11,
                                                  symbols=list(range(17)) + [0])], LOSSLESS)
ds = base(5, 8, 8, 8)
encapsulated("bad_dht_symbol", ds, [lossless_jpeg(r8, 8, 1, 0, symbols=list(range(16)) + [17])], LOSSLESS)
# An encapsulated coding this reader does not decode.
ds = base(5, 8, 8, 8)
encapsulated("jpeg_ls", ds, [b"\xff\xd8\xff\xf7" + b"\0" * 40 + b"\xff\xd9"], "1.2.840.10008.1.2.4.80")
print("ok")
