// Where a dragged bar may go and how it gets there: the docks it may land on,
// in the order they are tried, the rows each offers, and the move of the bar
// onto a dock at a drag rectangle.
#pragma once

#include <vector>

#include "controls/tbdockdrag.h"
#include "controls/tbdockwin.h"

// The docks a bar may land on: its own first, then the docks of its form
// depth first, each control's docks by position (top, bottom, left, right)
// before its other windowed children.
std::vector<TTBDock*> FindCandidateDocks(TTBCustomDockableWindow* Bar);

// Thickness and full-size flag of each effective row of the dock.
std::vector<TTBRowInfo> DockRowInfo(TTBDock* Dock);

// What a drag keeps between steps for moving onto docks.
struct TTBDragState {
  TTBDock* StartDock = nullptr;
  Integer StartRow = 0;
  TPoint StartPointer;  // where the drag began
  TPoint PrevPointer;   // the position handled at the previous move
  bool SmoothDragging = true;
  std::vector<TTBRowInfo> RowInfo;  // of the target dock, taken when the drag began
};

// Puts the bar on Dock where the drag rectangle (screen coordinates) lies:
// the row from the rectangle's middle across the dock, the position from its
// leading edge, sliding along the start row once the pointer went 10 pixels.
void MoveBarToDock(TTBCustomDockableWindow* Bar, TTBDock* Dock, const TRect& DragRect, const TTBDragState& State);
