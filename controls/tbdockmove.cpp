// Candidate docks of a drag and the move of a bar onto one of them.
#include "controls/tbdockmove.h"

#include <algorithm>

#include "controls/tbcommon.h"
#include "controls/tbfloat.h"

namespace {

bool Qualifies(TTBCustomDockableWindow* Bar, TTBDock* D) {
  return D->AllowDrag() && Bar->DockableTo().Contains(D->Position());
}

void Visit(TTBCustomDockableWindow* Bar, TWinControl* C, std::vector<TTBDock*>& Out) {
  if (C == Bar || Bar->ContainsControl(C) || !C->HandleAllocated() || !C->Visible()) return;
  static constexpr TTBDockPosition Order[] = {dpTop, dpBottom, dpLeft, dpRight};
  for (TTBDockPosition P : Order)
    for (Integer i = 0; i < C->ControlCount(); ++i)
      if (auto* D = dynamic_cast<TTBDock*>(C->Controls(i)); D && D->Position() == P) Visit(Bar, D, Out);
  for (Integer i = 0; i < C->ControlCount(); ++i) {
    auto* W = dynamic_cast<TWinControl*>(C->Controls(i));
    if (W && !dynamic_cast<TTBDock*>(W)) Visit(Bar, W, Out);
  }
  if (auto* D = dynamic_cast<TTBDock*>(C); D && Qualifies(Bar, D) && std::find(Out.begin(), Out.end(), D) == Out.end())
    Out.push_back(D);
}

}  // namespace

std::vector<TTBDock*> FindCandidateDocks(TTBCustomDockableWindow* Bar) {
  std::vector<TTBDock*> Out;
  if (TTBDock* Own = Bar->CurrentDock(); Own && Qualifies(Bar, Own)) Out.push_back(Own);
  if (TCustomForm* F = GetParentFormOf(Bar)) Visit(Bar, F, Out);
  return Out;
}

std::vector<TTBRowInfo> DockRowInfo(TTBDock* Dock) {
  std::vector<TTBRowInfo> Rows;
  for (Integer Row = 0; Row <= Dock->GetHighestRow(true); ++Row) {
    TTBRowInfo I;
    I.Thickness = Dock->GetRowThickness(Row, I.FullSize);
    Rows.push_back(I);
  }
  return Rows;
}

void MoveBarToDock(TTBCustomDockableWindow* Bar, TTBDock* Dock, const TRect& DragRect, const TTBDragState& State) {
  const bool Vertical = Dock->Position() == dpLeft || Dock->Position() == dpRight;
  TPoint TopLeft = Dock->ScreenToClient(DragRect.TopLeft());
  TRect R = Bounds(TopLeft.X, TopLeft.Y, DragRect.Width(), DragRect.Height());
  Integer Row;
  bool NewRow = false;
  if (Bar->FSlideMode) {
    Row = Bar->DockRow();
  } else {
    Integer Middle = Vertical ? (R.Left + R.Right) / 2 : (R.Top + R.Bottom) / 2;
    Row = FindRow(State.RowInfo, Middle, Bar->FullSize(), NewRow);
    if (NewRow) Bar->FSlidePending = false;
  }
  if (Bar->FSlidePending) {
    if (Dock == State.StartDock && Row == State.StartRow) {
      if (SlideModeStarts(State.StartPointer, State.PrevPointer, Vertical)) {
        Bar->FSlidePending = false;
        Bar->FSlideMode = true;
      }
    } else
      Bar->FSlidePending = false;
  }
  Bar->SetArrangeDockRow(Row);
  Bar->SetArrangeDockPos(Vertical ? R.Top : R.Left);
  Bar->SetParent(Dock);
  if (!State.SmoothDragging) Dock->CommitPositions = true;
  Bar->FNewRowRequest = NewRow;
  Dock->ArrangeBars();
  Bar->FNewRowRequest = false;
  Bar->Update();
}

// ---------------------------------------------------------------- the drag loop

namespace {

// One place the bar may go: a dock, or floating when DockedTo is null.
struct TDockedSize {
  TTBDock* DockedTo = nullptr;
  TRect DockScreenRect;
  TPoint DockedBarSize;
  std::vector<TTBRowInfo> RowInfo;
};

// The requested row and position of a bar, to put back when a drag is cancelled.
struct TSavedPlace {
  TTBCustomDockableWindow* Bar;
  Integer Row, Pos;
};

void DrawDraggingOutline(HDC DC, const TRect& NewRect, const TRect& OldRect, bool OldDocked, bool NewDocked,
                         const TPoint& FloatingBorder) {
  if (!DC) return;
  const TSize Docked{1, 1}, Floating{FloatingBorder.X, FloatingBorder.Y};
  DrawCheckerFrames(DC, NewRect, OldRect, NewDocked ? Docked : Floating, OldDocked ? Docked : Floating);
}

}  // namespace

void TTBCustomDockableWindow::BeginMoving(Integer InitX, Integer InitY) {
  FDragging = true;
  FSlideMode = false;
  TTBDock* const StartDock = FCurrentDock;
  const Integer StartRow = FDockRow, StartPos = FDockPos;
  const bool StartFloating = FFloating;
  const TRect StartFloatingRect =
      FFloating && FFloatingWindow ? FFloatingWindow->BoundsRect() : Bounds(FFloatingLeft, FFloatingTop, 0, 0);
  bool StartVertical = false;
  if (FDocked) {
    FSlidePending = false;
    FCurrentDock->CommitPositions = true;
    FCurrentDock->ArrangeBars();
    StartVertical = GetDockKind(FCurrentDock, false) == dkVertical;
  }
  FSmoothDragging = FSmoothDrag;
  const bool Smooth = FSmoothDrag;

  HWND Outer = FFloating && FFloatingWindow ? FFloatingWindow->Handle() : Handle();
  TRect OuterRect;
  GetWindowRect(Outer, &OuterRect);
  TPoint Grab(InitX, InitY);
  ::ClientToScreen(Handle(), &Grab);
  Grab = TPoint(Grab.X - OuterRect.Left, Grab.Y - OuterRect.Top);
  const TTBDragGrab G = TTBDragGrab::Make(Grab, OuterRect.Width(), OuterRect.Height());

  bool CtrlHeld = GetKeyState(VK_CONTROL) < 0;
  const bool CannotFloat = FDockMode != dmCanFloat;

  std::vector<TTBDock*> Candidates;
  if (FDockMode == dmCannotFloatOrChangeDocks) {
    if (FDocked) Candidates.push_back(FCurrentDock);
  } else {
    Candidates = FindCandidateDocks(this);
  }
  std::vector<TSavedPlace> Saved;
  for (TTBDock* D : Candidates)
    for (TTBCustomDockableWindow* B : D->VisibleBarList()) {
      Saved.push_back({B, B->FDockRow, B->FDockPos});
      B->FDockRow = B->FEffectiveDockRow;
      B->FDockPos = B->FEffectiveDockPos;
    }
  const bool SelfSaved = std::any_of(Saved.begin(), Saved.end(), [this](const TSavedPlace& S) { return S.Bar == this; });
  if (!SelfSaved) Saved.push_back({this, StartRow, StartPos});
  // What this bar had before the effective places became the requested ones.
  for (TSavedPlace& S : Saved)
    if (S.Bar == this) {
      S.Row = StartRow;
      S.Pos = StartPos;
    }

  const TPoint Border = GetFloatingBorderSize();
  const Integer TopFrame = Border.Y + (FShowCaption ? GetSmallCaptionHeight() : 0);
  std::vector<TDockedSize> Entries;
  {
    TDockedSize F;
    CalcSize(false, dkFloating, F.DockedBarSize, nullptr, true);
    F.DockedBarSize.X += 2 * Border.X;
    F.DockedBarSize.Y += TopFrame + Border.Y;
    Entries.push_back(F);
  }
  for (TTBDock* D : Candidates) {
    TDockedSize E;
    E.DockedTo = D;
    TPoint Origin(0, 0);
    ::ClientToScreen(D->Handle(), &Origin);
    E.DockScreenRect = Bounds(Origin.X, Origin.Y, D->ClientWidth(), D->ClientHeight());
    if (D == FCurrentDock) {
      E.DockedBarSize = TPoint(Width(), Height());
    } else {
      CalcSize(false, GetDockKind(D, false), E.DockedBarSize, D, false);
      const TPoint NC = DockedNCAreaSizeFor(D);
      E.DockedBarSize.X += NC.X;
      E.DockedBarSize.Y += NC.Y;
    }
    E.RowInfo = DockRowInfo(D);
    Entries.push_back(std::move(E));
  }

  DispatchPendingPaints();
  const HCURSOR StartCursor = GetCursor();
  TRect DragRect;
  Integer Target = -1;  // index into Entries; -1 floating
  HDC DC = nullptr;
  HWND Locked = nullptr;
  if (!Smooth) {
    Locked = GetAncestorWindow(Handle());
    if (LockWindowUpdate(Locked))
      DC = GetDC(nullptr);
    else
      Locked = nullptr;
  }

  TTBDragState State;
  State.StartDock = StartDock;
  // Sliding stays on the row the bar was shown in.
  State.StartRow = FDocked ? FEffectiveDockRow : StartRow;
  HWND const Wnd = Handle();
  SetCapture(Wnd);
  GetCursorPos(&State.StartPointer);
  State.PrevPointer = State.StartPointer;

  auto MoveBarTo = [&](Integer T, const TRect& R) {
    if (T >= 0) {
      const bool WasSliding = FSlideMode;
      State.RowInfo = Entries[static_cast<size_t>(T)].RowInfo;
      State.SmoothDragging = FSmoothDragging;
      MoveBarToDock(this, Entries[static_cast<size_t>(T)].DockedTo, R, State);
      if (FSlideMode && !WasSliding) ::SetCursor(LoadCursor(nullptr, StartVertical ? IDC_SIZENS : IDC_SIZEWE));
    } else {
      FSlidePending = false;
      SetFloatingPosition(R);
      SetFloating(true);
      MoveOnScreen(true);
      Update();
    }
  };

  // P is the pointer's position as of the message being handled.
  auto Step = [&](TPoint P, bool ConsiderDocking) {
    const TRect OldRect = DragRect;
    const Integer OldTarget = Target;
    Integer T = -1;
    if (FSlideMode) {
      for (size_t i = 1; i < Entries.size(); ++i)
        if (Entries[i].DockedTo == FCurrentDock) T = static_cast<Integer>(i);
    } else if (ConsiderDocking && !CtrlHeld) {
      for (size_t i = 1; i < Entries.size() && T < 0; ++i) {
        const TDockedSize& E = Entries[i];
        const bool Vertical = GetDockKind(E.DockedTo, false) == dkVertical;
        if (!DockAcceptsPointer(E.DockScreenRect, Vertical, DragRectFor(P, G, E.DockedBarSize), P, G)) continue;
        bool Accept = true;
        if (E.DockedTo->OnRequestDock) E.DockedTo->OnRequestDock(E.DockedTo, this, Accept);
        if (Accept) T = static_cast<Integer>(i);
      }
    }
    TRect Area;
    if (T < 0) {
      MonitorAreaOfPoint(P, true, Area);
      P.X = std::max(Area.Left, std::min(P.X, Area.Right - 1));
      P.Y = std::max(Area.Top, std::min(P.Y, Area.Bottom - 1));
    }
    TRect R = DragRectFor(P, G, Entries[static_cast<size_t>(T < 0 ? 0 : T)].DockedBarSize);
    if (T < 0) R = KeepFloatingRectReachable(R, Area, Border.X, TopFrame);
    if (CannotFloat && T < 0) {
      R = TRect();
      ::SetCursor(LoadCursor(nullptr, IDC_NO));
    } else if (FSlideMode) {
      ::SetCursor(LoadCursor(nullptr, StartVertical ? IDC_SIZENS : IDC_SIZEWE));
    } else {
      ::SetCursor(StartCursor);
    }
    DragRect = R;
    Target = T;
    if (!Smooth)
      DrawDraggingOutline(DC, DragRect, OldRect, OldTarget >= 0, Target >= 0, Border);
    else if (!IsRectEmpty(DragRect))
      MoveBarTo(Target, DragRect);
  };

  bool Accepted = false;
  auto Cleanup = [&] {
    if (GetCapture() == Wnd) ReleaseCapture();
    if (DC) {
      DrawDraggingOutline(DC, TRect(), DragRect, false, Target >= 0, Border);
      ReleaseDC(nullptr, DC);
      DC = nullptr;
    }
    if (Locked) LockWindowUpdate(nullptr);
    ::SetCursor(StartCursor);
  };
  auto Finish = [&] {
    if (!FDocked) {
      FDockRow = StartRow;
      FDockPos = StartPos;
    }
    FDragging = false;
    FSlideMode = false;
    FSmoothDragging = false;
  };

  try {
    Step(State.StartPointer, FDocked);
    MSG M;
    while (GetCapture() == Wnd) {
      if (!GetMessage(&M, nullptr, 0, 0)) {
        PostQuitMessage(static_cast<Integer>(M.wParam));
        break;
      }
      const UINT Msg = M.message;
      if (Msg == WM_KEYDOWN || Msg == WM_KEYUP || Msg == WM_SYSKEYDOWN || Msg == WM_SYSKEYUP) {
        if (M.wParam == VK_CONTROL) {
          const bool Now = Msg == WM_KEYDOWN || Msg == WM_SYSKEYDOWN;
          if (Now != CtrlHeld) {
            CtrlHeld = Now;
            Step(State.PrevPointer, true);
          }
        } else if (M.wParam == VK_ESCAPE && (Msg == WM_KEYDOWN || Msg == WM_SYSKEYDOWN)) {
          break;
        }
        // Other keys are swallowed.
      } else if (Msg >= WM_KEYFIRST && Msg <= WM_KEYLAST) {
        // Characters too.
      } else if (Msg == WM_MOUSEMOVE || Msg == WM_NCMOUSEMOVE) {
        if (!SamePoint(M.pt, State.PrevPointer)) {
          Step(M.pt, true);
          State.PrevPointer = M.pt;
        }
      } else if (Msg == WM_LBUTTONUP || Msg == WM_NCLBUTTONUP) {
        Accepted = true;
        break;
      } else if (Msg == WM_LBUTTONDOWN || Msg == WM_LBUTTONDBLCLK || Msg == WM_NCLBUTTONDOWN ||
                 Msg == WM_NCLBUTTONDBLCLK || Msg == WM_RBUTTONDOWN || Msg == WM_NCRBUTTONDOWN) {
        // Another press, or the right button, cancels.
        break;
      } else if ((Msg >= WM_MOUSEFIRST && Msg <= WM_MOUSELAST) || (Msg >= WM_NCMOUSEMOVE && Msg <= WM_NCMBUTTONDBLCLK)) {
        // Swallowed while dragging.
      } else {
        TranslateMessage(&M);
        DispatchMessage(&M);
      }
    }
    Cleanup();
    if (Accepted) {
      FSmoothDragging = false;
      if (!IsRectEmpty(DragRect)) MoveBarTo(Target, DragRect);
    } else {
      // A cancelled drag puts the bar and the bars it pushed back where they were.
      for (const TSavedPlace& S : Saved) {
        S.Bar->FDockRow = S.Row;
        S.Bar->FDockPos = S.Pos;
      }
      FSlideMode = false;
      if (!Smooth) {
        // Nothing moved.
      } else if (StartDock) {
        if (FCurrentDock != StartDock) SetParent(StartDock);
        StartDock->CommitPositions = true;
        StartDock->ArrangeBars();
        for (TTBDock* D : Candidates)
          if (D != StartDock) D->ArrangeBars();
      } else if (StartFloating) {
        SetFloatingPosition(StartFloatingRect);
        SetFloating(true);
        for (TTBDock* D : Candidates) D->ArrangeBars();
      }
    }
    FSmoothDragging = false;
    if (FUseLastDock && FDocked) SetLastDock(FCurrentDock);
    if (FFloatingWindow && FFloatingWindow != FParent) {
      TTBFloatingWindowParent* W = FFloatingWindow;
      FFloatingWindow = nullptr;
      W->SetDockableWindow(nullptr);
      delete W;
    }
  } catch (...) {
    Cleanup();
    Finish();
    throw;
  }
  Finish();
}
