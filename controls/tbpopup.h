// Popup windows of the toolbar library (submenus, drop-downs, chevron lists,
// context menus) and the popup-menu component. A popup window owns a popup
// view of one item's sub-items, draws its own 3-pixel frame and is never
// activated: the menu loop keeps the keyboard.
#pragma once

#include "controls/tbanim.h"
#include "controls/tbitempopup.h"
#include "controls/tbview.h"
#include "platform/ui/menus.h"

class TTBPopupWindow;

// Recognises the popup windows of the toolbar library among other windows.
class ITBPopupWindow {
 public:
  virtual ~ITBPopupWindow() = default;
};

class TTBPopupView : public TTBView {
 public:
  using TTBView::TTBView;
  // The window is the content size plus the 3-pixel frame on every side.
  void ApplyAutoSize(Integer AWidth, Integer AHeight) override;
  TFont* ViewFont() override;
};

class TTBPopupWindow : public TCustomControl, public ITBPopupWindow {
 public:
  TTBPopupWindow(TComponent* AOwner, TTBView* ParentView, TTBCustomItem* Item, bool Customizing);
  ~TTBPopupWindow() override;

  TTBPopupView* View() const { return FView; }
  // Slide directions recorded when the popup was placed (tbadLeftwards ..
  // tbadUpwards).
  Byte AnimationDirection() const { return FAnimationDirection; }
  void SetAnimationDirection(Byte Value) { FAnimationDirection = Value; }

  // Shows the window without activating it; a popup opened by the mouse
  // slides or fades in when the menu settings ask for it.
  void ShowPopup();
  // The frame: flat (one shadow line and two lines of the window colour) or raised.
  void PaintFrame(HDC DC);

 protected:
  virtual TTBPopupView* CreatePopupView(TTBView* ParentView, TTBCustomItem* Item, bool Customizing);
  virtual void PaintScrollArrows();
  void CreateParams(TCreateParams& Params) override;
  void CreateWnd() override;
  void DestroyWnd() override;
  void WndProc(TMessage& Message) override;
  void Paint() override;

 private:
  bool FUIStateInitialized = false;
  Byte FAnimationDirection = 0;
  TTBPopupView* FView = nullptr;
};

// A context menu whose items are a toolbar item tree.
class TTBPopupMenu : public TPopupMenu, public ITBItemContainer {
 public:
  explicit TTBPopupMenu(TComponent* AOwner);
  ~TTBPopupMenu() override;

  TTBRootItem* Items() const { return FItems; }
  TTBCustomItem* GetRootItem() override { return FItems; }
  TCustomImageList* Images() const { return FItems->SubMenuImages(); }
  void SetImages(TCustomImageList* Value) { FItems->SetSubMenuImages(Value); }
  TTBCustomItem* LinkSubitems() const { return FItems->LinkSubitems(); }
  void SetLinkSubitems(TTBCustomItem* Value) { FItems->SetLinkSubitems(Value); }
  TTBItemOptions Options() const { return FItems->Options(); }
  void SetOptions(TTBItemOptions Value) { FItems->SetOptions(Value); }

  // Pops the menu up at the screen point; a chosen item's click runs after
  // the menu has gone.
  void Popup(Integer X, Integer Y) override;
  // As Popup; with ReturnClickedItemOnly the chosen item is returned and not clicked.
  TTBCustomItem* PopupEx(Integer X, Integer Y, bool ReturnClickedItemOnly);
  // Lets the form's shortcut handling reach the menu's items.
  bool IsShortCut(TMessage& Message) override;

  void GetChildren(const std::function<void(TComponent*)>& Proc, TComponent* Root) { FItems->GetChildren(Proc, Root); }
  void SetChildOrder(TComponent* Child, Integer Order) { FItems->SetChildOrder(Child, Order); }

 protected:
  virtual TTBRootItem* CreateRootItem();

 private:
  TTBRootItem* FItems = nullptr;
};

// Whether the popup windows shown so far played the popup sound (the first
// popup of the run shows before its sound, later ones after; tests reset it).
void TBResetFirstPopupFlag();
