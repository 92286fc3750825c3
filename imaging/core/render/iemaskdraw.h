// Drawing a selection mask onto a canvas or a 24-bit bitmap: the animated
// dashed outline, the shading of what lies outside the selection, and the
// inverting overlay of a 1-bit plane.
#pragma once

#include <vector>

#include "imaging/core/bitmap/iemask.h"
#include "platform/base/types.h"
#include "platform/graphics/colors.h"
#include "platform/graphics/windef.h"

class TCanvas;
class TBitmap;

// TIEMaskScaledBuffer, the scaled plane kept between repaints, comes with
// iemask.h; TIEMask's DrawOutline, DrawOuterArea and DrawInverted forward
// to these routines with the mask's own buffer.
//
// Outline and outer area scale the mask by nearest sample with exact integer
// arithmetic: destination pixel d shows source offset floor(d x DxSrc /
// DxDst) (and the same in y), the mapping under which the view shows the
// picture, so a selection lands on the pixels of its own columns and rows.

// The dashed outline of the selection: the part (XSrc, YSrc, DxSrc, DySrc)
// of the mask shown in (XDst, YDst, DxDst, DyDst) of Canvas. A pixel on the
// edge of the selection is Color2 where (x + y + Phase) mod 8 < 4, else
// Color1. DrawnRect, when given, receives the rectangle drawn.
void IEMaskDrawOutline(const TIEMask& Mask, TIEMaskScaledBuffer& Buffer, TCanvas* Canvas, Integer XDst,
                       Integer YDst, Integer DxDst, Integer DyDst, Integer XSrc, Integer YSrc, Integer DxSrc,
                       Integer DySrc, Integer Phase, TColor Color1, TColor Color2, TRect* DrawnRect);

// Shades the unselected pixels of a 24-bit Bitmap: Transparency -1 makes a
// one-pixel grey (97, 97, 97) checkerboard; 0..255 blends Color over them
// with weight Transparency / 255. Other bitmap formats are left alone.
void IEMaskDrawOuterArea(const TIEMask& Mask, TIEMaskScaledBuffer& Buffer, TBitmap* Bitmap, Integer XDst,
                         Integer YDst, Integer DxDst, Integer DyDst, Integer XSrc, Integer YSrc, Integer DxSrc,
                         Integer DySrc, Integer Transparency, TColor Color);

// Inverts the canvas under the selected pixels of a 1-bit mask, stretched
// from the source to the destination rectangle; drawing twice restores it.
void IEMaskDrawInverted(const TIEMask& Mask, TCanvas* Canvas, Integer XDst, Integer YDst, Integer DxDst,
                        Integer DyDst, Integer XSrc, Integer YSrc, Integer DxSrc, Integer DySrc);
