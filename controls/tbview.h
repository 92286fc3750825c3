// Views and item viewers: a view shows the sub-items of one item in one
// window (a toolbar or a popup) and keeps one viewer per shown item, in step
// with the item tree through its change notifications. The layout of a view
// lives in tblayout.cpp, measuring and painting in tbitemdraw.cpp.
#pragma once

#include <vector>

#include "controls/tbitem.h"
#include "platform/graphics/canvas.h"

class TWinControl;
class TCustomImageList;
class TTBViewAccObject;
class TTBItemViewerAccObject;

enum TTBViewOrientation : Integer { tbvoHorizontal = 0, tbvoVertical = 1, tbvoFloating = 2 };

enum TTBViewStateFlag {
  vsModal,
  vsMouseInWindow,
  vsDrawInOrder,
  vsOpenedLeftwards,
  vsIgnoreFirstRelease,
  vsShowAccels,
  vsDropDownMode,
  vsNoAnimation,
};
using TTBViewState = TEnumSet<TTBViewStateFlag>;

enum TTBViewStyleFlag { vstMenuBar, vstHideAccelsUntilAlt, vstAlwaysShowHints };
using TTBViewStyle = TEnumSet<TTBViewStyleFlag>;

enum TTBDoneActionKind { daNone, daCancel, daClick, daSysKeyMenu, daHelp };
struct TTBDoneActionData {
  TTBDoneActionKind DoneAction = daNone;
  TTBCustomItem* ClickItem = nullptr;
  bool Sound = false;
  HWND Wnd = nullptr;
  Word Key = 0;
  Integer ContextID = 0;
};

// Viewer-state bits.
enum : Byte { tbvsNeedsFullRepaint = 1, tbvsLineBreak = 2 };

class TTBItemViewer : public TObject {
 public:
  TTBItemViewer(TTBView* AView, TTBCustomItem* AItem, Integer AGroupLevel);
  ~TTBItemViewer() override;

  TTBView* View() const { return FView; }
  TTBCustomItem* Item() const { return FItem; }
  Integer GroupLevel() const { return FGroupLevel; }

  TRect BoundsRect;
  bool Clipped = false;
  bool OffEdge = false;
  bool Show = false;
  Byte State = 0;

  // Size of the item as it would be drawn with the canvas's font.
  virtual void MeasureSize(TCanvas* Canvas, Integer& AWidth, Integer& AHeight);
  virtual bool DoExecute();
  virtual void Entering();
  virtual void Leaving();
  virtual WideString CaptionText() const;
  virtual bool InButtonPart(Integer X, Integer Y);
  virtual void LosingCapture();
  virtual bool UsesSameWidth();
  virtual bool CaptionShown();
  // Draws the item into R, its own area with the top-left corner at (0, 0).
  virtual void Paint(TCanvas* Canvas, const TRect& R, bool IsSelected, bool IsPushed, bool Emboss);
  virtual void DrawCaption(TCanvas* Canvas, const TRect& R, UINT Format, bool Emboss, const WideString& Text);
  virtual Integer AccessibleRole();
  // The value a screen reader reads for the item; false when it has none.
  virtual bool AccessibleValue(WideString& Value);
  // Mouse and keys in a running menu loop; points relative to the viewer.
  virtual void MouseDown(TShiftState Shift, Integer X, Integer Y, bool& MouseDownOnMenu);
  virtual void MouseUp(Integer X, Integer Y, bool MouseWasDownOnMenu);
  virtual void MouseMove(Integer, Integer) {}
  virtual void MouseWheel(Integer, Integer, Integer) {}
  // A key for the selected viewer first; setting Key to 0 consumes it.
  virtual void KeyDown(Word&, TShiftState) {}

  bool ImageShown();
  // The item's own list, else the first submenu list up the chain of views.
  TCustomImageList* ImageList() const;
  bool IsToolbarStyle() const;
  bool IsToolbarSize() const;
  bool IsRotated() const;
  bool IsReachable() const { return Show || OffEdge || Clipped; }
  bool Execute(bool GivePriority);
  TPoint ScreenToViewer(const TPoint& P) const;

  // ---- accessibility
  // The viewer's object, made on first request; the viewer holds no
  // reference to it (its clients do) and the object clears this link when
  // it goes.
  TTBItemViewerAccObject* AccessibleObject();
  // The object made so far, without making one; set by the objects only,
  // under their list lock.
  TTBItemViewerAccObject* AccObject() const { return FAccObject; }
  void SetAccObject(TTBItemViewerAccObject* Value) { FAccObject = Value; }
  // Queues an accessible select (0) or invoke (1) through the thread's
  // queued-click window; PerformAccessibleAction runs it when it arrives.
  void QueueAccessibleAction(Integer Action);
  void PerformAccessibleAction(Integer Action);

 private:
  TTBView* FView;
  TTBCustomItem* FItem;
  Integer FGroupLevel;
  TTBItemViewerAccObject* FAccObject = nullptr;
};

class TTBSeparatorItemViewer : public TTBItemViewer {
 public:
  using TTBItemViewer::TTBItemViewer;
  void MeasureSize(TCanvas* Canvas, Integer& AWidth, Integer& AHeight) override;
  void Paint(TCanvas* Canvas, const TRect& R, bool IsSelected, bool IsPushed, bool Emboss) override;
  bool UsesSameWidth() override { return false; }
};

class TTBView : public TComponent {
 public:
  TTBView(TComponent* AOwner, TTBView* AParentView, TTBCustomItem* AParentItem, TWinControl* AWindow, bool AIsToolbar,
          bool ACustomizing, bool AUsePriorityList);
  ~TTBView() override;

  // ---- viewers
  Integer ViewerCount() const { return static_cast<Integer>(FViewers.size()); }
  TTBItemViewer* Viewers(Integer Index) const;
  Integer IndexOfViewer(TTBItemViewer* Viewer) const;
  TTBItemViewer* FindViewer(TTBCustomItem* AItem) const;
  TTBItemViewer* ViewerAt(const TPoint& P);
  const std::vector<TTBItemViewer*>& PriorityList() const { return FPriorityList; }
  void RebuildViewers();
  Integer InsertViewers(Integer Index, TTBCustomItem* AItem, bool ToFront, bool IntoPriorityList, Integer GroupLevel);
  void RecreateViewer(Integer Index);
  void GivePriority(TTBItemViewer* Viewer);
  TTBItemViewer* TopPriorityViewer();
  Integer InternalViewersAtEnd() const { return FInternalViewersAtEnd; }
  Integer InternalViewersAtFront() const { return FInternalViewersAtFront; }
  void CollectControls(std::vector<TControl*>& List);

  // ---- items shown
  TTBCustomItem* ParentItem() const { return FParentItem; }
  TTBCustomItem* SourceItem() const { return FCurrentSource; }
  void UpdateSourceItem();
  virtual TTBCustomItem* ChevronItem() { return nullptr; }
  virtual TTBCustomItem* MDIButtonsItem() { return nullptr; }
  virtual TTBCustomItem* MDISystemMenuItem() { return nullptr; }

  // ---- chain of views
  TTBView* ParentView() const { return FParentView; }
  TTBView* RootView();
  TTBView* ToolbarAncestor();
  TTBView* ChevronParentView() const { return FChevronParentView; }
  void SetChevronParentView(TTBView* Value);
  TTBItemViewer* OpenViewer() const { return FOpenViewer; }
  TTBView* OpenViewerView() const { return FOpenViewerView; }
  // The popup window opened from this view, which closing the popups frees.
  TWinControl* OpenPopupWindow() const { return FOpenPopupWindow; }
  void SetOpenPopup(TWinControl* Window, TTBView* ItsView, TTBItemViewer* Viewer);
  // The work area that confines this view's popups; empty when not yet known.
  const TRect& MonitorRect() const { return FMonitorRect; }
  void SetMonitorRect(const TRect& Value) { FMonitorRect = Value; }
  // Closes the popups opened from this view (the popup windows' own part
  // comes with them).
  virtual void CloseChildPopups();
  // Tells assistive tools which viewer has the focus while a menu runs.
  void ReportFocus();

  // ---- layout
  virtual void InvalidateLayout();
  void EnsureLayout();
  void TryEnsureLayout();
  void BeginUpdate() { ++FUpdating; }
  void EndUpdate();
  void ImagesChanged();
  bool LayoutValid() const { return FValidated; }
  virtual void UpdateLayout(TPoint& Size);
  void Relayout(TPoint& Size);
  // TotalSize is in-out: it comes in as the least size the content takes.
  bool ComputeLayout(bool UpdateViewers, Integer AOrientation, Integer AWrapOffset, Integer AChevronOffset,
                     Integer AChevronSize, TPoint& ABaseSize, TPoint& TotalSize, Integer& WrappedLines);
  virtual void LayoutMargins(Integer AOrientation, TRect& Margins);
  virtual void ApplyAutoSize(Integer, Integer) {}
  virtual TFont* ViewFont();
  void InvalidateViewer(TTBItemViewer* Viewer);
  void PaintViewer(TTBItemViewer* Viewer, TCanvas* Canvas, bool UseBitmap);
  void PaintViewers(TCanvas* Canvas);

  // ---- selection and keyboard navigation
  // Moves the selection; Entering and Leaving tell the items, and viewers
  // that redraw on selection changes are repainted.
  void Select(TTBItemViewer* Viewer, bool ViaMouse);
  void SelectNext(bool Forward);
  TTBItemViewer* NextSelectable(TTBItemViewer* From, bool Forward);
  TTBItemViewer* FirstSelectable();
  TTBItemViewer* FindAccelerator(TTBItemViewer* From, WideChar Ch, bool& Unique, bool AcceleratorsOnly);
  void Scroll(bool Down);
  void ScrollSelectedIntoView();
  void ShowAccelerators(bool Force);
  bool SelectedViaMouse() const { return FSelectedViaMouse; }

  // ---- menus (the menu loop drives these)
  // Opens the selection's submenu; answers whether a popup is open afterwards.
  bool OpenSubmenu(bool SelectFirst);
  // Closes the open child popups (ClosePopups), and in a toolbar view also
  // leaves drop-down mode (CancelPopups).
  void CancelPopups();
  void TrackMouse(const TPoint& P, bool AllowNewSelection);
  void ExecuteSelected(bool GivePriority);
  void HandleKey(Word& Key, TShiftState Shift);
  // View timers 0 (open the submenu), 1 (close popups), 2 and 3 (scroll up
  // and down): window timers 9000 + number of a popup window.
  void StartTimer(Integer Number, Integer Milliseconds);
  void StopTimer(Integer Number);
  void StopAllTimers();
  void TimerFired(Integer Number);
  bool TimerRunning(Integer Number) const { return (FActiveTimers >> Number) & 1; }
  void BeginCapture() { FCapture = true; }
  void CancelCapture();
  // The loop lost the capture or was cancelled: ends it and hides every popup.
  void CancelMode();
  // The window holding the capture while a menu loop runs.
  HWND CaptureWnd() const { return FCaptureWnd; }
  void SetCaptureWnd(HWND Value) { FCaptureWnd = Value; }
  // Runs the menu loop on a toolbar view (options: 1 press the selection,
  // 2 execute it, 4 without priority).
  void RunModal(Integer Options);

  // ---- hints
  WideString ViewerHintText(TTBItemViewer* Viewer);
  // The CM_HINTSHOW answer for the viewer under the hint's cursor position.
  void HandleHintShow(const TPoint& CursorPos, TRect& CursorRect, WideString& HintStr, void*& HintData);

  // ---- state
  TTBItemViewer* Selected() const { return FSelected; }
  void SetSelected(TTBItemViewer* Value) { FSelected = Value; }
  bool Capture() const { return FCapture; }
  void SetCapture(bool Value) { FCapture = Value; }
  bool MouseOverSelected() const { return FMouseOverSelected; }
  void SetMouseOverSelected(bool Value) { FMouseOverSelected = Value; }
  void SetOpenViewer(TTBItemViewer* Viewer, TTBView* ItsView) {
    FOpenViewer = Viewer;
    FOpenViewerView = ItsView;
  }
  bool IsPopup() const { return FIsPopup; }
  bool IsToolbar() const { return FIsToolbar; }
  void SetIsToolbar(bool Value) { FIsToolbar = Value; }
  bool Customizing() const { return FCustomizing; }
  bool UsePriorityList() const { return FUsePriorityList; }
  void SetUsePriorityList(bool Value);
  TWinControl* Window() const { return FWindow; }
  Integer Orientation() const { return FOrientation; }
  void SetOrientation(Integer Value);
  Integer WrapOffset() const { return FWrapOffset; }
  void SetWrapOffset(Integer Value);
  Integer ChevronOffset() const { return FChevronOffset; }
  void SetChevronOffset(Integer Value);
  Integer ChevronSize() const { return FChevronSize; }
  void SetChevronSize(Integer Value);
  Integer MaxHeight() const { return FMaxHeight; }
  void SetMaxHeight(Integer Value);
  Integer ScrollOffset() const { return FScrollOffset; }
  void SetScrollOffset(Integer Value) { FScrollOffset = Value; }
  bool ShowUpArrow() const { return FShowUpArrow; }
  bool ShowDownArrow() const { return FShowDownArrow; }
  TPoint BaseSize() const { return FBaseSize; }
  TTBViewState State() const { return FState; }
  void SetState(TTBViewState Value) { FState = Value; }
  TTBViewStyle Style() const { return FStyle; }
  void SetStyle(TTBViewStyle Value) { FStyle = Value; }
  TColor BackgroundColor() const { return FBackgroundColor; }
  void SetBackgroundColor(TColor Value) { FBackgroundColor = Value; }
  bool NewViewersGetHighestPriority() const { return FNewViewersGetHighestPriority; }
  void SetNewViewersGetHighestPriority(bool Value) { FNewViewersGetHighestPriority = Value; }
  TTBDoneActionData& DoneActionData() { return FDoneActionData; }
  // How the menu loop ends; recorded on the root view.
  void EndModal();
  void EndModalWithClick(TTBItemViewer* Viewer);
  void EndModalWithHelp(Integer AContextID);
  void EndModalWithSystemMenu(HWND AWnd, Word AKey);
  bool ModalEnding();
  // The screen's resolution as measuring and layout see it.
  virtual Integer ScreenPixelsPerInch() const;

  void Notification(TComponent* AComponent, TOperation Operation) override;

  // ---- accessibility
  // The view's object, made on first request; the view holds one reference.
  TTBViewAccObject* AccessibleObject();
  // The object made so far; set by the objects only, under their list lock.
  TTBViewAccObject* AccObject() const { return FAccObject; }
  void SetAccObject(TTBViewAccObject* Value) { FAccObject = Value; }
  // WM_GETOBJECT for the client area: answers the view's object and true.
  bool HandleGetObject(TMessage& Message);

 protected:
  void ViewerDeleting(TTBItemViewer* Viewer);

 private:
  void ItemChanged(TTBCustomItem* Sender, bool Relayed, TTBItemChange Change, Integer Index, TTBCustomItem* AItem);
  void ParentItemChanged(TTBCustomItem* Sender, bool Relayed, TTBItemChange Change, Integer Index,
                         TTBCustomItem* AItem);
  TTBItemChangeProc ItemChangedProc();
  TTBItemChangeProc ParentItemChangedProc();
  void InsertItemViewers(TTBCustomItem* Sender, Integer Index, TTBCustomItem* AItem);
  void DeleteItemViewers(TTBCustomItem* AItem);
  void FreeViewers();
  void RefreshActions();

  std::vector<TTBItemViewer*> FViewers;
  std::vector<TTBItemViewer*> FPriorityList;
  TColor FBackgroundColor = clDefault;
  TPoint FBaseSize;
  TTBView* FChevronParentView = nullptr;
  Integer FChevronOffset = 0;
  Integer FChevronSize = 0;
  TTBCustomItem* FCurrentSource = nullptr;
  bool FCustomizing;
  TTBDoneActionData FDoneActionData;
  Integer FInternalViewersAtEnd = 0;
  Integer FInternalViewersAtFront = 0;
  bool FIsPopup;
  bool FIsToolbar;
  Integer FMaxHeight = 0;
  bool FNewViewersGetHighestPriority = true;
  TTBItemViewer* FOpenViewer = nullptr;
  TTBView* FOpenViewerView = nullptr;
  TWinControl* FOpenPopupWindow = nullptr;
  TRect FMonitorRect;
  Byte FActiveTimers = 0;
  HWND FCaptureWnd = nullptr;
  TTBView* FParentView;
  TTBCustomItem* FParentItem;
  Integer FOrientation = tbvoHorizontal;
  Integer FScrollOffset = 0;
  TTBItemViewer* FSelected = nullptr;
  bool FCapture = false;
  bool FSelectedViaMouse = false;
  bool FMouseOverSelected = false;
  bool FShowDownArrow = false;
  bool FShowUpArrow = false;
  TTBViewState FState;
  TTBViewStyle FStyle;
  Integer FUpdating = 0;
  bool FUsePriorityList;
  bool FValidated = false;
  TWinControl* FWindow;
  Integer FWrapOffset = 0;
  TTBViewAccObject* FAccObject = nullptr;  // counted
};
