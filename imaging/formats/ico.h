// Icon and cursor codecs: one image of an icon or cursor directory read with
// its transparency, and icon files written at several sizes and depths.
#pragma once

#include <memory>
#include <utility>
#include <vector>

#include "imaging/core/base/ieprogress.h"
#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/bitmap/iemask.h"
#include "imaging/io/ienativecodecs.h"
#include "imaging/io/ioparams.h"
#include "platform/base/classes.h"

// The count word of the directory header; the position is kept.
Integer IECountICOImages(TStream* Stream);

// Reads image ICO_IMAGEINDEX (a stream starting "BM" is read as a bitmap).
// AlphaMask receives the transparency unless IgnoreAlpha. An index outside
// the directory, a missing bit count or a size beyond the limits sets the
// abort flag; a depth the native mode cannot hold raises "Unsupported pixel
// format".
void IEReadICO(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, bool ParamsOnly, TIEProgressRec& Progress,
               std::unique_ptr<TIEMask>& AlphaMask, bool IgnoreAlpha);
// Reads cursor CUR_IMAGEINDEX with its hot spot.
void IEReadCUR(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, bool ParamsOnly, TIEProgressRec& Progress,
               std::unique_ptr<TIEMask>& AlphaMask, bool IgnoreAlpha);

// Writes one icon file holding Bitmap (ie24RGB or ie1g) resampled to each
// size, at the matching bit count (0: from BITSPERSAMPLE and SAMPLESPERPIXEL).
// Runs on any thread: the resampling works on bare bitmaps.
void IEWriteICO(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                const std::vector<TSize>& Sizes, const std::vector<Integer>& BitCounts);
