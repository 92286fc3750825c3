// Image lists: rows of equal-sized images with an optional transparency
// mask, behind a handle that several list objects may share, and the class
// library's image list over such a handle with change links.
#pragma once

#include <vector>

#include "platform/ui/controls.h"

struct _IMAGELIST;
using HIMAGELIST = _IMAGELIST*;

enum : UINT { ILC_MASK = 0x1, ILC_COLOR = 0x0, ILC_COLOR4 = 0x4, ILC_COLOR8 = 0x8, ILC_COLOR24 = 0x18, ILC_COLOR32 = 0x20 };
enum : UINT { ILD_NORMAL = 0x0, ILD_TRANSPARENT = 0x1, ILD_MASK = 0x10, ILD_IMAGE = 0x20 };

// A list of Width x Height images; with ILC_MASK each image has a mask.
HIMAGELIST ImageList_Create(Integer Width, Integer Height, UINT Flags, Integer Initial, Integer Grow);
BOOL ImageList_Destroy(HIMAGELIST List);
// -1 for a handle that is not a list.
Integer ImageList_GetImageCount(HIMAGELIST List);
BOOL ImageList_GetIconSize(HIMAGELIST List, Integer* Width, Integer* Height);
// A new size empties the list.
BOOL ImageList_SetIconSize(HIMAGELIST List, Integer Width, Integer Height);
// Adds the images of a strip: as many whole images as its width holds (a
// trailing part narrower than an image is ignored). Mask: white is
// transparent. Answers the first new index, or -1 (no list, no strip, a
// strip narrower than one image or of another height than the list).
Integer ImageList_Add(HIMAGELIST List, HBITMAP Image, HBITMAP Mask);
// As ImageList_Add, pixels of the colour MaskColor being transparent.
Integer ImageList_AddMasked(HIMAGELIST List, HBITMAP Image, COLORREF MaskColor);
// Puts one image (the strip's first) in place of image Index.
BOOL ImageList_Replace(HIMAGELIST List, Integer Index, HBITMAP Image, HBITMAP Mask);
// Removes image Index, or every image for -1.
BOOL ImageList_Remove(HIMAGELIST List, Integer Index);
// The colour drawn behind the transparent pixels (CLR_NONE: they show what is beneath).
COLORREF ImageList_SetBkColor(HIMAGELIST List, COLORREF Color);
COLORREF ImageList_GetBkColor(HIMAGELIST List);
// Draws image Index at (X, Y). Background: CLR_NONE or ILD_TRANSPARENT
// leave transparent pixels alone, CLR_DEFAULT uses the list's colour, any
// other colour fills them. ILD_MASK draws the mask (black where the image is).
// Width and Height of 0 mean the image's own size; a smaller size crops.
BOOL ImageList_DrawEx(HIMAGELIST List, Integer Index, HDC DC, Integer X, Integer Y, Integer Width, Integer Height,
                      COLORREF Bk, COLORREF Fg, UINT Style);
BOOL ImageList_Draw(HIMAGELIST List, Integer Index, HDC DC, Integer X, Integer Y, UINT Style);

class TCustomImageList;

// Tells its owner when a list it is registered with changes.
class TChangeLink : public TObject {
 public:
  TChangeLink() = default;
  ~TChangeLink() override;
  TCustomImageList* Sender() const { return FSender; }
  void SetSender(TCustomImageList* Value) { FSender = Value; }
  virtual void Change();
  TNotifyEvent OnChange;

 private:
  TCustomImageList* FSender = nullptr;
};

class TCustomImageList : public TComponent {
 public:
  explicit TCustomImageList(TComponent* AOwner);
  TCustomImageList(Integer AWidth, Integer AHeight, TComponent* AOwner);
  ~TCustomImageList() override;

  Integer Width() const { return FWidth; }
  Integer Height() const { return FHeight; }
  // A new size empties the list.
  void SetWidth(Integer Value) { SetSize(Value, FHeight); }
  void SetHeight(Integer Value) { SetSize(FWidth, Value); }
  void SetSize(Integer AWidth, Integer AHeight);
  bool Masked() const { return FMasked; }
  void SetMasked(bool Value);
  TColor BkColor() const { return FBkColor; }
  void SetBkColor(TColor Value);
  Integer Count() const;

  // The first new index, or -1; see ImageList_Add and ImageList_AddMasked.
  Integer Add(TBitmap* Image, TBitmap* Mask);
  Integer AddMasked(TBitmap* Image, TColor MaskColor);
  void Replace(Integer Index, TBitmap* Image, TBitmap* Mask);
  void Delete(Integer Index);
  void Clear();
  // Copies image Index into Image (24 bits, transparent pixels in the background colour or black).
  bool GetBitmap(Integer Index, TBitmap* Image);
  // Draws image Index transparently; a disabled image is drawn as its
  // shape, in the highlight colour one pixel down and right and in the
  // shadow colour over it.
  void Draw(TCanvas* Canvas, Integer X, Integer Y, Integer Index, bool Enabled = true);

  // The list's handle, made on first use. Lists given the same handle share
  // its images; with ShareImages the handle outlives this object.
  HIMAGELIST Handle();
  void SetHandle(HIMAGELIST Value);
  bool HandleAllocated() const { return FHandle != nullptr; }
  bool ShareImages() const { return FShareImages; }
  void SetShareImages(bool Value) { FShareImages = Value; }

  // OnChange and the links run once per change, or once at the end of an
  // update bracket in which anything changed.
  void BeginUpdate();
  void EndUpdate();
  void RegisterChanges(TChangeLink* Link);
  void UnRegisterChanges(TChangeLink* Link);
  TNotifyEvent OnChange;

 protected:
  virtual void Change();

 private:
  void FreeHandle();
  HIMAGELIST FHandle = nullptr;
  Integer FWidth = 16, FHeight = 16;
  bool FMasked = true;
  bool FShareImages = false;
  TColor FBkColor = clNone;
  Integer FUpdateCount = 0;
  bool FChanged = false;
  std::vector<TChangeLink*> FLinks;
};

class TImageList : public TCustomImageList {
 public:
  using TCustomImageList::TCustomImageList;
};
