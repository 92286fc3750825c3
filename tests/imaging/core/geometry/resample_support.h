// Shared helpers of the resampling tests: pictures from functions, sample
// access and picture comparison, with the shared PNM files (for ImageMagick
// and Pillow), runner and temporary folder under the suite's names.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/base/ieparallel.h"
#include "imaging/core/geometry/ieresample.h"
#include "tests/support/lcg.h"
#include "tests/support/pnm_bitmap.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace resample_test {

// Test files go to a private folder named after this suite.
class TempDir : public gt_test::TempDir {
 public:
  TempDir() : gt_test::TempDir("resample") {}
};

using gt_test::Shell;

// Forces one thread count for a scope.
class ThreadScope {
 public:
  explicit ThreadScope(Integer Count) : FSaved(IEParallelThreads()) { IESetParallelThreads(Count); }
  ~ThreadScope() { IESetParallelThreads(FSaved); }

 private:
  Integer FSaved;
};

using gt_test::Lcg;

// A picture of the given format whose sample c of pixel (x, y) is F(x, y, c)
// (truncated to the sample type). ie1g: a non-zero value sets the bit.
inline void Make(TIEBitmap& B, TIEPixelFormat PF, Integer W, Integer H,
                 const std::function<double(Integer x, Integer y, Integer c)>& F) {
  ASSERT_TRUE(B.Allocate(W, H, PF));
  const Integer channels = IEPixelFormatChannelCount(PF);
  for (Integer y = 0; y < H; ++y) {
    Byte* row = static_cast<Byte*>(B.GetScanline(y));
    for (Integer x = 0; x < W; ++x)
      for (Integer c = 0; c < channels; ++c) {
        const double v = F(x, y, c);
        switch (PF) {
          case ie1g:
            if (v != 0)
              row[x >> 3] |= Byte(0x80 >> (x & 7));
            else
              row[x >> 3] &= Byte(~(0x80 >> (x & 7)));
            break;
          case ie16g:
          case ieRGB48:
            reinterpret_cast<Word*>(row)[x * channels + c] = Word(v);
            break;
          case ie32f:
            reinterpret_cast<float*>(row)[x] = float(v);
            break;
          default:
            row[x * channels + c] = Byte(v);
            break;
        }
      }
  }
}

// Sample c of pixel (x, y) of a row of the given format as a double (ie1g: 0 or 255).
inline double RowSample(const Byte* Row, TIEPixelFormat PF, Integer Channels, Integer x, Integer c) {
  switch (PF) {
    case ie1g:
      return (Row[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
    case ie16g:
    case ieRGB48: {
      Word w;
      std::memcpy(&w, Row + 2 * (size_t(x) * Channels + c), 2);
      return w;
    }
    case ie32f: {
      float f;
      std::memcpy(&f, Row + 4 * size_t(x), 4);
      return f;
    }
    default:
      return Row[size_t(x) * Channels + c];
  }
}

inline double Sample(TIEBitmap& B, Integer x, Integer y, Integer c = 0) {
  return RowSample(static_cast<const Byte*>(B.GetScanline(y)), B.PixelFormat(), B.ChannelCount(), x, c);
}

// Every sample of every pixel, row by row (padding left out). Each row is
// fetched once: a picture in a temporary file maps a row per fetch.
inline std::vector<double> Samples(TIEBitmap& B) {
  std::vector<double> out;
  const Integer channels = B.PixelFormat() == ie1g ? 1 : B.ChannelCount();
  for (Integer y = 0; y < B.Height(); ++y) {
    const Byte* row = static_cast<const Byte*>(B.GetScanline(y));
    for (Integer x = 0; x < B.Width(); ++x)
      for (Integer c = 0; c < channels; ++c) out.push_back(RowSample(row, B.PixelFormat(), B.ChannelCount(), x, c));
  }
  return out;
}

using gt_test::Pnm;
using gt_test::ReadPnm;
using gt_test::WritePnm;

// Peak signal-to-noise ratio of B against the PNM picture (same size and
// channel order R, G, B).
inline double Psnr(TIEBitmap& B, const Pnm& Ref) {
  double se = 0;
  size_t n = 0;
  for (Integer y = 0; y < B.Height(); ++y)
    for (Integer x = 0; x < B.Width(); ++x)
      for (Integer k = 0; k < Ref.Channels; ++k) {
        const Integer c = B.PixelFormat() == ie24RGB ? 2 - k : k;
        const double d = Sample(B, x, y, c) - Ref.At(x, y, k);
        se += d * d;
        ++n;
      }
  if (se == 0) return 99.0;
  const double mse = se / double(n);
  return 10 * std::log10(255.0 * 255.0 / mse);
}

}  // namespace resample_test
