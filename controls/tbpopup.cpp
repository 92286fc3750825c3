// Popup windows: creation, placement beside the parent item, the frame and
// scroll arrows, and the popup-menu component.
#include "controls/tbpopup.h"

#include "controls/tbacc.h"
#include "controls/tbcommon.h"
#include "platform/ui/forms.h"
#include "platform/ui/hints.h"

namespace {

constexpr Integer FrameSize = 3;
constexpr Integer ArrowBand = 19;
// Window-class hints: keep what lies beneath, and cast a shadow.
constexpr DWORD ClassSaveBits = 0x0800, ClassDropShadow = 0x00020000;
constexpr WPARAM UISInitialize = 3;
constexpr LRESULT UISFHideAccel = 0x2;

bool g_FirstPopupShown = false;

void FrameWithColor(HDC DC, TRect& R, COLORREF Color) {
  HBRUSH B = CreateSolidBrush(Color);
  FrameRect(DC, &R, B);
  DeleteObject(B);
  InflateRect(R, -1, -1);
}

TRect ScreenRectOf(TTBView* View, const TRect& R) {
  TWinControl* W = View->Window();
  if (!W) return R;
  const TPoint TL = W->ClientToScreen(TPoint(R.Left, R.Top));
  return TRect(TL.X, TL.Y, TL.X + R.Width(), TL.Y + R.Height());
}

}  // namespace

void TBResetFirstPopupFlag() { g_FirstPopupShown = false; }

// ---------------------------------------------------------------- popup view

void TTBPopupView::ApplyAutoSize(Integer AWidth, Integer AHeight) {
  if (TWinControl* W = Window()) W->SetBounds(W->Left(), W->Top(), AWidth + 2 * FrameSize, AHeight + 2 * FrameSize);
}

TFont* TTBPopupView::ViewFont() {
  if (TWinControl* W = Window()) return W->Font();
  return TTBView::ViewFont();
}

// ---------------------------------------------------------------- popup window

TTBPopupWindow::TTBPopupWindow(TComponent* AOwner, TTBView* ParentView, TTBCustomItem* Item, bool Customizing)
    : TCustomControl(AOwner) {
  SetVisible(false);
  SetBounds(0, 0, 320, 240);
  SetControlStyle(TControlStyle(ControlStyle()).Exclude(csCaptureMouse));
  SetShowHint(true);
  SetColor(clMenu);
  FView = CreatePopupView(ParentView, Item, Customizing);
  if (ParentView)
    Font()->Assign(ParentView->ViewFont());
  else if (TCustomForm* Main = Application->MainForm())
    Font()->Assign(Main->Font());
  TTBViewStyle Style = FView->Style();
  TTBViewState State = FView->State();
  if (!ParentView || ParentView->Style().Contains(vstHideAccelsUntilAlt)) Style.Include(vstHideAccelsUntilAlt);
  if (ParentView && ParentView->State().Contains(vsShowAccels)) State.Include(vsShowAccels);
  FView->SetStyle(Style);
  FView->SetState(State);
}

TTBPopupView* TTBPopupWindow::CreatePopupView(TTBView* ParentView, TTBCustomItem* Item, bool Customizing) {
  return new TTBPopupView(this, ParentView, Item, this, false, Customizing, false);
}

TTBPopupWindow::~TTBPopupWindow() {
  FView->CloseChildPopups();
  DestroyHandle();
  TTBPopupView* V = FView;
  FView = nullptr;
  delete V;
}

void TTBPopupWindow::CreateParams(TCreateParams& Params) {
  TCustomControl::CreateParams(Params);
  Params.Style = (Params.Style & ~static_cast<DWORD>(WS_CHILD | WS_GROUP | WS_TABSTOP)) | WS_POPUP;
  Params.ExStyle |= WS_EX_TOPMOST | WS_EX_TOOLWINDOW;
  Params.WindowClass.style |= ClassSaveBits | ClassDropShadow;
  Params.WndParent = Application->Handle();
}

void TTBPopupWindow::CreateWnd() {
  TCustomControl::CreateWnd();
  // A root popup learns once whether the keyboard cues are to be shown.
  if (FView && !FView->ParentView() && !FUIStateInitialized) {
    FUIStateInitialized = true;
    SendMessage(Handle(), WM_CHANGEUISTATE, UISInitialize, 0);
    const LRESULT UIState = SendMessage(Handle(), WM_QUERYUISTATE, 0, 0);
    FView->ShowAccelerators((UIState & UISFHideAccel) == 0);
  }
}

void TTBPopupWindow::DestroyWnd() {
  if (HandleAllocated()) EndPopupAnimationFor(Handle());
  if (FView) FView->StopAllTimers();
  NotifyAccEvent(EVENT_SYSTEM_MENUPOPUPEND, Handle(), OBJID_CLIENT, CHILDID_SELF);
  TCustomControl::DestroyWnd();
}

void TTBPopupWindow::ShowPopup() {
  SetVisible(true);
  // A window without parent control shows through its handle, neither
  // activated nor moved in the stacking order.
  HandleNeeded();
  TTBView* ParentView = FView->ParentView();
  // Only a popup opened by the mouse (nothing selected yet) animates.
  if (!IsWindowVisible(Handle()) && !FView->Selected() &&
      !(ParentView && ParentView->State().Contains(vsNoAnimation)) && SystemFlag(SPI_GETMENUANIMATION, false)) {
    const bool Fade = SystemFlag(SPI_GETMENUFADE, false);
    if (Fade || FAnimationDirection != 0) {
      try {
        StartPopupAnimation(Handle(), Fade, FAnimationDirection);
        return;
      } catch (const Exception&) {
        // The menu still opens, only without the animation.
        InvalidateRect(Handle(), nullptr, TRUE);
      }
    }
  }
  SetWindowPos(Handle(), nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
}

void TTBPopupWindow::PaintFrame(HDC DC) {
  TRect R(0, 0, Width(), Height());
  if (FlatMenusActive()) {
    FrameWithColor(DC, R, GetSysColor(COLOR_BTNSHADOW));
    const COLORREF Window = static_cast<COLORREF>(ColorToRGB(Color()));
    FrameWithColor(DC, R, Window);
    FrameWithColor(DC, R, Window);
  } else {
    DrawEdge(DC, &R, EDGE_RAISED, BF_RECT | BF_ADJUST);
    FrameWithColor(DC, R, GetSysColor(COLOR_BTNFACE));
  }
}

void TTBPopupWindow::WndProc(TMessage& Message) {
  switch (Message.Msg) {
    case WM_NCCALCSIZE: {
      auto* R = reinterpret_cast<TRect*>(Message.LParam);
      InflateRect(*R, -FrameSize, -FrameSize);
      break;
    }
    case WM_NCPAINT: {
      // While the window animates, its margins show the snapshot where the
      // animation put it; a frame drawn in place would tear from it.
      if (PopupAnimationWindow() == Handle()) {
        Message.Result = 0;
        return;
      }
      HDC DC = GetWindowDC(Handle());
      ClipToNonClientUpdateRegion(Handle(), DC, reinterpret_cast<HRGN>(Message.WParam));
      PaintFrame(DC);
      ReleaseDC(Handle(), DC);
      Message.Result = 0;
      return;
    }
    case WM_PRINT:
      EmulatePrint(
          Handle(), Message, [this](HWND, HDC DC, void*) { PaintFrame(DC); }, nullptr);
      return;
    case WM_PRINTCLIENT:
      EmulatePrintClient(
          Message, [this](TObject*, TMessage& M) { WMPaint(M); }, this);
      return;
    case WM_CLOSE:
      Message.Result = 0;
      return;
    case WM_ERASEBKGND:
    case WM_PAINT: EndPopupAnimationFor(Handle()); break;
    case WM_SHOWWINDOW:
      if (!Message.WParam) EndPopupAnimationFor(Handle());
      break;
    case WM_TIMER:
      if (Message.WParam >= 9000 && Message.WParam <= 9003) {
        FView->TimerFired(static_cast<Integer>(Message.WParam - 9000));
        return;
      }
      break;
    case WM_GETOBJECT:
      if (FView->HandleGetObject(Message)) return;
      break;
    case CM_HINTSHOW: {
      auto* Info = reinterpret_cast<THintInfo*>(Message.LParam);
      FView->HandleHintShow(Info->CursorPos, Info->CursorRect, Info->HintStr, Info->HintData);
      Message.Result = 0;
      return;
    }
    default: break;
  }
  TCustomControl::WndProc(Message);
}

void TTBPopupWindow::Paint() {
  FView->PaintViewers(Canvas());
  PaintScrollArrows();
}

void TTBPopupWindow::PaintScrollArrows() {
  auto Triangle = [&](const TRect& Band, bool Up) {
    const Integer CX = (Band.Left + Band.Right) / 2, CY = (Band.Top + Band.Bottom) / 2 - 1;
    TPoint P[3];
    if (Up) {
      P[0] = TPoint(CX - 3, CY + 3);
      P[1] = TPoint(CX + 3, CY + 3);
      P[2] = TPoint(CX, CY);
    } else {
      P[0] = TPoint(CX - 3, CY);
      P[1] = TPoint(CX + 3, CY);
      P[2] = TPoint(CX, CY + 3);
    }
    TCanvas* C = Canvas();
    C->Pen()->SetColor(clMenuText);
    C->Brush()->SetStyle(bsSolid);
    C->Brush()->SetColor(clMenuText);
    C->Polygon(P, 3);
  };
  const TRect Client = ClientRect();
  if (FView->ShowUpArrow()) Triangle(TRect(0, 0, Client.Right, ArrowBand), true);
  if (FView->ShowDownArrow()) Triangle(TRect(0, Client.Bottom - ArrowBand, Client.Right, Client.Bottom), false);
}

// ---------------------------------------------------------------- opening a popup

TTBPopupWindow* TTBCustomItem::CreatePopupWindow(TTBView* ParentView, bool Customizing) {
  return new TTBPopupWindow(nullptr, ParentView, this, Customizing);
}

TTBPopupWindow* TTBCustomItem::OpenPopup(TTBView* ParentView, TTBItemViewer* ParentViewer, bool PositionAsSubmenu,
                                         bool SelectFirst, bool Customizing, const TPoint& PopupPoint,
                                         TPopupAlignment Alignment) {
  TTBCustomItem* Source = SubitemSource();
  if (Source != this) Source->PopupOpening(this, true);
  PopupOpening(this, false);

  TTBView* Chevron = ChevronSourceView();
  TTBCustomItem* Shown = Chevron ? Chevron->ParentItem() : this;
  const bool ParentLeftwards = ParentView && ParentView->State().Contains(vsOpenedLeftwards);

  TTBPopupWindow* Window = Shown->CreatePopupWindow(ParentView, Customizing);
  try {
    TTBPopupView* View = Window->View();
    if (Chevron) {
      Chevron->FreeNotification(View);
      View->SetChevronParentView(Chevron);
      View->SetIsToolbar(true);
      TTBViewStyle S = View->Style();
      if (Chevron->Style().Contains(vstAlwaysShowHints))
        S.Include(vstAlwaysShowHints);
      else
        S.Exclude(vstAlwaysShowHints);
      View->SetStyle(S);
      Window->SetColor(clBtnFace);
    }

    TTBPopupPlacementInput In;
    In.HasParentView = ParentView != nullptr;
    if (ParentView) {
      ParentView->EnsureLayout();
      In.ParentRect = ParentViewer ? ScreenRectOf(ParentView, ParentViewer->BoundsRect) : TRect();
      In.ParentVertical = ParentView->IsToolbar() && ParentView->Orientation() == tbvoVertical;
      for (Integer I = 0; I < ParentView->ViewerCount(); ++I) {
        TTBItemViewer* V = ParentView->Viewers(I);
        if (V->Show) In.ParentViewers.push_back(ScreenRectOf(ParentView, V->BoundsRect));
      }
    } else {
      In.ParentRect = TRect(PopupPoint.X, PopupPoint.Y, PopupPoint.X, PopupPoint.Y);
    }
    TRect Monitor = ParentView ? ParentView->MonitorRect() : TRect();
    if (IsRectEmpty(Monitor)) {
      if (ParentView)
        MonitorAreaOfRect(In.ParentRect, true, Monitor);
      else
        MonitorAreaOfPoint(PopupPoint, true, Monitor);
    }
    View->SetMonitorRect(Monitor);
    if (Chevron)
      View->SetWrapOffset(Monitor.Width() - 2 * FrameSize);
    else
      View->SetMaxHeight(Monitor.Height() - 2 * FrameSize);

    if (SelectFirst) View->Select(View->FirstSelectable(), false);
    TPoint Size;
    View->Relayout(Size);

    In.Monitor = Monitor;
    In.Width = Window->Width();
    In.Height = Window->Height();
    In.PositionAsSubmenu = PositionAsSubmenu;
    In.Chevron = Chevron != nullptr;
    In.ChevronVertical = Chevron && Chevron->Orientation() == tbvoVertical;
    In.OpenedLeftwards = ParentLeftwards;
    In.Alignment = Alignment == paRight ? tbpaRight : Alignment == paCenter ? tbpaCenter : tbpaLeft;
    In.MenuDropAlignmentRight = GetSystemMetrics(SM_MENUDROPALIGNMENT) != 0;
    const TTBPopupPlacement Place = PlacePopup(In);
    if (Place.OpenedLeftwards) View->SetState(TTBViewState(View->State()).Include(vsOpenedLeftwards));
    Window->SetAnimationDirection(static_cast<Byte>((Place.SlideLeft ? tbadLeftwards : 0) |
                                                    (Place.SlideRight ? tbadRightwards : 0) |
                                                    (Place.SlideDown ? tbadDownwards : 0) |
                                                    (Place.SlideUp ? tbadUpwards : 0)));
    Window->SetBounds(Place.Position.X, Place.Position.Y, In.Width, In.Height);

    if (ParentView) {
      ParentView->SetOpenPopup(Window, View, ParentViewer);
      if (ParentView->IsToolbar()) {
        ParentView->SetState(TTBViewState(ParentView->State()).Include(vsDropDownMode));
        if (ParentViewer) ParentView->InvalidateViewer(ParentViewer);
        if (TWinControl* PW = ParentView->Window(); PW && PW->HandleAllocated()) PW->Update();
      }
    }

    View->SetState(TTBViewState(View->State()).Include(vsDrawInOrder));
    if (!SoundEventConfigured(u"MenuPopup")) {
      Window->ShowPopup();
    } else if (!g_FirstPopupShown) {
      g_FirstPopupShown = true;
      Window->ShowPopup();
      Window->Update();
      PlaySoundEvent(u"MenuPopup");
    } else {
      PlaySoundEvent(u"MenuPopup");
      Window->ShowPopup();
    }
    NotifyAccEvent(EVENT_SYSTEM_MENUPOPUPSTART, Window->Handle(), OBJID_CLIENT, CHILDID_SELF);
    if (View->Selected()) View->ReportFocus();
  } catch (...) {
    if (ParentView && ParentView->OpenPopupWindow() == Window) ParentView->SetOpenPopup(nullptr, nullptr, nullptr);
    delete Window;
    throw;
  }
  return Window;
}

// ---------------------------------------------------------------- popup menu

TTBPopupMenu::TTBPopupMenu(TComponent* AOwner) : TPopupMenu(AOwner) {
  FItems = CreateRootItem();
  FItems->SetParentComponentOfRoot(this);
  // Opening the menu clicks its root item, which fires the menu's OnPopup.
  FItems->OnClick = [this](TObject* Sender) { DoPopup(Sender == FItems ? static_cast<TObject*>(this) : Sender); };
}

TTBPopupMenu::~TTBPopupMenu() {
  TTBRootItem* Items = FItems;
  FItems = nullptr;
  delete Items;
}

TTBRootItem* TTBPopupMenu::CreateRootItem() { return new TTBRootItem(this); }

bool TTBPopupMenu::IsShortCut(TMessage& Message) { return FItems->ExecuteShortCut(Message); }
