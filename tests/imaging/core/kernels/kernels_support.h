// Shared helpers of the kernel tests: running the outside references
// (ImageMagick, the scipy script) and small picture builders.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/core/bitmap/iebitmap.h"
#include "tests/support/process.h"

namespace kernels_test {

// This folder in the source tree, where the reference script lives.
inline const std::string kHere = std::string(GT_TEST_DATA_DIR) + "/../imaging/core/kernels";

inline Byte* RowOf(TIEBitmap& B, Integer Y) { return static_cast<Byte*>(B.GetScanline(Y)); }

// A gray picture from rows of values.
inline void FillGray(TIEBitmap& B, const std::vector<std::vector<int>>& Rows) {
  B.Allocate(Integer(Rows[0].size()), Integer(Rows.size()), ie8g);
  for (size_t y = 0; y < Rows.size(); ++y)
    for (size_t x = 0; x < Rows[y].size(); ++x) RowOf(B, Integer(y))[x] = Byte(Rows[y][x]);
}

inline std::vector<Byte> GrayPixels(TIEBitmap& B) {
  std::vector<Byte> v;
  for (Integer y = 0; y < B.Height(); ++y) v.insert(v.end(), RowOf(B, y), RowOf(B, y) + B.Width());
  return v;
}

}  // namespace kernels_test
