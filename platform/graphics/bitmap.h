// The class library's bitmap: a bottom-up DIB section with scan lines,
// pixel formats, a colour table and a canvas. Row y of ScanLine is the y-th
// row from the top; rows are padded to 4 bytes and stored bottom-up, as in a
// DIB. 24-bit pixels are B, G, R; 32-bit ones B, G, R and a fourth byte.
#pragma once

#include <memory>

#include "platform/graphics/graphic.h"

enum TPixelFormat : Byte { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };
enum TBitmapHandleType : Byte { bmDIB, bmDDB };
enum TTransparentMode : Byte { tmAuto, tmFixed };

class TBitmapCanvas;

class TBitmap : public TGraphic {
 public:
  TBitmap();
  ~TBitmap() override;
  static TGraphic* Create();
  TGraphicClass ClassType() const override { return &TBitmap::Create; }

  // Copies another bitmap (pixels, format, colour table, transparency) or
  // draws another graphic into a 24-bit bitmap of its size.
  void Assign(TPersistent* Source) override;
  void Draw(TCanvas* ACanvas, const TRect& Rect) override;
  bool Empty() const override { return FHandle == nullptr; }
  Integer Width() const override;
  Integer Height() const override;
  // Size changes keep the pixels that still fit; new pixels are white.
  void SetWidth(Integer Value) override { SetSize(Value, Height()); }
  void SetHeight(Integer Value) override { SetSize(Width(), Value); }
  void SetSize(Integer AWidth, Integer AHeight);
  void LoadFromStream(TStream* Stream) override;
  // Writes a BMP file (BITMAPFILEHEADER, BITMAPINFOHEADER, colour table, rows).
  void SaveToStream(TStream* Stream) override;

  TPixelFormat PixelFormat() const { return FPixelFormat; }
  // Converts the pixels into the new layout (colours to the nearest entry of
  // the new colour table). pfCustom cannot be set (EInvalidGraphic).
  void SetPixelFormat(TPixelFormat Value);
  // Address of row Row (0 = top); EInvalidGraphicOperation "Scan line index out of range".
  void* ScanLine(Integer Row);
  TCanvas* Canvas();

  HBITMAP Handle();
  // Adopts a bitmap made elsewhere; the TBitmap frees it.
  void SetHandle(HBITMAP Value);
  // Gives the handle away; the bitmap becomes empty.
  HBITMAP ReleaseHandle();
  bool HandleAllocated() const { return FHandle != nullptr; }
  // A palette for up to 8 bits per pixel whose entries read and write the
  // colour table; owned by the bitmap.
  HPALETTE Palette() override;
  // Copies the entries of Value into the colour table and frees Value.
  void SetPalette(HPALETTE Value) override;
  // Number of colour-table entries and access to them (up to 8 bits per pixel).
  Integer ColorTableSize() const;
  RGBQUAD ColorTableEntry(Integer Index) const;
  void SetColorTableEntry(Integer Index, RGBQUAD Value);
  bool Monochrome() const;
  void SetMonochrome(bool Value);
  TBitmapHandleType HandleType() const { return FHandleType; }
  void SetHandleType(TBitmapHandleType Value) { FHandleType = Value; }
  void Dormant() {}
  void FreeImage() {}
  TColor TransparentColor();
  void SetTransparentColor(TColor Value);
  TTransparentMode TransparentMode() const { return FTransparentMode; }
  void SetTransparentMode(TTransparentMode Value) { FTransparentMode = Value; }

 private:
  friend class TBitmapCanvas;
  void Replace(HBITMAP NewHandle);
  HBITMAP NewDIB(Integer AWidth, Integer AHeight, TPixelFormat Format, const std::vector<RGBQUAD>* Colors);
  std::vector<RGBQUAD> CurrentColors() const;

  HBITMAP FHandle = nullptr;
  TPixelFormat FPixelFormat = pfDevice;
  TBitmapHandleType FHandleType = bmDIB;
  std::unique_ptr<TBitmapCanvas> FCanvas;
  HPALETTE FPalette = nullptr;
  TColor FTransparentColor = clDefault;
  TTransparentMode FTransparentMode = tmAuto;
};

// The canvas of a bitmap: a memory DC with the bitmap selected.
class TBitmapCanvas : public TCanvas {
 public:
  explicit TBitmapCanvas(TBitmap* Bitmap) : FBitmap(Bitmap) {}
  ~TBitmapCanvas() override;
  // Deletes the DC (the bitmap is about to change); the next call makes a new one.
  void FreeContext();

 protected:
  void CreateHandle() override;

 private:
  TBitmap* FBitmap;
  HDC FDC = nullptr;
  HGDIOBJ FOldBitmap = nullptr;
};
