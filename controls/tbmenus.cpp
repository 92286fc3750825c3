// Selection with the menu rules (submenus opening and closing after the
// menu delay), mouse tracking, the keyboard of an open menu, view timers
// and the mouse on item viewers.
#include <algorithm>

#include "controls/tbcommon.h"
#include "controls/tbmodal.h"
#include "controls/tbpopup.h"
#include "platform/ui/controls.h"

namespace {

constexpr Integer ArrowBand = 19;
constexpr UINT_PTR TimerBase = 9000;

// Whether the control under the screen point is the view's window.
bool WindowUnder(TTBView* View, const TPoint& P) {
  TWinControl* W = View->Window();
  return W && FindDragTarget(P, true) == W;
}

}  // namespace

void TTBView::Select(TTBItemViewer* Viewer, bool ViaMouse) {
  TTBItemViewer* Old = FSelected;
  if (Viewer != Old) {
    // Entering a submenu keeps its item highlighted in the parent and stops
    // the parent's pending opening and closing.
    if (Viewer && FParentView && FParentView->FOpenViewer && FParentView->FOpenViewer != FParentView->FSelected) {
      FParentView->Select(FParentView->FOpenViewer, false);
      FParentView->StopTimer(1);
      FParentView->StopTimer(0);
    }
    if (FState.Contains(vsModal)) {
      if (FIsToolbar || !ViaMouse) {
        StopTimer(1);
        if (Viewer != FOpenViewer) CloseChildPopups();
      } else if (FOpenViewer && !TimerRunning(1)) {
        StartTimer(1, MenuPopupDelay());
      }
    }
    CancelCapture();
    if (Old) Old->Leaving();
    FSelected = Viewer;
    FSelectedViaMouse = ViaMouse;
  }
  bool MouseOver = false;
  if (Viewer && FWindow && FWindow->HandleAllocated()) {
    const TPoint P = LastMessagePoint();
    if (WindowUnder(this, P)) {
      const TPoint C = FWindow->ScreenToClient(P);
      MouseOver = ViewerAt(C) == Viewer;
      if (MouseOver && FCapture)
        MouseOver = Viewer->InButtonPart(C.X - Viewer->BoundsRect.Left, C.Y - Viewer->BoundsRect.Top);
    }
  }
  if (Viewer == Old) {
    if (MouseOver != FMouseOverSelected) {
      FMouseOverSelected = MouseOver;
      if (FCapture && Viewer && Viewer->Item()->ItemStyle().Contains(tisRedrawOnMouseOverChange))
        InvalidateViewer(Viewer);
    }
    return;
  }
  FMouseOverSelected = MouseOver;
  if (Old && Old->Item()->ItemStyle().Contains(tisRedrawOnSelChange)) InvalidateViewer(Old);
  if (Viewer) {
    if (Viewer->Item()->ItemStyle().Contains(tisRedrawOnSelChange)) InvalidateViewer(Viewer);
    Viewer->Entering();
  }
  ReportFocus();
  if (!FState.Contains(vsModal)) return;
  if (FIsToolbar) {
    if (Viewer) {
      if (ViaMouse && FParentView) FState.Include(vsDropDownMode);
      if (FState.Contains(vsDropDownMode) && (ViaMouse || !Viewer->Item()->ItemStyle().Contains(tisNoAutoOpen)))
        OpenSubmenu(!ViaMouse);
    }
  } else {
    StopTimer(0);
    if (ViaMouse && Viewer && Viewer->Item()->ItemStyle().Contains(tisSubmenu)) StartTimer(0, MenuPopupDelay());
  }
}

// ---------------------------------------------------------------- submenus

bool TTBView::OpenSubmenu(bool SelectFirst) {
  StopTimer(1);
  StopTimer(0);
  if (FSelected != FOpenViewer) {
    CloseChildPopups();
    TTBItemViewer* V = FSelected;
    if (V && V->Item()->Enabled() && V->Item()->ItemStyle().Contains(tisSubmenu))
      V->Item()->OpenPopup(this, V, !FIsToolbar, SelectFirst, false, TPoint(0, 0), paLeft);
  }
  return FOpenViewer != nullptr;
}

void TTBView::CancelPopups() {
  if (FIsToolbar) FState.Exclude(vsDropDownMode);
  CloseChildPopups();
}

// ---------------------------------------------------------------- timers

void TTBView::StartTimer(Integer Number, Integer Milliseconds) {
  StopTimer(Number);
  auto* Popup = dynamic_cast<TTBPopupWindow*>(FWindow);
  if (!Popup || !Popup->HandleAllocated()) return;  // toolbar views never run timers
  SetTimer(Popup->Handle(), TimerBase + static_cast<UINT_PTR>(Number), static_cast<UINT>(Milliseconds), nullptr);
  FActiveTimers |= static_cast<Byte>(1u << Number);
}

void TTBView::StopTimer(Integer Number) {
  if (!TimerRunning(Number)) return;
  FActiveTimers &= static_cast<Byte>(~(1u << Number));
  if (FWindow && FWindow->HandleAllocated()) KillTimer(FWindow->Handle(), TimerBase + static_cast<UINT_PTR>(Number));
}

void TTBView::StopAllTimers() {
  for (Integer I = 0; I <= 3; ++I) StopTimer(I);
}

void TTBView::TimerFired(Integer Number) {
  switch (Number) {
    case 0:
      StopTimer(0);
      CloseChildPopups();
      OpenSubmenu(false);
      break;
    case 1:
      StopTimer(1);
      CloseChildPopups();
      break;
    case 2:
    case 3: {
      const bool Down = Number == 3;
      if (Down ? FShowDownArrow : FShowUpArrow)
        Scroll(Down);
      else
        StopTimer(Number);
      break;
    }
    default: break;
  }
}

// ---------------------------------------------------------------- capture and cancelling

void TTBView::CancelCapture() {
  if (!FCapture) return;
  FCapture = false;
  TBRememberedMousePos().X = TBUnsetPosition;
  if (FSelected) FSelected->LosingCapture();
}

void TTBView::CancelMode() {
  EndModal();
  std::vector<TTBView*> Chain;
  for (TTBView* V = RootView(); V; V = V->FOpenViewerView) Chain.push_back(V);
  for (auto It = Chain.rbegin(); It != Chain.rend(); ++It) {
    (*It)->StopAllTimers();
    if (auto* P = dynamic_cast<TTBPopupWindow*>((*It)->FWindow); P && P->HandleAllocated())
      ShowWindow(P->Handle(), SW_HIDE);
  }
}

// ---------------------------------------------------------------- mouse tracking

void TTBView::TrackMouse(const TPoint& P, bool AllowNewSelection) {
  EnsureLayout();
  TTBItemViewer* Candidate;
  bool OverWindow = false;
  TPoint C;
  if (FCapture) {
    Candidate = FSelected;
    FState.Include(vsMouseInWindow);
  } else {
    Candidate = FState.Contains(vsModal) ? FSelected : nullptr;
    if (P.X != TBUnsetPosition && WindowUnder(this, P)) {
      OverWindow = true;
      if (FIsPopup) Candidate = nullptr;
      FState.Include(vsMouseInWindow);
      C = FWindow->ScreenToClient(P);
      if (AllowNewSelection || FSelected)
        if (TTBItemViewer* V = ViewerAt(C)) Candidate = V;
    } else {
      const bool HadMouse = FState.Contains(vsMouseInWindow);
      FState.Exclude(vsMouseInWindow);
      if (FIsPopup && HadMouse &&
          !(FOpenViewer && Candidate && Candidate->Item()->ItemStyle().Contains(tisSubmenu)))
        Candidate = nullptr;
    }
  }
  Select(Candidate, true);

  // Scroll arrows of a tall popup scroll while the mouse rests on them.
  bool OverUp = false, OverDown = false;
  if (OverWindow && FState.Contains(vsModal) && FState.Contains(vsMouseInWindow) && !FCapture) {
    const TRect Client = FWindow->ClientRect();
    if (PtInRect(Client, C)) {
      OverUp = FShowUpArrow && C.Y < Client.Top + ArrowBand;
      OverDown = FShowDownArrow && C.Y >= Client.Bottom - ArrowBand;
    }
  }
  if (OverUp) {
    StopTimer(3);
    if (!TimerRunning(2)) StartTimer(2, 100);
  } else if (OverDown) {
    StopTimer(2);
    if (!TimerRunning(3)) StartTimer(3, 100);
  } else {
    StopTimer(2);
    StopTimer(3);
  }
}

// ---------------------------------------------------------------- executing and keys

void TTBView::ExecuteSelected(bool GivePriority) {
  TTBItemViewer* V = FSelected;
  if (!V || !V->Item()->Enabled()) {
    EndModal();
    return;
  }
  if (!V->Item()->ItemStyle().Contains(tisCombo) && OpenSubmenu(true)) return;
  if (V->Item()->ItemStyle().Contains(tisSelectable))
    V->Execute(GivePriority);
  else
    EndModal();
}

void TTBView::HandleKey(Word& Key, TShiftState Shift) {
  TTBView* T = ToolbarAncestor();
  const bool TVertical = T && T->Orientation() == tbvoVertical;
  switch (Key) {
    case VK_TAB: SelectNext(!Shift.Contains(ssShift)); break;
    case VK_RETURN: ExecuteSelected(true); break;
    case VK_MENU:
    case VK_F10: EndModal(); break;
    case VK_ESCAPE:
      if (!FParentView)
        EndModal();
      else
        FParentView->CancelPopups();
      break;
    case VK_LEFT:
    case VK_RIGHT:
      if (T == this && TVertical) {
        OpenSubmenu(true);
      } else if (Key == VK_LEFT) {
        if (T && !TVertical) {
          if (T == this || T == FParentView)
            T->SelectNext(false);
          else if (FParentView)
            FParentView->CloseChildPopups();
        } else if (FParentView) {
          FParentView->CancelPopups();
        }
      } else {
        const bool Opened = T != this && OpenSubmenu(true);
        if (!Opened && T && !TVertical) T->SelectNext(true);
      }
      break;
    case VK_UP:
    case VK_DOWN:
      if (FIsToolbar && T == this && !TVertical)
        OpenSubmenu(true);
      else
        SelectNext(Key == VK_DOWN);
      break;
    case VK_HOME:
    case VK_END:
      Select(NextSelectable(nullptr, Key == VK_HOME), false);
      ScrollSelectedIntoView();
      break;
    case VK_F1:
      for (TTBView* V = this; V; V = V->FParentView)
        if (V->FSelected && V->FSelected->Item()->HelpContext() != 0) {
          EndModalWithHelp(V->FSelected->Item()->HelpContext());
          break;
        }
      break;
    default: return;
  }
  Key = 0;
}

// ---------------------------------------------------------------- viewer mouse

namespace {

bool TopLevel(TTBView* V) { return !V->ParentView() && !V->IsPopup(); }

}  // namespace

void TTBItemViewer::MouseDown(TShiftState Shift, Integer X, Integer Y, bool& MouseDownOnMenu) {
  TTBView* V = View();
  if (!Item()->Enabled()) {
    if (TopLevel(V)) V->EndModal();
    return;
  }
  if (!InButtonPart(X, Y)) {
    const bool WasOpen = V->OpenViewer() == this;
    if (V->OpenSubmenu(false)) {
      if (WasOpen && TopLevel(V)) MouseDownOnMenu = true;
      if (Shift.Contains(ssDouble) && !Item()->ItemStyle().Contains(tisCombo)) {
        if (TTBView* Child = V->OpenViewerView())
          for (Integer I = 0; I < Child->ViewerCount(); ++I) {
            TTBItemViewer* D = Child->Viewers(I);
            TTBCustomItem* It = D->Item();
            if ((D->Show || D->Clipped) && It->EffectiveOptions().Contains(tboDefault) &&
                It->ItemStyle().Contains(tisSelectable) && It->Enabled() && It->Visible()) {
              D->Execute(true);
              break;
            }
          }
      }
    }
  } else if (IsToolbarStyle()) {
    V->CancelPopups();
    V->BeginCapture();
    V->InvalidateViewer(this);
  }
}

void TTBItemViewer::MouseUp(Integer X, Integer Y, bool MouseWasDownOnMenu) {
  TTBView* V = View();
  const bool HadCapture = V->Capture();
  V->CancelCapture();
  if (V->Selected() == this && V->MouseOverSelected() && Item()->Enabled() &&
      !Item()->ItemStyle().Contains(tisClicksTransparent)) {
    if (Item()->ItemStyle().Contains(tisSubmenu) && !InButtonPart(X, Y)) {
      if (MouseWasDownOnMenu && TopLevel(V)) V->EndModal();
    } else if (HadCapture || !IsToolbarStyle()) {
      Execute(true);
    }
    return;
  }
  if (TopLevel(V)) V->EndModal();
}
