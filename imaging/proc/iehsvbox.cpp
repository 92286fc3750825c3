// The HSV colour picker: hue bar, saturation-value square, indicators and
// picking with the mouse.
#include "imaging/proc/iehsvbox.h"

#include <algorithm>

#include "imaging/core/base/ieutils.h"
#include "imaging/proc/ziduzuvproc.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"

namespace iehsvbox {
namespace {

void Put(Byte* Row, Integer X, const TRGB& C) {
  Row[X * 3] = C.b;
  Row[X * 3 + 1] = C.g;
  Row[X * 3 + 2] = C.r;
}

}  // namespace
}  // namespace iehsvbox

THSVBox::THSVBox(TComponent* AOwner) : TCustomControl(AOwner), FBitmap(std::make_unique<TBitmap>()) {
  FBackground = clBtnFace;
  TControlStyle style = ControlStyle();
  style.Include(csOpaque);
  style.Include(csAcceptsControls);
  SetControlStyle(style);
  SetBounds(Left(), Top(), 105, 105);
  FBitmap->SetPixelFormat(pf24bit);
  FBitmap->SetSize(105, 105);
  RedrawAll();
}

THSVBox::~THSVBox() = default;

Integer THSVBox::SquareWidth() const { return FBitmap->Width() - FBarsDistance - FHueBarWidth; }

void THSVBox::RecomputeColor() {
  TRGB c{};
  IEHSVToRGB(c, FHue, FSat, FVal);
  FRed = c.r;
  FGreen = c.g;
  FBlue = c.b;
  FColor = TColor(c.r | (c.g << 8) | (c.b << 16));
}

void THSVBox::DrawHueBar() {
  const Integer s = SquareWidth(), bw = FBitmap->Width(), bh = FBitmap->Height();
  if (s < 1 || bh < 1) return;
  const TRGB bg = IEColorToRGB(FBackground);
  const float k = 360.0f / static_cast<float>(bh);
  for (Integer b = 0; b < bh; ++b) {
    auto* row = static_cast<Byte*>(FBitmap->ScanLine(bh - 1 - b));
    for (Integer x = s; x < std::min(s + FBarsDistance, bw); ++x) iehsvbox::Put(row, x, bg);
    TRGB c{};
    IEHSVToRGB(c, static_cast<Integer>(static_cast<float>(b) * k), 99, 99);
    for (Integer x = s + FBarsDistance; x < bw; ++x) iehsvbox::Put(row, x, c);
  }
}

void THSVBox::DrawSquare() {
  const Integer s = SquareWidth(), bh = FBitmap->Height();
  if (s < 1 || bh < 1) return;
  const float k = 100.0f / static_cast<float>(bh), k2 = 100.0f / static_cast<float>(s);
  for (Integer b = 0; b < bh; ++b) {
    auto* row = static_cast<Byte*>(FBitmap->ScanLine(bh - 1 - b));
    const Integer value = static_cast<Integer>(k * static_cast<float>(b));
    for (Integer x = 0; x < s; ++x) {
      TRGB c{};
      IEHSVToRGB(c, FHue, static_cast<Integer>(static_cast<float>(x) * k2), value);
      iehsvbox::Put(row, x, c);
    }
  }
}

void THSVBox::DrawIndicators() {
  const Integer s = SquareWidth(), bh = FBitmap->Height();
  if (s < 2 || bh < 2) return;
  TCanvas* c = FBitmap->Canvas();
  c->Pen()->SetStyle(psSolid);
  c->Pen()->SetWidth(1);
  c->Pen()->SetMode(pmNot);
  c->Brush()->SetStyle(bsClear);
  const Integer hy = static_cast<Integer>(Round((bh - 1) * (359.0 - FHue) / 360));
  c->Rectangle(s + FBarsDistance, hy - 2, FBitmap->Width(), hy + 2);
  const Integer x = static_cast<Integer>(Round(FSat / 99.0 * (s - 1)));
  const Integer y = bh - static_cast<Integer>(Round((bh - 1) * FVal / 99.0));
  c->Rectangle(x - 3, y - 4, x + 3, y + 2);
}

void THSVBox::RedrawAll() {
  RecomputeColor();
  DrawHueBar();
  DrawSquare();
  DrawIndicators();
}

void THSVBox::Show() {
  if (HandleAllocated()) Repaint();
}

void THSVBox::SetHue(Integer Value) {
  Value = std::clamp(Value, 0, 359);
  DrawIndicators();
  FHue = Value;
  RecomputeColor();
  DrawSquare();
  DrawIndicators();
  Show();
}

void THSVBox::SetSat(Integer Value) {
  Value = std::clamp(Value, 0, 99);
  DrawIndicators();
  FSat = Value;
  RecomputeColor();
  DrawIndicators();
  Show();
}

void THSVBox::SetVal(Integer Value) {
  Value = std::clamp(Value, 0, 99);
  DrawIndicators();
  FVal = Value;
  RecomputeColor();
  DrawIndicators();
  Show();
}

void THSVBox::SetRGB(Byte R, Byte G, Byte B) {
  DrawIndicators();
  FRed = R;
  FGreen = G;
  FBlue = B;
  IERGBToHSV(FHue, FSat, FVal, Cardinal(B) | (Cardinal(G) << 8) | (Cardinal(R) << 16));
  FColor = TColor(R | (G << 8) | (B << 16));
  DrawSquare();
  DrawIndicators();
  Show();
}

void THSVBox::SetBackground(TColor Value) {
  FBackground = Value;
  RedrawAll();
  Invalidate();
}

void THSVBox::SetHueBarWidth(Integer Value) {
  if (Value < 0) return;
  FHueBarWidth = Value;
  RedrawAll();
  Invalidate();
}

void THSVBox::SetBarsDistance(Integer Value) {
  if (Value < 0) return;
  FBarsDistance = Value;
  RedrawAll();
  Invalidate();
}

void THSVBox::Paint() { Canvas()->Draw(0, 0, FBitmap.get()); }

void THSVBox::WMEraseBkgnd(TMessage& Message) { Message.Result = 0; }

// The bitmap follows the client size: on WM_SIZE with a window, at once
// without one.
void THSVBox::Resize() {
  TCustomControl::Resize();
  FollowSize();
}

void THSVBox::SetBounds(Integer ALeft, Integer ATop, Integer AWidth, Integer AHeight) {
  TCustomControl::SetBounds(ALeft, ATop, AWidth, AHeight);
  if (!HandleAllocated()) FollowSize();
}

void THSVBox::FollowSize() {
  const Integer w = std::max(ClientWidth(), 1), h = std::max(ClientHeight(), 1);
  if (w == FBitmap->Width() && h == FBitmap->Height()) return;
  FBitmap->SetSize(w, h);
  RedrawAll();
  Invalidate();
}

void THSVBox::Pick(Integer X, Integer Y) {
  const Integer s = SquareWidth(), bw = FBitmap->Width(), bh = FBitmap->Height();
  // A box one pixel high has no value or hue scale to pick from.
  if (s < 2 || bh < 2) return;
  if (X < s) {
    DrawIndicators();
    FSat = std::clamp(static_cast<Integer>(Round(static_cast<double>(X) / (s - 1) * 99)), 0, 99);
    FVal = std::clamp(99 - static_cast<Integer>(Round(static_cast<double>(Y) / (bh - 1) * 99)), 0, 99);
  } else if (X >= bw - FHueBarWidth) {
    DrawIndicators();
    FHue = std::clamp(359 - static_cast<Integer>(Round(static_cast<double>(Y) / (bh - 1) * 359)), 0, 359);
    DrawSquare();
  } else {
    return;  // the gap: nothing was erased, so nothing is drawn again
  }
  RecomputeColor();
  if (OnChange) OnChange(this);
  DrawIndicators();
  Show();
}

void THSVBox::MouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft) return;
  const Integer s = SquareWidth();
  FDragMode = 0;
  if (s > 0 && X < s) FDragMode = 1;
  else if (s > 0 && X >= FBitmap->Width() - FHueBarWidth) FDragMode = 2;
  if (FDragMode != 0) Pick(X, Y);
}

void THSVBox::MouseMove(TShiftState Shift, Integer X, Integer Y) {
  TCustomControl::MouseMove(Shift, X, Y);
  // A drag starts with a left press, which takes the capture.
  if (FDragMode == 0) return;
  const Integer s = SquareWidth(), bw = FBitmap->Width(), bh = FBitmap->Height();
  X = std::max(X, 0);
  Y = std::clamp(Y, 0, std::max(bh - 1, 0));
  if (FDragMode == 1) X = std::min(X, s - 1);
  else X = std::clamp(X, s + FBarsDistance, std::max(bw - 1, s + FBarsDistance));
  Pick(X, Y);
}

void THSVBox::MouseUp(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) {
  TCustomControl::MouseUp(Button, Shift, X, Y);
  FDragMode = 0;
}
