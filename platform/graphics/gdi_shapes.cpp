// Lines, polygons, rectangles, ellipses and arcs. Every primitive becomes a
// region of pixels for its interior and one for its outline, so that each
// pixel is painted at most once per call and raster operations stay exact.
// Outlines and fills sample pixel centres; curved and wide outlines are
// stroked through Qt's path stroker and filled by our own scan converter.
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QPolygonF>
#include <QTransform>
#include <algorithm>
#include <cmath>

#include "platform/graphics/gdi_private.h"

namespace gdi {

std::vector<TSpan> FillPolygons(const std::vector<TPolyD>& Polys, bool Winding, const TRect& Limit) {
  struct TEdge {
    double YTop, YBot, XTop, DxDy;
    Integer Dir;
  };
  std::vector<TEdge> edges;
  double minY = 1e300, maxY = -1e300;
  for (const TPolyD& p : Polys) {
    const size_t n = p.size();
    if (n < 2) continue;
    for (size_t i = 0; i < n; ++i) {
      const TPointD& a = p[i];
      const TPointD& b = p[(i + 1) % n];
      if (!std::isfinite(a.X) || !std::isfinite(a.Y) || !std::isfinite(b.X) || !std::isfinite(b.Y)) continue;
      if (a.Y == b.Y) continue;
      TEdge e;
      if (a.Y < b.Y) {
        e = TEdge{a.Y, b.Y, a.X, (b.X - a.X) / (b.Y - a.Y), 1};
      } else {
        e = TEdge{b.Y, a.Y, b.X, (a.X - b.X) / (a.Y - b.Y), -1};
      }
      edges.push_back(e);
      minY = std::min(minY, e.YTop);
      maxY = std::max(maxY, e.YBot);
    }
  }
  std::vector<TSpan> out;
  if (edges.empty() || IsRectEmpty(Limit)) return out;
  std::sort(edges.begin(), edges.end(), [](const TEdge& a, const TEdge& b) { return a.YTop < b.YTop; });
  // Row y is sampled at y + 0.5; rows whose centre lies in [minY, maxY).
  const double fy0 = std::max<double>(Limit.Top, std::ceil(minY - 0.5));
  const double fy1 = std::min<double>(Limit.Bottom, std::ceil(maxY - 0.5));
  if (fy0 >= fy1) return out;
  const Integer y0 = static_cast<Integer>(fy0), y1 = static_cast<Integer>(fy1);
  std::vector<const TEdge*> active;
  std::vector<std::pair<double, Integer>> xs;
  size_t next = 0;
  for (Integer y = y0; y < y1; ++y) {
    const double yc = y + 0.5;
    while (next < edges.size() && edges[next].YTop <= yc) active.push_back(&edges[next++]);
    active.erase(std::remove_if(active.begin(), active.end(), [&](const TEdge* e) { return e->YBot <= yc; }),
                 active.end());
    xs.clear();
    for (const TEdge* e : active)
      if (e->YTop <= yc) xs.emplace_back(e->XTop + (yc - e->YTop) * e->DxDy, e->Dir);
    if (xs.size() < 2) continue;
    std::sort(xs.begin(), xs.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    auto addSpan = [&](double xa, double xb) {
      double a = std::ceil(xa - 0.5), b = std::ceil(xb - 0.5);
      a = std::max<double>(a, Limit.Left);
      b = std::min<double>(b, Limit.Right);
      if (a < b) out.push_back(TSpan{y, static_cast<Integer>(a), static_cast<Integer>(b)});
    };
    if (!Winding) {
      for (size_t i = 0; i + 1 < xs.size(); i += 2) addSpan(xs[i].first, xs[i + 1].first);
    } else {
      Integer w = 0;
      double start = 0;
      for (const auto& c : xs) {
        const Integer before = w;
        w += c.second;
        if (before == 0 && w != 0) start = c.first;
        else if (before != 0 && w == 0) addSpan(start, c.first);
      }
    }
  }
  return out;
}

namespace {

constexpr double kPi = 3.14159265358979323846;

std::vector<TPolyD> ToPolys(const QPainterPath& Path) {
  std::vector<TPolyD> polys;
  const QList<QPolygonF> fill = Path.toFillPolygons();
  for (const QPolygonF& pg : fill) {
    TPolyD p;
    p.reserve(static_cast<size_t>(pg.size()));
    for (const QPointF& q : pg) p.push_back({q.x(), q.y()});
    polys.push_back(std::move(p));
  }
  return polys;
}

TRegion FillPath(const QPainterPath& Path, bool Winding, const TRect& Limit) {
  return TRegion::FromSpans(FillPolygons(ToPolys(Path), Winding, Limit));
}

// What a DC's pen draws.
struct TPen {
  bool Null = true;
  bool Cosmetic = true;   // one device pixel, styled by pixel counts
  bool InsideFrame = false;
  double Width = 1;       // device pixels for wide pens
  COLORREF Color = 0;
  std::vector<Integer> Dashes;  // on/off pixel counts (cosmetic) or width multiples (wide)
  Qt::PenCapStyle Cap = Qt::RoundCap;
  Qt::PenJoinStyle Join = Qt::RoundJoin;
};

TPen PenOf(const TDCObj* DC) {
  TPen p;
  const TPenObj* o = DC->S.Pen.get();
  if (!o) return p;
  const DWORD kind = o->Kind();
  if (kind == PS_NULL) return p;
  p.Null = false;
  p.Color = o->Color;
  const TXform t = DeviceXform(DC);
  const double scale = std::sqrt(std::fabs(t.A * t.D - t.B * t.C));
  if (o->Geometric()) {
    p.Cosmetic = false;
    p.Width = std::max(1.0, o->Width * scale);
    switch (o->Style & PS_ENDCAP_MASK) {
      case PS_ENDCAP_SQUARE: p.Cap = Qt::SquareCap; break;
      case PS_ENDCAP_FLAT: p.Cap = Qt::FlatCap; break;
      default: p.Cap = Qt::RoundCap;
    }
    switch (o->Style & PS_JOIN_MASK) {
      case PS_JOIN_BEVEL: p.Join = Qt::BevelJoin; break;
      case PS_JOIN_MITER: p.Join = Qt::MiterJoin; break;
      default: p.Join = Qt::RoundJoin;
    }
    switch (kind) {
      case PS_DASH: p.Dashes = {3, 1}; break;
      case PS_DOT: p.Dashes = {1, 1}; break;
      case PS_DASHDOT: p.Dashes = {3, 1, 1, 1}; break;
      case PS_DASHDOTDOT: p.Dashes = {3, 1, 1, 1, 1, 1}; break;
      case PS_USERSTYLE:
        for (DWORD d : o->UserStyle) p.Dashes.push_back(static_cast<Integer>(std::max<DWORD>(d, 1)));
        break;
    }
    p.InsideFrame = kind == PS_INSIDEFRAME;
    if (p.Width <= 1.0 && p.Dashes.empty() && !p.InsideFrame) p.Cosmetic = true;
    return p;
  }
  const double w = o->Width <= 1 ? 1.0 : o->Width * scale;
  if (w > 1.0) {
    // Wide pens of CreatePen are solid whatever their style, as on Windows.
    p.Cosmetic = false;
    p.Width = w;
    p.InsideFrame = kind == PS_INSIDEFRAME;
    return p;
  }
  switch (kind) {
    case PS_DASH: p.Dashes = {18, 6}; break;
    case PS_DOT: p.Dashes = {3, 3}; break;
    case PS_DASHDOT: p.Dashes = {9, 6, 3, 6}; break;
    case PS_DASHDOTDOT: p.Dashes = {9, 3, 3, 3, 3, 3}; break;
    case PS_ALTERNATE: p.Dashes = {1, 1}; break;
    case PS_USERSTYLE:
      for (DWORD d : o->UserStyle) p.Dashes.push_back(static_cast<Integer>(std::max<DWORD>(d, 1)));
      break;
  }
  return p;
}

struct TOutline {
  std::vector<TSpan> On, Off;
};

// Is step Pos of a dash pattern "on"?
bool DashOn(const std::vector<Integer>& D, Integer Pos) {
  if (D.empty()) return true;
  Integer period = 0;
  for (Integer d : D) period += d;
  Integer p = Pos % period;
  for (size_t i = 0; i < D.size(); ++i) {
    if (p < D[i]) return (i % 2) == 0;
    p -= D[i];
  }
  return true;
}

// Cosmetic polyline through device points; the last point is left out unless Closed.
void CosmeticPoly(const std::vector<TPoint>& Pts, bool Closed, const TPen& Pen, const TRect& Box, Integer& StylePos,
                  TOutline& Out) {
  const size_t n = Pts.size();
  if (n == 0) return;
  const size_t segs = Closed ? n : n - 1;
  bool any = false;
  for (size_t i = 0; i < segs; ++i) {
    const TPoint a = Pts[i], b = Pts[(i + 1) % n];
    if (a == b) continue;
    const int64_t len = std::max(std::llabs(static_cast<int64_t>(b.X) - a.X), std::llabs(static_cast<int64_t>(b.Y) - a.Y));
    LineWalk(a.X, a.Y, b.X, b.Y, Box, [&](Integer x, Integer y, int64_t step) {
      const bool on = DashOn(Pen.Dashes, static_cast<Integer>((StylePos + step) % 1000000007));
      (on ? Out.On : Out.Off).push_back(TSpan{y, x, x + 1});
    });
    StylePos = static_cast<Integer>((StylePos + len) % 1000000007);
    any = true;
  }
  // A closed figure that collapsed to one point still shows that pixel.
  if (!any && Closed && PtInRect(Box, Pts[0])) Out.On.push_back(TSpan{Pts[0].Y, Pts[0].X, Pts[0].X + 1});
}

TRegion Stroke(const QPainterPath& Path, const TPen& Pen, const TRect& Limit) {
  QPainterPathStroker st;
  st.setWidth(Pen.Cosmetic ? 1.0 : Pen.Width);
  // A cosmetic arc includes the pixels of its end points.
  st.setCapStyle(Pen.Cosmetic ? Qt::SquareCap : Pen.Cap);
  st.setJoinStyle(Pen.Cosmetic ? Qt::MiterJoin : Pen.Join);
  st.setMiterLimit(10);
  if (!Pen.Dashes.empty()) {
    QList<qreal> d;
    for (Integer v : Pen.Dashes) d.push_back(v);
    st.setDashPattern(d);
  }
  return FillPath(st.createStroke(Path), true, Limit);
}

// The work area: the clip box grown by the pen, so that strokes ending
// outside are still cut correctly.
TRect WorkBox(const TTarget& Tg, double Grow) {
  TRect b = Tg.ClipBox();
  const Integer g = static_cast<Integer>(std::ceil(Grow)) + 2;
  InflateRect(b, g, g);
  return b;
}

void PaintOutline(TTarget& Tg, const TPen& Pen, const TOutline& O) {
  TPaintOp op;
  op.Rop2 = Tg.DC->S.Rop2;
  op.Fg = ColorToPixel(Tg.Px, Pen.Color, Tg.DC);
  PaintRegion(Tg, TRegion::FromSpans(O.On), op);
  if (!O.Off.empty() && Tg.DC->S.BkMode == OPAQUE) {
    op.Fg = ColorToPixel(Tg.Px, Tg.DC->S.BkColor, Tg.DC);
    PaintRegion(Tg, TRegion::FromSpans(O.Off), op);
  }
}

void PaintFill(TTarget& Tg, const TRegion& F) {
  TPaintOp op;
  TPattern pat;
  if (BrushOp(Tg, Tg.DC->S.Brush.get(), op, pat)) PaintRegion(Tg, F, op);
}

QTransform QXform(const TDCObj* DC) {
  TXform t = DeviceXform(DC);
  return QTransform(t.A, t.B, t.C, t.D, t.E, t.F);
}

// Device points of logical ones.
std::vector<TPoint> MapPoints(const TDCObj* DC, const TPoint* P, Integer N) {
  std::vector<TPoint> v(static_cast<size_t>(N));
  for (Integer i = 0; i < N; ++i) v[static_cast<size_t>(i)] = MapPoint(DC, P[i].X, P[i].Y);
  return v;
}

QPainterPath PolyPath(const std::vector<TPoint>& Pts, bool Closed, double Offset) {
  QPainterPath p;
  if (Pts.empty()) return p;
  p.moveTo(Pts[0].X + Offset, Pts[0].Y + Offset);
  for (size_t i = 1; i < Pts.size(); ++i) p.lineTo(Pts[i].X + Offset, Pts[i].Y + Offset);
  if (Closed) p.closeSubpath();
  return p;
}

// A closed shape inscribed in a box: Build(box) gives its path. With a pen the
// outline runs through the centres of the box's edge pixels and the interior
// is what lies inside it; without a pen the shape is one pixel smaller at the
// right and bottom, as on Windows.
template <class FBuild>
BOOL BoxShape(HDC DCh, Integer L, Integer T, Integer R, Integer B, bool Filled, FBuild&& Build) {
  TDCObj* dc = LookupDC(DCh);
  if (!dc) return FALSE;
  TTarget tg(dc);
  if (!tg.Valid()) return TRUE;
  const TPen pen = PenOf(dc);
  const TXform xf = DeviceXform(dc);
  const bool simple = xf.AxisAligned() && xf.A > 0 && xf.D > 0;
  QRectF outlineBox, latticeBox;
  QTransform q;
  if (simple) {
    TRect d = MapRect(dc, L, T, R, B);
    outlineBox = QRectF(d.Left + 0.5, d.Top + 0.5, d.Width() - 1, d.Height() - 1);
    latticeBox = QRectF(d.Left, d.Top, d.Width() - 1, d.Height() - 1);
  } else {
    if (L > R) std::swap(L, R);
    if (T > B) std::swap(T, B);
    outlineBox = QRectF(L + 0.5, T + 0.5, R - L - 1, B - T - 1);
    latticeBox = QRectF(L, T, R - L - 1, B - T - 1);
    q = QXform(dc);
  }
  if (outlineBox.width() < 0 || outlineBox.height() < 0) return TRUE;
  if (pen.InsideFrame && !pen.Cosmetic) {
    const double h = pen.Width / 2 - 0.5;
    outlineBox.adjust(h, h, -h, -h);
  }
  const TRect work = WorkBox(tg, pen.Width);
  TRegion outline;
  if (!pen.Null) {
    QPainterPath op = Build(outlineBox);
    if (!simple) op = q.map(op);
    outline = Stroke(op, pen, work);
  }
  if (Filled) {
    TRegion fill;
    if (pen.Null) {
      QPainterPath fp = Build(latticeBox);
      fp.closeSubpath();
      if (!simple) fp = q.map(fp);
      fill = FillPath(fp, false, work);
    } else {
      QPainterPath fp = Build(outlineBox);
      fp.closeSubpath();
      if (!simple) fp = q.map(fp);
      fill = TRegion::Combine(FillPath(fp, false, work), outline, RGN_DIFF);
    }
    PaintFill(tg, fill);
  }
  if (!pen.Null) {
    TPaintOp op;
    op.Rop2 = dc->S.Rop2;
    op.Fg = ColorToPixel(tg.Px, pen.Color, dc);
    PaintRegion(tg, outline, op);
  }
  return TRUE;
}

// Arc geometry: the box, the start angle and the sweep in degrees
// (counter-clockwise positive, as seen on the screen).
struct TArc {
  double Start = 0, Sweep = 360;
};

TArc ArcAngles(TDCObj* DC, Integer L, Integer T, Integer R, Integer B, Integer XS, Integer YS, Integer XE, Integer YE) {
  const double cx = (L + R) / 2.0, cy = (T + B) / 2.0;
  auto ang = [&](Integer X, Integer Y) { return std::atan2(-(Y + 0.5 - cy), X + 0.5 - cx) * 180.0 / kPi; };
  TArc a;
  a.Start = ang(XS, YS);
  const double e = ang(XE, YE);
  double sweep = std::fmod(e - a.Start + 720.0, 360.0);
  if (sweep <= 1e-9) sweep = 360.0;
  if (DC->S.ArcDirection == AD_CLOCKWISE) sweep = sweep >= 360.0 ? -360.0 : sweep - 360.0;
  a.Sweep = sweep;
  return a;
}

}  // namespace

}  // namespace gdi

using namespace gdi;

BOOL MoveToEx(HDC DC, Integer X, Integer Y, TPoint* Old) {
  TDCObj* dc = LookupDC(DC);
  if (!dc) return FALSE;
  if (Old) *Old = dc->S.CurPos;
  dc->S.CurPos = TPoint(X, Y);
  dc->S.StylePos = 0;
  return TRUE;
}

BOOL GetCurrentPositionEx(HDC DC, TPoint* Pos) {
  TDCObj* dc = LookupDC(DC);
  if (!dc || !Pos) return FALSE;
  *Pos = dc->S.CurPos;
  return TRUE;
}

namespace {

BOOL DrawPoly(TDCObj* dc, const TPoint* Points, Integer Count, bool Closed) {
  TTarget tg(dc);
  const TPen pen = PenOf(dc);
  if (!tg.Valid() || pen.Null) return TRUE;
  std::vector<TPoint> pts = MapPoints(dc, Points, Count);
  const TRect work = WorkBox(tg, pen.Width);
  if (pen.Cosmetic) {
    TOutline o;
    CosmeticPoly(pts, Closed, pen, work, dc->S.StylePos, o);
    PaintOutline(tg, pen, o);
  } else {
    TPaintOp op;
    op.Rop2 = dc->S.Rop2;
    op.Fg = ColorToPixel(tg.Px, pen.Color, dc);
    PaintRegion(tg, Stroke(PolyPath(pts, Closed, 0.5), pen, work), op);
  }
  return TRUE;
}

}  // namespace

BOOL LineTo(HDC DC, Integer X, Integer Y) {
  TDCObj* dc = LookupDC(DC);
  if (!dc) return FALSE;
  const TPoint pts[2] = {dc->S.CurPos, TPoint(X, Y)};
  DrawPoly(dc, pts, 2, false);
  dc->S.CurPos = TPoint(X, Y);
  return TRUE;
}

BOOL Polyline(HDC DC, const TPoint* Points, Integer Count) {
  TDCObj* dc = LookupDC(DC);
  if (!dc || !Points || Count < 2) return FALSE;
  dc->S.StylePos = 0;
  return DrawPoly(dc, Points, Count, false);
}

BOOL PolylineTo(HDC DC, const TPoint* Points, Integer Count) {
  TDCObj* dc = LookupDC(DC);
  if (!dc || !Points || Count < 1) return FALSE;
  std::vector<TPoint> pts;
  pts.push_back(dc->S.CurPos);
  pts.insert(pts.end(), Points, Points + Count);
  DrawPoly(dc, pts.data(), static_cast<Integer>(pts.size()), false);
  dc->S.CurPos = Points[Count - 1];
  return TRUE;
}

BOOL PolyPolygon(HDC DC, const TPoint* Points, const Integer* Counts, Integer PolyCount) {
  TDCObj* dc = LookupDC(DC);
  if (!dc || !Points || !Counts || PolyCount < 1) return FALSE;
  TTarget tg(dc);
  if (!tg.Valid()) return TRUE;
  const TPen pen = PenOf(dc);
  const TRect work = WorkBox(tg, pen.Width);
  std::vector<TPolyD> polys;
  std::vector<std::vector<TPoint>> devs;
  const TPoint* p = Points;
  for (Integer k = 0; k < PolyCount; ++k) {
    if (Counts[k] < 2) return FALSE;
    devs.push_back(MapPoints(dc, p, Counts[k]));
    TPolyD pd;
    for (const TPoint& d : devs.back()) pd.push_back({static_cast<double>(d.X), static_cast<double>(d.Y)});
    polys.push_back(std::move(pd));
    p += Counts[k];
  }
  TRegion outline;
  TOutline dashed;
  if (!pen.Null) {
    if (pen.Cosmetic) {
      Integer pos = 0;
      for (auto& d : devs) CosmeticPoly(d, true, pen, work, pos, dashed);
      outline = TRegion::FromSpans(dashed.On);
      if (!dashed.Off.empty()) outline = TRegion::Combine(outline, TRegion::FromSpans(dashed.Off), RGN_OR);
    } else {
      QPainterPath path;
      for (auto& d : devs) path.addPath(PolyPath(d, true, 0.5));
      outline = Stroke(path, pen, work);
    }
  }
  TRegion fill = TRegion::FromSpans(FillPolygons(polys, dc->S.PolyFillMode == WINDING, work));
  if (!pen.Null) fill = TRegion::Combine(fill, outline, RGN_DIFF);
  PaintFill(tg, fill);
  if (!pen.Null) {
    if (pen.Cosmetic) PaintOutline(tg, pen, dashed);
    else {
      TPaintOp op;
      op.Rop2 = dc->S.Rop2;
      op.Fg = ColorToPixel(tg.Px, pen.Color, dc);
      PaintRegion(tg, outline, op);
    }
  }
  return TRUE;
}

BOOL Polygon(HDC DC, const TPoint* Points, Integer Count) {
  const Integer counts[1] = {Count};
  return PolyPolygon(DC, Points, counts, 1);
}

BOOL PolyBezier(HDC DC, const TPoint* Points, DWORD Count) {
  TDCObj* dc = LookupDC(DC);
  if (!dc || !Points || Count < 4 || (Count - 1) % 3 != 0) return FALSE;
  QPainterPath path;
  path.moveTo(Points[0].X, Points[0].Y);
  for (DWORD i = 1; i + 2 < Count; i += 3)
    path.cubicTo(Points[i].X, Points[i].Y, Points[i + 1].X, Points[i + 1].Y, Points[i + 2].X, Points[i + 2].Y);
  std::vector<TPoint> pts;
  for (const QPolygonF& pg : path.toSubpathPolygons())
    for (const QPointF& q : pg) {
      TPoint p(static_cast<Integer>(std::floor(q.x() + 0.5)), static_cast<Integer>(std::floor(q.y() + 0.5)));
      if (pts.empty() || !(pts.back() == p)) pts.push_back(p);
    }
  if (pts.size() < 2) return TRUE;
  // The end point of a Bezier is drawn, unlike that of a line.
  pts.push_back(TPoint(pts.back().X + 1, pts.back().Y));
  dc->S.StylePos = 0;
  return DrawPoly(dc, pts.data(), static_cast<Integer>(pts.size()), false);
}

BOOL Rectangle(HDC DC, Integer Left, Integer Top, Integer Right, Integer Bottom) {
  TDCObj* dc = LookupDC(DC);
  if (!dc) return FALSE;
  const TXform xf = DeviceXform(dc);
  if (!xf.AxisAligned()) {
    return BoxShape(DC, Left, Top, Right, Bottom, true, [](const QRectF& r) {
      QPainterPath p;
      p.addRect(r);
      return p;
    });
  }
  TTarget tg(dc);
  if (!tg.Valid()) return TRUE;
  const TPen pen = PenOf(dc);
  const TRect d = MapRect(dc, Left, Top, Right, Bottom);
  if (IsRectEmpty(d)) return TRUE;
  if (pen.Null) {
    PaintFill(tg, TRegion::FromRect(TRect(d.Left, d.Top, d.Right - 1, d.Bottom - 1)));
    return TRUE;
  }
  if (pen.Cosmetic) {
    const TRect inner(d.Left + 1, d.Top + 1, d.Right - 1, d.Bottom - 1);
    if (!IsRectEmpty(inner)) PaintFill(tg, TRegion::FromRect(inner));
    if (pen.Dashes.empty()) {
      TPaintOp op;
      op.Rop2 = dc->S.Rop2;
      op.Fg = ColorToPixel(tg.Px, pen.Color, dc);
      PaintRegion(tg, TRegion::Combine(TRegion::FromRect(d), TRegion::FromRect(inner), RGN_DIFF), op);
    } else {
      std::vector<TPoint> corners = {TPoint(d.Left, d.Top), TPoint(d.Right - 1, d.Top),
                                     TPoint(d.Right - 1, d.Bottom - 1), TPoint(d.Left, d.Bottom - 1)};
      TOutline o;
      Integer pos = 0;
      CosmeticPoly(corners, true, pen, WorkBox(tg, 1), pos, o);
      PaintOutline(tg, pen, o);
    }
    return TRUE;
  }
  return BoxShape(DC, Left, Top, Right, Bottom, true, [&](const QRectF& r) {
    QPainterPath p;
    p.addRect(r);
    return p;
  });
}

BOOL Ellipse(HDC DC, Integer Left, Integer Top, Integer Right, Integer Bottom) {
  return BoxShape(DC, Left, Top, Right, Bottom, true, [](const QRectF& r) {
    QPainterPath p;
    p.addEllipse(r);
    return p;
  });
}

BOOL RoundRect(HDC DC, Integer Left, Integer Top, Integer Right, Integer Bottom, Integer Width, Integer Height) {
  return BoxShape(DC, Left, Top, Right, Bottom, true, [&](const QRectF& r) {
    QPainterPath p;
    const double rx = std::min<double>(std::abs(Width), r.width() + 1) / 2.0;
    const double ry = std::min<double>(std::abs(Height), r.height() + 1) / 2.0;
    p.addRoundedRect(r, rx, ry);
    return p;
  });
}

namespace {
enum TArcKind { akArc, akPie, akChord };

BOOL ArcShape(HDC DC, Integer L, Integer T, Integer R, Integer B, Integer XS, Integer YS, Integer XE, Integer YE,
              TArcKind Kind) {
  TDCObj* dc = LookupDC(DC);
  if (!dc) return FALSE;
  if (L > R) std::swap(L, R);
  if (T > B) std::swap(T, B);
  const TArc a = ArcAngles(dc, L, T, R, B, XS, YS, XE, YE);
  auto build = [&](const QRectF& r) {
    QPainterPath p;
    if (Kind == akPie) {
      p.moveTo(r.center());
      p.arcTo(r, a.Start, a.Sweep);
      p.closeSubpath();
    } else {
      p.arcMoveTo(r, a.Start);
      p.arcTo(r, a.Start, a.Sweep);
      if (Kind == akChord) p.closeSubpath();
    }
    return p;
  };
  return BoxShape(DC, L, T, R, B, Kind != akArc, build);
}
}  // namespace

BOOL Arc(HDC DC, Integer L, Integer T, Integer R, Integer B, Integer XStart, Integer YStart, Integer XEnd, Integer YEnd) {
  return ArcShape(DC, L, T, R, B, XStart, YStart, XEnd, YEnd, akArc);
}
BOOL Pie(HDC DC, Integer L, Integer T, Integer R, Integer B, Integer XStart, Integer YStart, Integer XEnd, Integer YEnd) {
  return ArcShape(DC, L, T, R, B, XStart, YStart, XEnd, YEnd, akPie);
}
BOOL Chord(HDC DC, Integer L, Integer T, Integer R, Integer B, Integer XStart, Integer YStart, Integer XEnd, Integer YEnd) {
  return ArcShape(DC, L, T, R, B, XStart, YStart, XEnd, YEnd, akChord);
}

COLORREF GetPixel(HDC DC, Integer X, Integer Y) {
  TDCObj* dc = LookupDC(DC);
  if (!dc) return CLR_INVALID;
  TTarget tg(dc);
  if (!tg.Valid()) return CLR_INVALID;
  const TPoint p = MapPoint(dc, X, Y);
  bool inside = false;
  tg.ClipSpan(p.Y, p.X, p.X + 1, [&](Integer, Integer, Integer) { inside = true; });
  if (!inside) return CLR_INVALID;
  return PixelToColor(tg.Px, ReadPixel(tg.Px, p.X, p.Y));
}

COLORREF SetPixel(HDC DC, Integer X, Integer Y, COLORREF Color) {
  TDCObj* dc = LookupDC(DC);
  if (!dc) return CLR_INVALID;
  TTarget tg(dc);
  if (!tg.Valid()) return CLR_INVALID;
  const TPoint p = MapPoint(dc, X, Y);
  bool inside = false;
  tg.ClipSpan(p.Y, p.X, p.X + 1, [&](Integer, Integer, Integer) { inside = true; });
  if (!inside) return CLR_INVALID;
  const uint32_t v = ColorToPixel(tg.Px, Color, dc);
  WritePixel(tg.Px, p.X, p.Y, v);
  tg.Touch(TRect(p.X, p.Y, p.X + 1, p.Y + 1));
  return PixelToColor(tg.Px, v);
}

BOOL SetPixelV(HDC DC, Integer X, Integer Y, COLORREF Color) { return SetPixel(DC, X, Y, Color) != CLR_INVALID; }

BOOL LineDDA(Integer X1, Integer Y1, Integer X2, Integer Y2, LINEDDAPROC Proc, LPARAM Data) {
  if (!Proc) return FALSE;
  const TRect all(INT32_MIN / 2, INT32_MIN / 2, INT32_MAX / 2, INT32_MAX / 2);
  LineWalk(X1, Y1, X2, Y2, all, [&](Integer x, Integer y, int64_t) { Proc(x, y, Data); });
  return TRUE;
}

// ---------------------------------------------------------------- regions from shapes

HRGN CreateEllipticRgn(Integer Left, Integer Top, Integer Right, Integer Bottom) {
  if (Left > Right) std::swap(Left, Right);
  if (Top > Bottom) std::swap(Top, Bottom);
  QPainterPath p;
  p.addEllipse(QRectF(Left, Top, Right - Left, Bottom - Top));
  HRGN h = CreateRectRgn(0, 0, 0, 0);
  if (auto r = LookupAs<TRgnObj>(h, OBJ_REGION)) r->R = FillPath(p, false, TRect(Left, Top, Right, Bottom));
  return h;
}

HRGN CreateRoundRectRgn(Integer Left, Integer Top, Integer Right, Integer Bottom, Integer Width, Integer Height) {
  if (Left > Right) std::swap(Left, Right);
  if (Top > Bottom) std::swap(Top, Bottom);
  QPainterPath p;
  const QRectF box(Left, Top, Right - Left, Bottom - Top);
  p.addRoundedRect(box, std::min<double>(std::abs(Width), box.width()) / 2.0,
                   std::min<double>(std::abs(Height), box.height()) / 2.0);
  HRGN h = CreateRectRgn(0, 0, 0, 0);
  if (auto r = LookupAs<TRgnObj>(h, OBJ_REGION)) r->R = FillPath(p, false, TRect(Left, Top, Right, Bottom));
  return h;
}

namespace {

// A region in logical coordinates brought to device coordinates.
TRegion RegionToDevice(const TDCObj* DC, const TRegion& R) {
  const TXform t = DeviceXform(DC);
  if (t.A == 1 && t.D == 1 && t.B == 0 && t.C == 0) {
    TRegion d = R;
    d.Offset(static_cast<Integer>(std::lround(t.E)), static_cast<Integer>(std::lround(t.F)));
    return d;
  }
  TRegion out;
  R.ForEachSpan([&](Integer y, Integer x0, Integer x1) {
    out = TRegion::Combine(out, TRegion::FromRect(MapRect(DC, x0, y, x1, y + 1)), RGN_OR);
  });
  return out;
}

BOOL PaintRgnWith(HDC DC, HRGN Region, const TBrushObj* Brush, Integer Rop2) {
  TDCObj* dc = LookupDC(DC);
  auto r = LookupAs<TRgnObj>(Region, OBJ_REGION);
  if (!dc || !r) return FALSE;
  TTarget tg(dc);
  if (!tg.Valid()) return TRUE;
  const TRegion dev = RegionToDevice(dc, r->R);
  TPaintOp op;
  TPattern pat;
  if (Rop2 == R2_NOT) {
    op.Rop2 = R2_NOT;
    PaintRegion(tg, dev, op);
    return TRUE;
  }
  if (BrushOp(tg, Brush, op, pat)) {
    op.Rop2 = Rop2;
    PaintRegion(tg, dev, op);
  }
  return TRUE;
}

}  // namespace

BOOL FillRgn(HDC DC, HRGN Region, HBRUSH Brush) {
  auto b = LookupBrush(Brush);
  if (!b) return FALSE;
  return PaintRgnWith(DC, Region, b.get(), R2_COPYPEN);
}

BOOL PaintRgn(HDC DC, HRGN Region) {
  TDCObj* dc = LookupDC(DC);
  if (!dc) return FALSE;
  return PaintRgnWith(DC, Region, dc->S.Brush.get(), dc->S.Rop2);
}

BOOL InvertRgn(HDC DC, HRGN Region) { return PaintRgnWith(DC, Region, nullptr, R2_NOT); }

BOOL FrameRgn(HDC DC, HRGN Region, HBRUSH Brush, Integer Width, Integer Height) {
  auto r = LookupAs<TRgnObj>(Region, OBJ_REGION);
  if (!r || Width < 0 || Height < 0) return FALSE;
  // The frame is the region minus the region shrunk by the frame size.
  TRegion inner = r->R;
  for (const auto& [dx, dy] : {std::pair{Width, 0}, std::pair{-Width, 0}, std::pair{0, Height}, std::pair{0, -Height}}) {
    TRegion s = r->R;
    s.Offset(dx, dy);
    inner = TRegion::Combine(inner, s, RGN_AND);
  }
  HRGN frame = CreateRectRgn(0, 0, 0, 0);
  auto f = LookupAs<TRgnObj>(frame, OBJ_REGION);
  f->R = TRegion::Combine(r->R, inner, RGN_DIFF);
  BOOL ok = FillRgn(DC, frame, Brush);
  DeleteObject(frame);
  return ok;
}
