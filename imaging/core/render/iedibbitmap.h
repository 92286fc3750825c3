// A bottom-up platform DIB section selected into its own memory drawing
// context, so that platform drawing lands directly in pixels read through the
// TIEBaseBitmap row interface. 1 or 24 bits per pixel.
#pragma once

#include "imaging/core/bitmap/iebitmap.h"
#include "platform/graphics/gdi.h"

class TIEDibbitmap : public TIEBaseBitmap {
 public:
  TIEDibbitmap();
  ~TIEDibbitmap() override;
  TIEDibbitmap(const TIEDibbitmap&) = delete;
  TIEDibbitmap& operator=(const TIEDibbitmap&) = delete;

  // No range check.
  void* GetScanline(Integer Row) override { return FBits + FRowLen * (FHeight - Row - 1); }
  Integer GetBitCount() override { return FBitCount; }
  Integer GetHeight() override { return FHeight; }
  Integer GetWidth() override { return FWidth; }
  TIEPixelFormat GetPixelFormat() override;
  Integer GetRowLen() override { return FRowLen; }
  TRGB* GetPaletteBuffer() override { return nullptr; }
  void GetPaletteColor(Integer, TRGB& Color) override { Color = TRGB{0, 0, 0}; }
  void SetPaletteColor(Integer, const TRGB&) override {}
  Integer GetPaletteLength() override { return 0; }
  // ie1g or ie24RGB; any other format gives false.
  bool Allocate(Integer Width, Integer Height, TIEPixelFormat PixelFormat) override;
  // Copies another TIEDibbitmap; other sources do nothing.
  void Assign(TObject* Source) override;
  void CopyPaletteTo(TObject*) override {}

  // False for a zero size (the bitmap is kept) or when the context or DIB
  // cannot be made (the bitmap is then empty).
  bool AllocateBits(Integer Width, Integer Height, Integer BitCount);
  void FreeBits();

  HDC DC() const { return FDC; }
  HBITMAP DIB() const { return FDIB; }
  Byte* Bits() const { return FBits; }

 private:
  Integer FWidth = 0;
  Integer FHeight = 0;
  Integer FBitCount = 0;
  Integer FRowLen = 0;
  HDC FDC = nullptr;
  HBITMAP FDIB = nullptr;
  Byte* FBits = nullptr;
  struct {
    BITMAPINFOHEADER Header;
    RGBQUAD Colors[2];
  } FInfo;
};
