// The layers of the single-image view: the layer record, its coordinate
// conversions, and the list operations that keep the view's image pointing at
// the current layer's picture.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>

#include "imaging/core/render/iegeom.h"
#include "imaging/view/ziduzuvview.h"

namespace {

// A fresh random identity (version 4 layout). Undo entries find their layer
// by it, so two layers of one process must never share one.
TGUID NewLayerGUID() {
  static thread_local std::mt19937_64 gen{std::random_device{}() ^ (uint64_t(std::random_device{}()) << 32)};
  const uint64_t a = gen(), b = gen();
  TGUID g{};
  g.D1 = static_cast<Cardinal>(a);
  g.D2 = static_cast<Word>(a >> 32);
  g.D3 = static_cast<Word>(((a >> 48) & 0x0FFF) | 0x4000);
  for (int i = 0; i < 8; ++i) g.D4[i] = static_cast<Byte>(b >> (8 * i));
  g.D4[0] = static_cast<Byte>((g.D4[0] & 0x3F) | 0x80);
  return g;
}

// Truncation toward zero of a value that may lie far outside the integers.
Integer TruncToInteger(double V) {
  if (!std::isfinite(V)) return 0;
  if (V >= 2147483647.0) return INT32_MAX;
  if (V <= -2147483648.0) return INT32_MIN;
  return static_cast<Integer>(V);
}

}  // namespace

// ---------------------------------------------------------------------------
// TIELayer

TIELayer::TIELayer(TZiduzUvView* Owner, TIEBitmap* ABitmap, bool UseGivenBitmap, bool Owns) : FOwner(Owner) {
  GUID = NewLayerGUID();
  if (UseGivenBitmap) {
    Bitmap = ABitmap;
    OwnsBitmap = Owns;
  } else {
    Bitmap = new TIEBitmap();
    // A layer of the source's size and format; its pixels are the caller's
    // to fill (AddLayer clears them to the background).
    if (ABitmap && !ABitmap->IsEmpty()) {
      if (ABitmap->Location() != ieTBitmap) Bitmap->SetLocation(ABitmap->Location());
      Bitmap->Allocate(ABitmap->Width(), ABitmap->Height(), ABitmap->PixelFormat());
      if (ABitmap->PixelFormat() == ie8p) ABitmap->CopyPaletteTo(Bitmap);
    }
    OwnsBitmap = true;
  }
  ResetProperties();
}

TIELayer::~TIELayer() {
  if (OwnsBitmap) delete Bitmap;
  Bitmap = nullptr;
  if (UserDataLen > 0) std::free(UserData);
  UserData = nullptr;
}

void TIELayer::ResetProperties() {
  Width = Height = 0;
  SetRotate(0);
  MaskCache.reset();
  Visible = true;
  VisibleBox = true;
  Transparency = 255;
  PosX = PosY = 0;
  ClientAreaBox = TRect();
  Cropped = false;
  Locked = false;
  Selectable = true;
  Magnify = TIELayerMagnification();
  Operation = 0;
  if (UserDataLen > 0) std::free(UserData);
  UserData = nullptr;
  UserDataLen = 0;
  IsMask = false;
  std::fill(std::begin(DrawnRect), std::end(DrawnRect), 0);
  std::fill(std::begin(DrawnCorners), std::end(DrawnCorners), TPoint());
  DrawOuter = false;
  RotateCenterX = RotateCenterY = 0.5;
}

void TIELayer::Assign(TIELayer* Source) {
  if (!Source || Source == this) return;
  Width = Source->Width;
  Height = Source->Height;
  if (Bitmap && Source->Bitmap) Bitmap->Assign(Source->Bitmap);
  Visible = Source->Visible;
  VisibleBox = Source->VisibleBox;
  Selectable = Source->Selectable;
  Transparency = Source->Transparency;
  PosX = Source->PosX;
  PosY = Source->PosY;
  ClientAreaBox = Source->ClientAreaBox;
  Cropped = Source->Cropped;
  Locked = Source->Locked;
  Magnify = Source->Magnify;
  Operation = Source->Operation;
  // The copy refers to the block but never frees it.
  if (UserDataLen > 0) std::free(UserData);
  UserData = Source->UserData;
  UserDataLen = 0;
  ResampleFilter = Source->ResampleFilter;
  UseResampleFilter = Source->UseResampleFilter;
  Name = Source->Name;
  WideName = Source->WideName;
  IsMask = Source->IsMask;
  DrawOuter = Source->DrawOuter;
  MaskCache.reset();
}

void TIELayer::SetRotate(double Angle) {
  // Only finite whole multiples of 360 become 0; the test avoids converting
  // a NaN, an infinity or a huge value to an integer.
  if (std::isfinite(Angle) && Angle == std::trunc(Angle) && std::fmod(Angle, 360.0) == 0)
    FRotate = 0;
  else
    FRotate = Angle;
  MaskCache.reset();
}

Integer TIELayer::GetWidth() const { return Width != 0 ? Width : (Bitmap ? Bitmap->Width() : 0); }
Integer TIELayer::GetHeight() const { return Height != 0 ? Height : (Bitmap ? Bitmap->Height() : 0); }

Integer TIELayer::ClientToBitmapX(Integer X) {
  const Integer w = GetWidth();
  if (w == 0 || !Bitmap) return 0;
  const Integer shift = TruncToInteger(PosX * FOwner->ZoomFactorX());
  const double ix = FOwner->ClientToImageX(static_cast<Integer>(int64_t(X) - shift));
  return TruncToInteger(ix / w * Bitmap->Width());
}

Integer TIELayer::ClientToBitmapY(Integer Y) {
  const Integer h = GetHeight();
  if (h == 0 || !Bitmap) return 0;
  const Integer shift = TruncToInteger(PosY * FOwner->ZoomFactorY());
  const double iy = FOwner->ClientToImageY(static_cast<Integer>(int64_t(Y) - shift));
  return TruncToInteger(iy / h * Bitmap->Height());
}

Integer TIELayer::BitmapToClientX(Integer BX) {
  if (!Bitmap || Bitmap->Width() == 0) return FOwner->ImageToClientX(0) + TruncToInteger(PosX * FOwner->ZoomFactorX());
  const Integer ix = TruncToInteger(double(BX) / Bitmap->Width() * GetWidth());
  return FOwner->ImageToClientX(ix) + TruncToInteger(PosX * FOwner->ZoomFactorX());
}

Integer TIELayer::BitmapToClientY(Integer BY) {
  if (!Bitmap || Bitmap->Height() == 0)
    return FOwner->ImageToClientY(0) + TruncToInteger(PosY * FOwner->ZoomFactorY());
  const Integer iy = TruncToInteger(double(BY) / Bitmap->Height() * GetHeight());
  return FOwner->ImageToClientY(iy) + TruncToInteger(PosY * FOwner->ZoomFactorY());
}

// ---------------------------------------------------------------------------
// The layer list of the view

void TZiduzUvView::SetCurrentLayer(Integer Index) {
  if (Index < 0 || Index >= LayersCount() || Index == FCurrentLayer) return;
  const bool hadLayer = FCurrentLayer >= 0 && FCurrentLayer < LayersCount();
  if (hadLayer) {
    FLayers[size_t(FCurrentLayer)]->Bitmap = FIEBitmap;
    // The selection stays where it is on the image, whatever the layers'
    // positions: it is re-based on the new layer below.
    if (FSelected) SaveSelection();
  }
  while (Index > 0 && FSelectableLayersOnly && !FLayers[size_t(Index)]->Selectable) --Index;
  FCurrentLayer = Index;
  FIEBitmap = FLayers[size_t(Index)]->Bitmap;
  if (hadLayer && FSelected) RestoreSelection(true, 2);
  CallBitmapChangeHandlers();
  Update();
}

Integer TZiduzUvView::AddLayer() {
  FLayers.push_back(std::make_unique<TIELayer>(this, FIEBitmap, false));
  const Integer index = LayersCount() - 1;
  SetCurrentLayer(index);
  Clear();
  return index;
}

void TZiduzUvView::RemoveLayer(Integer Index) {
  if (LayersCount() < 2 || Index < 0 || Index >= LayersCount()) return;
  if (FCurrentLayer >= 0 && FCurrentLayer < LayersCount()) FLayers[size_t(FCurrentLayer)]->Bitmap = FIEBitmap;
  Integer removed = 1;
  bool currentGone = FCurrentLayer == Index;
  // The mask of the layer goes with it.
  if (Index + 1 < LayersCount() && FLayers[size_t(Index) + 1]->IsMask) {
    if (FCurrentLayer == Index + 1) currentGone = true;
    FLayers.erase(FLayers.begin() + Index + 1);
    ++removed;
  }
  // The image pointer must never outlive the layer that owns its picture.
  if (currentGone) FIEBitmap = nullptr;
  FLayers.erase(FLayers.begin() + Index);
  Integer next = FCurrentLayer;
  if (currentGone)
    next = std::min(Index, LayersCount() - 1);
  else if (FCurrentLayer > Index)
    next = FCurrentLayer - removed;
  FCurrentLayer = -1;
  SetCurrentLayer(next);
}

void TZiduzUvView::ClearLayers() {
  if (FCurrentLayer >= 0 && FCurrentLayer < LayersCount()) FLayers[size_t(FCurrentLayer)]->Bitmap = FIEBitmap;
  FIEBitmap = FLayers.front()->Bitmap;
  while (LayersCount() > 1) FLayers.pop_back();
  FCurrentLayer = -1;
  SetCurrentLayer(0);
  TIELayer* l0 = FLayers.front().get();
  l0->ResetProperties();
  l0->VisibleBox = false;
  l0->Locked = true;
  Clear();
}

void TZiduzUvView::SyncLayers() {
  if (FCurrentLayer >= 0 && FCurrentLayer < LayersCount()) FLayers[size_t(FCurrentLayer)]->Bitmap = FIEBitmap;
  FImageWidth = FLayers.front()->GetWidth();
  FImageHeight = FLayers.front()->GetHeight();
  if (!FLayersSync || LayersCount() < 2) return;
  Integer w = 0, h = 0;
  for (auto& l : FLayers) {
    w = std::max(w, l->Bitmap->Width());
    h = std::max(h, l->Bitmap->Height());
  }
  FImageWidth = w;
  FImageHeight = h;
  const double bg = static_cast<double>(static_cast<Cardinal>(ColorToRGB(Background())));
  for (auto& l : FLayers) {
    TIEBitmap* b = l->Bitmap;
    if (b->Width() == w && b->Height() == h) continue;
    if (!b->HasAlphaChannel()) b->GetAlphaChannel()->Fill(255);
    b->ResizeCanvas(w, h, bg, 0, 0, 0);
    TIEBitmap* a = b->GetAlphaChannel();
    if (a->Width() != w || a->Height() != h) a->ResizeCanvas(w, h, 0, 0, 0, 0);
    l->MaskCache.reset();
  }
}

Integer TZiduzUvView::FindLayerAt(Integer X, Integer Y, bool SelectableOnly) {
  for (Integer i = LayersCount() - 1; i >= 0; --i) {
    TIELayer* l = FLayers[size_t(i)].get();
    if (FSelectableLayersOnly && SelectableOnly && !l->Selectable) continue;
    if (!l->Visible) continue;
    const TRect& r = l->ClientAreaBox;
    if (X < r.Left || X > r.Right || Y < r.Top || Y > r.Bottom) continue;
    TIEBitmap* b = l->Bitmap;
    if (!b->HasAlphaChannel() || FSelectionOptions.Contains(iesoSelectTranspLayers)) return i;
    if (b->Width() <= 0 || b->Height() <= 0) continue;
    const Integer bx = std::clamp(l->ClientToBitmapX(X), 0, b->Width() - 1);
    const Integer by = std::clamp(l->ClientToBitmapY(Y), 0, b->Height() - 1);
    if (b->GetAlpha(bx, by) > 0) return i;
  }
  return -1;
}

bool TZiduzUvView::IsPointInLayer(Integer X, Integer Y, Integer Index) {
  if (Index < 0 || Index >= LayersCount()) return false;
  TIELayer* l = FLayers[size_t(Index)].get();
  if (!l->Visible) return false;
  if (l->Rotate() == 0) {
    const TRect& r = l->ClientAreaBox;
    return X >= r.Left && X <= r.Right && Y >= r.Top && Y <= r.Bottom;
  }
  return IEPointInPolygon(X, Y, l->DrawnCorners, 3);
}

void TZiduzUvView::DoLayerNotify(Integer Layer, TIELayerEvent Event) {
  if (!OnLayerNotify) return;
  CallWithUserSelectionBase([&] { OnLayerNotify(this, Layer, Event); });
}

void TZiduzUvView::SetLayersCropping(Byte Value) {
  FLayersCropping = Value;
  DropAllMaskCaches();
  Update();
}

void TZiduzUvView::SetLayersCroppingValue(Integer Value) {
  FLayersCroppingValue = Value;
  DropAllMaskCaches();
  Update();
}

void TZiduzUvView::DropAllMaskCaches() {
  for (auto& l : FLayers) l->MaskCache.reset();
}
