// Where a popup menu goes: the start position for its kind (context menu,
// submenu, drop-down, chevron), then the fit into the monitor's work area,
// keeping the parent item visible, and the directions it slides open in.
#pragma once

#include <vector>

#include "platform/graphics/windef.h"

enum TTBPopupAlignment { tbpaLeft, tbpaRight, tbpaCenter };

struct TTBPopupPlacementInput {
  // The parent viewer's screen rectangle; for a popup without parent view,
  // the zero-size rectangle at the popup point.
  TRect ParentRect;
  TRect Monitor;  // the work area that confines the popup
  Integer Width = 0, Height = 0;
  bool HasParentView = false;
  bool ParentVertical = false;  // the parent view is a vertical toolbar
  bool PositionAsSubmenu = false;
  bool Chevron = false;
  bool ChevronVertical = false;
  bool OpenedLeftwards = false;  // the parent popup opened to the left
  TTBPopupAlignment Alignment = tbpaLeft;
  bool MenuDropAlignmentRight = false;  // the desktop's right-to-left drop alignment
  std::vector<TRect> ParentViewers;     // the parent view's shown viewers, on screen
};

struct TTBPopupPlacement {
  TPoint Position;
  bool OpenedLeftwards = false;
  bool SlideLeft = false, SlideRight = false, SlideUp = false, SlideDown = false;
};

TTBPopupPlacement PlacePopup(const TTBPopupPlacementInput& In);
