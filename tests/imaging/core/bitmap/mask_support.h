// Shared helpers of the selection-mask tests: masks drawn and read as rows of
// characters, pictures with a distinct value in every byte, and the outside
// reference script.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/bitmap/iemask.h"
#include "tests/support/process.h"

namespace mask_test {

// '#' selected (255 in 8-bit masks), '.' not, digits 1..9 the 8-bit values
// 1..9; rows top to bottom. Sets the box from the pixels.
inline void DrawMask(TIEMask& M, Integer Bpp, const std::vector<std::string>& Rows) {
  M.AllocateBits(Integer(Rows[0].size()), Integer(Rows.size()), Bpp);
  for (size_t y = 0; y < Rows.size(); ++y)
    for (size_t x = 0; x < Rows[y].size(); ++x) {
      const char c = Rows[y][x];
      if (c == '#') M.SetPixel(Integer(x), Integer(y), 255);
      else if (c >= '1' && c <= '9') M.SetPixel(Integer(x), Integer(y), c - '0');
    }
}

// The mask as rows of '#' (selected) and '.'.
inline std::vector<std::string> MaskRows(const TIEMask& M) {
  std::vector<std::string> rows;
  for (Integer y = 0; y < M.Height(); ++y) {
    std::string r;
    for (Integer x = 0; x < M.Width(); ++x) r += M.IsPointInside(x, y) ? '#' : '.';
    rows.push_back(r);
  }
  return rows;
}

struct TBox {
  Integer X1, Y1, X2, Y2;
  friend bool operator==(const TBox&, const TBox&) = default;
};
inline TBox Box(const TIEMask& M) { return {M.X1, M.Y1, M.X2, M.Y2}; }
inline void PrintTo(const TBox& B, std::ostream* os) {
  *os << "(" << B.X1 << ", " << B.Y1 << ", " << B.X2 << ", " << B.Y2 << ")";
}
constexpr TBox kEmptyBox{INT32_MAX, INT32_MAX, 0, 0};

// Every byte of the picture's rows gets a value from its position and Seed,
// so that a byte copied from the wrong place shows.
inline void Pattern(TIEBitmap& B, int Seed) {
  for (Integer y = 0; y < B.Height(); ++y) {
    Byte* r = static_cast<Byte*>(B.GetScanline(y));
    for (Integer i = 0; i < B.RowLen(); ++i) r[i] = Byte(i * 7 + y * 31 + Seed * 101 + (i * y) % 13);
  }
}

inline std::vector<Byte> RowBytes(TIEBitmap& B, Integer Y) {
  const Byte* r = static_cast<const Byte*>(B.GetScanline(Y));
  return std::vector<Byte>(r, r + B.RowLen());
}

// Bytes of pixel X of a row of the given format (ie1g: the bit as 0 or 1).
inline std::vector<Byte> PixelBytes(TIEBitmap& B, Integer X, Integer Y) {
  const Byte* r = static_cast<const Byte*>(B.GetScanline(Y));
  if (B.PixelFormat() == ie1g) return {Byte((r[X >> 3] >> (7 - (X & 7))) & 1)};
  const Integer ps = B.BitCount() / 8;
  return std::vector<Byte>(r + X * ps, r + (X + 1) * ps);
}

// This folder in the source tree, where the reference script lives.
inline const std::string kHere = std::string(GT_TEST_DATA_DIR) + "/../imaging/core/bitmap";

}  // namespace mask_test
