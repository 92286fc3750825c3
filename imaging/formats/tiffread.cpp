// The TIFF reader's directory walk, tag accessors and the transfer of the
// baseline fields into the parameters. Everything read from the file is
// checked against the stream before it is used: a directory chain may loop,
// counts and offsets may point anywhere.
#include "imaging/formats/tiffread.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "imaging/core/bitmap/ieselcopy.h"
#include "imaging/core/geometry/ierotate.h"
#include "imaging/formats/tiffmeta.h"
#include "imaging/io/iejpeg.h"
#include "imaging/io/ielimits.h"
#include "imaging/io/ietiffcodec.h"
#include "imaging/io/ieprobes.h"

namespace {

int64_t ReadAt(const TTIFFDirectory& Dir, int64_t Offset, void* Buffer, int64_t Count) {
  return IEReadAt(Dir.Stream, Dir.Base + Offset, Buffer, Count);
}

const TTIFFEntry* Find(const TTIFFDirectory& Dir, Word Tag) {
  const Integer i = TIFFFindTag(Dir, Tag);
  return i < 0 ? nullptr : &Dir.Entries[static_cast<size_t>(i)];
}

// The two SHORTs of a value field: the first is the low half for "II" and
// the high half for "MM", since the field was read as one number in the
// file's byte order.
Word ShortHalf(const TTIFFDirectory& Dir, Cardinal Value, int64_t Index) {
  const bool low = Dir.LittleEndian ? Index == 0 : Index == 1;
  return static_cast<Word>(low ? Value & 0xFFFF : Value >> 16);
}

}  // namespace

// --- directory cursor --------------------------------------------------------------

bool TIFFLoadIFD(TTIFFDirectory& Dir, Integer Index, int64_t FirstOffset, Integer& Count) {
  Dir.Entries.clear();
  Count = 0;
  if (Dir.Stream == nullptr) return false;
  const int64_t size = Dir.Stream->Size();
  // A chain may come back to a directory already seen; it ends there, as it
  // ends at a self-reference.
  std::unordered_set<int64_t> seen;
  int64_t offset = FirstOffset;
  bool loaded = false;
  while (Count < TIFFMaxDirectories && seen.insert(offset).second) {
    Byte c[2];
    if (ReadAt(Dir, offset, c, 2) != 2) break;
    const Word entries = TIFFGet16(c, Dir.LittleEndian);
    if (entries == 0) break;
    const int64_t bytes = int64_t(entries) * 12;
    std::vector<Byte> raw;
    if (Count == Index) {
      raw.resize(static_cast<size_t>(bytes));
      if (ReadAt(Dir, offset + 2, raw.data(), bytes) != bytes) break;
    }
    const int64_t after = offset + 2 + bytes;
    if (Dir.Base + after >= size) break;
    Byte n[4];
    if (ReadAt(Dir, after, n, 4) != 4) break;
    if (Count == Index) {
      Dir.Entries.resize(entries);
      for (Word i = 0; i < entries; ++i) {
        const Byte* p = raw.data() + size_t(i) * 12;
        Dir.Entries[i] = {TIFFGet16(p, Dir.LittleEndian), TIFFGet16(p + 2, Dir.LittleEndian),
                          TIFFGet32(p + 4, Dir.LittleEndian), TIFFGet32(p + 8, Dir.LittleEndian)};
      }
      loaded = true;
    }
    ++Count;
    const int64_t next = TIFFGet32(n, Dir.LittleEndian);
    if (next == offset || next < 8 || Dir.Base + next >= size) break;
    offset = next;
  }
  return loaded;
}

Integer TIFFFindTag(const TTIFFDirectory& Dir, Word Tag) {
  for (size_t i = 0; i < Dir.Entries.size(); ++i)
    if (Dir.Entries[i].Tag == Tag) return static_cast<Integer>(i);
  return -1;
}

int64_t TIFFGetInteger(const TTIFFDirectory& Dir, Word Tag, int64_t Default) {
  const TTIFFEntry* e = Find(Dir, Tag);
  if (!e) return Default;
  switch (e->Type) {
    case IETIFFTYPE_SHORT:
      return ShortHalf(Dir, e->Value, 0);
    case IETIFFTYPE_BYTE:
      return Dir.LittleEndian ? e->Value & 0xFF : e->Value >> 24;
    default:
      return e->Value;
  }
}

int64_t TIFFGetArrayItem(const TTIFFDirectory& Dir, Word Tag, int64_t Index, int64_t Default) {
  const TTIFFEntry* e = Find(Dir, Tag);
  if (!e || Index < 0 || Index >= e->Count) return Default;
  if (e->Type == IETIFFTYPE_SHORT) {
    if (e->Count <= 2) return ShortHalf(Dir, e->Value, Index);
    Byte b[2];
    if (ReadAt(Dir, int64_t(e->Value) + 2 * Index, b, 2) != 2) return Default;
    return TIFFGet16(b, Dir.LittleEndian);
  }
  if (e->Type == IETIFFTYPE_LONG) {
    if (e->Count == 1) return e->Value;
    Byte b[4];
    if (ReadAt(Dir, int64_t(e->Value) + 4 * Index, b, 4) != 4) return Default;
    return TIFFGet32(b, Dir.LittleEndian);
  }
  return Default;
}

Integer TIFFReadIntegerArray(const TTIFFDirectory& Dir, std::vector<Cardinal>& Array, Word Tag) {
  Array.clear();
  const TTIFFEntry* e = Find(Dir, Tag);
  if (!e || e->Count == 0) return 0;
  const Integer size = e->Type == IETIFFTYPE_SHORT ? 2 : e->Type == IETIFFTYPE_LONG ? 4 : 0;
  if (size == 0) return 0;
  if (int64_t(e->Count) * size <= 4) {
    for (Cardinal i = 0; i < e->Count; ++i)
      Array.push_back(size == 2 ? ShortHalf(Dir, e->Value, i) : e->Value);
    return static_cast<Integer>(Array.size());
  }
  // Only the values the stream holds: a count cannot ask for more memory
  // than the file has bytes.
  const int64_t avail = Dir.Stream->Size() - (Dir.Base + int64_t(e->Value));
  const int64_t n = std::min<int64_t>(e->Count, avail > 0 ? avail / size : 0);
  if (n <= 0) return 0;
  std::vector<Byte> raw(static_cast<size_t>(n * size));
  const int64_t got = ReadAt(Dir, e->Value, raw.data(), n * size) / size;
  Array.resize(static_cast<size_t>(got));
  for (int64_t i = 0; i < got; ++i)
    Array[size_t(i)] = size == 2 ? TIFFGet16(&raw[size_t(i) * 2], Dir.LittleEndian)
                                 : TIFFGet32(&raw[size_t(i) * 4], Dir.LittleEndian);
  return static_cast<Integer>(Array.size());
}

Double TIFFGetRationalItem(const TTIFFDirectory& Dir, Word Tag, int64_t Index, Double Default) {
  const TTIFFEntry* e = Find(Dir, Tag);
  if (!e || Index < 0 || Index >= e->Count) return Default;
  Byte b[8];
  if (ReadAt(Dir, int64_t(e->Value) + 8 * Index, b, 8) != 8) return Default;
  const Cardinal num = TIFFGet32(b, Dir.LittleEndian);
  Cardinal den = TIFFGet32(b + 4, Dir.LittleEndian);
  if (den == 0) den = 1;
  return Double(num) / Double(den);
}

Double TIFFGetRational(const TTIFFDirectory& Dir, Word Tag) { return TIFFGetRationalItem(Dir, Tag, 0, 0.0); }

void TIFFGetValueBytes(const TTIFFDirectory& Dir, Word Tag, AnsiString& Text) {
  const TTIFFEntry* e = Find(Dir, Tag);
  if (!e) {
    Text.clear();
    return;
  }
  if (e->Count < 1 || e->Count > 4) return;
  Byte b[4];
  TIFFPut32(b, e->Value, Dir.LittleEndian);
  Text.assign(reinterpret_cast<const char*>(b), e->Count);
}

void TIFFGetString(const TTIFFDirectory& Dir, Word Tag, AnsiString& Text) {
  const TTIFFEntry* e = Find(Dir, Tag);
  if (!e) {
    Text.clear();
    return;
  }
  if (e->Count > TIFFMaxStringLength) return;
  if (e->Count <= 4) {
    TIFFGetValueBytes(Dir, Tag, Text);
  } else {
    Text.resize(e->Count);
    Text.resize(static_cast<size_t>(std::max<int64_t>(0, ReadAt(Dir, e->Value, Text.data(), e->Count))));
  }
  while (!Text.empty() && Text.back() == '\0') Text.pop_back();
}

void TIFFGetWideString(const TTIFFDirectory& Dir, Word Tag, WideString& Text) {
  const TTIFFEntry* e = Find(Dir, Tag);
  if (!e) {
    Text.clear();
    return;
  }
  if (e->Count > TIFFMaxStringLength) return;
  if (e->Count <= 4) {
    Text.assign(1, static_cast<char16_t>(e->Value & 0xFFFF));
    return;
  }
  const Cardinal chars = (e->Count - 2) / 2;
  std::vector<Byte> raw(size_t(chars) * 2);
  const int64_t got = ReadAt(Dir, e->Value, raw.data(), int64_t(raw.size())) / 2;
  Text.resize(static_cast<size_t>(std::max<int64_t>(0, got)));
  for (size_t i = 0; i < Text.size(); ++i) Text[i] = static_cast<char16_t>(raw[i * 2] | raw[i * 2 + 1] << 8);
}

std::vector<Byte> TIFFReadTagBytes(const TTIFFDirectory& Dir, Word Tag) {
  const TTIFFEntry* e = Find(Dir, Tag);
  if (!e) return {};
  const int64_t bytes = int64_t(e->Count) * TIFFFieldTypeSize(e->Type);
  if (bytes <= 0) return {};
  std::vector<Byte> out;
  if (bytes <= 4) {
    Byte b[4];
    TIFFPut32(b, e->Value, Dir.LittleEndian);
    out.assign(b, b + bytes);
    return out;
  }
  if (Dir.Base + int64_t(e->Value) + bytes > Dir.Stream->Size()) return {};
  out.resize(static_cast<size_t>(bytes));
  if (ReadAt(Dir, e->Value, out.data(), bytes) != bytes) return {};
  return out;
}

// --- reading -----------------------------------------------------------------------

namespace {

// The compression as the parameters name it.
Byte CompressionKey(Integer Compression, Integer T4Options) {
  switch (Compression) {
    case 1: return 0;
    case 2: return 1;
    case 3: return (T4Options & 1) ? 3 : 2;
    case 4: return 4;
    case 5: return 5;
    case 6: return 6;
    case 7: return 7;
    case 32773: return 8;
    case 32946: return 9;
    case 8: return 10;
    default: return 11;
  }
}

TIEPixelFormat ChoosePixelFormat(const TTIFFVars& V, bool Native) {
  const Integer b = V.BitsPerSample, s = V.SamplesPerPixel, ph = V.Photometric;
  if (b == 1 && s == 1 && ph != 3) return ie1g;
  if (Native) {
    if (b == 8 && s == 1 && ph == 3) return ie8p;
    if (b == 8 && s == 1 && (ph == 0 || ph == 1)) return ie8g;
    if (b == 16 && s == 1 && (ph == 0 || ph == 1)) return ie16g;
    if (b == 8 && s >= 4 && ph == 5) return ieCMYK;
    if (b == 16 && s == 4 && ph == 5) return ieCMYK;
    if (b == 16 && s == 3 && ph == 2) return ieRGB48;
  }
  return ie24RGB;
}

// Bilevel, 8-bit or 16-bit samples, or a palette/grey depth the rows expand.
bool ReadBitsPerSample(const TTIFFDirectory& Dir, TTIFFVars& V) {
  const TTIFFEntry* e = Find(Dir, TIFFTAG_BITSPERSAMPLE);
  if (!e) {
    V.BitsPerSample = 1;
    return true;
  }
  V.BitsPerSample = static_cast<Integer>(TIFFGetArrayItem(Dir, TIFFTAG_BITSPERSAMPLE, 0, 1));
  // Every value must agree; a count cannot make this loop longer than the
  // samples of a pixel.
  const int64_t n = std::min<int64_t>(e->Count, 65535);
  for (int64_t i = 1; i < n; ++i)
    if (TIFFGetArrayItem(Dir, TIFFTAG_BITSPERSAMPLE, i, V.BitsPerSample) != V.BitsPerSample) return false;
  return true;
}

// The colour map: 3 x 2^bits SHORTs, red curve, green curve, blue curve.
// A map of another length, or for more than 16 bits, is no map.
void ReadColormap(const TTIFFDirectory& Dir, TTIFFVars& V) {
  V.Palette.clear();
  const TTIFFEntry* e = Find(Dir, TIFFTAG_COLORMAP);
  if (!e || V.BitsPerSample < 1 || V.BitsPerSample > 16 || e->Type != IETIFFTYPE_SHORT) return;
  const Cardinal entries = Cardinal(1) << V.BitsPerSample;
  if (e->Count != 3 * entries) return;
  std::vector<Cardinal> curves;
  if (TIFFReadIntegerArray(Dir, curves, TIFFTAG_COLORMAP) != Integer(3 * entries)) return;
  const Cardinal maxValue = *std::max_element(curves.begin(), curves.end());
  const int shift = maxValue < 256 ? 0 : 8;
  V.Palette.resize(entries);
  for (Cardinal i = 0; i < entries; ++i) {
    V.Palette[i].r = static_cast<Byte>(curves[i] >> shift);
    V.Palette[i].g = static_cast<Byte>(curves[entries + i] >> shift);
    V.Palette[i].b = static_cast<Byte>(curves[2 * entries + i] >> shift);
  }
}

Integer Int(int64_t V) { return static_cast<Integer>(V); }

void ReadFields(const TTIFFDirectory& Dir, TTIFFVars& V) {
  V.RowsPerStrip = Int(TIFFGetInteger(Dir, TIFFTAG_ROWSPERSTRIP, V.ImageHeight));
  if (V.RowsPerStrip <= 0) V.RowsPerStrip = V.ImageHeight;
  V.Photometric = static_cast<Word>(TIFFGetInteger(Dir, TIFFTAG_PHOTOMETRIC, 2));
  V.PlanarConfig = static_cast<Word>(TIFFGetInteger(Dir, TIFFTAG_PLANARCONFIG, 1));
  V.Orientation = static_cast<Word>(TIFFGetInteger(Dir, TIFFTAG_ORIENTATION, 1));
  V.Compression = static_cast<Word>(TIFFGetInteger(Dir, TIFFTAG_COMPRESSION, 1));
  V.Predictor = Int(TIFFGetInteger(Dir, TIFFTAG_PREDICTOR, 1));
  V.ResolutionUnit = Int(TIFFGetInteger(Dir, TIFFTAG_RESOLUTIONUNIT, 2));
  V.XResolution = TIFFGetRational(Dir, TIFFTAG_XRESOLUTION);
  V.YResolution = TIFFGetRational(Dir, TIFFTAG_YRESOLUTION);
  V.T4Options = Int(TIFFGetInteger(Dir, TIFFTAG_T4OPTIONS, 0));
  V.T6Options = Int(TIFFGetInteger(Dir, TIFFTAG_T6OPTIONS, 0));
  V.FillOrder = Int(TIFFGetInteger(Dir, TIFFTAG_FILLORDER, 1));
  if (V.FillOrder != 1 && V.FillOrder != 2) V.FillOrder = 1;
  V.XPosition = TIFFGetRational(Dir, TIFFTAG_XPOSITION);
  V.YPosition = TIFFGetRational(Dir, TIFFTAG_YPOSITION);
  TIFFGetString(Dir, TIFFTAG_DOCUMENTNAME, V.DocumentName);
  TIFFGetString(Dir, TIFFTAG_IMAGEDESCRIPTION, V.ImageDescription);
  TIFFGetString(Dir, TIFFTAG_PAGENAME, V.PageName);
  V.PageNumber = Int(TIFFGetArrayItem(Dir, TIFFTAG_PAGENUMBER, 0, 0));
  V.PageCount = Int(TIFFGetArrayItem(Dir, TIFFTAG_PAGENUMBER, 1, 0));
  TIFFGetString(Dir, TIFFTAG_SOFTWARE, V.Software);
  TIFFGetString(Dir, TIFFTAG_ARTIST, V.Artist);
  V.InkSet = Int(TIFFGetInteger(Dir, TIFFTAG_INKSET, 1));
  V.NumberOfInks = Int(TIFFGetInteger(Dir, TIFFTAG_NUMBEROFINKS, 4));
  V.JPEGProc = Int(TIFFGetInteger(Dir, TIFFTAG_JPEGPROC, 0));
  V.JPEGIFOffset = Int(TIFFGetInteger(Dir, TIFFTAG_JPEGIFOFFSET, 0));
  V.JPEGIFByteCount = Int(TIFFGetInteger(Dir, TIFFTAG_JPEGIFBYTECOUNT, 0));
  V.JPEGRestartInterval = Int(TIFFGetInteger(Dir, TIFFTAG_JPEGRESTARTINTERVAL, 0));
  const Integer jpegSamples = std::min(V.SamplesPerPixel, 7);
  for (Integer i = 0; i < jpegSamples; ++i) {
    V.JPEGLosslessPredictors[i] = Int(TIFFGetArrayItem(Dir, TIFFTAG_JPEGLOSSLESSPREDICTORS, i, 0));
    V.JPEGPointTransform[i] = Int(TIFFGetArrayItem(Dir, TIFFTAG_JPEGPOINTTRANSFORM, i, 0));
    V.JPEGQTables[i] = Int(TIFFGetArrayItem(Dir, TIFFTAG_JPEGQTABLES, i, 0));
    V.JPEGDCTables[i] = Int(TIFFGetArrayItem(Dir, TIFFTAG_JPEGDCTABLES, i, 0));
    V.JPEGACTables[i] = Int(TIFFGetArrayItem(Dir, TIFFTAG_JPEGACTABLES, i, 0));
  }
  V.ExtraSample = Int(TIFFGetArrayItem(Dir, TIFFTAG_EXTRASAMPLES, 0, 0));
  if (const TTIFFEntry* e = Find(Dir, TIFFTAG_EXTRASAMPLES)) {
    V.ExtraSamplesCount = Int(std::min<int64_t>(e->Count, TIFFMaxExtraSamples));
    for (Integer i = 0; i < V.ExtraSamplesCount; ++i)
      V.ExtraSamples[i] = Int(TIFFGetArrayItem(Dir, TIFFTAG_EXTRASAMPLES, i, 0));
  }
  V.YCbCrSubsampleHoriz = Int(TIFFGetArrayItem(Dir, TIFFTAG_YCBCRSUBSAMPLING, 0, 2));
  V.YCbCrSubsampleVert = Int(TIFFGetArrayItem(Dir, TIFFTAG_YCBCRSUBSAMPLING, 1, 2));
  if (V.YCbCrSubsampleHoriz == 0) V.YCbCrSubsampleHoriz = 2;
  if (V.YCbCrSubsampleVert == 0) V.YCbCrSubsampleVert = 2;
  for (Integer i = 0; i < 8; ++i) V.DotRange[i] = Int(TIFFGetArrayItem(Dir, TIFFTAG_DOTRANGE, i, 0));
  TIFFReadIntegerArray(Dir, V.StripOffsets, TIFFTAG_STRIPOFFSETS);
  TIFFReadIntegerArray(Dir, V.StripByteCounts, TIFFTAG_STRIPBYTECOUNTS);
  TIFFReadIntegerArray(Dir, V.TileOffsets, TIFFTAG_TILEOFFSETS);
  TIFFReadIntegerArray(Dir, V.TileByteCounts, TIFFTAG_TILEBYTECOUNTS);
  V.JPEGTables = TIFFReadTagBytes(Dir, TIFFTAG_JPEGTABLES);
}

void TransferParams(const TTIFFVars& V, Integer ImageCount, TIOParamsVals& P) {
  P.SetImageCount(ImageCount);
  P.BITSPERSAMPLE = V.BitsPerSample;
  P.SAMPLESPERPIXEL = V.SamplesPerPixel;
  P.WIDTH = P.ORIGINALWIDTH = V.ImageWidth;
  P.HEIGHT = P.ORIGINALHEIGHT = V.ImageHeight;
  P.TIFF_BYTEORDER = V.LittleEndian ? 1 : 0;
  P.SetTIFFOrientation(V.Orientation);
  P.SetEXIFOrientation(V.Orientation);
  P.TIFF_COMPRESSION = CompressionKey(V.Compression, V.T4Options);
  if (V.Photometric <= 6)
    P.TIFF_PHOTOMETINTEPRET = static_cast<Byte>(V.Photometric);
  else if (V.Photometric == TIFFPHOTO_CIELAB)
    P.TIFF_PHOTOMETINTEPRET = 7;
  P.TIFF_PLANARCONF = V.PlanarConfig;
  P.TIFF_DOCUMENTNAME = V.DocumentName;
  P.TIFF_IMAGEDESCRIPTION = V.ImageDescription;
  P.EXIF_IMAGEDESCRIPTION = V.ImageDescription;
  P.TIFF_PAGENAME = V.PageName;
  P.TIFF_PAGENUMBER = V.PageNumber;
  P.TIFF_PAGECOUNT = V.PageCount;
  P.TIFF_FILLORDER = V.FillOrder;
  P.FreeColorMap();
  if (!V.Palette.empty()) {
    P.COLORMAP = std::make_unique<TRGB[]>(V.Palette.size());
    std::copy(V.Palette.begin(), V.Palette.end(), P.COLORMAP.get());
    P.COLORMAPCOUNT = static_cast<Integer>(V.Palette.size());
  }
  const Double factor = V.ResolutionUnit == 3 ? 2.54 : 1.0;
  P.SetEXIFXResolution(V.XResolution * factor);
  P.SetEXIFYResolution(V.YResolution * factor);
  P.TIFF_XPOS = static_cast<Integer>(V.XPosition * factor);
  P.TIFF_YPOS = static_cast<Integer>(V.YPosition * factor);
}

// The least bytes of coded data that can hold the decoded picture: a file
// far too small for its declared size is refused before the allocation.
int64_t MinCodedBytes(const TTIFFVars& V) {
  const int64_t bits = int64_t(V.ImageWidth) * V.SamplesPerPixel * V.BitsPerSample;
  const int64_t decoded = (bits + 7) / 8 * V.ImageHeight;
  switch (V.Compression) {
    // Short strips are read as far as they go, but a file cannot be a
    // thousandth of its picture: that asks for memory no data backs.
    case TIFFCOMP_NONE: return decoded / 1032;
    case TIFFCOMP_PACKBITS: return decoded / 64;
    case TIFFCOMP_ADOBE_DEFLATE:
    case TIFFCOMP_DEFLATE: return IEDeflateMinInput(decoded);
    // A 12-bit LZW code stands for at most 4096 bytes.
    case TIFFCOMP_LZW: return decoded / 2730;
    // A Group 4 row can take a single bit.
    case TIFFCOMP_CCITTRLE:
    case TIFFCOMP_CCITTFAX3:
    case TIFFCOMP_CCITTFAX4: return V.ImageHeight / 8;
    default: return 0;
  }
}

// --- old-style JPEG ---------------------------------------------------------

// Bytes [At, At + Size) of the stream; false when they do not lie inside it.
bool ReadRange(TStream* S, int64_t At, int64_t Size, std::vector<Byte>& Out) {
  if (At < 0 || Size < 0 || At + Size > S->Size()) return false;
  Out.resize(size_t(Size));
  return Size == 0 || IEReadAt(S, At, Out.data(), Size) == Size;
}

// Walks the marker segments of the JPEG data that starts with SOI. OnSegment
// sees each segment's marker and the position of its FF byte; a true answer
// ends the walk. Stops at the first scan or where the data ends.
template <typename F>
void WalkJPEGSegments(const std::vector<Byte>& D, F OnSegment) {
  if (D.size() < 4 || D[0] != 0xFF || D[1] != 0xD8) return;
  size_t i = 2;
  while (i + 4 <= D.size()) {
    if (D[i] != 0xFF) return;
    const Byte m = D[i + 1];
    if (m == 0xFF) {  // fill byte
      ++i;
      continue;
    }
    if (OnSegment(m, i) || m == 0xDA) return;
    if (m == 0x01 || (m >= 0xD0 && m <= 0xD7)) {
      i += 2;
      continue;
    }
    i += 2 + ((size_t(D[i + 2]) << 8) | D[i + 3]);
  }
}

bool HasScan(const std::vector<Byte>& D) {
  bool scan = false;
  WalkJPEGSegments(D, [&](Byte m, size_t) { return scan = m == 0xDA; });
  return scan;
}

// The tables of the file declare the whole picture's height, while a strip
// holds only its own rows: the frame header of the strip's copy says so, so
// that the decoder neither waits for rows that never come nor allocates them.
void LimitFrameHeight(std::vector<Byte>& D, Integer Rows) {
  WalkJPEGSegments(D, [&](Byte m, size_t i) {
    const bool frame = m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC;
    if (!frame || i + 9 > D.size()) return false;
    const Integer declared = (Integer(D[i + 5]) << 8) | D[i + 6];
    if (declared == 0 || declared > Rows) {
      D[i + 5] = Byte(Rows >> 8);
      D[i + 6] = Byte(Rows);
    }
    return true;
  });
}

// Decodes one JPEG held in memory into Out (ie24RGB). The decoder gets an
// abort flag of its own, so that its failures and the user's cancel never
// clear each other; returns the rows it gave.
Integer DecodeOldJPEGPart(const std::vector<Byte>& Data, TIEBitmap* Out, TIEProgressRec& Progress,
                          bool PassProgress) {
  TMemoryStream m;
  if (!Data.empty()) m.Write(Data.data(), int64_t(Data.size()));
  m.SetPosition(0);
  std::atomic<bool> aborting{false};
  TIEProgressRec local(aborting, PassProgress ? Progress.fOnProgress : nullptr, Progress.Sender);
  TIOParamsVals jp(nullptr);
  jp.ISNATIVEPIXELFORMAT = false;
  const Integer rows = IEReadJPEG(&m, nullptr, Out, jp, local, false, false, false, false, false, false, -1, false);
  return aborting.load() ? -rows - 1 : rows;
}

// Old-style JPEG, in the two layouts files use. A complete JPEG stream (at
// JPEGInterchangeFormat, as our writer and EXIF thumbnails store it, or at the
// first strip) is decoded as it stands. Otherwise JPEGInterchangeFormat holds
// only the tables, strip 0 starts with the scan header and every strip holds
// its rows' coded data: each strip is decoded behind the tables and that scan
// header, and its rows are placed where the strip begins.
void TIFFReadOldJPEG(const TTIFFDirectory& Dir, const TTIFFVars& V, TIEBitmap* Bitmap, TIEProgressRec& Progress) {
  TStream* S = Dir.Stream;
  std::vector<Byte> tables;
  if (V.JPEGIFOffset > 0 && V.JPEGIFByteCount > 0 &&
      !ReadRange(S, Dir.Base + int64_t(Cardinal(V.JPEGIFOffset)), int64_t(Cardinal(V.JPEGIFByteCount)), tables))
    tables.clear();
  const bool strips = !V.StripOffsets.empty() && V.StripByteCounts.size() >= V.StripOffsets.size();
  if (!HasScan(tables) && strips && V.ImageWidth > 0 && V.ImageHeight > 0) {
    if (!IEPictureFits(IEReadLimits.TIFF, V.ImageWidth, V.ImageHeight, 24) ||
        !Bitmap->Allocate(V.ImageWidth, V.ImageHeight, ie24RGB)) {
      Progress.Abort();
      return;
    }
    Bitmap->Fill(0);
    const int64_t rps = V.RowsPerStrip > 0 ? V.RowsPerStrip : V.ImageHeight;
    const int64_t count = std::min<int64_t>(int64_t(V.StripOffsets.size()), (V.ImageHeight + rps - 1) / rps);
    // The scan header that strip 0 starts with, for the strips after it.
    std::vector<Byte> scanHeader;
    {
      Byte h[4];
      const int64_t at = Dir.Base + V.StripOffsets[0];
      if (!tables.empty() && IEReadAt(S, at, h, 4) == 4 && h[0] == 0xFF && h[1] == 0xDA &&
          !ReadRange(S, at, 2 + ((int64_t(h[2]) << 8) | h[3]), scanHeader))
        scanHeader.clear();
    }
    Progress.SetUnits(count);
    Integer good = 0;
    TIEBitmap part;
    for (int64_t r = 0; r < count && !Progress.Aborted(); ++r) {
      const Integer rows = Integer(std::min<int64_t>(rps, V.ImageHeight - r * rps));
      const int64_t at = Dir.Base + V.StripOffsets[size_t(r)];
      const int64_t size = std::min<int64_t>(V.StripByteCounts[size_t(r)], std::max<int64_t>(0, S->Size() - at));
      std::vector<Byte> body;
      if (size <= 0 || !ReadRange(S, at, size, body)) continue;
      std::vector<Byte> data = tables;
      if (r > 0 && !(body.size() >= 2 && body[0] == 0xFF && body[1] == 0xDA))
        data.insert(data.end(), scanHeader.begin(), scanHeader.end());
      data.insert(data.end(), body.begin(), body.end());
      LimitFrameHeight(data, rows);
      Integer got = DecodeOldJPEGPart(data, &part, Progress, count == 1);
      // A short strip whose decoder gave up past half its rows still shows
      // what it gave.
      if (got < 0) got = -got - 1 > rows / 2 ? -got - 1 : 0;
      if (got > 0 && part.Width() == V.ImageWidth && part.PixelFormat() == ie24RGB) {
        part.CopyRectTo(Bitmap, 0, 0, 0, Integer(r * rps), V.ImageWidth, std::min(got, rows));
        ++good;
      }
      if (count > 1) Progress.Report(r + 1);
    }
    if (good == 0) Progress.Abort();
    return;
  }
  // One whole JPEG stream: the bytes JPEGInterchangeFormat names (the
  // decoder finds a start a little way in), else as far as its markers go.
  std::vector<Byte> whole;
  if (!tables.empty()) {
    whole = std::move(tables);
  } else {
    const int64_t at = Dir.Base + (V.JPEGIFOffset > 0 ? int64_t(Cardinal(V.JPEGIFOffset))
                                                      : V.StripOffsets.empty() ? -1 : int64_t(V.StripOffsets[0]));
    if (at >= 0 && at < S->Size()) {
      const int64_t was = S->Position();
      S->SetPosition(at);
      const int64_t size = IEGetJPEGStreamLength(S);
      S->SetPosition(was);
      if (!ReadRange(S, at, size, whole)) whole.clear();
    }
  }
  const Integer got = whole.empty() ? -1 : DecodeOldJPEGPart(whole, Bitmap, Progress, true);
  if (got <= 0 || Bitmap->Width() == 0) Progress.Abort();
}

void ReadTIFF(TIEBitmap* Bitmap, TStream* Stream, Integer& ImageCount, TIOParamsVals* Params,
              TIEProgressRec& Progress, bool ParamsOnly, std::unique_ptr<TIEMask>& AlphaMask, bool RelativeOffsets,
              bool IgnoreAlpha, bool ReadingExifThumbnail) {
  TTIFFVars V;
  TTIFFDirectory mainDir, exifDir, gpsDir;
  mainDir.Stream = Stream;
  mainDir.Base = RelativeOffsets ? Stream->Position() : 0;

  Byte h[8];
  if (IEReadAt(Stream, Stream->Position(), h, 8) != 8) {
    Progress.Abort();
    return;
  }
  if (h[0] == 'I' && h[1] == 'I') {
    mainDir.LittleEndian = true;
  } else if (h[0] == 'M' && h[1] == 'M') {
    mainDir.LittleEndian = false;
  } else {
    Progress.Abort();
    return;
  }
  V.LittleEndian = mainDir.LittleEndian;
  exifDir = gpsDir = mainDir;
  const int64_t first = TIFFGet32(h + 4, mainDir.LittleEndian);
  // No directory at all (a cut file whose directory lay at its end, or none
  // named): there is no picture, and an empty one must not pass for it.
  if (first == 0) {
    Progress.Abort();
    return;
  }
  if (!TIFFLoadIFD(mainDir, Params ? Params->TIFF_IMAGEINDEX : -1, first, ImageCount)) {
    if (ImageCount == 0) Progress.Abort();
    return;
  }

  if (Params && Params->TIFF_SUBINDEX >= 0) {
    const int64_t sub = TIFFGetArrayItem(mainDir, TIFFTAG_SUBIFD, Params->TIFF_SUBINDEX, 0);
    Integer subCount = 0;
    if (sub != 0) TIFFLoadIFD(mainDir, 0, sub, subCount);
  }
  Integer unused = 0;
  if (const int64_t exif = TIFFGetInteger(mainDir, TIFFTAG_EXIFIFD, 0)) {
    TIFFLoadIFD(exifDir, 0, exif, unused);
    if (Params) Params->EXIF_HASEXIF = true;
  }
  if (const int64_t gps = TIFFGetInteger(mainDir, TIFFTAG_GPSIFD, 0)) TIFFLoadIFD(gpsDir, 0, gps, unused);

  // Geometry.
  V.TileWidth = Int(TIFFGetInteger(mainDir, TIFFTAG_TILEWIDTH, -1));
  V.TileLength = Int(TIFFGetInteger(mainDir, TIFFTAG_TILELENGTH, -1));
  const Integer getTile = Params ? Params->TIFF_GETTILE : -1;
  const int64_t w = getTile == -1 ? TIFFGetInteger(mainDir, TIFFTAG_IMAGEWIDTH, 0) : V.TileWidth;
  const int64_t ht = getTile == -1 ? TIFFGetInteger(mainDir, TIFFTAG_IMAGELENGTH, 0) : V.TileLength;
  // Sizes beyond 31 bits fit no picture: taken as none.
  V.ImageWidth = w > 0 && w <= INT32_MAX ? Int(w) : 0;
  V.ImageHeight = ht > 0 && ht <= INT32_MAX ? Int(ht) : 0;
  V.SamplesPerPixel = Int(TIFFGetInteger(mainDir, TIFFTAG_SAMPLESPERPIXEL, 1));
  if (!ReadBitsPerSample(mainDir, V)) {
    Progress.Abort();
    return;
  }
  ReadFields(mainDir, V);
  if (V.SamplesPerPixel == 1 && V.BitsPerSample == 1 && V.Compression >= 1 && V.Compression <= 4 &&
      V.Photometric == TIFFPHOTO_RGB)
    V.Photometric = TIFFPHOTO_MINISWHITE;
  ReadColormap(mainDir, V);

  if (Params) {
    TransferParams(V, ImageCount, *Params);
    TIFFReadMetadata(mainDir, exifDir, gpsDir, *Params);
  }

  if (!ReadingExifThumbnail && (V.ImageWidth == 0 || V.ImageHeight == 0)) {
    Progress.Abort();
    return;
  }
  if (V.Compression == TIFFCOMP_LZW) {
    V.LZWDecompress = Params && Params->TIFF_LZWDECOMPRESS ? Params->TIFF_LZWDECOMPRESS : IETIFFLZWDecompressProc;
    if (!V.LZWDecompress) {
      Progress.Abort();
      return;
    }
  }
  if (ParamsOnly || Bitmap == nullptr) return;

  V.Params = Params;
  V.IgnoreAlpha = IgnoreAlpha;
  const Integer s = V.SamplesPerPixel;
  if (!IgnoreAlpha && ((s == 4 && V.ExtraSample == 2) || (s > 3 && V.ExtraSamplesCount > 0) ||
                       (s == 2 && V.BitsPerSample == 8) || (s == 4 && V.Photometric == TIFFPHOTO_RGB))) {
    if (!AlphaMask) AlphaMask = std::make_unique<TIEMask>();
    AlphaMask->AllocateBits(V.ImageWidth, V.ImageHeight, 8);
    AlphaMask->Fill(255);
    V.AlphaMask = AlphaMask.get();
  }

  if (ReadingExifThumbnail && (V.ImageWidth > 400 || V.ImageHeight > 400)) {
    Progress.Abort();
    return;
  }
  const bool oldJPEG = (V.Compression == TIFFCOMP_OJPEG || (V.JPEGIFOffset != 0 && V.Compression != TIFFCOMP_LZW)) &&
                       V.JPEGProc < 2;
  const bool tiled = V.TileWidth > 0 || V.TileLength > 0;
  if (oldJPEG) {
    TIFFReadOldJPEG(mainDir, V, Bitmap, Progress);
    // A thumbnail directory that names no size may still hold a big JPEG.
    if (ReadingExifThumbnail && (Bitmap->Width() > 400 || Bitmap->Height() > 400)) {
      Bitmap->FreeImage(true);
      Progress.Abort();
    }
    if (!Progress.Aborted() && Params && Params->TIFF_ENABLEADJUSTORIENTATION && V.Orientation >= 2 &&
        V.Orientation <= 8)
      IEApplyExifOrientation(Bitmap, V.Orientation);
    return;
  }
  // Fax coding holds bilevel pictures only.
  const bool fax = V.Compression >= TIFFCOMP_CCITTRLE && V.Compression <= TIFFCOMP_CCITTFAX4;
  if (fax && (V.BitsPerSample != 1 || V.SamplesPerPixel != 1)) {
    Progress.Abort();
    return;
  }
  if (V.Predictor == 3 || V.SamplesPerPixel < 1 || (V.PlanarConfig == 2 && V.SamplesPerPixel > 10)) {
    Progress.Abort();
    return;
  }

  const TIEPixelFormat pf = ChoosePixelFormat(V, Params && Params->ISNATIVEPIXELFORMAT);
  const TIEBitmapAccess access = Bitmap->Access();
  Bitmap->SetAccess(ieaWrite);
  const int64_t avail = Stream->Size() - mainDir.Base;
  if (!IEPictureFits(IEReadLimits.TIFF, V.ImageWidth, V.ImageHeight, IEPixelFormatBitCount(pf)) ||
      !IEPictureFits(IEReadLimits.TIFF, V.ImageWidth, V.ImageHeight,
                     int64_t(V.SamplesPerPixel) * std::max(V.BitsPerSample, 8)) ||
      !IEDataCanExplain(MinCodedBytes(V), avail) || !Bitmap->Allocate(V.ImageWidth, V.ImageHeight, pf)) {
    Bitmap->SetAccess(access);
    Progress.Abort();
    return;
  }
  if (pf == ie8p) {
    for (size_t i = 0; i < V.Palette.size() && i < 256; ++i) Bitmap->SetPaletteColor(Integer(i), V.Palette[i]);
  }
  if (!V.StripOffsets.empty() || (tiled && !V.TileOffsets.empty())) TIFFReadStrips(mainDir, V, Bitmap, Progress);
  Bitmap->SetAccess(access);

  if (Params && Params->TIFF_ENABLEADJUSTORIENTATION && V.Orientation >= 2 && V.Orientation <= 8) {
    // The alpha turns with the picture: it joins the bitmap first, and the
    // caller then has no mask left to merge.
    if (AlphaMask) {
      IECopyFromTIEMask(*Bitmap->GetAlphaChannel(), AlphaMask.get());
      AlphaMask.reset();
    }
    IEApplyExifOrientation(Bitmap, V.Orientation);
  }
}

}  // namespace

void IEReadTIFF(TIEBitmap* Bitmap, TStream* Stream, Integer& ImageCount, TIOParamsVals* Params,
                TIEProgressRec& Progress, bool ParamsOnly, std::unique_ptr<TIEMask>& AlphaMask, bool RelativeOffsets,
                bool IgnoreAlpha, bool ReadingExifThumbnail) {
  ImageCount = 0;
  if (Stream == nullptr) {
    Progress.Abort();
    return;
  }
  try {
    ReadTIFF(Bitmap, Stream, ImageCount, Params, Progress, ParamsOnly, AlphaMask, RelativeOffsets, IgnoreAlpha,
             ReadingExifThumbnail);
  } catch (...) {
    // A failing stream or an allocation the limits let through: the codec
    // reports, it never raises.
    Progress.Abort();
  }
}

Integer IECountTIFFImages(TStream* Stream) {
  std::atomic<bool> aborting{false};
  TIEProgressRec progress(aborting);
  std::unique_ptr<TIEMask> mask;
  Integer count = 0;
  IEReadTIFF(nullptr, Stream, count, nullptr, progress, false, mask, true, true, false);
  return count;
}

void IETIFFReadRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                       bool Preview) {
  try {
    std::unique_ptr<TIEMask> mask;
    Integer count = 0;
    IEReadTIFF(Preview ? nullptr : Bitmap, Stream, count, &Params, Progress, Preview, mask, true, Preview, false);
    // A file with fewer pages than asked for reads nothing but still tells
    // how many it has.
    Params.SetImageCount(count);
    if (!Preview && mask && Bitmap && !Progress.Aborted()) {
      mask->SyncFull();
      IECopyFromTIEMask(*Bitmap->GetAlphaChannel(), mask.get());
    }
  } catch (...) {
    Progress.Abort();
  }
}

