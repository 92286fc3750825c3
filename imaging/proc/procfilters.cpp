// Neighbourhood filters: the user's 3x3 convolution and its file, the
// separable Gaussian blur of 8 and 24-bit pictures, and the morphological
// filter that spreads the darkest or lightest pixel of a window.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "imaging/core/base/iestartup.h"  // grey weights
#include "imaging/proc/procrows.h"
#include "imaging/proc/ziduzuvproc.h"
#include "platform/base/classes.h"

namespace {

constexpr Byte kFilterHeader[3] = {1, 3, 3};

// Convolves Count pixels of N bytes with the kernel, the end pixels
// standing in for the taps outside the row.
template <int N>
void ConvolveRow(const TIEGaussKernel& K, const Byte* Src, Byte* Dst, Integer Count, std::vector<Byte>& Pad) {
  const Integer h = K.HalfWidth;
  Pad.resize(static_cast<size_t>(Count + 2 * h) * N);
  for (Integer i = 0; i < h; ++i)
    for (int c = 0; c < N; ++c) {
      Pad[static_cast<size_t>(i) * N + c] = Src[c];
      Pad[static_cast<size_t>(Count + h + i) * N + c] = Src[static_cast<size_t>(Count - 1) * N + c];
    }
  std::memcpy(&Pad[static_cast<size_t>(h) * N], Src, static_cast<size_t>(Count) * N);
  const int32_t* w = K.IntWeights + IEGaussMaxHalfWidth - h;
  for (Integer x = 0; x < Count; ++x) {
    const Byte* p = &Pad[static_cast<size_t>(x) * N];
    for (int c = 0; c < N; ++c) {
      int64_t sum = 0x8000;
      for (Integer k = 0; k <= 2 * h; ++k) sum += static_cast<int64_t>(w[k]) * p[static_cast<size_t>(k) * N + c];
      Dst[static_cast<size_t>(x) * N + c] = static_cast<Byte>(std::clamp<int64_t>(sum >> 16, 0, 255));
    }
  }
}

template <int N>
void GaussianBlur(TIEBitmap* Bitmap, const TIEGaussKernel& K, TObject* Sender, const TIEProgressEvent& OnProgress) {
  const Integer W = Bitmap->Width(), H = Bitmap->Height(), h = K.HalfWidth;
  const size_t rowBytes = static_cast<size_t>(W) * N;
  // The horizontal pass writes into a copy of the whole picture, which the
  // vertical pass then reads whole columns from.
  std::vector<Byte> plane(rowBytes * static_cast<size_t>(H));
  std::vector<Byte> pad;
  for (Integer y = 0; y < H; ++y) {
    ConvolveRow<N>(K, static_cast<const Byte*>(Bitmap->GetScanline(y)), &plane[rowBytes * static_cast<size_t>(y)], W,
                   pad);
    if (OnProgress) OnProgress(Sender, static_cast<Integer>(Trunc(static_cast<double>(y) * 100 / (H + W))));
  }
  // The vertical pass runs row by row: each output row sums the weighted
  // rows of the copy, the first and last rows repeating beyond the ends,
  // which is the column convolution computed in a cache-friendly order.
  const int32_t* w = K.IntWeights + IEGaussMaxHalfWidth - h;
  std::vector<int64_t> acc(rowBytes);
  for (Integer y = 0; y < H; ++y) {
    std::fill(acc.begin(), acc.end(), 0x8000);
    for (Integer k = -h; k <= h; ++k) {
      const Integer sy = std::clamp(y + k, 0, H - 1);
      const Byte* s = &plane[rowBytes * static_cast<size_t>(sy)];
      const int64_t wk = w[k + h];
      for (size_t i = 0; i < rowBytes; ++i) acc[i] += wk * s[i];
    }
    Byte* d = static_cast<Byte*>(Bitmap->GetScanline(y));
    for (size_t i = 0; i < rowBytes; ++i) d[i] = static_cast<Byte>(std::clamp<int64_t>(acc[i] >> 16, 0, 255));
    if (OnProgress)
      OnProgress(Sender, static_cast<Integer>(Trunc((H + static_cast<double>(y) * W / H) * 100 / (H + W))));
  }
}

}  // namespace

void IEApplyFilter3x3(TIEBitmap* Bitmap, const TIEFilter3x3& Filter, const TIEProgressEvent& OnProgress,
                      TObject* Sender, Integer x1, Integer y1, Integer x2, Integer y2) {
  if (!Bitmap || Bitmap->PixelFormat() != ie24RGB || Bitmap->IsEmpty()) return;
  TIERowClip c(Bitmap, x1, y1, x2, y2);
  if (c.x2 <= c.x1 || c.y2 <= c.y1) return;
  // Weights and divisor come from users' files: every sum is taken in 64
  // bits, where nine products of 32-bit weights and bytes cannot overflow.
  const int64_t divisor = Filter.Divisor == 0 ? 1 : Filter.Divisor;
  int64_t table[9][256];
  for (int k = 0; k < 9; ++k)
    for (int v = 0; v < 256; ++v) table[k][v] = static_cast<int64_t>(Filter.Values[k / 3][k % 3]) * v;
  const Integer W = Bitmap->Width(), H = Bitmap->Height();
  TIEBitmap result;
  if (!result.Allocate(c.x2 - c.x1, c.y2 - c.y1, ie24RGB)) return;
  for (Integer y = c.y1; y < c.y2; ++y) {
    const Byte* rows[3] = {static_cast<const Byte*>(Bitmap->MapRow(std::max(y - 1, 0))),
                           static_cast<const Byte*>(Bitmap->MapRow(y)),
                           static_cast<const Byte*>(Bitmap->MapRow(std::min(y + 1, H - 1)))};
    Byte* d = static_cast<Byte*>(result.GetScanline(y - c.y1));
    for (Integer x = c.x1; x < c.x2; ++x) {
      const Integer xs[3] = {std::max(x - 1, 0), x, std::min(x + 1, W - 1)};
      for (int ch = 0; ch < 3; ++ch) {
        int64_t sum = 0;
        for (int r = 0; r < 3; ++r)
          for (int q = 0; q < 3; ++q) sum += table[3 * r + q][rows[r][3 * xs[q] + ch]];
        // A negative sum counts by its magnitude.
        const int64_t v = (sum < 0 ? -sum : sum) / divisor;
        d[3 * (x - c.x1) + ch] = static_cast<Byte>(std::clamp<int64_t>(v, 0, 255));
      }
    }
    Bitmap->ReleaseMappedRows();
    IEReportRow(OnProgress, Sender, y - c.y1 + 1, c.y2 - c.y1);
  }
  result.CopyRectTo(Bitmap, 0, 0, c.x1, c.y1, c.x2 - c.x1, c.y2 - c.y1);
}

bool IELoadFilterFromFile(const WideString& FileName, TIEFilter3x3& Filter) {
  TFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
  Byte head[3] = {0, 0, 0};
  if (f.Read(head, 3) != 3 || std::memcmp(head, kFilterHeader, 3) != 0) return false;
  // A short body would leave a record half old and half new: it is read
  // aside and taken only whole.
  TIEFilter3x3 read;
  if (f.Read(&read, sizeof(read)) != static_cast<int64_t>(sizeof(read))) return false;
  Filter = read;
  return true;
}

void IESaveFilterToFile(const WideString& FileName, const TIEFilter3x3& Filter) {
  TFileStream f(FileName, fmCreate);
  f.WriteBuffer(kFilterHeader, 3);
  f.WriteBuffer(&Filter, sizeof(Filter));
}

void IEConvolveRow24(const TIEGaussKernel& Kernel, const Byte* Src, Byte* Dst, Integer Count) {
  if (Count <= 0) return;
  std::vector<Byte> pad;
  ConvolveRow<3>(Kernel, Src, Dst, Count, pad);
}

void IEGaussianBlur(TIEBitmap* Bitmap, TObject* Sender, const TIEProgressEvent& OnProgress, double Radius) {
  if (!Bitmap || Bitmap->IsEmpty() || !(Radius > 0)) return;
  if (Bitmap->PixelFormat() != ie8g && Bitmap->PixelFormat() != ie24RGB) return;
  TIEGaussKernel k;
  IEBuildGaussianKernel(k, Radius);
  if (Bitmap->PixelFormat() == ie8g)
    GaussianBlur<1>(Bitmap, k, Sender, OnProgress);
  else
    GaussianBlur<3>(Bitmap, k, Sender, OnProgress);
}

void IEMorphFilter(TIEBitmap* Bitmap, Integer WindowRadius, Integer Kind, TObject* Sender,
                   const TIEProgressEvent& OnProgress, Integer x1, Integer y1, Integer x2, Integer y2) {
  if (!Bitmap || Bitmap->PixelFormat() != ie24RGB || Kind < 0 || Kind > 3 || WindowRadius < 0) return;
  TIERowClip c(Bitmap, x1, y1, x2, y2);
  const Integer rw = c.x2 - c.x1, rh = c.y2 - c.y1;
  if (rw <= 0 || rh <= 0) return;
  // Per kind: the passes, true for a maximum.
  const std::vector<bool> plan = Kind == 0 ? std::vector<bool>{true}
                                 : Kind == 1 ? std::vector<bool>{false}
                                 : Kind == 2 ? std::vector<bool>{false, true}
                                             : std::vector<bool>{true, false};
  const double f = 100.0 / (rh - 1 + 0.5) / static_cast<double>(plan.size());
  const Integer wr = IEGrayWeightRed, wg = IEGrayWeightGreen, wb = IEGrayWeightBlue;
  std::vector<Byte> gray(static_cast<size_t>(rw) * rh);
  std::vector<TRGB> colour(static_cast<size_t>(rw) * rh);
  for (size_t p = 0; p < plan.size(); ++p) {
    const bool maximum = plan[p];
    for (Integer y = 0; y < rh; ++y) {
      const TRGB* s = static_cast<const TRGB*>(Bitmap->GetScanline(c.y1 + y)) + c.x1;
      for (Integer x = 0; x < rw; ++x) {
        const size_t i = static_cast<size_t>(y) * rw + x;
        colour[i] = s[x];
        gray[i] = static_cast<Byte>(std::clamp((s[x].r * wr + s[x].g * wg + s[x].b * wb) / 100, 0, 255));
      }
    }
    for (Integer y = 0; y < rh; ++y) {
      TRGB* d = static_cast<TRGB*>(Bitmap->GetScanline(c.y1 + y)) + c.x1;
      const Integer ya = std::max(y - WindowRadius, 0), yb = std::min(y + WindowRadius, rh - 1);
      for (Integer x = 0; x < rw; ++x) {
        const Integer xa = std::max(x - WindowRadius, 0), xb = std::min(x + WindowRadius, rw - 1);
        Integer best = maximum ? 0 : 255;
        size_t pick = static_cast<size_t>(y) * rw + x;
        for (Integer wy = ya; wy <= yb; ++wy) {
          const Byte* g = &gray[static_cast<size_t>(wy) * rw];
          for (Integer wx = xa; wx <= xb; ++wx)
            if (maximum ? g[wx] > best : g[wx] < best) {
              best = g[wx];
              pick = static_cast<size_t>(wy) * rw + wx;
            }
        }
        d[x] = colour[pick];
      }
      if (OnProgress)
        OnProgress(Sender, static_cast<Integer>(Trunc((y + static_cast<double>(p) * rh + 1) * f)));
    }
  }
}
