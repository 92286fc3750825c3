// The splitter: pane layout and the position rules, resizing in its three
// modes, the hot spot's look and clicks, and dragging the bar.
#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <string>
#include <vector>

#include "controls/fcsplit.h"
#include "platform/ui/forms.h"
#include "platform/ui/messages.h"
#include "platform/ui/testsupport.h"

namespace fcsplit_tests {
namespace {

struct TSplitForm {
  std::unique_ptr<TForm> Form{new TForm(nullptr)};
  TFcSplitter* S;
  TSplitForm() {
    Form->SetClientWidth(400);
    Form->SetClientHeight(200);
    Form->Show();
    GtTestActivate(Form->Handle());
    S = new TFcSplitter(Form.get());
    S->SetParent(Form.get());
    S->SetLeft(10);
    S->SetTop(10);
  }
  void Width(Integer W) { S->SetBounds(S->Left(), S->Top(), W, S->Height()); }
};

TEST(FcSplitter, ANewSplitterKeepsItsPercentUntilTheFirstResize) {
  std::unique_ptr<TForm> form(new TForm(nullptr));
  auto* s = new TFcSplitter(form.get());
  EXPECT_EQ(s->Width(), 200);
  EXPECT_EQ(s->Height(), 100);
  EXPECT_EQ(s->BarRect(), TRect(100, 0, 104, 100));
  EXPECT_EQ(s->Pane1()->BoundsRect(), TRect(0, 0, 100, 100));
  EXPECT_EQ(s->Pane2()->BoundsRect(), TRect(104, 0, 200, 100));
  // Just made, before any resize: the default, not computed from the position.
  EXPECT_EQ(s->Percent(), 50);
  // The first resize (here the size message of its new window; the extent
  // stays 200): base = 200 - 4 div 2 = 198, Round(100 / 198 * 100) = 51.
  s->SetParent(form.get());
  s->HandleNeeded();
  s->SetHeight(150);
  EXPECT_EQ(s->Position(), 100);
  EXPECT_EQ(s->Percent(), 51);
}

TEST(FcSplitter, TheUpperBoundUsesThePanelsFrameWidthForEveryOuterStyle) {
  // Width of each style's frame with BevelWidth 1; the pane area lies two
  // frame widths in on each side, so the bar stops with pane 2 at zero.
  const struct {
    TFrameStyleEx Style;
    Integer Max;
  } rows[] = {{fsNone, 196},       {fsFlat, 192},  {fsGroove, 188}, {fsBump, 188},
              {fsLowered, 188},    {fsButtonDown, 188}, {fsRaised, 188}, {fsButtonUp, 188},
              {fsStatus, 192},     {fsPopup, 192}, {fsFlatBold, 188}, {fsFlatRounded, 188}};
  for (const auto& r : rows) {
    TSplitForm f;
    f.S->SetBorderOuter(r.Style);
    f.S->SetPosition(1000);
    EXPECT_EQ(f.S->Position(), r.Max) << int(r.Style);
    EXPECT_EQ(f.S->Pane2()->Width(), 0) << int(r.Style);
    EXPECT_EQ(f.S->Pane1()->BoundsRect().Right + 4, f.S->Pane2()->Left()) << int(r.Style);
  }
  TSplitForm f;
  f.S->SetMarginMin(30);
  f.S->SetMarginMax(50);
  f.S->SetPosition(10);
  EXPECT_EQ(f.S->Position(), 30);
  f.S->SetPosition(190);
  EXPECT_EQ(f.S->Position(), 200 - 50 - 4);
  f.S->SetMarginMin(180);  // both bounds conflict: the upper one wins
  EXPECT_EQ(f.S->MarginMin(), 150);
  f.S->SetPosition(0);
  EXPECT_EQ(f.S->Position(), 146);
}

TEST(FcSplitter, ASmallSplitterNeverGivesAPaneANegativeSize) {
  TSplitForm f;
  f.S->SetMarginMin(10);
  f.S->SetMarginMax(10);
  for (Integer w : {20, 14, 5, 2, 0}) {
    f.Width(w);
    for (Integer p : {-5, 0, 5, 100}) {
      f.S->SetPosition(p);
      EXPECT_GE(f.S->Position(), 0) << w << " " << p;
      EXPECT_GE(f.S->Pane1()->Width(), 0) << w << " " << p;
      EXPECT_GE(f.S->Pane2()->Width(), 0) << w << " " << p;
    }
  }
}

TEST(FcSplitter, AHiddenPaneLetsTheOtherFillTheAreaAndAnyPositionStand) {
  TSplitForm f;
  f.S->Pane2()->SetVisible(false);
  EXPECT_EQ(f.S->Pane1()->BoundsRect(), TRect(0, 0, 200, 100));
  EXPECT_EQ(f.S->BarRect().Width(), 0);
  f.S->SetPosition(1000);
  EXPECT_EQ(f.S->Position(), 1000);
  f.S->Pane2()->SetVisible(true);
  f.S->Pane1()->SetVisible(false);
  EXPECT_EQ(f.S->Pane2()->BoundsRect(), TRect(0, 0, 200, 100));
}

TEST(FcSplitter, UpperLeftModeReturnsTheBarToTheUsersPlaceWhenThereIsRoomAgain) {
  TSplitForm f;
  f.S->MoveBar(150);
  f.Width(100);  // shrinks below the place: pushed to the upper bound
  EXPECT_EQ(f.S->Position(), 96);
  f.Width(120);
  EXPECT_EQ(f.S->Position(), 116);
  f.Width(300);
  EXPECT_EQ(f.S->Position(), 150);
}

TEST(FcSplitter, PercentModeKeepsTheBarAtItsShareOfTheBase) {
  TSplitForm f;
  f.S->SetPercent(25);
  EXPECT_TRUE(f.S->UsePercent());
  EXPECT_EQ(f.S->Position(), 50);  // Round(0.25 * 198) = Round(49.5), halves to even
  f.Width(400);
  EXPECT_EQ(f.S->Position(), 100);  // Round(0.25 * 398) = Round(99.5)
  EXPECT_EQ(f.S->Percent(), 25);
  f.S->SetPercentMin(30);  // margin in pixels follows: Round(0.3 * 398) = 119
  EXPECT_EQ(f.S->MarginMin(), 119);
  f.Width(100);  // Round(0.25 * 98) = 24, below the new margin Round(0.3 * 98) = 29
  EXPECT_EQ(f.S->Position(), 29);
}

TEST(FcSplitter, LowerRightModeKeepsTheDistanceFromTheTrailingEdge) {
  TSplitForm f;
  f.S->SetMarginMax(10);
  f.S->SetFixedPane(fpLowerRight);
  f.S->MoveBar(150);
  EXPECT_EQ(f.S->PreferredPosition(), 50);
  f.Width(300);
  EXPECT_EQ(f.S->Position(), 250);
  f.Width(40);  // smaller than the distance: pane 1 gives way entirely
  EXPECT_EQ(f.S->Position(), 0);
  f.Width(300);
  EXPECT_EQ(f.S->Position(), 250);
  f.Width(500);
  EXPECT_EQ(f.S->Position(), 450);
}

TEST(FcSplitter, OrientationAndBarStylesLayOutAndWidenTheBar) {
  TSplitForm f;
  f.S->SetPercent(49);
  f.S->SetPercent(50);
  EXPECT_EQ(f.S->Position(), 99);
  f.S->SetOrientation(orVertical);
  EXPECT_EQ(f.S->Position(), 49);  // Round(0.5 * 98)
  EXPECT_EQ(f.S->Pane1()->BoundsRect(), TRect(0, 0, 200, 49));
  EXPECT_EQ(f.S->BarRect(), TRect(0, 49, 200, 53));
  EXPECT_EQ(f.S->Pane2()->BoundsRect(), TRect(0, 53, 200, 100));
  f.S->SetSplitterStyle(ssGroove);
  EXPECT_EQ(f.S->SplitterWidth(), 6);
  f.S->SetHotSpotVisible(true);
  EXPECT_EQ(f.S->SplitterWidth(), 7);
  EXPECT_EQ(f.S->BarRect(), TRect(0, 49, 200, 56));
  // 40 % of the bar's 200 pixels, centred: 100 - 40 to 100 + 40.
  EXPECT_EQ(f.S->HotSpotRect(), TRect(60, 49, 140, 56));
  EXPECT_THROW(f.S->GetPaneData(3), ERangeError);
  EXPECT_EQ(f.S->GetPaneData(2)->Pane(), f.S->Pane2());
}

TEST(FcSplitter, AClickOnAnEmptyPaneReachesTheWindowBeneath) {
  TSplitForm f;
  std::vector<TPoint> downs;
  f.S->OnMouseDown = [&](TObject*, TMouseButton, TShiftState, Integer X, Integer Y) { downs.push_back({X, Y}); };
  EXPECT_EQ(f.S->Pane1()->Perform(WM_NCHITTEST, 0, 0), HTTRANSPARENT);
  GtTestPump(10);
  GtTestClick(f.S->Pane2()->Handle(), gmbLeft, 5, 7);
  ASSERT_EQ(downs.size(), 1u);
  EXPECT_EQ(downs[0], TPoint(109, 7));
  // Where a graphic control lies on the pane, the click is that control's.
  auto* bar = new TFcProgressBar(f.Form.get());
  bar->SetParent(f.S->Pane2());
  bar->SetBounds(0, 0, 40, 20);
  Integer barDowns = 0;
  bar->OnMouseDown = [&](TObject*, TMouseButton, TShiftState, Integer, Integer) { ++barDowns; };
  GtTestPump(10);
  GtTestClick(f.S->Pane2()->Handle(), gmbLeft, 5, 7);
  EXPECT_EQ(barDowns, 1);
  EXPECT_EQ(downs.size(), 1u);
}

// The form as it shows, children and the ghost bar's overlay included.
std::vector<uint32_t> FormPixels(TForm* F) {
  std::vector<uint32_t> px;
  Integer w = 0, h = 0;
  GtTestGrab(F->Handle(), px, w, h);
  return px;
}

TEST(FcSplitter, DraggingTheBarMovesItByTheMouseTravelAndEscapeCancels) {
  for (bool live : {false, true}) {
    TSplitForm f;
    f.S->SetRealTimeDrag(live);
    GtTestPump(10);
    const HWND w = f.S->Handle();
    GtTestMouse(w, gmaPress, gmbLeft, 101, 50);
    GtTestMouse(w, gmaMove, gmbLeft, 121, 50);
    GtTestMouse(w, gmaMove, gmbLeft, 131, 52);
    EXPECT_EQ(f.S->Position(), live ? 130 : 100) << live;
    GtTestMouse(w, gmaRelease, gmbLeft, 131, 52);
    EXPECT_EQ(f.S->Position(), 130) << live;
    EXPECT_FALSE(f.S->Dragging());
  }
  TSplitForm f;
  GtTestPump(10);
  const std::vector<uint32_t> before = FormPixels(f.Form.get());
  const HWND w = f.S->Handle();
  GtTestMouse(w, gmaPress, gmbLeft, 102, 50);
  GtTestMouse(w, gmaMove, gmbLeft, 132, 50);
  EXPECT_NE(FormPixels(f.Form.get()), before);  // the ghost shows
  GtTestKey(w, true, VK_ESCAPE);
  EXPECT_FALSE(f.S->Dragging());
  EXPECT_EQ(FormPixels(f.Form.get()), before);  // and is gone again
  GtTestMouse(w, gmaRelease, gmbLeft, 132, 50);
  EXPECT_EQ(f.S->Position(), 100);
}

TEST(FcSplitter, ARefusedChangeKeepsTheGhostAtTheLastAcceptedPlace) {
  TSplitForm f;
  f.S->OnChanging = [](TObject*, Integer NewPos, bool& Allow) { Allow = NewPos <= 120; };
  GtTestPump(10);
  const HWND w = f.S->Handle();
  GtTestMouse(w, gmaPress, gmbLeft, 101, 50);
  GtTestMouse(w, gmaMove, gmbLeft, 111, 50);
  GtTestMouse(w, gmaMove, gmbLeft, 141, 50);
  GtTestMouse(w, gmaRelease, gmbLeft, 141, 50);
  EXPECT_EQ(f.S->Position(), 110);
}

struct THotSplit : TSplitForm {
  Integer Clicks = 0;
  THotSplit(THotSpotDirection D, bool IgnoreMargins) {
    S->SetMarginMin(70);
    S->SetMarginMax(70);
    S->SetHotSpotVisible(true);
    S->SetHotSpotDirection(D);
    S->SetHotSpotIgnoreMargins(IgnoreMargins);
    S->OnHotSpotClick = [this](TObject*) { ++Clicks; };
    GtTestPump(10);
  }
  void Click(Integer X, Integer Y) { GtTestClick(S->Handle(), gmbLeft, X, Y); }
};

TEST(FcSplitter, HotSpotClicksCloseToTheHalfClickedAndReopenToTheOldPlace) {
  {
    THotSplit h(hsdBoth, true);
    EXPECT_EQ(h.S->HotSpotRect(), TRect(100, 30, 107, 70));
    h.Click(103, 35);  // first half: pane 1 collapses, margins ignored
    EXPECT_TRUE(h.S->HotSpotClosedToMin());
    EXPECT_EQ(h.S->Position(), 0);
    h.Click(3, 35);
    EXPECT_FALSE(h.S->HotSpotClosed());
    EXPECT_EQ(h.S->Position(), 100);
    h.Click(103, 60);  // second half: pane 2 collapses
    EXPECT_TRUE(h.S->HotSpotClosedToMax());
    EXPECT_EQ(h.S->Position(), 193);
    EXPECT_EQ(h.Clicks, 3);
  }
  {
    THotSplit h(hsdBoth, false);
    h.Click(103, 35);
    EXPECT_EQ(h.S->Position(), 70);  // stops at the margin
    h.Click(73, 35);
    EXPECT_EQ(h.S->Position(), 100);
    h.Click(103, 60);
    EXPECT_EQ(h.S->Position(), 123);
  }
  {
    THotSplit h(hsdMax, true);
    h.Click(103, 35);  // one direction only, whichever half
    EXPECT_EQ(h.S->Position(), 193);
  }
}

TEST(FcSplitter, APressOnTheHotSpotThatMovesTheBarDragsInsteadOfToggling) {
  {
    THotSplit h(hsdMin, true);
    const HWND w = h.S->Handle();
    GtTestMouse(w, gmaPress, gmbLeft, 103, 35);
    GtTestMouse(w, gmaMove, gmbLeft, 113, 35);
    GtTestMouse(w, gmaRelease, gmbLeft, 113, 35);
    EXPECT_EQ(h.S->Position(), 110);
    EXPECT_FALSE(h.S->HotSpotClosed());
    EXPECT_EQ(h.Clicks, 0);
  }
  {
    THotSplit h(hsdMin, true);
    h.S->SetLockBar(true);
    const HWND w = h.S->Handle();
    GtTestMouse(w, gmaPress, gmbLeft, 101, 10);  // the bar off the hot spot: locked
    GtTestMouse(w, gmaMove, gmbLeft, 121, 10);
    GtTestMouse(w, gmaRelease, gmbLeft, 121, 10);
    EXPECT_EQ(h.S->Position(), 100);
    GtTestMouse(w, gmaPress, gmbLeft, 103, 35);
    GtTestMouse(w, gmaMove, gmbLeft, 104, 36);  // inside the hot spot still
    GtTestMouse(w, gmaRelease, gmbLeft, 104, 36);
    EXPECT_TRUE(h.S->HotSpotClosedToMin());
    EXPECT_EQ(h.S->Position(), 0);
    EXPECT_EQ(h.Clicks, 1);
  }
}

COLORREF Rgb(TColor C) { return static_cast<COLORREF>(ColorToRGB(C)) & 0xFFFFFF; }

struct TSurface {
  std::vector<uint32_t> Px;
  Integer W = 0, H = 0;
  explicit TSurface(TFcSplitter* S) { GtTestSurface(S->Handle(), Px, W, H); }
  COLORREF At(Integer X, Integer Y) const {
    const uint32_t v = Px[size_t(Y) * W + X];
    return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
  }
};

TEST(FcSplitter, HotSpotDotsRunEveryThreePixelsFromFifteenAndClearTheCentre) {
  // A vertical bar: the hot spot is 7 x 40 at (100, 30); its length 40 gives
  // (40 - 32) div 3 + 1 = 3 dots at 45, 48 and 51.
  const struct {
    THotSpotDirection Direction;
    const char* Column;  // x = 103, y = 42 .. 57
  } rows[] = {{hsdMin, "...D..D..D......"}, {hsdMax, "...D..D..D......"}, {hsdBoth, "...D....F......."}};
  for (const auto& r : rows) {
    THotSplit h(r.Direction, true);
    h.S->DrawHotSpot(false, TPoint(0, 0));
    TSurface s(h.S);
    std::string col;
    for (Integer y = 42; y < 58; ++y) {
      const COLORREF c = s.At(103, y);
      col += c == Rgb(clHighlight) ? 'D' : c == Rgb(clBtnShadow) ? 'F' : c == Rgb(clBtnFace) ? '.' : '?';
    }
    EXPECT_EQ(col, r.Column) << int(r.Direction);
  }
  // A hot spot shorter than 32 pixels has no dots.
  THotSplit h(hsdMin, true);
  h.S->SetHeight(70);  // hot spot 28 long
  h.S->DrawHotSpot(false, TPoint(0, 0));
  TSurface s(h.S);
  for (Integer y = h.S->HotSpotRect().Top + 11; y < h.S->HotSpotRect().Bottom - 11; ++y)
    EXPECT_NE(s.At(103, y), Rgb(clHighlight)) << y;
}

TEST(FcSplitter, HotSpotArrowsPointAsTheTableSays) {
  // Per orientation, direction and state: whether the first and the second
  // arrow point to the minimum (up or left).
  enum TState { Open, ClosedMin, ClosedMax };
  const struct {
    THotSpotDirection Direction;
    TState State;
    bool First, Second;
  } rows[] = {{hsdMin, Open, true, true},         {hsdMin, ClosedMin, false, false},
              {hsdMax, Open, false, false},       {hsdMax, ClosedMax, true, true},
              {hsdBoth, Open, true, false},       {hsdBoth, ClosedMin, false, false},
              {hsdBoth, ClosedMax, true, true}};
  for (TOrientation o : {orHorizontal, orVertical}) {
    for (const auto& r : rows) {
      THotSplit h(r.Direction, true);
      h.S->SetMarginMin(0);
      h.S->SetMarginMax(0);
      h.S->SetOrientation(o);
      h.S->SetPosition(40);
      const TRect hs0 = h.S->HotSpotRect();
      if (r.State != Open) {
        const bool firstHalf = r.State == ClosedMin;
        const Integer x = o == orVertical ? (firstHalf ? hs0.Left + 2 : hs0.Right - 2) : hs0.Left + 3;
        const Integer y = o == orVertical ? hs0.Top + 3 : (firstHalf ? hs0.Top + 2 : hs0.Bottom - 2);
        h.Click(x, y);
        ASSERT_TRUE(h.S->HotSpotClosed());
      }
      h.S->DrawHotSpot(false, TPoint(0, 0));
      const TRect hs = h.S->HotSpotRect();
      TSurface s(h.S);
      const COLORREF dot = Rgb(clHighlight);
      const Integer cx = hs.Left + hs.Width() / 2, cy = hs.Top + hs.Height() / 2;
      // An arrow toward the minimum has its wide end on the far side.
      auto towardMin = [&](Integer A, Integer B) {
        if (o == orVertical) return s.At(A - 2, B + 1) == dot && s.At(A - 2, B - 1) != dot;
        return s.At(A + 1, B - 2) == dot && s.At(A - 1, B - 2) != dot;
      };
      auto towardMax = [&](Integer A, Integer B) {
        if (o == orVertical) return s.At(A - 2, B - 1) == dot && s.At(A - 2, B + 1) != dot;
        return s.At(A - 1, B - 2) == dot && s.At(A + 1, B - 2) != dot;
      };
      const TPoint a1 = o == orVertical ? TPoint(hs.Left + 8, cy) : TPoint(cx, hs.Top + 8);
      const TPoint a2 = o == orVertical ? TPoint(hs.Right - 8, cy) : TPoint(cx, hs.Bottom - 8);
      EXPECT_TRUE(r.First ? towardMin(a1.X, a1.Y) : towardMax(a1.X, a1.Y)) << int(o) << int(r.Direction) << r.State;
      EXPECT_TRUE(r.Second ? towardMin(a2.X, a2.Y) : towardMax(a2.X, a2.Y)) << int(o) << int(r.Direction) << r.State;
    }
  }
}

}  // namespace
}  // namespace fcsplit_tests
