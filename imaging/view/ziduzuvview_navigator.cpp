// The navigator of the single-image view: a second view that shows the whole
// picture with a frame around the part the main view shows. Moving the frame
// scrolls the main view; the main view moves the frame whenever it changes.
#include "imaging/view/ziduzuvview.h"

void TZiduzUvView::SetExternalBitmap(TIEBitmap* Bitmap) {
  if (FCurrentLayer < 0 || FCurrentLayer >= LayersCount()) return;
  TIELayer* layer = FLayers[size_t(FCurrentLayer)].get();
  // Showing the picture the layer already holds must not free it first.
  if (Bitmap != nullptr && Bitmap == layer->Bitmap) return;
  if (layer->OwnsBitmap) delete layer->Bitmap;
  if (Bitmap) {
    layer->Bitmap = Bitmap;
    layer->OwnsBitmap = false;
  } else {
    // The outside picture is not freed; the layer gets an empty one of its own.
    layer->Bitmap = new TIEBitmap();
    layer->OwnsBitmap = true;
  }
  FIEBitmap = layer->Bitmap;
  CallBitmapChangeHandlers();
  // Also after giving the outside picture back: the layout must stop
  // describing a picture this view no longer holds.
  Update();
}

void TZiduzUvView::SetNavigator(TZiduzUvView* Value, Byte Options) {
  // A view cannot navigate itself: it would free the picture it is given.
  if (Value == this) return;
  if (TZiduzUvView* old = FNavigator) {
    FNavigator = nullptr;
    old->RemoveFreeNotification(this);
    old->OnSelectionChanging = nullptr;
    // The wheel handler calls into this view; it must not outlive the link.
    if (old->FNavigatorOptions & 1) old->OnMouseWheel = nullptr;
    old->FIsNavigator = false;
    old->FNavigatorFrame = TRect();
    old->SetExternalBitmap(nullptr);
  }
  FNavigator = Value;
  if (!Value) return;
  Value->FIsNavigator = true;
  Value->SetEnableAlphaChannel(FEnableAlphaChannel);
  Value->SetAutoFit(true);
  Value->SetMouseInteract(TIEMouseInteract{miSelect});
  Value->SetSelectionBase(iesbBitmap);
  Value->SetSelectionOptions(TIESelectionOptions{iesoMoveable, iesoCanScroll});
  Value->SetExternalBitmap(GetIEBitmap());
  Value->OnSelectionChanging = [this](TObject* Sender) { NavigatorSelectionChanging(Sender); };
  Value->FNavigatorOptions = Options;
  if (Options & 1)
    Value->OnMouseWheel = [this](TObject* Sender, TShiftState Shift, Integer WheelDelta, TPoint MousePos,
                                 bool& Handled) { NavigatorMouseWheel(Sender, Shift, WheelDelta, MousePos, Handled); };
  // The navigator tells this view when it goes.
  Value->FreeNotification(this);
  SyncNavigator();
}

void TZiduzUvView::UpdateNavigator() {
  if (!FNavigator || FNavigator->PaintLockCount() > 0) return;
  if (FUpdateReason == urNone) FNavigator->Update();
  SyncNavigator();
}

void TZiduzUvView::SyncNavigator() {
  if (!FNavigator || FNavigatorSyncing || FPaintLockCount > 0) return;
  FNavigatorSyncing = true;
  try {
    PaintNow();
    // The visible part of the picture, in image pixels.
    const Integer a = ClientToImageX(FOffsetX), b = ClientToImageY(FOffsetY);
    const Integer c = ClientToImageX(FOffsetX + FExtentX), d = ClientToImageY(FOffsetY + FExtentY);
    TZiduzUvView* nav = FNavigator;
    nav->FFixedSelectionWidth = c - a;
    nav->FFixedSelectionHeight = d - b;
    nav->FSelectionAspectRatio = 0;  // a frame of fixed size
    nav->FNavigatorFrame = TRect(a, b, c, d);
    if (nav->HandleAllocated()) nav->Invalidate();
  } catch (...) {
    FNavigatorSyncing = false;
    throw;
  }
  FNavigatorSyncing = false;
}

void TZiduzUvView::MoveNavigatorFrame(Integer X1, Integer Y1) {
  FNavigatorFrame = TRect(X1, Y1, X1 + FNavigatorFrame.Width(), Y1 + FNavigatorFrame.Height());
  if (HandleAllocated()) Invalidate();
  if (OnSelectionChanging) OnSelectionChanging(this);
}

void TZiduzUvView::NavigatorSelectionChanging(TObject*) {
  // While this view moves the frame itself, the frame's move is no request.
  if (!FNavigator || FNavigatorSyncing) return;
  FNavigatorSyncing = true;
  try {
    const TRect f = FNavigator->NavigatorFrame();
    SetViewOrigin(static_cast<Integer>(Round(f.Left * FZoomX / 100.0)),
                  static_cast<Integer>(Round(f.Top * FZoomY / 100.0)));
  } catch (...) {
    FNavigatorSyncing = false;
    throw;
  }
  FNavigatorSyncing = false;
}
