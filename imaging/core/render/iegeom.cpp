// Geometry helpers and the small drawing routines built on them.
#include "imaging/core/render/iegeom.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/render/ieblend.h"
#include "imaging/core/render/iegdiplus.h"
#include "imaging/core/base/ielists.h"
#include "imaging/core/base/iestartup.h"
#include "imaging/core/base/ieutils.h"

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kFar = 2147483647.0;

// Angle between two direction vectors, 0..pi; 0 when either is zero or the
// cosine is not a usable number.
double AngleBetween(double dx1, double dy1, double dx2, double dy2) {
  const double l1 = std::sqrt(dx1 * dx1 + dy1 * dy1), l2 = std::sqrt(dx2 * dx2 + dy2 * dy2);
  if (l1 == 0 || l2 == 0) return 0;
  const double c = (dx1 * dx2 + dy1 * dy2) / (l1 * l2);
  if (!std::isfinite(c) || c < -1 || c > 1) return 0;
  return std::acos(c);
}

Integer ClampInt(int64_t v) {
  return static_cast<Integer>(std::clamp<int64_t>(v, std::numeric_limits<Integer>::min(), std::numeric_limits<Integer>::max()));
}

// Even-odd crossing test over edges given as doubles.
template <typename GetX, typename GetY>
bool EvenOdd(double X, double Y, Integer Count, GetX gx, GetY gy) {
  bool inside = false;
  for (Integer i = 0, j = Count - 1; i < Count; j = i++) {
    const double xi = gx(i), yi = gy(i), xj = gx(j), yj = gy(j);
    const double ymin = std::min(yi, yj), ymax = std::max(yi, yj);
    if (Y < ymin || Y >= ymax) continue;  // also skips horizontal edges
    const double xAt = xi + (Y - yi) * (xj - xi) / (yj - yi);
    if (X < xAt) inside = !inside;
  }
  return inside;
}

}  // namespace

double IEAngleBetweenSegments(Integer X1, Integer Y1, Integer X2, Integer Y2, Integer X3, Integer Y3) {
  return AngleBetween(double(X2) - X1, double(Y2) - Y1, double(X3) - X2, double(Y3) - Y2);
}

double IELineAngle(Integer X1, Integer Y1, Integer X2, Integer Y2) {
  const double dx = double(X2) - X1, dy = double(Y2) - Y1;
  if (dx == 0) return dy < 0 ? kPi / 2 : (dy > 0 ? 3 * kPi / 2 : 0);
  if (dy == 0) return dx < 0 ? kPi : 0;
  const double a = AngleBetween(1, 0, dx, dy);
  return dy < 0 ? a : 2 * kPi - a;  // screen y grows downwards
}

double IEVertexAngle(Integer X0, Integer Y0, Integer X1, Integer Y1, Integer X2, Integer Y2) {
  auto len = [](double dx, double dy) {
    const double l = std::sqrt(dx * dx + dy * dy);
    return l == 0 ? 1.0 : l;
  };
  const double a = len(double(X0) - X1, double(Y0) - Y1);
  const double b = len(double(X2) - X1, double(Y2) - Y1);
  const double c = len(double(X2) - X0, double(Y2) - Y0);
  // Rounding can push the cosine just outside -1..1, where acos gives NaN.
  const double cosv = std::clamp((a * a + b * b - c * c) / (2 * a * b), -1.0, 1.0);
  const double v = std::acos(cosv);
  return IETurnDirection(X0, Y0, X1, Y1, X2, Y2) == -1 ? 2 * kPi - v : v;
}

Integer IETurnDirection(Integer X0, Integer Y0, Integer X1, Integer Y1, Integer X2, Integer Y2) {
  // 64-bit products: coordinates far apart would overflow 32 bits.
  const int64_t d1x = int64_t(X1) - X0, d1y = int64_t(Y1) - Y0, d2x = int64_t(X2) - X0, d2y = int64_t(Y2) - Y0;
  const __int128 a = static_cast<__int128>(d1x) * d2y, b = static_cast<__int128>(d1y) * d2x;
  if (a > b) return 1;
  if (a < b) return -1;
  if (d1x * d2x < 0 || d1y * d2y < 0) return -1;
  return (static_cast<__int128>(d1x) * d1x + static_cast<__int128>(d1y) * d1y <
          static_cast<__int128>(d2x) * d2x + static_cast<__int128>(d2y) * d2y)
             ? 1
             : 0;
}

// The quadrant-aware form: a plain arc tangent of the quotient would give
// negative angles for negative X and divide by zero at X = 0.
double IEArcCos(double X) { return std::atan2(std::sqrt(1 - X * X), X); }

double IEArcTan2(double X, double Y) { return std::atan2(Y, X); }

void IERotatePoints(TPoint* Points, Integer LastIndex, Integer CX, Integer CY, double Angle) {
  if (!Points) return;
  const double e = -Angle * kPi / 180.0, c = std::cos(e), s = std::sin(e);
  for (Integer i = 0; i <= LastIndex; ++i) {
    const double x = double(Points[i].X) - CX, y = double(Points[i].Y) - CY;
    Points[i].X = ClampInt(CX + Trunc(c * x - s * y));
    Points[i].Y = ClampInt(CY + Trunc(s * x + c * y));
  }
}

bool IEPointInPolygon(Integer X, Integer Y, const TPoint* Points, Integer LastIndex) {
  if (!Points || LastIndex < 0) return false;
  return EvenOdd(
      X, Y, LastIndex + 1, [&](Integer i) { return double(Points[i].X); }, [&](Integer i) { return double(Points[i].Y); });
}

bool IEPointInZoomedPolygon(Integer X, Integer Y, const TPoint* Points, Integer Count, Integer SrcX, Integer SrcY,
                            Integer DstX, Integer DstY, double ZoomX, double ZoomY) {
  if (!Points || Count <= 0) return false;
  return EvenOdd(
      X, Y, Count, [&](Integer i) { return (double(Points[i].X) - SrcX) * ZoomX + DstX; },
      [&](Integer i) { return (double(Points[i].Y) - SrcY) * ZoomY + DstY; });
}

double IEDistanceToRectangle(Integer X, Integer Y, Integer Left, Integer Top, Integer Right, Integer Bottom,
                             bool Filled, Integer PenWidth) {
  if (PenWidth < 0) return kFar;
  double best = kFar;
  const Integer half = PenWidth / 2;
  for (Integer l = -half; l <= half; ++l) {
    const Integer x1 = ClampInt(int64_t(Left) + l), y1 = ClampInt(int64_t(Top) + l);
    const Integer x2 = ClampInt(int64_t(Right) + l), y2 = ClampInt(int64_t(Bottom) + l);
    if (Filled && IEPointInRect(X, Y, x1, y1, x2, y2)) return 0;
    best = std::min({best, IEDistPointSegment(X, Y, x1, y1, x2, y1), IEDistPointSegment(X, Y, x2, y1, x2, y2),
                     IEDistPointSegment(X, Y, x2, y2, x1, y2), IEDistPointSegment(X, Y, x1, y2, x1, y1)});
  }
  return best;
}

double IEDistanceToEllipse(Integer X, Integer Y, Integer Left, Integer Top, Integer Right, Integer Bottom,
                           bool Filled, Integer PenWidth) {
  if (PenWidth < 0) return kFar;
  // The polygon has one vertex per pixel of the smaller circumference; past
  // this many its sides lie within a fraction of a pixel of the ellipse, and
  // an ellipse of a hostile vector file would otherwise mean billions of
  // vertices per click.
  constexpr int64_t kMaxVertices = int64_t(1) << 16;
  const int64_t hw = (int64_t(Right) - Left) / 2, hh = (int64_t(Bottom) - Top) / 2;
  const Integer px = ClampInt(int64_t(X) - (Left + hw)), py = ClampInt(int64_t(Y) - (Top + hh));
  double best = kFar;
  const Integer half = PenWidth / 2;
  for (Integer l = -half; l <= half; ++l) {
    const double rx = double(hw + l), ry = double(hh + l);
    int64_t n = Trunc(2 * kPi * std::min(rx, ry));
    if (!Filled) n /= 8;
    n = std::clamp<int64_t>(n, 2, kMaxVertices);
    // Vertices are made as they are visited: nothing is allocated per offset.
    auto vertex = [&](int64_t k) {
      const double a = 2 * kPi * double(k) / double(n);
      return TPoint(ClampInt(Trunc(rx * std::cos(a))), ClampInt(Trunc(ry * std::sin(a))));
    };
    if (Filled) {
      for (int64_t k = 1; k < n; ++k) {
        const TPoint v = vertex(k);
        best = std::min(best, double(Trunc(IEDistPointSegment(px, py, 0, 0, v.X, v.Y))));
      }
    } else {
      const TPoint first = vertex(0);
      TPoint a = first;
      for (int64_t k = 0; k < n; ++k) {
        const TPoint b = k + 1 < n ? vertex(k + 1) : first;
        best = std::min(best, IEDistPointSegment(px, py, a.X, a.Y, b.X, b.Y));
        a = b;
      }
    }
  }
  return best;
}

void IECubicBezier(const TPoint& P0, const TPoint& P1, const TPoint& P2, const TPoint& P3, std::vector<TPoint>& Points,
                   Integer Count) {
  Points.clear();
  if (Count <= 0) return;  // no step to take (and no division by zero)
  Points.resize(size_t(Count));
  const double dt = 1.0 / Count;
  double t = 0;
  for (Integer i = 0; i < Count; ++i) {
    t += dt;
    const double u = 1 - t, a = u * u * u, b = 3 * t * u * u, c = 3 * t * t * u, d = t * t * t;
    Points[size_t(i)].X = ClampInt(Round(a * P0.X + b * P1.X + c * P2.X + d * P3.X));
    Points[size_t(i)].Y = ClampInt(Round(a * P0.Y + b * P1.Y + c * P2.Y + d * P3.Y));
  }
}

void IEFitSizeInBox(Integer Width, Integer Height, Integer MaxWidth, Integer MaxHeight, Integer& NewWidth,
                    Integer& NewHeight) {
  if (Width == 0 || Height == 0) return;
  const double f = std::min(double(MaxWidth) / Width, double(MaxHeight) / Height);
  NewWidth = ClampInt(Trunc(Width * f));
  NewHeight = ClampInt(Trunc(Height * f));
  if (NewWidth == 0) NewWidth = 1;
  if (NewHeight == 0) NewHeight = 1;
}

void IEIncludePointInRect(TRect& Rect, Integer X, Integer Y) {
  Rect.Left = std::min(Rect.Left, X);
  Rect.Top = std::min(Rect.Top, Y);
  Rect.Right = std::max(Rect.Right, X);
  Rect.Bottom = std::max(Rect.Bottom, Y);
}

namespace {

// The raised frame on either canvas: Color1 on the left and top edges,
// Color2 on the bottom and right ones.
template <class TAnyCanvas>
void Draw3DRect(TAnyCanvas* Canvas, Integer X1, Integer Y1, Integer X2, Integer Y2, TColor Color1, TColor Color2) {
  auto* pen = Canvas->Pen();
  pen->SetWidth(1);
  pen->SetStyle(psSolid);
  pen->SetMode(pmCopy);
  pen->SetColor(Color1);
  Canvas->MoveTo(X1, Y2);
  Canvas->LineTo(X1, Y1);
  Canvas->LineTo(X2, Y1);
  pen->SetColor(Color2);
  Canvas->MoveTo(X1, Y2);
  Canvas->LineTo(X2, Y2);
  Canvas->LineTo(X2, Y1);
}

}  // namespace

void IEDraw3DRect(TCanvas* Canvas, Integer X1, Integer Y1, Integer X2, Integer Y2, TColor Color1, TColor Color2) {
  Draw3DRect(Canvas, X1, Y1, X2, Y2, Color1, Color2);
}

void IEDraw3DRectGdiPlus(TIECanvas* Canvas, Integer X1, Integer Y1, Integer X2, Integer Y2, TColor Color1,
                         TColor Color2) {
  Draw3DRect(Canvas, X1, Y1, X2, Y2, Color1, Color2);
}

void IEShadeOutsideRect(TCanvas* Canvas, Integer X, Integer Y, Integer Width, Integer Height, Integer InnerLeft,
                        Integer InnerTop, Integer InnerRight, Integer InnerBottom) {
  if (InnerLeft >= InnerRight || InnerTop >= InnerBottom) return;
  TIECanvas c(Canvas, false, true);
  c.Brush()->SetColor(clBlack);
  c.Brush()->SetStyle(bsSolid);
  c.Brush()->SetTransparency(150);
  const Integer r = X + Width + 1, b = Y + Height + 1;
  c.FillRect(TRect(X, Y, InnerLeft + 2, b));
  c.FillRect(TRect(InnerRight, Y, r, b));
  c.FillRect(TRect(InnerLeft + 1, Y, InnerRight + 1, InnerTop + 2));
  c.FillRect(TRect(InnerLeft + 1, InnerBottom + 1, InnerRight + 1, b));
}

void IESetGrayColorTable(TBitmap* Bitmap) {
  const Integer n = std::min(Bitmap->ColorTableSize(), 256);
  for (Integer i = 0; i < n; ++i) {
    RGBQUAD q;
    q.rgbBlue = q.rgbGreen = q.rgbRed = static_cast<BYTE>(i);
    Bitmap->SetColorTableEntry(i, q);
  }
}

bool IEIsGrayColorTable(TBitmap* Bitmap) {
  const Integer n = Bitmap->ColorTableSize();
  for (Integer i = 0; i < n; ++i) {
    const RGBQUAD q = Bitmap->ColorTableEntry(i);
    if (q.rgbRed != i || q.rgbGreen != i || q.rgbBlue != i) return false;
  }
  return true;
}

void IECopyDIBColorTable(TBitmap* Bitmap, TIEBitmap* Dest) {
  if (Bitmap->PixelFormat() != pf8bit || Dest->PixelFormat() != ie8p) return;
  const Integer n = std::min(Bitmap->ColorTableSize(), 256);
  for (Integer i = 0; i < n; ++i) {
    const RGBQUAD q = Bitmap->ColorTableEntry(i);
    Dest->SetPaletteColor(i, IEMakeRGB(q.rgbRed, q.rgbGreen, q.rgbBlue));
  }
}

Byte IECosineTable[256] = {};

void IEBuildCosineTable() {
  // One formula for the table and the blend: the blend's own curve.
  const Byte* curve = IEBlendCosineCurve();
  std::copy(curve, curve + 256, IECosineTable);
}

namespace {
const TIEStartupRegistrar g_CosineTableStep(iessCosineTable, "cosine table", [] { IEBuildCosineTable(); }, nullptr);
}  // namespace
