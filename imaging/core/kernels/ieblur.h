// Gaussian blur of one-byte pictures (alpha channels, 8-bit gray) with
// integer weights, the 3x3 filter of gray pictures, and the soft shadow that
// blurs and offsets a drawn object's alpha channel and puts a shadow colour
// under the object.
#pragma once

#include <cstdint>

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/kernels/iefilters.h"
#include "imaging/core/base/ieutils.h"

// Taps -100..100 around the centre (index 100).
constexpr Integer IEGaussMaxHalfWidth = 100;
constexpr Integer IEGaussTapCount = 2 * IEGaussMaxHalfWidth + 1;

struct TIEGaussKernel {
  Byte HalfWidth = 1;                   // taps used: 100 - HalfWidth .. 100 + HalfWidth
  double Weights[IEGaussTapCount] = {};  // exp(-t^2/2), t = (i - 100) / radius
  int32_t IntWeights[IEGaussTapCount] = {};  // Weights scaled to sum to about 65536
};

// Fills the kernel for Radius (the standard deviation in pixels). The half
// width shrinks from 100 while both outer integer weights are 0, never below
// 1. A radius that is not positive gives the identity kernel (centre 65536).
void IEBuildGaussianKernel(TIEGaussKernel& Kernel, double Radius);
// Convolves Count bytes of Src into Dst (which must not overlap Src). Taps
// that fall before the row's start weigh on its first pixel, those after its
// end on its last: the end pixels repeat.
void IEConvolveRow8(const TIEGaussKernel& Kernel, const Byte* Src, Byte* Dst, Integer Count);
// Blurs the inclusive rectangle x1..x2, y1..y2 of an ie8g picture in place,
// rows first, then columns; the rectangle's own edges repeat outwards. The
// corners are limited to the picture; nothing for other formats, an empty
// rectangle or a radius <= 0.
void IEGaussianBlurRect8(TIEBitmap* Bitmap, Integer x1, Integer y1, Integer x2, Integer y2, double Radius);
// Applies Filter to the inclusive rectangle x1..x2, y1..y2 of an ie8g
// picture, each corner limited to the picture. Every result comes from the
// unfiltered neighbours (those outside the picture repeat its edge):
// IEClampByte(|sum| div divisor). Nothing for other formats.
void IEApplyFilter3x3Gray(TIEBitmap* Bitmap, const TIEFilter3x3& Filter, Integer x1, Integer y1, Integer x2,
                          Integer y2);
// Adds a soft shadow, offset by (OffsetX, OffsetY), to the object drawn in
// the rectangle Left..Right, Top..Bottom of an ie24RGB or ie1g picture whose
// alpha channel (made on demand) holds the object's shape. Radius 0 means a
// 3x3 box blur with the margin of radius 2. Intensity 0..100 scales the
// shadow's alpha from a third to all of the blurred alpha. Returns the margin
// around the rectangle that the shadow may have touched.
Integer IEAddSoftShadowRect(TIEBitmap* Bitmap, Integer OffsetX, Integer OffsetY, double Radius, Integer Intensity,
                            TRGB ShadowColor, Integer Left, Integer Top, Integer Right, Integer Bottom);
