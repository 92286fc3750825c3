// Gaussian blur against ImageMagick, the 3x3 gray filter, and the soft shadow.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "imaging/core/kernels/ieblur.h"
#include "imaging/core/base/ieparallel.h"
#include "kernels_support.h"
#include "tests/support/pnm_bitmap.h"
#include "tests/support/temp_dir.h"

namespace test_blur_tests {

using namespace kernels_test;

namespace {

// Shapes, a gradient and noise: edges of every steepness.
void TestPicture(TIEBitmap& B, Integer W, Integer H, unsigned Seed) {
  std::mt19937 rng(Seed);
  B.Allocate(W, H, ie8g);
  for (Integer y = 0; y < H; ++y)
    for (Integer x = 0; x < W; ++x) {
      int v = (x * 255) / W;
      if ((x / 9 + y / 7) % 3 == 0) v = 255 - v;
      if (std::abs(x - W / 2) < W / 6 && std::abs(y - H / 2) < H / 5) v = 0;
      v += int(rng() % 41) - 20;
      RowOf(B, y)[x] = Byte(std::clamp(v, 0, 255));
    }
}

// The pixels of an 8-bit binary PGM of W x H; empty when it is not one.
std::vector<Byte> ReadPGM(const std::string& Name, Integer W, Integer H) {
  gt_test::Pnm p;
  if (!gt_test::ReadPnm(Name, p) || p.Kind != '5' || p.MaxVal != 255 || p.Width != W || p.Height != H) return {};
  return std::vector<Byte>(p.Data.begin(), p.Data.end());
}

}  // namespace

TEST(GaussianKernel, WeightsAndHalfWidth) {
  struct TCase {
    double Radius;
    Integer HalfWidth;
  };
  // exp(-t^2/2) scaled by 65536/S drops below one half at these taps.
  for (const TCase c : {TCase{0.1, 1}, TCase{0.6, 2}, TCase{1.0, 4}, TCase{3.0, 13}, TCase{40.0, 100}}) {
    TIEGaussKernel k;
    IEBuildGaussianKernel(k, c.Radius);
    EXPECT_EQ(k.HalfWidth, c.HalfWidth) << c.Radius;
    int64_t sum = 0;
    for (Integer i = 0; i < IEGaussTapCount; ++i) sum += k.IntWeights[i];
    EXPECT_NEAR(double(sum), 65536.0, 101.0) << c.Radius;
    EXPECT_EQ(k.IntWeights[100 - c.HalfWidth], k.IntWeights[100 + c.HalfWidth]);
    // The outermost tap kept carries weight (unless only the centre is left),
    // every tap beyond it none.
    EXPECT_EQ(k.IntWeights[100 + c.HalfWidth] > 0, c.Radius > 0.1) << c.Radius;
    if (c.HalfWidth < 100) {
      EXPECT_EQ(k.IntWeights[101 + c.HalfWidth], 0) << c.Radius;
    }
  }
  TIEGaussKernel k;
  IEBuildGaussianKernel(k, 0.1);
  EXPECT_EQ(k.IntWeights[100], 65536);
  for (double bad : {0.0, -2.0, std::nan("")}) {
    IEBuildGaussianKernel(k, bad);
    EXPECT_EQ(k.IntWeights[100], 65536);
    EXPECT_EQ(k.HalfWidth, 1);
  }
}

TEST(GaussianKernel, RowConvolutionRepeatsTheEndPixels) {
  // Reference: every tap read at its position clamped into the row.
  std::mt19937 rng(5);
  for (double radius : {0.7, 2.5, 30.0}) {
    TIEGaussKernel k;
    IEBuildGaussianKernel(k, radius);
    for (Integer count : {1, 2, 5, 40, 300}) {
      std::vector<Byte> src(static_cast<size_t>(count)), dst(static_cast<size_t>(count));
      for (auto& v : src) v = Byte(rng());
      IEConvolveRow8(k, src.data(), dst.data(), count);
      const Integer h = k.HalfWidth;
      for (Integer x = 0; x < count; ++x) {
        uint32_t s = 0x8000;
        for (Integer t = -h; t <= h; ++t) s += uint32_t(k.IntWeights[100 + t]) * src[size_t(std::clamp(x + t, 0, count - 1))];
        ASSERT_EQ(dst[size_t(x)], s >> 16) << "radius " << radius << " count " << count << " x " << x;
      }
    }
  }
  // A constant row stays constant whatever the radius.
  TIEGaussKernel k;
  IEBuildGaussianKernel(k, 50);
  std::vector<Byte> flat(20, 255), out(20);
  IEConvolveRow8(k, flat.data(), out.data(), 20);
  EXPECT_EQ(out, flat);
}

TEST(GaussianBlur, MatchesImageMagickInTheInterior) {
  const Integer W = 120, H = 90;
  for (double sigma : {0.8, 1.5, 3.0, 6.0}) {
    TIEBitmap pic;
    TestPicture(pic, W, H, 11);
    gt_test::TempDir dir("blur");
    ASSERT_TRUE(dir.Ok());
    const std::string in = dir.File("in.pgm"), out = dir.File("out.pgm");
    ASSERT_TRUE(gt_test::WritePnm(in, pic));
    std::ostringstream cmd;
    cmd << "convert " << in << " -gaussian-blur 0x" << sigma << " -depth 8 " << out;
    ASSERT_EQ(std::system(cmd.str().c_str()), 0);
    const std::vector<Byte> ref = ReadPGM(out, W, H);
    ASSERT_FALSE(ref.empty());
    IEGaussianBlurRect8(&pic, 0, 0, W - 1, H - 1, sigma);
    const Integer border = Integer(std::ceil(3 * sigma)) + 1;
    int worst = 0;
    for (Integer y = border; y < H - border; ++y)
      for (Integer x = border; x < W - border; ++x)
        worst = std::max(worst, std::abs(int(RowOf(pic, y)[x]) - int(ref[size_t(y) * W + x])));
    EXPECT_LE(worst, 2) << "sigma " << sigma;
  }
}

TEST(GaussianBlur, RectangleIsInclusiveClampedAndRepeatsItsOwnEdges) {
  const Integer W = 50, H = 40;
  TIEBitmap pic, whole;
  TestPicture(pic, W, H, 3);
  // Corners outside the picture act as the picture's edges: the last row and
  // column are blurred too.
  TestPicture(whole, W, H, 3);
  IEGaussianBlurRect8(&whole, 0, 0, W - 1, H - 1, 2.0);
  IEGaussianBlurRect8(&pic, -30, -5, W + 20, H, 2.0);
  EXPECT_EQ(GrayPixels(pic), GrayPixels(whole));
  TIEBitmap orig;
  TestPicture(orig, W, H, 3);
  EXPECT_NE(RowOf(whole, H - 1)[W - 1], RowOf(orig, H - 1)[W - 1]);

  // A sub-rectangle is blurred as a picture of its own; nothing outside moves.
  const Integer x1 = 7, y1 = 5, x2 = 31, y2 = 22;
  TIEBitmap part, crop(x2 - x1 + 1, y2 - y1 + 1, ie8g);
  TestPicture(part, W, H, 3);
  part.CopyRectTo(&crop, x1, y1, 0, 0, crop.Width(), crop.Height());
  IEGaussianBlurRect8(&crop, 0, 0, crop.Width() - 1, crop.Height() - 1, 2.0);
  IEGaussianBlurRect8(&part, x1, y1, x2, y2, 2.0);
  for (Integer y = 0; y < H; ++y)
    for (Integer x = 0; x < W; ++x) {
      const bool in = x >= x1 && x <= x2 && y >= y1 && y <= y2;
      ASSERT_EQ(RowOf(part, y)[x], in ? RowOf(crop, y - y1)[x - x1] : RowOf(orig, y)[x]) << x << "," << y;
    }

  // Nothing for radius <= 0, a tiny radius, other formats or an empty rectangle.
  for (double r : {0.0, -1.0, 0.1}) {
    TIEBitmap p;
    TestPicture(p, W, H, 3);
    IEGaussianBlurRect8(&p, 0, 0, W - 1, H - 1, r);
    EXPECT_EQ(GrayPixels(p), GrayPixels(orig)) << r;
  }
  TIEBitmap p;
  TestPicture(p, W, H, 3);
  IEGaussianBlurRect8(&p, 20, 0, 10, H - 1, 3.0);
  EXPECT_EQ(GrayPixels(p), GrayPixels(orig));
  TIEBitmap rgb(10, 10, ie24RGB);
  rgb.GetPixelRGBAddress(5, 5)->g = 255;
  IEGaussianBlurRect8(&rgb, 0, 0, 9, 9, 3.0);
  EXPECT_EQ(rgb.GetPixelRGBAddress(5, 5)->g, 255);
  EXPECT_EQ(rgb.GetPixelRGBAddress(5, 4)->g, 0);
}

TEST(GaussianBlur, ThreadCountDoesNotChangeTheResult) {
  TIEBitmap a, b;
  TestPicture(a, 700, 500, 9);
  TestPicture(b, 700, 500, 9);
  IESetParallelThreads(1);
  IEGaussianBlurRect8(&a, 3, 2, 690, 497, 4.0);
  IEApplyFilter3x3Gray(&a, TIEFilter3x3{{{1, 2, 1}, {2, 4, 2}, {1, 2, 1}}, 16}, 0, 0, 699, 499);
  IESetParallelThreads(0);
  IEGaussianBlurRect8(&b, 3, 2, 690, 497, 4.0);
  IEApplyFilter3x3Gray(&b, TIEFilter3x3{{{1, 2, 1}, {2, 4, 2}, {1, 2, 1}}, 16}, 0, 0, 699, 499);
  EXPECT_EQ(GrayPixels(a), GrayPixels(b));
}

TEST(Filter3x3Gray, UsesUnfilteredNeighboursAndInclusiveClampedBounds) {
  const TIEFilter3x3 box{{{1, 1, 1}, {1, 1, 1}, {1, 1, 1}}, 9};
  // An impulse spreads into its 3x3 neighbourhood only: a filter that read
  // its own results would carry it further right and down.
  TIEBitmap pic;
  FillGray(pic, {{0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}, {0, 0, 90, 0, 0}, {0, 0, 0, 0, 0}});
  IEApplyFilter3x3Gray(&pic, box, 0, 0, 4, 3);
  EXPECT_EQ(GrayPixels(pic), (std::vector<Byte>{0, 0, 0, 0, 0,  //
                                                0, 10, 10, 10, 0,  //
                                                0, 10, 10, 10, 0,  //
                                                0, 10, 10, 10, 0}));

  struct TCase {
    std::string Name;
    std::vector<std::vector<int>> Rows;
    TIEFilter3x3 Filter;
    Integer X1, Y1, X2, Y2;
    std::vector<Byte> Expected;
  };
  const std::vector<TCase> cases{
      // The corner's missing neighbours repeat it: 4 x 90 / 9.
      {"corner", {{90, 0, 0}, {0, 0, 0}}, box, 0, 0, 0, 0, {40, 0, 0, 0, 0, 0}},
      // Negative corners are raised to 0 and the far ones lowered to the
      // last pixel, which is filtered too.
      {"clamped", {{0, 0, 0}, {0, 0, 90}}, box, -4, -4, 9, 9, {0, 10, 20, 0, 20, 40}},
      {"last column only", {{0, 0, 0}, {0, 0, 90}}, box, 2, 0, 2, 1, {0, 0, 20, 0, 0, 40}},
      // Negative sums count by their size; divisor 0 is taken as 1.
      {"negative sum", {{0, 0, 0}, {0, 100, 0}, {0, 0, 0}}, TIEFilter3x3{{{0, 0, 0}, {0, -2, 0}, {0, 0, 0}}, 0},
       1, 1, 1, 1, {0, 0, 0, 0, 200, 0, 0, 0, 0}},
      {"clamped to 255", {{200}}, TIEFilter3x3{{{0, 0, 0}, {0, 3, 0}, {0, 0, 0}}, 1}, 0, 0, 0, 0, {255}},
      {"outside", {{50, 50}}, box, 5, 5, 9, 9, {50, 50}},
  };
  for (const TCase& c : cases) {
    TIEBitmap p;
    FillGray(p, c.Rows);
    IEApplyFilter3x3Gray(&p, c.Filter, c.X1, c.Y1, c.X2, c.Y2);
    EXPECT_EQ(GrayPixels(p), c.Expected) << c.Name;
  }
  TIEBitmap rgb(3, 3, ie24RGB);
  rgb.GetPixelRGBAddress(1, 1)->r = 90;
  IEApplyFilter3x3Gray(&rgb, box, 0, 0, 2, 2);
  EXPECT_EQ(rgb.GetPixelRGBAddress(1, 1)->r, 90);
  EXPECT_EQ(rgb.GetPixelRGBAddress(0, 0)->r, 0);
}

namespace {

// A white ie24RGB picture whose alpha is 0 except the opaque red object.
void ObjectPicture(TIEBitmap& B, Integer W, Integer H, Integer L, Integer T, Integer R, Integer Bt) {
  B.Allocate(W, H, ie24RGB);
  B.Fill(0xFFFFFF);
  TIEBitmap* a = B.GetAlphaChannel();
  a->Fill(0);
  for (Integer y = T; y <= Bt; ++y)
    for (Integer x = L; x <= R; ++x) {
      *B.GetPixelRGBAddress(x, y) = TRGB{0, 0, 200};
      RowOf(*a, y)[x] = 255;
    }
}

Byte AlphaAt(TIEBitmap& B, Integer X, Integer Y) { return RowOf(*B.GetAlphaChannel(), Y)[X]; }

}  // namespace

TEST(SoftShadow, MarginFollowsOffsetAndRadius) {
  struct TCase {
    Integer OX, OY;
    double Radius;
    Integer Margin;
  };
  for (const TCase c : {TCase{0, 0, 0, 10}, TCase{3, -5, 1.5, 17}, TCase{0, 0, 0.1, 1}, TCase{0, 0, -1, 1},
                        TCase{-4, 2, 2.0, 18}}) {
    TIEBitmap pic;
    ObjectPicture(pic, 30, 30, 10, 10, 15, 15);
    EXPECT_EQ(IEAddSoftShadowRect(&pic, c.OX, c.OY, c.Radius, 100, TRGB{0, 0, 0}, 10, 10, 15, 15), c.Margin)
        << c.OX << "," << c.OY << " radius " << c.Radius;
  }
}

TEST(SoftShadow, IntensityScalesTheShadowAlpha) {
  const Integer W = 44, H = 44;
  const TRGB blue{180, 20, 10};
  TIEBitmap full;
  ObjectPicture(full, W, H, 15, 15, 24, 24);
  IEAddSoftShadowRect(&full, 3, 3, 2.0, 100, blue, 15, 15, 24, 24);
  // The shadow lies under the offset object: symmetric about its centre
  // (22.5, 22.5) outside the object, shadow-coloured where it has alpha.
  for (Integer j = 0; j <= 10; ++j) {
    EXPECT_EQ(AlphaAt(full, 23 + j, 27), AlphaAt(full, 22 - j, 27)) << j;
    EXPECT_EQ(AlphaAt(full, 27, 23 + j), AlphaAt(full, 27, 22 - j)) << j;
  }
  // Falling off from the shadow's centre outwards, reaching further on the
  // side it was moved to.
  EXPECT_GT(AlphaAt(full, 25, 25), AlphaAt(full, 27, 27));
  EXPECT_GT(AlphaAt(full, 27, 27), AlphaAt(full, 29, 29));
  EXPECT_GT(AlphaAt(full, 29, 29), 0);
  EXPECT_EQ(AlphaAt(full, 12, 12), 0);
  EXPECT_GT(AlphaAt(full, 30, 30), AlphaAt(full, 13, 13));
  const TRGB under = *full.GetPixelRGBAddress(26, 26);
  EXPECT_TRUE(under.b == blue.b && under.g == blue.g && under.r == blue.r);
  // The object itself keeps its colour and opacity.
  EXPECT_EQ(AlphaAt(full, 20, 20), 255);
  EXPECT_EQ(full.GetPixelRGBAddress(20, 20)->r, 200);

  for (auto [intensity, divisor] : {std::pair{50, 2}, std::pair{0, 3}, std::pair{-20, 3}, std::pair{400, 1}}) {
    TIEBitmap pic;
    ObjectPicture(pic, W, H, 15, 15, 24, 24);
    IEAddSoftShadowRect(&pic, 3, 3, 2.0, intensity, blue, 15, 15, 24, 24);
    for (Integer y = 0; y < H; ++y)
      for (Integer x = 0; x < W; ++x) {
        const bool object = x >= 15 && x <= 24 && y >= 15 && y <= 24;
        ASSERT_EQ(AlphaAt(pic, x, y), object ? 255 : AlphaAt(full, x, y) / divisor)
            << "intensity " << intensity << " at " << x << "," << y;
      }
  }
}

TEST(SoftShadow, RadiusZeroUsesTheBoxFilter) {
  TIEBitmap pic;
  ObjectPicture(pic, 21, 21, 10, 10, 10, 10);
  IEAddSoftShadowRect(&pic, 0, 0, 0, 100, TRGB{0, 0, 0}, 10, 10, 10, 10);
  EXPECT_EQ(AlphaAt(pic, 10, 10), 255);
  EXPECT_EQ(AlphaAt(pic, 11, 10), 28);  // 255 / 9
  EXPECT_EQ(AlphaAt(pic, 9, 9), 28);
  EXPECT_EQ(AlphaAt(pic, 12, 10), 0);
  EXPECT_EQ(pic.GetPixelRGBAddress(11, 10)->r, 0);
  EXPECT_EQ(pic.GetPixelRGBAddress(12, 10)->r, 255);
}

TEST(SoftShadow, PartialAlphaIsCompositedOverTheShadow) {
  // With a radius that keeps every weight on the centre and no offset, the
  // blurred alpha equals the object's own: M = Q = 128 / 255.
  TIEBitmap pic(5, 5, ie24RGB);
  pic.Fill(0xFFFFFF);
  TIEBitmap* a = pic.GetAlphaChannel();
  a->Fill(0);
  *pic.GetPixelRGBAddress(2, 2) = TRGB{200, 100, 50};
  RowOf(*a, 2)[2] = 128;
  IEAddSoftShadowRect(&pic, 0, 0, 0.1, 100, TRGB{0, 0, 0}, 2, 2, 2, 2);
  const TRGB p = *pic.GetPixelRGBAddress(2, 2);
  // s = Trunc((1 - M) x c); result Trunc(Q x c + (1 - Q) x s);
  // alpha Trunc((Q + M (1 - Q)) x 255).
  EXPECT_EQ(p.b, 149);
  EXPECT_EQ(p.g, 74);
  EXPECT_EQ(p.r, 37);
  EXPECT_EQ(AlphaAt(pic, 2, 2), 191);
  EXPECT_EQ(AlphaAt(pic, 1, 2), 0);
  EXPECT_FALSE(a->Full());
}

TEST(SoftShadow, OneBitPicturesTakeABlackShadow) {
  TIEBitmap pic(21, 21, ie1g);
  pic.Fill(0xFFFFFF);
  TIEBitmap* a = pic.GetAlphaChannel();
  a->Fill(0);
  RowOf(*a, 10)[10] = 255;
  IEAddSoftShadowRect(&pic, 0, 0, 0, 100, TRGB{0, 0, 255}, 10, 10, 10, 10);
  const auto white = [&](Integer x, Integer y) { return (RowOf(pic, y)[x >> 3] & (0x80 >> (x & 7))) != 0; };
  EXPECT_TRUE(white(10, 10));
  EXPECT_FALSE(white(11, 10));
  EXPECT_FALSE(white(9, 11));
  EXPECT_TRUE(white(12, 10));
  EXPECT_EQ(AlphaAt(pic, 10, 10), 255);
  EXPECT_EQ(AlphaAt(pic, 11, 10), 28);
}

TEST(SoftShadow, ObjectOutsideThePictureTouchesNothing) {
  TIEBitmap pic;
  ObjectPicture(pic, 20, 20, 5, 5, 8, 8);
  IEAddSoftShadowRect(&pic, 2, 2, 1.0, 100, TRGB{0, 0, 0}, 60, 60, 70, 70);
  for (Integer y = 0; y < 20; ++y)
    for (Integer x = 0; x < 20; ++x) {
      const bool object = x >= 5 && x <= 8 && y >= 5 && y <= 8;
      ASSERT_EQ(AlphaAt(pic, x, y), object ? 255 : 0) << x << "," << y;
      ASSERT_EQ(pic.GetPixelRGBAddress(x, y)->r, object ? 200 : 255);
    }
}

}  // namespace test_blur_tests
