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

// Half-to-even rounding of the spec's Round and "nearest integer".
// std::nearbyint follows the current rounding mode, which is round-to-nearest-even
// unless someone changed it; we do not rely on it and compute explicitly.
inline int64_t Round(long double x) {
  long double f = std::floor(x);
  long double diff = x - f;
  int64_t r = static_cast<int64_t>(f);
  if (diff > 0.5L) return r + 1;
  if (diff < 0.5L) return r;
  return (r % 2 == 0) ? r : r + 1;
}
inline int64_t Round(double x) { return Round(static_cast<long double>(x)); }
inline int64_t Round(float x) { return Round(static_cast<long double>(x)); }

// Rounds toward zero.
inline int64_t Trunc(long double x) { return static_cast<int64_t>(x); }
inline int64_t Trunc(double x) { return static_cast<int64_t>(x); }
inline int64_t Trunc(float x) { return static_cast<int64_t>(x); }

// Fractional part with the sign of x, as Frac.
inline double Frac(double x) { return x - static_cast<double>(Trunc(x)); }
