// Candidate docks of a drag and the move of a bar onto one of them.
#include "controls/tbdockmove.h"

#include <algorithm>

namespace {

bool Qualifies(TTBCustomDockableWindow* Bar, TTBDock* D) {
  return D->AllowDrag() && Bar->DockableTo().Contains(D->Position());
}

void Visit(TTBCustomDockableWindow* Bar, TWinControl* C, std::vector<TTBDock*>& Out) {
  if (C == Bar || Bar->ContainsControl(C) || !C->HandleAllocated() || !C->Visible()) return;
  static constexpr TTBDockPosition Order[] = {dpTop, dpBottom, dpLeft, dpRight};
  for (TTBDockPosition P : Order)
    for (Integer i = 0; i < C->ControlCount(); ++i)
      if (auto* D = dynamic_cast<TTBDock*>(C->Controls(i)); D && D->Position() == P) Visit(Bar, D, Out);
  for (Integer i = 0; i < C->ControlCount(); ++i) {
    auto* W = dynamic_cast<TWinControl*>(C->Controls(i));
    if (W && !dynamic_cast<TTBDock*>(W)) Visit(Bar, W, Out);
  }
  if (auto* D = dynamic_cast<TTBDock*>(C); D && Qualifies(Bar, D) && std::find(Out.begin(), Out.end(), D) == Out.end())
    Out.push_back(D);
}

}  // namespace

std::vector<TTBDock*> FindCandidateDocks(TTBCustomDockableWindow* Bar) {
  std::vector<TTBDock*> Out;
  if (TTBDock* Own = Bar->CurrentDock(); Own && Qualifies(Bar, Own)) Out.push_back(Own);
  if (TCustomForm* F = GetParentFormOf(Bar)) Visit(Bar, F, Out);
  return Out;
}

std::vector<TTBRowInfo> DockRowInfo(TTBDock* Dock) {
  std::vector<TTBRowInfo> Rows;
  for (Integer Row = 0; Row <= Dock->GetHighestRow(true); ++Row) {
    TTBRowInfo I;
    I.Thickness = Dock->GetRowThickness(Row, I.FullSize);
    Rows.push_back(I);
  }
  return Rows;
}

void MoveBarToDock(TTBCustomDockableWindow* Bar, TTBDock* Dock, const TRect& DragRect, const TTBDragState& State) {
  const bool Vertical = Dock->Position() == dpLeft || Dock->Position() == dpRight;
  TPoint TopLeft = Dock->ScreenToClient(DragRect.TopLeft());
  TRect R = Bounds(TopLeft.X, TopLeft.Y, DragRect.Width(), DragRect.Height());
  Integer Row;
  bool NewRow = false;
  if (Bar->FSlideMode) {
    Row = Bar->DockRow();
  } else {
    Integer Middle = Vertical ? (R.Left + R.Right) / 2 : (R.Top + R.Bottom) / 2;
    Row = FindRow(State.RowInfo, Middle, Bar->FullSize(), NewRow);
    if (NewRow) Bar->FSlidePending = false;
  }
  if (Bar->FSlidePending) {
    if (Dock == State.StartDock && Row == State.StartRow) {
      if (SlideModeStarts(State.StartPointer, State.PrevPointer, Vertical)) {
        Bar->FSlidePending = false;
        Bar->FSlideMode = true;
      }
    } else
      Bar->FSlidePending = false;
  }
  Bar->SetArrangeDockRow(Row);
  Bar->SetArrangeDockPos(Vertical ? R.Top : R.Left);
  Bar->SetParent(Dock);
  if (!State.SmoothDragging) Dock->CommitPositions = true;
  Bar->FNewRowRequest = NewRow;
  Dock->ArrangeBars();
  Bar->FNewRowRequest = false;
  Bar->Update();
}
