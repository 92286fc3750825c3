// The dock and the small window routines the docking code shares.
#include "controls/tbdock.h"

#include <algorithm>

#include "controls/tbcommon.h"
#include "controls/tbdockwin.h"
#include "platform/graphics/colors.h"
#include "platform/graphics/gdi.h"

namespace {

template <class T>
bool Contains(const std::vector<T*>& L, const T* Item) {
  return std::find(L.begin(), L.end(), Item) != L.end();
}
template <class T>
void Remove(std::vector<T*>& L, const T* Item) {
  L.erase(std::remove(L.begin(), L.end(), Item), L.end());
}

}  // namespace

// ---------------------------------------------------------------- TTBDock

TTBDock::TTBDock(TComponent* AOwner) : TCustomControl(AOwner) {
  FControlStyle.Include(csAcceptsControls).Include(csMenuEvents);
  FControlStyle.Exclude(csCaptureMouse).Exclude(csOpaque);
  SetColor(clBtnFace);
  FBackgroundChanged = [this](TObject* Sender) { InvalidateBackground(Sender); };
  SetPosition(dpTop);
}

TTBDock::~TTBDock() {
  SetBackground(nullptr);
  // Bars outlive their dock when they float or belong to another parent;
  // they must not reach back into a dock that is going.
  auto Bars = FBarList;
  FBarList.clear();
  FVisibleBarList.clear();
  for (TTBCustomDockableWindow* B : Bars) B->DockDestroying(this);
}

void TTBDock::SetParent(TWinControl* AParent) {
  if (AParent && (dynamic_cast<TTBCustomDockableWindow*>(AParent) || dynamic_cast<TTBDock*>(AParent)))
    throw EInvalidOperation("A TTBDock control cannot be placed inside a tool window or another TTBDock");
  TCustomControl::SetParent(AParent);
}

void TTBDock::CreateParams(TCreateParams& Params) {
  TCustomControl::CreateParams(Params);
  // Resizing the strip must not repaint all of it.
  if (!ComponentState().Contains(csDesigning)) Params.WindowClass.style &= ~(CS_HREDRAW | CS_VREDRAW);
}

void TTBDock::SetPosition(TTBDockPosition Value) {
  if (Value != FPosition && ControlCount() > 0)
    throw EInvalidOperation("Cannot change Position of a TTBDock if it already contains controls");
  FPosition = Value;
  static constexpr TAlign Aligns[] = {alTop, alBottom, alLeft, alRight};
  SetAlign(Aligns[Value]);
}

void TTBDock::SetAllowDrag(bool Value) {
  if (Value == FAllowDrag) return;
  FAllowDrag = Value;
  for (Integer i = 0; i < ControlCount(); ++i)
    if (auto* B = dynamic_cast<TTBCustomDockableWindow*>(Controls(i))) RecalcNCArea(B);
}

void TTBDock::SetBoundLines(TTBDockBoundLines Value) {
  FBoundLines = Value;
  FBoundLineCountX = Value.Contains(blLeft) + Value.Contains(blRight);
  FBoundLineCountY = Value.Contains(blTop) + Value.Contains(blBottom);
  RecalcNCArea(this);
}

void TTBDock::SetBackground(TTBBasicBackground* Value) {
  if (Value == FBackground) return;
  if (FBackground) {
    FBackground->UnregisterChanges(FBackgroundChanged);
    FBackground->RemoveFreeNotification(this);
  }
  FBackground = Value;
  if (Value) {
    Value->FreeNotification(this);
    Value->RegisterChanges(FBackgroundChanged);
  }
  if (!ComponentState().Contains(csDestroying)) InvalidateBackground();
}

void TTBDock::SetBackgroundOnToolbars(bool Value) {
  if (Value == FBackgroundOnToolbars) return;
  FBackgroundOnToolbars = Value;
  InvalidateBackground();
}

void TTBDock::SetFixAlign(bool Value) {
  if (Value == FFixAlign) return;
  FFixAlign = Value;
  ArrangeBars();
}

void TTBDock::SetLimitToOneRow(bool Value) {
  if (Value == FLimitToOneRow) return;
  FLimitToOneRow = Value;
  ArrangeBars();
}

bool TTBDock::UsingBackground() { return FBackground && FBackground->UsingBackground(); }

void TTBDock::DrawBackground(HDC DC, const TRect& DrawRect) {
  if (FBackground) FBackground->Draw(DC, DrawRect);
}

void TTBDock::EndUpdate() {
  if (FUpdateLock > 0 && --FUpdateLock == 0 && FArrangePending) ArrangeBars();
}

bool TTBDock::BarVisibleHere(TTBCustomDockableWindow* Bar) {
  return Bar->Parent() == this && (Bar->Visible() || Bar->ComponentState().Contains(csDesigning));
}

bool TTBDock::HasVisibleBars() {
  return std::any_of(FBarList.begin(), FBarList.end(), [this](auto* B) { return BarVisibleHere(B); });
}

void TTBDock::ArrangeBars() {
  if (FUpdateLock > 0 || ComponentState().Contains(csLoading)) {
    FArrangePending = true;
    return;
  }
  ++FUpdateLock;
  struct TUnlock {
    TTBDock* D;
    ~TUnlock() {
      --D->FUpdateLock;
      D->CommitPositions = false;
      D->FArrangePending = false;
    }
  } Unlock{this};

  const bool Vertical = FPosition == dpLeft || FPosition == dpRight;
  if (!HasVisibleBars()) {
    Integer Thick = ComponentState().Contains(csDesigning) ? 9 : (FFixAlign ? 1 : 0);
    if (Vertical)
      SetBoundsKeepingEdge(Thick, Height());
    else
      SetBoundsKeepingEdge(Width(), Thick);
    return;
  }
  Integer Avail = std::max<Integer>(Vertical ? Height() - FBoundLineCountY : Width() - FBoundLineCountX, 0);
  auto Dying = [](TTBCustomDockableWindow* B) { return B->ComponentState().Contains(csDestroying); };
  FBarList.erase(std::remove_if(FBarList.begin(), FBarList.end(), Dying), FBarList.end());
  FVisibleBarList.erase(std::remove_if(FVisibleBarList.begin(), FVisibleBarList.end(), Dying),
                        FVisibleBarList.end());

  std::vector<TTBArrangedBar*> Work(FBarList.begin(), FBarList.end());
  TTBArrangeParams P;
  P.Vertical = Vertical;
  P.AvailableLength = Avail;
  P.LimitToOneRow = FLimitToOneRow;
  P.CommitPositions = CommitPositions;
  P.VisibleHere = [this](TTBArrangedBar* B) { return BarVisibleHere(static_cast<TTBCustomDockableWindow*>(B)); };
  Integer Total = ArrangeBarRows(Work, P);
  if (CommitPositions) {
    FBarList.clear();
    for (TTBArrangedBar* B : Work) FBarList.push_back(static_cast<TTBCustomDockableWindow*>(B));
  }
  std::vector<TTBArrangedBar*> Visible(FVisibleBarList.begin(), FVisibleBarList.end());
  SortBarsByPosition(Visible);
  FVisibleBarList.clear();
  for (TTBArrangedBar* B : Visible) FVisibleBarList.push_back(static_cast<TTBCustomDockableWindow*>(B));

  if (Vertical)
    SetBoundsKeepingEdge(FBoundLineCountX + Total, Height());
  else
    SetBoundsKeepingEdge(Width(), FBoundLineCountY + Total);
}

Integer TTBDock::GetRowThickness(Integer Row, bool& FullSize) {
  FullSize = false;
  if (Row < 0) return 0;
  const bool Vertical = FPosition == dpLeft || FPosition == dpRight;
  Integer Result = 0;
  for (TTBCustomDockableWindow* B : FBarList) {
    if (!BarVisibleHere(B) || B->EffectiveDockRow() != Row) continue;
    Result = std::max(Result, Vertical ? B->Width() : B->Height());
    FullSize = B->FullSize();
  }
  return Result;
}

Integer TTBDock::GetOtherBarsRowThickness(Integer Row, TTBCustomDockableWindow* Leave) {
  if (Row < 0) return 0;
  Integer Result = 0;
  for (TTBCustomDockableWindow* B : FBarList)
    if (B != Leave && BarVisibleHere(B) && B->EffectiveDockRow() == Row) Result = std::max(Result, B->RowThickness());
  return Result;
}

Integer TTBDock::GetHighestRow(bool Effective) {
  Integer Result = -1;
  for (TTBCustomDockableWindow* B : FBarList)
    Result = std::max(Result, Effective ? B->EffectiveDockRow() : B->DockRow());
  return Result;
}

Integer TTBDock::GetRowAt(Integer Offset) {
  Integer Highest = GetHighestRow(true), Sum = 0;
  for (Integer Row = 0; Row <= Highest; ++Row) {
    bool Full;
    Sum += GetRowThickness(Row, Full);
    if (Sum > Offset) return Row;
  }
  return Highest + 1;
}

void TTBDock::SetBoundsKeepingEdge(Integer AWidth, Integer AHeight) {
  switch (Align()) {
    case alBottom: SetBounds(Left(), Top() + Height() - AHeight, AWidth, AHeight); break;
    case alRight: SetBounds(Left() + Width() - AWidth, Top(), AWidth, AHeight); break;
    case alClient:
    case alCustom: break;
    default: SetBounds(Left(), Top(), AWidth, AHeight); break;
  }
}

void TTBDock::ChangeDockList(bool Insert, TTBCustomDockableWindow* Bar) {
  if (Insert) {
    if (!Contains(FBarList, Bar)) {
      FBarList.push_back(Bar);
      Bar->FreeNotification(this);
    }
  } else
    Remove(FBarList, Bar);
  ChangeVisibleList(Bar, false);
}

void TTBDock::ChangeVisibleList(TTBCustomDockableWindow* Bar, bool ForceRemove) {
  bool Belongs = !ForceRemove && BarVisibleHere(Bar);
  if (Belongs == Contains(FVisibleBarList, Bar)) return;
  if (Belongs)
    FVisibleBarList.push_back(Bar);
  else
    Remove(FVisibleBarList, Bar);
  ArrangeBars();
  if (OnInsertRemoveBar) OnInsertRemoveBar(this, Belongs, Bar);
}

void TTBDock::InvalidateBackground(TObject*) {
  InvalidateAll(this);
  for (TTBCustomDockableWindow* B : FVisibleBarList) InvalidateAll(B);
}

void TTBDock::Notification(TComponent* AComponent, TOperation Operation) {
  TCustomControl::Notification(AComponent, Operation);
  if (Operation != opRemove) return;
  if (AComponent == FBackground) FBackground = nullptr;
  // Compared as components: the bar may be half destroyed already.
  auto Same = [AComponent](TTBCustomDockableWindow* B) { return static_cast<TComponent*>(B) == AComponent; };
  FBarList.erase(std::remove_if(FBarList.begin(), FBarList.end(), Same), FBarList.end());
  FVisibleBarList.erase(std::remove_if(FVisibleBarList.begin(), FVisibleBarList.end(), Same),
                        FVisibleBarList.end());
}

void TTBDock::Loaded() {
  TCustomControl::Loaded();
  ArrangeBars();
}

void TTBDock::AlignControls(TControl*, TRect&) { ArrangeBars(); }

void TTBDock::Paint() {
  if (!ComponentState().Contains(csDesigning)) return;
  TRect R = ClientRect();
  HPEN Pen = CreatePen(PS_DOT, 1, GetSysColor(COLOR_BTNSHADOW));
  HGDIOBJ Old = SelectObject(Canvas()->Handle(), Pen);
  HGDIOBJ OldBrush = SelectObject(Canvas()->Handle(), GetStockObject(NULL_BRUSH));
  Rectangle(Canvas()->Handle(), R.Left, R.Top, R.Right, R.Bottom);
  SelectObject(Canvas()->Handle(), OldBrush);
  SelectObject(Canvas()->Handle(), Old);
  DeleteObject(Pen);
}

void TTBDock::DrawNCArea(HDC DC) {
  if (FBoundLines.Empty() || (!HasVisibleBars() && !ComponentState().Contains(csDesigning))) return;
  TRect W;
  GetWindowRect(Handle(), &W);
  const Integer Wd = W.Width(), Ht = W.Height();
  const COLORREF Shadow = GetSysColor(COLOR_BTNSHADOW), Light = GetSysColor(COLOR_BTNHIGHLIGHT);
  if (FBoundLines.Contains(blTop)) FillSolid(DC, TRect(0, 0, Wd, 1), Shadow);
  if (FBoundLines.Contains(blLeft)) FillSolid(DC, TRect(0, 0, 1, Ht), Shadow);
  if (FBoundLines.Contains(blBottom)) FillSolid(DC, TRect(0, Ht - 1, Wd, Ht), Light);
  if (FBoundLines.Contains(blRight)) FillSolid(DC, TRect(Wd - 1, 0, Wd, Ht), Light);
}

void TTBDock::ForwardToFloatingBars(TMessage& Message, bool MenuBarsOnly) {
  for (TTBCustomDockableWindow* B : std::vector<TTBCustomDockableWindow*>(FBarList)) {
    if (!B->Floating() || !B->CanFocus()) continue;
    if (MenuBarsOnly && !B->ControlStyle().Contains(csMenuEvents)) continue;
    LRESULT R = B->Perform(Message.Msg, Message.WParam, Message.LParam);
    if (R != 0) {
      Message.Result = R;
      return;
    }
  }
}

void TTBDock::WndProc(TMessage& Message) {
  switch (Message.Msg) {
    case WM_NCCALCSIZE: {
      auto* R = reinterpret_cast<TRect*>(Message.LParam);
      R->Left += FBoundLines.Contains(blLeft);
      R->Top += FBoundLines.Contains(blTop);
      R->Right -= FBoundLines.Contains(blRight);
      R->Bottom -= FBoundLines.Contains(blBottom);
      Message.Result = 0;
      return;
    }
    case WM_NCPAINT: {
      HDC DC = GetWindowDC(Handle());
      ClipToNonClientUpdateRegion(Handle(), DC, reinterpret_cast<HRGN>(Message.WParam));
      DrawNCArea(DC);
      ReleaseDC(Handle(), DC);
      return;
    }
    case WM_PRINT:
      EmulatePrint(Handle(), Message, [this](HWND, HDC DC, void*) { DrawNCArea(DC); }, nullptr);
      return;
    case WM_PRINTCLIENT:
      EmulatePrintClient(
          Message, [this](TObject*, TMessage& M) { WMPrintClient(M); }, this);
      return;
    case WM_ERASEBKGND:
      if (UsingBackground()) {
        TRect C = ClientRect();
        TRect W;
        GetWindowRect(Handle(), &W);
        TPoint Origin = ClientOrigin();
        TRect Draw = C;
        Integer DX = Left() + (Origin.X - W.Left), DY = Top() + (Origin.Y - W.Top);
        OffsetRect(Draw, -DX, -DY);
        HDC DC = reinterpret_cast<HDC>(Message.WParam);
        SaveDC(DC);
        IntersectClipRect(DC, C.Left, C.Top, C.Right, C.Bottom);
        DrawBackground(DC, Draw);
        RestoreDC(DC, -1);
        Message.Result = 1;
        return;
      }
      break;
    case WM_MOVE:
      TCustomControl::WndProc(Message);
      if (UsingBackground()) InvalidateBackground();
      return;
    case WM_SYSCOLORCHANGE:
      if (FBackground) FBackground->SysColorChanged();
      break;
    case WM_SYSCOMMAND:
      // Only the key menu is passed on to floating menu bars; other system
      // commands are not the dock's business.
      if ((Message.WParam & 0xFFF0) == SC_KEYMENU) ForwardToFloatingBars(Message, true);
      return;
    case CM_DIALOGKEY:
    case CM_DIALOGCHAR:
      Message.Result = 0;
      ForwardToFloatingBars(Message, false);
      if (Message.Result != 0) return;
      break;
    case WM_QUERYNEWPALETTE:
      if (FBackground && FBackground->GetPalette()) {
        Message.Result = 1;
        return;
      }
      break;
    default: break;
  }
  TCustomControl::WndProc(Message);
}

// ---------------------------------------------------------------- unit routines

TTBDockKind GetDockKind(TTBDock* Dock, bool Floating) {
  if (Floating) return dkFloating;
  if (!Dock) return dkNone;
  return Dock->Position() == dpLeft || Dock->Position() == dpRight ? dkVertical : dkHorizontal;
}

Integer GetSmallCaptionHeight() { return GetSystemMetrics(SM_CYSMCAPTION); }

TCustomForm* GetMDIParentOf(TCustomForm* Form) {
  if (!Form || Form->FormStyle() != fsMDIChild) return Form;
  for (Integer i = 0; i < Screen->CustomFormCount(); ++i) {
    TCustomForm* F = Screen->CustomForms(i);
    if (F->FormStyle() != fsMDIForm) continue;
    for (Integer j = 0; j < F->MDIChildCount(); ++j)
      if (F->MDIChildren(j) == Form) return F;
  }
  return Form;
}

TCustomForm* GetParentFormOf(TControl* Control) {
  TCustomForm* Result = nullptr;
  for (TControl* C = Control; C; C = C->Parent())
    if (auto* F = dynamic_cast<TCustomForm*>(C)) Result = F;
  if (auto* Owned = dynamic_cast<TTBFloatingFormLink*>(Result)) return Owned->FloatingParentForm();
  return Result;
}

TCustomForm* GetParentFormOrRaise(TControl* Control) {
  TCustomForm* F = GetParentFormOf(Control);
  if (!F) throw EInvalidOperation(u"Control '" + Control->Name() + u"' has no parent window");
  return F;
}

void SetWindowOwner(HWND Wnd, HWND Owner) {
  SetWindowLong(Wnd, GWL_HWNDPARENT, static_cast<LONG>(reinterpret_cast<uintptr_t>(Owner)));
}

HWND FindTopLevelWindow(HWND Skip) {
  HWND FirstNormal = nullptr, FirstTopmost = nullptr;
  HWND App = Application->Handle();
  EnumWindows(
      [&](HWND W, LPARAM) {
        if (W == Skip || W == App || !IsWindowVisible(W) || !IsWindowEnabled(W)) return TRUE;
        if (GetWindowLong(W, GWL_EXSTYLE) & WS_EX_TOPMOST) {
          if (!FirstTopmost) FirstTopmost = W;
          return TRUE;
        }
        FirstNormal = W;
        return FALSE;
      },
      0);
  return FirstNormal ? FirstNormal : FirstTopmost;
}

bool IsAncestorWindow(HWND Wnd, HWND Other) {
  for (HWND W = Other; W; W = reinterpret_cast<HWND>(static_cast<uintptr_t>(
                              static_cast<ULONG>(GetWindowLong(W, GWL_HWNDPARENT))))) {
    if (W == Wnd) return true;
  }
  return false;
}

void RecalcNCArea(TWinControl* Control) {
  if (Control->HandleAllocated())
    SetWindowPos(Control->Handle(), nullptr, 0, 0, 0, 0,
                 SWP_FRAMECHANGED | SWP_NOACTIVATE | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER);
}

void InvalidateAll(TWinControl* Control) {
  if (Control->HandleAllocated())
    RedrawWindow(Control->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_NOCHILDREN);
}

bool TrackNCButton(HWND Wnd, const TRect& Button, const std::function<void(bool Pushed)>& Pushed) {
  auto Inside = [&Button] {
    TPoint P;
    GetCursorPos(&P);
    return PtInRect(Button, P) != 0;
  };
  Pushed(Inside());
  SetCapture(Wnd);
  bool Result = false;
  try {
    MSG M;
    while (GetCapture() == Wnd) {
      if (!GetMessage(&M, nullptr, 0, 0)) {
        PostQuitMessage(static_cast<Integer>(M.wParam));
        break;
      }
      if (M.message == WM_MOUSEMOVE) {
        Pushed(Inside());
      } else if (M.message == WM_LBUTTONUP) {
        Result = Inside();
        break;
      } else if (M.message == WM_LBUTTONDOWN || M.message == WM_LBUTTONDBLCLK) {
        break;
      } else if ((M.message >= WM_KEYFIRST && M.message <= WM_KEYLAST) ||
                 (M.message >= WM_MOUSEFIRST && M.message <= WM_MOUSELAST)) {
        // Swallowed while the button is held.
      } else {
        TranslateMessage(&M);
        DispatchMessage(&M);
      }
    }
  } catch (...) {
    if (GetCapture() == Wnd) ReleaseCapture();
    Pushed(false);
    throw;
  }
  if (GetCapture() == Wnd) ReleaseCapture();
  Pushed(false);
  return Result;
}
