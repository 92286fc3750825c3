// Video-frame YUV layouts, DIB gamma, DIB to DIB bitmap, platform-bitmap
// copies and red/blue exchanges.
#include "imaging/core/render/iedibconvert.h"

#include <algorithm>
#include <cstring>

#include "imaging/core/render/iedib.h"
#include "imaging/core/render/iedibbitmap.h"
#include "imaging/core/base/ieutils.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/colors.h"

namespace {

constexpr uint32_t Code(const char (&s)[5]) {
  return uint32_t(Byte(s[0])) | uint32_t(Byte(s[1])) << 8 | uint32_t(Byte(s[2])) << 16 | uint32_t(Byte(s[3])) << 24;
}

// How a packed layout stores one group of pixels: the byte offsets of the
// luma sample of each pixel and of the chroma pair it uses.
struct TPacked {
  uint32_t Code;
  Integer Group;       // pixels per group
  Integer GroupBytes;  // bytes per group
  bool Up;             // the first data row is the bottom picture row
  Byte Y[8];
  Byte U[8];
  Byte V[8];
};

constexpr TPacked kPacked[] = {
    {Code("YUY2"), 2, 4, false, {0, 2}, {1, 1}, {3, 3}},
    {Code("YUNV"), 2, 4, false, {0, 2}, {1, 1}, {3, 3}},
    {Code("UYVY"), 2, 4, false, {1, 3}, {0, 0}, {2, 2}},
    {Code("UYNV"), 2, 4, false, {1, 3}, {0, 0}, {2, 2}},
    {Code("cyuv"), 2, 4, true, {1, 3}, {0, 0}, {2, 2}},
    {Code("YVYU"), 2, 4, false, {0, 2}, {3, 3}, {1, 1}},
    {Code("IYU1"), 4, 6, false, {1, 2, 4, 5}, {0, 0, 0, 0}, {3, 3, 3, 3}},
    {Code("IYU2"), 1, 3, false, {1}, {0}, {2}},
    {Code("Y41P"), 8, 12, true, {1, 3, 5, 7, 8, 9, 10, 11}, {0, 0, 0, 0, 4, 4, 4, 4}, {2, 2, 2, 2, 6, 6, 6, 6}},
    {Code("Y211"), 4, 4, false, {0, 0, 2, 2}, {1, 1, 1, 1}, {3, 3, 3, 3}},
};

struct TPlanar {
  uint32_t Code;
  Integer Sub;    // one chroma sample for Sub x Sub pixels
  bool VFirst;    // the V plane comes before the U plane
};

constexpr TPlanar kPlanar[] = {
    {Code("I420"), 2, false},
    {Code("IYUV"), 2, false},
    {Code("YV12"), 2, true},
    {Code("YVU9"), 4, true},
};

constexpr uint32_t kCLJR = Code("CLJR");

inline void Put(Byte* d, Integer Y, Integer U, Integer V) {
  const TRGB c = IEYUVToRGB(Y, U, V);
  d[0] = c.b, d[1] = c.g, d[2] = c.r;
}

}  // namespace

TRGB IEYUVToRGB(Integer Y, Integer U, Integer V) {
  const double d = (Y - 16) * 1.164;
  const double u = U - 128, v = V - 128;
  const auto ch = [](double x) { return static_cast<Byte>(IEClampByte(static_cast<Integer>(Round(x)))); };
  TRGB c;
  c.b = ch(d + u * 2.018);
  c.g = ch(d - v * 0.813 - u * 0.391);
  c.r = ch(d + v * 1.596);
  return c;
}

bool IEIsYUVCompression(uint32_t Compression) {
  if (Compression == kCLJR) return true;
  for (const TPacked& p : kPacked)
    if (p.Code == Compression) return true;
  for (const TPlanar& p : kPlanar)
    if (p.Code == Compression) return true;
  return false;
}

bool IEDecodeYUVFrame(const Byte* Pixels, size_t Length, Integer Width, Integer Height, uint32_t Compression,
                      TIEBitmap* Dest) {
  if (!Pixels || !Dest || Width <= 0 || Height <= 0) return false;
  const uint64_t w = uint64_t(Width), h = uint64_t(Height);

  for (const TPlanar& p : kPlanar) {
    if (p.Code != Compression) continue;
    // Odd sizes keep a chroma sample for the last partial block.
    const uint64_t cw = (w + p.Sub - 1) / p.Sub, ch = (h + p.Sub - 1) / p.Sub;
    if (w * h + 2 * cw * ch > Length) return false;
    if (!Dest->Allocate(Width, Height, ie24RGB)) return false;
    const Byte* yPlane = Pixels;
    const Byte* first = Pixels + w * h;
    const Byte* second = first + cw * ch;
    const Byte* uPlane = p.VFirst ? second : first;
    const Byte* vPlane = p.VFirst ? first : second;
    for (uint64_t y = 0; y < h; ++y) {
      const Byte* ys = yPlane + y * w;
      const Byte* us = uPlane + (y / p.Sub) * cw;
      const Byte* vs = vPlane + (y / p.Sub) * cw;
      Byte* d = static_cast<Byte*>(Dest->GetScanline(Integer(y)));
      for (uint64_t x = 0; x < w; ++x, d += 3) Put(d, ys[x], us[x / p.Sub], vs[x / p.Sub]);
    }
    return true;
  }

  if (Compression == kCLJR) {
    const uint64_t rowBytes = (w + 3) / 4 * 4;
    if (rowBytes * h > Length) return false;
    if (!Dest->Allocate(Width, Height, ie24RGB)) return false;
    for (uint64_t y = 0; y < h; ++y) {
      const Byte* s = Pixels + y * rowBytes;
      Byte* d = static_cast<Byte*>(Dest->GetScanline(Integer(y)));
      for (uint64_t x = 0; x < w; ++x, d += 3) {
        uint32_t word;
        std::memcpy(&word, s + (x / 4) * 4, 4);
        // 5-bit luma and 6-bit chroma, widened to 8 bits.
        const uint32_t y5 = (word >> (12 + 5 * (x % 4))) & 31;
        const uint32_t u6 = (word >> 6) & 63, v6 = word & 63;
        Put(d, WidenSample(y5, 5), WidenSample(u6, 6), WidenSample(v6, 6));
      }
    }
    return true;
  }

  for (const TPacked& p : kPacked) {
    if (p.Code != Compression) continue;
    // A partial last group still takes its whole group's bytes.
    const uint64_t rowBytes = (w + p.Group - 1) / p.Group * p.GroupBytes;
    if (rowBytes * h > Length) return false;
    if (!Dest->Allocate(Width, Height, ie24RGB)) return false;
    for (uint64_t r = 0; r < h; ++r) {
      const Byte* s = Pixels + r * rowBytes;
      Byte* d = static_cast<Byte*>(Dest->GetScanline(Integer(p.Up ? h - 1 - r : r)));
      for (uint64_t x = 0; x < w; ++x, d += 3) {
        const Byte* g = s + (x / p.Group) * p.GroupBytes;
        const Integer i = Integer(x % p.Group);
        Put(d, g[p.Y[i]], g[p.U[i]], g[p.V[i]]);
      }
    }
    return true;
  }
  return false;
}

// ---------------------------------------------------------------------------

void IEGammaCorrectDIB(HGLOBAL Dib, double Gamma) {
  // A gamma at or below zero has no meaning (1/Gamma would blacken or blow
  // up every sample), and 1 changes nothing.
  if (!Dib || !(Gamma > 0) || Gamma == 1) return;
  Byte* p = static_cast<Byte*>(GlobalLock(Dib));
  if (!p) return;
  const size_t length = GlobalSize(Dib);
  auto u32 = [&](size_t at) {
    uint32_t v;
    std::memcpy(&v, p + at, 4);
    return v;
  };
  if (length >= 40) {
    const uint32_t headerSize = u32(0);
    const int32_t width = int32_t(u32(4));
    const int32_t rawHeight = int32_t(u32(8));
    uint16_t bits;
    std::memcpy(&bits, p + 14, 2);
    const uint32_t compression = u32(16), clrUsed = u32(32);
    if (bits == 24 && compression == 0 && width > 0 && rawHeight != 0 && rawHeight != INT32_MIN && headerSize >= 40) {
      const uint64_t height = uint64_t(rawHeight < 0 ? -int64_t(rawHeight) : rawHeight);
      const uint64_t rowLen = (uint64_t(width) * 24 + 31) / 32 * 4;
      // The rows follow the header as its size field gives it, and any
      // colour table a 24-bit DIB may carry.
      const uint64_t offset = uint64_t(headerSize) + uint64_t(clrUsed) * 4;
      if (offset <= length && rowLen * height <= length - offset) {
        Byte table[256];
        for (Integer i = 0; i < 256; ++i)
          table[i] = Byte(IEClampByte(Integer(Round(255 * IEPower(i / 255.0L, 1.0L / Gamma)))));
        for (uint64_t r = 0; r < height; ++r) {
          Byte* row = p + offset + r * rowLen;
          for (uint64_t i = 0; i < uint64_t(width) * 3; ++i) row[i] = table[row[i]];
        }
      }
    }
  }
  GlobalUnlock(Dib);
}

Integer IEDIBToDibbitmap(const void* Dib, TIEDibbitmap* Dest, const void* Bits, bool IsPointer) {
  if (!Dest) return 0;
  // The block is read with the validating reader, which honours colour
  // tables, bit fields and the YUV layouts, then laid into the DIB bitmap.
  TIEBitmap decoded;
  const Integer bits = IEDIBToBitmap(Dib, &decoded, Bits, IsPointer);
  if (bits == 0 || decoded.IsEmpty()) return 0;
  const bool mono = decoded.PixelFormat() == ie1g;
  if (!Dest->AllocateBits(decoded.Width(), decoded.Height(), mono ? 1 : 24)) return 0;
  const size_t bytes = size_t(std::min(decoded.RowLen(), Dest->GetRowLen()));
  for (Integer y = 0; y < decoded.Height(); ++y) std::memcpy(Dest->GetScanline(y), decoded.GetScanline(y), bytes);
  return bits;
}

// ---------------------------------------------------------------------------

void IECopyTBitmap(TBitmap* Src, TBitmap* Dst) {
  if (!Src || !Dst || Src == Dst) return;
  const TPixelFormat pf = Src->PixelFormat();
  if (pf == pfCustom) {
    // No layout to recreate by name: the platform copy takes it over.
    Dst->Assign(Src);
    return;
  }
  const Integer w = Src->Width(), h = Src->Height();
  if (w <= 0 || h <= 0) {
    Dst->SetSize(0, 0);
    Dst->SetPixelFormat(pf);
    Dst->SetSize(1, 1);
    return;
  }
  if (Dst->Width() != w || Dst->Height() != h || Dst->PixelFormat() != pf) {
    // Emptied first, so that the format change converts no old pixels.
    Dst->SetSize(0, 0);
    Dst->SetPixelFormat(pf);
    Dst->SetSize(w, h);
  }
  // The colour table belongs to the picture: the same indexes under another
  // table would be other colours.
  const Integer n = std::min(Src->ColorTableSize(), Dst->ColorTableSize());
  for (Integer i = 0; i < n; ++i) Dst->SetColorTableEntry(i, Src->ColorTableEntry(i));
  Integer bpp;
  switch (pf) {
    case pf1bit: bpp = 1; break;
    case pf4bit: bpp = 4; break;
    case pf8bit: bpp = 8; break;
    case pf15bit:
    case pf16bit: bpp = 16; break;
    case pf24bit: bpp = 24; break;
    default: bpp = 32; break;
  }
  const size_t rowBytes = (size_t(w) * size_t(bpp) + 31) / 32 * 4;
  for (Integer y = 0; y < h; ++y) std::memcpy(Dst->ScanLine(y), Src->ScanLine(y), rowBytes);
}

std::unique_ptr<TBitmap> IECloneTBitmap(TBitmap* Src) {
  auto b = std::make_unique<TBitmap>();
  IECopyTBitmap(Src, b.get());
  return b;
}

// ---------------------------------------------------------------------------

void IECopySwapRedBlue(void* Dest, const void* Src, Integer Count) {
  Byte* d = static_cast<Byte*>(Dest);
  const Byte* s = static_cast<const Byte*>(Src);
  for (Integer i = 0; i < Count; ++i, d += 3, s += 3) {
    const Byte b0 = s[0], b1 = s[1], b2 = s[2];
    d[0] = b2, d[1] = b1, d[2] = b0;
  }
}

void IESwapRedBlue(void* Buffer, Integer Count) {
  Byte* p = static_cast<Byte*>(Buffer);
  for (Integer i = 0; i < Count; ++i, p += 3) std::swap(p[0], p[2]);
}

void IESwapRedBlue48(void* Buffer, Integer Count) {
  Byte* p = static_cast<Byte*>(Buffer);
  for (Integer i = 0; i < Count; ++i, p += 6) {
    std::swap(p[0], p[4]);
    std::swap(p[1], p[5]);
  }
}

void IESwapRedBlueArray(TRGB* Entries, Integer Count) {
  for (Integer i = 0; i < Count; ++i) std::swap(Entries[i].r, Entries[i].b);
}
