// The geometry of one step of a bar drag.
#include "controls/tbdockdrag.h"

#include <algorithm>
#include <cstdlib>

TTBDragGrab TTBDragGrab::Make(const TPoint& Grab, Integer OuterWidth, Integer OuterHeight) {
  return {Grab, TPoint(std::max<Integer>(OuterWidth - 1, 1), std::max<Integer>(OuterHeight - 1, 1))};
}

TRect DragRectFor(const TPoint& Pointer, const TTBDragGrab& G, const TPoint& Size) {
  Integer Left = Pointer.X - MulDiv(Size.X - 1, G.Grab.X, G.StartSize.X);
  Integer Top = Pointer.Y - MulDiv(Size.Y - 1, G.Grab.Y, G.StartSize.Y);
  return Bounds(Left, Top, Size.X, Size.Y);
}

bool DockAcceptsPointer(const TRect& DockScreenRect, bool VerticalDock, const TRect& BarRect, const TPoint& Pointer,
                        const TTBDragGrab& G) {
  TRect R = DockScreenRect;
  InflateRect(R, 3, 3);
  const Integer Sx = MulDiv(25, G.Grab.X, G.StartSize.X);
  if (!(R.Left - (25 - Sx) <= Pointer.X && Pointer.X < R.Right + Sx)) return false;
  if (VerticalDock && !(R.Top <= Pointer.Y && Pointer.Y < R.Bottom)) return false;
  const Integer Sy = MulDiv(25, G.Grab.Y, G.StartSize.Y);
  if (!(R.Top - (25 - Sy) <= Pointer.Y && Pointer.Y < R.Bottom + Sy)) return false;
  TRect Overlap;
  return IntersectRect(Overlap, R, BarRect);
}

Integer FindRow(const std::vector<TTBRowInfo>& Rows, Integer Cross, bool BarFullSize, bool& NewRow) {
  Integer Offset = 0;
  for (size_t Row = 0; Row < Rows.size(); ++Row) {
    const Integer C = Rows[Row].Thickness;
    if (C <= 0) continue;
    const bool Full = BarFullSize || Rows[Row].FullSize;
    const Integer Half = Full ? C / 2 : C / 4;
    if (Cross < Offset + Half) {
      NewRow = true;
      return static_cast<Integer>(Row);
    }
    if (!Full && Cross < Offset + C - Half) {
      NewRow = false;
      return static_cast<Integer>(Row);
    }
    Offset += C;
  }
  NewRow = false;
  return static_cast<Integer>(Rows.size());
}

bool SlideModeStarts(const TPoint& DragStart, const TPoint& Pointer, bool VerticalDock) {
  return (VerticalDock ? std::abs(Pointer.Y - DragStart.Y) : std::abs(Pointer.X - DragStart.X)) >= 10;
}

TRect KeepFloatingRectReachable(const TRect& R, const TRect& WorkArea, Integer Border, Integer TopFrame) {
  TRect A = WorkArea;
  InflateRect(A, -(Border + 4), -(Border + 4));
  TRect Out = R;
  if (Out.Bottom <= A.Top) OffsetRect(Out, 0, A.Top - Out.Bottom + 1);
  if (Out.Top >= A.Bottom) OffsetRect(Out, 0, A.Bottom - 1 - Out.Top);
  if (Out.Right <= A.Left) OffsetRect(Out, A.Left - Out.Right + 1, 0);
  if (Out.Left >= A.Right) OffsetRect(Out, A.Right - 1 - Out.Left, 0);
  const Integer HighestTop = WorkArea.Top - TopFrame + 4;
  if (Out.Top < HighestTop) OffsetRect(Out, 0, HighestTop - Out.Top);
  return Out;
}
