// Scrolling controls, forms, the screen and the application object.
#include "platform/ui/forms.h"

#include <QApplication>
#include <QCursor>
#include <QFontDatabase>
#include <QScreen>

#include <algorithm>
#include <climits>
#include <unistd.h>

#include "platform/base/threads.h"
#include "platform/ui/menus.h"
#include "platform/ui/private/app.h"
#include "platform/ui/private/window.h"

namespace {

TApplication* g_App = nullptr;
TScreen* g_Screen = nullptr;

TRect ToTRect(const QRect& R) { return TRect(R.x(), R.y(), R.x() + R.width(), R.y() + R.height()); }

}  // namespace

TApplicationRef Application;
TScreenRef Screen;

TApplication* TApplicationRef::operator->() const {
  if (!g_App) g_App = new TApplication(nullptr);
  return g_App;
}
TApplicationRef::operator TApplication*() const { return operator->(); }

TScreen* TScreenRef::operator->() const {
  if (!g_Screen) {
    Application.operator->();
    g_Screen = new TScreen(nullptr);
  }
  return g_Screen;
}
TScreenRef::operator TScreen*() const { return operator->(); }

void gtui::ControlDestroyed(TControl* Control) {
  if (g_App && g_App->FHintControl == Control) g_App->FHintControl = nullptr;
  HintForget(Control);
  if (g_Screen && g_Screen->FActiveControl == Control) g_Screen->FActiveControl = nullptr;
}

// ---------------------------------------------------------------- TControlScrollBar

Integer TControlScrollBar::ControlSize() const {
  TRect R = FControl->ClientRect();
  return FKind == sbHorizontal ? R.Width() : R.Height();
}

bool TControlScrollBar::IsScrollBarVisible() const {
  if (!FControl->HandleAllocated()) return false;
  DWORD Style = static_cast<DWORD>(GetWindowLong(FControl->Handle(), GWL_STYLE));
  return (Style & (FKind == sbHorizontal ? WS_HSCROLL : WS_VSCROLL)) != 0;
}

void TControlScrollBar::SetPosition(Integer Value) {
  Integer Max = std::max(0, FRange - ControlSize());
  Value = std::clamp(Value, 0, Max);
  if (Value == FPosition) return;
  Integer Delta = FPosition - Value;
  FPosition = Value;
  if (FKind == sbHorizontal)
    FControl->ScrollBy(Delta, 0);
  else
    FControl->ScrollBy(0, Delta);
  if (FControl->HandleAllocated()) SetScrollPos(FControl->Handle(), FKind == sbHorizontal ? SB_HORZ : SB_VERT, Value, TRUE);
}

void TControlScrollBar::SetRange(Integer Value) {
  FCalcRange = false;
  FRange = std::max(0, Value);
  FControl->UpdateScrollBars();
}

void TControlScrollBar::SetVisible(bool Value) {
  FVisible = Value;
  FControl->UpdateScrollBars();
}

void TControlScrollBar::Update() {
  if (!FControl->HandleAllocated()) return;
  HWND H = FControl->Handle();
  Integer Bar = FKind == sbHorizontal ? SB_HORZ : SB_VERT;
  Integer Size = ControlSize();
  bool Needed = FVisible && FRange > Size;
  if (!Needed && FPosition != 0) SetPosition(0);
  SCROLLINFO I;
  I.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
  I.nMin = 0;
  I.nMax = Needed ? FRange - 1 : 0;
  I.nPage = Needed ? static_cast<UINT>(Size) : 0;
  I.nPos = FPosition;
  SetScrollInfo(H, Bar, &I, TRUE);
  if (Needed && FPosition > FRange - Size) SetPosition(FRange - Size);
}

void TControlScrollBar::ScrollMessage(TMessage& M) {
  Integer Code = LOWORD(M.WParam);
  Integer Pos = FPosition;
  switch (Code) {
    case SB_LINEUP: Pos -= FIncrement; break;
    case SB_LINEDOWN: Pos += FIncrement; break;
    case SB_PAGEUP: Pos -= ControlSize(); break;
    case SB_PAGEDOWN: Pos += ControlSize(); break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK: {
      if (Code == SB_THUMBTRACK && !FTracking) return;
      SCROLLINFO I;
      I.fMask = SIF_TRACKPOS;
      GetScrollInfo(FControl->Handle(), FKind == sbHorizontal ? SB_HORZ : SB_VERT, &I);
      Pos = I.nTrackPos;
      break;
    }
    case SB_TOP: Pos = 0; break;
    case SB_BOTTOM: Pos = FRange; break;
    default: return;
  }
  SetPosition(Pos);
}

// ---------------------------------------------------------------- TScrollingWinControl

TScrollingWinControl::TScrollingWinControl(TComponent* AOwner)
    : TWinControl(AOwner),
      FHorzScrollBar(std::make_unique<TControlScrollBar>(this, sbHorizontal)),
      FVertScrollBar(std::make_unique<TControlScrollBar>(this, sbVertical)) {}

TScrollingWinControl::~TScrollingWinControl() = default;

void TScrollingWinControl::SetAutoScroll(bool Value) {
  if (FAutoScroll == Value) return;
  FAutoScroll = Value;
  if (Value) {
    FHorzScrollBar->FCalcRange = FVertScrollBar->FCalcRange = true;
  } else {
    FHorzScrollBar->FRange = FVertScrollBar->FRange = 0;
  }
  UpdateScrollBars();
}

void TScrollingWinControl::ScrollInView(TControl* AControl) {
  if (!AControl || !ContainsControl(AControl)) return;
  TRect R = AControl->BoundsRect();
  TRect C = ClientRect();
  if (R.Left < 0)
    FHorzScrollBar->SetPosition(FHorzScrollBar->Position() + R.Left);
  else if (R.Right > C.Right)
    FHorzScrollBar->SetPosition(FHorzScrollBar->Position() + std::min(R.Right - C.Right, R.Left));
  if (R.Top < 0)
    FVertScrollBar->SetPosition(FVertScrollBar->Position() + R.Top);
  else if (R.Bottom > C.Bottom)
    FVertScrollBar->SetPosition(FVertScrollBar->Position() + std::min(R.Bottom - C.Bottom, R.Top));
}

void TScrollingWinControl::AlignControls(TControl* AControl, TRect& Rect) {
  TWinControl::AlignControls(AControl, Rect);
  UpdateScrollBars();
}

void TScrollingWinControl::UpdateScrollBars() {
  if (FUpdatingScrollBars || !HandleAllocated()) return;
  FUpdatingScrollBars = true;
  try {
    if (FAutoScroll) {
      // The contents reach as far as the children placed by position.
      Integer Right = 0, Bottom = 0;
      for (Integer i = 0; i < ControlCount(); ++i) {
        TControl* C = Controls(i);
        if (!C->Visible() || C->Align() != alNone) continue;
        Right = std::max(Right, C->Left() + C->Width() + FHorzScrollBar->FPosition);
        Bottom = std::max(Bottom, C->Top() + C->Height() + FVertScrollBar->FPosition);
      }
      if (FHorzScrollBar->FCalcRange) FHorzScrollBar->FRange = Right;
      if (FVertScrollBar->FCalcRange) FVertScrollBar->FRange = Bottom;
    }
    FHorzScrollBar->Update();
    FVertScrollBar->Update();
  } catch (...) {
    FUpdatingScrollBars = false;
    throw;
  }
  FUpdatingScrollBars = false;
}

void TScrollingWinControl::Dispatch(TMessage& M) {
  switch (M.Msg) {
    case WM_HSCROLL: FHorzScrollBar->ScrollMessage(M); break;
    case WM_VSCROLL: FVertScrollBar->ScrollMessage(M); break;
    default: TWinControl::Dispatch(M); break;
  }
}

void TScrollingWinControl::CreateWnd() {
  TWinControl::CreateWnd();
  UpdateScrollBars();
}

// ---------------------------------------------------------------- TCustomForm

TCustomForm::TCustomForm(TComponent* AOwner) : TScrollingWinControl(AOwner), FCanvas(std::make_unique<TControlCanvas>()) {
  FCanvas->SetControl(this);
  FControlStyle = TControlStyle{csAcceptsControls, csCaptureMouse, csClickEvents, csSetCaption, csDoubleClicks};
  FColor = clBtnFace;
  FParentColor = false;
  FParentFont = false;
  FVisible = false;
  FWidth = 320;
  FHeight = 240;
  Screen->AddForm(this);
}

TCustomForm::~TCustomForm() {
  DoDestroy();
  FCanvas->FreeHandle();
  if (g_Screen) g_Screen->RemoveForm(this);
  if (g_App && g_App->MainForm() == this) g_App->SetMainForm(nullptr);
  // The window goes before the members it may still need while it closes.
  Destroying();
  DestroyHandle();
  // The last active MDI child gone: the frame is the active form again.
  if (FFormStyle == fsMDIChild && g_Screen && !g_Screen->FActiveForm && g_App)
    if (TCustomForm* Main = g_App->MainForm(); Main && Main->FActive) g_Screen->SetActiveForm(Main);
}

void TCustomForm::DoCreate() {
  if (FCreated) return;
  FCreated = true;
  if (OnCreate) OnCreate(this);
}

void TCustomForm::DoDestroy() {
  if (FDestroyed) return;
  FDestroyed = true;
  if (OnDestroy) {
    try {
      OnDestroy(this);
    } catch (...) {
      Application->HandleException(this);
    }
  }
}

void TCustomForm::Show() {
  SetVisible(true);
  if (FHandle) BringWindowToTop(FHandle);
}

void TCustomForm::Hide() { SetVisible(false); }

bool TCustomForm::Showing() const { return FShowing; }

void TCustomForm::UpdateControlState() {
  if (FParent) {
    TWinControl::UpdateControlState();
    return;
  }
  SetShowing(FVisible);
}

void TCustomForm::PlaceOnShow() {
  Integer X = FLeft, Y = FTop;
  TCustomForm* Center = nullptr;
  switch (FPosition) {
    case poScreenCenter:
    case poDesktopCenter:
      X = (Screen->Width() - FWidth) / 2;
      Y = (Screen->Height() - FHeight) / 2;
      break;
    case poMainFormCenter:
    case poOwnerFormCenter:
      Center = g_App ? g_App->MainForm() : nullptr;
      if (FPosition == poOwnerFormCenter)
        if (auto* O = dynamic_cast<TCustomForm*>(Owner())) Center = O;
      if (Center && Center != this) {
        X = (Center->Width() - FWidth) / 2 + Center->Left();
        Y = (Center->Height() - FHeight) / 2 + Center->Top();
      } else {
        X = (Screen->Width() - FWidth) / 2;
        Y = (Screen->Height() - FHeight) / 2;
      }
      break;
    default: return;
  }
  // Centred once; later shows keep where the user put the form.
  FPosition = poDesigned;
  SetBounds(std::max(X, 0), std::max(Y, 0), FWidth, FHeight);
}

void TCustomForm::CMShowingChanged(TMessage&) {
  if (!FHandle) return;
  if (FShowing) {
    DoCreate();
    FFormState.Include(fsShowing);
    try {
      DoShow();
    } catch (...) {
      FFormState.Exclude(fsShowing);
      throw;
    }
    FFormState.Exclude(fsShowing);
    PlaceOnShow();
    Integer Cmd = FWindowState == wsMaximized ? SW_SHOWMAXIMIZED : FWindowState == wsMinimized ? SW_SHOWMINIMIZED : SW_SHOW;
    ShowWindow(FHandle, Cmd);
    if (FActiveControl && FActiveControl->CanFocus())
      ::SetFocus(FActiveControl->Handle());
    else
      ::SetFocus(FHandle);
  } else {
    DoHide();
    ShowWindow(FHandle, SW_HIDE);
  }
}

void TCustomForm::Close() {
  if (FFormState.Contains(fsModal)) {
    FModalResult = mrCancel;
    return;
  }
  if (!CloseQuery()) return;
  // An MDI child minimises by default, and stays when it cannot minimise.
  TCloseAction Action = caHide;
  if (FFormStyle == fsMDIChild) Action = FBorderIcons.Contains(biMinimize) ? caMinimize : caNone;
  DoClose(Action);
  if (Action == caNone) return;
  if (g_App && g_App->MainForm() == this) {
    g_App->Terminate();
  } else if (Action == caHide) {
    Hide();
  } else if (Action == caMinimize) {
    SetWindowState(wsMinimized);
  } else {
    Release();
  }
}

bool TCustomForm::CloseQuery() {
  bool CanClose = true;
  if (OnCloseQuery) OnCloseQuery(this, CanClose);
  return CanClose;
}

void TCustomForm::CloseModal() {
  TCloseAction Action = caNone;
  if (CloseQuery()) {
    Action = caHide;
    DoClose(Action);
  }
  switch (Action) {
    case caNone: FModalResult = mrNone; break;
    case caFree: Release(); break;
    default: break;
  }
}

Integer TCustomForm::ShowModal() {
  if (FVisible || !FEnabled || FFormState.Contains(fsModal) || FFormStyle == fsMDIChild)
    throw EInvalidOperation("Cannot make a visible window modal");
  if (HWND C = GetCapture()) SendMessage(C, WM_CANCELMODE, 0, 0);
  ReleaseCapture();
  FFormState.Include(fsModal);
  HWND WasActive = GetActiveWindow();
  TCustomForm* SaveFocused = Screen->FFocusedForm;
  Screen->FFocusedForm = this;
  FModalResult = mrNone;
  if (gtui::TWindow* W = gtui::Lookup(Handle()))
    if (W->Frame) W->Frame->setWindowModality(Qt::ApplicationModal);
  auto Finish = [&] {
    if (gtui::TWindow* W = gtui::Lookup(FHandle))
      if (W->Frame) W->Frame->setWindowModality(Qt::NonModal);
    FFormState.Exclude(fsModal);
    if (g_Screen) g_Screen->FFocusedForm = SaveFocused;
    if (WasActive && IsWindow(WasActive)) SetForegroundWindow(WasActive);
  };
  try {
    Show();
    Perform(CM_ACTIVATE, 0, 0);
    do {
      Application->HandleMessage();
      if (Application->Terminated())
        FModalResult = mrCancel;
      else if (FModalResult != mrNone)
        CloseModal();
    } while (FModalResult == mrNone);
    Perform(CM_DEACTIVATE, 0, 0);
    Hide();
  } catch (...) {
    Hide();
    Finish();
    throw;
  }
  Finish();
  return FModalResult;
}

void TCustomForm::Release() { PostMessage(Application->Handle(), CM_RELEASE, 0, reinterpret_cast<LPARAM>(this)); }

void TCustomForm::SetBorderStyle(TFormBorderStyle Value) {
  if (FBorderStyle == Value) return;
  FBorderStyle = Value;
  RecreateWnd();
}

void TCustomForm::SetBorderIcons(TBorderIcons Value) {
  if (FBorderIcons == Value) return;
  FBorderIcons = Value;
  RecreateWnd();
}

void TCustomForm::SetFormStyle(TFormStyle Value) {
  if (FFormStyle == Value) return;
  FFormStyle = Value;
  RecreateWnd();
}

TWindowState TCustomForm::WindowState() const {
  if (FFormStyle == fsMDIChild && FHandle && FShowing) {
    if (IsIconic(FHandle)) return wsMinimized;
    if (IsZoomed(FHandle)) return wsMaximized;
    return wsNormal;
  }
  return FWindowState;
}

void TCustomForm::SetWindowState(TWindowState Value) {
  if (WindowState() == Value) return;
  FWindowState = Value;
  if (FHandle && FShowing)
    ShowWindow(FHandle, Value == wsMaximized ? SW_MAXIMIZE : Value == wsMinimized ? SW_MINIMIZE : SW_RESTORE);
}

void TCustomForm::SetActiveControl(TWinControl* Control) {
  if (FActiveControl == Control) return;
  if (Control && FVisible && !Control->CanFocus())
    throw EInvalidOperation("Cannot focus a disabled or invisible window");
  FActiveControl = Control;
  if (Control && FShowing) ::SetFocus(Control->Handle());
}

void TCustomForm::FocusControl(TWinControl* Control) {
  FActiveControl = Control;
  if (FShowing && Control && Control->CanFocus()) ::SetFocus(Control->Handle());
}

bool TCustomForm::SetFocusedControl(TWinControl* Control) {
  if (FFocusedControl != Control) {
    FFocusedControl = Control;
    if (Control != this) FActiveControl = Control;
  }
  Screen->FFocusedForm = this;
  Screen->SetActiveControl(Control);
  return true;
}

void TCustomForm::DefocusControl(TWinControl* Control, bool Removing) {
  if (Removing && Control->ContainsControl(FFocusedControl)) FFocusedControl = nullptr;
  if (Control->ContainsControl(FActiveControl)) FActiveControl = nullptr;
}

void TCustomForm::ControlRemoved(TControl* AControl) {
  auto* W = dynamic_cast<TWinControl*>(AControl);
  if (!W) return;
  if (W->ContainsControl(FActiveControl)) FActiveControl = nullptr;
  if (W->ContainsControl(FFocusedControl)) FFocusedControl = nullptr;
  if (g_Screen && W->ContainsControl(g_Screen->FActiveControl)) g_Screen->FActiveControl = nullptr;
}

void TCustomForm::SetFocus() {
  if (!CanFocus()) throw EInvalidOperation("Cannot focus a disabled or invisible window");
  SetForegroundWindow(Handle());
  if (FActiveControl && FActiveControl->CanFocus())
    ::SetFocus(FActiveControl->Handle());
  else
    ::SetFocus(Handle());
}

void TCustomForm::CreateParams(TCreateParams& P) {
  TScrollingWinControl::CreateParams(P);
  if (FParent) return;
  P.Style &= ~static_cast<DWORD>(WS_CHILD);
  P.WndParent = nullptr;
  switch (FBorderStyle) {
    case bsNone: P.Style = WS_POPUP | WS_CLIPCHILDREN; break;
    case bsSingle:
    case bsToolWindow: P.Style |= WS_CAPTION; break;
    case bsSizeable:
    case bsSizeToolWin: P.Style |= WS_CAPTION | WS_THICKFRAME; break;
    case bsDialog:
      P.Style |= WS_POPUP | WS_CAPTION;
      P.ExStyle |= WS_EX_DLGMODALFRAME;
      break;
  }
  if (FBorderStyle == bsToolWindow || FBorderStyle == bsSizeToolWin) P.ExStyle |= WS_EX_TOOLWINDOW;
  if (FBorderStyle != bsNone && FBorderIcons.Contains(biSystemMenu)) {
    P.Style |= WS_SYSMENU;
    if (FBorderStyle == bsSingle || FBorderStyle == bsSizeable) {
      if (FBorderIcons.Contains(biMinimize)) P.Style |= WS_MINIMIZEBOX;
      if (FBorderIcons.Contains(biMaximize)) P.Style |= WS_MAXIMIZEBOX;
    }
  }
  if (FFormStyle == fsStayOnTop) P.ExStyle |= WS_EX_TOPMOST;
  if (FFormStyle == fsMDIChild) {
    // A child window of the main form's MDI client.
    TCustomForm* Main = g_App ? g_App->MainForm() : nullptr;
    HWND Client = nullptr;
    if (Main && Main != this && Main->FFormStyle == fsMDIForm) {
      Main->HandleNeeded();
      Client = Main->FClientHandle;
    }
    if (!Client) throw EInvalidOperation("Cannot create form. No MDI forms are currently active");
    P.Style = (P.Style & ~static_cast<DWORD>(WS_POPUP)) | WS_CHILD | WS_CLIPSIBLINGS;
    P.ExStyle |= WS_EX_MDICHILD;
    P.WndParent = Client;
  }
}

void TCustomForm::CreateWnd() {
  TScrollingWinControl::CreateWnd();
  if (FFormStyle != fsMDIForm) return;
  TRect R = ClientRect();
  FClientHandle = gtui::CreateMdiClient(FHandle, R);
  if (FWindowMenu) SendMessage(FClientHandle, WM_MDISETMENU, 0, reinterpret_cast<LPARAM>(FWindowMenu->Handle()));
  Realign();
}

void TCustomForm::DestroyWnd() {
  // The client goes with the form's window.
  FClientHandle = nullptr;
  TScrollingWinControl::DestroyWnd();
}

void TCustomForm::AlignControls(TControl* AControl, TRect& Rect) {
  TScrollingWinControl::AlignControls(AControl, Rect);
  if (FClientHandle)
    SetWindowPos(FClientHandle, nullptr, Rect.Left, Rect.Top, std::max(0, Rect.Width()), std::max(0, Rect.Height()),
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

TForm* TCustomForm::ActiveMDIChild() {
  if (FFormStyle != fsMDIForm || !FClientHandle) return nullptr;
  auto A = reinterpret_cast<HWND>(SendMessage(FClientHandle, WM_MDIGETACTIVE, 0, 0));
  return dynamic_cast<TForm*>(FindControl(A));
}

Integer TCustomForm::MDIChildCount() {
  if (FFormStyle != fsMDIForm || !FClientHandle) return 0;
  Integer N = 0;
  for (HWND H : gtui::MdiChildrenOf(FClientHandle))
    if (dynamic_cast<TForm*>(FindControl(H))) ++N;
  return N;
}

TForm* TCustomForm::MDIChildren(Integer Index) {
  if (FFormStyle == fsMDIForm && FClientHandle && Index >= 0) {
    Integer N = 0;
    for (HWND H : gtui::MdiChildrenOf(FClientHandle))
      if (auto* F = dynamic_cast<TForm*>(FindControl(H)))
        if (N++ == Index) return F;
  }
  return nullptr;
}

void TCustomForm::Cascade() {
  if (FFormStyle == fsMDIForm && FClientHandle) SendMessage(FClientHandle, WM_MDICASCADE, 0, 0);
}

void TCustomForm::Tile() {
  if (FFormStyle == fsMDIForm && FClientHandle)
    SendMessage(FClientHandle, WM_MDITILE, FTileMode == tbHorizontal ? MDITILE_HORIZONTAL : MDITILE_VERTICAL, 0);
}

void TCustomForm::ArrangeIcons() {
  if (FFormStyle == fsMDIForm && FClientHandle) SendMessage(FClientHandle, WM_MDIICONARRANGE, 0, 0);
}

void TCustomForm::Next() {
  if (FFormStyle == fsMDIForm && FClientHandle) SendMessage(FClientHandle, WM_MDINEXT, 0, 0);
}

void TCustomForm::Previous() {
  if (FFormStyle == fsMDIForm && FClientHandle) SendMessage(FClientHandle, WM_MDINEXT, 0, 1);
}

void TCustomForm::SetWindowMenu(TMenuItem* Value) {
  if (FWindowMenu == Value) return;
  if (FWindowMenu) FWindowMenu->RemoveFreeNotification(this);
  FWindowMenu = Value;
  if (Value) Value->FreeNotification(this);
  if (FClientHandle && Value) SendMessage(FClientHandle, WM_MDISETMENU, 0, reinterpret_cast<LPARAM>(Value->Handle()));
}

void TCustomForm::Notification(TComponent* AComponent, TOperation Operation) {
  TScrollingWinControl::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FWindowMenu) FWindowMenu = nullptr;
}

void TCustomForm::PaintWindow(HDC DC) {
  FCanvas->Lock();
  FCanvas->SetHandle(DC);
  try {
    Paint();
  } catch (...) {
    FCanvas->SetHandle(nullptr);
    FCanvas->Unlock();
    throw;
  }
  FCanvas->SetHandle(nullptr);
  FCanvas->Unlock();
}

void TCustomForm::Paint() {
  if (OnPaint) OnPaint(this);
}

void TCustomForm::DoShow() {
  if (OnShow) OnShow(this);
}

void TCustomForm::DoHide() {
  if (OnHide) OnHide(this);
}

void TCustomForm::DoClose(TCloseAction& Action) {
  if (OnClose) OnClose(this, Action);
}

void TCustomForm::Activate() {
  if (OnActivate) OnActivate(this);
}

void TCustomForm::Deactivate() {
  if (OnDeactivate) OnDeactivate(this);
}

void TCustomForm::Dispatch(TMessage& M) {
  // An active MDI frame shows its active child as the active form.
  auto ActiveFormNow = [this]() -> TCustomForm* {
    if (TForm* C = ActiveMDIChild()) return C;
    return this;
  };
  switch (M.Msg) {
    case WM_CLOSE: Close(); break;
    case WM_ACTIVATE:
      if (LOWORD(M.WParam) == WA_INACTIVE) {
        if (FActive) {
          FActive = false;
          Deactivate();
        }
      } else if (!FActive) {
        FActive = true;
        Screen->SetActiveForm(ActiveFormNow());
        Activate();
      }
      break;
    case CM_ACTIVATE:
      if (!FActive) {
        FActive = true;
        Screen->SetActiveForm(ActiveFormNow());
        Activate();
      }
      break;
    case WM_MDIACTIVATE:
      if (FFormStyle != fsMDIChild) break;
      if (reinterpret_cast<HWND>(M.LParam) == FHandle) {
        if (!FActive) {
          FActive = true;
          Screen->SetActiveForm(this);
          Activate();
        }
      } else if (FActive) {
        FActive = false;
        Deactivate();
        // No child follows: the frame is the active form again.
        if (!M.LParam && g_App && g_App->MainForm() && g_App->MainForm()->FActive)
          Screen->SetActiveForm(g_App->MainForm());
      }
      break;
    case WM_COMMAND:
      // The window menu's entries are the client's.
      if (FFormStyle == fsMDIForm && FClientHandle && SendMessage(FClientHandle, WM_COMMAND, M.WParam, M.LParam)) break;
      TScrollingWinControl::Dispatch(M);
      break;
    case CM_DEACTIVATE:
      if (FActive) {
        FActive = false;
        Deactivate();
      }
      break;
    default: TScrollingWinControl::Dispatch(M); break;
  }
}

void TCustomForm::CMDialogKey(TMessage& M) {
  if (GetKeyState(VK_MENU) >= 0) {
    switch (M.WParam) {
      case VK_TAB:
        if (GetKeyState(VK_CONTROL) >= 0) {
          SelectNext(FActiveControl, GetKeyState(VK_SHIFT) >= 0, true);
          M.Result = 1;
          return;
        }
        break;
      case VK_LEFT:
      case VK_RIGHT:
      case VK_UP:
      case VK_DOWN:
        if (FActiveControl && FActiveControl->Parent()) {
          FActiveControl->Parent()->SelectNext(FActiveControl, M.WParam == VK_RIGHT || M.WParam == VK_DOWN, false);
          M.Result = 1;
          return;
        }
        break;
      default: break;
    }
  }
  TScrollingWinControl::CMDialogKey(M);
}

// ---------------------------------------------------------------- TScreen

TScreen::TScreen(TComponent* AOwner) : TComponent(AOwner) {
  gtui::InitWindowing();
  struct {
    TCursor Cursor;
    uintptr_t Id;
  } const Stock[] = {
      {crDefault, IDC_ARROW},   {crArrow, IDC_ARROW},     {crCross, IDC_CROSS},       {crIBeam, IDC_IBEAM},
      {crSizeNESW, IDC_SIZENESW}, {crSizeNS, IDC_SIZENS},   {crSizeNWSE, IDC_SIZENWSE}, {crSizeWE, IDC_SIZEWE},
      {crUpArrow, IDC_UPARROW}, {crHourGlass, IDC_WAIT},  {crDrag, IDC_ARROW},        {crNoDrop, IDC_NO},
      {crHSplit, IDC_SIZEWE},   {crVSplit, IDC_SIZENS},   {crMultiDrag, IDC_ARROW},   {crSQLWait, IDC_WAIT},
      {crNo, IDC_NO},           {crAppStart, IDC_APPSTARTING}, {crHelp, IDC_HELP},    {crHandPoint, IDC_HAND},
      {crSizeAll, IDC_SIZEALL},
  };
  for (const auto& S : Stock) FCursors[S.Cursor] = LoadCursor(nullptr, S.Id);
  FCursors[crNone] = nullptr;
}

TScreen::~TScreen() = default;

Integer TScreen::Width() const { return GetSystemMetrics(SM_CXSCREEN); }
Integer TScreen::Height() const { return GetSystemMetrics(SM_CYSCREEN); }

Integer TScreen::PixelsPerInch() const {
  QScreen* S = QGuiApplication::primaryScreen();
  return S ? static_cast<Integer>(Round(S->logicalDotsPerInchY())) : 96;
}

TRect TScreen::WorkAreaRect() const {
  TRect R;
  SystemParametersInfo(SPI_GETWORKAREA, 0, &R, 0);
  return R;
}

TRect TScreen::DesktopRect() const {
  return Bounds(GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
                GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN));
}

void TScreen::SetCursor(TCursor Value) {
  if (FCursor == Value) return;
  FCursor = Value;
  if (Value == crDefault) {
    while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
    return;
  }
  const QCursor* C = gtui::CursorOf(Cursors(Value));
  QCursor Q = C ? *C : QCursor(Qt::BlankCursor);
  if (QApplication::overrideCursor())
    QApplication::changeOverrideCursor(Q);
  else
    QApplication::setOverrideCursor(Q);
}

HCURSOR TScreen::Cursors(Integer Index) const {
  auto It = FCursors.find(Index);
  if (It != FCursors.end()) return It->second;
  return FCursors.at(crDefault);
}

void TScreen::SetCursors(Integer Index, HCURSOR Handle) {
  if (!Handle && Index != crNone) {
    if (Index != crDefault) FCursors.erase(Index);
    return;
  }
  FCursors[Index] = Handle;
}

TForm* TScreen::Forms(Integer Index) const { return dynamic_cast<TForm*>(CustomForms(Index)); }

TCustomForm* TScreen::CustomForms(Integer Index) const {
  if (Index < 0 || Index >= CustomFormCount()) throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
  return FForms[static_cast<size_t>(Index)];
}

TForm* TScreen::ActiveForm() const { return dynamic_cast<TForm*>(FActiveForm); }

void TScreen::AddForm(TCustomForm* Form) { FForms.push_back(Form); }

void TScreen::RemoveForm(TCustomForm* Form) {
  FForms.erase(std::remove(FForms.begin(), FForms.end(), Form), FForms.end());
  if (FActiveForm == Form) FActiveForm = nullptr;
  if (FFocusedForm == Form) FFocusedForm = nullptr;
  if (FActiveControl && Form->ContainsControl(FActiveControl)) FActiveControl = nullptr;
}

void TScreen::SetActiveForm(TCustomForm* Form) {
  if (FActiveForm == Form) return;
  FActiveForm = Form;
  if (OnActiveFormChange) OnActiveFormChange(this);
}

void TScreen::SetActiveControl(TWinControl* Control) {
  if (FActiveControl == Control) return;
  FActiveControl = Control;
  if (OnActiveControlChange) OnActiveControlChange(this);
}

Integer TScreen::MonitorCount() const { return static_cast<Integer>(QGuiApplication::screens().size()); }

TMonitor TScreen::Monitors(Integer Index) const {
  const auto List = QGuiApplication::screens();
  TMonitor M;
  if (Index < 0 || Index >= static_cast<Integer>(List.size())) throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
  QScreen* S = List[Index];
  M.MonitorNum = Index;
  M.Primary = S == QGuiApplication::primaryScreen();
  M.BoundsRect = ToTRect(S->geometry());
  M.WorkareaRect = ToTRect(S->availableGeometry());
  M.PixelsPerInch = static_cast<Integer>(Round(S->logicalDotsPerInchY()));
  return M;
}

TMonitor TScreen::MonitorFromPoint(const TPoint& P) const {
  const auto List = QGuiApplication::screens();
  for (Integer i = 0; i < static_cast<Integer>(List.size()); ++i)
    if (List[i]->geometry().contains(P.X, P.Y)) return Monitors(i);
  return Monitors(0);
}

TMonitor TScreen::MonitorFromWindow(HWND Wnd) const {
  TRect R;
  if (!GetWindowRect(Wnd, &R)) return Monitors(0);
  return MonitorFromPoint(TPoint(R.Left + R.Width() / 2, R.Top + R.Height() / 2));
}

TStrings* TScreen::Fonts() {
  if (!FFonts) {
    FFonts = std::make_unique<TStringList>();
    for (const QString& F : QFontDatabase::families()) FFonts->Add(F.toStdU16String());
    FFonts->SetSorted(true);
  }
  return FFonts.get();
}

// ---------------------------------------------------------------- TApplication

TApplication::TApplication(TComponent* AOwner) : TComponent(AOwner) {
  gtui::InitWindowing();
  GtSetExceptionHandler([this](std::exception_ptr E) { HandleException(this, E); });
  GtSetThreadMessageHandler([this](const MSG& Msg) {
    if (Msg.message == WM_QUIT) {
      FTerminated = true;
      return;
    }
    MSG Copy = Msg;
    bool Handled = false;
    if (OnMessage) OnMessage(Copy, Handled);
  });
  QObject::connect(qApp, &QGuiApplication::applicationStateChanged, qApp, [this](Qt::ApplicationState State) {
    gtui::TQtEntry Entry;
    bool Now = State == Qt::ApplicationActive;
    if (Now == FActive) return;
    FActive = Now;
    EnumWindows([Now](HWND Wnd, LPARAM) {
      SendMessage(Wnd, WM_ACTIVATEAPP, Now ? TRUE : FALSE, 0);
      return TRUE;
    }, 0);
    try {
      if (Now && OnActivate) OnActivate(this);
      if (!Now && OnDeactivate) OnDeactivate(this);
    } catch (...) {
      HandleException(this);
    }
  });
  WideString Exe = ExeName();
  size_t Slash = Exe.find_last_of(u'/');
  FTitle = Slash == WideString::npos ? Exe : Exe.substr(Slash + 1);
  size_t Dot = FTitle.find_last_of(u'.');
  if (Dot != WideString::npos && Dot > 0) FTitle.resize(Dot);
}

TApplication::~TApplication() {
  if (FHandle) DeallocateHWnd(FHandle);
}

HWND TApplication::Handle() {
  if (!FHandle) FHandle = AllocateHWnd([this](TMessage& M) { WndProc(M); });
  return FHandle;
}

void TApplication::WndProc(TMessage& M) {
  // Newest first, over a copy: a hook may unhook itself or others.
  auto Hooks = FHooks;
  for (auto It = Hooks.rbegin(); It != Hooks.rend(); ++It)
    if (It->second(M)) {
      // A hook that took a key or a menu command answers "handled" to the control that asked.
      if ((M.Msg == CM_APPKEYDOWN || M.Msg == CM_APPSYSCOMMAND) && M.Result == 0) M.Result = 1;
      return;
    }
  switch (M.Msg) {
    case CM_RELEASE: {
      auto* Form = reinterpret_cast<TCustomForm*>(M.LParam);
      if (g_Screen && std::find(g_Screen->FForms.begin(), g_Screen->FForms.end(), Form) != g_Screen->FForms.end())
        delete Form;
      break;
    }
    case WM_CLOSE:
      if (FMainForm) FMainForm->Close();
      break;
    default: M.Result = DefWindowProc(FHandle, M.Msg, M.WParam, M.LParam); break;
  }
}

bool TApplication::ProcessMessage(MSG& Msg) {
  {
    gtui::TAppPump Pump;
    if (!PeekMessage(&Msg, nullptr, 0, 0, PM_REMOVE)) return false;
  }
  if (Msg.message == WM_QUIT) {
    FTerminated = true;
    return true;
  }
  bool Handled = false;
  if (OnMessage) OnMessage(Msg, Handled);
  if (!Handled && Msg.hwnd) DispatchMessage(&Msg);
  return true;
}

void TApplication::ProcessMessages() {
  MSG Msg;
  while (ProcessMessage(Msg)) {
  }
  gtui::FlushDeferredDeletes();
}

void TApplication::HandleMessage() {
  MSG Msg;
  if (!ProcessMessage(Msg)) Idle();
}

void TApplication::Idle() {
  gtui::FlushDeferredDeletes();
  GtFreeDeviceContexts();
  bool Done = true;
  try {
    if (OnIdle) OnIdle(this, Done);
    CheckSynchronize();
  } catch (...) {
    HandleException(this);
  }
  if (Done && !FTerminated) {
    gtui::TAppPump Pump;
    WaitMessage();
  }
}

void TApplication::Run() {
  if (FMainForm) FMainForm->Show();
  do {
    try {
      HandleMessage();
    } catch (...) {
      HandleException(this);
    }
  } while (!FTerminated);
}

void TApplication::Terminate() { PostQuitMessage(0); }

void TApplication::HandleException(TObject* Sender) {
  std::exception_ptr E = std::current_exception();
  if (E) HandleException(Sender, E);
}

void TApplication::HandleException(TObject* Sender, std::exception_ptr E) {
  if (!E || FHandlingException) return;
  FHandlingException = true;
  if (HWND C = GetCapture()) SendMessage(C, WM_CANCELMODE, 0, 0);
  auto Report = [&](Exception& X) {
    if (OnException)
      OnException(Sender, X);
    else
      ShowException(X);
  };
  try {
    try {
      std::rethrow_exception(E);
    } catch (EAbort&) {
    } catch (Exception& X) {
      Report(X);
    } catch (std::exception& X) {
      Exception W(X.what());
      Report(W);
    } catch (...) {
      Exception W("Unknown exception");
      Report(W);
    }
  } catch (...) {
    // A failing handler must not unwind into the event loop.
  }
  FHandlingException = false;
}

void TApplication::ShowException(Exception& E) {
  WideString Msg = E.Message();
  if (!Msg.empty() && Msg.back() > u'.') Msg += u'.';
  MessageBox(Msg, FTitle, MB_OK | MB_ICONSTOP);
}

Integer TApplication::MessageBox(const WideString& Text, const WideString& Caption, UINT Flags) {
  HWND Owner = g_Screen && g_Screen->FActiveForm && g_Screen->FActiveForm->HandleAllocated()
                   ? g_Screen->FActiveForm->Handle()
                   : nullptr;
  return ::MessageBox(Owner, Text, Caption.empty() ? FTitle : Caption, Flags);
}

WideString TApplication::ExeName() const {
  char Buf[4096];
  ssize_t N = readlink("/proc/self/exe", Buf, sizeof(Buf) - 1);
  if (N <= 0) return WideString();
  return Utf8ToWide(std::string(Buf, static_cast<size_t>(N)));
}

void TApplication::SetHint(const WideString& Value) {
  if (FHint == Value) return;
  FHint = Value;
  if (OnHint) OnHint(this);
}

void TApplication::CancelHint() { gtui::HintCancel(); }

void TApplication::HideHint() { gtui::HintHide(); }

void TApplication::ActivateHint(const TPoint& CursorPos) { gtui::HintActivate(CursorPos); }

bool TApplication::HelpCommand(Integer Command, intptr_t Data) {
  bool CallHelp = true;
  bool Result = false;
  if (OnHelp) Result = OnHelp(static_cast<Word>(Command), Data, CallHelp);
  return CallHelp ? false : Result;
}

bool TApplication::HelpContext(Integer Context) { return HelpCommand(1, Context); }

void TApplication::Minimize() {
  if (FMainForm && FMainForm->HandleAllocated()) ShowWindow(FMainForm->Handle(), SW_MINIMIZE);
}

void TApplication::Restore() {
  if (FMainForm && FMainForm->HandleAllocated()) ShowWindow(FMainForm->Handle(), SW_RESTORE);
}

void TApplication::BringToFront() {
  if (FMainForm && FMainForm->HandleAllocated()) SetForegroundWindow(FMainForm->Handle());
}

Integer TApplication::HookMainWindow(const TWindowHook& Hook) {
  Integer Id = FNextHookId++;
  FHooks.emplace_back(Id, Hook);
  return Id;
}

void TApplication::UnhookMainWindow(Integer Id) {
  FHooks.erase(std::remove_if(FHooks.begin(), FHooks.end(), [Id](const auto& H) { return H.first == Id; }),
               FHooks.end());
}

void TApplication::HintMouseMessage(TControl* Control, TMessage& Message) {
  TControl* Under = Control;
  if (auto* W = dynamic_cast<TWinControl*>(Control))
    if (TControl* C = W->ControlAtPos(TPoint(GET_X_LPARAM(Message.LParam), GET_Y_LPARAM(Message.LParam)), false))
      Under = C;
  gtui::HintMouse(Under, Control->ClientToScreen(TPoint(GET_X_LPARAM(Message.LParam), GET_Y_LPARAM(Message.LParam))));
  if (Under == FHintControl) return;
  FHintControl = Under;
  WideString H;
  for (TControl* C = Under; C; C = C->Parent())
    if (!C->Hint().empty()) {
      H = C->Hint();
      break;
    }
  SetHint(GetLongHint(H));
}
