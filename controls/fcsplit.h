// The splitter of the control set: a framed panel with two panes and a bar
// between them that the mouse drags, limited by margins in pixels or percent,
// with a hot spot on the bar that collapses one pane and brings it back.
#pragma once

#include <functional>

#include "controls/fcpanel.h"
#include "controls/fcprgres.h"

enum TSelectedPane : Byte { spUpperLeft, spLowerRight };
enum TFixedPane : Byte { fpUpperLeft, fpLowerRight };
enum TSplitterStyle : Byte { ssStandard, ssGroove, ssBump, ssGroupBar };
enum THotSpotDirection : Byte { hsdMin, hsdMax, hsdBoth };
enum TFcGroupBarGradientPath : Byte { gpTopToBottom, gpBottomToTop };
using TPositionChangingEvent = std::function<void(TObject* Sender, Integer NewPos, bool& AllowChange)>;

class TFcSplitter;

class TFcSplitterPane : public TFcCustomPanel {
 public:
  explicit TFcSplitterPane(TComponent* AOwner);
  TFcSplitter* Splitter() const { return FSplitter; }

 protected:
  void WndProc(TMessage& Message) override;
  void DoEnter() override;
  void DoExit() override;

 private:
  TFcSplitter* FSplitter = nullptr;
};

// The look of one pane, read and written through to it.
class TFcPaneData : public TPersistent {
 public:
  explicit TFcPaneData(TFcSplitterPane* Pane) : FPane(Pane) {}
  TColor BorderColor() const { return FPane->BorderColor(); }
  void SetBorderColor(TColor V) { FPane->SetBorderColor(V); }
  TFrameStyleEx BorderInner() const { return FPane->BorderInner(); }
  void SetBorderInner(TFrameStyleEx V) { FPane->SetBorderInner(V); }
  TFrameStyleEx BorderOuter() const { return FPane->BorderOuter(); }
  void SetBorderOuter(TFrameStyleEx V) { FPane->SetBorderOuter(V); }
  Integer BorderWidth() const { return FPane->BorderWidth(); }
  void SetBorderWidth(Integer V) { FPane->SetBorderWidth(V); }
  TColor Color() const { return FPane->Color(); }
  void SetColor(TColor V) { FPane->SetColor(V); }
  TColor FlatColor() const { return FPane->FlatColor(); }
  void SetFlatColor(TColor V) { FPane->SetFlatColor(V); }
  Integer FlatColorAdjustment() const { return FPane->FlatColorAdjustment(); }
  void SetFlatColorAdjustment(Integer V) { FPane->SetFlatColorAdjustment(V); }
  bool ShowDockClientCaptions() const { return FPane->ShowDockClientCaptions(); }
  void SetShowDockClientCaptions(bool V) { FPane->SetShowDockClientCaptions(V); }
  bool Visible() const { return FPane->Visible(); }
  void SetVisible(bool V) { FPane->SetVisible(V); }
  TFcSplitterPane* Pane() const { return FPane; }

 private:
  TFcSplitterPane* FPane;
};

class TFcSplitter : public TFcCustomPanel {
 public:
  explicit TFcSplitter(TComponent* AOwner);
  ~TFcSplitter() override;

  // The rectangle the panes and the bar share; Position counts from its
  // leading edge.
  TRect PaneArea();
  Integer GetBorderInset();
  virtual void CheckPosition(Integer& Position);
  virtual void LayoutPanes();
  void UpdateFixedPaneSize();
  void SetPreferredPosition(Integer Value);
  void MoveBar(Integer Value);
  void ResetHotSpot();
  void UpdateHotSpotRect();
  void UpdateHotSpotHover();
  void DrawHotSpot(bool Highlighted, TPoint P);
  void DrawSplitterBar();
  void DrawGhostBar(Integer Position);
  TFcSplitterPane* GetActivePane() const { return FSelectedPane == spLowerRight ? FPane2 : FPane1; }
  // Index 1 is the upper or left pane, 2 the other; any other index fails.
  TFcPaneData* GetPaneData(Integer Index) const;

  TFcSplitterPane* Pane1() const { return FPane1; }
  TFcSplitterPane* Pane2() const { return FPane2; }
  TFcPaneData* UpperLeft() const { return FUpperLeft.get(); }
  TFcPaneData* LowerRight() const { return FLowerRight.get(); }
  const TRect& BarRect() const { return FBarRect; }
  const TRect& HotSpotRect() const { return FHotSpotRect; }
  bool HotSpotClosed() const { return FHotSpotClosed; }
  bool HotSpotClosedToMin() const { return FHotSpotClosedToMin; }
  bool HotSpotClosedToMax() const { return FHotSpotClosedToMax; }
  bool Dragging() const { return FDragging; }
  Integer PreferredPosition() const { return FPreferredPosition; }
  Integer FixedPaneSize() const { return FFixedPaneSize; }

  TOrientation Orientation() const { return FOrientation; }
  virtual void SetOrientation(TOrientation Value);
  TSelectedPane SelectedPane() const { return FSelectedPane; }
  virtual void SetSelectedPane(TSelectedPane Value) { FSelectedPane = Value; }
  Integer Position() const { return FPosition; }
  virtual void SetPosition(Integer Value);
  Integer MarginMin() const { return FMarginMin; }
  virtual void SetMarginMin(Integer Value);
  Integer MarginMax() const { return FMarginMax; }
  virtual void SetMarginMax(Integer Value);
  bool UsePercent() const { return FUsePercent; }
  virtual void SetUsePercent(bool Value);
  Integer Percent() const { return FPercent; }
  virtual void SetPercent(Integer Value);
  Integer PercentMin() const { return FPercentMin; }
  virtual void SetPercentMin(Integer Value);
  Integer PercentMax() const { return FPercentMax; }
  virtual void SetPercentMax(Integer Value);
  TFixedPane FixedPane() const { return FFixedPane; }
  virtual void SetFixedPane(TFixedPane Value);
  Word SplitterWidth() const { return FSplitterWidth; }
  virtual void SetSplitterWidth(Word Value);
  TSplitterStyle SplitterStyle() const { return FSplitterStyle; }
  virtual void SetSplitterStyle(TSplitterStyle Value);
  bool RealTimeDrag() const { return FRealTimeDrag; }
  void SetRealTimeDrag(bool Value) { FRealTimeDrag = Value; }
  bool LockBar() const { return FLockBar; }
  void SetLockBar(bool Value) { FLockBar = Value; }
  bool HotSpotVisible() const { return FHotSpotVisible; }
  virtual void SetHotSpotVisible(bool Value);
  TColor HotSpotHighlight() const { return FHotSpotHighlight; }
  virtual void SetHotSpotHighlight(TColor Value);
  TColor HotSpotColor() const { return FHotSpotColor; }
  void SetHotSpotColor(TColor Value);
  TColor HotSpotDotColor() const { return FHotSpotDotColor; }
  void SetHotSpotDotColor(TColor Value);
  TColor HotSpotFrameColor() const { return FHotSpotFrameColor; }
  void SetHotSpotFrameColor(TColor Value);
  THotSpotDirection HotSpotDirection() const { return FHotSpotDirection; }
  virtual void SetHotSpotDirection(THotSpotDirection Value);
  bool HotSpotIgnoreMargins() const { return FHotSpotIgnoreMargins; }
  void SetHotSpotIgnoreMargins(bool Value) { FHotSpotIgnoreMargins = Value; }
  Integer HotSpotSizePercent() const { return FHotSpotSizePercent; }
  virtual void SetHotSpotSizePercent(Integer Value);
  Integer GradientColorAdjustment() const { return FGradientColorAdjustment; }
  virtual void SetGradientColorAdjustment(Integer Value);
  TFcGroupBarGradientPath GradientPath() const { return FGradientPath; }
  virtual void SetGradientPath(TFcGroupBarGradientPath Value);
  void SetBorderInner(TFrameStyleEx Value) override;
  void SetBorderOuter(TFrameStyleEx Value) override;
  void SetBorderSides(TSides Value) override;
  void SetTransparent(bool Value) override;
  void SetBorderWidth(Integer Value);
  // Set on the splitter and both panes alike.
  void SetParentColor(bool Value);

  TNotifyEvent OnChange;
  TPositionChangingEvent OnChanging;
  TNotifyEvent OnHotSpotClick;

 protected:
  void Resize() override;
  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) override;
  void MouseMove(TShiftState Shift, Integer X, Integer Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) override;
  void KeyDown(Word& Key, TShiftState Shift) override;
  void WndProc(TMessage& Message) override;
  virtual void DoChange();
  virtual bool DoChanging(Integer NewPos);
  virtual void DoHotSpotClick();

 private:
  friend class TFcSplitterPane;
  Integer Extent() { return FOrientation == orHorizontal ? Width() : Height(); }
  Integer Base() { return Extent() - FSplitterWidth / 2; }
  Integer Along(Integer X, Integer Y) const { return FOrientation == orHorizontal ? X : Y; }
  void RecomputeMargins();
  void BeginGhostDrawing();
  void EndGhostDrawing();

  TOrientation FOrientation = orHorizontal;
  std::unique_ptr<TFcPaneData> FUpperLeft, FLowerRight;
  TFcSplitterPane* FPane1 = nullptr;
  TFcSplitterPane* FPane2 = nullptr;
  TSelectedPane FSelectedPane = spUpperLeft;
  Integer FPosition = 100;
  Integer FMarginMin = 0, FMarginMax = 0;
  bool FUsePercent = false;
  Integer FPercent = 50;
  Integer FPercentMin = 0, FPercentMax = 100;
  TFixedPane FFixedPane = fpUpperLeft;
  Integer FFixedPaneSize = 100;
  bool FInResize = false;
  bool FConstructing = true;
  Word FSplitterWidth = 4;
  TSplitterStyle FSplitterStyle = ssStandard;
  bool FRealTimeDrag = false;
  bool FLockBar = false;
  TRect FBarRect;
  Integer FDragStart = 0;
  HCURSOR FCursorHorz = nullptr, FCursorHorzHot = nullptr, FCursorVert = nullptr, FCursorVertHot = nullptr;
  bool FDragging = false;
  Integer FAnchor = 0;
  Integer FPreferredPosition = 100;
  Integer FLastGhost = 0;
  HBRUSH FPatternBrush = nullptr;
  HGDIOBJ FOldBrush = nullptr;
  HDC FGhostDC = nullptr;
  HWND FGhostWnd = nullptr;
  bool FHotSpotNormal = false;
  bool FHotSpotVisible = false;
  TColor FHotSpotHighlight = clWindow;
  TColor FHotSpotColor = clBtnFace;
  TColor FHotSpotDotColor = clHighlight;
  TColor FHotSpotFrameColor = clBtnShadow;
  TRect FHotSpotRect;
  THotSpotDirection FHotSpotDirection = hsdMin;
  bool FHotSpotClosed = false, FHotSpotClosedToMin = false, FHotSpotClosedToMax = false, FHotSpotPressed = false;
  Integer FRestorePosition = 100;
  bool FHotSpotIgnoreMargins = true;
  Integer FHotSpotSizePercent = 40;
  bool FRefreshAfterRelease = false;
  Integer FGradientColorAdjustment = 30;
  TFcGroupBarGradientPath FGradientPath = gpTopToBottom;
};
