// Transition effects that reveal the end picture through one geometric
// shape per frame, or a few combined: rounded rectangles and ellipses,
// triangles, pies, rotating polygons, zigzag bands, diamonds and a grid of
// triangles.
#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <vector>

#include "imaging/core/base/ieutils.h"
#include "imaging/proc/ietrans_procs.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/gdi.h"

namespace ietrans_shapes {
namespace {

constexpr long double kPi = 3.1415926535897932385L;

struct TExtent {
  Integer W, H, PW, PH, C, M;
  TExtent(const TRect& Rect, Integer Percent) {
    CalcTransitionExtent(Rect, Percent, W, H, PW, PH);
    C = W / 2;
    M = H / 2;
  }
};

HRGN Polygon(const std::vector<TPoint>& Points) {
  return CreatePolygonRgn(Points.data(), static_cast<Integer>(Points.size()), WINDING);
}

HRGN Triangle(Integer X1, Integer Y1, Integer X2, Integer Y2, Integer X3, Integer Y3) {
  return Polygon({TPoint(X1, Y1), TPoint(X2, Y2), TPoint(X3, Y3)});
}

// Combines Shape into Into (the first shape becomes it) and deletes Shape.
void Combine(HRGN& Into, HRGN Shape, Integer Mode) {
  if (!Shape) return;
  if (!Into) {
    Into = Shape;
    return;
  }
  CombineRgn(Into, Into, Shape, Mode);
  DeleteObject(Shape);
}

HRGN Union(std::initializer_list<HRGN> Shapes) {
  HRGN r = nullptr;
  for (HRGN s : Shapes) Combine(r, s, RGN_OR);
  return r;
}

// The whole frame with Shapes XORed into it one after the other.
HRGN FrameXor(const TExtent& E, std::initializer_list<HRGN> Shapes) {
  HRGN r = CreateRectRgn(0, 0, E.W, E.H);
  for (HRGN s : Shapes) Combine(r, s, RGN_XOR);
  return r;
}

void DrawThrough(TCanvas* Canvas, TBitmap* To, HRGN Region, const TExtent& E) {
  if (!Region) return;
  HDC dc = Canvas->Handle();
  SelectClipRgn(dc, Region);
  BitBlt(dc, 0, 0, E.W, E.H, To->Canvas()->Handle(), 0, 0, SRCCOPY);
  SelectClipRgn(dc, nullptr);
  DeleteObject(Region);
}

// Points about (CX, CY) turned by Angle (clockwise on the screen).
void RotatePoints(std::vector<TPoint>& Points, Integer CX, long double Angle, Integer CY) {
  const long double c = std::cos(Angle), s = std::sin(Angle);
  for (TPoint& p : Points) {
    const long double dx = p.X - CX, dy = p.Y - CY;
    p.X = CX + static_cast<Integer>(Round(static_cast<double>(c * dx - s * dy)));
    p.Y = CY + static_cast<Integer>(Round(static_cast<double>(s * dx + c * dy)));
  }
}

long double TurnAngle(Integer Percent, bool Clockwise) {
  const long double a = Percent * kPi / 50;
  return Clockwise ? a : -a;
}

HRGN RotatingRectangle(const TExtent& E, Integer Percent, bool Clockwise, bool Spiral) {
  const Integer a = E.PW / 2, b = E.PH / 2;
  std::vector<TPoint> p = {TPoint(E.C - a, E.M - b), TPoint(E.C + a, E.M - b), TPoint(E.C + a, E.M + b),
                           TPoint(E.C - a, E.M + b)};
  if (Spiral) RotatePoints(p, E.PW, TurnAngle(Percent, Clockwise), E.PH);
  else RotatePoints(p, E.C, TurnAngle(Percent, Clockwise), E.M);
  return Polygon(p);
}

HRGN RotatingStar(const TExtent& E, Integer Percent, bool Clockwise) {
  const Integer a = E.PW / 2, b = E.PH / 2, c = E.C, m = E.M;
  std::vector<TPoint> p = {TPoint(c - 2 * E.PW, m), TPoint(c - a, m - b), TPoint(c, m - 2 * E.PH),
                           TPoint(c + a, m - b),    TPoint(c + 2 * E.PW, m), TPoint(c + a, m + b),
                           TPoint(c, m + 2 * E.PH), TPoint(c - a, m + b)};
  RotatePoints(p, c, TurnAngle(Percent, Clockwise), m);
  return Polygon(p);
}

HRGN Zigzag(const TExtent& E, Integer Percent, bool AlongX) {
  const Integer len = AlongX ? E.W : E.H, across = AlongX ? E.H : E.W;
  const Integer s = len / 10, n = across / 10;
  const Integer h = MulDiv(n, Percent, 100) + (AlongX ? E.PH : E.PW) / 2;
  const Integer mid = AlongX ? E.M : E.C;
  std::vector<TPoint> p(24);
  for (Integer k = 0; k <= 11; ++k) {
    const Integer wave = k % 2 == 0 ? n : -n;
    const Integer top = mid + wave - h, bottom = mid + wave + h;
    p[static_cast<size_t>(k)] = AlongX ? TPoint(k * s, top) : TPoint(top, k * s);
    p[static_cast<size_t>(23 - k)] = AlongX ? TPoint(k * s, bottom) : TPoint(bottom, k * s);
  }
  return Polygon(p);
}

// The union of many shapes, combined in pairs: each combination then
// meets regions of similar size, not an ever larger one.
HRGN UnionAll(std::vector<HRGN>& Shapes) {
  Shapes.erase(std::remove(Shapes.begin(), Shapes.end(), nullptr), Shapes.end());
  while (Shapes.size() > 1) {
    size_t out = 0;
    for (size_t i = 0; i < Shapes.size(); i += 2) {
      HRGN r = Shapes[i];
      if (i + 1 < Shapes.size()) Combine(r, Shapes[i + 1], RGN_OR);
      Shapes[out++] = r;
    }
    Shapes.resize(out);
  }
  return Shapes.empty() ? nullptr : Shapes[0];
}

HRGN Triangles(const TExtent& E, Integer Density) {
  Integer n = MulDiv(std::max(E.W, E.H), Density, 90);
  if (n < 1) n = 1;
  else if (n > 1) n = n / 2;
  const Integer pw = E.PW / n, ph = E.PH / n, w = E.W / n, h = E.H / n;
  std::vector<HRGN> shapes;
  for (Integer i = n; i >= 0; --i)
    for (Integer j = n; j >= 0; --j)
      shapes.push_back(Triangle(j * w - pw, i * h - ph, j * w + pw, i * h - ph, j * w - pw, i * h + ph));
  return UnionAll(shapes);
}

}  // namespace
}  // namespace ietrans_shapes

using namespace ietrans_shapes;

HRGN PieRegion(Integer CX, Integer CY, Integer Radius, long double StartAngle, long double EndAngle, Integer Count) {
  std::vector<TPoint> p;
  p.reserve(static_cast<size_t>(std::max(Count, 0)) + 1);
  p.push_back(TPoint(CX, CY));
  if (Count > 0) {
    // The fan ends one step short of EndAngle.
    const long double step = (EndAngle - StartAngle) / Count;
    long double a = StartAngle;
    for (Integer i = 1; i <= Count; ++i) {
      p.push_back(TPoint(CX + static_cast<Integer>(Round(static_cast<double>(std::cos(a) * Radius))),
                         CY + static_cast<Integer>(Round(static_cast<double>(std::sin(a) * Radius)))));
      a += step;
    }
  }
  return Polygon(p);
}

// Every shape effect: the region for the frame, then the end picture
// through it.
#define SHAPE_PROC(Name, Expr)          \
  IE_TRANSITION_PROC(Name) {           \
    (void)FromBitmap;                  \
    (void)Density;                     \
    const TExtent e(Rect, Percent);    \
    const Integer W = e.W, H = e.H, PW = e.PW, PH = e.PH, c = e.C, m = e.M; \
    (void)W; (void)H; (void)PW; (void)PH; (void)c; (void)m; \
    DrawThrough(Canvas, ToBitmap, (Expr), e); \
  }

SHAPE_PROC(CurvedWipeFromLeft, CreateRoundRectRgn(-2 * W, 0, 2 * PW, H + 1, 2 * W, 2 * W))
SHAPE_PROC(CurvedWipeFromRight, CreateRoundRectRgn(W - 2 * PW, 0, 3 * W, H + 1, 2 * W, 2 * W))
SHAPE_PROC(CurvedWipeFromTop, CreateRoundRectRgn(0, -2 * H, W + 1, 2 * PH, 2 * H, 2 * H))
SHAPE_PROC(CurvedWipeFromBottom, CreateRoundRectRgn(0, H - 2 * PH, W + 1, 3 * H, 2 * H, 2 * H))
SHAPE_PROC(CurvedWipeFromTopLeft, CreateRoundRectRgn(-W, -H, (3 * PW) / 2, (3 * PH) / 2, 2 * W, 2 * H))
SHAPE_PROC(CurvedWipeFromTopRight, CreateRoundRectRgn(W - (3 * PW) / 2, -H, 2 * W, (3 * PH) / 2, 2 * W, 2 * H))
SHAPE_PROC(CurvedWipeFromBottomLeft, CreateRoundRectRgn(-W, H - (3 * PH) / 2, (3 * PW) / 2, 2 * H, 2 * W, 2 * H))
SHAPE_PROC(CurvedWipeFromBottomRight,
           CreateRoundRectRgn(W - (3 * PW) / 2, H - (3 * PH) / 2, 2 * W, 2 * H, 2 * W, 2 * H))
SHAPE_PROC(CircularWipeFromCenter,
           CreateRoundRectRgn(c - PW, m - PH, c + PW, m + PH, (9 * PW) / 5, (9 * PH) / 5))
SHAPE_PROC(CircularWipeToCenter,
           FrameXor(e, {CreateRoundRectRgn(PW - c, PH - m, 3 * c - PW, 3 * m - PH, (9 * (W - PW)) / 5,
                                           (9 * (H - PH)) / 5)}))
SHAPE_PROC(WipeDiagonalFromTopLeft, Triangle(0, 0, 2 * PW, 0, 0, 2 * PH))
SHAPE_PROC(WipeDiagonalFromTopRight, Triangle(W, 0, W - 2 * PW, 0, W, 2 * PH))
SHAPE_PROC(WipeDiagonalFromBottomLeft, Triangle(0, H, 2 * PW, H, 0, H - 2 * PH))
SHAPE_PROC(WipeDiagonalFromBottomRight, Triangle(W, H, W - 2 * PW, H, W, H - 2 * PH))
SHAPE_PROC(DiagonalSweepClockwise, Union({Triangle(W, 0, 0, 0, W, PH), Triangle(W, H, 0, H, 0, H - PH)}))
SHAPE_PROC(DiagonalSweepCounterClockwise, Union({Triangle(0, H, 0, 0, PW, H), Triangle(W, H, W, 0, W - PW, 0)}))
SHAPE_PROC(SweepClockwise, PieRegion(c, m, static_cast<Integer>(std::ceil(std::hypot(m, c))), -kPi / 2,
                                     Percent * kPi / 50 - kPi / 2, Percent))
SHAPE_PROC(SweepCounterClockwise, PieRegion(c, m, static_cast<Integer>(std::ceil(std::hypot(m, c))), -kPi / 2,
                                            -Percent * kPi / 50 - kPi / 2, Percent))
SHAPE_PROC(StarburstClockwiseFromCenter,
           Union({Triangle(c, m, 0, 0, PW, 0), Triangle(c, m, 0, H, 0, H - PH), Triangle(c, m, W, H, W - PW, H),
                  Triangle(c, m, W, 0, W, PH)}))
SHAPE_PROC(StarburstCounterClockwiseFromCenter,
           Union({Triangle(c, m, 0, 0, 0, PH), Triangle(c, m, 0, H, PW, H), Triangle(c, m, W, H, W, H - PH),
                  Triangle(c, m, W, 0, W - PW, 0)}))
SHAPE_PROC(RotationalRectangle, RotatingRectangle(e, Percent, true, false))
SHAPE_PROC(RotationalRectangleCounterClockwise, RotatingRectangle(e, Percent, false, false))
SHAPE_PROC(RotationalStar, RotatingStar(e, Percent, true))
SHAPE_PROC(RotationalStarCounterClockwise, RotatingStar(e, Percent, false))
SHAPE_PROC(SpirallingRectangleClockwise, RotatingRectangle(e, Percent, true, true))
SHAPE_PROC(SpirallingRectangleCounterClockwise, RotatingRectangle(e, Percent, false, true))
SHAPE_PROC(ArrowWipeFromLeft, Triangle(0, m - PH, 2 * PW, m, 0, m + PH))
SHAPE_PROC(ArrowWipeFromRight, Triangle(W, m - PH, W - 2 * PW, m, W, m + PH))
SHAPE_PROC(ArrowWipeFromTop, Triangle(c - PW, 0, c, 2 * PH, c + PW, 0))
SHAPE_PROC(ArrowWipeFromBottom, Triangle(c - PW, H, c, H - 2 * PH, c + PW, H))
SHAPE_PROC(HorizontalBowTieWipe,
           Union({Triangle(0, m - PH, PW, m, 0, m + PH), Triangle(W, m - PH, W - PW, m, W, m + PH)}))
SHAPE_PROC(VerticalBowTieWipe,
           Union({Triangle(c - PW, 0, c, 2 * PH, c + PW, 0), Triangle(c - PW, H, c, H - 2 * PH, c + PW, H)}))

namespace ietrans_shapes {
namespace {

// The four triangles of the diagonal crosses, pointing in from the sides.
void CrossTriangles(const TExtent& E, Integer A, Integer B, HRGN (&T)[4]) {
  const Integer c = E.C, m = E.M, W = E.W, H = E.H;
  T[0] = Triangle(0, m - B, A, m, 0, m + B);
  T[1] = Triangle(W, m - B, W - A, m, W, m + B);
  T[2] = Triangle(c - A, 0, c, B, c + A, 0);
  T[3] = Triangle(c - A, H, c, H - B, c + A, H);
}

HRGN CrossFromCenter(const TExtent& E) {
  HRGN t[4];
  CrossTriangles(E, (E.W - E.PW) / 2, (E.H - E.PH) / 2, t);
  return FrameXor(E, {t[0], t[1], t[2], t[3]});
}

HRGN CrossToCenter(const TExtent& E) {
  HRGN t[4];
  CrossTriangles(E, E.PW / 2, E.PH / 2, t);
  return Union({t[0], t[1], t[2], t[3]});
}

// An outer diamond growing past the frame with an inner one opening in it.
HRGN DiagonalBox(const TExtent& E) {
  const Integer a = E.PW / 2, b = E.PH / 2, c = E.C, m = E.M;
  HRGN outer = Polygon({TPoint(-a, m), TPoint(c, -b), TPoint(a + 2 * c, m), TPoint(c, 2 * m + b)});
  Combine(outer, Polygon({TPoint(a, m), TPoint(c, b), TPoint(2 * c - a, m), TPoint(c, 2 * m - b)}), RGN_XOR);
  return outer;
}

}  // namespace
}  // namespace ietrans_shapes

SHAPE_PROC(DiagonalCrossFromCenter, CrossFromCenter(e))
SHAPE_PROC(DiagonalCrossToCenter, CrossToCenter(e))
SHAPE_PROC(ZigzagWipeFromHorizon, Zigzag(e, Percent, true))
SHAPE_PROC(ZigzagWipeFromVerticalCenter, Zigzag(e, Percent, false))
SHAPE_PROC(DiamondWipeFromCenter, Polygon({TPoint(c - PW, m), TPoint(c, m - PH), TPoint(c + PW, m), TPoint(c, m + PH)}))
SHAPE_PROC(DiamondWipeToCenter,
           FrameXor(e, {Polygon({TPoint(PW - c, m), TPoint(c, PH - m), TPoint(3 * c - PW, m), TPoint(c, 3 * m - PH)})}))
SHAPE_PROC(DiagonalBoxWipe, DiagonalBox(e))

IE_TRANSITION_PROC(TriangularWipeEffect) {
  (void)FromBitmap;
  const TExtent e(Rect, Percent);
  DrawThrough(Canvas, ToBitmap, Triangles(e, Density), e);
}

#undef SHAPE_PROC
