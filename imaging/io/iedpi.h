// Services of the I/O companion that are not one codec: making a picture's
// horizontal and vertical resolution equal, and how many images a file holds.
#pragma once

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/io/ieformats.h"
#include "imaging/io/ioparams.h"

// A copy of Bitmap resampled so that DPIX and DPIY of Params become equal:
// the shorter side of the bitmap is rescaled to the larger resolution's
// scale, the new size and resolution go into Params. With Filtered the
// bitmap is first converted to ie24RGB in place and resampled with
// rfFastLinear, else stretched nearest in its own pixel format. Returns
// Bitmap itself (nothing changed) for equal or unset resolutions, an empty
// bitmap, or a size that cannot be made; otherwise a new bitmap the caller
// owns.
TIEBitmap* IEAdjustDPI(TIEBitmap* Bitmap, TIOParamsVals& Params, bool Filtered);

// The registry's file type for an extension (with or without its dot, any
// case); ieftUnknown when none.
TIEFileType IEFileTypeOfExtension(const WideString& Extension);

// Images, pages or frames of a file, by its extension: TIFF, GIF, icon and
// DCX files are counted, every other registered type holds one image (the
// file is not opened). Video files and unknown extensions count the frames
// the media-file player finds, 0 when it cannot play them. A file that cannot
// be read counts 0.
Integer IEGetFileImageCount(const WideString& FileName);
