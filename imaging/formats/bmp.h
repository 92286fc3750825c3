// The Windows and OS/2 bitmap codec: reads uncompressed, run-length and
// bit-field BMP files (or bare packed DIBs), writes uncompressed and
// run-length files with a 12-, 40- or 64-byte header. Failures set the
// progress record's abort flag; nothing is raised.
#pragma once

#include <cstdint>
#include <memory>

#include "imaging/core/base/ieprogress.h"
#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/bitmap/iemask.h"
#include "imaging/io/ienativecodecs.h"
#include "imaging/io/ioparams.h"
#include "platform/base/classes.h"

// Reads the BMP at the stream position. DataLength: bytes the BMP occupies
// from there (0 or less: the file header's size, else unknown). ParamsOnly
// fills Params alone. NoFileHeader: the stream starts with the info header.
// AlphaMask receives the fourth bytes of a 32-bit picture (an 8-bit mask,
// reused when given) unless IgnoreAlpha; it is reset when they carry no
// information (all 0 or all 255).
void IEReadBMP(TStream* Stream, TIEBitmap* Bitmap, int64_t DataLength, TIOParamsVals& Params,
               TIEProgressRec& Progress, bool ParamsOnly, bool NoFileHeader, std::unique_ptr<TIEMask>& AlphaMask,
               bool IgnoreAlpha);

// Writes Bitmap as a complete BMP at the stream position (BMP_VERSION,
// BMP_COMPRESSION, BITSPERSAMPLE and SAMPLESPERPIXEL choose the layout).
// SaveAlpha writes 32 bits with the alpha channel (255 without one).
void IEWriteBMP(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                bool SaveAlpha);

// One row of Count indexes (one per byte) run-length coded into Out, which
// must hold 10 bytes per index; the end-of-line code is appended. Returns
// the bytes written.
Integer IEBMPEncodeRLE8Row(const Byte* Indexes, Integer Count, Byte* Out);
Integer IEBMPEncodeRLE4Row(const Byte* Indexes, Integer Count, Byte* Out);

// Copies an 8-bit mask into Bitmap's alpha channel (created when missing).
void IEApplyAlphaMask(TIEBitmap* Bitmap, const TIEMask* Mask);
