// The toolbar's input: the mouse over its items, menu-bar keys (Alt, Alt and
// a letter, the key-menu command), the message hook that hands Alt and a key
// typed in an MDI client to the main form, shortcuts that work anywhere in a
// form through the application's main-window hook, and child controls hosted
// as control items.
#include <algorithm>
#include <vector>

#include "controls/tbcommon.h"
#include "controls/tbmodal.h"
#include "controls/tbtoolbar.h"
#include "platform/base/strutils.h"
#include "platform/ui/forms.h"
#include "platform/ui/hints.h"

namespace {

// Toolbars whose shortcuts work anywhere in their form, in registration order.
std::vector<TTBCustomToolbar*> g_ShortcutToolbars;
Integer g_MainWindowHookId = 0;

bool StillRegistered(TTBCustomToolbar* T) {
  return std::find(g_ShortcutToolbars.begin(), g_ShortcutToolbars.end(), T) != g_ShortcutToolbars.end();
}

// Offers a key to the shortcut toolbars of Form; true when one took it.
bool OfferShortCutToForm(TCustomForm* Form, TMessage& M) {
  if (!Form) return false;
  // A handler may free toolbars or register new ones: walk a copy and skip
  // the ones that left meanwhile.
  const std::vector<TTBCustomToolbar*> List = g_ShortcutToolbars;
  for (TTBCustomToolbar* T : List) {
    if (!StillRegistered(T) || !T->ProcessShortCuts()) continue;
    if (GetParentFormOf(T) != Form) continue;
    if (!Form->HandleAllocated() || !IsWindowEnabled(Form->Handle())) continue;
    bool Handled = false;
    if (T->OnShortCut) T->OnShortCut(M, Handled);
    if (!Handled && StillRegistered(T)) Handled = T->Items()->ExecuteShortCut(M);
    if (Handled) return true;
  }
  return false;
}

// The form of the active window.
TCustomForm* ActiveWindowForm() {
  HWND A = GetActiveWindow();
  TWinControl* C = A ? FindControl(A) : nullptr;
  return C ? GetParentForm(C) : nullptr;
}

// A key went down somewhere in the application: the active MDI child's
// toolbars first, then the active form's, then the main form's.
bool ProcessAppKeyDown(TMessage& M) {
  TCustomForm* Active = ActiveWindowForm();
  if (Active && Active->FormStyle() == fsMDIForm) {
    TForm* Child = Active->ActiveMDIChild();
    if (Child && Child == Screen->ActiveCustomForm() && OfferShortCutToForm(Child, M)) return true;
  }
  if (OfferShortCutToForm(Active, M)) return true;
  TCustomForm* Main = Application->MainForm();
  return Main && Main != Active && OfferShortCutToForm(Main, M);
}

// Depth first over the showing controls: visible, enabled docks and toolbars
// that take menu events are sent the command; the first non-zero answer ends
// the search.
bool OfferSysCommand(TWinControl* Parent, TMessage& Cmd) {
  for (Integer i = 0; i < Parent->ControlCount(); ++i) {
    auto* C = dynamic_cast<TWinControl*>(Parent->Controls(i));
    if (!C || !C->Showing()) continue;
    if ((dynamic_cast<TTBDock*>(C) || dynamic_cast<TTBCustomToolbar*>(C)) && C->Visible() && C->Enabled() &&
        C->ControlStyle().Contains(csMenuEvents)) {
      if (LRESULT R = C->Perform(Cmd.Msg, Cmd.WParam, Cmd.LParam); R != 0) {
        Cmd.Result = R;
        return true;
      }
    }
    if (OfferSysCommand(C, Cmd)) return true;
  }
  return false;
}

bool ProcessAppSysCommand(TMessage& M) {
  auto* Cmd = reinterpret_cast<TMessage*>(M.LParam);
  TCustomForm* Active = ActiveWindowForm();
  if (!Cmd || !Active || !Active->HandleAllocated()) return false;
  if (!IsWindowEnabled(Active->Handle()) || !IsWindowVisible(Active->Handle())) return false;
  return OfferSysCommand(Active, *Cmd);
}

bool MainWindowHook(TMessage& M) {
  switch (M.Msg) {
    case CM_APPKEYDOWN: return ProcessAppKeyDown(M);
    case CM_APPSYSCOMMAND: return ProcessAppSysCommand(M);
    default: return false;
  }
}

}  // namespace

// ---------------------------------------------------------------- shortcut registration

void TTBCustomToolbar::UpdateShortcutRegistration() {
  const bool Want = (FProcessShortCuts || FMenuBar) && !ComponentState().Contains(csDesigning) &&
                    !ComponentState().Contains(csDestroying);
  if (Want == FShortcutsRegistered) return;
  FShortcutsRegistered = Want;
  if (Want) {
    if (g_ShortcutToolbars.empty()) g_MainWindowHookId = Application->HookMainWindow(MainWindowHook);
    g_ShortcutToolbars.push_back(this);
  } else {
    g_ShortcutToolbars.erase(std::remove(g_ShortcutToolbars.begin(), g_ShortcutToolbars.end(), this),
                             g_ShortcutToolbars.end());
    if (g_ShortcutToolbars.empty() && g_MainWindowHookId != 0) {
      Application->UnhookMainWindow(g_MainWindowHookId);
      g_MainWindowHookId = 0;
    }
  }
}

// ---------------------------------------------------------------- menu-bar message hook

void TTBCustomToolbar::MenuBarGetMessageHook(THookProcCode Code, HWND, WPARAM, LPARAM LParam) {
  if (Code != hookGetMessage || !LParam) return;
  MSG& Msg = *reinterpret_cast<MSG*>(LParam);
  if (Msg.message != WM_SYSCHAR) return;
  // Alt and a key typed in an MDI client (or Alt and "-" in one of its
  // children) belongs to the frame's menu bar, not to the client.
  TCustomForm* Main = Application->MainForm();
  if (!Main || !Main->HandleAllocated() || GetCapture()) return;
  HWND Client = Main->ClientHandle();
  if (!Client || !Msg.hwnd) return;
  bool Redirect = Msg.hwnd == Client;
  if (!Redirect && Msg.wParam == '-')
    for (HWND W = GetParent(Msg.hwnd); W && !Redirect; W = GetParent(W)) Redirect = W == Client;
  if (Redirect) Msg.hwnd = Main->Handle();
}

// ---------------------------------------------------------------- keys

bool TTBCustomToolbar::KeyboardOpen(WideChar Key, bool RequirePrimaryAccel) {
  if (FView->State().Contains(vsModal)) return false;
  FView->ShowAccelerators(true);
  TTBItemViewer* Found = nullptr;
  bool Entered = false;
  if (Key != 0) {
    bool Unique = false;
    Found = FView->FindAccelerator(nullptr, Key, Unique, RequirePrimaryAccel);
    if (Found && Found->Item()->Enabled() && (Unique || FMenuBar)) {
      FView->Select(Found, false);
      Entered = true;
      FView->RunModal(Unique ? 2 : 0);
    }
  } else {
    Found = FView->FirstSelectable();
    if (Found) {
      FView->Select(Found, false);
      Entered = true;
      FView->RunModal(0);
    }
  }
  // Found or not, a key that opened nothing leaves the underlines showing
  // only when there was nothing to show them for.
  if (Found) FView->ShowAccelerators(false);
  return Entered;
}

void TTBCustomToolbar::SysKeyMenu(TMessage& Message) {
  const auto Key = static_cast<WideChar>(Message.LParam);
  if (!FMenuBar || !CanFocus() || Key == u' ' || GetCapture()) return;
  if (KeyboardOpen(Key, false)) {
    Message.Result = 1;
    return;
  }
  // "-" opens the window menu of an MDI child; the system's handling gets it.
  if (Key == u'-') return;
  MessageBeep(0);
  Message.Result = 1;
}

// ---------------------------------------------------------------- mouse

void TTBCustomToolbar::ClearHover() { FView->TrackMouse(TPoint(TBUnsetPosition, 0), false); }

bool TTBCustomToolbar::IsPointOnControl(const TPoint& P) {
  if (TTBCustomDockableWindow::IsPointOnControl(P)) return true;
  if (!FView || ComponentState().Contains(csDesigning)) return false;
  FView->TrackMouse(ClientToScreen(P), true);
  TTBItemViewer* V = FView->Selected();
  return V && !V->Item()->ItemStyle().Contains(tisClicksTransparent);
}

void TTBCustomToolbar::MouseMove(TShiftState Shift, Integer X, Integer Y) {
  if (FView && !ComponentState().Contains(csDesigning)) {
    FView->TrackMouse(ClientToScreen(TPoint(X, Y)), true);
    WideString H;
    if (TTBItemViewer* V = FView->Selected())
      if (!V->Item()->EffectiveOptions().Contains(tboLongHintInMenuOnly)) H = V->Item()->Hint();
    SetHint(H);
    if (HandleAllocated()) StartMouseTracking(Handle(), TME_LEAVE);
  }
  TTBCustomDockableWindow::MouseMove(Shift, X, Y);
}

void TTBCustomToolbar::MouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) {
  TWinControl* Before = Parent();
  TTBCustomDockableWindow::MouseDown(Button, Shift, X, Y);
  if (!FView || Parent() != Before || ComponentState().Contains(csDesigning) || Button != mbLeft) return;
  FView->TrackMouse(ClientToScreen(TPoint(X, Y)), true);
  TTBItemViewer* V = FView->Selected();
  if (!V || V->Item()->ItemStyle().Contains(tisClicksTransparent)) return;
  FInMouseDownLoop = true;
  try {
    FView->RunModal(1);
  } catch (...) {
    FInMouseDownLoop = false;
    throw;
  }
  FInMouseDownLoop = false;
}

// ---------------------------------------------------------------- control items

bool TTBCustomToolbar::HasControlItemFor(TControl* Control) const {
  for (Integer i = 0; i < FRoot->Count(); ++i)
    if (auto* C = dynamic_cast<TTBControlItem*>(FRoot->Items(i)); C && C->Control() == Control) return true;
  return false;
}

TTBControlItem* TTBCustomToolbar::AddControlItem(Integer Index, TControl* Control) {
  TComponent* ItemOwner = Owner();
  auto* Item = new TTBControlItem(ItemOwner);
  try {
    Item->SetControl(Control);
    if (ComponentState().Contains(csDesigning) && ItemOwner) {
      // The first free "TBControlItem<n>" among the owner's components.
      for (Integer N = 1;; ++N) {
        const WideString Name = u"TBControlItem" + IntToStr(N);
        if (!ItemOwner->FindComponent(Name)) {
          Item->SetName(Name);
          break;
        }
      }
    }
    FRoot->Insert(Index, Item);
  } catch (...) {
    // The control is the caller's still: the failed item must not free it.
    Item->SetDontFreeControl(true);
    delete Item;
    throw;
  }
  return Item;
}

void TTBCustomToolbar::ControlInserted(TControl* Control) {
  if (ComponentState().Contains(csLoading) || ComponentState().Contains(csUpdating)) return;
  if (!HasControlItemFor(Control)) AddControlItem(FRoot->Count(), Control);
}

void TTBCustomToolbar::ControlRemoved(TControl* Control) {
  // Every item that holds the control goes; the control itself stays alive.
  for (Integer i = FRoot->Count() - 1; i >= 0; --i) {
    if (i >= FRoot->Count()) continue;
    if (auto* C = dynamic_cast<TTBControlItem*>(FRoot->Items(i)); C && C->Control() == Control) {
      C->SetDontFreeControl(true);
      delete C;
    }
  }
}

void TTBCustomToolbar::GetTabOrderList(std::vector<TWinControl*>& List) {
  const size_t From = List.size();
  TTBCustomDockableWindow::GetTabOrderList(List);
  if (!FView) return;
  std::vector<TControl*> Hidden;
  FView->CollectControls(Hidden);
  if (Hidden.empty()) return;
  auto Inside = [&](TWinControl* W) {
    for (TControl* C = W; C && C != this; C = C->Parent())
      if (std::find(Hidden.begin(), Hidden.end(), C) != Hidden.end()) return true;
    return false;
  };
  List.erase(std::remove_if(List.begin() + static_cast<std::ptrdiff_t>(From), List.end(), Inside), List.end());
}

void TTBCustomToolbar::Loaded() {
  for (Integer i = 0; i < ControlCount(); ++i)
    if (!HasControlItemFor(Controls(i))) AddControlItem(FRoot->Count(), Controls(i));
  TTBCustomDockableWindow::Loaded();
}

void TTBCustomToolbar::AlignControls(TControl*, TRect&) {
  // The view places the controls. A resize that the dock or Arrange itself
  // is making is already being laid out: arranging again from inside it
  // would lay the bar out without the length the dock just gave it.
  if (FPositionsLock == 0 && FBoundsLock == 0) Arrange();
}

// ---------------------------------------------------------------- messages

void TTBCustomToolbar::WndProc(TMessage& Message) {
  // While the toolbar is being freed its view is gone: only the dockable
  // window's handling remains.
  if (!FView) {
    TTBCustomDockableWindow::WndProc(Message);
    return;
  }
  const bool Designing = ComponentState().Contains(csDesigning);
  switch (Message.Msg) {
    case WM_SYSCOMMAND:
      // Only the key menu of a menu bar; other commands are not a toolbar's.
      Message.Result = 0;
      if ((Message.WParam & 0xFFF0) == SC_KEYMENU) SysKeyMenu(Message);
      return;
    case CM_DIALOGKEY:
      if (Message.WParam == VK_MENU && !Designing && FMenuBar && CanFocus()) FView->ShowAccelerators(true);
      break;
    case CM_DIALOGCHAR:
      if (!Designing && !FMenuBar && Message.WParam != 0 && CanFocus() &&
          KeyboardOpen(static_cast<WideChar>(Message.WParam), true)) {
        Message.Result = 1;
        return;
      }
      break;
    case WM_GETOBJECT:
      // Screen readers ask the bar's window for the view's object.
      if (FView->HandleGetObject(Message)) return;
      break;
    case CM_HINTSHOW: {
      auto* Info = reinterpret_cast<THintInfo*>(Message.LParam);
      if (!Info) break;
      FView->HandleHintShow(Info->CursorPos, Info->CursorRect, Info->HintStr, Info->HintData);
      Message.Result = Info->HintStr.empty() ? 1 : 0;
      return;
    }
    case CM_MOUSELEAVE:
      if (!FInMouseDownLoop) ClearHover();
      break;
    case WM_NCMOUSEMOVE:
      ClearHover();
      SetHint(WideString());
      break;
    case WM_CONTEXTMENU: ClearHover(); break;
    case WM_CANCELMODE:
      if (FView->State().Contains(vsModal)) FView->CancelMode();
      break;
    case CM_CONTROLCHANGE: {
      auto* C = reinterpret_cast<TControl*>(Message.WParam);
      if (!C) break;
      if (Message.LParam)
        ControlInserted(C);
      else
        ControlRemoved(C);
      break;
    }
    case CM_COLORCHANGED:
      TTBCustomDockableWindow::WndProc(Message);
      FView->SetBackgroundColor(Color());
      return;
    case CM_FONTCHANGED:
      TTBCustomDockableWindow::WndProc(Message);
      if (!FSystemFont) Arrange();
      return;
    default: break;
  }
  TTBCustomDockableWindow::WndProc(Message);
}
