// The LZW codecs behind the codec hooks: the TIFF flavour (most significant
// bit first, widths changing one code early, also used for PDF streams) and
// the GIF flavour (least significant bit first, data sub-blocks).
#pragma once

#include "imaging/io/ielzwhooks.h"

// Decodes the next Count bytes of a TIFF LZW strip of DataSize bytes at Data.
// Decoding stops at the End code or when the input runs out; the rest of the
// chunk is then zero. Nil on a corrupt stream (a first code that is not a
// byte or Clear, a bad code after Clear, a full table); Data nil frees State.
Byte* IETIFFLZWDecompress(const Byte* Data, Integer DataSize, Integer Count, void*& State, Integer FillOrder);
// Compresses Count bytes into Dest; the first call writes Clear, Data nil
// writes the last code and End, pads to a byte and frees State.
void IETIFFLZWCompress(const Byte* Data, Integer Count, TStream* Dest, void*& State);
// Decodes a GIF image whose code-size byte is at Src's position. Failure
// leaves Src where it was; success leaves it after the block terminator.
void IEGIFLZWDecompress(TStream* Src, Integer Height, Integer Width, bool Interlaced, Byte* Pixels);
// Writes the code-size byte, the data sub-blocks and their terminator.
void IEGIFLZWCompress(TStream* Dest, Integer Height, Integer Width, bool Interlaced, const Byte* Pixels,
                      Integer BitsPerPixel);
