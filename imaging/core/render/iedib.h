// Packed DIBs (header, colour table and rows in one block) to and from
// TIEBitmap. A packed DIB may come from another process (the clipboard), so
// the reader checks every header field against the block length.
#pragma once

#include <cstddef>

#include "imaging/core/bitmap/iebitmap.h"
#include "platform/graphics/globalmem.h"

// A new moveable block holding the rectangle X1..X2-1, Y1..Y2-1 of Bitmap as a
// packed DIB (X2 = 0: the width, Y2 = 0: the height). ie1g, ie8g and ie8p keep
// their depth, every other format is written as 24 bits. Null when the
// rectangle is empty or outside the picture or the block cannot be allocated;
// the caller owns the block.
HGLOBAL _CopyBitmaptoDIBEx(TIEBitmap* Bitmap, Integer X1, Integer Y1, Integer X2, Integer Y2, Integer DpiX,
                           Integer DpiY);

// Reads the packed DIB of Length bytes at Dib into Dest (ie1g for 1 bit per
// pixel, ie24RGB otherwise), including the YUV layouts of video frames
// (iedibconvert.h). Returns the DIB's bits per pixel, or 0 when the block is
// malformed, truncated or uses an unsupported compression; Dest is then left
// empty.
Integer IEDIBToBitmapBlock(const void* Dib, size_t Length, TIEBitmap* Dest);

// Dib is a global memory handle (IsPointer false) or the address of the
// header. Bits, when not null, holds the rows instead of the block; their
// length is then taken on trust. The block length comes from the global
// memory manager when Dib is (the start of) one of its blocks.
Integer IEDIBToBitmap(const void* Dib, TIEBitmap* Dest, const void* Bits, bool IsPointer);
