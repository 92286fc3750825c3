// Operations that change the size or the orientation of the whole picture:
// canvas resize, resampling, mirroring, cropping, rounded corners, clearing.
#include <algorithm>
#include <climits>
#include <cstdlib>

#include "imaging/core/geometry/ieresample.h"
#include "imaging/core/geometry/ierotate.h"
#include "imaging/core/kernels/iebitmapstats.h"  // IEGetOpaqueBounds
#include "imaging/core/render/iegeom.h"          // IECubicBezier
#include "imaging/proc/ziduzuvproc.h"
#include "platform/base/strutils.h"
#include "platform/base/sysutils.h"

namespace {

WideString SizeCaption(const char* Name, Integer W, Integer H) {
  return Utf8ToWide(Name) + IntToStr(W) + u"," + IntToStr(H);
}

Integer ClampToInteger(int64_t v) { return static_cast<Integer>(std::clamp<int64_t>(v, 1, INT32_MAX)); }

}  // namespace

void TZiduzUvProc::ImageResize(Integer NewWidth, Integer NewHeight, Integer HorizAlign, Integer VertAlign,
                               Integer AlphaFill) {
  if (!PrepareBitmap(0)) return;
  // A negative size is as pointless as a zero one: the canvas cannot take it.
  if (NewWidth <= 0 || NewHeight <= 0) return;
  if (NewWidth == FIEBitmap->Width() && NewHeight == FIEBitmap->Height()) return;
  if (FAutoUndo) SaveUndoCaptioned(SizeCaption("ImageResize ", NewWidth, NewHeight), ieuImage);
  if (FIEBitmap->Width() < 2 && FIEBitmap->Height() < 2) Clear();
  if (AlphaFill < 255 && !FIEBitmap->HasAlphaChannel()) FIEBitmap->GetAlphaChannel();
  FIEBitmap->ResizeCanvas(NewWidth, NewHeight, static_cast<double>(Background()), AlphaFill, HorizAlign, VertAlign);
  RefreshAttached();
  DoFinishWork();
}

void TZiduzUvProc::ResampleTo(TIEBitmap* Target, Integer NewWidth, Integer NewHeight, TResampleFilter Filter) {
  if (!Target || Target == FIEBitmap) return;
  if (!PrepareBitmap(0)) return;
  const int64_t W = FIEBitmap->Width(), H = FIEBitmap->Height();
  if (W == 0 || H == 0) return;
  if (NewWidth < 0 && NewHeight < 0) return;
  // A side of 0 keeps its current size; it is resolved before the other
  // side keeps the aspect ratio from it, and all of it in 64 bits.
  auto side = [](Integer v, int64_t current) { return v == 0 ? current : std::llabs(static_cast<int64_t>(v)); };
  int64_t w = NewWidth == -1 ? side(NewHeight, H) * W / H : side(NewWidth, W);
  Integer nw = ClampToInteger(w);
  int64_t h = NewHeight == -1 ? static_cast<int64_t>(nw) * H / W : side(NewHeight, H);
  Integer nh = ClampToInteger(h);
  if (Target->HasAlphaChannel() && !FIEBitmap->HasAlphaChannel()) Target->RemoveAlphaChannel(false, 0);
  if (!Target->Allocate(nw, nh, FIEBitmap->PixelFormat())) return;
  FIEBitmap->CopyPaletteTo(Target);
  IEResample(FIEBitmap, Target, Filter, ProgressEvent(), this);
  DoFinishWork();
}

void TZiduzUvProc::Resample(Integer NewWidth, Integer NewHeight, TResampleFilter Filter) {
  if (!PrepareBitmap(0)) return;
  if (FIEBitmap->Width() == 0 || FIEBitmap->Height() == 0) return;
  if (NewWidth == FIEBitmap->Width() && NewHeight == FIEBitmap->Height()) return;
  if (NewWidth < 0 && NewHeight < 0) return;
  if (FAutoUndo) SaveUndoCaptioned(SizeCaption("Resample ", NewWidth, NewHeight), ieuImage);
  TIEBitmap result;
  ResampleTo(&result, NewWidth, NewHeight, Filter);
  if (result.IsEmpty()) return;  // no memory for the result: the picture stays
  bool hadAlpha = FIEBitmap->HasAlphaChannel();
  FIEBitmap->Assign(&result);
  if (!result.HasAlphaChannel() && hadAlpha) FIEBitmap->RemoveAlphaChannel(false, 0);
  RefreshAttached();
  DoFinishWork();
}

void TZiduzUvProc::Flip(Byte Direction) {
  if (!PrepareBitmap(0)) return;
  if (FAutoUndo) SaveUndoCaptioned(u"Flip", ieuImage);
  IEFlipBitmap(FIEBitmap, Direction);
  RefreshAttached();
  DoFinishWork();
}

void TZiduzUvProc::Crop(Integer x1, Integer y1, Integer x2, Integer y2) {
  if (!PrepareBitmap(0)) return;
  const Integer W = FIEBitmap->Width(), H = FIEBitmap->Height();
  // Only the part of the rectangle inside the picture is kept; a rectangle
  // upside down or beside the picture keeps nothing and changes nothing.
  x1 = std::max(x1, 0);
  y1 = std::max(y1, 0);
  x2 = std::min(x2, W - 1);
  y2 = std::min(y2, H - 1);
  if (x1 > x2 || y1 > y2) return;
  if (x1 == 0 && y1 == 0 && x2 == W - 1 && y2 == H - 1) return;
  if (FAutoUndo) SaveUndoCaptioned(u"Crop", ieuImage);
  const Integer w = x2 - x1 + 1, h = y2 - y1 + 1;
  TIEBitmap part;
  if (!part.Allocate(w, h, FIEBitmap->PixelFormat())) return;
  FIEBitmap->CopyPaletteTo(&part);
  FIEBitmap->CopyRectTo(&part, x1, y1, 0, 0, w, h);
  std::unique_ptr<TIEBitmap> alpha;
  if (FIEBitmap->HasAlphaChannel()) {
    alpha = std::make_unique<TIEBitmap>();
    if (!alpha->Allocate(w, h, ie8g)) return;
    FIEBitmap->GetAlphaChannel()->CopyRectTo(alpha.get(), x1, y1, 0, 0, w, h);
  }
  FIEBitmap->AssignImage(&part);
  if (alpha) {
    TIEBitmap* a = FIEBitmap->GetAlphaChannel();
    a->AssignImage(alpha.get());
    a->SyncFull();
  }
  RefreshAttached();
  DoFinishWork();
}

void TZiduzUvProc::CropTransparentBorder() {
  if (!PrepareBitmap(0)) return;
  TRect r{};
  IEGetOpaqueBounds(FIEBitmap, r);
  if (r.Right < r.Left || r.Bottom < r.Top) return;  // wholly transparent: nothing to keep
  bool saved = FAutoUndo;
  FAutoUndo = false;
  CropRect(r);
  FAutoUndo = saved;
}

void TZiduzUvProc::Clear() {
  if (!PrepareBitmap(0)) return;
  if (FAutoUndo) SaveUndoCaptioned(u"Clear", ieuImage);
  FIEBitmap->Fill(static_cast<double>(Background()));
  RefreshAttached();
  DoFinishWork();
}

void IERoundCorners(TIEBitmap* Bitmap, Integer CornerWidth, Integer CornerHeight) {
  if (!Bitmap) return;
  const Integer W = Bitmap->Width(), H = Bitmap->Height();
  if (W == 0 || H == 0 || CornerWidth == 0 || CornerHeight == 0) return;
  const Integer n = CornerWidth + CornerHeight;
  if (n <= 0) return;
  TIEBitmap* alpha = Bitmap->GetAlphaChannel();
  // Clears columns 0..x (and their mirrors) of rows y0..y1.
  auto clear = [&](Integer x, Integer y0, Integer y1) {
    x = std::min(x, W - 1);
    y0 = std::max(y0, 0);
    y1 = std::min(y1, H - 1);
    for (Integer y = y0; y <= y1; ++y) {
      Byte* row = static_cast<Byte*>(alpha->GetScanline(y));
      for (Integer c = 0; c <= x; ++c) row[c] = row[W - 1 - c] = 0;
    }
  };
  std::vector<TPoint> pts;
  IECubicBezier(TPoint{0, CornerHeight}, TPoint{0, 0}, TPoint{CornerWidth, 0}, TPoint{CornerWidth, 0}, pts, n);
  for (const TPoint& p : pts)
    if (p.X >= 0) clear(p.X, 0, p.Y);
  pts.clear();
  IECubicBezier(TPoint{W, H - CornerHeight}, TPoint{W, H}, TPoint{W - CornerWidth, H},
                TPoint{W - CornerWidth, H}, pts, n);
  for (const TPoint& p : pts) {
    // Columns max(x, 0) .. W - 1 and their mirrors: the same as clearing
    // columns 0 .. W - 1 - max(x, 0) mirrored.
    Integer x = std::max(p.X, 0);
    if (x <= W - 1) clear(W - 1 - x, std::max(p.Y, 0), H - 1);
  }
  alpha->SyncFull();
}
