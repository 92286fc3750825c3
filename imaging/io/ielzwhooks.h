// The four codec hooks through which the TIFF, GIF and PDF codecs reach LZW.
// They hold the library's own LZW codecs from the start; a program may clear
// or replace them. Every parameter record copies them when it takes its
// defaults, and the format registry offers GIF only while the GIF hooks are set.
#pragma once

#include "platform/base/classes.h"
#include "platform/base/types.h"

// Decodes the next Count bytes of a TIFF LZW strip. The first call (State nil)
// starts on Data, which holds DataSize bytes; a call with Data nil frees the
// state. The result holds Count decoded bytes until the next call, or is nil.
using TIETIFFLZWDecompressFunc = Byte* (*)(const Byte* Data, Integer DataSize, Integer Count, void*& State,
                                           Integer FillOrder);
// Compresses Count bytes of Data into Dest; Data nil ends the strip and frees State.
using TIETIFFLZWCompressFunc = void (*)(const Byte* Data, Integer Count, TStream* Dest, void*& State);
// Decodes a GIF image from Src (at its code-size byte) into Width x Height indexes.
using TIEGIFLZWDecompressFunc = void (*)(TStream* Src, Integer Height, Integer Width, bool Interlaced,
                                         Byte* Pixels);
// Encodes Width x Height indexes (rows top to bottom) into Dest.
using TIEGIFLZWCompressFunc = void (*)(TStream* Dest, Integer Height, Integer Width, bool Interlaced,
                                       const Byte* Pixels, Integer BitsPerPixel);

extern TIETIFFLZWDecompressFunc IETIFFLZWDecompressProc;
extern TIETIFFLZWCompressFunc IETIFFLZWCompressProc;
extern TIEGIFLZWDecompressFunc IEGIFLZWDecompressProc;
extern TIEGIFLZWCompressFunc IEGIFLZWCompressProc;
