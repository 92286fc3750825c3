// Contributor tables and the multiply-add row loops of the resampling
// kernels, and the fast linear scaler. The vector forms use SSE2 (always
// there on x86-64), the fast scaler's column averages SSSE3 where the
// processor has it; all give exactly the results of the portable forms.
#include "imaging/core/geometry/ieresamplerows.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "imaging/core/geometry/ieresample.h"
#include "imaging/core/base/ieutils.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#define GT_RESAMPLE_SSE2 1
#if defined(__GNUC__)
// SSSE3 byte shuffles, chosen at run time: the program is built for plain
// x86-64.
#include <tmmintrin.h>
#define GT_RESAMPLE_SSSE3 1
#endif
#endif

bool IEResampleUseVectorPaths = true;

namespace ieresample_detail {

namespace {

constexpr Integer kMinShift = 14;
constexpr Integer kMaxShift = 22;

inline Byte ClampShifted(int32_t Sum, Integer Shift) {
  const int32_t v = Sum >> Shift;  // arithmetic: a negative sum clamps to 0 either way
  return Byte(v < 0 ? 0 : (v > 255 ? 255 : v));
}

}  // namespace

bool BuildContribTable(TContribTable& T, Integer SrcLen, Integer DstLen, TResampleFilter Filter) {
  const TIEFilterRec* kernel = IEFilterKernel(Filter);
  if (!kernel || SrcLen <= 0 || DstLen <= 0) return false;
  const double scale = (SrcLen == 1 || DstLen == 1) ? double(DstLen) / SrcLen : double(DstLen - 1) / (SrcLen - 1);
  const double width = scale >= 1 ? kernel->Support : kernel->Support / scale;
  const double factor = scale >= 1 ? 1.0 : scale;

  T.First.assign(size_t(DstLen), 0);
  T.Count.assign(size_t(DstLen), 0);
  T.Offset.assign(size_t(DstLen), 0);
  // Normalised kernel values of every list, kept until the precision is known.
  std::vector<double> values;
  double maxAbs = 0, maxSumAbs = 0;
  int64_t maxCount = 0;
  for (Integer i = 0; i < DstLen; ++i) {
    const double center = i / scale;
    const Integer lo = IEFloor(center - width);
    const Integer hi = IECeil(center + width);
    const size_t start = values.size();
    Integer first = lo;
    double sum = 0;
    for (int64_t j = lo; j <= hi; ++j) {
      const double k = kernel->Filter((center - double(j)) * factor) * factor;
      if (values.size() == start && k == 0) {
        ++first;  // leading zeros are not stored
        continue;
      }
      values.push_back(k);
      sum += k;
    }
    while (values.size() > start && values.back() == 0) values.pop_back();
    Integer count = Integer(values.size() - start);
    // Every kernel here sums to a positive value over its window; a list
    // that does not (none, or a degenerate one) contributes nothing.
    if (count == 0 || !(sum > 0) || !std::isfinite(sum)) {
      values.resize(start);
      count = 0;
      first = 0;
    }
    double sumAbs = 0;
    for (size_t k = start; k < values.size(); ++k) {
      values[k] /= sum;
      sumAbs += std::fabs(values[k]);
      maxAbs = std::max(maxAbs, std::fabs(values[k]));
    }
    maxSumAbs = std::max(maxSumAbs, sumAbs);
    maxCount = std::max<int64_t>(maxCount, count);
    T.First[size_t(i)] = first;
    T.Count[size_t(i)] = count;
  }

  // The finest precision whose weights fit 16 bits and whose sums of 8-bit
  // samples (each weight rounded by at most 1/2, the remainder put on one)
  // stay below 2^31.
  Integer shift = kMinShift;
  for (Integer s = kMaxShift; s > kMinShift; --s) {
    const double one = double(int64_t(1) << s);
    const double weightBound = maxAbs * one + 1.0 + double(maxCount);
    const double sumBound = (maxSumAbs * one + double(maxCount) + 1.0) * 2.0 * 255.0;
    if (weightBound <= 32767.0 && sumBound < 2147483647.0) {
      shift = s;
      break;
    }
  }
  T.Shift = shift;
  const int32_t one = int32_t(1) << shift;

  T.Weights.clear();
  T.MinFirst = INT32_MAX;
  T.MaxLast = INT32_MIN;
  T.MaxCount = 0;
  T.TotalTaps = 0;
  size_t next = 0;
  for (Integer i = 0; i < DstLen; ++i) {
    const Integer count = T.Count[size_t(i)];
    const size_t offset = T.Weights.size();
    T.Offset[size_t(i)] = Integer(offset);
    const Integer padded = (count + 7) & ~7;
    T.Weights.resize(offset + size_t(padded), 0);
    if (count > 0) {
      int32_t total = 0;
      size_t biggest = offset;
      for (Integer k = 0; k < count; ++k) {
        const int32_t w = int32_t(std::clamp<int64_t>(Round(values[next + size_t(k)] * one), -32767, 32767));
        T.Weights[offset + size_t(k)] = int16_t(w);
        total += w;
        if (w > T.Weights[biggest]) biggest = offset + size_t(k);
      }
      T.Weights[biggest] = int16_t(std::clamp<int32_t>(T.Weights[biggest] + (one - total), -32767, 32767));
      next += size_t(count);
    }
    const Integer first = T.First[size_t(i)];
    T.MinFirst = std::min(T.MinFirst, first);
    T.MaxLast = std::max(T.MaxLast, first + padded - 1);
    T.MaxCount = std::max(T.MaxCount, count);
    T.TotalTaps += count;
  }
  if (T.MinFirst > T.MaxLast) T.MinFirst = T.MaxLast = 0;
  return true;
}

// ---------------------------------------------------------------------------
// Horizontal pass

namespace {

void FilterRow4To3Portable(const Byte* Src, Byte* Dst, const TContribTable& T, Integer DstLen) {
  const Integer shift = T.Shift;
  for (Integer i = 0; i < DstLen; ++i) {
    const Byte* p = Src + 4 * ptrdiff_t(T.First[size_t(i)] - T.MinFirst);
    const int16_t* w = T.Weights.data() + T.Offset[size_t(i)];
    int32_t b = 0, g = 0, r = 0;
    for (Integer k = 0, n = T.Count[size_t(i)]; k < n; ++k, p += 4) {
      b += w[k] * p[0];
      g += w[k] * p[1];
      r += w[k] * p[2];
    }
    Byte* d = Dst + 3 * ptrdiff_t(i);
    d[0] = ClampShifted(b, shift);
    d[1] = ClampShifted(g, shift);
    d[2] = ClampShifted(r, shift);
  }
}

void FilterRow1Portable(const Byte* Src, Byte* Dst, const TContribTable& T, Integer DstLen) {
  const Integer shift = T.Shift;
  for (Integer i = 0; i < DstLen; ++i) {
    const Byte* p = Src + (T.First[size_t(i)] - T.MinFirst);
    const int16_t* w = T.Weights.data() + T.Offset[size_t(i)];
    int32_t s = 0;
    for (Integer k = 0, n = T.Count[size_t(i)]; k < n; ++k) s += w[k] * p[k];
    Dst[i] = ClampShifted(s, shift);
  }
}

#if GT_RESAMPLE_SSE2

// Four taps per step: the pixels p0..p3 are paired (p0, p1) and (p2, p3) so
// that one multiply-add of 16-bit lanes gives the four channel sums of two
// taps.
void FilterRow4To3Vector(const Byte* Src, Byte* Dst, const TContribTable& T, Integer DstLen) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i shift = _mm_cvtsi32_si128(T.Shift);
  for (Integer i = 0; i < DstLen; ++i) {
    const Byte* p = Src + 4 * ptrdiff_t(T.First[size_t(i)] - T.MinFirst);
    const int16_t* w = T.Weights.data() + T.Offset[size_t(i)];
    const Integer n = T.Count[size_t(i)];
    __m128i acc = zero;
    for (Integer k = 0; k < n; k += 4, p += 16, w += 4) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      const __m128i s = _mm_shuffle_epi32(v, _MM_SHUFFLE(3, 1, 2, 0));
      const __m128i t = _mm_unpacklo_epi8(s, _mm_srli_si128(s, 8));
      const __m128i wv = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(w));
      acc = _mm_add_epi32(acc, _mm_madd_epi16(_mm_unpacklo_epi8(t, zero), _mm_shuffle_epi32(wv, 0x00)));
      acc = _mm_add_epi32(acc, _mm_madd_epi16(_mm_unpackhi_epi8(t, zero), _mm_shuffle_epi32(wv, 0x55)));
    }
    acc = _mm_sra_epi32(acc, shift);
    acc = _mm_packs_epi32(acc, acc);
    const uint32_t px = uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(acc, acc)));
    Byte* d = Dst + 3 * ptrdiff_t(i);
    if (i + 1 < DstLen) {
      std::memcpy(d, &px, 4);  // the fourth byte is overwritten by the next pixel
    } else {
      d[0] = Byte(px);
      d[1] = Byte(px >> 8);
      d[2] = Byte(px >> 16);
    }
  }
}

void FilterRow1Vector(const Byte* Src, Byte* Dst, const TContribTable& T, Integer DstLen) {
  const __m128i zero = _mm_setzero_si128();
  const Integer shift = T.Shift;
  for (Integer i = 0; i < DstLen; ++i) {
    const Byte* p = Src + (T.First[size_t(i)] - T.MinFirst);
    const int16_t* w = T.Weights.data() + T.Offset[size_t(i)];
    const Integer n = T.Count[size_t(i)];
    __m128i acc = zero;
    for (Integer k = 0; k < n; k += 8, p += 8, w += 8) {
      const __m128i v = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), zero);
      acc = _mm_add_epi32(acc, _mm_madd_epi16(v, _mm_loadu_si128(reinterpret_cast<const __m128i*>(w))));
    }
    acc = _mm_add_epi32(acc, _mm_srli_si128(acc, 8));
    acc = _mm_add_epi32(acc, _mm_srli_si128(acc, 4));
    Dst[i] = ClampShifted(_mm_cvtsi128_si32(acc), shift);
  }
}

#endif

}  // namespace

void FilterRow4To3(const Byte* Src, Byte* Dst, const TContribTable& T, Integer DstLen) {
#if GT_RESAMPLE_SSE2
  if (IEResampleUseVectorPaths) return FilterRow4To3Vector(Src, Dst, T, DstLen);
#endif
  FilterRow4To3Portable(Src, Dst, T, DstLen);
}

void FilterRow1(const Byte* Src, Byte* Dst, const TContribTable& T, Integer DstLen) {
#if GT_RESAMPLE_SSE2
  if (IEResampleUseVectorPaths) return FilterRow1Vector(Src, Dst, T, DstLen);
#endif
  FilterRow1Portable(Src, Dst, T, DstLen);
}

// ---------------------------------------------------------------------------
// Vertical pass and the fast scalers' row operations

void FilterColumns(const Byte* const* Rows, const int16_t* W, Integer Count, Integer Shift, Byte* Dst, Integer Bytes) {
  Integer x = 0;
#if GT_RESAMPLE_SSE2
  if (IEResampleUseVectorPaths && Count > 0) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i shift = _mm_cvtsi32_si128(Shift);
    // Two taps per multiply-add: the bytes of two rows are interleaved and
    // widened, the weights repeated as (w[k], w[k+1]) pairs. The pairs of
    // short lists are made once per row; long lists (large reductions) make
    // them as they go.
    constexpr Integer kKeptPairs = 32;
    const Integer pairCount = (Count + 1) / 2;
    auto pairAt = [&](Integer k) {
      const uint16_t lo = uint16_t(W[2 * k]);
      const uint16_t hi = 2 * k + 1 < Count ? uint16_t(W[2 * k + 1]) : 0;
      return _mm_set1_epi32(int32_t(uint32_t(lo) | (uint32_t(hi) << 16)));
    };
    __m128i kept[kKeptPairs];
    const bool keep = pairCount <= kKeptPairs;
    if (keep)
      for (Integer k = 0; k < pairCount; ++k) kept[k] = pairAt(k);
    for (; x + 16 <= Bytes; x += 16) {
      __m128i a0 = zero, a1 = zero, a2 = zero, a3 = zero;
      for (Integer k = 0; k < pairCount; ++k) {
        const __m128i r0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Rows[2 * k] + x));
        const __m128i r1 =
            2 * k + 1 < Count ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(Rows[2 * k + 1] + x)) : zero;
        const __m128i lo = _mm_unpacklo_epi8(r0, r1);
        const __m128i hi = _mm_unpackhi_epi8(r0, r1);
        const __m128i wp = keep ? kept[k] : pairAt(k);
        a0 = _mm_add_epi32(a0, _mm_madd_epi16(_mm_unpacklo_epi8(lo, zero), wp));
        a1 = _mm_add_epi32(a1, _mm_madd_epi16(_mm_unpackhi_epi8(lo, zero), wp));
        a2 = _mm_add_epi32(a2, _mm_madd_epi16(_mm_unpacklo_epi8(hi, zero), wp));
        a3 = _mm_add_epi32(a3, _mm_madd_epi16(_mm_unpackhi_epi8(hi, zero), wp));
      }
      a0 = _mm_sra_epi32(a0, shift);
      a1 = _mm_sra_epi32(a1, shift);
      a2 = _mm_sra_epi32(a2, shift);
      a3 = _mm_sra_epi32(a3, shift);
      const __m128i out = _mm_packus_epi16(_mm_packs_epi32(a0, a1), _mm_packs_epi32(a2, a3));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(Dst + x), out);
    }
  }
#endif
  for (; x < Bytes; ++x) {
    int32_t s = 0;
    for (Integer k = 0; k < Count; ++k) s += W[k] * Rows[k][x];
    Dst[x] = ClampShifted(s, Shift);
  }
}

void LerpRows(const Byte* A, const Byte* B, Integer Frac, Byte* Dst, Integer Bytes) {
  Integer x = 0;
#if GT_RESAMPLE_SSE2
  if (IEResampleUseVectorPaths) {
    // (B - A) * Frac with a 17-bit Frac as one multiply-add of 16-bit lanes:
    // (4 (B - A)) * (Frac >> 2) + (B - A) * (Frac & 3).
    const __m128i zero = _mm_setzero_si128();
    const __m128i wf = _mm_set1_epi32(int32_t(uint32_t(uint16_t(Frac >> 2)) | (uint32_t(Frac & 3) << 16)));
    for (; x + 16 <= Bytes; x += 16) {
      const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(A + x));
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(B + x));
      const __m128i alo = _mm_unpacklo_epi8(a, zero), ahi = _mm_unpackhi_epi8(a, zero);
      const __m128i dlo = _mm_sub_epi16(_mm_unpacklo_epi8(b, zero), alo);
      const __m128i dhi = _mm_sub_epi16(_mm_unpackhi_epi8(b, zero), ahi);
      const __m128i d4lo = _mm_slli_epi16(dlo, 2), d4hi = _mm_slli_epi16(dhi, 2);
      __m128i p0 = _mm_srai_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(d4lo, dlo), wf), 17);
      __m128i p1 = _mm_srai_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(d4lo, dlo), wf), 17);
      __m128i p2 = _mm_srai_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(d4hi, dhi), wf), 17);
      __m128i p3 = _mm_srai_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(d4hi, dhi), wf), 17);
      const __m128i lo = _mm_add_epi16(_mm_packs_epi32(p0, p1), alo);
      const __m128i hi = _mm_add_epi16(_mm_packs_epi32(p2, p3), ahi);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(Dst + x), _mm_packus_epi16(lo, hi));
    }
  }
#endif
  for (; x < Bytes; ++x) Dst[x] = Byte(A[x] + (((B[x] - A[x]) * Frac) >> 17));
}

void AverageRows(const Byte* const* Rows, Integer Count, Byte* Dst, Integer Bytes) {
  if (Count <= 0) return;
  const bool small = uint32_t(Count) <= kSmallDivisionLimit;
  const uint64_t magic = small ? SmallDivisionMagic(uint32_t(Count)) : DivisionMagic(uint32_t(Count));
  Integer x = 0;
#if GT_RESAMPLE_SSE2
  if (IEResampleUseVectorPaths && Count >= 2 && Count <= 256) {
    // 16-bit sums (255 x 256 < 2^16), divided in single precision as
    // (sum + 1/2) x (1 / Count): the exact quotient lies at least 1/(2 x
    // Count) from every integer and the product errs by less than 2^-15, so
    // truncating it gives the integer quotient.
    const __m128i zero = _mm_setzero_si128();
    const __m128 half = _mm_set1_ps(0.5f), reciprocal = _mm_set1_ps(1.0f / float(Count));
    auto quotients = [&](__m128i Sums) {
      return _mm_cvttps_epi32(_mm_mul_ps(_mm_add_ps(_mm_cvtepi32_ps(Sums), half), reciprocal));
    };
    for (; x + 16 <= Bytes; x += 16) {
      __m128i lo = zero, hi = zero;
      for (Integer k = 0; k < Count; ++k) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Rows[k] + x));
        lo = _mm_add_epi16(lo, _mm_unpacklo_epi8(v, zero));
        hi = _mm_add_epi16(hi, _mm_unpackhi_epi8(v, zero));
      }
      const __m128i a =
          _mm_packs_epi32(quotients(_mm_unpacklo_epi16(lo, zero)), quotients(_mm_unpackhi_epi16(lo, zero)));
      const __m128i b =
          _mm_packs_epi32(quotients(_mm_unpacklo_epi16(hi, zero)), quotients(_mm_unpackhi_epi16(hi, zero)));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(Dst + x), _mm_packus_epi16(a, b));
    }
  }
#endif
  // 32-bit sums hold up to 2^24 rows of bytes; blocks of columns keep the
  // running sums in the first-level cache.
  constexpr Integer kBlock = 512;
  uint32_t sums[kBlock];
  for (; x < Bytes; x += kBlock) {
    const Integer n = std::min<Integer>(kBlock, Bytes - x);
    for (Integer i = 0; i < n; ++i) sums[i] = Rows[0][x + i];
    for (Integer k = 1; k < Count; ++k) {
      const Byte* r = Rows[k] + x;
      for (Integer i = 0; i < n; ++i) sums[i] += r[i];
    }
    if (small) {
      for (Integer i = 0; i < n; ++i) Dst[x + i] = Byte((uint64_t(sums[i]) * magic) >> 32);
    } else {
      for (Integer i = 0; i < n; ++i) Dst[x + i] = Byte(DivideBy(sums[i], uint32_t(Count), magic));
    }
  }
}

// ---------------------------------------------------------------------------
// The fast linear scaler

namespace {

#if GT_RESAMPLE_SSSE3
bool HaveSsse3() {
  static const bool have = __builtin_cpu_supports("ssse3");
  return have;
}

// Averages of runs of 1 .. kVectorSumLimit BGR pixels for the columns I ..
// VectorLast (whose loads stay inside the row): each group of four pixels
// shuffled into blue, green and red quadruples and added in pairs, the
// pairs of a run summed as 16-bit lanes, the three sums divided in single
// precision as in AverageRows. Returns the next column; Dst moves along.
__attribute__((target("ssse3"))) Integer AverageRunsBGRSsse3(const Byte* Src, Byte*& Dst, Integer I, Integer Last,
                                                              Integer VectorLast, const Integer* C0,
                                                              const Integer* C1, const float* Reciprocal) {
  // Shuffles of the first T pixels of a group into B0..B3 G0..G3 R0..R3,
  // the missing ones zero; the last one gathers the low bytes of three
  // 32-bit lanes.
  struct TControls {
    alignas(16) int8_t Planar[5][16];
    alignas(16) int8_t Gather[16];
    TControls() {
      for (int t = 0; t <= 4; ++t)
        for (int k = 0; k < 16; ++k) {
          const int channel = k / 4, pixel = k % 4;
          Planar[t][k] = int8_t(channel < 3 && pixel < t ? 3 * pixel + channel : -1);
        }
      for (int k = 0; k < 16; ++k) Gather[k] = int8_t(k < 3 ? 4 * k : -1);
    }
  };
  static const TControls kControls;
  const __m128i ones8 = _mm_set1_epi8(1), ones16 = _mm_set1_epi16(1);
  const __m128i whole = _mm_load_si128(reinterpret_cast<const __m128i*>(kControls.Planar[4]));
  const __m128i gather = _mm_load_si128(reinterpret_cast<const __m128i*>(kControls.Gather));
  const __m128 half = _mm_set1_ps(0.5f);
  const __m128i pairGather = _mm_setr_epi8(0, 2, 4, 8, 10, 12, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
  const __m128i zero = _mm_setzero_si128();
  Byte* d = Dst;
  for (; I <= VectorLast; ++I, d += 3) {
    const Byte* p = Src + 3 * ptrdiff_t(C0[I]);
    Integer left = C1[I] - C0[I] + 1;
    // Two neighbouring runs of at most four pixels (reductions to a third
    // and more) share the folding, the division and the store.
    if (I < VectorLast && left <= 4 && C1[I + 1] - C0[I + 1] < 4) {
      const Byte* p2 = Src + 3 * ptrdiff_t(C0[I + 1]);
      const __m128i a = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)),
                                         _mm_load_si128(reinterpret_cast<const __m128i*>(kControls.Planar[left])));
      const __m128i b = _mm_shuffle_epi8(
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(p2)),
          _mm_load_si128(reinterpret_cast<const __m128i*>(kControls.Planar[C1[I + 1] - C0[I + 1] + 1])));
      // B, G, R, 0 of the first run, then of the second, as 16-bit lanes.
      const __m128i sums = _mm_hadd_epi16(_mm_maddubs_epi16(a, ones8), _mm_maddubs_epi16(b, ones8));
      const __m128i q1 = _mm_cvttps_epi32(_mm_mul_ps(_mm_add_ps(_mm_cvtepi32_ps(_mm_unpacklo_epi16(sums, zero)), half),
                                                     _mm_set1_ps(Reciprocal[I])));
      const __m128i q2 = _mm_cvttps_epi32(_mm_mul_ps(_mm_add_ps(_mm_cvtepi32_ps(_mm_unpackhi_epi16(sums, zero)), half),
                                                     _mm_set1_ps(Reciprocal[I + 1])));
      const uint64_t px = uint64_t(_mm_cvtsi128_si64(_mm_shuffle_epi8(_mm_packs_epi32(q1, q2), pairGather)));
      if (I + 1 < Last) {
        std::memcpy(d, &px, 8);  // the last two bytes are overwritten by the next pixel
      } else {
        std::memcpy(d, &px, 6);
      }
      ++I;
      d += 3;
      continue;
    }
    __m128i acc = _mm_setzero_si128();
    for (; left > 4; left -= 4, p += 12) {
      const __m128i v = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), whole);
      acc = _mm_add_epi16(acc, _mm_maddubs_epi16(v, ones8));
    }
    const __m128i v = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)),
                                       _mm_load_si128(reinterpret_cast<const __m128i*>(kControls.Planar[left])));
    acc = _mm_add_epi16(acc, _mm_maddubs_epi16(v, ones8));
    const __m128 sums = _mm_cvtepi32_ps(_mm_madd_epi16(acc, ones16));  // B, G, R, 0
    const __m128i q = _mm_cvttps_epi32(_mm_mul_ps(_mm_add_ps(sums, half), _mm_set1_ps(Reciprocal[I])));
    const uint32_t px = uint32_t(_mm_cvtsi128_si32(_mm_shuffle_epi8(q, gather)));
    if (I < Last) {
      std::memcpy(d, &px, 4);  // the fourth byte is overwritten by the next pixel
    } else {
      d[0] = Byte(px);
      d[1] = Byte(px >> 8);
      d[2] = Byte(px >> 16);
    }
  }
  Dst = d;
  return I;
}
#endif

}  // namespace

TFastLinearScaler::TFastLinearScaler(Integer SrcWidth, Integer SrcHeight, Integer DstWidth, Integer DstHeight,
                                     Integer Channels)
    : FSrcHeight(SrcHeight),
      FDstHeight(DstHeight),
      FChannels(Channels),
      FRx(double(DstWidth) / SrcWidth),
      FRy(double(DstHeight) / SrcHeight),
      FGrowsDown(FRy > 1) {
  const Integer sw = SrcWidth, dw = DstWidth;
  FC0.resize(size_t(dw));
  FC1.resize(size_t(dw));
  FFrac.resize(size_t(dw));
  for (Integer i = 0; i < dw; ++i) {
    const double x = i / FRx;
    const Integer c = Integer(std::clamp<int64_t>(Trunc(x), 0, sw - 1));
    FC0[size_t(i)] = c;
    FFrac[size_t(i)] = Integer(Trunc((x - c) * 131072.0));
    if (FRx > 1)
      FC1[size_t(i)] = std::min(c + 1, sw - 1);
    else
      FC1[size_t(i)] = Integer(std::clamp<int64_t>(Trunc(std::min(i + 1, dw - 1) / FRx + 1e-10), c, sw - 1));
  }
  if (FRx > 1) return;
  for (Integer i = 0; i < dw; ++i)
    if (uint32_t(FC1[size_t(i)] - FC0[size_t(i)] + 1) > kSmallDivisionLimit) FSmallCounts = false;
  FMagic.resize(size_t(dw));
  for (Integer i = 0; i < dw; ++i) {
    const uint32_t n = uint32_t(FC1[size_t(i)] - FC0[size_t(i)] + 1);
    FMagic[size_t(i)] = FSmallCounts ? SmallDivisionMagic(n) : DivisionMagic(n);
  }
  // The vector sums read whole groups of four pixels plus four bytes; the
  // columns from the first whose groups would pass the row's end, or whose
  // 16-bit sums could overflow, take the portable sums.
  if (FChannels == 3) {
    while (FVectorCount < dw) {
      const int64_t c = FC0[size_t(FVectorCount)], n = FC1[size_t(FVectorCount)] - c + 1;
      if (n > kVectorSumLimit || 3 * c + 12 * ((n + 3) / 4) + 4 > 3 * int64_t(sw)) break;
      ++FVectorCount;
    }
    FReciprocal.resize(size_t(FVectorCount));
    for (Integer i = 0; i < FVectorCount; ++i)
      FReciprocal[size_t(i)] = 1.0f / float(FC1[size_t(i)] - FC0[size_t(i)] + 1);
  }
}

void TFastLinearScaler::ScaleRow(const Byte* Src, Byte* Dst, Integer First, Integer Last) const {
  const Integer* c0 = FC0.data();
  const Integer* c1 = FC1.data();
  if (FRx > 1) {
    const Integer* frac = FFrac.data();
    if (FChannels == 3) {
      for (Integer i = First; i <= Last; ++i, Dst += 3) {
        const Byte* a = Src + 3 * ptrdiff_t(c0[i]);
        const Byte* b = Src + 3 * ptrdiff_t(c1[i]);
        const Integer f = frac[i];
        Dst[0] = Byte(a[0] + (((b[0] - a[0]) * f) >> 17));
        Dst[1] = Byte(a[1] + (((b[1] - a[1]) * f) >> 17));
        Dst[2] = Byte(a[2] + (((b[2] - a[2]) * f) >> 17));
      }
    } else {
      for (Integer i = First; i <= Last; ++i, ++Dst) {
        const Integer a = Src[c0[i]], b = Src[c1[i]];
        *Dst = Byte(a + (((b - a) * frac[i]) >> 17));
      }
    }
    return;
  }
  const uint64_t* magic = FMagic.data();
  auto divide = [&](uint32_t v, Integer i) {
    return FSmallCounts ? Byte((uint64_t(v) * magic[i]) >> 32)
                        : Byte(DivideBy(v, uint32_t(c1[i] - c0[i] + 1), magic[i]));
  };
  if (FChannels == 3) {
    Integer i = First;
#if GT_RESAMPLE_SSSE3
    if (IEResampleUseVectorPaths && HaveSsse3() && First < FVectorCount)
      i = AverageRunsBGRSsse3(Src, Dst, i, Last, std::min(Last, FVectorCount - 1), c0, c1, FReciprocal.data());
#endif
    for (; i <= Last; ++i, Dst += 3) {
      uint32_t b = 0, g = 0, r = 0;
      const Byte* end = Src + 3 * ptrdiff_t(c1[i]);
      for (const Byte* p = Src + 3 * ptrdiff_t(c0[i]); p <= end; p += 3) {
        b += p[0];
        g += p[1];
        r += p[2];
      }
      Dst[0] = divide(b, i);
      Dst[1] = divide(g, i);
      Dst[2] = divide(r, i);
    }
  } else {
    for (Integer i = First; i <= Last; ++i, ++Dst) {
      uint32_t v = 0;
      for (Integer c = c0[i]; c <= c1[i]; ++c) v += Src[c];
      *Dst = divide(v, i);
    }
  }
}

TFastLinearScaler::TSpan TFastLinearScaler::RowSpan(Integer j) const {
  const Integer sh = FSrcHeight;
  TSpan s;
  if (FGrowsDown) {
    const double y = j / FRy;
    s.From = Integer(std::clamp<int64_t>(Trunc(y), 0, sh - 1));
    // The next row is held at the last one: every destination row from
    // sh - 1 on would otherwise read below the picture.
    s.To = std::min(s.From + 1, sh - 1);
    s.Frac = Integer(Trunc((y - s.From) * 131072.0));
  } else {
    s.From = Integer(std::clamp<int64_t>(Trunc(j / FRy), 0, sh - 1));
    s.To = Integer(std::clamp<int64_t>(Trunc(std::min(j + 1, FDstHeight - 1) / FRy), s.From, sh - 1));
  }
  return s;
}

void TFastLinearScaler::CombineRows(const TSpan& Span, const Byte* const* Rows, Byte* Dst, Integer Bytes) const {
  if (FGrowsDown)
    LerpRows(Rows[0], Rows[Span.To - Span.From], Span.Frac, Dst, Bytes);
  else
    AverageRows(Rows, Span.To - Span.From + 1, Dst, Bytes);
}

}  // namespace ieresample_detail
