// The platform metafile: Windows metafiles (WMF, with or without the
// placeable header) and enhanced metafiles (EMF) loaded from bytes, sized in
// pixels at a fixed 96 dpi, and drawn stretched onto a picture. Drawing goes
// through a vector rendering of the records (libwmf or libemf2svg to SVG,
// then the SVG renderer), so whatever the records leave unpainted keeps the
// picture's pixels.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/base/types.h"

class TMetafile {
 public:
  // Pixels per inch of Width and Height.
  static constexpr int ScreenDpi = 96;

  // Takes the bytes of a metafile; false (and an empty metafile) when their
  // header is neither a Windows nor an enhanced metafile's.
  bool LoadFromBytes(std::vector<uint8_t> Data);
  bool LoadFromFile(const WideString& FileName);
  bool Empty() const { return FData.empty(); }
  bool Enhanced() const { return FEnhanced; }
  // The metafile's own size; 0 when its header gives none or an inverted one.
  int32_t Width() const { return FWidth; }
  int32_t Height() const { return FHeight; }

  // Draws the whole metafile stretched to Width x Height onto Rows: Height
  // rows of Width x 3 bytes (blue, green, red), the top row first, Stride
  // bytes apart. False when nothing could be drawn (pixels untouched).
  bool Draw(uint8_t* Rows, int32_t Width, int32_t Height, int64_t Stride) const;

 private:
  std::vector<uint8_t> FData;
  bool FEnhanced = false;
  int32_t FWidth = 0, FHeight = 0;
};
