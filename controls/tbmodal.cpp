// Done actions and the per-thread queue of clicks that run after a menu has gone.
#include "controls/tbmodal.h"

#include <vector>

#include "controls/tbacc.h"
#include "controls/tbcommon.h"
#include "controls/tbpopup.h"
#include "platform/ui/forms.h"

namespace {

// Marks a slot whose object went away before its message arrived.
TObject* const Cancelled = reinterpret_cast<TObject*>(static_cast<uintptr_t>(1));

struct TClickQueue {
  HWND Wnd = nullptr;
  std::vector<TObject*> Slots;
};
thread_local TClickQueue Queue;

void (*ViewerActionHandler)(TTBItemViewer*, bool) = nullptr;

void RunSlot(TMessage& Message) {
  const auto Index = static_cast<size_t>(Message.LParam);
  if (Message.LParam < 0 || Index >= Queue.Slots.size()) return;
  TObject* Obj = Queue.Slots[Index];
  Queue.Slots[Index] = nullptr;
  while (!Queue.Slots.empty() && !Queue.Slots.back()) Queue.Slots.pop_back();
  if (!Obj || Obj == Cancelled) return;
  try {
    if (auto* Item = dynamic_cast<TTBCustomItem*>(Obj))
      Item->Click();
    else if (auto* Viewer = dynamic_cast<TTBItemViewer*>(Obj); Viewer && ViewerActionHandler)
      ViewerActionHandler(Viewer, Message.WParam != 0);
  } catch (...) {
    Application->HandleException(nullptr, std::current_exception());
  }
}

void QueueWndProc(TMessage& Message) {
  if (Message.Msg == TBQueuedClickMessage)
    RunSlot(Message);
  else
    Message.Result = DefWindowProc(Queue.Wnd, Message.Msg, Message.WParam, Message.LParam);
}

// The thread's last item or viewer has gone: nothing can be queued any more.
void ReleaseQueue() {
  if (Queue.Wnd) DeallocateHWnd(Queue.Wnd);
  Queue.Wnd = nullptr;
  Queue.Slots.clear();
  Queue.Slots.shrink_to_fit();
}

void CancelItem(TTBCustomItem* Item) { CancelQueuedClicks(Item); }
void CancelViewer(TTBItemViewer* Viewer) { CancelQueuedClicks(Viewer); }

}  // namespace

void QueueClick(TObject* Obj, WPARAM Param) {
  if (!Queue.Wnd) {
    TBSetLastLiveObjectHandler(ReleaseQueue);
    TBSetCancelQueuedClicksHandler(CancelItem);
    TBSetCancelQueuedViewerActionsHandler(CancelViewer);
    Queue.Wnd = AllocateHWnd(QueueWndProc);
  }
  size_t Index = 0;
  while (Index < Queue.Slots.size() && Queue.Slots[Index]) ++Index;
  if (Index == Queue.Slots.size())
    Queue.Slots.push_back(Obj);
  else
    Queue.Slots[Index] = Obj;
  PostMessage(Queue.Wnd, TBQueuedClickMessage, Param, static_cast<LPARAM>(Index));
}

void QueueItemClick(TTBCustomItem* Item) { QueueClick(Item, 0); }

void CancelQueuedClicks(TObject* Obj) {
  for (TObject*& S : Queue.Slots)
    if (S == Obj) S = Cancelled;
}

void TBSetQueuedViewerActionHandler(void (*Handler)(TTBItemViewer*, bool)) { ViewerActionHandler = Handler; }

HWND TBQueuedClickWindow() { return Queue.Wnd; }
Integer TBQueuedClickSlotCount() { return static_cast<Integer>(Queue.Slots.size()); }

TTBCustomItem* PerformDoneAction(const TTBDoneActionData& Action, bool ReturnClickedItemOnly) {
  switch (Action.DoneAction) {
    case daClick:
      if (Action.Sound && SoundEventConfigured(u"MenuCommand")) PlaySoundEvent(u"MenuCommand");
      if (!ReturnClickedItemOnly) QueueItemClick(Action.ClickItem);
      return Action.ClickItem;
    case daSysKeyMenu:
      SendMessage(Action.Wnd, WM_SYSCOMMAND, SC_KEYMENU, Action.Key);
      return nullptr;
    case daHelp: {
      constexpr Integer HelpContextPopup = 8;
      TCustomForm* Active = Screen->ActiveCustomForm();
      if (Active && Active->BorderIcons().Contains(biHelp))
        Application->HelpCommand(HelpContextPopup, Action.ContextID);
      else
        Application->HelpContext(Action.ContextID);
      return nullptr;
    }
    default: return nullptr;
  }
}

// ---------------------------------------------------------------- the menu loop

namespace {

TPoint g_RememberedPos(TBUnsetPosition, 0);

// F1 reaches a window as this message while a menu runs.
constexpr UINT WmKeyF1 = 0x004D;

// Holds the capture while a menu runs: a toolbar's own window, or a
// utility window of its own for a popup menu.
class TTBModalHandler {
 public:
  explicit TTBModalHandler(HWND ExistingWindow) {
    g_RememberedPos = LastMessagePoint();
    if (ExistingWindow) {
      FWnd = ExistingWindow;
    } else {
      FWnd = AllocateHWnd([this](TMessage& M) { HandlerWndProc(M); });
      FCreatedWnd = true;
    }
    ForegroundLock(true);
    SetCapture(FWnd);
    SetCursor(LoadCursor(nullptr, IDC_ARROW));
    NotifyAccEvent(EVENT_SYSTEM_MENUSTART, FWnd, OBJID_CLIENT, CHILDID_SELF);
    FStarted = true;
  }
  ~TTBModalHandler() {
    ForegroundLock(false);
    if (GetCapture() == FWnd) ReleaseCapture();
    if (FStarted) NotifyAccEvent(EVENT_SYSTEM_MENUEND, FWnd, OBJID_CLIENT, CHILDID_SELF);
    if (FCreatedWnd) DeallocateHWnd(FWnd);
  }
  HWND Wnd() const { return FWnd; }
  TTBPopupWindow* RootPopup = nullptr;

  void Loop(TTBView* RootView, bool MouseDownOnSelection, bool ExecuteSelection, bool NoPriority,
            bool TrackRightButton);

 private:
  void HandlerWndProc(TMessage& M) {
    if (M.Msg == WM_CANCELMODE && RootPopup) {
      try {
        RootPopup->View()->CancelMode();
      } catch (...) {
        Application->HandleException(nullptr, std::current_exception());
      }
    }
    M.Result = DefWindowProc(FWnd, M.Msg, M.WParam, M.LParam);
  }

  HWND FWnd = nullptr;
  bool FCreatedWnd = false;
  bool FStarted = false;
};

TTBView* DeepestView(TTBView* Root) {
  TTBView* V = Root;
  while (V->OpenViewerView()) V = V->OpenViewerView();
  return V;
}

std::vector<TTBView*> Chain(TTBView* Root) {
  std::vector<TTBView*> L;
  for (TTBView* V = Root; V; V = V->OpenViewerView()) L.push_back(V);
  return L;
}

// Every view of the chain tracks the point, the deepest first; while one
// of them has capture only that one does.
void TrackAll(TTBView* Root, const TPoint& P, bool AllowNewSelection) {
  const std::vector<TTBView*> L = Chain(Root);
  for (TTBView* V : L)
    if (V->Capture()) {
      V->TrackMouse(P, AllowNewSelection);
      return;
    }
  for (auto It = L.rbegin(); It != L.rend(); ++It) (*It)->TrackMouse(P, AllowNewSelection);
}

// The viewer under the mouse and its view (the view alone when the mouse is
// only in its window).
TTBItemViewer* ViewerUnderMouse(TTBView* Root, TTBView*& View) {
  View = nullptr;
  const std::vector<TTBView*> L = Chain(Root);
  for (TTBView* V : L)
    if (V->Capture()) {
      View = V;
      return V->Selected();
    }
  for (TTBView* V : L)
    if (V->Selected() && V->MouseOverSelected()) {
      View = V;
      return V->Selected();
    }
  for (TTBView* V : L)
    if (V->State().Contains(vsMouseInWindow)) {
      View = V;
      return nullptr;
    }
  return nullptr;
}

TPoint RelativeTo(TTBItemViewer* V, const TPoint& Screen) {
  const TPoint C = V->View()->Window() ? V->View()->Window()->ScreenToClient(Screen) : Screen;
  return TPoint(C.X - V->BoundsRect.Left, C.Y - V->BoundsRect.Top);
}

// Whether V is Root or one of the popups opened from it.
bool InChain(TTBView* Root, TTBView* V) {
  for (TTBView* P = V; P; P = P->ParentView())
    if (P == Root) return true;
  return false;
}

void MouseMoved(TTBView* Root) {
  TrackAll(Root, g_RememberedPos, true);
  TTBView* View;
  TTBItemViewer* V = ViewerUnderMouse(Root, View);
  if (V && !View->Capture() &&
      (View->Style().Contains(vstAlwaysShowHints) || V->Item()->EffectiveOptions().Contains(tboShowHint))) {
    // The hint machinery follows the mouse over the popup's window.
    if (TWinControl* W = View->Window(); W && W->HandleAllocated()) {
      W->Update();
      const TPoint C = W->ScreenToClient(g_RememberedPos);
      TMessage M;
      M.Msg = WM_MOUSEMOVE;
      M.LParam = static_cast<LPARAM>((static_cast<uint32_t>(static_cast<Word>(C.Y)) << 16) | static_cast<Word>(C.X));
      Application->HintMouseMessage(W, M);
    }
  } else {
    Application->CancelHint();
  }
  SetCursor(LoadCursor(nullptr, IDC_ARROW));
  if (V) {
    const TPoint R = RelativeTo(V, g_RememberedPos);
    V->MouseMove(R.X, R.Y);
  }
}

}  // namespace

TPoint& TBRememberedMousePos() { return g_RememberedPos; }

void TTBModalHandler::Loop(TTBView* RootView, bool MouseDownOnSelection, bool ExecuteSelection, bool NoPriority,
                           bool TrackRightButton) {
  RootView->DoneActionData() = TTBDoneActionData();
  RootView->EnsureLayout();
  RootView->SetCaptureWnd(FWnd);
  bool DownOnMenu = false;
  auto ButtonHeld = [&] {
    return (GetKeyState(VK_LBUTTON) < 0) || (TrackRightButton && GetKeyState(VK_RBUTTON) < 0);
  };
  auto Finish = [&] {
    RootView->CancelCapture();
    RootView->SetCaptureWnd(nullptr);
    Application->SetHint(u"");
    DiscardQueuedMessages(WM_CHAR, WM_DEADCHAR);
    DiscardQueuedMessages(WM_SYSCHAR, WM_SYSDEADCHAR);
    DiscardQueuedMessages(WmKeyF1, WmKeyF1);
  };
  try {
    if (MouseDownOnSelection) {
      if (TTBItemViewer* S = RootView->Selected()) {
        const TPoint R = RelativeTo(S, LastMessagePoint());
        S->MouseDown(TShiftState(), R.X, R.Y, DownOnMenu);
      }
    } else if (ExecuteSelection) {
      RootView->ExecuteSelected(!NoPriority);
    }
    if (RootView->ModalEnding()) {
      Finish();
      return;
    }
    DownOnMenu = false;
    const HWND Active = GetActiveWindow();
    auto MayGoOn = [&] {
      return GetCapture() == FWnd && GetActiveWindow() == Active && !RootView->ModalEnding();
    };
    while (MayGoOn()) {
      StepPopupAnimation();
      MSG Msg;
      if (!PeekMessage(&Msg, nullptr, 0, 0, PM_NOREMOVE)) {
        // A running animation is stepped again after at most a millisecond.
        MsgWaitForMultipleObjects(0, nullptr, FALSE, PopupAnimationRunning() ? 1 : INFINITE, QS_ALLINPUT);
        continue;
      }
      // A press is judged before it is taken: one outside the menu ends the
      // loop and stays queued for the window it was meant for.
      if (Msg.message == WM_LBUTTONDOWN || Msg.message == WM_RBUTTONDOWN) {
        // A press on a menu still sliding in is meant for the menu: it shows
        // whole first, as the cursor coming into it would make it.
        if (HWND Animated = PopupAnimationWindow()) {
          TRect R;
          if (GetWindowRect(Animated, &R) && PtInRect(R, Msg.pt)) EndPopupAnimation();
        }
        TControl* Target = FindDragTarget(Msg.pt, true);
        auto* Popup = dynamic_cast<TTBPopupWindow*>(Target);
        if (!(Popup && InChain(RootView, Popup->View()))) {
          if (RootView->IsPopup() || Target != RootView->Window()) break;
          TWinControl* W = RootView->Window();
          if (!PtInRect(W->ClientRect(), W->ScreenToClient(Msg.pt))) break;
          if (Msg.message == WM_LBUTTONDOWN) {
            TrackAll(RootView, Msg.pt, true);
            TTBItemViewer* S = RootView->Selected();
            if (!S || !RootView->MouseOverSelected() || S->Item()->ItemStyle().Contains(tisClicksTransparent))
              break;
          }
        }
      }
      if (!PeekMessage(&Msg, nullptr, Msg.message, Msg.message, PM_REMOVE | PM_NOYIELD)) continue;

      const UINT M = Msg.message;
      if (M == WmKeyF1 || M == WM_CONTEXTMENU || M == WM_SYSTIMER) {
        // dropped
      } else if (M == WM_KEYDOWN || M == WM_SYSKEYDOWN) {
        Application->CancelHint();
        Word Key = static_cast<Word>(Msg.wParam);
        if (!ButtonHeld() || Key == VK_F1) {
          TShiftState Shift;
          if (GetKeyState(VK_SHIFT) < 0) Shift.Include(ssShift);
          if (GetKeyState(VK_CONTROL) < 0) Shift.Include(ssCtrl);
          if (M == WM_SYSKEYDOWN) Shift.Include(ssAlt);
          TTBView* Deep = DeepestView(RootView);
          if (TTBItemViewer* S = Deep->Selected()) S->KeyDown(Key, Shift);
          if (Key != 0 && !RootView->ModalEnding()) Deep->HandleKey(Key, Shift);
          if (Key != 0) TranslateMessage(&Msg);
        }
      } else if (M == WM_CHAR || M == WM_SYSCHAR) {
        Application->CancelHint();
        if (!ButtonHeld()) {
          TTBView* V = DeepestView(RootView);
          const auto Ch = static_cast<WideChar>(Msg.wParam);
          bool Unique = false;
          if (TTBItemViewer* Found = V->FindAccelerator(V->Selected(), Ch, Unique, false)) {
            V->Select(Found, false);
            V->ScrollSelectedIntoView();
            if (Unique) V->ExecuteSelected(true);
          } else if ((Ch == u' ' || Ch == u'-') && !RootView->IsPopup() && V == RootView && GetActiveWindow()) {
            RootView->EndModalWithSystemMenu(GetActiveWindow(), Ch);
          } else {
            MessageBeep(0);
          }
        }
      } else if (M >= WM_KEYFIRST && M <= WM_KEYLAST) {
        Application->CancelHint();
      } else if (M == WM_TIMER) {
        auto* Popup = dynamic_cast<TTBPopupWindow*>(FindControl(Msg.hwnd));
        if (Popup && Msg.wParam >= 9000 && Msg.wParam <= 9003)
          Popup->View()->TimerFired(static_cast<Integer>(Msg.wParam - 9000));
        else
          DispatchMessage(&Msg);
      } else if (M == WM_MOUSEMOVE) {
        if (Msg.pt.X != g_RememberedPos.X || Msg.pt.Y != g_RememberedPos.Y) {
          g_RememberedPos = Msg.pt;
          MouseMoved(RootView);
        }
      } else if (M == WM_LBUTTONDOWN || M == WM_LBUTTONDBLCLK || (M == WM_RBUTTONDOWN && TrackRightButton)) {
        Application->CancelHint();
        DownOnMenu = false;
        RootView->SetState(TTBViewState(RootView->State()).Exclude(vsIgnoreFirstRelease));
        TrackAll(RootView, Msg.pt, true);
        TTBView* View;
        if (TTBItemViewer* V = ViewerUnderMouse(RootView, View)) {
          const TPoint R = RelativeTo(V, Msg.pt);
          TShiftState Shift;
          if (M == WM_LBUTTONDBLCLK) Shift.Include(ssDouble);
          V->MouseDown(Shift, R.X, R.Y, DownOnMenu);
          g_RememberedPos = Msg.pt;
        }
      } else if (M == WM_LBUTTONUP || (M == WM_RBUTTONUP && TrackRightButton)) {
        TrackAll(RootView, Msg.pt, false);
        TTBView* View;
        if (TTBItemViewer* V = ViewerUnderMouse(RootView, View)) {
          const TPoint R = RelativeTo(V, Msg.pt);
          V->MouseUp(R.X, R.Y, DownOnMenu);
        } else if (!View || (View == RootView && RootView->IsToolbar())) {
          if (RootView->State().Contains(vsIgnoreFirstRelease))
            RootView->SetState(TTBViewState(RootView->State()).Exclude(vsIgnoreFirstRelease));
          else
            break;
        }
      } else if (M == WM_MOUSEWHEEL) {
        TTBView* View;
        if (TTBItemViewer* V = ViewerUnderMouse(RootView, View)) {
          const TPoint R = RelativeTo(V, Msg.pt);
          V->MouseWheel(static_cast<int16_t>(HIWORD(Msg.wParam)), R.X, R.Y);
        }
      } else if (M >= WM_MOUSEFIRST && M <= WM_MOUSELAST) {
        // other mouse messages are dropped
      } else {
        DispatchMessage(&Msg);
      }
      if (!MayGoOn()) break;
      if (g_RememberedPos.X == TBUnsetPosition) {
        g_RememberedPos = LastMessagePoint();
        MouseMoved(RootView);
      }
      // The status hint follows the selection of the deepest view that has one.
      TTBView* H = RootView;
      while (H->OpenViewerView() && H->OpenViewerView()->Selected()) H = H->OpenViewerView();
      Application->SetHint(H->Selected() ? GetLongHint(H->Selected()->Item()->Hint()) : WideString());
    }
  } catch (...) {
    Finish();
    throw;
  }
  Finish();
}

void TTBView::RunModal(Integer Options) {
  if (FState.Contains(vsModal)) return;
  TTBModalHandler Handler(FWindow ? FWindow->Handle() : nullptr);
  FState = FState.Contains(vsShowAccels) ? TTBViewState{vsShowAccels, vsModal} : TTBViewState{vsModal};
  FDoneActionData = TTBDoneActionData();
  if (FSelected) ReportFocus();
  auto After = [&] {
    FState.Exclude(vsModal);
    StopAllTimers();
    CloseChildPopups();
    TrackMouse(TPoint(TBUnsetPosition, 0), false);
  };
  try {
    Handler.Loop(this, Options & 1, Options & 2, Options & 4, false);
  } catch (...) {
    After();
    throw;
  }
  After();
  ShowAccelerators(false);
  PerformDoneAction(FDoneActionData, false);
}

TTBCustomItem* TTBCustomItem::PopupAt(bool SelectFirst, bool TrackRightButton, const TPoint& PopupPoint,
                                      TPopupAlignment Alignment, bool ReturnClickedItemOnly) {
  TTBCustomItem* Item = this;
  TTBDoneActionData Done;
  {
    TTBModalHandler Handler(nullptr);
    TTBPopupWindow* Window = Item->OpenPopup(nullptr, nullptr, false, SelectFirst, false, PopupPoint, Alignment);
    TTBPopupView* View = Window->View();
    auto After = [&] {
      Done = View->DoneActionData();
      Handler.RootPopup = nullptr;
      View->SetState(TTBViewState(View->State()).Exclude(vsModal));
      delete Window;
    };
    try {
      View->SetState(TTBViewState(View->State()).Include(vsIgnoreFirstRelease));
      Handler.RootPopup = Window;
      Handler.Loop(View, false, false, false, TrackRightButton);
    } catch (...) {
      After();
      throw;
    }
    After();
  }
  return PerformDoneAction(Done, ReturnClickedItemOnly);
}

TTBCustomItem* TTBCustomItem::Popup(Integer X, Integer Y, bool TrackRightButton, TPopupAlignment Alignment,
                                    bool ReturnClickedItemOnly) {
  return PopupAt(false, TrackRightButton, TPoint(X, Y), Alignment, ReturnClickedItemOnly);
}

void TTBPopupMenu::Popup(Integer X, Integer Y) { PopupEx(X, Y, false); }

TTBCustomItem* TTBPopupMenu::PopupEx(Integer X, Integer Y, bool ReturnClickedItemOnly) {
  SetPopupPoint(TPoint(X, Y));
  return FItems->Popup(X, Y, TrackButton() == tbRightButton, Alignment(), ReturnClickedItemOnly);
}
