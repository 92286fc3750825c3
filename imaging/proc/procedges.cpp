// Edge detection after Shen and Castan: exponential smoothing run
// recursively both ways, a binary Laplacian, zero crossings weighed by an
// adaptive gradient, a threshold from the gradient histogram, hysteresis and
// optional thinning. The result is a black-on-white 1-bit line drawing.
#include <algorithm>
#include <cmath>
#include <vector>

#include "imaging/core/base/iestartup.h"  // grey weights
#include "imaging/proc/ziduzuvproc.h"

namespace {

constexpr Integer kPad = 27;
constexpr Integer kBand = 25;
// The widest adaptive-gradient window that stays inside the padding.
constexpr Integer kMaxHalfWindow = kBand;

struct TEdgeImages {
  Integer Rows = 0, Cols = 0;
  std::vector<float> Raw, Smooth, Gradient;
  std::vector<Byte> Laplacian, Edges;
  size_t At(Integer i, Integer j) const { return static_cast<size_t>(i) * Cols + j; }
  bool InBand(Integer i, Integer j) const {
    return i >= kBand && j >= kBand && i <= Rows - 26 && j <= Cols - 26;
  }
};

void Report(TIEProgressRec& P, int Stage) {
  if (P.fOnProgress) P.fOnProgress(P.Sender, static_cast<Integer>(Trunc(Stage * 100.0 / 6)));
}

// One first-order pass both ways along Count samples Step apart.
void ISEFLine(float* x, Integer Count, ptrdiff_t Step, double b, std::vector<double>& A, std::vector<double>& B) {
  const double c1 = (1 - b) / (1 + b), c2 = b * c1;
  A.resize(static_cast<size_t>(Count));
  B.resize(static_cast<size_t>(Count));
  A[0] = c1 * x[0];
  for (Integer r = 1; r < Count; ++r) A[r] = c1 * x[r * Step] + b * A[r - 1];
  B[Count - 1] = c2 * x[(Count - 1) * Step];
  for (Integer r = Count - 2; r >= 0; --r) B[r] = c2 * x[r * Step] + b * B[r + 1];
  for (Integer r = 0; r < Count - 1; ++r) x[r * Step] = static_cast<float>(A[r] + B[r + 1]);
  x[(Count - 1) * Step] = static_cast<float>(A[Count - 1]);
}

bool IsCandidateEdge(const TEdgeImages& E, Integer i, Integer j) {
  auto L = [&](Integer r, Integer c) { return E.Laplacian[E.At(r, c)]; };
  auto S = [&](Integer r, Integer c) { return E.Smooth[E.At(r, c)]; };
  if (L(i, j) != 1) return false;
  if (L(i + 1, j) == 0) return S(i + 1, j) - S(i - 1, j) > 0;
  if (L(i, j + 1) == 0) return S(i, j + 1) - S(i, j - 1) > 0;
  if (L(i - 1, j) == 0) return S(i + 1, j) - S(i - 1, j) < 0;
  if (L(i, j - 1) == 0) return S(i, j + 1) - S(i, j - 1) < 0;
  return false;
}

double AdaptiveGradient(const TEdgeImages& E, Integer i, Integer j, Integer Half) {
  double sOn = 0, sOff = 0;
  Integer cOn = 0, cOff = 0;
  for (Integer r = i - Half; r <= i + Half; ++r)
    for (Integer c = j - Half; c <= j + Half; ++c) {
      const double v = E.Smooth[E.At(r, c)];
      if (E.Laplacian[E.At(r, c)] == 1) {
        sOn += v;
        ++cOn;
      } else {
        sOff += v;
        ++cOff;
      }
    }
  return (sOff != 0 ? sOff / cOff : 0) - (sOn != 0 ? sOn / cOn : 0);
}

// High threshold such that the share Ratio of the band's gradients lies
// below it: bins are taken from the top until (1 - Ratio) of the band is
// reached, and 0 when they run out.
double EstimateHigh(const TEdgeImages& E, double Ratio) {
  double vmin = std::fabs(E.Gradient[E.At(20, 20)]), vmax = vmin;
  int64_t band = 0;
  for (Integer i = kBand; i <= E.Rows - 26; ++i)
    for (Integer j = kBand; j <= E.Cols - 26; ++j) {
      const double v = E.Gradient[E.At(i, j)];
      vmin = std::min(vmin, v);
      vmax = std::max(vmax, v);
      ++band;
    }
  const double scale = 256 / (vmax - vmin + 1);
  int64_t hist[256] = {};
  for (Integer i = kBand; i <= E.Rows - 26; ++i)
    for (Integer j = kBand; j <= E.Cols - 26; ++j)
      ++hist[std::clamp<int64_t>(Trunc(scale * (E.Gradient[E.At(i, j)] - vmin)), 0, 255)];
  const int64_t target = Trunc((1 - Ratio) * static_cast<double>(band));
  Integer k = 255;
  int64_t count = hist[255];
  while (count < target && k > 0) count += hist[--k];
  if (count < target) k = 0;
  return k / scale + vmin;
}

// Follows an edge chain from (I, J) in the order of the eight neighbours,
// on a stack of its own: chains run to many thousands of pixels.
void FollowEdge(TEdgeImages& E, Integer I, Integer J, double Low, Integer Thin) {
  static constexpr Integer kDi[8] = {0, 0, 1, 1, 1, -1, -1, -1};
  static constexpr Integer kDj[8] = {1, -1, 1, 0, -1, -1, 0, 1};
  auto enter = [&](Integer i, Integer j) {
    if (i < 0 || j < 0 || i >= E.Rows || j >= E.Cols) return false;
    const size_t at = E.At(i, j);
    if (E.Edges[at] != 0 || E.Gradient[at] == 0) return false;
    E.Edges[at] = E.Gradient[at] > Low ? 1 : 255;
    return true;
  };
  struct TFrame {
    Integer i, j, level;
    int next;
    bool found;
  };
  std::vector<TFrame> stack;
  if (!enter(I, J)) return;
  stack.push_back({I, J, 0, 0, false});
  while (!stack.empty()) {
    TFrame& f = stack.back();
    if (f.found || f.next == 8) {
      if (f.found && f.level > 0 && Thin > 0 && f.level % Thin != 0) E.Edges[E.At(f.i, f.j)] = 255;
      stack.pop_back();
      if (!stack.empty()) stack.back().found = true;  // the child returned true
      continue;
    }
    const Integer ni = f.i + kDi[f.next], nj = f.j + kDj[f.next], level = f.level + 1;
    ++f.next;
    if (enter(ni, nj)) stack.push_back({ni, nj, level, 0, false});
  }
}

}  // namespace

void IEShenCastan(TIEBitmap* Source, TIEBitmap* Target, double Smoothing, double Ratio, Integer WindowSize,
                  bool Hysteresis, Integer ThinFactor, TIEProgressRec& Progress) {
  if (!Source || !Target || Source->PixelFormat() != ie24RGB || Source->IsEmpty()) return;
  // The recursion diverges outside 0 < b < 1 (and divides by zero at -1).
  if (!(Smoothing > 0 && Smoothing < 1)) return;
  const Integer W = Source->Width(), H = Source->Height();
  TEdgeImages E;
  E.Rows = H + 2 * kPad;
  E.Cols = W + 2 * kPad;
  const size_t n = static_cast<size_t>(E.Rows) * E.Cols;
  // Gray of the picture, repeated periodically into the padding.
  std::vector<Byte> gray(static_cast<size_t>(W) * H);
  const Integer wr = IEGrayWeightRed, wg = IEGrayWeightGreen, wb = IEGrayWeightBlue;
  for (Integer y = 0; y < H; ++y) {
    const TRGB* p = static_cast<const TRGB*>(Source->GetScanline(y));
    for (Integer x = 0; x < W; ++x)
      gray[static_cast<size_t>(y) * W + x] = static_cast<Byte>((p[x].r * wr + p[x].g * wg + p[x].b * wb) / 100);
  }
  E.Raw.resize(n);
  for (Integer r = 0; r < E.Rows; ++r) {
    const Integer sr = (((r - kPad) % H) + H) % H;
    for (Integer c = 0; c < E.Cols; ++c)
      E.Raw[E.At(r, c)] = gray[static_cast<size_t>(sr) * W + (((c - kPad) % W) + W) % W];
  }
  gray.clear();
  Report(Progress, 1);

  E.Smooth = E.Raw;
  std::vector<double> A, B;
  for (Integer c = 0; c < E.Cols; ++c) ISEFLine(&E.Smooth[c], E.Rows, E.Cols, Smoothing, A, B);
  for (Integer r = 0; r < E.Rows; ++r) ISEFLine(&E.Smooth[E.At(r, 0)], E.Cols, 1, Smoothing, A, B);
  Report(Progress, 2);

  E.Laplacian.assign(n, 0);
  for (Integer i = 0; i < E.Rows; ++i)
    for (Integer j = 0; j < E.Cols; ++j)
      if (E.InBand(i, j)) E.Laplacian[E.At(i, j)] = E.Smooth[E.At(i, j)] - E.Raw[E.At(i, j)] > 0 ? 1 : 0;
  E.Raw.clear();
  E.Raw.shrink_to_fit();
  Report(Progress, 3);

  const Integer half = std::clamp(WindowSize / 2, 0, kMaxHalfWindow);
  E.Gradient.assign(n, 0.0f);
  for (Integer i = kBand; i <= E.Rows - 26; ++i)
    for (Integer j = kBand; j <= E.Cols - 26; ++j)
      if (IsCandidateEdge(E, i, j)) E.Gradient[E.At(i, j)] = static_cast<float>(AdaptiveGradient(E, i, j, half));
  E.Smooth.clear();
  E.Smooth.shrink_to_fit();
  E.Laplacian.clear();
  E.Laplacian.shrink_to_fit();
  Report(Progress, 4);

  const double high = EstimateHigh(E, Ratio);
  const double low = Hysteresis ? high / 2 : high;
  E.Edges.assign(n, 0);
  for (Integer i = kBand; i <= E.Rows - 26; ++i)
    for (Integer j = kBand; j <= E.Cols - 26; ++j)
      if (E.Gradient[E.At(i, j)] > high) FollowEdge(E, i, j, low, ThinFactor);
  for (Byte& v : E.Edges)
    if (v == 255) v = 0;
  Report(Progress, 5);

  if (!Target->Allocate(W, H, ie1g)) return;
  for (Integer y = 0; y < H; ++y) {
    Byte* d = static_cast<Byte*>(Target->GetScanline(y));
    std::fill(d, d + (W + 7) / 8, 0xFF);
    if (y == H - 1) continue;
    for (Integer x = 1; x < W; ++x)
      if (E.Edges[E.At(y + kPad, x + kPad)] != 0) d[x >> 3] &= static_cast<Byte>(~(0x80 >> (x & 7)));
  }
  Report(Progress, 6);
}

void TZiduzUvProc::EdgeDetect(Integer WindowSize, Integer ThinFactor, double Ratio, double Smoothing,
                              bool Hysteresis) {
  if (!(Smoothing > 0 && Smoothing < 1)) return;
  if (!PrepareBitmap(IEPixelFormats(ie24RGB))) return;
  if (FAutoUndo) SaveUndoCaptioned(u"EdgeDetect", ieuImage);
  std::atomic<bool> abort{false};
  TIEProgressRec rec(abort, ProgressEvent(), this);
  rec.per1 = 100.0 / 6;
  TIEBitmap result;
  IEShenCastan(FIEBitmap, &result, Smoothing, Ratio, WindowSize, Hysteresis, ThinFactor, rec);
  if (!result.IsEmpty()) FIEBitmap->AssignImage(&result);
  RefreshAttached();
  DoFinishWork();
}
