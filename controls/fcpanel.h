// The framed panel of the control set and its group box: a configurable
// frame on any subset of sides, a colour or gradient fill, a grid, a wrapped
// caption, transparency and group enabling of the children.
#pragma once

#include <utility>
#include <vector>

#include "controls/fccommon.h"

enum TAlignmentVertical : Byte { avTop, avCenter, avBottom };
enum TFcGridStyle : Byte { gsDots, gsDottedLines, gsSolidLines };

class TFcCustomPanel : public TCustomPanel, public IFrameSettingsListener {
 public:
  explicit TFcCustomPanel(TComponent* AOwner);
  ~TFcCustomPanel() override;

  // The cursor in client coordinates.
  virtual TPoint MousePosition();
  virtual void AdjustFrameRect(TRect& R, bool IncludeBorderWidth);
  virtual TRect ControlRect() { return TRect(0, 0, Width(), Height()); }
  virtual TPoint MarginSize() { return TPoint(1, 1); }
  virtual void GetGradientColors(TColor& Start, TColor& Stop);
  virtual void GetFlatColors(TColor& Color, Integer& Adjustment);
  virtual void DrawCaption(TRect R);
  virtual void DrawGrid(TRect R);
  void FrameSettingsChanged() override;

  TRect ClientRect() override;
  void SetBounds(Integer ALeft, Integer ATop, Integer AWidth, Integer AHeight) override;

  TAlignmentVertical AlignmentVertical() const { return FAlignmentVertical; }
  virtual void SetAlignmentVertical(TAlignmentVertical Value);
  TColor BorderColor() const { return FBorderColor; }
  virtual void SetBorderColor(TColor Value);
  TFrameStyleEx BorderInner() const { return FBorderInner; }
  virtual void SetBorderInner(TFrameStyleEx Value);
  TFrameStyleEx BorderOuter() const { return FBorderOuter; }
  virtual void SetBorderOuter(TFrameStyleEx Value);
  TSides BorderSides() const { return FBorderSides; }
  virtual void SetBorderSides(TSides Value);
  TColor BorderHighlight() const { return FBorderHighlight; }
  virtual void SetBorderHighlight(TColor Value);
  TColor BorderShadow() const { return FBorderShadow; }
  virtual void SetBorderShadow(TColor Value);
  TColor FlatColor() const { return FFlatColor; }
  virtual void SetFlatColor(TColor Value);
  Integer FlatColorAdjustment() const { return FFlatColorAdjustment; }
  virtual void SetFlatColorAdjustment(Integer Value);
  TFcFrameController* FrameController() const { return FFrame.Controller(); }
  virtual void SetFrameController(TFcFrameController* Value) { FFrame.Attach(this, Value); }
  TFcFrameControllerNotifications FrameControllerNotifications() const { return FFrame.Notifications(); }
  void SetFrameControllerNotifications(TFcFrameControllerNotifications Value) { FFrame.SetNotifications(Value); }
  TFcGradientColorStyle GradientColorStyle() const { return FGradientColorStyle; }
  virtual void SetGradientColorStyle(TFcGradientColorStyle Value);
  TColor GradientColorStart() const { return FGradientColorStart; }
  virtual void SetGradientColorStart(TColor Value);
  TColor GradientColorStop() const { return FGradientColorStop; }
  virtual void SetGradientColorStop(TColor Value);
  TGradientDirection GradientDirection() const { return FGradientDirection; }
  virtual void SetGradientDirection(TGradientDirection Value);
  TColor GridColor() const { return FGridColor; }
  virtual void SetGridColor(TColor Value);
  TFcGridStyle GridStyle() const { return FGridStyle; }
  virtual void SetGridStyle(TFcGridStyle Value);
  Word GridXSize() const { return FGridXSize; }
  virtual void SetGridXSize(Word Value);
  Word GridYSize() const { return FGridYSize; }
  virtual void SetGridYSize(Word Value);
  bool PaintClientArea() const { return FPaintClientArea; }
  virtual void SetPaintClientArea(bool Value);
  bool ShowGrid() const { return FShowGrid; }
  virtual void SetShowGrid(bool Value);
  bool Transparent() const { return FTransparent; }
  virtual void SetTransparent(bool Value);
  Integer TextMargin() const { return FTextMargin; }
  virtual void SetTextMargin(Integer Value);
  Integer TextMarginVertical() const { return FTextMarginVertical; }
  virtual void SetTextMarginVertical(Integer Value);
  bool WordWrap() const { return FWordWrap; }
  virtual void SetWordWrap(bool Value);
  TFcVisualStyle VisualStyle() const { return FVisualStyle; }
  virtual void SetVisualStyle(TFcVisualStyle Value);
  bool FullRepaint() const { return FFullRepaint; }
  void SetFullRepaint(bool Value) { FFullRepaint = Value; }
  bool ShowDockClientCaptions() const { return FShowDockClientCaptions; }
  void SetShowDockClientCaptions(bool Value) { FShowDockClientCaptions = Value; }

  TNotifyEvent OnPaint;

 protected:
  void AdjustClientRect(TRect& Rect) override;
  void Paint() override;
  void WndProc(TMessage& Message) override;
  void Notification(TComponent* AComponent, TOperation Operation) override;
  // Invalidates one strip of the window (an edge that a size change uncovered).
  virtual void InvalidateStrip(const TRect& R);
  void Changed();  // invalidates
  void RealignChildren();

 private:
  void EnabledChanged();
  void WindowPosChanged();

  TAlignmentVertical FAlignmentVertical = avCenter;
  TFrameStyleEx FBorderInner = fsNone;
  TFrameStyleEx FBorderOuter = fsRaised;
  TSides FBorderSides = sdAll;
  TColor FBorderColor = clBtnFace;
  TColor FBorderHighlight = clBtnHighlight;
  TColor FBorderShadow = clBtnShadow;
  TColor FFlatColor = clBtnShadow;
  Integer FFlatColorAdjustment = 30;
  bool FPaintClientArea = true;
  TFcVisualStyle FVisualStyle = vsWinXP;
  TFcGradientColorStyle FGradientColorStyle = gcsSystem;
  TColor FGradientColorStart = clWhite;
  TColor FGradientColorStop = clBtnFace;
  TGradientDirection FGradientDirection = gdHorizontalEnd;
  TColor FGridColor = clBtnShadow;
  TFcGridStyle FGridStyle = gsDots;
  Word FGridXSize = 8;
  Word FGridYSize = 8;
  bool FShowGrid = false;
  bool FTransparent = false;
  Integer FTextMargin = 0;
  Integer FTextMarginVertical = 0;
  bool FWordWrap = true;
  bool FShowDockClientCaptions = true;
  bool FFullRepaint = true;
  // The children's enabled states from the last disabling. A child that goes
  // away leaves the list, so that a new control at its address starts afresh.
  std::vector<std::pair<TControl*, bool>> FSavedEnabled;
  TFcFrameLink FFrame;
  Integer FLastWidth = -1, FLastHeight = -1;
};

class TFcPanel : public TFcCustomPanel {
 public:
  explicit TFcPanel(TComponent* AOwner) : TFcCustomPanel(AOwner) {}
};

enum TFcGroupBoxStyle : Byte { gsStandard, gsCustom, gsTopLine, gsFlat, gsBanner, gsUnderline };

class TFcCustomGroupBox : public TFcCustomPanel {
 public:
  explicit TFcCustomGroupBox(TComponent* AOwner);
  Integer BannerHeight() const { return FBannerHeight; }
  virtual void SetBannerHeight(Integer Value);
  TFcGroupBoxStyle GroupStyle() const { return FGroupStyle; }
  virtual void SetGroupStyle(TFcGroupBoxStyle Value);
  void FrameSettingsChanged() override;
  // The caption's rectangle for the current style and font.
  TRect CaptionRect();

 protected:
  void AdjustClientRect(TRect& Rect) override;
  void Paint() override;
  void WndProc(TMessage& Message) override;

 private:
  bool ThemeApplies() const;
  // The theme's group box and caption; false when no theme data can be had.
  bool PaintThemed(const TRect& CaptionBox, Integer Half);
  Integer TextHeight(const WideString& Sample);
  TFcGroupBoxStyle FGroupStyle = gsFlat;
  Integer FBannerHeight = 0;
};

class TFcGroupBox : public TFcCustomGroupBox {
 public:
  explicit TFcGroupBox(TComponent* AOwner) : TFcCustomGroupBox(AOwner) {}
};
