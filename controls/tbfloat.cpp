// The floating window and the floating side of the dockable window: making
// the window, showing and hiding it with its form, its owner and stacking,
// the caption's active state, the frame's painting and hit testing, and the
// resize loop.
#include "controls/tbfloat.h"

#include <algorithm>
#include <vector>

#include "controls/tbcommon.h"
#include "controls/tbhook.h"
#include "controls/tbpopup.h"
#include "platform/graphics/colors.h"
#include "platform/graphics/gdi.h"

namespace {

// The bars of the thread that float now, for the hook reactions.
std::vector<TTBCustomDockableWindow*>& FloatingBars() {
  static std::vector<TTBCustomDockableWindow*> Bars;
  return Bars;
}

constexpr UINT SpiGetGradientCaptions = 0x1008;
// Asks a floating window to check its bar's visibility again once the
// messages queued now have run (a window's state may change after the
// activation message that announced it).
constexpr UINT CM_TBRECHECKSHOW = CM_BASE + 0x4F0;

// The new size first, then the new place: a top-level window moved and
// sized in one step may keep its old place on some platforms.
void PlaceFloatingWindow(TCustomForm* W, const TRect& R) {
  W->SetBounds(W->Left(), W->Top(), R.Width(), R.Height());
  W->SetBounds(R.Left, R.Top, R.Width(), R.Height());
}

bool IsChildWindow(HWND W) { return (GetWindowLong(W, GWL_STYLE) & WS_CHILD) != 0; }

HWND OwnerOf(HWND W) {
  return reinterpret_cast<HWND>(static_cast<uintptr_t>(static_cast<ULONG>(GetWindowLong(W, GWL_HWNDPARENT))));
}

}  // namespace

// ---------------------------------------------------------------- geometry

TRect TTBFloatingGeometry::CaptionRect() const {
  TRect R(0, 0, Width - 2 * BorderX, CaptionHeight - 1);
  OffsetRect(R, BorderX, BorderY);
  return R;
}

TRect TTBFloatingGeometry::CloseButtonCell() const {
  TRect C = CaptionRect();
  C.Left = C.Right - (CaptionHeight - 1);
  return C;
}

TRect TTBFloatingGeometry::CloseButtonRect() const {
  TRect B = CloseButtonCell();
  B.Top += 2;
  B.Bottom -= 2;
  B.Right -= 2;
  return B;
}

Integer TTBFloatingGeometry::HitTest(const TPoint& P) const {
  if (ShowCaption && PtInRect(CaptionRect(), P))
    return CloseButton && PtInRect(CloseButtonCell(), P) ? HTTBCLOSE : HTTBCAPTION;
  if (!Resizable) return HTNOWHERE;
  // The bottom and right edges are a pixel wider than the top and left ones.
  const bool Top = P.Y >= 0 && P.Y < BorderY;
  const bool Bottom = P.Y >= Height - BorderY - 1 && P.Y < Height;
  const bool Left = P.X >= 0 && P.X < BorderX;
  const bool Right = P.X >= Width - BorderX - 1 && P.X < Width;
  if (Top) return HTTOP;
  if (Bottom) return HTBOTTOM;
  if (Left) return HTLEFT;
  if (Right) return HTRIGHT;
  return HTNOWHERE;
}

Integer SizingSideOf(Integer HitCode) {
  switch (HitCode) {
    case HTLEFT: return 0;
    case HTRIGHT: return 1;
    case HTTOP: return 2;
    case HTBOTTOM: return 5;
    default: return -1;
  }
}

// ---------------------------------------------------------------- the window

TTBFloatingWindowParent::TTBFloatingWindowParent(TComponent* AOwner) : TCustomForm(AOwner) {
  SetBorderStyle(bsToolWindow);
  SetShowHint(true);
}

TTBFloatingWindowParent::~TTBFloatingWindowParent() {
  if (FParentForm) FParentForm->RemoveFreeNotification(this);
}

void TTBFloatingWindowParent::SetParentForm(TCustomForm* Value) {
  if (Value == FParentForm) return;
  if (FParentForm) FParentForm->RemoveFreeNotification(this);
  FParentForm = Value;
  if (Value) Value->FreeNotification(this);
}

void TTBFloatingWindowParent::Notification(TComponent* AComponent, TOperation Operation) {
  TCustomForm::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FParentForm) FParentForm = nullptr;
}

void TTBFloatingWindowParent::CreateParams(TCreateParams& Params) {
  TCustomForm::CreateParams(Params);
  const bool Sizable = FDockableWindow && FDockableWindow->Resizable();
  if (!ComponentState().Contains(csDesigning)) {
    Params.Style = WS_POPUP | WS_BORDER | WS_CLIPCHILDREN | (Sizable ? static_cast<DWORD>(WS_THICKFRAME) : 0u);
    Params.WindowClass.style &= ~(CS_HREDRAW | CS_VREDRAW);
  } else {
    Params.Style |= WS_BORDER | WS_THICKFRAME;
  }
  Params.ExStyle = WS_EX_TOOLWINDOW;
}

void TTBFloatingWindowParent::AlignControls(TControl*, TRect&) {
  // The bar places itself.
}

void TTBFloatingWindowParent::SetShouldShow(bool Value) {
  FShouldShow = Value;
  ApplyShowing();
}

void TTBFloatingWindowParent::CMShowingChanged(TMessage&) { ApplyShowing(); }

void TTBFloatingWindowParent::ApplyShowing() {
  if (!HandleAllocated()) {
    if (!(Showing() && FShouldShow)) return;
    HandleNeeded();
  }
  const bool Show = Showing() && FShouldShow;
  if ((IsWindowVisible(FHandle) != FALSE) == Show) return;
  SetWindowPos(FHandle, nullptr, 0, 0, 0, 0,
               SWP_NOACTIVATE | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | (Show ? SWP_SHOWWINDOW : SWP_HIDEWINDOW));
}

void TTBFloatingWindowParent::SetCloseButtonPushed(bool Value) {
  if (Value == FCloseButtonPushed) return;
  FCloseButtonPushed = Value;
  RedrawNCArea(tbnpCloseButton);
}

TTBFloatingGeometry TTBFloatingWindowParent::Geometry() {
  TTBFloatingGeometry G;
  G.Width = Width();
  G.Height = Height();
  G.CaptionHeight = GetSmallCaptionHeight();
  if (FDockableWindow) {
    const TPoint B = FDockableWindow->GetFloatingBorderSize();
    G.BorderX = B.X;
    G.BorderY = B.Y;
    G.ShowCaption = FDockableWindow->ShowCaption();
    G.CloseButton = FDockableWindow->CloseButton();
    G.Resizable = FDockableWindow->Resizable();
  }
  return G;
}

void TTBFloatingWindowParent::RedrawNCArea(unsigned Parts) {
  if (HandleAllocated() && IsWindowVisible(FHandle)) DrawNCArea(false, nullptr, Parts, nullptr);
}

void TTBFloatingWindowParent::DrawNCArea(bool DrawToDC, HDC ADC, unsigned Parts, HRGN Clip) {
  if (!FDockableWindow || !HandleAllocated()) return;
  HDC DC = DrawToDC ? ADC : GetWindowDC(FHandle);
  if (!DrawToDC) ClipToNonClientUpdateRegion(FHandle, DC, Clip);
  const TTBFloatingGeometry G = Geometry();
  const bool Inactive = FDockableWindow->InactiveCaption();
  const TRect Window(0, 0, G.Width, G.Height);
  IntersectClipRect(DC, Window.Left, Window.Top, Window.Right, Window.Bottom);
  if (Parts & tbnpBorder) {
    TRect E = Window;
    DrawEdge(DC, &E, EDGE_RAISED, BF_RECT);
    // The band inside the edge, down to the frame's innermost ring.
    TRect Band = Window;
    InflateRect(Band, -2, -2);
    TRect Inner = Window;
    InflateRect(Inner, -(G.BorderX - 1), -(G.BorderY - 1));
    if (!IsRectEmpty(Band)) {
      const COLORREF Colour = GetSysColor(Inactive ? COLOR_INACTIVEBORDER : COLOR_ACTIVEBORDER);
      FillSolid(DC, TRect(Band.Left, Band.Top, Band.Right, Inner.Top), Colour);
      FillSolid(DC, TRect(Band.Left, Inner.Bottom, Band.Right, Band.Bottom), Colour);
      FillSolid(DC, TRect(Band.Left, Inner.Top, Inner.Left, Inner.Bottom), Colour);
      FillSolid(DC, TRect(Inner.Right, Inner.Top, Band.Right, Inner.Bottom), Colour);
    }
    HBRUSH Face = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
    FrameRect(DC, &Inner, Face);
    DeleteObject(Face);
  }
  if (G.ShowCaption) {
    const TRect CaptionR = G.CaptionRect();
    const TRect Cell = G.CloseButtonCell();
    const TRect Button = G.CloseButtonRect();
    const bool HasClose = FDockableWindow->CloseButton();
    if (Parts & tbnpCaption) {
      TRect Text = CaptionR;
      if (HasClose) Text.Right = Cell.Left;
      DrawSmallCaption(FHandle, DC, Text, !Inactive, Caption());
      FillSolid(DC, TRect(CaptionR.Left, CaptionR.Bottom, CaptionR.Right, CaptionR.Bottom + 1),
                GetSysColor(COLOR_BTNFACE));
      if (HasClose) {
        // The cell around the button continues the caption: its far end's
        // colour when captions are drawn as gradients.
        const bool Gradient = SystemFlag(SpiGetGradientCaptions, false);
        const Integer Index = Gradient ? (Inactive ? COLOR_GRADIENTINACTIVECAPTION : COLOR_GRADIENTACTIVECAPTION)
                                       : (Inactive ? COLOR_INACTIVECAPTION : COLOR_ACTIVECAPTION);
        const COLORREF Colour = GetSysColor(Index);
        FillSolid(DC, TRect(Cell.Left, Cell.Top, Cell.Right, Button.Top), Colour);
        FillSolid(DC, TRect(Cell.Left, Button.Bottom, Cell.Right, Cell.Bottom), Colour);
        FillSolid(DC, TRect(Button.Right, Button.Top, Cell.Right, Button.Bottom), Colour);
      }
    }
    if ((Parts & tbnpCloseButton) && HasClose) {
      TRect B = Button;
      DrawFrameControl(DC, &B, DFC_CAPTION, DFCS_CAPTIONCLOSE | (FCloseButtonPushed ? static_cast<UINT>(DFCS_PUSHED) : 0u));
    }
  }
  if (!DrawToDC) ReleaseDC(FHandle, DC);
}

HWND TTBFloatingWindowParent::FormFrameHandle() {
  TCustomForm* F = GetMDIParentOf(FParentForm);
  return F && F->HandleAllocated() ? F->Handle() : nullptr;
}

void TTBFloatingWindowParent::MouseActivate() {
  if (ComponentState().Contains(csDesigning) || !HandleAllocated()) return;
  SetWindowPos(FHandle, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  if (!FDockableWindow || FDockableWindow->FloatingMode() != fmOnTopOfParentForm ||
      !FDockableWindow->ActivateParent() || !FParentForm || GetActiveWindow() == FHandle)
    return;
  if (TCustomForm* Frame = GetMDIParentOf(FParentForm); Frame && Frame->HandleAllocated()) {
    if (GetActiveWindow() != Frame->Handle()) SetForegroundWindow(Frame->Handle());
    if (FParentForm != Frame && FParentForm->HandleAllocated()) BringWindowToTop(FParentForm->Handle());
  }
}

void TTBFloatingWindowParent::CMDialogKey(TMessage& Message) {
  if (Message.WParam == VK_ESCAPE && GetKeyState(VK_SHIFT) >= 0 && GetKeyState(VK_CONTROL) >= 0 &&
      GetKeyState(VK_MENU) >= 0 && FParentForm) {
    FParentForm->SetFocus();
    Message.Result = 1;
    return;
  }
  TCustomForm::CMDialogKey(Message);
}

void TTBFloatingWindowParent::NCLButtonDown(TMessage& Message) {
  TTBCustomDockableWindow* Bar = FDockableWindow;
  const Integer Code = static_cast<Integer>(Message.WParam);
  if (const Integer Side = SizingSideOf(Code); Side >= 0) {
    if (Bar->Resizable()) Bar->BeginSizing(Side);
  } else if (Code == HTTBCLOSE) {
    TRect W;
    GetWindowRect(FHandle, &W);
    TRect Cell = Geometry().CloseButtonCell();
    OffsetRect(Cell, W.Left, W.Top);
    if (TrackNCButton(FHandle, Cell, [this](bool Pushed) { SetCloseButtonPushed(Pushed); })) Bar->Close();
  } else if (Code == HTTBCAPTION) {
    TPoint P(GET_X_LPARAM(Message.LParam), GET_Y_LPARAM(Message.LParam));
    P = Bar->ScreenToClient(P);
    Bar->BeginMoving(P.X, P.Y);
  }
}

void TTBFloatingWindowParent::WndProc(TMessage& Message) {
  TTBCustomDockableWindow* Bar = FDockableWindow;
  const bool Designing = ComponentState().Contains(csDesigning);
  switch (Message.Msg) {
    case WM_NCCALCSIZE:
      if (Bar) {
        auto* R = reinterpret_cast<TRect*>(Message.LParam);
        const TRect M = Bar->FloatingNCMargins();
        R->Left += M.Left;
        R->Top += M.Top;
        R->Right -= M.Right;
        R->Bottom -= M.Bottom;
        if (R->Right < R->Left) R->Right = R->Left;
        if (R->Bottom < R->Top) R->Bottom = R->Top;
        Message.Result = 0;
        return;
      }
      break;
    case WM_NCPAINT:
      DrawNCArea(false, nullptr, tbnpAll, reinterpret_cast<HRGN>(Message.WParam));
      Message.Result = 0;
      return;
    case WM_PRINT:
      EmulatePrint(FHandle, Message, [this](HWND, HDC DC, void*) { DrawNCArea(true, DC, tbnpAll, nullptr); }, nullptr);
      return;
    case WM_PRINTCLIENT:
      EmulatePrintClient(
          Message, [this](TObject*, TMessage& M) { WMPrintClient(M); }, this);
      return;
    case WM_NCHITTEST:
      if (Bar) {
        TRect W;
        GetWindowRect(FHandle, &W);
        TPoint P(GET_X_LPARAM(Message.LParam) - W.Left, GET_Y_LPARAM(Message.LParam) - W.Top);
        const TRect M = Bar->FloatingNCMargins();
        const TRect Client(M.Left, M.Top, W.Width() - M.Right, W.Height() - M.Bottom);
        Message.Result = PtInRect(Client, P) ? HTCLIENT : Geometry().HitTest(P);
        return;
      }
      break;
    case WM_NCLBUTTONDOWN:
      if (Bar) {
        MouseActivate();
        NCLButtonDown(Message);
        return;
      }
      break;
    case WM_NCLBUTTONDBLCLK:
      if (Bar && Message.WParam == static_cast<WPARAM>(HTTBCAPTION)) {
        Bar->ToggleDocking();
        return;
      }
      break;
    case WM_NCRBUTTONDOWN:
    case WM_NCMBUTTONDOWN:
      MouseActivate();
      return;
    case WM_NCRBUTTONUP:
      if (Bar) SendMessage(Bar->Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(Bar->Handle()), Message.LParam);
      return;
    case WM_ACTIVATE:
      if (!Designing) {
        const bool Active = LOWORD(Message.WParam) != WA_INACTIVE;
        HWND Form = FormFrameHandle();
        if (Form) SendMessage(Form, WM_NCACTIVATE, Active ? TRUE : FALSE, 0);
        if (Active) {
          if (!IsWindowVisible(FHandle)) {
            if (HWND Next = FindTopLevelWindow(FHandle)) SetForegroundWindow(Next);
          } else if (Form && reinterpret_cast<HWND>(Message.LParam) != Form) {
            SetForegroundWindow(Form);
          }
        }
        Message.Result = 0;
        return;
      }
      break;
    case WM_SYSCOMMAND:
      if ((Message.WParam & 0xFFF0) == SC_CLOSE) {
        if (HWND Form = FormFrameHandle()) SendMessage(Form, WM_CLOSE, 0, 0);
        return;
      }
      break;
    case WM_CLOSE:
      // The window manager's close request: the form decides, this window stays.
      if (HWND Form = FormFrameHandle()) SendMessage(Form, WM_CLOSE, 0, 0);
      return;
    case WM_GETMINMAXINFO: {
      auto* Info = reinterpret_cast<MINMAXINFO*>(Message.LParam);
      Info->ptMinTrackSize = TPoint(1, 1);
      Info->ptMaxTrackSize = TPoint(32767, 32767);
      return;
    }
    case WM_SETTEXT:
      TCustomForm::WndProc(Message);
      RedrawNCArea(tbnpCaption);
      return;
    case WM_MOVE:
      TCustomForm::WndProc(Message);
      if (Bar) Bar->DoMoved();
      return;
    case CM_TBRECHECKSHOW:
      if (Bar) Bar->UpdateVisibility();
      return;
    default: break;
  }
  TCustomForm::WndProc(Message);
}

// ---------------------------------------------------------------- the bar floating

TPoint TTBCustomDockableWindow::GetFloatingBorderSize() {
  return FResizable ? TPoint(GetSystemMetrics(SM_CXFRAME), GetSystemMetrics(SM_CYFRAME))
                    : TPoint(GetSystemMetrics(SM_CXDLGFRAME), GetSystemMetrics(SM_CYDLGFRAME));
}

TRect TTBCustomDockableWindow::FloatingNCMargins() {
  const TPoint B = GetFloatingBorderSize();
  return TRect(B.X, B.Y + (FShowCaption ? GetSmallCaptionHeight() : 0), B.X, B.Y);
}

void TTBCustomDockableWindow::MakeFloatingWindow(TCustomForm* Form) {
  if (!FFloatingWindow) {
    auto* W = new TTBFloatingWindowParent(nullptr);
    W->SetDockableWindow(this);
    W->SetBoundsRect(Bounds(FFloatingLeft, FFloatingTop, 1, 1));
    FFloatingWindow = W;
    W->Show();
  }
  FFloatingWindow->SetParentForm(Form);
  FFloatingWindow->SetCaption(Caption());
}

void TTBCustomDockableWindow::SetFloating(bool Value) {
  if (Value == FFloating) return;
  if (!Value) {
    SetParent(GetParentFormOrRaise(this));
    return;
  }
  TCustomForm* Form = GetParentFormOrRaise(this);
  MakeFloatingWindow(Form);
  const TPoint Size(Width(), Height());
  SetParent(FFloatingWindow);
  SetBounds(0, 0, Size.X, Size.Y);
}

void TTBCustomDockableWindow::SetFloatingPosition(const TRect& R) {
  FFloatingLeft = R.Left;
  FFloatingTop = R.Top;
  if (FFloating && FFloatingWindow)
    FFloatingWindow->SetBounds(FFloatingLeft, FFloatingTop, FFloatingWindow->Width(), FFloatingWindow->Height());
}

void TTBCustomDockableWindow::MoveOnScreen(bool OnlyIfFullyOff) {
  if (!FFloating || !FFloatingWindow) return;
  TRect R = FFloatingWindow->BoundsRect();
  TRect Area;
  MonitorAreaOfRect(R, true, Area);
  TRect Overlap;
  if (OnlyIfFullyOff && IntersectRect(Overlap, R, Area)) return;
  if (R.Right > Area.Right) OffsetRect(R, Area.Right - R.Right, 0);
  if (R.Bottom > Area.Bottom) OffsetRect(R, 0, Area.Bottom - R.Bottom);
  if (R.Left < Area.Left) OffsetRect(R, Area.Left - R.Left, 0);
  if (R.Top < Area.Top) OffsetRect(R, 0, Area.Top - R.Top);
  SetFloatingPosition(R);
}

void TTBCustomDockableWindow::SetHideWhenInactive(bool Value) {
  if (Value == FHideWhenInactive) return;
  FHideWhenInactive = Value;
  UpdateVisibility();
}

void TTBCustomDockableWindow::SetResizable(bool Value) {
  if (Value == FResizable) return;
  FResizable = Value;
  if (FFloating && FFloatingWindow && FFloatingWindow->HandleAllocated()) {
    // The frame's style changes with it.
    const LONG Style = GetWindowLong(FFloatingWindow->Handle(), GWL_STYLE);
    SetWindowLong(FFloatingWindow->Handle(), GWL_STYLE,
                  Value ? (Style | WS_THICKFRAME) : (Style & ~static_cast<LONG>(WS_THICKFRAME)));
    RecalcNCArea(FFloatingWindow);
    Arrange();
  }
}

void TTBCustomDockableWindow::SetShowCaption(bool Value) {
  if (Value == FShowCaption) return;
  FShowCaption = Value;
  if (FFloating && FFloatingWindow) {
    RecalcNCArea(FFloatingWindow);
    Arrange();
  }
}

void TTBCustomDockableWindow::SetCloseButton(bool Value) {
  if (Value == FCloseButton) return;
  FCloseButton = Value;
  if (FFloating && FFloatingWindow) FFloatingWindow->RedrawNCArea(tbnpCaption | tbnpCloseButton);
}

void TTBCustomDockableWindow::SetFloatingMode(TTBFloatingMode Value) {
  if (Value == FFloatingMode) return;
  FFloatingMode = Value;
  if (HandleAllocated() && FFloating && FFloatingWindow) ShowingLogic(ShouldShowNow());
}

void TTBCustomDockableWindow::DoMoved() {
  if (FMoveEventLock == 0 && !ComponentState().Contains(csLoading) && OnMove) OnMove(this);
}

bool TTBCustomDockableWindow::ShouldShowNow() {
  if (!Visible() || FHideLock > 0) return false;
  if (!FFloating || ComponentState().Contains(csDesigning)) return true;
  if (FFloatingMode == fmOnTopOfParentForm) {
    TCustomForm* Form = FFloatingWindow ? FFloatingWindow->ParentForm() : nullptr;
    if (!Form || !Form->HandleAllocated() || !IsWindowVisible(Form->Handle())) return false;
    for (HWND W = Form->Handle(); W; W = IsChildWindow(W) ? GetParent(W) : nullptr)
      if (IsIconic(W)) return false;
  }
  if (FHideWhenInactive && !ThreadHasActiveWindow()) return false;
  return true;
}

void TTBCustomDockableWindow::UpdateVisibility() {
  if (!HandleAllocated() || !FFloating || !FFloatingWindow) return;
  const bool Show = ShouldShowNow();
  if (Show != FFloatingWindow->ShouldShow())
    ShowingLogic(Show);
  else if (Show)
    UpdateCaptionState();
}

void TTBCustomDockableWindow::ShowingLogic(bool Show) {
  TTBFloatingWindowParent* W = FFloatingWindow;
  if (!W) return;
  HWND FW = W->Handle();
  HWND Owner = nullptr;
  if (Show) {
    TCustomForm* Frame = GetMDIParentOf(W->ParentForm());
    Owner = FFloatingMode == fmOnTopOfAllForms ? Application->Handle()
                                               : (Frame && Frame->HandleAllocated() ? Frame->Handle() : nullptr);
    if (Owner && OwnerOf(FW) != Owner) SetWindowOwner(FW, Owner);
    UpdateCaptionState();
  }
  Owner = OwnerOf(FW);
  const bool Topmost = FFloatingMode == fmOnTopOfAllForms ||
                       (Owner && (GetWindowLong(Owner, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0);
  const bool IsTopmost = (GetWindowLong(FW, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
  if (Topmost != IsTopmost)
    SetWindowPos(FW, Topmost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  const bool WasActive = GetActiveWindow() == FW;
  W->SetShouldShow(Show);
  if (!Show && WasActive)
    if (HWND Next = FindTopLevelWindow(FW)) SetForegroundWindow(Next);
}

void TTBCustomDockableWindow::UpdateCaptionState() {
  if (!FFloating || !FFloatingWindow || !FFloatingWindow->HandleAllocated()) return;
  HWND FW = FFloatingWindow->Handle();
  HWND Active = GetActiveWindow();
  // A menu of the toolbars opened from the bar keeps the caption as it is.
  if (Active && dynamic_cast<TTBPopupWindow*>(FindControl(Active))) return;
  if (auto* Other = dynamic_cast<TTBFloatingWindowParent*>(FindControl(Active)); Other && Other->ParentForm()) {
    TCustomForm* F = Other->ParentForm();
    Active = F->HandleAllocated() ? F->Handle() : nullptr;
  }
  const bool ActiveCaption = ThreadHasActiveWindow() &&
                             (FFloatingMode == fmOnTopOfAllForms || OwnerOf(FW) == Application->Handle() ||
                              (Active && IsAncestorWindow(Active, FW)));
  if (ActiveCaption == !FInactiveCaption) return;
  FInactiveCaption = !ActiveCaption;
  FFloatingWindow->RedrawNCArea(tbnpAll);
}

void TTBCustomDockableWindow::UpdateFloatingRegistration() {
  auto& Bars = FloatingBars();
  auto It = std::find(Bars.begin(), Bars.end(), this);
  if (FFloating) {
    if (It == Bars.end()) Bars.push_back(this);
    if (FFloatingWindow)
      FFloatingWindow->SetBounds(FFloatingLeft, FFloatingTop, FFloatingWindow->Width(), FFloatingWindow->Height());
  } else if (It != Bars.end()) {
    Bars.erase(It);
  }
}

void TTBCustomDockableWindow::FloatingHookProc(THookProcCode Code, HWND Wnd, WPARAM, LPARAM LParam) {
  // A copy: a bar's reaction may dock or free another.
  const std::vector<TTBCustomDockableWindow*> Bars = FloatingBars();
  auto Alive = [](TTBCustomDockableWindow* B) {
    const auto& Now = FloatingBars();
    return std::find(Now.begin(), Now.end(), B) != Now.end();
  };
  switch (Code) {
    case hookActivate:
    case hookActivateApp:
      for (TTBCustomDockableWindow* B : Bars)
        if (Alive(B)) {
          B->UpdateVisibility();
          // The window's own state (minimised, shown) may follow the message.
          if (B->FFloatingWindow && B->FFloatingWindow->HandleAllocated())
            PostMessage(B->FFloatingWindow->Handle(), CM_TBRECHECKSHOW, 0, 0);
        }
      break;
    case hookWindowPosChanged: {
      const auto* Pos = reinterpret_cast<const WINDOWPOS*>(LParam);
      if (!Pos || !(Pos->flags & (SWP_SHOWWINDOW | SWP_HIDEWINDOW | SWP_FRAMECHANGED))) break;
      for (TTBCustomDockableWindow* B : Bars) {
        if (!Alive(B) || B->FFloatingMode != fmOnTopOfParentForm || !B->FFloatingWindow) continue;
        TCustomForm* F = B->FFloatingWindow->ParentForm();
        if (!F || !F->HandleAllocated()) continue;
        HWND FH = F->Handle();
        bool Inside = false;
        for (HWND W = FH; W; W = IsChildWindow(W) ? GetParent(W) : nullptr)
          if (W == Wnd) Inside = true;
        if (!Inside) continue;
        B->UpdateVisibility();
        // A window told it shows or hides may not have done so yet.
        if (B->FFloatingWindow->HandleAllocated())
          PostMessage(B->FFloatingWindow->Handle(), CM_TBRECHECKSHOW, 0, 0);
      }
      break;
    }
    case hookDestroyWindow:
      for (TTBCustomDockableWindow* B : Bars)
        if (Alive(B) && B->FFloatingWindow && B->FFloatingWindow->HandleAllocated() &&
            OwnerOf(B->FFloatingWindow->Handle()) == Wnd)
          SetWindowOwner(B->FFloatingWindow->Handle(), Application->Handle());
      break;
    default: break;
  }
}

// ---------------------------------------------------------------- resizing

void TTBCustomDockableWindow::BeginSizing(Integer Side) {
  if (!FFloating || !FFloatingWindow || Side < 0) return;
  TTBFloatingWindowParent* FWin = FFloatingWindow;
  HWND FW = FWin->Handle();
  const bool Live = FSmoothDrag;
  const TRect Margins = FloatingNCMargins();
  const Integer NCW = Margins.Left + Margins.Right, NCH = Margins.Top + Margins.Bottom;
  Integer MinW = 0, MinH = 0, MaxH = 0, MaxW = 0;
  GetFloatingMinMaxSize(MinW, MinH, MaxH, MaxW);
  MinW += NCW;
  MinH += NCH;
  if (MaxW > 0) MaxW += NCW;
  if (MaxH > 0) MaxH += NCH;
  const bool MovesLeft = Side == 0, MovesRight = Side == 1, MovesTop = Side == 2, MovesBottom = Side == 5;

  TRect Start;
  GetWindowRect(FW, &Start);
  SizeBegin(Side, Start.Width(), Start.Height(), Margins);
  struct TEnd {
    TTBCustomDockableWindow* Bar;
    ~TEnd() { Bar->SizeEnd(); }
  } End{this};

  DispatchPendingPaints();
  HDC DC = nullptr;
  HWND Locked = nullptr;
  const TPoint B = GetFloatingBorderSize();
  const TSize Thick{B.X, B.Y};
  if (!Live) {
    Locked = GetAncestorWindow(FW);
    if (LockWindowUpdate(Locked))
      DC = GetDC(nullptr);
    else
      Locked = nullptr;
  }
  SetCapture(FW);
  TRect Current = Start;
  if (DC) DrawCheckerFrames(DC, Current, TRect(), Thick, Thick);
  TPoint StartPointer, LastPointer;
  GetCursorPos(&StartPointer);
  LastPointer = StartPointer;
  bool Accept = false;

  auto Step = [&](const TPoint& P) {
    if (SamePoint(P, LastPointer)) return;
    LastPointer = P;
    const Integer DX = P.X - StartPointer.X, DY = P.Y - StartPointer.Y;
    TRect R = Start;
    if (MovesLeft) R.Left += DX;
    if (MovesRight) R.Right += DX;
    if (MovesTop) R.Top += DY;
    if (MovesBottom) R.Bottom += DY;
    auto FixWidth = [&](Integer W) {
      if (MovesLeft)
        R.Left = R.Right - W;
      else
        R.Right = R.Left + W;
    };
    auto FixHeight = [&](Integer H) {
      if (MovesTop)
        R.Top = R.Bottom - H;
      else
        R.Bottom = R.Top + H;
    };
    if (R.Width() < MinW) FixWidth(MinW);
    if (MaxW > 0 && R.Width() > MaxW) FixWidth(MaxW);
    if (R.Height() < MinH) FixHeight(MinH);
    if (MaxH > 0 && R.Height() > MaxH) FixHeight(MaxH);
    SizeTrack(R, Start);
    if (Live) {
      if (!(R == Current)) {
        Current = R;
        BeginUpdate();
        try {
          SizeCommit();
          PlaceFloatingWindow(FWin, R);
          SetBounds(0, 0, FWin->ClientWidth(), FWin->ClientHeight());
        } catch (...) {
          EndUpdate();
          throw;
        }
        EndUpdate();
      }
    } else {
      if (DC) DrawCheckerFrames(DC, R, Current, Thick, Thick);
      Current = R;
    }
  };

  try {
    MSG M;
    while (GetCapture() == FW) {
      if (!GetMessage(&M, nullptr, 0, 0)) {
        PostQuitMessage(static_cast<Integer>(M.wParam));
        break;
      }
      if (M.message == WM_KEYDOWN && M.wParam == VK_ESCAPE) break;
      if (M.message >= WM_KEYFIRST && M.message <= WM_KEYLAST) continue;
      if (M.message == WM_MOUSEMOVE || M.message == WM_NCMOUSEMOVE) {
        // Where the pointer is now: the window may have moved under it since
        // the message was made.
        TPoint P;
        GetCursorPos(&P);
        Step(P);
      } else if (M.message == WM_LBUTTONUP || M.message == WM_NCLBUTTONUP) {
        Accept = true;
        break;
      } else if (M.message == WM_LBUTTONDOWN || M.message == WM_LBUTTONDBLCLK || M.message == WM_NCLBUTTONDOWN ||
                 M.message == WM_NCLBUTTONDBLCLK) {
        break;
      } else if ((M.message >= WM_MOUSEFIRST && M.message <= WM_MOUSELAST) ||
                 (M.message >= WM_NCMOUSEMOVE && M.message <= WM_NCMBUTTONDBLCLK)) {
        // Other buttons are swallowed while sizing.
      } else {
        TranslateMessage(&M);
        DispatchMessage(&M);
      }
    }
  } catch (...) {
    if (GetCapture() == FW) ReleaseCapture();
    if (DC) {
      DrawCheckerFrames(DC, TRect(), Current, Thick, Thick);
      ReleaseDC(nullptr, DC);
    }
    if (Locked) LockWindowUpdate(nullptr);
    throw;
  }
  if (GetCapture() == FW) ReleaseCapture();
  if (DC) {
    DrawCheckerFrames(DC, TRect(), Current, Thick, Thick);
    ReleaseDC(nullptr, DC);
  }
  if (Locked) LockWindowUpdate(nullptr);
  if (Accept && !Live) {
    BeginUpdate();
    try {
      SizeCommit();
      PlaceFloatingWindow(FWin, Current);
      SetBounds(0, 0, FWin->ClientWidth(), FWin->ClientHeight());
    } catch (...) {
      EndUpdate();
      throw;
    }
    EndUpdate();
  }
  if (Accept || Live) MoveOnScreen(true);
}
