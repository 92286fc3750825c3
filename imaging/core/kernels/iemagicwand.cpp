// Magic wand: scanline seed fill over a visited plane, and the outline traced
// around the region on a grid four times finer than the pixels, whose border
// cells are one cell apart only where the region's own pixels are.
#include "imaging/core/kernels/iemagicwand.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "imaging/core/kernels/iebitmapstats.h"

namespace {

inline bool Similar(const TRGB& A, const TRGB& B, Integer Tolerance) {
  return std::abs(A.r - B.r) <= Tolerance && std::abs(A.g - B.g) <= Tolerance && std::abs(A.b - B.b) <= Tolerance;
}

// Colour test of single pixels: the common byte formats straight from the
// row, the others through the container's conversion.
class TMatcher {
 public:
  TMatcher(TIEBitmap* B, Integer X, Integer Y, Integer Tolerance)
      : FB(B), FPF(B->PixelFormat()), FTolerance(Tolerance) {
    FSeed = Color(X, Y);
  }
  TRGB Color(Integer X, Integer Y) {
    const Byte* r;
    switch (FPF) {
      case ie24RGB:
        r = static_cast<const Byte*>(FB->GetScanline(Y)) + size_t(X) * 3;
        return TRGB{r[0], r[1], r[2]};
      case ie32RGB:
        r = static_cast<const Byte*>(FB->GetScanline(Y)) + size_t(X) * 4;
        return TRGB{r[0], r[1], r[2]};
      case ie8g:
        r = static_cast<const Byte*>(FB->GetScanline(Y)) + X;
        return TRGB{*r, *r, *r};
      default: {
        TRGB c;
        FB->GetPixelAsRGB(X, Y, c);
        return c;
      }
    }
  }
  bool Match(Integer X, Integer Y) { return Similar(Color(X, Y), FSeed, FTolerance); }
  const TRGB& Seed() const { return FSeed; }

 private:
  TIEBitmap* FB;
  TIEPixelFormat FPF;
  Integer FTolerance;
  TRGB FSeed{};
};

// The region of a seed fill: one bit per pixel (rows of width div 8 + 1
// bytes, most significant bit first) and its bounding box.
struct TRegion {
  Integer W = 0, H = 0;
  size_t RowBytes = 0;
  std::vector<Byte> Bits;
  Integer MinX = INT32_MAX, MinY = INT32_MAX, MaxX = -1, MaxY = -1;

  bool Empty() const { return MaxX < 0; }
  bool Get(Integer X, Integer Y) const { return (Bits[size_t(Y) * RowBytes + size_t(X >> 3)] & (0x80 >> (X & 7))) != 0; }
  // First column from X up to Last whose bit is Value (Last + 1 when none);
  // whole bytes without such a bit are skipped at once.
  Integer Next(Integer X, Integer Y, Integer Last, bool Value) const {
    const Byte* row = &Bits[size_t(Y) * RowBytes];
    const Byte skip = Value ? 0x00 : 0xFF;
    while (X <= Last) {
      if ((X & 7) == 0 && row[X >> 3] == skip) {
        X += 8;
        continue;
      }
      if (((row[X >> 3] & (0x80 >> (X & 7))) != 0) == Value) return X;
      ++X;
    }
    return Last + 1;
  }
  void Set(Integer X, Integer Y) {
    Bits[size_t(Y) * RowBytes + size_t(X >> 3)] |= Byte(0x80 >> (X & 7));
    MinX = std::min(MinX, X);
    MaxX = std::max(MaxX, X);
    MinY = std::min(MinY, Y);
    MaxY = std::max(MaxY, Y);
  }
};

// Scanline seed fill with a stack of segments (row, left, right, direction):
// a popped segment is explored on the row in its direction, runs continue in
// that direction, and the parts of a run beyond the segment's ends turn back.
// Segments whose next row lies outside the picture are never pushed.
void SeedFill(TIEBitmap* B, Integer X, Integer Y, Integer Tolerance, TRegion& R) {
  const Integer W = B->Width(), H = B->Height();
  R.W = W;
  R.H = H;
  R.RowBytes = size_t(W / 8 + 1);
  R.Bits.assign(R.RowBytes * size_t(H), 0);
  TIEAccessScope scope(B, ieaRead);
  TMatcher m(B, X, Y, Tolerance);
  struct TSegment {
    Integer Row, Left, Right, Dir;
  };
  std::vector<TSegment> stack;
  stack.reserve(size_t(W) * 2);
  const auto push = [&](Integer Row, Integer Left, Integer Right, Integer Dir) {
    const int64_t next = int64_t(Row) + Dir;
    if (next >= 0 && next < H) stack.push_back({Row, Left, Right, Dir});
  };
  const auto inside = [&](Integer PX, Integer PY) { return !R.Get(PX, PY) && m.Match(PX, PY); };

  push(Y, X, X, 1);
  push(Y + 1, X, X, -1);
  while (!stack.empty()) {
    const TSegment s = stack.back();
    stack.pop_back();
    const Integer y = s.Row + s.Dir, x1 = s.Left, x2 = s.Right, dir = s.Dir;
    Integer x = x1;
    while (x >= 0 && inside(x, y)) R.Set(x--, y);
    bool skip = x >= x1;
    Integer l = x + 1;
    if (!skip) {
      if (l < x1) push(y, l, x1 - 1, -dir);
      x = x1 + 1;
    }
    do {
      if (!skip) {
        while (x < W && inside(x, y)) R.Set(x++, y);
        push(y, l, x - 1, dir);
        if (x > x2 + 1) push(y, x2 + 1, x - 1, -dir);
      }
      skip = false;
      for (++x; x <= x2 && !inside(x, y); ++x) {
      }
      l = x;
    } while (x <= x2);
  }
}

// Draws a run into the mask and widens the mask's box by what landed in it.
void DrawRun(TIEMask* Mask, Integer Value, Integer A, Integer B, Integer Y) {
  if (Mask->DrawHorizontalLine(Value, A, B, Y) == 0 || Value == 0) return;
  const Integer a = std::max(A, 0), b = std::min(B, Mask->Width() - 1);
  Mask->X1 = std::min(Mask->X1, a);
  Mask->X2 = std::max(Mask->X2, b);
  Mask->Y1 = std::min(Mask->Y1, Y);
  Mask->Y2 = std::max(Mask->Y2, Y);
}

bool ValidSeed(TIEBitmap* B, Integer X, Integer Y) {
  return B && !B->IsEmpty() && X >= 0 && Y >= 0 && X < B->Width() && Y < B->Height();
}

}  // namespace

void IEMagicWandFill(TIEBitmap* Bitmap, Integer X, Integer Y, bool Dilate, Integer Tolerance, TIEMask* Mask,
                     Integer MaskValue) {
  if (!Mask || !ValidSeed(Bitmap, X, Y)) return;
  TRegion r;
  SeedFill(Bitmap, X, Y, Tolerance, r);
  if (r.Empty()) return;
  const Integer H = r.H, W = r.W;
  for (Integer y = r.MinY; y <= r.MaxY; ++y) {
    Integer x = r.MinX;
    for (;;) {
      const Integer a = r.Next(x, y, r.MaxX, true);
      if (a > r.MaxX) break;
      x = r.Next(a, y, r.MaxX, false);
      const Integer b = std::min(x, r.MaxX + 1) - 1;
      if (!Dilate) {
        DrawRun(Mask, MaskValue, a, b, y);
      } else {
        for (Integer yy = std::max(y - 1, 0); yy <= std::min(y + 1, H - 1); ++yy)
          DrawRun(Mask, MaskValue, std::max(a - 1, 0), std::min(b + 1, W - 1), yy);
      }
    }
  }
}

void IEMagicWandGlobal(TIEBitmap* Bitmap, Integer X, Integer Y, Integer Tolerance, TIEMask* Mask, Integer MaskValue) {
  if (!Mask || !ValidSeed(Bitmap, X, Y)) return;
  const Integer W = Bitmap->Width(), H = Bitmap->Height();
  TIEAccessScope scope(Bitmap, ieaRead);
  TRGB seed;
  Bitmap->GetPixelAsRGB(X, Y, seed);
  std::vector<TRGB> row(static_cast<size_t>(W));
  for (Integer y = 0; y < H; ++y) {
    IEGetRowAsRGB(Bitmap, y, row.data());
    Integer x = 0;
    while (x < W) {
      if (!Similar(row[size_t(x)], seed, Tolerance)) {
        ++x;
        continue;
      }
      const Integer a = x;
      while (x < W && Similar(row[size_t(x)], seed, Tolerance)) ++x;
      DrawRun(Mask, MaskValue, a, x - 1, y);
    }
  }
}

std::unique_ptr<TPoint[]> IEMagicWandOutline(TIEBitmap* Bitmap, Integer X, Integer Y, bool Dilate,
                                             Integer Tolerance, Integer& Count) {
  Count = 0;
  if (!ValidSeed(Bitmap, X, Y)) return nullptr;
  TRegion r;
  SeedFill(Bitmap, X, Y, Tolerance, r);
  if (r.Empty()) return nullptr;

  // The box of the region; grown by one pixel (within the picture) when
  // dilating, so that the outline encloses what IEMagicWandFill selects.
  Integer bx1 = r.MinX, by1 = r.MinY, bx2 = r.MaxX, by2 = r.MaxY;
  if (Dilate) {
    bx1 = std::max(bx1 - 1, 0);
    by1 = std::max(by1 - 1, 0);
    bx2 = std::min(bx2 + 1, r.W - 1);
    by2 = std::min(by2 + 1, r.H - 1);
  }
  const int64_t bw = int64_t(bx2) - bx1 + 1, bh = int64_t(by2) - by1 + 1;
  const int64_t gw = 4 * bw + 4, gh = 4 * bh + 4;
  if (gw * gh > IEMagicWandMaxOutlineCells) return nullptr;

  // The region inside its box, dilated there when asked.
  std::vector<Byte> plane(size_t(bw * bh), 0);
  for (int64_t y = 0; y < bh; ++y)
    for (int64_t x = 0; x < bw; ++x) {
      if (!r.Get(Integer(bx1 + x), Integer(by1 + y))) continue;
      if (!Dilate) {
        plane[size_t(y * bw + x)] = 1;
        continue;
      }
      for (int64_t yy = std::max<int64_t>(y - 1, 0); yy <= std::min<int64_t>(y + 1, bh - 1); ++yy)
        for (int64_t xx = std::max<int64_t>(x - 1, 0); xx <= std::min<int64_t>(x + 1, bw - 1); ++xx)
          plane[size_t(yy * bw + xx)] = 1;
    }
  r.Bits.clear();
  r.Bits.shrink_to_fit();
  const auto in = [&](int64_t x, int64_t y) {
    return x >= 0 && y >= 0 && x < bw && y < bh && plane[size_t(y * bw + x)] != 0;
  };

  // Grid: each region pixel is a 4x4 block of 1-cells from (4X + 2, 4Y + 2);
  // the cells just outside a block's side that borders no region pixel are
  // the border (3). These are exactly the cells before and after every run of
  // 1-cells along rows and columns.
  std::vector<Byte> g(size_t(gw * gh), 0);
  const auto cell = [&](int64_t cx, int64_t cy) -> Byte& { return g[size_t(cy * gw + cx)]; };
  for (int64_t y = 0; y < bh; ++y)
    for (int64_t x = 0; x < bw; ++x) {
      if (!in(x, y)) continue;
      const int64_t cx = 4 * x + 2, cy = 4 * y + 2;
      for (int64_t k = 0; k < 4; ++k) std::memset(&cell(cx, cy + k), 1, 4);
    }
  int64_t minCX = gw, minCY = gh;
  for (int64_t y = 0; y < bh; ++y)
    for (int64_t x = 0; x < bw; ++x) {
      if (!in(x, y)) continue;
      const int64_t cx = 4 * x + 2, cy = 4 * y + 2;
      if (!in(x - 1, y)) {
        for (int64_t k = 0; k < 4; ++k) cell(cx - 1, cy + k) = 3;
        minCX = std::min(minCX, cx - 1);
      }
      if (!in(x + 1, y))
        for (int64_t k = 0; k < 4; ++k) cell(cx + 4, cy + k) = 3;
      if (!in(x, y - 1)) {
        std::memset(&cell(cx, cy - 1), 3, 4);
        minCY = std::min(minCY, cy - 1);
      }
      if (!in(x, y + 1)) std::memset(&cell(cx, cy + 4), 3, 4);
    }
  plane.clear();
  plane.shrink_to_fit();

  // Start: the border cell nearest the top-left corner of the border's box,
  // the first in row order among equals.
  int64_t start = -1, best = INT64_MAX;
  for (int64_t cy = minCY; cy < gh && (cy - minCY) * (cy - minCY) <= best; ++cy)
    for (int64_t cx = minCX; cx < gw; ++cx) {
      if (cell(cx, cy) != 3) continue;
      const int64_t d = (cx - minCX) * (cx - minCX) + (cy - minCY) * (cy - minCY);
      if (d < best) {
        best = d;
        start = cy * gw + cx;
      }
    }
  if (start < 0) return nullptr;

  // Tracing: keep the current direction while it leads on along the border,
  // otherwise take the first direction 0..7 that does. The border never
  // touches the grid's edge, so neighbours are always inside.
  static constexpr Integer kDX[8] = {1, 0, -1, 0, 1, -1, -1, 1};
  static constexpr Integer kDY[8] = {0, -1, 0, 1, -1, -1, 1, 1};
  static constexpr Byte kCode[8] = {0, 2, 4, 6, 1, 3, 5, 7};
  // Step of chain code c: 0 east, then counter-clockwise in 45-degree steps.
  static constexpr Integer kCodeDX[8] = {1, 1, 0, -1, -1, -1, 0, 1};
  static constexpr Integer kCodeDY[8] = {0, -1, -1, -1, 0, 1, 1, 1};
  int64_t off[8];
  for (Integer d = 0; d < 8; ++d) off[d] = kDY[d] * gw + kDX[d];
  std::vector<Byte> codes;
  codes.reserve(8192);
  int64_t pos = start;
  g[size_t(pos)] = 2;
  Integer dir = 4;
  for (;;) {
    if (g[size_t(pos + off[dir])] != 3) {
      Integer d = 0;
      while (d < 8 && g[size_t(pos + off[d])] != 3) ++d;
      if (d == 8) break;
      dir = d;
    }
    pos += off[dir];
    g[size_t(pos)] = 2;
    codes.push_back(kCode[dir]);
  }
  for (Integer d = 0; d < 8; ++d)
    if (pos + off[d] == start) {
      codes.push_back(kCode[d]);
      break;
    }
  g.clear();
  g.shrink_to_fit();

  // Corners of the chain (where the code changes), scaled back to pixels.
  std::vector<TPoint> pts;
  int64_t px = start % gw + 4 * int64_t(bx1) - 1, py = start / gw + 4 * int64_t(by1) - 1;
  Integer prev = -1;
  for (const Byte c : codes) {
    if (c != prev) pts.emplace_back(Integer(px >> 2), Integer(py >> 2));
    px += kCodeDX[c];
    py += kCodeDY[c];
    prev = c;
  }
  if (pts.empty() || pts.size() > size_t(INT32_MAX)) return nullptr;
  Count = Integer(pts.size());
  std::unique_ptr<TPoint[]> result(new TPoint[pts.size()]);
  std::copy(pts.begin(), pts.end(), result.get());
  return result;
}
