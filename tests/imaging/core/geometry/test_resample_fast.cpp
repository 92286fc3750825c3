// The fixed-point fast scalers, the 1-bit reductions, the black-and-white
// projections and the nearest stretch.
#include <gtest/gtest.h>

#include <vector>

#include "imaging/core/geometry/ieresample.h"
#include "tests/imaging/core/geometry/resample_support.h"

namespace test_resample_fast_tests {

using namespace resample_test;

// ---------------------------------------------------------------------------
// Fast linear

TEST(FastLinear, HandComputedRows) {
  struct Case {
    std::vector<double> Src;
    Integer Dw;
    std::vector<double> Expected;
  };
  const Case cases[] = {
      // Enlarging: 17-bit fractions, the next column held at the last one.
      {{0, 255}, 5, {0, 101, 203, 255, 255}},
      // A falling edge: the arithmetic shift rounds toward minus infinity.
      {{255, 0}, 5, {255, 153, 51, 0, 0}},
      // Reducing: averages of columns c0 .. cEnd, neighbouring windows sharing one column.
      {{10, 20, 30, 40, 50, 60}, 3, {20, 40, 50}},
      // Unchanged width: every pixel is averaged with its right neighbour.
      {{0, 100, 200, 40}, 4, {50, 150, 120, 40}},
  };
  for (const Case& c : cases) {
    TIEBitmap src, dst(c.Dw, 4, ie8g);
    Make(src, ie8g, Integer(c.Src.size()), 2, [&](Integer x, Integer, Integer) { return c.Src[size_t(x)]; });
    IEResample(&src, &dst, rfFastLinear);
    for (Integer y = 0; y < 4; ++y)
      for (Integer x = 0; x < c.Dw; ++x) EXPECT_EQ(Sample(dst, x, y), c.Expected[size_t(x)]) << x << "," << y;
  }
}

// Two source rows enlarged to ten: destination rows 5 to 9 all lie at or
// past the last source row and must take it alone instead of reading the
// row after it.
TEST(FastLinear, TwoRowsToTenStayInsideTheWorkImage) {
  // Byte rows 0 and 100; bit rows 0 and 1, read as 0 and 255.
  const std::vector<double> bytes = {0, 19, 39, 59, 79, 100, 100, 100, 100, 100};
  const std::vector<double> bits = {0, 50, 101, 152, 203, 255, 255, 255, 255, 255};
  for (TIEPixelFormat pf : {ie8g, ie24RGB, ie1g}) {
    // Rows wide enough that a row read past the work image leaves its block.
    TIEBitmap src, dst(40, 10, pf);
    Make(src, pf, 40, 2, [pf](Integer, Integer y, Integer) { return pf == ie1g ? y : y * 100.0; });
    IEResample(&src, &dst, rfFastLinear);
    const std::vector<double>& expected = pf == ie1g ? bits : bytes;
    for (Integer y = 0; y < 10; ++y)
      for (Integer x = 0; x < 40; ++x) EXPECT_EQ(Sample(dst, x, y), expected[size_t(y)]) << int(pf) << " row " << y;
  }
}

TEST(FastLinear, ReportsEveryRow) {
  ThreadScope serial(1);
  TIEBitmap src, dst(30, 10, ie24RGB);
  Make(src, ie24RGB, 20, 4, [](Integer x, Integer y, Integer c) { return x + y + c; });
  std::vector<Integer> seen;
  IEResampleFastLinear24(&src, &dst, [&](TObject*, Integer p) { seen.push_back(p); });
  // Rows counted from 0: Trunc(y * 100 / 14.5) then Trunc((4 + j) * 100 / 14.5).
  std::vector<Integer> expected;
  for (Integer n = 0; n < 14; ++n) expected.push_back(Integer(n * 100 / 14.5));
  EXPECT_EQ(seen, expected);
}

TEST(FastLinear, OneBitSourcesGiveGrayTriples) {
  TIEBitmap src;
  Make(src, ie1g, 8, 8, [](Integer x, Integer y, Integer) { return x >= 4 && y >= 4; });
  // Enlarging along one axis runs the fast linear method on 0 and 255.
  TIEBitmap wide(16, 4, ie1g);
  IEResample(&src, &wide, rfFastLinear);
  ASSERT_EQ(wide.PixelFormat(), ie24RGB);
  EXPECT_EQ(Sample(wide, 15, 3, 0), 255);
  EXPECT_EQ(Sample(wide, 0, 0, 2), 0);
  EXPECT_EQ(Sample(wide, 7, 3, 1), 127);  // columns 3 and 4 lerped at one half: 0 + (255 * 65536 >> 17)
  // Reducing both ways counts the set bits of each block.
  TIEBitmap small(2, 2, ie1g);
  IEResample(&src, &small, rfBilinear);
  ASSERT_EQ(small.PixelFormat(), ie24RGB);
  EXPECT_EQ(Sample(small, 0, 0, 0), 0);
  // Rows and columns 2 .. 6 (fx = fy = 4) hold 3 x 3 set bits of 25.
  EXPECT_EQ(Sample(small, 1, 1, 0), 91);
  EXPECT_EQ(Sample(small, 1, 1, 1), Sample(small, 1, 1, 0));
}

// ---------------------------------------------------------------------------
// 1-bit reduction to gray

TEST(OneBitToGray, RowsEndAtHalfTheWholeStep) {
  // 14 rows into 5 (fy = 2.8): destination row 1 covers rows 1 .. 3
  // (Trunc(2.8 + Trunc(2.8) / 2)), row 2 covers rows 4 .. 6. Only row 4 is set.
  TIEBitmap src, dst(8, 5, ie24RGB);
  Make(src, ie1g, 8, 14, [](Integer, Integer y, Integer) { return y == 4; });
  IEResample1BitToGray24(&src, 0, 0, 7, 13, &dst);
  for (Integer x = 0; x < 8; ++x) {
    EXPECT_EQ(Sample(dst, x, 1), 0) << x;
    EXPECT_EQ(Sample(dst, x, 2), 85) << x;  // one set row of three
    EXPECT_EQ(Sample(dst, x, 2, 2), 85) << x;
  }
}

TEST(OneBitToGray, RectangleBeyondThePictureReadsOnlyItsPixels) {
  // The rectangle runs 12 rows and columns past the picture: rows and
  // columns are held at the picture's last ones rather than read past it.
  TIEBitmap src, dst(4, 4, ie24RGB);
  Make(src, ie1g, 9, 9, [](Integer, Integer, Integer) { return 1; });
  IEResample1BitToGray24(&src, 4, 4, 20, 20, &dst);
  for (double v : Samples(dst)) EXPECT_EQ(v, 255);
  IEResample1BitToGray24(&src, -30, -30, -2, -2, &dst);
  for (double v : Samples(dst)) EXPECT_EQ(v, 255);
}

// ---------------------------------------------------------------------------
// Projections

TEST(Projection, OneDarkPixelPerCellMakesEverythingBlack) {
  // Column k >= 1 covers source columns start(k - 1) .. start(k): a black
  // pixel at every cell start is seen by every destination pixel. With white
  // priority every pixel turns white but the first, which covers the black
  // source pixel (0, 0) alone.
  TIEBitmap bits, rgb;
  Make(bits, ie1g, 12, 12, [](Integer x, Integer y, Integer) { return !(x % 3 == 0 && y % 3 == 0); });
  Make(rgb, ie24RGB, 12, 12, [](Integer x, Integer y, Integer) { return x % 3 == 0 && y % 3 == 0 ? 20 : 240; });
  for (TIEBitmap* src : {&bits, &rgb}) {
    TIEBitmap bw(4, 4, src->PixelFormat()), wb(4, 4, src->PixelFormat());
    IEResample(src, &bw, rfProjectBW);
    IEResample(src, &wb, rfProjectWB);
    ASSERT_EQ(bw.PixelFormat(), ie1g);
    ASSERT_EQ(wb.PixelFormat(), ie1g);
    for (double v : Samples(bw)) EXPECT_EQ(v, 0);
    for (Integer y = 0; y < 4; ++y)
      for (Integer x = 0; x < 4; ++x) EXPECT_EQ(Sample(wb, x, y), x == 0 && y == 0 ? 0 : 255) << x << "," << y;
  }
}

TEST(Projection, CoverageOfColumnsAndRows) {
  // One black pixel at (1, 1): destination column 0 sees only column 0,
  // column 1 sees columns 0 .. 2 (sw/dw = 2), column 2 sees 2 .. 4.
  TIEBitmap src, dst(4, 4, ie1g);
  Make(src, ie1g, 8, 8, [](Integer x, Integer y, Integer) { return !(x == 1 && y == 1); });
  IEProjectResample1Bit(&src, &dst, false);
  for (Integer y = 0; y < 4; ++y)
    for (Integer x = 0; x < 4; ++x) EXPECT_EQ(Sample(dst, x, y), x == 1 && y == 1 ? 0 : 255) << x << "," << y;
}

TEST(Projection, MiddleGrayIsNeitherDarkNorLight) {
  struct Case {
    Byte Value;
    bool WhitePriority;
    double Expected;
  };
  const Case cases[] = {{128, false, 255}, {128, true, 0},   {127, false, 0},
                        {129, true, 255},  {129, false, 255}, {127, true, 0}};
  for (const Case& c : cases) {
    TIEBitmap src, dst(3, 3, ie24RGB);
    Make(src, ie24RGB, 9, 9, [&](Integer, Integer, Integer) { return c.Value; });
    IEProjectResample24(&src, &dst, c.WhitePriority);
    ASSERT_EQ(dst.PixelFormat(), ie1g);
    for (double v : Samples(dst)) EXPECT_EQ(v, c.Expected) << int(c.Value) << " white priority " << c.WhitePriority;
  }
  // One byte at 128 spoils "all three below 128" as well.
  TIEBitmap src, dst(3, 3, ie24RGB);
  Make(src, ie24RGB, 9, 9, [](Integer, Integer, Integer c) { return c == 1 ? 128 : 10; });
  IEProjectResample24(&src, &dst, false);
  for (double v : Samples(dst)) EXPECT_EQ(v, 255);
}

TEST(Projection, ReportsEveryRow) {
  TIEBitmap src, dst(5, 7, ie1g);
  Make(src, ie1g, 20, 20, [](Integer x, Integer, Integer) { return x & 1; });
  std::vector<Integer> seen;
  {
    ThreadScope serial(1);
    IEProjectResample1Bit(&src, &dst, true, [&](TObject*, Integer p) { seen.push_back(p); });
  }
  EXPECT_EQ(seen, (std::vector<Integer>{0, 13, 26, 40, 53, 66, 80}));
}

// ---------------------------------------------------------------------------
// Nearest stretch

TEST(NearestStretch, CopiesWholePixelsOfEveryFormat) {
  Lcg rnd(9);
  for (TIEPixelFormat pf : {ie1g, ie8p, ie8g, ie16g, ie24RGB, ie32f, ieCMYK, ieRGB48, ieCIELab, ie32RGB})
    for (const auto& [dw, dh] : {std::pair<Integer, Integer>{7, 5}, {29, 17}}) {
      TIEBitmap src, dst(dw, dh, pf);
      Make(src, pf, 11, 9, [&](Integer, Integer, Integer) {
        return pf == ie1g ? double(rnd.Next() & 1) : pf == ie32f ? (rnd.Next() % 1000) / 1000.0 : double(rnd.Next() % 256);
      });
      if (pf == ie8p) src.SetPaletteColor(200, TRGB{1, 2, 3});
      IEStretchNearest(&src, &dst);
      ASSERT_EQ(dst.PixelFormat(), pf);
      const Integer channels = pf == ie1g ? 1 : dst.ChannelCount();
      for (Integer y = 0; y < dh; ++y)
        for (Integer x = 0; x < dw; ++x)
          for (Integer c = 0; c < channels; ++c)
            ASSERT_EQ(Sample(dst, x, y, c), Sample(src, x * 11 / dw, y * 9 / dh, c))
                << "format " << int(pf) << " at " << x << "," << y;
      if (pf == ie8p) {
        TRGB p;
        dst.GetPaletteColor(200, p);
        EXPECT_EQ(p.r, 3);
      }
    }
}

TEST(NearestStretch, ReportsWhenThePercentageChanges) {
  ThreadScope serial(1);
  TIEBitmap src, dst(4, 300, ie8g);
  Make(src, ie8g, 4, 4, [](Integer x, Integer, Integer) { return x; });
  std::vector<Integer> seen;
  IEStretchNearest(&src, &dst, [&](TObject*, Integer p) { seen.push_back(p); });
  ASSERT_EQ(seen.size(), 100u);  // 0 .. 99: Trunc(j * 100 / 300.5) for j = 0 .. 299
  for (Integer i = 0; i < 100; ++i) EXPECT_EQ(seen[size_t(i)], i);
}

}  // namespace test_resample_fast_tests
