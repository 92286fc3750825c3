// The dockable window: a bar that sits on a dock or is a plain child of its
// form. It keeps its placement (requested and effective row and position,
// current and last dock), moves between parents with its window handle kept,
// and draws its docked frame with the drag handle and close button.
#pragma once

#include "controls/tbdock.h"
#include "controls/tbdockarrange.h"
#include "controls/tbhook.h"

enum TTBDockMode { dmCanFloat, dmCannotFloat, dmCannotFloatOrChangeDocks };
enum TTBDragHandleStyle { dhDouble, dhNone, dhSingle };
enum TTBFloatingMode { fmOnTopOfParentForm, fmOnTopOfAllForms };
using TTBDockableTo = TEnumSet<TTBDockPosition>;

class TTBFloatingWindowParent;

using TTBDockChangingEvent = std::function<void(TObject* Sender, bool Floating, TTBDock* DockingTo)>;

// Sizes of the docked frame.
constexpr Integer TBDockedFrame = 2;
// Drag handle size and grip offset by [close button when docked][style].
constexpr Integer TBDragHandleSizes[2][3] = {{9, 0, 6}, {14, 14, 14}};
constexpr Integer TBDragHandleOffsets[2][3] = {{2, 0, 1}, {3, 0, 5}};
// Rows of the 8 x 8 close glyph; set bits are drawn.
constexpr uint8_t TBCloseGlyph[8] = {0x00, 0xCC, 0x78, 0x30, 0x78, 0xCC, 0x00, 0x00};

class TTBCustomDockableWindow : public TCustomControl, public TTBArrangedBar {
 public:
  explicit TTBCustomDockableWindow(TComponent* AOwner);
  ~TTBCustomDockableWindow() override;

  void SetParent(TWinControl* AParent) override;
  void SetBounds(Integer ALeft, Integer ATop, Integer AWidth, Integer AHeight) override;

  // Placement.
  Integer DockPos() const { return FDockPos; }
  void SetDockPos(Integer Value);
  Integer DockRow() const { return FDockRow; }
  void SetDockRow(Integer Value);
  Integer EffectiveDockPos() const { return FEffectiveDockPos; }
  Integer EffectiveDockRow() const { return FEffectiveDockRow; }
  TTBDock* CurrentDock() const { return FCurrentDock; }
  void SetCurrentDock(TTBDock* Value);
  TTBDock* DefaultDock() const { return FDefaultDock; }
  void SetDefaultDock(TTBDock* Value);
  TTBDock* LastDock() const { return FLastDock; }
  void SetLastDock(TTBDock* Value);
  bool UseLastDock() const { return FUseLastDock; }
  void SetUseLastDock(bool Value);
  bool Docked() const { return FDocked; }
  bool Floating() const { return FFloating; }
  Integer ShrunkSize() const { return FShrunkSize; }
  Integer RowThickness() const { return FRowThickness; }

  bool AutoResize() const { return FAutoResize; }
  void SetAutoResize(bool Value);
  bool CloseButtonWhenDocked() const { return FCloseButtonWhenDocked; }
  void SetCloseButtonWhenDocked(bool Value);
  bool FullSize() const { return FFullSize; }
  void SetFullSize(bool Value);
  bool Stretch() const { return FStretch; }
  void SetStretch(bool Value);
  TBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TBorderStyle Value);
  TTBDragHandleStyle DragHandleStyle() const { return FDragHandleStyle; }
  void SetDragHandleStyle(TTBDragHandleStyle Value);
  TTBDockMode DockMode() const { return FDockMode; }
  void SetDockMode(TTBDockMode Value) { FDockMode = Value; }
  bool CloseButton() const { return FCloseButton; }
  void SetCloseButton(bool Value);
  TTBDockableTo DockableTo() const { return FDockableTo; }
  void SetDockableTo(TTBDockableTo Value) { FDockableTo = Value; }
  bool ActivateParent() const { return FActivateParent; }
  void SetActivateParent(bool Value) { FActivateParent = Value; }
  bool HideWhenInactive() const { return FHideWhenInactive; }
  void SetHideWhenInactive(bool Value);
  bool Resizable() const { return FResizable; }
  void SetResizable(bool Value);
  bool ShowCaption() const { return FShowCaption; }
  void SetShowCaption(bool Value);
  bool SmoothDrag() const { return FSmoothDrag; }
  void SetSmoothDrag(bool Value) { FSmoothDrag = Value; }
  TTBFloatingMode FloatingMode() const { return FFloatingMode; }
  void SetFloatingMode(TTBFloatingMode Value);

  // Floating.
  TTBFloatingWindowParent* FloatingWindow() const { return FFloatingWindow; }
  bool InactiveCaption() const { return FInactiveCaption; }
  Integer FloatingLeft() const { return FFloatingLeft; }
  Integer FloatingTop() const { return FFloatingTop; }
  // Floats the bar in its own tool window (made on the first float and kept
  // while it floats), or makes it a plain child of its form.
  void SetFloating(bool Value);
  // Where the floating window goes (its top-left; the size stays).
  void SetFloatingPosition(const TRect& R);
  // Shifts a floating window back into the work area of the nearest monitor;
  // with OnlyIfFullyOff only a window wholly outside it.
  void MoveOnScreen(bool OnlyIfFullyOff);
  // The floating frame: left/right and bottom thickness (the top adds the caption).
  virtual TPoint GetFloatingBorderSize();
  // The floating window's margins: left, top (with the caption), right, bottom.
  TRect FloatingNCMargins();
  // Client size limits of a floating bar; 0 means no limit.
  virtual void GetFloatingMinMaxSize(Integer& MinWidth, Integer& MinHeight, Integer& MaxHeight, Integer& MaxWidth) {
    (void)MinWidth, (void)MinHeight, (void)MaxHeight, (void)MaxWidth;
  }
  // Hooks of the floating resize loop: the side (left 0, right 1, top 2,
  // bottom 5), the window's outer start size and its margins; each tracked
  // rectangle against the starting one; the commit of an accepted size.
  virtual void SizeBegin(Integer Side, Integer StartWidth, Integer StartHeight, const TRect& Frame) {
    (void)Side, (void)StartWidth, (void)StartHeight, (void)Frame;
  }
  virtual void SizeTrack(TRect& Rect, const TRect& StartRect) { (void)Rect, (void)StartRect; }
  virtual void SizeCommit() {}
  virtual void SizeEnd() {}
  // The drag loop, from a press at client point (X, Y) of the bar.
  void BeginMoving(Integer InitX, Integer InitY);
  // The resize loop of a floating bar by one side.
  void BeginSizing(Integer Side);
  // Whether the bar should show now: visible, not held hidden, and when it
  // floats, its form shown and not minimised and (HideWhenInactive) an
  // active window in the program.
  bool ShouldShowNow();
  void UpdateVisibility();
  void UpdateCaptionState();
  // The bar's OnMove unless moves are held back.
  void DoMoved();

  TNotifyEvent OnClose;
  TCloseQueryEvent OnCloseQuery;
  TNotifyEvent OnDockChanged;
  TTBDockChangingEvent OnDockChanging;
  TTBDockChangingEvent OnDockChangingHidden;
  TNotifyEvent OnMove;
  TNotifyEvent OnRecreated;
  TNotifyEvent OnRecreating;
  TNotifyEvent OnVisibleChanged;

  void Arrange();
  void BeginUpdate() { ++FUpdateLock; }
  void EndUpdate();
  void ToggleDocking();
  void Close();
  bool CanDrag();
  // The dock is being destroyed: forget it as current, last and default dock.
  void DockDestroying(TTBDock* Dock);

  // Docked frame.
  virtual TPoint GetDockedNCAreaSize();
  // The docked frame the bar would have on Dock (0 by 0 without one).
  TPoint DockedNCAreaSizeFor(TTBDock* Dock);
  virtual bool IsPointOnControl(const TPoint& P);
  // The client size for a dock kind; Apply lets the bar commit its layout.
  virtual void CalcSize(bool Apply, TTBDockKind Kind, TPoint& Size, TTBDock* Dock, bool Floating) = 0;
  virtual void DrawNCArea(bool DrawToDC, HDC DC, HRGN Clip);
  virtual TPoint GetBaseSize() = 0;
  virtual void GetDockedCloseButtonRect(bool Vertical, TRect& R);
  virtual void GetMinShrinkSize(Integer& Length) { (void)Length; }
  virtual TTBShrinkMode GetShrinkMode() { return tbsmNone; }
  virtual void SizeChanging(Integer AWidth, Integer AHeight) { (void)AWidth, (void)AHeight; }
  Integer DragHandleSize() const;
  Integer DragHandleOffset() const;

  // What the dock's arrangement reads and writes.
  Integer ArrangeDockRow() const override { return FDockRow; }
  void SetArrangeDockRow(Integer Row) override { FDockRow = Row; }
  Integer ArrangeDockPos() const override { return FDockPos; }
  void SetArrangeDockPos(Integer Pos) override { FDockPos = Pos; }
  bool VisibleInDock() const override;
  bool ArrangeFullSize() const override { return FFullSize; }
  bool ArrangeStretch() const override { return FStretch; }
  bool ArrangeDragging() const override { return FDragging; }
  bool ArrangeSlideMode() const override { return FSlideMode; }
  void SetArrangeSlidePending() override { FSlidePending = true; }
  bool ArrangeNewRowRequest() const override { return FNewRowRequest; }
  TPoint ArrangeBaseSize() override { return GetBaseSize(); }
  TPoint ArrangeDockedNCAreaSize() override { return GetDockedNCAreaSize(); }
  void ArrangeMinShrinkSize(Integer& Length) override { GetMinShrinkSize(Length); }
  TTBShrinkMode ArrangeShrinkMode() override { return GetShrinkMode(); }
  Integer ArrangeShrunkSize() const override { return FShrunkSize; }
  void SetArrangeShrunkSize(Integer Size) override { FShrunkSize = Size; }
  TPoint ArrangeCalcDockedSize() override;
  TPoint ArrangeClientSize() override;
  void SetArrangeEffective(Integer Row, Integer Pos) override {
    FEffectiveDockRow = Row;
    FEffectiveDockPos = Pos;
  }
  void SetArrangeRowThickness(Integer Thickness) override { FRowThickness = Thickness; }
  void ArrangePlace(const TRect& Bounds, bool Relayout) override;

  // Drag state, set by the drag loop.
  bool FDragging = false, FSlideMode = false, FSlidePending = false, FNewRowRequest = false;
  bool FSmoothDragging = false;

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;
  void Loaded() override;
  void CreateParams(TCreateParams& Params) override;
  void WndProc(TMessage& Message) override;
  void CMVisibleChanged(TMessage& Message) override;
  // Lays out the contents again for the current size (toolbars override it).
  virtual void RelayoutContents() {}
  // Whether the bar's own layout waits for the bounds lock to end.
  bool FLayoutDeferred = false;
  Integer FBoundsLock = 0;
  Integer FShrunkSize = 0;

 private:
  void UpdateNCHot(bool Hot);
  void ShowingLogic(bool Show);
  static void FloatingHookProc(THookProcCode Code, HWND Wnd, WPARAM WParam, LPARAM LParam);
  void UpdateFloatingRegistration();
  // Sets a new floating window's bar, form and caption (tbfloat.cpp).
  void MakeFloatingWindow(TCustomForm* Form);
  void NCLButtonDown(TMessage& Message);
  Integer NCHitTest(TPoint ScreenPoint);

  Integer FDockPos = -1, FDockRow = 0;
  Integer FEffectiveDockPos = 0, FEffectiveDockRow = -1;
  TTBDock* FCurrentDock = nullptr;
  TTBDock* FDefaultDock = nullptr;
  TTBDock* FLastDock = nullptr;
  bool FUseLastDock = true;
  bool FDocked = false, FFloating = false;
  bool FAutoResize = true;
  bool FCloseButtonWhenDocked = false;
  bool FCloseButton = true;
  bool FFullSize = false, FStretch = false;
  TBorderStyle FBorderStyle = bsSingle;
  TTBDragHandleStyle FDragHandleStyle = dhSingle;
  TTBDockMode FDockMode = dmCanFloat;
  TTBDockableTo FDockableTo{dpTop, dpBottom, dpLeft, dpRight};
  Integer FRowThickness = 0;
  Integer FUpdateLock = 0, FMoveEventLock = 0, FHideLock = 0;
  bool FArrangePending = false;
  bool FCloseButtonDown = false, FCloseButtonHot = false;
  bool FActivateParent = true, FHideWhenInactive = true, FResizable = true, FShowCaption = true, FSmoothDrag = true;
  TTBFloatingMode FFloatingMode = fmOnTopOfParentForm;
  bool FInactiveCaption = false;
  Integer FFloatingLeft = 0, FFloatingTop = 0;
  TTBFloatingWindowParent* FFloatingWindow = nullptr;
};
