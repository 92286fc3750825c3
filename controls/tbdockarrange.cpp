// The row arrangement: sort, isolate bars that want a row of their own, drop
// empty rows, wrap rows that overflow, give out lead space and shrink what may
// shrink, then place the bars row by row.
#include "controls/tbdockarrange.h"

#include <algorithm>

namespace {

struct TBarLayoutRec {
  Integer Row = -1;
  Integer ListRow = 0;
  Integer LeadSpace = 0;
  Integer FullLength = 0;
  Integer MinLength = 0;
  Integer Length = 0;
  Integer Overlap = 0;
  Integer Pos = 0;
  TTBShrinkMode Shrink = tbsmNone;
  bool Resized = false;
};

Integer Along(const TPoint& P, bool Vertical) { return Vertical ? P.Y : P.X; }
Integer Across(const TPoint& P, bool Vertical) { return Vertical ? P.X : P.Y; }

// Takes up to Amount out of the lead space of the bars Row[Last] back to
// Row[0], nearest first; answers how much it took.
Integer TakeLeadSpace(std::vector<TBarLayoutRec>& Recs, const std::vector<size_t>& Row, size_t Last,
                      Integer Amount) {
  Integer Taken = 0;
  for (size_t p = Last + 1; p-- > 0 && Amount > 0;) {
    TBarLayoutRec& R = Recs[Row[p]];
    Integer Give = std::min(R.LeadSpace, Amount);
    R.LeadSpace -= Give;
    Amount -= Give;
    Taken += Give;
  }
  return Taken;
}

}  // namespace

void SortBarsByPosition(std::vector<TTBArrangedBar*>& Bars) {
  std::stable_sort(Bars.begin(), Bars.end(), [](const TTBArrangedBar* A, const TTBArrangedBar* B) {
    if (A->ArrangeDockRow() != B->ArrangeDockRow()) return A->ArrangeDockRow() < B->ArrangeDockRow();
    return A->ArrangeDockPos() < B->ArrangeDockPos();
  });
}

Integer ArrangeBarRows(std::vector<TTBArrangedBar*>& Bars, const TTBArrangeParams& Params) {
  const bool Vertical = Params.Vertical;
  const Integer Avail = std::max<Integer>(Params.AvailableLength, 0);

  if (Params.LimitToOneRow)
    for (TTBArrangedBar* B : Bars) B->SetArrangeDockRow(0);

  // The working list. A bar sliding along its row keeps its place in the list
  // so that it cannot pass the bars it pushes.
  std::vector<TTBArrangedBar*> List = Bars;
  TTBArrangedBar* Dragged = nullptr;
  size_t DraggedIndex = 0;
  for (size_t i = 0; i < Bars.size(); ++i)
    if (Bars[i]->ArrangeDragging()) {
      Dragged = Bars[i];
      DraggedIndex = i;
      break;
    }
  SortBarsByPosition(List);
  if (Dragged && Dragged->ArrangeSlideMode()) {
    List.erase(std::find(List.begin(), List.end(), Dragged));
    List.insert(List.begin() + static_cast<std::ptrdiff_t>(std::min(DraggedIndex, List.size())), Dragged);
  }

  const size_t N = List.size();
  Integer Highest = -1;
  for (TTBArrangedBar* B : Bars) Highest = std::max(Highest, B->ArrangeDockRow());
  std::vector<TBarLayoutRec> Recs(N);
  for (size_t i = 0; i < N; ++i) {
    Recs[i].ListRow = List[i]->ArrangeDockRow();
    bool Shown = Params.VisibleHere ? Params.VisibleHere(List[i]) : List[i]->VisibleInDock();
    Recs[i].Row = Shown ? List[i]->ArrangeDockRow() : -1;
    Recs[i].Pos = List[i]->ArrangeDockPos();
  }

  // Moves every bar but Except whose row is at or after Row one row down.
  auto MoveDownFrom = [&](Integer Row, size_t From, size_t Except) {
    for (size_t j = From; j < N; ++j) {
      if (j == Except) continue;
      if (Recs[j].ListRow >= Row) ++Recs[j].ListRow;
      if (Recs[j].Row >= Row) ++Recs[j].Row;
    }
    ++Highest;
  };

  // Isolation: first the bar the drag loop wants on a new row, then every
  // full-size bar, each gets its row to itself.
  for (int Pass = 0; Pass < 2; ++Pass) {
    if (Pass == 0 && Params.LimitToOneRow) continue;
    for (Integer Row = 0; Row <= Highest; ++Row) {
      for (size_t i = 0; i < N; ++i) {
        if (Recs[i].ListRow != Row) continue;
        bool Chosen = Pass == 0 ? List[i]->ArrangeNewRowRequest() : List[i]->ArrangeFullSize();
        if (!Chosen) continue;
        bool Shared = false;
        for (size_t j = 0; j < N && !Shared; ++j) Shared = j != i && Recs[j].ListRow == Row;
        if (Shared) MoveDownFrom(Row, 0, i);
      }
    }
  }

  // Rows that hold no bar at all disappear.
  for (Integer Row = 0; Row <= Highest;) {
    bool Used = std::any_of(Recs.begin(), Recs.end(), [Row](const TBarLayoutRec& R) { return R.ListRow == Row; });
    if (Used) {
      ++Row;
      continue;
    }
    for (TBarLayoutRec& R : Recs) {
      if (R.ListRow > Row) --R.ListRow;
      if (R.Row > Row) --R.Row;
    }
    --Highest;
  }

  for (Integer Row = 0; Row <= Highest; ++Row) {
    // Measure, wrapping the row at the first bar (never the row's first) that
    // does not fit.
    std::vector<size_t> RowBars;
    Integer Needed = 0, Total = 0;
    for (size_t i = 0; i < N; ++i) {
      if (Recs[i].Row != Row) continue;
      TBarLayoutRec& R = Recs[i];
      TTBArrangedBar* B = List[i];
      R.FullLength = Along(B->ArrangeBaseSize(), Vertical) + Along(B->ArrangeDockedNCAreaSize(), Vertical);
      R.Length = R.FullLength;
      R.Shrink = B->ArrangeShrinkMode();
      Integer Min = 0;
      B->ArrangeMinShrinkSize(Min);
      R.MinLength = std::min(Min, R.FullLength);
      Needed += R.Shrink == tbsmChevron ? R.MinLength : R.FullLength;
      if (!RowBars.empty() && Needed > Avail && !Params.LimitToOneRow) {
        MoveDownFrom(Row, i, N);
        break;
      }
      RowBars.push_back(i);
      Total += R.FullLength;
    }
    if (RowBars.empty()) continue;
    Integer Excess = Total - Avail;

    // Requested starts: lead space in front of bars that asked for a place
    // further on, overlaps where they asked for one inside the bar before.
    Integer Cursor = 0, RequestedEnd = 0, MinSum = 0, DraggedStart = 0;
    size_t DraggedAt = RowBars.size();
    for (size_t p = 0; p < RowBars.size(); ++p) {
      TBarLayoutRec& R = Recs[RowBars[p]];
      TTBArrangedBar* B = List[RowBars[p]];
      Integer Start = R.Pos;
      if (Cursor == 0 && (B->ArrangeFullSize() || B->ArrangeStretch())) Start = 0;
      if (B == Dragged) {
        DraggedStart = Start;
        DraggedAt = p;
      }
      Start = std::max(Start, MinSum);
      if (Start > Cursor) {
        if (Excess > 0)
          Start = Cursor;
        else {
          R.LeadSpace = Start - Cursor;
          Cursor = Start;
        }
      } else if (Start < RequestedEnd)
        R.Overlap = RequestedEnd - Start;
      Cursor += R.Length;
      RequestedEnd = Start + R.Length;
      MinSum += R.MinLength;
    }

    // With room to spare, the bars before a dragged bar give back the lead
    // space it now covers, and the bar after it keeps its place.
    if (Excess < 0 && DraggedAt < RowBars.size() && DraggedAt > 0) {
      size_t Before = DraggedAt - 1;
      Integer Amount = -DraggedStart;
      for (size_t p = 0; p <= Before; ++p) Amount += Recs[RowBars[p]].LeadSpace + Recs[RowBars[p]].Length;
      if (Amount > 0) {
        Integer Taken = TakeLeadSpace(Recs, RowBars, Before, Amount);
        if (DraggedAt + 1 < RowBars.size()) Recs[RowBars[DraggedAt + 1]].LeadSpace += Taken;
      }
    }

    // Keep the row inside the dock.
    Integer Extent = 0;
    for (size_t i : RowBars) Extent += Recs[i].LeadSpace + Recs[i].Length;
    if (Extent > Avail) TakeLeadSpace(Recs, RowBars, RowBars.size() - 1, Extent - Avail);

    // Overlaps are paid for by the chevron bars in front of them.
    if (Excess > 0) {
      if (RowBars.size() > 1 && DraggedAt < RowBars.size()) Dragged->SetArrangeSlidePending();
      Integer Running = 0;
      for (size_t p = 0; p < RowBars.size(); ++p) {
        Running = std::min(Running + Recs[RowBars[p]].Overlap, Excess);
        if (Running <= 0) continue;
        for (size_t q = p; q-- > 0;) {
          TBarLayoutRec& R = Recs[RowBars[q]];
          if (R.Shrink == tbsmChevron) {
            Integer Give = std::min(Running, R.Length - R.MinLength);
            Give = std::max<Integer>(Give, 0);
            bool TookAll = Give == Running;
            R.Length -= Give;
            Excess -= Give;
            Running -= Give;
            if (TookAll) break;
          }
          if (List[RowBars[q]] == Dragged) break;
        }
      }
    }

    // Whatever is still too long comes off the shrinkable bars, last first.
    if (Excess > 0) {
      for (size_t p = RowBars.size(); p-- > 0 && Excess > 0;) {
        TBarLayoutRec& R = Recs[RowBars[p]];
        if (R.Shrink == tbsmChevron || (R.Shrink == tbsmWrap && RowBars.size() == 1)) {
          Integer Give = std::clamp<Integer>(R.Length - R.MinLength, 0, Excess);
          R.Length -= Give;
          Excess -= Give;
        }
      }
    }

    // Final places.
    Cursor = 0;
    for (size_t p = 0; p < RowBars.size(); ++p) {
      TBarLayoutRec& R = Recs[RowBars[p]];
      TTBArrangedBar* B = List[RowBars[p]];
      if (B->ArrangeFullSize() || B->ArrangeStretch()) {
        R.Length += R.LeadSpace;
        R.LeadSpace = 0;
      }
      Cursor += R.LeadSpace;
      if (B->ArrangeFullSize()) R.Length = std::max(R.Length, Avail);
      if (B->ArrangeStretch()) {
        if (p + 1 < RowBars.size()) {
          TBarLayoutRec& Next = Recs[RowBars[p + 1]];
          R.Length += Next.LeadSpace;
          Next.LeadSpace = 0;
        } else
          R.Length = std::max(R.Length, Avail - Cursor);
      }
      R.Pos = Cursor;
      Cursor += R.Length;
    }
  }

  for (size_t i = 0; i < N; ++i) {
    List[i]->SetArrangeEffective(Recs[i].ListRow, Recs[i].Pos);
    if (Params.CommitPositions) {
      List[i]->SetArrangeDockRow(Recs[i].ListRow);
      List[i]->SetArrangeDockPos(Recs[i].Pos);
    }
  }
  if (Params.CommitPositions) Bars = List;

  Integer CrossOffset = 0;
  for (Integer Row = 0; Row <= Highest; ++Row) {
    Integer Thickest = -1;
    for (size_t i = 0; i < N; ++i) {
      if (Recs[i].Row != Row) continue;
      TBarLayoutRec& R = Recs[i];
      TTBArrangedBar* B = List[i];
      Integer NewShrunk = R.Length >= R.FullLength ? 0 : R.Length;
      TPoint Size;
      if (R.Shrink != tbsmNone && NewShrunk != B->ArrangeShrunkSize()) {
        B->SetArrangeShrunkSize(NewShrunk);
        Size = B->ArrangeCalcDockedSize();
        R.Resized = true;
      } else if (R.Shrink == tbsmWrap && NewShrunk != 0)
        Size = B->ArrangeClientSize();
      else
        Size = B->ArrangeBaseSize();
      B->SetArrangeShrunkSize(NewShrunk);
      B->SetArrangeRowThickness(Across(Size, Vertical));
      Thickest = std::max(Thickest, Across(Size, Vertical));
    }
    Integer Thickness = Thickest < 0 ? 0 : Thickest + 4;
    for (size_t i = 0; i < N; ++i) {
      if (Recs[i].Row != Row) continue;
      TBarLayoutRec& R = Recs[i];
      TTBArrangedBar* B = List[i];
      TRect Bounds = Vertical ? ::Bounds(CrossOffset, R.Pos, Thickness, R.Length)
                              : ::Bounds(R.Pos, CrossOffset, R.Length, Thickness);
      // Laying the contents out again clears the shrunk size; it must survive.
      Integer Shrunk = B->ArrangeShrunkSize();
      B->ArrangePlace(Bounds, R.Resized);
      B->SetArrangeShrunkSize(Shrunk);
    }
    CrossOffset += Thickness;
  }
  return CrossOffset;
}
