// Exchange between pictures and selection masks: the selection copies
// (selected pixels into a picture of the box's size, or pasted back through
// the mask) and the copies of a mask into a picture and of a picture into a
// mask, which is how alpha channels reach and leave the codecs.
#pragma once

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/bitmap/iemask.h"

// Dest becomes a picture of Mask's box in Bitmap's format holding that part
// of Bitmap; its alpha channel is 0 where the mask selects nothing. Nothing
// for an empty mask.
void IECopySelectionTo(TIEBitmap& Bitmap, TIEBitmap* Dest, TIEMask* Mask);
// As IECopySelectionTo, but the unselected pixels are Background (a TColor,
// or the value for grey and palette formats).
void IECopySelectionOnBackgroundTo(TIEBitmap& Bitmap, TIEBitmap* Dest, TIEMask* Mask, Integer Background);
// Bitmap is a picture of Mask's box: its selected pixels go into Dest at the
// box, its alpha channel (when it has one) into Dest's, whose Full flag then
// ends false. Nothing for an empty mask.
void IEPasteSelectionTo(TIEBitmap& Bitmap, TIEBitmap* Dest, TIEMask* Mask);

// Bitmap becomes the mask's plane: ie1g from a 1-bit mask, ie8g from an
// 8-bit one, with the mask's Full flag. Without a mask the bitmap is filled
// with 255 (wholly opaque as an alpha channel).
void IECopyFromTIEMask(TIEBitmap& Bitmap, TIEMask* Mask);
// Mask becomes the picture: ie1g gives a 1-bit mask, ie8g an 8-bit one with
// the bitmap's Full flag, ie24RGB an 8-bit mask of the weighted grey levels
// (Full not set). The box is recomputed. Other formats leave Mask alone.
void IECopyToTIEMask(TIEBitmap& Bitmap, TIEMask* Mask);
