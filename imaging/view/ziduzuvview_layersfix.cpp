// Operations that write a layer's display-only placement into its pixels
// (size override, rotation) and the merge of two layers into one. The pixel
// work is the processor's, reached through the view's link table.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "imaging/core/base/ieutils.h"
#include "imaging/core/geometry/ieresample.h"
#include "imaging/core/kernels/iebitmapstats.h"
#include "imaging/core/render/ieblend.h"
#include "imaging/core/render/iegeom.h"
#include "imaging/view/ziduzuvview.h"
#include "platform/graphics/colors.h"

namespace layersfix {
namespace {

// One layer of a merge as the pixel loop reads it: a 24-bit picture at the
// layer's display size, its alpha (nil reads as 255) and its place.
struct TMergeSource {
  std::unique_ptr<TIEBitmap> Resized, Converted;
  TIEBitmap* Pic = nullptr;
  TIEBitmap* Alpha = nullptr;
  int64_t X = 0, Y = 0;
  Integer W = 0, H = 0;
  Byte Transparency = 255;
  Byte Operation = 0;
};

Byte ClampByte(int64_t V) { return static_cast<Byte>(std::clamp<int64_t>(V, 0, 255)); }

// Layers of any pixel format are merged through a 24-bit copy: reading
// their rows as 24-bit (or as bits) would merge garbage.
bool PrepareLayer(TIELayer* L, TResampleFilter Filter, TMergeSource& S) {
  TIEBitmap* b = L->Bitmap;
  const Integer w = L->GetWidth(), h = L->GetHeight();
  if (!b || b->IsEmpty() || w <= 0 || h <= 0) return false;
  S.Pic = b;
  if (w != b->Width() || h != b->Height()) {
    S.Resized = std::make_unique<TIEBitmap>();
    IEViewLayerProcLink.ResampleTo(b, S.Resized.get(), w, h, Filter);
    if (S.Resized->Width() != w || S.Resized->Height() != h) return false;
    S.Pic = S.Resized.get();
  }
  if (S.Pic->PixelFormat() != ie24RGB) {
    S.Converted = std::make_unique<TIEBitmap>();
    if (!S.Converted->Allocate(w, h, ie24RGB)) return false;
    S.Converted->CopyAndConvertFormat(S.Pic);
    S.Pic = S.Converted.get();
  }
  S.Alpha = S.Pic->HasAlphaChannel() ? S.Pic->GetAlphaChannel() : nullptr;
  if (S.Alpha && (S.Alpha->Width() != w || S.Alpha->Height() != h || S.Alpha->PixelFormat() != ie8g))
    S.Alpha = nullptr;
  S.X = L->PosX;
  S.Y = L->PosY;
  S.W = w;
  S.H = h;
  S.Transparency = ClampByte(L->Transparency);
  S.Operation = L->Operation;
  return true;
}

// The mask as grey values at its display size; the mask layer itself is
// left as it is.
bool PrepareMask(TIELayer* M, TMergeSource& S) {
  TIEBitmap* b = M->Bitmap;
  const Integer w = M->GetWidth(), h = M->GetHeight();
  if (!b || b->IsEmpty() || w <= 0 || h <= 0) return false;
  S.Converted = std::make_unique<TIEBitmap>();
  if (!S.Converted->Allocate(b->Width(), b->Height(), ie8g)) return false;
  S.Converted->CopyAndConvertFormat(b);
  S.Converted->RemoveAlphaChannel(false, 0);
  S.Pic = S.Converted.get();
  if (w != b->Width() || h != b->Height()) {
    S.Resized = std::make_unique<TIEBitmap>();
    if (!S.Resized->Allocate(w, h, ie8g)) return false;
    IEStretchNearest(S.Pic, S.Resized.get());
    S.Pic = S.Resized.get();
  }
  S.X = M->PosX;
  S.Y = M->PosY;
  S.W = w;
  S.H = h;
  return true;
}

// Row Y of a source, or nil when the row lies outside it.
const Byte* RowOf(const TMergeSource& S, TIEBitmap* B, int64_t Y) {
  if (!B || Y < S.Y || Y >= S.Y + S.H) return nullptr;
  return static_cast<const Byte*>(B->GetScanline(static_cast<Integer>(Y - S.Y)));
}

// Makes Index current even when it is not selectable: the fixes must work
// on the layer they were asked for, never on one below it.
void MakeCurrent(TZiduzUvView* V, Integer Index) {
  const bool only = V->SelectableLayersOnly();
  V->SetSelectableLayersOnly(false);
  V->SetCurrentLayer(Index);
  V->SetSelectableLayersOnly(only);
}

}  // namespace
}  // namespace layersfix

using namespace layersfix;

void IEMergeLayerBitmaps(TIELayer* Lower, TIELayer* Upper, TIELayer* Mask, TIEBitmap* Target,
                         TResampleFilter Filter, TColor Background, bool KeepOrigin) {
  if (!Lower || !Upper || !Target) return;
  TMergeSource a, b, m;
  if (!PrepareLayer(Lower, Filter, a) || !PrepareLayer(Upper, Filter, b)) return;
  const bool hasMask = Mask && PrepareMask(Mask, m);

  // Negative positions move everything right or down, so that both layers
  // start inside the result.
  auto shiftX = [&](int64_t d) { a.X += d, b.X += d, m.X += d; };
  auto shiftY = [&](int64_t d) { a.Y += d, b.Y += d, m.Y += d; };
  if (a.X < 0) shiftX(-a.X);
  if (a.Y < 0) shiftY(-a.Y);
  if (b.X < 0) shiftX(-b.X);
  if (b.Y < 0) shiftY(-b.Y);
  const int64_t right = std::max(a.X + a.W, b.X + b.W), bottom = std::max(a.Y + a.H, b.Y + b.H);
  const int64_t left = KeepOrigin ? std::min(a.X, b.X) : 0, top = KeepOrigin ? std::min(a.Y, b.Y) : 0;
  const int64_t tw = right - left, th = bottom - top;
  if (tw <= 0 || th <= 0 || tw > INT32_MAX || th > INT32_MAX) return;
  Target->RemoveAlphaChannel(false, 0);
  if (!Target->Allocate(static_cast<Integer>(tw), static_cast<Integer>(th), ie24RGB)) return;
  TIEBitmap* ta = Target->GetAlphaChannel();
  if (!ta || ta->Width() != tw || ta->Height() != th) {
    Target->RemoveAlphaChannel(false, 0);
    return;
  }
  ta->SetFull(false);
  const TRGB bg = IEColorToRGB(ColorToRGB(Background));

  for (Integer y = 0; y < th; ++y) {
    const int64_t Y = y + top;
    const Byte* ar = RowOf(a, a.Pic, Y);
    const Byte* aa = ar ? RowOf(a, a.Alpha, Y) : nullptr;
    const Byte* br = RowOf(b, b.Pic, Y);
    const Byte* ba = br ? RowOf(b, b.Alpha, Y) : nullptr;
    const Byte* mr = hasMask ? RowOf(m, m.Pic, Y) : nullptr;
    auto* out = static_cast<TRGB*>(Target->GetScanline(y));
    auto* outA = static_cast<Byte*>(ta->GetScanline(y));
    for (Integer x = 0; x < tw; ++x) {
      const int64_t X = x + left;
      const bool inA = ar && X >= a.X && X < a.X + a.W;
      const bool inB = br && X >= b.X && X < b.X + b.W;
      if (!inA && !inB) {
        out[x] = bg;
        outA[x] = 0;
        continue;
      }
      Byte alphaA = 0, alphaB = 0;
      TRGB pa{}, pb{};
      if (inA) {
        const int64_t ax = X - a.X;
        pa = reinterpret_cast<const TRGB*>(ar)[ax];
        alphaA = std::min<Byte>(aa ? aa[ax] : 255, a.Transparency);
      }
      if (inB) {
        const int64_t bx = X - b.X;
        pb = reinterpret_cast<const TRGB*>(br)[bx];
        alphaB = std::min<Byte>(ba ? ba[bx] : 255, b.Transparency);
        if (hasMask) {
          // Outside the mask the upper layer does not show at all.
          const bool inM = mr && X >= m.X && X < m.X + m.W;
          alphaB = inM ? std::min(alphaB, mr[X - m.X]) : 0;
        }
      }
      if (inA && inB) {
        const double fa = alphaA / 255.0, fb = alphaB / 255.0;
        const double k = (1 - fb) * fa, t = fb + k;
        TRGB c = pa;
        IEBlendRGB(pb, c, b.Operation);
        if (t != 0) {
          c.r = ClampByte(Round((fb * c.r + k * pa.r) / t));
          c.g = ClampByte(Round((fb * c.g + k * pa.g) / t));
          c.b = ClampByte(Round((fb * c.b + k * pa.b) / t));
        }
        out[x] = c;
        outA[x] = ClampByte(Round(t * 255));
      } else if (inA) {
        out[x] = pa;
        outA[x] = alphaA;
      } else {
        out[x] = pb;
        outA[x] = alphaB;
      }
    }
  }
  ta->SyncFull();
  if (ta->Full()) Target->RemoveAlphaChannel(false, 0);
}

// ---------------------------------------------------------------------------
// TZiduzUvView

void TZiduzUvView::LayersFixSizes(Integer Index) {
  if (Index < -1 || Index >= LayersCount()) return;
  SyncLayers();
  const Integer previous = FCurrentLayer;
  for (Integer i = 0; i < LayersCount(); ++i) {
    if (Index >= 0 && i != Index) continue;
    TIELayer* l = FLayers[size_t(i)].get();
    if (l->Width == 0 && l->Height == 0) continue;
    const Integer w = l->GetWidth(), h = l->GetHeight();
    // A flipped or empty display size has no pixels to become: it stays a
    // display setting.
    if (w <= 0 || h <= 0 || !l->Bitmap || l->Bitmap->IsEmpty()) continue;
    MakeCurrent(this, i);
    IEViewLayerProcLink.Resample(GetProc(), w, h, l->UseResampleFilter ? l->ResampleFilter : FZoomFilter);
    l->Width = l->Height = 0;
    l->MaskCache.reset();
  }
  MakeCurrent(this, previous);
}

void TZiduzUvView::LayersFixRotations(Integer Index) {
  if (Index < -1 || Index >= LayersCount()) return;
  LayersFixSizes(Index);
  const Integer previous = FCurrentLayer;
  for (Integer i = 0; i < LayersCount(); ++i) {
    if (Index >= 0 && i != Index) continue;
    TIELayer* l = FLayers[size_t(i)].get();
    const double angle = l->Rotate();
    if (angle == 0 || !l->Bitmap || l->Bitmap->IsEmpty()) continue;
    MakeCurrent(this, i);
    TIEBitmap* bmp = FIEBitmap;
    const Integer w = l->GetWidth(), h = l->GetHeight();
    // The corners the turn uncovers must come out transparent.
    if (!bmp->HasAlphaChannel()) bmp->GetAlphaChannel()->Fill(255);
    IEViewLayerProcLink.Rotate(GetProc(), angle, true, 2, -1);
    TPoint c[4] = {TPoint(0, 0), TPoint(w, 0), TPoint(w, h), TPoint(0, h)};
    IERotatePoints(c, 3, static_cast<Integer>(std::trunc(w * l->RotateCenterX)),
                   static_cast<Integer>(std::trunc(h * l->RotateCenterY)), angle);
    Integer minX = c[0].X, minY = c[0].Y;
    for (const TPoint& p : c) {
      minX = std::min(minX, p.X);
      minY = std::min(minY, p.Y);
    }
    l->PosX += minX;
    l->PosY += minY;
    l->Width = l->Height = 0;
    l->SetRotate(0);
    TRect r;
    IEGetOpaqueBounds(FIEBitmap, r);
    if (r.Right >= r.Left && r.Bottom >= r.Top) {
      IEViewLayerProcLink.CropRect(GetProc(), r);
      l->PosX += r.Left;
      l->PosY += r.Top;
    }
    l->MaskCache.reset();
  }
  MakeCurrent(this, previous);
  Update();
}

void TZiduzUvView::MergeLayersInto(Integer First, Integer Second, TIEBitmap* Target) {
  if (!Target || First == Second || First < 0 || Second < 0 || First >= LayersCount() || Second >= LayersCount())
    return;
  SyncLayers();
  const Integer lower = std::min(First, Second), upper = std::max(First, Second);
  TIELayer* mask = upper + 1 < LayersCount() && FLayers[size_t(upper) + 1]->IsMask ? Layers(upper + 1) : nullptr;
  IEMergeLayerBitmaps(Layers(lower), Layers(upper), mask, Target, FZoomFilter, Background(), lower > 0);
}

void TZiduzUvView::MergeLayers(Integer First, Integer Second, bool RemoveSecond) {
  if (First == Second || First < 0 || Second < 0 || First >= LayersCount() || Second >= LayersCount()) return;
  // The navigator shows the current picture, which the merge may free.
  TZiduzUvView* navigator = FNavigator;
  const Byte navigatorOptions = navigator ? navigator->NavigatorOptions() : 0;
  if (navigator) SetNavigator(nullptr);
  SyncLayers();
  const Integer lower = std::min(First, Second), upper = std::max(First, Second);
  auto merged = std::make_unique<TIELayer>(this, Layers(First)->Bitmap, false);
  MergeLayersInto(First, Second, merged->Bitmap);
  // A merge that could not be made leaves both layers as they were.
  if (!merged->Bitmap->IsEmpty()) {
    TIELayer* lo = Layers(lower);
    const TIELayer* up = Layers(upper);
    if (lower > 0) {
      merged->PosX = std::min(lo->PosX, up->PosX);
      merged->PosY = std::min(lo->PosY, up->PosY);
    }
    merged->Locked = lo->Locked;
    merged->VisibleBox = lo->VisibleBox;
    merged->Selectable = lo->Selectable;
    // The current picture may be among those freed: the pointer is dropped
    // before the layers go.
    FIEBitmap = nullptr;
    FCurrentLayer = -1;
    if (RemoveSecond) {
      if (upper + 1 < LayersCount() && FLayers[size_t(upper) + 1]->IsMask) FLayers.erase(FLayers.begin() + upper + 1);
      FLayers.erase(FLayers.begin() + upper);
    }
    FLayers[size_t(lower)] = std::move(merged);
    MakeCurrent(this, lower);
  }
  if (navigator) SetNavigator(navigator, navigatorOptions);
  Update();
}
