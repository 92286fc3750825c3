// Per-pixel arithmetic on 32-bit ARGB colours (alpha in bits 24..31, blue in
// 0..7): weighted combination, blending over an opaque background, merging
// over a background with alpha, their row forms, per-channel colour algebra,
// block averaging and two-by-two interpolation. Callers go through the
// routine variables, bound once at start-up; weights and alphas are 0..255.
#pragma once

#include "platform/base/types.h"
#include "platform/graphics/gdi.h"

using TColor32 = Cardinal;

using TCombineColorProc = TColor32 (*)(TColor32 X, TColor32 Y, Cardinal W);
using TCombineIntoProc = void (*)(TColor32 X, TColor32& Y, Cardinal W);
using TBlendColorProc = TColor32 (*)(TColor32 F, TColor32 B);
using TBlendIntoProc = void (*)(TColor32 F, TColor32& B);
using TBlendColorScaledProc = TColor32 (*)(TColor32 F, TColor32 B, Cardinal M);
using TBlendIntoScaledProc = void (*)(TColor32 F, TColor32& B, Cardinal M);
using TBlendRowProc = void (*)(const TColor32* Src, TColor32* Dst, Integer Count);
using TBlendRowScaledProc = void (*)(const TColor32* Src, TColor32* Dst, Integer Count, Cardinal M);
using TColorAlgebraProc = TColor32 (*)(TColor32 A, TColor32 B);
// Count pixels of each of Rows rows, RowStride bytes apart.
using TAverageBlockProc = TColor32 (*)(Integer Count, Integer Rows, const void* Src, Integer RowStride);
// Each pair is two adjacent pixels.
using TInterpolateProc = TColor32 (*)(Cardinal WX, Cardinal WY, const TColor32* TopPair, const TColor32* BottomPair);

// Combine: X weighted W, Y weighted 255 - W, all four channels.
extern TCombineColorProc CombineColor;
extern TCombineIntoProc CombineInto;
// Blend: F weighted by its own alpha over B, all four channels.
extern TBlendColorProc BlendColor;
extern TBlendIntoProc BlendInto;
// Scaled forms weigh F by Fa * (M + 1) shr 8, M being a master alpha.
extern TBlendColorScaledProc BlendColorScaled;
extern TBlendIntoScaledProc BlendIntoScaled;
// Rows apply the in-place form to Src[i], Dst[i]; Count <= 0 changes nothing.
extern TBlendRowProc BlendRow;
extern TBlendRowScaledProc BlendRowScaled;
// Merge: F over a B that carries alpha too; the result's alpha is their union.
extern TCombineColorProc MergeWithWeight;
extern TCombineIntoProc MergeIntoWithWeight;
extern TBlendColorProc MergeColor;
extern TBlendIntoProc MergeInto;
extern TBlendColorScaledProc MergeColorScaled;
extern TBlendIntoScaledProc MergeIntoScaled;
extern TBlendRowProc MergeRow;
extern TBlendRowScaledProc MergeRowScaled;

// The eight operations of one draw mode; the blend mode combines with
// CombineColor, the merge mode with MergeWithWeight.
struct TBlendOps {
  TBlendColorProc Color;
  TBlendIntoProc Into;
  TCombineColorProc Combine;
  TCombineIntoProc CombineInto;
  TBlendColorScaledProc ColorScaled;
  TBlendIntoScaledProc IntoScaled;
  TBlendRowProc Row;
  TBlendRowScaledProc RowScaled;
};
enum TDrawMode { dmBlend, dmMerge };
extern TBlendOps BlendOpsByMode[2];

// Per channel, all four: A + B at most 255; A - B at least 0; 255 where A is
// 0, else min(255, B * 256 div A); A * B shr 8; the larger; the smaller; the
// absolute difference; A + B - A * B div 128.
extern TColorAlgebraProc AddColors;
extern TColorAlgebraProc SubtractColors;
extern TColorAlgebraProc DivideColors;
extern TColorAlgebraProc ModulateColors;
extern TColorAlgebraProc MaxColors;
extern TColorAlgebraProc MinColors;
extern TColorAlgebraProc DifferenceColors;
extern TColorAlgebraProc ExclusionColors;

// The rounded mean of each channel; 0 when Count or Rows is below 1.
extern TAverageBlockProc AverageBlock;
// Weights in 16.16 fixed point (their integer part used, at most 255).
extern TInterpolateProc InterpolateFixed;
// Weights 0..255 (larger ones count as 255).
extern TInterpolateProc InterpolateBytes;

// Entry I is (I / 255) ^ Gamma * 255 to the nearest integer; 0.7 from start-up.
extern Byte GammaTable[256];
void SetGamma(double Gamma);

inline Byte ColorByte0(Cardinal Color) { return static_cast<Byte>(Color); }
inline Byte ColorByte1(Cardinal Color) { return static_cast<Byte>(Color >> 8); }
inline Byte ColorByte2(Cardinal Color) { return static_cast<Byte>(Color >> 16); }

// The plain variants, which the variables above are bound to on every
// processor (the processor-specific ones round differently).
namespace gfxblend_plain {
TColor32 CombineColor(TColor32 X, TColor32 Y, Cardinal W);
void CombineInto(TColor32 X, TColor32& Y, Cardinal W);
TColor32 BlendColor(TColor32 F, TColor32 B);
void BlendInto(TColor32 F, TColor32& B);
TColor32 BlendColorScaled(TColor32 F, TColor32 B, Cardinal M);
void BlendIntoScaled(TColor32 F, TColor32& B, Cardinal M);
void BlendRow(const TColor32* Src, TColor32* Dst, Integer Count);
void BlendRowScaled(const TColor32* Src, TColor32* Dst, Integer Count, Cardinal M);
TColor32 MergeWithWeight(TColor32 X, TColor32 Y, Cardinal W);
void MergeIntoWithWeight(TColor32 X, TColor32& Y, Cardinal W);
TColor32 MergeColor(TColor32 F, TColor32 B);
void MergeInto(TColor32 F, TColor32& B);
TColor32 MergeColorScaled(TColor32 F, TColor32 B, Cardinal M);
void MergeIntoScaled(TColor32 F, TColor32& B, Cardinal M);
void MergeRow(const TColor32* Src, TColor32* Dst, Integer Count);
void MergeRowScaled(const TColor32* Src, TColor32* Dst, Integer Count, Cardinal M);
TColor32 AddColors(TColor32 A, TColor32 B);
TColor32 SubtractColors(TColor32 A, TColor32 B);
TColor32 DivideColors(TColor32 A, TColor32 B);
TColor32 ModulateColors(TColor32 A, TColor32 B);
TColor32 MaxColors(TColor32 A, TColor32 B);
TColor32 MinColors(TColor32 A, TColor32 B);
TColor32 DifferenceColors(TColor32 A, TColor32 B);
TColor32 ExclusionColors(TColor32 A, TColor32 B);
TColor32 AverageBlock(Integer Count, Integer Rows, const void* Src, Integer RowStride);
TColor32 InterpolateFixed(Cardinal WX, Cardinal WY, const TColor32* TopPair, const TColor32* BottomPair);
TColor32 InterpolateBytes(Cardinal WX, Cardinal WY, const TColor32* TopPair, const TColor32* BottomPair);
}  // namespace gfxblend_plain

class TBitmap;
class TCriticalSection;
// The graphics module's shared objects: the stock system font, an 8 x 8
// scratch bitmap and the lock around them. Made on first use (they need the
// platform's graphics, which static start-up cannot rely on) and kept to exit.
HGDIOBJ SystemFontHandle();
TBitmap& StockBitmap();
TCriticalSection& GraphicsLock();
