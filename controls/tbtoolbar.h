// The toolbar: a dockable bar that shows a tree of items through a view,
// sized from the view's layout for each kind of dock, wrapping at the dock's
// length or at a chosen floating width; and its menu-bar settings.
#pragma once

#include <memory>
#include <vector>

#include "controls/tbdockwin.h"
#include "controls/tbitem.h"
#include "controls/tbview.h"

class TTBCustomToolbar;

class TTBToolbarView : public TTBView {
 public:
  explicit TTBToolbarView(TTBCustomToolbar* AToolbar);
  void ApplyAutoSize(Integer AWidth, Integer AHeight) override;
  void UpdateLayout(TPoint& Size) override;
  void InvalidateLayout() override;
  TFont* ViewFont() override;
  TTBCustomItem* MDIButtonsItem() override;
  TTBCustomItem* MDISystemMenuItem() override;

 private:
  TTBCustomToolbar* FToolbar;
};

class TTBCustomToolbar : public TTBCustomDockableWindow {
 public:
  explicit TTBCustomToolbar(TComponent* AOwner);
  ~TTBCustomToolbar() override;

  TTBRootItem* Items() const { return FRoot; }
  TTBToolbarView* View() const { return FView; }
  Integer FloatingWidth() const { return FFloatingWidth; }
  void SetFloatingWidth(Integer Value);
  bool MenuBar() const { return FMenuBar; }
  void SetMenuBar(bool Value);
  bool ProcessShortCuts() const { return FProcessShortCuts; }
  void SetProcessShortCuts(bool Value) { FProcessShortCuts = Value; }
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

 private:
  friend class TTBToolbarView;
  TTBRootItem* FRoot = nullptr;
  TTBToolbarView* FView = nullptr;
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
