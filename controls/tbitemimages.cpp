// The image lists an item shows its image from, and how a viewer finds the
// list that applies to it.
#include "controls/tbview.h"
#include "platform/ui/imglist.h"

// A change link that remembers the image size of its list, so that a change
// of the list tells whether the items must be measured again.
class TTBImageChangeLink : public TChangeLink {
 public:
  Integer LastWidth = -1, LastHeight = -1;
};

bool TTBCustomItem::ChangeImages(TCustomImageList*& Field, TTBImageChangeLink*& Link, TCustomImageList* Value) {
  Integer OldWidth = -1, OldHeight = -1;
  bool Result = false;
  if (Field) {
    // A list that is going away has already let go of the link and may be
    // half destroyed: it is not called then.
    if (Link && Link->Sender() == Field) {
      OldWidth = Field->Width();
      OldHeight = Field->Height();
      Field->UnRegisterChanges(Link);
    } else if (Link) {
      OldWidth = Link->LastWidth;
      OldHeight = Link->LastHeight;
    }
    if (!Value) {
      delete Link;
      Link = nullptr;
      Result = true;
    }
  }
  Field = Value;
  if (!Value) return Result;
  Result = Value->Width() != OldWidth || Value->Height() != OldHeight;
  if (!Link) {
    Link = new TTBImageChangeLink;
    TTBImageChangeLink* L = Link;
    Link->OnChange = [this, L](TObject*) { ImageListChanged(L); };
  }
  Link->LastWidth = Value->Width();
  Link->LastHeight = Value->Height();
  Value->RegisterChanges(Link);
  Value->FreeNotification(this);
  return Result;
}

void TTBCustomItem::SetImages(TCustomImageList* Value) {
  if (FImages == Value) return;
  Changed(ChangeImages(FImages, FImagesChangeLink, Value));
}

void TTBCustomItem::SetSubMenuImages(TCustomImageList* Value) {
  if (FSubMenuImages == Value) return;
  ChangeImages(FSubMenuImages, FSubMenuImagesChangeLink, Value);
  BroadcastChange(icSubmenuImagesChanged, -1, nullptr);
}

void TTBCustomItem::ImageListChanged(TTBImageChangeLink* Link) {
  TCustomImageList* List = Link->Sender();
  if (!List) return;
  const bool SizeChanged = List->Width() != Link->LastWidth || List->Height() != Link->LastHeight;
  Link->LastWidth = List->Width();
  Link->LastHeight = List->Height();
  if (Link == FSubMenuImagesChangeLink)
    BroadcastChange(icSubmenuImagesChanged, -1, nullptr);
  else if (Link == FImagesChangeLink)
    Changed(SizeChanged);
}

TCustomImageList* TTBItemViewer::ImageList() const {
  if (FItem->Images()) return FItem->Images();
  for (TTBView* V = FView; V; V = V->ParentView()) {
    if (TTBCustomItem* S = V->SourceItem(); S && S->SubMenuImages()) return S->SubMenuImages();
    if (TTBCustomItem* P = V->ParentItem(); P && P->SubMenuImages()) return P->SubMenuImages();
  }
  return nullptr;
}
