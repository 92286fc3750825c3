// One step of a bar drag, worked by hand: the catch zone shared out by the
// grab point, left and right docks that need the pointer beside them, the row
// a drop lands in, the 10-pixel start of sliding, a one-pixel bar, and the
// floating rectangle kept within reach.
#include <gtest/gtest.h>

#include <vector>

#include "controls/tbdockdrag.h"

namespace test_tbdockdrag_tests {

// A horizontal dock from 100 to 500 across, 100 to 130 down (grown by 3 for
// the test: 97..503 by 97..133); a bar 101 x 27 outside.
const TRect Dock(100, 100, 500, 130);

TEST(TbDockDrag, TheCatchZoneIsSharedOutByTheGrabPoint) {
  struct {
    Integer GrabX;
    Integer FirstX, EndX;  // accepted: FirstX <= x < EndX
  } Cases[] = {
      {0, 97 - 25, 503},         // grabbed at the far left: all 25 pixels on the left
      {100, 97, 503 + 25},       // far right: all on the right
      {50, 97 - 12, 503 + 13},   // the middle: 12.5 rounds away from zero to 13 on the right
  };
  for (auto& C : Cases) {
    SCOPED_TRACE(C.GrabX);
    TTBDragGrab G = TTBDragGrab::Make(TPoint(C.GrabX, 13), 101, 27);
    auto Accepts = [&](Integer X) {
      TPoint P(X, 110);
      return DockAcceptsPointer(Dock, false, DragRectFor(P, G, TPoint(101, 27)), P, G);
    };
    EXPECT_FALSE(Accepts(C.FirstX - 1));
    EXPECT_TRUE(Accepts(C.FirstX));
    EXPECT_TRUE(Accepts(C.EndX - 1));
    EXPECT_FALSE(Accepts(C.EndX));
  }
}

TEST(TbDockDrag, LeftAndRightDocksIgnorePointersAboveOrBelowThem) {
  const TRect Side(0, 100, 30, 400);
  TTBDragGrab G = TTBDragGrab::Make(TPoint(10, 50), 27, 101);
  for (Integer Y : {90, 96, 403, 410}) {
    SCOPED_TRACE(Y);
    TPoint P(10, Y);
    TRect Bar = DragRectFor(P, G, TPoint(27, 101));
    EXPECT_FALSE(DockAcceptsPointer(Side, true, Bar, P, G));
    // The same rectangle as a horizontal dock takes them through its catch zone.
    EXPECT_TRUE(DockAcceptsPointer(Side, false, Bar, P, G));
  }
  TPoint Inside(10, 97);
  EXPECT_TRUE(DockAcceptsPointer(Side, true, DragRectFor(Inside, G, TPoint(27, 101)), Inside, G));
}

TEST(TbDockDrag, FindRowUsesQuartersOfOrdinaryRowsAndHalvesOfFullSizeOnes) {
  struct {
    const char* What;
    std::vector<TTBRowInfo> Rows;
    bool BarFull;
    Integer Cross, Row;
    bool NewRow;
  } Cases[] = {
      {"first quarter opens a row before", {{26, false}, {26, false}}, false, 5, 0, true},
      {"middle half joins", {{26, false}, {26, false}}, false, 6, 0, false},
      {"middle half joins", {{26, false}, {26, false}}, false, 19, 0, false},
      {"last quarter is the next row's first", {{26, false}, {26, false}}, false, 20, 1, true},
      {"second row joins", {{26, false}, {26, false}}, false, 45, 1, false},
      {"after the last row", {{26, false}, {26, false}}, false, 46, 2, false},
      {"far below", {{26, false}, {26, false}}, false, 500, 2, false},
      {"full-size row: first half opens before", {{26, true}, {26, false}}, false, 12, 0, true},
      {"full-size row: second half passes on", {{26, true}, {26, false}}, false, 13, 1, true},
      {"full-size bar never joins", {{26, false}, {26, false}}, true, 38, 1, true},
      {"full-size bar past a row's first half", {{26, false}, {26, false}}, true, 39, 2, false},
      {"rows of thickness 0 are passed over", {{26, false}, {0, false}, {26, false}}, false, 30, 2, true},
      {"no rows", {}, false, 10, 0, false},
  };
  for (auto& C : Cases) {
    SCOPED_TRACE(testing::Message() << C.What << " at " << C.Cross);
    bool NewRow = !C.NewRow;
    EXPECT_EQ(FindRow(C.Rows, C.Cross, C.BarFull, NewRow), C.Row);
    EXPECT_EQ(NewRow, C.NewRow);
  }
}

TEST(TbDockDrag, SlidingStartsAtExactlyTenPixelsAlongTheDock) {
  const TPoint Start(100, 200);
  EXPECT_FALSE(SlideModeStarts(Start, TPoint(109, 260), false));
  EXPECT_TRUE(SlideModeStarts(Start, TPoint(110, 200), false));
  EXPECT_TRUE(SlideModeStarts(Start, TPoint(90, 200), false));
  EXPECT_FALSE(SlideModeStarts(Start, TPoint(150, 209), true)) << "a vertical dock counts down";
  EXPECT_TRUE(SlideModeStarts(Start, TPoint(100, 190), true));
}

TEST(TbDockDrag, AOnePixelBarDividesByOne) {
  TTBDragGrab G = TTBDragGrab::Make(TPoint(0, 0), 1, 1);
  EXPECT_EQ(G.StartSize, TPoint(1, 1));
  // The grab point stays at the rectangle's corner whatever its new size.
  const TPoint P(300, 115);
  EXPECT_EQ(DragRectFor(P, G, TPoint(50, 20)), Bounds(300, 115, 50, 20));
  EXPECT_TRUE(DockAcceptsPointer(Dock, false, DragRectFor(P, G, TPoint(50, 20)), P, G));
  // A bar grabbed at its far right end keeps that end under the pointer.
  TTBDragGrab Right = TTBDragGrab::Make(TPoint(100, 26), 101, 27);
  EXPECT_EQ(DragRectFor(P, Right, TPoint(51, 27)), Bounds(250, 89, 51, 27));
}

TEST(TbDockDrag, AFloatingRectangleStaysWithinReach) {
  const TRect Work(0, 0, 1280, 1000);
  const Integer Border = 3, TopFrame = 3 + 17;
  // Its top never above 0 - 20 + 4.
  for (Integer Top = -600; Top <= 100; Top += 13) {
    TRect R = KeepFloatingRectReachable(Bounds(100, Top, 200, 40), Work, Border, TopFrame);
    EXPECT_GE(R.Top, -16) << Top;
    EXPECT_EQ(R.Width(), 200);
    EXPECT_EQ(R.Height(), 40);
  }
  EXPECT_EQ(KeepFloatingRectReachable(Bounds(100, -100, 200, 40), Work, Border, TopFrame), Bounds(100, -16, 200, 40));
  EXPECT_EQ(KeepFloatingRectReachable(Bounds(100, 300, 200, 40), Work, Border, TopFrame), Bounds(100, 300, 200, 40));
  // Wholly right of the area (0 + 7 .. 1280 - 7): pulled back so one column is in.
  EXPECT_EQ(KeepFloatingRectReachable(Bounds(2000, 300, 200, 40), Work, Border, TopFrame).Left, 1272);
  EXPECT_EQ(KeepFloatingRectReachable(Bounds(-900, 300, 200, 40), Work, Border, TopFrame).Right, 8);
  EXPECT_EQ(KeepFloatingRectReachable(Bounds(100, 5000, 200, 40), Work, Border, TopFrame).Top, 992);
}

}  // namespace test_tbdockdrag_tests
