// What the views offer the I/O companion for layered content: layers and
// vector object streams loaded into an attached view, document layers taken
// over from a reader, and an off-screen vector view that draws a layered
// stream into one picture when no suitable view is attached.
#include <algorithm>

#include "imaging/io/ieviewcontract.h"
#include "imaging/view/ievect.h"
#include "imaging/view/ziduzuvview.h"

void TIELayerListDeleter::operator()(TIELayerList* List) const { delete List; }

TIELayerListPtr IENewLayerList() { return TIELayerListPtr(new TIELayerList); }

Integer IELayerListCount(const TIELayerList* List) { return List ? Integer(List->size()) : 0; }

// ---------------------------------------------------------------------------
// The single-image view: layers

bool TZiduzUvView::CanHoldLayered(TIEFileType Kind) const { return Kind == ieftLYR || Kind == ieftPSD; }

bool TZiduzUvView::LoadLayeredStream(TStream* Stream, TIEFileType Kind) {
  if (!Stream || Kind != ieftLYR) return false;
  return LoadLayersFromStream(Stream);
}

bool TZiduzUvView::TakeLayers(TIELayerListPtr Incoming, bool Replace, Integer Width, Integer Height) {
  if (!Incoming || Incoming->empty()) return false;
  TIELayerList& list = *Incoming;
  Integer target;
  if (Replace) {
    ClearLayers();
    target = 0;
  } else {
    target = AddLayer();
  }
  TIELayer* first = list.front().get();
  if ((first->PosX != 0 || first->PosY != 0) && Width > 0 && Height > 0) {
    // The document's canvas: nothing of it shows where no layer covers it.
    TIELayer* bg = Layers(target);
    bg->ResetProperties();
    TIEBitmap* b = bg->Bitmap;
    if (b->Allocate(Width, Height, ie24RGB)) {
      b->Fill(static_cast<double>(static_cast<Cardinal>(ColorToRGB(Background()))));
      b->GetAlphaChannel()->Fill(0);
      b->GetAlphaChannel()->SyncFull();
    }
    target = AddLayer();
  }
  for (size_t i = 0; i < list.size(); ++i) {
    if (i > 0) target = AddLayer();
    TIELayer* dst = Layers(target);
    TIELayer* src = list[i].get();
    // Pixels (alpha included), placement and properties; the view's layer
    // keeps its own identity.
    dst->Assign(src);
  }
  SetCurrentLayer(0);
  SyncLayers();
  Update();
  return true;
}

bool TZiduzUvView::CopyLayeredDocument(TIEBitmap* Merged, TIELayerListPtr& Out) {
  if (!Merged || LayersCount() == 0) return false;
  SyncLayers();
  Out = IENewLayerList();
  for (Integer i = 0; i < LayersCount(); ++i) {
    auto copy = std::make_unique<TIELayer>(nullptr, nullptr, false);
    copy->Assign(Layers(i));
    // Caller data stays with the view's layer.
    copy->UserData = nullptr;
    Out->push_back(std::move(copy));
  }
  Merged->FreeImage(true);
  RenderLayersTo(Merged);
  const TIEPixelFormat pf = Layers(0)->Bitmap->PixelFormat();
  if (!Merged->IsEmpty() && Merged->PixelFormat() != pf) Merged->ConvertToPixelFormat(pf);
  return !Merged->IsEmpty();
}

// ---------------------------------------------------------------------------
// The vector view: objects, layers and both

bool TZiduzUvVect::CanHoldLayered(TIEFileType Kind) const {
  return Kind == ieftIEV || Kind == ieftALL || TZiduzUvView::CanHoldLayered(Kind);
}

bool TZiduzUvVect::LoadLayeredStream(TStream* Stream, TIEFileType Kind) {
  if (!Stream) return false;
  if (Kind == ieftIEV) return LoadObjectsFromStream(Stream);
  if (Kind == ieftALL) return LoadAllFromStream(Stream);
  return TZiduzUvView::LoadLayeredStream(Stream, Kind);
}

void TZiduzUvVect::ShowObjectsOnly() {
  TRect r;
  GetObjectsExtent(r);
  TIEBitmap* b = GetIEBitmap();
  if (!b) return;
  if (r.Right > 0 && r.Bottom > 0 && (r.Right != b->Width() || r.Bottom != b->Height())) {
    const TIEPixelFormat pf = b->IsEmpty() ? ie24RGB : b->PixelFormat();
    if (!b->Allocate(r.Right, r.Bottom, pf)) return;
  }
  b->Fill(static_cast<double>(static_cast<Cardinal>(clWhite)));
  b->GetAlphaChannel()->Fill(0);
  b->GetAlphaChannel()->SyncFull();
  SyncLayers();
  Update();
}

// ---------------------------------------------------------------------------
// No suitable view attached

bool IERenderLayeredStream(TStream* Stream, TIEFileType Kind, TIEBitmap* Target) {
  if (!Stream || !Target || (Kind != ieftIEV && Kind != ieftLYR && Kind != ieftALL)) return false;
  // Never shown and without a window, so any thread may use it.
  TZiduzUvVect view(nullptr);
  view.SetLegacyBitmap(false);
  if (!view.LoadLayeredStream(Stream, Kind)) return false;
  if (Kind == ieftIEV) view.ShowObjectsOnly();
  if (Kind != ieftIEV) view.FlattenLayers();
  if (Kind != ieftLYR) view.DrawObjectsOntoImage(true);
  TIEBitmap* picture = view.GetIEBitmap();
  if (!picture) return false;
  Target->Assign(picture);
  return true;
}
