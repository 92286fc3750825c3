// The JPEG 2000 codec over OpenJPEG: JP2 files and raw code streams, read
// into ie24RGB (ie1g for 1-bit grey) and written from ie24RGB or ie1g.
#pragma once

#include <cstdint>
#include <vector>

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/base/ieprogress.h"
#include "imaging/io/ioparams.h"
#include "platform/base/classes.h"

// Which container the writer produces.
enum TIEJ2000Format : Integer { iej2kJP2 = 0, iej2kCodeStream = 1 };

// The YCbCr-to-RGB tables (JFIF coefficients), indexed by the 8-bit Cb or Cr
// value: red = Y + CrToRed[Cr], green = Y + CbToGreen[Cb] + CrToGreen[Cr],
// blue = Y + CbToBlue[Cb].
struct TIEYCbCrTables {
  int32_t CrToRed[256], CbToBlue[256], CrToGreen[256], CbToGreen[256];
};
// Built once, on first use or at start-up, whichever comes first.
const TIEYCbCrTables& IEYCbCrTables();

// Reads a JP2 file or a code stream at the stream position; the container is
// told by its signature, not by the caller. Preview fills Params only. Never
// raises: a stream neither probe accepts, a failed decode, an unsupported
// colour space or a picture beyond IEReadLimits.JPEG2000 sets the abort flag.
void IEReadJPEG2000(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                    bool Preview);
// Decodes a grey JP2 file or code stream at the stream position into its
// samples as stored (signed ones keep their sign), row by row, for callers
// that need more than the 8 bits a picture gets. False for any failure, a
// picture that is not grey, a precision above 16 bits or a picture beyond
// IEReadLimits.JPEG2000. Never raises.
bool IEDecodeJPEG2000Grey(TStream* Stream, std::vector<int32_t>& Samples, Integer& Width, Integer& Height,
                          Integer& Precision);
// Writes an ie24RGB or ie1g bitmap with J2000_COLORSPACE, J2000_RATE,
// J2000_SCALABLEBY and BITSPERSAMPLE (1..16). Never raises: a failed
// encoding, a short write or unusable parameters set the abort flag.
void IEWriteJPEG2000(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                     TIEJ2000Format Format);

// The registry's calling shapes: one reader for both rows, a writer each.
void IEJPEG2000ReadRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                           bool Preview);
void IEJP2WriteRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress);
void IEJ2KWriteRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress);

// Library start-up and shut-down of the codec (the conversion tables).
void IEStartupJPEG2000();
void IEShutdownJPEG2000();
