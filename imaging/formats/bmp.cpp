// BMP reader and writer. Every header field is checked against the data and
// the reader limits before use, colour lookups go through a zero-filled table
// of 256 entries whatever the file's table holds, and run-length codes can
// never move the write position out of the picture.
#include "imaging/formats/bmp.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <vector>

#include "imaging/core/base/ieutils.h"
#include "imaging/core/color/iebitrows.h"
#include "imaging/core/color/iequantizer.h"
#include "imaging/formats/lebytes.h"
#include "imaging/io/ielimits.h"

namespace {

Integer DpiFromPpm(int32_t Ppm) {
  const int64_t d = Round(double(Ppm) / 100.0 * 2.54);
  return d > 0 && d <= std::numeric_limits<Integer>::max() ? Integer(d) : 0;
}
uint32_t PpmFromDpi(Integer Dpi) { return uint32_t(int32_t(Round(double(Dpi) / 2.54 * 100.0))); }

// One bit-field channel: shifted down by its lowest set bit, then placed in
// the top bits of a byte (low bits stay 0, as the format's 16-bit readers
// have always shown them).
struct TField {
  uint32_t Mask = 0;
  int Shift = 0, Width = 0;
  explicit TField(uint32_t M) : Mask(M) {
    if (M == 0) return;
    Shift = std::countr_zero(M);
    Width = IEBitFieldWidth(M);
  }
  Byte Get(uint32_t Pixel) const {
    if (Width == 0) return 0;
    const uint32_t v = (Pixel & Mask) >> Shift & ((Width >= 32) ? 0xFFFFFFFFu : ((1u << Width) - 1));
    return Width >= 8 ? Byte(v >> (Width - 8)) : Byte(v << (8 - Width));
  }
};

struct TRLETarget {
  TIEBitmap* Bitmap;
  Integer Width, Height;
  Integer TopDownBase;
  bool Indexed;        // ie8p: one index per byte
  const TRGB* Table;   // 256 entries otherwise
  bool RLE4;
};

void PutIndex(const TRLETarget& T, Byte* Row, Integer Col, Byte Index) {
  // What passes the row's end is dropped: writers pad run-length rows to
  // the stored row length, and piling the padding into the last pixel
  // would overwrite its colour.
  if (Col >= T.Width) return;
  if (T.Indexed)
    Row[Col] = Index;
  else
    reinterpret_cast<TRGB*>(Row)[Col] = T.Table[Index];
}

// The run-length decoders. Rows are counted in storage order; a delta or an
// end of line that leaves the picture ends decoding, and every read is
// bounded by Length.
void DecodeRLE(const TRLETarget& T, const Byte* Data, int64_t Length, TIEProgressRec& Progress) {
  Integer row = T.Height - 1;
  auto rowPtr = [&](Integer r) { return static_cast<Byte*>(T.Bitmap->GetScanline(std::abs(T.TopDownBase - r))); };
  Byte* line = rowPtr(row);
  Integer col = 0;
  int64_t pos = 0;
  while (pos + 1 < Length) {
    const Byte n = Data[pos], c = Data[pos + 1];
    pos += 2;
    if (n > 0) {
      for (Integer k = 0; k < n; ++k, ++col) {
        const Byte idx = T.RLE4 ? ((k & 1) ? (c & 15) : (c >> 4)) : c;
        PutIndex(T, line, col, idx);
      }
    } else if (c == 0) {
      if (--row < 0) break;
      line = rowPtr(row);
      col = 0;
      Progress.Report(T.Height - row);
      if (Progress.Aborted()) break;
    } else if (c == 1) {
      break;
    } else if (c == 2) {
      if (pos + 1 >= Length) break;
      const Byte dx = Data[pos], dy = Data[pos + 1];
      pos += 2;
      row -= dy;
      if (row < 0) break;
      line = rowPtr(row);
      col += dx;
    } else {
      const int64_t bytes = T.RLE4 ? (c + 1) / 2 : c;
      const int64_t avail = std::min<int64_t>(bytes, Length - pos);
      const Integer count = T.RLE4 ? Integer(std::min<int64_t>(c, avail * 2)) : Integer(avail);
      for (Integer k = 0; k < count; ++k, ++col) {
        const Byte idx = T.RLE4 ? ((k & 1) ? (Data[pos + k / 2] & 15) : (Data[pos + k / 2] >> 4)) : Data[pos + k];
        PutIndex(T, line, col, idx);
      }
      pos += bytes + (bytes & 1);
    }
    // A column far past the row would only be clipped; keep the counter small.
    if (col > T.Width + 1024) col = T.Width + 1024;
  }
}

// Flushes Count pending literal indexes in chunks of at most 255.
Integer FlushLiterals(const Byte* Idx, Integer Count, Byte* Out, bool RLE4) {
  Integer o = 0;
  while (Count > 0) {
    const Integer n = std::min<Integer>(Count, 255);
    if (n == 1) {
      Out[o++] = 1;
      Out[o++] = RLE4 ? Byte(Idx[0] << 4) : Idx[0];
    } else if (n == 2) {
      if (RLE4) {
        Out[o++] = 2;
        Out[o++] = Byte((Idx[0] << 4) | (Idx[1] & 15));
      } else {
        Out[o++] = 1;
        Out[o++] = Idx[0];
        Out[o++] = 1;
        Out[o++] = Idx[1];
      }
    } else {
      Out[o++] = 0;
      Out[o++] = Byte(n);
      if (RLE4) {
        const Integer bytes = (n + 1) / 2;
        for (Integer k = 0; k < bytes; ++k) {
          const Byte hi = Byte(Idx[2 * k] << 4);
          const Byte lo = 2 * k + 1 < n ? Byte(Idx[2 * k + 1] & 15) : 0;
          Out[o++] = hi | lo;
        }
        if (bytes & 1) Out[o++] = 0;
      } else {
        std::memcpy(Out + o, Idx, size_t(n));
        o += n;
        if (n & 1) Out[o++] = 0;
      }
    }
    Idx += n;
    Count -= n;
  }
  return o;
}

Integer EncodeRow(const Byte* Idx, Integer Count, Byte* Out, bool RLE4) {
  Integer o = 0, pos = 0, lit = 0;
  while (pos < Count) {
    if (pos - lit > 255) {
      o += FlushLiterals(Idx + lit, pos - lit, Out + o, RLE4);
      lit = pos;
    }
    if (pos + 1 < Count && Idx[pos] == Idx[pos + 1]) {
      o += FlushLiterals(Idx + lit, pos - lit, Out + o, RLE4);
      Integer len = 2;
      while (pos + len < Count && len < 255 && Idx[pos + len] == Idx[pos]) ++len;
      Out[o++] = Byte(len);
      Out[o++] = RLE4 ? Byte((Idx[pos] & 15) * 17) : Idx[pos];
      pos += len;
      lit = pos;
    } else {
      ++pos;
    }
  }
  o += FlushLiterals(Idx + lit, pos - lit, Out + o, RLE4);
  Out[o++] = 0;
  Out[o++] = 0;
  return o;
}

}  // namespace

Integer IEBMPEncodeRLE8Row(const Byte* Indexes, Integer Count, Byte* Out) { return EncodeRow(Indexes, Count, Out, false); }
Integer IEBMPEncodeRLE4Row(const Byte* Indexes, Integer Count, Byte* Out) { return EncodeRow(Indexes, Count, Out, true); }

void IEApplyAlphaMask(TIEBitmap* Bitmap, const TIEMask* Mask) {
  if (!Bitmap || !Mask || Mask->BitsPerPixel() != 8 || Mask->Width() != Bitmap->Width() ||
      Mask->Height() != Bitmap->Height())
    return;
  TIEBitmap* alpha = Bitmap->GetAlphaChannel();
  if (!alpha) return;
  bool full = true;
  for (Integer y = 0; y < Bitmap->Height(); ++y) {
    const Byte* src = Mask->ScanLine(y);
    Byte* dst = static_cast<Byte*>(alpha->GetScanline(y));
    std::memcpy(dst, src, size_t(Bitmap->Width()));
    for (Integer x = 0; x < Bitmap->Width() && full; ++x) full = src[x] == 255;
  }
  alpha->SetFull(full);
}

void IEReadBMP(TStream* Stream, TIEBitmap* Bitmap, int64_t DataLength, TIOParamsVals& Params,
               TIEProgressRec& Progress, bool ParamsOnly, bool NoFileHeader, std::unique_ptr<TIEMask>& AlphaMask,
               bool IgnoreAlpha) {
  try {
    const int64_t start = Stream->Position();
    const int64_t streamSize = Stream->Size();
    Byte fh[14] = {};
    if (NoFileHeader) {
      fh[0] = 'B';
      fh[1] = 'M';
      Put32(fh + 2, uint32_t(std::min<int64_t>(streamSize, UINT32_MAX)));
    } else if (ReadFill(Stream, fh, 14) < 14) {
      Progress.Abort();
      return;
    }
    const uint32_t fileSize = LE32(fh + 2);
    const uint32_t dataOffset = NoFileHeader ? 0 : LE32(fh + 10);
    if (fileSize != 0 && DataLength <= 0) DataLength = fileSize;
    if (fh[0] != 'B' || fh[1] != 'M') {
      Progress.Abort();
      return;
    }
    Byte hs4[4];
    if (ReadFill(Stream, hs4, 4) < 4) {
      Progress.Abort();
      return;
    }
    Stream->Seek(-4, soCurrent);
    const uint32_t headerSize = LE32(hs4);
    Params.FreeColorMap();

    int64_t width = 0, height = 0;
    int bitCount = 0;
    uint32_t compression = 0, imageSize = 0;
    bool topDown = false;
    int tableEntries = 0, entrySize = 4;
    uint32_t masks[3] = {0x7C00, 0x03E0, 0x001F};
    Integer dpiX = 0, dpiY = 0;
    if (headerSize == 12) {
      Byte h[12];
      ReadFill(Stream, h, 12);
      width = LE16(h + 4);
      height = LE16(h + 6);
      bitCount = LE16(h + 10);
      Params.BMP_VERSION = 2;
      if (bitCount <= 8) tableEntries = 1 << bitCount;
      entrySize = 3;
    } else {
      // Headers shorter than the width, height and bit count are not BMP.
      if (headerSize < 16) {
        Progress.Abort();
        return;
      }
      Byte h[64] = {};
      ReadFill(Stream, h, std::min<uint32_t>(headerSize, 64));
      if (headerSize > 64) Stream->Seek(int64_t(headerSize) - 64, soCurrent);
      Params.BMP_VERSION = headerSize == 64 ? 3 : headerSize == 40 ? 1 : 0;
      width = int32_t(LE32(h + 4));
      const int32_t rawHeight = int32_t(LE32(h + 8));
      topDown = rawHeight < 0;
      height = topDown ? -int64_t(rawHeight) : rawHeight;
      bitCount = LE16(h + 14);
      compression = LE32(h + 16);
      imageSize = LE32(h + 20);
      dpiX = DpiFromPpm(int32_t(LE32(h + 24)));
      dpiY = DpiFromPpm(int32_t(LE32(h + 28)));
      uint32_t used = LE32(h + 32);
      if (used > 256) used = 0;
      if (used == 0 && bitCount <= 8) used = 1u << bitCount;
      tableEntries = int(used);
      if (compression == 3 && headerSize >= 52) {
        // Later header versions carry the masks inside the header.
        masks[0] = LE32(h + 40);
        masks[1] = LE32(h + 44);
        masks[2] = LE32(h + 48);
      }
    }
    if (dpiX == 0) dpiX = IEDefaultDpiX;
    if (dpiY == 0) dpiY = IEDefaultDpiY;
    Params.SetDpiX(dpiX);
    Params.SetDpiY(dpiY);
    Params.WIDTH = Params.ORIGINALWIDTH = Integer(std::clamp<int64_t>(width, INT32_MIN, INT32_MAX));
    Params.HEIGHT = Params.ORIGINALHEIGHT = Integer(std::min<int64_t>(height, INT32_MAX));

    // The colour table; lookups go through 256 zero-filled entries, so an
    // index beyond a short table reads black.
    std::vector<TRGB> table(256, TRGB{0, 0, 0});
    if (tableEntries > 0) {
      std::vector<Byte> raw(size_t(tableEntries) * entrySize);
      ReadFill(Stream, raw.data(), int64_t(raw.size()));
      Params.COLORMAPCOUNT = tableEntries;
      Params.COLORMAP = std::make_unique<TRGB[]>(size_t(tableEntries));
      for (int i = 0; i < tableEntries; ++i) {
        const Byte* e = raw.data() + size_t(i) * entrySize;
        const TRGB c{e[0], e[1], e[2]};
        Params.COLORMAP[i] = c;
        if (i < 256) table[i] = c;
      }
    }
    if (compression == 3 && headerSize < 52) {
      Byte m[12];
      ReadFill(Stream, m, 12);
      masks[0] = LE32(m);
      masks[1] = LE32(m + 4);
      masks[2] = LE32(m + 8);
    }
    switch (bitCount) {
      case 1: Params.BITSPERSAMPLE = 1; Params.SAMPLESPERPIXEL = 1; break;
      case 4: Params.BITSPERSAMPLE = 4; Params.SAMPLESPERPIXEL = 1; break;
      case 8: Params.BITSPERSAMPLE = 8; Params.SAMPLESPERPIXEL = 1; break;
      case 16: Params.BITSPERSAMPLE = 5; Params.SAMPLESPERPIXEL = 3; break;
      case 24: Params.BITSPERSAMPLE = 8; Params.SAMPLESPERPIXEL = 3; break;
      case 32: Params.BITSPERSAMPLE = 8; Params.SAMPLESPERPIXEL = 4; break;
      default: break;
    }
    Params.SetImageCount(1);
    if (compression == 0 || compression == 3)
      Params.BMP_COMPRESSION = 0;
    else if (compression == 1 || compression == 2)
      Params.BMP_COMPRESSION = 1;

    if (dataOffset != 0) Stream->SetPosition(start + dataOffset);
    int64_t compressedSize = DataLength > 0 ? DataLength - (Stream->Position() - start) : imageSize;
    const int64_t left = IEStreamBytesLeft(Stream);
    if (left >= 0) compressedSize = std::min(compressedSize, left);
    if (compressedSize < 0) compressedSize = 0;

    // A picture without pixels, or beyond the limits, is a failed load.
    if (width <= 0 || height <= 0 || !IEPictureFits(IEReadLimits.Native, width, height, 24)) {
      Progress.Abort();
      return;
    }
    if (ParamsOnly) return;
    const bool native = Params.ISNATIVEPIXELFORMAT;
    const TIEPixelFormat pf = bitCount == 1 ? ie1g : ((bitCount == 4 || bitCount == 8) && native) ? ie8p : ie24RGB;
    if (!Bitmap->Allocate(Integer(width), Integer(height), pf)) {
      Progress.Abort();
      return;
    }
    Bitmap->Fill(0);
    const Integer w = Integer(width), h = Integer(height);
    const Integer topDownBase = topDown ? h - 1 : 0;
    const int64_t rowLen = ((int64_t(width) * bitCount + 31) / 32) * 4;
    if (pf == ie8p) {
      for (int i = 0; i < 256; ++i) Bitmap->SetPaletteColor(i, table[i]);
      Bitmap->SetPaletteUsed(bitCount == 4 ? 16 : 256);
    }
    Progress.SetUnits(h);
    Integer lastReported = -1;
    auto reportRow = [&](Integer done) {
      const Integer p = IEProgressPercent(done, Progress.per1);
      if (p != lastReported) {
        lastReported = p;
        Progress.Report(done);
      }
    };
    auto imageRow = [&](Integer storageRow) { return std::abs(topDownBase - storageRow); };

    if ((bitCount == 4 && compression == 2) || (bitCount == 8 && compression == 1)) {
      std::vector<Byte> data(static_cast<size_t>(compressedSize));
      ReadFill(Stream, data.data(), compressedSize);
      const TRLETarget t{Bitmap, w, h, topDownBase, pf == ie8p, table.data(), bitCount == 4};
      DecodeRLE(t, data.data(), compressedSize, Progress);
      return;
    }
    const bool plain = compression == 0 || (compression == 3 && (bitCount == 16 || bitCount == 32));
    if (!plain || !(bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 16 || bitCount == 24 ||
                    bitCount == 32))
      return;  // not decoded: the params are filled, the picture stays blank
    std::unique_ptr<TIEMask> mask;
    const bool wantAlpha = bitCount == 32 && !IgnoreAlpha;
    if (wantAlpha) {
      mask = AlphaMask ? std::move(AlphaMask) : std::make_unique<TIEMask>();
      mask->AllocateBits(w, h, 8);
      mask->Fill(255);
    }
    bool allZero = true, all255 = true;
    const TField fr(masks[0]), fg(masks[1]), fb(masks[2]);
    const bool fields32 = bitCount == 32 && compression == 3;
    std::vector<Byte> buf(static_cast<size_t>(rowLen));
    for (Integer i = h - 1; i >= 0; --i) {
      reportRow(h - 1 - i);
      if (Progress.Aborted()) break;
      ReadFill(Stream, buf.data(), rowLen);
      const Integer y = imageRow(i);
      Byte* dst = static_cast<Byte*>(Bitmap->GetScanline(y));
      const Byte* src = buf.data();
      switch (bitCount) {
        case 1:
          std::memcpy(dst, src, size_t((w + 7) / 8));
          break;
        case 4:
          for (Integer x = 0; x < w; ++x) {
            const Byte idx = (x & 1) ? (src[x / 2] & 15) : (src[x / 2] >> 4);
            if (pf == ie8p)
              dst[x] = idx;
            else
              reinterpret_cast<TRGB*>(dst)[x] = table[idx];
          }
          break;
        case 8:
          if (pf == ie8p)
            std::memcpy(dst, src, size_t(w));
          else
            for (Integer x = 0; x < w; ++x) reinterpret_cast<TRGB*>(dst)[x] = table[src[x]];
          break;
        case 16:
          for (Integer x = 0; x < w; ++x) {
            const uint32_t px = LE16(src + 2 * x);
            dst[3 * x] = fb.Get(px);
            dst[3 * x + 1] = fg.Get(px);
            dst[3 * x + 2] = fr.Get(px);
          }
          break;
        case 24:
          std::memcpy(dst, src, size_t(w) * 3);
          break;
        case 32: {
          Byte* m = wantAlpha ? mask->ScanLine(y) : nullptr;
          for (Integer x = 0; x < w; ++x) {
            const Byte* p = src + 4 * x;
            if (fields32) {
              const uint32_t px = LE32(p);
              dst[3 * x] = fb.Get(px);
              dst[3 * x + 1] = fg.Get(px);
              dst[3 * x + 2] = fr.Get(px);
            } else {
              dst[3 * x] = p[0];
              dst[3 * x + 1] = p[1];
              dst[3 * x + 2] = p[2];
            }
            if (m) {
              m[x] = p[3];
              allZero = allZero && p[3] == 0;
              all255 = all255 && p[3] == 255;
            }
          }
          break;
        }
      }
    }
    if (bitCount == 1 && tableEntries == 2 && table[0].r == 255 && table[0].g == 255 && table[0].b == 255 &&
        table[1].r == 0 && table[1].g == 0 && table[1].b == 0)
      IEInvertBitmapBits(Bitmap);
    if (wantAlpha) {
      if (allZero || all255)
        AlphaMask.reset();
      else
        AlphaMask = std::move(mask);
    }
  } catch (...) {
    Progress.Abort();
  }
}

void IEWriteBMP(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                bool SaveAlpha) {
  try {
    if (!Bitmap || Bitmap->IsEmpty()) {
      Progress.Abort();
      return;
    }
    int bitCount;
    if (Params.BITSPERSAMPLE == 1 || Params.BITSPERSAMPLE == 4)
      bitCount = Params.BITSPERSAMPLE;
    else if (Params.SAMPLESPERPIXEL == 1)
      bitCount = 8;
    else
      bitCount = SaveAlpha ? 32 : 24;
    const Integer w = Bitmap->Width(), h = Bitmap->Height();

    // The writer reads ie1g, ie8p and ie24RGB rows; any other format is
    // written from a converted copy, the caller's picture staying as it is.
    std::unique_ptr<TIEBitmap> copy;
    TIEBitmap* src = Bitmap;
    auto to24 = [&]() {
      auto c = std::make_unique<TIEBitmap>();
      c->Assign(src);
      if (!c->ConvertToPixelFormat(ie24RGB)) return false;
      copy = std::move(c);
      src = copy.get();
      return true;
    };
    const TIEPixelFormat spf = Bitmap->PixelFormat();
    if (spf != ie1g && spf != ie8p && spf != ie24RGB && !to24()) {
      Progress.Abort();
      return;
    }

    const bool small = Params.BMP_VERSION == 2;
    const uint32_t infoSize = small ? 12 : Params.BMP_VERSION == 3 ? 64 : 40;
    const bool rle = !small && Params.BMP_COMPRESSION == 1 && (bitCount == 4 || bitCount == 8);
    const int64_t start = Stream->Position();
    Byte fh[14] = {'B', 'M'};
    IESafeStreamWrite(Stream, Progress, fh, 14);
    Byte ih[64] = {};
    Put32(ih, infoSize);
    if (small) {
      Put16(ih + 4, uint32_t(w));
      Put16(ih + 6, uint32_t(h));
      Put16(ih + 8, 1);
    } else {
      Put32(ih + 4, uint32_t(w));
      Put32(ih + 8, uint32_t(h));
      Put16(ih + 12, 1);
      Put32(ih + 16, rle ? (bitCount == 4 ? 2 : 1) : 0);
      Put32(ih + 24, PpmFromDpi(Params.DPIX));
      Put32(ih + 28, PpmFromDpi(Params.DPIY));
      Put32(ih + 32, bitCount <= 8 ? (1u << bitCount) : 0);
      Put32(ih + 36, 1u << (bitCount % 32));
    }
    IESafeStreamWrite(Stream, Progress, ih, infoSize);

    auto writeTable = [&](const TRGB* T, int Count) {
      Params.FreeColorMap();
      Params.COLORMAPCOUNT = Count;
      Params.COLORMAP = std::make_unique<TRGB[]>(size_t(Count));
      std::vector<Byte> out;
      for (int i = 0; i < Count; ++i) {
        Params.COLORMAP[i] = T[i];
        out.push_back(T[i].b);
        out.push_back(T[i].g);
        out.push_back(T[i].r);
        if (!small) out.push_back(0);
      }
      IESafeStreamWrite(Stream, Progress, out.data(), int64_t(out.size()));
    };

    const int64_t rowLen = ((int64_t(w) * bitCount + 31) / 32) * 4;
    std::vector<Byte> row(size_t(rowLen), 0);
    std::vector<Byte> idx;
    std::vector<Byte> enc;
    int64_t dataStart = 0;
    Progress.SetUnits(h);

    if (bitCount == 4 || bitCount == 8) {
      const int ncol = 1 << bitCount;
      if (src->PixelFormat() == ie1g && !to24()) {
        Progress.Abort();
        return;
      }
      // A palette larger than the table is remapped through the quantizer,
      // so that no index can spill into its neighbour's nibble.
      if (src->PixelFormat() == ie8p && src->PaletteUsed() > ncol && !to24()) {
        Progress.Abort();
        return;
      }
      std::vector<TRGB> tbl(256, TRGB{0, 0, 0});
      std::unique_ptr<TIEQuantizer> q;
      if (src->PixelFormat() == ie8p) {
        for (int i = 0; i < ncol; ++i) src->GetPaletteColor(i, tbl[i]);
      } else {
        q = std::make_unique<TIEQuantizer>(src, tbl.data(), ncol);
      }
      writeTable(tbl.data(), ncol);
      dataStart = Stream->Position();
      idx.resize(size_t(w));
      if (rle) enc.resize(size_t(w) * 10 + 16);
      for (Integer y = h - 1; y >= 0 && !Progress.Aborted(); --y) {
        Progress.Report(h - 1 - y);
        if (Progress.Aborted()) break;
        const Byte* s = static_cast<const Byte*>(src->GetScanline(y));
        if (q)
          q->RGBIndexRow(reinterpret_cast<const TRGB*>(s), idx.data(), w);
        else
          std::memcpy(idx.data(), s, size_t(w));
        if (bitCount == 4)
          for (Byte& v : idx) v &= 15;
        if (rle) {
          const Integer n = bitCount == 4 ? IEBMPEncodeRLE4Row(idx.data(), w, enc.data())
                                          : IEBMPEncodeRLE8Row(idx.data(), w, enc.data());
          IESafeStreamWrite(Stream, Progress, enc.data(), n);
        } else {
          if (bitCount == 8) {
            std::memcpy(row.data(), idx.data(), size_t(w));
          } else {
            std::fill(row.begin(), row.end(), 0);
            for (Integer x = 0; x < w; ++x) row[size_t(x / 2)] |= (x & 1) ? idx[x] : Byte(idx[x] << 4);
          }
          IESafeStreamWrite(Stream, Progress, row.data(), rowLen);
        }
      }
      if (rle && !Progress.Aborted()) {
        const Byte eob[2] = {0, 1};
        IESafeStreamWrite(Stream, Progress, eob, 2);
      }
    } else if (bitCount == 1) {
      TRGB t[2] = {{0, 0, 0}, {255, 255, 255}};
      if (src->PixelFormat() != ie1g) {
        TRGB c1, c2;
        std::unique_ptr<TIEBitmap> two = IETwoColorsTo1Bit(src, c1, c2);
        if (two) {
          t[0] = c1;
          t[1] = c2;
          copy = std::move(two);
          src = copy.get();
        } else {
          auto c = std::make_unique<TIEBitmap>();
          c->Assign(src);
          if (!c->ConvertToPixelFormat(ie1g)) {
            Progress.Abort();
            return;
          }
          copy = std::move(c);
          src = copy.get();
        }
      }
      writeTable(t, 2);
      dataStart = Stream->Position();
      const size_t bytes = size_t((w + 7) / 8);
      for (Integer y = h - 1; y >= 0; --y) {
        Progress.Report(h - 1 - y);
        if (Progress.Aborted()) break;
        std::memcpy(row.data(), src->GetScanline(y), bytes);
        IESafeStreamWrite(Stream, Progress, row.data(), rowLen);
      }
    } else {
      Params.FreeColorMap();
      if (src->PixelFormat() != ie24RGB && !to24()) {
        Progress.Abort();
        return;
      }
      dataStart = Stream->Position();
      TIEBitmap* alpha = (bitCount == 32 && Bitmap->HasAlphaChannel()) ? Bitmap->GetAlphaChannel() : nullptr;
      for (Integer y = h - 1; y >= 0; --y) {
        Progress.Report(h - 1 - y);
        if (Progress.Aborted()) break;
        const Byte* s = static_cast<const Byte*>(src->GetScanline(y));
        if (bitCount == 24) {
          std::memcpy(row.data(), s, size_t(w) * 3);
        } else {
          const Byte* a = alpha ? static_cast<const Byte*>(alpha->GetScanline(y)) : nullptr;
          for (Integer x = 0; x < w; ++x) {
            row[4 * x] = s[3 * x];
            row[4 * x + 1] = s[3 * x + 1];
            row[4 * x + 2] = s[3 * x + 2];
            row[4 * x + 3] = a ? a[x] : 255;
          }
        }
        IESafeStreamWrite(Stream, Progress, row.data(), rowLen);
      }
    }
    if (Progress.Aborted()) return;
    const int64_t end = Stream->Position();
    Put32(fh + 2, uint32_t(end - start));
    Put32(fh + 10, uint32_t(dataStart - start));
    if (small) {
      Put16(ih + 10, uint32_t(bitCount));
    } else {
      Put16(ih + 14, uint32_t(bitCount));
      Put32(ih + 20, uint32_t(end - dataStart));
    }
    Stream->SetPosition(start);
    IESafeStreamWrite(Stream, Progress, fh, 14);
    IESafeStreamWrite(Stream, Progress, ih, infoSize);
    Stream->SetPosition(end);
  } catch (...) {
    Progress.Abort();
  }
}

void IEBMPReadRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                      bool Preview) {
  std::unique_ptr<TIEMask> mask;
  IEReadBMP(Stream, Bitmap, 0, Params, Progress, Preview, false, mask, !Params.BMP_HANDLETRANSPARENCY);
  if (mask && !Preview && !Progress.Aborted()) IEApplyAlphaMask(Bitmap, mask.get());
}

void IEBMPWriteRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress) {
  IEWriteBMP(Stream, Bitmap, Params, Progress, Params.BMP_HANDLETRANSPARENCY);
}
