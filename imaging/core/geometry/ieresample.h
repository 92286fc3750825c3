// Changing the size of a picture: one dispatcher over a nearest-neighbour
// stretch, a separable two-pass filter with eight kernels, fixed-point fast
// scalers, the area-coverage interpolators and two black-and-white
// projections. The destination is allocated by the caller at the target size.
#pragma once

#include "imaging/core/geometry/ieareainterp.h"  // IEInterpolate8And24, IEInterpolate16And48
#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/base/iedefs.h"
#include "imaging/core/base/ieprogress.h"

// --- kernels ----------------------------------------------------------------
// Each takes the distance from the sample point, in source pixels scaled to
// the pass, and is zero beyond its support.

double IESinc(double x);                // sin(pi x) / (pi x), 1 at 0
double IETriangleFilter(double x);      // support 1
double IEHermiteFilter(double x);       // support 1
double IEBellFilter(double x);          // support 1.5
double IEBSplineFilter(double x);       // support 2
double IELanczos3Filter(double x);      // support 3
double IEMitchellFilter(double x);      // B = C = 1/3, support 2
double IEBoxFilter(double x);           // 1 for -0.5 < x <= 0.5, support 1
double IELinearFilter(double x);        // the triangle's values, support 1

using TIEFilterFunction = double (*)(double x);
struct TIEFilterRec {
  TIEFilterFunction Filter;
  double Support;
};
// The kernel of rfTriangle .. rfLinear; nullptr for every other filter.
const TIEFilterRec* IEFilterKernel(TResampleFilter Filter);

// --- routines ----------------------------------------------------------------
// Progress goes to OnProgress (Sender, percentage) when it is set. None of
// these routines reads an abort flag. A destination whose pixel format
// cannot take the result is re-allocated at its own size in the format the
// result needs (its alpha channel kept), so that no routine ever writes rows
// of one layout into storage of another.
// A work buffer that cannot be allocated raises EOutOfMemory; the temporary
// buffers are freed, the destination's pixels are then undefined.

// Bytes of horizontally scaled rows the two-pass resamplers hold at once
// (64 MiB); a picture that needs more is resampled in bands of output rows.
// Tests lower it so that small pictures take the banded path.
extern int64_t IEResampleBandBytes;

// Resizes Src into Dst (allocated at the target size). Same size: Dst
// becomes a full copy. Dst's resulting pixel format depends on Src's format
// and the filter (ie1g sources give gray ie24RGB except for the
// projections; formats other than ie1g, ie8g, ie24RGB, ie16g and ieRGB48 go
// through ie24RGB). An alpha channel of Src is resampled into Dst's with the
// same filter and keeps its Full flag.
void IEResample(TIEBitmap* Src, TIEBitmap* Dst, TResampleFilter Filter, const TIEProgressEvent& OnProgress = nullptr,
                TObject* Sender = nullptr);

// Nearest-neighbour stretch of whole pixels of every format; Dst takes
// Src's format (and palette for ie8p). Returns Dst.
TIEBitmap* IEStretchNearest(TIEBitmap* Src, TIEBitmap* Dst, const TIEProgressEvent& OnProgress = nullptr,
                            TObject* Sender = nullptr);

// Filter dispatch for every format but ie1g; the 24-bit two-pass filter.
// Nothing for an empty source or a 1x1 one.
void IEResampleFiltered(TIEBitmap* Src, TIEBitmap* Dst, TResampleFilter Filter,
                        const TIEProgressEvent& OnProgress = nullptr, TObject* Sender = nullptr);

// Two-pass filter for one byte per pixel (ie8g pictures, alpha channels);
// rfFastLinear, rfBilinear, rfBicubic and the projections go to the fast
// 8-bit scaler, rfNone to the nearest stretch. No progress.
void IEResample8Bit(TIEBitmap* Src, TIEBitmap* Dst, TResampleFilter Filter);

// ie1g sources: kernels give a gray ie24RGB Dst, rfFastLinear, rfBilinear
// and rfBicubic the fast 1-bit scaler, the projections an ie1g Dst.
void IEResample1Bit(TIEBitmap* Src, TIEBitmap* Dst, TResampleFilter Filter);

// rfFastLinear: 17-bit fixed-point linear interpolation along an axis that
// grows, averaging of the covered pixels along one that shrinks.
void IEResampleFastLinear24(TIEBitmap* Src, TIEBitmap* Dst, const TIEProgressEvent& OnProgress = nullptr,
                            TObject* Sender = nullptr);
void IEResampleFast8Bit(TIEBitmap* Src, TIEBitmap* Dst, const TIEProgressEvent& OnProgress = nullptr,
                        TObject* Sender = nullptr);
// ie1g Src into gray ie24RGB Dst.
void IEResampleFast1Bit(TIEBitmap* Src, TIEBitmap* Dst, const TIEProgressEvent& OnProgress = nullptr,
                        TObject* Sender = nullptr);

// Reduces the inclusive rectangle (x1, y1) - (x2, y2) of the ie1g Src into
// the whole of Dst (gray ie24RGB) by counting set bits. Rows and columns
// outside Src are never read.
void IEResample1BitToGray24(TIEBitmap* Src, Integer x1, Integer y1, Integer x2, Integer y2, TIEBitmap* Dst);

// Black-and-white projections into an ie1g Dst. With WhitePriority false a
// pixel is black when any covered source pixel is dark; with true it is
// white when any covered source pixel is light. Return Dst.
TIEBitmap* IEProjectResample1Bit(TIEBitmap* Src, TIEBitmap* Dst, bool WhitePriority,
                                 const TIEProgressEvent& OnProgress = nullptr, TObject* Sender = nullptr);
TIEBitmap* IEProjectResample24(TIEBitmap* Src, TIEBitmap* Dst, bool WhitePriority,
                               const TIEProgressEvent& OnProgress = nullptr, TObject* Sender = nullptr);

// Test seam: false makes the row loops take their portable paths, so that
// tests can hold the vector paths against them.
extern bool IEResampleUseVectorPaths;
