// Colour-space formulas shared by the pixel-format converter and the codecs'
// row conversion: CMYK, CIELab and YCbCr to and from the ie24RGB triple, and
// the layout-to-layout row converter that codecs reach through their hook.
#pragma once

#include "imaging/core/base/iedefs.h"
#include "imaging/core/base/ieutils.h"

struct TIEColorProfiles;

// Colour layout codes of IEConvertColorFormat.
enum : Integer {
  iecfRGB = 0,         // R, G, B
  iecfBGR = 1,         // B, G, R (the ie24RGB pixel)
  iecfCMYK = 2,        // C, M, Y, K, 255 = no ink (the ieCMYK pixel)
  iecfCMYKInk = 3,     // C, M, Y, K, 255 = full ink; 6 bytes per pixel, 4 used
  iecfCIELab = 4,      // the ieCIELab pixel
  iecfGray = 5,        // one byte
  iecfRGB48 = 6,       // little-endian words R, G, B (the ieRGB48 pixel)
  iecfRGB48BE = 7,     // big-endian words R, G, B
  iecfYCbCr = 8,       // Y, Cb, Cr
};

// Stored (inverted) ink bytes to colour through the global CMYK and sRGB
// profiles while IEUseCMYKProfile is on and the system has a CMYK profile;
// otherwise R = c*k div 255 and so on, so no ink (255, 255, 255, 255) is
// white and a stored K of 0 is black.
void IEConvertCMYKToRGB(const TCMYK& CMYK, TRGB& BGR);
// Through the global profiles as above; otherwise k = max(R, G, B) (1 for
// black) and the bytes R*255 div k, G*255 div k, B*255 div k, k.
TCMYK IEConvertRGBToCMYK(const TRGB& BGR);
// sRGB (D65) to L*a*b*: L scaled to 0..255, a* and b* signed bytes, each
// truncated toward zero.
TCIELab IERGBToCIELab(const TRGB& BGR);
// The inverse, each channel rounded to the nearest integer and clamped.
TRGB IECIELabToRGB(const TCIELab& Lab);
// JFIF YCbCr to RGB, truncated toward zero and clamped to 0..255.
void IEYCbCrToRGB(TRGB& BGR, Integer Y, Integer Cb, Integer Cr);

// Converts Count pixels from SourceLayout to TargetLayout. Colour management
// comes first (IEConvertColorFormatCMS: with IEEnableCMS the picture's
// profile from Params, else the global profiles for the CMYK pairs); what it
// declines goes through the formulas above. Pairs without a formula (and
// every source in the grey layout) then write nothing. Source is never
// modified; Source and Target may be the same buffer only for the RGB/BGR
// pairs. Params is the picture's parameter record or nullptr. Whole rows
// should be passed: the profiles are much faster per row than per pixel.
void IEConvertColorFormat(const void* Source, Integer SourceLayout, void* Target, Integer TargetLayout,
                          Integer Count, TIEColorProfiles* Params);
