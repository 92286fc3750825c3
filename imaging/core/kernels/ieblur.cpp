// Gaussian blur, 3x3 gray filter and soft shadow. The blur runs a horizontal
// pass into a buffer of the rectangle and a vertical pass back into the
// picture; both passes work on whole rows, so they run rows in parallel with
// results identical to a column-by-column pass.
#include "imaging/core/kernels/ieblur.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "imaging/core/base/ieparallel.h"

namespace {

inline Byte* Row(TIEBitmap* B, Integer Y) { return static_cast<Byte*>(B->GetScanline(Y)); }

// The inclusive range A..B cut to 0..Last; false when nothing is left.
bool ClipRange(int64_t A, int64_t B, Integer Last, Integer& OutA, Integer& OutB) {
  A = std::max<int64_t>(A, 0);
  B = std::min<int64_t>(B, Last);
  if (A > B) return false;
  OutA = Integer(A);
  OutB = Integer(B);
  return true;
}

// Src repeated outwards by the half width into Pad (Count + 2h bytes), then
// convolved: the repeated end pixels are the edge weights folded in, and the
// tap loop needs no bounds tests.
void ConvolvePadded(const TIEGaussKernel& K, const Byte* Src, Byte* Dst, Integer Count, Byte* Pad) {
  const Integer h = K.HalfWidth;
  std::memset(Pad, Src[0], size_t(h));
  std::memcpy(Pad + h, Src, size_t(Count));
  std::memset(Pad + h + Count, Src[Count - 1], size_t(h));
  const int32_t* W = K.IntWeights + IEGaussMaxHalfWidth - h;
  const Integer taps = 2 * h + 1;
  for (Integer x = 0; x < Count; ++x) {
    const Byte* p = Pad + x;
    uint32_t s = 0x8000;
    for (Integer k = 0; k < taps; ++k) s += uint32_t(W[k]) * p[k];
    s >>= 16;
    Dst[x] = Byte(s > 255 ? 255 : s);
  }
}

bool Shareable(TIEBitmap* B) { return B->Location() != ieFile; }

}  // namespace

void IEBuildGaussianKernel(TIEGaussKernel& Kernel, double Radius) {
  std::fill(std::begin(Kernel.Weights), std::end(Kernel.Weights), 0.0);
  std::fill(std::begin(Kernel.IntWeights), std::end(Kernel.IntWeights), 0);
  Kernel.HalfWidth = 1;
  if (!(Radius > 0)) {
    Kernel.Weights[IEGaussMaxHalfWidth] = 1.0;
    Kernel.IntWeights[IEGaussMaxHalfWidth] = 65536;
    return;
  }
  double S = 0;
  for (Integer i = 0; i < IEGaussTapCount; ++i) {
    const double t = double(i - IEGaussMaxHalfWidth) / Radius;
    Kernel.Weights[i] = std::exp(-t * t / 2);
    S += Kernel.Weights[i];
  }
  for (Integer i = 0; i < IEGaussTapCount; ++i)
    Kernel.IntWeights[i] = int32_t(Round(Kernel.Weights[i] * 65536.0 / S));
  Integer h = IEGaussMaxHalfWidth;
  while (h > 1 && Kernel.IntWeights[IEGaussMaxHalfWidth + h] == 0 && Kernel.IntWeights[IEGaussMaxHalfWidth - h] == 0)
    --h;
  Kernel.HalfWidth = Byte(h);
}

void IEConvolveRow8(const TIEGaussKernel& Kernel, const Byte* Src, Byte* Dst, Integer Count) {
  if (Count <= 0) return;
  std::vector<Byte> pad(size_t(Count) + 2 * size_t(Kernel.HalfWidth));
  ConvolvePadded(Kernel, Src, Dst, Count, pad.data());
}

void IEGaussianBlurRect8(TIEBitmap* Bitmap, Integer x1, Integer y1, Integer x2, Integer y2, double Radius) {
  if (!Bitmap || Bitmap->PixelFormat() != ie8g || Bitmap->IsEmpty() || !(Radius > 0)) return;
  if (!ClipRange(x1, x2, Bitmap->Width() - 1, x1, x2) || !ClipRange(y1, y2, Bitmap->Height() - 1, y1, y2)) return;
  TIEGaussKernel K;
  IEBuildGaussianKernel(K, Radius);
  const Integer rw = x2 - x1 + 1, rh = y2 - y1 + 1, h = K.HalfWidth;
  const int64_t cost = int64_t(rw) * (2 * h + 1);
  const bool shareable = Shareable(Bitmap);
  std::vector<Byte> tmp(size_t(rw) * size_t(rh));

  {
    TIEAccessScope scope(Bitmap, ieaRead);
    IEParallelRows(
        rh, cost,
        [&](Integer First, Integer Last) {
          std::vector<Byte> pad(size_t(rw) + 2 * size_t(h));
          for (Integer y = First; y < Last; ++y)
            ConvolvePadded(K, Row(Bitmap, y1 + y) + x1, &tmp[size_t(y) * size_t(rw)], rw, pad.data());
        },
        nullptr, shareable);
  }

  // Columns: every output row sums the weighted rows of the buffer, the
  // rectangle's first and last rows repeating beyond its ends.
  TIEAccessScope scope(Bitmap, ieaRead | ieaWrite);
  const int32_t* W = K.IntWeights + IEGaussMaxHalfWidth - h;
  IEParallelRows(
      rh, cost,
      [&](Integer First, Integer Last) {
        std::vector<uint32_t> acc(static_cast<size_t>(rw));
        for (Integer y = First; y < Last; ++y) {
          std::fill(acc.begin(), acc.end(), 0x8000u);
          for (Integer k = -h; k <= h; ++k) {
            const uint32_t w = uint32_t(W[k + h]);
            if (w == 0) continue;
            const Integer r = std::clamp(y + k, 0, rh - 1);
            const Byte* src = &tmp[size_t(r) * size_t(rw)];
            for (Integer x = 0; x < rw; ++x) acc[size_t(x)] += w * src[x];
          }
          Byte* dst = Row(Bitmap, y1 + y) + x1;
          for (Integer x = 0; x < rw; ++x) {
            const uint32_t v = acc[size_t(x)] >> 16;
            dst[x] = Byte(v > 255 ? 255 : v);
          }
        }
      },
      nullptr, shareable);
}

void IEApplyFilter3x3Gray(TIEBitmap* Bitmap, const TIEFilter3x3& Filter, Integer x1, Integer y1, Integer x2,
                          Integer y2) {
  if (!Bitmap || Bitmap->PixelFormat() != ie8g || Bitmap->IsEmpty()) return;
  const Integer W = Bitmap->Width(), H = Bitmap->Height();
  if (!ClipRange(x1, x2, W - 1, x1, x2) || !ClipRange(y1, y2, H - 1, y1, y2)) return;
  // Products of each weight with every byte value; 64-bit so that no weight
  // of a filter record can overflow the sum.
  std::vector<int64_t> table(9 * 256);
  for (Integer k = 0; k < 9; ++k)
    for (Integer v = 0; v < 256; ++v) table[size_t(k) * 256 + size_t(v)] = int64_t(Filter.Values[k / 3][k % 3]) * v;
  const int64_t divisor = Filter.Divisor == 0 ? 1 : Filter.Divisor;
  const Integer rw = x2 - x1 + 1, rh = y2 - y1 + 1;
  std::vector<Byte> out(size_t(rw) * size_t(rh));
  // Neighbour columns x1 - 1 .. x2 + 1, those outside the picture repeating its edge.
  const Integer lx = std::max(x1 - 1, 0), rx = std::min(x2 + 1, W - 1);
  const Integer padLeft = x1 - 1 < 0 ? 1 : 0, padRight = x2 + 1 > W - 1 ? 1 : 0;

  {
    TIEAccessScope scope(Bitmap, ieaRead);
    IEParallelRows(
        rh, int64_t(rw) * 9,
        [&](Integer First, Integer Last) {
          std::vector<Byte> lines(3 * (size_t(rw) + 2));
          for (Integer y = First; y < Last; ++y) {
            const Integer py = y1 + y;
            for (Integer j = 0; j < 3; ++j) {
              Byte* line = &lines[size_t(j) * (size_t(rw) + 2)];
              const Byte* src = Row(Bitmap, std::clamp(py + j - 1, 0, H - 1));
              if (padLeft) line[0] = src[0];
              std::memcpy(line + padLeft, src + lx, size_t(rx - lx + 1));
              if (padRight) line[rw + 1] = src[W - 1];
            }
            const Byte* r0 = &lines[0];
            const Byte* r1 = r0 + rw + 2;
            const Byte* r2 = r1 + rw + 2;
            const int64_t* t = table.data();
            Byte* dst = &out[size_t(y) * size_t(rw)];
            for (Integer x = 0; x < rw; ++x) {
              const int64_t sum = t[r0[x]] + t[256 + r0[x + 1]] + t[512 + r0[x + 2]] + t[768 + r1[x]] +
                                  t[1024 + r1[x + 1]] + t[1280 + r1[x + 2]] + t[1536 + r2[x]] + t[1792 + r2[x + 1]] +
                                  t[2048 + r2[x + 2]];
              const int64_t v = (sum < 0 ? -sum : sum) / divisor;
              dst[x] = Byte(v < 0 ? 0 : (v > 255 ? 255 : v));
            }
          }
        },
        nullptr, Shareable(Bitmap));
  }
  TIEAccessScope scope(Bitmap, ieaRead | ieaWrite);
  for (Integer y = 0; y < rh; ++y) std::memcpy(Row(Bitmap, y1 + y) + x1, &out[size_t(y) * size_t(rw)], size_t(rw));
}

Integer IEAddSoftShadowRect(TIEBitmap* Bitmap, Integer OffsetX, Integer OffsetY, double Radius, Integer Intensity,
                            TRGB ShadowColor, Integer Left, Integer Top, Integer Right, Integer Bottom) {
  bool boxBlur = false;
  if (Radius == 0) {
    Radius = 2;
    boxBlur = true;
  }
  const int64_t reach = std::max(std::abs(int64_t(OffsetX)), std::abs(int64_t(OffsetY)));
  const int64_t m = std::clamp<int64_t>(2 * reach + Trunc(Radius * 5), 1, INT32_MAX);
  const Integer margin = Integer(m), h = margin / 2;
  if (!Bitmap || Bitmap->IsEmpty()) return margin;
  TIEBitmap* A = Bitmap->GetAlphaChannel();
  if (!A) return margin;
  A->SetFull(false);
  const Integer W = Bitmap->Width(), H = Bitmap->Height();

  // The composite area holds the blur area and where the offset moves it,
  // so the object's own alpha is kept for that area only. A rectangle that
  // lies wholly outside the picture touches nothing.
  Integer cx1, cy1, cx2, cy2;
  if (!ClipRange(int64_t(Left) - margin, int64_t(Right) + margin, W - 1, cx1, cx2) ||
      !ClipRange(int64_t(Top) - margin, int64_t(Bottom) + margin, H - 1, cy1, cy2))
    return margin;
  const Integer cw = cx2 - cx1 + 1, ch = cy2 - cy1 + 1;
  std::vector<Byte> saved(size_t(cw) * size_t(ch));
  {
    TIEAccessScope scope(A, ieaRead);
    for (Integer y = 0; y < ch; ++y) std::memcpy(&saved[size_t(y) * size_t(cw)], Row(A, cy1 + y) + cx1, size_t(cw));
  }

  Integer bx1, by1, bx2, by2;
  if (ClipRange(int64_t(Left) - h, int64_t(Right) + h, W - 1, bx1, bx2) &&
      ClipRange(int64_t(Top) - h, int64_t(Bottom) + h, H - 1, by1, by2)) {
    if (boxBlur) {
      static const TIEFilter3x3 kBoxBlur{{{1, 1, 1}, {1, 1, 1}, {1, 1, 1}}, 9};
      const TIEFilter3x3* f = IEGetPredefinedFilter(IEPredefinedFilterBlur);
      IEApplyFilter3x3Gray(A, f ? *f : kBoxBlur, bx1, by1, bx2, by2);
    } else {
      IEGaussianBlurRect8(A, bx1, by1, bx2, by2, Radius);
    }
    if (OffsetX != 0 || OffsetY != 0) {
      // Offsets that carry the area off the picture clear it; the clamp keeps
      // the destination in range without changing that.
      const Integer dx = Integer(std::clamp<int64_t>(int64_t(bx1) + OffsetX, -int64_t(W), W));
      const Integer dy = Integer(std::clamp<int64_t>(int64_t(by1) + OffsetY, -int64_t(H), H));
      A->MoveRect(bx1, by1, bx2, by2, dx, dy, 0);
    }
  }

  const double K = 3.0 - 2.0 * double(std::clamp(Intensity, 0, 100)) / 100.0;
  const double shadow[3] = {double(ShadowColor.b), double(ShadowColor.g), double(ShadowColor.r)};
  const TIEPixelFormat pf = Bitmap->PixelFormat();
  if (pf != ie24RGB && pf != ie1g) return margin;
  TIEAccessScope pixelScope(Bitmap, ieaRead | ieaWrite);
  TIEAccessScope alphaScope(A, ieaRead | ieaWrite);
  for (Integer y = 0; y < ch; ++y) {
    Byte* px = Row(Bitmap, cy1 + y);
    Byte* ar = Row(A, cy1 + y);
    const Byte* so = &saved[size_t(y) * size_t(cw)];
    for (Integer i = 0; i < cw; ++i) {
      const Integer x = cx1 + i;
      const Byte o = so[i], b = ar[x];
      if (pf == ie1g) {
        if (o != 0 || o == b)
          ar[x] = o;
        else
          px[x >> 3] &= Byte(~(0x80 >> (x & 7)));
        continue;
      }
      Byte* p = px + size_t(x) * 3;
      if (o != 0 || o == b) {
        if (o != 0 && o != 255) {
          const double M = b / 255.0, Q = o / 255.0;
          for (Integer c = 0; c < 3; ++c) {
            const double s = double(Trunc(M * shadow[c] + (1 - M) * p[c]));
            p[c] = Byte(Trunc(Q * p[c] + (1 - Q) * s));
          }
          ar[x] = Byte(Trunc((Q + M * (1 - Q)) * 255));
        } else {
          ar[x] = o;
        }
      } else {
        p[0] = ShadowColor.b;
        p[1] = ShadowColor.g;
        p[2] = ShadowColor.r;
        if (K != 1) ar[x] = Byte(Trunc(b / K));
      }
    }
  }
  return margin;
}
