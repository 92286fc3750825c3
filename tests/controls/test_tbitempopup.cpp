// Placement of popup menus: context menus, submenus that open to the side
// with room and remember it, drop-downs, chevrons, keeping the parent
// toolbar in sight, popups taller than the work area, and slide directions.
#include <gtest/gtest.h>

#include "tests/controls/tbtest.h"

#include "controls/tbitempopup.h"

namespace test_tbitempopup_tests {

namespace {

const TRect Work(0, 0, 1024, 768);

struct TRow {
  const char* Name;
  TTBPopupPlacementInput In;
  TPoint Expected;
  bool Leftwards;
  const char* Slide;  // "L", "R", "U", "D" in that order
};

TTBPopupPlacementInput Context(Integer X, Integer Y, Integer W, Integer H, TTBPopupAlignment A = tbpaLeft) {
  TTBPopupPlacementInput In;
  In.ParentRect = TRect(X, Y, X, Y);
  In.Monitor = Work;
  In.Width = W;
  In.Height = H;
  In.Alignment = A;
  return In;
}

TTBPopupPlacementInput Sub(const TRect& Parent, Integer W, Integer H, bool Leftwards = false) {
  TTBPopupPlacementInput In;
  In.ParentRect = Parent;
  In.Monitor = Work;
  In.Width = W;
  In.Height = H;
  In.HasParentView = true;
  In.PositionAsSubmenu = true;
  In.OpenedLeftwards = Leftwards;
  return In;
}

TTBPopupPlacementInput Drop(const TRect& Parent, Integer W, Integer H, bool VerticalParent = false) {
  TTBPopupPlacementInput In = Sub(Parent, W, H);
  In.PositionAsSubmenu = false;
  In.ParentVertical = VerticalParent;
  return In;
}

std::string SlideOf(const TTBPopupPlacement& P) {
  std::string S;
  if (P.SlideLeft) S += 'L';
  if (P.SlideRight) S += 'R';
  if (P.SlideUp) S += 'U';
  if (P.SlideDown) S += 'D';
  return S;
}

TEST(TbPopupPlacement, Table) {
  TTBPopupPlacementInput RtlDrop = Drop(TRect(100, 0, 140, 22), 150, 200);
  RtlDrop.MenuDropAlignmentRight = true;
  TTBPopupPlacementInput Chevron = Drop(TRect(300, 0, 313, 22), 120, 100);
  Chevron.Chevron = true;
  TTBPopupPlacementInput ChevronV = Drop(TRect(0, 300, 22, 313), 100, 60, true);
  ChevronV.Chevron = true;
  ChevronV.ChevronVertical = true;
  // A bottom toolbar: the drop-down cannot go below, and above it would hide
  // nothing of the toolbar.
  TTBPopupPlacementInput Bottom = Drop(TRect(200, 746, 240, 768), 150, 200);
  Bottom.ParentViewers = {TRect(160, 746, 200, 768), TRect(200, 746, 240, 768)};
  // Too tall to go above an item at the right edge: the popup would cover
  // the item, so it moves beside it.
  TTBPopupPlacementInput Edge = Drop(TRect(1000, 600, 1024, 622), 150, 650);

  const TRow Rows[] = {
      {"context menu at the point", Context(100, 100, 150, 200), {100, 100}, false, "RD"},
      {"context menu in the bottom-right corner", Context(1020, 760, 150, 200), {870, 560}, false, "LU"},
      {"right-aligned context menu", Context(500, 100, 150, 200, tbpaRight), {350, 100}, false, "LD"},
      {"right-aligned at the left edge moves back", Context(50, 100, 150, 200, tbpaRight), {50, 100}, false, "RD"},
      {"centred context menu", Context(500, 100, 151, 200, tbpaCenter), {425, 100}, false, "D"},
      {"submenu to the right", Sub(TRect(100, 100, 250, 120), 150, 200), {247, 97}, false, "R"},
      {"submenu without room on the right", Sub(TRect(900, 100, 1000, 120), 150, 200), {753, 97}, true, "L"},
      {"submenu of a leftwards popup tries the left", Sub(TRect(300, 150, 450, 170), 150, 200, true), {153, 147}, true,
       "L"},
      {"leftwards without room goes right again", Sub(TRect(50, 150, 200, 170), 150, 200, true), {197, 147}, false,
       "R"},
      {"submenu near the bottom rises above", Sub(TRect(100, 700, 250, 720), 150, 200), {247, 523}, false, "R"},
      {"drop-down below its item", Drop(TRect(100, 0, 140, 22), 150, 200), {100, 22}, false, "D"},
      {"drop-down near the bottom opens above", Drop(TRect(100, 740, 140, 762), 150, 200), {100, 540}, false, "U"},
      {"right-to-left drop alignment, kept on the monitor", RtlDrop, {0, 22}, false, "D"},
      {"drop-down from a vertical toolbar", Drop(TRect(500, 300, 522, 323), 150, 200, true), {350, 300}, false, "L"},
      {"chevron of a horizontal toolbar", Chevron, {193, 22}, false, "D"},
      {"chevron of a vertical toolbar at the left edge", ChevronV, {22, 300}, false, "R"},
      {"bottom toolbar", Bottom, {200, 546}, false, "U"},
      {"beside an item it would cover", Edge, {850, 118}, false, "L"},
      {"as tall as the work area, beside its item", Drop(TRect(100, 10, 140, 30), 150, 768), {140, 0}, false, "R"},
  };
  for (const TRow& R : Rows) {
    const TTBPopupPlacement P = PlacePopup(R.In);
    EXPECT_EQ(P.Position, R.Expected) << R.Name;
    EXPECT_EQ(P.OpenedLeftwards, R.Leftwards) << R.Name;
    EXPECT_EQ(SlideOf(P), R.Slide) << R.Name;
  }
}

}  // namespace

}  // namespace test_tbitempopup_tests
