// The TIFF codec's routines in the calling shapes of the format table. The
// table in this folder wires them; the TIFF module of the native formats
// defines them, so the formats folder builds on this one and not the reverse.
#pragma once

#include "imaging/core/base/ieprogress.h"
#include "platform/base/classes.h"

class TIEBitmap;
class TIOParamsVals;

// One page (TIFF_IMAGEINDEX, or its SubIFD TIFF_SUBINDEX) of the TIFF at the
// stream position (the TIFF reader).
void IETIFFReadRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                       bool Preview);
// A whole new TIFF file at the stream position (the TIFF writer).
void IETIFFWriteRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress);
