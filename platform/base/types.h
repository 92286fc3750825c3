// Scalar types and the rounding words every port uses.
// "Round" takes halves to the even neighbour; "Trunc" rounds toward zero.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>

namespace gt {}

using Integer = int32_t;
using Cardinal = uint32_t;
using Int64 = int64_t;
using Word = uint16_t;
using Byte = uint8_t;
using Single = float;
using Double = double;
using Extended = long double;
using Boolean = bool;

using WideString = std::u16string;
using WideChar = char16_t;
using AnsiString = std::string;

namespace gt_detail {
// Converts an integral-valued x to int64, saturating: values read from files
// may be NaN or huge, and casting those would be undefined behaviour.
inline int64_t SaturatingInt64(long double x) {
  if (x != x) return 0;  // NaN
  if (x >= 9223372036854775807.0L) return INT64_MAX;
  if (x <= -9223372036854775808.0L) return INT64_MIN;
  return static_cast<int64_t>(x);
}
}  // namespace gt_detail

// Half-to-even rounding: what Round and "nearest integer" mean throughout the program.
// std::nearbyint follows the current rounding mode, which is round-to-nearest-even
// unless someone changed it; we do not rely on it and compute explicitly.
// NaN gives 0; values beyond the int64 range saturate.
inline int64_t Round(long double x) {
  long double f = std::floor(x);
  long double diff = x - f;
  int64_t r = gt_detail::SaturatingInt64(f);
  if (r == INT64_MAX || r == INT64_MIN || x != x) return r;
  if (diff > 0.5L) return r + 1;
  if (diff < 0.5L) return r;
  return (r % 2 == 0) ? r : r + 1;
}
inline int64_t Round(double x) { return Round(static_cast<long double>(x)); }
inline int64_t Round(float x) { return Round(static_cast<long double>(x)); }

// Rounds toward zero (NaN gives 0, the int64 range saturates).
inline int64_t Trunc(long double x) { return gt_detail::SaturatingInt64(std::trunc(x)); }
inline int64_t Trunc(double x) { return Trunc(static_cast<long double>(x)); }
inline int64_t Trunc(float x) { return Trunc(static_cast<long double>(x)); }

// Fractional part with the sign of x, as Frac.
inline double Frac(double x) { return x - std::trunc(x); }
