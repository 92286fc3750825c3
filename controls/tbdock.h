// The dock: the strip along one edge of a form that holds dockable bars in
// rows, sizes itself to them, draws its bound lines and shared background and
// passes keyboard messages on to its bars that float; and the small routines
// the docking code shares.
#pragma once

#include <functional>
#include <vector>

#include "platform/ui/controls.h"
#include "platform/ui/forms.h"

class TTBCustomDockableWindow;

// A form that only carries a floating bar: the bar belongs to the form it
// names, not to this one.
class TTBFloatingFormLink {
 public:
  virtual ~TTBFloatingFormLink() = default;
  virtual TCustomForm* FloatingParentForm() = 0;
};

enum TTBDockPosition { dpTop, dpBottom, dpLeft, dpRight };
enum TTBDockBoundLine { blTop, blBottom, blLeft, blRight };
using TTBDockBoundLines = TEnumSet<TTBDockBoundLine>;
enum TTBDockKind { dkNone, dkFloating, dkHorizontal, dkVertical };

using TTBInsertRemoveEvent = std::function<void(TObject* Sender, bool Inserting, TTBCustomDockableWindow* Bar)>;
using TTBRequestDockEvent = std::function<void(TObject* Sender, TTBCustomDockableWindow* Bar, bool& Accept)>;

// A shared background painted behind the docks and, optionally, their bars.
// Only the contract: a background class supplies the bodies.
class TTBBasicBackground : public TComponent {
 public:
  using TComponent::TComponent;
  // DrawRect is what the dock's parent's whole client area would cover, so
  // tiles line up across docks and bars.
  virtual void Draw(HDC DC, const TRect& DrawRect) = 0;
  virtual HPALETTE GetPalette() = 0;
  virtual void RegisterChanges(const TNotifyEvent& Proc) = 0;
  virtual void SysColorChanged() = 0;
  virtual void UnregisterChanges(const TNotifyEvent& Proc) = 0;
  virtual bool UsingBackground() = 0;
};

class TTBDock : public TCustomControl {
 public:
  explicit TTBDock(TComponent* AOwner);
  ~TTBDock() override;

  void SetParent(TWinControl* AParent) override;

  TTBDockPosition Position() const { return FPosition; }
  void SetPosition(TTBDockPosition Value);
  bool AllowDrag() const { return FAllowDrag; }
  void SetAllowDrag(bool Value);
  TTBDockBoundLines BoundLines() const { return FBoundLines; }
  void SetBoundLines(TTBDockBoundLines Value);
  TTBBasicBackground* Background() const { return FBackground; }
  void SetBackground(TTBBasicBackground* Value);
  bool BackgroundOnToolbars() const { return FBackgroundOnToolbars; }
  void SetBackgroundOnToolbars(bool Value);
  bool FixAlign() const { return FFixAlign; }
  void SetFixAlign(bool Value);
  bool LimitToOneRow() const { return FLimitToOneRow; }
  void SetLimitToOneRow(bool Value);

  TTBInsertRemoveEvent OnInsertRemoveBar;
  TTBRequestDockEvent OnRequestDock;

  virtual void DrawBackground(HDC DC, const TRect& DrawRect);
  virtual bool UsingBackground();

  void BeginUpdate() { ++FUpdateLock; }
  void EndUpdate();
  void ArrangeBars();
  bool HasVisibleBars();
  Integer GetRowThickness(Integer Row, bool& FullSize);
  Integer GetOtherBarsRowThickness(Integer Row, TTBCustomDockableWindow* Leave);
  Integer GetHighestRow(bool Effective);
  Integer GetRowAt(Integer Offset);
  // Resizes the dock with its outer edge kept where it is.
  void SetBoundsKeepingEdge(Integer AWidth, Integer AHeight);
  void ChangeDockList(bool Insert, TTBCustomDockableWindow* Bar);
  void ChangeVisibleList(TTBCustomDockableWindow* Bar, bool ForceRemove);
  void InvalidateBackground(TObject* Sender = nullptr);

  // Every bar docked here or remembering this dock as its last one.
  const std::vector<TTBCustomDockableWindow*>& BarList() const { return FBarList; }
  // The bars that are children of this dock and visible.
  const std::vector<TTBCustomDockableWindow*>& VisibleBarList() const { return FVisibleBarList; }
  bool CommitPositions = false;
  Integer BoundLineCountX() const { return FBoundLineCountX; }
  Integer BoundLineCountY() const { return FBoundLineCountY; }
  // Bars dropping out of the dock's arrangement for good.
  bool BarVisibleHere(TTBCustomDockableWindow* Bar);

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;
  void Loaded() override;
  void AlignControls(TControl* AControl, TRect& Rect) override;
  void CreateParams(TCreateParams& Params) override;
  void WndProc(TMessage& Message) override;
  void Paint() override;

 private:
  void DrawNCArea(HDC DC);
  void ForwardToFloatingBars(TMessage& Message, bool MenuBarsOnly);

  TTBDockPosition FPosition = dpTop;
  bool FAllowDrag = true;
  TTBDockBoundLines FBoundLines;
  TTBBasicBackground* FBackground = nullptr;
  bool FBackgroundOnToolbars = true;
  bool FFixAlign = false;
  bool FLimitToOneRow = false;
  Integer FUpdateLock = 0;
  bool FArrangePending = false;
  Integer FBoundLineCountX = 0, FBoundLineCountY = 0;
  std::vector<TTBCustomDockableWindow*> FBarList;
  std::vector<TTBCustomDockableWindow*> FVisibleBarList;
  TNotifyEvent FBackgroundChanged;
};

TTBDockKind GetDockKind(TTBDock* Dock, bool Floating);
Integer GetSmallCaptionHeight();
TCustomForm* GetMDIParentOf(TCustomForm* Form);
TCustomForm* GetParentFormOf(TControl* Control);
// EInvalidOperation "Control '<name>' has no parent window" without a form.
TCustomForm* GetParentFormOrRaise(TControl* Control);
void SetWindowOwner(HWND Wnd, HWND Owner);
HWND FindTopLevelWindow(HWND Skip);
bool IsAncestorWindow(HWND Wnd, HWND Other);
void RecalcNCArea(TWinControl* Control);
void InvalidateAll(TWinControl* Control);
// Runs the mouse for a button drawn in a non-client area: Pushed is told
// whether the pointer is over Button (screen coordinates); true when the left
// button was released over it.
bool TrackNCButton(HWND Wnd, const TRect& Button, const std::function<void(bool Pushed)>& Pushed);
