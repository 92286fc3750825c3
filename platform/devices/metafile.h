// The platform metafile: Windows metafiles (WMF, with or without the
// placeable header) and enhanced metafiles (EMF) loaded from bytes, sized in
// pixels at a fixed 96 dpi, and drawn stretched onto a picture. Drawing goes
// through a vector rendering of the records (libwmf or libemf2svg to SVG,
// then the SVG renderer), so whatever the records leave unpainted keeps the
// picture's pixels. As a graphic it draws onto any canvas, over what the
// canvas already shows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/base/types.h"
#include "platform/graphics/graphic.h"

class TMetafile : public TGraphic {
 public:
  static TGraphic* Create();
  TGraphicClass ClassType() const override { return &TMetafile::Create; }
  // Copies another metafile's bytes and size.
  void Assign(TPersistent* Source) override;

  // Pixels per inch of Width and Height.
  static constexpr int ScreenDpi = 96;

  // Takes the bytes of a metafile; false (and an empty metafile) when their
  // header is neither a Windows nor an enhanced metafile's.
  bool LoadFromBytes(std::vector<uint8_t> Data);
  // Reads a whole file; false (and an empty metafile) when it cannot be read
  // or is no metafile.
  bool LoadMetafile(const WideString& FileName);
  // EInvalidGraphic "Invalid metafile" when the bytes are no metafile.
  void LoadFromStream(TStream* Stream) override;
  void SaveToStream(TStream* Stream) override;
  bool Empty() const override { return FData.empty(); }
  bool Enhanced() const { return FEnhanced; }
  // The metafile's own size; 0 when its header gives none or an inverted one.
  int32_t Width() const override { return FWidth; }
  int32_t Height() const override { return FHeight; }
  // The size the metafile is drawn at by Draw(Canvas, X, Y).
  void SetWidth(Integer Value) override;
  void SetHeight(Integer Value) override;
  // Draws stretched into Rect of the canvas; EInvalidGraphic "Metafile cannot
  // be drawn" when the records cannot be rendered.
  void Draw(TCanvas* ACanvas, const TRect& Rect) override;

  // Draws the whole metafile stretched to Width x Height onto Rows: Height
  // rows of Width x 3 bytes (blue, green, red), the top row first, Stride
  // bytes apart. False when nothing could be drawn (pixels untouched).
  bool Draw(uint8_t* Rows, int32_t Width, int32_t Height, int64_t Stride) const;

 private:
  std::vector<uint8_t> FData;
  bool FEnhanced = false;
  int32_t FWidth = 0, FHeight = 0;
};
