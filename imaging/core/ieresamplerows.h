// Row loops of the resampling kernels: contributor tables with fixed-point
// weights and the per-row multiply-add loops (vector and portable forms).
// Internal to the resampling module.
#pragma once

#include <cstdint>
#include <vector>

#include "imaging/core/iedefs.h"
#include "platform/base/types.h"

namespace ieresample_detail {

// Contributor lists of one axis. Destination index i takes the source
// positions First[i] .. First[i] + Count[i] - 1 (they may lie outside the
// picture; MapSource says which pixel stands there) with the weights at
// Weights[Offset[i]]. Every list is followed by zero weights up to a
// multiple of 8, so vector loops may run over whole groups.
// The weights of a list add up to exactly 1 << Shift, so a constant picture
// stays constant; Shift is the largest precision (at least 14 bits) that
// keeps every weight within 16 bits and every sum of 8-bit samples within
// 31 bits, so large reductions keep their precision.
struct TContribTable {
  std::vector<Integer> First, Count, Offset;
  std::vector<int16_t> Weights;
  Integer Shift = 14;
  Integer MinFirst = 0;  // smallest source position of any list
  Integer MaxLast = 0;   // largest source position of any list, group padding included
  Integer MaxCount = 0;
  int64_t TotalTaps = 0;
};

// Builds the table of a kernel filter (rfTriangle .. rfLinear) for SrcLen
// source and DstLen destination pixels: the first and last destination
// pixels map onto the first and last source pixels. False when the filter
// has no kernel.
bool BuildContribTable(TContribTable& T, Integer SrcLen, Integer DstLen, TResampleFilter Filter);

// The pixel that stands at position j of an axis of n pixels: the left edge
// reflects without repeating the edge pixel, the right edge repeats it, and
// positions beyond one reflection are held at the ends.
inline Integer MapSource(Integer j, Integer n) {
  int64_t m = j;
  if (m < 0)
    m = -m;
  else if (m >= n)
    m = 2 * int64_t(n) - 1 - m;
  return Integer(m < 0 ? 0 : (m > n - 1 ? n - 1 : m));
}

// Horizontal pass over a padded row (position j at Src + Bpp * (j - MinFirst),
// with the table's group padding readable): Channels 4 reads blue, green,
// red and a spare byte per pixel and writes three bytes per destination
// pixel; Channels 1 reads and writes one byte.
void FilterRow4To3(const Byte* Src, Byte* Dst, const TContribTable& T, Integer DstLen);
void FilterRow1(const Byte* Src, Byte* Dst, const TContribTable& T, Integer DstLen);

// Vertical pass: Dst[x] = clamp(sum of W[k] * Rows[k][x] >> Shift) for the
// Bytes bytes of a row.
void FilterColumns(const Byte* const* Rows, const int16_t* W, Integer Count, Integer Shift, Byte* Dst, Integer Bytes);

// Fast linear interpolation between two rows: Dst[x] = A[x] + (((B[x] -
// A[x]) * Frac) >> 17), the shift rounding toward minus infinity.
void LerpRows(const Byte* A, const Byte* B, Integer Frac, Byte* Dst, Integer Bytes);

// Integer averages: Dst[x] = (sum of Rows[k][x]) div Count.
void AverageRows(const Byte* const* Rows, Integer Count, Byte* Dst, Integer Bytes);

// Exact Value div Count for Value < 2^32 through a multiply: Magic is
// DivisionMagic(Count).
inline uint64_t DivisionMagic(uint32_t Count) { return Count <= 1 ? 0 : UINT64_MAX / Count + 1; }
inline uint32_t DivideBy(uint32_t Value, uint32_t Count, uint64_t Magic) {
  return Count <= 1 ? Value : uint32_t((unsigned __int128)Value * Magic >> 64);
}

}  // namespace ieresample_detail
