// Transition effects that reveal the end picture through a clipping region
// of many rectangles or small shapes: bars, shreds, specks, blinds, grids of
// growing rectangles, triangles, circles and diamonds, and random big
// boxes. Where a band is split around the middle, the second part takes
// the odd pixel, so that the full extent covers odd frames as well.
#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/proc/ietrans_procs.h"
#include "imaging/proc/ietrans_region.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/gdi.h"
#include "platform/graphics/gdi_rgndata.h"

// ---------------------------------------------------------------------------
// The rectangle-list builder

namespace ietrans_bands {
namespace {
constexpr Integer kGrowBy = 500;
constexpr size_t kHeaderSize = sizeof(RGNDATAHEADER);
}  // namespace
}  // namespace ietrans_bands

void TComplexRegion::Clear() {
  FData.clear();
  FData.shrink_to_fit();
  FCount = FCapacity = 0;
  FBounds = TRect(2147483647, 2147483647, -2147483647, -2147483647);
}

void TComplexRegion::AddRect(Integer Left, Integer Top, Integer Right, Integer Bottom) {
  using namespace ietrans_bands;
  if (FCount == FCapacity) {
    FCapacity += kGrowBy;
    FData.resize(static_cast<size_t>(FCapacity) * 16 + 36);
  }
  const TRect r(Left, Top, Right, Bottom);
  std::memcpy(FData.data() + kHeaderSize + static_cast<size_t>(FCount) * 16, &r, 16);
  ++FCount;
  FBounds.Left = std::min(FBounds.Left, Left);
  FBounds.Top = std::min(FBounds.Top, Top);
  FBounds.Right = std::max(FBounds.Right, Right);
  FBounds.Bottom = std::max(FBounds.Bottom, Bottom);
}

HRGN TComplexRegion::CreateRegion() {
  using namespace ietrans_bands;
  if (FData.empty()) return nullptr;
  RGNDATAHEADER h{};
  h.dwSize = sizeof(RGNDATAHEADER);
  h.iType = RDH_RECTANGLES;
  h.nCount = static_cast<DWORD>(FCount);
  h.nRgnSize = 16;
  h.rcBound = FBounds;
  std::memcpy(FData.data(), &h, sizeof h);
  return ExtCreateRegion(nullptr, static_cast<DWORD>(kHeaderSize + static_cast<size_t>(FCount) * 16),
                         reinterpret_cast<const RGNDATA*>(FData.data()));
}

// ---------------------------------------------------------------------------
// Band builders

HRGN BarsRegion(Integer X, Integer Y, Integer W, Integer H, Integer HMode, Integer VMode) {
  TComplexRegion c;
  const Integer e = std::min(W, H) / 50 + 1;
  // With an extent of twice the progress, even bands cross the frame in the
  // first half and odd bands in the second.
  for (Integer f = W < X ? e : 0; f < H + e; f += 2 * e) {
    if (W < X) {
      if (HMode == 1 || HMode == 4) c.AddRect(2 * W - X, f, W, f + e);
      if (HMode == 2 || HMode == 5) c.AddRect(0, f, X - W, f + e);
      c.AddRect(0, f - e, W, f);
    } else {
      if (HMode == 1 || HMode == 5) c.AddRect(W - X, f, W, f + e);
      if (HMode == 2 || HMode == 4) c.AddRect(0, f, X, f + e);
      if (HMode == 3) {
        c.AddRect(0, f + e, X, f + 2 * e);
        c.AddRect(W - X, f, W, f + e);
      }
    }
  }
  for (Integer g = H < Y ? e : 0; g < W + e; g += 2 * e) {
    if (H < Y) {
      if (VMode == 1 || VMode == 4) c.AddRect(g, 2 * H - Y, g + e, H);
      if (VMode == 2 || VMode == 5) c.AddRect(g, 0, g + e, Y - H);
      c.AddRect(g - e, 0, g, H);
    } else {
      if (VMode == 1 || VMode == 5) c.AddRect(g, H - Y, g + e, H);
      if (VMode == 2 || VMode == 4) c.AddRect(g, 0, g + e, Y);
      if (VMode == 3) {
        c.AddRect(g, H - Y, g + e, H);
        c.AddRect(g + e, 0, g + 2 * e, Y);
      }
    }
  }
  return c.CreateRegion();
}

HRGN ShredRegion(Integer X, Integer Y, Integer W, Integer H, Integer HMode, Integer VMode) {
  TComplexRegion c;
  const Integer e = std::min(W, H) / 200 + 1;
  if (HMode != 0) {
    const Integer j = X < W ? W / 10 : 0;
    for (Integer o = 0; o < H; o += e) {
      Integer r = IERandom(2 * j) + X - j;
      const Integer t = o + e + H % e;
      if (HMode == 1) {
        c.AddRect(W - r, o, W, t);
      } else if (HMode == 2) {
        c.AddRect(0, o, r, t);
      } else {
        const Integer r1 = r / 2, r2 = r - r1;
        r = r1;
        if (HMode == 3) {
          c.AddRect(W / 2 - r, o, W / 2, t);
          c.AddRect(W / 2, o, W / 2 + r2, t);
        } else {
          c.AddRect(W - r2, o, W, t);
          c.AddRect(0, o, r, t);
        }
      }
    }
  }
  if (VMode != 0) {
    const Integer j = Y < H ? H / 10 : 0;
    for (Integer o = 0; o < W; o += e) {
      Integer r = IERandom(2 * j) + Y - j;
      const Integer t = o + e + W % e;
      if (VMode == 1) {
        c.AddRect(o, H - r, t, H);
      } else if (VMode == 2) {
        c.AddRect(o, 0, t, r);
      } else {
        const Integer r1 = r / 2, r2 = r - r1;
        r = r1;
        if (VMode == 3) {
          c.AddRect(o, H / 2 - r, t, H / 2);
          c.AddRect(o, H / 2, t, H / 2 + r2);
        } else {
          c.AddRect(o, H - r2, t, H);
          c.AddRect(o, 0, t, r);
        }
      }
    }
  }
  return c.CreateRegion();
}

namespace ietrans_bands {
namespace {

// The speck pattern of one band: a speck k cells ahead of the solid edge
// shows with chance 1/k, or 2/k within the nearer three quarters.
struct TSpeckle {
  Integer S, Step, N, Q;
  explicit TSpeckle(Integer J) {
    S = std::max(J / 20, 2);
    Step = std::max(S / 2, 1);
    N = J / S;
    Q = (3 * J) / (4 * S);
  }
  bool Shows(Integer K) const { return IERandom(K) <= (K <= Q ? 1 : 0); }
};

}  // namespace
}  // namespace ietrans_bands

HRGN SpeckleRegion(Integer X, Integer Y, Integer W, Integer H, Integer HMode, Integer VMode) {
  using namespace ietrans_bands;
  TComplexRegion c;
  if (HMode != 0) {
    const TSpeckle p(X < W ? W / 10 : 0);
    for (Integer y = 0; y < H; y += p.Step) {
      if (HMode == 1) {
        c.AddRect(W - X, y, W, y + p.S);
        for (Integer k = p.N; k >= 1; --k)
          if (p.Shows(k)) {
            const Integer x = W - X - k * p.S;
            c.AddRect(x, y, x + p.S, y + p.S);
          }
      } else {
        c.AddRect(0, y, X, y + p.S);
        for (Integer k = p.N; k >= 1; --k)
          if (p.Shows(k)) {
            const Integer x = X + k * p.S;
            c.AddRect(x - p.S, y, x, y + p.S);
          }
      }
    }
  }
  if (VMode != 0) {
    const TSpeckle p(Y < H ? H / 10 : 0);
    for (Integer x = 0; x < W; x += p.Step) {
      if (VMode == 1) {
        c.AddRect(x, H - Y, x + p.S, H);
        for (Integer k = p.N; k >= 1; --k)
          if (p.Shows(k)) c.AddRect(x, H - Y - k * p.S, x + p.S, H - Y - k * p.S + p.S);
      } else {
        c.AddRect(x, 0, x + p.S, Y);
        for (Integer k = p.N; k >= 1; --k)
          if (p.Shows(k)) c.AddRect(x, Y + k * p.S - p.S, x + p.S, Y + k * p.S);
      }
    }
  }
  return c.CreateRegion();
}

// ---------------------------------------------------------------------------
// Drawing through a region

namespace ietrans_bands {
namespace {

struct TExtent {
  Integer W, H, PW, PH;
  TExtent(const TRect& Rect, Integer Percent) { CalcTransitionExtent(Rect, Percent, W, H, PW, PH); }
};

// Copies the whole end picture through Region and deletes it. Without a
// region nothing is drawn: an unclipped copy would show the whole end
// picture at once.
void DrawThrough(TCanvas* Canvas, TBitmap* To, HRGN Region, Integer W, Integer H) {
  if (!Region) return;
  HDC dc = Canvas->Handle();
  SelectClipRgn(dc, Region);
  BitBlt(dc, 0, 0, W, H, To->Canvas()->Handle(), 0, 0, SRCCOPY);
  SelectClipRgn(dc, nullptr);
  DeleteObject(Region);
}

enum TBuilder { bBars, bShred, bSpeckle };

// The band effects: which builder, the extents along x and y (in units of
// the progress: 0, 1 or 2 times PW or PH) and the two modes.
struct TBandEffect {
  TBuilder Builder;
  Integer XTimes, YTimes, HMode, VMode;
};

void DrawBands(const TBandEffect& B, TCanvas* Canvas, TBitmap* To, const TRect& Rect, Integer Percent) {
  const TExtent e(Rect, Percent);
  const Integer x = B.XTimes * e.PW, y = B.YTimes * e.PH;
  HRGN r = nullptr;
  switch (B.Builder) {
    case bBars: r = BarsRegion(x, y, e.W, e.H, B.HMode, B.VMode); break;
    case bShred: r = ShredRegion(x, y, e.W, e.H, B.HMode, B.VMode); break;
    case bSpeckle: r = SpeckleRegion(x, y, e.W, e.H, B.HMode, B.VMode); break;
  }
  DrawThrough(Canvas, To, r, e.W, e.H);
}

// Types 85 .. 112 and 119 .. 131 in order, then 147 .. 150.
constexpr TBandEffect kBands[] = {
    {bBars, 2, 0, 2, 0},  {bBars, 2, 0, 1, 0},  {bBars, 0, 2, 0, 2},  {bBars, 0, 2, 0, 1},  // 85
    {bBars, 2, 0, 4, 0},  {bBars, 2, 0, 5, 0},  {bBars, 0, 2, 0, 4},  {bBars, 0, 2, 0, 5},  // 89
    {bBars, 1, 0, 3, 0},  {bBars, 0, 1, 0, 3},                                              // 93
    {bShred, 1, 0, 2, 0}, {bShred, 1, 0, 1, 0}, {bShred, 0, 1, 0, 2}, {bShred, 0, 1, 0, 1},  // 95
    {bShred, 1, 1, 2, 2}, {bShred, 1, 1, 1, 2}, {bShred, 1, 1, 2, 1}, {bShred, 1, 1, 1, 1},  // 99
    {bShred, 1, 1, 2, 3}, {bShred, 1, 1, 1, 3}, {bShred, 1, 1, 3, 2}, {bShred, 1, 1, 3, 1},  // 103
    {bShred, 1, 1, 3, 3}, {bShred, 1, 1, 4, 4},                                              // 107
    {bShred, 0, 1, 0, 4}, {bShred, 1, 0, 4, 0}, {bShred, 0, 1, 0, 3}, {bShred, 1, 0, 3, 0},  // 109
    {bBars, 2, 2, 2, 2},  {bBars, 2, 2, 1, 2},  {bBars, 2, 2, 2, 1},  {bBars, 2, 2, 1, 1},  // 119
    {bBars, 2, 2, 4, 4},  {bBars, 2, 2, 5, 4},  {bBars, 2, 2, 4, 5},  {bBars, 2, 2, 5, 5},  // 123
    {bBars, 1, 1, 3, 2},  {bBars, 1, 1, 3, 1},  {bBars, 1, 1, 2, 3},  {bBars, 1, 1, 3, 3},  // 127
    {bBars, 1, 1, 1, 3},                                                                    // 131
    {bSpeckle, 1, 1, 2, 0}, {bSpeckle, 1, 1, 1, 0}, {bSpeckle, 1, 1, 0, 2}, {bSpeckle, 1, 1, 0, 1},  // 147
};

// Evenly spaced bands of half-thickness A at N, 3N, 5N, ... along an axis.
void Blinds(TComplexRegion& C, Integer N, Integer A, Integer Length, Integer Across, bool Rows) {
  Integer p = 0;
  while (p < Length) {
    p += N;
    if (Rows) C.AddRect(0, p - A, Across, p + A);
    else C.AddRect(p - A, 0, p + A, Across);
    p += N;
  }
}

// Bands of length A every P from the near edge (Forward) or the far one.
void Uneven(TComplexRegion& C, Integer P, Integer A, Integer Length, Integer Across, bool Rows, bool Forward) {
  if (Forward) {
    for (Integer q = 0; q < Length; q += P) {
      if (Rows) C.AddRect(0, q, Across, q + A);
      else C.AddRect(q, 0, q + A, Across);
    }
  } else {
    for (Integer q = Length; q > 0; q -= P) {
      if (Rows) C.AddRect(0, q - A, Across, q);
      else C.AddRect(q - A, 0, q, Across);
    }
  }
}

// The centres of the grid effects: (N, N), (N, 3N), ... (3N, N), ...
template <class F>
void GridCentres(Integer N, Integer W, Integer H, F&& Fn) {
  Integer x = 0;
  while (x < W) {
    x += N;
    Integer y = 0;
    while (y < H) {
      y += N;
      Fn(x, y);
      y += N;
    }
    x += N;
  }
}

// The union of the grid's shapes, combined in pairs: each combination then
// meets regions of similar size, not an ever larger one.
HRGN UnionAll(std::vector<HRGN>& Shapes) {
  Shapes.erase(std::remove(Shapes.begin(), Shapes.end(), nullptr), Shapes.end());
  while (Shapes.size() > 1) {
    size_t out = 0;
    for (size_t i = 0; i < Shapes.size(); i += 2) {
      HRGN r = Shapes[i];
      if (i + 1 < Shapes.size()) {
        CombineRgn(r, r, Shapes[i + 1], RGN_OR);
        DeleteObject(Shapes[i + 1]);
      }
      Shapes[out++] = r;
    }
    Shapes.resize(out);
  }
  return Shapes.empty() ? nullptr : Shapes[0];
}

}  // namespace
}  // namespace ietrans_bands

using namespace ietrans_bands;

// Types 85 .. 112, 119 .. 131 and 147 .. 150, in the order of kBands.
#define BAND_PROC(Name, Index) \
  IE_TRANSITION_PROC(Name) { \
    (void)FromBitmap; \
    (void)Density; \
    DrawBands(kBands[Index], Canvas, ToBitmap, Rect, Percent); \
  }
BAND_PROC(BarsInFromLeft, 0)
BAND_PROC(BarsInFromRight, 1)
BAND_PROC(BarsFromTop, 2)
BAND_PROC(BarsFromBottom, 3)
BAND_PROC(BarsLeftThenRight, 4)
BAND_PROC(BarsRightThenLeft, 5)
BAND_PROC(BarsTopThenBottom, 6)
BAND_PROC(BarsBottomThenTop, 7)
BAND_PROC(BarsFrombothSides, 8)
BAND_PROC(BarsFromTopAndBottom, 9)
BAND_PROC(ShreddedFromLeft, 10)
BAND_PROC(ShreddedFromRight, 11)
BAND_PROC(ShreddedFromTop, 12)
BAND_PROC(ShreddedFromBottom, 13)
BAND_PROC(ShreddedFromTopAndLeft, 14)
BAND_PROC(ShreddedFromTopAndRight, 15)
BAND_PROC(ShreddedFromBottomAndLeft, 16)
BAND_PROC(ShreddedFromBottomAndRight, 17)
BAND_PROC(ShreddedFromHorizonAndLeft, 18)
BAND_PROC(ShreddedFromHorizonAndRight, 19)
BAND_PROC(ShreddedFromTopAndVerticalCenter, 20)
BAND_PROC(ShreddedFromBottomAndVerticalCenter, 21)
BAND_PROC(ShreddedFromCenter, 22)
BAND_PROC(ShreddedToCenter, 23)
BAND_PROC(ShreddedInToHorizon, 24)
BAND_PROC(ShreddedInToVerticalCenter, 25)
BAND_PROC(ShreddedOutFromHorizon, 26)
BAND_PROC(ShreddedOutFromVerticalCenter, 27)
BAND_PROC(CrisscrossWipeFromTopLeft, 28)
BAND_PROC(CrisscrossWipeFromTopRight, 29)
BAND_PROC(CrisscrossWipeFromBottomLeft, 30)
BAND_PROC(CrisscrossWipeFromBottomRight, 31)
BAND_PROC(CrisscrossWipeBounceFromTopLeft, 32)
BAND_PROC(CrisscrossWipeBounceFromTopRight, 33)
BAND_PROC(CrisscrossWipeBounceFromBottomLeft, 34)
BAND_PROC(CrisscrossWipeBounceFromBottomRight, 35)
BAND_PROC(CrisscrossWipeFromLeftRightAndTop, 36)
BAND_PROC(CrisscrossWipeFromLeftRightAndBottom, 37)
BAND_PROC(CrisscrossWipeFromLeftTopAndBottom, 38)
BAND_PROC(CrisscrossWipeFromTopLeftRightAndBottom, 39)
BAND_PROC(CrisscrossWipeFromRightTopAndBottom, 40)
BAND_PROC(SpeckledWipeFromLeft, 41)
BAND_PROC(SpeckledWipeFromRight, 42)
BAND_PROC(SpeckledWipeFromTop, 43)
BAND_PROC(SpeckledWipeFromBottom, 44)
#undef BAND_PROC

IE_TRANSITION_PROC(CrisscrossWipeFromBottomLeftTopRight) {
  (void)FromBitmap;
  (void)Density;
  const TExtent e(Rect, Percent);
  HRGN a = BarsRegion(2 * e.PW, 2 * e.PH, e.W, e.H, 1, 1);
  HRGN b = BarsRegion(2 * e.PW, 2 * e.PH, e.W, e.H, 2, 2);
  if (a && b) CombineRgn(a, a, b, RGN_AND);
  if (b) DeleteObject(b);
  DrawThrough(Canvas, ToBitmap, a, e.W, e.H);
}

#define REGION_PROC(Name) \
  IE_TRANSITION_PROC(Name) { \
    (void)FromBitmap; \
    (void)Density; \
    const TExtent e(Rect, Percent); \
    TComplexRegion c; \
    if (Build##Name(c, e, Percent)) DrawThrough(Canvas, ToBitmap, c.CreateRegion(), e.W, e.H); \
  }

namespace ietrans_bands {
namespace {

bool BuildHorizontalBlinds(TComplexRegion& C, const TExtent& E, Integer Percent) {
  const Integer n = E.H / 40 + 1;
  Blinds(C, n, MulDiv(n, Percent, 100), E.H, E.W, true);
  return true;
}
bool BuildVerticalBlinds(TComplexRegion& C, const TExtent& E, Integer Percent) {
  const Integer n = E.W / 40 + 1;
  Blinds(C, n, MulDiv(n, Percent, 100), E.W, E.H, false);
  return true;
}
bool BuildUnevenBlindsFromLeft(TComplexRegion& C, const TExtent& E, Integer Percent) {
  if (E.PW == 0) return false;
  Uneven(C, E.PW, MulDiv(E.PW, Percent, 100), E.W, E.H, false, true);
  return true;
}
bool BuildUnevenBlindsFromRight(TComplexRegion& C, const TExtent& E, Integer Percent) {
  if (E.PW == 0) return false;
  Uneven(C, E.PW, MulDiv(E.PW, Percent, 100), E.W, E.H, false, false);
  return true;
}
bool BuildUnevenBlindsFromTop(TComplexRegion& C, const TExtent& E, Integer Percent) {
  if (E.PH == 0) return false;
  Uneven(C, E.PH, MulDiv(E.PH, Percent, 100), E.H, E.W, true, true);
  return true;
}
bool BuildUnevenBlindsFromBottom(TComplexRegion& C, const TExtent& E, Integer Percent) {
  if (E.PH == 0) return false;
  Uneven(C, E.PH, MulDiv(E.PH, Percent, 100), E.H, E.W, true, false);
  return true;
}
// Thin cross bands every 3m, then columns (or rows) of the progress.
bool Rectangles(TComplexRegion& C, const TExtent& E, Integer Percent, bool Columns, bool Forward) {
  const Integer m = (Columns ? E.H : E.W) / 20, p = Columns ? E.PW : E.PH;
  if (m == 0 || p == 0) return false;
  const Integer a = MulDiv(m, Percent, 100);
  for (Integer q = -m; q < (Columns ? E.H : E.W); q += 3 * m) {
    if (Columns) C.AddRect(0, q - a, E.W, q + a);
    else C.AddRect(q - a, 0, q + a, E.H);
  }
  Uneven(C, p, MulDiv(p, Percent, 100), Columns ? E.W : E.H, Columns ? E.H : E.W, !Columns, Forward);
  return true;
}
bool BuildRectanglesFromTheLeft(TComplexRegion& C, const TExtent& E, Integer Percent) {
  return Rectangles(C, E, Percent, true, true);
}
bool BuildRectanglesFromTheRight(TComplexRegion& C, const TExtent& E, Integer Percent) {
  return Rectangles(C, E, Percent, true, false);
}
bool BuildRectanglesFromTheTop(TComplexRegion& C, const TExtent& E, Integer Percent) {
  return Rectangles(C, E, Percent, false, true);
}
bool BuildRectanglesFromTheBottom(TComplexRegion& C, const TExtent& E, Integer Percent) {
  return Rectangles(C, E, Percent, false, false);
}
bool BuildExpandingRectangles(TComplexRegion& C, const TExtent& E, Integer Percent) {
  const Integer n = std::min(E.W, E.H) / 10 + 1, a = MulDiv(n, Percent, 100);
  GridCentres(n, E.W, E.H, [&](Integer x, Integer y) { C.AddRect(x - a, y - a, x + a, y + a); });
  return true;
}

}  // namespace
}  // namespace ietrans_bands

REGION_PROC(HorizontalBlinds)
REGION_PROC(VerticalBlinds)
REGION_PROC(UnevenBlindsFromLeft)
REGION_PROC(UnevenBlindsFromRight)
REGION_PROC(UnevenBlindsFromTop)
REGION_PROC(UnevenBlindsFromBottom)
REGION_PROC(RectanglesFromTheLeft)
REGION_PROC(RectanglesFromTheRight)
REGION_PROC(RectanglesFromTheTop)
REGION_PROC(RectanglesFromTheBottom)
REGION_PROC(ExpandingRectangles)
#undef REGION_PROC

IE_TRANSITION_PROC(ExpandingTriangles) {
  (void)FromBitmap;
  (void)Density;
  const TExtent e(Rect, Percent);
  const Integer cw = e.W / 10 + 1, ch = e.H / 10 + 1;
  const Integer a = MulDiv(cw, Percent, 50), b = MulDiv(ch, Percent, 50);
  std::vector<HRGN> shapes;
  Integer x = 0;
  while (x < e.W) {
    x += cw;
    Integer y = 0;
    while (y < e.H + ch) {
      y += ch;
      const TPoint pts[3] = {TPoint(x - a, y - b), TPoint(x, y + b), TPoint(x + a, y - b)};
      shapes.push_back(CreatePolygonRgn(pts, 3, WINDING));
      y += ch;
    }
    x += cw;
  }
  DrawThrough(Canvas, ToBitmap, UnionAll(shapes), e.W, e.H);
}

IE_TRANSITION_PROC(ExpandingCircles) {
  (void)FromBitmap;
  (void)Density;
  const TExtent e(Rect, Percent);
  const Integer n = std::min(e.W, e.H) / 10 + 1, r = MulDiv(3 * n, Percent, 200);
  std::vector<HRGN> shapes;
  GridCentres(n, e.W, e.H, [&](Integer x, Integer y) { shapes.push_back(CreateEllipticRgn(x - r, y - r, x + r, y + r)); });
  DrawThrough(Canvas, ToBitmap, UnionAll(shapes), e.W, e.H);
}

IE_TRANSITION_PROC(ExpandingDiamonds) {
  (void)FromBitmap;
  (void)Density;
  const TExtent e(Rect, Percent);
  const Integer n = std::min(e.W, e.H) / 10 + 1, a = MulDiv(n, Percent, 50);
  std::vector<HRGN> shapes;
  GridCentres(n, e.W, e.H, [&](Integer x, Integer y) {
    const TPoint pts[4] = {TPoint(x - a, y), TPoint(x, y - a), TPoint(x + a, y), TPoint(x, y + a)};
    shapes.push_back(CreatePolygonRgn(pts, 4, WINDING));
  });
  DrawThrough(Canvas, ToBitmap, UnionAll(shapes), e.W, e.H);
}

IE_TRANSITION_PROC(RandomBigBoxesEffect) {
  (void)FromBitmap;
  (void)Density;
  const TExtent e(Rect, Percent);
  // The same numbers every frame of a run: a box once shown stays, and the
  // shared generator is left as it was.
  const Cardinal saved = IERandSeed();
  IESetRandSeed(static_cast<Cardinal>(reinterpret_cast<uintptr_t>(ToBitmap->Handle())));
  HRGN r = nullptr;
  try {
    TComplexRegion c;
    const Integer n = std::min(e.W, e.H) / 20 + 1;
    GridCentres(n, e.W, e.H, [&](Integer x, Integer y) {
      if (IERandom(100) < Percent) c.AddRect(x - n, y - n, x + n, y + n);
    });
    r = c.CreateRegion();
  } catch (...) {
    IESetRandSeed(saved);
    throw;
  }
  IESetRandSeed(saved);
  DrawThrough(Canvas, ToBitmap, r, e.W, e.H);
}
