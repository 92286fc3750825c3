// The TIFF writer: one image as a little-endian TIFF, or one more directory
// inserted into an existing little-endian TIFF (multi-page files).
#pragma once

#include "imaging/core/base/ieprogress.h"
#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/io/ietiffcodec.h"
#include "imaging/io/ioparams.h"
#include "platform/base/classes.h"

// Writes Bitmap (nil: a directory of the description and resolution tags
// only) at the stream position, or with InsertMode adds it as page
// Params.TIFF_IMAGEINDEX of the TIFF that starts at the stream position (an
// index past the last page, or negative, appends). Returns the number of
// images the stream then holds (1 when not inserting, 0 on a refused insert).
// The layout actually stored goes back into BITSPERSAMPLE, SAMPLESPERPIXEL,
// TIFF_PHOTOMETINTEPRET and TIFF_COMPRESSION. Failures set Progress's abort
// flag; nothing is raised. The caller's bitmap is never changed.
// With EXIF_HASEXIF the EXIF main tags and the EXIF and GPS directories are
// written. ExifBlock builds the EXIF block of a JPEG file: no IPTC, XMP,
// annotation or ICC blocks (JPEG keeps those in markers of their own), and
// the components configuration JPEG data must declare.
Integer IEWriteTIFF(TStream* Stream, bool InsertMode, TIEBitmap* Bitmap, TIOParamsVals& Params,
                    TIEProgressRec& Progress, bool ExifBlock = false);
