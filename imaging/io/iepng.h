// The PNG codec over libpng: reading into the picture container (with alpha
// channel, palette, resolution, background and texts) and writing from it.
#pragma once

#include <cstdint>

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/bitmap/iemask.h"
#include "imaging/core/base/ieprogress.h"
#include "imaging/io/ioparams.h"
#include "platform/base/classes.h"

// Reads one PNG from the stream position. Preview fills Params only. Never
// raises: every failure sets the abort flag (the bitmap may be partly filled).
// Pictures beyond IEReadLimits.PNG, or larger than the rest of the stream
// could ever inflate to, are refused before anything is allocated.
void IEReadPNG(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress, bool Preview);
// Writes Bitmap with the options of Params. AlphaMask (8-bit, or nil) gives
// the transparency; a full mask counts as none. A short stream write sets
// the abort flag; a libpng error sets it too and raises EInvalidGraphic
// "Error on creating PNG". Nothing reaches the stream before the options
// have been checked.
void IEWritePNG(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                TIEMask* AlphaMask);

// The registry's calling shapes: the writer takes the bitmap's alpha channel
// as its mask and turns a raise into the abort flag.
void IEPngReadRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                      bool Preview);
void IEPngWriteRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress);
