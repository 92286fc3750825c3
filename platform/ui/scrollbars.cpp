// The scroll bars of a window: Windows' state rules over Qt scroll-bar widgets.
#include <QMouseEvent>
#include <QScrollBar>

#include <algorithm>

#include "platform/ui/private/window.h"

namespace gtui {
namespace {

TScrollBarState* BarOf(HWND Wnd, Integer Bar, TWindow** Out = nullptr) {
  if (Bar != SB_HORZ && Bar != SB_VERT) return nullptr;
  TWindow* W = Lookup(Wnd);
  if (!W || W->Kind != wkSurface) return nullptr;
  if (Out) *Out = W;
  return &W->Bars[Bar];
}

Integer MaxPos(const TScrollBarState& S) {
  int64_t M = static_cast<int64_t>(S.Max) - std::max<int64_t>(static_cast<int64_t>(S.Page) - 1, 0);
  return static_cast<Integer>(std::max<int64_t>(M, S.Min));
}

void Send(HWND Wnd, Integer Bar, WORD Code, Integer Pos) {
  TWindow* W = Lookup(Wnd);
  if (!W) return;
  TQtEntry Entry;
  Perform(W, Bar == SB_VERT ? WM_VSCROLL : WM_HSCROLL, MAKEWPARAM(Code, Pos & 0xFFFF), 0);
}

void SyncWidget(TScrollBarState& S) {
  if (!S.Bar) return;
  const QSignalBlocker Block(S.Bar);
  S.Bar->setRange(S.Min, MaxPos(S));
  S.Bar->setPageStep(std::max<int>(1, static_cast<int>(std::min<UINT>(S.Page, 0x7FFFFFFF))));
  S.Bar->setSingleStep(1);
  if (!S.Dragging) {
    S.Bar->setValue(S.Pos);
    S.Bar->setSliderPosition(S.Pos);
  }
  S.Bar->setEnabled(S.Disabled != ESB_DISABLE_BOTH);
}

// Windows ends every press on a bar with SB_ENDSCROLL.
class TBarFilter : public QObject {
 public:
  TBarFilter(HWND AWnd, Integer ABar) : Wnd(AWnd), Bar(ABar) {}
  bool eventFilter(QObject*, QEvent* E) override {
    if (E->type() == QEvent::MouseButtonRelease) {
      TWindow* W = nullptr;
      TScrollBarState* S = BarOf(Wnd, Bar, &W);
      if (S && !S->Dragging) Send(Wnd, Bar, SB_ENDSCROLL, 0);
    }
    return false;
  }
  HWND Wnd;
  Integer Bar;
};

QScrollBar* MakeBar(TWindow* W, Integer Bar) {
  auto* B = new QScrollBar(Bar == SB_VERT ? Qt::Vertical : Qt::Horizontal, W->Frame);
  B->setFocusPolicy(Qt::NoFocus);
  HWND Wnd = W->Handle;
  auto* Filter = new TBarFilter(Wnd, Bar);
  Filter->setParent(B);
  B->installEventFilter(Filter);
  QObject::connect(B, &QAbstractSlider::actionTriggered, B, [Wnd, Bar](int Action) {
    TWindow* Win = nullptr;
    TScrollBarState* S = BarOf(Wnd, Bar, &Win);
    if (!S || !S->Bar) return;
    QScrollBar* Q = S->Bar;
    WORD Code;
    switch (Action) {
      case QAbstractSlider::SliderSingleStepAdd: Code = SB_LINEDOWN; break;
      case QAbstractSlider::SliderSingleStepSub: Code = SB_LINEUP; break;
      case QAbstractSlider::SliderPageStepAdd: Code = SB_PAGEDOWN; break;
      case QAbstractSlider::SliderPageStepSub: Code = SB_PAGEUP; break;
      case QAbstractSlider::SliderToMinimum: Code = SB_TOP; break;
      case QAbstractSlider::SliderToMaximum: Code = SB_BOTTOM; break;
      case QAbstractSlider::SliderMove:
        S->Dragging = true;
        S->TrackPos = Q->sliderPosition();
        Send(Wnd, Bar, SB_THUMBTRACK, S->TrackPos);
        return;
      default: return;
    }
    Send(Wnd, Bar, Code, S->Pos);
    // The window moves the thumb itself (SetScrollPos); the bar never moves on its own.
    if ((S = BarOf(Wnd, Bar)) && S->Bar) S->Bar->setSliderPosition(S->Pos);
  });
  QObject::connect(B, &QAbstractSlider::sliderPressed, B, [Wnd, Bar] {
    if (TScrollBarState* S = BarOf(Wnd, Bar)) {
      S->Dragging = true;
      S->TrackPos = S->Pos;
    }
  });
  QObject::connect(B, &QAbstractSlider::sliderReleased, B, [Wnd, Bar] {
    TScrollBarState* S = BarOf(Wnd, Bar);
    if (!S) return;
    Integer Track = S->TrackPos;
    Send(Wnd, Bar, SB_THUMBPOSITION, Track);
    if ((S = BarOf(Wnd, Bar))) {
      S->Dragging = false;
      Send(Wnd, Bar, SB_ENDSCROLL, 0);
    }
    if ((S = BarOf(Wnd, Bar))) SyncWidget(*S);
  });
  return B;
}

void SetVisible(TWindow* W, Integer Bar, bool Show) {
  TScrollBarState& S = W->Bars[Bar];
  if (Show && !S.Bar) {
    S.Bar = MakeBar(W, Bar);
    SyncWidget(S);
  }
  if (S.Visible == Show) return;
  S.Visible = Show;
  Relayout(W);
}

}  // namespace

void ScrollBarsWindowGone(TWindow*) {
  // The bars are children of the frame widget and go with it.
}

}  // namespace gtui

using namespace gtui;

Integer SetScrollInfo(HWND Wnd, Integer Bar, const SCROLLINFO* Info, BOOL) {
  TWindow* W = nullptr;
  TScrollBarState* S = BarOf(Wnd, Bar, &W);
  if (!S || !Info) return 0;
  bool Changed = false;
  if (Info->fMask & SIF_PAGE) {
    if (S->Page != Info->nPage) Changed = true;
    S->Page = Info->nPage;
  }
  if (Info->fMask & SIF_RANGE) {
    if (S->Min != Info->nMin || S->Max != Info->nMax) Changed = true;
    S->Min = Info->nMin;
    S->Max = Info->nMax;
  }
  if (Info->fMask & SIF_POS) S->Pos = Info->nPos;
  // The page never exceeds the range; the position stays where a full page fits.
  int64_t Range = static_cast<int64_t>(S->Max) - S->Min + 1;
  if (Range < 0) Range = 0;
  if (static_cast<int64_t>(S->Page) > Range) S->Page = static_cast<UINT>(Range);
  S->Pos = std::clamp(S->Pos, S->Min, MaxPos(*S));
  bool ShowIt = S->Visible;
  if (Info->fMask & (SIF_RANGE | SIF_PAGE | SIF_DISABLENOSCROLL)) {
    bool Needed = S->Min < static_cast<int64_t>(S->Max) - std::max<int64_t>(static_cast<int64_t>(S->Page) - 1, 0);
    if (!Needed) {
      if (Info->fMask & SIF_DISABLENOSCROLL)
        S->Disabled = ESB_DISABLE_BOTH;
      else if (Changed)
        ShowIt = false;
    } else if (Info->fMask != SIF_PAGE) {
      S->Disabled = ESB_ENABLE_BOTH;
      if (Changed) ShowIt = true;
    }
  }
  SyncWidget(*S);
  Integer Pos = S->Pos;
  if (ShowIt != S->Visible) SetVisible(W, Bar, ShowIt);
  return Pos;
}

BOOL GetScrollInfo(HWND Wnd, Integer Bar, SCROLLINFO* Info) {
  TScrollBarState* S = BarOf(Wnd, Bar);
  if (!S || !Info) return FALSE;
  if (Info->fMask & SIF_RANGE) {
    Info->nMin = S->Min;
    Info->nMax = S->Max;
  }
  if (Info->fMask & SIF_PAGE) Info->nPage = S->Page;
  if (Info->fMask & SIF_POS) Info->nPos = S->Pos;
  if (Info->fMask & SIF_TRACKPOS) Info->nTrackPos = S->Dragging ? S->TrackPos : S->Pos;
  return TRUE;
}

BOOL SetScrollRange(HWND Wnd, Integer Bar, Integer Min, Integer Max, BOOL Redraw) {
  SCROLLINFO I;
  I.fMask = SIF_RANGE;
  I.nMin = Min;
  I.nMax = Max;
  if (!BarOf(Wnd, Bar)) return FALSE;
  SetScrollInfo(Wnd, Bar, &I, Redraw);
  return TRUE;
}

BOOL GetScrollRange(HWND Wnd, Integer Bar, Integer* Min, Integer* Max) {
  TScrollBarState* S = BarOf(Wnd, Bar);
  if (!S) return FALSE;
  if (Min) *Min = S->Min;
  if (Max) *Max = S->Max;
  return TRUE;
}

Integer SetScrollPos(HWND Wnd, Integer Bar, Integer Pos, BOOL Redraw) {
  TScrollBarState* S = BarOf(Wnd, Bar);
  if (!S) return 0;
  Integer Old = S->Pos;
  SCROLLINFO I;
  I.fMask = SIF_POS;
  I.nPos = Pos;
  SetScrollInfo(Wnd, Bar, &I, Redraw);
  return Old;
}

Integer GetScrollPos(HWND Wnd, Integer Bar) {
  TScrollBarState* S = BarOf(Wnd, Bar);
  return S ? S->Pos : 0;
}

BOOL ShowScrollBar(HWND Wnd, Integer Bar, BOOL Show) {
  TWindow* W = Lookup(Wnd);
  if (!W || W->Kind != wkSurface) return FALSE;
  if (Bar == SB_BOTH) {
    SetVisible(W, SB_HORZ, Show != FALSE);
    if (!W->Dead) SetVisible(W, SB_VERT, Show != FALSE);
    return TRUE;
  }
  if (Bar != SB_HORZ && Bar != SB_VERT) return FALSE;
  SetVisible(W, Bar, Show != FALSE);
  return TRUE;
}

BOOL EnableScrollBar(HWND Wnd, UINT Bar, UINT Arrows) {
  TWindow* W = Lookup(Wnd);
  if (!W || W->Kind != wkSurface) return FALSE;
  for (Integer B : {SB_HORZ, SB_VERT}) {
    if (Bar != SB_BOTH && static_cast<Integer>(Bar) != B) continue;
    W->Bars[B].Disabled = Arrows;
    SyncWidget(W->Bars[B]);
  }
  return TRUE;
}

BOOL InitializeFlatSB(HWND Wnd) {
  TWindow* W = Lookup(Wnd);
  if (!W) return FALSE;
  W->FlatBars = true;
  return TRUE;
}

BOOL UninitializeFlatSB(HWND Wnd) {
  TWindow* W = Lookup(Wnd);
  if (!W) return FALSE;
  W->FlatBars = false;
  return TRUE;
}

Integer FlatSB_SetScrollInfo(HWND Wnd, Integer Bar, const SCROLLINFO* Info, BOOL Redraw) {
  return SetScrollInfo(Wnd, Bar, Info, Redraw);
}
BOOL FlatSB_GetScrollInfo(HWND Wnd, Integer Bar, SCROLLINFO* Info) { return GetScrollInfo(Wnd, Bar, Info); }
BOOL FlatSB_SetScrollRange(HWND Wnd, Integer Bar, Integer Min, Integer Max, BOOL Redraw) {
  return SetScrollRange(Wnd, Bar, Min, Max, Redraw);
}
Integer FlatSB_SetScrollPos(HWND Wnd, Integer Bar, Integer Pos, BOOL Redraw) {
  return SetScrollPos(Wnd, Bar, Pos, Redraw);
}
BOOL FlatSB_ShowScrollBar(HWND Wnd, Integer Bar, BOOL Show) { return ShowScrollBar(Wnd, Bar, Show); }
BOOL FlatSB_EnableScrollBar(HWND Wnd, Integer Bar, UINT Arrows) {
  return EnableScrollBar(Wnd, static_cast<UINT>(Bar), Arrows);
}
