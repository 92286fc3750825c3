// Enumerations and small pixel records shared by the picture container, the
// kernels and the codecs.
#pragma once

#include <cstdint>

#include "platform/base/types.h"
#include "platform/graphics/colors.h"  // TColor

// One of the ten pixel layouts a picture can have (ieNone: no picture).
enum TIEPixelFormat : Byte {
  ieNone = 0,
  ie1g = 1,      // 1 bit, leftmost pixel in the most significant bit, 1 = white
  ie8p = 2,      // palette index into 256 entries of blue, green, red
  ie8g = 3,      // gray 0..255; every alpha channel (255 = opaque)
  ie16g = 4,     // unsigned 16-bit gray
  ie24RGB = 5,   // bytes blue, green, red
  ie32f = 6,     // float gray, 0.0 black .. 1.0 white
  ieCMYK = 7,    // bytes C, M, Y, K, each inverted (255 = no ink)
  ieRGB48 = 8,   // words red, green, blue
  ieCIELab = 9,  // L* 0..255 for 0..100, a* and b* signed bytes
  ie32RGB = 10,  // bytes blue, green, red and a fourth byte
};

constexpr int IEPixelFormatCount = 11;

// Bits and samples per pixel, indexed by TIEPixelFormat.
inline constexpr Integer IEPixelFormatBitCountTable[IEPixelFormatCount] = {
    0, 1, 8, 8, 16, 24, 32, 32, 48, 24, 32};
inline constexpr Integer IEPixelFormatChannelCountTable[IEPixelFormatCount] = {
    0, 1, 1, 1, 1, 3, 1, 4, 3, 3, 4};

inline constexpr Integer IEPixelFormatBitCount(TIEPixelFormat PF) {
  return static_cast<unsigned>(PF) < IEPixelFormatCount ? IEPixelFormatBitCountTable[PF] : 0;
}
inline constexpr Integer IEPixelFormatChannelCount(TIEPixelFormat PF) {
  return static_cast<unsigned>(PF) < IEPixelFormatCount ? IEPixelFormatChannelCountTable[PF] : 0;
}
// Bytes per pixel of the byte-addressed formats (0 for ie1g and ieNone).
inline constexpr Integer IEPixelFormatByteCount(TIEPixelFormat PF) {
  return IEPixelFormatBitCount(PF) >= 8 ? IEPixelFormatBitCount(PF) / 8 : 0;
}

// Where a picture's pixels live. ieFile means "memory or temporary file,
// chosen by size" when allocating.
enum TIELocation : Byte { ieMemory = 0, ieFile = 1, ieTBitmap = 2 };

// Access bits of a bitmap: a file-backed picture reads rows in only with
// ieaRead and writes them back only with ieaWrite.
using TIEBitmapAccess = Byte;
constexpr TIEBitmapAccess ieaRead = 1;
constexpr TIEBitmapAccess ieaWrite = 2;

// Pixel records in storage order. Every one is packed so that an array of
// them overlays a row exactly. The ie24RGB triple TRGB is declared with the
// colour routines in imaging/core/base/ieutils.h.
// Resampling filter of scaled copies and zoomed drawing; rfNone is the
// nearest-neighbour stretch.
enum TResampleFilter : Byte {
  rfNone = 0,
  rfTriangle = 1,
  rfHermite = 2,
  rfBell = 3,
  rfBSpline = 4,
  rfLanczos3 = 5,
  rfMitchell = 6,
  rfNearest = 7,
  rfLinear = 8,
  rfFastLinear = 9,
  rfBilinear = 10,
  rfBicubic = 11,
  rfProjectBW = 12,
  rfProjectWB = 13,
};

#pragma pack(push, 1)
struct TRGBA {  // ie32RGB pixel
  Byte b, g, r, a;
};
struct TCMYK {  // ieCMYK pixel, each sample inverted (255 = no ink)
  Byte c, m, y, k;
};
struct TRGB48 {  // ieRGB48 pixel
  Word r, g, b;
};
struct TCIELab {  // ieCIELab pixel
  Byte l;
  int8_t a, b;
};
#pragma pack(pop)

static_assert(sizeof(TRGBA) == 4 && sizeof(TCMYK) == 4 &&
              sizeof(TRGB48) == 6 && sizeof(TCIELab) == 3);

