// Scroll bars and the mouse wheel of the single-image view, on real windows
// (offscreen): the bars' layout and its effect on the client area, the
// scroll-bar messages with their steps, thumb tracking, and the wheel.
#include <cmath>
#include <vector>

#include "../view/view_test_util.h"
#include "platform/ui/winuser.h"

namespace test_view_scroll_tests {

using view_test::ViewTest;

namespace {

class ScrollTest : public ViewTest {
 protected:
  // A 1000 x 800 picture in a 400 x 300 view: both bars needed.
  TZiduzUvView* BigView() {
    TZiduzUvView* v = MakeView(400, 300);
    SetPicture(v, 1000, 800);
    return v;
  }
  static SCROLLINFO Info(TZiduzUvView* V, Integer Bar) {
    SCROLLINFO si{};
    si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    EXPECT_TRUE(GetScrollInfo(V->Handle(), Bar, &si));
    return si;
  }
  static void Scroll(TZiduzUvView* V, UINT Msg, WORD Code, WORD Pos = 0) {
    SendMessage(V->Handle(), Msg, MAKEWPARAM(Code, Pos), 0);
  }
  static Integer MaxX(TZiduzUvView* V) {
    Integer mx, my;
    V->GetMaxViewXY(mx, my);
    return mx;
  }
  static Integer MaxY(TZiduzUvView* V) {
    Integer mx, my;
    V->GetMaxViewXY(mx, my);
    return my;
  }
};

// ---------------------------------------------------------------------------
// Layout

TEST_F(ScrollTest, BothBarsAppearAndShrinkTheClientArea) {
  TZiduzUvView* v = MakeView(400, 300);
  const Integer before = v->UpdateCount();
  SetPicture(v, 1000, 800);
  // The bars' appearance changed the view size: one nested layout, no more.
  EXPECT_EQ(v->UpdateCount() - before, 2);
  ASSERT_TRUE(v->HScrollShown());
  ASSERT_TRUE(v->VScrollShown());
  EXPECT_EQ(v->GetViewWidth() + GetSystemMetrics(SM_CXVSCROLL), v->Width());
  EXPECT_EQ(v->GetViewHeight() + GetSystemMetrics(SM_CYHSCROLL), v->Height());
  EXPECT_EQ(v->GetViewWidth(), 383);
  EXPECT_EQ(v->GetViewHeight(), 283);
  // Maxima with the one-pixel slack: 1001 - 383 and 801 - 283.
  EXPECT_EQ(MaxX(v), 618);
  EXPECT_EQ(MaxY(v), 518);
  EXPECT_DOUBLE_EQ(v->ScrollUnitX(), 1001.0 / 65536);
  EXPECT_DOUBLE_EQ(v->ScrollUnitY(), 801.0 / 65536);
  const SCROLLINFO h = Info(v, SB_HORZ), vv = Info(v, SB_VERT);
  EXPECT_EQ(h.nMin, 0);
  EXPECT_EQ(h.nMax, 65535);
  EXPECT_EQ(h.nPage, 25075u);  // Trunc(383 / (1001 / 65536))
  EXPECT_EQ(h.nPos, 0);
  EXPECT_EQ(vv.nMax, 65535);
  EXPECT_EQ(vv.nPage, 23154u);  // Trunc(283 / (801 / 65536)) = Trunc(23154.42)
  // Nothing changed: a single layout.
  const Integer again = v->UpdateCount();
  v->Update();
  EXPECT_EQ(v->UpdateCount() - again, 1);
}

TEST_F(ScrollTest, BarsHideWhenThePictureFits) {
  TZiduzUvView* v = BigView();
  ASSERT_TRUE(v->HScrollShown() && v->VScrollShown());
  v->SetZoom(30);  // 300 x 240
  EXPECT_FALSE(v->HScrollShown());
  EXPECT_FALSE(v->VScrollShown());
  EXPECT_EQ(v->GetViewWidth(), 400);
  EXPECT_EQ(v->GetViewHeight(), 300);
  EXPECT_EQ(GtTestScrollBarLength(v->Handle(), SB_HORZ), 0);
  EXPECT_EQ(GtTestScrollBarLength(v->Handle(), SB_VERT), 0);
  // A picture that fits from the start never gets a bar.
  TZiduzUvView* small = MakeView(400, 300);
  small->SetBounds(0, 310, 400, 300);
  SetPicture(small, 390, 290);
  EXPECT_FALSE(small->HScrollShown() || small->VScrollShown());
  EXPECT_EQ(small->GetViewWidth(), 400);
}

TEST_F(ScrollTest, StyleDecidesWhichBarsMayAppear) {
  struct Case {
    TScrollStyle Style;
    bool H, V;
  } cases[] = {{ssNone, false, false}, {ssHorizontal, true, false}, {ssVertical, false, true}, {ssBoth, true, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.Style));
    TZiduzUvView* v = BigView();
    v->SetScrollBars(c.Style);
    EXPECT_EQ(v->HScrollShown(), c.H);
    EXPECT_EQ(v->VScrollShown(), c.V);
    EXPECT_EQ(v->GetViewWidth(), 400 - (c.V ? GetSystemMetrics(SM_CXVSCROLL) : 0));
    EXPECT_EQ(v->GetViewHeight(), 300 - (c.H ? GetSystemMetrics(SM_CYHSCROLL) : 0));
    delete v;
  }
}

// A picture only slightly lower than the view needs the vertical bar only
// because the horizontal one appeared. The horizontal bar must then be laid
// out for the narrower view, or its thumb cannot reach the last columns.
TEST_F(ScrollTest, SecondBarKeepsTheFirstBarsThumbReachingTheEnd) {
  TZiduzUvView* v = MakeView(400, 300);
  const Integer before = v->UpdateCount();
  SetPicture(v, 1000, 295);
  EXPECT_LE(v->UpdateCount() - before, 2);
  ASSERT_TRUE(v->HScrollShown());
  ASSERT_TRUE(v->VScrollShown());
  ASSERT_EQ(v->GetViewWidth(), 383);
  const Integer mx = MaxX(v);
  EXPECT_EQ(mx, 1001 - 383);
  EXPECT_DOUBLE_EQ(v->ScrollUnitX(), 1001.0 / 65536);  // (383 + 618) zoomed pixels over 65536 units
  const SCROLLINFO h = Info(v, SB_HORZ);
  // The thumb dragged to its end reaches the maximum origin.
  Scroll(v, WM_HSCROLL, SB_THUMBPOSITION, static_cast<WORD>(65536 - h.nPage));
  EXPECT_EQ(v->ViewX(), mx);
}

TEST_F(ScrollTest, FlatBarsLayOutLikeTheOthers) {
  TZiduzUvView* v = BigView();
  v->SetFlatScrollBars(true);
  v->Update();
  EXPECT_TRUE(v->HScrollShown() && v->VScrollShown());
  EXPECT_EQ(v->GetViewWidth(), 383);
  EXPECT_EQ(Info(v, SB_HORZ).nMax, 65535);
  v->SetZoom(30);
  EXPECT_FALSE(v->HScrollShown() || v->VScrollShown());
  EXPECT_EQ(v->GetViewWidth(), 400);
  v->SetFlatScrollBars(false);
  v->SetZoom(100);
  EXPECT_TRUE(v->HScrollShown() && v->VScrollShown());
}

// ---------------------------------------------------------------------------
// Scroll-bar messages

TEST_F(ScrollTest, LineAndPageSteps) {
  struct Case {
    double Zoom;
    UINT Msg;
    WORD Code;
    Integer LineStep, PageStep;
    Integer Delta;  // expected move of the origin; view size: 383 wide, 283 high
  } cases[] = {
      {100, WM_HSCROLL, SB_LINEDOWN, -1, -1, 1},   {100, WM_HSCROLL, SB_LINEUP, -1, -1, -1},
      {100, WM_VSCROLL, SB_LINEDOWN, 5, -1, 5},    {100, WM_HSCROLL, SB_PAGEDOWN, -1, -1, 383},
      {100, WM_VSCROLL, SB_PAGEUP, -1, -1, -283},  {100, WM_VSCROLL, SB_PAGEDOWN, -1, 20, 20},
      {300, WM_HSCROLL, SB_LINEDOWN, -1, -1, 3},   {300, WM_VSCROLL, SB_LINEUP, -1, -1, -3},
      {300, WM_HSCROLL, SB_LINEDOWN, 5, -1, 15},   {300, WM_VSCROLL, SB_PAGEDOWN, -1, 20, 60},
      {300, WM_HSCROLL, SB_PAGEUP, -1, -1, -383},  {250, WM_VSCROLL, SB_LINEDOWN, -1, -1, 2},
      {50, WM_HSCROLL, SB_LINEDOWN, 4, -1, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.Zoom << " msg " << c.Msg << " code " << c.Code);
    TZiduzUvView* v = MakeView(400, 300);
    SetPicture(v, 2000, 1600);
    v->SetZoom(c.Zoom);
    v->SetViewOrigin(400, 400);
    ASSERT_EQ(v->ViewX(), 400);
    ASSERT_EQ(v->ViewY(), 400);
    TIEScrollBarParams* p = c.Msg == WM_HSCROLL ? v->HScrollBarParams() : v->VScrollBarParams();
    p->LineStep = c.LineStep;
    p->PageStep = c.PageStep;
    Scroll(v, c.Msg, c.Code);
    const Integer moved = c.Msg == WM_HSCROLL ? v->ViewX() - 400 : v->ViewY() - 400;
    EXPECT_EQ(moved, c.Delta);
    // The other axis stays.
    EXPECT_EQ(c.Msg == WM_HSCROLL ? v->ViewY() : v->ViewX(), 400);
    delete v;
  }
}

TEST_F(ScrollTest, TopBottomAndClamping) {
  TZiduzUvView* v = BigView();
  Scroll(v, WM_HSCROLL, SB_RIGHT);
  Scroll(v, WM_VSCROLL, SB_BOTTOM);
  EXPECT_EQ(v->ViewX(), 618);
  EXPECT_EQ(v->ViewY(), 518);
  Scroll(v, WM_HSCROLL, SB_PAGERIGHT);  // past the end: clamped
  EXPECT_EQ(v->ViewX(), 618);
  Scroll(v, WM_VSCROLL, SB_TOP);
  EXPECT_EQ(v->ViewY(), 0);
  Scroll(v, WM_VSCROLL, SB_LINEUP);  // before the start: clamped
  EXPECT_EQ(v->ViewY(), 0);
}

TEST_F(ScrollTest, ThumbTrackingAndTheEnterLeaveEvents) {
  TZiduzUvView* v = BigView();
  int enters = 0, leaves = 0;
  v->OnMouseEnterScroll = [&](TObject* s) {
    EXPECT_EQ(s, v);
    ++enters;
  };
  v->OnMouseLeaveScroll = [&](TObject*) { ++leaves; };

  int changes = 0;
  v->OnViewChange = [&](TObject*, Integer) { ++changes; };
  // Tracking off: the drag itself moves nothing but is announced.
  v->HScrollBarParams()->Tracking = false;
  Scroll(v, WM_HSCROLL, SB_THUMBTRACK, 20000);
  EXPECT_EQ(v->ViewX(), 0);
  EXPECT_EQ(changes, 0);
  EXPECT_EQ(enters, 1);
  // The drop moves: Round(20000 x 1001 / 65536) = Round(305.48).
  Scroll(v, WM_HSCROLL, SB_THUMBPOSITION, 20000);
  EXPECT_EQ(v->ViewX(), 305);
  Scroll(v, WM_HSCROLL, SB_ENDSCROLL);
  EXPECT_EQ(leaves, 1);
  EXPECT_EQ(v->ViewX(), 305);

  // Tracking on (vertical keeps its default): the drag moves live.
  Scroll(v, WM_VSCROLL, SB_THUMBTRACK, 16384);  // 16384 x 801 / 65536 = 200.25
  EXPECT_EQ(v->ViewY(), 200);
  EXPECT_EQ(enters, 2);
  // Positions above 32767 are unsigned: 40000 x 1001 / 65536 = 610.96.
  Scroll(v, WM_HSCROLL, SB_THUMBPOSITION, 40000);
  EXPECT_EQ(v->ViewX(), 611);
  EXPECT_EQ(leaves, 1);
}

TEST_F(ScrollTest, ThumbsFollowTheOrigin) {
  TZiduzUvView* v = BigView();
  v->SetViewOrigin(305, 200);
  EXPECT_EQ(GetScrollPos(v->Handle(), SB_HORZ), 19968);  // Trunc(305 / (1001 / 65536))
  EXPECT_EQ(GetScrollPos(v->Handle(), SB_VERT), 16363);  // Trunc(200 / (801 / 65536))
  v->SetViewOriginX(618);
  EXPECT_EQ(GetScrollPos(v->Handle(), SB_HORZ), 40460);  // Trunc(618 / (1001 / 65536)) = Trunc(40460.78)
  EXPECT_EQ(GetScrollPos(v->Handle(), SB_VERT), 16363);
  // A layout keeps the thumb where the origin is.
  v->Update();
  EXPECT_EQ(GetScrollPos(v->Handle(), SB_VERT), 16363);
}

// The platform's own bar, dragged with the mouse while tracking is off.
TEST_F(ScrollTest, DraggingTheRealThumbWithoutTracking) {
  TZiduzUvView* v = BigView();
  v->HScrollBarParams()->Tracking = false;
  int enters = 0, leaves = 0;
  v->OnMouseEnterScroll = [&](TObject*) { ++enters; };
  v->OnMouseLeaveScroll = [&](TObject*) { ++leaves; };
  const HWND h = v->Handle();
  // The thumb starts just after the left arrow button.
  ASSERT_TRUE(GtTestScrollBarMouse(h, SB_HORZ, gmaPress, 40, 8));
  ASSERT_TRUE(GtTestScrollBarMouse(h, SB_HORZ, gmaMove, 120, 8));
  EXPECT_EQ(v->ViewX(), 0);
  EXPECT_GE(enters, 1);
  ASSERT_TRUE(GtTestScrollBarMouse(h, SB_HORZ, gmaRelease, 120, 8));
  GtTestPump(5);
  EXPECT_GT(v->ViewX(), 0);
  EXPECT_EQ(leaves, 1);
  // 1001 zoomed pixels (view 383 + maximum origin 618) span the 65536 units.
  EXPECT_EQ(GetScrollPos(h, SB_HORZ), static_cast<Integer>(std::trunc(v->ViewX() * 65536.0 / 1001)));
}

// ---------------------------------------------------------------------------
// Mouse wheel

TEST_F(ScrollTest, WheelZoomVariations) {
  struct Case {
    bool Invert;
    Byte Variation;
    Integer Value;
    double Start;
    Integer Delta;
    double Asked;
  } cases[] = {
      {false, 1, 8, 100, 120, 92},    // the default: away from the user zooms out by 8 %
      {false, 1, 8, 100, -120, 108},  // towards the user zooms in
      {true, 1, 8, 100, 120, 108},    // inverted
      {true, 1, 8, 100, -120, 92},
      {false, 0, 10, 100, 120, 90},   // absolute
      {false, 0, 10, 100, -120, 110},
      {false, 1, 8, 300, 120, 276},
      {false, 1, 10, 25, -120, 27},   // Round(2.5) = 2, halves to even
      {false, 1, 8, 5, 120, 4},       // at least one percent point
      {false, 2, 8, 100, 120, 100},   // unknown variation: the zoom stays
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "invert " << c.Invert << " var " << int(c.Variation) << " start "
                                      << c.Start << " delta " << c.Delta);
    TZiduzUvView* v = BigView();
    v->SetZoom(c.Start);
    TIEMouseWheelParams* p = v->MouseWheelParams();
    p->InvertDirection = c.Invert;
    p->Variation = c.Variation;
    p->Value = c.Value;
    double sawIn = -1, sawOut = -1;
    v->OnZoomIn = [&](TObject*, double& z) { sawIn = z; };
    v->OnZoomOut = [&](TObject*, double& z) { sawOut = z; };
    ASSERT_TRUE(GtTestWheel(v->Handle(), 100, 100, c.Delta));
    EXPECT_DOUBLE_EQ(v->Zoom(), c.Asked);
    // Only the handler of the step's direction is asked; neither when the zoom stays.
    EXPECT_DOUBLE_EQ(sawOut, c.Asked < c.Start ? c.Asked : -1);
    EXPECT_DOUBLE_EQ(sawIn, c.Asked > c.Start ? c.Asked : -1);
    delete v;
  }
}

TEST_F(ScrollTest, WheelZoomHandlersMayChangeTheZoom) {
  TZiduzUvView* v = BigView();
  v->OnZoomOut = [](TObject*, double& z) { z = 50; };
  ASSERT_TRUE(GtTestWheel(v->Handle(), 100, 100, 120));
  EXPECT_DOUBLE_EQ(v->Zoom(), 50);
  // A zoom-in handler that turns the step into a zoom-out: the zoom-out
  // handler then sees (and may change) the result.
  double sawOut = -1;
  v->OnZoomIn = [](TObject*, double& z) { z = 40; };
  v->OnZoomOut = [&](TObject*, double& z) { sawOut = z; };
  ASSERT_TRUE(GtTestWheel(v->Handle(), 100, 100, -120));
  EXPECT_DOUBLE_EQ(sawOut, 40);
  EXPECT_DOUBLE_EQ(v->Zoom(), 40);
}

TEST_F(ScrollTest, WheelDoesNothingWithoutActionUnderAutoFitOrWithoutMovement) {
  TZiduzUvView* v = BigView();
  int calls = 0;
  v->OnZoomIn = [&](TObject*, double&) { ++calls; };
  v->OnZoomOut = [&](TObject*, double&) { ++calls; };
  v->MouseWheelParams()->Action = 0;
  ASSERT_TRUE(GtTestWheel(v->Handle(), 100, 100, 120));
  EXPECT_DOUBLE_EQ(v->Zoom(), 100);
  v->MouseWheelParams()->Action = 2;
  // A zero delta has no direction (it would otherwise count as a roll towards the user).
  v->DoMouseWheel(0, 100, 100, false);
  EXPECT_DOUBLE_EQ(v->Zoom(), 100);
  v->SetAutoFit(true);
  const double fitted = v->Zoom();
  ASSERT_TRUE(GtTestWheel(v->Handle(), 100, 100, -120));
  EXPECT_DOUBLE_EQ(v->Zoom(), fitted);
  EXPECT_EQ(calls, 0);
}

TEST_F(ScrollTest, WheelZoomAtCursorKeepsThePointUnderTheMouse) {
  TZiduzUvView* v = BigView();
  v->SetViewOrigin(200, 150);
  ASSERT_EQ(v->ClientToImageX(100), 300);
  ASSERT_EQ(v->ClientToImageY(80), 230);
  v->MouseWheelParams()->ZoomAtCursor = true;
  ASSERT_TRUE(GtTestWheel(v->Handle(), 100, 80, -120));
  ASSERT_DOUBLE_EQ(v->Zoom(), 108);
  EXPECT_NEAR(v->ClientToImageX(100), 300, 1);
  EXPECT_NEAR(v->ClientToImageY(80), 230, 1);
  // Without the flag the centre of the view is kept instead.
  TZiduzUvView* w = BigView();
  w->SetViewOrigin(200, 150);
  const Integer cx = w->ClientToImageX(w->GetViewWidth() / 2);
  ASSERT_TRUE(GtTestWheel(w->Handle(), 100, 80, -120));
  EXPECT_NEAR(w->ClientToImageX(w->GetViewWidth() / 2), cx, 1);
  EXPECT_GT(std::abs(w->ClientToImageX(100) - 300), 5);
}

TEST_F(ScrollTest, WheelScrollAction) {
  struct Case {
    Integer ImageH;  // 200: only horizontal scrolling is possible
    double Zoom;
    Byte Variation;
    Integer Value;
    Cardinal Mods;
    Integer Delta;
    Integer DX, DY;
  } cases[] = {
      {1600, 100, 0, 8, 0, 120, 0, -8},          // away from the user: up
      {1600, 100, 0, 8, 0, -120, 0, 8},          // towards: down
      {1600, 300, 0, 8, 0, -120, 0, 24},         // whole zoom factor times the value
      {1600, 100, 1, 10, 0, -120, 0, 28},        // 10 % of 283
      {1600, 100, 1, 10, gmkCtrl, -120, 38, 0},  // Ctrl: horizontal, 10 % of 383
      {1600, 100, 1, 0, 0, -120, 0, 1},          // at least one pixel
      {200, 100, 0, 8, 0, -120, 8, 0},           // nothing to scroll vertically
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "zoom " << c.Zoom << " var " << int(c.Variation) << " mods " << c.Mods);
    TZiduzUvView* v = MakeView(400, 300);
    SetPicture(v, 2000, c.ImageH);
    v->SetZoom(c.Zoom);
    v->MouseWheelParams()->Action = 1;
    v->MouseWheelParams()->Variation = c.Variation;
    v->MouseWheelParams()->Value = c.Value;
    v->SetViewOrigin(300, 300);
    const Integer x0 = v->ViewX(), y0 = v->ViewY();
    ASSERT_EQ(x0, 300);
    ASSERT_TRUE(GtTestWheel(v->Handle(), 50, 50, c.Delta, c.Mods));
    EXPECT_EQ(v->ViewX() - x0, c.DX);
    EXPECT_EQ(v->ViewY() - y0, c.DY);
    EXPECT_DOUBLE_EQ(v->Zoom(), c.Zoom);
    delete v;
  }
}

}  // namespace

}  // namespace test_view_scroll_tests
