// The geometry of one step of a bar drag: where the bar's rectangle goes for
// a pointer position, whether a dock catches the pointer, which row of a dock
// a drop lands in, when sliding along a row starts, and how far a floating
// bar may leave the work area.
#pragma once

#include <vector>

#include "platform/graphics/windef.h"

// What a drag remembers of its start: the pointer's place inside the bar's
// outer window and that window's size less 1, at least 1 each way (a bar one
// pixel wide must not divide by zero).
struct TTBDragGrab {
  TPoint Grab;
  TPoint StartSize;
  static TTBDragGrab Make(const TPoint& Grab, Integer OuterWidth, Integer OuterHeight);
};

struct TTBRowInfo {
  Integer Thickness = 0;
  bool FullSize = false;
};

// The bar's outer rectangle at a target where it would be Size big: the grab
// point keeps its relative place inside it.
TRect DragRectFor(const TPoint& Pointer, const TTBDragGrab& G, const TPoint& Size);

// Whether a dock (client rectangle in screen coordinates) catches the pointer:
// a 25-pixel zone around it is shared out between the two sides by where the
// bar was grabbed, and a left or right dock needs the pointer beside it.
bool DockAcceptsPointer(const TRect& DockScreenRect, bool VerticalDock, const TRect& BarRect, const TPoint& Pointer,
                        const TTBDragGrab& G);

// The row a drop at Cross (across the dock, in client coordinates) lands in;
// NewRow says a new row opens before it.
Integer FindRow(const std::vector<TTBRowInfo>& Rows, Integer Cross, bool BarFullSize, bool& NewRow);

// Sliding along a row begins once the pointer has moved 10 pixels along the dock.
bool SlideModeStarts(const TPoint& DragStart, const TPoint& Pointer, bool VerticalDock);

// Keeps a floating bar's rectangle reachable in the work area: not wholly
// beside the area shrunk by Border + 4, and its top no higher than the
// area's top less the top frame (border and caption) plus 4.
TRect KeepFloatingRectReachable(const TRect& R, const TRect& WorkArea, Integer Border, Integer TopFrame);
