// Icons: one image of an icon file held as a colour bitmap and a 1-bit mask
// (1 where the icon is transparent, the colour black there), drawn through
// the mask so the canvas shows where the icon does not paint.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/graphics/bitmap.h"

struct TIconImage;

struct ICONINFO {
  BOOL fIcon = TRUE;
  DWORD xHotspot = 0;
  DWORD yHotspot = 0;
  HBITMAP hbmMask = nullptr;
  HBITMAP hbmColor = nullptr;
};

// Copies of the icon's mask (1 bit per pixel) and colour bitmaps; the caller
// deletes both. FALSE for a handle that is no live icon.
BOOL GetIconInfo(HICON Icon, ICONINFO* Info);

class TIcon : public TGraphic {
 public:
  TIcon();
  ~TIcon() override;
  static TGraphic* Create();
  TGraphicClass ClassType() const override { return &TIcon::Create; }
  void Assign(TPersistent* Source) override;
  void Draw(TCanvas* ACanvas, const TRect& Rect) override;
  bool Empty() const override { return FImage == nullptr; }
  Integer Width() const override;
  Integer Height() const override;
  // An icon keeps the size of its image: EInvalidGraphicOperation "Cannot
  // change the size of an icon".
  void SetWidth(Integer Value) override;
  void SetHeight(Integer Value) override;
  // Reads an icon file (the first image of it); EInvalidGraphic "Invalid
  // icon" when the bytes are no icon the reader can decode.
  void LoadFromStream(TStream* Stream) override;
  // Writes the icon file it was loaded from.
  void SaveToStream(TStream* Stream) override;
  // Valid while the icon holds its image; nullptr when empty.
  HICON Handle() const;

 private:
  std::unique_ptr<TIconImage> FImage;
  std::vector<uint8_t> FData;
};
