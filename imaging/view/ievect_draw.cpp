// Drawing the vector objects: onto the view's back buffer at every repaint
// (mapped through zoom and scroll, with the grips of the selection), and
// into a picture at image scale when the objects are burnt in.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "imaging/core/base/iehelpers.h"
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

bool TZiduzUvVect::DrawObject(TIEVectObject& O, Integer hobj, TIEBitmap* Target, bool Clip, bool Map, bool Antialias) {
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
  if (OnBeforeDrawObject) OnBeforeDrawObject(this, hobj, dest, TRect(x1, y1, x2, y2), false, handled);
  if (!handled) {
    TRect& ext = O.DrawnExtent;
    bool stretchBitmap = false, andFill = false;
    {
      TIECanvas c(Target->GetCanvas(), Antialias && !(FFastDrawing && FFastDrawDuringDrag), true);
      TIEPen* pen = c.Pen();
      pen->SetStyle(O.PenStyle);
      pen->SetWidth(float(pw));
      pen->SetMode(pmCopy);
      pen->SetColor(O.PenColor);
      pen->SetTransparency(Byte(std::clamp(O.Transparency, 0, 255)));
      TIEBrush* brush = c.Brush();
      brush->SetTransparency(Byte(std::clamp(O.Transparency, 0, 255)));
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
        case vkText:
        case vkMemo: {
          // Memos are laid out by the text editor; until then they show
          // their box and their text as one run.
          c.Rectangle(x1, y1, x2 + 1, y2 + 1);
          Include(ext, x1, y1);
          Include(ext, x2 + 1, y2 + 1);
          if (O.Text.empty() || hobj == FEditingObject) break;
          ApplyFont(c.Canvas(), O, p.ZY, y2 - y1);
          const WideString text = TextOf(O.Text);
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
          for (Integer k = 0; k < 3; ++k) row[x * 3 + k] &= mask[k];
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
            if (x < l + pw || x > r - pw || y < t + pw || y > b - pw) std::memcpy(row + x * 3, bgr, 3);
        }
        l += pw, t += pw, r -= pw, b -= pw;
      }
      if (r >= l && b >= t)
        src->StretchRectTo(Target, l, t, r - l + 1, b - t + 1, 0, 0, src->Width(), src->Height(),
                           FMovingObjects ? rfNone : FBitmapResampleFilter, std::clamp(O.Transparency, 0, 255));
    }
    if (O.Kind == vkCustom && O.CustomObject)
      O.CustomObject->Draw(Target->GetVclBitmap(), TRect(x1, y1, x2, y2), false, p.ZX, p.ZY);
  }
  if (OnAfterDrawObject) OnAfterDrawObject(this, hobj, dest, TRect(x1, y1, x2, y2), false, handled);
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
  auto one = [&](Integer h) {
    if (TIEVectObject* o = GetObj(h)) DrawObject(*o, h, Target, true, !ImageCoordinates, Antialias);
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
  for (Integer y = 0; y < h; ++y) {
    const Byte* a = static_cast<const Byte*>(before.GetScanline(y));
    const Byte* b = static_cast<const Byte*>(work.GetScanline(y));
    if (std::memcmp(a, b, size_t(w) * 3) == 0) continue;
    if (pf == ie8p) {
      Byte* dst = static_cast<Byte*>(Bitmap->GetScanline(y));
      const Integer n = Bitmap->GetPaletteLength();
      const TRGB* pal = Bitmap->GetPaletteBuffer();
      for (Integer x = 0; x < w; ++x) {
        if (std::memcmp(a + x * 3, b + x * 3, 3) == 0 || !pal || n <= 0) continue;
        // The nearest entry of the picture's own palette.
        Integer best = 0;
        int64_t bestD = INT64_MAX;
        for (Integer i = 0; i < n && bestD > 0; ++i) {
          const int64_t db = pal[i].b - b[x * 3], dg = pal[i].g - b[x * 3 + 1], dr = pal[i].r - b[x * 3 + 2];
          const int64_t d = db * db + dg * dg + dr * dr;
          if (d < bestD) bestD = d, best = i;
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
