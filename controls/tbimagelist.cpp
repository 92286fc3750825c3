// The toolbar image list and its state drawing.
#include "controls/tbimagelist.h"

TTBCustomImageList::TTBCustomImageList(TComponent* AOwner)
    : TImageList(AOwner),
      FCheckedChangeLink(new TChangeLink),
      FDisabledChangeLink(new TChangeLink),
      FHotChangeLink(new TChangeLink),
      FImagesBitmap(new TBitmap) {
  // A companion's change repaints every item that uses this list.
  const TNotifyEvent Relay = [this](TObject*) { Change(); };
  FCheckedChangeLink->OnChange = Relay;
  FDisabledChangeLink->OnChange = Relay;
  FHotChangeLink->OnChange = Relay;
  FImagesBitmap->OnChange = [this](TObject*) { ImagesBitmapChanged(); };
}

TTBCustomImageList::~TTBCustomImageList() {
  delete FImagesBitmap;
  delete FHotChangeLink;
  delete FDisabledChangeLink;
  delete FCheckedChangeLink;
}

void TTBCustomImageList::DrawState(TCanvas* Canvas, Integer X, Integer Y, Integer Index, bool Enabled,
                                   bool Selected, bool Checked) {
  if (!Enabled && FDisabledImages)
    FDisabledImages->Draw(Canvas, X, Y, Index, true);
  else if (Checked && FCheckedImages)
    FCheckedImages->Draw(Canvas, X, Y, Index, Enabled);
  else if (Selected && FHotImages)
    FHotImages->Draw(Canvas, X, Y, Index, Enabled);
  else
    Draw(Canvas, X, Y, Index, Enabled);
}

void TTBCustomImageList::SetImageList(TCustomImageList*& Field, TChangeLink* Link, TCustomImageList* Value) {
  if (Value == this) Value = nullptr;
  if (Field == Value) return;
  // A list that is going away has already let go of the link.
  if (Field && Link->Sender() == Field) Field->UnRegisterChanges(Link);
  Field = Value;
  if (Value) {
    Value->RegisterChanges(Link);
    Value->FreeNotification(this);
  }
  if (!ComponentState().Contains(csLoading) && !ComponentState().Contains(csDestroying)) Change();
}

void TTBCustomImageList::SetImagesBitmap(TBitmap* Value) { FImagesBitmap->Assign(Value); }

void TTBCustomImageList::SetImagesBitmapMaskColor(TColor Value) {
  if (FImagesBitmapMaskColor == Value) return;
  FImagesBitmapMaskColor = Value;
  ImagesBitmapChanged();
}

void TTBCustomImageList::ImagesBitmapChanged() {
  if (FImagesBitmap->Empty()) return;
  BeginUpdate();
  Clear();
  AddMasked(FImagesBitmap, FImagesBitmapMaskColor);
  EndUpdate();
}

void TTBCustomImageList::Notification(TComponent* AComponent, TOperation Operation) {
  TImageList::Notification(AComponent, Operation);
  if (Operation != opRemove) return;
  if (AComponent == FCheckedImages) SetCheckedImages(nullptr);
  if (AComponent == FDisabledImages) SetDisabledImages(nullptr);
  if (AComponent == FHotImages) SetHotImages(nullptr);
}
