// GIF codec: one frame of a GIF read with its graphic control values and the
// file's comments, a picture written as a single-frame GIF with a quantized
// palette, and a file copied without one of its frames (which also counts
// them). The LZW coding goes through the GIF LZW hooks.
#pragma once

#include <memory>

#include "imaging/core/base/ieprogress.h"
#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/bitmap/iemask.h"
#include "imaging/io/ienativecodecs.h"
#include "imaging/io/ioparams.h"
#include "platform/base/classes.h"

// Reads frame GIF_IMAGEINDEX at the frame's own size (Preview: parameters
// only). FrameCount receives the number of image descriptors in the whole
// stream. AlphaMask receives an 8-bit mask (0 transparent) when the frame is
// transparent, NoMask is false and some pixel uses the transparent index;
// otherwise it ends up nil.
void IEReadGIF(TStream* Stream, TIEBitmap* Bitmap, Integer& FrameCount, TIOParamsVals& Params,
               TIEProgressRec& Progress, bool Preview, std::unique_ptr<TIEMask>& AlphaMask, bool NoMask);

// Reads frame GIF_IMAGEINDEX composed over the frames before it on the
// logical screen, as an animation shows it; a single-frame file gives the
// frame as read. Transparency ends up in Bitmap's alpha channel. Returns the
// frame count (0 when nothing could be read).
Integer IEReadGIFComposed(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress);

// Writes Bitmap as a complete single-frame GIF of BITSPERSAMPLE (1..8) bits.
// An alpha channel reserves the last table entry as the transparent colour.
void IEWriteGIF(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress);

// Copies the GIF In to Out without frame Index (-1: without none) and its
// graphic control extension; returns the frames copied, 0 when In is no GIF.
Integer IEGIFRemoveFrameStream(TStream* In, TStream* Out, Integer Index);
// The same on a file; with Save the copy replaces the file through a
// temporary file, so a failed write leaves the original whole.
Integer IEGIFRemoveFrame(const WideString& FileName, Integer Index, bool Save);
