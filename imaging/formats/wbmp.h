// Wireless bitmap (type 0, one bit per pixel) reader and writer.
#pragma once

#include "imaging/core/base/ieprogress.h"
#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/io/ienativecodecs.h"
#include "imaging/io/ioparams.h"
#include "platform/base/classes.h"

// A multibyte integer: 7 bits per byte, most significant group first, the
// high bit set while more bytes follow. -1 when the stream ends first or the
// value needs more than 4 bytes.
Integer IEReadWBMPInteger(TStream* Stream);

void IEReadWBMP(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress, bool ParamsOnly);
// Writes the whole picture whatever its size (the format's integers allow any).
void IEWriteWBMP(TStream* Stream, TIEBitmap* Bitmap, TIEProgressRec& Progress);
