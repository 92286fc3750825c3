// Shared helpers of the 1-bit and quantizer tests: pictures from functions,
// and the shared PNM files, runners and temporary folder under the suite's names.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "imaging/core/bitmap/iebitmap.h"
#include "tests/support/lcg.h"
#include "tests/support/pnm_bitmap.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace quant_test {

// Test files go to a private folder named after this suite.
class TempDir : public gt_test::TempDir {
 public:
  TempDir() : gt_test::TempDir("quant") {}
};

using gt_test::Capture;
using gt_test::LoadPnm;
using gt_test::Pnm;
using gt_test::ReadPnm;
using gt_test::Shell;
using gt_test::WritePnm;

// An ie24RGB picture from a P6 file.
inline bool LoadRGB(const Pnm& P, TIEBitmap& B) { return P.Kind == '6' && P.MaxVal == 255 && LoadPnm(P, B); }

// An ie24RGB picture whose pixel (x, y) is Fn(x, y).
inline void MakeRGB(TIEBitmap& B, Integer W, Integer H, const std::function<TRGB(Integer, Integer)>& Fn) {
  ASSERT_TRUE(B.Allocate(W, H, ie24RGB));
  for (Integer y = 0; y < H; ++y) {
    TRGB* d = static_cast<TRGB*>(B.GetScanline(y));
    for (Integer x = 0; x < W; ++x) d[x] = Fn(x, y);
  }
}

inline TRGB Rgb(Byte r, Byte g, Byte b) { return TRGB{b, g, r}; }

// Bit x of row y of an ie1g picture.
inline bool White(TIEBitmap& B, Integer x, Integer y) {
  return (static_cast<const Byte*>(B.GetScanline(y))[x >> 3] & (0x80 >> (x & 7))) != 0;
}

using gt_test::Lcg;

}  // namespace quant_test
