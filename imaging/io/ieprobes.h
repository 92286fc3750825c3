// Content probes of the picture formats: small byte tests that content
// sniffing runs in a fixed order. Every probe reads at the stream position,
// leaves the position where it found it, and raises nothing; a stream that is
// too short or cannot be read answers false. The codec modules use these
// probes and do not define their own.
#pragma once

#include <cstdint>
#include <utility>

#include "platform/base/classes.h"
#include "platform/base/types.h"

// Runs Test(start), start being the stream position, and puts the position
// back whatever happens; any exception (a failing stream) answers false. The
// shape of every probe, and of any test that looks ahead and must not move.
template <typename F>
bool IEProbeAtPosition(TStream* Stream, F&& Test) {
  if (Stream == nullptr) return false;
  int64_t start = -1;
  bool result = false;
  try {
    start = Stream->Position();
    if (start >= 0) result = Test(start);
  } catch (...) {
    result = false;
  }
  if (start >= 0) {
    try {
      Stream->SetPosition(start);
    } catch (...) {
    }
  }
  return result;
}

// Reads up to Count bytes at the absolute position Pos; the count actually
// read (0 for a negative position, a count of 0 or a failed seek).
int64_t IEReadAt(TStream* Stream, int64_t Pos, void* Buffer, int64_t Count);

// "II" or "MM" whose first directory lies inside the stream and holds
// ImageWidth (256) and ImageLength (257). Directory offsets count from the
// position the probe starts at, as the TIFF reader counts them for a stream
// without a stream header. A big-endian file whose ninth byte is 0xBA is not
// taken.
bool IEProbeTIFF(TStream* Stream);
// A TIFF-structured camera raw: DNGVersion (50706, BYTE x 4); or photometric
// interpretation 32803 or 34892 (SHORT x 1); or SubIFDs (330) with the TIFF/EP
// StandardID (37398) and a main image below 200 x 200.
bool IEProbeTIFFRaw(TStream* Stream);
// "II" whose first directory holds the tags 48256, 48257, 48129, 48320 and 48321.
bool IEProbeHDPhoto(TStream* Stream);
// The first four bytes of the PNG signature (8 bytes must be there).
bool IEProbePNG(TStream* Stream);
// "DICM" 128 bytes after the position.
bool IEProbeDICOM(TStream* Stream);
// An icon (type 1) or cursor (type 2) directory: reserved 0, count above 0, a
// total stream size of at least 23 bytes, and every entry with reserved byte
// 0, a non-zero data size and a data offset (an absolute stream position) not
// before the end of that entry.
bool IEProbeICO(TStream* Stream);
bool IEProbeCUR(TStream* Stream);
// An 18-byte TGA header: image type 1..3 or 9..11, colour-map type 0 or 1,
// depth 1, 4, 8, 16, 24 or 32, width and height not 0; data that starts "P2"
// to "P6" followed by a blank, "#" or a line feed is a portable anymap instead.
bool IEProbeTGA(TStream* Stream);
// "P1" to "P6" (after "#" comments) followed by a positive width and height.
bool IEProbePNM(TStream* Stream);
// The JP2 signature box (12, "jP  ", 0x0D0A870A).
bool IEProbeJP2(TStream* Stream);
// A JPEG 2000 code stream: SOC (0xFF4F) followed by SIZ (0xFF51).
bool IEProbeJ2K(TStream* Stream);
// The DCX magic 987654321 followed by a page table (ended by 0, at most 1024
// entries) whose entries all lie below the stream size.
bool IEProbeDCX(TStream* Stream);
// A Windows metafile: an optional placeable header (key 0x9AC6CDD7, 22 bytes),
// then a header of type 1, header size 9 and no parameters.
bool IEProbeWMF(TStream* Stream);
// An enhanced metafile: record type 1 and the " EMF" signature at offset 40
// (100 bytes must be there).
bool IEProbeEMF(TStream* Stream);
// "8BPS", version 1, 1..24 channels, depth 1..16, colour mode below 10.
bool IEProbePSD(TStream* Stream);
// "IEV" followed by a version byte from 0x31 to 0x51.
bool IEIsVectorObjectsStream(TStream* Stream);
// "ZIDUZUVLAYERS" and a version above 0 in a 25-byte header.
bool IEIsLayersStream(TStream* Stream);
// A 32-bit offset, a layers stream after it, and vector objects at that
// offset (an absolute stream position).
bool IEIsImageWithObjectsStream(TStream* Stream);
// Looks for 0xFF 0xD8 0xFF. With Search: the first position p .. p + 149 (p =
// the stream position) that holds it, or -1. Without Search: 0 when p holds
// it, else -1.
int64_t IEProbeJPEG(TStream* Stream, bool Search);

// The camera identification of the built-in RAW reader (defined with that
// reader); the position is restored.
bool IEProbeRAW(TStream* Stream);
// Not built yet: whether the HD Photo codec is available. Until it is, the
// registry has no HD Photo entry (the probe above still recognises the content).
bool IEWICAvailable();
