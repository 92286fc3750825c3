// Row loops of the resampling kernels: contributor tables with fixed-point
// weights and the per-row multiply-add loops (vector and portable forms),
// and the fast linear scaler a row at a time. Internal to the imaging
// kernels (the resampling module and the renderer's filtered path).
#pragma once

#include <cstdint>
#include <vector>

#include "imaging/core/base/iedefs.h"
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

// The cheaper form for averages of bytes: Value div Count is exact as
// (Value x SmallDivisionMagic(Count)) >> 32 whenever Value x Count < 2^32,
// which holds for sums of up to kSmallDivisionLimit bytes.
constexpr uint32_t kSmallDivisionLimit = 4104;  // 255 x 4104^2 < 2^32
inline uint64_t SmallDivisionMagic(uint32_t Count) {
  return Count <= 1 ? uint64_t(1) << 32 : uint64_t(UINT32_MAX / Count) + 1;
}

// The fixed-point fast scaler (rfFastLinear) for pixels of Channels bytes
// (1 or 3), split so that destination rows can be made one at a time from
// just the source rows they need. Along an axis that grows: 17-bit linear
// interpolation between a pixel and the next one (held at the last);
// along an axis that does not: the integer average of the covered pixels,
// neighbouring destination pixels sharing one source pixel. Rows come out
// the same whichever of them are made and in whatever order.
class TFastLinearScaler {
 public:
  TFastLinearScaler(Integer SrcWidth, Integer SrcHeight, Integer DstWidth, Integer DstHeight, Integer Channels);

  // Destination columns First .. Last of one source row (SrcWidth pixels)
  // into Dst, which receives Last - First + 1 pixels.
  void ScaleRow(const Byte* Src, Byte* Dst, Integer First, Integer Last) const;

  // The source rows destination row j is made of: From .. To averaged, or,
  // when the height grows, From and To interpolated by Frac.
  struct TSpan {
    Integer From = 0, To = 0, Frac = 0;
  };
  TSpan RowSpan(Integer j) const;
  bool GrowsDown() const { return FGrowsDown; }

  // Destination row of Bytes bytes from the horizontally scaled rows of
  // its span: Rows[k] holds source row Span.From + k.
  void CombineRows(const TSpan& Span, const Byte* const* Rows, Byte* Dst, Integer Bytes) const;

 private:
  Integer FSrcHeight, FDstHeight, FChannels;
  double FRx, FRy;
  bool FGrowsDown;
  bool FSmallCounts = true;  // every column average uses the 32-bit division
  // Columns 0 .. FVectorCount - 1 may take the vector sums of ScaleRow: runs
  // short enough for 16-bit sums whose loads stay inside the row.
  static constexpr Integer kVectorSumLimit = 256;  // pair sums of 64 groups stay below 2^15
  Integer FVectorCount = 0;
  std::vector<float> FReciprocal;  // 1 / run length of those columns
  std::vector<Integer> FC0, FC1, FFrac;
  std::vector<uint64_t> FMagic;
};

}  // namespace ieresample_detail
