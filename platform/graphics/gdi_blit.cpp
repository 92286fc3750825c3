// Block transfers with ternary raster operations: BitBlt, StretchBlt (nearest
// sampling, negative extents mirror), MaskBlt, PatBlt, the DIB transfers and
// GradientFill. Sources are converted to the destination's pixel values first,
// with the Windows rules for monochrome bitmaps.
#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "platform/graphics/gdi_private.h"

#if defined(__SSE2__) && defined(__GNUC__)
// SSSE3 byte shuffles, chosen at run time: the program is built for plain
// x86-64.
#include <tmmintrin.h>
#define GT_BLIT_SSSE3 1
#endif

namespace gdi {

namespace {

struct TBlitSrc {
  TGdiPixels Px;
  const TDCObj* DC = nullptr;  // the source DC (colour to monochrome uses its background colour)
};

// Converts source pixel values to destination pixel values.
class TConverter {
 public:
  TConverter(const TBlitSrc& Src, const TTarget& Dst) : FSrc(Src.Px), FDst(Dst.Px), FDC(Dst.DC) {
    const TGdiPixels& s = FSrc;
    const TGdiPixels& d = FDst;
    if (s.MonoDDB && d.MonoDDB) {
      FRaw = true;
    } else if (s.BitCount <= 8) {
      const Integer n = 1 << s.BitCount;
      FLut.assign(static_cast<size_t>(n), 0);
      if (s.MonoDDB) {
        // A monochrome bitmap takes the destination's text (0) and background (1) colours.
        FLut[0] = ColorToPixel(d, Dst.DC->S.TextColor, Dst.DC);
        FLut[1] = ColorToPixel(d, Dst.DC->S.BkColor, Dst.DC);
      } else {
        FRaw = s.BitCount == d.BitCount && !d.MonoDDB && s.ColorCount == d.ColorCount &&
               (s.ColorCount == 0 || std::memcmp(s.Colors, d.Colors, sizeof(RGBQUAD) * s.ColorCount) == 0);
        for (Integer i = 0; i < n; ++i) FLut[static_cast<size_t>(i)] = FromColor(PixelToColor(s, static_cast<uint32_t>(i)), Src);
      }
      FUseLut = !FRaw;
    } else {
      FRaw = (s.BitCount == d.BitCount && s.BitCount != 16) ||
             (s.BitCount == 16 && d.BitCount == 16 && s.RedMask == d.RedMask && s.GreenMask == d.GreenMask &&
              s.BlueMask == d.BlueMask);
      FDirect = !FRaw && d.BitCount >= 24 && s.BitCount >= 24;
      FSrcBk = Src.DC ? (Src.DC->S.BkColor & 0xFFFFFF) : 0xFFFFFF;
      FSrcHasBk = Src.DC != nullptr;
    }
  }

  bool Raw() const { return FRaw; }

  uint32_t operator()(uint32_t V) {
    if (FRaw) return V;
    if (FUseLut) return FLut[V & 0xFF];
    if (FDirect) return V & 0xFFFFFF;
    // True colour to a palette, 16-bit or monochrome target: cache the answers.
    auto it = FCache.find(V);
    if (it != FCache.end()) return it->second;
    TBlitSrc dummy;
    uint32_t r = FromColor(PixelToColor(FSrc, V), dummy);
    if (FCache.size() < 65536) FCache.emplace(V, r);
    return r;
  }

 private:
  uint32_t FromColor(COLORREF C, const TBlitSrc& Src) {
    if (FDst.MonoDDB) {
      // Colour to monochrome: the source's background colour becomes 1 (white), all else 0.
      const COLORREF bk = Src.DC ? (Src.DC->S.BkColor & 0xFFFFFF) : (FSrcHasBk ? FSrcBk : 0xFFFFFF);
      if (!Src.DC && !FSrcHasBk) return NearestIndex(FDst.Colors, FDst.ColorCount, C);
      return (C & 0xFFFFFF) == bk ? 1u : 0u;
    }
    return ColorToPixel(FDst, C, FDC);
  }

  const TGdiPixels& FSrc;
  const TGdiPixels& FDst;
  const TDCObj* FDC;
  bool FRaw = false, FUseLut = false, FDirect = false;
  std::vector<uint32_t> FLut;
  std::unordered_map<uint32_t, uint32_t> FCache;
  COLORREF FSrcBk = 0xFFFFFF;
  bool FSrcHasBk = false;
};

// Destination pixel range of a signed extent: the origin is the first pixel.
void Range(Integer Org, Integer Ext, Integer& First, Integer& Last) {
  if (Ext >= 0) {
    First = Org;
    Last = Org + Ext;
  } else {
    First = Org + Ext + 1;
    Last = Org + 1;
  }
}

// Source index of destination step i (0 .. |DExt| - 1), nearest sampling.
inline int64_t SrcStep(int64_t I, int64_t ADExt, int64_t ASExt) {
  if (ADExt == ASExt) return I;
  return (2 * I + 1) * ASExt / (2 * ADExt);
}

// Writes Count pixel values of a layout of 8 bits or more into a row, in the
// memory order WritePixel uses.
void StoreRow(uint8_t* D, const uint32_t* V, size_t Count, Integer BitCount) {
  switch (BitCount) {
    case 8:
      for (size_t i = 0; i < Count; ++i) D[i] = static_cast<uint8_t>(V[i]);
      return;
    case 16:
      for (size_t i = 0; i < Count; ++i) {
        const uint16_t v = static_cast<uint16_t>(V[i]);
        std::memcpy(D + 2 * i, &v, 2);
      }
      return;
    case 24:
      for (size_t i = 0; i < Count; ++i, D += 3) {
        D[0] = static_cast<uint8_t>(V[i]);
        D[1] = static_cast<uint8_t>(V[i] >> 8);
        D[2] = static_cast<uint8_t>(V[i] >> 16);
      }
      return;
    case 32: std::memcpy(D, V, Count * 4); return;
  }
}

#if GT_BLIT_SSSE3
bool HaveSsse3() {
  static const bool have = __builtin_cpu_supports("ssse3");
  return have;
}

// Four triples of each 16-byte load spread into quads with a zero fourth
// byte; the loads stop where fewer than 16 bytes are left. Returns the
// pixels done.
__attribute__((target("ssse3"))) size_t Row24To32Ssse3(uint8_t* D, const uint8_t* S, size_t Count) {
  const __m128i spread = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
  size_t i = 0;
  for (; i + 6 <= Count; i += 4, S += 12, D += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(S));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(D), _mm_shuffle_epi8(v, spread));
  }
  return i;
}
#endif

// B, G, R triples to B, G, R, 0 quads: four pixels from three words.
void Row24To32(uint8_t* D, const uint8_t* S, size_t Count) {
  size_t i = 0;
#if GT_BLIT_SSSE3
  if (HaveSsse3()) {
    i = Row24To32Ssse3(D, S, Count);
    S += 3 * i;
    D += 4 * i;
  }
#endif
  for (; i + 4 <= Count; i += 4, S += 12, D += 16) {
    uint32_t w[3];
    std::memcpy(w, S, 12);
    const uint32_t q[4] = {w[0] & 0xFFFFFFu, (w[0] >> 24) | ((w[1] & 0xFFFFu) << 8),
                           (w[1] >> 16) | ((w[2] & 0xFFu) << 16), w[2] >> 8};
    std::memcpy(D, q, 16);
  }
  for (; i < Count; ++i, S += 3, D += 4) {
    D[0] = S[0];
    D[1] = S[1];
    D[2] = S[2];
    D[3] = 0;
  }
}

// B, G, R, X quads to B, G, R triples.
void Row32To24(uint8_t* D, const uint8_t* S, size_t Count) {
  size_t i = 0;
  for (; i + 4 <= Count; i += 4, S += 16, D += 12) {
    uint32_t q[4];
    std::memcpy(q, S, 16);
    const uint32_t w[3] = {(q[0] & 0xFFFFFFu) | (q[1] << 24), ((q[1] >> 8) & 0xFFFFu) | (q[2] << 16),
                           ((q[2] >> 16) & 0xFFu) | (q[3] << 8)};
    std::memcpy(D, w, 12);
  }
  for (; i < Count; ++i, S += 4, D += 3) {
    D[0] = S[0];
    D[1] = S[1];
    D[2] = S[2];
  }
}

// The core of every transfer. DX, DY, DW, DH: device destination (signed
// extents); SX, SY, SW, SH: source pixels in top-down coordinates.
BOOL Blit(TTarget& Tg, Integer DX, Integer DY, Integer DW, Integer DH, const TBlitSrc* Src, Integer SX, Integer SY,
          Integer SW, Integer SH, DWORD Rop, const TGdiPixels* Mask, Integer MX, Integer MY) {
  if (!Tg.Valid() || DW == 0 || DH == 0) return TRUE;
  const uint8_t fore = static_cast<uint8_t>(Rop >> 16);
  const uint8_t back = Mask ? static_cast<uint8_t>(Rop >> 24) : fore;
  const bool useSrc = RopUsesSource(fore) || RopUsesSource(back);
  const bool usePat = RopUsesPattern(fore) || RopUsesPattern(back);
  if (useSrc && (!Src || SW == 0 || SH == 0 || !Src->Px.Row0)) return FALSE;
  const TGdiPixels& dpx = Tg.Px;
  const uint32_t mask = PixelMask(dpx.BitCount);

  Integer x0, x1, y0, y1;
  Range(DX, DW, x0, x1);
  Range(DY, DH, y0, y1);
  const TRect box = Tg.ClipBox();
  const Integer cx0 = std::max(x0, box.Left), cx1 = std::min(x1, box.Right);
  const Integer cy0 = std::max(y0, box.Top), cy1 = std::min(y1, box.Bottom);
  if (cx0 >= cx1 || cy0 >= cy1) return TRUE;
  const int64_t adw = DW < 0 ? -static_cast<int64_t>(DW) : DW, adh = DH < 0 ? -static_cast<int64_t>(DH) : DH;
  const int64_t asw = SW < 0 ? -static_cast<int64_t>(SW) : SW, ash = SH < 0 ? -static_cast<int64_t>(SH) : SH;

  // Source column of every destination column of the clipped window (-1: outside the source).
  std::vector<Integer> colMap(static_cast<size_t>(cx1 - cx0), -1);
  std::vector<Integer> maskCol(static_cast<size_t>(cx1 - cx0), -1);
  for (Integer x = cx0; x < cx1; ++x) {
    const int64_t i = DW >= 0 ? x - DX : DX - x;
    if (useSrc) {
      const int64_t j = SrcStep(i, adw, asw);
      const int64_t sx = SW >= 0 ? SX + j : SX - j;
      if (sx >= 0 && sx < Src->Px.Width) colMap[static_cast<size_t>(x - cx0)] = static_cast<Integer>(sx);
    }
    if (Mask) {
      const int64_t mx = MX + i;
      if (mx >= 0 && mx < Mask->Width) maskCol[static_cast<size_t>(x - cx0)] = static_cast<Integer>(mx);
    }
  }

  TPaintOp pop;
  TPattern pat;
  bool havePat = usePat && BrushOp(Tg, Tg.DC->S.Brush.get(), pop, pat);
  std::unique_ptr<TConverter> conv;
  if (useSrc) conv = std::make_unique<TConverter>(*Src, Tg);

  // A solid brush copied (PATCOPY, the fill of every FillRect and PatBlt):
  // one prepared row of pixel values, copied into each span.
  if (!useSrc && !Mask && fore == 0xF0 && havePat && !pop.Pat && dpx.BitCount >= 8) {
    const Integer bpp = dpx.BitCount / 8;
    const uint32_t v = pop.Fg & mask;
    std::vector<uint8_t> fill(static_cast<size_t>(cx1 - cx0) * bpp);
    {
      StoreRow(fill.data(), &v, 1, dpx.BitCount);
      for (size_t k = 1; k < static_cast<size_t>(cx1 - cx0); k *= 2)
        std::memcpy(fill.data() + k * bpp, fill.data(), std::min(k, static_cast<size_t>(cx1 - cx0) - k) * bpp);
    }
    for (Integer y = cy0; y < cy1; ++y)
      Tg.ClipSpan(y, cx0, cx1, [&](Integer yy, Integer a, Integer b) {
        std::memcpy(dpx.Row(yy) + static_cast<ptrdiff_t>(a) * bpp, fill.data(), static_cast<size_t>(b - a) * bpp);
      });
    Tg.Touch(TRect(cx0, cy0, cx1, cy1));
    return TRUE;
  }

  const bool fastCopy = useSrc && !Mask && fore == 0xCC && conv->Raw() && DW > 0 && SW > 0 && adw == asw &&
                        dpx.BitCount >= 8 && dpx.BitCount == Src->Px.BitCount;
  std::vector<uint32_t> srow(static_cast<size_t>(cx1 - cx0));
  std::vector<uint8_t> valid(static_cast<size_t>(cx1 - cx0));
  // Columns that map one to one onto the source: those inside the source
  // form one run [runA, runB).
  const bool oneToOne = useSrc && DW > 0 && SW > 0 && adw == asw;
  Integer runA = cx0, runB = cx0;
  if (oneToOne) {
    while (runA < cx1 && colMap[static_cast<size_t>(runA - cx0)] < 0) ++runA;
    runB = runA;
    while (runB < cx1 && colMap[static_cast<size_t>(runB - cx0)] >= 0) ++runB;
  }

  // Copies within one pixel block (scrolling) run rows bottom-up when the
  // destination lies below the source, so that no row is read after it was
  // overwritten; within a row the source is read completely first.
  bool reverse = false;
  if (useSrc && Src->Px.Row0 == dpx.Row0 && Src->Px.Stride == dpx.Stride) {
    const int64_t firstSrc = SrcStep(DH >= 0 ? cy0 - DY : DY - cy0, adh, ash);
    const int64_t srcRow = SH >= 0 ? SY + firstSrc : SY - firstSrc;
    reverse = cy0 > srcRow;
  }
  // True-colour copies (the view's paint path) skip the generic machinery.
  const bool trueCopy = useSrc && !Mask && fore == 0xCC && !fastCopy && (dpx.BitCount == 24 || dpx.BitCount == 32) &&
                        (Src->Px.BitCount == 24 || Src->Px.BitCount == 32);
  // Within one surface a row is read whole before it is written (below).
  const bool scaled24 = trueCopy && dpx.BitCount == 24 && Src->Px.BitCount == 24 && Src->Px.Row0 != dpx.Row0;
  for (Integer yi = 0; yi < cy1 - cy0; ++yi) {
    const Integer y = reverse ? cy1 - 1 - yi : cy0 + yi;
    const int64_t i = DH >= 0 ? y - DY : DY - y;
    Integer sy = -1;
    if (useSrc) {
      const int64_t j = SrcStep(i, adh, ash);
      const int64_t s = SH >= 0 ? SY + j : SY - j;
      if (s < 0 || s >= Src->Px.Height) continue;
      sy = static_cast<Integer>(s);
    }
    Integer my = -1;
    if (Mask) {
      const int64_t m = MY + i;
      my = (m >= 0 && m < Mask->Height) ? static_cast<Integer>(m) : -1;
    }
    if (fastCopy) {
      const Integer bpp = dpx.BitCount / 8;
      Tg.ClipSpan(y, cx0, cx1, [&](Integer yy, Integer a, Integer b) {
        // Columns map one to one; copy the part that lies inside the source.
        const Integer first = std::max(a, runA), last = std::min(b, runB);
        if (first >= last) return;
        const Integer sa = colMap[static_cast<size_t>(first - cx0)];
        std::memmove(dpx.Row(yy) + static_cast<ptrdiff_t>(first) * bpp,
                     Src->Px.Row(sy) + static_cast<ptrdiff_t>(sa) * bpp, static_cast<size_t>(last - first) * bpp);
      });
      continue;
    }
    if (trueCopy && oneToOne) {
      // 24 to 32 bits or back, a row at a time.
      const uint8_t* srcRow = Src->Px.Row(sy);
      const Integer sb = Src->Px.BitCount / 8, db = dpx.BitCount / 8;
      Tg.ClipSpan(y, cx0, cx1, [&](Integer yy, Integer a, Integer b) {
        const Integer first = std::max(a, runA), last = std::min(b, runB);
        if (first >= last) return;
        const uint8_t* s = srcRow + static_cast<ptrdiff_t>(colMap[static_cast<size_t>(first - cx0)]) * sb;
        uint8_t* d = dpx.Row(yy) + static_cast<ptrdiff_t>(first) * db;
        if (sb == 3) Row24To32(d, s, static_cast<size_t>(last - first));
        else Row32To24(d, s, static_cast<size_t>(last - first));
      });
      continue;
    }
    if (trueCopy && scaled24) {
      // Scaled 24-bit copies between two surfaces (full-screen stretches):
      // each pixel straight from its source column.
      const uint8_t* srcRow = Src->Px.Row(sy);
      Tg.ClipSpan(y, cx0, cx1, [&](Integer yy, Integer a, Integer b) {
        uint8_t* d = dpx.Row(yy) + static_cast<ptrdiff_t>(a) * 3;
        const Integer* cols = colMap.data() + (a - cx0);
        for (Integer x = a; x < b; ++x, d += 3, ++cols) {
          if (*cols < 0) continue;
          const uint8_t* p = srcRow + static_cast<ptrdiff_t>(*cols) * 3;
          d[0] = p[0];
          d[1] = p[1];
          d[2] = p[2];
        }
      });
      continue;
    }
    if (trueCopy) {
      const uint8_t* srcRow = Src->Px.Row(sy);
      const Integer sb = Src->Px.BitCount / 8, db = dpx.BitCount / 8;
      for (Integer x = cx0; x < cx1; ++x) {
        const Integer sx = colMap[static_cast<size_t>(x - cx0)];
        valid[static_cast<size_t>(x - cx0)] = sx >= 0;
        if (sx < 0) continue;
        const uint8_t* p = srcRow + static_cast<ptrdiff_t>(sx) * sb;
        srow[static_cast<size_t>(x - cx0)] =
            p[0] | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (sb == 4 && db == 4 ? uint32_t(p[3]) << 24 : 0);
      }
      Tg.ClipSpan(y, cx0, cx1, [&](Integer yy, Integer a, Integer b) {
        uint8_t* d = dpx.Row(yy) + static_cast<ptrdiff_t>(a) * db;
        for (Integer x = a; x < b; ++x, d += db) {
          const size_t k = static_cast<size_t>(x - cx0);
          if (!valid[k]) continue;
          const uint32_t v = srow[k];
          d[0] = static_cast<uint8_t>(v);
          d[1] = static_cast<uint8_t>(v >> 8);
          d[2] = static_cast<uint8_t>(v >> 16);
          if (db == 4) d[3] = static_cast<uint8_t>(v >> 24);
        }
      });
      continue;
    }
    if (useSrc) {
      for (Integer x = cx0; x < cx1; ++x) {
        const Integer sx = colMap[static_cast<size_t>(x - cx0)];
        valid[static_cast<size_t>(x - cx0)] = sx >= 0;
        if (sx >= 0) srow[static_cast<size_t>(x - cx0)] = (*conv)(ReadPixel(Src->Px, sx, sy));
      }
    }
    Tg.ClipSpan(y, cx0, cx1, [&](Integer yy, Integer a, Integer b) {
      for (Integer x = a; x < b; ++x) {
        const size_t k = static_cast<size_t>(x - cx0);
        if (useSrc && !valid[k]) continue;
        uint8_t t = fore;
        if (Mask) {
          const Integer mx = maskCol[k];
          // Outside the mask counts as 0 bits, as on Windows.
          const bool bit = (my >= 0 && mx >= 0) ? ReadPixel(*Mask, mx, my) != 0 : false;
          t = bit ? fore : back;
        }
        uint32_t p = 0;
        if (havePat && RopUsesPattern(t)) {
          if (pop.Pat) {
            const TPattern& pp = *pop.Pat;
            Integer px = (x - pop.OrgX) % pp.W, py = (yy - pop.OrgY) % pp.H;
            if (px < 0) px += pp.W;
            if (py < 0) py += pp.H;
            const size_t idx = static_cast<size_t>(py) * pp.W + px;
            if (pp.AnySkip && pp.Skip[idx] && t == 0xF0) continue;  // transparent hatch background
            p = pp.Pix[idx];
          } else {
            p = pop.Fg;
          }
        }
        const uint32_t s = useSrc ? srow[k] : 0;
        const uint32_t d = RopUsesDest(t) ? ReadPixel(dpx, x, yy) : 0;
        uint32_t r;
        switch (t) {
          case 0xCC: r = s; break;
          case 0xF0: r = p; break;
          case 0x66: r = s ^ d; break;
          case 0x88: r = s & d; break;
          case 0xEE: r = s | d; break;
          case 0x55: r = ~d; break;
          case 0x5A: r = p ^ d; break;
          case 0xAA: continue;
          default: r = Rop3(t, p, s, d);
        }
        // On 32 bits the operation covers the fourth byte too; colours and
        // sources of other depths bring 0 there, as on Windows.
        WritePixel(dpx, x, yy, r & mask);
      }
    });
  }
  Tg.Touch(TRect(cx0, cy0, cx1, cy1));
  return TRUE;
}

// Pixels over a caller's DIB; Colors receives the resolved colour table.
bool DIBPixels(const BITMAPINFO* Info, const void* Bits, UINT Usage, const TDCObj* DC, std::vector<RGBQUAD>& Colors,
               TGdiPixels& Px) {
  if (!Info || !Bits) return false;
  const BITMAPINFOHEADER& h = Info->bmiHeader;
  if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biWidth <= 0 || h.biHeight == 0 || h.biHeight == INT32_MIN)
    return false;
  const Integer bc = h.biBitCount;
  if (bc != 1 && bc != 4 && bc != 8 && bc != 16 && bc != 24 && bc != 32) return false;
  if (h.biCompression != BI_RGB && !(h.biCompression == BI_BITFIELDS && (bc == 16 || bc == 32))) return false;
  const Integer height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
  const ptrdiff_t row = static_cast<ptrdiff_t>((static_cast<int64_t>(h.biWidth) * bc + 31) / 32 * 4);
  uint8_t* bits = static_cast<uint8_t*>(const_cast<void*>(Bits));
  Px = TGdiPixels();
  Px.Width = h.biWidth;
  Px.Height = height;
  Px.BitCount = bc;
  if (h.biHeight < 0) {
    Px.Row0 = bits;
    Px.Stride = row;
  } else {
    Px.Row0 = bits + row * (height - 1);
    Px.Stride = -row;
  }
  const uint8_t* table = reinterpret_cast<const uint8_t*>(Info) + h.biSize;
  if (bc <= 8) {
    const size_t n = size_t(1) << bc;
    const size_t used = h.biClrUsed ? std::min<size_t>(h.biClrUsed, n) : n;
    Colors.assign(n, RGBQUAD{});
    if (Usage == DIB_PAL_COLORS) {
      const auto pal = (DC && DC->S.Palette) ? DC->S.Palette : DefaultPalette();
      const WORD* idx = reinterpret_cast<const WORD*>(table);
      for (size_t i = 0; i < used && !pal->Entries.empty(); ++i) {
        const PALETTEENTRY& e = pal->Entries[std::min<size_t>(idx[i], pal->Entries.size() - 1)];
        Colors[i] = RGBQUAD{e.peBlue, e.peGreen, e.peRed, 0};
      }
    } else {
      std::memcpy(Colors.data(), table, used * sizeof(RGBQUAD));
      for (auto& c : Colors) c.rgbReserved = 0;
    }
    Px.Colors = Colors.data();
    Px.ColorCount = static_cast<Integer>(n);
  } else if (bc == 16) {
    if (h.biCompression == BI_BITFIELDS) {
      const DWORD* m = reinterpret_cast<const DWORD*>(table);
      Px.RedMask = m[0];
      Px.GreenMask = m[1];
      Px.BlueMask = m[2];
    }
  }
  return true;
}

// Source pixels of a DC for BitBlt: its bitmap (memory DC) or its surface.
class TSourceLock {
 public:
  explicit TSourceLock(TDCObj* DC) : FDC(DC) {
    if (!DC) return;
    Src.DC = DC;
    if (DC->Kind == TDCObj::dkMemory && DC->S.Bitmap && DC->S.Bitmap != DefaultBitmap()) {
      Src.Px = DC->S.Bitmap->Pixels();
    } else if (DC->Kind == TDCObj::dkSurface && DC->Surface) {
      FLocked = DC->Surface->LockPixels(Src.Px);
      if (!FLocked) Src.Px = TGdiPixels();
    }
  }
  ~TSourceLock() {
    if (FLocked) FDC->Surface->UnlockPixels(TRect());
  }
  TBlitSrc Src;

 private:
  TDCObj* FDC;
  bool FLocked = false;
};

// Source rectangle of a DC in its device coordinates (origins applied).
void MapSource(const TDCObj* DC, Integer& X, Integer& Y) {
  const TPoint p = MapPoint(DC, X, Y);
  X = p.X;
  Y = p.Y;
}

// Destination of a blit in device coordinates, keeping signed extents.
void MapDest(const TDCObj* DC, Integer X, Integer Y, Integer W, Integer H, Integer& DX, Integer& DY, Integer& DW,
             Integer& DH) {
  const TXform t = DeviceXform(DC);
  if (!t.AxisAligned()) {
    const TRect r = MapRect(DC, X, Y, X + W, Y + H);
    DX = r.Left;
    DY = r.Top;
    DW = r.Width();
    DH = r.Height();
    return;
  }
  // The origin pixel maps to the first device pixel; a flipping transform
  // turns the extent round.
  auto axis = [](double S, double O, Integer P, Integer E, Integer& OP, Integer& OE) {
    OP = static_cast<Integer>(std::floor(S * P + O + 0.5));
    const double scaled = S * E;
    Integer n = static_cast<Integer>(std::floor((scaled < 0 ? -scaled : scaled) + 0.5));
    if (n < 1 && E != 0) n = 1;
    OE = scaled >= 0 ? n : -n;
  };
  axis(t.A, t.E, X, W, DX, DW);
  axis(t.D, t.F, Y, H, DY, DH);
}

}  // namespace

}  // namespace gdi

using namespace gdi;

BOOL PatBlt(HDC DC, Integer X, Integer Y, Integer Width, Integer Height, DWORD Rop) {
  TDCObj* dc = LookupDC(DC);
  if (!dc) return FALSE;
  const uint8_t t = static_cast<uint8_t>(Rop >> 16);
  if (RopUsesSource(t)) return FALSE;
  TTarget tg(dc);
  Integer dx, dy, dw, dh;
  MapDest(dc, X, Y, Width, Height, dx, dy, dw, dh);
  return Blit(tg, dx, dy, dw, dh, nullptr, 0, 0, 0, 0, Rop, nullptr, 0, 0);
}

BOOL StretchBlt(HDC Dest, Integer X, Integer Y, Integer Width, Integer Height, HDC Src, Integer XSrc, Integer YSrc,
                Integer WidthSrc, Integer HeightSrc, DWORD Rop) {
  TDCObj* dc = LookupDC(Dest);
  if (!dc) return FALSE;
  const uint8_t t = static_cast<uint8_t>(Rop >> 16);
  TDCObj* sdc = RopUsesSource(t) ? LookupDC(Src) : nullptr;
  if (RopUsesSource(t) && !sdc) return FALSE;
  if (sdc) MapSource(sdc, XSrc, YSrc);
  Integer dx, dy, dw, dh;
  MapDest(dc, X, Y, Width, Height, dx, dy, dw, dh);
  // Lock the source first: when source and destination are the same surface
  // the rows are the same memory either way.
  TSourceLock src(sdc);
  TTarget tg(dc);
  return Blit(tg, dx, dy, dw, dh, sdc ? &src.Src : nullptr, XSrc, YSrc, WidthSrc, HeightSrc, Rop, nullptr, 0, 0);
}

BOOL BitBlt(HDC Dest, Integer X, Integer Y, Integer Width, Integer Height, HDC Src, Integer XSrc, Integer YSrc,
            DWORD Rop) {
  return StretchBlt(Dest, X, Y, Width, Height, Src, XSrc, YSrc, Width, Height, Rop);
}

BOOL MaskBlt(HDC Dest, Integer X, Integer Y, Integer Width, Integer Height, HDC Src, Integer XSrc, Integer YSrc,
             HBITMAP Mask, Integer XMask, Integer YMask, DWORD Rop) {
  if (!Mask) return BitBlt(Dest, X, Y, Width, Height, Src, XSrc, YSrc, Rop & 0xFFFFFF);
  auto m = LookupAs<TBitmapObj>(Mask, OBJ_BITMAP);
  if (!m || m->BitCount != 1) return FALSE;
  TDCObj* dc = LookupDC(Dest);
  if (!dc) return FALSE;
  const uint8_t fore = static_cast<uint8_t>(Rop >> 16), back = static_cast<uint8_t>(Rop >> 24);
  const bool useSrc = RopUsesSource(fore) || RopUsesSource(back);
  TDCObj* sdc = useSrc ? LookupDC(Src) : nullptr;
  if (useSrc && !sdc) return FALSE;
  if (sdc) MapSource(sdc, XSrc, YSrc);
  Integer dx, dy, dw, dh;
  MapDest(dc, X, Y, Width, Height, dx, dy, dw, dh);
  TSourceLock src(sdc);
  TTarget tg(dc);
  TGdiPixels mp = m->Pixels();
  return Blit(tg, dx, dy, dw, dh, sdc ? &src.Src : nullptr, XSrc, YSrc, Width, Height, Rop, &mp, XMask, YMask);
}

Integer StretchDIBits(HDC DC, Integer XDest, Integer YDest, Integer DestWidth, Integer DestHeight, Integer XSrc,
                      Integer YSrc, Integer SrcWidth, Integer SrcHeight, const void* Bits, const BITMAPINFO* Info,
                      UINT Usage, DWORD Rop) {
  TDCObj* dc = LookupDC(DC);
  if (!dc) return 0;
  TBlitSrc src;
  std::vector<RGBQUAD> colors;
  if (!DIBPixels(Info, Bits, Usage, dc, colors, src.Px)) return 0;
  // A bottom-up DIB counts source rows from its bottom row; a negative
  // height mirrors the same rows.
  Integer sy = YSrc;
  if (Info->bmiHeader.biHeight > 0) {
    const Integer a = SrcHeight < 0 ? -SrcHeight : SrcHeight;
    sy = SrcHeight >= 0 ? src.Px.Height - YSrc - a : src.Px.Height - 1 - YSrc;
  }
  Integer dx, dy, dw, dh;
  MapDest(dc, XDest, YDest, DestWidth, DestHeight, dx, dy, dw, dh);
  TTarget tg(dc);
  if (!Blit(tg, dx, dy, dw, dh, &src, XSrc, sy, SrcWidth, SrcHeight, Rop, nullptr, 0, 0)) return 0;
  return SrcHeight < 0 ? -SrcHeight : SrcHeight;
}

Integer SetDIBitsToDevice(HDC DC, Integer XDest, Integer YDest, DWORD Width, DWORD Height, Integer XSrc, Integer YSrc,
                          UINT StartScan, UINT Lines, const void* Bits, const BITMAPINFO* Info, UINT Usage) {
  if (!Info || !Bits || Lines == 0) return 0;
  const BITMAPINFOHEADER& h = Info->bmiHeader;
  const Integer total = h.biHeight < 0 ? -h.biHeight : h.biHeight;
  if (StartScan >= static_cast<UINT>(total)) return 0;
  Lines = std::min<UINT>(Lines, static_cast<UINT>(total) - StartScan);
  // The bits hold scan lines StartScan .. StartScan + Lines - 1 (counted from
  // the bottom for a bottom-up DIB): draw them as a DIB of Lines rows.
  std::vector<uint8_t> hdr(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD) + 12);
  const size_t tableBytes = h.biBitCount <= 8 ? (h.biClrUsed ? std::min<size_t>(h.biClrUsed, 256) : (size_t(1) << h.biBitCount)) *
                                                    (Usage == DIB_PAL_COLORS ? 2 : 4)
                                              : (h.biCompression == BI_BITFIELDS ? 12 : 0);
  std::memcpy(hdr.data(), Info, sizeof(BITMAPINFOHEADER));
  std::memcpy(hdr.data() + sizeof(BITMAPINFOHEADER), reinterpret_cast<const uint8_t*>(Info) + h.biSize,
              std::min(tableBytes, hdr.size() - sizeof(BITMAPINFOHEADER)));
  auto* bi = reinterpret_cast<BITMAPINFO*>(hdr.data());
  bi->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi->bmiHeader.biHeight = h.biHeight < 0 ? -static_cast<LONG>(Lines) : static_cast<LONG>(Lines);
  const Integer ys = YSrc - static_cast<Integer>(StartScan);
  return StretchDIBits(DC, XDest, YDest, static_cast<Integer>(Width), static_cast<Integer>(Height), XSrc, ys,
                       static_cast<Integer>(Width), static_cast<Integer>(Height), Bits, bi, Usage, SRCCOPY) > 0
             ? static_cast<Integer>(Lines)
             : 0;
}

Integer GetDIBits(HDC DC, HBITMAP Bitmap, UINT Start, UINT Lines, void* Bits, BITMAPINFO* Info, UINT Usage) {
  (void)Usage;
  auto b = LookupAs<TBitmapObj>(Bitmap, OBJ_BITMAP);
  if (!b || !Info || !LookupDC(DC)) return 0;
  BITMAPINFOHEADER& h = Info->bmiHeader;
  if (h.biSize < sizeof(BITMAPINFOHEADER)) return 0;
  RGBQUAD* table = reinterpret_cast<RGBQUAD*>(reinterpret_cast<uint8_t*>(Info) + h.biSize);
  TGdiPixels src = b->Pixels();
  if (h.biBitCount == 0) {
    h.biWidth = b->Width;
    h.biHeight = b->Height;
    h.biPlanes = 1;
    h.biBitCount = static_cast<WORD>(b->BitCount);
    h.biCompression = b->BitCount == 16 || b->BitCount == 32 ? b->Compression : BI_RGB;
    h.biSizeImage = static_cast<DWORD>(b->RowBytes * b->Height);
    return b->Height;
  }
  const Integer bc = h.biBitCount;
  if (bc != 1 && bc != 4 && bc != 8 && bc != 16 && bc != 24 && bc != 32) return 0;
  // The colour table of a palette layout: the bitmap's own when the depth
  // matches, else black and white or the default palette.
  std::vector<RGBQUAD> colors;
  if (bc <= 8) {
    const size_t n = size_t(1) << bc;
    if (static_cast<Integer>(b->Colors.size()) == static_cast<Integer>(n) && b->BitCount == bc) colors = b->Colors;
    else if (bc == 1) colors = {RGBQUAD{0, 0, 0, 0}, RGBQUAD{255, 255, 255, 0}};
    else {
      colors.assign(n, RGBQUAD{});
      const auto& pal = DefaultPalette()->Entries;
      for (size_t i = 0; i < n && i < pal.size(); ++i) colors[i] = RGBQUAD{pal[i].peBlue, pal[i].peGreen, pal[i].peRed, 0};
    }
    std::memcpy(table, colors.data(), n * sizeof(RGBQUAD));
    h.biClrUsed = 0;
  }
  const Integer height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
  const size_t row = (static_cast<size_t>(b->Width) * bc + 31) / 32 * 4;
  h.biWidth = b->Width;
  h.biSizeImage = static_cast<DWORD>(row * static_cast<size_t>(height));
  if (!Bits) return b->Height;
  if (!src.Row0 || height != b->Height) return 0;
  TGdiPixels dst;
  dst.Width = b->Width;
  dst.Height = height;
  dst.BitCount = bc;
  dst.Colors = colors.data();
  dst.ColorCount = static_cast<Integer>(colors.size());
  if (bc == 16 && h.biCompression == BI_BITFIELDS) {
    const DWORD* m = reinterpret_cast<const DWORD*>(table);
    dst.RedMask = m[0];
    dst.GreenMask = m[1];
    dst.BlueMask = m[2];
  }
  if (h.biHeight < 0) {
    dst.Row0 = static_cast<uint8_t*>(Bits);
    dst.Stride = static_cast<ptrdiff_t>(row);
  } else {
    dst.Row0 = static_cast<uint8_t*>(Bits) + row * static_cast<size_t>(height - 1);
    dst.Stride = -static_cast<ptrdiff_t>(row);
  }
  const bool raw = bc == b->BitCount && (bc > 8 || colors == b->Colors) && bc != 16;
  UINT done = 0;
  for (UINT line = Start; line < Start + Lines && line < static_cast<UINT>(height); ++line, ++done) {
    // Scan lines count from the bottom of the picture.
    const Integer y = height - 1 - static_cast<Integer>(line);
    for (Integer x = 0; x < b->Width; ++x) {
      const uint32_t v = ReadPixel(src, x, y);
      WritePixel(dst, x, y, raw ? v : ColorToPixel(dst, PixelToColor(src, v), nullptr));
    }
  }
  return static_cast<Integer>(done);
}

Integer SetDIBits(HDC DC, HBITMAP Bitmap, UINT Start, UINT Lines, const void* Bits, const BITMAPINFO* Info,
                  UINT Usage) {
  auto b = LookupAs<TBitmapObj>(Bitmap, OBJ_BITMAP);
  if (!b || !Bits || !Info) return 0;
  // A private memory DC over the bitmap; it may also be selected elsewhere.
  TDCObj tmp(TDCObj::dkMemory);
  ResetDCState(&tmp);
  --tmp.S.Bitmap->SelectCount;
  tmp.S.Bitmap = b;
  if (TDCObj* dc = LookupDC(DC)) tmp.S.Palette = dc->S.Palette;
  TBlitSrc src;
  std::vector<RGBQUAD> colors;
  if (!DIBPixels(Info, Bits, Usage, &tmp, colors, src.Px)) return 0;
  const Integer total = src.Px.Height;
  if (Start >= static_cast<UINT>(total)) return 0;
  Lines = std::min<UINT>(Lines, static_cast<UINT>(total) - Start);
  TTarget tg(&tmp);
  // Scan line k (from the bottom) of the DIB goes to row Height - 1 - k of the bitmap.
  const Integer firstRow = total - static_cast<Integer>(Start) - static_cast<Integer>(Lines);
  const Integer destTop = b->Height - static_cast<Integer>(Start) - static_cast<Integer>(Lines);
  Integer sy = Info->bmiHeader.biHeight > 0 ? firstRow : static_cast<Integer>(Start);
  Blit(tg, 0, destTop, src.Px.Width, static_cast<Integer>(Lines), &src, 0, sy, src.Px.Width,
       static_cast<Integer>(Lines), SRCCOPY, nullptr, 0, 0);
  tmp.S.Bitmap.reset();
  return static_cast<Integer>(Lines);
}

BOOL GradientFill(HDC DC, const TRIVERTEX* Vertices, ULONG VertexCount, const void* Mesh, ULONG MeshCount, ULONG Mode) {
  TDCObj* dc = LookupDC(DC);
  if (!dc || !Vertices || !Mesh) return FALSE;
  if (Mode != GRADIENT_FILL_RECT_H && Mode != GRADIENT_FILL_RECT_V) return FALSE;
  TTarget tg(dc);
  const auto* rects = static_cast<const GRADIENT_RECT*>(Mesh);
  for (ULONG k = 0; k < MeshCount; ++k) {
    if (rects[k].UpperLeft >= VertexCount || rects[k].LowerRight >= VertexCount) return FALSE;
    TRIVERTEX a = Vertices[rects[k].UpperLeft], b = Vertices[rects[k].LowerRight];
    // The colour runs from the vertex on the left (top) to the one on the right (bottom).
    if ((Mode == GRADIENT_FILL_RECT_H && a.x > b.x) || (Mode == GRADIENT_FILL_RECT_V && a.y > b.y)) std::swap(a, b);
    if (!tg.Valid()) continue;
    const TRect d = MapRect(dc, a.x, a.y, b.x, b.y);
    if (IsRectEmpty(d)) continue;
    const int64_t n = Mode == GRADIENT_FILL_RECT_H ? d.Width() : d.Height();
    auto at = [&](int64_t i) {
      auto ch = [&](WORD c1, WORD c2) { return static_cast<Byte>(((int64_t(c1) * (n - i) + int64_t(c2) * i) / n) >> 8); };
      return ColorToPixel(tg.Px, RGB(ch(a.Red, b.Red), ch(a.Green, b.Green), ch(a.Blue, b.Blue)), dc);
    };
    TPaintOp op;
    op.Rop2 = R2_COPYPEN;
    if (Mode == GRADIENT_FILL_RECT_V) {
      for (Integer y = d.Top; y < d.Bottom; ++y) {
        op.Fg = at(y - d.Top);
        tg.ClipSpan(y, d.Left, d.Right, [&](Integer yy, Integer x0, Integer x1) { PaintSpan(tg.Px, yy, x0, x1, op); });
      }
    } else {
      const TRect box = tg.ClipBox();
      const Integer c0 = std::max(d.Left, box.Left), c1 = std::min(d.Right, box.Right);
      if (c0 >= c1) continue;
      std::vector<uint32_t> row(static_cast<size_t>(c1 - c0));
      for (Integer x = c0; x < c1; ++x) row[static_cast<size_t>(x - c0)] = at(x - d.Left);
      for (Integer y = d.Top; y < d.Bottom; ++y)
        tg.ClipSpan(y, c0, c1, [&](Integer yy, Integer x0, Integer x1) {
          for (Integer x = x0; x < x1; ++x) WritePixel(tg.Px, x, yy, row[static_cast<size_t>(x - c0)]);
        });
    }
    tg.Touch(d);
  }
  return TRUE;
}
