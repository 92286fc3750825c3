// Truevision TGA codec: raw and run-length colour-mapped, true-colour and
// grey files with the 2.0 extension area and footer. Failures set the abort
// flag; nothing is raised.
#pragma once

#include <memory>

#include "imaging/core/base/ieprogress.h"
#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/bitmap/iemask.h"
#include "imaging/io/ienativecodecs.h"
#include "imaging/io/ioparams.h"
#include "platform/base/classes.h"

// Reads the TGA at the stream position. AlphaMask receives the alpha of a
// 32-bit picture or of 32-bit map entries (reused when given) unless NoAlpha;
// it is reset when every alpha value is 0.
void IEReadTGA(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress, bool Preview,
               std::unique_ptr<TIEMask>& AlphaMask, bool NoAlpha);
// Writes a TGA 2.0 file; Alpha (an ie8g picture of Bitmap's size, or nil)
// makes a 32-bit file with alpha.
void IEWriteTGA(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                TIEBitmap* Alpha);
