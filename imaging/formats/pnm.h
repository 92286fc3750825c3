// Portable anymap codec: reads the six Netpbm kinds (plain and raw bitmap,
// greymap and pixmap) and writes raw bitmaps, greymaps and pixmaps. Samples
// are scaled by the file's maxval; failures set the abort flag.
#pragma once

#include "imaging/core/base/ieprogress.h"
#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/io/ienativecodecs.h"
#include "imaging/io/ioparams.h"
#include "platform/base/classes.h"

// The next header token: a run of ASCII letters and digits (the character
// that ends it is consumed), or "#" and the comment text up to the end of the
// line with blanks trimmed. Empty at the end of the stream.
void IEReadPNMToken(TStream* Stream, AnsiString& Token);

void IEReadPNM(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress, bool ParamsOnly);
void IEWritePNM(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress);
