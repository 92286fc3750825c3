// Area-coverage resizing (rfBilinear, rfBicubic): integer-factor reductions
// against Pillow's reduce(), the cubic convolution and its limits, the
// choice of interpolated axes, odd size ratios, progress.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "imaging/core/geometry/ieareainterp.h"
#include "imaging/core/geometry/ieresample.h"
#include "tests/imaging/core/geometry/resample_support.h"

namespace test_areainterp_tests {

using namespace resample_test;

namespace {

const std::string kHere = std::string(GT_TEST_DATA_DIR) + "/../imaging/core/geometry";

// Random samples with no block sum at a rounding boundary of the oracle:
// Pillow rounds halves up where this code takes the even neighbour, and its
// 8-bit path divides through a fixed-point reciprocal that comes out one low
// whenever sum + n div 2 is a multiple of the block size n (a quotient of
// exactly one half, or for odd n the one just above it).
std::vector<double> TieFreeSamples(Integer W, Integer H, Integer Channels, Integer Fx, Integer Fy, double Max,
                                   uint32_t Seed) {
  Lcg rnd(Seed);
  std::vector<double> s(size_t(W) * H * Channels);
  for (double& v : s) v = double(rnd.Next() % (uint32_t(Max) + 1));
  const Integer n = Fx * Fy;
  for (Integer by = 0; by < H / Fy; ++by)
    for (Integer bx = 0; bx < W / Fx; ++bx)
      for (Integer c = 0; c < Channels; ++c) {
        int64_t sum = 0;
        for (Integer y = by * Fy; y < (by + 1) * Fy; ++y)
          for (Integer x = bx * Fx; x < (bx + 1) * Fx; ++x) sum += int64_t(s[(size_t(y) * W + x) * Channels + c]);
        if ((sum + n / 2) % n == 0) {
          double& first = s[(size_t(by * Fy) * W + bx * Fx) * Channels + c];
          first += first < Max ? 1 : -1;
        }
      }
  return s;
}

}  // namespace

TEST(AreaInterpolation, IntegerReductionsEqualPillowReduce) {
  TempDir dir;
  ASSERT_FALSE(dir.Path.empty());
  if (Shell("/usr/bin/python3 -c 'import PIL' 2>/dev/null") != 0) GTEST_FAIL() << "python3-pil is not installed";
  const std::pair<Integer, Integer> factors[] = {{2, 2}, {3, 2}, {4, 4}, {1, 3}, {5, 1}};
  for (TIEPixelFormat pf : {ie8g, ie24RGB, ie16g, ieRGB48})
    for (const auto& [fx, fy] : factors) {
      const Integer dw = 9, dh = 7, sw = dw * fx, sh = dh * fy;
      const Integer channels = IEPixelFormatChannelCount(pf);
      const double max = (pf == ie16g || pf == ieRGB48) ? 65535 : 255;
      const std::vector<double> s = TieFreeSamples(sw, sh, channels, fx, fy, max, uint32_t(fx * 31 + fy + pf));
      TIEBitmap src;
      Make(src, pf, sw, sh, [&](Integer x, Integer y, Integer c) { return s[(size_t(y) * sw + x) * channels + c]; });
      ASSERT_TRUE(WritePnm(dir.File("in.pnm"), src));
      ASSERT_EQ(Shell("/usr/bin/python3 " + kHere + "/pillow_reduce.py " + dir.File("in.pnm") + " " +
                      dir.File("out.pnm") + " " + std::to_string(fx) + " " + std::to_string(fy)),
                0);
      Pnm ref;
      ASSERT_TRUE(ReadPnm(dir.File("out.pnm"), ref));
      ASSERT_EQ(ref.Width, dw);
      ASSERT_EQ(ref.Height, dh);
      for (TResampleFilter f : {rfBilinear, rfBicubic}) {
        SCOPED_TRACE(::testing::Message() << "format " << int(pf) << " factor " << fx << "x" << fy << " filter "
                                          << int(f));
        TIEBitmap dst(dw, dh, pf);
        IEResample(&src, &dst, f);
        ASSERT_EQ(dst.PixelFormat(), pf);
        for (Integer y = 0; y < dh; ++y)
          for (Integer x = 0; x < dw; ++x)
            for (Integer k = 0; k < channels; ++k) {
              const Integer c = pf == ie24RGB ? 2 - k : k;  // the PNM holds R, G, B
              ASSERT_EQ(Sample(dst, x, y, c), ref.At(x, y, k)) << x << "," << y << " channel " << k;
            }
      }
    }
}

TEST(AreaInterpolation, CubicConvolutionAndItsLimits) {
  struct Case {
    double PPrev, P0, P1, P2, T, Expected;
  };
  const Case cases[] = {
      {10, 20, 30, 40, 0.0, 20},       // at p0
      {10, 20, 30, 40, 1.0, 30},       // at p1
      {0, 0, 255, 255, 0.5, 127.5},    // weights -1/8, 5/8, 5/8, -1/8
      {0, 255, 255, 255, 0.5, 255},    // 286.875 lowered to the maximum
      {255, 0, 0, 0, 0.5, 0},          // -31.875 raised to the minimum
      {0, 0, 100, 0, 0.25, 29.6875},   // p1 at distance 0.75: W = 0.421875 - 1.125 + 1
  };
  for (const Case& c : cases)
    EXPECT_DOUBLE_EQ(IECubicInterpolate(c.PPrev, c.P0, c.P1, 255, 0, c.P2, c.T), c.Expected) << c.T;
  // The limits are the caller's: 16-bit samples and a narrower window.
  EXPECT_DOUBLE_EQ(IECubicInterpolate(0, 65535, 65535, 65535, 0, 65535, 0.5), 65535);
  EXPECT_DOUBLE_EQ(IECubicInterpolate(0, 0, 255, 200, 50, 255, 0.5), 127.5);
  EXPECT_DOUBLE_EQ(IECubicInterpolate(0, 0, 0, 200, 50, 0, 0.5), 50);
}

// Enlarging along x while reducing along y interpolates along x only: each
// piece takes the value at its right end between columns c and c + 1, and
// the rows are plain area averages.
TEST(AreaInterpolation, EnlargeAlongXReduceAlongY) {
  struct Case {
    TResampleFilter Filter;
    std::vector<double> Row, Expected;
  };
  const Case cases[] = {
      {rfBilinear, {0, 100}, {50, 100, 100, 100}},
      {rfBilinear, {0, 0, 255, 0}, {0, 0, 128, 255, 128, 0, 0, 0}},
      {rfBicubic, {0, 0, 255, 0}, {0, 0, 159, 255, 159, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    const Integer sw = Integer(c.Row.size());
    // Rows 0 and 1 hold the row, rows 2 and 3 the row plus 40: the two
    // destination rows must not mix them.
    TIEBitmap src, dst(2 * sw, 2, ie8g);
    Make(src, ie8g, sw, 4, [&](Integer x, Integer y, Integer) { return std::min(255.0, c.Row[size_t(x)] + (y >= 2 ? 40 : 0)); });
    IEResample(&src, &dst, c.Filter);
    // The lower destination row is the upper source rows alone.
    TIEBitmap lower, lowerDst(2 * sw, 1, ie8g);
    Make(lower, ie8g, sw, 2, [&](Integer x, Integer, Integer) { return std::min(255.0, c.Row[size_t(x)] + 40); });
    IEResample(&lower, &lowerDst, c.Filter);
    for (Integer x = 0; x < 2 * sw; ++x) {
      EXPECT_EQ(Sample(dst, x, 0), c.Expected[size_t(x)]) << int(c.Filter) << " column " << x;
      EXPECT_EQ(Sample(dst, x, 1), Sample(lowerDst, x, 0)) << int(c.Filter) << " column " << x;
    }
  }
}

TEST(AreaInterpolation, BicubicStaysInRangeOnACheckerboard) {
  for (TIEPixelFormat pf : {ie8g, ie16g}) {
    const double max = pf == ie8g ? 255 : 65535;
    TIEBitmap src;
    Make(src, pf, 24, 24, [&](Integer x, Integer y, Integer) { return ((x / 4 + y / 4) % 2) ? max : 0; });
    // Along x only every destination row follows one source row: the
    // curve is flat inside the cells and monotone between them, overshoot
    // held at the limits. A value wrapped round past a limit would stand
    // outside its neighbours.
    TIEBitmap wide(61, 24, pf);
    IEResample(&src, &wide, rfBicubic);
    for (Integer y = 0; y < 24; ++y) {
      double lo = max, hi = 0;
      for (Integer x = 0; x < 61; ++x) {
        const double v = Sample(wide, x, y);
        lo = std::min(lo, v);
        hi = std::max(hi, v);
        if (x == 0 || x == 60 || v == 0 || v == max) continue;
        const double a = Sample(wide, x - 1, y), b = Sample(wide, x + 1, y);
        EXPECT_GE(v, std::min(a, b)) << int(pf) << " at " << x << "," << y;
        EXPECT_LE(v, std::max(a, b)) << int(pf) << " at " << x << "," << y;
      }
      EXPECT_EQ(lo, 0) << y;
      EXPECT_EQ(hi, max) << y;
    }
    // Both axes: the inside of every cell keeps its value exactly.
    // Pixels whose pieces all end where the four taps lie inside one cell
    // (positions 1 .. 2 of the cell along both axes) take its value exactly.
    TIEBitmap big(60, 60, pf);
    IEResample(&src, &big, rfBicubic);
    Integer checked = 0;
    for (Integer y = 0; y < 60; ++y)
      for (Integer x = 0; x < 60; ++x) {
        const double left = x * 0.4, top = y * 0.4;  // source position of the pixel's corner
        const Integer cx = Integer(left) / 4, cy = Integer(top) / 4;
        const double ix = left - cx * 4, iy = top - cy * 4;
        if (ix > 1.05 && ix < 1.55 && iy > 1.05 && iy < 1.55) {
          EXPECT_EQ(Sample(big, x, y), ((cx + cy) % 2) ? max : 0) << x << "," << y;
          ++checked;
        }
      }
    EXPECT_GT(checked, 30);
  }
}

TEST(AreaInterpolation, OddRatiosKeepConstantPicturesAndStayInside) {
  // Boundaries that drift past each other by rounding (thirds, sevenths)
  // make pieces of no or negative width and, unchecked, a column index equal
  // to the width.
  for (TIEPixelFormat pf : {ie24RGB, ieRGB48})
    for (Integer sw = 1; sw <= 13; sw += 2)
      for (Integer dw = 1; dw <= 14; ++dw)
        for (TResampleFilter f : {rfBilinear, rfBicubic}) {
          TIEBitmap src, dst(dw, 3 + dw % 5, pf);
          const double v = pf == ie24RGB ? 77 : 40000;
          Make(src, pf, sw, 7, [&](Integer, Integer, Integer c) { return v + c; });
          IEResample(&src, &dst, f);
          if (sw == dw && dst.Height() == 7) continue;
          for (Integer y = 0; y < dst.Height(); ++y)
            for (Integer x = 0; x < dw; ++x)
              for (Integer c = 0; c < 3; ++c)
                ASSERT_EQ(Sample(dst, x, y, c), v + c) << sw << " -> " << dw << " filter " << int(f);
        }
}

TEST(AreaInterpolation, OtherFormatsAreLeftAlone) {
  TIEBitmap gray16, rgb;
  Make(gray16, ie16g, 10, 10, [](Integer x, Integer, Integer) { return x * 1000; });
  Make(rgb, ie24RGB, 10, 10, [](Integer x, Integer, Integer) { return x * 10; });
  TIEBitmap a, b;
  Make(a, ie24RGB, 5, 5, [](Integer, Integer, Integer) { return 9; });
  Make(b, ie16g, 5, 5, [](Integer, Integer, Integer) { return 9; });
  IEInterpolate8And24(&gray16, &a, 0);
  IEInterpolate16And48(&rgb, &b, 1);
  EXPECT_EQ(a.PixelFormat(), ie24RGB);
  EXPECT_EQ(b.PixelFormat(), ie16g);
  for (double v : Samples(a)) EXPECT_EQ(v, 9);
  for (double v : Samples(b)) EXPECT_EQ(v, 9);
}

TEST(AreaInterpolation, ProgressAfterEachDestinationRow) {
  ThreadScope serial(1);
  TIEBitmap src, dst(20, 29, ie8g);
  Make(src, ie8g, 50, 40, [](Integer x, Integer y, Integer) { return x + y; });
  std::vector<Integer> seen;
  IEInterpolate8And24(&src, &dst, 1, [&](TObject*, Integer p) { seen.push_back(p); });
  ASSERT_EQ(seen.size(), 29u);
  for (Integer n = 1; n <= 29; ++n) EXPECT_EQ(seen[size_t(n - 1)], Integer(double(n) / 29 * 100)) << n;
  EXPECT_EQ(seen.back(), 100);
}

}  // namespace test_areainterp_tests
