// Candidate docks of a drag in their search order, and moving a bar onto a
// dock: a new row from the first quarter of a row, joining from its middle,
// sliding once the pointer went 10 pixels along the start row.
#include <gtest/gtest.h>

#include "tests/controls/tbtest.h"

#include <memory>
#include <vector>

#include "controls/tbdockmove.h"
#include "platform/ui/forms.h"

namespace test_tbdockmove_tests {

class TTestBar : public TTBCustomDockableWindow {
 public:
  TTestBar(TComponent* AOwner, TPoint Client) : TTBCustomDockableWindow(AOwner), FClient(Client) {}
  void CalcSize(bool, TTBDockKind, TPoint& Size, TTBDock*, bool) override { Size = FClient; }
  TPoint GetBaseSize() override { return FClient; }

 private:
  TPoint FClient;
};

struct TMoveForm {
  std::unique_ptr<TForm> Form{new TForm(nullptr)};
  TMoveForm() {
    Form->SetBounds(0, 0, 500, 400);
    Form->Show();
  }
  TTBDock* AddDock(TTBDockPosition Position, TWinControl* Parent = nullptr) {
    auto* D = new TTBDock(Form.get());
    D->SetPosition(Position);
    D->SetParent(Parent ? Parent : Form.get());
    return D;
  }
  TTestBar* AddBar(TTBDock* Dock, Integer Row, Integer Pos) {
    auto* B = new TTestBar(Form.get(), {60, 22});
    B->SetDockRow(Row);
    B->SetDockPos(Pos);
    B->SetCurrentDock(Dock);
    return B;
  }
};

TEST(TbDockMove, CandidatesComeOwnDockFirstThenByPositionDepthFirst) {
  TMoveForm F;
  TTBDock* Left = F.AddDock(dpLeft);
  TTBDock* Top = F.AddDock(dpTop);
  TTBDock* Right = F.AddDock(dpRight);
  TTBDock* Bottom = F.AddDock(dpBottom);
  TTBDock* NoDrag = F.AddDock(dpTop);
  NoDrag->SetAllowDrag(false);
  auto* Panel = new TWinControl(F.Form.get());
  Panel->SetParent(F.Form.get());
  Panel->SetBounds(100, 100, 200, 150);
  TTBDock* Inner = F.AddDock(dpTop, Panel);
  TTBDock* Hidden = F.AddDock(dpBottom);
  Hidden->Hide();
  TTestBar* Bar = F.AddBar(Right, 0, 0);
  EXPECT_EQ(FindCandidateDocks(Bar), (std::vector<TTBDock*>{Right, Top, Bottom, Left, Inner}));
  Bar->SetDockableTo({dpTop, dpRight});
  EXPECT_EQ(FindCandidateDocks(Bar), (std::vector<TTBDock*>{Right, Top, Inner}));
}

TEST(TbDockMove, ADropOpensANewRowOrJoinsOneByWhereItsMiddleFalls) {
  struct {
    Integer MiddleY;  // across the top dock, client coordinates
    Integer BarRow, OtherRow;
  } Cases[] = {
      {28, 1, 2},  // first quarter of row 1 (26..31): a row of its own before B
      {40, 1, 1},  // middle half of row 1: joins B
      {3, 0, 2},   // first quarter of row 0: before both
      {60, 2, 1},  // below every row: a row after them
  };
  for (auto& C : Cases) {
    SCOPED_TRACE(C.MiddleY);
    TMoveForm F;
    TTBDock* Top = F.AddDock(dpTop);
    TTBDock* Left = F.AddDock(dpLeft);
    TTestBar* A = F.AddBar(Top, 0, 0);
    TTestBar* B = F.AddBar(Top, 1, 0);
    TTestBar* Bar = F.AddBar(Left, 0, 0);
    ASSERT_EQ(Top->Height(), 52);
    TTBDragState S;
    S.StartDock = Left;
    S.SmoothDragging = false;
    S.RowInfo = DockRowInfo(Top);
    ASSERT_EQ(S.RowInfo.size(), 2u);
    EXPECT_EQ(S.RowInfo[1].Thickness, 26);
    // A 74 x 26 rectangle whose middle falls at MiddleY, 200 along.
    TPoint Origin = Top->ClientToScreen(TPoint(200, C.MiddleY - 13));
    MoveBarToDock(Bar, Top, Bounds(Origin.X, Origin.Y, 74, 26), S);
    EXPECT_EQ(Bar->CurrentDock(), Top);
    EXPECT_EQ(Bar->EffectiveDockRow(), C.BarRow);
    EXPECT_EQ(B->EffectiveDockRow(), C.OtherRow);
    EXPECT_EQ(A->EffectiveDockRow(), C.BarRow == 0 ? 1 : 0);
    EXPECT_EQ(Bar->EffectiveDockPos(), 200);
    EXPECT_EQ(Bar->DockRow(), C.BarRow) << "positions are committed without a smooth drag";
    EXPECT_FALSE(Bar->FNewRowRequest);
  }
}

TEST(TbDockMove, SlidingStartsOnTheStartRowAfterTenPixels) {
  TMoveForm F;
  TTBDock* Top = F.AddDock(dpTop);
  TTestBar* Bar = F.AddBar(Top, 0, 0);
  F.AddBar(Top, 0, 100);
  TTBDragState S;
  S.StartDock = Top;
  S.StartRow = 0;
  S.StartPointer = TPoint(50, 10);
  S.RowInfo = DockRowInfo(Top);
  const TPoint Origin = Top->ClientToScreen(TPoint(5, 0));
  for (Integer Moved : {9, 10}) {
    Bar->FSlidePending = true;
    Bar->FSlideMode = false;
    S.PrevPointer = TPoint(50 + Moved, 10);
    MoveBarToDock(Bar, Top, Bounds(Origin.X, Origin.Y, 74, 26), S);
    EXPECT_EQ(Bar->FSlideMode, Moved >= 10) << Moved;
    EXPECT_EQ(Bar->FSlidePending, Moved < 10) << Moved;
  }
  // On another row, pending sliding is dropped.
  Bar->FSlideMode = false;
  Bar->FSlidePending = true;
  S.PrevPointer = TPoint(90, 10);
  TPoint Below = Top->ClientToScreen(TPoint(5, 40));
  MoveBarToDock(Bar, Top, Bounds(Below.X, Below.Y, 74, 26), S);
  EXPECT_FALSE(Bar->FSlidePending);
  EXPECT_FALSE(Bar->FSlideMode);
}

}  // namespace test_tbdockmove_tests
