// Measuring in real-world units: the per-pixel factors, the number texts,
// the drag length, the selection's outline length and area, the angle of
// an angle object, and the tick positions of a scale ruler.
#include <algorithm>
#include <cmath>

#include "imaging/core/base/iehelpers.h"
#include "imaging/core/bitmap/iemask.h"
#include "imaging/core/base/ieutils.h"
#include "imaging/core/render/iegeom.h"
#include "imaging/core/render/ierendercanvas.h"
#include "imaging/view/ievect.h"

namespace {

const char16_t* const kUnitSuffix[8] = {u"pixels", u"inches", u"km", u"mt", u"cm", u"mm", u"microns", u"nanometers"};

// Ticks closer than this are not drawn one by one: a ruler in a tiny unit
// would otherwise loop hundreds of millions of times per repaint.
constexpr double kMinTickSpacing = 2.0;

}  // namespace

WideString IEUnitSuffix(TIEUnits Unit) { return Unit <= ieuNANOMETERS ? kUnitSuffix[Unit] : u""; }

void TZiduzUvVect::RecomputeUnitFactors() { GetUnitFactors(FUnitPerPixelX, FUnitPerPixelY, FMUnit); }

void TZiduzUvVect::SetMUnit(TIEUnits Value) {
  FMUnit = Value;
  FTemplate.RulerUnit = Value;
  RecomputeUnitFactors();
  RefreshMeasureHint(-1000000, -1000000);
}

void TZiduzUvVect::SetFloatDigits(Integer Value) {
  FFloatDigits = Value;
  RefreshMeasureHint(-1000000, -1000000);
}

void TZiduzUvVect::SetFloatPrecision(Integer Value) {
  FFloatPrecision = Value;
  RefreshMeasureHint(-1000000, -1000000);
}

void TZiduzUvVect::SetDpiX(Integer Dpi) {
  TZiduzUvView::SetDpiX(Dpi);
  RecomputeUnitFactors();
  RefreshMeasureHint(-1000000, -1000000);
  Update();
}

void TZiduzUvVect::SetDpiY(Integer Dpi) {
  TZiduzUvView::SetDpiY(Dpi);
  RecomputeUnitFactors();
  RefreshMeasureHint(-1000000, -1000000);
  Update();
}

// ---------------------------------------------------------------------------
// The measure hint

void TZiduzUvVect::StartMeasureHint(TIEMeasureHintSource Source, Integer X0, Integer Y0) {
  HideMeasureHint();
  FHintSource = Source;
  FHintStart = TPoint(X0, Y0);
  FHintPoint = FHintStart;
  FHintActive = true;
}

void TZiduzUvVect::EndMeasureHint(bool Report) {
  if (!FHintActive) return;
  HideMeasureHint();
  FHintActive = false;
  if (Report && FHintSource == iemhDragLen && OnDragLenEnd) OnDragLenEnd(this, FLastMeasured);
}

void TZiduzUvVect::ShowMeasureHint(Integer X, Integer Y) {
  if (!FHintActive || !HandleAllocated()) return;
  // The last position repeats the last measurement: the box's corner may
  // have been moved inside the view, the point measured to was not.
  const TPoint at(X == -1000000 ? FHintPoint.X : std::max(X, 0), Y == -1000000 ? FHintPoint.Y : std::max(Y, 0));
  FHintPoint = at;
  double value = 0;
  bool area = false;
  switch (FHintSource) {
    case iemhArea:
      value = GetSelectionArea();
      area = true;
      break;
    case iemhPerimeter:
      value = GetOutlineLength();
      break;
    case iemhDragLen:
      value = GetDragLength(FHintStart.X, FHintStart.Y, at.X, at.Y);
      break;
  }
  if (value == 0) value = FLastMeasured;
  FLastMeasured = value;
  WideString text = MeasureText(value, area);
  if (OnMeasureHint) OnMeasureHint(this, text, value);
  if (!FHintFont) {
    FHintFont = std::make_unique<TFont>();
    FHintFont->SetColor(clBlack);
    TFontStyles st;
    st.Include(fsBold);
    FHintFont->SetStyle(st);
    FHintBrush = std::make_unique<TBrush>();
    FHintBrush->SetColor(0x60FFFF);
    FHintBrush->SetStyle(bsSolid);
    FHintBackground = std::make_unique<TBitmap>();
  }
  TCanvas* c = Canvas();
  if (!c) return;
  Integer x = at.X, y = at.Y;
  IEDrawTextBox(c, x, y, text, FHintFont.get(), FHintBrush.get(), FHintBackground.get(), GetViewWidth(),
                GetViewHeight(), 0x808080, 0xFFFFFF);
  FHintPos = TPoint(x, y);
}

void TZiduzUvVect::HideMeasureHint() {
  if (!FHintActive || !FHintBackground || FHintBackground->Width() < 2 || !HandleAllocated()) return;
  if (TCanvas* c = Canvas()) c->Draw(FHintPos.X, FHintPos.Y, FHintBackground.get());
  FHintBackground->SetWidth(1);
}

void TZiduzUvVect::SetMeasureRubberSegment(bool Value) {
  FMeasureRubberSegment = Value;
  RefreshMeasureHint(-1000000, -1000000);
}

void TZiduzUvVect::FollowSelectionWithHint() {
  // A drag-length gesture owns the hint until it ends.
  if (FDragLenActive || (FHintActive && FHintSource == iemhDragLen)) return;
  const bool area = FVectorInteract.Contains(viMeasureArea);
  const bool wanted = (area || FVectorInteract.Contains(viMeasurePerimeter)) &&
                      (SelectionGestureRunning() || GetSelectionPolygonCount() > 0);
  if (!wanted) {
    EndMeasureHint(false);
    return;
  }
  const TIEMeasureHintSource source = area ? iemhArea : iemhPerimeter;
  if (!FHintActive || FHintSource != source) StartMeasureHint(source, FLastMousePos.X, FLastMousePos.Y);
}

void TZiduzUvVect::RefreshMeasureHint(Integer X, Integer Y) {
  HideMeasureHint();
  ShowMeasureHint(X, Y);
}

WideString TZiduzUvVect::FormatMeasure(double Value) {
  WideString s;
  IEFloatToStrF(ieffFixed, FFloatPrecision, FFloatDigits, s, Value);
  return s;
}

WideString TZiduzUvVect::MeasureText(double Value, bool Area) {
  WideString s = FormatMeasure(Value) + u" " + IEUnitSuffix(FMUnit);
  if (Area) s += u"\u00B2";
  return s;
}

double TZiduzUvVect::GetDragLength(Integer X0, Integer Y0, Integer X, Integer Y) {
  // Both end pixels count: a drag that does not move measures one pixel
  // on each axis.
  const double dx = (X - X0 + 1) * FUnitPerPixelX * 100 / ZoomX();
  const double dy = (Y - Y0 + 1) * FUnitPerPixelY * 100 / ZoomY();
  return std::sqrt(dx * dx + dy * dy);
}

double TZiduzUvVect::GetOutlineLength() {
  const TPoint* p = GetSelectionPolygon();
  const Integer n = GetSelectionPolygonCount();
  // One point still being drawn has a length: its rubber segment.
  if (!p || n < (FPolygonSelecting && FMeasureRubberSegment ? 1 : 2)) return 0;
  double sum = 0;
  auto seg = [&](const TPoint& A, const TPoint& B) {
    const double dx = (B.X - A.X) * FUnitPerPixelX, dy = (B.Y - A.Y) * FUnitPerPixelY;
    sum += std::sqrt(dx * dx + dy * dy);
  };
  Integer first = 0;
  for (Integer i = 0; i < n; ++i) {
    if (p[i].X == IEPolygonSeparator) {
      if (i > first) seg(p[i - 1], p[first]);
      first = i + 1;
      continue;
    }
    if (i > first) seg(p[i - 1], p[i]);
  }
  if (!FPolygonSelecting) {
    if (n > 2 && n - 1 > first) seg(p[n - 1], p[first]);
  } else if (FMeasureRubberSegment && p[n - 1].X != IEPolygonSeparator) {
    // The outline being drawn is open: it runs on to the mouse, which the
    // next click would add (clamped the same way, in the layer's pixels).
    if (TIELayer* l = GetCurrentLayer(); l && GetIEBitmap()) {
      const TPoint m(std::clamp(l->ClientToBitmapX(FLastMousePos.X), 0, GetIEBitmap()->Width()),
                     std::clamp(l->ClientToBitmapY(FLastMousePos.Y), 0, GetIEBitmap()->Height()));
      seg(p[n - 1], m);
    }
  }
  return sum;
}

double TZiduzUvVect::GetSelectionArea() {
  const TPoint* p = GetSelectionPolygon();
  const Integer n = GetSelectionPolygonCount();
  if (p && n > 2) {
    double sum = 0;
    Integer first = 0;
    for (Integer i = 0; i <= n; ++i) {
      if (i == n || p[i].X == IEPolygonSeparator) {
        // The sub-polygon first..i-1, closed.
        for (Integer k = first; k < i; ++k) {
          const TPoint& a = p[k];
          const TPoint& b = p[k + 1 < i ? k + 1 : first];
          sum += double(a.X) * b.Y - double(b.X) * a.Y;
        }
        first = i + 1;
      }
    }
    return std::fabs(sum / 2) * FUnitPerPixelX * FUnitPerPixelY;
  }
  TIEMask* m = SelectionMask();
  if (m && !m->IsEmpty() && m->BitsPerPixel() == 1) {
    int64_t count = 0;
    for (Integer y = m->Y1; y <= m->Y2; ++y)
      for (Integer x = m->X1; x <= m->X2; ++x) count += m->GetPixel(x, y) != 0;
    return double(count) * FUnitPerPixelX * FUnitPerPixelY;
  }
  return 0;
}

double TZiduzUvVect::AngleOf(const TPoint P[3], bool& Turned) {
  // Counted from the first arm to the second, counter-clockwise as seen on
  // the screen.
  double a = IEVertexAngle(P[2].X, P[2].Y, P[1].X, P[1].Y, P[0].X, P[0].Y) * 180 / 3.14159265358979323846;
  Turned = FInnerAngles && a >= 180;
  if (Turned) a = 360 - a;
  return a;
}

std::vector<TIERulerTick> TZiduzUvVect::RulerScaleTicks(Integer X1, Integer Y1, Integer X2, Integer Y2, TIEUnits Unit,
                                                        double ZX, double ZY) {
  std::vector<TIERulerTick> ticks;
  if (X1 == X2 && Y1 == Y2) return ticks;
  double ux, uy;
  GetUnitFactors(ux, uy, Unit);
  const double px = 100 / ZX * ux * 10, py = 100 / ZY * uy * 10;
  if (px == 0 || py == 0) return ticks;
  const double spanX = 1 / px, spanY = 1 / py;  // client pixels per tenth of a unit
  // Direction along the ruler, as the drawing computes it.
  double a = IEAngleBetweenSegments(X1, Y1, X2, Y2, X1, Y2) * 180 / 3.14159265358979323846;
  if (X1 == X2) a = Y1 >= Y2 ? 90 : -90;
  const bool downRight = (X1 < X2 && Y1 < Y2) || (X1 > X2 && Y1 > Y2);
  const double q = (downRight ? 360 - a + 90 : a + 90) * 3.14159265358979323846 / 180;
  double nx = std::cos(q), ny = std::sin(q);
  if (Y1 == Y2) nx = 0, ny = -1;
  double ux2 = X2 >= X1 ? -std::sin(q) : std::sin(q), uy2 = X2 >= X1 ? std::cos(q) : -std::cos(q);
  // cos(270 degrees) is not exactly 0 in doubles; a horizontal or vertical
  // ruler must not drift off its own line and lose its ticks.
  if (std::fabs(ux2) < 1e-9) ux2 = 0;
  if (std::fabs(uy2) < 1e-9) uy2 = 0;
  const double d = std::hypot(double(X2 - X1), double(Y2 - Y1));
  // Ticks closer than a couple of pixels merge: only every 10th, 100th ...
  // tick is kept then, at its own position.
  const double step = std::hypot(ux2 * spanX, uy2 * spanY);
  int64_t stride = 1;
  while (step * double(stride) < kMinTickSpacing && stride < (int64_t(1) << 60)) stride *= 10;
  // Goes on while the previous tick lay short of the ruler's length.
  double prev = -1;
  for (int64_t k = 0; prev < d && ticks.size() < 1000000; k += stride) {
    const double bx = X1 + double(k) * ux2 * spanX, by = Y1 + double(k) * uy2 * spanY;
    prev = std::trunc(std::hypot(bx - X1, by - Y1));
    if (!IEPointInUnorderedRect(Integer(bx), Integer(by), X1, Y1, X2, Y2)) continue;
    const Integer len = k % 10 == 0 ? Integer(std::trunc(12 * ZY / 100))
                        : k % 5 == 0 ? Integer(std::trunc(8 * ZY / 100))
                                     : Integer(std::trunc(6 * ZY / 100));
    TIERulerTick t;
    t.A = TPoint(Integer(std::trunc(bx + nx * len)), Integer(std::trunc(by + ny * len)));
    t.B = TPoint(Integer(std::trunc(bx - nx * len)), Integer(std::trunc(by - ny * len)));
    t.Label = k % 10 == 0 ? Integer(k / 10) : -1;
    ticks.push_back(t);
  }
  return ticks;
}
