// Conversions around device-independent bitmaps: the YUV layouts of video
// frames, gamma correction of a packed DIB, drawing a packed DIB into a DIB
// bitmap, copies of platform bitmaps and red/blue exchanges of pixel rows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "imaging/core/bitmap/iebitmap.h"
#include "platform/graphics/globalmem.h"

class TBitmap;
class TIEDibbitmap;

// One YUV sample triple as a colour (video range, halves to even).
TRGB IEYUVToRGB(Integer Y, Integer U, Integer V);

// Decodes a frame in one of the YUV layouts named by the four-character code
// Compression (characters in memory order) from the Length bytes at Pixels
// into Dest (ie24RGB, Width x Height). Chroma planes and packed groups are
// rounded up, so odd sizes decode every pixel. False, with Dest untouched,
// for an unknown code or when the data is shorter than the frame needs.
bool IEDecodeYUVFrame(const Byte* Pixels, size_t Length, Integer Width, Integer Height, uint32_t Compression,
                      TIEBitmap* Dest);
// Whether Compression names one of the YUV layouts above.
bool IEIsYUVCompression(uint32_t Compression);

// Replaces every sample of an uncompressed 24-bit packed DIB through the
// gamma table 255 * (i/255)^(1/Gamma); other DIBs (and Gamma <= 0) are left
// alone. The block length bounds the rows.
void IEGammaCorrectDIB(HGLOBAL Dib, double Gamma);

// Sizes Dest to the DIB (1 bit for a 1-bit DIB, 24 bits otherwise) and draws
// the DIB into it. Returns the DIB's bits per pixel, 0 for a malformed block
// (Dest is then left as it was). Dib as for IEDIBToBitmap.
Integer IEDIBToDibbitmap(const void* Dib, TIEDibbitmap* Dest, const void* Bits, bool IsPointer);

// Makes Dst an exact copy of Src: size, pixel format, colour table, pixels.
void IECopyTBitmap(TBitmap* Src, TBitmap* Dst);
std::unique_ptr<TBitmap> IECloneTBitmap(TBitmap* Src);

// Exchange bytes 0 and 2 of Count 3-byte pixels (words 0 and 2 of 6-byte
// pixels for the 48-bit form).
void IECopySwapRedBlue(void* Dest, const void* Src, Integer Count);
void IESwapRedBlue(void* Buffer, Integer Count);
void IESwapRedBlue48(void* Buffer, Integer Count);
void IESwapRedBlueArray(TRGB* Entries, Integer Count);
