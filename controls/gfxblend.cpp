// The plain pixel routines and their start-up binding. Two channels are
// worked at once in one 32-bit value (masks 0x00FF00FF and 0xFF00FF00), so
// the row loops stay branch-light and the compiler can vectorise them.
#include "controls/gfxblend.h"

#include <cmath>
#include <memory>

#include "platform/base/threads.h"
#include "platform/graphics/bitmap.h"

namespace gfxblend_plain {

namespace {

constexpr Cardinal LowMask = 0x00FF00FFu;
constexpr Cardinal HighMask = 0xFF00FF00u;
constexpr Cardinal Bias = 0x00800080u;

// (c * W + 128) shr 8 for all four channels; W at most 255 keeps every
// product inside its 16-bit lane.
inline Cardinal Scale(Cardinal C, Cardinal W) {
  const Cardinal Low = (((C & LowMask) * W + Bias) >> 8) & LowMask;
  const Cardinal High = ((((C & HighMask) >> 8) * W + Bias)) & HighMask;
  return Low | High;
}

// Both parts together never pass 255 in a channel (floor(a) + floor(b) <=
// floor(a + b) with a + b below 255.004), so the sum cannot carry.
inline Cardinal Mix(Cardinal X, Cardinal Y, Cardinal W) { return Scale(X, W) + Scale(Y, 255 - W); }

inline Cardinal AlphaOf(Cardinal C) { return C >> 24; }

inline Cardinal ScaledWeight(Cardinal Fa, Cardinal M) { return (Fa * (M + 1)) >> 8; }

inline Cardinal Channel(Cardinal C, int Shift) { return (C >> Shift) & 0xFF; }

}  // namespace

TColor32 CombineColor(TColor32 X, TColor32 Y, Cardinal W) {
  if (W == 0) return Y;
  if (W >= 255) return X;
  return Mix(X, Y, W);
}

void CombineInto(TColor32 X, TColor32& Y, Cardinal W) {
  if (W == 0) return;
  Y = W >= 255 ? X : Mix(X, Y, W);
}

TColor32 BlendColor(TColor32 F, TColor32 B) {
  const Cardinal Fa = AlphaOf(F);
  if (Fa == 255) return F;
  if (Fa == 0) return B;
  return Mix(F, B, Fa);
}

void BlendInto(TColor32 F, TColor32& B) { B = BlendColor(F, B); }

TColor32 BlendColorScaled(TColor32 F, TColor32 B, Cardinal M) {
  const Cardinal W = ScaledWeight(AlphaOf(F), M);
  if (W == 0) return B;
  if (W >= 255) return F;
  return Mix(F, B, W);
}

void BlendIntoScaled(TColor32 F, TColor32& B, Cardinal M) { B = BlendColorScaled(F, B, M); }

void BlendRow(const TColor32* Src, TColor32* Dst, Integer Count) {
  for (Integer I = 0; I < Count; ++I) Dst[I] = BlendColor(Src[I], Dst[I]);
}

void BlendRowScaled(const TColor32* Src, TColor32* Dst, Integer Count, Cardinal M) {
  for (Integer I = 0; I < Count; ++I) Dst[I] = BlendColorScaled(Src[I], Dst[I], M);
}

namespace {

// x div 255 for 0 <= x <= 65025, without a division.
inline Integer Div255(Integer X) { return (X + 1 + (X >> 8)) >> 8; }

// 65536 div Ra for every union alpha Ra (at least 1 where it is used).
struct TReciprocals {
  Integer Q[256];
  constexpr TReciprocals() : Q() {
    Q[0] = 0;
    for (int I = 1; I < 256; ++I) Q[I] = 65536 / I;
  }
};
constexpr TReciprocals Reciprocal;

// F over B for 0 < Fa < 255 and Ba > 0. Ra >= Fa >= 1, so Q is defined.
// Per channel, with B' = Ba * Bc shr 8, the blend B' + (Fa * (Fc - B') sar 8)
// equals ((256 - Fa) * B' + Fa * Fc) shr 8, which is never negative and stays
// below 65536, so red and blue share one 32-bit value.
inline TColor32 MergeParts(TColor32 F, Cardinal Fa, TColor32 B, Cardinal Ba) {
  const Cardinal Ra = Fa + Ba - static_cast<Cardinal>(Div255(static_cast<Integer>(Ba * Fa)));
  const Cardinal Q = static_cast<Cardinal>(Reciprocal.Q[Ra]);
  const Cardinal BRB = (((B & LowMask) * Ba) >> 8) & LowMask;
  const Cardinal BG = (((B >> 8) & 0xFF) * Ba) >> 8;
  const Cardinal XRB = (((256 - Fa) * BRB + Fa * (F & LowMask)) >> 8) & LowMask;
  const Cardinal XG = ((256 - Fa) * BG + Fa * ((F >> 8) & 0xFF)) >> 8;
  return (Ra << 24) | ((((Q * (XRB >> 16)) >> 8) & 0xFF) << 16) | ((((Q * XG) >> 8) & 0xFF) << 8) |
         (((Q * (XRB & 0xFF)) >> 8) & 0xFF);
}

}  // namespace

TColor32 MergeColor(TColor32 F, TColor32 B) {
  const Cardinal Fa = AlphaOf(F);
  const Cardinal Ba = AlphaOf(B);
  if (Fa == 255) return F;
  if (Fa == 0) return B;
  if (Ba == 0) return F;
  return MergeParts(F, Fa, B, Ba);
}

void MergeInto(TColor32 F, TColor32& B) { B = MergeColor(F, B); }

TColor32 MergeWithWeight(TColor32 X, TColor32 Y, Cardinal W) {
  return MergeColor((X & 0x00FFFFFFu) | ((W & 0xFF) << 24), Y);
}

void MergeIntoWithWeight(TColor32 X, TColor32& Y, Cardinal W) { Y = MergeWithWeight(X, Y, W); }

TColor32 MergeColorScaled(TColor32 F, TColor32 B, Cardinal M) {
  const Cardinal Fa = AlphaOf(F);
  if (Fa == 255) {
    if (M == 255) return F;
    if (M == 0) return B;
  }
  if (Fa == 0) return B;
  const Cardinal Weighted = (M * Fa / 255) & 0xFF;
  const TColor32 F2 = (F & 0x00FFFFFFu) | (Weighted << 24);
  if (Weighted == 255 || AlphaOf(B) == 0) return F2;
  return MergeColor(F2, B);
}

void MergeIntoScaled(TColor32 F, TColor32& B, Cardinal M) { B = MergeColorScaled(F, B, M); }

void MergeRow(const TColor32* Src, TColor32* Dst, Integer Count) {
  for (Integer I = 0; I < Count; ++I) Dst[I] = MergeColor(Src[I], Dst[I]);
}

void MergeRowScaled(const TColor32* Src, TColor32* Dst, Integer Count, Cardinal M) {
  for (Integer I = 0; I < Count; ++I) Dst[I] = MergeColorScaled(Src[I], Dst[I], M);
}

// ---------------------------------------------------------------- colour algebra

namespace {

template <class TOp>
inline TColor32 PerChannel(TColor32 A, TColor32 B, TOp Op) {
  TColor32 Result = 0;
  for (int Shift = 0; Shift < 32; Shift += 8) {
    Integer V = Op(static_cast<Integer>(Channel(A, Shift)), static_cast<Integer>(Channel(B, Shift)));
    V = V < 0 ? 0 : (V > 255 ? 255 : V);
    Result |= static_cast<Cardinal>(V) << Shift;
  }
  return Result;
}

}  // namespace

TColor32 AddColors(TColor32 A, TColor32 B) {
  return PerChannel(A, B, [](Integer X, Integer Y) { return X + Y; });
}
TColor32 SubtractColors(TColor32 A, TColor32 B) {
  return PerChannel(A, B, [](Integer X, Integer Y) { return X - Y; });
}
TColor32 DivideColors(TColor32 A, TColor32 B) {
  return PerChannel(A, B, [](Integer X, Integer Y) { return X == 0 ? 255 : (Y * 256) / X; });
}
TColor32 ModulateColors(TColor32 A, TColor32 B) {
  return PerChannel(A, B, [](Integer X, Integer Y) { return (X * Y) >> 8; });
}
TColor32 MaxColors(TColor32 A, TColor32 B) {
  return PerChannel(A, B, [](Integer X, Integer Y) { return X > Y ? X : Y; });
}
TColor32 MinColors(TColor32 A, TColor32 B) {
  return PerChannel(A, B, [](Integer X, Integer Y) { return X < Y ? X : Y; });
}
TColor32 DifferenceColors(TColor32 A, TColor32 B) {
  return PerChannel(A, B, [](Integer X, Integer Y) { return X > Y ? X - Y : Y - X; });
}
TColor32 ExclusionColors(TColor32 A, TColor32 B) {
  return PerChannel(A, B, [](Integer X, Integer Y) { return X + Y - (X * Y) / 128; });
}

// ---------------------------------------------------------------- sampling

// 64-bit sums and a rounded division: a fixed-point reciprocal of the pixel
// count would round every mean down and vanish above 2^24 pixels.
TColor32 AverageBlock(Integer Count, Integer Rows, const void* Src, Integer RowStride) {
  if (Count < 1 || Rows < 1 || !Src) return 0;
  uint64_t Sum[4] = {0, 0, 0, 0};
  const auto* Row = static_cast<const Byte*>(Src);
  for (Integer Y = 0; Y < Rows; ++Y, Row += static_cast<int64_t>(RowStride)) {
    const auto* P = reinterpret_cast<const TColor32*>(Row);
    for (Integer X = 0; X < Count; ++X) {
      const TColor32 C = P[X];
      Sum[0] += C & 0xFF;
      Sum[1] += (C >> 8) & 0xFF;
      Sum[2] += (C >> 16) & 0xFF;
      Sum[3] += C >> 24;
    }
  }
  const uint64_t N = static_cast<uint64_t>(Count) * static_cast<uint64_t>(Rows);
  TColor32 Result = 0;
  for (int C = 0; C < 4; ++C) Result |= static_cast<Cardinal>((Sum[C] + N / 2) / N) << (8 * C);
  return Result;
}

TColor32 InterpolateBytes(Cardinal WX, Cardinal WY, const TColor32* TopPair, const TColor32* BottomPair) {
  if (WX > 255) WX = 255;
  if (WY > 255) WY = 255;
  const TColor32 Bottom = CombineColor(BottomPair[0], BottomPair[1], WX);
  const TColor32 Top = CombineColor(TopPair[0], TopPair[1], WX);
  return CombineColor(Top, Bottom, WY);
}

TColor32 InterpolateFixed(Cardinal WX, Cardinal WY, const TColor32* TopPair, const TColor32* BottomPair) {
  return InterpolateBytes(WX >> 16, WY >> 16, TopPair, BottomPair);
}

}  // namespace gfxblend_plain

// ---------------------------------------------------------------- binding

// Bound to the plain variants on every processor: the processor-specific
// forms round differently (no shortcuts at 0 and 255, 65535 in place of
// 65536 in merge), and one result everywhere matters more than their speed.
TCombineColorProc CombineColor = gfxblend_plain::CombineColor;
TCombineIntoProc CombineInto = gfxblend_plain::CombineInto;
TBlendColorProc BlendColor = gfxblend_plain::BlendColor;
TBlendIntoProc BlendInto = gfxblend_plain::BlendInto;
TBlendColorScaledProc BlendColorScaled = gfxblend_plain::BlendColorScaled;
TBlendIntoScaledProc BlendIntoScaled = gfxblend_plain::BlendIntoScaled;
TBlendRowProc BlendRow = gfxblend_plain::BlendRow;
TBlendRowScaledProc BlendRowScaled = gfxblend_plain::BlendRowScaled;
TCombineColorProc MergeWithWeight = gfxblend_plain::MergeWithWeight;
TCombineIntoProc MergeIntoWithWeight = gfxblend_plain::MergeIntoWithWeight;
TBlendColorProc MergeColor = gfxblend_plain::MergeColor;
TBlendIntoProc MergeInto = gfxblend_plain::MergeInto;
TBlendColorScaledProc MergeColorScaled = gfxblend_plain::MergeColorScaled;
TBlendIntoScaledProc MergeIntoScaled = gfxblend_plain::MergeIntoScaled;
TBlendRowProc MergeRow = gfxblend_plain::MergeRow;
TBlendRowScaledProc MergeRowScaled = gfxblend_plain::MergeRowScaled;

TBlendOps BlendOpsByMode[2] = {
    {gfxblend_plain::BlendColor, gfxblend_plain::BlendInto, gfxblend_plain::CombineColor,
     gfxblend_plain::CombineInto, gfxblend_plain::BlendColorScaled, gfxblend_plain::BlendIntoScaled,
     gfxblend_plain::BlendRow, gfxblend_plain::BlendRowScaled},
    {gfxblend_plain::MergeColor, gfxblend_plain::MergeInto, gfxblend_plain::MergeWithWeight,
     gfxblend_plain::MergeIntoWithWeight, gfxblend_plain::MergeColorScaled, gfxblend_plain::MergeIntoScaled,
     gfxblend_plain::MergeRow, gfxblend_plain::MergeRowScaled},
};

TColorAlgebraProc AddColors = gfxblend_plain::AddColors;
TColorAlgebraProc SubtractColors = gfxblend_plain::SubtractColors;
TColorAlgebraProc DivideColors = gfxblend_plain::DivideColors;
TColorAlgebraProc ModulateColors = gfxblend_plain::ModulateColors;
TColorAlgebraProc MaxColors = gfxblend_plain::MaxColors;
TColorAlgebraProc MinColors = gfxblend_plain::MinColors;
TColorAlgebraProc DifferenceColors = gfxblend_plain::DifferenceColors;
TColorAlgebraProc ExclusionColors = gfxblend_plain::ExclusionColors;

TAverageBlockProc AverageBlock = gfxblend_plain::AverageBlock;
TInterpolateProc InterpolateFixed = gfxblend_plain::InterpolateFixed;
TInterpolateProc InterpolateBytes = gfxblend_plain::InterpolateBytes;

// ---------------------------------------------------------------- gamma and shared objects

Byte GammaTable[256];

void SetGamma(double Gamma) {
  for (int I = 0; I < 256; ++I) GammaTable[I] = static_cast<Byte>(Round(std::pow(I / 255.0, Gamma) * 255.0));
}

namespace {

struct TGfxStartUp {
  TGfxStartUp() { SetGamma(0.7); }
};
const TGfxStartUp GfxStartUp;

}  // namespace

HGDIOBJ SystemFontHandle() { return GetStockObject(SYSTEM_FONT); }

TBitmap& StockBitmap() {
  static const std::unique_ptr<TBitmap> Bitmap = [] {
    auto B = std::make_unique<TBitmap>();
    B->SetSize(8, 8);
    return B;
  }();
  return *Bitmap;
}

TCriticalSection& GraphicsLock() {
  static TCriticalSection Lock;
  return Lock;
}
