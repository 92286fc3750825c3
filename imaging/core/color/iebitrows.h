// Black-and-white (ie1g) conversion and the 1-bit row operations: gray
// thresholds (fixed, from the average colour, by maximum entropy), the 8x8
// ordered dither, two-colour pictures, bit copies and row expansion.
// ie1g rows hold eight pixels per byte, leftmost in the most significant bit;
// a set bit is white.
#pragma once

#include <cstdint>
#include <memory>

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/base/ieutils.h"
#include "imaging/core/base/ieprogress.h"

class TBitmap;

// Mask of pixel x within its byte: entry x mod 8 (0x80 .. 0x01).
extern const Byte IEBitMask[8];

// Ordered-dither thresholds 0..63. The pixel at column x, row y uses
// IEBayerMatrix[x mod 8][y mod 8] (first index is the column).
extern const Byte IEBayerMatrix[8][8];

// Dither level of a colour: 64 for near white (all three bytes >= 251, so it
// never takes a black dot), otherwise the weighted gray shifted right by 2.
Integer IEDitherLevel(const TRGB& Color);

// One row of ordered dither: Levels holds Width dither levels (0..64, as
// IEDitherLevel gives); pixel x of row Y becomes white when its level is
// greater than the matrix entry. Dst receives (Width + 7) div 8 bytes; the
// unused low bits of the last byte are cleared.
void IEDitherRow(const Byte* Levels, Byte* Dst, Integer Width, Integer Y);

// Writes Src into Dst as black and white: a pixel whose weighted gray is at
// least Threshold is white. Threshold -1 takes the gray of the picture's
// average colour, -2 the maximum-entropy split of its gray histogram. Dst is
// (re)allocated as ie1g of Src's size when it is not already. An ie1g Src is
// copied unchanged. Src is never modified. Progress: Trunc(rows done x 100 /
// (height + 0.5)) after each row (or each group of rows when the rows run on
// several threads). The second form reports nothing.
void IEThresholdToBitmap(TIEBitmap* Src, TIEBitmap* Dst, Integer Threshold, TIEProgressRec& Progress);
void IEThresholdToBitmap(TIEBitmap* Src, TIEBitmap* Dst, Integer Threshold);
// An ie24RGB picture becomes ie1g through IEThresholdToBitmap; other formats
// are left alone. The alpha channel stays.
void IEThresholdTo1Bit(TIEBitmap* Bitmap, Integer Threshold, TIEProgressRec& Progress);
// An ie24RGB picture becomes ie1g by ordered dither; other formats are left
// alone. The alpha channel stays.
void IEDitherTo1Bit(TIEBitmap* Bitmap, TIEProgressRec& Progress);
// A new ie1g picture when Bitmap holds exactly two colours: Color1 (black)
// is the darker, Color2 (white) the lighter; nullptr otherwise.
std::unique_ptr<TIEBitmap> IETwoColorsTo1Bit(TIEBitmap* Bitmap, TRGB& Color1, TRGB& Color2);
// Number of pixels of each gray level. An ie1g picture counts its set bits
// at level 1 and its clear bits at level 0.
void IEGetGrayHistogram(TIEBitmap* Bitmap, int64_t (&Counts)[256]);

inline bool IEGetBit(const void* Row, Integer Index) {
  return (static_cast<const Byte*>(Row)[Index >> 3] & IEBitMask[Index & 7]) != 0;
}
inline void IESetBit(void* Row, Integer Index, bool Value) {
  Byte& b = static_cast<Byte*>(Row)[Index >> 3];
  if (Value)
    b |= IEBitMask[Index & 7];
  else
    b &= static_cast<Byte>(~IEBitMask[Index & 7]);
}
// Copies BitCount bits from bit SrcBitOffset of Src to bit DestBitOffset of
// Dest, leaving the other bits of Dest as they were. Src holds SrcLength
// bytes; bits beyond them are read as 0. Nothing for BitCount < 1 or a
// negative offset.
void IECopyBits(void* Dest, const void* Src, Integer DestBitOffset, Integer SrcLength, Integer BitCount,
                Integer SrcBitOffset);
// Expands Width pixels of a 1-bit row into 3-byte pixels (set bit white).
void IEExpand1BitRow(const void* Src, void* Dst, Integer Width);
// Makes Dst a 24-bit copy of the 1-bit Src (a set bit becomes white whatever
// Src's colour table says).
void IEConvert1BitTBitmapTo24(TBitmap*& Src, TBitmap*& Dst, TIEProgressRec& Progress);
// Bitwise not of Length bytes.
void IEInvertBuffer(void* Buffer, Integer Length);
// Inverts every byte of every row.
void IEInvertBitmapBits(TIEBitmap* Bitmap);
