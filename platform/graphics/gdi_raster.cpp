// Pixel values of every DIB layout, the binary raster operations over spans,
// brush patterns and coverage blending.
#include <algorithm>
#include <bit>
#include <cstring>

#include "platform/graphics/gdi_private.h"

namespace gdi {

const uint8_t HatchBits[6][8] = {
    {0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00, 0x00},  // HS_HORIZONTAL
    {0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08},  // HS_VERTICAL
    {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01},  // HS_FDIAGONAL: "\"
    {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80},  // HS_BDIAGONAL: "/"
    {0x08, 0x08, 0x08, 0xFF, 0x08, 0x08, 0x08, 0x08},  // HS_CROSS
    {0x81, 0x42, 0x24, 0x18, 0x18, 0x24, 0x42, 0x81},  // HS_DIAGCROSS
};

namespace {

struct TMask16 {
  uint32_t Mask[3];
  Integer Shift[3], Bits[3];
};

TMask16 Masks16(const TGdiPixels& Px) {
  TMask16 m;
  m.Mask[0] = Px.RedMask ? Px.RedMask : 0x7C00;
  m.Mask[1] = Px.GreenMask ? Px.GreenMask : 0x03E0;
  m.Mask[2] = Px.BlueMask ? Px.BlueMask : 0x001F;
  for (int i = 0; i < 3; ++i) {
    m.Shift[i] = m.Mask[i] ? std::countr_zero(m.Mask[i]) : 0;
    m.Bits[i] = std::popcount(m.Mask[i]);
  }
  return m;
}

uint32_t Pack(uint32_t C8, Integer Shift, Integer Bits) {
  if (Bits <= 0) return 0;
  uint32_t v = Bits <= 8 ? (C8 >> (8 - Bits)) : (C8 << (Bits - 8));
  return v << Shift;
}

inline Integer Mod(Integer A, Integer N) {
  Integer r = A % N;
  return r < 0 ? r + N : r;
}

}  // namespace

uint32_t PixelMask(Integer BitCount) {
  switch (BitCount) {
    case 1: return 0x1;
    case 4: return 0xF;
    case 8: return 0xFF;
    case 16: return 0xFFFF;
    case 24: return 0xFFFFFF;
  }
  return 0xFFFFFFFFu;
}

uint32_t NearestIndex(const RGBQUAD* Colors, Integer Count, COLORREF Color) {
  if (!Colors || Count <= 0) return 0;
  const Integer r = GetRValue(Color), g = GetGValue(Color), b = GetBValue(Color);
  Integer best = 0;
  int64_t bestD = INT64_MAX;
  for (Integer i = 0; i < Count; ++i) {
    const Integer dr = Colors[i].rgbRed - r, dg = Colors[i].rgbGreen - g, db = Colors[i].rgbBlue - b;
    const int64_t d = static_cast<int64_t>(dr) * dr + static_cast<int64_t>(dg) * dg + static_cast<int64_t>(db) * db;
    if (d < bestD) {
      bestD = d;
      best = i;
      if (d == 0) break;
    }
  }
  return static_cast<uint32_t>(best);
}

Byte MaskedSample(uint32_t Pixel, uint32_t Mask) {
  if (Mask == 0) return 0;
  const int shift = std::countr_zero(Mask);
  const int bits = std::bit_width(Mask >> shift);
  return WidenSample((Pixel & Mask) >> shift, bits);
}

uint32_t ColorToPixel(const TGdiPixels& Px, COLORREF Color, const TDCObj* DC) {
  if ((Color >> 24) == 1) {
    const uint32_t idx = Color & 0xFFFF;
    if (Px.BitCount <= 8 && Px.ColorCount > 0)
      return std::min<uint32_t>(idx, static_cast<uint32_t>(Px.ColorCount - 1));
    const auto pal = (DC && DC->S.Palette) ? DC->S.Palette : DefaultPalette();
    if (pal->Entries.empty()) Color = 0;
    else {
      const PALETTEENTRY& e = pal->Entries[std::min<size_t>(idx, pal->Entries.size() - 1)];
      Color = RGB(e.peRed, e.peGreen, e.peBlue);
    }
  }
  Color &= 0xFFFFFF;
  const uint32_t r = GetRValue(Color), g = GetGValue(Color), b = GetBValue(Color);
  switch (Px.BitCount) {
    case 24:
    case 32: return (r << 16) | (g << 8) | b;
    case 16: {
      TMask16 m = Masks16(Px);
      return Pack(r, m.Shift[0], m.Bits[0]) | Pack(g, m.Shift[1], m.Bits[1]) | Pack(b, m.Shift[2], m.Bits[2]);
    }
  }
  return NearestIndex(Px.Colors, Px.ColorCount, Color);
}

COLORREF PixelToColor(const TGdiPixels& Px, uint32_t Pixel) {
  switch (Px.BitCount) {
    case 24:
    case 32: return RGB(static_cast<Byte>(Pixel >> 16), static_cast<Byte>(Pixel >> 8), static_cast<Byte>(Pixel));
    case 16: {
      TMask16 m = Masks16(Px);
      // The masks' positions and widths are already known: no need to find them again per pixel.
      auto chan = [&](int i) { return WidenSample((Pixel & m.Mask[i]) >> m.Shift[i], m.Bits[i]); };
      return RGB(chan(0), chan(1), chan(2));
    }
  }
  if (!Px.Colors || Px.ColorCount <= 0) return 0;
  const RGBQUAD& q = Px.Colors[std::min<uint32_t>(Pixel, static_cast<uint32_t>(Px.ColorCount - 1))];
  return RGB(q.rgbRed, q.rgbGreen, q.rgbBlue);
}

uint32_t ReadPixel(const TGdiPixels& Px, Integer X, Integer Y) {
  const uint8_t* row = Px.Row(Y);
  switch (Px.BitCount) {
    case 1: return (row[X >> 3] >> (7 - (X & 7))) & 1u;
    case 4: return (X & 1) ? (row[X >> 1] & 0xFu) : (row[X >> 1] >> 4);
    case 8: return row[X];
    case 16: {
      uint16_t v;
      std::memcpy(&v, row + 2 * static_cast<ptrdiff_t>(X), 2);
      return v;
    }
    case 24: {
      const uint8_t* p = row + 3 * static_cast<ptrdiff_t>(X);
      return p[0] | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16);
    }
    case 32: {
      uint32_t v;
      std::memcpy(&v, row + 4 * static_cast<ptrdiff_t>(X), 4);
      return v;
    }
  }
  return 0;
}

void WritePixel(const TGdiPixels& Px, Integer X, Integer Y, uint32_t V) {
  uint8_t* row = Px.Row(Y);
  switch (Px.BitCount) {
    case 1: {
      uint8_t bit = static_cast<uint8_t>(0x80u >> (X & 7));
      if (V & 1) row[X >> 3] |= bit;
      else row[X >> 3] &= static_cast<uint8_t>(~bit);
      return;
    }
    case 4: {
      uint8_t& b = row[X >> 1];
      if (X & 1) b = static_cast<uint8_t>((b & 0xF0) | (V & 0xF));
      else b = static_cast<uint8_t>((b & 0x0F) | ((V & 0xF) << 4));
      return;
    }
    case 8: row[X] = static_cast<uint8_t>(V); return;
    case 16: {
      uint16_t v = static_cast<uint16_t>(V);
      std::memcpy(row + 2 * static_cast<ptrdiff_t>(X), &v, 2);
      return;
    }
    case 24: {
      uint8_t* p = row + 3 * static_cast<ptrdiff_t>(X);
      p[0] = static_cast<uint8_t>(V);
      p[1] = static_cast<uint8_t>(V >> 8);
      p[2] = static_cast<uint8_t>(V >> 16);
      return;
    }
    case 32: std::memcpy(row + 4 * static_cast<ptrdiff_t>(X), &V, 4); return;
  }
}

void PaintSpan(const TGdiPixels& Px, Integer Y, Integer X0, Integer X1, const TPaintOp& Op) {
  if (X1 <= X0 || Op.Rop2 == R2_NOP) return;
  const uint32_t mask = PixelMask(Px.BitCount);
  uint8_t* row = Px.Row(Y);
  if (!Op.Pat) {
    const uint32_t fg = Op.Fg & mask;
    if (Op.Rop2 == R2_COPYPEN || Op.Rop2 == R2_BLACK || Op.Rop2 == R2_WHITE || Op.Rop2 == R2_NOTCOPYPEN) {
      const uint32_t v = Rop2(Op.Rop2, fg, 0) & mask;
      switch (Px.BitCount) {
        case 8: std::memset(row + X0, static_cast<int>(v), static_cast<size_t>(X1 - X0)); return;
        case 24: {
          uint8_t* p = row + 3 * static_cast<ptrdiff_t>(X0);
          const uint8_t b0 = static_cast<uint8_t>(v), b1 = static_cast<uint8_t>(v >> 8), b2 = static_cast<uint8_t>(v >> 16);
          for (Integer x = X0; x < X1; ++x, p += 3) {
            p[0] = b0;
            p[1] = b1;
            p[2] = b2;
          }
          return;
        }
        case 32: {
          uint8_t* p = row + 4 * static_cast<ptrdiff_t>(X0);
          for (Integer x = X0; x < X1; ++x, p += 4) std::memcpy(p, &v, 4);
          return;
        }
      }
      for (Integer x = X0; x < X1; ++x) WritePixel(Px, x, Y, v);
      return;
    }
    if (Px.BitCount == 24) {
      uint8_t* p = row + 3 * static_cast<ptrdiff_t>(X0);
      for (Integer x = X0; x < X1; ++x, p += 3) {
        const uint32_t d = p[0] | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16);
        const uint32_t r = Rop2(Op.Rop2, fg, d);
        p[0] = static_cast<uint8_t>(r);
        p[1] = static_cast<uint8_t>(r >> 8);
        p[2] = static_cast<uint8_t>(r >> 16);
      }
      return;
    }
    for (Integer x = X0; x < X1; ++x) WritePixel(Px, x, Y, Rop2(Op.Rop2, fg, ReadPixel(Px, x, Y)) & mask);
    return;
  }
  const TPattern& pat = *Op.Pat;
  const Integer py = Mod(Y - Op.OrgY, pat.H);
  const uint32_t* prow = pat.Pix.data() + static_cast<size_t>(py) * pat.W;
  const uint8_t* srow = pat.AnySkip ? pat.Skip.data() + static_cast<size_t>(py) * pat.W : nullptr;
  Integer px = Mod(X0 - Op.OrgX, pat.W);
  for (Integer x = X0; x < X1; ++x) {
    if (!srow || !srow[px]) {
      const uint32_t p = prow[px] & mask;
      const uint32_t v = Op.Rop2 == R2_COPYPEN ? p : Rop2(Op.Rop2, p, ReadPixel(Px, x, Y));
      WritePixel(Px, x, Y, v & mask);
    }
    if (++px == pat.W) px = 0;
  }
}

void PaintRegion(TTarget& Tg, const TRegion& R, const TPaintOp& Op) {
  if (R.Empty()) return;
  const TRect box = Tg.ClipBox();
  for (const TBand& b : R.Bands) {
    if (b.Bottom <= box.Top) continue;
    if (b.Top >= box.Bottom) break;
    const Integer y0 = std::max(b.Top, box.Top), y1 = std::min(b.Bottom, box.Bottom);
    for (Integer y = y0; y < y1; ++y)
      for (size_t i = 0; i + 1 < b.X.size(); i += 2)
        Tg.ClipSpan(y, b.X[i], b.X[i + 1],
                    [&](Integer yy, Integer a, Integer c) { PaintSpan(Tg.Px, yy, a, c, Op); });
  }
  Tg.Touch(R.Box());
}

bool BrushOp(TTarget& Tg, const TBrushObj* Brush, TPaintOp& Op, TPattern& Storage) {
  if (!Brush || Brush->Style == BS_NULL) return false;
  const TDCObj* dc = Tg.DC;
  Op.Rop2 = dc->S.Rop2;
  Op.Pat = nullptr;
  Op.OrgX = dc->S.BrushOrg.X;
  Op.OrgY = dc->S.BrushOrg.Y;
  if (Brush->Style == BS_SOLID) {
    Op.Fg = ColorToPixel(Tg.Px, Brush->Color, dc);
    return true;
  }
  if (Brush->Style == BS_HATCHED) {
    const Integer h = std::clamp(Brush->Hatch, 0, 5);
    const uint32_t fg = ColorToPixel(Tg.Px, Brush->Color, dc);
    const uint32_t bg = ColorToPixel(Tg.Px, dc->S.BkColor, dc);
    const bool opaque = dc->S.BkMode == OPAQUE;
    Storage.W = Storage.H = 8;
    Storage.Pix.assign(64, 0);
    Storage.Skip.assign(64, 0);
    Storage.AnySkip = !opaque;
    for (Integer y = 0; y < 8; ++y)
      for (Integer x = 0; x < 8; ++x) {
        const bool on = (HatchBits[h][y] >> (7 - x)) & 1;
        Storage.Pix[y * 8 + x] = on ? fg : bg;
        Storage.Skip[y * 8 + x] = (!on && !opaque) ? 1 : 0;
      }
    Op.Pat = &Storage;
    return true;
  }
  if (Brush->Style == BS_PATTERN && Brush->Pattern) {
    TBitmapObj& pb = *Brush->Pattern;
    TGdiPixels src = pb.Pixels();
    Storage.W = pb.Width;
    Storage.H = pb.Height;
    Storage.Pix.resize(static_cast<size_t>(pb.Width) * pb.Height);
    Storage.AnySkip = false;
    const bool mono = pb.BitCount == 1 && !pb.IsDIB;
    const uint32_t c0 = mono ? ColorToPixel(Tg.Px, dc->S.TextColor, dc) : 0;
    const uint32_t c1 = mono ? ColorToPixel(Tg.Px, dc->S.BkColor, dc) : 0;
    for (Integer y = 0; y < pb.Height; ++y)
      for (Integer x = 0; x < pb.Width; ++x) {
        const uint32_t v = ReadPixel(src, x, y);
        Storage.Pix[static_cast<size_t>(y) * pb.Width + x] =
            mono ? (v ? c1 : c0) : ColorToPixel(Tg.Px, PixelToColor(src, v), dc);
      }
    Op.Pat = &Storage;
    return true;
  }
  return false;
}

void BlendMask(TTarget& Tg, Integer X, Integer Y, Integer Width, Integer Height, const uint8_t* Alpha,
               COLORREF Color) {
  const TGdiPixels& px = Tg.Px;
  const uint32_t full = ColorToPixel(px, Color, Tg.DC);
  const COLORREF c = (Color >> 24) == 1 ? PixelToColor(px, full) : (Color & 0xFFFFFF);
  const Integer sr = GetRValue(c), sg = GetGValue(c), sb = GetBValue(c);
  auto mix = [](Integer s, Integer d, Integer a) { return static_cast<Byte>((s * a + d * (255 - a) + 127) / 255); };
  for (Integer j = 0; j < Height; ++j) {
    const uint8_t* arow = Alpha + static_cast<size_t>(j) * Width;
    Tg.ClipSpan(Y + j, X, X + Width, [&](Integer y, Integer x0, Integer x1) {
      for (Integer x = x0; x < x1; ++x) {
        const Integer a = arow[x - X];
        if (a == 0) continue;
        if (a == 255) {
          WritePixel(px, x, y, full);
          continue;
        }
        const COLORREF d = PixelToColor(px, ReadPixel(px, x, y));
        const COLORREF m = RGB(mix(sr, GetRValue(d), a), mix(sg, GetGValue(d), a), mix(sb, GetBValue(d), a));
        WritePixel(px, x, y, ColorToPixel(px, m, Tg.DC));
      }
    });
  }
  Tg.Touch(Bounds(X, Y, Width, Height));
}

}  // namespace gdi
