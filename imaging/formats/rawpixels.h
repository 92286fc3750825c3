// Headerless pixel data: the caller gives the picture its size and pixel
// format, and the BMPRAW_ parameters say how the stored samples are laid out
// (header to skip, row alignment, planes, channel order, binary or text).
#pragma once

#include "imaging/core/base/ieprogress.h"
#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/io/ioparams.h"
#include "platform/base/classes.h"

// Fills Bitmap's rows from the stream position. Data that run short leave
// the rest of the picture as it was. A row alignment other than 8, 16, 32 or
// 64 bits sets the abort flag; hexadecimal text for an ie32f picture raises
// "Format unsupported".
void IEReadRawPixels(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress);
