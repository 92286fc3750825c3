// Area-coverage resizing of gray and RGB pictures of 8 and 16 bits per
// sample: every destination pixel is the area-weighted mean of the source
// cells it covers, each covered piece valued by bilinear or cubic
// interpolation along the axes that grow.
#pragma once

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/base/ieprogress.h"

// ie8g (one channel) and ie24RGB (three) into Dst at its size; Bicubic 0
// interpolates bilinearly, 1 by cubic convolution. Dst takes Src's pixel
// format when it has another. Any other source format does nothing.
void IEInterpolate8And24(TIEBitmap* Src, TIEBitmap* Dst, Integer Bicubic, const TIEProgressEvent& OnProgress = nullptr,
                         TObject* Sender = nullptr);
// The same for ie16g and ieRGB48.
void IEInterpolate16And48(TIEBitmap* Src, TIEBitmap* Dst, Integer Bicubic, const TIEProgressEvent& OnProgress = nullptr,
                          TObject* Sender = nullptr);

// Cubic convolution (a = -1) of the samples at distances 1 + t (PPrev), t
// (P0), 1 - t (P1) and 2 - t (P2) from t, limited to MinValue .. MaxValue.
double IECubicInterpolate(double PPrev, double P0, double P1, double MaxValue, double MinValue, double P2, double T);
