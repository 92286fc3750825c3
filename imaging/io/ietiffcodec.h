// The TIFF codec's routines in the calling shapes of the format table. The
// table in this folder wires them; the TIFF module of the native formats
// defines them, so the formats folder builds on this one and not the reverse.
#pragma once

#include "imaging/core/base/ieprogress.h"
#include "platform/base/classes.h"

class TIEBitmap;
class TIOParamsVals;

// A whole new TIFF file at the stream position (the TIFF writer).
void IETIFFWriteRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress);
