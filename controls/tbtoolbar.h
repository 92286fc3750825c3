// The toolbar: a dockable bar that shows a tree of items through a view,
// sized from the view's layout for each kind of dock, wrapping at the dock's
// length or at a chosen floating width; the chevron that collects the items
// that do not fit; menu-bar keys; shortcuts that work anywhere in the form;
// child controls hosted as items.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "controls/tbdockwin.h"
#include "controls/tbhook.h"
#include "controls/tbitem.h"
#include "controls/tbview.h"

class TTBCustomToolbar;

// Rows of the chevron's 8 x 8 glyphs; set bits are drawn. The rightward
// glyph uses 8 columns and 5 rows, the downward one 5 columns and 8 rows.
constexpr uint8_t TBChevronGlyphRight[8] = {0xCC, 0x66, 0x33, 0x66, 0xCC, 0x00, 0x00, 0x00};
constexpr uint8_t TBChevronGlyphDown[8] = {0x88, 0xD8, 0x70, 0x20, 0x88, 0xD8, 0x70, 0x20};

// The button at the end of a toolbar that opens a popup of the items the
// toolbar had no room for.
class TTBChevronItem : public TTBCustomItem {
 public:
  explicit TTBChevronItem(TTBCustomToolbar* AToolbar);
  TTBView* ChevronSourceView() override;
  TTBItemViewer* CreateViewer(TTBView* View, Integer GroupLevel) override;

 private:
  TTBCustomToolbar* FToolbar;
};

class TTBChevronItemViewer : public TTBItemViewer {
 public:
  using TTBItemViewer::TTBItemViewer;
  void Paint(TCanvas* Canvas, const TRect& R, bool IsSelected, bool IsPushed, bool Emboss) override;
};

enum TTBChevronPriorityForNewItems { tbcpHighest, tbcpLowest };
// A caller's routines that read and write one integer of a toolbar's stored
// position (toolbar name, value name, default or value, the caller's data).
using TTBPositionReadIntProc =
    std::function<Integer(const WideString& ToolbarName, const WideString& Value, Integer Default, void* ExtraData)>;
using TTBPositionWriteIntProc =
    std::function<void(const WideString& ToolbarName, const WideString& Value, Integer Data, void* ExtraData)>;
// Asked before a toolbar searches its items for a shortcut.
using TShortCutEvent = std::function<void(TMessage& Msg, bool& Handled)>;

class TTBToolbarView : public TTBView {
 public:
  explicit TTBToolbarView(TTBCustomToolbar* AToolbar);
  void ApplyAutoSize(Integer AWidth, Integer AHeight) override;
  void UpdateLayout(TPoint& Size) override;
  void InvalidateLayout() override;
  TFont* ViewFont() override;
  TTBCustomItem* ChevronItem() override;
  TTBCustomItem* MDIButtonsItem() override;
  TTBCustomItem* MDISystemMenuItem() override;

 private:
  TTBCustomToolbar* FToolbar;
};

class TTBCustomToolbar : public TTBCustomDockableWindow, public ITBItemContainer {
 public:
  explicit TTBCustomToolbar(TComponent* AOwner);
  ~TTBCustomToolbar() override;

  TTBRootItem* Items() const { return FRoot; }
  TTBCustomItem* GetRootItem() override { return FRoot; }
  TTBToolbarView* View() const { return FView; }
  TTBChevronItem* ChevronItem() const { return FChevronItem; }
  TCustomImageList* Images() const { return FRoot->SubMenuImages(); }
  void SetImages(TCustomImageList* Value) { FRoot->SetSubMenuImages(Value); }
  TTBCustomItem* LinkSubitems() const { return FRoot->LinkSubitems(); }
  void SetLinkSubitems(TTBCustomItem* Value) { FRoot->SetLinkSubitems(Value); }
  TTBItemOptions Options() const { return FRoot->Options(); }
  void SetOptions(TTBItemOptions Value) { FRoot->SetOptions(Value); }
  const WideString& ChevronHint() const { return FChevronItem->Hint(); }
  void SetChevronHint(const WideString& Value);
  bool ChevronMoveItems() const { return FChevronMoveItems; }
  void SetChevronMoveItems(bool Value);
  TTBChevronPriorityForNewItems ChevronPriorityForNewItems() const { return FChevronPriorityForNewItems; }
  void SetChevronPriorityForNewItems(TTBChevronPriorityForNewItems Value);
  bool UpdateActions() const { return FUpdateActions; }
  void SetUpdateActions(bool Value) { FUpdateActions = Value; }
  TShortCutEvent OnShortCut;
  Integer FloatingWidth() const { return FFloatingWidth; }
  void SetFloatingWidth(Integer Value);
  bool MenuBar() const { return FMenuBar; }
  void SetMenuBar(bool Value);
  bool ProcessShortCuts() const { return FProcessShortCuts; }
  void SetProcessShortCuts(bool Value);
  TTBShrinkMode ShrinkMode() const { return FShrinkMode; }
  void SetShrinkMode(TTBShrinkMode Value);
  bool SystemFont() const { return FSystemFont; }
  void SetSystemFont(bool Value);
  Integer WrapLineCount() const { return FWrapLineCount; }
  // The items an MDI handler lends the menu bar: shown in front of and after
  // the toolbar's own items (the caller rebuilds the view's viewers).
  TTBCustomItem* MDIButtonsItem() const { return FMDIButtonsItem; }
  void SetMDIButtonsItem(TTBCustomItem* Value) { FMDIButtonsItem = Value; }
  TTBCustomItem* MDISystemMenuItem() const { return FMDISystemMenuItem; }
  void SetMDISystemMenuItem(TTBCustomItem* Value) { FMDISystemMenuItem = Value; }

  // Opens the menu from the keyboard: with a key, the item whose accelerator
  // it is; without (Alt alone), the first selectable item. True when the menu
  // loop ran.
  bool KeyboardOpen(WideChar Key, bool RequirePrimaryAccel);
  // Hosts Control as an item at Index of the root.
  TTBControlItem* AddControlItem(Integer Index, TControl* Control);
  // The toolbar's own part of a stored position: its floating width.
  void ReadPositionData(const TTBPositionReadIntProc& ReadIntProc, void* ExtraData);
  void WritePositionData(const TTBPositionWriteIntProc& WriteIntProc, void* ExtraData);
  // Whether the toolbar is in the list of toolbars whose shortcuts work
  // anywhere in their form.
  bool ShortcutsRegistered() const { return FShortcutsRegistered; }
  // Also true over an item that takes clicks: a press there is no drag.
  bool IsPointOnControl(const TPoint& P) override;
  // The tab order without the controls waiting in the chevron (and what
  // they hold).
  void GetTabOrderList(std::vector<TWinControl*>& List) override;

  TTBShrinkMode GetShrinkMode() override { return FShrinkMode; }
  TPoint GetBaseSize() override;
  void GetMinShrinkSize(Integer& Length) override;
  void CalcSize(bool Apply, TTBDockKind Kind, TPoint& Size, TTBDock* Dock, bool Floating) override;
  void UpdateViewProperties();
  Integer GetWrapOffsetFor(TTBDock* Dock);
  Integer GetChevronOffsetFor(TTBDock* Dock, Integer Orientation);
  // For each number of wrapped lines, the narrowest floating client size that
  // gives it, widest first.
  std::vector<TPoint> GetFloatingSizes();

  // Resizing of the floating window by one side (left 0, right 1, top 2,
  // bottom 5): the window's outer start size and its frame margins (Left is
  // the distance from the window's edge to the client area).
  void SizeBegin(Integer Side, Integer StartWidth, Integer StartHeight, const TRect& Frame);
  // Snaps Rect to the nearest floating size in the direction of the move.
  void SizeTrack(TRect& Rect, const TRect& StartRect);
  void SizeCommit();
  void SizeEnd();

 protected:
  void Paint() override;
  void RelayoutContents() override;
  void WndProc(TMessage& Message) override;
  void Loaded() override;
  void AlignControls(TControl* AControl, TRect& Rect) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) override;
  void MouseMove(TShiftState Shift, Integer X, Integer Y) override;

 private:
  friend class TTBToolbarView;
  // Menu bars see the thread's messages as they are retrieved.
  static void MenuBarGetMessageHook(THookProcCode Code, HWND Wnd, WPARAM WParam, LPARAM LParam);
  void UpdateShortcutRegistration();
  void ControlInserted(TControl* Control);
  void ControlRemoved(TControl* Control);
  bool HasControlItemFor(TControl* Control) const;
  void ClearHover();
  void SysKeyMenu(TMessage& Message);

  TTBRootItem* FRoot = nullptr;
  TTBChevronItem* FChevronItem = nullptr;
  TTBToolbarView* FView = nullptr;
  bool FChevronMoveItems = true;
  TTBChevronPriorityForNewItems FChevronPriorityForNewItems = tbcpHighest;
  bool FUpdateActions = true;
  bool FShortcutsRegistered = false;
  bool FMenuHookRegistered = false;
  bool FInMouseDownLoop = false;
  Integer FPositionsLock = 0;
  TPoint FBaseSize;
  Integer FFloatingWidth = 0;
  bool FMenuBar = false;
  bool FProcessShortCuts = false;
  TTBShrinkMode FShrinkMode = tbsmChevron;
  bool FSystemFont = true;
  Integer FWrapLineCount = 0;
  TTBCustomItem* FMDIButtonsItem = nullptr;
  TTBCustomItem* FMDISystemMenuItem = nullptr;
  // Inside CalcSize the view's new size is what is being asked for; it must
  // not start another arrangement.
  Integer FCalcLock = 0;

  struct TToolbarSizeData {
    Integer Side = 0;
    std::vector<TPoint> Sizes;  // outer sizes, sorted largest first
    Integer StartWidth = 0, StartHeight = 0, BorderX = 0, NewFloatingWidth = 0;
    bool SensitivityOff = false, Shrinking = false;
    Integer DistanceSmaller = 0, DistanceLarger = 0;
  };
  std::unique_ptr<TToolbarSizeData> FSizeData;
};

class TTBToolbar : public TTBCustomToolbar {
 public:
  using TTBCustomToolbar::TTBCustomToolbar;
};

// The dock kind's view orientation.
Integer ViewOrientationFor(TTBDockKind Kind);
