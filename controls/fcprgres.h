// The progress bar of the control set: a solid bar with its percentage in
// inverse colours, a row of LED segments, or a two-colour gradient bar,
// filling along the longer side of its shape.
#pragma once

#include <functional>

#include "controls/fccommon.h"

enum TBarStyle : Byte { bsTraditional, bsLED, bsGradient };
enum TOrientation : Byte { orHorizontal, orVertical };
using TSegmentRange = Byte;  // 1..100
using TProgressChangeEvent = std::function<void(TObject* Sender, Integer Percent)>;

// The geometry of the LED bar along its length L with n requested segments.
struct TFcLedLayout {
  Integer Size = 0;      // length of one segment
  Integer Count = 0;     // segments drawn
  Integer Margin = 0;    // unused length at each end
};
TFcLedLayout FcLedLayout(Integer Length, Integer Segments);
// Percent limited to what a bar can show: 0..100.
inline Integer FcDrawnPercent(Integer Percent) { return Percent < 0 ? 0 : Percent > 100 ? 100 : Percent; }

class TFcCustomProgressBar : public TGraphicControl, public IFrameSettingsListener {
 public:
  explicit TFcCustomProgressBar(TComponent* AOwner);
  ~TFcCustomProgressBar() override;

  void FrameSettingsChanged() override;
  void SetBounds(Integer ALeft, Integer ATop, Integer AWidth, Integer AHeight) override;
  // The filled rectangle and the rest, for a bar area R.
  void FillExtent(const TRect& R, TRect& Filled, TRect& Rest) const;
  // The text the bar writes over itself.
  WideString BarText() const;

  TColor BackColor() const { return FBackColor; }
  virtual void SetBackColor(TColor Value);
  TColor BackColorStop() const { return FBackColorStop; }
  void SetBackColorStop(TColor Value) { FBackColorStop = Value; }
  TColor BarColor() const { return FBarColor; }
  virtual void SetBarColor(TColor Value);
  TColor BarColorStop() const { return FBarColorStop; }
  void SetBarColorStop(TColor Value) { FBarColorStop = Value; }
  TBarStyle BarStyle() const { return FBarStyle; }
  virtual void SetBarStyle(TBarStyle Value);
  Integer BevelWidth() const { return FBevelWidth; }
  virtual void SetBevelWidth(Integer Value);
  TColor BorderColor() const { return FBorderColor; }
  virtual void SetBorderColor(TColor Value);
  TFrameStyleEx BorderInner() const { return FBorderInner; }
  virtual void SetBorderInner(TFrameStyleEx Value);
  TFrameStyleEx BorderOuter() const { return FBorderOuter; }
  virtual void SetBorderOuter(TFrameStyleEx Value);
  Integer BorderWidth() const { return FBorderWidth; }
  virtual void SetBorderWidth(Integer Value);
  TColor FlatColor() const { return FFlatColor; }
  virtual void SetFlatColor(TColor Value);
  Integer FlatColorAdjustment() const { return FFlatColorAdjustment; }
  virtual void SetFlatColorAdjustment(Integer Value);
  TGradientDirection GradientDirection() const { return FGradientDirection; }
  void SetGradientDirection(TGradientDirection Value) { FGradientDirection = Value; }
  Byte InteriorOffset() const { return FInteriorOffset; }
  virtual void SetInteriorOffset(Byte Value);
  TSegmentRange NumSegments() const { return FNumSegments; }
  virtual void SetNumSegments(TSegmentRange Value);
  TOrientation Orientation() const { return FOrientation; }
  virtual void SetOrientation(TOrientation Value);
  uint32_t PartsComplete() const { return FPartsComplete; }
  virtual void SetPartsComplete(uint32_t Value);
  uint32_t TotalParts() const { return FTotalParts; }
  virtual void SetTotalParts(uint32_t Value);
  Word Percent() const { return FPercent; }
  virtual void SetPercent(Word Value);
  bool ShowPercent() const { return FShowPercent; }
  virtual void SetShowPercent(bool Value);
  bool ShowParts() const { return FShowParts; }
  virtual void SetShowParts(bool Value);
  bool ThemeAware() const { return FThemeAware; }
  virtual void SetThemeAware(bool Value);
  TFcFrameController* FrameController() const { return FFrame.Controller(); }
  virtual void SetFrameController(TFcFrameController* Value) { FFrame.Attach(this, Value); }
  TFcFrameControllerNotifications FrameControllerNotifications() const { return FFrame.Notifications(); }
  void SetFrameControllerNotifications(TFcFrameControllerNotifications Value) { FFrame.SetNotifications(Value); }

  TProgressChangeEvent OnChange;

 protected:
  void Paint() override;
  void WndProc(TMessage& Message) override;
  void Notification(TComponent* AComponent, TOperation Operation) override;
  virtual void Change();

 private:
  // Themes on, ThemeAware, and inside a status bar only one of vsWinXP.
  bool ThemedLook() const;
  // The theme's frame (over the status bar's background inside a status
  // bar); R becomes the bar's inside. False when no theme data can be had.
  bool PaintThemedFrame(TCanvas* C, TRect& R);
  // The theme's chunk filling the done part of R.
  void PaintThemedChunks(TCanvas* C, const TRect& R);
  void PaintPlain(TCanvas* C, const TRect& R);
  void PaintGradientBar(TCanvas* C, const TRect& R);
  void PaintLed(TCanvas* C, const TRect& R);
  void WriteText(TCanvas* C, const TRect& R, const TRect& Clip);

  TColor FBackColor = clWhite;
  TColor FBackColorStop = clBtnFace;
  TColor FBarColor = clHighlight;
  TColor FBarColorStop = clHotLight;
  TBarStyle FBarStyle = bsTraditional;
  Integer FBevelWidth = 1;
  TColor FBorderColor = clBtnFace;
  TFrameStyleEx FBorderInner = fsNone;
  TFrameStyleEx FBorderOuter = fsLowered;
  Integer FBorderWidth = 0;
  TColor FFlatColor = clBtnShadow;
  Integer FFlatColorAdjustment = 30;
  TGradientDirection FGradientDirection = gdHorizontalCenter;
  Byte FInteriorOffset = 0;
  TSegmentRange FNumSegments = 20;
  TOrientation FOrientation = orHorizontal;
  uint32_t FPartsComplete = 0;
  uint32_t FTotalParts = 0;
  Word FPercent = 0;
  bool FShowPercent = true;
  bool FShowParts = false;
  bool FThemeAware = true;
  TFcFrameLink FFrame;
};

class TFcProgressBar : public TFcCustomProgressBar {
 public:
  explicit TFcProgressBar(TComponent* AOwner) : TFcCustomProgressBar(AOwner) {}
};
