// DCX, the multi-page container of PCX images: page count, reading one page,
// and inserting one page.
#pragma once

#include "imaging/core/base/ieprogress.h"
#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/io/ienativecodecs.h"
#include "imaging/io/ioparams.h"
#include "platform/base/classes.h"

// Non-zero entries of the page table (at most 1024); the position is kept.
Integer IECountDCXPages(TStream* Stream);
// Reads page DCX_IMAGEINDEX, clamped to the pages there are (and stored back).
void IEReadDCXPage(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress, bool Preview);
// Inserts Bitmap as page DCX_IMAGEINDEX (0 .. pages) into the DCX the stream
// holds, or makes a one-page DCX of an empty stream. The new file is built in
// memory and replaces the stream's content only when it is complete; an index
// outside 0 .. pages sets the abort flag and leaves the stream alone.
void IEWriteDCX(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress);
