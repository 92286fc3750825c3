// The processing companion's attachment to a view.
#include "imaging/proc/ziduzuvproc.h"

namespace {

TZiduzUvProc* CreateViewProc(TIEView* View) {
  auto* p = new TZiduzUvProc(View);
  p->SetAttachedZiduzUv(View);
  return p;
}

}  // namespace

const TIEViewProcLink IEViewProcLink{
    &CreateViewProc,
    [](TZiduzUvProc* Proc, const TIEProgressEvent& Event) { Proc->OnProgress = Event; },
    [](TZiduzUvProc* Proc, const TNotifyEvent& Event) { Proc->OnFinishWork = Event; },
    [](TZiduzUvProc* Proc, const TIESaveUndoEvent& Event) { Proc->OnSaveUndo = Event; },
    [](TZiduzUvProc* Proc) { delete Proc; },
};

TZiduzUvProc::TZiduzUvProc(TComponent* AOwner) : TComponent(AOwner), FAutoUndo(AOwner != nullptr) { UseOwnBitmap(); }

TZiduzUvProc::~TZiduzUvProc() { ForgetView(true); }

void TZiduzUvProc::UseOwnBitmap() {
  if (!FOwnBitmap) FOwnBitmap = std::make_unique<TIEBitmap>();
  FIEBitmap = FOwnBitmap.get();
}

void TZiduzUvProc::ForgetView(bool ViewAlive) {
  if (FView && ViewAlive) {
    if (FHandlerHandle >= 0) FView->RemoveBitmapChangeHandler(FHandlerHandle);
    RemoveFreeNotification(FView);
  }
  FHandlerHandle = -1;
  FView = nullptr;
}

void TZiduzUvProc::SetAttachedZiduzUv(TIEView* View) {
  if (View == FView) return;
  ForgetView(true);
  if (View == nullptr) {
    UseOwnBitmap();
    return;
  }
  FView = View;
  FreeNotification(View);
  TIEBitmap* b = View->GetIEBitmap();
  if (b) {
    FIEBitmap = b;
  } else {
    UseOwnBitmap();
  }
  FHandlerHandle =
      View->AddBitmapChangeHandler([this](TObject* Sender, bool Destroying) { BitmapChanged(Sender, Destroying); });
}

void TZiduzUvProc::SetAttachedIEBitmap(TIEBitmap* Bitmap) {
  if (Bitmap == nullptr) {
    if (FView) return;
    UseOwnBitmap();
    return;
  }
  ForgetView(true);
  FIEBitmap = Bitmap;
}

void TZiduzUvProc::BitmapChanged(TObject*, bool Destroying) {
  if (!FView) return;
  if (Destroying) {
    // The view is inside its destructor: forget it, call nothing on it.
    ForgetView(false);
    UseOwnBitmap();
    return;
  }
  if (TIEBitmap* b = FView->GetIEBitmap()) FIEBitmap = b;
}

void TZiduzUvProc::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent != nullptr && AComponent == FView) {
    ForgetView(false);
    UseOwnBitmap();
  }
}
