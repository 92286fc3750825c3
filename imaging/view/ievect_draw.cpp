// Drawing the vector objects: onto the view's back buffer at every repaint
// (mapped through zoom and scroll, with the grips of the selection), and
// into a picture at image scale when the objects are burnt in.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "imaging/core/base/iehelpers.h"
#include "imaging/core/base/ieplatformhelpers.h"
#include "imaging/core/kernels/ieblur.h"
#include "imaging/core/render/iegdiplus.h"
#include "imaging/view/ievect.h"
#include "platform/base/strutils.h"

namespace {

constexpr TColor kGripBrush = 0xBAFFFF;
constexpr Byte kGripTransparency = 180;

struct TPass {
  bool Map = false;
  double ZX = 1, ZY = 1;
};

void Include(TRect& R, Integer X, Integer Y) {
  R.Left = std::min(R.Left, X);
  R.Top = std::min(R.Top, Y);
  R.Right = std::max(R.Right, X);
  R.Bottom = std::max(R.Bottom, Y);
}

// The object's 8-bit text as the canvas draws it.
WideString TextOf(const AnsiString& S) { return AnsiToWide(S); }

// The canvas font from a font record, its height scaled by ZY (or the box
// height for a record height of 0 when BoxHeight is above 0).
void ApplyFont(TCanvas* C, const TIEVectObject& O, double ZY, Integer BoxHeight) {
  TFont* f = C->Font();
  if (O.Font) {
    f->SetName(AnsiToWide(AnsiString(O.Font->lfFaceName, strnlen(O.Font->lfFaceName, LF_FACESIZE))));
    Integer h = Integer(std::trunc(O.Font->lfHeight * ZY));
    if (O.Font->lfHeight == 0 && BoxHeight > 0) h = -BoxHeight;
    f->SetHeight(h);
    TFontStyles st;
    if (O.Font->lfWeight >= 700) st.Include(fsBold);
    if (O.Font->lfItalic) st.Include(fsItalic);
    if (O.Font->lfUnderline) st.Include(fsUnderline);
    if (O.Font->lfStrikeOut) st.Include(fsStrikeOut);
    f->SetStyle(st);
    f->SetOrientation(O.Font->lfEscapement);
  }
  // The quality table of the record's FontQuality byte.
  static const Byte kQuality[7] = {4, 5, 6, 0, 1, 3, 2};
  f->SetQuality(static_cast<TFontQuality>(kQuality[O.FontQuality <= 6 ? O.FontQuality : 0]));
  f->SetColor(O.PenColor);
}

}  // namespace

void IEVectLineEndTriangle(TIEVectLineEnd Shape, TPoint E, TPoint O, Integer W, Integer L, TPoint Out[3]) {
  double dx = O.X - E.X, dy = O.Y - E.Y;
  const double len = std::sqrt(dx * dx + dy * dy);
  if (len > 0) {
    dx /= len;
    dy /= len;
  }
  const double nx = -dy, ny = dx;
  const TPoint b(E.X + Integer(std::trunc(L * dx)), E.Y + Integer(std::trunc(L * dy)));
  const Integer ox = Integer(std::trunc(nx * W / 2)), oy = Integer(std::trunc(ny * W / 2));
  if (Shape == leReverseArrow) {
    Out[0] = TPoint(E.X + ox, E.Y + oy);
    Out[1] = TPoint(E.X - ox, E.Y - oy);
    Out[2] = b;
  } else {
    Out[0] = TPoint(b.X + ox, b.Y + oy);
    Out[1] = TPoint(b.X - ox, b.Y - oy);
    Out[2] = E;
  }
}

std::vector<TIECurveCharPlace> IEVectCurveTextPlaces(const std::vector<TIEVectDPoint>& Points, Integer Chars,
                                                     Integer CharAngle) {
  std::vector<TIECurveCharPlace> out;
  if (Points.empty() || Chars <= 0) return out;
  double total = 0;
  for (size_t i = 1; i < Points.size(); ++i)
    total += std::hypot(Points[i].X - Points[i - 1].X, Points[i].Y - Points[i - 1].Y);
  const double step = std::trunc(total / Chars);
  auto angleOf = [&](double DX, double DY) {
    if (CharAngle != -10) return CharAngle;
    double deg;
    if (std::fabs(DX) < 0.01) {
      deg = DY > 0 ? 270 : 90;  // screen y grows downwards
    } else {
      deg = std::atan(-DY / DX) * 180 / 3.14159265358979323846;
      if (DX < 0) deg += 180;
    }
    return Integer(std::trunc(deg * 10 + 0.5));
  };
  double walked = 0;
  Integer k = 0;
  for (size_t i = 1; i < Points.size() && k < Chars; ++i) {
    const TIEVectDPoint& a = Points[i - 1];
    const TIEVectDPoint& b = Points[i];
    const double len = std::hypot(b.X - a.X, b.Y - a.Y);
    // Every character whose place falls inside this segment (its end
    // included, so that a step of 0 still places them all at the start).
    while (k < Chars && double(k) * step <= walked + len) {
      const double f = len > 0 ? (double(k) * step - walked) / len : 0;
      out.push_back(TIECurveCharPlace{a.X + f * (b.X - a.X), a.Y + f * (b.Y - a.Y), angleOf(b.X - a.X, b.Y - a.Y)});
      ++k;
    }
    walked += len;
  }
  return out;
}

void TZiduzUvVect::SetObjAntialias(bool Value) {
  if (Value == FObjAntialias) return;
  FObjAntialias = Value;
  Update();
}

void TZiduzUvVect::SetZoomObjectsWidth(bool Value) {
  FZoomObjectsWidth = Value;
  Update();
}

void TZiduzUvVect::SetBitmapResampleFilter(TResampleFilter Value) {
  FBitmapResampleFilter = Value;
  Update();
}

Integer TZiduzUvVect::DrawnPenWidthFor(double ZX, double ZY, Integer PenWidth) const {
  if (!FZoomObjectsWidth) return PenWidth;
  return Integer(std::ceil(std::max(std::min(ZX, ZY) * PenWidth, 1.0)));
}

bool TZiduzUvVect::DrawObject(TIEVectObject& O, Integer hobj, TIEBitmap* Target, bool Clip, bool Map, bool Antialias,
                              bool DrawingAlpha, bool Opaque) {
  TPass p;
  p.Map = Map;
  if (Map) {
    p.ZX = ZoomX() / 100;
    p.ZY = ZoomY() / 100;
  }
  auto mx = [&](Integer X) { return Map ? ImageToClientX(X) : X; };
  auto my = [&](Integer Y) { return Map ? ImageToClientY(Y) : Y; };
  Integer x1 = mx(O.X1), y1 = my(O.Y1), x2 = mx(O.X2), y2 = my(O.Y2);
  // An and-filled box is always outlined with one pixel; the record says so
  // since it was set or loaded.
  const Integer pw = DrawnPenWidthFor(p.ZX, p.ZY, O.AndFill ? 1 : O.PenWidth);
  if (O.Kind == vkBitmap && FZoomObjectsWidth) {
    if (p.ZX != 1) x2 = mx(O.X2 + 1) - 1;
    if (p.ZY != 1) y2 = my(O.Y2 + 1) - 1;
  }
  O.DrawnExtent = TRect(2000000000, 2000000000, -2000000000, -2000000000);
  O.DrawnPenWidth = pw;
  if (!(O.Style & vsVisible) || O.Kind < vkLine || O.Kind > vkCustom) return false;
  const TRect client(std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2));
  if (Clip && (client.Right < 0 || client.Bottom < 0 || client.Left >= Target->Width() ||
               client.Top >= Target->Height()))
    return false;

  TBitmap* dest = Target->GetVclBitmap();
  bool handled = false;
  if (OnBeforeDrawObject) OnBeforeDrawObject(this, hobj, dest, TRect(x1, y1, x2, y2), DrawingAlpha, handled);
  if (!handled) {
    TRect& ext = O.DrawnExtent;
    bool stretchBitmap = false, andFill = false, drawMemo = false;
    {
      TIECanvas c(Target->GetCanvas(), Antialias && !(FFastDrawing && FFastDrawDuringDrag), true);
      TIEPen* pen = c.Pen();
      pen->SetStyle(O.PenStyle);
      pen->SetWidth(float(pw));
      pen->SetMode(pmCopy);
      pen->SetColor(O.PenColor);
      // On the alpha path the object's transparency lives in the alpha
      // channel; the shapes themselves are drawn opaque.
      const Byte transparency = Opaque ? 255 : Byte(std::clamp(O.Transparency, 0, 255));
      pen->SetTransparency(transparency);
      TIEBrush* brush = c.Brush();
      brush->SetTransparency(transparency);
      brush->SetColor(O.BrushColor);
      brush->SetStyle(O.BrushStyle);
      auto lineWithEnds = [&] {
        c.DrawLine(x1, y1, x2, y2);
        Include(ext, x1, y1);
        Include(ext, x2, y2);
        const Integer w = Integer(std::trunc(O.ShapeWidth * p.ZX)), l = Integer(std::trunc(O.ShapeLength * p.ZY));
        auto shape = [&](TIEVectLineEnd S, TPoint E, TPoint Other) {
          if (S != leArrow && S != leReverseArrow) return;
          TPoint t[3];
          IEVectLineEndTriangle(S, E, Other, w, l, t);
          brush->SetStyle(bsSolid);
          brush->SetColor(O.PenColor);
          c.Polygon(t, 2);
          for (const TPoint& q : t) Include(ext, q.X, q.Y);
        };
        shape(O.BeginShape, TPoint(x1, y1), TPoint(x2, y2));
        shape(O.EndShape, TPoint(x2, y2), TPoint(x1, y1));
        brush->SetColor(O.BrushColor);
        brush->SetStyle(O.BrushStyle);
      };
      // A text or memo being edited in place: the editor shows the text,
      // the object only its frame around it.
      auto editorFrame = [&] {
        brush->SetStyle(bsClear);
        c.Rectangle(x1 - 1, y1 - 1, x2 + 1, y2 + 1);
        Include(ext, x1 - 1, y1 - 1);
        Include(ext, x2 + 1, y2 + 1);
      };
      switch (O.Kind) {
        case vkLine:
          lineWithEnds();
          break;
        case vkRuler: {
          if (x1 == x2 && y1 == y2) break;
          pen->SetStyle(psSolid);
          c.DrawLine(x1, y1, x2, y2);
          Include(ext, x1, y1);
          Include(ext, x2, y2);
          TCanvas* cv = c.Canvas();
          ApplyFont(cv, O, 1, 0);
          if (O.Font) cv->Font()->SetSize(std::max(3, Integer(std::trunc(std::abs(O.Font->lfHeight) * p.ZY))));
          cv->Brush()->SetStyle(bsClear);
          if (O.RulerType == rtScale) {
            for (const TIERulerTick& t : RulerScaleTicks(x1, y1, x2, y2, O.RulerUnit, p.ZX * 100, p.ZY * 100)) {
              c.DrawLine(t.A.X, t.A.Y, t.B.X, t.B.Y);
              Include(ext, t.A.X, t.A.Y);
              Include(ext, t.B.X, t.B.Y);
              if (t.Label < 0) continue;
              const WideString n = IntToStr(t.Label);
              const Integer w2 = cv->TextWidth(n) / 2;
              cv->TextOut(t.A.X - w2, t.A.Y - cv->TextHeight(n), n);
              Include(ext, t.A.X - w2 - 15, t.A.Y - 15);
              Include(ext, t.A.X + w2 + 15, t.A.Y + 15);
            }
          } else {
            // End ticks across both ends and the measured length as text.
            double ux, uy;
            GetUnitFactors(ux, uy, O.RulerUnit);
            const double len = std::hypot(std::abs(x2 - x1) * ux / p.ZX, std::abs(y2 - y1) * uy / p.ZY);
            const double d = std::hypot(double(x2 - x1), double(y2 - y1));
            const double nx = -(y2 - y1) / d, ny = (x2 - x1) / d;
            const Integer tx = Integer(std::trunc(9 * p.ZX)), ty = Integer(std::trunc(9 * p.ZY));
            for (TPoint e : {TPoint(x1, y1), TPoint(x2, y2)}) {
              const Integer ox = Integer(std::trunc(nx * tx)), oy = Integer(std::trunc(ny * ty));
              c.DrawLine(e.X + ox, e.Y + oy, e.X - ox, e.Y - oy);
              Include(ext, e.X + ox, e.Y + oy);
              Include(ext, e.X - ox, e.Y - oy);
            }
            WideString text = FormatMeasure(len) + u" " + IEUnitSuffix(O.RulerUnit);
            const Integer w = cv->TextWidth(text);
            const double fx = (x2 - x1) / d, fy = (y2 - y1) / d;
            const double at = O.RulerType == rtLabelStart ? 0 : O.RulerType == rtLabelEnd ? d - w : (d - w) / 2;
            const Integer px = x1 + Integer(std::trunc(fx * at)), py = y1 + Integer(std::trunc(fy * at));
            cv->TextOut(px, py, text);
            Include(ext, px - 15, py - 15);
            Include(ext, px + w + 15, py + cv->TextHeight(text) + 15);
          }
          break;
        }
        case vkLineLabel: {
          lineWithEnds();
          if (O.Text.empty()) break;
          const bool atEnd = O.LabelPosition == 1;
          const TPoint le = atEnd ? TPoint(x2, y2) : TPoint(x1, y1), far = atEnd ? TPoint(x1, y1) : TPoint(x2, y2);
          ApplyFont(c.Canvas(), O, p.ZY, 0);
          const WideString text = TextOf(O.Text);
          const Integer w = c.TextWidth(text), h = c.TextHeight(text);
          const Integer left = le.X < far.X ? le.X - w : le.X, top = le.Y < far.Y ? le.Y - h : le.Y;
          brush->SetColor(O.LabelBrushColor);
          brush->SetStyle(O.LabelBrushStyle);
          pen->SetStyle(O.LabelBorder != 0 ? psSolid : psClear);
          if (O.LabelBorder == 2)
            c.RoundRect(left, top, left + w, top + h, 10, 10);
          else if (O.LabelBorder == 3)
            c.Ellipse(left, top - h, left + w, top + 2 * h);
          else
            c.Rectangle(left, top, left + w, top + h);
          c.Canvas()->Brush()->SetStyle(bsClear);
          c.TextRect(TRect(left, top, left + w, top + h), left, top, text);
          Include(ext, left, top);
          Include(ext, left + w, top + h);
          O.LabelRect = TRect(Map ? ClientToImageX(left) : left, Map ? ClientToImageY(top) : top,
                              Map ? ClientToImageX(left + w) : left + w, Map ? ClientToImageY(top + h) : top + h);
          break;
        }
        case vkBox:
          if (O.AndFill) {
            andFill = true;
          } else {
            c.Rectangle(x1, y1, x2 + 1, y2 + 1);
          }
          Include(ext, x1, y1);
          Include(ext, x2 + 1, y2 + 1);
          break;
        case vkEllipse:
          c.Ellipse(x1, y1, x2 + 1, y2 + 1);
          Include(ext, x1, y1);
          Include(ext, x2 + 1, y2 + 1);
          break;
        case vkArc: {
          const double hw = (x2 - x1) / 2.0, hh = (y2 - y1) / 2.0;
          const Integer sx = x1 + Integer(std::trunc(hw + std::cos(O.ArcStart) * hw));
          const Integer sy = y1 + Integer(std::trunc(hh + std::sin(O.ArcStart) * hh));
          const Integer ex = x1 + Integer(std::trunc(hw + std::cos(O.ArcEnd) * hw));
          const Integer ey = y1 + Integer(std::trunc(hh + std::sin(O.ArcEnd) * hh));
          c.Arc(x1, y1, x2 + 1, y2 + 1, sx, sy, ex, ey);
          Include(ext, x1, y1);
          Include(ext, x2 + 1, y2 + 1);
          break;
        }
        case vkBitmap:
          if (O.BitmapIndex < 0) {
            // The placeholder: outline and diagonals.
            c.DrawLine(x1, y1, x2, y2);
            c.DrawLine(x2, y1, x1, y2);
            brush->SetStyle(bsClear);
            c.Rectangle(x1, y1, x2 + 1, y2 + 1);
          } else if (GetStoredBitmap(O.BitmapIndex)) {
            stretchBitmap = true;
          }
          Include(ext, client.Left, client.Top);
          Include(ext, client.Right + 1, client.Bottom + 1);
          break;
        case vkMemo: {
          if (hobj == FEditingObject) {
            editorFrame();
            break;
          }
          if (O.MemoHasBitmap && !DrawingAlpha && GetStoredBitmap(O.BitmapIndex)) stretchBitmap = true;
          drawMemo = true;
          Include(ext, client.Left, client.Top);
          Include(ext, client.Right + 1, client.Bottom + 1);
          break;
        }
        case vkText: {
          if (hobj == FEditingObject) {
            editorFrame();
            break;
          }
          c.Rectangle(x1, y1, x2 + 1, y2 + 1);
          Include(ext, x1, y1);
          Include(ext, x2 + 1, y2 + 1);
          if (O.Text.empty()) break;
          ApplyFont(c.Canvas(), O, p.ZY, y2 - y1);
          const WideString text = TextOf(O.Text);
          if (!O.CurvePoints.empty()) {
            DrawCurvedText(c.Canvas(), O, x1, y1, x2 - x1, y2 - y1);
            break;
          }
          const double t = (O.Font ? O.Font->lfEscapement : 0) / 10.0 * 3.14159265358979323846 / 180;
          const Integer w = c.TextWidth(text), h = c.TextHeight(text), W = x2 - x1, H = y2 - y1;
          const Integer vo = Integer(std::trunc(H - std::cos(t) * h + std::sin(t) * w)) / 2;
          const Integer margin = O.PenStyle != psClear ? Integer(Round(p.ZX * (O.PenWidth + 1))) : 0;
          Integer ho = 0;
          if (O.TextAlign == 0)
            ho = std::abs(Integer(std::trunc(std::sin(t) * h))) + margin;
          else if (O.TextAlign == 1)
            ho = Integer(std::trunc(W - std::cos(t) * w)) - margin;
          else
            ho = Integer(std::trunc(W - std::cos(t) * w - std::sin(t) * h)) / 2;
          c.Canvas()->Brush()->SetStyle(bsClear);
          c.TextRect(TRect(x1, y1, x2 + 1, y2 + 1), x1 + ho, y1 + vo, text);
          break;
        }
        case vkPolyline: {
          O.ScreenPoints.clear();
          const TRect& pb = O.PointsBox;
          if (O.Points.empty() || (pb.Left == pb.Right && pb.Top == pb.Bottom)) break;
          const double fx = pb.Right != pb.Left ? double(O.X2 - O.X1) / (pb.Right - pb.Left) : 1;
          const double fy = pb.Bottom != pb.Top ? double(O.Y2 - O.Y1) / (pb.Bottom - pb.Top) : 1;
          for (const TPoint& q : O.Points) {
            const Integer ix = Integer(Round((q.X - pb.Left) * fx)) + O.X1;
            const Integer iy = Integer(Round((q.Y - pb.Top) * fy)) + O.Y1;
            O.ScreenPoints.push_back(TPoint(mx(ix), my(iy)));
            Include(ext, mx(ix), my(iy));
          }
          const Integer last = Integer(O.ScreenPoints.size()) - 1;
          if (O.Closed)
            c.Polygon(O.ScreenPoints.data(), last);
          else
            c.Polyline(O.ScreenPoints.data(), last);
          break;
        }
        case vkAngle: {
          // The arms through the placed points; with all three, the angle
          // at the middle one, written there.
          const TPoint* a = O.AnglePoints;
          pen->SetStyle(psSolid);
          Integer placed = 0;
          while (placed < 3 && a[placed].X != -1000000) ++placed;
          for (Integer i = 0; i + 1 < placed; ++i) {
            c.DrawLine(mx(a[i].X), my(a[i].Y), mx(a[i + 1].X), my(a[i + 1].Y));
            Include(ext, mx(a[i].X), my(a[i].Y));
            Include(ext, mx(a[i + 1].X), my(a[i + 1].Y));
          }
          if (placed == 3) {
            bool turned = false;
            const WideString text = FormatMeasure(AngleOf(a, turned)) + u"\u00B0";
            TCanvas* cv = c.Canvas();
            ApplyFont(cv, O, 1, 0);
            if (O.Font) cv->Font()->SetSize(std::max(3, Integer(std::trunc(std::abs(O.Font->lfHeight) * p.ZY))));
            cv->Brush()->SetStyle(bsClear);
            const Integer tx = mx(a[1].X), ty = my(a[1].Y);
            cv->TextOut(tx, ty, text);
            Include(ext, tx + cv->TextWidth(text), ty + cv->TextHeight(text));
          }
          break;
        }
        case vkCustom:
          Include(ext, x1, y1);
          Include(ext, x2 + 1, y2 + 1);
          break;
        default:
          break;
      }
    }
    // Direct pixel work after the canvas is gone, so the two never overlap.
    if (andFill) {
      // Each channel of the picture under the box is masked by the colour's.
      const TColor col = O.BrushColor;
      const Byte mask[3] = {Byte((col >> 16) & 0xFF), Byte((col >> 8) & 0xFF), Byte(col & 0xFF)};
      const Integer l = std::max(client.Left, 0), r = std::min(client.Right, Target->Width() - 1);
      const Integer t = std::max(client.Top, 0), b = std::min(client.Bottom, Target->Height() - 1);
      for (Integer y = t; y <= b && Target->PixelFormat() == ie24RGB; ++y) {
        Byte* row = static_cast<Byte*>(Target->GetScanline(y));
        for (Integer x = l; x <= r; ++x)
          for (Integer k = 0; k < 3; ++k) {
            // The alpha pass paints the box's coverage: the colour itself.
            if (DrawingAlpha)
              row[x * 3 + k] = mask[k];
            else
              row[x * 3 + k] &= mask[k];
          }
      }
    }
    if (stretchBitmap) {
      TIEBitmap* src = GetStoredBitmap(O.BitmapIndex);
      Integer l = client.Left, t = client.Top, r = client.Right, b = client.Bottom;
      if (O.BitmapBorder && pw > 0) {
        // A frame of the pen width inside the edges, in PenColor.
        const TColor pc = O.PenColor;
        const Byte bgr[3] = {Byte((pc >> 16) & 0xFF), Byte((pc >> 8) & 0xFF), Byte(pc & 0xFF)};
        for (Integer y = std::max(t, 0); y <= std::min(b, Target->Height() - 1); ++y) {
          Byte* row = static_cast<Byte*>(Target->GetScanline(y));
          for (Integer x = std::max(l, 0); x <= std::min(r, Target->Width() - 1); ++x)
            if (x < l + pw || x > r - pw || y < t + pw || y > b - pw) {
              std::memcpy(row + x * 3, bgr, 3);
              if (Target->HasAlphaChannel()) Target->GetAlphaChannel()->SetAlpha(x, y, 255);
            }
        }
        l += pw, t += pw, r -= pw, b -= pw;
      }
      if (r >= l && b >= t)
        src->StretchRectTo(Target, l, t, r - l + 1, b - t + 1, 0, 0, src->Width(), src->Height(),
                           FMovingObjects ? rfNone : FBitmapResampleFilter, std::clamp(O.Transparency, 0, 255));
    }
    if (drawMemo) DrawMemo(O, Target, client, p.ZY, DrawingAlpha);
    if (O.Kind == vkCustom && O.CustomObject)
      O.CustomObject->Draw(Target->GetVclBitmap(), TRect(x1, y1, x2, y2), DrawingAlpha, p.ZX, p.ZY);
  }
  if (OnAfterDrawObject) OnAfterDrawObject(this, hobj, dest, TRect(x1, y1, x2, y2), DrawingAlpha, handled);
  return true;
}

void TZiduzUvVect::DrawObjectGrips(TIEBitmap* Target, Integer hobj) {
  TIEVectObject* o = GetObj(hobj);
  if (!o) return;
  Integer x1 = ImageToClientX(o->X1), y1 = ImageToClientY(o->Y1);
  Integer x2 = ImageToClientX(o->X2), y2 = ImageToClientY(o->Y2);
  if (o->Kind == vkBitmap && FZoomObjectsWidth) {
    if (ZoomX() != 100) x2 = ImageToClientX(o->X2 + 1) - 1;
    if (ZoomY() != 100) y2 = ImageToClientY(o->Y2 + 1) - 1;
  }
  std::vector<TPoint> grips;
  if (o->Style & vsSelectable) {
    if (o->Kind == vkAngle) {
      for (const TPoint& q : o->AnglePoints) grips.push_back(TPoint(ImageToClientX(q.X), ImageToClientY(q.Y)));
    } else {
      grips.push_back(TPoint(x1, y1));
      grips.push_back(TPoint(x2, y2));
      if (o->Kind != vkLine && o->Kind != vkRuler && o->Kind != vkLineLabel) {
        const Integer mxp = (x1 + x2) / 2, myp = (y1 + y2) / 2;
        grips.insert(grips.end(), {TPoint(x2, y1), TPoint(x1, y2), TPoint(x1, myp), TPoint(x2, myp), TPoint(mxp, y1),
                                   TPoint(mxp, y2)});
      }
    }
  }
  TIECanvas c(Target->GetCanvas(), true, true);
  c.Pen()->SetColor(0);
  c.Pen()->SetStyle(psSolid);
  c.Pen()->SetMode(pmCopy);
  c.Pen()->SetWidth(1);
  c.Pen()->SetTransparency(kGripTransparency);
  c.Brush()->SetColor(kGripBrush);
  c.Brush()->SetStyle(bsSolid);
  c.Brush()->SetTransparency(kGripTransparency);
  const Integer g = FObjGripSize;
  for (const TPoint& q : grips) {
    if (FObjGripShape == 0)
      c.Rectangle(q.X - g, q.Y - g, q.X + g, q.Y + g);
    else
      c.Ellipse(q.X - g, q.Y - g, q.X + g, q.Y + g);
  }
  if (FCenterGrip) {
    const Integer l = std::min(x1, x2), r = std::max(x1, x2), t = std::min(y1, y2), b = std::max(y1, y2);
    const Integer cx = l + (r - l + 1) / 2, cy = t + (b - t + 1) / 2;
    const TPoint d[4] = {TPoint(cx, cy - g), TPoint(cx + g, cy), TPoint(cx, cy + g), TPoint(cx - g, cy)};
    c.Polygon(d, 3);
  }
}

void TZiduzUvVect::DrawObjects(TIEBitmap* Target, bool ImageCoordinates, bool Antialias, Integer hobj,
                               bool Decorations) {
  if (!Target || Target->IsEmpty() || Target->PixelFormat() != ie24RGB) return;
  const bool fast = FFastDrawing && FFastDrawDuringDrag;
  auto one = [&](Integer h) {
    TIEVectObject* o = GetObj(h);
    if (!o) return;
    // Only what needs composing goes through the work bitmap; during a drag
    // nothing does.
    const bool shadow = o->Shadow && o->Shadow->Enabled;
    const bool translucentText = o->Transparency <= 254 && (o->Kind == vkText || o->Kind == vkMemo);
    if (fast || (!shadow && !o->AndFill && !translucentText))
      DrawObject(*o, h, Target, true, !ImageCoordinates, Antialias);
    else
      DrawObjectAlpha(*o, h, Target, !ImageCoordinates, Antialias);
  };
  if (hobj == IEV_ALL) {
    for (Integer h : FZOrder) one(h);
  } else {
    one(hobj);
  }
  // Grips are interface: never part of a rendered or burnt picture.
  if (Decorations && !ImageCoordinates)
    for (Integer h : FSel) DrawObjectGrips(Target, h);
}

void TZiduzUvVect::DrawLayers(TIEBitmap* Target, std::unique_ptr<TIERowTable>* RowCache, const TRect* Clip,
                              bool DrawBackground, bool DrawDecorations) {
  TZiduzUvView::DrawLayers(Target, RowCache, Clip, DrawBackground, DrawDecorations);
  if (FZOrder.empty()) return;
  // Without background and decorations the layers are rendered at image
  // scale (flattening, saving the merged picture): the objects follow, in
  // image coordinates and without grips.
  const bool imageScale = !DrawBackground && !DrawDecorations;
  DrawObjects(Target, imageScale, FObjAntialias, IEV_ALL, DrawDecorations);
}

void TZiduzUvVect::DrawObjectsOnBitmap(TIEBitmap* Bitmap, bool Smooth, Integer hobj) {
  if (!Bitmap || Bitmap->IsEmpty()) return;
  const bool fast = FFastDrawing;
  FFastDrawing = false;
  if (Bitmap->PixelFormat() == ie24RGB) {
    DrawObjects(Bitmap, true, Smooth, hobj, false);
    FFastDrawing = fast;
    return;
  }
  // Other formats: drawn on a 24-bit copy, and only the pixels the drawing
  // changed are written back, converted, so the rest keeps its precision.
  TIEBitmap before, work;
  before.AssignImage(Bitmap);
  before.SetPixelFormat(ie24RGB);
  work.AssignImage(&before);
  if (before.PixelFormat() != ie24RGB || work.PixelFormat() != ie24RGB) {
    FFastDrawing = fast;
    return;
  }
  DrawObjects(&work, true, Smooth, hobj, false);
  FFastDrawing = fast;
  const Integer w = Bitmap->Width(), h = Bitmap->Height();
  const TIEPixelFormat pf = Bitmap->PixelFormat();
  std::vector<bool> used(256, false);
  bool usedKnown = false;
  for (Integer y = 0; y < h; ++y) {
    const Byte* a = static_cast<const Byte*>(before.GetScanline(y));
    const Byte* b = static_cast<const Byte*>(work.GetScanline(y));
    if (std::memcmp(a, b, size_t(w) * 3) == 0) continue;
    if (pf == ie8p) {
      Byte* dst = static_cast<Byte*>(Bitmap->GetScanline(y));
      const Integer n = Bitmap->GetPaletteLength();
      TRGB* pal = Bitmap->GetPaletteBuffer();
      if (!pal || n <= 0) continue;
      if (!usedKnown) {
        // The black tail after the last defined entry is padding: entries
        // there that no pixel uses can take drawn colours exactly. Every
        // other entry is kept as it is, used or not.
        for (Integer yy = 0; yy < h; ++yy) {
          const Byte* r = static_cast<const Byte*>(Bitmap->GetScanline(yy));
          for (Integer x = 0; x < w; ++x) used[r[x]] = true;
        }
        Integer last = -1;
        for (Integer i = 0; i < n && i < 256; ++i)
          if (pal[i].b || pal[i].g || pal[i].r) last = i;
        for (Integer i = 0; i <= last; ++i) used[size_t(i)] = true;
        usedKnown = true;
      }
      for (Integer x = 0; x < w; ++x) {
        if (std::memcmp(a + x * 3, b + x * 3, 3) == 0) continue;
        const Byte cb = b[x * 3], cg = b[x * 3 + 1], cr = b[x * 3 + 2];
        // An entry of that colour, else a free entry made that colour, else
        // the nearest entry.
        Integer best = -1;
        for (Integer i = 0; i < n && best < 0; ++i)
          if (pal[i].b == cb && pal[i].g == cg && pal[i].r == cr) best = i;
        for (Integer i = 0; i < n && i < 256 && best < 0; ++i)
          if (!used[size_t(i)]) {
            Bitmap->SetPaletteColor(i, TRGB{cb, cg, cr});
            used[size_t(i)] = true;
            best = i;
          }
        if (best >= 0 && best < 256) used[size_t(best)] = true;
        if (best < 0) {
          int64_t bestD = INT64_MAX;
          for (Integer i = 0; i < n && bestD > 0; ++i) {
            const int64_t db = pal[i].b - cb, dg = pal[i].g - cg, dr = pal[i].r - cr;
            const int64_t d = db * db + dg * dg + dr * dr;
            if (d < bestD) bestD = d, best = i;
          }
        }
        dst[x] = Byte(best);
      }
      continue;
    }
    // One row converted by the container's own conversion, then only the
    // changed pixels copied.
    TIEBitmap row;
    if (!row.Allocate(w, 1, ie24RGB)) continue;
    std::memcpy(row.GetScanline(0), b, size_t(w) * 3);
    row.SetPixelFormat(pf);
    if (row.PixelFormat() != pf) continue;
    const Integer bits = Bitmap->BitCount();
    Byte* dst = static_cast<Byte*>(Bitmap->GetScanline(y));
    const Byte* src = static_cast<const Byte*>(row.GetScanline(0));
    for (Integer x = 0; x < w; ++x) {
      if (std::memcmp(a + x * 3, b + x * 3, 3) == 0) continue;
      if (bits >= 8) {
        std::memcpy(dst + size_t(x) * (bits / 8), src + size_t(x) * (bits / 8), size_t(bits / 8));
      } else if (bits == 1) {
        const Byte m = Byte(0x80 >> (x & 7));
        dst[x >> 3] = Byte((dst[x >> 3] & ~m) | (src[x >> 3] & m));
      }
    }
  }
}

void TZiduzUvVect::DrawObjectsOntoImage(bool Smooth) {
  DrawObjectsOnBitmap(GetIEBitmap(), Smooth, IEV_ALL);
  Update();
  ImageChange();
}

void TZiduzUvVect::Paint() {
  // A repaint with the button held is part of a drag: draw fast until the
  // timer finds the button released.
  if (FFastDrawDuringDrag && !(FDrawingTimer && FDrawingTimer->Enabled()) && !FFastDrawing &&
      IEIsPrimaryButtonDown()) {
    if (!FDrawingTimer) {
      FDrawingTimer = std::make_unique<TTimer>(nullptr);
      FDrawingTimer->SetEnabled(false);
      FDrawingTimer->SetInterval(50);
      FDrawingTimer->OnTimer = [this](TObject* Sender) { DrawingTimerTick(Sender); };
    }
    FFastDrawing = true;
    FDrawingTimer->SetEnabled(true);
  }
  TZiduzUvView::Paint();
  // The repaint covered the hint: what lay under it is gone, so it is drawn
  // again over the new picture rather than restored.
  if (FastFramesCount() == 0 && FHintBackground) {
    FHintBackground->SetWidth(1);
    ShowMeasureHint(-1000000, -1000000);
  }
}

void TZiduzUvVect::DrawingTimerTick(TObject*) {
  if (GetAsyncKeyState(VK_LBUTTON) < 0) return;
  if (FDrawingTimer) FDrawingTimer->SetEnabled(false);
  FFastDrawing = false;
  Update();
}

void TZiduzUvVect::DrawCurvedText(TCanvas* C, TIEVectObject& O, Integer X1, Integer Y1, Integer W, Integer H) {
  std::vector<TIEVectDPoint> pts;
  pts.reserve(O.CurvePoints.size());
  for (const TIEVectDPoint& q : O.CurvePoints) pts.push_back(TIEVectDPoint{X1 + q.X * W, Y1 + q.Y * H});
  const WideString text = TextOf(O.Text);
  const std::vector<TIECurveCharPlace> places = IEVectCurveTextPlaces(pts, Integer(text.size()), O.CharAngle);
  HDC dc = C->Handle();
  const UINT oldAlign = SetTextAlign(dc, TA_BASELINE | TA_CENTER);
  TFont* f = C->Font();
  const Integer oldOrientation = f->Orientation();
  C->Brush()->SetStyle(bsClear);
  Integer last = INT32_MIN;
  for (size_t k = 0; k < places.size(); ++k) {
    const TIECurveCharPlace& pl = places[k];
    // A new rotated font only when the angle changes.
    if (pl.Escapement != last) {
      f->SetOrientation(pl.Escapement);
      last = pl.Escapement;
    }
    const WideString ch(1, text[k]);
    const Integer x = Integer(std::trunc(pl.X)), y = Integer(std::trunc(pl.Y));
    C->TextOut(x, y, ch);
    const TSize sz = C->TextExtent(ch);
    const Integer r = std::max(sz.cx, sz.cy);
    Include(O.DrawnExtent, x - r, y - r);
    Include(O.DrawnExtent, x + r, y + r);
  }
  f->SetOrientation(oldOrientation);
  SetTextAlign(dc, oldAlign);
}

void TZiduzUvVect::DrawMemo(TIEVectObject& O, TIEBitmap* Target, const TRect& Client, double ZY, bool DrawingAlpha) {
  TIETextControl tc(nullptr);
  // The memo's own buffers go to the control, which lays out and draws them
  // and never frees what it was given. A memo without formats lets the
  // control make its default ones, so drawing does not change the object.
  tc.Text = &O.Text;
  if (!O.MemoFormats.empty()) {
    tc.Formats = &O.MemoFormats;
    tc.CharFormats = &O.MemoCharFormats;
  }
  tc.Zoom = ZY;
  tc.MarginLeft = O.MemoMargins[0];
  tc.MarginTop = O.MemoMargins[1];
  tc.MarginRight = O.MemoMargins[2];
  tc.MarginBottom = O.MemoMargins[3];
  TFont* font = tc.Font();
  if (O.Font) {
    font->SetName(AnsiToWide(AnsiString(O.Font->lfFaceName, strnlen(O.Font->lfFaceName, LF_FACESIZE))));
    TFontStyles st;
    if (O.Font->lfWeight >= 700) st.Include(fsBold);
    if (O.Font->lfItalic) st.Include(fsItalic);
    if (O.Font->lfUnderline) st.Include(fsUnderline);
    if (O.Font->lfStrikeOut) st.Include(fsStrikeOut);
    font->SetStyle(st);
    font->SetHeight(O.Font->lfHeight);
  }
  font->SetColor(O.PenColor);
  tc.TextBrush()->SetColor(O.BrushColor);
  tc.TextBrush()->SetStyle(O.MemoBackStyle);
  tc.Alignment = O.TextAlign;
  tc.BackgroundBrush()->SetColor(O.BrushColor);
  tc.BackgroundBrush()->SetStyle(O.BrushStyle);
  tc.IgnoreColors = DrawingAlpha;
  tc.SetSingleFormat(O.MemoSingleFormat);
  tc.AutoHeight = O.AutoSize;
  tc.LineSpacing = O.MemoLineSpacing;
  tc.BorderPen()->SetColor(O.MemoBorderColor);
  tc.BorderPen()->SetStyle(O.MemoBorderStyle);
  tc.FixedCharHeight = O.MemoFixedCharHeight;
  tc.Init();
  {
    TIECanvas c(Target->GetCanvas(), false, false);
    tc.DrawTo(&c, Client.Left, Client.Top, std::abs(O.X2 - O.X1) + 1, std::abs(O.Y2 - O.Y1) + 1);
  }
  // The control may have replaced the buffers it was handed: keep its
  // versions and make sure it frees none of them.
  if (tc.Text != &O.Text && tc.Text) O.Text = *tc.Text;
  tc.Text = nullptr;
  tc.Formats = nullptr;
  tc.CharFormats = nullptr;
}

void TZiduzUvVect::DrawObjectAlpha(TIEVectObject& O, Integer hobj, TIEBitmap* Target, bool Map, bool Antialias) {
  const Integer W = Target->Width(), H = Target->Height();
  if (!FAlphaWork) FAlphaWork = std::make_unique<TIEBitmap>();
  if (!FAlphaCover) FAlphaCover = std::make_unique<TIEBitmap>();
  TIEBitmap* work = FAlphaWork.get();
  TIEBitmap* cover = FAlphaCover.get();
  if (work->Width() != W || work->Height() != H || work->PixelFormat() != ie24RGB) {
    if (!work->Allocate(W, H, ie24RGB)) return;
  }
  if (cover->Width() != W || cover->Height() != H || cover->PixelFormat() != ie24RGB) {
    if (!cover->Allocate(W, H, ie24RGB)) return;
  }
  // The colour pass: over the pen colour, so that the edges of antialiased
  // shapes and text take their colour from the object, not from whatever
  // the work bitmap held; an and-filled box starts from the target's pixels.
  work->Fill(double(O.PenColor & 0xFFFFFF));
  if (O.AndFill) {
    Integer x1 = Map ? ImageToClientX(O.X1) : O.X1, y1 = Map ? ImageToClientY(O.Y1) : O.Y1;
    Integer x2 = Map ? ImageToClientX(O.X2) : O.X2, y2 = Map ? ImageToClientY(O.Y2) : O.Y2;
    const Integer l = std::max(std::min(x1, x2), 0), t = std::max(std::min(y1, y2), 0);
    const Integer r = std::min(std::max(x1, x2), W - 1), b = std::min(std::max(y1, y2), H - 1);
    if (r >= l && b >= t) Target->CopyRectTo(work, l, t, l, t, r - l + 1, b - t + 1);
  }
  if (!DrawObject(O, hobj, work, true, Map, Antialias, false, true)) return;
  const TRect extent = O.DrawnExtent;
  const Integer pw = O.DrawnPenWidth;
  // The coverage pass: the object again in grey levels of its transparency
  // on black; a bitmap object's own alpha reaches the channel by drawing it
  // once more into the work bitmap.
  TIEBitmap* alpha = work->GetAlphaChannel();
  if (!alpha) return;
  alpha->Fill(0);
  if (O.Kind == vkBitmap && GetStoredBitmap(O.BitmapIndex)) {
    DrawObject(O, hobj, work, true, Map, Antialias, false, true);
  } else {
    cover->Fill(0);
    const Integer t = std::clamp(O.Transparency, 0, 255);
    const TColor grey = 0x02000000 | TColor(t * 0x010101);
    const TColor pc = O.PenColor, bc = O.BrushColor, lc = O.LabelBrushColor, mc = O.MemoBorderColor;
    O.PenColor = O.BrushColor = O.LabelBrushColor = O.MemoBorderColor = grey & 0xFFFFFF;
    DrawObject(O, hobj, cover, true, Map, Antialias, true, true);
    O.PenColor = pc, O.BrushColor = bc, O.LabelBrushColor = lc, O.MemoBorderColor = mc;
  }
  O.DrawnExtent = extent;
  O.DrawnPenWidth = pw;
  // The affected area, in work pixels (edges inclusive): the coverage
  // outside it is black anyway.
  Integer l = std::max(extent.Left - pw, 0), t = std::max(extent.Top - pw, 0);
  Integer r = std::min(extent.Right + pw, W - 1), b = std::min(extent.Bottom + pw, H - 1);
  if (!(O.Kind == vkBitmap && GetStoredBitmap(O.BitmapIndex)))
    for (Integer y = t; y <= b; ++y) {
      const Byte* src = static_cast<const Byte*>(cover->GetScanline(y));
      Byte* dst = static_cast<Byte*>(alpha->GetScanline(y));
      for (Integer x = l; x <= r; ++x) dst[x] = src[x * 3];
    }
  if (O.Shadow && O.Shadow->Enabled) {
    const double zx = Map ? ZoomX() / 100 : 1, zy = Map ? ZoomY() / 100 : 1;
    TRGB col;
    col.b = O.Shadow->ShadowColor[0];
    col.g = O.Shadow->ShadowColor[1];
    col.r = O.Shadow->ShadowColor[2];
    const Integer m = IEAddSoftShadowRect(work, Integer(std::trunc(O.Shadow->OffsetX * zx)),
                                          Integer(std::trunc(O.Shadow->OffsetY * zy)), O.Shadow->Radius * zx,
                                          O.Shadow->Intensity, col, l, t, r, b);
    // The shadow reaches beyond the object: the drawn extent says so, so
    // that burning in and repainting cover it.
    l = std::max(l - m, 0), t = std::max(t - m, 0);
    r = std::min(r + m, W - 1), b = std::min(b + m, H - 1);
    Include(O.DrawnExtent, extent.Left - m, extent.Top - m);
    Include(O.DrawnExtent, extent.Right + m, extent.Bottom + m);
  }
  // Merged through the alpha channel.
  for (Integer y = t; y <= b; ++y) {
    const Byte* src = static_cast<const Byte*>(work->GetScanline(y));
    const Byte* a = static_cast<const Byte*>(alpha->GetScanline(y));
    Byte* dst = static_cast<Byte*>(Target->GetScanline(y));
    for (Integer x = l; x <= r; ++x) {
      const Integer av = a[x];
      if (av == 0) continue;
      for (Integer k = 0; k < 3; ++k) {
        const Integer v = (src[x * 3 + k] * av + dst[x * 3 + k] * (255 - av) + 127) / 255;
        dst[x * 3 + k] = Byte(v);
      }
    }
  }
}
