// The thirty effects the transition engine draws itself, on the rows of its
// three 24-bit frames: blends and fades, wipes with an optional red edge,
// slides, pushes, random points and boxes, and the centre wipes and zooms.
// Weights are 10-bit (step and 1024 - step, shifted right by 10).
#include <algorithm>
#include <cstring>

#include "imaging/core/base/ieutils.h"
#include "imaging/view/ietransitions.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/gdi.h"

namespace ietrans_builtin {
namespace {

struct TFrames {
  Byte* const* From;
  Byte* const* To;
  Byte* const* Frame;
  Integer W, H;
};

// Copies the W x H area of Src at (SX, SY) to Dst at (DX, DY), cut to the
// frame on both sides: the effects' rounded extents may reach one pixel
// past the edge, and the slides start far outside it.
void CopyBlock(const TFrames& F, Byte* const* Dst, Byte* const* Src, int64_t SX, int64_t SY, int64_t W, int64_t H,
               int64_t DX, int64_t DY) {
  if (SX < 0) { W += SX; DX -= SX; SX = 0; }
  if (SY < 0) { H += SY; DY -= SY; SY = 0; }
  if (DX < 0) { W += DX; SX -= DX; DX = 0; }
  if (DY < 0) { H += DY; SY -= DY; DY = 0; }
  W = std::min({W, F.W - SX, F.W - DX});
  H = std::min({H, F.H - SY, F.H - DY});
  if (W <= 0 || H <= 0) return;
  for (int64_t y = 0; y < H; ++y)
    std::memmove(Dst[DY + y] + DX * 3, Src[SY + y] + SX * 3, static_cast<size_t>(W) * 3);
}

void CopyAll(const TFrames& F, Byte* const* Src) { CopyBlock(F, F.Frame, Src, 0, 0, F.W, F.H, 0, 0); }

// Pixels of a pen line in pure red; the line's last point is not drawn, so
// a vertical line from (X, 0) to (X, H) covers rows 0 .. H - 1. The line
// marks a moving edge: before the wipe starts and once it is complete
// there is none, so the first frame is the start picture and the last the
// end picture.
void RedColumn(const TFrames& F, Integer X, Integer S) {
  if (X < 0 || X >= F.W || S <= 0 || S >= 1024) return;
  for (Integer y = 0; y < F.H; ++y) {
    Byte* p = F.Frame[y] + X * 3;
    p[0] = 0;
    p[1] = 0;
    p[2] = 255;
  }
}

void RedRow(const TFrames& F, Integer Y, Integer S) {
  if (Y < 0 || Y >= F.H || S <= 0 || S >= 1024) return;
  Byte* p = F.Frame[Y];
  for (Integer x = 0; x < F.W; ++x, p += 3) {
    p[0] = 0;
    p[1] = 0;
    p[2] = 255;
  }
}

void CrossFade(const TFrames& F, Integer S) {
  const uint32_t a = static_cast<uint32_t>(1024 - S), b = static_cast<uint32_t>(S);
  const size_t n = static_cast<size_t>(F.W) * 3;
  for (Integer y = 0; y < F.H; ++y) {
    const Byte* f = F.From[y];
    const Byte* t = F.To[y];
    Byte* d = F.Frame[y];
    for (size_t i = 0; i < n; ++i) d[i] = static_cast<Byte>((f[i] * a + t[i] * b) >> 10);
  }
}

// Src blended with the background: Src weighs SrcWeight of 1024.
void FadeWithBackground(const TFrames& F, Byte* const* Src, Integer SrcWeight, TColor Bg) {
  const uint32_t ws = static_cast<uint32_t>(SrcWeight), wb = static_cast<uint32_t>(1024 - SrcWeight);
  const uint32_t bg[3] = {((Bg >> 16) & 255) * wb, ((Bg >> 8) & 255) * wb, (Bg & 255) * wb};
  for (Integer y = 0; y < F.H; ++y) {
    const Byte* s = Src[y];
    Byte* d = F.Frame[y];
    for (Integer x = 0; x < F.W; ++x, s += 3, d += 3) {
      d[0] = static_cast<Byte>((bg[0] + s[0] * ws) >> 10);
      d[1] = static_cast<Byte>((bg[1] + s[1] * ws) >> 10);
      d[2] = static_cast<Byte>((bg[2] + s[2] * ws) >> 10);
    }
  }
}

// Every row of the frame in two pieces: columns 0 .. C - 1 from A starting
// at column AX, columns C .. W - 1 from B starting at its column 0.
void SplitColumns(const TFrames& F, Byte* const* A, Integer AX, Byte* const* B, Integer C) {
  C = std::clamp(C, 0, F.W);
  for (Integer y = 0; y < F.H; ++y) {
    std::memcpy(F.Frame[y], A[y] + AX * 3, static_cast<size_t>(C) * 3);
    std::memcpy(F.Frame[y] + C * 3, B[y], static_cast<size_t>(F.W - C) * 3);
  }
}

// Frame row i below C is row AY + i of A; from C on it is row BY + i of B.
void SplitRows(const TFrames& F, Byte* const* A, Integer AY, Byte* const* B, Integer BY, Integer C) {
  C = std::clamp(C, 0, F.H);
  const size_t n = static_cast<size_t>(F.W) * 3;
  for (Integer i = 0; i < F.H; ++i) {
    if (i < C) std::memcpy(F.Frame[i], A[AY + i], n);
    else std::memcpy(F.Frame[i], B[BY + i], n);
  }
}

inline Integer Shr10(int64_t V) { return static_cast<Integer>(V >> 10); }
inline Integer RoundDiv1024(int64_t V) { return static_cast<Integer>(Round(static_cast<double>(V) / 1024)); }

void RandomPoints(TIETransitionEffects& E, const TFrames& F, Integer S) {
  if (S == 0) {
    CopyAll(F, F.From);
    return;
  }
  const int64_t total = static_cast<int64_t>(Round(static_cast<double>(int64_t(F.W) * S) * (S / 180.0) / 1024));
  const int64_t fresh = std::max<int64_t>(total - E.RandomDone(), 0);
  E.RandomDone() = static_cast<Integer>(total);
  for (Integer y = 0; y < F.H; ++y) {
    const Byte* t = F.To[y];
    Byte* d = F.Frame[y];
    for (int64_t k = 0; k < fresh; ++k) {
      const Integer x = IERandom(F.W) * 3;
      d[x] = t[x];
      d[x + 1] = t[x + 1];
      d[x + 2] = t[x + 2];
    }
  }
}

void RandomBoxes(TIETransitionEffects& E, const TFrames& F, Integer S) {
  if (S == 0) {
    CopyAll(F, F.From);
    return;
  }
  const int64_t area64 = (int64_t(F.W) * F.H) / 64;
  const int64_t total = static_cast<int64_t>(Round(static_cast<double>(S * area64) * (S / 180.0) / 1024));
  const int64_t fresh = std::max<int64_t>(total - E.RandomDone(), 0);
  E.RandomDone() = static_cast<Integer>(total);
  for (int64_t k = 0; k < fresh; ++k) {
    const Integer x = IERandom(F.W) & ~7;  // x is drawn before y
    const Integer y = IERandom(F.H) & ~7;
    CopyBlock(F, F.Frame, F.To, x, y, 8, 8, x, y);
  }
}

// The whole of Src stretched into the frame rectangle (X, Y, W, H).
void StretchInto(TIETransitionEffects& E, TBitmap* Src, Integer X, Integer Y, Integer W, Integer H) {
  if (W <= 0 || H <= 0) return;
  HDC dc = E.FrameBitmap()->Canvas()->Handle();
  SetStretchBltMode(dc, HALFTONE);
  StretchBlt(dc, X, Y, W, H, Src->Canvas()->Handle(), 0, 0, E.Width(), E.Height(), SRCCOPY);
}

}  // namespace
}  // namespace ietrans_builtin

void IEDrawBuiltinTransition(TIETransitionEffects& E, Integer Type, Integer S) {
  using namespace ietrans_builtin;
  const TFrames F{E.FromRows(), E.ToRows(), E.FrameRows(), E.Width(), E.Height()};
  if (F.W <= 0 || F.H <= 0 || !F.From || !F.To || !F.Frame) return;
  S = std::clamp(S, 0, 1024);
  const Integer W = F.W, H = F.H, r = 1024 - S;
  // Centre rectangle of progress T: its corner and size.
  auto cx = [&](Integer T) { return W / 2 - Shr10(int64_t(T) * (W / 2)); };
  auto cy = [&](Integer T) { return H / 2 - Shr10(int64_t(T) * (H / 2)); };
  auto startCopy = [&] {
    if (S == 0) CopyAll(F, F.From);
  };
  switch (Type) {
    case iettCrossDissolve: CrossFade(F, S); break;
    case iettFadeOut: FadeWithBackground(F, F.From, r, E.BackgroundRGB()); break;
    case iettFadeIn: FadeWithBackground(F, F.To, S, E.BackgroundRGB()); break;
    case iettFadeOutIn:
      if (S < 512) FadeWithBackground(F, F.From, 1024 - 2 * S, E.BackgroundRGB());
      else FadeWithBackground(F, F.To, 2 * S - 1024, E.BackgroundRGB());
      break;
    case iettLeftRight1:
    case iettLeftRight2: {
      startCopy();
      const Integer x = Shr10(int64_t(S) * W);
      CopyBlock(F, F.Frame, F.To, 0, 0, x, H, 0, 0);
      if (Type == iettLeftRight2) RedColumn(F, x, S);
      break;
    }
    case iettRightLeft1:
    case iettRightLeft2: {
      startCopy();
      const Integer x = RoundDiv1024(int64_t(W) * r);
      CopyBlock(F, F.Frame, F.To, x, 0, RoundDiv1024(int64_t(S) * W), H, x, 0);
      if (Type == iettRightLeft2) RedColumn(F, x, S);
      break;
    }
    case iettUpDown1:
    case iettUpDown2: {
      startCopy();
      const Integer y = RoundDiv1024(int64_t(S) * H);
      CopyBlock(F, F.Frame, F.To, 0, 0, W, y, 0, 0);
      if (Type == iettUpDown2) RedRow(F, y, S);
      break;
    }
    case iettDownUp1:
    case iettDownUp2: {
      startCopy();
      const Integer y = RoundDiv1024(int64_t(H) * r);
      CopyBlock(F, F.Frame, F.To, 0, y, W, RoundDiv1024(int64_t(S) * H), 0, y);
      if (Type == iettDownUp2) RedRow(F, y, S);
      break;
    }
    case iettFromUpLeft:
    case iettFromUpRight:
    case iettFromBottomLeft:
    case iettFromBottomRight: {
      startCopy();
      const Integer dx = Shr10(int64_t(r) * W), dy = Shr10(int64_t(r) * H);
      const bool right = Type == iettFromUpRight || Type == iettFromBottomRight;
      const bool bottom = Type == iettFromBottomLeft || Type == iettFromBottomRight;
      CopyBlock(F, F.Frame, F.To, 0, 0, W, H, right ? dx : -dx, bottom ? dy : -dy);
      break;
    }
    case iettMoveLeftRight1: {
      const Integer c = Shr10(int64_t(S) * W);
      SplitColumns(F, F.To, W - c, F.From, c);
      break;
    }
    case iettMoveLeftRight2: {
      const Integer c = Shr10(int64_t(S) * W);
      SplitColumns(F, F.To, 0, F.From, c);
      break;
    }
    case iettMoveRightLeft1: {
      const Integer c = Shr10(int64_t(r) * W);
      SplitColumns(F, F.From, W - c, F.To, c);
      break;
    }
    case iettMoveRightLeft2: {
      const Integer c = Shr10(int64_t(r) * W);
      SplitColumns(F, F.From, 0, F.To, c);
      break;
    }
    case iettMoveUpDown1: {
      const Integer c = Shr10(int64_t(S) * H);
      SplitRows(F, F.To, H - c, F.From, -c, c);
      break;
    }
    case iettMoveUpDown2: {
      const Integer c = Shr10(int64_t(S) * H);
      SplitRows(F, F.To, 0, F.From, -c, c);
      break;
    }
    case iettMoveDownUp1: {
      const Integer c = Shr10(int64_t(r) * H);
      SplitRows(F, F.From, H - c, F.To, -c, c);
      break;
    }
    case iettMoveDownUp2: {
      const Integer c = Shr10(int64_t(H) * r);
      SplitRows(F, F.From, H - c, F.To, 0, c);
      break;
    }
    case iettRandomPoints: RandomPoints(E, F, S); break;
    case iettRandomBoxes: RandomBoxes(E, F, S); break;
    case iettCenter1:
      startCopy();
      CopyBlock(F, F.Frame, F.To, cx(S), cy(S), Shr10(int64_t(S) * W), Shr10(int64_t(S) * H), cx(S), cy(S));
      break;
    case iettCenter2:
      CopyAll(F, F.To);
      CopyBlock(F, F.Frame, F.From, cx(r), cy(r), Shr10(int64_t(r) * W), Shr10(int64_t(r) * H), cx(r), cy(r));
      break;
    case iettCenterZoom1:
      startCopy();
      StretchInto(E, E.ToBitmap(), cx(S), cy(S), Shr10(int64_t(S) * W), Shr10(int64_t(S) * H));
      break;
    case iettCenterZoom2:
      CopyAll(F, F.To);
      StretchInto(E, E.FromBitmap(), cx(r), cy(r), Shr10(int64_t(r) * W), Shr10(int64_t(r) * H));
      break;
    default: break;
  }
}
