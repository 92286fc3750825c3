// Layered content through the I/O companion: PSD documents whose layers go
// to the attached view, and the layers and vector object files, which an
// attached view that can hold them receives and an off-screen view
// otherwise draws into the picture. The view is called on the main thread
// only; a worker hands layers over through the main-thread queue.
#include "imaging/core/base/iestreams.h"
#include "imaging/io/ienativecodecs.h"
#include "imaging/io/ziduzuvio.h"
#include "platform/base/threads.h"

// ---------------------------------------------------------------------------
// PSD

bool TZiduzUvIO::ReadPSD(TStream* Src, TIEProgressRec& Rec) {
  TIEBitmap* target = IEBitmap();
  TIEViewContract* view = FView;
  if (!FParams->PSD_LOADLAYERS || !view || !view->CanHoldLayered(ieftPSD)) {
    target->RemoveAlphaChannel(false, clWhite);
    IERunReader(IEGetBuiltInCodec(ieftPSD).Read, Src, target, *FParams, Rec, false);
    return false;
  }
  // The view's picture is only overwritten when the document has no layers
  // to give it: a load that adds layers keeps what the view shows.
  TIEBitmap merged;
  TIELayerListPtr layers = IENewLayerList();
  try {
    IEReadPSDLayers(Src, &merged, *FParams, Rec, layers.get());
  } catch (...) {
    LogFailure(IECurrentExceptionText());
    Rec.Abort();
  }
  if (Aborting()) return false;
  if (IELayerListCount(layers.get()) == 0) {
    target->RemoveAlphaChannel(false, clWhite);
    merged.MoveStorageTo(target);
    return false;
  }
  DeliverLayers(std::move(layers), FParams->PSD_REPLACELAYERS, FParams->WIDTH, FParams->HEIGHT);
  return true;
}

void TZiduzUvIO::DeliverLayers(TIELayerListPtr Layers, bool Replace, Integer Width, Integer Height) {
  if (TPrivateDecode* d = ActivePrivateDecode()) {
    // The worker's picture holds nothing for the view; the layers travel
    // instead, ahead of the finish event, to the view the load was for.
    d->FPublish = false;
    TIEViewContract* expected = FView;
    std::shared_ptr<TIEViewHandover> h = FHandover;
    auto parcel = std::make_shared<TIELayerListPtr>(std::move(Layers));
    TThread::Queue(nullptr, [h, expected, parcel, Replace, Width, Height] {
      TIEViewContract* view;
      {
        std::lock_guard lock(h->Lock);
        view = h->View;
      }
      if (!view || view != expected) return;
      if (view->TakeLayers(std::move(*parcel), Replace, Width, Height)) view->ImageChange();
    });
    return;
  }
  if (!FView->TakeLayers(std::move(Layers), Replace, Width, Height)) SetAborting(true);
}

std::shared_ptr<TZiduzUvIO::TIELayeredDocument> TZiduzUvIO::LayeredDocumentOfView() {
  if (!FView) return nullptr;
  auto doc = std::make_shared<TIELayeredDocument>();
  if (!FView->CopyLayeredDocument(&doc->Merged, doc->Layers)) return nullptr;
  return doc;
}

// ---------------------------------------------------------------------------
// Layers and vector object files

void TZiduzUvIO::LoadFromFileLayered(const WideString& FileName, TIEFileType FileType) {
  std::lock_guard op(FOperationLock);
  TIEViewContract* view = FView;
  if (!view || !view->CanHoldLayered(FileType) || !IsMainThread()) {
    LoadLayeredFlattened(FileName, FileType);
    return;
  }
  // The view's loaders read everything before they change anything: a file
  // that does not read whole leaves the view as it was.
  bool loaded = false;
  try {
    TIEWideFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
    loaded = view->LoadLayeredStream(&file, FileType);
  } catch (...) {
    LogFailure(IECurrentExceptionText());
  }
  if (loaded && FileType == ieftIEV) view->ShowObjectsOnly();
  if (!loaded) LogFailure(W("\"") + FileName + W("\": the view could not read it"));
  SetAborting(!loaded);
  FParams->FILETYPE = FileType;
}

void TZiduzUvIO::LoadFromStreamLayered(TStream* Stream, TIEFileType FileType) {
  std::lock_guard op(FOperationLock);
  TIEViewContract* view = FView;
  bool loaded = false;
  if (Stream && view && view->CanHoldLayered(FileType) && IsMainThread()) {
    try {
      loaded = view->LoadLayeredStream(Stream, FileType);
    } catch (...) {
      LogFailure(IECurrentExceptionText());
    }
  } else {
    LogFailure(W("the stream: no attached view can hold its layers or objects"));
  }
  // Nothing loaded is a failure, never a silent success.
  SetAborting(!loaded);
  FParams->FILETYPE = FileType;
}

void TZiduzUvIO::LoadLayeredFlattened(const WideString& FileName, TIEFileType FileType) {
  if (HandOver([this, FileName, FileType] {
        std::lock_guard op(FOperationLock);
        LoadLayeredFlattened(FileName, FileType);
      }))
    return;
  TPrivateDecode decode(*this);
  SetAborting(true);
  try {
    if (PrepareBitmap()) {
      TIEWideFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
      TIEBitmap picture;
      if (IERenderLayeredStream(&file, FileType, &picture)) {
        IEBitmap()->Assign(&picture);
        SetAborting(false);
      } else {
        LogFailure(W("\"") + FileName + W("\": not a readable layered file"));
      }
      FParams->FILETYPE = FileType;
      UpdateAttachedView();
    }
  } catch (...) {
    SetAborting(true);
    DoFinishWork();
    throw;
  }
  DoFinishWork();
}
