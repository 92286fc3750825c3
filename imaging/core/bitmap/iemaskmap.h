// The mapping between a source and a destination axis under which a mask is
// scaled for drawing; shared by the mask's stretch and the drawing that finds
// its limits, so both agree on every pixel.
#pragma once

#include <cstdint>

namespace iemask_detail {

// Destination and source are related exactly, in integers: destination pixel
// d of a rectangle of Dst pixels shows source offset floor(d x Src / Dst), so
// source offset v begins at destination pixel ceil(v x Dst / Src). This is
// the mapping the view uses for the picture, so the selection drawn over it
// sits on the same pixels at every zoom. (A 14-bit fixed-point step would be
// slightly short at zooms such as 300 or 700, where Src / Dst has no exact
// binary form, and would put each column boundary one pixel late.)
struct TAxisMap {
  int64_t Src, Dst;  // both at least 1

  static int64_t FloorDiv(__int128 N, int64_t D) {
    __int128 q = N / D;
    if (N % D != 0 && N < 0) --q;
    return int64_t(q);
  }
  // The source offset shown at destination pixel D.
  int64_t SourceAt(int64_t D) const { return FloorDiv(__int128(D) * Src, Dst); }
  // The first destination pixel that shows source offset V or a later one.
  int64_t StartOf(int64_t V) const { return -FloorDiv(-__int128(V) * Dst, Src); }
  // Source offset V scaled to destination pixels, rounded down.
  int64_t ScaleDown(int64_t V) const { return FloorDiv(__int128(V) * Dst, Src); }
};

}  // namespace iemask_detail
