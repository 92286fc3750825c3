// Contributor tables and the multiply-add row loops of the resampling
// kernels. The vector forms use SSE2 (always there on x86-64) and give
// exactly the results of the portable forms.
#include "imaging/core/ieresamplerows.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "imaging/core/ieresample.h"
#include "imaging/core/ieutils.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#define GT_RESAMPLE_SSE2 1
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
  const uint64_t magic = DivisionMagic(uint32_t(Count));
  Integer x = 0;
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
    for (Integer i = 0; i < n; ++i) Dst[x + i] = Byte(DivideBy(sums[i], uint32_t(Count), magic));
  }
}

}  // namespace ieresample_detail
