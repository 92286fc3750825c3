// Geometry of the single-image view: zoom (with automatic fitting), view
// origin, image extent, visible area, the coordinate tables and the
// client/image conversions every other part of the view goes through.
//
// A column boundary is where z x 100 / zoom is an integer. Computed in
// floating point, that quotient can land a hair below the integer (zoom 300
// with z = 3, for example), which would make one column a pixel too wide and
// shift the rest. Every "Trunc of a product with the zoom" therefore goes
// through ZoomedToBmp and BmpToZoomed below: exact integer arithmetic for an
// integral zoom, and a guarded floor otherwise.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>

#include "imaging/view/ziduzuvview.h"
#include "platform/ui/winuser.h"

namespace {

bool IntegralZoom(double Zoom, int64_t& Whole) {
  if (!(Zoom > 0) || Zoom >= 1e9 || Zoom != std::floor(Zoom)) return false;
  Whole = static_cast<int64_t>(Zoom);
  return true;
}

Integer ClampToInteger(int64_t V) {
  return static_cast<Integer>(std::clamp<int64_t>(V, INT32_MIN, INT32_MAX));
}

// Trunc of a value that is mathematically V, taking values within 1e-7 below
// an integer (in the direction away from zero) as that integer.
Integer TruncGuarded(double V) {
  const double t = V >= 0 ? std::floor(V + 1e-7) : std::ceil(V - 1e-7);
  return static_cast<Integer>(std::clamp(t, -2147483648.0, 2147483647.0));
}

// Floor of a value that is mathematically V, with the same guard. For V >= 0
// it is TruncGuarded; below 0 it keeps counting down, so that positions left
// of (or above) the image map as evenly as those on it.
int64_t FloorGuarded(double V) {
  return static_cast<int64_t>(std::clamp(std::floor(V + 1e-7), -9.0e15, 9.0e15));
}

int64_t FloorDiv(int64_t A, int64_t B) {  // B > 0
  const int64_t q = A / B;
  return (A % B != 0 && A < 0) ? q - 1 : q;
}

// floor(Z x 100 / Zoom): the image column under zoomed coordinate Z. For
// Z >= 0 this is the Trunc the tables are filled by.
int64_t ZoomedToBmp(int64_t Z, double Zoom) {
  int64_t w;
  if (IntegralZoom(Zoom, w)) return FloorDiv(Z * 100, w);
  return FloorGuarded(static_cast<double>(Z) * 100.0 / Zoom);
}

// floor(C x Zoom / 100): the zoomed coordinate of image column C.
int64_t BmpToZoomed(int64_t C, double Zoom) {
  int64_t w;
  if (IntegralZoom(Zoom, w)) return FloorDiv(C * w, 100);
  return FloorGuarded(static_cast<double>(C) * Zoom / 100.0);
}

// The column the tables give for zoomed coordinate Z, not clipped to the
// image: above 100 % the column under Z; at or below 100 % the first column
// that lands on Z (every Z is landed on, as columns are at most 1 apart).
int64_t ColumnUnder(int64_t Z, double Zoom) {
  int64_t c = ZoomedToBmp(Z, Zoom);
  if (Zoom > 100) return c;
  while (BmpToZoomed(c, Zoom) < Z) ++c;
  while (BmpToZoomed(c - 1, Zoom) >= Z) --c;
  return c;
}

// The first zoomed coordinate of column C, as the tables hold it.
int64_t ColumnBegin(int64_t C, double Zoom) {
  int64_t z = BmpToZoomed(C, Zoom);
  if (Zoom <= 100) return z;
  while (ZoomedToBmp(z, Zoom) < C) ++z;
  while (ZoomedToBmp(z - 1, Zoom) >= C) --z;
  return z;
}

// The column the tables give for zoomed coordinate Z >= 0, clipped to the
// last image column as the tables clip it.
Integer ColumnAt(Integer Z, double Zoom, Integer ImageSize) {
  return static_cast<Integer>(std::min<int64_t>(ColumnUnder(Z, Zoom), std::max(ImageSize - 1, 0)));
}

Integer ColumnStart(Integer C, double Zoom) { return ClampToInteger(ColumnBegin(C, Zoom)); }

// One axis of the coordinate tables.
void BuildAxis(std::vector<Integer>& ZoomedToBmpT, std::vector<Integer>& BmpToZoomedT, Integer Zoomed,
               Integer Visible, double Zoom, Integer ImageSize) {
  const int64_t j = int64_t(Zoomed) + Visible;
  const Integer last = std::max(ImageSize - 1, 0);
  const Integer cMax = ClampToInteger(ZoomedToBmp(j + 1, Zoom));
  ZoomedToBmpT.assign(size_t(j + 2), 0);
  BmpToZoomedT.assign(size_t(cMax) + 2, 0);
  if (Zoom > 100) {
    // z runs downwards, so each column ends with its first zoomed pixel.
    for (int64_t z = j; z >= 0; --z) {
      const Integer c = ClampToInteger(ZoomedToBmp(z, Zoom));
      BmpToZoomedT[size_t(c)] = static_cast<Integer>(z);
      ZoomedToBmpT[size_t(z)] = std::min(c, last);
    }
  } else {
    // c runs downwards, so each zoomed pixel ends with the first column landing on it.
    for (int64_t c = cMax; c >= 0; --c) {
      const Integer z = ClampToInteger(BmpToZoomed(c, Zoom));
      BmpToZoomedT[size_t(c)] = z;
      if (z >= 0 && size_t(z) < ZoomedToBmpT.size()) ZoomedToBmpT[size_t(z)] = std::min(static_cast<Integer>(c), last);
    }
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// Notifications

void TZiduzUvView::DoViewChanging(Integer Change, double NewValue) {
  if (OnViewChanging) OnViewChanging(this, Change, NewValue);
}

void TZiduzUvView::DoViewChange(Integer Change) {
  if (OnViewChange) OnViewChange(this, Change);
  if (FNavigator) SyncNavigator();
}

void TZiduzUvView::ArmFilterDelay(bool ZoomAway) {
  if (FDelayZoomFilter && FZoomFilter != rfNone && ZoomAway) FFilterDelayCount = FFilterDelay;
  FFastFramesCount = FFastFrames;
}

// The common end of a zoom change, the paint locked (and the navigator's
// too when Navigator): two updates with the zoom reason, the tables for the
// new zoom, unlock quietly, paint at once, then report the change.
void TZiduzUvView::FinishZoomChange(bool Navigator) {
  FUpdateReason = urZoom;
  Update();
  FUpdateReason = urZoom;
  Update();
  ComputeVisibleArea();
  RebuildCoordinateTables();
  UnlockPaintQuiet();
  if (Navigator && FNavigator) FNavigator->UnlockPaintQuiet();
  PaintNow();
  DoViewChange(1);
}

// ---------------------------------------------------------------------------
// Zoom

void TZiduzUvView::SetZoom(double Zoom) {
  DoViewChanging(2, Zoom);
  if (!(Zoom > 0) || (Zoom == FZoomX && Zoom == FZoomY)) return;
  ArmFilterDelay(FZoomX != 100 || FZoomY != 100);
  LockPaint();
  if (FNavigator) FNavigator->LockPaint();
  ApplyZoom(Zoom);
  FinishZoomChange(true);
}

void TZiduzUvView::SetZoomX(double Zoom) {
  DoViewChanging(2, Zoom);
  if (!(Zoom > 0) || Zoom == FZoomX) return;
  ArmFilterDelay(FZoomX != 100);
  LockPaint();
  ApplyZoomX(Zoom);
  FinishZoomChange(false);
}

void TZiduzUvView::SetZoomY(double Zoom) {
  DoViewChanging(2, Zoom);
  if (!(Zoom > 0) || Zoom == FZoomY) return;
  ArmFilterDelay(FZoomY != 100);
  LockPaint();
  ApplyZoomY(Zoom);
  FinishZoomChange(false);
}

void TZiduzUvView::ApplyZoom(double Zoom) {
  // The image point under the centre of the view area stays there.
  const Integer w = GetViewWidth() / 2, h = GetViewHeight() / 2;
  const int64_t ix = Round(double(w + FViewX - FOffsetX) * FInvZoomX);
  const int64_t iy = Round(double(h + FViewY - FOffsetY) * FInvZoomY);
  const Integer nx = TruncGuarded(double(ix) * Zoom / 100.0 - w);
  const Integer ny = TruncGuarded(double(iy) * Zoom / 100.0 - h);
  FZoomX = FZoomY = Zoom;
  FZoomFactorX = FZoomFactorY = Zoom / 100.0;
  FInvZoomX = FInvZoomY = 100.0 / Zoom;
  Integer mx, my;
  GetMaxViewXY(mx, my);
  FViewX = nx > mx ? mx : (nx < 0 ? 0 : nx);
  FViewY = ny > my ? my : (ny < 0 ? 0 : ny);
}

void TZiduzUvView::ApplyZoomX(double Zoom) {
  const Integer w = GetViewWidth() / 2;
  const int64_t ix = Round(double(w + FViewX - FOffsetX) * FInvZoomX);
  const Integer nx = TruncGuarded(double(ix) * Zoom / 100.0 - w);
  FZoomX = Zoom;
  FZoomFactorX = Zoom / 100.0;
  FInvZoomX = 100.0 / Zoom;
  Integer mx, my;
  GetMaxViewXY(mx, my);
  FViewX = nx > mx ? mx : (nx < 0 ? 0 : nx);
}

void TZiduzUvView::ApplyZoomY(double Zoom) {
  const Integer h = GetViewHeight() / 2;
  const int64_t iy = Round(double(h + FViewY - FOffsetY) * FInvZoomY);
  const Integer ny = TruncGuarded(double(iy) * Zoom / 100.0 - h);
  FZoomY = Zoom;
  FZoomFactorY = Zoom / 100.0;
  FInvZoomY = 100.0 / Zoom;
  Integer mx, my;
  GetMaxViewXY(mx, my);
  FViewY = ny > my ? my : (ny < 0 ? 0 : ny);
}

void TZiduzUvView::FitMargins(Integer& MX, Integer& MY) {
  switch (FBackgroundStyle) {
    case iebsCropped:
      MX = GetSystemMetrics(SM_CXEDGE);
      MY = GetSystemMetrics(SM_CYEDGE);
      return;
    case iebsCropShadow: MX = MY = 5; return;
    case iebsSoftShadow: MX = MY = 9; return;
    default: break;
  }
  if (BorderStyle() == bsNone) {
    MX = MY = 0;
  } else if (Ctl3D()) {
    MX = GetSystemMetrics(SM_CXEDGE);
    MY = GetSystemMetrics(SM_CYEDGE);
  } else {
    MX = GetSystemMetrics(SM_CXBORDER);
    MY = GetSystemMetrics(SM_CYBORDER);
  }
}

void TZiduzUvView::FitMarginsForAuto(Integer& MX, Integer& MY) {
  switch (FBackgroundStyle) {
    case iebsCropped:
    case iebsCropShadow:
    case iebsSoftShadow: FitMargins(MX, MY); return;
    default:
      MX = (Width() - GetViewWidth()) / 2;
      MY = (Height() - GetViewHeight()) / 2;
      return;
  }
}

double TZiduzUvView::GetFitZoom() {
  // An empty picture has no fit; it keeps the natural size.
  if (FImageWidth <= 0 || FImageHeight <= 0) return 100;
  Integer mx, my;
  FitMargins(mx, my);
  const double fx = double(Width() - 2 * mx) / (FImageWidth / 100.0);
  const double fy = double(Height() - 2 * my) / (FImageHeight / 100.0);
  return std::min(fx, fy);
}

double TZiduzUvView::GetOptimalZoom(Integer ImageW, Integer ImageH, Integer AvailW, Integer AvailH, bool Stretch,
                                    bool Shrink) {
  if (ImageW == 0 || ImageH == 0 || AvailW == 0 || AvailH == 0) return 100;
  const bool horizontal = double(ImageW) / AvailW > double(ImageH) / AvailH;
  const bool larger = horizontal ? ImageW > AvailW : ImageH > AvailH;
  if (larger) return Shrink ? GetFitZoom() : 100;
  return Stretch ? GetFitZoom() : 100;
}

void TZiduzUvView::AutoZoom() {
  if (FImageWidth == 0 || FImageHeight == 0) return;
  DoViewChanging(2, FZoomX);
  Integer mx, my;
  FitMarginsForAuto(mx, my);
  double z = 100;
  if (FImageWidth > 1 || FImageHeight > 1)
    z = GetOptimalZoom(FImageWidth, FImageHeight, GetViewWidth() - 2 * mx, GetViewHeight() - 2 * my,
                       FAutoStretch || FAutoFit, FAutoShrink || FAutoFit);
  if (z < 1) z = 1;
  FZoomX = FZoomY = z;
  FZoomFactorX = FZoomFactorY = z / 100.0;
  FInvZoomX = FInvZoomY = 100.0 / z;
  // The extent and centring of the new zoom first: the visible area, the
  // tables and what an OnViewChange handler converts all depend on them.
  ComputeImageExtent();
  ComputeVisibleArea();
  RebuildCoordinateTables();
  DoViewChange(1);
  FFilterDelayCount = 0;
  FFastFramesCount = 0;
}

void TZiduzUvView::Fit() {
  if (FImageWidth == 0 || FImageHeight == 0) return;
  if (FHScrollShown) HideHScrollBar();
  if (FVScrollShown) HideVScrollBar();
  SetZoom(GetFitZoom());
}

void TZiduzUvView::ZoomAt(Integer X, Integer Y, double Zoom, bool CenterIt) {
  if (FNavigator) FNavigator->LockPaint();
  // Reported before anything moves: the point the zoom keeps in place.
  DoViewChanging(2, X);
  DoViewChanging(2, Y);
  LockPaint();
  const Integer bx = ClientToImageX(X), by = ClientToImageY(Y);
  const double oldX = FZoomX, oldY = FZoomY;
  SetZoom(Zoom);
  const double f = FZoomX / 100.0;
  Integer nx, ny;
  if (CenterIt) {
    nx = TruncGuarded(bx * f - GetViewWidth() / 2);
    ny = TruncGuarded(by * f - GetViewHeight() / 2);
  } else {
    nx = TruncGuarded(bx * f - X + f);
    ny = TruncGuarded(by * f - Y + f);
  }
  // The cursor formula lands about a column away from where the view
  // already is; when the zoom did not change (a handler capped it, or it was
  // already the asked zoom) each wheel notch would creep the picture along.
  if (CenterIt || FZoomX != oldX || FZoomY != oldY) SetViewOrigin(nx, ny);
  UnlockPaint();
  ComputeVisibleArea();
  RebuildCoordinateTables();
  if (FNavigator) {
    FNavigator->UnlockPaintQuiet();
    SyncNavigator();
  }
}

void TZiduzUvView::ZoomToRect(const TRect& Rect) {
  if (Rect.Height() == 0) return;
  LockPaint();
  const TRect r = IsEmpty() ? Rect
                            : IEFitRectToAspect(Rect, GetViewWidth(), GetViewHeight(), FImageWidth, FImageHeight);
  if (r.Height() != 0) {
    const double s = double(GetViewHeight()) / r.Height();
    SetZoom(s * 100);
    SetViewOriginX(static_cast<Integer>(Round(r.Left * s)));
    SetViewOriginY(static_cast<Integer>(Round(r.Top * s)));
  }
  UnlockPaint();
}

TRect IEFitRectToAspect(const TRect& Rect, Integer ViewW, Integer ViewH, Integer ImageW, Integer ImageH) {
  Integer left = std::max(0, Rect.Left), top = std::max(0, Rect.Top);
  Integer w = std::min(ImageW, Rect.Width()), h = std::min(ImageH, Rect.Height());
  if (ViewW <= 0 || ViewH <= 0) return TRect(left, top, left + w, top + h);
  if (double(w) / ViewW >= double(h) / ViewH) {
    const Integer nh = static_cast<Integer>(Round(double(ViewH) * w / ViewW));
    top -= (nh - h) / 2;
    h = nh;
  } else {
    const Integer nw = static_cast<Integer>(Round(double(ViewW) * h / ViewH));
    left -= (nw - w) / 2;
    w = nw;
  }
  return TRect(left, top, left + w, top + h);
}

// ---------------------------------------------------------------------------
// Origin

void TZiduzUvView::GetMaxViewXY(Integer& MaxX, Integer& MaxY) {
  const Integer vw = GetViewWidth(), vh = GetViewHeight();
  Integer a = ClampToInteger(BmpToZoomed(FImageWidth, FZoomX));
  Integer b = ClampToInteger(BmpToZoomed(FImageHeight, FZoomY));
  if (FZoomX != FZoomY) {
    if (a > vw + 10) a = ClampToInteger(BmpToZoomed(int64_t(FImageWidth) + 1, FZoomX));
    if (b > vh + 10) b = ClampToInteger(BmpToZoomed(int64_t(FImageHeight) + 1, FZoomY));
  } else if ((a > vw + 10 || b > vh + 10) && FScrollBars != ssNone) {
    // Room to bring the last, partly shown pixel fully into view.
    a = ClampToInteger(BmpToZoomed(int64_t(FImageWidth) + 1, FZoomX));
    b = ClampToInteger(BmpToZoomed(int64_t(FImageHeight) + 1, FZoomY));
  }
  MaxX = MaxY = 0;
  if (a < 1 || b < 1) return;
  MaxX = a - vw;
  MaxY = b - vh;
  if (MaxX < 0 || ClientToImageX(MaxX) == 0) MaxX = 0;
  if (MaxY < 0 || ClientToImageY(MaxY) == 0) MaxY = 0;
  // An image that fits once the scroll bars are gone needs no scrolling.
  if (FZoomX != FZoomY) {
    if (a <= Width()) MaxX = 0;
    if (b <= Height()) MaxY = 0;
  } else if (a <= Width() && b <= Height()) {
    MaxX = MaxY = 0;
  }
}

bool TZiduzUvView::CanScroll() {
  Integer mx, my;
  GetMaxViewXY(mx, my);
  return mx > 0 || my > 0;
}

void TZiduzUvView::ClampOrigin() {
  Integer mx, my;
  GetMaxViewXY(mx, my);
  bool changed = false;
  if (FViewX > mx) {
    DoViewChanging(0, mx);
    FViewX = mx;
    changed = true;
  }
  if (FViewY > my) {
    DoViewChanging(1, my);
    FViewY = my;
    changed = true;
  }
  if (changed) DoViewChange(0);
}

void TZiduzUvView::SetOrigin(Integer X, Integer Y, bool DoX, bool DoY) {
  Integer mx, my;
  GetMaxViewXY(mx, my);
  const Integer nx = DoX ? (X > mx ? mx : (X < 0 ? 0 : X)) : FViewX;
  const Integer ny = DoY ? (Y > my ? my : (Y < 0 ? 0 : Y)) : FViewY;
  if (nx == FViewX && ny == FViewY) return;
  ArmFilterDelay(FZoomX != 100 || FZoomY != 100);
  FViewX = nx;
  FViewY = ny;
  // The conversions follow the origin at once, not only after the next paint.
  ComputeVisibleArea();
  RebuildCoordinateTables();
  FBackBufferDirty = true;
  FPaintAll = true;
  PaintNow();
  DoViewChange(0);
  SyncScrollPositions();
}

void TZiduzUvView::SetViewOrigin(Integer X, Integer Y) {
  DoViewChanging(0, X);
  DoViewChanging(1, Y);
  if (X == FViewX && Y == FViewY) return;
  SetOrigin(X, Y, true, true);
}

void TZiduzUvView::SetViewOriginX(Integer X) {
  DoViewChanging(0, X);
  if (X == FViewX) return;
  SetOrigin(X, FViewY, true, false);
}

void TZiduzUvView::SetViewOriginY(Integer Y) {
  DoViewChanging(1, Y);
  if (Y == FViewY) return;
  SetOrigin(FViewX, Y, false, true);
}

// ---------------------------------------------------------------------------
// Extent, visible area and tables

void TZiduzUvView::ComputeImageExtent() {
  FZoomedWidth = static_cast<Integer>(Round(FImageWidth * FZoomFactorX));
  FZoomedHeight = static_cast<Integer>(Round(FImageHeight * FZoomFactorY));
  FOffsetX = FOffsetY = 0;
  if (ComponentState().Contains(csDesigning)) {
    FExtentX = std::min(FZoomedWidth, Width());
    FExtentY = std::min(FZoomedHeight, Height());
    return;
  }
  const Integer vw = GetViewWidth(), vh = GetViewHeight();
  FExtentX = std::min(FZoomedWidth, vw);
  FExtentY = std::min(FZoomedHeight, vh);
  if (FCenter) {
    if (FExtentX < vw) FOffsetX = (vw - FExtentX) / 2;
    if (FExtentY < vh) FOffsetY = (vh - FExtentY) / 2;
  }
}

void TZiduzUvView::ComputeVisibleArea() {
  FVisibleBmpX = FVisibleBmpY = FVisibleBmpWidth = FVisibleBmpHeight = FVisibleWidth = FVisibleHeight = 0;
  auto axis = [](Integer Snapped, Integer Zoomed, Integer ImageSize, Integer Extent, double Zoom, double Factor,
                 Integer& BmpFirst, Integer& BmpCount, Integer& Covered) {
    if (Zoomed > 0) {
      const double d = double(ImageSize) / Zoomed;
      // The first visible column is the one the tables put at the snapped
      // origin, so that drawing and conversions agree on it.
      BmpFirst = ColumnAt(Snapped, Zoom, ImageSize);
      BmpCount = static_cast<Integer>(Round(d * Extent));
      if (BmpFirst + BmpCount > ImageSize) BmpCount = std::max(ImageSize - BmpFirst, 0);
    }
    if (Zoom > 100) {
      Covered = ClampToInteger(BmpToZoomed(BmpCount, Zoom));
      (void)Factor;
      if (Covered < Extent && BmpFirst + BmpCount + 1 <= ImageSize) {
        ++BmpCount;
        Covered = ClampToInteger(BmpToZoomed(BmpCount, Zoom));
      }
    } else {
      Covered = Extent;
    }
  };
  axis(SnapToPixelX(FViewX), FZoomedWidth, FImageWidth, FExtentX, FZoomX, FZoomFactorX, FVisibleBmpX,
       FVisibleBmpWidth, FVisibleWidth);
  axis(SnapToPixelY(FViewY), FZoomedHeight, FImageHeight, FExtentY, FZoomY, FZoomFactorY, FVisibleBmpY,
       FVisibleBmpHeight, FVisibleHeight);
}

Integer TZiduzUvView::SnapToPixelX(Integer ZX) {
  // Computed from the same exact rules the tables are filled by, so it
  // holds also before the tables of a new zoom are built.
  if (ZX < 0) return 0;
  if (ZX < FZoomedWidth && FImageWidth > 0) return ColumnStart(ColumnAt(ZX, FZoomX, FImageWidth), FZoomX);
  return ZX;
}

Integer TZiduzUvView::SnapToPixelY(Integer ZY) {
  if (ZY < 0) return 0;
  if (ZY < FZoomedHeight && FImageHeight > 0) return ColumnStart(ColumnAt(ZY, FZoomY, FImageHeight), FZoomY);
  return ZY;
}

void TZiduzUvView::RebuildCoordinateTables() {
  const TTableKey key{FZoomX, FZoomY, FVisibleWidth, FVisibleHeight, FImageWidth, FImageHeight};
  if (!(key == FTableKey)) {
    FZoomedToBmpX.clear();
    FBmpToZoomedX.clear();
    FZoomedToBmpY.clear();
    FBmpToZoomedY.clear();
    FClientTableWidth = FClientTableHeight = FBmpTableWidth = FBmpTableHeight = 0;
    if (FVisibleWidth > 0 && FVisibleHeight > 0 && FImageWidth > 0 && FImageHeight > 0) {
      BuildAxis(FZoomedToBmpX, FBmpToZoomedX, FZoomedWidth, FVisibleWidth, FZoomX, FImageWidth);
      BuildAxis(FZoomedToBmpY, FBmpToZoomedY, FZoomedHeight, FVisibleHeight, FZoomY, FImageHeight);
      FClientTableWidth = FVisibleWidth;
      FClientTableHeight = FVisibleHeight;
      FBmpTableWidth = ClampToInteger(ZoomedToBmp(FVisibleWidth, FZoomX));
      FBmpTableHeight = ClampToInteger(ZoomedToBmp(FVisibleHeight, FZoomY));
    }
    FTableKey = key;
  }
  if (!FZoomedToBmpX.empty()) {
    FOriginZoomedX = FClientCursorX = SnapToPixelX(FViewX);
    FOriginZoomedY = FClientCursorY = SnapToPixelY(FViewY);
    FBmpCursorX = size_t(FClientCursorX) < FZoomedToBmpX.size() ? FZoomedToBmpX[size_t(FClientCursorX)] : 0;
    FBmpCursorY = size_t(FClientCursorY) < FZoomedToBmpY.size() ? FZoomedToBmpY[size_t(FClientCursorY)] : 0;
  }
}

// ---------------------------------------------------------------------------
// Conversions
//
// Inside the visible area the tables answer with one array access. Outside
// it (left of or above the image, past the last table entry) the same exact
// column rules are evaluated directly, measured from the same snapped origin,
// so that a conversion gives the same answer on either side of a table edge.
// A rounded product would not: at zoom 75 row 234 starts at zoomed 175
// (Trunc(175.5)), where ClientToImageY finds it, not at Round(175.5) = 176.

Integer TZiduzUvView::ClientToImageX(Integer CX) {
  const int64_t r = int64_t(CX) - FOffsetX;
  if (!FZoomedToBmpX.empty() && r >= 0 && r < FClientTableWidth) {
    const int64_t i = FClientCursorX + r;
    if (i < int64_t(FZoomedToBmpX.size())) return FZoomedToBmpX[size_t(i)];
  }
  return ClampToInteger(ColumnUnder(SnapToPixelX(FViewX) + r, FZoomX));
}

Integer TZiduzUvView::ClientToImageY(Integer CY) {
  const int64_t r = int64_t(CY) - FOffsetY;
  if (!FZoomedToBmpY.empty() && r >= 0 && r < FClientTableHeight) {
    const int64_t i = FClientCursorY + r;
    if (i < int64_t(FZoomedToBmpY.size())) return FZoomedToBmpY[size_t(i)];
  }
  return ClampToInteger(ColumnUnder(SnapToPixelY(FViewY) + r, FZoomY));
}

Integer TZiduzUvView::ImageToClientX(Integer BX) {
  const int64_t d = int64_t(BX) - FVisibleBmpX;
  // The table holds each column's zoomed start; the client x is its distance
  // from the snapped origin, so a column maps back to where
  // ClientToImageX finds it.
  if (!FBmpToZoomedX.empty() && d >= 0 && d < FBmpTableWidth && BX < int64_t(FBmpToZoomedX.size()))
    return FBmpToZoomedX[size_t(BX)] - FOriginZoomedX + FOffsetX;
  return ClampToInteger(ColumnBegin(BX, FZoomX) - SnapToPixelX(FViewX) + FOffsetX);
}

Integer TZiduzUvView::ImageToClientY(Integer BY) {
  const int64_t d = int64_t(BY) - FVisibleBmpY;
  if (!FBmpToZoomedY.empty() && d >= 0 && d < FBmpTableHeight && BY < int64_t(FBmpToZoomedY.size()))
    return FBmpToZoomedY[size_t(BY)] - FOriginZoomedY + FOffsetY;
  return ClampToInteger(ColumnBegin(BY, FZoomY) - SnapToPixelY(FViewY) + FOffsetY);
}
