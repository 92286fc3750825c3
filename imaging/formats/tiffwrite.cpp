// The TIFF writer. The layout is settled first (samples, bits, photometric
// kind, compression), then the strips are written row by row, then the tags
// are sorted into the directory. Every write goes through one checked stream,
// so that a short write anywhere stops the strips and leaves the directory out.
#include "imaging/formats/tiffwrite.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <set>
#include <vector>

#include "imaging/core/base/iehelpers.h"
#include "imaging/core/color/iebitrows.h"
#include "imaging/core/color/iecolorformat.h"
#include "imaging/core/color/iequantizer.h"
#include "imaging/formats/ccitt.h"
#include "imaging/formats/tiffcommon.h"
#include "imaging/formats/tiffmeta.h"
#include "imaging/formats/tifftaglist.h"
#include "imaging/io/iejpeg.h"
#include "imaging/io/iezlib.h"

namespace {

constexpr int64_t kStripBytes = 524288;           // raw bytes per strip, about 512 KB
constexpr Integer kMaxDirectories = 65535;        // a longer chain is taken as a loop

// Forwards to the output stream; a short or failed write sets the abort flag.
class TCheckedStream : public TStream {
 public:
  TCheckedStream(TStream* Dest, TIEProgressRec& Progress) : FDest(Dest), FProgress(Progress) {}
  int64_t Read(void* Buffer, int64_t Count) override { return FDest->Read(Buffer, Count); }
  int64_t Write(const void* Buffer, int64_t Count) override {
    if (FProgress.Aborted()) return 0;
    IESafeStreamWrite(FDest, FProgress, Buffer, Count);
    return FProgress.Aborted() ? 0 : Count;
  }
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override { return FDest->Seek(Offset, Origin); }
  int64_t Size() override { return FDest->Size(); }

 private:
  TStream* FDest;
  TIEProgressRec& FProgress;
};

enum TKind { kGray, kPalette, kCMYK, kCIELab, kRGB };

// What is stored and how; settled before any pixel is written.
struct TLayout {
  TIEBitmap* Bmp = nullptr;
  std::unique_ptr<TIEBitmap> Own;  // a private copy when the caller's picture needs converting
  TKind Kind = kRGB;
  Integer Bits = 8, Samples = 3;
  Word Photometric = TIFFPHOTO_RGB;
  Word Compression = TIFFCOMP_NONE;
  bool Predictor = false;
  bool Alpha = false;
  std::unique_ptr<TIEQuantizer> Quantizer;
  TRGB ColorMap[256] = {};
  bool HasColorMap = false;
  TIETIFFLZWCompressFunc LZW = nullptr;
  Integer JPEGColorSpace = 0;
  bool TwoD = false;  // Group 3 with two-dimensional rows
  Integer FillOrder = 1;
};

bool IsFax(Word Compression) { return Compression >= TIFFCOMP_CCITTRLE && Compression <= TIFFCOMP_CCITTFAX4; }

// Converts the picture into a private copy (the caller's is never changed).
void ConvertOwn(TLayout& L, TIEPixelFormat To) {
  auto c = std::make_unique<TIEBitmap>(L.Bmp->Width(), L.Bmp->Height(), To);
  c->CopyAndConvertFormat(L.Bmp);
  L.Own = std::move(c);
  L.Bmp = L.Own.get();
}

bool AlphaShowsAnything(TIEBitmap* B) {
  if (!B->HasAlphaChannel()) return false;
  TIEBitmap* a = B->GetAlphaChannel();
  for (Integer y = 0; y < a->Height(); ++y) {
    const Byte* r = static_cast<const Byte*>(a->GetScanline(y));
    for (Integer x = 0; x < a->Width(); ++x)
      if (r[x] != 255) return true;
  }
  return false;
}

Word TIFFCompressionOf(Integer Code) {
  switch (Code) {
    case 1: return TIFFCOMP_CCITTRLE;
    case 2:
    case 3: return TIFFCOMP_CCITTFAX3;
    case 4: return TIFFCOMP_CCITTFAX4;
    case 5: return TIFFCOMP_LZW;
    case 6: return TIFFCOMP_OJPEG;
    case 7: return TIFFCOMP_JPEG;
    case 8: return TIFFCOMP_PACKBITS;
    case 9:
    case 10: return TIFFCOMP_DEFLATE;
    default: return TIFFCOMP_NONE;
  }
}

// Settles the layout from the parameters and the picture.
void ChooseLayout(TLayout& L, TIEBitmap* Bitmap, TIOParamsVals& Params) {
  L.Bmp = Bitmap;
  Integer bits = Params.BITSPERSAMPLE, samples = Params.SAMPLESPERPIXEL;
  Integer photo = Params.TIFF_PHOTOMETINTEPRET;
  L.Compression = TIFFCompressionOf(Params.TIFF_COMPRESSION);
  L.TwoD = Params.TIFF_COMPRESSION == 3;
  L.FillOrder = Params.TIFF_FILLORDER == 2 ? 2 : 1;
  const bool jpeg = L.Compression == TIFFCOMP_OJPEG || L.Compression == TIFFCOMP_JPEG;

  // Fax coding holds bilevel pictures only.
  if (IsFax(L.Compression) && !(bits == 1 && samples == 1)) L.Compression = TIFFCOMP_NONE;
  TIEPixelFormat pf = L.Bmp->PixelFormat();
  // Formats without rows of their own, and stored layouts other than the
  // picture's own, go through 24-bit RGB.
  const bool native = (pf == ie8g || pf == ie8p) ? (samples == 1 && bits == 8)
                      : pf == ie16g              ? (samples == 1 && bits == 16)
                      : pf == ie1g               ? (samples == 1 && bits == 1)
                                                 : (pf == ie24RGB || pf == ieRGB48 || pf == ieCMYK);
  if (jpeg ? pf != ie24RGB : !native) ConvertOwn(L, ie24RGB);
  pf = L.Bmp->PixelFormat();

  if (jpeg) {
    L.Bits = 8;
    switch (Params.TIFF_JPEGCOLORSPACE) {
      case 1: L.Kind = kGray, L.Samples = 1, L.Photometric = TIFFPHOTO_MINISBLACK; break;
      case 2: L.Kind = kRGB, L.Samples = 3, L.Photometric = TIFFPHOTO_YCBCR; break;
      case 3: L.Kind = kCMYK, L.Samples = 4, L.Photometric = TIFFPHOTO_SEPARATED; break;
      default: L.Kind = kRGB, L.Samples = 3, L.Photometric = TIFFPHOTO_RGB; break;
    }
    L.JPEGColorSpace = Params.TIFF_JPEGCOLORSPACE == 4 ? 0 : Params.TIFF_JPEGCOLORSPACE;
    return;
  }

  if (bits == 1 && samples == 1) {
    if (pf != ie1g) {
      TRGB dark{}, light{};
      if (auto two = IETwoColorsTo1Bit(L.Bmp, dark, light)) {
        L.Own = std::move(two);
        L.Bmp = L.Own.get();
      } else {
        ConvertOwn(L, ie1g);
      }
    }
    // ie1g: 0 black, 1 white, which photometric 1 says; the tag is always
    // written. Fax coding takes 0 as white: its rows are inverted and
    // stored as WhiteIsZero.
    L.Kind = kGray, L.Bits = 1, L.Samples = 1;
    L.Photometric = IsFax(L.Compression) ? TIFFPHOTO_MINISWHITE : TIFFPHOTO_MINISBLACK;
    return;
  }
  switch (pf) {
    case ie8g:
      L.Kind = kGray, L.Bits = 8, L.Samples = 1, L.Photometric = TIFFPHOTO_MINISBLACK;
      return;
    case ie16g:
      L.Kind = kGray, L.Bits = 16, L.Samples = 1, L.Photometric = TIFFPHOTO_MINISBLACK;
      return;
    case ie8p:
      L.Kind = kPalette, L.Bits = 8, L.Samples = 1, L.Photometric = TIFFPHOTO_PALETTE;
      for (Integer i = 0; i < 256 && i < L.Bmp->GetPaletteLength(); ++i) L.Bmp->GetPaletteColor(i, L.ColorMap[i]);
      L.HasColorMap = true;
      return;
    case ieRGB48:
      L.Kind = kRGB, L.Bits = 16, L.Samples = 3, L.Photometric = TIFFPHOTO_RGB;
      return;
    case ieCMYK:
      L.Kind = kCMYK, L.Bits = 8, L.Samples = 4, L.Photometric = TIFFPHOTO_SEPARATED;
      return;
    default:
      break;
  }
  // ie24RGB.
  if (samples == 1 && ((bits >= 2 && bits <= 8) || bits == 16)) {
    const Integer colours = std::min(1 << std::min<Integer>(bits, 8), 256);
    L.Quantizer = std::make_unique<TIEQuantizer>(L.Bmp, L.ColorMap, colours);
    if (L.Compression != TIFFCOMP_LZW && L.Compression != TIFFCOMP_PACKBITS && L.Compression != TIFFCOMP_DEFLATE)
      L.Compression = TIFFCOMP_NONE;
    L.Samples = 1;
    if (L.Quantizer->GrayScale()) {
      L.Kind = kGray, L.Bits = bits, L.Photometric = TIFFPHOTO_MINISBLACK;
    } else {
      L.Kind = kPalette, L.Bits = bits == 16 ? 8 : bits, L.Photometric = TIFFPHOTO_PALETTE;
      L.HasColorMap = true;
    }
    return;
  }
  // The colour kinds of 24-bit pictures: RGB unless CMYK or CIELab is asked for.
  if (photo == 5) {
    L.Kind = kCMYK, L.Bits = 8, L.Samples = 4, L.Photometric = TIFFPHOTO_SEPARATED;
  } else if (photo == 7) {
    L.Kind = kCIELab, L.Bits = 8, L.Samples = 3, L.Photometric = TIFFPHOTO_CIELAB;
  } else {
    L.Kind = kRGB, L.Bits = 8, L.Samples = 3, L.Photometric = TIFFPHOTO_RGB;
    // Straight alpha rides along where the compression keeps every byte.
    L.Alpha = AlphaShowsAnything(L.Bmp) && L.Compression != TIFFCOMP_OJPEG && L.Compression != TIFFCOMP_JPEG;
    if (L.Alpha) L.Samples = 4;
  }
}

// Packs the low Bits of each of Count values, most significant first.
void PackBitsRow(const Byte* In, Integer Count, Integer Bits, Byte* Out, size_t OutLen) {
  std::memset(Out, 0, OutLen);
  int64_t bit = 0;
  for (Integer i = 0; i < Count; ++i, bit += Bits) {
    const Integer v = In[i] & ((1 << Bits) - 1);
    for (Integer b = Bits - 1; b >= 0; --b) {
      const int64_t at = bit + (Bits - 1 - b);
      if (v >> b & 1) Out[at >> 3] |= Byte(0x80 >> (at & 7));
    }
  }
}

// The stored bytes of row Y.
void MakeRow(TLayout& L, Integer Y, std::vector<Byte>& Row, std::vector<Byte>& Work, TIOParamsVals& Params) {
  TIEBitmap* b = L.Bmp;
  const Integer w = b->Width();
  const Byte* src = static_cast<const Byte*>(b->GetScanline(Y));
  Byte* out = Row.data();
  switch (b->PixelFormat()) {
    case ie1g:
    case ie8g:
    case ie8p:
    case ie16g:
    case ieRGB48:
      std::memcpy(out, src, Row.size());
      return;
    case ieCMYK:
      for (size_t i = 0; i < Row.size(); ++i) out[i] = Byte(255 - src[i]);
      return;
    default:
      break;
  }
  switch (L.Kind) {
    case kCMYK:
      IEConvertColorFormat(src, iecfBGR, out, iecfCMYK, w, &Params);
      for (size_t i = 0; i < Row.size(); ++i) out[i] = Byte(255 - out[i]);
      return;
    case kCIELab:
      IEConvertColorFormat(src, iecfBGR, out, iecfCIELab, w, &Params);
      return;
    case kGray:
    case kPalette: {
      Work.resize(size_t(w));
      L.Quantizer->RGBIndexRow(reinterpret_cast<const TRGB*>(src), Work.data(), w);
      if (L.Bits == 8) {
        std::memcpy(out, Work.data(), size_t(w));
      } else if (L.Bits == 16) {
        for (Integer x = 0; x < w; ++x) TIFFPut16(out + 2 * x, Word(Work[size_t(x)] * 257), true);
      } else {
        PackBitsRow(Work.data(), w, L.Bits, out, Row.size());
      }
      return;
    }
    case kRGB:
      if (L.Alpha) {
        const Byte* a = static_cast<const Byte*>(b->GetAlphaChannel()->GetScanline(Y));
        for (Integer x = 0; x < w; ++x, src += 3, out += 4) {
          out[0] = src[2], out[1] = src[1], out[2] = src[0], out[3] = a[x];
        }
        return;
      }
      for (Integer x = 0; x < w; ++x) out[3 * x] = src[3 * x + 2], out[3 * x + 1] = src[3 * x + 1], out[3 * x + 2] = src[3 * x];
      if (L.Predictor)
        for (Integer i = 3 * w - 1; i >= 3; --i) out[i] = Byte(out[i] - out[i - 3]);
      return;
  }
}

// PackBits of one row: runs of 4 or more equal bytes, the rest as literals.
void PackBitsEncode(const Byte* In, size_t N, std::vector<Byte>& Out) {
  Out.clear();
  size_t lit = 0, litStart = 0;
  auto flush = [&] {
    if (!lit) return;
    Out.push_back(Byte(lit - 1));
    Out.insert(Out.end(), In + litStart, In + litStart + lit);
    lit = 0;
  };
  size_t i = 0;
  while (i < N) {
    size_t run = 1;
    while (i + run < N && run < 128 && In[i + run] == In[i]) ++run;
    if (run >= 4) {
      flush();
      Out.push_back(Byte(1 - Integer(run)));
      Out.push_back(In[i]);
      i += run;
      continue;
    }
    if (!lit) litStart = i;
    ++lit;
    ++i;
    if (lit == 128) flush();
  }
  flush();
}

// Writes the strips of the picture and their tags.
void WriteStrips(TLayout& L, TStream* S, TTagList& Tags, int64_t Base, TIOParamsVals& Params,
                 TIEProgressRec& Progress) {
  TIEBitmap* b = L.Bmp;
  const Integer h = b->Height();
  const int64_t rowLen = (int64_t(b->Width()) * L.Samples * L.Bits + 7) / 8;
  if (rowLen > TIFFMaxOffset || int64_t(h) * rowLen > TIFFMaxOffset) {
    Progress.Abort();
    return;
  }
  std::vector<Cardinal> offsets, counts;
  Integer rowsPerStrip = h;

  if (L.Compression == TIFFCOMP_JPEG) {
    const Cardinal at = Tags.EvenOffset();
    TIOParamsVals jp(nullptr);
    jp.JPEG_QUALITY = Params.TIFF_JPEGQUALITY;
    jp.JPEG_COLORSPACE = Byte(L.JPEGColorSpace);
    IEWriteJPEG(S, b, jp, Progress);
    offsets.push_back(at);
    counts.push_back(Cardinal(S->Position() - Base - at));
  } else {
    const bool oneStrip = L.Compression == TIFFCOMP_DEFLATE;
    rowsPerStrip = oneStrip ? h : Integer(std::max<int64_t>(1, std::min<int64_t>(h, kStripBytes / rowLen)));
    if (rowsPerStrip < 1) rowsPerStrip = 1;
    std::vector<Byte> row(static_cast<size_t>(rowLen)), work, packed;
    const Integer level = Params.TIFF_ZIPCOMPRESSION == 0 ? zcFastest : Params.TIFF_ZIPCOMPRESSION == 2 ? zcMax : zcDefault;
    Progress.SetUnits(h);
    for (Integer y0 = 0; y0 < h && !Progress.Aborted(); y0 += rowsPerStrip) {
      const Cardinal at = Tags.EvenOffset();
      void* lzw = nullptr;
      TIECCITTState fax;
      std::unique_ptr<TZCompressionStream> z;
      if (L.Compression == TIFFCOMP_DEFLATE) z = std::make_unique<TZCompressionStream>(S, level);
      const Integer y1 = std::min(h, y0 + rowsPerStrip);
      for (Integer y = y0; y < y1 && !Progress.Aborted(); ++y) {
        Progress.Report(y);
        MakeRow(L, y, row, work, Params);
        if (IsFax(L.Compression))
          for (Byte& v : row) v = Byte(~v);
        switch (L.Compression) {
          case TIFFCOMP_CCITTRLE:
            IECCITTEncodeHuffmanRow(row.data(), b->Width(), S, Progress.Aborting, L.FillOrder);
            break;
          case TIFFCOMP_CCITTFAX3:
            if (L.TwoD)
              IECCITTEncodeG3Row2D(row.data(), b->Width(), S, fax, Progress.Aborting, L.FillOrder);
            else
              IECCITTEncodeG3Row(row.data(), b->Width(), S, fax, Progress.Aborting, L.FillOrder, true);
            break;
          case TIFFCOMP_CCITTFAX4:
            IECCITTEncodeG4Row(row.data(), b->Width(), S, fax, Progress.Aborting, L.FillOrder);
            break;
          case TIFFCOMP_LZW: L.LZW(row.data(), Integer(rowLen), S, lzw); break;
          case TIFFCOMP_PACKBITS:
            PackBitsEncode(row.data(), row.size(), packed);
            S->Write(packed.data(), int64_t(packed.size()));
            break;
          case TIFFCOMP_DEFLATE: z->Write(row.data(), rowLen); break;
          default: S->Write(row.data(), rowLen); break;
        }
      }
      if (L.Compression == TIFFCOMP_LZW) L.LZW(nullptr, 0, S, lzw);
      // The strip's closing codes and its last, padded byte.
      if (L.Compression == TIFFCOMP_CCITTFAX4)
        IECCITTEncodeG4Row(nullptr, 0, S, fax, Progress.Aborting, L.FillOrder);
      else if (L.Compression == TIFFCOMP_CCITTFAX3 && L.TwoD)
        IECCITTEncodeG3Row2D(nullptr, 0, S, fax, Progress.Aborting, L.FillOrder);
      else if (L.Compression == TIFFCOMP_CCITTFAX3)
        IECCITTFlushG3(S, fax, Progress.Aborting, L.FillOrder);
      if (z) z->Finish();
      const int64_t end = S->Position() - Base;
      if (end > TIFFMaxOffset) {
        Progress.Abort();
        return;
      }
      offsets.push_back(at);
      counts.push_back(Cardinal(end - at));
    }
  }
  if (Progress.Aborted()) return;
  Tags.Long(TIFFTAG_ROWSPERSTRIP, Cardinal(rowsPerStrip));
  Tags.Longs(TIFFTAG_STRIPOFFSETS, offsets);
  Tags.Longs(TIFFTAG_STRIPBYTECOUNTS, counts);
}

// Old-style JPEG: a whole JFIF stream, with the strip starting at its scan.
void WriteOldJPEG(TLayout& L, TStream* S, TTagList& Tags, TIOParamsVals& Params, TIEProgressRec& Progress) {
  TMemoryStream m;
  TIOParamsVals jp(nullptr);
  jp.JPEG_QUALITY = Params.TIFF_JPEGQUALITY;
  jp.JPEG_COLORSPACE = Byte(L.JPEGColorSpace);
  IEWriteJPEG(&m, L.Bmp, jp, Progress);
  if (Progress.Aborted()) return;
  const Byte* d = static_cast<const Byte*>(m.Memory());
  const int64_t size = m.Size();
  int64_t sos = 0;
  while (sos + 1 < size && !(d[sos] == 0xFF && d[sos + 1] == 0xDA)) ++sos;
  if (sos + 1 >= size) {
    Progress.Abort();
    return;
  }
  const Cardinal at = Tags.EvenOffset();
  S->Write(d, size);
  Tags.Long(TIFFTAG_JPEGIFOFFSET, at);
  Tags.Long(TIFFTAG_JPEGIFBYTECOUNT, Cardinal(size));
  Tags.Long(TIFFTAG_ROWSPERSTRIP, Cardinal(L.Bmp->Height()));
  Tags.Long(TIFFTAG_STRIPOFFSETS, Cardinal(at + sos));
  Tags.Long(TIFFTAG_STRIPBYTECOUNTS, Cardinal(size - sos));
  Tags.Short(TIFFTAG_JPEGPROC, 1);
  Tags.Shorts(TIFFTAG_YCBCRSUBSAMPLING, {2, 2});
}

Integer ParamsCompression(Word Code, Integer Asked) {
  switch (Code) {
    case TIFFCOMP_LZW: return 5;
    case TIFFCOMP_OJPEG: return 6;
    case TIFFCOMP_JPEG: return 7;
    case TIFFCOMP_PACKBITS: return 8;
    case TIFFCOMP_DEFLATE: return Asked == 10 ? 10 : 9;
    default: return 0;
  }
}

// Reads a little-endian field at Pos; false when the stream is too short.
bool ReadAt(TStream* S, int64_t Pos, void* Buf, int64_t N) {
  return S->Seek(Pos, soBeginning) == Pos && S->Read(Buf, N) == N;
}

Integer WriteBody(TStream* Out, bool InsertMode, TIEBitmap* Bitmap, TIOParamsVals& Params,
                  TIEProgressRec& Progress, bool ExifBlock) {
  TCheckedStream cs(Out, Progress);
  TStream* S = &cs;
  const int64_t base = S->Position();
  Integer images = 1;
  int64_t insertField = 0;
  Cardinal oldNext = 0;
  if (InsertMode) {
    Byte head[8];
    if (!ReadAt(S, base, head, 8) || head[0] != 'I' || head[1] != 'I') {
      S->Seek(base, soBeginning);
      Progress.Abort();
      return 0;
    }
    // Walk the chain of directories: the fields holding each next offset.
    const int64_t size = S->Size();
    std::vector<std::pair<int64_t, Cardinal>> fields{{base + 4, TIFFGet32(head + 4, true)}};
    std::set<Cardinal> seen;
    for (Cardinal next = fields.back().second; next != 0 && Integer(fields.size()) <= kMaxDirectories;) {
      Byte cnt[2], link[4];
      if (!seen.insert(next).second || base + next + 2 > size || !ReadAt(S, base + next, cnt, 2)) break;
      const int64_t field = base + next + 2 + int64_t(TIFFGet16(cnt, true)) * 12;
      if (!ReadAt(S, field, link, 4)) break;
      next = TIFFGet32(link, true);
      fields.push_back({field, next});
    }
    const Integer count = Integer(fields.size()) - 1;
    const Integer at = Params.TIFF_IMAGEINDEX < 0 || Params.TIFF_IMAGEINDEX > count ? count : Params.TIFF_IMAGEINDEX;
    insertField = fields[size_t(at)].first;
    oldNext = fields[size_t(at)].second;
    // A broken link at the end of the chain is cut rather than followed.
    if (at == count && oldNext != 0) oldNext = 0;
    images = count + 1;
    S->Seek(0, soEnd);
  } else {
    const Byte reserve[8] = {};
    S->Write(reserve, 8);
  }
  if (Progress.Aborted()) return 0;

  TTagList tags(S, base, Progress);
  if (Params.EXIF_HASEXIF) {
    TIFFWriteEXIFTags(tags, S, base, Params, Progress, ExifBlock);
  } else {
    tags.Ascii(TIFFTAG_IMAGEDESCRIPTION, Params.TIFF_IMAGEDESCRIPTION);
    tags.Rational(TIFFTAG_XRESOLUTION, Params.DPIX);
    tags.Rational(TIFFTAG_YRESOLUTION, Params.DPIY);
    tags.Short(TIFFTAG_RESOLUTIONUNIT, 2);
  }
  if (!ExifBlock) TIFFWriteMetadataTags(tags, Params);

  if (Bitmap && Bitmap->Width() > 0 && Bitmap->Height() > 0) {
    TLayout L;
    ChooseLayout(L, Bitmap, Params);
    if (L.Compression == TIFFCOMP_LZW) {
      L.LZW = Params.TIFF_LZWCOMPRESS ? Params.TIFF_LZWCOMPRESS : IETIFFLZWCompressProc;
      if (!L.LZW) L.Compression = TIFFCOMP_NONE;
    }
    // Horizontal differencing helps LZW on 8-bit colour rows only.
    L.Predictor = L.Compression == TIFFCOMP_LZW && L.Kind == kRGB && L.Bits == 8 && L.Samples == 3 &&
                  L.Bmp->PixelFormat() == ie24RGB;
    tags.Long(TIFFTAG_IMAGEWIDTH, Cardinal(L.Bmp->Width()));
    tags.Long(TIFFTAG_IMAGELENGTH, Cardinal(L.Bmp->Height()));
    tags.Shorts(TIFFTAG_BITSPERSAMPLE, std::vector<Word>(size_t(L.Samples), Word(L.Bits)));
    tags.Short(TIFFTAG_COMPRESSION, L.Compression);
    tags.Short(TIFFTAG_PHOTOMETRIC, L.Photometric);
    tags.Ascii(TIFFTAG_DOCUMENTNAME, Params.TIFF_DOCUMENTNAME);
    if (L.Compression == TIFFCOMP_OJPEG)
      WriteOldJPEG(L, S, tags, Params, Progress);
    else
      WriteStrips(L, S, tags, base, Params, Progress);
    if (Progress.Aborted()) return 0;
    tags.Short(TIFFTAG_SAMPLESPERPIXEL, Word(L.Samples));
    // Straight (unassociated) alpha: the rows carry R, G, B as they are.
    if (L.Alpha) tags.Short(TIFFTAG_EXTRASAMPLES, 2);
    if (L.Predictor) tags.Short(TIFFTAG_PREDICTOR, 2);
    tags.Short(TIFFTAG_PLANARCONFIG, 1);
    if (IsFax(L.Compression)) {
      tags.Short(TIFFTAG_FILLORDER, Word(L.FillOrder));
      tags.Short(327, 0);  // CleanFaxData: every row is whole
      if (L.Compression == TIFFCOMP_CCITTFAX3) tags.Long(TIFFTAG_T4OPTIONS, L.TwoD ? 1 : 0);
      if (L.Compression == TIFFCOMP_CCITTFAX4) tags.Long(TIFFTAG_T6OPTIONS, 0);
    }
    tags.Ascii(TIFFTAG_PAGENAME, Params.TIFF_PAGENAME);
    if (Params.TIFF_XPOS) tags.Rational(TIFFTAG_XPOSITION, Params.TIFF_XPOS);
    if (Params.TIFF_YPOS) tags.Rational(TIFFTAG_YPOSITION, Params.TIFF_YPOS);
    tags.Long(TIFFTAG_NEWSUBFILETYPE, 0);
    if (Params.TIFF_PAGENUMBER >= 0 || Params.TIFF_PAGECOUNT >= 0)
      tags.Shorts(TIFFTAG_PAGENUMBER, {Word(std::max(0, Params.TIFF_PAGENUMBER)), Word(std::max(0, Params.TIFF_PAGECOUNT))});
    if (L.HasColorMap) {
      const size_t n = size_t(1) << L.Bits;
      std::vector<Word> map(3 * n, 0);
      for (size_t i = 0; i < n && i < 256; ++i) {
        map[i] = Word(L.ColorMap[i].r * 257);
        map[n + i] = Word(L.ColorMap[i].g * 257);
        map[2 * n + i] = Word(L.ColorMap[i].b * 257);
      }
      tags.Shorts(TIFFTAG_COLORMAP, map);
    }
    Params.BITSPERSAMPLE = L.Bits;
    Params.SAMPLESPERPIXEL = L.Samples;
    Params.TIFF_PHOTOMETINTEPRET = Byte(L.Photometric == TIFFPHOTO_CIELAB ? 7 : L.Photometric);
    Params.TIFF_COMPRESSION = Byte(ParamsCompression(L.Compression, Params.TIFF_COMPRESSION));
    if (L.Compression == TIFFCOMP_CCITTRLE) Params.TIFF_COMPRESSION = 1;
    if (L.Compression == TIFFCOMP_CCITTFAX3) Params.TIFF_COMPRESSION = L.TwoD ? 3 : 2;
    if (L.Compression == TIFFCOMP_CCITTFAX4) Params.TIFF_COMPRESSION = 4;
  }
  if (Progress.Aborted()) return 0;
  const Cardinal dir = tags.WriteDirectory(oldNext);
  if (Progress.Aborted()) return 0;
  const int64_t end = S->Position();
  Byte link[8] = {'I', 'I', 42, 0};
  if (InsertMode) {
    TIFFPut32(link, dir, true);
    S->Seek(insertField, soBeginning);
    S->Write(link, 4);
  } else {
    TIFFPut32(link + 4, dir, true);
    S->Seek(base, soBeginning);
    S->Write(link, 8);
  }
  S->Seek(end, soBeginning);
  return Progress.Aborted() ? 0 : images;
}

}  // namespace

Integer IEWriteTIFF(TStream* Stream, bool InsertMode, TIEBitmap* Bitmap, TIOParamsVals& Params,
                    TIEProgressRec& Progress, bool ExifBlock) {
  if (!Stream) {
    Progress.Abort();
    return 0;
  }
  try {
    return WriteBody(Stream, InsertMode, Bitmap, Params, Progress, ExifBlock);
  } catch (...) {
    Progress.Abort();
    return 0;
  }
}

void IETIFFWriteRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress) {
  IEWriteTIFF(Stream, false, Bitmap, Params, Progress);
}
