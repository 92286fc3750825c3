// The eight kernels and the two-pass filter: kernel values, agreement with
// ImageMagick on smooth pictures, weight precision in large reductions,
// vector against portable row loops, threads against one thread, progress.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <utility>
#include <string>
#include <vector>

#include "imaging/core/geometry/ieresample.h"
#include "tests/imaging/core/geometry/resample_support.h"

namespace test_resample_kernels_tests {

using namespace resample_test;

namespace {

const TResampleFilter kKernels[] = {rfTriangle, rfHermite, rfBell,   rfBSpline,
                                    rfLanczos3, rfMitchell, rfNearest, rfLinear};

}  // namespace

TEST(Kernels, ValuesAndSupports) {
  struct Case {
    TResampleFilter Filter;
    double X, Value;
  };
  const double third = 1.0 / 3.0;
  const Case cases[] = {
      {rfTriangle, 0.25, 0.75},    {rfTriangle, -0.25, 0.75},  {rfTriangle, 1.0, 0.0},
      {rfHermite, 0.5, 0.5},       {rfHermite, 0.25, 0.84375}, {rfHermite, 1.0, 0.0},
      {rfBell, 0.0, 0.75},         {rfBell, 1.0, 0.125},       {rfBell, -1.4, 0.005},
      {rfBell, 1.5, 0.0},          {rfBSpline, 0.0, 2 * third}, {rfBSpline, 1.0, third / 2},
      {rfBSpline, 1.5, 0.125 / 6}, {rfBSpline, 2.0, 0.0},       {rfLanczos3, 0.0, 1.0},
      {rfLanczos3, 1.0, 0.0},      {rfLanczos3, 0.5, 0.6079271018540267},
      {rfLanczos3, -2.5, 0.024317084074161062},                 {rfLanczos3, 3.0, 0.0},
      {rfMitchell, 0.0, 16.0 / 18}, {rfMitchell, 1.0, 1.0 / 18}, {rfMitchell, 1.5, -0.03472222222222222},
      {rfMitchell, 2.0, 0.0},      {rfNearest, 0.5, 1.0},      {rfNearest, -0.5, 0.0},
      {rfNearest, 0.0, 1.0},       {rfLinear, 0.4, 0.6},       {rfLinear, 1.5, 0.0},
  };
  for (const Case& c : cases) {
    const TIEFilterRec* k = IEFilterKernel(c.Filter);
    ASSERT_NE(k, nullptr);
    EXPECT_NEAR(k->Filter(c.X), c.Value, 1e-12) << int(c.Filter) << " at " << c.X;
  }
  const double supports[] = {1.0, 1.0, 1.5, 2.0, 3.0, 2.0, 1.0, 1.0};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(IEFilterKernel(kKernels[i])->Support, supports[i]);
  for (TResampleFilter f : {rfNone, rfFastLinear, rfBilinear, rfBicubic, rfProjectBW, rfProjectWB})
    EXPECT_EQ(IEFilterKernel(f), nullptr);
  EXPECT_EQ(IESinc(0), 1.0);
  EXPECT_NEAR(IESinc(0.5), 2 / std::numbers::pi, 1e-15);
}

// ImageMagick maps pixel centres and this filter maps the corner pixels onto
// each other, so the two agree closely (not exactly) on smooth pictures.
TEST(Kernels, AgreeWithImageMagickOnSmoothGradients) {
  TempDir dir;
  ASSERT_FALSE(dir.Path.empty());
  if (Shell("convert -version >/dev/null 2>&1") != 0) GTEST_FAIL() << "ImageMagick (convert) is not installed";
  const char* names[] = {"Triangle", "Hermite", "Quadratic", "Cubic", "Lanczos", "Mitchell", "Box", "Triangle"};
  struct Size {
    Integer sw, sh, dw, dh;
  };
  const Size sizes[] = {{200, 150, 60, 45}, {60, 45, 138, 104}, {120, 40, 70, 90}};
  for (const Size& s : sizes) {
    TIEBitmap src;
    Make(src, ie24RGB, s.sw, s.sh, [&](Integer x, Integer y, Integer c) {
      const double u = double(x) / s.sw, v = double(y) / s.sh;
      if (c == 2) return 30 + 200 * u;
      if (c == 1) return 220 - 180 * v;
      return 128 + 60 * std::sin(3 * u + 2 * v);
    });
    const std::string in = dir.File("in.ppm");
    ASSERT_TRUE(WritePnm(in, src));
    for (int i = 0; i < 8; ++i) {
      SCOPED_TRACE(::testing::Message() << names[i] << " " << s.sw << "x" << s.sh << " -> " << s.dw << "x" << s.dh);
      const std::string out = dir.File("out.ppm");
      ASSERT_EQ(Shell("convert " + in + " -filter " + names[i] + " -resize " + std::to_string(s.dw) + "x" +
                      std::to_string(s.dh) + "! -depth 8 " + out),
                0);
      Pnm ref;
      ASSERT_TRUE(ReadPnm(out, ref));
      TIEBitmap dst(s.dw, s.dh, ie24RGB);
      IEResample(&src, &dst, kKernels[i]);
      EXPECT_GE(Psnr(dst, ref), 35.0);
    }
  }
}

// With weights scaled by 256 each weight of a 1000:1 reduction rounds to
// zero and the picture comes out black; the precision grows with the
// reduction instead.
TEST(Kernels, LargeReductionsKeepTheirWeights) {
  Lcg rnd(11);
  for (TIEPixelFormat pf : {ie24RGB, ie8g}) {
    TIEBitmap flat, noise;
    Make(flat, pf, 20000, 3, [](Integer, Integer, Integer c) { return 180 + c; });
    std::vector<uint32_t> values;
    Make(noise, pf, 20000, 3, [&](Integer, Integer, Integer) { return double(rnd.Next() % 256); });
    for (TResampleFilter f : kKernels) {
      SCOPED_TRACE(::testing::Message() << "format " << int(pf) << " filter " << int(f));
      TIEBitmap a(20, 3, pf), b(20, 3, pf);
      IEResample(&flat, &a, f);
      IEResample(&noise, &b, f);
      for (Integer y = 0; y < 3; ++y)
        for (Integer x = 0; x < 20; ++x)
          for (Integer c = 0; c < a.ChannelCount(); ++c) {
            ASSERT_EQ(Sample(a, x, y, c), 180 + c) << x;
            // About a thousand uniform samples per pixel average near 127.5.
            ASSERT_NEAR(Sample(b, x, y, c), 127.5, 12) << x;
          }
    }
  }
}

TEST(Kernels, VectorAndPortableRowLoopsAgree) {
  struct Size {
    Integer sw, sh, dw, dh;
  };
  const Size sizes[] = {{37, 23, 101, 59}, {301, 97, 29, 13}, {64, 48, 63, 49}, {5, 300, 17, 3}, {2, 2, 31, 35}};
  Lcg rnd(5);
  for (TIEPixelFormat pf : {ie24RGB, ie8g, ie1g, ieRGB48})
    for (const Size& s : sizes) {
      TIEBitmap src;
      Make(src, pf, s.sw, s.sh, [&](Integer, Integer, Integer) {
        const double v = double(rnd.Next() % 256);
        return pf == ieRGB48 ? v * 257 : v;
      });
      for (TResampleFilter f : {rfTriangle, rfHermite, rfBell, rfBSpline, rfLanczos3, rfMitchell, rfNearest,
                                rfLinear, rfFastLinear, rfBilinear, rfBicubic}) {
        SCOPED_TRACE(::testing::Message() << "format " << int(pf) << " filter " << int(f) << " " << s.sw << "x"
                                          << s.sh << " -> " << s.dw << "x" << s.dh);
        TIEBitmap vec(s.dw, s.dh, pf), port(s.dw, s.dh, pf);
        IEResampleUseVectorPaths = true;
        IEResample(&src, &vec, f);
        IEResampleUseVectorPaths = false;
        IEResample(&src, &port, f);
        IEResampleUseVectorPaths = true;
        ASSERT_EQ(Samples(vec), Samples(port));
      }
    }
}

TEST(Kernels, ThreadsGiveTheSameResultAsOneThread) {
  Lcg rnd(3);
  TIEBitmap rgb, gray, bits, deep;
  Make(rgb, ie24RGB, 640, 480, [&](Integer, Integer, Integer) { return double(rnd.Next() % 256); });
  Make(gray, ie8g, 640, 480, [&](Integer, Integer, Integer) { return double(rnd.Next() % 256); });
  Make(bits, ie1g, 640, 480, [&](Integer, Integer, Integer) { return double(rnd.Next() % 2); });
  Make(deep, ieRGB48, 640, 480, [&](Integer, Integer, Integer) { return double(rnd.Next() % 65536); });
  for (TIEBitmap* src : {&rgb, &gray, &bits, &deep})
    for (TResampleFilter f : {rfNone, rfLanczos3, rfTriangle, rfFastLinear, rfBilinear, rfBicubic, rfProjectBW})
      for (const auto& [w, h] : {std::pair<Integer, Integer>{301, 777}, {1000, 250}}) {
        SCOPED_TRACE(::testing::Message() << "format " << int(src->PixelFormat()) << " filter " << int(f));
        TIEBitmap one(w, h, src->PixelFormat()), many(w, h, src->PixelFormat());
        {
          ThreadScope t(1);
          IEResample(src, &one, f);
        }
        {
          ThreadScope t(4);
          IEResample(src, &many, f);
        }
        ASSERT_EQ(one.PixelFormat(), many.PixelFormat());
        ASSERT_EQ(Samples(one), Samples(many));
      }
}

TEST(Kernels, ProgressRisesOncePerRowOfBothPassesAndStaysBelow100) {
  ThreadScope serial(1);
  TIEBitmap src, dst(45, 30, ie24RGB);
  Make(src, ie24RGB, 31, 20, [](Integer x, Integer y, Integer c) { return x * 7 + y + c; });
  std::vector<Integer> seen;
  TObject sender;
  TObject* who = nullptr;
  IEResample(
      &src, &dst, rfLanczos3,
      [&](TObject* Sender, Integer Percent) {
        who = Sender;
        seen.push_back(Percent);
      },
      &sender);
  EXPECT_EQ(who, &sender);
  // 20 source rows and 30 destination rows, each worth about two percent.
  ASSERT_EQ(seen.size(), 50u);
  for (size_t i = 1; i < seen.size(); ++i) EXPECT_GT(seen[i], seen[i - 1]);
  EXPECT_EQ(seen.front(), 1);      // Trunc(1 * 100 / 50.5)
  EXPECT_EQ(seen.back(), 99);      // Trunc(50 * 100 / 50.5)
}

}  // namespace test_resample_kernels_tests
