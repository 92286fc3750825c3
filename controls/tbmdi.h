// A toolbar as the menu bar of an MDI frame: while a child is maximised the
// bar shows the child's system-menu item in front and minimise, restore and
// close buttons at its far end; and a window list for a menu that mirrors
// the frame's window menu.
#pragma once

#include "controls/tbitem.h"
#include "controls/tbview.h"

class TTBCustomToolbar;
class TTBMDIHandler;
class TTBMDIButtonsItem;
class TCustomImageList;
class TCustomForm;
class TForm;
class TMenuItem;

// The active child's system-menu item: its submenu is the child's system
// menu, rebuilt on each opening; the caption "&-" lets Alt with "-" open it.
class TTBMDISystemMenuItem : public TTBCustomItem {
 public:
  explicit TTBMDISystemMenuItem(TComponent* AOwner);
  ~TTBMDISystemMenuItem() override;
  void Click() override;
  TTBItemViewer* CreateViewer(TTBView* View, Integer GroupLevel) override;
  // The close, maximise, minimise and restore images (0 to 3).
  TCustomImageList* SystemImages() const;

 private:
  TCustomImageList* FImageList = nullptr;  // owned
};

// Kind 0 minimise, 1 restore, 2 close.
class TTBMDIButtonItem : public TTBCustomItem {
 public:
  TTBMDIButtonItem(TComponent* AOwner, TTBMDIButtonsItem* AButtons, Integer AKind);
  Integer Kind() const { return FKind; }
  void Click() override;
  TTBItemViewer* CreateViewer(TTBView* View, Integer GroupLevel) override;

 private:
  TTBMDIButtonsItem* FButtons;
  Integer FKind;
};

// The blank gap before the button pairs.
class TTBMDISepItem : public TTBSeparatorItem {
 public:
  explicit TTBMDISepItem(TComponent* AOwner);
  TTBItemViewer* CreateViewer(TTBView* View, Integer GroupLevel) override;
};

// Gap, minimise, restore, gap, close: shown inline at the toolbar's end.
class TTBMDIButtonsItem : public TTBCustomItem {
 public:
  TTBMDIButtonsItem(TComponent* AOwner, TTBMDIHandler* AHandler);
  ~TTBMDIButtonsItem() override;
  TTBMDIHandler* Handler() const { return FHandler; }
  TTBMDIButtonItem* MinimizeItem() const { return FMinimizeItem; }
  TTBMDIButtonItem* RestoreItem() const { return FRestoreItem; }
  TTBMDIButtonItem* CloseItem() const { return FCloseItem; }
  // Shows or hides the buttons and the system-menu item. The window manager
  // reports a change before it happens: Wnd is the window about to change
  // and Maximizing whether it is about to be maximised.
  void UpdateMDIButtons(HWND Wnd, bool Maximizing);
  void ButtonClicked(TTBMDIButtonItem* Button);

 private:
  TTBMDIHandler* FHandler;
  TTBMDISepItem* FSep1 = nullptr;
  TTBMDISepItem* FSep2 = nullptr;
  TTBMDIButtonItem* FMinimizeItem = nullptr;
  TTBMDIButtonItem* FRestoreItem = nullptr;
  TTBMDIButtonItem* FCloseItem = nullptr;
};

class TTBMDIHandler : public TComponent {
 public:
  explicit TTBMDIHandler(TComponent* AOwner);
  ~TTBMDIHandler() override;
  TTBMDIButtonsItem* ButtonsItem() const { return FButtonsItem; }
  TTBMDISystemMenuItem* SystemMenuItem() const { return FSystemMenuItem; }
  TTBCustomToolbar* Toolbar() const { return FToolbar; }
  void SetToolbar(TTBCustomToolbar* Value);
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  TTBMDIButtonsItem* FButtonsItem = nullptr;        // owned
  TTBMDISystemMenuItem* FSystemMenuItem = nullptr;  // owned
  TTBCustomToolbar* FToolbar = nullptr;
};

// The open MDI children as inline entries of a menu, the active one checked;
// an entry's click activates its child.
class TTBMDIWindowItem : public TTBCustomItem {
 public:
  explicit TTBMDIWindowItem(TComponent* AOwner);
  ~TTBMDIWindowItem() override;
  TCustomForm* Form() const { return FForm; }
  void SetForm(TCustomForm* Value);
  TMenuItem* WindowMenu() const { return FWindowMenu; }
  // Rebuilds the entries from the frame's window menu.
  void RefreshFromAction() override;
  void EnabledChanged() override;
  void Notification(TComponent* AComponent, TOperation Operation) override;
  TNotifyEvent OnUpdate;

 private:
  TCustomForm* FForm = nullptr;
  TMenuItem* FWindowMenu = nullptr;  // owned, never shown
};
