// The control tree: bounds, alignment, visibility, message dispatch, mouse,
// keyboard, focus and painting of controls.
#include "platform/ui/controls.h"

#include <algorithm>
#include <unordered_map>

#include "platform/ui/forms.h"
#include "platform/ui/menus.h"
#include "platform/ui/private/app.h"
#include "platform/ui/private/native.h"
#include "platform/ui/private/window.h"

namespace {

// Held for the whole run (never destroyed), so that nothing dangles at exit.
auto& g_Controls = *new std::unordered_map<HWND, TWinControl*>;
TControl* g_CaptureControl = nullptr;
auto& g_CanvasList = *new std::vector<TControlCanvas*>;

void SetCaptureControl(TControl* Control) {
  g_CaptureControl = nullptr;
  ReleaseCapture();
  if (!Control) return;
  if (auto* W = dynamic_cast<TWinControl*>(Control)) {
    SetCapture(W->Handle());
  } else if (Control->Parent()) {
    SetCapture(Control->Parent()->Handle());
  } else {
    return;
  }
  g_CaptureControl = Control;
}

TPoint PointOf(LPARAM L) { return TPoint(GET_X_LPARAM(L), GET_Y_LPARAM(L)); }

// Fonts need the platform's application, which must be the widget application:
// the window layer makes it before the first font is made.
std::unique_ptr<TFont> NewControlFont() {
  gtui::InitWindowing();
  return std::make_unique<TFont>();
}

}  // namespace

void GtFreeDeviceContexts() {
  std::vector<TControlCanvas*> List = g_CanvasList;
  for (TControlCanvas* C : List)
    if (C->LockCount() == 0) C->FreeHandle();
}

namespace {
// Hints as tool tips: the control under the point (a graphic child or the
// window's own control), or the nearest parent with a hint, when it shows hints.
struct TTooltipHook {
  TTooltipHook() {
    gtui::TooltipText = [](HWND Wnd, TPoint P) -> WideString {
      TWinControl* W = FindControl(Wnd);
      if (!W || !Application->ShowHint()) return WideString();
      TControl* C = W->ControlAtPos(P, false);
      if (!C) C = W;
      return gtui::HintAskAt(C, W->ClientToScreen(P));
    };
  }
};
const TTooltipHook g_TooltipHook;
}  // namespace

TShiftState KeysToShiftState(WPARAM Keys) {
  TShiftState S;
  if (Keys & MK_SHIFT) S.Include(ssShift);
  if (Keys & MK_CONTROL) S.Include(ssCtrl);
  if (Keys & MK_LBUTTON) S.Include(ssLeft);
  if (Keys & MK_RBUTTON) S.Include(ssRight);
  if (Keys & MK_MBUTTON) S.Include(ssMiddle);
  if (GetKeyState(VK_MENU) < 0) S.Include(ssAlt);
  return S;
}

TShiftState KeyDataToShiftState(LPARAM KeyData) {
  TShiftState S;
  if (GetKeyState(VK_SHIFT) < 0) S.Include(ssShift);
  if (GetKeyState(VK_CONTROL) < 0) S.Include(ssCtrl);
  if (KeyData & (LPARAM(1) << 29)) S.Include(ssAlt);
  return S;
}

WideString GetShortHint(const WideString& Hint) {
  size_t P = Hint.find(u'|');
  return P == WideString::npos ? Hint : Hint.substr(0, P);
}

WideString GetLongHint(const WideString& Hint) {
  size_t P = Hint.find(u'|');
  return P == WideString::npos ? Hint : Hint.substr(P + 1);
}

TCustomForm* GetParentForm(TControl* Control) {
  while (Control && Control->Parent()) Control = Control->Parent();
  return dynamic_cast<TCustomForm*>(Control);
}

TWinControl* FindControl(HWND Wnd) {
  auto It = g_Controls.find(Wnd);
  return It == g_Controls.end() ? nullptr : It->second;
}

TControl* FindDragTarget(const TPoint& Pos, bool AllowDisabled) {
  TWinControl* W = FindControl(WindowFromPoint(Pos));
  if (!W) return nullptr;
  TControl* C = W->ControlAtPos(W->ScreenToClient(Pos), AllowDisabled);
  return C ? C : W;
}

// ---------------------------------------------------------------- TControlCanvas

TControlCanvas::~TControlCanvas() { FreeHandle(); }

void TControlCanvas::SetControl(TControl* Value) {
  if (FControl == Value) return;
  FreeHandle();
  FControl = Value;
}

void TControlCanvas::CreateHandle() {
  if (!FControl) return;
  if (!FDeviceContext) {
    if (auto* W = dynamic_cast<TWinControl*>(FControl)) {
      FWindowHandle = W->Handle();
      FDeviceContext = GetDC(FWindowHandle);
    } else {
      TWinControl* P = FControl->Parent();
      if (!P) throw EInvalidOperation("Control '" + WideToUtf8(FControl->Name()) + "' has no parent window");
      FWindowHandle = P->Handle();
      FDeviceContext = GetDC(FWindowHandle);
      if (FDeviceContext) {
        SetViewportOrgEx(FDeviceContext, FControl->Left(), FControl->Top(), nullptr);
        IntersectClipRect(FDeviceContext, 0, 0, FControl->Width(), FControl->Height());
      }
    }
    if (!FDeviceContext) return;
    g_CanvasList.push_back(this);
  }
  SetHandle(FDeviceContext);
}

void TControlCanvas::FreeHandle() {
  if (!FDeviceContext) return;
  SetHandle(nullptr);
  ReleaseDC(FWindowHandle, FDeviceContext);
  FDeviceContext = nullptr;
  FWindowHandle = nullptr;
  g_CanvasList.erase(std::remove(g_CanvasList.begin(), g_CanvasList.end(), this), g_CanvasList.end());
}

// ---------------------------------------------------------------- TControl

TControl::TControl(TComponent* AOwner) : TComponent(AOwner), FFont(NewControlFont()) {
  FFont->OnChange = [this](TObject*) { FontChanged(); };
  WindowProc = [this](TMessage& M) { WndProc(M); };
}

TControl::~TControl() {
  if (g_CaptureControl == this) SetCaptureControl(nullptr);
  gtui::ControlDestroyed(this);
  gtui::DragControlDestroyed(this);
  if (FParent) FParent->RemoveControl(this);
}

void TControl::SetParent(TWinControl* AParent) {
  if (FParent == AParent) return;
  if (AParent == this) throw EInvalidOperation("A control cannot have itself as its parent");
  if (FParent) FParent->RemoveControl(this);
  if (AParent) AParent->InsertControl(this);
}

void TControl::SetBounds(Integer ALeft, Integer ATop, Integer AWidth, Integer AHeight) {
  AWidth = std::max(AWidth, 0);
  AHeight = std::max(AHeight, 0);
  if (ALeft == FLeft && ATop == FTop && AWidth == FWidth && AHeight == FHeight) return;
  InvalidateControl(FVisible, false);
  bool Sized = AWidth != FWidth || AHeight != FHeight;
  FLeft = ALeft;
  FTop = ATop;
  FWidth = AWidth;
  FHeight = AHeight;
  if (auto* G = dynamic_cast<TGraphicControl*>(this)) static_cast<TControlCanvas*>(G->Canvas())->FreeHandle();
  Invalidate();
  UpdateAnchorRules();
  RequestAlign();
  if (Sized && !ComponentState().Contains(csLoading)) Resize();
}

TRect TControl::ClientRect() { return TRect(0, 0, FWidth, FHeight); }

void TControl::SetClientWidth(Integer Value) { SetWidth(Value + (FWidth - ClientWidth())); }
void TControl::SetClientHeight(Integer Value) { SetHeight(Value + (FHeight - ClientHeight())); }

TPoint TControl::ClientOrigin() {
  if (!FParent) return TPoint(FLeft, FTop);
  TPoint P = FParent->ClientOrigin();
  return TPoint(P.X + FLeft, P.Y + FTop);
}

TPoint TControl::ClientToScreen(const TPoint& P) {
  TPoint O = ClientOrigin();
  return TPoint(P.X + O.X, P.Y + O.Y);
}

TPoint TControl::ScreenToClient(const TPoint& P) {
  TPoint O = ClientOrigin();
  return TPoint(P.X - O.X, P.Y - O.Y);
}

void TControl::SetAlign(TAlign Value) {
  if (FAlign == Value) return;
  FAlign = Value;
  RequestAlign();
}

void TControl::SetAnchors(TAnchors Value) {
  if (FAnchors == Value) return;
  FAnchors = Value;
  UpdateAnchorRules();
}

void TControl::SetVisible(bool Value) {
  if (FVisible == Value) return;
  VisibleChanging();
  FVisible = Value;
  Perform(CM_VISIBLECHANGED, Value ? 1 : 0, 0);
  RequestAlign();
}

void TControl::Show() {
  if (FParent) FParent->Show();
  SetVisible(true);
}

void TControl::Hide() { SetVisible(false); }

bool TControl::Showing() const { return FVisible && FParent && FParent->Showing(); }

void TControl::SetEnabled(bool Value) {
  if (FEnabled == Value) return;
  FEnabled = Value;
  Perform(CM_ENABLEDCHANGED, 0, 0);
}

void TControl::SetColor(TColor Value) {
  if (FColor == Value && !FParentColor) return;
  FColor = Value;
  FParentColor = false;
  ColorChanged();
}

void TControl::SetParentColor(bool Value) {
  if (FParentColor == Value) return;
  FParentColor = Value;
  if (Value && FParent) Perform(CM_PARENTCOLORCHANGED, 0, 0);
}

void TControl::SetParentFont(bool Value) {
  if (FParentFont == Value) return;
  FParentFont = Value;
  if (Value && FParent) Perform(CM_PARENTFONTCHANGED, 0, 0);
}

void TControl::SetCursor(TCursor Value) {
  if (FCursor == Value) return;
  FCursor = Value;
  Perform(CM_CURSORCHANGED, 0, 0);
}

void TControl::SetShowHint(bool Value) {
  FShowHint = Value;
  FParentShowHint = false;
}

void TControl::SetParentShowHint(bool Value) {
  FParentShowHint = Value;
  if (Value && FParent) FShowHint = FParent->ShowHint();
}

void TControl::SetText(const WideString& Value) {
  if (GetText() == Value) return;
  FText = Value;
  if (auto* W = dynamic_cast<TWinControl*>(this))
    if (W->HandleAllocated()) SetWindowText(W->FHandle, Value);
  Perform(CM_TEXTCHANGED, 0, 0);
  TextChanged();
}

bool TControl::MouseCapture() const { return g_CaptureControl == this; }

void TControl::SetMouseCapture(bool Value) {
  if (MouseCapture() == Value) return;
  SetCaptureControl(Value ? this : nullptr);
}

void TControl::InvalidateControl(bool IsVisible, bool IsOpaque) {
  if (!IsVisible || !FParent || !FParent->HandleAllocated()) return;
  if (dynamic_cast<TWinControl*>(this)) return;
  TRect R = BoundsRect();
  InvalidateRect(FParent->FHandle, &R, IsOpaque ? FALSE : TRUE);
}

void TControl::Invalidate() { InvalidateControl(FVisible, FControlStyle.Contains(csOpaque)); }

void TControl::Update() {
  if (FParent) FParent->Update();
}

void TControl::Repaint() {
  Invalidate();
  Update();
}

void TControl::BringToFront() {
  if (!FParent) return;
  auto& L = FParent->FControls;
  L.erase(std::remove(L.begin(), L.end(), this), L.end());
  L.push_back(this);
  if (auto* W = dynamic_cast<TWinControl*>(this)) {
    if (W->HandleAllocated()) SetWindowPos(W->FHandle, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  } else {
    Invalidate();
  }
}

void TControl::SendToBack() {
  if (!FParent) return;
  auto& L = FParent->FControls;
  L.erase(std::remove(L.begin(), L.end(), this), L.end());
  L.insert(L.begin(), this);
  if (auto* W = dynamic_cast<TWinControl*>(this)) {
    if (W->HandleAllocated()) SetWindowPos(W->FHandle, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  } else {
    Invalidate();
  }
}

LRESULT TControl::Perform(UINT Msg, WPARAM WParam, LPARAM LParam) {
  TMessage M;
  M.Msg = Msg;
  M.WParam = WParam;
  M.LParam = LParam;
  if (WindowProc)
    WindowProc(M);
  else
    WndProc(M);
  return M.Result;
}

void TControl::WndProc(TMessage& Message) {
  switch (Message.Msg) {
    case WM_MOUSEMOVE: Application->HintMouseMessage(this, Message); break;
    // A press or a key ends the hint; the mouse leaving the window too.
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: gtui::HintCancel(); break;
    case CM_MOUSELEAVE: gtui::HintLeave(this); break;
    default: break;
  }
  Dispatch(Message);
}

void TControl::Dispatch(TMessage& M) {
  switch (M.Msg) {
    case WM_LBUTTONDOWN: WMLButtonDown(M); break;
    case WM_LBUTTONUP: WMLButtonUp(M); break;
    case WM_LBUTTONDBLCLK: WMLButtonDblClk(M); break;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK: WMRButtonDown(M); break;
    case WM_RBUTTONUP: WMRButtonUp(M); break;
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK:
      DoMouseDown(M, mbMiddle, M.Msg == WM_MBUTTONDBLCLK ? TShiftState{ssDouble} : TShiftState{});
      break;
    case WM_MBUTTONUP: DoMouseUp(M, mbMiddle); break;
    case WM_MOUSEMOVE: WMMouseMove(M); break;
    case WM_MOUSEWHEEL: WMMouseWheel(M); break;
    case WM_WINDOWPOSCHANGED: WMWindowPosChanged(M); break;
    case CM_MOUSEENTER: CMMouseEnter(M); break;
    case CM_MOUSELEAVE: CMMouseLeave(M); break;
    case CM_VISIBLECHANGED: CMVisibleChanged(M); break;
    case CM_ENABLEDCHANGED: CMEnabledChanged(M); break;
    case CM_PARENTFONTCHANGED: CMParentFontChanged(M); break;
    case CM_PARENTCOLORCHANGED: CMParentColorChanged(M); break;
    case CM_HITTEST: CMHitTest(M); break;
    default: DefaultHandler(M); break;
  }
}

void TControl::DefaultHandler(TMessage& M) { M.Result = 0; }

void TControl::Click() {
  if (OnClick) OnClick(this);
}

void TControl::DblClick() {
  if (OnDblClick) OnDblClick(this);
}

void TControl::MouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) {
  if (OnMouseDown) OnMouseDown(this, Button, Shift, X, Y);
}

void TControl::MouseMove(TShiftState Shift, Integer X, Integer Y) {
  if (OnMouseMove) OnMouseMove(this, Shift, X, Y);
}

void TControl::MouseUp(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) {
  if (OnMouseUp) OnMouseUp(this, Button, Shift, X, Y);
}

bool TControl::DoMouseWheel(TShiftState Shift, Integer WheelDelta, TPoint MousePos) {
  bool Handled = false;
  if (OnMouseWheel) OnMouseWheel(this, Shift, WheelDelta, MousePos, Handled);
  if (Handled) return true;
  FWheelAccumulator += WheelDelta;
  while (std::abs(FWheelAccumulator) >= WHEEL_DELTA) {
    bool Negative = FWheelAccumulator < 0;
    FWheelAccumulator = std::abs(FWheelAccumulator) - WHEEL_DELTA;
    if (Negative) {
      FWheelAccumulator = -FWheelAccumulator;
      Handled = DoMouseWheelDown(Shift, MousePos);
    } else {
      Handled = DoMouseWheelUp(Shift, MousePos);
    }
  }
  return Handled;
}

bool TControl::DoMouseWheelDown(TShiftState Shift, TPoint MousePos) {
  bool Handled = false;
  if (OnMouseWheelDown) OnMouseWheelDown(this, Shift, MousePos, Handled);
  return Handled;
}

bool TControl::DoMouseWheelUp(TShiftState Shift, TPoint MousePos) {
  bool Handled = false;
  if (OnMouseWheelUp) OnMouseWheelUp(this, Shift, MousePos, Handled);
  return Handled;
}

void TControl::Resize() {
  if (OnResize) OnResize(this);
}

void TControl::FontChanged() {
  FParentFont = false;
  Perform(CM_FONTCHANGED, 0, 0);
  Invalidate();
}

void TControl::ColorChanged() {
  Perform(CM_COLORCHANGED, 0, 0);
  Invalidate();
}

void TControl::RequestAlign() {
  if (FParent) FParent->AlignControl(this);
}

void TControl::UpdateAnchorRules() {
  if (FAnchoring || !FParent) return;
  FAnchorBounds = BoundsRect();
  TRect R = FParent->ClientRect();
  FAnchorParentSize = TPoint(R.Width(), R.Height());
}

void TControl::DoMouseDown(TMessage& M, TMouseButton Button, TShiftState Shift) {
  if (FControlStyle.Contains(csNoStdEvents)) return;
  TPoint P = PointOf(M.LParam);
  MouseDown(Button, KeysToShiftState(M.WParam) + Shift, P.X, P.Y);
}

void TControl::DoMouseUp(TMessage& M, TMouseButton Button) {
  if (FControlStyle.Contains(csNoStdEvents)) return;
  TPoint P = PointOf(M.LParam);
  MouseUp(Button, KeysToShiftState(M.WParam), P.X, P.Y);
}

void TControl::WMLButtonDown(TMessage& M) {
  if (FDragMode == dmAutomatic && !Dragging()) {
    BeginDrag(true);
    return;
  }
  if (FControlStyle.Contains(csCaptureMouse)) SetMouseCapture(true);
  if (FControlStyle.Contains(csClickEvents)) FControlState.Include(csClicked);
  DoMouseDown(M, mbLeft, TShiftState{});
}

void TControl::WMLButtonUp(TMessage& M) {
  if (FControlStyle.Contains(csCaptureMouse)) SetMouseCapture(false);
  if (FControlState.Contains(csClicked)) {
    FControlState.Exclude(csClicked);
    if (PtInRect(ClientRect(), PointOf(M.LParam))) Click();
  }
  DoMouseUp(M, mbLeft);
}

void TControl::WMLButtonDblClk(TMessage& M) {
  if (FControlStyle.Contains(csCaptureMouse)) SetMouseCapture(true);
  if (FControlStyle.Contains(csClickEvents)) DblClick();
  DoMouseDown(M, mbLeft, TShiftState{ssDouble});
}

void TControl::WMRButtonDown(TMessage& M) {
  DoMouseDown(M, mbRight, M.Msg == WM_RBUTTONDBLCLK ? TShiftState{ssDouble} : TShiftState{});
}

void TControl::WMRButtonUp(TMessage& M) { DoMouseUp(M, mbRight); }

void TControl::WMMouseMove(TMessage& M) {
  if (FControlStyle.Contains(csNoStdEvents)) return;
  TPoint P = PointOf(M.LParam);
  MouseMove(KeysToShiftState(M.WParam), P.X, P.Y);
}

void TControl::WMMouseWheel(TMessage& M) {
  TShiftState Shift = KeysToShiftState(GET_KEYSTATE_WPARAM(M.WParam));
  if (DoMouseWheel(Shift, GET_WHEEL_DELTA_WPARAM(M.WParam), PointOf(M.LParam)))
    M.Result = 1;
  else
    DefaultHandler(M);
}

void TControl::WMWindowPosChanged(TMessage& M) { DefaultHandler(M); }

void TControl::CMMouseEnter(TMessage&) {
  if (OnMouseEnter) OnMouseEnter(this);
}

void TControl::CMMouseLeave(TMessage&) {
  if (OnMouseLeave) OnMouseLeave(this);
}

void TControl::CMVisibleChanged(TMessage&) { InvalidateControl(true, false); }

void TControl::CMEnabledChanged(TMessage&) { Invalidate(); }

void TControl::CMParentFontChanged(TMessage&) {
  if (!FParentFont || !FParent) return;
  FFont->Assign(FParent->Font());
  FParentFont = true;
}

void TControl::CMParentColorChanged(TMessage&) {
  if (!FParentColor || !FParent) return;
  SetColor(FParent->Color());
  FParentColor = true;
}

void TControl::CMHitTest(TMessage& M) { M.Result = HTCLIENT; }

// ---------------------------------------------------------------- TWinControl

TWinControl::TWinControl(TComponent* AOwner) : TControl(AOwner) {}

TWinControl::~TWinControl() {
  Destroying();
  if (FParent) FParent->RemoveControl(this);
  while (!FControls.empty()) {
    TControl* C = FControls.back();
    RemoveControl(C);
    delete C;
  }
  DestroyHandle();
}

HWND TWinControl::Handle() {
  HandleNeeded();
  return FHandle;
}

void TWinControl::HandleNeeded() {
  if (FHandle) return;
  if (FParent) FParent->HandleNeeded();
  CreateHandle();
}

void TWinControl::CreateParams(TCreateParams& P) {
  P.Caption = FText;
  P.Style = FParent ? (WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS) : (WS_POPUP | WS_CLIPCHILDREN);
  if (FTabStop) P.Style |= WS_TABSTOP;
  if (!FEnabled) P.Style |= WS_DISABLED;
  P.X = FLeft;
  P.Y = FTop;
  P.Width = FWidth;
  P.Height = FHeight;
  P.WndParent = FParent ? FParent->FHandle : nullptr;
}

void TWinControl::CreateWindowHandle(const TCreateParams& P) {
  gtui::TCreateWindow C;
  C.Kind = gtui::wkSurface;
  C.Parent = P.WndParent;
  C.Style = P.Style;
  C.ExStyle = P.ExStyle;
  C.ClassStyle = P.WindowClass.style;
  C.Rect = Bounds(P.X, P.Y, P.Width, P.Height);
  C.Text = P.Caption;
  C.Proc = [this](TMessage& M) { MainWndProc(M); };
  C.HandleOut = &FHandle;
  gtui::CreateWindowRecord(C);
}

void TWinControl::CreateWnd() {
  TCreateParams P;
  CreateParams(P);
  if (FParent && !P.WndParent) P.WndParent = FParent->Handle();
  CreateWindowHandle(P);
  if (!FHandle) throw EOSError("Error creating window");
  g_Controls[FHandle] = this;
}

void TWinControl::CreateHandle() {
  if (FHandle) return;
  FControlState.Include(csCreating);
  try {
    CreateWnd();
  } catch (...) {
    FControlState.Exclude(csCreating);
    throw;
  }
  FControlState.Exclude(csCreating);
  UpdateBounds();
  // The children's windows go into this one, in z order.
  std::vector<TControl*> Kids = FControls;
  for (TControl* C : Kids)
    if (auto* W = dynamic_cast<TWinControl*>(C)) W->CreateHandle();
  Realign();
  for (TControl* C : Kids)
    if (auto* W = dynamic_cast<TWinControl*>(C)) W->UpdateShowing();
}

void TWinControl::DestroyHandle() {
  if (!FHandle) return;
  FControlState.Include(csDestroyingHandle);
  DestroyWnd();
  FControlState.Exclude(csDestroyingHandle);
}

void TWinControl::DestroyWnd() {
  HWND H = FHandle;
  if (H) DestroyWindow(H);
  FHandle = nullptr;
  FShowing = false;
}

void TWinControl::RecreateWnd() {
  if (!FHandle) return;
  bool WasShowing = FShowing;
  DestroyHandle();
  HandleNeeded();
  if (WasShowing) UpdateShowing();
}

TControl* TWinControl::Controls(Integer Index) const {
  if (Index < 0 || Index >= ControlCount()) throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
  return FControls[static_cast<size_t>(Index)];
}

void TWinControl::InsertControl(TControl* C) {
  C->FParent = this;
  FControls.push_back(C);
  auto* W = dynamic_cast<TWinControl*>(C);
  if (W) FTabList.push_back(W);
  if (C->FParentFont) C->Perform(CM_PARENTFONTCHANGED, 0, 0);
  if (C->FParentColor) C->Perform(CM_PARENTCOLORCHANGED, 0, 0);
  if (C->FParentShowHint) C->FShowHint = FShowHint;
  C->UpdateAnchorRules();
  if (W && FHandle) {
    W->CreateHandle();
    W->UpdateShowing();
  }
  AlignControl(C);
  if (!W) C->Invalidate();
  // The parent hears of its new child (a toolbar turns it into an item).
  Perform(CM_CONTROLCHANGE, reinterpret_cast<WPARAM>(C), 1);
}

void TWinControl::RemoveControl(TControl* C) {
  auto It = std::find(FControls.begin(), FControls.end(), C);
  if (It == FControls.end()) return;
  Perform(CM_CONTROLCHANGE, reinterpret_cast<WPARAM>(C), 0);
  It = std::find(FControls.begin(), FControls.end(), C);
  if (It == FControls.end()) return;
  if (TCustomForm* F = GetParentForm(this)) F->ControlRemoved(C);
  if (auto* W = dynamic_cast<TWinControl*>(C)) {
    W->DestroyHandle();
    FTabList.erase(std::remove(FTabList.begin(), FTabList.end(), W), FTabList.end());
  } else {
    C->InvalidateControl(C->FVisible, false);
    if (auto* G = dynamic_cast<TGraphicControl*>(C)) static_cast<TControlCanvas*>(G->Canvas())->FreeHandle();
  }
  if (FMouseControl == C) FMouseControl = nullptr;
  if (FCaptureControl == C) FCaptureControl = nullptr;
  if (g_CaptureControl == C) SetCaptureControl(nullptr);
  FControls.erase(std::find(FControls.begin(), FControls.end(), C));
  C->FParent = nullptr;
  if (!ComponentState().Contains(csDestroying)) Realign();
}

bool TWinControl::ContainsControl(TControl* Control) const {
  for (TControl* C = Control; C; C = C->Parent())
    if (C == this) return true;
  return false;
}

TControl* TWinControl::ControlAtPos(const TPoint& Pos, bool AllowDisabled, bool AllowWinControls) {
  for (auto It = FControls.rbegin(); It != FControls.rend(); ++It) {
    TControl* C = *It;
    if (!AllowWinControls && dynamic_cast<TWinControl*>(C)) continue;
    if (!C->FVisible || (!C->FEnabled && !AllowDisabled)) continue;
    if (!PtInRect(C->BoundsRect(), Pos)) continue;
    if (C->Perform(CM_HITTEST, 0, MAKELPARAM(Pos.X - C->FLeft, Pos.Y - C->FTop)) != 0) return C;
  }
  return nullptr;
}

void TWinControl::Broadcast(TMessage& Message) {
  std::vector<TControl*> Kids = FControls;
  for (TControl* C : Kids) {
    if (std::find(FControls.begin(), FControls.end(), C) == FControls.end()) continue;
    C->WindowProc(Message);
    if (Message.Result != 0) return;
  }
}

Integer TWinControl::TabOrder() const {
  if (!FParent) return -1;
  auto& L = FParent->FTabList;
  auto It = std::find(L.begin(), L.end(), this);
  return It == L.end() ? -1 : static_cast<Integer>(It - L.begin());
}

void TWinControl::SetTabOrder(Integer Value) {
  if (!FParent) return;
  auto& L = FParent->FTabList;
  auto It = std::find(L.begin(), L.end(), this);
  if (It == L.end()) return;
  L.erase(It);
  Value = std::clamp<Integer>(Value, 0, static_cast<Integer>(L.size()));
  L.insert(L.begin() + Value, this);
}

void TWinControl::SetTabStop(bool Value) {
  if (FTabStop == Value) return;
  FTabStop = Value;
  if (FHandle) {
    LONG S = GetWindowLong(FHandle, GWL_STYLE);
    SetWindowLong(FHandle, GWL_STYLE, Value ? (S | static_cast<LONG>(WS_TABSTOP)) : (S & ~static_cast<LONG>(WS_TABSTOP)));
  }
}

void TWinControl::GetTabOrderList(std::vector<TWinControl*>& List) {
  for (TWinControl* W : FTabList) {
    List.push_back(W);
    W->GetTabOrderList(List);
  }
}

TWinControl* TWinControl::FindNextControl(TWinControl* CurControl, bool GoForward, bool CheckTabStop,
                                          bool CheckParent) {
  std::vector<TWinControl*> List;
  GetTabOrderList(List);
  if (List.empty()) return nullptr;
  Integer N = static_cast<Integer>(List.size());
  auto It = std::find(List.begin(), List.end(), CurControl);
  Integer Start = It == List.end() ? (GoForward ? N - 1 : 0) : static_cast<Integer>(It - List.begin());
  Integer I = Start;
  for (Integer Step = 0; Step < N; ++Step) {
    I = GoForward ? (I + 1) % N : (I - 1 + N) % N;
    TWinControl* C = List[static_cast<size_t>(I)];
    if (C == CurControl) break;
    if ((!CheckTabStop || C->FTabStop) && (!CheckParent || C->FParent == this) && C->CanFocus()) return C;
  }
  return nullptr;
}

void TWinControl::SelectNext(TWinControl* CurControl, bool GoForward, bool CheckTabStop) {
  TWinControl* C = FindNextControl(CurControl, GoForward, CheckTabStop, !CheckTabStop);
  if (C) C->SetFocus();
}

bool TWinControl::Focused() { return FHandle && GetFocus() == FHandle; }

bool TWinControl::CanFocus() {
  TCustomForm* Form = GetParentForm(this);
  if (!Form) return FVisible && FEnabled;
  if (!Form->FVisible || !Form->FEnabled) return false;
  for (TControl* C = this; C && C != Form; C = C->Parent())
    if (!C->FVisible || !C->FEnabled) return false;
  return true;
}

void TWinControl::SetFocus() {
  if (TCustomForm* Form = GetParentForm(this)) {
    Form->FocusControl(this);
  } else if (FParent) {
    FParent->SetFocus();
  } else {
    ::SetFocus(Handle());
  }
}

void TWinControl::SetCtl3D(bool Value) {
  if (FCtl3D == Value) return;
  FCtl3D = Value;
  FParentCtl3D = false;
}

void TWinControl::EnableAlign() {
  if (FAlignLevel > 0) --FAlignLevel;
  if (FAlignLevel == 0 && FControlState.Contains(csAlignmentNeeded)) Realign();
}

void TWinControl::Realign() { AlignControl(nullptr); }

void TWinControl::AlignControl(TControl* AControl) {
  if (ComponentState().Contains(csDestroying)) return;
  if (FAlignLevel != 0) {
    FControlState.Include(csAlignmentNeeded);
    return;
  }
  DisableAlign();
  try {
    TRect R = ClientRect();
    AlignControls(AControl, R);
  } catch (...) {
    FControlState.Exclude(csAlignmentNeeded);
    EnableAlign();
    throw;
  }
  FControlState.Exclude(csAlignmentNeeded);
  EnableAlign();
}

void TWinControl::AdjustClientRect(TRect&) {}

void TWinControl::AlignControls(TControl* AControl, TRect& Rect) {
  AdjustClientRect(Rect);
  AnchorChildren(AControl);
  for (TAlign A : {alTop, alBottom, alLeft, alRight, alClient}) DoAlign(A, AControl, Rect);
}

void TWinControl::AnchorChildren(TControl* AControl) {
  TRect R = ClientRect();
  for (TControl* C : FControls) {
    if (C->FAlign != alNone || C == AControl || C->FAnchorParentSize.X < 0) continue;
    if (C->FAnchors == TAnchors{akLeft, akTop}) continue;
    Integer DX = R.Width() - C->FAnchorParentSize.X, DY = R.Height() - C->FAnchorParentSize.Y;
    const TRect& B = C->FAnchorBounds;
    Integer L = B.Left, T = B.Top, W = B.Width(), H = B.Height();
    if (C->FAnchors.Contains(akRight)) {
      if (C->FAnchors.Contains(akLeft))
        W += DX;
      else
        L += DX;
    } else if (!C->FAnchors.Contains(akLeft)) {
      L += DX / 2;
    }
    if (C->FAnchors.Contains(akBottom)) {
      if (C->FAnchors.Contains(akTop))
        H += DY;
      else
        T += DY;
    } else if (!C->FAnchors.Contains(akTop)) {
      T += DY / 2;
    }
    C->FAnchoring = true;
    try {
      C->SetBounds(L, T, W, H);
    } catch (...) {
      C->FAnchoring = false;
      throw;
    }
    C->FAnchoring = false;
  }
}

void TWinControl::DoAlign(TAlign AAlign, TControl* AControl, TRect& Rect) {
  auto InsertBefore = [AAlign](TControl* C1, TControl* C2) {
    switch (AAlign) {
      case alTop: return C1->FTop < C2->FTop;
      case alBottom: return C1->FTop + C1->FHeight >= C2->FTop + C2->FHeight;
      case alLeft: return C1->FLeft < C2->FLeft;
      case alRight: return C1->FLeft + C1->FWidth >= C2->FLeft + C2->FWidth;
      default: return false;
    }
  };
  std::vector<TControl*> List;
  if (AControl && AControl->FAlign == AAlign && AControl->FVisible && AControl->FParent == this)
    List.push_back(AControl);
  for (TControl* C : FControls) {
    if (C->FAlign != AAlign || !C->FVisible || C == AControl) continue;
    size_t J = 0;
    while (J < List.size() && !InsertBefore(C, List[J])) ++J;
    List.insert(List.begin() + static_cast<ptrdiff_t>(J), C);
  }
  for (TControl* C : List) {
    Integer L = Rect.Left, T = Rect.Top, W = Rect.Width(), H = Rect.Height();
    switch (AAlign) {
      case alTop:
        Rect.Top += C->FHeight;
        H = C->FHeight;
        break;
      case alBottom:
        Rect.Bottom -= C->FHeight;
        T = Rect.Bottom;
        H = C->FHeight;
        break;
      case alLeft:
        Rect.Left += C->FWidth;
        W = C->FWidth;
        break;
      case alRight:
        Rect.Right -= C->FWidth;
        L = Rect.Right;
        W = C->FWidth;
        break;
      default: break;
    }
    C->FAnchoring = true;
    try {
      C->SetBounds(L, T, W, H);
    } catch (...) {
      C->FAnchoring = false;
      throw;
    }
    C->FAnchoring = false;
  }
}

void TWinControl::ScrollBy(Integer DX, Integer DY) {
  DisableAlign();
  for (TControl* C : FControls) {
    C->FAnchoring = true;
    C->SetBounds(C->FLeft + DX, C->FTop + DY, C->FWidth, C->FHeight);
    C->FAnchoring = false;
  }
  if (FHandle) {
    TRect R = ClientRect();
    ScrollWindow(FHandle, DX, DY, &R, &R);
  }
  FControlState.Exclude(csAlignmentNeeded);
  EnableAlign();
}

void TWinControl::Invalidate() {
  if (FHandle) InvalidateRect(FHandle, nullptr, FControlStyle.Contains(csOpaque) ? FALSE : TRUE);
}

void TWinControl::Update() {
  if (FHandle) UpdateWindow(FHandle);
}

void TWinControl::Repaint() {
  Invalidate();
  Update();
}

void TWinControl::SetBounds(Integer ALeft, Integer ATop, Integer AWidth, Integer AHeight) {
  AWidth = std::max(AWidth, 0);
  AHeight = std::max(AHeight, 0);
  if (ALeft == FLeft && ATop == FTop && AWidth == FWidth && AHeight == FHeight) return;
  bool Sized = AWidth != FWidth || AHeight != FHeight;
  FLeft = ALeft;
  FTop = ATop;
  FWidth = AWidth;
  FHeight = AHeight;
  if (FHandle && !IsIconic(FHandle)) {
    // The window answers with WM_WINDOWPOSCHANGED and WM_SIZE (realign, OnResize).
    SetWindowPos(FHandle, nullptr, ALeft, ATop, AWidth, AHeight, SWP_NOZORDER | SWP_NOACTIVATE);
  } else if (Sized) {
    Realign();
  }
  UpdateAnchorRules();
  RequestAlign();
}

TRect TWinControl::ClientRect() {
  TRect R;
  if (FHandle && GetClientRect(FHandle, &R)) return R;
  return TRect(0, 0, FWidth, FHeight);
}

TPoint TWinControl::ClientOrigin() {
  if (!FHandle) return TControl::ClientOrigin();
  TPoint P;
  ::ClientToScreen(FHandle, &P);
  return P;
}

bool TWinControl::Showing() const { return FShowing; }

void TWinControl::SetEnabled(bool Value) { TControl::SetEnabled(Value); }

void TWinControl::UpdateShowing() {
  bool ShowIt = FVisible && (FParent ? FParent->FShowing : false);
  SetShowing(ShowIt);
}

void TWinControl::SetShowing(bool ShowIt) {
  if (ShowIt) HandleNeeded();
  if (ShowIt == FShowing) return;
  FShowing = ShowIt;
  std::vector<TControl*> Kids = FControls;
  // Children are ready before the window appears, and go after it went.
  if (!ShowIt) Perform(CM_SHOWINGCHANGED, 0, 0);
  for (TControl* C : Kids)
    if (auto* W = dynamic_cast<TWinControl*>(C))
      if (std::find(FControls.begin(), FControls.end(), C) != FControls.end()) W->UpdateShowing();
  if (ShowIt) Perform(CM_SHOWINGCHANGED, 0, 0);
}

void TWinControl::UpdateControlState() { UpdateShowing(); }

void TWinControl::UpdateBounds() {
  gtui::TWindow* W = gtui::Lookup(FHandle);
  if (!W) return;
  const TRect& R = W->Rect;
  if (R.Left == FLeft && R.Top == FTop && R.Width() == FWidth && R.Height() == FHeight) return;
  FLeft = R.Left;
  FTop = R.Top;
  FWidth = R.Width();
  FHeight = R.Height();
  UpdateAnchorRules();
}

void TWinControl::PaintWindow(HDC) {}

void TWinControl::PaintControls(HDC DC, TControl* First) {
  size_t Start = 0;
  if (First) {
    auto It = std::find(FControls.begin(), FControls.end(), First);
    if (It != FControls.end()) Start = static_cast<size_t>(It - FControls.begin());
  }
  TRect Clip;
  GetClipBox(DC, &Clip);
  std::vector<TControl*> Kids(FControls.begin() + static_cast<ptrdiff_t>(Start), FControls.end());
  for (TControl* C : Kids) {
    if (dynamic_cast<TWinControl*>(C) || !C->FVisible) continue;
    TRect B = C->BoundsRect(), Overlap;
    if (!IntersectRect(Overlap, B, Clip)) continue;
    Integer Saved = SaveDC(DC);
    TPoint Org;
    GetWindowOrgEx(DC, &Org);
    SetWindowOrgEx(DC, Org.X - C->FLeft, Org.Y - C->FTop, nullptr);
    IntersectClipRect(DC, 0, 0, C->FWidth, C->FHeight);
    C->Perform(WM_PAINT, reinterpret_cast<WPARAM>(DC), 0);
    RestoreDC(DC, Saved);
  }
}

void TWinControl::PaintHandler(TMessage& M) {
  HDC DC = reinterpret_cast<HDC>(M.WParam);
  PAINTSTRUCT PS;
  bool Began = false;
  if (!DC) {
    DC = BeginPaint(FHandle, &PS);
    Began = true;
    if (!DC) return;
  }
  try {
    PaintWindow(DC);
    PaintControls(DC, nullptr);
  } catch (...) {
    if (Began) EndPaint(FHandle, &PS);
    throw;
  }
  if (Began) EndPaint(FHandle, &PS);
}

void TWinControl::KeyDown(Word& Key, TShiftState Shift) {
  if (OnKeyDown) OnKeyDown(this, Key, Shift);
}

void TWinControl::KeyUp(Word& Key, TShiftState Shift) {
  if (OnKeyUp) OnKeyUp(this, Key, Shift);
}

void TWinControl::KeyPress(WideChar& Key) {
  if (OnKeyPress) OnKeyPress(this, Key);
}

// The parent form sees the key first when it previews keys; then the
// control's handler, which may change the key (written back into the
// message) or zero it to swallow it.
template <class TKey, class THandler>
bool TWinControl::DoKey(TMessage& M, bool (TWinControl::*FormFirst)(TMessage&), THandler Handle) {
  TCustomForm* Form = GetParentForm(this);
  if (Form && Form != this && Form->KeyPreview() && (static_cast<TWinControl*>(Form)->*FormFirst)(M)) return true;
  if (FControlStyle.Contains(csNoStdEvents)) return false;
  TKey Key = static_cast<TKey>(M.WParam);
  Handle(Key);
  M.WParam = Key;
  return Key == 0;
}

bool TWinControl::DoKeyDown(TMessage& M) {
  return DoKey<Word>(M, &TWinControl::DoKeyDown, [&](Word& Key) { KeyDown(Key, KeyDataToShiftState(M.LParam)); });
}

bool TWinControl::DoKeyUp(TMessage& M) {
  return DoKey<Word>(M, &TWinControl::DoKeyUp, [&](Word& Key) { KeyUp(Key, KeyDataToShiftState(M.LParam)); });
}

bool TWinControl::DoKeyPress(TMessage& M) {
  return DoKey<WideChar>(M, &TWinControl::DoKeyPress, [&](WideChar& Key) { KeyPress(Key); });
}

void TWinControl::DoEnter() {
  if (OnEnter) OnEnter(this);
}

void TWinControl::DoExit() {
  if (OnExit) OnExit(this);
}

void TWinControl::MainWndProc(TMessage& M) {
  if (M.Msg == WM_NCDESTROY) {
    g_Controls.erase(FHandle);
    WindowProc(M);
    FHandle = nullptr;
    FShowing = false;
    return;
  }
  WindowProc(M);
}

bool TWinControl::IsControlMouseMsg(TMessage& M) {
  TControl* C = nullptr;
  if (g_CaptureControl && g_CaptureControl->FParent == this && !dynamic_cast<TWinControl*>(g_CaptureControl))
    C = g_CaptureControl;
  else if (!g_CaptureControl || g_CaptureControl == this)
    C = ControlAtPos(PointOf(M.LParam), false);
  if (!C) return false;
  TPoint P = PointOf(M.LParam);
  M.Result = C->Perform(M.Msg, M.WParam, MAKELPARAM(P.X - C->FLeft, P.Y - C->FTop));
  return true;
}

void TWinControl::WndProc(TMessage& M) {
  switch (M.Msg) {
    case WM_SETFOCUS:
      if (TCustomForm* Form = GetParentForm(this))
        if (!Form->SetFocusedControl(this)) return;
      break;
    case WM_CAPTURECHANGED:
      if (g_CaptureControl && reinterpret_cast<HWND>(M.LParam) != FHandle &&
          (g_CaptureControl == this || g_CaptureControl->FParent == this))
        g_CaptureControl = nullptr;
      break;
    case WM_DESTROY:
      if (auto* CC = dynamic_cast<TCustomControl*>(this)) static_cast<TControlCanvas*>(CC->Canvas())->FreeHandle();
      if (auto* F = dynamic_cast<TCustomForm*>(this)) static_cast<TControlCanvas*>(F->Canvas())->FreeHandle();
      for (TControl* C : FControls)
        if (auto* G = dynamic_cast<TGraphicControl*>(C)) static_cast<TControlCanvas*>(G->Canvas())->FreeHandle();
      break;
    case CM_MOUSELEAVE:
      if (FMouseControl) {
        TControl* Old = FMouseControl;
        FMouseControl = nullptr;
        Old->Perform(CM_MOUSELEAVE, 0, 0);
      }
      break;
    default:
      if ((M.Msg >= WM_MOUSEFIRST && M.Msg <= WM_MOUSELAST && M.Msg != WM_MOUSEWHEEL && M.Msg != WM_MOUSEHWHEEL)) {
        if (M.Msg == WM_MOUSEMOVE && !g_CaptureControl) {
          TControl* Under = ControlAtPos(PointOf(M.LParam), false);
          if (Under != FMouseControl) {
            TControl* Old = FMouseControl;
            FMouseControl = Under;
            if (Old) Old->Perform(CM_MOUSELEAVE, 0, 0);
            if (Under) Under->Perform(CM_MOUSEENTER, 0, 0);
          }
        }
        if (IsControlMouseMsg(M)) return;
      }
      break;
  }
  TControl::WndProc(M);
}

void TWinControl::Dispatch(TMessage& M) {
  switch (M.Msg) {
    case WM_PAINT: WMPaint(M); break;
    case WM_PRINTCLIENT: WMPrintClient(M); break;
    case WM_ERASEBKGND: WMEraseBkgnd(M); break;
    case WM_SIZE: WMSize(M); break;
    case WM_SETFOCUS: WMSetFocus(M); break;
    case WM_KILLFOCUS: WMKillFocus(M); break;
    case WM_SETCURSOR: WMSetCursor(M); break;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: WMKeyDown(M); break;
    case WM_KEYUP:
    case WM_SYSKEYUP: WMKeyUp(M); break;
    case WM_CHAR: WMChar(M); break;
    case WM_SYSCHAR: WMSysChar(M); break;
    case WM_SYSCOMMAND: WMSysCommand(M); break;
    case CM_DIALOGCHAR: CMDialogChar(M); break;
    case WM_CONTEXTMENU: WMContextMenu(M); break;
    case CN_KEYDOWN:
    case CN_SYSKEYDOWN: CNKeyDown(M); break;
    case CM_DIALOGKEY: CMDialogKey(M); break;
    case CM_WANTSPECIALKEY: CMWantSpecialKey(M); break;
    case CM_SHOWINGCHANGED: CMShowingChanged(M); break;
    case CM_ENABLEDCHANGED:
      if (FHandle) EnableWindow(FHandle, FEnabled ? TRUE : FALSE);
      Invalidate();
      break;
    case CM_FONTCHANGED:
    case CM_COLORCHANGED: {
      if (M.Msg == CM_FONTCHANGED)
        if (QWidget* Wd = gtui::NativeOf<QWidget>(FHandle)) Wd->setFont(gtui::ToQFont(FFont.get()));
      TMessage N;
      N.Msg = M.Msg == CM_FONTCHANGED ? CM_PARENTFONTCHANGED : CM_PARENTCOLORCHANGED;
      for (TControl* C : std::vector<TControl*>(FControls)) C->WindowProc(N);
      Invalidate();
      break;
    }
    case CM_CURSORCHANGED:
      if (FHandle && GetCapture() == nullptr) {
        TPoint P;
        GetCursorPos(&P);
        if (WindowFromPoint(P) == FHandle) Perform(WM_SETCURSOR, reinterpret_cast<WPARAM>(FHandle), HTCLIENT);
      }
      break;
    default: TControl::Dispatch(M); break;
  }
}

void TWinControl::DefaultHandler(TMessage& M) {
  gtui::TWindow* W = gtui::Lookup(FHandle);
  if (W && W->Kind == gtui::wkSurface)
    M.Result = DefWindowProc(FHandle, M.Msg, M.WParam, M.LParam);
  else
    M.Result = 0;
}

void TWinControl::WMWindowPosChanged(TMessage&) { UpdateBounds(); }

void TWinControl::WMPrintClient(TMessage& M) {
  // PRF_CHECKVISIBLE (1): a hidden control prints nothing.
  if ((M.LParam & 0x1) && !Visible()) return;
  if (!M.WParam) return;
  TMessage P = M;
  P.Msg = WM_PAINT;
  PaintHandler(P);
  M.Result = 0;
}

void TWinControl::WMPaint(TMessage& M) {
  if (!FHandle) return;
  PaintHandler(M);
}

void TWinControl::WMEraseBkgnd(TMessage& M) {
  HDC DC = reinterpret_cast<HDC>(M.WParam);
  if (DC && !FDoubleBuffered) {
    TRect R = ClientRect();
    HBRUSH B = CreateSolidBrush(static_cast<COLORREF>(ColorToRGB(FColor)));
    FillRect(DC, &R, B);
    DeleteObject(B);
  }
  M.Result = 1;
}

void TWinControl::WMSize(TMessage&) {
  UpdateBounds();
  Realign();
  if (!ComponentState().Contains(csLoading)) Resize();
}

void TWinControl::WMSetFocus(TMessage& M) {
  if (M.LParam != 1) DoEnter();
}

void TWinControl::WMKillFocus(TMessage& M) {
  if (M.LParam != 1) DoExit();
}

void TWinControl::WMSetCursor(TMessage& M) {
  if (LOWORD(static_cast<uintptr_t>(M.LParam)) == HTCLIENT) {
    TCursor Cur = Screen->Cursor();
    if (Cur == crDefault) {
      TPoint P;
      GetCursorPos(&P);
      TControl* C = ControlAtPos(ScreenToClient(P), false);
      if (C) Cur = C->FCursor;
      if (Cur == crDefault) Cur = FCursor;
    }
    if (Cur != crDefault) {
      ::SetCursor(Screen->Cursors(Cur));
      M.Result = 1;
      return;
    }
  }
  DefaultHandler(M);
}

void TWinControl::WMKeyDown(TMessage& M) {
  if (!DoKeyDown(M)) DefaultHandler(M);
}

void TWinControl::WMKeyUp(TMessage& M) {
  if (!DoKeyUp(M)) DefaultHandler(M);
}

void TWinControl::WMChar(TMessage& M) {
  if (!DoKeyPress(M)) DefaultHandler(M);
}

void TWinControl::WMContextMenu(TMessage& M) {
  TPopupMenu* P = PopupMenu();
  if (P && P->AutoPopup()) {
    // From the keyboard (-1) the menu opens at the control's corner.
    TPoint Pt(GET_X_LPARAM(M.LParam), GET_Y_LPARAM(M.LParam));
    if (M.LParam == -1) Pt = ClientToScreen(TPoint(0, 0));
    P->SetPopupComponent(this);
    P->Popup(Pt.X, Pt.Y);
    M.Result = 1;
    return;
  }
  DefaultHandler(M);
}

void TWinControl::CNKeyDown(TMessage& M) {
  M.Result = 1;
  LRESULT Mask = 0;
  switch (M.WParam) {
    case VK_TAB: Mask = DLGC_WANTTAB; break;
    case VK_LEFT:
    case VK_RIGHT:
    case VK_UP:
    case VK_DOWN: Mask = DLGC_WANTARROWS; break;
    case VK_RETURN:
    case VK_EXECUTE:
    case VK_ESCAPE:
    case VK_CANCEL: Mask = DLGC_WANTALLKEYS; break;
    default: break;
  }
  if (Mask != 0 && Perform(CM_WANTSPECIALKEY, M.WParam, M.LParam) == 0 && (Perform(WM_GETDLGCODE, 0, 0) & Mask) == 0) {
    if (TCustomForm* Form = GetParentForm(this))
      if (Form->Perform(CM_DIALOGKEY, M.WParam, M.LParam) != 0) return;
  }
  // Alt going down shows the menu bar's accelerators; the key itself goes on.
  if (M.Msg == CN_SYSKEYDOWN && M.WParam == VK_MENU)
    if (TCustomForm* Form = GetParentForm(this)) Form->Perform(CM_DIALOGKEY, VK_MENU, M.LParam);
  if (IsMenuKey(M)) return;
  M.Result = 0;
}

bool TWinControl::IsMenuKey(TMessage& M) {
  return SendMessage(Application->Handle(), CM_APPKEYDOWN, M.WParam, M.LParam) != 0;
}

void TWinControl::CMDialogKey(TMessage& M) { Broadcast(M); }

void TWinControl::CMDialogChar(TMessage& M) { Broadcast(M); }

void TWinControl::WMSysChar(TMessage& M) {
  if (TCustomForm* Form = GetParentForm(this))
    if (Form->Perform(CM_DIALOGCHAR, M.WParam, M.LParam) != 0) {
      M.Result = 1;
      return;
    }
  WMChar(M);
}

namespace {
// Depth first over the showing controls that take menu events; the first
// non-zero answer ends the search.
bool OfferSysCommand(TWinControl* Parent, TMessage& M) {
  for (Integer i = 0; i < Parent->ControlCount(); ++i) {
    auto* C = dynamic_cast<TWinControl*>(Parent->Controls(i));
    if (!C || !C->Showing() || !C->Enabled()) continue;
    if (C->ControlStyle().Contains(csMenuEvents)) {
      if (C->Perform(M.Msg, M.WParam, M.LParam) != 0) return true;
    } else if (OfferSysCommand(C, M)) {
      return true;
    }
  }
  return false;
}
}  // namespace

void TWinControl::WMSysCommand(TMessage& M) {
  if ((M.WParam & 0xFFF0) == SC_KEYMENU && M.LParam != VK_SPACE && M.LParam != '-' && !GetCapture()) {
    if (SendMessage(Application->Handle(), CM_APPSYSCOMMAND, 0, reinterpret_cast<LPARAM>(&M)) != 0) {
      M.Result = 1;
      return;
    }
    if (OfferSysCommand(this, M)) {
      M.Result = 1;
      return;
    }
  }
  DefaultHandler(M);
}

void TWinControl::CMWantSpecialKey(TMessage& M) { M.Result = 0; }

void TWinControl::CMVisibleChanged(TMessage&) { UpdateControlState(); }

void TWinControl::CMShowingChanged(TMessage&) {
  if (FHandle) ShowWindow(FHandle, FShowing ? SW_SHOWNOACTIVATE : SW_HIDE);
}

// ---------------------------------------------------------------- TCustomControl, TGraphicControl

TCustomControl::TCustomControl(TComponent* AOwner)
    : TWinControl(AOwner), FCanvas(std::make_unique<TControlCanvas>()) {
  FCanvas->SetControl(this);
}

TCustomControl::~TCustomControl() {
  // The canvas goes before the window: its DC belongs to the window.
  FCanvas->FreeHandle();
}

void TCustomControl::PaintWindow(HDC DC) {
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

void TCustomControl::WMPaint(TMessage& M) {
  FControlState.Include(csCustomPaint);
  try {
    TWinControl::WMPaint(M);
  } catch (...) {
    FControlState.Exclude(csCustomPaint);
    throw;
  }
  FControlState.Exclude(csCustomPaint);
}

TGraphicControl::TGraphicControl(TComponent* AOwner)
    : TControl(AOwner), FCanvas(std::make_unique<TControlCanvas>()) {
  FCanvas->SetControl(this);
}

TGraphicControl::~TGraphicControl() { FCanvas->FreeHandle(); }

void TGraphicControl::Dispatch(TMessage& M) {
  if (M.Msg == WM_PAINT && M.WParam) {
    FCanvas->Lock();
    FCanvas->SetHandle(reinterpret_cast<HDC>(M.WParam));
    try {
      Paint();
    } catch (...) {
      FCanvas->SetHandle(nullptr);
      FCanvas->Unlock();
      throw;
    }
    FCanvas->SetHandle(nullptr);
    FCanvas->Unlock();
    return;
  }
  TControl::Dispatch(M);
}
