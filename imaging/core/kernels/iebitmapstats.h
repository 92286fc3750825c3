// Whole-picture statistics and channel routines: average colour, equality,
// histogram matching, channel reordering, the bounds of the opaque pixels,
// and the row converter between bit depths that the palette writers use.
#pragma once

#include <cstdint>
#include <string>

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/color/iequantizer.h"
#include "imaging/core/base/ieutils.h"
#include "imaging/core/base/ieprogress.h"
#include "platform/graphics/windef.h"  // TRect

// Pixels of row Y (any format) as colour triples into Out (Width entries):
// ie1g 255 or 0, ie8p its palette colour, ie16g and ieRGB48 the high bytes,
// ie32f the value times 255 (outside 0..1 clamped, NaN black), ieCMYK and
// ieCIELab converted.
void IEGetRowAsRGB(TIEBitmap* Bitmap, Integer Y, TRGB* Out);

// Average of each channel: per row the channel sums divided by the width,
// the row results summed and divided by the height. 128 for every channel
// when there is nothing to average or the scan fails.
void IECalcAverageRGB(TIEBitmap* Bitmap, Integer& R, Integer& G, Integer& B);

// True when both pictures have the same size, the same presence of an alpha
// channel, the same row length and identical row bytes (the padding after the
// last pixel included), alpha channels compared alike. Pixel formats are not
// compared: callers compare pictures of one format.
bool IEBitmapsEqual(TIEBitmap* A, TIEBitmap* B);

// Converts Width pixels of Src at SrcBits into Dst at DstBits (1, 4, 8, 24,
// from 32 as well); returns the destination byte count for 1, 4, 8 or 24
// bits, else 0. Packing destinations (1 from 8, 4 from 1 and 24) are combined
// into Dst, which the caller hands cleared; 8 into 1 takes each byte's lowest
// bit. Palette (for 24-bit destinations) and Quantizer (from 24 to 4 or 8)
// must be given where the pair needs them; pairs without a rule write nothing.
Integer IEConvertRowToIndexed(const void* Src, void* Dst, Integer SrcBits, Integer DstBits, Integer Width,
                              const TRGB* Palette, TIEQuantizer* Quantizer);

// Reshapes one channel (0 blue, 1 green, 2 red) of an ie24RGB or ieRGB48
// picture to the histogram RefCounts of RefPixelCount pixels: the channel is
// equalised, then mapped through the inverse of the reference's cumulative
// curve. Nothing for other formats, an empty picture or an empty reference.
void IEMatchChannelHistogram(TIEBitmap* Bitmap, Integer Channel, const int64_t (&RefCounts)[256],
                             int64_t RefPixelCount);
// Matches each colour channel of Bitmap to the ie24RGB Reference.
void IEMatchHistogram(TIEBitmap* Reference, TIEBitmap* Bitmap);

// Rearranges the channels of an ie24RGB or ieRGB48 picture: Order's first
// three characters (any case) name the sources of the new blue, green and
// red: 'B', 'G', 'R', or '0' for zero ("BGR" changes nothing, "RGB" swaps red
// and blue). An order that is shorter or holds another character changes
// nothing. After row r, OnProgress gets Trunc(r / height * 100).
void IEReorderChannels(TIEBitmap* Bitmap, const AnsiString& Order, const TIEProgressEvent& OnProgress,
                       TObject* Sender);

// Inclusive bounds of the pixels whose alpha is not 0; the whole picture
// without an alpha channel; (width, height, -1, -1) as left, top, right,
// bottom when every pixel is transparent.
void IEGetOpaqueBounds(TIEBitmap* Bitmap, TRect& Rect);
