// Hit-testing of the vector objects: the distance from a point to each kind
// of object, the object under a point, the grip of the selection under the
// mouse, the polyline point or segment under the mouse, and the selection
// change of a click.
#include <algorithm>
#include <cmath>

#include "imaging/core/base/iehelpers.h"
#include "imaging/core/base/ielists.h"
#include "imaging/core/base/ieutils.h"
#include "imaging/core/render/iegeom.h"
#include "imaging/view/ievect.h"

namespace ievect_hit {

constexpr Integer kUnplaced = -1000000;

// The polyline's points in image pixels, mapped through PointsBox onto the
// object's rectangle exactly as they are drawn.
std::vector<TPoint> PolylineImagePoints(const TIEVectObject& O) {
  std::vector<TPoint> r;
  const TRect& pb = O.PointsBox;
  const double fx = pb.Right != pb.Left ? double(O.X2 - O.X1) / (pb.Right - pb.Left) : 1;
  const double fy = pb.Bottom != pb.Top ? double(O.Y2 - O.Y1) / (pb.Bottom - pb.Top) : 1;
  r.reserve(O.Points.size());
  for (const TPoint& q : O.Points)
    r.push_back(TPoint(Integer(Round((q.X - pb.Left) * fx)) + O.X1, Integer(Round((q.Y - pb.Top) * fy)) + O.Y1));
  return r;
}

double DistToPoints(Integer X, Integer Y, const std::vector<TPoint>& P, Integer PenWidth, bool Closed) {
  std::vector<Integer> flat;
  flat.reserve(P.size() * 2);
  for (const TPoint& q : P) {
    flat.push_back(q.X);
    flat.push_back(q.Y);
  }
  return IEDistPointPolyline(X, Y, flat.data(), Integer(P.size()), 0, 0, 0, 0, 1, 1, PenWidth, Closed);
}

// Whether (X, Y) lies in the square of half side G round (GX, GY); the
// right and bottom edges are outside.
bool InGrip(Integer X, Integer Y, Integer GX, Integer GY, Integer G) {
  return X >= GX - G && X < GX + G && Y >= GY - G && Y < GY + G;
}

}  // namespace ievect_hit

using namespace ievect_hit;

double TZiduzUvVect::GetObjDistance(const TIEVectObject* O, Integer X, Integer Y) {
  if (!O) return -1;
  const bool brush = O->BrushStyle != bsClear;
  switch (O->Kind) {
    case vkLine:
    case vkLineLabel: {
      double d = IEDistPointSegment(X, Y, O->X1, O->Y1, O->X2, O->Y2);
      if (O->PenWidth > 1) d = std::max(0.0, d - O->PenWidth / 2.0);
      if (O->Kind == vkLineLabel) {
        const TRect& l = O->LabelRect;
        d = std::min(d, IEDistanceToRectangle(X, Y, std::min(l.Left, l.Right), std::min(l.Top, l.Bottom),
                                              std::max(l.Left, l.Right), std::max(l.Top, l.Bottom), true, 1));
      }
      return d;
    }
    case vkBox:
      return IEDistanceToRectangle(X, Y, O->X1, O->Y1, O->X2, O->Y2, brush || FBoxAlwaysHit, O->PenWidth);
    case vkEllipse:
      return IEDistanceToEllipse(X, Y, O->X1, O->Y1, O->X2, O->Y2, brush, O->PenWidth);
    case vkArc:
      return IEDistanceToEllipse(X, Y, O->X1, O->Y1, O->X2, O->Y2, false, O->PenWidth);
    case vkBitmap: {
      const double d = IEDistanceToRectangle(X, Y, O->X1, O->Y1, O->X2, O->Y2, true, O->PenWidth);
      if (d != 0 || !FBitmapAlphaHitTest) return d;
      TIEBitmap* b = GetStoredBitmap(O->BitmapIndex);
      if (!b || !b->HasAlphaChannel() || b->Width() <= 0 || b->Height() <= 0) return d;
      // A rectangle of zero width or height still maps onto the picture
      // (the divisor is at least 1), never through a division by zero.
      const int64_t w = std::max<int64_t>(1, int64_t(O->X2) - O->X1);
      const int64_t h = std::max<int64_t>(1, int64_t(O->Y2) - O->Y1);
      const int64_t col = std::clamp<int64_t>((int64_t(X) - O->X1) * b->Width() / w, 0, b->Width() - 1);
      const int64_t row = std::clamp<int64_t>((int64_t(Y) - O->Y1) * b->Height() / h, 0, b->Height() - 1);
      return b->GetAlpha(Integer(col), Integer(row)) == 0 ? 1000 : 0;
    }
    case vkText:
    case vkMemo:
    case vkCustom:
      return IEDistanceToRectangle(X, Y, O->X1, O->Y1, O->X2, O->Y2, true, O->PenWidth);
    case vkRuler:
      return IEDistPointSegment(X, Y, O->X1, O->Y1, O->X2, O->Y2);
    case vkPolyline: {
      const std::vector<TPoint> p = PolylineImagePoints(*O);
      if (p.empty()) return 1000000;
      if (O->Closed && brush && IEPointInPolygon(X, Y, p.data(), Integer(p.size()) - 1)) return 0;
      return DistToPoints(X, Y, p, O->PenWidth, O->Closed);
    }
    case vkAngle: {
      std::vector<TPoint> p;
      for (const TPoint& q : O->AnglePoints) {
        if (q.X == kUnplaced) break;
        p.push_back(q);
      }
      if (p.empty()) return 1000000;
      return DistToPoints(X, Y, p, 1, false);
    }
    default:
      return -1;
  }
}

Integer TZiduzUvVect::FindObjectAt(Integer X, Integer Y, double& Distance, bool OnlySelectable) {
  Distance = 0;
  if (FZOrder.empty()) return IEV_ALL;
  // The visible part of the picture in image pixels; a bound of 0 on the
  // right or bottom means no limit.
  const Integer vl = ClientToImageX(0), vt = ClientToImageY(0);
  Integer vr = ClientToImageX(ClientWidth()), vb = ClientToImageY(ClientHeight());
  if (vr == 0) vr = INT32_MAX;
  if (vb == 0) vb = INT32_MAX;
  Integer best = IEV_ALL;
  double bestD = 0;
  for (auto it = FZOrder.rbegin(); it != FZOrder.rend(); ++it) {
    const TIEVectObject& o = *FObjects[size_t(*it)];
    if (!(o.Style & vsVisible)) continue;
    if (OnlySelectable && !(o.Style & vsSelectable)) continue;
    if (!IERectIntersects(std::min(o.X1, o.X2), std::min(o.Y1, o.Y2), std::max(o.X1, o.X2), std::max(o.Y1, o.Y2), vl,
                          vt, vr, vb))
      continue;
    const double d = GetObjDistance(&o, X, Y);
    // An object that cannot be hit (a kind this view does not know) never
    // wins, although its distance is the smallest number.
    if (d < 0) continue;
    if (best == IEV_ALL || d < bestD) {
      best = *it;
      bestD = d;
    }
  }
  if (best != IEV_ALL && FMaxHitDistance >= 0 && bestD > FMaxHitDistance * 100.0 / ZoomX()) best = IEV_ALL;
  Distance = bestD;
  return best;
}

Integer TZiduzUvVect::FindObjectAtClient(Integer X, Integer Y, double& Distance) {
  return FindObjectAt(ClientToImageX(X), ClientToImageY(Y), Distance, false);
}

Integer TZiduzUvVect::GetGripAt(Integer X, Integer Y, Integer& Grip) {
  Grip = 0;
  const Integer g = FObjGripSize;
  const Integer cw = ClientWidth(), ch = ClientHeight();
  for (size_t i = 0; i < FSel.size(); ++i) {
    const TIEVectObject* o = GetObj(FSel[i]);
    if (!o) continue;
    Integer x1 = ImageToClientX(o->X1), y1 = ImageToClientY(o->Y1);
    Integer x2 = ImageToClientX(o->X2), y2 = ImageToClientY(o->Y2);
    if (o->Kind == vkBitmap && FZoomObjectsWidth) {
      if (ZoomX() != 100) x2 = ImageToClientX(o->X2 + 1) - 1;
      if (ZoomY() != 100) y2 = ImageToClientY(o->Y2 + 1) - 1;
    }
    if (!IERectIntersects(std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2), 0, 0, cw, ch))
      continue;
    Integer r = 0;
    if (InGrip(X, Y, x1, y1, g)) {
      r = 1;
    } else if (InGrip(X, Y, x2, y2, g)) {
      r = 2;
    } else if (!FCenterGrip) {
      const double d = GetObjDistance(o, ClientToImageX(X), ClientToImageY(Y));
      if (d >= 0 && d < 1) r = 3;
    } else {
      const Integer l = std::min(x1, x2), rr = std::max(x1, x2), t = std::min(y1, y2), b = std::max(y1, y2);
      if (InGrip(X, Y, l + (rr - l + 1) / 2, t + (b - t + 1) / 2, g)) r = 3;
    }
    if (o->Kind != vkLine && o->Kind != vkRuler && o->Kind != vkLineLabel) {
      const Integer mx = (x1 + x2) / 2, my = (y1 + y2) / 2;
      if (InGrip(X, Y, x2, y1, g))
        r = 4;
      else if (InGrip(X, Y, x1, y2, g))
        r = 5;
      else if (InGrip(X, Y, x1, my, g))
        r = 6;
      else if (InGrip(X, Y, x2, my, g))
        r = 7;
      else if (InGrip(X, Y, mx, y1, g))
        r = 8;
      else if (InGrip(X, Y, mx, y2, g))
        r = 9;
    }
    if (o->Kind == vkAngle) {
      // A selected angle takes every press: on one of its points that
      // point, elsewhere the whole angle.
      r = 3;
      for (Integer k = 0; k < 3; ++k) {
        const TPoint q = o->AnglePoints[k];
        if (q.X != kUnplaced && InGrip(X, Y, ImageToClientX(q.X), ImageToClientY(q.Y), g)) {
          r = 10 + k;
          break;
        }
      }
    }
    if (o->Kind == vkLineLabel) {
      const TRect& l = o->LabelRect;
      const Integer ix = ClientToImageX(X), iy = ClientToImageY(Y);
      if (IEPointInRect(ix, iy, std::min(l.Left, l.Right), std::min(l.Top, l.Bottom), std::max(l.Left, l.Right),
                        std::max(l.Top, l.Bottom)))
        r = 2;
    }
    if (r != 0 && !(o->Style & vsSizeable)) r = 3;
    if (r != 0) {
      Grip = r;
      return Integer(i);
    }
  }
  return IEV_NONE;
}

void TZiduzUvVect::SelectAtPoint(bool Shift, Integer X, Integer Y, bool FromPress) {
  double d = 0;
  const Integer h = FindObjectAt(ClientToImageX(X), ClientToImageY(Y), d, true);
  if (h < 0) {
    if (!Shift) UnSelAllObjects();
    return;
  }
  const bool s = IsSelObject(h);
  FAlreadySelectedOnDown = s && FSelectOnMouseDown && FromPress;
  if (FAlreadySelectedOnDown) return;
  if (!s) {
    if (!Shift) UnSelAllObjectsQuiet();
    AddSelObject(h);
    DoUserSelectObject(h);
  } else if (Shift) {
    DoUserDeselectObject(h);
    UnSelObject(h);
  } else {
    const std::vector<Integer> others = FSel;
    for (Integer o : others)
      if (o != h) DoUserDeselectObject(o);
    UnSelAllObjectsQuiet();
    AddSelObject(h);
  }
  Update();
}

void TZiduzUvVect::GetSelectionBounds(TRect& Rect) {
  Rect = TRect(GetIEBitmap()->Width(), GetIEBitmap()->Height(), 0, 0);
  for (Integer h : FSel)
    if (const TIEVectObject* o = GetObj(h)) {
      Rect.Left = std::min({Rect.Left, o->X1, o->X2});
      Rect.Top = std::min({Rect.Top, o->Y1, o->Y2});
      Rect.Right = std::max({Rect.Right, o->X1, o->X2});
      Rect.Bottom = std::max({Rect.Bottom, o->Y1, o->Y2});
    }
}

TIEVectObject* TZiduzUvVect::SoleSelectedPolyline() {
  if (FSel.size() != 1) return nullptr;
  TIEVectObject* o = GetObj(FSel[0]);
  return o && o->Kind == vkPolyline ? o : nullptr;
}

std::vector<TPoint> TZiduzUvVect::PolylineClientPoints(const TIEVectObject& O) {
  std::vector<TPoint> p = PolylineImagePoints(O);
  for (TPoint& q : p) q = TPoint(ImageToClientX(q.X), ImageToClientY(q.Y));
  return p;
}

Integer TZiduzUvVect::PolylinePointAt(Integer X, Integer Y) {
  const TIEVectObject* o = SoleSelectedPolyline();
  if (!o) return -1;
  const std::vector<TPoint> p = PolylineClientPoints(*o);
  for (size_t i = 0; i < p.size(); ++i)
    if (std::abs(X - p[i].X) <= 3 && std::abs(Y - p[i].Y) <= 3) return Integer(i);
  return -1;
}

Integer TZiduzUvVect::PolylineSegmentAt(Integer X, Integer Y) {
  const TIEVectObject* o = SoleSelectedPolyline();
  if (!o) return -1;
  const std::vector<TPoint> p = PolylineClientPoints(*o);
  const size_t n = p.size();
  if (n < 2) return -1;
  const size_t segments = o->Closed ? n : n - 1;
  for (size_t i = 0; i < segments; ++i) {
    const TPoint a = p[i], b = p[(i + 1) % n];
    if (IEDistPointSegment(X, Y, a.X, a.Y, b.X, b.Y) < 1.5) return Integer(i);
  }
  return -1;
}

void TZiduzUvVect::NormalizePolyline(TIEVectObject* O) {
  if (!O || O->Points.empty()) return;
  const std::vector<TPoint> drawn = PolylineImagePoints(*O);
  TRect r(drawn[0].X, drawn[0].Y, drawn[0].X, drawn[0].Y), own(O->Points[0].X, O->Points[0].Y, O->Points[0].X,
                                                                O->Points[0].Y);
  for (size_t i = 0; i < drawn.size(); ++i) {
    r.Left = std::min(r.Left, drawn[i].X);
    r.Top = std::min(r.Top, drawn[i].Y);
    r.Right = std::max(r.Right, drawn[i].X);
    r.Bottom = std::max(r.Bottom, drawn[i].Y);
    own.Left = std::min(own.Left, O->Points[i].X);
    own.Top = std::min(own.Top, O->Points[i].Y);
    own.Right = std::max(own.Right, O->Points[i].X);
    own.Bottom = std::max(own.Bottom, O->Points[i].Y);
  }
  O->X1 = r.Left;
  O->Y1 = r.Top;
  O->X2 = r.Right;
  O->Y2 = r.Bottom;
  O->PointsBox = own;
}

void TZiduzUvVect::ResizeObject(Integer hobj, Integer DX1, Integer DY1, Integer DX2, Integer DY2, bool KeepAspect,
                                Integer Grip) {
  TIEVectObject* o = GetObj(hobj);
  if (!o) return;
  o->X1 += DX1;
  o->Y1 += DY1;
  o->X2 += DX2;
  o->Y2 += DY2;
  if (!KeepAspect) return;
  const double w0 = o->DragStartRect.Right - o->DragStartRect.Left;
  const double h0 = o->DragStartRect.Bottom - o->DragStartRect.Top;
  switch (Grip) {
    case 1:
    case 2:
    case 4:
    case 5:
    case 6:
    case 7: {
      if (w0 == 0) return;
      const double g = (o->X2 - o->X1) * h0 / w0;
      if (g == 0) return;
      if (Grip == 1 || Grip == 4)
        o->Y1 = Integer(Round(o->Y2 - g));
      else
        o->Y2 = Integer(Round(o->Y1 + g));
      break;
    }
    case 8:
    case 9: {
      if (h0 == 0) return;
      const double g = (o->Y2 - o->Y1) * w0 / h0;
      if (g == 0) return;
      if (Grip == 8)
        o->X1 = Integer(Round(o->X2 - g));
      else
        o->X2 = Integer(Round(o->X1 + g));
      break;
    }
    default:
      break;
  }
}
