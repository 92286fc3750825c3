// Single-pixel access, fills, rectangle moves, canvas resizing and the
// whole-picture tests of the picture container.
#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/color/iecolorformat.h"
#include "platform/graphics/colors.h"

namespace {

inline Byte* At(TIEBitmap& B, Integer x, Integer y, Integer Size) {
  return static_cast<Byte*>(B.GetScanline(y)) + static_cast<ptrdiff_t>(x) * Size;
}

// A colour value with system colours resolved, as a triple.
TRGB ColorTriple(int64_t v) {
  uint32_t c = static_cast<uint32_t>(ColorToRGB(static_cast<TColor>(static_cast<uint32_t>(v))));
  return TRGB{Byte(c >> 16), Byte(c >> 8), Byte(c)};
}

inline bool IsWhite(const TRGB& c) { return c.r == 255 && c.g == 255 && c.b == 255; }

inline Byte FloatToByte(float v) {
  // Samples outside 0..1 are clamped and NaN is black.
  double u = v > 0.0f ? (v < 1.0f ? double(v) : 1.0) : 0.0;
  return static_cast<Byte>(static_cast<int>(u * 255.0));
}

// What Fill and FillRect write for one value: the bytes of one pixel (a
// whole byte for ie1g), the Full flag that Fill gives (from the value), and
// whether the bytes written are the format's maximum.
struct TFillPixel {
  Byte Bytes[8] = {};
  Integer Size = 0;
  bool Max = false;
  bool WrittenMax = false;
};

TFillPixel FillPixelOf(TIEPixelFormat PF, double Value) {
  TFillPixel p;
  const int64_t v = Trunc(Value);
  const TRGB colour = ColorTriple(v);
  switch (PF) {
    case ie1g:
      p.Bytes[0] = v != 0 ? 255 : 0;
      p.Size = 1;
      p.Max = v != 0;
      break;
    case ie8p:
    case ie8g:
      p.Bytes[0] = Byte(v);
      p.Size = 1;
      p.Max = v == 255;
      p.WrittenMax = p.Bytes[0] == 255;
      break;
    case ie16g: {
      Word w = Word(v);
      std::memcpy(p.Bytes, &w, 2);
      p.Size = 2;
      p.Max = v == 65535;
      p.WrittenMax = w == 65535;
      break;
    }
    case ie24RGB:
    case ie32RGB:
      p.Bytes[0] = colour.b;
      p.Bytes[1] = colour.g;
      p.Bytes[2] = colour.r;
      p.Size = PF == ie24RGB ? 3 : 4;
      p.Max = IsWhite(colour);
      break;
    case ie32f: {
      float f = static_cast<float>(Value);
      std::memcpy(p.Bytes, &f, 4);
      p.Size = 4;
      p.Max = Value == 1.0;
      p.WrittenMax = f >= 1.0f;
      break;
    }
    case ieCMYK: {
      TCMYK k = IEConvertRGBToCMYK(colour);
      std::memcpy(p.Bytes, &k, 4);
      p.Size = 4;
      p.Max = IsWhite(colour);
      break;
    }
    case ieRGB48: {
      TRGB48 w{Word(colour.r * 257), Word(colour.g * 257), Word(colour.b * 257)};
      std::memcpy(p.Bytes, &w, 6);
      p.Size = 6;
      p.Max = IsWhite(colour);
      break;
    }
    case ieCIELab: {
      TCIELab l = IERGBToCIELab(colour);
      std::memcpy(p.Bytes, &l, 3);
      p.Size = 3;
      p.Max = IsWhite(colour);
      break;
    }
    default:
      break;
  }
  if (PF != ie8p && PF != ie8g && PF != ie16g && PF != ie32f) p.WrittenMax = p.Max;
  return p;
}

// Columns X1..X2 of one row; ie32RGB keeps the fourth byte of each pixel.
void FillRowSpan(Byte* row, TIEPixelFormat PF, const TFillPixel& p, Integer X1, Integer X2) {
  if (PF == ie1g) {
    for (Integer x = X1; x <= X2; ++x) {
      Byte m = Byte(0x80 >> (x & 7));
      if (p.Max) row[x >> 3] |= m;
      else row[x >> 3] &= Byte(~m);
    }
    return;
  }
  if (p.Size == 1) {
    std::memset(row + X1, p.Bytes[0], size_t(X2 - X1 + 1));
    return;
  }
  const Integer copy = PF == ie32RGB ? 3 : p.Size;
  Byte* d = row + static_cast<ptrdiff_t>(X1) * p.Size;
  for (Integer x = X1; x <= X2; ++x, d += p.Size) std::memcpy(d, p.Bytes, size_t(copy));
}

inline size_t PixelBytes(TIEBitmap& B) { return (size_t(B.Width()) * size_t(B.BitCount()) + 7) / 8; }

}  // namespace

// ---------------------------------------------------------------------------
// Single pixels

Byte TIEBitmap::GetPixelByte(Integer x, Integer y) { return *At(*this, x, y, 1); }

void TIEBitmap::SetPixelByte(Integer x, Integer y, Byte v) {
  *At(*this, x, y, 1) = v;
  if (v != 255) FFull = false;
}

Word TIEBitmap::GetPixelWord(Integer x, Integer y) {
  Word v;
  std::memcpy(&v, At(*this, x, y, 2), 2);
  return v;
}

void TIEBitmap::SetPixelWord(Integer x, Integer y, Word v) {
  std::memcpy(At(*this, x, y, 2), &v, 2);
  if (v != 65535) FFull = false;
}

Single TIEBitmap::GetPixelFloat(Integer x, Integer y) {
  Single v;
  std::memcpy(&v, At(*this, x, y, 4), 4);
  return v;
}

void TIEBitmap::SetPixelFloat(Integer x, Integer y, Single v) {
  std::memcpy(At(*this, x, y, 4), &v, 4);
  if (!(v >= 1.0f)) FFull = false;
}

Cardinal TIEBitmap::GetPixelDWord(Integer x, Integer y) {
  Cardinal v;
  std::memcpy(&v, At(*this, x, y, 4), 4);
  return v;
}

void TIEBitmap::SetPixelDWord(Integer x, Integer y, Cardinal v) { std::memcpy(At(*this, x, y, 4), &v, 4); }

TRGB TIEBitmap::GetPixelTriple(Integer x, Integer y) {
  TRGB v;
  std::memcpy(&v, At(*this, x, y, 3), 3);
  return v;
}

void TIEBitmap::SetPixelTriple(Integer x, Integer y, const TRGB& v) { std::memcpy(At(*this, x, y, 3), &v, 3); }

void TIEBitmap::GetPixelRGB(Integer x, Integer y, TRGB& Color) { std::memcpy(&Color, At(*this, x, y, 3), 3); }

TRGB* TIEBitmap::GetPixelRGBAddress(Integer x, Integer y) { return reinterpret_cast<TRGB*>(At(*this, x, y, 3)); }

void TIEBitmap::SetPixelRGB(Integer x, Integer y, const TRGB& Color) {
  std::memcpy(At(*this, x, y, 3), &Color, 3);
  if (!IsWhite(Color)) FFull = false;
}

void TIEBitmap::GetPixelRGB48(Integer x, Integer y, TRGB48& Color) { std::memcpy(&Color, At(*this, x, y, 6), 6); }

void TIEBitmap::SetPixelRGB48(Integer x, Integer y, const TRGB48& Color) {
  std::memcpy(At(*this, x, y, 6), &Color, 6);
  if (Color.r != 65535 || Color.g != 65535 || Color.b != 65535) FFull = false;
}

void TIEBitmap::GetPixelAsRGB(Integer x, Integer y, TRGB& Color) {
  switch (FPixelFormat) {
    case ie1g: {
      Byte v = (*At(*this, x >> 3, y, 1) & (0x80 >> (x & 7))) ? 255 : 0;
      Color = TRGB{v, v, v};
      return;
    }
    case ie8p: {
      Byte i = GetPixelByte(x, y);
      Color = i < FPaletteLength ? FPalette[i] : TRGB{0, 0, 0};
      return;
    }
    case ie8g: {
      Byte v = GetPixelByte(x, y);
      Color = TRGB{v, v, v};
      return;
    }
    case ie16g: {
      Byte v = Byte(GetPixelWord(x, y) >> 8);
      Color = TRGB{v, v, v};
      return;
    }
    case ie24RGB:
      GetPixelRGB(x, y, Color);
      return;
    case ie32f: {
      Byte v = FloatToByte(GetPixelFloat(x, y));
      Color = TRGB{v, v, v};
      return;
    }
    case ieCMYK: {
      const Byte* p = At(*this, x, y, 4);
      IEConvertCMYKToRGB(TCMYK{p[0], p[1], p[2], p[3]}, Color);
      return;
    }
    case ieRGB48: {
      TRGB48 w;
      GetPixelRGB48(x, y, w);
      Color = TRGB{Byte(w.b >> 8), Byte(w.g >> 8), Byte(w.r >> 8)};
      return;
    }
    case ieCIELab: {
      const Byte* p = At(*this, x, y, 3);
      Color = IECIELabToRGB(TCIELab{p[0], static_cast<int8_t>(p[1]), static_cast<int8_t>(p[2])});
      return;
    }
    case ie32RGB:
      std::memcpy(&Color, At(*this, x, y, 4), 3);
      return;
    default:
      Color = TRGB{0, 0, 0};
      return;
  }
}

Byte TIEBitmap::GetAlpha(Integer x, Integer y) {
  if (FIsAlphaChannel) return GetPixelByte(x, y);
  return GetAlphaChannel()->GetPixelByte(x, y);
}

void TIEBitmap::SetAlpha(Integer x, Integer y, Byte v) {
  if (FIsAlphaChannel) {
    SetPixelByte(x, y, v);
    return;
  }
  GetAlphaChannel()->SetPixelByte(x, y, v);
  if (v != 255) FFull = false;
}

// ---------------------------------------------------------------------------
// Fills and moves

void TIEBitmap::Fill(double Value) {
  if (IsEmpty()) return;
  const TFillPixel p = FillPixelOf(FPixelFormat, Value);
  if (p.Size == 0) return;
  // Whole rows are written, so a file-backed picture need not read them in;
  // ie32RGB keeps each pixel's fourth byte and must read it.
  TIEAccessScope scope(*this, FPixelFormat == ie32RGB ? TIEBitmapAccess(ieaRead | ieaWrite) : ieaWrite);
  if (p.Size == 1) {
    // ie1g, ie8p and ie8g: padding included.
    for (Integer y = 0; y < FHeight; ++y) std::memset(GetScanline(y), p.Bytes[0], size_t(FRowLen));
  } else if (FPixelFormat == ie32RGB) {
    for (Integer y = 0; y < FHeight; ++y) FillRowSpan(static_cast<Byte*>(GetScanline(y)), FPixelFormat, p, 0, FWidth - 1);
  } else {
    // One row prepared and copied into every row.
    std::vector<Byte> row(size_t(FRowLen), 0);
    FillRowSpan(row.data(), FPixelFormat, p, 0, FWidth - 1);
    for (Integer y = 0; y < FHeight; ++y) std::memcpy(GetScanline(y), row.data(), row.size());
  }
  FFull = p.Max;
}

void TIEBitmap::FillRect(Integer X1, Integer Y1, Integer X2, Integer Y2, double Value) {
  if (IsEmpty()) return;
  X1 = std::max(X1, 0);
  Y1 = std::max(Y1, 0);
  X2 = std::min(X2, FWidth - 1);
  Y2 = std::min(Y2, FHeight - 1);
  if (X2 < X1 || Y2 < Y1) return;
  const TFillPixel p = FillPixelOf(FPixelFormat, Value);
  if (p.Size == 0) return;
  for (Integer y = Y1; y <= Y2; ++y) FillRowSpan(static_cast<Byte*>(GetScanline(y)), FPixelFormat, p, X1, X2);
  // Renderers skip the alpha of a Full picture: a rectangle below the
  // maximum must not leave the flag claiming otherwise.
  if (!p.WrittenMax) FFull = false;
}

void TIEBitmap::MoveRect(Integer X1, Integer Y1, Integer X2, Integer Y2, Integer DestX, Integer DestY, double Fill) {
  if (IsEmpty()) return;
  // Only the part inside the picture has pixels to move; clipping first
  // also keeps the temporary picture no larger than this one.
  int64_t dx = DestX, dy = DestY;
  int64_t x1 = X1, y1 = Y1, x2 = std::min<int64_t>(X2, FWidth - 1), y2 = std::min<int64_t>(Y2, FHeight - 1);
  if (x1 < 0) {
    dx -= x1;
    x1 = 0;
  }
  if (y1 < 0) {
    dy -= y1;
    y1 = 0;
  }
  if (x2 < x1 || y2 < y1) return;
  const Integer w = Integer(x2 - x1 + 1), h = Integer(y2 - y1 + 1);
  TIEBitmap tmp;
  if (!tmp.Allocate(w, h, FPixelFormat)) return;
  CopyRectTo(&tmp, Integer(x1), Integer(y1), 0, 0, w, h);
  FillRect(Integer(x1), Integer(y1), Integer(x2), Integer(y2), Fill);
  // Past these limits nothing of the rectangle lands on the picture (and
  // within them the destination fits in 32 bits).
  if (dx >= FWidth || dy >= FHeight || dx + w <= 0 || dy + h <= 0) return;
  tmp.CopyRectTo(this, 0, 0, Integer(dx), Integer(dy), w, h);
}

void TIEBitmap::ResizeCanvas(Integer NewWidth, Integer NewHeight, double Background, Integer AlphaValue,
                             Integer HorizAlign, Integer VertAlign) {
  if (IsEmpty() || NewWidth <= 0 || NewHeight <= 0) return;
  const Integer W = FWidth, H = FHeight;
  TIEBitmap* alpha = FAlphaChannel;
  const double alphaFill = AlphaValue;
  auto moveBoth = [&](Integer x1, Integer y1, Integer x2, Integer y2, Integer dx, Integer dy) {
    MoveRect(x1, y1, x2, y2, dx, dy, Background);
    if (alpha) alpha->MoveRect(x1, y1, x2, y2, dx, dy, alphaFill);
  };
  auto fillBoth = [&](Integer x1, Integer y1, Integer x2, Integer y2) {
    FillRect(x1, y1, x2, y2, Background);
    if (alpha) alpha->FillRect(x1, y1, x2, y2, alphaFill);
  };

  // Shrinking: the part to keep goes to the top-left corner first.
  if (NewWidth < W) {
    if (HorizAlign == 1) moveBoth((W - NewWidth) / 2, 0, (W - NewWidth) / 2 + NewWidth - 1, H - 1, 0, 0);
    else if (HorizAlign == 2) moveBoth(W - NewWidth, 0, W - 1, H - 1, 0, 0);
  }
  if (NewHeight < H) {
    if (VertAlign == 1) moveBoth(0, (H - NewHeight) / 2, W - 1, (H - NewHeight) / 2 + NewHeight - 1, 0, 0);
    else if (VertAlign == 2) moveBoth(0, H - NewHeight, W - 1, H - 1, 0, 0);
  }

  SetWidth(NewWidth);
  SetHeight(NewHeight);
  if (IsEmpty()) return;
  alpha = FAlphaChannel;

  // Growing: new area filled, then the old picture moved into place.
  if (W < NewWidth) {
    fillBoth(W, 0, NewWidth - 1, NewHeight - 1);
    const Integer rows = std::min(H, NewHeight);
    if (HorizAlign == 1) moveBoth(0, 0, W - 1, rows - 1, (NewWidth - W) / 2, 0);
    else if (HorizAlign == 2) moveBoth(0, 0, W - 1, rows - 1, NewWidth - W, 0);
  }
  if (H < NewHeight) {
    fillBoth(0, H, NewWidth - 1, NewHeight - 1);
    if (VertAlign == 1) moveBoth(0, 0, NewWidth - 1, H - 1, 0, (NewHeight - H) / 2);
    else if (VertAlign == 2) moveBoth(0, 0, NewWidth - 1, H - 1, 0, NewHeight - H);
  }
}

// ---------------------------------------------------------------------------
// Whole-picture tests

void TIEBitmap::SyncFull() {
  if (IsEmpty()) {
    FFull = false;
    return;
  }
  TIEAccessScope scope(*this, ieaRead);
  const size_t n = PixelBytes(*this);
  for (Integer y = 0; y < FHeight; ++y) {
    const Byte* r = static_cast<const Byte*>(GetScanline(y));
    for (size_t i = 0; i < n; ++i)
      if (r[i] != 255) {
        FFull = false;
        return;
      }
  }
  FFull = true;
}

bool TIEBitmap::IsAllZero() {
  if (IsEmpty()) return true;
  TIEAccessScope scope(*this, ieaRead);
  const size_t n = PixelBytes(*this);
  for (Integer y = 0; y < FHeight; ++y) {
    const Byte* r = static_cast<const Byte*>(GetScanline(y));
    for (size_t i = 0; i < n; ++i)
      if (r[i] != 0) return false;
  }
  return true;
}

bool TIEBitmap::IsGrayScale() {
  switch (FPixelFormat) {
    case ie8p:
      for (Integer i = 0; i < FPaletteLength; ++i)
        if (FPalette[i].r != FPalette[i].g || FPalette[i].g != FPalette[i].b) return false;
      return true;
    case ie24RGB:
    case ie32RGB:
    case ieRGB48: {
      if (IsEmpty()) return true;
      TIEAccessScope scope(*this, ieaRead);
      for (Integer y = 0; y < FHeight; ++y) {
        const Byte* r = static_cast<const Byte*>(GetScanline(y));
        if (FPixelFormat == ieRGB48) {
          for (Integer x = 0; x < FWidth; ++x, r += 6)
            if (std::memcmp(r, r + 2, 2) != 0 || std::memcmp(r + 2, r + 4, 2) != 0) return false;
        } else {
          const Integer step = FPixelFormat == ie24RGB ? 3 : 4;
          for (Integer x = 0; x < FWidth; ++x, r += step)
            if (r[0] != r[1] || r[1] != r[2]) return false;
        }
      }
      return true;
    }
    default:
      return true;
  }
}
