// Scroll bars and the mouse wheel of the single-image view: the bars' layout
// (a fixed 0..65535 range whose unit follows the zoomed size), the scroll-bar
// messages with their line and page steps, and the wheel's scroll and zoom.
#include <algorithm>
#include <cmath>

#include "imaging/core/base/ieplatformhelpers.h"
#include "imaging/view/ziduzuvview.h"
#include "platform/ui/winuser.h"

namespace {

constexpr Integer kScrollRangeMax = 65535;
constexpr double kScrollUnits = 65536.0;

// Scroll-bar units are 16-bit: positions computed from an origin stay below
// 65536 by construction, and the clamp keeps a stale unit from overflowing.
Integer ScrollPosition(Integer Origin, double Unit) {
  if (!(Unit > 0)) return 0;
  return static_cast<Integer>(std::clamp(std::trunc(Origin / Unit), 0.0, double(kScrollRangeMax)));
}

bool AllowsHorizontal(TScrollStyle S) { return S == ssHorizontal || S == ssBoth; }
bool AllowsVertical(TScrollStyle S) { return S == ssVertical || S == ssBoth; }

}  // namespace

// ---------------------------------------------------------------------------
// Layout

void TZiduzUvView::LayoutOneScrollBar(Integer Bar, Integer MaxOrigin) {
  const bool horz = Bar == SB_HORZ;
  if (MaxOrigin < 1) {
    if (horz)
      HideHScrollBar();
    else
      HideVScrollBar();
    return;
  }
  const Integer view = horz ? GetViewWidth() : GetViewHeight();
  double& unit = horz ? FScrollUnitX : FScrollUnitY;
  (horz ? FHScrollShown : FVScrollShown) = true;
  unit = (double(view) + MaxOrigin) / kScrollUnits;
  const Integer page = static_cast<Integer>(std::trunc(view / unit));
  const Integer pos = ScrollPosition(horz ? FViewX : FViewY, unit);
  IESetScrollInfo(Handle(), Bar, 0, kScrollRangeMax, page, pos, true, FFlatScrollBars);
  IEEnableScrollBar(Handle(), Bar, ESB_ENABLE_BOTH, FFlatScrollBars);
  IEShowScrollBar(Handle(), Bar, true, FFlatScrollBars);
}

void TZiduzUvView::LayoutScrollBars() {
  if (!HandleAllocated()) return;
  // Showing or hiding one bar changes the other axis's view size. A second
  // pass lays both out for the size they end with, so that a bar's unit,
  // page and thumb reach the real maximum origin.
  for (int pass = 0; pass < 2; ++pass) {
    const Integer w = GetViewWidth(), h = GetViewHeight();
    Integer mx, my;
    GetMaxViewXY(mx, my);
    if (AllowsHorizontal(FScrollBars)) LayoutOneScrollBar(SB_HORZ, mx);
    if (AllowsVertical(FScrollBars)) LayoutOneScrollBar(SB_VERT, my);
    if (GetViewWidth() == w && GetViewHeight() == h) break;
  }
}

void TZiduzUvView::HideHScrollBar() {
  if (!FHScrollShown) return;
  FHScrollShown = false;
  if (HandleAllocated()) IEShowScrollBar(Handle(), SB_HORZ, false, FFlatScrollBars);
}

void TZiduzUvView::HideVScrollBar() {
  if (!FVScrollShown) return;
  FVScrollShown = false;
  if (HandleAllocated()) IEShowScrollBar(Handle(), SB_VERT, false, FFlatScrollBars);
}

void TZiduzUvView::SyncScrollPositions() {
  if (!HandleAllocated()) return;
  if (AllowsHorizontal(FScrollBars))
    IESetScrollPos(Handle(), SB_HORZ, ScrollPosition(FViewX, FScrollUnitX), true, FFlatScrollBars);
  if (AllowsVertical(FScrollBars))
    IESetScrollPos(Handle(), SB_VERT, ScrollPosition(FViewY, FScrollUnitY), true, FFlatScrollBars);
}

void TZiduzUvView::SetFlatScrollBars(bool Value) {
  if (Value == FFlatScrollBars) return;
  FFlatScrollBars = Value;
  if (!HandleAllocated()) return;
  if (!Value) {
    UninitializeFlatSB(Handle());
    return;
  }
  SetScrollRange(Handle(), SB_HORZ, 0, 0, FALSE);
  SetScrollRange(Handle(), SB_VERT, 0, 0, FALSE);
  InitializeFlatSB(Handle());
  // The next layout shows what is needed.
  FlatSB_ShowScrollBar(Handle(), SB_BOTH, FALSE);
}

// ---------------------------------------------------------------------------
// Scroll-bar messages

namespace {

// The request a scroll-bar code makes; false for codes that move nothing
// (SB_ENDSCROLL, and SB_THUMBTRACK while tracking is off).
bool RequestOf(WORD Code, bool Tracking, TZiduzUvView::TIEScrollRequest& Request) {
  switch (Code) {
    case SB_LINEUP: Request = TZiduzUvView::iesrLineUp; return true;
    case SB_LINEDOWN: Request = TZiduzUvView::iesrLineDown; return true;
    case SB_PAGEUP: Request = TZiduzUvView::iesrPageUp; return true;
    case SB_PAGEDOWN: Request = TZiduzUvView::iesrPageDown; return true;
    case SB_TOP: Request = TZiduzUvView::iesrTop; return true;
    case SB_BOTTOM: Request = TZiduzUvView::iesrBottom; return true;
    case SB_THUMBTRACK:
      if (!Tracking) return false;
      Request = TZiduzUvView::iesrAbsolute;
      return true;
    case SB_THUMBPOSITION: Request = TZiduzUvView::iesrAbsolute; return true;
    default: return false;
  }
}

}  // namespace

void TZiduzUvView::WMHScroll(TMessage& M) {
  const WORD code = LOWORD(M.WParam);
  // The thumb position is an unsigned 16-bit value.
  const WORD pos = HIWORD(M.WParam);
  if (code == SB_THUMBTRACK && OnMouseEnterScroll) OnMouseEnterScroll(this);
  if (code == SB_ENDSCROLL && OnMouseLeaveScroll) OnMouseLeaveScroll(this);
  TIEScrollRequest r;
  // Other codes, and a drag while tracking is off, ask for the origin it has.
  if (!RequestOf(code, FHScrollBarParams->Tracking, r)) {
    DoHScroll(iesrAbsolute, FViewX);
    return;
  }
  DoHScroll(r, r == iesrAbsolute ? static_cast<Integer>(Round(pos * FScrollUnitX)) : FViewX);
}

void TZiduzUvView::WMVScroll(TMessage& M) {
  const WORD code = LOWORD(M.WParam);
  const WORD pos = HIWORD(M.WParam);
  if (code == SB_THUMBTRACK && OnMouseEnterScroll) OnMouseEnterScroll(this);
  if (code == SB_ENDSCROLL && OnMouseLeaveScroll) OnMouseLeaveScroll(this);
  TIEScrollRequest r;
  if (!RequestOf(code, FVScrollBarParams->Tracking, r)) {
    DoVScroll(iesrAbsolute, FViewY);
    return;
  }
  DoVScroll(r, r == iesrAbsolute ? static_cast<Integer>(Round(pos * FScrollUnitY)) : FViewY);
}

namespace {

// The new origin of one axis for a scroll request; Step is the zoom
// factor's whole part (at least 1), so that a line moves whole image pixels.
int64_t ScrollTarget(TZiduzUvView::TIEScrollRequest Code, Integer Pos, Integer Origin, Integer MaxOrigin,
                     double ZoomFactor, const TIEScrollBarParams& P, Integer ViewSize) {
  const int64_t s = std::max<int64_t>(static_cast<int64_t>(std::trunc(ZoomFactor)), 1);
  const int64_t line = P.LineStep == -1 ? 1 : P.LineStep;
  const int64_t page = P.PageStep == -1 ? ViewSize : s * P.PageStep;
  switch (Code) {
    case TZiduzUvView::iesrAbsolute: return Pos;
    case TZiduzUvView::iesrBottom: return MaxOrigin;
    case TZiduzUvView::iesrTop: return 0;
    case TZiduzUvView::iesrLineDown: return Origin + s * line;
    case TZiduzUvView::iesrLineUp: return Origin - s * line;
    case TZiduzUvView::iesrPageDown: return Origin + page;
    case TZiduzUvView::iesrPageUp: return Origin - page;
  }
  return Origin;
}

Integer ClampToInteger(int64_t V) { return static_cast<Integer>(std::clamp<int64_t>(V, INT32_MIN, INT32_MAX)); }

}  // namespace

void TZiduzUvView::DoHScroll(TIEScrollRequest Code, Integer Pos) {
  Integer mx, my;
  GetMaxViewXY(mx, my);
  SetViewOriginX(ClampToInteger(
      ScrollTarget(Code, Pos, FViewX, mx, FZoomFactorX, *FHScrollBarParams, GetViewWidth())));
}

void TZiduzUvView::DoVScroll(TIEScrollRequest Code, Integer Pos) {
  Integer mx, my;
  GetMaxViewXY(mx, my);
  SetViewOriginY(ClampToInteger(
      ScrollTarget(Code, Pos, FViewY, my, FZoomFactorY, *FVScrollBarParams, GetViewHeight())));
}

// ---------------------------------------------------------------------------
// Mouse wheel

namespace {

// -1 for a roll away from the user (positive delta), +1 towards.
Integer WheelDirection(Integer Delta, bool Invert) {
  const Integer d = Delta > 0 ? -1 : 1;
  return Invert ? -d : d;
}

// The zoom a wheel notch asks for; an unknown variation keeps the zoom.
double WheelZoom(double Zoom, Integer D, const TIEMouseWheelParams& P) {
  switch (P.Variation) {
    case 0: return Zoom + double(D) * P.Value;
    case 1: return Zoom + double(D) * std::max<int64_t>(Round(P.Value * Zoom / 100.0), 1);
    default: return Zoom;
  }
}

}  // namespace

void TZiduzUvView::WMMouseWheelAction(TMessage& M) {
  // The position travels in screen coordinates.
  TPoint p(static_cast<int16_t>(LOWORD(static_cast<uintptr_t>(M.LParam))),
           static_cast<int16_t>(HIWORD(static_cast<uintptr_t>(M.LParam))));
  if (HandleAllocated()) ::ScreenToClient(Handle(), &p);
  const bool ctrl = GetKeyState(VK_CONTROL) < 0;
  DoMouseWheel(GET_WHEEL_DELTA_WPARAM(M.WParam), p.X, p.Y, ctrl);
}

void TZiduzUvView::DoMouseWheel(Integer Delta, Integer X, Integer Y, bool Ctrl) {
  const TIEMouseWheelParams& p = *FMouseWheelParams;
  // A message without movement has no direction.
  if (p.Action == 0 || FAutoFit || Delta == 0) return;
  const Integer d = WheelDirection(Delta, p.InvertDirection);
  if (p.Action == 1) {
    Integer mx, my;
    GetMaxViewXY(mx, my);
    const bool horz = Ctrl || (mx > 0 && my == 0);
    const double factor = horz ? FZoomFactorX : FZoomFactorY;
    const Integer view = horz ? GetViewWidth() : GetViewHeight();
    int64_t step;
    if (p.Variation == 0)
      step = int64_t(d) * p.Value * std::max<int64_t>(static_cast<int64_t>(std::trunc(factor)), 1);
    else if (p.Variation == 1)
      step = int64_t(d) * std::max<int64_t>(Round(double(view) * p.Value / 100.0), 1);
    else
      return;
    if (horz)
      SetViewOriginX(ClampToInteger(int64_t(FViewX) + step));
    else
      SetViewOriginY(ClampToInteger(int64_t(FViewY) + step));
    return;
  }
  if (p.Action != 2) return;
  double zoom = WheelZoom(FZoomX, d, p);
  if (zoom > FZoomX && OnZoomIn) OnZoomIn(this, zoom);
  if (zoom < FZoomX && OnZoomOut) OnZoomOut(this, zoom);
  if (p.ZoomAtCursor)
    ZoomAt(X, Y, zoom, false);
  else
    SetZoom(zoom);
}

// The navigator's wheel zooms the view it navigates, with the navigator's
// own wheel settings and whatever action they name.
void TZiduzUvView::NavigatorMouseWheel(TObject* Sender, TShiftState, Integer WheelDelta, TPoint MousePos,
                                       bool& Handled) {
  auto* nav = dynamic_cast<TZiduzUvView*>(Sender);
  if (!nav) nav = FNavigator;
  if (!nav) return;
  Handled = true;
  if (WheelDelta == 0) return;
  const TIEMouseWheelParams& p = *nav->FMouseWheelParams;
  const Integer d = WheelDirection(WheelDelta, p.InvertDirection);
  double zoom = WheelZoom(FZoomX, d, p);
  if (zoom > FZoomX && OnZoomIn) OnZoomIn(this, zoom);
  if (zoom < FZoomX && OnZoomOut) OnZoomOut(this, zoom);
  if (p.ZoomAtCursor) {
    // The mouse is over the navigator: the image point under it is kept in
    // place in this view, at the client point where this view shows it.
    TPoint c = MousePos;
    if (nav->HandleAllocated()) ::ScreenToClient(nav->Handle(), &c);
    const Integer bx = nav->ClientToImageX(c.X), by = nav->ClientToImageY(c.Y);
    ZoomAt(ImageToClientX(bx), ImageToClientY(by), zoom, false);
  } else {
    SetZoom(zoom);
  }
}
