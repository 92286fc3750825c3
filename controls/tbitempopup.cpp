// Placement of popup menus on the screen.
#include "controls/tbitempopup.h"

#include <algorithm>

TTBPopupPlacement PlacePopup(const TTBPopupPlacementInput& In) {
  TTBPopupPlacement Out;
  const TRect& P = In.ParentRect;
  const TRect& M = In.Monitor;
  const Integer W = In.Width, H = In.Height;
  const bool Submenu = In.HasParentView && In.PositionAsSubmenu;

  // Start position.
  Integer X, Y;
  if (!In.HasParentView) {
    X = P.Left;
    Y = P.Top;
    if (In.Alignment == tbpaRight) X -= W;
    if (In.Alignment == tbpaCenter) X -= W / 2;
  } else if (In.PositionAsSubmenu) {
    X = P.Right - 3;
    Y = P.Top - 3;
  } else if (In.Chevron) {
    if (In.ChevronVertical) {
      X = P.Left - W;
      Y = P.Top;
    } else {
      X = P.Right - W;
      Y = P.Bottom;
    }
  } else if (In.ParentVertical) {
    X = P.Left - W;
    Y = P.Top;
  } else {
    X = In.MenuDropAlignmentRight ? P.Right - W : P.Left;
    Y = P.Bottom;
  }

  // Vertical fit: above the parent when there is room, then into the monitor.
  if (Y + H > M.Bottom && (!In.HasParentView || !In.ParentVertical)) {
    const Integer Above = (Submenu ? P.Bottom + 3 : P.Top) - H;
    if (Above >= M.Top) Y = Above;
  }
  Y = std::min(Y, M.Bottom - H);
  Y = std::max(Y, M.Top);

  if (Submenu) {
    // Submenus keep to the side their parent opened to, while it has room.
    bool Leftwards = In.OpenedLeftwards;
    bool EndsLeft = false;
    for (;;) {
      if (Leftwards || X + W > M.Right) {
        const Integer Left = P.Left + 3 - W;
        if (Leftwards && Left < M.Left) {
          Leftwards = false;
          continue;  // again from the right-hand position
        }
        X = Left;
        EndsLeft = true;
      }
      break;
    }
    Out.OpenedLeftwards = EndsLeft;
    X = std::max(X, M.Left);
  } else {
    if (!In.HasParentView && In.Alignment == tbpaRight && X < M.Left) X += W;
    if (X + W > M.Right) X = (In.HasParentView || In.Alignment != tbpaLeft) ? M.Right - W : X - W;
    X = std::max(X, M.Left);
    // Keep the parent item and as much of its toolbar as possible in sight.
    auto Covered = [&](Integer AX, Integer AY) {
      if (!In.HasParentView) return 0;
      const TRect R(AX, AY, AX + W, AY + H);
      Integer N = 0;
      for (const TRect& V : In.ParentViewers)
        if (V.Left >= R.Left && V.Top >= R.Top && V.Right <= R.Right && V.Bottom <= R.Bottom) ++N;
      return N;
    };
    auto Overlaps = [&](Integer AX, Integer AY) {
      return std::max(AX, P.Left) < std::min(AX + W, P.Right) && std::max(AY, P.Top) < std::min(AY + H, P.Bottom);
    };
    if (In.HasParentView && In.ParentVertical) {
      if (P.Right + W <= M.Right && (Covered(P.Right, Y) < Covered(X, Y) || Overlaps(X, Y))) X = P.Right;
      if (Overlaps(X, Y)) {
        Y = P.Bottom + H <= M.Bottom ? P.Bottom : P.Top - H;
        Y = std::max(Y, M.Top);
      }
    } else {
      if (P.Top - H >= M.Top && (Covered(X, P.Top - H) < Covered(X, Y) || Overlaps(X, Y))) Y = P.Top - H;
      if (Overlaps(X, Y)) {
        X = P.Right + W <= M.Right ? P.Right : P.Left - W;
        X = std::max(X, M.Left);
      }
    }
  }

  // Slide directions of the opening animation.
  if (Submenu) {
    if (X + W / 2 >= (P.Left + P.Right) / 2)
      Out.SlideRight = true;
    else
      Out.SlideLeft = true;
  } else {
    if (Y >= P.Bottom)
      Out.SlideDown = true;
    else if (Y + H <= P.Top)
      Out.SlideUp = true;
    if (X >= P.Right)
      Out.SlideRight = true;
    else if (X + W <= P.Left)
      Out.SlideLeft = true;
  }
  Out.Position = TPoint(X, Y);
  return Out;
}
