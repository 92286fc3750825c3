// The image list of toolbar and menu items: besides its own images it can
// hand the drawing of checked, disabled and hot (selected) items to
// companion lists, and it can take all its images from one strip bitmap.
#pragma once

#include "platform/graphics/bitmap.h"
#include "platform/ui/imglist.h"

class TTBCustomImageList : public TImageList {
 public:
  explicit TTBCustomImageList(TComponent* AOwner);
  ~TTBCustomImageList() override;

  // Draws image Index for an item in the given state, through the first
  // companion list that applies (disabled, then checked, then hot), else
  // through this list.
  virtual void DrawState(TCanvas* Canvas, Integer X, Integer Y, Integer Index, bool Enabled, bool Selected,
                         bool Checked);

  TCustomImageList* CheckedImages() const { return FCheckedImages; }
  void SetCheckedImages(TCustomImageList* Value) { SetImageList(FCheckedImages, FCheckedChangeLink, Value); }
  TCustomImageList* DisabledImages() const { return FDisabledImages; }
  void SetDisabledImages(TCustomImageList* Value) { SetImageList(FDisabledImages, FDisabledChangeLink, Value); }
  TCustomImageList* HotImages() const { return FHotImages; }
  void SetHotImages(TCustomImageList* Value) { SetImageList(FHotImages, FHotChangeLink, Value); }

  // The strip all images come from; an empty strip leaves the images alone.
  TBitmap* ImagesBitmap() const { return FImagesBitmap; }
  void SetImagesBitmap(TBitmap* Value);
  TColor ImagesBitmapMaskColor() const { return FImagesBitmapMaskColor; }
  void SetImagesBitmapMaskColor(TColor Value);

  // Whether the list's own image data goes to a form file: not when the
  // strip, which is stored as a property, holds the images.
  bool ImageDataStored(bool Writing) const { return !Writing || FImagesBitmap->Empty(); }

  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  void SetImageList(TCustomImageList*& Field, TChangeLink* Link, TCustomImageList* Value);
  void ImagesBitmapChanged();

  TCustomImageList* FCheckedImages = nullptr;
  TChangeLink* FCheckedChangeLink;
  TCustomImageList* FDisabledImages = nullptr;
  TChangeLink* FDisabledChangeLink;
  TCustomImageList* FHotImages = nullptr;
  TChangeLink* FHotChangeLink;
  TBitmap* FImagesBitmap;
  TColor FImagesBitmapMaskColor = clFuchsia;
};

class TTBImageList : public TTBCustomImageList {
 public:
  using TTBCustomImageList::TTBCustomImageList;
};
