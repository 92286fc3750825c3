// The selection of the single-image view: the polygon that gestures edit,
// the mask every image operation consults, the commands between them, the
// geometry of rectangle, ellipse, grip and wand selections, and the
// selection record with the view's stack of saved selections.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "imaging/core/base/ielists.h"
#include "imaging/core/base/ieutils.h"
#include "imaging/core/kernels/iemagicwand.h"
#include "imaging/view/iestreamio.h"
#include "imaging/view/ziduzuvview.h"

namespace {

bool IsSeparator(const TPoint& P) { return P.X == IEPolygonSeparator; }

}  // namespace

// ---------------------------------------------------------------------------
// Polygon records

Integer TZiduzUvView::SelToBitmapX(Integer X) {
  return FSelectionBase == iesbBitmap ? X : GetCurrentLayer()->ClientToBitmapX(X);
}

Integer TZiduzUvView::SelToBitmapY(Integer Y) {
  return FSelectionBase == iesbBitmap ? Y : GetCurrentLayer()->ClientToBitmapY(Y);
}

void TZiduzUvView::PaintSelectionChange() {
  if (FPaintLockCount > 0) return;
  if (HandleAllocated() && HasParentWindow()) Invalidate();
}

void TZiduzUvView::AddPolygonPoint(TIESelectionPolygon* Rec, Integer X, Integer Y) {
  Rec->Points.push_back(TPoint(X, Y));
  const size_t n = Rec->Points.size();
  if (n == 2) {
    const TPoint a = Rec->Points[0];
    Rec->BoxX1 = std::min(a.X, X);
    Rec->BoxY1 = std::min(a.Y, Y);
    Rec->BoxX2 = std::max(a.X, X);
    Rec->BoxY2 = std::max(a.Y, Y);
  } else if (n >= 3) {
    Rec->BoxX1 = std::min(Rec->BoxX1, X);
    Rec->BoxY1 = std::min(Rec->BoxY1, Y);
    Rec->BoxX2 = std::max(Rec->BoxX2, X);
    Rec->BoxY2 = std::max(Rec->BoxY2, Y);
  }
  FSelected = true;
}

void TZiduzUvView::AddPolygonBreak(TIESelectionPolygon* Rec) {
  if (!Rec->Points.empty() && IsSeparator(Rec->Points.back())) return;
  Rec->Points.push_back(TPoint(IEPolygonSeparator, IEPolygonSeparator));
}

void TZiduzUvView::ClearPolygon(TIESelectionPolygon* Rec) {
  Rec->Points.clear();
  Rec->Points.shrink_to_fit();
  PaintSelectionChange();
}

void TZiduzUvView::RemoveLastSubPolygon(TIESelectionPolygon* Rec) {
  auto& p = Rec->Points;
  size_t i = p.size();
  while (i > 0 && !IsSeparator(p[i - 1])) --i;
  // i is just past the last separator (or 0): the separator goes too.
  p.resize(i > 0 ? i - 1 : 0);
  if (p.empty())
    ClearPolygon(Rec);
  else
    PaintSelectionChange();
}

void TZiduzUvView::RemoveLastPolygonPoint(TIESelectionPolygon* Rec) {
  auto& p = Rec->Points;
  if (!p.empty()) p.pop_back();
  while (!p.empty() && IsSeparator(p.back())) p.pop_back();
}

void TZiduzUvView::TranslatePolygon(TIESelectionPolygon* Rec, Integer DX, Integer DY, Integer W, Integer H,
                                    bool Cut) {
  if (DX == 0 && DY == 0) return;
  PaintSelectionChange();
  auto limit = [](Integer& d, Integer lo, Integer hi, Integer size) {
    if (lo + d < 0) d = -lo;
    if (hi + d >= size) d = size - hi;
  };
  auto outside = [&](Integer dx, Integer dy) {
    return Rec->BoxX1 + dx >= W || Rec->BoxY1 + dy >= H || Rec->BoxX2 + dx <= 0 || Rec->BoxY2 + dy <= 0;
  };
  if (!Cut) {
    limit(DX, Rec->BoxX1, Rec->BoxX2, W);
    limit(DY, Rec->BoxY1, Rec->BoxY2, H);
    if (outside(DX, DY)) return;
  } else {
    if (Rec->BoxX1 + DX >= W || Rec->BoxX2 + DX <= 0) limit(DX, Rec->BoxX1, Rec->BoxX2, W);
    if (Rec->BoxY1 + DY >= H || Rec->BoxY2 + DY <= 0) limit(DY, Rec->BoxY1, Rec->BoxY2, H);
  }
  Rec->BoxX1 = std::clamp(Rec->BoxX1 + DX, 0, std::max(W, 0));
  Rec->BoxX2 = std::clamp(Rec->BoxX2 + DX, 0, std::max(W, 0));
  Rec->BoxY1 = std::clamp(Rec->BoxY1 + DY, 0, std::max(H, 0));
  Rec->BoxY2 = std::clamp(Rec->BoxY2 + DY, 0, std::max(H, 0));
  for (TPoint& p : Rec->Points) {
    if (IsSeparator(p)) continue;
    p.X = std::clamp(p.X + DX, 0, std::max(W, 0));
    p.Y = std::clamp(p.Y + DY, 0, std::max(H, 0));
  }
}

bool TZiduzUvView::IsRectPolygon(const TPoint* Points, Integer Count) {
  if (Count != 4) return false;
  bool vertical = Points[0].X == Points[1].X;
  for (Integer i = 0; i < 4; ++i) {
    const TPoint a = Points[i], b = Points[(i + 1) % 4];
    if (IsSeparator(a)) return false;
    const bool ok = vertical ? (a.X == b.X && a.Y != b.Y) : (a.Y == b.Y && a.X != b.X);
    if (!ok) return false;
    vertical = !vertical;
  }
  return true;
}

// ---------------------------------------------------------------------------
// Selection commands

void TZiduzUvView::Select(Integer X1, Integer Y1, Integer X2, Integer Y2, Integer Op) {
  SelectRectangle(X1, Y1, X2, Y2, Op, false, false);
  if (Op == 0) FSelectionMask->Clear();
  EndSelection();
  if (!FIsNavigator) FBackBufferDirty = true;
  PaintSelectionChange();
}

void TZiduzUvView::SelectRectangle(Integer X1, Integer Y1, Integer X2, Integer Y2, Integer Op, bool Square,
                                   bool KeepInside) {
  if (X1 == X2 || Y1 == Y2) return;
  X1 = SelToBitmapX(X1);
  Y1 = SelToBitmapY(Y1);
  X2 = SelToBitmapX(X2);
  Y2 = SelToBitmapY(Y2);
  FSelected = true;
  if (Op == 1 && !FCurrentPolygon->Points.empty())
    AddPolygonBreak(FCurrentPolygon);
  else
    ClearPolygon(FCurrentPolygon);
  if (Op == 0) FSelectionMask->Clear();
  const Integer w = FIEBitmap->Width(), h = FIEBitmap->Height();
  const double r = FSelectionAspectRatio;
  if (Square && r == -1) {
    Y2 = static_cast<Integer>(Round(double(X2) + Y1 - X1));
  } else if (r > 0) {
    Y2 = static_cast<Integer>(Round(r * (double(X2) - X1))) + Y1;
    if (Y2 >= h)
      X2 = static_cast<Integer>(Round((double(h) - Y1 - 1 + X1 * r) / r));
    else if (Y2 < 0)
      X2 = static_cast<Integer>(Round((X1 * r - Y1) / r));
  }
  if (KeepInside) {
    // Shifted whole into the picture; the second corner is exclusive, so it
    // may lie on the width and height themselves.
    if (X1 < 0) { X2 -= X1; X1 = 0; }
    if (Y1 < 0) { Y2 -= Y1; Y1 = 0; }
    if (X2 > w) { X1 -= X2 - w; X2 = w; }
    if (Y2 > h) { Y1 -= Y2 - h; Y2 = h; }
  }
  if (X1 > X2) std::swap(X1, X2);
  if (Y1 > Y2) std::swap(Y1, Y2);
  X1 = std::clamp(X1, 0, std::max(w - 1, 0));
  Y1 = std::clamp(Y1, 0, std::max(h - 1, 0));
  X2 = std::clamp(X2, 0, std::max(w, 0));
  Y2 = std::clamp(Y2, 0, std::max(h, 0));
  AddPolygonPoint(FCurrentPolygon, X1, Y1);
  AddPolygonPoint(FCurrentPolygon, X2, Y1);
  AddPolygonPoint(FCurrentPolygon, X2, Y2);
  AddPolygonPoint(FCurrentPolygon, X1, Y2);
  ShowOutline(true);
}

void TZiduzUvView::AddSelectionPoint(Integer X, Integer Y) {
  X = std::clamp(SelToBitmapX(X), 0, std::max(FIEBitmap->Width(), 0));
  Y = std::clamp(SelToBitmapY(Y), 0, std::max(FIEBitmap->Height(), 0));
  AddPolygonPoint(FCurrentPolygon, X, Y);
  ShowOutline(true);
  FBackBufferDirty = true;
  PaintSelectionChange();
}

void TZiduzUvView::EndSelection() {
  const auto& p = FCurrentPolygon->Points;
  if (!p.empty()) FSelectionMask->FillPolygons(1, p.data(), static_cast<Integer>(p.size()));
  // The fill widens the box by the polygon's points, whose right and bottom
  // are exclusive: the box is the one of the pixels actually set.
  FSelectionMask->SyncRect();
  if (FSelectionMask->IsEmpty()) {
    FSelected = false;
    ClearPolygon(FCurrentPolygon);
  }
}

void TZiduzUvView::Deselect() {
  if (FSelected) {
    FSelected = false;
    HideOutline(true);
  }
  ClearPolygon(FCurrentPolygon);
  FSelectionMask->Clear();
  FSelected = false;
  FPolygonSelecting = FLassoSelecting = FRectSelecting = FCircleSelecting = FRectMoving = false;
  FMovingSelection = -1;
  FUpdateReason = urSelection;
  Update();
}

void TZiduzUvView::InvertSelection() {
  FSelectionMask->SyncFull();
  if (FSelectionMask->Full) {
    Deselect();
    return;
  }
  ClearPolygon(FCurrentPolygon);
  ShowOutline(false);
  FSelectionMask->Invert(1);
  FSelected = !FSelectionMask->IsEmpty();
  FBackBufferDirty = true;
  PaintSelectionChange();
}

void TZiduzUvView::MoveSelection(Integer DX, Integer DY) {
  DragSelection(0, DX, DY, FSelectionOptions.Contains(iesoCutBorders));
  if (FRectMoving) FSelectionMask->Clear();
  EndSelection();
  // Not a gesture: the bounds come from the mask again.
  FRectMoving = false;
}

Integer TZiduzUvView::DragSelection(Integer Index, Integer DX, Integer DY, bool Cut) {
  const auto& p = FCurrentPolygon->Points;
  FRectMoving = IsRectPolygon(p.data(), static_cast<Integer>(p.size()));
  if (FRectMoving)
    FSelectionMask->Clear();
  else
    FSelectionMask->Translate(DX, DY, Cut);
  if (DX == 0 && DY == 0) return Index;
  TranslatePolygon(FCurrentPolygon, DX, DY, FIEBitmap->Width(), FIEBitmap->Height(), Cut);
  ShowOutline(true);
  return Index;
}

bool TZiduzUvView::IsPointInSelection(Integer X, Integer Y) {
  return FSelectionMask->IsPointInside(SelToBitmapX(X), SelToBitmapY(Y));
}

void TZiduzUvView::SelectMagicWand(Integer X, Integer Y, bool Add) {
  X = SelToBitmapX(X);
  Y = SelToBitmapY(Y);
  // A click on the column or row just past the picture has no pixel to
  // match: refuse it rather than read one past the end.
  if (X < 0 || Y < 0 || X >= FIEBitmap->Width() || Y >= FIEBitmap->Height()) return;
  const Integer w = FIEBitmap->Width(), h = FIEBitmap->Height();
  const bool dilate = FWandMaxFilter != 0;
  if (FWandMode == 1 || FWandMode == 2) {
    if (!Add) {
      ClearPolygon(FCurrentPolygon);
      FSelectionMask->Clear();
    }
    if (FWandMode == 1)
      IEMagicWandFill(FIEBitmap, X, Y, dilate, FWandTolerance, FSelectionMask.get(), 1);
    else
      IEMagicWandGlobal(FIEBitmap, X, Y, FWandTolerance, FSelectionMask.get(), 1);
    FSelectionMask->SyncRect();
    FSelected = !FSelectionMask->IsEmpty();
    ShowOutline(true);
  } else {
    Integer count = 0;
    std::unique_ptr<TPoint[]> pts = IEMagicWandOutline(FIEBitmap, X, Y, dilate, FWandTolerance, count);
    if (pts && count > 0) {
      FSelected = true;
      if (Add && !FCurrentPolygon->Points.empty()) {
        AddPolygonBreak(FCurrentPolygon);
      } else {
        ClearPolygon(FCurrentPolygon);
        FSelectionMask->Clear();
      }
      for (Integer i = 0; i < count; ++i)
        AddPolygonPoint(FCurrentPolygon, std::clamp(pts[i].X, 0, w), std::clamp(pts[i].Y, 0, h));
      if (!Add) FSelectionMask->Clear();
      EndSelection();
      ShowOutline(true);
    }
  }
  FBackBufferDirty = true;
  PaintSelectionChange();
}

void TZiduzUvView::EndPolygonSelection(bool Add, bool DropLastPoint) {
  if (DropLastPoint) RemoveLastPolygonPoint(FCurrentPolygon);
  if (!Add) FSelectionMask->Clear();
  EndSelection();
  FUpdateReason = urSelection;
  Update();
  FPolygonSelecting = false;
  if (OnSelectionChange) OnSelectionChange(this);
}

bool TZiduzUvView::SelectionGestureRunning() const {
  return FPolygonSelecting || FRectSelecting || FCircleSelecting || FGripDragging != 0 || FRectMoving;
}

Integer TZiduzUvView::GetSelectionX1() {
  return SelectionGestureRunning() ? FCurrentPolygon->BoxX1 : FSelectionMask->X1;
}
Integer TZiduzUvView::GetSelectionY1() {
  return SelectionGestureRunning() ? FCurrentPolygon->BoxY1 : FSelectionMask->Y1;
}
Integer TZiduzUvView::GetSelectionX2() {
  return SelectionGestureRunning() ? FCurrentPolygon->BoxX2 - 1 : FSelectionMask->X2;
}
Integer TZiduzUvView::GetSelectionY2() {
  return SelectionGestureRunning() ? FCurrentPolygon->BoxY2 - 1 : FSelectionMask->Y2;
}

const TPoint* TZiduzUvView::GetSelectionPolygon() const { return FCurrentPolygon->Points.data(); }
Integer TZiduzUvView::GetSelectionPolygonCount() const { return static_cast<Integer>(FCurrentPolygon->Points.size()); }

void TZiduzUvView::SetSelectionVisible(bool Value) {
  FSelectionVisible = Value;
  if (Value)
    ShowOutline(true);
  else
    HideOutline(true);
  FUpdateReason = urSelection;
  Update();
}

void TZiduzUvView::SetSelectionOptions(TIESelectionOptions Value) {
  FSelectionOptions = Value;
  FCurrentPolygon->Animated = Value.Contains(iesoAnimated);
  FCurrentPolygon->Sizeable = Value.Contains(iesoSizeable);
  FUpdateReason = urSelection;
  Update();
}

void TZiduzUvView::SetSelectionAspectRatio(double Value) {
  if (Value == FSelectionAspectRatio) return;
  FSelectionAspectRatio = Value;
  TIESelectionOptions o = FSelectionOptions;
  if (Value != 0)
    o.Include(iesoSizeable);
  else
    o.Exclude(iesoSizeable);
  SetSelectionOptions(o);
}

void TZiduzUvView::SetOutlineColor1(TColor Value) {
  FCurrentPolygon->OutlineColor1 = Value;
  FOutlineColor1 = Value;
}

void TZiduzUvView::SetOutlineColor2(TColor Value) {
  FCurrentPolygon->OutlineColor2 = Value;
  FOutlineColor2 = Value;
}

void TZiduzUvView::ShowOutline(bool Draw) {
  FCurrentPolygon->Visible = true;
  if (Draw) PaintSelectionChange();
}

void TZiduzUvView::HideOutline(bool Repaint) {
  FCurrentPolygon->Visible = false;
  if (Repaint) PaintSelectionChange();
}

void TZiduzUvView::SetWandMode(Byte Mode, Integer Tolerance, Byte MaxFilter) {
  FWandMode = Mode;
  FWandTolerance = Tolerance;
  FWandMaxFilter = MaxFilter;
}

// ---------------------------------------------------------------------------
// Gesture geometry

void TZiduzUvView::DragRectangle(Integer X, Integer Y, bool Shift, bool Alt) {
  TPoint press = FPressPos;
  if (FSelectionAspectRatio == 0) {
    // The fixed rectangle is centred on the mouse; its far corner is
    // exclusive, so it spans exactly the fixed size.
    const Integer d = static_cast<Integer>(Round(FFixedSelectionWidth * FZoomFactorX)) / 2;
    const Integer e = static_cast<Integer>(Round(FFixedSelectionHeight * FZoomFactorY)) / 2;
    const Integer dw = static_cast<Integer>(Round(FFixedSelectionWidth * FZoomFactorX)) - d;
    const Integer eh = static_cast<Integer>(Round(FFixedSelectionHeight * FZoomFactorY)) - e;
    press = TPoint(X - d, Y - e);
    X += dw;
    Y += eh;
  }
  Integer op = 0;
  if (Shift) {
    if (GetSelectionPolygonCount() > FPressPolygonCount) RemoveLastSubPolygon(FCurrentPolygon);
    op = 1;
  }
  SelectRectangle(press.X, press.Y, X, Y, op, Alt, !FSelectionOptions.Contains(iesoSizeable));
  CallWithUserSelectionBase([&] {
    if (OnSelectionChanging) OnSelectionChanging(this);
  });
}

void TZiduzUvView::DragEllipse(Integer X, Integer Y, bool Shift, bool Alt) {
  TPoint press = FPressPos;
  if (FSelectionAspectRatio == 0) {
    const Integer d = static_cast<Integer>(Round(FFixedSelectionWidth * FZoomFactorX)) / 2;
    const Integer e = static_cast<Integer>(Round(FFixedSelectionHeight * FZoomFactorY)) / 2;
    press = TPoint(X, Y);
    X += d;
    Y += e;
  }
  if (Shift) {
    if (GetSelectionPolygonCount() > FPressPolygonCount) RemoveLastSubPolygon(FCurrentPolygon);
    AddPolygonBreak(FCurrentPolygon);
  } else {
    ClearPolygon(FCurrentPolygon);
  }
  const double r = FSelectionAspectRatio;
  const Integer ax = std::abs(press.X - X), ay = std::abs(press.Y - Y);
  Integer rx, ry;
  if (Alt && r == -1) {
    rx = ry = std::max(ax, ay);
  } else if (r > 0) {
    rx = std::max(ax, ay);
    ry = static_cast<Integer>(Round(rx * r));
  } else {
    rx = ax;
    ry = ay;
  }
  const Integer ex = static_cast<Integer>(std::trunc(rx * FInvZoomX));
  const Integer ey = static_cast<Integer>(std::trunc(ry * FInvZoomY));
  const Integer n = std::max<Integer>(50, static_cast<Integer>(std::trunc(std::min(ex, ey) * 2 * std::numbers::pi)));
  const Integer cx = SelToBitmapX(press.X), cy = SelToBitmapY(press.Y);
  const Integer w = FIEBitmap->Width(), h = FIEBitmap->Height();
  for (Integer i = 0; i < n; ++i) {
    const double t = 2 * std::numbers::pi / n * i;
    AddPolygonPoint(FCurrentPolygon, std::clamp(static_cast<Integer>(Round(std::cos(t) * ex + cx)), 0, w),
                    std::clamp(static_cast<Integer>(Round(std::sin(t) * ey + cy)), 0, h));
  }
  ShowOutline(true);
  CallWithUserSelectionBase([&] {
    if (OnSelectionChanging) OnSelectionChanging(this);
  });
}

void TZiduzUvView::StartSelectionDrag(Integer X, Integer Y) {
  FPressPos = TPoint(X, Y);
  FPressPolygonCount = GetSelectionPolygonCount();
  FRectSelecting = true;
}

void TZiduzUvView::EndSelectionGesture() {
  if (FRectSelecting || FCircleSelecting) EndSelection();
  FRectSelecting = FCircleSelecting = FLassoSelecting = false;
  FGripDragging = 0;
  if (FRectMoving) {
    FSelectionMask->Clear();
    EndSelection();
    FRectMoving = false;
  }
  FMovingSelection = -1;
}

void TZiduzUvView::BeginGripDrag(TIEGrip Grip) {
  FGripDragging = Grip;
  FGripBox = TRect(FCurrentPolygon->BoxX1, FCurrentPolygon->BoxY1, FCurrentPolygon->BoxX2, FCurrentPolygon->BoxY2);
}

TIEGrip TZiduzUvView::DragGrip(TIEGrip Grip, Integer X, Integer Y, bool Constrain) {
  const auto& p = FCurrentPolygon->Points;
  if (!IsRectPolygon(p.data(), static_cast<Integer>(p.size()))) return Grip;
  Integer bx = SelToBitmapX(X), by = SelToBitmapY(Y);
  const Integer w = FIEBitmap->Width(), h = FIEBitmap->Height();
  const double gx1 = FGripBox.Left, gy1 = FGripBox.Top, gx2 = FGripBox.Right, gy2 = FGripBox.Bottom;
  double s = 1;
  if (Constrain) {
    const double h0 = gy2 - gy1 + 1;
    if (h0 == 0) return Grip;
    s = FSelectionAspectRatio > 0 ? 1 / FSelectionAspectRatio : (gx2 - gx1 + 1) / h0;
    // The stepping loops walk toward the picture; they cannot need more
    // steps than it is wide and high, plus the distance already outside.
    const int64_t cap = int64_t(std::abs(bx)) + std::abs(by) + 4 * (int64_t(w) + h) + 16;
    auto rnd = [](double v) { return static_cast<Integer>(Round(v)); };
    int64_t steps = 0;
    switch (Grip) {
      case ieLeftSide: Grip = ieTopLeft; [[fallthrough]];
      case ieTopLeft:
        by = rnd((s + (gy2 * s + (bx - gx2 - 1))) / s);
        while (by < 0 && steps++ < cap) by = rnd((s + (gy2 * s + (++bx - gx2 - 1))) / s);
        break;
      case ieTopRight:
        by = rnd((gy2 * s + (gx1 - bx - 1)) / s);
        while (by < 0 && steps++ < cap) by = rnd((gy2 * s + (gx1 - --bx - 1)) / s);
        break;
      case ieRightSide: Grip = ieBottomRight; [[fallthrough]];
      case ieBottomRight: by = rnd((gy1 * s + (bx - gx1 + 1) - s) / s); break;
      case ieBottomLeft:
        by = rnd((s + (gy1 * s + (gx2 - bx + 1))) / s);
        while (by > h && steps++ < cap) by = rnd((s + (gy1 * s + (gx2 - ++bx + 1))) / s);
        break;
      case ieTopSide:
        bx = rnd(-s * gy2 + s * by - s + gx2 + 1);
        while (bx < 0 && steps++ < cap) bx = rnd(-s * gy2 + s * ++by - s + gx2 + 1);
        Grip = ieTopLeft;
        break;
      case ieBottomSide:
        bx = rnd(s + (by * s - s * gy1) + gx1 - 1);
        while (bx > w && steps++ < cap) bx = rnd(s + (--by * s - s * gy1) + gx1 - 1);
        Grip = ieBottomRight;
        break;
      default: break;
    }
  }
  const bool movesRight = Grip == ieTopRight || Grip == ieBottomRight || Grip == ieRightSide;
  const bool movesBottom = Grip == ieBottomRight || Grip == ieBottomLeft || Grip == ieBottomSide;
  const bool movesLeft = Grip == ieTopLeft || Grip == ieBottomLeft || Grip == ieLeftSide;
  const bool movesTop = Grip == ieTopLeft || Grip == ieTopRight || Grip == ieTopSide;
  if (movesRight) ++bx;
  if (movesBottom) ++by;
  Integer left = FCurrentPolygon->BoxX1, top = FCurrentPolygon->BoxY1;
  Integer right = FCurrentPolygon->BoxX2, bottom = FCurrentPolygon->BoxY2;
  if (movesLeft) left = bx == right ? bx - 1 : bx;
  if (movesRight) right = bx == left ? bx + 1 : bx;
  if (movesTop) top = by == bottom ? by - 1 : by;
  if (movesBottom) bottom = by == top ? by + 1 : by;
  if (right < left) {
    switch (Grip) {
      case ieTopLeft: Grip = ieTopRight; break;
      case ieTopRight: Grip = ieTopLeft; break;
      case ieBottomLeft: Grip = ieBottomRight; break;
      case ieBottomRight: Grip = ieBottomLeft; break;
      case ieLeftSide: Grip = ieRightSide; break;
      case ieRightSide: Grip = ieLeftSide; break;
      default: break;
    }
  }
  if (bottom < top) {
    switch (Grip) {
      case ieTopLeft: Grip = ieBottomLeft; break;
      case ieBottomLeft: Grip = ieTopLeft; break;
      case ieTopRight: Grip = ieBottomRight; break;
      case ieBottomRight: Grip = ieTopRight; break;
      case ieTopSide: Grip = ieBottomSide; break;
      case ieBottomSide: Grip = ieTopSide; break;
      default: break;
    }
  }
  ClearPolygon(FCurrentPolygon);
  if (left > right) std::swap(left, right);
  if (top > bottom) std::swap(top, bottom);
  if (Constrain && s != 0) {
    const double c = 1 / s;
    if (bottom >= h)
      right = static_cast<Integer>(Round((c * left + (h - top - 1)) / c));
    else if (top < 0)
      left = static_cast<Integer>(Round((c * right - bottom) / c));
    else if (right >= w)
      bottom = static_cast<Integer>(Round(c * (w - left - 1) + top));
    else if (left < 0)
      top = static_cast<Integer>(Round(bottom - c * right));
  }
  left = std::clamp(left, 0, std::max(w, 0));
  right = std::clamp(right, 0, std::max(w, 0));
  top = std::clamp(top, 0, std::max(h, 0));
  bottom = std::clamp(bottom, 0, std::max(h, 0));
  if (left > right) std::swap(left, right);
  if (top > bottom) std::swap(top, bottom);
  AddPolygonPoint(FCurrentPolygon, left, top);
  AddPolygonPoint(FCurrentPolygon, right, top);
  AddPolygonPoint(FCurrentPolygon, right, bottom);
  AddPolygonPoint(FCurrentPolygon, left, bottom);
  ShowOutline(true);
  return Grip;
}

TIEGrip TZiduzUvView::FindSelectionGrip(Integer X, Integer Y, bool Shift) {
  const auto& p = FCurrentPolygon->Points;
  if (Shift || !FCurrentPolygon->Visible || !FCurrentPolygon->Sizeable || FRectSelecting) return TIEGrip(0);
  if (!IsRectPolygon(p.data(), static_cast<Integer>(p.size()))) return TIEGrip(0);
  TIELayer* l = GetCurrentLayer();
  TPoint c[4];
  for (int i = 0; i < 4; ++i) c[i] = TPoint(l->BitmapToClientX(p[size_t(i)].X), l->BitmapToClientY(p[size_t(i)].Y));
  for (int i = 0; i < 4; ++i)
    if (std::abs(X - c[i].X) <= FSelGripSize && std::abs(Y - c[i].Y) <= FSelGripSize) return TIEGrip(ieTopLeft + i);
  // Left, right, top, bottom.
  const int sides[4][2] = {{3, 0}, {1, 2}, {0, 1}, {2, 3}};
  for (int i = 0; i < 4; ++i) {
    const TPoint a = c[sides[i][0]], b = c[sides[i][1]];
    if (IEDistPointSegment(X, Y, a.X, a.Y, b.X, b.Y) < 3.0) return TIEGrip(ieLeftSide + i);
  }
  return TIEGrip(0);
}

// ---------------------------------------------------------------------------
// Zoom to the selection

void TZiduzUvView::ZoomToSelection(bool Single, bool Notify) {
  if (!FSelected) return;
  const Integer x1 = GetSelectionX1(), y1 = GetSelectionY1(), x2 = GetSelectionX2(), y2 = GetSelectionY2();
  const Integer w = x2 + 1 - x1, h = y2 + 1 - y1;
  if (x1 < 0 || y1 < 0 || w < 2 || h < 2) return;
  Deselect();
  double z = std::min(Height() / (h / 100.0), Width() / (w / 100.0));
  if (Notify && OnZoomIn) CallWithUserSelectionBase([&] { OnZoomIn(this, z); });
  if (Single) {
    SetZoom(z);
  } else {
    SetZoomX(Width() / (w / 100.0));
    SetZoomY(Height() / (h / 100.0));
  }
  const double fx = FZoomFactorX, fy = FZoomFactorY;
  SetViewOrigin(static_cast<Integer>(std::trunc(x1 * fx)) - (GetViewWidth() - static_cast<Integer>(std::trunc(w * fx))) / 2,
                static_cast<Integer>(std::trunc(y1 * fy)) - (GetViewHeight() - static_cast<Integer>(std::trunc(h * fy))) / 2);
}

// ---------------------------------------------------------------------------
// The selection record and the selection stack

namespace {

using iestreamio::PutBool;
using iestreamio::PutInt;

// The stored mask placed on the current layer: moved by the stored layer
// position (what falls off the top or left of the image is lost), then back
// by the current layer's, onto a plane of W x H. Only the pixels that land
// inside are visited, so a hostile record's far-off position costs nothing.
std::unique_ptr<TIEMask> RebasedMask(const TIEMask& Src, int64_t SX, int64_t SY, int64_t PX, int64_t PY, Integer W,
                                     Integer H) {
  auto out = std::make_unique<TIEMask>();
  const Integer bpp = Src.BitsPerPixel();
  out->AllocateBits(W, H, bpp);
  if (!out->Bits() || !Src.Bits()) return out;
  const int64_t x0 = std::max<int64_t>({0, -SX, PX - SX}), x1 = std::min<int64_t>(Src.Width(), W + PX - SX);
  const int64_t y0 = std::max<int64_t>({0, -SY, PY - SY}), y1 = std::min<int64_t>(Src.Height(), H + PY - SY);
  const int64_t dx = SX - PX, dy = SY - PY;
  for (int64_t y = y0; y < y1; ++y) {
    const Byte* s = Src.ScanLine(static_cast<Integer>(y));
    Byte* d = out->ScanLine(static_cast<Integer>(y + dy));
    if (bpp == 8) {
      if (x1 > x0) std::memcpy(d + x0 + dx, s + x0, size_t(x1 - x0));
      continue;
    }
    for (int64_t x = x0; x < x1; ++x)
      if (s[x >> 3] & (0x80 >> (x & 7))) d[(x + dx) >> 3] |= Byte(0x80 >> ((x + dx) & 7));
  }
  return out;
}

}  // namespace

void TZiduzUvView::SaveSelectionToStream(TStream* Stream) {
  TIEMask* m = FSelectionMask.get();
  PutInt(Stream, m->Width());
  PutInt(Stream, m->Height());
  const auto& p = FCurrentPolygon->Points;
  PutInt(Stream, static_cast<Integer>(p.size()));
  for (const TPoint& q : p) {
    PutInt(Stream, q.X);
    PutInt(Stream, q.Y);
  }
  PutInt(Stream, FCurrentPolygon->BoxX1);
  PutInt(Stream, FCurrentPolygon->BoxY1);
  PutInt(Stream, FCurrentPolygon->BoxX2);
  PutInt(Stream, FCurrentPolygon->BoxY2);
  PutBool(Stream, FSelected);
  TIELayer* l = GetCurrentLayer();
  PutInt(Stream, l->PosX);
  PutInt(Stream, l->PosY);
  PutInt(Stream, m->BitsPerPixel());
  PutInt(Stream, m->X1);
  PutInt(Stream, m->Y1);
  PutInt(Stream, m->X2);
  PutInt(Stream, m->Y2);
  PutBool(Stream, m->Full);
  if (m->Bits()) Stream->WriteBuffer(m->Bits(), int64_t(m->RowLen()) * m->Height());
}

bool TZiduzUvView::LoadSelectionFromStream(TStream* Stream, Integer Mode) {
  // Everything is read and checked before the selection changes.
  iestreamio::TStreamReader r{Stream};
  const Integer w = r.Int(), h = r.Int(), n = r.Int();
  if (!r.Ok || w < 0 || h < 0 || n < 0 || int64_t(n) * 8 > r.Left()) return false;
  std::vector<TPoint> pts(static_cast<size_t>(n));
  for (TPoint& q : pts) {
    q.X = r.Int();
    q.Y = r.Int();
  }
  Integer box[4];
  for (Integer& b : box) b = r.Int();
  const bool selected = r.Bool();
  const Integer sx = r.Int(), sy = r.Int(), bpp = r.Int();
  Integer mbox[4];
  for (Integer& b : mbox) b = r.Int();
  const bool full = r.Bool();
  if (!r.Ok) return false;
  if (bpp != 0 && bpp != 1 && bpp != 8) return false;
  const bool plane = bpp != 0 && w > 0 && h > 0;
  const int64_t bytes = plane ? int64_t(IEBitmapRowLen(w, bpp, 32)) * h : 0;
  if (bytes > r.Left()) return false;
  auto mask = std::make_unique<TIEMask>();
  if (plane) {
    mask->AllocateBits(w, h, bpp);
    if (Stream->Read(mask->Bits(), bytes) != bytes) return false;
  }
  mask->X1 = mbox[0];
  mask->Y1 = mbox[1];
  mask->X2 = mbox[2];
  mask->Y2 = mbox[3];
  mask->Full = full;
  // The stored box is only a hint: it must describe the stored bits.
  mask->SyncRect();

  FCurrentPolygon->Points = std::move(pts);
  FCurrentPolygon->BoxX1 = box[0];
  FCurrentPolygon->BoxY1 = box[1];
  FCurrentPolygon->BoxX2 = box[2];
  FCurrentPolygon->BoxY2 = box[3];
  FSelected = selected;
  FSelectionMask = std::move(mask);
  TIEMask* m = FSelectionMask.get();

  LockUpdate();
  const Integer iw = FIEBitmap->Width(), ih = FIEBitmap->Height();
  TIELayer* l = GetCurrentLayer();
  if (Mode == 2) {
    FCurrentPolygon->Points.clear();
    if (m->Bits()) {
      FSelectionMask = RebasedMask(*m, sx, sy, l->PosX, l->PosY, iw, ih);
      m = FSelectionMask.get();
    }
    m->Resize(iw, ih);
    if (!m->Bits() && iw > 0 && ih > 0) m->AllocateBits(iw, ih, 1);
    m->SyncFull();
    m->SyncRect();
  } else if (iw != w || ih != h) {
    if (m->IsEmpty() || !m->Bits()) {
      m->AllocateBits(iw, ih, 1);
    } else {
      if (Mode == 1) {
        Integer dx = 0, dy = 0;
        if (iw < m->X2) dx = -(m->X1 - (iw - (m->X2 - m->X1 + 1)));
        if (ih < m->Y2) dy = -(m->Y1 - (ih - (m->Y2 - m->Y1 + 1)));
        if (dx != 0 || dy != 0) MoveSelection(dx, dy);
      }
      m->Resize(iw, ih);
      m->SyncFull();
      m->SyncRect();
    }
  }
  // A record without a plane selects nothing, but the view keeps a plane of
  // the picture's size: later selections are drawn into it.
  if (!m->Bits() && iw > 0 && ih > 0) m->AllocateBits(iw, ih, 1);
  if (m->IsEmpty()) {
    Deselect();
  } else {
    FSelected = true;
  }
  ShowOutline(true);
  UnlockUpdate();
  return true;
}

void TZiduzUvView::SaveSelection() {
  auto s = std::make_unique<TMemoryStream>();
  SaveSelectionToStream(s.get());
  FSelectionStreamStack.push_back(std::move(s));
}

bool TZiduzUvView::RestoreSelection(bool Remove, Integer Mode) {
  if (FSelectionStreamStack.empty()) return false;
  TStream* s = FSelectionStreamStack.back().get();
  s->SetPosition(0);
  const bool ok = LoadSelectionFromStream(s, Mode);
  if (Remove) FSelectionStreamStack.pop_back();
  return ok;
}
