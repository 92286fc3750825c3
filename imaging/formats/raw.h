// Camera RAW reader: the glue around LibRaw (options in, the working image
// out), the output stage that turns the working image into 8-bit or 16-bit
// RGB through a white point and a gamma table, the straightening of sensors
// whose pixels lie on a grid turned by 45 degrees, and the CRW metadata heap.
#pragma once

#include <cstdint>
#include <vector>

#include "imaging/core/base/ieprogress.h"
#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/io/ioparams.h"
#include "platform/base/classes.h"

// Reads the camera file that begins at position 0 of Stream. With Preview
// only the parameters are read and Bitmap is left alone. Failure (an
// unidentified stream, a decoder error, memory) sets the abort flag; nothing
// escapes.
void IEReadRAW(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress, bool Preview);
// True when the decoder identifies the stream as a camera file; the
// position is restored.
bool IEProbeRAW(TStream* Stream);
// The CRW metadata heap of the file at position 0 of Stream: texts, image
// size, maker-note arrays and the smallest JPEG as the EXIF thumbnail.
// Stops quietly at anything that is not a CRW heap.
void IEReadRAWMetadata(TStream* Stream, TIOParamsVals& Params);

// The decoder's result before the output stage: Width x Height pixels of
// R, G, B and brightness (Trunc of half the length of (R, G, B)), the
// brightness histogram (brightness shr 3), and what the output needs.
struct TIERAWWorking {
  Integer Width = 0, Height = 0;
  std::vector<Word> Pixels;  // 4 samples a pixel
  std::vector<uint32_t> Histogram = std::vector<uint32_t>(0x2000, 0);
  Integer Trim = 0;           // 1 for a sensor with a colour filter array decoded in full
  Integer XMag = 1, YMag = 1;  // pixel magnification for non-square pixels
  bool Fuji45 = false;         // the sensor's pixels lie on a 45-degree grid
  AnsiString Make;
  Double Bright = 1.0, Gamma = 0.6;
};

// Decodes Stream (a camera file at position 0) into Work with the options of
// Params: identification, loading, colour scaling, interpolation, RGB.
// Sets "RAW_CAMERA" and the size fields; stops after them with ParamsOnly.
// False (Progress not touched) when the decoder refuses the stream.
bool IEDecodeRAWWorking(TStream* Stream, TIOParamsVals& Params, TIEProgressRec& Progress, bool ParamsOnly,
                        Double Bright, TIERAWWorking& Work);
// The white point of a histogram: the brightest bin whose running sum from
// the top exceeds p x Width x Height (p 0.5 % for make "FUJIFILM", else 1 %),
// times 16; 1 when the sum never exceeds the limit.
Integer IERAWWhitePoint(const std::vector<uint32_t>& Histogram, Integer Width, Integer Height,
                        const AnsiString& Make);
// The output stage: Bitmap becomes ie24RGB (or ieRGB48 with Sixteen) of
// (Width - 2 Trim) x XMag by (Height - 2 Trim) x YMag pixels. False when the
// picture cannot be allocated.
bool IERAWOutput(const TIERAWWorking& Work, bool Sixteen, TIEBitmap* Bitmap);
// Straightens a picture taken on a 45-degree sensor grid (ie24RGB or
// ieRGB48); a top row that gives no usable grid leaves Bitmap as it is.
void IERAWStraighten45(TIEBitmap* Bitmap);

// The registry's reader routine.
void IERAWReadRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                      bool Preview);
