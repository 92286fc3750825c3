// The status bar of the control set (a bottom-docked framed panel with a size
// grip, a simple mode and proportional pane rescaling) and its status panes.
#pragma once

#include "controls/fcpanel.h"

class TFcStatusBar : public TFcCustomPanel {
 public:
  explicit TFcStatusBar(TComponent* AOwner);
  ~TFcStatusBar() override;

  virtual void DrawSimpleFrame(TRect R);
  virtual void ApplyAutoStyle();
  void Loaded();

  bool AutoStyle() const { return FAutoStyle; }
  void SetAutoStyle(bool Value) { FAutoStyle = Value; }
  bool AutoScalePanes() const { return FAutoScalePanes; }
  void SetAutoScalePanes(bool Value) { FAutoScalePanes = Value; }
  bool ShowSizeGrip() const { return FShowSizeGrip; }
  virtual void SetShowSizeGrip(bool Value);
  const WideString& SimpleCaption() const { return FSimpleCaption; }
  virtual void SetSimpleCaption(const WideString& Value);
  bool SimpleStatus() const { return FSimpleStatus; }
  virtual void SetSimpleStatus(bool Value);
  TFrameStyle SimpleFrameStyle() const { return FSimpleFrameStyle; }
  virtual void SetSimpleFrameStyle(TFrameStyle Value);
  void SetBorderInner(TFrameStyleEx Value) override;
  void SetBorderOuter(TFrameStyleEx Value) override;
  void SetBorderSides(TSides Value) override;

  // The parent form can be sized by the grip (sizable and not maximised).
  bool GripActive();
  TRect GripRect() const { return TRect(Width() - 13, 0, Width(), Height()); }
  TRect ClientRect() override;
  void GetGradientColors(TColor& Start, TColor& Stop) override;
  // The theme's status-bar look is in use: vsWinXP with themes on.
  bool ThemeInUse() const;
  // Copies the theme's bar background that lies under R of Child (R in the
  // child's coordinates) onto DC at R; false when no theme data can be had.
  bool CopyThemedBackground(TControl* Child, HDC DC, const TRect& R);

 protected:
  void Paint() override;
  void WndProc(TMessage& Message) override;
  void Resize() override;

 private:
  void DrawGrip();
  bool PaintThemed();
  bool FAutoStyle = true;
  bool FSimpleStatus = false;
  WideString FSimpleCaption;
  TFrameStyle FSimpleFrameStyle = fsFlat;
  bool FGripActive = false;
  bool FShowSizeGrip = true;
  bool FAutoScalePanes = false;
  bool FFirstResize = true;
  Integer FLastWidth = 0;
  // Each child's visibility when simple mode began, restored when it ends.
  std::vector<std::pair<TControl*, bool>> FSimpleHidden;
};

class TFcCustomStatusPane : public TGraphicControl, public IFrameSettingsListener {
 public:
  explicit TFcCustomStatusPane(TComponent* AOwner);
  ~TFcCustomStatusPane() override;

  virtual Integer AutoWidth(TCanvas* Canvas);
  virtual TRect TextRect();
  virtual void DrawCaption(const WideString& Text);
  virtual void DrawFrame();
  void FrameSettingsChanged() override;
  virtual void Blink(Byte Phase);
  void Loaded();

  TAlignment Alignment() const { return FAlignment; }
  virtual void SetAlignment(TAlignment Value);
  bool AutoSize() const { return FAutoSize; }
  virtual void SetAutoSize(bool Value);
  bool AutoHint() const { return FAutoHint; }
  void SetAutoHint(bool Value) { FAutoHint = Value; }
  Integer DefaultWidth() const { return FDefaultWidth; }
  virtual void SetDefaultWidth(Integer Value);
  bool Blinking() const { return FBlinking; }
  virtual void SetBlinking(bool Value);
  TColor BlinkColor() const { return FBlinkColor; }
  virtual void SetBlinkColor(TColor Value);
  Word BlinkIntervalOff() const;
  virtual void SetBlinkIntervalOff(Word Value);
  Word BlinkIntervalOn() const;
  virtual void SetBlinkIntervalOn(Word Value);
  Integer BorderWidth() const { return FBorderWidth; }
  virtual void SetBorderWidth(Integer Value);
  Integer CaptionOffset() const { return FCaptionOffset; }
  virtual void SetCaptionOffset(Integer Value);
  TColor FillColor() const { return FFillColor; }
  virtual void SetFillColor(TColor Value);
  bool ParentFillColor() const { return FParentFillColor; }
  virtual void SetParentFillColor(bool Value);
  TColor FlatColor() const { return FFlatColor; }
  virtual void SetFlatColor(TColor Value);
  Integer FlatColorAdjustment() const { return FFlatColorAdjustment; }
  virtual void SetFlatColorAdjustment(Integer Value);
  TFrameStyle FrameStyle() const { return FFrameStyle; }
  virtual void SetFrameStyle(TFrameStyle Value);
  TFcFrameController* FrameController() const { return FFrame.Controller(); }
  virtual void SetFrameController(TFcFrameController* Value) { FFrame.Attach(this, Value); }
  TFcFrameControllerNotifications FrameControllerNotifications() const { return FFrame.Notifications(); }
  void SetFrameControllerNotifications(TFcFrameControllerNotifications Value) { FFrame.SetNotifications(Value); }
  bool Transparent() const { return FTransparent; }
  virtual void SetTransparent(bool Value);
  // The text colour the pane draws with now (the blink colour while blinking shows it).
  TColor CurrentTextColor() const { return FCurrentTextColor; }
  // A hint action's text becomes the caption when AutoHint is on.
  bool ExecuteHintAction(const WideString& Hint);
  // The pane's right edge reaches the status bar's grip.
  virtual bool AtGripEdge(const TRect& R);
  void AdjustSize();

 protected:
  void Paint() override;
  void WndProc(TMessage& Message) override;
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  bool InThemedStatusBar() const;
  TAlignment FAlignment = taLeftJustify;
  bool FAutoSize = false;
  bool FAutoHint = false;
  Integer FDefaultWidth = 40;
  TColor FBlinkColor = clHighlight;
  bool FBlinking = false;
  TColor FNormalTextColor = clWindowText;
  TColor FCurrentTextColor = clWindowText;
  Integer FBorderWidth = 1;
  Integer FCaptionOffset = 2;
  bool FParentFillColor = true;
  TColor FFillColor;
  TColor FFlatColor = clBtnShadow;
  Integer FFlatColorAdjustment = 30;
  TFrameStyle FFrameStyle = fsFlat;
  TFcFrameLink FFrame;
  bool FTransparent = true;
};

class TFcStatusPane : public TFcCustomStatusPane {
 public:
  explicit TFcStatusPane(TComponent* AOwner) : TFcCustomStatusPane(AOwner) {}
};
