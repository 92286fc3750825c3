// The row arrangement over fake bars. Every expected place and size here is
// worked by hand from the arrangement rules: lead space, wrapping, shrinking,
// isolation, stretching, row numbering and thickness.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controls/tbdockarrange.h"

namespace test_tbdockarrange_tests {

// A bar with a 4 x 4 docked frame, so its outer length is its base length + 4.
// When shrunk it wraps its contents onto two lines: twice as thick.
struct TFakeBar : TTBArrangedBar {
  std::string Name;
  Integer Row = 0, Pos = -1;
  bool Visible = true, Full = false, Stretch = false, Dragging = false, Slide = false, NewRow = false;
  TTBShrinkMode Shrink = tbsmNone;
  TPoint Base;
  Integer MinOuter = 0;
  // Results.
  Integer Shrunk = 0, EffRow = -99, EffPos = -99, Thickness = -1, Relayouts = 0, CalcCalls = 0;
  bool SlidePending = false;
  TRect Placed{-1, -1, -1, -1};

  TFakeBar(std::string AName, Integer ARow, Integer APos, Integer OuterLength, Integer Height = 22)
      : Name(std::move(AName)), Row(ARow), Pos(APos), Base(OuterLength - 4, Height) {}

  Integer ArrangeDockRow() const override { return Row; }
  void SetArrangeDockRow(Integer R) override { Row = R; }
  Integer ArrangeDockPos() const override { return Pos; }
  void SetArrangeDockPos(Integer P) override { Pos = P; }
  bool VisibleInDock() const override { return Visible; }
  bool ArrangeFullSize() const override { return Full; }
  bool ArrangeStretch() const override { return Stretch; }
  bool ArrangeDragging() const override { return Dragging; }
  bool ArrangeSlideMode() const override { return Slide; }
  void SetArrangeSlidePending() override { SlidePending = true; }
  bool ArrangeNewRowRequest() const override { return NewRow; }
  TPoint ArrangeBaseSize() override { return Base; }
  TPoint ArrangeDockedNCAreaSize() override { return {4, 4}; }
  void ArrangeMinShrinkSize(Integer& Length) override { Length = MinOuter; }
  TTBShrinkMode ArrangeShrinkMode() override { return Shrink; }
  Integer ArrangeShrunkSize() const override { return Shrunk; }
  void SetArrangeShrunkSize(Integer S) override { Shrunk = S; }
  TPoint ArrangeCalcDockedSize() override {
    ++CalcCalls;
    return Shrunk ? TPoint(Shrunk - 4, 2 * Base.Y) : Base;
  }
  TPoint ArrangeClientSize() override { return {Placed.Width() - 4, Placed.Height() - 4}; }
  void SetArrangeEffective(Integer R, Integer P) override {
    EffRow = R;
    EffPos = P;
  }
  void SetArrangeRowThickness(Integer T) override { Thickness = T; }
  void ArrangePlace(const TRect& Bounds, bool Relayout) override {
    Placed = Bounds;
    if (Relayout) {
      ++Relayouts;
      Shrunk = 0;  // as a real bar's relayout does
    }
  }
};

TFakeBar Chevron(std::string Name, Integer Row, Integer Pos, Integer Outer, Integer Min) {
  TFakeBar B(std::move(Name), Row, Pos, Outer);
  B.Shrink = tbsmChevron;
  B.MinOuter = Min;
  return B;
}

struct TDock {
  std::vector<TFakeBar> Bars;
  std::vector<TTBArrangedBar*> List;
  Integer Thickness = -1;
  explicit TDock(std::vector<TFakeBar> B) : Bars(std::move(B)) {
    for (TFakeBar& F : Bars) List.push_back(&F);
  }
  TDock& Arrange(Integer Avail, bool Vertical = false, bool OneRow = false, bool Commit = false) {
    TTBArrangeParams P;
    P.Vertical = Vertical;
    P.AvailableLength = Avail;
    P.LimitToOneRow = OneRow;
    P.CommitPositions = Commit;
    Thickness = ArrangeBarRows(List, P);
    return *this;
  }
  TFakeBar& operator[](const std::string& Name) {
    for (TFakeBar& F : Bars)
      if (F.Name == Name) return F;
    throw std::runtime_error("no bar " + Name);
  }
};

// Expected placement of one bar on a horizontal dock: row, left, length, top, height.
struct TPlace {
  const char* Name;
  Integer Row, Left, Length, Top, Height;
};
void ExpectPlaces(TDock& D, std::initializer_list<TPlace> Places) {
  for (const TPlace& P : Places) {
    SCOPED_TRACE(P.Name);
    TFakeBar& B = D[P.Name];
    EXPECT_EQ(B.EffRow, P.Row);
    EXPECT_EQ(B.EffPos, P.Left);
    EXPECT_EQ(B.Placed, Bounds(P.Left, P.Top, P.Length, P.Height));
  }
}

TEST(TbDockArrange, LeadSpaceClosesBeforeChevronBarsShrinkLastFirst) {
  // A at 0 and B at 300, 200 long each, both able to shrink to 50.
  TDock D({Chevron("A", 0, 0, 200, 50), Chevron("B", 0, 300, 200, 50)});
  D.Arrange(1000);
  ExpectPlaces(D, {{"A", 0, 0, 200, 0, 26}, {"B", 0, 300, 200, 0, 26}});
  EXPECT_EQ(D["B"].Shrunk, 0);
  // 450: the 100-pixel gap shrinks to 50, nobody shrinks.
  D.Arrange(450);
  ExpectPlaces(D, {{"A", 0, 0, 200, 0, 26}, {"B", 0, 250, 200, 0, 26}});
  // 350: the gap is gone and the last bar gives up the 50 missing.
  D.Arrange(350);
  ExpectPlaces(D, {{"A", 0, 0, 200, 0, 48}, {"B", 0, 200, 150, 0, 48}});
  EXPECT_EQ(D["B"].Shrunk, 150) << "the shrunk size survives the bar's relayout";
  EXPECT_EQ(D["B"].Relayouts, 1);
  EXPECT_EQ(D["B"].Thickness, 44);
  // 200: B goes down to its minimum, then A pays the rest.
  D.Arrange(200);
  ExpectPlaces(D, {{"A", 0, 0, 150, 0, 48}, {"B", 0, 150, 50, 0, 48}});
  // 90: the two minimums no longer fit: B wraps to a row of its own.
  D.Arrange(90);
  ExpectPlaces(D, {{"A", 0, 0, 90, 0, 48}, {"B", 1, 0, 90, 48, 48}});
  EXPECT_EQ(D.Thickness, 96);
  // Back to full width: nothing is shrunk, and rows come back together.
  D.Arrange(1000);
  ExpectPlaces(D, {{"A", 0, 0, 200, 0, 26}, {"B", 0, 300, 200, 0, 26}});
  EXPECT_EQ(D["A"].Shrunk, 0);
  EXPECT_EQ(D.Thickness, 26);
}

TEST(TbDockArrange, WrappingAndShrinkingOfRowsThatDoNotFit) {
  struct {
    const char* What;
    std::vector<TFakeBar> Bars;
    Integer Avail;
    bool OneRow;
    std::vector<TPlace> Places;
    Integer Thickness;
  } Cases[] = {
      {"the first bar of a row never wraps; it overflows",
       {TFakeBar("A", 0, -1, 300)}, 200, false, {{"A", 0, 0, 300, 0, 26}}, 26},
      {"a bar that does not fit after another wraps",
       {TFakeBar("A", 0, -1, 200), TFakeBar("B", 0, -1, 200)}, 300, false,
       {{"A", 0, 0, 200, 0, 26}, {"B", 1, 0, 200, 26, 26}}, 52},
      {"with one row only, nothing wraps",
       {TFakeBar("A", 0, -1, 200), TFakeBar("B", 2, -1, 200)}, 300, true,
       {{"A", 0, 0, 200, 0, 26}, {"B", 0, 200, 200, 0, 26}}, 26},
      {"wrapping pushes the later rows down",
       {TFakeBar("A", 0, -1, 200), TFakeBar("B", 0, -1, 200), TFakeBar("C", 1, -1, 100)}, 300, false,
       {{"A", 0, 0, 200, 0, 26}, {"B", 1, 0, 200, 26, 26}, {"C", 2, 0, 100, 52, 26}}, 78},
  };
  for (auto& C : Cases) {
    SCOPED_TRACE(C.What);
    TDock D(C.Bars);
    D.Arrange(C.Avail, false, C.OneRow);
    for (const TPlace& P : C.Places) ExpectPlaces(D, {P});
    EXPECT_EQ(D.Thickness, C.Thickness);
  }
}

TEST(TbDockArrange, AWrapBarShrinksOnlyWhenAloneInItsRow) {
  auto Wrap = [](std::string Name, Integer Outer, Integer Min) {
    TFakeBar B(std::move(Name), 0, -1, Outer);
    B.Shrink = tbsmWrap;
    B.MinOuter = Min;
    return B;
  };
  TDock Alone({Wrap("A", 300, 100)});
  Alone.Arrange(200);
  ExpectPlaces(Alone, {{"A", 0, 0, 200, 0, 48}});
  EXPECT_EQ(Alone["A"].Shrunk, 200);
  EXPECT_EQ(Alone["A"].CalcCalls, 1);

  TDock Shared({Wrap("A", 300, 100), TFakeBar("B", 0, -1, 200)});
  Shared.Arrange(300, false, true);
  ExpectPlaces(Shared, {{"A", 0, 0, 300, 0, 26}, {"B", 0, 300, 200, 0, 26}});
  EXPECT_EQ(Shared["A"].Shrunk, 0);
}

TEST(TbDockArrange, OverlapsArePaidByTheChevronBarsInFrontOfThem) {
  // B asks to start at 100, inside A: A shrinks by the 100 missing, and C,
  // though last and able to shrink, keeps its length.
  TDock D({Chevron("A", 0, 0, 300, 100), TFakeBar("B", 0, 100, 200), Chevron("C", 0, 600, 300, 100)});
  D.Arrange(700);
  ExpectPlaces(D, {{"A", 0, 0, 200, 0, 48}, {"B", 0, 200, 200, 0, 48}, {"C", 0, 400, 300, 0, 48}});
  EXPECT_EQ(D["C"].Shrunk, 0);
}

TEST(TbDockArrange, FullSizeBarsTakeARowToThemselves) {
  TFakeBar F("F", 0, 100, 200);
  F.Full = true;
  TDock D({TFakeBar("A", 0, 0, 100), F, TFakeBar("B", 0, 300, 100), TFakeBar("C", 1, -1, 100)});
  D.Arrange(1000);
  ExpectPlaces(D, {{"A", 1, 0, 100, 26, 26},
                   {"F", 0, 0, 1000, 0, 26},
                   {"B", 1, 300, 100, 26, 26},
                   {"C", 2, 0, 100, 52, 26}});
  EXPECT_EQ(D.Thickness, 78);
}

TEST(TbDockArrange, NewRowRequestIsolatesTheBarUnlessLimitedToOneRow) {
  TFakeBar N("N", 0, 150, 100);
  N.NewRow = true;
  TDock D({TFakeBar("A", 0, 0, 100), N, TFakeBar("B", 0, 300, 100)});
  D.Arrange(1000);
  ExpectPlaces(D, {{"A", 1, 0, 100, 26, 26}, {"N", 0, 150, 100, 0, 26}, {"B", 1, 300, 100, 26, 26}});
  D.Arrange(1000, false, true);
  ExpectPlaces(D, {{"A", 0, 0, 100, 0, 26}, {"N", 0, 150, 100, 0, 26}, {"B", 0, 300, 100, 0, 26}});
}

TEST(TbDockArrange, StretchBarsFillTheEndOrTheGapAfterThem) {
  TFakeBar S1("S", 0, 0, 100);
  S1.Stretch = true;
  TDock Middle({S1, TFakeBar("B", 0, 400, 100)});
  Middle.Arrange(1000);
  ExpectPlaces(Middle, {{"S", 0, 0, 400, 0, 26}, {"B", 0, 400, 100, 0, 26}});

  TFakeBar S2("S", 0, 200, 100);
  S2.Stretch = true;
  TDock End({TFakeBar("A", 0, 0, 100), S2});
  End.Arrange(1000);
  ExpectPlaces(End, {{"A", 0, 0, 100, 0, 26}, {"S", 0, 100, 900, 0, 26}});
}

TEST(TbDockArrange, EmptyRowsVanishHiddenRowsKeepTheirNumberWithNoThickness) {
  TFakeBar H("H", 2, -1, 100);
  H.Visible = false;
  TDock D({TFakeBar("A", 0, -1, 100, 30), H, TFakeBar("B", 0, -1, 100, 18), TFakeBar("C", 3, -1, 100)});
  D.Arrange(1000);
  // Row 1 held nothing: H's row 2 becomes 1, C's row 3 becomes 2. Row 0 is
  // 30 + 4 thick (its thickest bar), H's row takes nothing.
  ExpectPlaces(D, {{"A", 0, 0, 100, 0, 34}, {"B", 0, 100, 100, 0, 34}, {"C", 2, 0, 100, 34, 26}});
  EXPECT_EQ(D["H"].EffRow, 1);
  EXPECT_EQ(D["H"].Placed, TRect(-1, -1, -1, -1)) << "a hidden bar is not placed";
  EXPECT_EQ(D["A"].Thickness, 30);
  EXPECT_EQ(D["B"].Thickness, 18);
  EXPECT_EQ(D.Thickness, 60);
}

TEST(TbDockArrange, VerticalDocksRunDownwardsAndStackRowsSideways) {
  // On a vertical dock the length is the height and the thickness the width.
  TFakeBar A("A", 0, -1, 0), B("B", 0, -1, 0), C("C", 1, 50, 0);
  A.Base = {22, 96};
  B.Base = {30, 96};
  C.Base = {22, 46};
  TDock D({A, B, C});
  D.Arrange(300, true);
  EXPECT_EQ(D["A"].Placed, Bounds(0, 0, 34, 100));
  EXPECT_EQ(D["B"].Placed, Bounds(0, 100, 34, 100));
  EXPECT_EQ(D["C"].Placed, Bounds(34, 50, 26, 50));
  EXPECT_EQ(D.Thickness, 60);
}

TEST(TbDockArrange, SlidingBarKeepsItsListPlaceAndPushesTheOthers) {
  // D is first in the list but asks for 150, beyond A (0) and B (100).
  TFakeBar Drag("D", 0, 150, 100);
  Drag.Dragging = true;
  TDock Plain({Drag, TFakeBar("A", 0, 0, 100), TFakeBar("B", 0, 100, 100)});
  Plain.Arrange(1000);
  ExpectPlaces(Plain, {{"A", 0, 0, 100, 0, 26}, {"B", 0, 100, 100, 0, 26}, {"D", 0, 200, 100, 0, 26}});

  Drag.Slide = true;
  TDock Sliding({Drag, TFakeBar("A", 0, 0, 100), TFakeBar("B", 0, 100, 100)});
  Sliding.Arrange(1000);
  ExpectPlaces(Sliding, {{"D", 0, 150, 100, 0, 26}, {"A", 0, 250, 100, 0, 26}, {"B", 0, 350, 100, 0, 26}});
}

TEST(TbDockArrange, DraggedBarTakesBackLeadSpaceAndTheBarsAfterItStay) {
  // A asked for 20, D (dragged) for 50, C for 500. D covers A's lead space:
  // A moves to 0, D follows it, and C keeps the place it had, 500.
  TFakeBar Drag("D", 0, 50, 100);
  Drag.Dragging = true;
  TDock D({TFakeBar("A", 0, 20, 100), Drag, TFakeBar("C", 0, 500, 100)});
  D.Arrange(1000);
  ExpectPlaces(D, {{"A", 0, 0, 100, 0, 26}, {"D", 0, 100, 100, 0, 26}, {"C", 0, 500, 100, 0, 26}});
  EXPECT_FALSE(D["D"].SlidePending) << "the row has room";

  // Without room, a dragged bar sharing its row is marked to slide.
  D.Arrange(250, false, true);
  EXPECT_TRUE(D["D"].SlidePending);
}

TEST(TbDockArrange, CommitWritesPositionsBackAndReordersTheList) {
  TDock D({TFakeBar("B", 0, 300, 100), TFakeBar("A", 0, 0, 100), TFakeBar("C", 4, -1, 100)});
  D.Arrange(1000, false, false, true);
  EXPECT_EQ(D.List[0], &D["A"]);
  EXPECT_EQ(D.List[1], &D["B"]);
  EXPECT_EQ(D.List[2], &D["C"]);
  EXPECT_EQ(D["C"].Row, 1);
  EXPECT_EQ(D["C"].Pos, 0);
  EXPECT_EQ(D["B"].Pos, 300);
}

TEST(TbDockArrange, BarsThatTieKeepTheirListOrder) {
  // Forty bars at the default position -1 in one row, arranged a hundred
  // times: each stays where its place in the list puts it.
  std::vector<TFakeBar> Bars;
  for (int i = 0; i < 40; ++i) Bars.emplace_back("B" + std::to_string(i), 0, -1, 10);
  TDock D(Bars);
  for (int Round = 0; Round < 100; ++Round) {
    D.Arrange(1000, false, false, Round % 2 == 1);
    for (int i = 0; i < 40; ++i) {
      ASSERT_EQ(D.List[i], &D.Bars[i]) << "round " << Round;
      ASSERT_EQ(D.Bars[i].EffPos, 10 * i) << "round " << Round;
    }
    for (TFakeBar& B : D.Bars) B.Pos = -1;
  }
}

}  // namespace test_tbdockarrange_tests
