// Area-coverage resizing (rfBilinear, rfBicubic). The source and destination
// pixel grids are cut into segments where their boundaries fall; every
// segment pair adds its area times the value of the source cell it lies in
// (interpolated along the axes that grow, at the segment's end) to the
// destination pixel it lies in.
#include "imaging/core/geometry/ieareainterp.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "imaging/core/base/ieparallel.h"
#include "imaging/core/geometry/ieresample.h"  // IEResampleUseVectorPaths

#if defined(__SSE2__)
#include <emmintrin.h>
#define GT_AREA_SSE2 1
#endif

namespace {

// The nearest integer to a value already limited to 0 .. 65535, halves to
// the even neighbour: the rule of Round, written without branches or library
// calls because it runs once per sample.
inline double RoundLimited(double x) {
  const int32_t t = int32_t(x);  // x >= 0: truncation is the floor
  const double d = x - double(t);
  const int32_t up = int32_t(d > 0.5) | (int32_t(d == 0.5) & (t & 1));
  return double(t + up);
}

// Cubic convolution kernel with a = -1, as a function of the distance.
inline double CubicWeight(double d) {
  if (d < 1) return d * d * d - 2 * d * d + 1;
  if (d < 2) return -d * d * d + 5 * d * d - 8 * d + 4;
  return 0;
}

struct TCubicWeights {
  double W[4];
  explicit TCubicWeights(double t) : W{CubicWeight(1 + t), CubicWeight(t), CubicWeight(1 - t), CubicWeight(2 - t)} {}
};

inline double Limit(double v, double lo, double hi) {
  if (v < lo) v = lo;
  if (v > hi) v = hi;
  return v;
}

#if GT_AREA_SSE2
// Limit on two lanes, written as the scalar comparisons so that both forms
// give the same bits (also the sign of a zero).
inline __m128d LimitPd(__m128d v, __m128d lo, __m128d hi) {
  __m128d m = _mm_cmplt_pd(v, lo);
  v = _mm_or_pd(_mm_and_pd(m, lo), _mm_andnot_pd(m, v));
  m = _mm_cmpgt_pd(v, hi);
  return _mm_or_pd(_mm_and_pd(m, hi), _mm_andnot_pd(m, v));
}
#endif

// Out[i] = Limit(A[i] W0 + B[i] W1 + C[i] W2 + D[i] W3, 0, Max).
void CubicRows(const double* A, const double* B, const double* C, const double* D, const double (&W)[4], double Max,
               double* Out, size_t Count) {
  size_t i = 0;
#if GT_AREA_SSE2
  if (IEResampleUseVectorPaths) {
    const __m128d w0 = _mm_set1_pd(W[0]), w1 = _mm_set1_pd(W[1]), w2 = _mm_set1_pd(W[2]), w3 = _mm_set1_pd(W[3]);
    const __m128d lo = _mm_setzero_pd(), hi = _mm_set1_pd(Max);
    for (; i + 2 <= Count; i += 2) {
      __m128d v = _mm_add_pd(_mm_mul_pd(_mm_loadu_pd(A + i), w0), _mm_mul_pd(_mm_loadu_pd(B + i), w1));
      v = _mm_add_pd(v, _mm_mul_pd(_mm_loadu_pd(C + i), w2));
      v = _mm_add_pd(v, _mm_mul_pd(_mm_loadu_pd(D + i), w3));
      _mm_storeu_pd(Out + i, LimitPd(v, lo, hi));
    }
  }
#endif
  for (; i < Count; ++i) Out[i] = Limit(A[i] * W[0] + B[i] * W[1] + C[i] * W[2] + D[i] * W[3], 0, Max);
}

// Out[i] = A[i] (1 - F) + F B[i].
void LinearRows(const double* A, const double* B, double F, double* Out, size_t Count) {
  const double f0 = 1 - F;
  size_t i = 0;
#if GT_AREA_SSE2
  if (IEResampleUseVectorPaths) {
    const __m128d a = _mm_set1_pd(f0), b = _mm_set1_pd(F);
    for (; i + 2 <= Count; i += 2)
      _mm_storeu_pd(Out + i, _mm_add_pd(_mm_mul_pd(_mm_loadu_pd(A + i), a), _mm_mul_pd(b, _mm_loadu_pd(B + i))));
  }
#endif
  for (; i < Count; ++i) Out[i] = A[i] * f0 + F * B[i];
}

// Out[i] = the nearest integer to Acc[i] / Scale, limited to 0 .. Max.
template <typename TSample>
void FinishRow(const double* Acc, double Scale, double Max, TSample* Out, size_t Count) {
  size_t i = 0;
  // Dividing by a power of two and multiplying by its reciprocal give the
  // same bits; the multiply is several times cheaper.
  int exponent;
  const bool powerOfTwo = std::frexp(Scale, &exponent) == 0.5;
  const double reciprocal = 1.0 / Scale;
#if GT_AREA_SSE2
  if (IEResampleUseVectorPaths) {
    const __m128d scale = _mm_set1_pd(Scale), lo = _mm_setzero_pd(), hi = _mm_set1_pd(Max), half = _mm_set1_pd(0.5);
    const __m128d inverse = _mm_set1_pd(reciprocal);
    const __m128i one = _mm_set1_epi32(1);
    for (; i + 2 <= Count; i += 2) {
      const __m128d a = _mm_loadu_pd(Acc + i);
      const __m128d q = LimitPd(powerOfTwo ? _mm_mul_pd(a, inverse) : _mm_div_pd(a, scale), lo, hi);
      const __m128i t = _mm_cvttpd_epi32(q);  // q >= 0: the floor
      const __m128d d = _mm_sub_pd(q, _mm_cvtepi32_pd(t));
      // Up when the fraction is above one half, or exactly one half with an odd floor.
      __m128i odd = _mm_cmpeq_epi32(_mm_and_si128(t, one), one);
      odd = _mm_unpacklo_epi32(odd, odd);
      const __m128i up = _mm_or_si128(_mm_castpd_si128(_mm_cmpgt_pd(d, half)),
                                      _mm_and_si128(_mm_castpd_si128(_mm_cmpeq_pd(d, half)), odd));
      // The 64-bit masks are -1 or 0; their low halves added to t give t + 1 or t.
      const __m128i r = _mm_sub_epi32(t, _mm_shuffle_epi32(up, _MM_SHUFFLE(3, 3, 2, 0)));
      Out[i] = TSample(_mm_cvtsi128_si32(r));
      Out[i + 1] = TSample(_mm_cvtsi128_si32(_mm_srli_si128(r, 4)));
    }
  }
#endif
  for (; i < Count; ++i) Out[i] = TSample(RoundLimited(Limit(powerOfTwo ? Acc[i] * reciprocal : Acc[i] / Scale, 0, Max)));
}

// One segment of an axis: its length, the source cell and destination pixel
// it lies in, and the interpolation fraction at its end.
struct TSegments {
  std::vector<double> Len, Frac;
  std::vector<Integer> Src, Dst;
  std::vector<Integer> DstStart;  // segments of destination pixel m: DstStart[m] .. DstStart[m + 1] - 1
};

// Merges the source boundaries 1, 2, 3 ... with the destination boundaries
// Step, 2 Step, ...: the destination boundary goes first when it lies at
// most 0.0001 beyond the next source boundary, which can leave segments of
// no or slightly negative length. Indexes are held inside both grids: a
// destination boundary that drifts past the last source boundary would
// otherwise name cell SrcLen, and the closing source segment pixel DstLen.
// Segments of exactly zero length add nothing and are left out.
void BuildSegments(Integer SrcLen, Integer DstLen, double Step, TSegments& S) {
  const int64_t steps = int64_t(SrcLen) + DstLen;
  S.Len.clear();
  S.Frac.clear();
  S.Src.clear();
  S.Dst.clear();
  S.DstStart.assign(size_t(DstLen) + 1, 0);
  double prev = 0;
  int64_t nextSource = 1, nextDest = 1;
  Integer c = 0, m = 0;
  for (int64_t i = 0; i < steps; ++i) {
    const double sb = double(nextSource);
    const double db = double(nextDest) * Step;
    double len, frac;
    const Integer cell = std::min(c, SrcLen - 1);
    const Integer pixel = m;
    if (sb + 0.0001 >= db) {
      len = db - prev;
      frac = db - cell;
      prev = db;
      ++nextDest;
      ++m;
    } else {
      len = sb - prev;
      frac = 1;
      prev = sb;
      ++nextSource;
      ++c;
    }
    if (len == 0 || pixel >= DstLen) continue;
    S.Len.push_back(len);
    S.Frac.push_back(frac);
    S.Src.push_back(cell);
    S.Dst.push_back(pixel);
  }
  // Segments come in destination order.
  Integer k = 0;
  for (Integer p = 0; p <= DstLen; ++p) {
    while (k < Integer(S.Dst.size()) && S.Dst[size_t(k)] < p) ++k;
    S.DstStart[size_t(p)] = k;
  }
}

template <typename TSample, Integer Channels, bool Bicubic>
class TAreaResampler {
 public:
  TAreaResampler(TIEBitmap* Src, TIEBitmap* Dst)
      : FSrc(Src), FDst(Dst), sw(Src->Width()), sh(Src->Height()), dw(Dst->Width()), dh(Dst->Height()) {}

  void Run(const TIEProgressEvent& OnProgress, TObject* Sender) {
    const double sx = double(sw) / dw, sy = double(sh) / dh;
    FInterpX = sx < 1;
    FInterpY = sy < 1;
    FScale = sx * sy;
    BuildSegments(sw, dw, sx, FX);
    BuildSegments(sh, dh, sy, FY);
    const size_t nx = FX.Len.size();
    FUnits = FInterpX ? Integer(nx) : sw;
    FUnitOffset.resize(nx);
    FDstOffset.resize(nx);
    for (size_t s = 0; s < nx; ++s) {
      FUnitOffset[s] = (FInterpX ? Integer(s) : FX.Src[s]) * Channels;
      FDstOffset[s] = FX.Dst[s] * Channels;
    }
    if (FInterpX) {
      // Sample offsets of the neighbours c - 1 .. c + 2 of every x segment,
      // repeated at the edges, and the interpolation weights at its end.
      FCol.resize(nx * 4);
      FXWeights.resize(nx * 4);
      FAtSource.resize(nx);
      for (size_t s = 0; s < nx; ++s) {
        const Integer c = FX.Src[s];
        const Integer c1 = c + 1 <= sw - 1 ? c + 1 : c;
        FCol[s * 4 + 0] = (c > 0 ? c - 1 : c) * Channels;
        FCol[s * 4 + 1] = c * Channels;
        FCol[s * 4 + 2] = c1 * Channels;
        FCol[s * 4 + 3] = (c + 2 <= sw - 1 ? c + 2 : c1) * Channels;
        const double t = FX.Frac[s];
        // A piece that ends on a source boundary takes the next sample whole.
        FAtSource[s] = t == 1.0;
        if (Bicubic) {
          const TCubicWeights w(t);
          std::copy(w.W, w.W + 4, &FXWeights[s * 4]);
        } else {
          FXWeights[s * 4 + 0] = 1 - t;
          FXWeights[s * 4 + 1] = t;
        }
      }
    }

    TIEBitmapAccess srcAccess = FSrc->Access(), dstAccess = FDst->Access();
    FSrc->SetAccess(ieaRead);
    FDst->SetAccess(ieaWrite);
    try {
      const bool shareable = FSrc->Location() != ieFile && FDst->Location() != ieFile;
      const int64_t rowCost = int64_t(nx + size_t(FUnits)) * Channels *
                              std::max<int64_t>(1, int64_t(FY.Len.size()) / std::max(1, dh));
      IEParallelRows(
          dh, rowCost, [&](Integer First, Integer Last) { Rows(First, Last); },
          OnProgress ? TIERowsDone([&](Integer Done) {
            OnProgress(Sender, Integer(Trunc(double(Done) / dh * 100)));
          })
                     : TIERowsDone(),
          shareable);
      if (FDst->Location() == ieFile) FDst->ReleaseMappedRows();
    } catch (...) {
      FSrc->SetAccess(srcAccess);
      FDst->SetAccess(dstAccess);
      throw;
    }
    FSrc->SetAccess(srcAccess);
    FDst->SetAccess(dstAccess);
  }

 private:
  // A source row as doubles per unit (source column, or x segment when x is
  // interpolated), kept while the four-row window needs it.
  struct TRowSlot {
    Integer Row = -1;
    std::vector<double> Values;
  };

  struct TScratch {
    TRowSlot Slots[4];
    std::vector<double> Raw;
  };

  const double* RowValues(Integer Row, TScratch& S) {
    for (auto& s : S.Slots)
      if (s.Row == Row) return s.Values.data();
    // The window moves down the picture: the slot of the topmost row goes.
    TRowSlot* slot = &S.Slots[0];
    for (auto& s : S.Slots)
      if (s.Row < slot->Row) slot = &s;
    slot->Row = Row;
    slot->Values.resize(size_t(FUnits) * Channels);
    double* out = slot->Values.data();
    const TSample* p = static_cast<const TSample*>(FSrc->GetScanline(Row));
    const Integer samples = sw * Channels;
    if (!FInterpX) {
      for (Integer i = 0; i < samples; ++i) out[i] = p[i];
      return out;
    }
    double* r = S.Raw.data();
    for (Integer i = 0; i < samples; ++i) r[i] = p[i];
    const size_t n = FX.Len.size();
    const Integer* col = FCol.data();
    const double* w = FXWeights.data();
    if (Bicubic) {
      // Along both axes each horizontal result is an integer before the
      // vertical pass.
      const bool round = FInterpY;
      for (size_t s = 0; s < n; ++s, col += 4, w += 4, out += Channels) {
        if (FAtSource[s]) {
          // Weights 0, 0, 1, 0: the sum is the sample c + 1 itself.
          for (Integer ch = 0; ch < Channels; ++ch) out[ch] = r[col[2] + ch];
          continue;
        }
        for (Integer ch = 0; ch < Channels; ++ch) {
          const double v =
              Limit(r[col[0] + ch] * w[0] + r[col[1] + ch] * w[1] + r[col[2] + ch] * w[2] + r[col[3] + ch] * w[3], 0,
                    kMax);
          out[ch] = round ? RoundLimited(v) : v;
        }
      }
    } else {
      for (size_t s = 0; s < n; ++s, col += 4, w += 4, out += Channels) {
        if (FAtSource[s]) {
          for (Integer ch = 0; ch < Channels; ++ch) out[ch] = r[col[2] + ch];
          continue;
        }
        for (Integer ch = 0; ch < Channels; ++ch) out[ch] = w[0] * r[col[1] + ch] + w[1] * r[col[2] + ch];
      }
    }
    return slot->Values.data();
  }

  void Rows(Integer First, Integer Last) {
    TScratch scratch;
    scratch.Raw.resize(FInterpX ? size_t(sw) * Channels : 0);
    std::vector<double> acc(size_t(dw) * Channels);
    std::vector<double> vals(FInterpY ? size_t(FUnits) * Channels : 0);
    const size_t nx = FX.Len.size();
    const size_t count = size_t(FUnits) * Channels;
    const double* xlen = FX.Len.data();
    const Integer* unit = FUnitOffset.data();
    const Integer* dst = FDstOffset.data();
    for (Integer m = First; m < Last; ++m) {
      std::fill(acc.begin(), acc.end(), 0.0);
      for (Integer g = FY.DstStart[size_t(m)]; g < FY.DstStart[size_t(m) + 1]; ++g) {
        const double wy = FY.Len[size_t(g)];
        const double fy = FY.Frac[size_t(g)];
        const Integer r = FY.Src[size_t(g)];
        const double* v;
        if (!FInterpY) {
          v = RowValues(r, scratch);
        } else {
          const Integer r1 = r + 1 <= sh - 1 ? r + 1 : r;
          double* out = vals.data();
          if (Bicubic) {
            const Integer rm = r > 0 ? r - 1 : r;
            const Integer r2 = r + 2 <= sh - 1 ? r + 2 : r1;
            const double* a = RowValues(rm, scratch);
            const double* b = RowValues(r, scratch);
            const double* c = RowValues(r1, scratch);
            const double* d = RowValues(r2, scratch);
            const TCubicWeights w(fy);
            CubicRows(a, b, c, d, w.W, kMax, out, count);
          } else {
            const double* a = RowValues(r, scratch);
            const double* b = RowValues(r1, scratch);
            LinearRows(a, b, fy, out, count);
          }
          v = out;
        }
        double* ac = acc.data();
        for (size_t s = 0; s < nx; ++s) {
          const double w = xlen[s] * wy;
          const double* src = v + unit[s];
          double* a = ac + dst[s];
          for (Integer ch = 0; ch < Channels; ++ch) a[ch] += w * src[ch];
        }
      }
      TSample* out = static_cast<TSample*>(FDst->GetScanline(m));
      FinishRow(acc.data(), FScale, kMax, out, size_t(dw) * Channels);
    }
  }

  static constexpr double kMax = sizeof(TSample) == 1 ? 255.0 : 65535.0;

  TIEBitmap* FSrc;
  TIEBitmap* FDst;
  Integer sw, sh, dw, dh;
  bool FInterpX = false, FInterpY = false;
  double FScale = 1;
  TSegments FX, FY;
  Integer FUnits = 0;
  std::vector<Integer> FUnitOffset, FDstOffset;  // per x segment: sample offset of its unit and its pixel
  std::vector<Integer> FCol;
  std::vector<double> FXWeights;
  std::vector<Byte> FAtSource;  // per x segment: its fraction is exactly 1
};

template <typename TSample, Integer Channels>
void AreaResample(TIEBitmap* Src, TIEBitmap* Dst, bool Bicubic, const TIEProgressEvent& OnProgress, TObject* Sender) {
  if (Bicubic)
    TAreaResampler<TSample, Channels, true>(Src, Dst).Run(OnProgress, Sender);
  else
    TAreaResampler<TSample, Channels, false>(Src, Dst).Run(OnProgress, Sender);
}

// Dst takes Src's format at its own size (alpha channel kept).
bool PrepareDestination(TIEBitmap* Src, TIEBitmap* Dst) {
  if (Dst->PixelFormat() != Src->PixelFormat()) {
    std::unique_ptr<TIEBitmap> alpha = Dst->AttachAlphaChannel(nullptr);
    Dst->Allocate(Dst->Width(), Dst->Height(), Src->PixelFormat());
    if (alpha) (void)Dst->AttachAlphaChannel(std::move(alpha));
  }
  return Dst->PixelFormat() == Src->PixelFormat() && !Dst->IsEmpty();
}

bool Usable(TIEBitmap* Src, TIEBitmap* Dst) {
  return Src && Dst && Src != Dst && Src->Width() > 0 && Src->Height() > 0 && Dst->Width() > 0 && Dst->Height() > 0;
}

}  // namespace

double IECubicInterpolate(double PPrev, double P0, double P1, double MaxValue, double MinValue, double P2, double T) {
  const TCubicWeights w(T);
  double v = PPrev * w.W[0] + P0 * w.W[1] + P1 * w.W[2] + P2 * w.W[3];
  if (v < MinValue) v = MinValue;
  if (v > MaxValue) v = MaxValue;
  return v;
}

void IEInterpolate8And24(TIEBitmap* Src, TIEBitmap* Dst, Integer Bicubic, const TIEProgressEvent& OnProgress,
                         TObject* Sender) {
  if (!Usable(Src, Dst)) return;
  const TIEPixelFormat pf = Src->PixelFormat();
  if (pf != ie8g && pf != ie24RGB) return;
  if (!PrepareDestination(Src, Dst)) return;
  if (pf == ie8g)
    AreaResample<Byte, 1>(Src, Dst, Bicubic != 0, OnProgress, Sender);
  else
    AreaResample<Byte, 3>(Src, Dst, Bicubic != 0, OnProgress, Sender);
}

void IEInterpolate16And48(TIEBitmap* Src, TIEBitmap* Dst, Integer Bicubic, const TIEProgressEvent& OnProgress,
                          TObject* Sender) {
  if (!Usable(Src, Dst)) return;
  const TIEPixelFormat pf = Src->PixelFormat();
  if (pf != ie16g && pf != ieRGB48) return;
  if (!PrepareDestination(Src, Dst)) return;
  if (pf == ie16g)
    AreaResample<Word, 1>(Src, Dst, Bicubic != 0, OnProgress, Sender);
  else
    AreaResample<Word, 3>(Src, Dst, Bicubic != 0, OnProgress, Sender);
}
