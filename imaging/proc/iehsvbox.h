// A colour picker: a square of saturation (left to right) and value
// (bottom to top) for the current hue beside a vertical hue bar, drawn
// into an off-screen bitmap with two inverting indicators.
#pragma once

#include <memory>

#include "platform/ui/controls.h"

class TBitmap;

class THSVBox : public TCustomControl {
 public:
  explicit THSVBox(TComponent* AOwner);
  ~THSVBox() override;

  Integer Hue() const { return FHue; }
  Integer Sat() const { return FSat; }
  Integer Val() const { return FVal; }
  // Clamped to 0..359 and 0..99; none of the setters fires OnChange.
  void SetHue(Integer Value);
  void SetSat(Integer Value);
  void SetVal(Integer Value);
  Byte Red() const { return FRed; }
  Byte Green() const { return FGreen; }
  Byte Blue() const { return FBlue; }
  TColor Color() const { return FColor; }
  void SetRGB(Byte R, Byte G, Byte B);
  TColor Background() const { return FBackground; }
  void SetBackground(TColor Value);
  Integer HueBarWidth() const { return FHueBarWidth; }
  void SetHueBarWidth(Integer Value);
  Integer BarsDistance() const { return FBarsDistance; }
  void SetBarsDistance(Integer Value);
  // The off-screen picture the control paints.
  TBitmap* Bitmap() const { return FBitmap.get(); }

  TNotifyEvent OnChange;

 protected:
  void Paint() override;
  void WMEraseBkgnd(TMessage& Message) override;
  void Resize() override;
 public:
  void SetBounds(Integer ALeft, Integer ATop, Integer AWidth, Integer AHeight) override;

 protected:
  void MouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) override;
  void MouseMove(TShiftState Shift, Integer X, Integer Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) override;

 private:
  Integer SquareWidth() const;
  void RecomputeColor();
  void DrawHueBar();
  void DrawSquare();
  void DrawIndicators();  // also erases them: they invert
  void RedrawAll();
  void FollowSize();
  void Pick(Integer X, Integer Y);
  void Show();

  std::unique_ptr<TBitmap> FBitmap;
  Integer FHue = 0, FSat = 0, FVal = 0;
  Byte FRed = 0, FGreen = 0, FBlue = 0;
  TColor FColor = 0;
  TColor FBackground;
  Integer FHueBarWidth = 20, FBarsDistance = 5;
  Integer FDragMode = 0;  // 1 in the square, 2 in the hue bar
};
