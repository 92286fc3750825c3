// Icon and cursor reader and writer. The bitmap format follows the bit count
// the data is decoded with, colour lookups go through 256 zero-filled
// entries, and a 32-bit icon whose alpha is all 0 with no AND mask to say
// otherwise is shown opaque.
#include "imaging/formats/ico.h"

#include <algorithm>
#include <cstring>

#include "imaging/core/base/ieutils.h"
#include "imaging/core/color/iebitrows.h"
#include "imaging/core/color/iequantizer.h"
#include "imaging/core/geometry/ieresample.h"
#include "imaging/formats/bmp.h"
#include "imaging/formats/lebytes.h"
#include "imaging/io/ielimits.h"
#include "imaging/io/ieprobes.h"

namespace {

Integer DpiOf(int32_t Ppm, Integer Default) {
  if (Ppm <= 0) return Default;
  const int64_t d = Round(double(Ppm) / 100.0 * 2.54);
  return d > 0 && d < INT32_MAX ? Integer(d) : Default;
}

// What the icon and cursor readers share once the entry is chosen.
struct TEntryRead {
  Integer W, H, Bits;
  bool Cursor;
  TRGB Background;
};

void Decode(TStream* S, TIEBitmap* B, TIOParamsVals& P, const TEntryRead& E, const TRGB* Table, bool Native,
            std::unique_ptr<TIEMask>& AlphaMask, bool IgnoreAlpha, TIEProgressRec& Progress) {
  const Integer w = E.W, h = E.H;
  // The colour rows must be there before anything is allocated for them.
  const int64_t colourBytes = ((int64_t(w) * E.Bits + 31) / 32) * 4 * h;
  if (!IEDataCanExplain(colourBytes, IEStreamBytesLeft(S))) {
    Progress.Abort();
    return;
  }
  TIEPixelFormat pf;
  if (Native && !E.Cursor) {
    if (E.Bits == 1)
      pf = ie1g;
    else if (E.Bits == 4 || E.Bits == 8)
      pf = ie8p;
    else if (E.Bits == 24 || E.Bits == 32)
      pf = ie24RGB;
    else
      throw Exception("Unsupported pixel format");
  } else {
    pf = E.Bits == 1 ? ie1g : ie24RGB;
  }
  if (!B->Allocate(w, h, pf)) {
    Progress.Abort();
    return;
  }
  B->Fill(0);
  if (pf == ie8p) {
    for (int i = 0; i < 256; ++i) B->SetPaletteColor(i, Table[i]);
    B->SetPaletteUsed(1 << E.Bits);
  }
  std::unique_ptr<TIEMask> mask;
  if (!IgnoreAlpha) {
    mask = AlphaMask ? std::move(AlphaMask) : std::make_unique<TIEMask>();
    mask->AllocateBits(w, h, 8);
    mask->Fill(255);
  }
  const int64_t rowLen = ((int64_t(w) * E.Bits + 31) / 32) * 4;
  const int64_t andLen = ((int64_t(w) + 31) / 32) * 4;
  const bool decodable = E.Bits == 1 || E.Bits == 4 || E.Bits == 8 || E.Bits == 24 || E.Bits == 32;
  if (!decodable) {
    AlphaMask = std::move(mask);
    return;
  }
  std::vector<Byte> colour(static_cast<size_t>(rowLen * h));
  ReadFill(S, colour.data(), int64_t(colour.size()));
  const int64_t left = IEStreamBytesLeft(S);
  const bool haveAnd = left < 0 || left >= andLen * h;
  std::vector<Byte> andBits(static_cast<size_t>(andLen * h), 0);
  if (haveAnd) ReadFill(S, andBits.data(), int64_t(andBits.size()));
  bool allAlphaZero = true;
  for (Integer y = 0; y < h; ++y) {
    const Byte* c = colour.data() + size_t(h - 1 - y) * size_t(rowLen);
    const Byte* a = andBits.data() + size_t(h - 1 - y) * size_t(andLen);
    Byte* dst = static_cast<Byte*>(B->GetScanline(y));
    Byte* m = mask ? mask->ScanLine(y) : nullptr;
    for (Integer x = 0; x < w; ++x) {
      const bool transparent = (a[x / 8] & (0x80 >> (x % 8))) != 0;
      switch (E.Bits) {
        case 1: {
          bool bit = (c[x / 8] & (0x80 >> (x % 8))) != 0;
          // Transparent and inverting pixels as shown over a white or a black screen.
          if (transparent && E.Background.r == 255 && E.Background.g == 255 && E.Background.b == 255) bit = !bit;
          IESetBit(dst, x, bit);
          break;
        }
        case 4:
        case 8: {
          const Byte idx = E.Bits == 8 ? c[x] : ((x & 1) ? (c[x / 2] & 15) : (c[x / 2] >> 4));
          if (pf == ie8p)
            dst[x] = idx;
          else
            reinterpret_cast<TRGB*>(dst)[x] = transparent ? E.Background : Table[idx];
          break;
        }
        case 24:
          std::memcpy(dst + 3 * x, c + 3 * x, 3);
          break;
        case 32:
          std::memcpy(dst + 3 * x, c + 4 * x, 3);
          if (c[4 * x + 3]) allAlphaZero = false;
          break;
      }
      if (m) m[x] = E.Bits == 32 ? c[4 * x + 3] : (transparent ? 0 : 255);
    }
  }
  if (E.Bits == 32 && allAlphaZero && mask) {
    // Alpha all 0 carries nothing: the AND mask decides, and without one
    // the icon is opaque.
    for (Integer y = 0; y < h; ++y) {
      const Byte* a = andBits.data() + size_t(h - 1 - y) * size_t(andLen);
      Byte* m = mask->ScanLine(y);
      for (Integer x = 0; x < w; ++x) m[x] = haveAnd && (a[x / 8] & (0x80 >> (x % 8))) ? 0 : 255;
    }
  }
  AlphaMask = std::move(mask);
  (void)P;
}

bool ReadDirectory(TStream* S, int64_t& Start, Byte (&Head)[6], std::vector<Byte>& Dir, TIEProgressRec& Progress) {
  Start = S->Position();
  ReadFill(S, Head, 6);
  const Integer count = LE16(Head + 4);
  Dir.assign(size_t(count) * 16, 0);
  if (S->Read(Dir.data(), int64_t(Dir.size())) != int64_t(Dir.size())) {
    Progress.Abort();
    return false;
  }
  return true;
}

}  // namespace

Integer IECountICOImages(TStream* Stream) {
  Integer n = 0;
  IEProbeAtPosition(Stream, [&](int64_t start) {
    Byte h[6];
    if (IEReadAt(Stream, start, h, 6) == 6) n = LE16(h + 4);
    return true;
  });
  return n;
}

void IEReadICO(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, bool ParamsOnly, TIEProgressRec& Progress,
               std::unique_ptr<TIEMask>& AlphaMask, bool IgnoreAlpha) {
  const int64_t start = Stream->Position();
  Byte head[6] = {};
  ReadFill(Stream, head, 6);
  if (head[0] == 'B' && head[1] == 'M') {
    Stream->SetPosition(start);
    IEReadBMP(Stream, Bitmap, Stream->Size() - start, Params, Progress, ParamsOnly, false, AlphaMask, IgnoreAlpha);
    return;
  }
  Stream->SetPosition(start);
  int64_t dirStart;
  std::vector<Byte> dir;
  if (!ReadDirectory(Stream, dirStart, head, dir, Progress)) return;
  const Integer count = LE16(head + 4);
  const Integer index = Params.ICO_IMAGEINDEX;
  if (index < 0 || index >= count) {
    Progress.Abort();
    return;
  }
  Params.ICO_SIZES.fill(TSize(0, 0));
  Params.ICO_BITDEPTHS.fill(0);
  for (Integer i = 0, k = 0; i < std::min<Integer>(count, 16); ++i) {
    const Byte* e = &dir[size_t(i) * 16];
    if (e[0] == 0 || e[1] == 0) continue;
    Params.ICO_SIZES[size_t(k)] = TSize(e[0], e[1]);
    const Integer bpp = LE16(e + 6);
    Params.ICO_BITDEPTHS[size_t(k)] = bpp ? bpp : e[2] ? IECeilLog2(e[2]) : 24;
    ++k;
  }
  const Byte* e = &dir[size_t(index) * 16];
  Stream->SetPosition(dirStart + LE32(e + 12));
  Byte bh[40];
  ReadFill(Stream, bh, 40);
  Params.SetDpiX(DpiOf(int32_t(LE32(bh + 24)), IEDefaultDpiX));
  Params.SetDpiY(DpiOf(int32_t(LE32(bh + 28)), IEDefaultDpiY));
  const int32_t hw = int32_t(LE32(bh + 4)), hh = int32_t(LE32(bh + 8));
  Integer bits = LE16(bh + 14);
  if (!bits) bits = LE16(e + 6);
  if (!bits && e[2]) bits = IECeilLog2(e[2] == 255 ? 256 : e[2]);
  if (bits <= 0) {
    Progress.Abort();
    return;
  }
  int64_t w = e[0] ? e[0] : hw, h = e[1] ? e[1] : hh / 2;
  if (e[0] && e[0] != hw && hw > 0 && hw < 2048 && hh < 2048) {
    w = hw;
    h = hh / 2;
  }
  if (w <= 0 || h <= 0 || !IEPictureFits(IEReadLimits.Native, w, h, 32)) {
    Progress.Abort();
    return;
  }
  Params.FreeColorMap();
  TRGB table[256] = {};
  if (bits <= 8) {
    const int n = 1 << bits;
    std::vector<Byte> raw(size_t(n) * 4);
    ReadFill(Stream, raw.data(), int64_t(raw.size()));
    Params.COLORMAPCOUNT = n;
    Params.COLORMAP = std::make_unique<TRGB[]>(size_t(n));
    for (int i = 0; i < n; ++i) table[i] = Params.COLORMAP[i] = TRGB{raw[4 * i], raw[4 * i + 1], raw[4 * i + 2]};
  }
  Params.WIDTH = Params.ORIGINALWIDTH = Integer(w);
  Params.HEIGHT = Params.ORIGINALHEIGHT = Integer(h);
  Params.BITSPERSAMPLE = bits <= 8 ? bits : 8;
  Params.SAMPLESPERPIXEL = bits <= 8 ? 1 : bits == 32 ? 4 : 3;
  if (ParamsOnly) return;
  Decode(Stream, Bitmap, Params, {Integer(w), Integer(h), bits, false, Params.ICO_BACKGROUND}, table,
         Params.ISNATIVEPIXELFORMAT, AlphaMask, IgnoreAlpha, Progress);
}

void IEReadCUR(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, bool ParamsOnly, TIEProgressRec& Progress,
               std::unique_ptr<TIEMask>& AlphaMask, bool IgnoreAlpha) {
  int64_t dirStart;
  Byte head[6];
  std::vector<Byte> dir;
  if (!ReadDirectory(Stream, dirStart, head, dir, Progress)) return;
  const Integer count = LE16(head + 4);
  const Integer index = Params.CUR_IMAGEINDEX;
  if (index < 0 || index >= count) {
    Progress.Abort();
    return;
  }
  const Byte* e = &dir[size_t(index) * 16];
  Params.CUR_XHOTSPOT = LE16(e + 4);
  Params.CUR_YHOTSPOT = LE16(e + 6);
  Stream->SetPosition(dirStart + LE32(e + 12));
  Byte bh[40];
  ReadFill(Stream, bh, 40);
  Params.SetDpiX(DpiOf(int32_t(LE32(bh + 24)), IEDefaultDpiX));
  Params.SetDpiY(DpiOf(int32_t(LE32(bh + 28)), IEDefaultDpiY));
  Integer bits = LE16(bh + 14);
  if (!bits && e[2]) bits = IECeilLog2(e[2] == 255 ? 256 : e[2]);
  const int64_t w = e[0] ? e[0] : int32_t(LE32(bh + 4)), h = e[1] ? e[1] : int32_t(LE32(bh + 8)) / 2;
  if (bits <= 0 || w <= 0 || h <= 0 || !IEPictureFits(IEReadLimits.Native, w, h, 32)) {
    Progress.Abort();
    return;
  }
  Params.FreeColorMap();
  // The table as the entry counts it, looked up through 256 zero-filled entries.
  TRGB table[256] = {};
  if (bits <= 8) {
    const int n = e[2] == 0 ? 1 << bits : e[2] == 255 ? 256 : e[2];
    std::vector<Byte> raw(size_t(n) * 4);
    ReadFill(Stream, raw.data(), int64_t(raw.size()));
    Params.COLORMAPCOUNT = n;
    Params.COLORMAP = std::make_unique<TRGB[]>(size_t(n));
    for (int i = 0; i < n; ++i) table[i] = Params.COLORMAP[i] = TRGB{raw[4 * i], raw[4 * i + 1], raw[4 * i + 2]};
  }
  Params.WIDTH = Params.ORIGINALWIDTH = Integer(w);
  Params.HEIGHT = Params.ORIGINALHEIGHT = Integer(h);
  Params.BITSPERSAMPLE = bits;
  Params.SAMPLESPERPIXEL = 1;
  if (ParamsOnly) return;
  // Deeper cursors (other programs write 32-bit ones) decode as icons do.
  Decode(Stream, Bitmap, Params, {Integer(w), Integer(h), bits, true, Params.CUR_BACKGROUND}, table, false, AlphaMask,
         IgnoreAlpha, Progress);
}

void IEWriteICO(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                const std::vector<TSize>& Sizes, const std::vector<Integer>& BitCounts) {
  const size_t n = Sizes.size();
  const int64_t start = Stream->Position();
  Byte head[6] = {0, 0, 1, 0};
  Put16(head + 4, uint32_t(n));
  IESafeStreamWrite(Stream, Progress, head, 6);
  std::vector<Byte> dir(n * 16, 0);
  IESafeStreamWrite(Stream, Progress, dir.data(), int64_t(dir.size()));
  Params.FreeColorMap();
  if (Bitmap->PixelFormat() != ie24RGB) Params.BITSPERSAMPLE = Params.SAMPLESPERPIXEL = 1;
  Progress.SetUnits(int64_t(n));
  size_t written = 0;
  for (size_t i = 0; i < n; ++i) {
    Progress.Report(int64_t(i));
    if (Progress.Aborted()) break;
    const Integer w = Sizes[i].cx, h = Sizes[i].cy;
    if (w <= 0 || h <= 0) {
      Progress.Abort();
      break;
    }
    Integer bits = i < BitCounts.size() ? BitCounts[i] : 0;
    if (bits == 0) bits = Params.SAMPLESPERPIXEL == 1 ? Params.BITSPERSAMPLE : Params.SAMPLESPERPIXEL == 4 ? 32 : 24;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 32) bits = 24;
    // A bare bitmap as work area: nothing here may touch a window.
    TIEBitmap img;
    if (Bitmap->PixelFormat() == ie1g) {
      img.Allocate(w, h, ie1g);
      IEStretchNearest(Bitmap, &img);
    } else {
      img.Allocate(w, h, ie24RGB);
      IEResample(Bitmap, &img, rfFastLinear);
    }
    if (bits == 1 && img.PixelFormat() != ie1g && !img.ConvertToPixelFormat(ie1g)) {
      Progress.Abort();
      break;
    }
    if (bits != 1 && img.PixelFormat() != ie24RGB && !img.ConvertToPixelFormat(ie24RGB)) {
      Progress.Abort();
      break;
    }
    TIEBitmap* alpha = img.HasAlphaChannel() ? img.GetAlphaChannel() : nullptr;
    const int64_t at = Stream->Position();
    const int64_t rowLen = ((int64_t(w) * bits + 31) / 32) * 4;
    const int64_t andLen = ((int64_t(w) + 31) / 32) * 4;
    Byte bh[40] = {};
    Put32(bh, 40);
    Put32(bh + 4, uint32_t(w));
    Put32(bh + 8, uint32_t(h * 2));
    Put16(bh + 12, 1);
    Put16(bh + 14, uint32_t(bits));
    Put32(bh + 20, bits >= 24 ? 0 : uint32_t(h * rowLen + int64_t(w) * h / 8));
    Put32(bh + 24, uint32_t(Round(double(Params.DPIX) / 2.54 * 100.0)));
    Put32(bh + 28, uint32_t(Round(double(Params.DPIY) / 2.54 * 100.0)));
    IESafeStreamWrite(Stream, Progress, bh, 40);
    std::vector<TRGB> tbl(256, TRGB{0, 0, 0});
    std::unique_ptr<TIEQuantizer> q;
    if (bits == 1) {
      tbl[1] = TRGB{255, 255, 255};
    } else if (bits <= 8) {
      // Index 0 is black and stands for transparent pixels; the picture
      // gets the other 15 or 255 entries.
      const int colours = (1 << bits) - 1;
      q = std::make_unique<TIEQuantizer>(&img, tbl.data() + 1, colours);
      Params.FreeColorMap();
      Params.COLORMAPCOUNT = 1 << bits;
      Params.COLORMAP = std::make_unique<TRGB[]>(size_t(1) << bits);
      std::copy(tbl.begin(), tbl.begin() + (1 << bits), Params.COLORMAP.get());
    }
    if (bits <= 8) {
      std::vector<Byte> t;
      for (int k = 0; k < (1 << bits); ++k) t.insert(t.end(), {tbl[size_t(k)].b, tbl[size_t(k)].g, tbl[size_t(k)].r, 0});
      IESafeStreamWrite(Stream, Progress, t.data(), int64_t(t.size()));
    }
    std::vector<Byte> row(static_cast<size_t>(rowLen));
    for (Integer y = h - 1; y >= 0; --y) {
      std::fill(row.begin(), row.end(), 0);
      const Byte* s = static_cast<const Byte*>(img.GetScanline(y));
      const Byte* a = alpha ? static_cast<const Byte*>(alpha->GetScanline(y)) : nullptr;
      const TRGB* p = reinterpret_cast<const TRGB*>(s);
      for (Integer x = 0; x < w; ++x) {
        switch (bits) {
          case 1:
            break;
          case 4:
          case 8: {
            const Integer idx = (a && a[x] < 255) ? 0 : q->RGBIndex(p[x]) + 1;
            if (bits == 8)
              row[size_t(x)] = Byte(idx);
            else
              row[size_t(x / 2)] |= (x & 1) ? Byte(idx & 15) : Byte((idx & 15) << 4);
            break;
          }
          case 24:
            std::memcpy(&row[size_t(3 * x)], s + 3 * x, 3);
            break;
          case 32:
            std::memcpy(&row[size_t(4 * x)], s + 3 * x, 3);
            row[size_t(4 * x + 3)] = a ? a[x] : 255;
            break;
        }
      }
      if (bits == 1) std::memcpy(row.data(), s, size_t((w + 7) / 8));
      IESafeStreamWrite(Stream, Progress, row.data(), rowLen);
    }
    std::vector<Byte> andRow(static_cast<size_t>(andLen));
    for (Integer y = h - 1; y >= 0; --y) {
      std::fill(andRow.begin(), andRow.end(), 0);
      const Byte* a = alpha ? static_cast<const Byte*>(alpha->GetScanline(y)) : nullptr;
      if (a)
        for (Integer x = 0; x < w; ++x)
          if (a[x] < 255) andRow[size_t(x / 8)] |= Byte(0x80 >> (x % 8));
      IESafeStreamWrite(Stream, Progress, andRow.data(), andLen);
    }
    Byte* d = &dir[i * 16];
    d[0] = Byte(w & 255);
    d[1] = Byte(h & 255);
    if (bits >= 24) {
      Put16(d + 4, 1);
      Put16(d + 6, uint32_t(bits));
    } else {
      d[2] = Byte(std::min(1 << bits, 255));
    }
    Put32(d + 8, uint32_t(Stream->Position() - at));
    Put32(d + 12, uint32_t(at - start));
    written = i + 1;
  }
  (void)written;
  const int64_t end = Stream->Position();
  Stream->SetPosition(start + 6);
  IESafeStreamWrite(Stream, Progress, dir.data(), int64_t(dir.size()));
  Stream->SetPosition(end);
}

void IEICOReadRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                      bool Preview) {
  std::unique_ptr<TIEMask> mask;
  IEReadICO(Stream, Bitmap, Params, Preview, Progress, mask, Preview);
  if (mask && !Preview && !Progress.Aborted()) IEApplyAlphaMask(Bitmap, mask.get());
}
void IECURReadRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                      bool Preview) {
  std::unique_ptr<TIEMask> mask;
  IEReadCUR(Stream, Bitmap, Params, Preview, Progress, mask, Preview);
  if (mask && !Preview && !Progress.Aborted()) IEApplyAlphaMask(Bitmap, mask.get());
}
void IEICOWriteRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress) {
  std::vector<TSize> sizes;
  std::vector<Integer> bits;
  for (size_t i = 0; i < Params.ICO_SIZES.size() && Params.ICO_SIZES[i].cx > 0; ++i) {
    sizes.push_back(Params.ICO_SIZES[i]);
    bits.push_back(Params.ICO_BITDEPTHS[i]);
  }
  IEWriteICO(Stream, Bitmap, Params, Progress, sizes, bits);
}
