// The MDI handler's items on a menu-bar toolbar and the window list.
#include "controls/tbmdi.h"

#include <algorithm>
#include <vector>

#include "controls/tbtoolbar.h"
#include "platform/graphics/gdi.h"
#include "platform/graphics/resources.h"
#include "platform/ui/forms.h"
#include "platform/ui/imglist.h"
#include "platform/ui/menus.h"
#include "platform/ui/winuser.h"

namespace {

constexpr Integer MaxMenuText = 1024;

// Every buttons item of the thread and the one window hook they share.
std::vector<TTBMDIButtonsItem*> g_ButtonsItems;
HHOOK g_CbtHook = nullptr;

TCustomForm* MainFormOf() { return Application->MainForm(); }

// Whether Wnd is a child window of the main form's MDI client. Asked of the
// window, not of the form list: a form being freed has already left the
// list when its window is destroyed.
bool IsMainFormChild(HWND Wnd) {
  TCustomForm* Main = MainFormOf();
  if (!Wnd || !Main || Main->ComponentState().Contains(csDestroying) || !Main->ClientHandle()) return false;
  return IsWindow(Wnd) && GetParent(Wnd) == Main->ClientHandle();
}

TForm* ActiveChild() {
  TCustomForm* Main = MainFormOf();
  if (!Main || Main->ComponentState().Contains(csDestroying)) return nullptr;
  return Main->ActiveMDIChild();
}

void SendSysCommand(UINT Command) {
  TForm* Child = ActiveChild();
  if (!Child || !Child->HandleAllocated()) return;
  SendMessage(Child->Handle(), WM_SYSCOMMAND, Command, static_cast<LPARAM>(GetMessagePos()));
}

bool IsMinimizeCommand(Integer Cmd) {
  return Cmd == SW_SHOWMINIMIZED || Cmd == SW_MINIMIZE || Cmd == SW_SHOWMINNOACTIVE;
}

LRESULT CbtHook(Integer Code, WPARAM WParam, LPARAM LParam) {
  const HWND Wnd = reinterpret_cast<HWND>(WParam);
  // A copy: an update may free items (a handler's toolbar reacting).
  const std::vector<TTBMDIButtonsItem*> Items = g_ButtonsItems;
  auto StillThere = [](TTBMDIButtonsItem* B) {
    return std::find(g_ButtonsItems.begin(), g_ButtonsItems.end(), B) != g_ButtonsItems.end();
  };
  try {
    switch (Code) {
      case HCBT_MINMAX: {
        const Integer Cmd = static_cast<Integer>(LParam & 0xFFFF);
        if (!IsMainFormChild(Wnd)) break;
        if (Cmd != SW_SHOWNORMAL && Cmd != SW_SHOWMAXIMIZED && Cmd != SW_RESTORE && !IsMinimizeCommand(Cmd)) break;
        bool Maximizing = Cmd == SW_SHOWMAXIMIZED;
        if (Cmd == SW_RESTORE && !IsZoomed(Wnd)) {
          WINDOWPLACEMENT P;
          if (GetWindowPlacement(Wnd, &P)) Maximizing = (P.flags & WPF_RESTORETOMAXIMIZED) != 0;
        }
        for (TTBMDIButtonsItem* B : Items)
          if (StillThere(B)) B->UpdateMDIButtons(Wnd, Maximizing);
        break;
      }
      case HCBT_DESTROYWND:
        if (!IsMainFormChild(Wnd)) break;
        for (TTBMDIButtonsItem* B : Items)
          if (StillThere(B)) B->UpdateMDIButtons(Wnd, false);
        break;
      case HCBT_SETFOCUS:
        if (!IsMainFormChild(Wnd)) break;
        // The child's icon may have changed with the active child.
        for (TTBMDIButtonsItem* B : Items) {
          if (!StillThere(B)) continue;
          TTBCustomToolbar* T = B->Handler()->Toolbar();
          if (!T || !T->View() || T->ComponentState().Contains(csDestroying)) continue;
          TTBView* View = T->View();
          for (Integer I = 0; I < View->ViewerCount(); ++I)
            if (View->Viewers(I)->Item() == B->Handler()->SystemMenuItem()) View->InvalidateViewer(View->Viewers(I));
        }
        break;
      default: break;
    }
  } catch (...) {
    Application->HandleException(nullptr, std::current_exception());
  }
  return CallNextHookEx(g_CbtHook, Code, WParam, LParam);
}

// ---------------------------------------------------------------- viewers

class TTBMDISystemMenuItemViewer : public TTBItemViewer {
 public:
  using TTBItemViewer::TTBItemViewer;
  void MeasureSize(TCanvas*, Integer& AWidth, Integer& AHeight) override {
    AWidth = GetSystemMetrics(SM_CXSMICON) + 2;
    AHeight = GetSystemMetrics(SM_CYSMICON) + 2;
  }
  // The windows carry no icons of their own, so the application's default
  // icon stands in: a small window with a title strip.
  void Paint(TCanvas* Canvas, const TRect& R, bool, bool, bool) override {
    const TRect I(R.Left + 1, R.Top + 1, R.Right - 1, R.Bottom - 1);
    if (I.Width() < 4 || I.Height() < 4) return;
    Canvas->Brush()->SetColor(clWindow);
    Canvas->Pen()->SetColor(clWindowText);
    Canvas->Rectangle(I.Left + 1, I.Top + 2, I.Right - 1, I.Bottom - 1);
    Canvas->Brush()->SetColor(clActiveCaption);
    Canvas->FillRect(TRect(I.Left + 2, I.Top + 3, I.Right - 2, I.Top + 3 + std::max<Integer>(2, I.Height() / 5)));
  }
};

class TTBMDIButtonItemViewer : public TTBItemViewer {
 public:
  using TTBItemViewer::TTBItemViewer;
  void MeasureSize(TCanvas*, Integer& AWidth, Integer& AHeight) override {
    // Every system the layer models draws new-style controls.
    AWidth = std::max<Integer>(0, GetSystemMetrics(SM_CXMENUSIZE) - 2);
    AHeight = std::max<Integer>(0, GetSystemMetrics(SM_CYMENUSIZE) - 4);
  }
  void Paint(TCanvas* Canvas, const TRect& R, bool, bool IsPushed, bool) override {
    static const UINT Kinds[3] = {DFCS_CAPTIONMIN, DFCS_CAPTIONRESTORE, DFCS_CAPTIONCLOSE};
    const Integer K = static_cast<TTBMDIButtonItem*>(Item())->Kind();
    UINT State = Kinds[std::clamp<Integer>(K, 0, 2)];
    if (IsPushed) State |= DFCS_PUSHED;
    if (!Item()->Enabled()) State |= DFCS_INACTIVE;
    TRect B = R;
    DrawFrameControl(Canvas->Handle(), &B, DFC_CAPTION, State);
  }
};

class TTBMDISepItemViewer : public TTBSeparatorItemViewer {
 public:
  using TTBSeparatorItemViewer::TTBSeparatorItemViewer;
  void MeasureSize(TCanvas*, Integer& AWidth, Integer& AHeight) override {
    const bool Vertical = View()->Orientation() == tbvoVertical;
    AWidth = Vertical ? 6 : 2;
    AHeight = Vertical ? 2 : 6;
  }
  void Paint(TCanvas*, const TRect&, bool, bool, bool) override {}
};

}  // namespace

// ---------------------------------------------------------------- system-menu item

TTBMDISystemMenuItem::TTBMDISystemMenuItem(TComponent* AOwner) : TTBCustomItem(AOwner) {
  TTBItemStyle S = ItemStyle();
  S.Include(tisSubmenu).Include(tisDontSelectFirst);
  S.Exclude(tisRedrawOnMouseOverChange).Exclude(tisNoLineBreak).Exclude(tisRightAlign);
  SetItemStyle(S);
  SetCaption(u"&-");
  FImageList = new TCustomImageList(16, 16, nullptr);
  if (auto Strip = GtResourceBitmap(u"TBSYSMENUIMAGES")) FImageList->AddMasked(Strip.get(), clSilver);
  SetSubMenuImages(FImageList);
}

TTBMDISystemMenuItem::~TTBMDISystemMenuItem() {
  Clear();
  SetSubMenuImages(nullptr);
  delete FImageList;
}

TCustomImageList* TTBMDISystemMenuItem::SystemImages() const { return FImageList; }

TTBItemViewer* TTBMDISystemMenuItem::CreateViewer(TTBView* View, Integer GroupLevel) {
  return new TTBMDISystemMenuItemViewer(View, this, GroupLevel);
}

void TTBMDISystemMenuItem::Click() {
  TTBCustomItem::Click();
  Clear();
  TForm* Child = ActiveChild();
  if (!Child || !Child->HandleAllocated()) return;
  HMENU Menu = GetSystemMenu(Child->Handle(), FALSE);
  const Integer N = GetMenuItemCount(Menu);
  for (Integer I = 0; I < N; ++I) {
    const UINT State = GetMenuState(Menu, static_cast<UINT>(I), MF_BYPOSITION);
    if (State == 0xFFFFFFFF) continue;
    if (State & MF_SEPARATOR) {
      Add(new TTBSeparatorItem(this));
      continue;
    }
    auto* It = new TTBItem(this);
    It->SetEnabled((State & (MF_GRAYED | MF_DISABLED)) == 0);
    WideChar Buf[MaxMenuText + 1] = {};
    GetMenuStringW(Menu, static_cast<UINT>(I), Buf, MaxMenuText + 1, MF_BYPOSITION);
    It->SetCaption(WideString(Buf));
    const UINT Id = GetMenuItemID(Menu, I) & 0xFFFF;
    It->SetTag(static_cast<intptr_t>(Id));
    switch (Id & 0xFFF0) {
      case SC_MINIMIZE: It->SetImageIndex(2); break;
      case SC_MAXIMIZE: It->SetImageIndex(1); break;
      case SC_CLOSE: {
        It->SetImageIndex(0);
        TTBItemOptions O = It->Options();
        O.Include(tboDefault);
        It->SetOptions(O);
        break;
      }
      case SC_RESTORE: It->SetImageIndex(3); break;
      default: break;
    }
    It->OnClick = [](TObject* Sender) { SendSysCommand(static_cast<UINT>(static_cast<TComponent*>(Sender)->Tag())); };
    Add(It);
  }
}

// ---------------------------------------------------------------- buttons

TTBMDIButtonItem::TTBMDIButtonItem(TComponent* AOwner, TTBMDIButtonsItem* AButtons, Integer AKind)
    : TTBCustomItem(AOwner), FButtons(AButtons), FKind(AKind) {
  TTBItemStyle S = ItemStyle();
  S.Exclude(tisSelectable).Exclude(tisRedrawOnSelChange).Include(tisRightAlign);
  SetItemStyle(S);
}

void TTBMDIButtonItem::Click() {
  if (!Enabled()) return;
  FButtons->ButtonClicked(this);
}

TTBItemViewer* TTBMDIButtonItem::CreateViewer(TTBView* View, Integer GroupLevel) {
  return new TTBMDIButtonItemViewer(View, this, GroupLevel);
}

TTBMDISepItem::TTBMDISepItem(TComponent* AOwner) : TTBSeparatorItem(AOwner) {
  SetBlank(true);
  TTBItemStyle S = ItemStyle();
  S.Include(tisNoLineBreak).Include(tisRightAlign);
  SetItemStyle(S);
}

TTBItemViewer* TTBMDISepItem::CreateViewer(TTBView* View, Integer GroupLevel) {
  return new TTBMDISepItemViewer(View, this, GroupLevel);
}

TTBMDIButtonsItem::TTBMDIButtonsItem(TComponent* AOwner, TTBMDIHandler* AHandler)
    : TTBCustomItem(AOwner), FHandler(AHandler) {
  TTBItemStyle S = ItemStyle();
  S.Include(tisEmbeddedGroup);
  SetItemStyle(S);
  FSep1 = new TTBMDISepItem(this);
  FMinimizeItem = new TTBMDIButtonItem(this, this, 0);
  FRestoreItem = new TTBMDIButtonItem(this, this, 1);
  FSep2 = new TTBMDISepItem(this);
  FCloseItem = new TTBMDIButtonItem(this, this, 2);
  Add(FSep1);
  Add(FMinimizeItem);
  Add(FRestoreItem);
  Add(FSep2);
  Add(FCloseItem);
  if (!ComponentState().Contains(csDesigning)) {
    if (g_ButtonsItems.empty()) g_CbtHook = SetWindowsHookEx(WH_CBT, CbtHook, nullptr, GetCurrentThreadId());
    g_ButtonsItems.push_back(this);
  }
  UpdateMDIButtons(nullptr, false);
}

TTBMDIButtonsItem::~TTBMDIButtonsItem() {
  auto It = std::find(g_ButtonsItems.begin(), g_ButtonsItems.end(), this);
  if (It != g_ButtonsItems.end()) {
    g_ButtonsItems.erase(It);
    if (g_ButtonsItems.empty() && g_CbtHook) {
      UnhookWindowsHookEx(g_CbtHook);
      g_CbtHook = nullptr;
    }
  }
  Clear();
}

void TTBMDIButtonsItem::UpdateMDIButtons(HWND Wnd, bool Maximizing) {
  bool Show = false;
  HWND Maximized = nullptr;
  TCustomForm* Main = MainFormOf();
  if (!ComponentState().Contains(csDesigning) && Main && !Main->ComponentState().Contains(csDestroying)) {
    for (Integer I = 0; I < Main->MDIChildCount() && !Show; ++I) {
      TForm* C = Main->MDIChildren(I);
      if (!C || !C->HandleAllocated()) continue;
      const HWND H = C->Handle();
      if (H == Wnd ? Maximizing : IsZoomed(H) != FALSE) {
        Show = true;
        Maximized = H;
      }
    }
  }
  // The minimise button follows the child whose maximised state the buttons
  // stand for: a child being maximised is not the active one yet.
  HWND Decides = Maximized;
  if (!Decides)
    if (TForm* A = ActiveChild(); A && A->HandleAllocated()) Decides = A->Handle();
  const bool CanMinimize = !Decides || (GetWindowLong(Decides, GWL_STYLE) & WS_MINIMIZEBOX) != 0;

  bool Changed = false;
  auto Apply = [&](TTBCustomItem* Item, bool Enabled) {
    if (!Item) return;
    if (Item->Visible() != Show || Item->Enabled() != Enabled) Changed = true;
    Item->SetVisible(Show);
    Item->SetEnabled(Enabled);
  };
  Apply(FHandler ? FHandler->SystemMenuItem() : nullptr, true);
  Apply(FSep1, true);
  Apply(FMinimizeItem, CanMinimize);
  Apply(FRestoreItem, true);
  Apply(FSep2, true);
  Apply(FCloseItem, true);
  TTBCustomToolbar* T = FHandler ? FHandler->Toolbar() : nullptr;
  if (Changed && T && T->View() && !T->ComponentState().Contains(csDestroying)) {
    T->View()->InvalidateLayout();
    T->View()->TryEnsureLayout();
  }
}

void TTBMDIButtonsItem::ButtonClicked(TTBMDIButtonItem* Button) {
  static const UINT Commands[3] = {SC_MINIMIZE, SC_RESTORE, SC_CLOSE};
  SendSysCommand(Commands[std::clamp<Integer>(Button->Kind(), 0, 2)]);
}

// ---------------------------------------------------------------- handler

TTBMDIHandler::TTBMDIHandler(TComponent* AOwner) : TComponent(AOwner) {
  FSystemMenuItem = new TTBMDISystemMenuItem(nullptr);
  FButtonsItem = new TTBMDIButtonsItem(nullptr, this);
}

TTBMDIHandler::~TTBMDIHandler() {
  SetToolbar(nullptr);
  delete FButtonsItem;
  FButtonsItem = nullptr;
  delete FSystemMenuItem;
  FSystemMenuItem = nullptr;
}

void TTBMDIHandler::SetToolbar(TTBCustomToolbar* Value) {
  if (FToolbar) {
    bool Rebuild = false;
    if (FToolbar->MDIButtonsItem() == FButtonsItem) {
      FToolbar->SetMDIButtonsItem(nullptr);
      Rebuild = true;
    }
    if (FToolbar->MDISystemMenuItem() == FSystemMenuItem) {
      FToolbar->SetMDISystemMenuItem(nullptr);
      Rebuild = true;
    }
    if (Rebuild && !FToolbar->ComponentState().Contains(csDestroying)) FToolbar->View()->RebuildViewers();
    FToolbar->RemoveFreeNotification(this);
  }
  FToolbar = Value;
  if (Value) {
    Value->FreeNotification(this);
    Value->SetMDIButtonsItem(FButtonsItem);
    Value->SetMDISystemMenuItem(FSystemMenuItem);
    Value->View()->RebuildViewers();
  }
}

void TTBMDIHandler::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  // The toolbar is going and its view with it: nothing of it is touched.
  if (Operation == opRemove && AComponent == FToolbar) FToolbar = nullptr;
}

// ---------------------------------------------------------------- window list

TTBMDIWindowItem::TTBMDIWindowItem(TComponent* AOwner) : TTBCustomItem(AOwner) {
  TTBItemStyle S = ItemStyle();
  S.Include(tisEmbeddedGroup);
  SetItemStyle(S);
  SetCaption(u"(Window List)");
  FWindowMenu = new TMenuItem(nullptr);
  if (!ComponentState().Contains(csDesigning)) {
    if (TCustomForm* Main = MainFormOf())
      SetForm(Main);
    else if (Screen->CustomFormCount() > 0)
      SetForm(Screen->CustomForms(0));
  }
}

TTBMDIWindowItem::~TTBMDIWindowItem() {
  SetForm(nullptr);
  Clear();
  delete FWindowMenu;
  FWindowMenu = nullptr;
}

void TTBMDIWindowItem::SetForm(TCustomForm* Value) {
  if (FForm != Value) {
    if (FForm && !FForm->ComponentState().Contains(csDestroying)) {
      if (FForm->WindowMenu() == FWindowMenu) FForm->SetWindowMenu(nullptr);
      FForm->RemoveFreeNotification(this);
    }
    FForm = Value;
    if (Value) Value->FreeNotification(this);
  }
  if (FForm) FForm->SetWindowMenu(FWindowMenu);
}

void TTBMDIWindowItem::Notification(TComponent* AComponent, TOperation Operation) {
  TTBCustomItem::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FForm) FForm = nullptr;
}

void TTBMDIWindowItem::RefreshFromAction() {
  TTBCustomItem::RefreshFromAction();
  if (ComponentState().Contains(csDesigning)) return;
  if (TCustomForm* Main = MainFormOf(); Main && !Main->ComponentState().Contains(csDestroying)) SetForm(Main);
  HMENU Menu = FWindowMenu->Handle();
  Integer Wanted = 0;
  // Without a frame the hidden menu may still hold an old listing.
  if (FForm && FForm->ClientHandle()) {
    SendMessage(FForm->ClientHandle(), WM_MDIREFRESHMENU, 0, 0);
    Wanted = std::max<Integer>(0, GetMenuItemCount(Menu) - 1);
  }
  while (Count() > Wanted) delete Items(Count() - 1);
  while (Count() < Wanted) {
    auto* It = new TTBItem(this);
    It->SetEnabled(Enabled());
    It->OnClick = [this](TObject* Sender) {
      TCustomForm* Target = MainFormOf() ? MainFormOf() : FForm;
      if (Target && Target->HandleAllocated())
        PostMessage(Target->Handle(), WM_COMMAND, static_cast<WPARAM>(static_cast<TComponent*>(Sender)->Tag()), 0);
    };
    Add(It);
  }
  for (Integer I = 0; I < Wanted; ++I) {
    const UINT Pos = static_cast<UINT>(I + 1);
    TTBCustomItem* It = Items(I);
    It->SetTag(static_cast<intptr_t>(GetMenuItemID(Menu, I + 1)));
    WideChar Buf[MaxMenuText + 1] = {};
    GetMenuStringW(Menu, Pos, Buf, MaxMenuText + 1, MF_BYPOSITION);
    It->SetCaption(WideString(Buf));
    It->SetChecked((GetMenuState(Menu, Pos, MF_BYPOSITION) & MF_CHECKED) != 0);
  }
  if (OnUpdate) OnUpdate(this);
}

void TTBMDIWindowItem::EnabledChanged() {
  TTBCustomItem::EnabledChanged();
  for (Integer I = 0; I < Count(); ++I) Items(I)->SetEnabled(Enabled());
}
