// The dockable window: placement state, moves between dock and form with the
// window handle kept, the docked frame and its mouse handling.
#include "controls/tbdockwin.h"

#include <algorithm>

#include "controls/tbcommon.h"
#include "controls/tbfloat.h"
#include "platform/graphics/colors.h"
#include "platform/graphics/gdi.h"

namespace {

// Hit codes of the docked frame.
constexpr Integer HTDRAGHANDLE = HTCAPTION;
constexpr Integer HTDOCKEDCLOSE = HTCLOSE;

}  // namespace

TTBCustomDockableWindow::TTBCustomDockableWindow(TComponent* AOwner) : TCustomControl(AOwner) {
  FControlStyle.Include(csAcceptsControls).Include(csClickEvents).Include(csDoubleClicks).Include(csSetCaption);
  FControlStyle.Exclude(csCaptureMouse).Exclude(csOpaque);
  SetColor(clBtnFace);
  if (!ComponentState().Contains(csDesigning))
    RegisterHookProc(this, FloatingHookProc,
                     HookCodeBit(hookActivate) | HookCodeBit(hookActivateApp) | HookCodeBit(hookWindowPosChanged) |
                         HookCodeBit(hookDestroyWindow));
  LoadTrackMouseEvent();
}

TTBCustomDockableWindow::~TTBCustomDockableWindow() {
  // Leave the docks while this object is still whole: their arrangement
  // calls back into the bar.
  Destroying();
  for (TTBDock* D : {FCurrentDock, FLastDock})
    if (D) D->ChangeDockList(false, this);
  if (FCurrentDock) FCurrentDock->ChangeVisibleList(this, true);
  FCurrentDock = FLastDock = nullptr;
  FFloating = false;
  UpdateFloatingRegistration();
  if (TTBFloatingWindowParent* W = FFloatingWindow) {
    // The floating window frees its children: the bar leaves it first.
    FFloatingWindow = nullptr;
    if (FParent == W) TCustomControl::SetParent(nullptr);
    W->SetDockableWindow(nullptr);
    delete W;
  }
  UnregisterHookProc(this, FloatingHookProc);
}

void TTBCustomDockableWindow::DockDestroying(TTBDock* Dock) {
  if (FCurrentDock == Dock) FCurrentDock = nullptr;
  if (FLastDock == Dock) FLastDock = nullptr;
  if (FDefaultDock == Dock) FDefaultDock = nullptr;
  FDocked = FCurrentDock != nullptr;
}

void TTBCustomDockableWindow::CreateParams(TCreateParams& Params) {
  TCustomControl::CreateParams(Params);
  if (!ComponentState().Contains(csDesigning)) Params.WindowClass.style &= ~(CS_HREDRAW | CS_VREDRAW);
}

bool TTBCustomDockableWindow::VisibleInDock() const {
  return FCurrentDock && const_cast<TTBDock*>(FCurrentDock)->BarVisibleHere(const_cast<TTBCustomDockableWindow*>(this));
}

// ---------------------------------------------------------------- placement

void TTBCustomDockableWindow::SetParent(TWinControl* AParent) {
  auto* OldDock = dynamic_cast<TTBDock*>(FParent);
  auto* NewDock = dynamic_cast<TTBDock*>(AParent);
  const bool NewFloating = AParent && dynamic_cast<TTBFloatingWindowParent*>(AParent);
  if (AParent == FParent) {
    FCurrentDock = NewDock;
    FDocked = NewDock != nullptr;
    FFloating = NewFloating;
    UpdateFloatingRegistration();
    return;
  }
  const bool Destroying = ComponentState().Contains(csDestroying);
  if (!Destroying && AParent) {
    if (OnDockChanging) OnDockChanging(this, NewFloating, NewDock);
    if (OnRecreating) OnRecreating(this);
  }
  ++FHideLock;
  ++FMoveEventLock;
  {
    if (OldDock) OldDock->BeginUpdate();
    if (NewDock) NewDock->BeginUpdate();
    ++FBoundsLock;
    struct TUnwind {
      TTBCustomDockableWindow* Bar;
      TTBDock* Old;
      TTBDock* New;
      bool Begun = false;
      ~TUnwind() {
        if (Begun) Bar->EndUpdate();
        --Bar->FBoundsLock;
        if (New) New->EndUpdate();
        if (Old) Old->EndUpdate();
        --Bar->FMoveEventLock;
        --Bar->FHideLock;
      }
    } Unwind{this, OldDock, NewDock};
    if (AParent && !Destroying && OnDockChangingHidden) OnDockChangingHidden(this, NewFloating, NewDock);
    BeginUpdate();
    Unwind.Begun = true;
    FShrunkSize = 0;

    if (OldDock) {
      if (!(FUseLastDock && FLastDock == OldDock)) OldDock->ChangeDockList(false, this);
      OldDock->ChangeVisibleList(this, true);
    }
    try {
      if (AParent) {
        // The window moves with its handle: the class library would destroy it
        // when the control leaves its parent.
        HWND H = FHandle;
        SetWindowHandle(nullptr);
        TCustomControl::SetParent(nullptr);
        FCurrentDock = NewDock;
        FDocked = NewDock != nullptr;
        FFloating = NewFloating;
        SetWindowHandle(H);
        if (H) {
          ::SetParent(H, AParent->Handle());
          SetWindowPos(H, nullptr, 0, 0, 0, 0,
                       SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
        TCustomControl::SetParent(AParent);
      } else {
        TCustomControl::SetParent(nullptr);
        FCurrentDock = nullptr;
        FDocked = false;
        FFloating = false;
      }
      FEffectiveDockRow = -1;
    } catch (...) {
      FCurrentDock = dynamic_cast<TTBDock*>(FParent);
      FDocked = FCurrentDock != nullptr;
      FFloating = FParent && dynamic_cast<TTBFloatingWindowParent*>(FParent);
      throw;
    }
    // The floating window goes once the bar has left it (a smooth drag may
    // bring the bar back into it before the drag ends).
    if (FFloatingWindow && FFloatingWindow != AParent && FSmoothDragging) FFloatingWindow->SetShouldShow(false);
    if (FFloatingWindow && FFloatingWindow != AParent && !FSmoothDragging) {
      TTBFloatingWindowParent* W = FFloatingWindow;
      FFloatingWindow = nullptr;
      W->SetDockableWindow(nullptr);
      delete W;
    }
    if (NewDock) {
      if (!FUseLastDock)
        NewDock->ChangeDockList(true, this);
      else {
        SetLastDock(NewDock);
        NewDock->ChangeVisibleList(this, false);
      }
    }
    UpdateFloatingRegistration();
    Arrange();
  }  // the locks come off here, on every way out
  UpdateVisibility();

  if (FParent && !ComponentState().Contains(csLoading) && FMoveEventLock == 0 && OnMove) OnMove(this);
  if (!Destroying && AParent) {
    if (OnRecreated) OnRecreated(this);
    if (OnDockChanged) OnDockChanged(this);
  }
}

void TTBCustomDockableWindow::SetBounds(Integer ALeft, Integer ATop, Integer AWidth, Integer AHeight) {
  if (FBoundsLock == 0 && (AWidth != Width() || AHeight != Height())) SizeChanging(AWidth, AHeight);
  if (FFloating && FFloatingWindow && FParent == FFloatingWindow && !ComponentState().Contains(csDesigning)) {
    // The floating window's client area takes the size; the bar sits at its origin.
    const TRect M = FloatingNCMargins();
    FFloatingWindow->SetBounds(FFloatingWindow->Left(), FFloatingWindow->Top(), AWidth + M.Left + M.Right,
                               AHeight + M.Top + M.Bottom);
    ALeft = ATop = 0;
  }
  TCustomControl::SetBounds(ALeft, ATop, AWidth, AHeight);
}

void TTBCustomDockableWindow::Arrange() {
  if (FUpdateLock > 0 || ComponentState().Contains(csLoading) || !FParent) {
    FArrangePending = true;
    return;
  }
  FArrangePending = false;
  TPoint Size;
  CalcSize(true, GetDockKind(FCurrentDock, FFloating), Size, FCurrentDock, FFloating);
  if (!(FAutoResize || FDocked || FFloating)) return;
  if (FDocked) {
    FCurrentDock->ArrangeBars();
    return;
  }
  Integer W = Size.X, H = Size.Y;
  if (FAnchors.Contains(akLeft) && FAnchors.Contains(akRight)) W = Width();
  if (FAnchors.Contains(akTop) && FAnchors.Contains(akBottom)) H = Height();
  ++FBoundsLock;
  try {
    SetBounds(Left(), Top(), W, H);
  } catch (...) {
    --FBoundsLock;
    throw;
  }
  --FBoundsLock;
}

void TTBCustomDockableWindow::EndUpdate() {
  if (FUpdateLock > 0 && --FUpdateLock == 0 && FArrangePending) Arrange();
}

void TTBCustomDockableWindow::SetDockPos(Integer Value) {
  FDockPos = Value;
  if (FDocked) FCurrentDock->ArrangeBars();
}

void TTBCustomDockableWindow::SetDockRow(Integer Value) {
  FDockRow = Value;
  if (FDocked) FCurrentDock->ArrangeBars();
}

void TTBCustomDockableWindow::SetFullSize(bool Value) {
  if (Value == FFullSize) return;
  FFullSize = Value;
  if (FDocked) FCurrentDock->ArrangeBars();
}

void TTBCustomDockableWindow::SetStretch(bool Value) {
  if (Value == FStretch) return;
  FStretch = Value;
  if (FDocked) FCurrentDock->ArrangeBars();
}

void TTBCustomDockableWindow::SetAutoResize(bool Value) {
  if (Value == FAutoResize) return;
  FAutoResize = Value;
  if (Value) Arrange();
}

void TTBCustomDockableWindow::SetBorderStyle(TBorderStyle Value) {
  if (Value == FBorderStyle) return;
  FBorderStyle = Value;
  if (FDocked) RecalcNCArea(this);
}

void TTBCustomDockableWindow::SetDragHandleStyle(TTBDragHandleStyle Value) {
  if (Value == FDragHandleStyle) return;
  FDragHandleStyle = Value;
  if (FDocked) RecalcNCArea(this);
}

void TTBCustomDockableWindow::SetCloseButtonWhenDocked(bool Value) {
  if (Value == FCloseButtonWhenDocked) return;
  FCloseButtonWhenDocked = Value;
  if (FDocked) RecalcNCArea(this);
}

void TTBCustomDockableWindow::SetCurrentDock(TTBDock* Value) {
  if (ComponentState().Contains(csLoading)) return;
  if (Value)
    SetParent(Value);
  else
    SetParent(GetParentFormOrRaise(this));
}

void TTBCustomDockableWindow::SetDefaultDock(TTBDock* Value) {
  if (Value == FDefaultDock) return;
  FDefaultDock = Value;
  if (Value) Value->FreeNotification(this);
}

void TTBCustomDockableWindow::SetLastDock(TTBDock* Value) {
  if (FUseLastDock && FDocked) Value = FCurrentDock;
  if (Value == FLastDock) return;
  if (FLastDock && FLastDock != FParent) FLastDock->ChangeDockList(false, this);
  FLastDock = Value;
  if (Value) {
    FUseLastDock = true;
    Value->FreeNotification(this);
    Value->ChangeDockList(true, this);
  }
}

void TTBCustomDockableWindow::SetUseLastDock(bool Value) {
  if (Value == FUseLastDock) return;
  FUseLastDock = Value;
  SetLastDock(Value ? FCurrentDock : nullptr);
}

void TTBCustomDockableWindow::ToggleDocking() {
  if (!FDocked) {
    if (FLastDock)
      SetCurrentDock(FLastDock);
    else if (FDefaultDock) {
      // Ahead of every bar of the first row.
      FDockRow = 0;
      FDockPos = -8;
      SetCurrentDock(FDefaultDock);
    }
  } else if (FDockMode == dmCanFloat) {
    SetFloating(true);
    MoveOnScreen(true);
  }
}

void TTBCustomDockableWindow::Close() {
  bool CanClose = true;
  if (OnCloseQuery) OnCloseQuery(this, CanClose);
  if (!CanClose) return;
  Hide();
  if (OnClose) OnClose(this);
}

bool TTBCustomDockableWindow::CanDrag() { return (FDocked && FCurrentDock->AllowDrag()) || FFloating; }

void TTBCustomDockableWindow::Notification(TComponent* AComponent, TOperation Operation) {
  TCustomControl::Notification(AComponent, Operation);
  if (Operation != opRemove) return;
  if (AComponent == FDefaultDock) FDefaultDock = nullptr;
  if (AComponent == FLastDock) FLastDock = nullptr;
}

void TTBCustomDockableWindow::Loaded() {
  TCustomControl::Loaded();
  Arrange();
}

void TTBCustomDockableWindow::CMVisibleChanged(TMessage& Message) {
  TCustomControl::CMVisibleChanged(Message);
  if (!ComponentState().Contains(csDesigning) && FDocked) FCurrentDock->ChangeVisibleList(this, false);
  UpdateVisibility();
  if (OnVisibleChanged) OnVisibleChanged(this);
}

// ---------------------------------------------------------------- arrangement

TPoint TTBCustomDockableWindow::ArrangeCalcDockedSize() {
  TPoint Size;
  CalcSize(true, GetDockKind(FCurrentDock, false), Size, FCurrentDock, false);
  return Size;
}

TPoint TTBCustomDockableWindow::ArrangeClientSize() { return {ClientWidth(), ClientHeight()}; }

void TTBCustomDockableWindow::ArrangePlace(const TRect& Bounds, bool Relayout) {
  ++FBoundsLock;
  try {
    SetBoundsRect(Bounds);
    if (Relayout || FLayoutDeferred) {
      FLayoutDeferred = false;
      RelayoutContents();
    }
  } catch (...) {
    --FBoundsLock;
    throw;
  }
  --FBoundsLock;
}

// ---------------------------------------------------------------- docked frame

Integer TTBCustomDockableWindow::DragHandleSize() const {
  return TBDragHandleSizes[FCloseButtonWhenDocked ? 1 : 0][FDragHandleStyle];
}

Integer TTBCustomDockableWindow::DragHandleOffset() const {
  return TBDragHandleOffsets[FCloseButtonWhenDocked ? 1 : 0][FDragHandleStyle];
}

TPoint TTBCustomDockableWindow::GetDockedNCAreaSize() { return FDocked ? DockedNCAreaSizeFor(FCurrentDock) : TPoint(0, 0); }

TPoint TTBCustomDockableWindow::DockedNCAreaSizeFor(TTBDock* Dock) {
  if (!Dock) return {0, 0};
  TPoint S(4, 4);
  if (Dock->AllowDrag()) {
    if (GetDockKind(Dock, false) == dkVertical)
      S.Y += DragHandleSize() + 4;
    else
      S.X += DragHandleSize() + 4;
  }
  return S;
}

bool TTBCustomDockableWindow::IsPointOnControl(const TPoint& P) {
  for (Integer i = 0; i < ControlCount(); ++i) {
    TControl* C = Controls(i);
    if (C->Visible() && PtInRect(C->BoundsRect(), P)) return true;
  }
  return false;
}

void TTBCustomDockableWindow::GetDockedCloseButtonRect(bool Vertical, TRect& R) {
  const Integer S = DragHandleSize() - 3;
  if (Vertical)
    R = Bounds(ClientWidth() - 9, 3, S, S);
  else
    R = Bounds(3, 2, S, S);
}

void TTBCustomDockableWindow::DrawNCArea(bool DrawToDC, HDC ADC, HRGN Clip) {
  if (!FDocked || !HandleAllocated()) return;
  HDC DC = DrawToDC ? ADC : GetWindowDC(Handle());
  if (!DrawToDC) ClipToNonClientUpdateRegion(Handle(), DC, Clip);
  const bool Vertical = GetDockKind(FCurrentDock, false) == dkVertical;
  const COLORREF Face = ColorToRGB(Color());
  const bool ShowsBackground = FCurrentDock->UsingBackground() && FCurrentDock->BackgroundOnToolbars();
  TRect R(0, 0, Width(), Height());
  if (ShowsBackground) {
    TRect Draw(0, 0, FCurrentDock->Width(), FCurrentDock->Height());
    OffsetRect(Draw, -Left(), -Top());
    FCurrentDock->DrawBackground(DC, Draw);
  }
  if (FBorderStyle == bsSingle) {
    TRect E = R;
    DrawEdge(DC, &E, BDR_RAISEDINNER, BF_RECT);
  } else {
    TRect E = R;
    HBRUSH B = CreateSolidBrush(Face);
    FrameRect(DC, &E, B);
    DeleteObject(B);
  }
  if (!ShowsBackground) {
    TRect E = R;
    InflateRect(E, -1, -1);
    HBRUSH B = CreateSolidBrush(Face);
    FrameRect(DC, &E, B);
    DeleteObject(B);
  }
  if (FCurrentDock->AllowDrag()) {
    const Integer HS = DragHandleSize();
    const Integer CW = Width() - GetDockedNCAreaSize().X, CH = Height() - GetDockedNCAreaSize().Y;
    const Integer Len = (Vertical ? CW : CH) + 2;
    if (!ShowsBackground) {
      // The margin between the handle and the client area belongs to the
      // frame too; left alone it would show whatever was there before.
      TPoint NC = GetDockedNCAreaSize();
      FillSolid(DC, Vertical ? TRect(2, 2 + HS, Width() - 2, NC.Y - 2) : TRect(2 + HS, 2, NC.X - 2, Height() - 2),
                Face);
      // The handle runs as far as its grips, clear of the frame's far side.
      FillSolid(DC, Vertical ? TRect(2, 2, Len, 2 + HS) : TRect(2, 2, 2 + HS, Len), Face);
    }
    if (FDragHandleStyle != dhNone) {
      Integer From = 2, To = Len;
      if (FDragHandleStyle == dhSingle) {
        ++From;
        --To;
      }
      if (FCloseButtonWhenDocked) {
        if (!Vertical) From = HS;
        else To = CW - HS + 4;
      }
      const Integer Count = FDragHandleStyle == dhDouble ? 2 : 1;
      for (Integer i = 0; i < Count; ++i) {
        Integer Across = DragHandleOffset() + 2 + 3 * i;
        TRect G = Vertical ? TRect(From, Across, To, Across + 3) : TRect(Across, From, Across + 3, To);
        DrawEdge(DC, &G, BDR_RAISEDINNER, BF_RECT | BF_MIDDLE);
        // The far end of the grip's first line takes the highlight.
        if (Vertical)
          SetPixelV(DC, To - 1, Across, GetSysColor(COLOR_BTNHIGHLIGHT));
        else
          SetPixelV(DC, Across, To - 1, GetSysColor(COLOR_BTNHIGHLIGHT));
      }
    }
    if (FCloseButtonWhenDocked) {
      TRect B;
      GetDockedCloseButtonRect(Vertical, B);
      if (FCloseButtonDown)
        DrawEdge(DC, &B, BDR_SUNKENOUTER, BF_RECT);
      else if (FCloseButtonHot)
        DrawEdge(DC, &B, BDR_RAISEDINNER, BF_RECT);
      Integer GX = B.Left + 2 + (FCloseButtonDown ? 1 : 0), GY = B.Top + 2 + (FCloseButtonDown ? 1 : 0);
      COLORREF Text = GetSysColor(COLOR_BTNTEXT);
      for (Integer Y = 0; Y < 8; ++Y)
        for (Integer X = 0; X < 8; ++X)
          if (TBCloseGlyph[Y] & (0x80 >> X)) SetPixelV(DC, GX + X, GY + Y, Text);
    }
  }
  if (!DrawToDC) ReleaseDC(Handle(), DC);
}

Integer TTBCustomDockableWindow::NCHitTest(TPoint ScreenPoint) {
  if (!FDocked) return HTNOWHERE;
  if (FCloseButtonWhenDocked && FCurrentDock->AllowDrag()) {
    TRect W, B;
    GetWindowRect(Handle(), &W);
    GetDockedCloseButtonRect(GetDockKind(FCurrentDock, false) == dkVertical, B);
    if (PtInRect(B, TPoint(ScreenPoint.X - W.Left, ScreenPoint.Y - W.Top))) return HTDOCKEDCLOSE;
  }
  return HTDRAGHANDLE;
}

void TTBCustomDockableWindow::UpdateNCHot(bool Hot) {
  if (Hot == FCloseButtonHot) return;
  FCloseButtonHot = Hot;
  DrawNCArea(false, nullptr, nullptr);
}

void TTBCustomDockableWindow::NCLButtonDown(TMessage& Message) {
  if (Message.WParam == static_cast<WPARAM>(HTDOCKEDCLOSE)) {
    TRect W, B;
    GetWindowRect(Handle(), &W);
    GetDockedCloseButtonRect(GetDockKind(FCurrentDock, false) == dkVertical, B);
    OffsetRect(B, W.Left, W.Top);
    bool Released = TrackNCButton(Handle(), B, [this](bool Pushed) {
      if (Pushed == FCloseButtonDown) return;
      FCloseButtonDown = Pushed;
      DrawNCArea(false, nullptr, nullptr);
    });
    if (Released) Close();
  } else if (Message.WParam == static_cast<WPARAM>(HTDRAGHANDLE) && CanDrag()) {
    TPoint P = ScreenToClient(TPoint(GET_X_LPARAM(Message.LParam), GET_Y_LPARAM(Message.LParam)));
    BeginMoving(P.X, P.Y);
  }
}

void TTBCustomDockableWindow::WndProc(TMessage& Message) {
  switch (Message.Msg) {
    case WM_NCCALCSIZE:
      if (FDocked) {
        auto* R = reinterpret_cast<TRect*>(Message.LParam);
        TPoint NC = GetDockedNCAreaSize();
        // The frame is 2 pixels a side; the rest of the margin leads.
        R->Left += NC.X - 2;
        R->Top += NC.Y - 2;
        R->Right -= 2;
        R->Bottom -= 2;
        Message.Result = 0;
        return;
      }
      break;
    case WM_NCPAINT:
      if (FDocked) {
        DrawNCArea(false, nullptr, reinterpret_cast<HRGN>(Message.WParam));
        return;
      }
      break;
    case WM_PRINT:
      EmulatePrint(Handle(), Message, [this](HWND, HDC DC, void*) { DrawNCArea(true, DC, nullptr); }, nullptr);
      return;
    case WM_PRINTCLIENT:
      EmulatePrintClient(
          Message, [this](TObject*, TMessage& M) { WMPrintClient(M); }, this);
      return;
    case WM_NCHITTEST:
      if (FDocked) {
        Message.Result = NCHitTest(TPoint(GET_X_LPARAM(Message.LParam), GET_Y_LPARAM(Message.LParam)));
        return;
      }
      break;
    case WM_NCLBUTTONDOWN:
      if (FDocked) {
        NCLButtonDown(Message);
        return;
      }
      break;
    case WM_NCLBUTTONDBLCLK:
      if (FDocked && Message.WParam == static_cast<WPARAM>(HTDRAGHANDLE) && CanDrag()) {
        ToggleDocking();
        return;
      }
      break;
    case WM_NCRBUTTONUP:
      if (FDocked) {
        SendMessage(Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(Handle()), Message.LParam);
        return;
      }
      break;
    case WM_NCMOUSEMOVE:
      if (FDocked) {
        bool Hot = Message.WParam == static_cast<WPARAM>(HTDOCKEDCLOSE);
        if (Hot) StartMouseTracking(Handle(), TME_LEAVE | TME_NONCLIENT);
        UpdateNCHot(Hot);
      }
      break;
    case WM_NCMOUSELEAVE: UpdateNCHot(false); break;
    case WM_SETCURSOR:
      // The four-way cursor over the grips of the drag handle.
      if (FDocked && LOWORD(Message.LParam) == HTDRAGHANDLE && FCurrentDock->AllowDrag() &&
          FDragHandleStyle != dhNone) {
        TPoint P;
        GetCursorPos(&P);
        TRect W;
        GetWindowRect(Handle(), &W);
        const bool Vertical = GetDockKind(FCurrentDock, false) == dkVertical;
        const Integer Along = Vertical ? P.Y - W.Top : P.X - W.Left;
        if (Along < DragHandleSize() + 2) {
          ::SetCursor(LoadCursor(nullptr, IDC_SIZEALL));
          Message.Result = 1;
          return;
        }
      }
      break;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
      if (FFloating && FFloatingWindow) FFloatingWindow->MouseActivate();
      if (Message.Msg == WM_LBUTTONDOWN && CanDrag() &&
          !IsPointOnControl(TPoint(GET_X_LPARAM(Message.LParam), GET_Y_LPARAM(Message.LParam)))) {
        BeginMoving(GET_X_LPARAM(Message.LParam), GET_Y_LPARAM(Message.LParam));
        MouseUp(mbLeft, TShiftState(), -1, -1);
        return;
      }
      break;
    case CM_TEXTCHANGED:
      TCustomControl::WndProc(Message);
      if (FFloatingWindow) FFloatingWindow->SetCaption(Caption());
      return;
    case WM_LBUTTONDBLCLK:
      if (CanDrag() && !IsPointOnControl(TPoint(GET_X_LPARAM(Message.LParam), GET_Y_LPARAM(Message.LParam)))) {
        ToggleDocking();
        return;
      }
      break;
    default: break;
  }
  TCustomControl::WndProc(Message);
}
