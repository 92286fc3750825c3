// The row arrangement of a dock's bars, kept apart from the windows so that it
// can run over any bar that answers the questions below: which row each bar
// takes, where it starts, how long it is, how thick each row is.
#pragma once

#include <functional>
#include <vector>

#include "platform/graphics/windef.h"

enum TTBShrinkMode : uint8_t { tbsmNone, tbsmWrap, tbsmChevron };

// What the arrangement reads from and writes to one bar of a dock. Sizes are
// client sizes unless said otherwise; "length" runs along the dock.
class TTBArrangedBar {
 public:
  virtual ~TTBArrangedBar() = default;
  virtual Integer ArrangeDockRow() const = 0;
  virtual void SetArrangeDockRow(Integer Row) = 0;
  virtual Integer ArrangeDockPos() const = 0;
  virtual void SetArrangeDockPos(Integer Pos) = 0;
  // A child of the dock that is shown (or a child at design time).
  virtual bool VisibleInDock() const = 0;
  virtual bool ArrangeFullSize() const = 0;
  virtual bool ArrangeStretch() const = 0;
  // The bar being dragged, and whether it slides along its row.
  virtual bool ArrangeDragging() const = 0;
  virtual bool ArrangeSlideMode() const = 0;
  virtual void SetArrangeSlidePending() = 0;
  // Set by the drag loop: the bar wants a row to itself.
  virtual bool ArrangeNewRowRequest() const = 0;
  virtual TPoint ArrangeBaseSize() = 0;
  virtual TPoint ArrangeDockedNCAreaSize() = 0;
  // The shortest outer length the bar accepts along the dock.
  virtual void ArrangeMinShrinkSize(Integer& Length) = 0;
  virtual TTBShrinkMode ArrangeShrinkMode() = 0;
  virtual Integer ArrangeShrunkSize() const = 0;
  virtual void SetArrangeShrunkSize(Integer Size) = 0;
  // The client size the bar would take on this dock with its current shrunk size.
  virtual TPoint ArrangeCalcDockedSize() = 0;
  virtual TPoint ArrangeClientSize() = 0;
  virtual void SetArrangeEffective(Integer Row, Integer Pos) = 0;
  virtual void SetArrangeRowThickness(Integer Thickness) = 0;
  // Gives the bar its bounds in the dock while its own size logic stays out;
  // Relayout asks it to lay out its contents again afterwards.
  virtual void ArrangePlace(const TRect& Bounds, bool Relayout) = 0;
};

struct TTBArrangeParams {
  bool Vertical = false;
  // The dock's length less its bound lines across the ends, at least 0.
  Integer AvailableLength = 0;
  bool LimitToOneRow = false;
  // Write the results back into the requested row and position and put the
  // list in the arranged order.
  bool CommitPositions = false;
  // Whether a bar shows in this dock; VisibleInDock when not given.
  std::function<bool(TTBArrangedBar*)> VisibleHere;
};

// Sorts bars by requested row, then position; bars that tie keep their order
// in the list, so equal bars never swap between arrangements.
void SortBarsByPosition(std::vector<TTBArrangedBar*>& Bars);

// Arranges Bars (in the dock's list order) and answers the total thickness of
// the rows, bound lines not included. With CommitPositions, Bars takes the
// arranged order.
Integer ArrangeBarRows(std::vector<TTBArrangedBar*>& Bars, const TTBArrangeParams& Params);
