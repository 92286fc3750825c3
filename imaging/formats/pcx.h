// PCX reader and writer (1, 4 and 8 bits in one plane, 24 bits in three, 16
// colours in four bit planes). Every read is bounded by the image's size.
#pragma once

#include "imaging/core/base/ieprogress.h"
#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/io/ienativecodecs.h"
#include "imaging/io/ioparams.h"
#include "platform/base/classes.h"

// Reads the PCX at the stream position occupying Size bytes (clamped to the
// stream). Preview fills Params only.
void IEReadPCX(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, int64_t Size, TIEProgressRec& Progress,
               bool Preview);
// Writes Bitmap as PCX. Bit counts the format has no layout for go to the
// nearest one that holds them (up to 4 bits: 16 colours, up to 8: 256, else
// 24 bits).
void IEWritePCX(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress);
