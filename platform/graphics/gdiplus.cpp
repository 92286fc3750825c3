// The GDI+ stand-in: every call paints with QPainter into a premultiplied
// copy of the touched part of the device context's pixels and writes back the
// pixels that changed, clipped like GDI drawing.
#include "platform/graphics/gdiplus.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QPolygonF>
#include <QRegion>
#include <QTransform>
#include <atomic>
#include <cmath>
#include <cstring>
#include <mutex>

#include "platform/graphics/gdi_private.h"

struct GpGraphics {
  HDC DC = nullptr;
  GpSmoothingMode Smoothing = Gdiplus::SmoothingModeDefault;
  QTransform World;
};

struct GpPen {
  ARGB Color = 0xFF000000u;
  REAL Width = 1;
  GpDashStyle Dash = Gdiplus::DashStyleSolid;
  QList<qreal> Custom;
  GpLineJoin Join = Gdiplus::LineJoinMiter;
};

struct GpPath {
  QPainterPath Path;
};

struct GpMatrix {
  QTransform M;
};

namespace {

using namespace gdi;

QPen QtPen(const GpPen* P) {
  QPen q(QColor::fromRgba(P->Color));
  q.setWidthF(P->Width);
  q.setCapStyle(Qt::FlatCap);
  switch (P->Join) {
    case Gdiplus::LineJoinBevel: q.setJoinStyle(Qt::BevelJoin); break;
    case Gdiplus::LineJoinRound: q.setJoinStyle(Qt::RoundJoin); break;
    case Gdiplus::LineJoinMiterClipped: q.setJoinStyle(Qt::SvgMiterJoin); break;
    default: q.setJoinStyle(Qt::MiterJoin);
  }
  q.setMiterLimit(10);
  // Dash lengths are multiples of the pen width in both systems.
  switch (P->Dash) {
    case Gdiplus::DashStyleDash: q.setDashPattern({3, 1}); break;
    case Gdiplus::DashStyleDot: q.setDashPattern({1, 1}); break;
    case Gdiplus::DashStyleDashDot: q.setDashPattern({3, 1, 1, 1}); break;
    case Gdiplus::DashStyleDashDotDot: q.setDashPattern({3, 1, 1, 1, 1, 1}); break;
    case Gdiplus::DashStyleCustom:
      if (!P->Custom.isEmpty()) q.setDashPattern(P->Custom);
      break;
    default: break;
  }
  return q;
}

QBrush QtBrush(const GpBrush* B) {
  if (B->Hatch < 0) return QBrush(QColor::fromRgba(B->Fore));
  QImage tile(8, 8, QImage::Format_ARGB32);
  const Integer h = std::clamp(B->Hatch, 0, 5);
  for (Integer y = 0; y < 8; ++y)
    for (Integer x = 0; x < 8; ++x)
      tile.setPixel(x, y, ((HatchBits[h][y] >> (7 - x)) & 1) ? B->Fore : B->Back);
  return QBrush(tile);
}

// Paints Draw into the DC's pixels inside the device rectangle that Bounds
// (in GDI+ coordinates, pen included) covers.
template <class F>
GpStatus Paint(GpGraphics* G, const QRectF& Bounds, F&& Draw) {
  if (!G) return Gdiplus::InvalidParameter;
  TDCObj* dc = LookupDC(G->DC);
  if (!dc) return Gdiplus::Win32Error;
  TTarget tg(dc);
  if (!tg.Valid()) return Gdiplus::Ok;
  // GDI+ puts pixel centres on whole coordinates; Qt on halves.
  const QTransform toDevice = G->World * QTransform::fromTranslate(dc->S.ViewportOrg.X - dc->S.WindowOrg.X + 0.5,
                                                                   dc->S.ViewportOrg.Y - dc->S.WindowOrg.Y + 0.5);
  const QRectF db = toDevice.mapRect(Bounds);
  TRect area(static_cast<Integer>(std::floor(db.left())) - 1, static_cast<Integer>(std::floor(db.top())) - 1,
             static_cast<Integer>(std::ceil(db.right())) + 1, static_cast<Integer>(std::ceil(db.bottom())) + 1);
  if (!std::isfinite(db.left()) || !IntersectRect(area, area, tg.ClipBox())) return Gdiplus::Ok;
  const Integer w = area.Width(), h = area.Height();
  QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
  if (img.isNull()) return Gdiplus::OutOfMemory;
  const TGdiPixels& px = tg.Px;
  for (Integer y = 0; y < h; ++y) {
    auto* row = reinterpret_cast<QRgb*>(img.scanLine(y));
    for (Integer x = 0; x < w; ++x) {
      const COLORREF c = PixelToColor(px, ReadPixel(px, area.Left + x, area.Top + y));
      row[x] = qRgb(GetRValue(c), GetGValue(c), GetBValue(c));
    }
  }
  const QImage before = img.copy();
  {
    QPainter p(&img);
    const bool aa = G->Smoothing == Gdiplus::SmoothingModeAntiAlias || G->Smoothing == Gdiplus::SmoothingModeHighQuality ||
                    G->Smoothing == Gdiplus::SmoothingModeAntiAlias8x8;
    p.setRenderHint(QPainter::Antialiasing, aa);
    if (!tg.ClipIsRect) {
      QRegion clip;
      tg.Clip.ForEachSpan([&](Integer y, Integer x0, Integer x1) {
        if (y >= area.Top && y < area.Bottom) clip += QRect(x0 - area.Left, y - area.Top, x1 - x0, 1);
      });
      p.setClipRegion(clip);
    }
    const QTransform t = toDevice * QTransform::fromTranslate(-area.Left, -area.Top);
    p.setTransform(t);
    Draw(p, t * QTransform::fromTranslate(area.Left, area.Top));
  }
  for (Integer y = 0; y < h; ++y) {
    const auto* now = reinterpret_cast<const QRgb*>(img.constScanLine(y));
    const auto* was = reinterpret_cast<const QRgb*>(before.constScanLine(y));
    tg.ClipSpan(area.Top + y, area.Left, area.Right, [&](Integer yy, Integer x0, Integer x1) {
      for (Integer x = x0; x < x1; ++x) {
        const QRgb v = now[x - area.Left];
        if (v == was[x - area.Left]) continue;
        WritePixel(px, x, yy, ColorToPixel(px, RGB(qRed(v), qGreen(v), qBlue(v)), dc));
      }
    });
  }
  tg.Touch(area);
  return Gdiplus::Ok;
}

QRectF Grow(const QRectF& R, const GpPen* P) {
  // Room for the pen, with mitred corners.
  const qreal g = P ? std::max<qreal>(1, P->Width) * 6 + 2 : 2;
  return R.normalized().adjusted(-g, -g, g, g);
}

QPainterPath ArcPath(REAL X, REAL Y, REAL W, REAL H, REAL Start, REAL Sweep) {
  QPainterPath p;
  const QRectF r(X, Y, W, H);
  // GDI+ angles are directions from the centre; Qt's run along the ellipse
  // as if it were a circle stretched to the box. The two agree only for
  // circles and at multiples of 90 degrees. Qt also turns the other way.
  auto along = [&](double Deg) {
    if (W <= 0 || H <= 0) return Deg;
    const double a = Deg * M_PI / 180;
    // The same number of whole turns, then the matching point's angle.
    const double turns = std::floor(Deg / 360);
    double t = std::atan2(std::sin(a) * W, std::cos(a) * H) * 180 / M_PI;
    if (t < 0) t += 360;
    return turns * 360 + t;
  };
  const double s = along(Start);
  double e = along(double(Start) + Sweep);
  // The sweep keeps its direction and size in whole turns.
  if (Sweep >= 0)
    while (e < s) e += 360;
  else
    while (e > s) e -= 360;
  if (std::fabs(Sweep) >= 360) e = s + Sweep;
  p.arcMoveTo(r, -s);
  p.arcTo(r, -s, -(e - s));
  return p;
}

// The pen for open lines. Whole coordinates fall exactly on pixel centres,
// and Qt's one-pixel line with flat ends settles that tie by leaving out the
// end pixel at the left or top, whichever way the line runs. An aliased line
// of GDI+ covers both end points; the square end of Qt's hairline gives
// exactly those (it adds no pixel beyond them). Dashes keep their flat ends,
// which would otherwise grow into the gaps.
QPen LinePen(const QPainter& P, const GpPen* Pen) {
  QPen pen = QtPen(Pen);
  if (!P.testRenderHint(QPainter::Antialiasing) && Pen->Width <= 1 && pen.style() == Qt::SolidLine)
    pen.setCapStyle(Qt::SquareCap);
  return pen;
}

// Thin outlines of curves and paths. Qt draws pens up to one pixel wide with
// a separate hairline stroker that walks each segment in its own direction:
// aliased, a symmetric ellipse or rounded rectangle comes out lopsided;
// smoothed, it leaves a faint pixel where a figure starts and ends. Filling
// the outline of the stroke, as Qt does for wider pens anyway, takes the
// pixel centres inside the band and so gives the same pixels under every
// mirroring and a seamless join.
void StrokeCurve(QPainter& P, const QPainterPath& Path, const GpPen* Pen) {
  const QPen pen = QtPen(Pen);
  if (Pen->Width > 1) {
    P.strokePath(Path, pen);
    return;
  }
  // Without smoothing GDI+ draws a thinner pen one pixel wide; a pen of
  // width 0 is one pixel wide either way.
  const bool aa = P.testRenderHint(QPainter::Antialiasing);
  const qreal width = aa && Pen->Width > 0 ? Pen->Width : 1;
  QPainterPathStroker stroker(pen);
  stroker.setWidth(width);
  // A one-pixel pen shows no join of its own, and must not reach past a point
  // where the path doubles back: a clipped mitre would run several pixels
  // on, a round join half a pixel (onto the next pixel centre). Right angles
  // keep their square corner; sharper turns are bevelled.
  stroker.setJoinStyle(Qt::SvgMiterJoin);
  stroker.setMiterLimit(2);
  // Open ends take their end pixels, as aliased lines do (see LinePen).
  if (!aa && pen.style() == Qt::SolidLine) stroker.setCapStyle(Qt::SquareCap);
  // Dash lengths are multiples of the pen's own width, not the band's.
  if (Pen->Dash != Gdiplus::DashStyleSolid && Pen->Width > 0 && width != Pen->Width) {
    QList<qreal> dashes = pen.dashPattern();
    for (qreal& d : dashes) d *= Pen->Width / width;
    stroker.setDashPattern(dashes);
  }
  P.fillPath(stroker.createStroke(Path), QColor::fromRgba(Pen->Color));
}

// Aliased fills take a pixel when its centre lies in [left, right) x [top,
// bottom). Whole coordinates fall exactly on pixel centres, and Qt settles
// such ties the other way (it takes the right and bottom edge, not the left
// and top), which moved every filled rectangle one pixel right and down. The
// edges are therefore moved to the pixel boundaries that the rule selects
// before Qt sees them. Returns the rectangle in the caller's coordinates.
QRectF AliasedFillRect(const QRectF& R, const QTransform& ToDevice) {
  const QRectF d = ToDevice.mapRect(R.normalized());
  const qreal l = std::ceil(d.left() - 0.5), t = std::ceil(d.top() - 0.5);
  const qreal r = std::ceil(d.right() - 0.5), b = std::ceil(d.bottom() - 0.5);
  if (r <= l || b <= t) return QRectF();
  return ToDevice.inverted().mapRect(QRectF(l, t, r - l, b - t));
}

struct TLibrary {
  std::mutex Lock;
  Integer Count = 0;
  bool Fail = false;
  std::atomic<ULONG_PTR> Tokens{0};
};

TLibrary& Lib() {
  static TLibrary* l = new TLibrary;
  return *l;
}

}  // namespace

struct GtGdiPlusLibrary {
  Integer Id = 0;
};

GpStatus GdiplusStartup(ULONG_PTR* Token, const Gdiplus::GdiplusStartupInput* Input, Gdiplus::GdiplusStartupOutput* Output) {
  if (!Token || !Input) return Gdiplus::InvalidParameter;
  if (Input->GdiplusVersion != 1) return Gdiplus::UnsupportedGdiplusVersion;
  if (Output) *Output = Gdiplus::GdiplusStartupOutput();
  *Token = ++Lib().Tokens;
  return Gdiplus::Ok;
}

void GdiplusShutdown(ULONG_PTR Token) { (void)Token; }

GpStatus GdipCreateFromHDC(HDC DC, GpGraphics** Graphics) {
  if (!Graphics) return Gdiplus::InvalidParameter;
  *Graphics = nullptr;
  if (!LookupDC(DC)) return Gdiplus::OutOfMemory;  // what GDI+ answers for a bad DC
  *Graphics = new GpGraphics;
  (*Graphics)->DC = DC;
  return Gdiplus::Ok;
}

GpStatus GdipDeleteGraphics(GpGraphics* Graphics) {
  if (!Graphics) return Gdiplus::InvalidParameter;
  delete Graphics;
  return Gdiplus::Ok;
}

GpStatus GdipSetSmoothingMode(GpGraphics* Graphics, GpSmoothingMode Mode) {
  if (!Graphics || Mode < Gdiplus::SmoothingModeDefault || Mode > Gdiplus::SmoothingModeAntiAlias8x8)
    return Gdiplus::InvalidParameter;
  Graphics->Smoothing = Mode;
  return Gdiplus::Ok;
}

GpStatus GdipGetSmoothingMode(GpGraphics* Graphics, GpSmoothingMode* Mode) {
  if (!Graphics || !Mode) return Gdiplus::InvalidParameter;
  *Mode = Graphics->Smoothing;
  return Gdiplus::Ok;
}

GpStatus GdipCreatePen1(ARGB Color, REAL Width, GpUnit Unit, GpPen** Pen) {
  if (!Pen || !(Width >= 0)) return Gdiplus::InvalidParameter;
  (void)Unit;
  *Pen = new GpPen;
  (*Pen)->Color = Color;
  (*Pen)->Width = Width;
  return Gdiplus::Ok;
}

GpStatus GdipDeletePen(GpPen* Pen) {
  if (!Pen) return Gdiplus::InvalidParameter;
  delete Pen;
  return Gdiplus::Ok;
}

GpStatus GdipSetPenWidth(GpPen* Pen, REAL Width) {
  if (!Pen || !(Width >= 0)) return Gdiplus::InvalidParameter;
  Pen->Width = Width;
  return Gdiplus::Ok;
}

GpStatus GdipSetPenColor(GpPen* Pen, ARGB Color) {
  if (!Pen) return Gdiplus::InvalidParameter;
  Pen->Color = Color;
  return Gdiplus::Ok;
}

GpStatus GdipSetPenDashStyle(GpPen* Pen, GpDashStyle Style) {
  if (!Pen || Style < Gdiplus::DashStyleSolid || Style > Gdiplus::DashStyleCustom) return Gdiplus::InvalidParameter;
  Pen->Dash = Style;
  return Gdiplus::Ok;
}

GpStatus GdipSetPenDashArray(GpPen* Pen, const REAL* Dashes, Integer Count) {
  if (!Pen || !Dashes || Count <= 0) return Gdiplus::InvalidParameter;
  Pen->Custom.clear();
  for (Integer i = 0; i < Count; ++i) {
    if (!(Dashes[i] > 0)) return Gdiplus::InvalidParameter;
    Pen->Custom.push_back(Dashes[i]);
  }
  Pen->Dash = Gdiplus::DashStyleCustom;
  return Gdiplus::Ok;
}

GpStatus GdipSetPenLineJoin(GpPen* Pen, GpLineJoin Join) {
  if (!Pen) return Gdiplus::InvalidParameter;
  Pen->Join = Join;
  return Gdiplus::Ok;
}

GpStatus GdipCreateSolidFill(ARGB Color, GpSolidFill** Brush) {
  if (!Brush) return Gdiplus::InvalidParameter;
  *Brush = new GpSolidFill;
  (*Brush)->Fore = Color;
  return Gdiplus::Ok;
}

GpStatus GdipCreateHatchBrush(GpHatchStyle Style, ARGB Fore, ARGB Back, GpHatch** Brush) {
  if (!Brush || Style < Gdiplus::HatchStyleHorizontal || Style > Gdiplus::HatchStyleDiagonalCross)
    return Gdiplus::InvalidParameter;
  *Brush = new GpHatch;
  (*Brush)->Fore = Fore;
  (*Brush)->Back = Back;
  (*Brush)->Hatch = Style;
  return Gdiplus::Ok;
}

GpStatus GdipDeleteBrush(GpBrush* Brush) {
  if (!Brush) return Gdiplus::InvalidParameter;
  delete Brush;
  return Gdiplus::Ok;
}

GpStatus GdipDrawLine(GpGraphics* Graphics, GpPen* Pen, REAL X1, REAL Y1, REAL X2, REAL Y2) {
  if (!Pen) return Gdiplus::InvalidParameter;
  const QLineF l(X1, Y1, X2, Y2);
  return Paint(Graphics, Grow(QRectF(l.p1(), l.p2()), Pen), [&](QPainter& p, const QTransform&) {
    p.setPen(LinePen(p, Pen));
    p.drawLine(l);
  });
}

GpStatus GdipDrawRectangle(GpGraphics* Graphics, GpPen* Pen, REAL X, REAL Y, REAL Width, REAL Height) {
  if (!Pen) return Gdiplus::InvalidParameter;
  const QRectF r(X, Y, Width, Height);
  return Paint(Graphics, Grow(r, Pen), [&](QPainter& p, const QTransform&) {
    p.setPen(QtPen(Pen));
    p.setBrush(Qt::NoBrush);
    p.drawRect(r);
  });
}

namespace {
template <class FDraw>
GpStatus FillWith(GpGraphics* Graphics, GpBrush* Brush, const QRectF& Bounds, FDraw&& Shape) {
  if (!Brush) return Gdiplus::InvalidParameter;
  return Paint(Graphics, Grow(Bounds, nullptr), [&](QPainter& p, const QTransform& toDevice) {
    QBrush b = QtBrush(Brush);
    // Hatches line up with the device's pixel grid.
    if (Brush->Hatch >= 0) b.setTransform(toDevice.inverted());
    p.setPen(Qt::NoPen);
    p.setBrush(b);
    Shape(p, toDevice);
  });
}
}  // namespace

GpStatus GdipFillRectangle(GpGraphics* Graphics, GpBrush* Brush, REAL X, REAL Y, REAL Width, REAL Height) {
  const QRectF r(X, Y, Width, Height);
  return FillWith(Graphics, Brush, r, [&](QPainter& p, const QTransform& toDevice) {
    // A rotated or sheared rectangle is a polygon like any other.
    if (p.testRenderHint(QPainter::Antialiasing) || toDevice.type() > QTransform::TxScale) {
      p.drawRect(r);
      return;
    }
    const QRectF snapped = AliasedFillRect(r, toDevice);
    if (!snapped.isEmpty()) p.drawRect(snapped);
  });
}

GpStatus GdipDrawEllipse(GpGraphics* Graphics, GpPen* Pen, REAL X, REAL Y, REAL Width, REAL Height) {
  if (!Pen) return Gdiplus::InvalidParameter;
  const QRectF r(X, Y, Width, Height);
  return Paint(Graphics, Grow(r, Pen), [&](QPainter& p, const QTransform&) {
    QPainterPath e;
    e.addEllipse(r);
    StrokeCurve(p, e, Pen);
  });
}

GpStatus GdipFillEllipse(GpGraphics* Graphics, GpBrush* Brush, REAL X, REAL Y, REAL Width, REAL Height) {
  const QRectF r(X, Y, Width, Height);
  return FillWith(Graphics, Brush, r, [&](QPainter& p, const QTransform&) { p.drawEllipse(r); });
}

namespace {
QPolygonF Poly(const GpPoint* Points, Integer Count) {
  QPolygonF q;
  for (Integer i = 0; i < Count; ++i) q << QPointF(Points[i].X, Points[i].Y);
  return q;
}
}  // namespace

GpStatus GdipDrawPolygonI(GpGraphics* Graphics, GpPen* Pen, const GpPoint* Points, Integer Count) {
  if (!Pen || !Points || Count < 2) return Gdiplus::InvalidParameter;
  const QPolygonF q = Poly(Points, Count);
  return Paint(Graphics, Grow(q.boundingRect(), Pen), [&](QPainter& p, const QTransform&) {
    p.setPen(QtPen(Pen));
    p.setBrush(Qt::NoBrush);
    p.drawPolygon(q);
  });
}

GpStatus GdipFillPolygonI(GpGraphics* Graphics, GpBrush* Brush, const GpPoint* Points, Integer Count, GpFillMode Mode) {
  if (!Points || Count < 3) return Gdiplus::InvalidParameter;
  const QPolygonF q = Poly(Points, Count);
  return FillWith(Graphics, Brush, q.boundingRect(), [&](QPainter& p, const QTransform&) {
    p.drawPolygon(q, Mode == Gdiplus::FillModeWinding ? Qt::WindingFill : Qt::OddEvenFill);
  });
}

GpStatus GdipDrawLinesI(GpGraphics* Graphics, GpPen* Pen, const GpPoint* Points, Integer Count) {
  if (!Pen || !Points || Count < 2) return Gdiplus::InvalidParameter;
  const QPolygonF q = Poly(Points, Count);
  return Paint(Graphics, Grow(q.boundingRect(), Pen), [&](QPainter& p, const QTransform&) {
    p.setPen(LinePen(p, Pen));
    p.drawPolyline(q);
  });
}

GpStatus GdipDrawArc(GpGraphics* Graphics, GpPen* Pen, REAL X, REAL Y, REAL Width, REAL Height, REAL StartAngle,
                     REAL SweepAngle) {
  if (!Pen) return Gdiplus::InvalidParameter;
  const QPainterPath a = ArcPath(X, Y, Width, Height, StartAngle, SweepAngle);
  return Paint(Graphics, Grow(QRectF(X, Y, Width, Height), Pen), [&](QPainter& p, const QTransform&) {
    StrokeCurve(p, a, Pen);
  });
}

GpStatus GdipCreatePath(GpFillMode Mode, GpPath** Path) {
  if (!Path) return Gdiplus::InvalidParameter;
  *Path = new GpPath;
  (*Path)->Path.setFillRule(Mode == Gdiplus::FillModeWinding ? Qt::WindingFill : Qt::OddEvenFill);
  return Gdiplus::Ok;
}

GpStatus GdipDeletePath(GpPath* Path) {
  if (!Path) return Gdiplus::InvalidParameter;
  delete Path;
  return Gdiplus::Ok;
}

GpStatus GdipAddPathArc(GpPath* Path, REAL X, REAL Y, REAL Width, REAL Height, REAL StartAngle, REAL SweepAngle) {
  if (!Path) return Gdiplus::InvalidParameter;
  const QRectF r(X, Y, Width, Height);
  // A figure's segments join: a new arc is linked to the end of the last one.
  // A fresh path is not element-free (setting its fill rule leaves a move to
  // the origin), so "nothing drawn yet" is asked with isEmpty(); otherwise
  // the first segment would be tied to (0, 0) by a stray line.
  if (Path->Path.isEmpty()) Path->Path.arcMoveTo(r, -StartAngle);
  Path->Path.arcTo(r, -StartAngle, -SweepAngle);
  return Gdiplus::Ok;
}

GpStatus GdipAddPathLine(GpPath* Path, REAL X1, REAL Y1, REAL X2, REAL Y2) {
  if (!Path) return Gdiplus::InvalidParameter;
  if (Path->Path.isEmpty()) Path->Path.moveTo(X1, Y1);
  else Path->Path.lineTo(X1, Y1);
  Path->Path.lineTo(X2, Y2);
  return Gdiplus::Ok;
}

GpStatus GdipDrawPath(GpGraphics* Graphics, GpPen* Pen, GpPath* Path) {
  if (!Pen || !Path) return Gdiplus::InvalidParameter;
  return Paint(Graphics, Grow(Path->Path.boundingRect(), Pen),
               [&](QPainter& p, const QTransform&) { StrokeCurve(p, Path->Path, Pen); });
}

GpStatus GdipFillPath(GpGraphics* Graphics, GpBrush* Brush, GpPath* Path) {
  if (!Path) return Gdiplus::InvalidParameter;
  return FillWith(Graphics, Brush, Path->Path.boundingRect(),
                  [&](QPainter& p, const QTransform&) { p.drawPath(Path->Path); });
}

GpStatus GdipCreateMatrix(GpMatrix** Matrix) {
  if (!Matrix) return Gdiplus::InvalidParameter;
  *Matrix = new GpMatrix;
  return Gdiplus::Ok;
}

GpStatus GdipCreateMatrix2(REAL M11, REAL M12, REAL M21, REAL M22, REAL DX, REAL DY, GpMatrix** Matrix) {
  if (!Matrix) return Gdiplus::InvalidParameter;
  *Matrix = new GpMatrix;
  (*Matrix)->M = QTransform(M11, M12, M21, M22, DX, DY);
  return Gdiplus::Ok;
}

GpStatus GdipDeleteMatrix(GpMatrix* Matrix) {
  if (!Matrix) return Gdiplus::InvalidParameter;
  delete Matrix;
  return Gdiplus::Ok;
}

GpStatus GdipSetWorldTransform(GpGraphics* Graphics, GpMatrix* Matrix) {
  if (!Graphics || !Matrix) return Gdiplus::InvalidParameter;
  Graphics->World = Matrix->M;
  return Gdiplus::Ok;
}

GpStatus GdipGetWorldTransform(GpGraphics* Graphics, GpMatrix* Matrix) {
  if (!Graphics || !Matrix) return Gdiplus::InvalidParameter;
  Matrix->M = Graphics->World;
  return Gdiplus::Ok;
}

GpStatus GdipResetWorldTransform(GpGraphics* Graphics) {
  if (!Graphics) return Gdiplus::InvalidParameter;
  Graphics->World = QTransform();
  return Gdiplus::Ok;
}

GpStatus GdipGetMatrixElements(const GpMatrix* Matrix, REAL* Elements) {
  if (!Matrix || !Elements) return Gdiplus::InvalidParameter;
  const QTransform& m = Matrix->M;
  const qreal v[6] = {m.m11(), m.m12(), m.m21(), m.m22(), m.dx(), m.dy()};
  for (int i = 0; i < 6; ++i) Elements[i] = static_cast<REAL>(v[i]);
  return Gdiplus::Ok;
}

// ---------------------------------------------------------------- the library

GtGdiPlusLibrary* GtLoadGdiPlus() {
  TLibrary& l = Lib();
  std::lock_guard<std::mutex> g(l.Lock);
  if (l.Fail) return nullptr;
  ++l.Count;
  static GtGdiPlusLibrary theLibrary;
  return &theLibrary;
}

void GtFreeGdiPlus(GtGdiPlusLibrary* Library) {
  if (!Library) return;
  TLibrary& l = Lib();
  std::lock_guard<std::mutex> g(l.Lock);
  if (l.Count > 0) --l.Count;
}

void GtSetGdiPlusLoadFails(bool Fail) {
  TLibrary& l = Lib();
  std::lock_guard<std::mutex> g(l.Lock);
  l.Fail = Fail;
}

Integer GtGdiPlusLoadCount() {
  TLibrary& l = Lib();
  std::lock_guard<std::mutex> g(l.Lock);
  return l.Count;
}

void* GtGdiPlusProc(GtGdiPlusLibrary* Library, const char* Name) {
  if (!Library || !Name) return nullptr;
  struct TEntry {
    const char* Name;
    void* Proc;
  };
#define GT_ENTRY(F) {#F, reinterpret_cast<void*>(&F)}
  static const TEntry kEntries[] = {
      GT_ENTRY(GdiplusStartup),      GT_ENTRY(GdiplusShutdown),      GT_ENTRY(GdipCreateFromHDC),
      GT_ENTRY(GdipDeleteGraphics),  GT_ENTRY(GdipCreatePen1),       GT_ENTRY(GdipDeletePen),
      GT_ENTRY(GdipDrawLine),        GT_ENTRY(GdipSetSmoothingMode), GT_ENTRY(GdipSetPenWidth),
      GT_ENTRY(GdipSetPenColor),     GT_ENTRY(GdipSetPenDashStyle),  GT_ENTRY(GdipDeleteBrush),
      GT_ENTRY(GdipCreateSolidFill), GT_ENTRY(GdipFillRectangle),    GT_ENTRY(GdipDrawRectangle),
      GT_ENTRY(GdipCreateHatchBrush), GT_ENTRY(GdipDrawEllipse),     GT_ENTRY(GdipFillEllipse),
      GT_ENTRY(GdipDrawPolygonI),    GT_ENTRY(GdipFillPolygonI),     GT_ENTRY(GdipDrawLinesI),
      GT_ENTRY(GdipDrawArc),         GT_ENTRY(GdipCreatePath),       GT_ENTRY(GdipAddPathArc),
      GT_ENTRY(GdipDrawPath),        GT_ENTRY(GdipFillPath),         GT_ENTRY(GdipDeletePath),
      GT_ENTRY(GdipAddPathLine),     GT_ENTRY(GdipSetPenLineJoin),   GT_ENTRY(GdipSetPenDashArray),
      GT_ENTRY(GdipSetWorldTransform), GT_ENTRY(GdipGetWorldTransform), GT_ENTRY(GdipResetWorldTransform),
      GT_ENTRY(GdipCreateMatrix),    GT_ENTRY(GdipCreateMatrix2),    GT_ENTRY(GdipDeleteMatrix),
      GT_ENTRY(GdipGetSmoothingMode), GT_ENTRY(GdipGetMatrixElements),
  };
#undef GT_ENTRY
  for (const TEntry& e : kEntries)
    if (std::strcmp(e.Name, Name) == 0) return e.Proc;
  return nullptr;
}
