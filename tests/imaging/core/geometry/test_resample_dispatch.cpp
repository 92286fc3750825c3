// The resampling dispatcher: the pixel format every source format and filter
// gives, constant pictures, equal sizes, tiny sources, alpha channels and
// destinations handed over in an unsuitable format.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <tuple>

#include "imaging/core/base/ieglobals.h"
#include "imaging/core/geometry/ieresample.h"
#include "platform/base/sysutils.h"
#include "tests/imaging/core/geometry/resample_support.h"

namespace test_resample_dispatch_tests {

using namespace resample_test;

namespace {

const TIEPixelFormat kFormats[] = {ie1g, ie8g, ie24RGB, ie16g, ieRGB48, ie8p, ie32f, ieCMYK, ieCIELab, ie32RGB};
const TResampleFilter kFilters[] = {rfNone,     rfTriangle,   rfHermite,  rfBell,      rfBSpline,
                                    rfLanczos3, rfMitchell,   rfNearest,  rfLinear,    rfFastLinear,
                                    rfBilinear, rfBicubic,    rfProjectBW, rfProjectWB};

bool IsKernel(TResampleFilter F) { return F >= rfTriangle && F <= rfLinear; }
bool IsProjection(TResampleFilter F) { return F == rfProjectBW || F == rfProjectWB; }

// The format the resampled picture has, by source format and filter.
TIEPixelFormat ExpectedFormat(TIEPixelFormat Src, TResampleFilter F) {
  switch (Src) {
    case ie1g:
      return F == rfNone || IsProjection(F) ? ie1g : ie24RGB;
    case ie8g:
      return ie8g;
    case ie24RGB:
      return IsProjection(F) ? ie1g : ie24RGB;
    case ie16g:
    case ieRGB48:
      if (F == rfNone || F == rfBilinear || F == rfBicubic) return Src;
      return IsProjection(F) ? ie1g : ie24RGB;
    default:
      if (F == rfNone) return Src;
      return IsProjection(F) ? ie1g : ie24RGB;
  }
}

// A constant picture: a mid-dark colour that no projection calls light.
void MakeConstant(TIEBitmap& B, TIEPixelFormat PF, Integer W, Integer H) {
  Make(B, PF, W, H, [PF](Integer, Integer, Integer c) -> double {
    switch (PF) {
      case ie1g:
        return 1;
      case ie8p:
        return 7;
      case ie16g:
      case ieRGB48:
        return 30000 + 1000 * c;
      case ie32f:
        return 0.375;
      case ieCMYK:
        return 40 + 10 * c;  // much ink: dark
      case ieCIELab:
        return c == 0 ? 120 : 3;
      default:
        return 60 + 20 * c;
    }
  });
  if (PF == ie8p) B.SetPaletteColor(7, TRGB{40, 90, 110});
}

using FormatCase = std::tuple<TIEPixelFormat, TResampleFilter>;

class ResultFormat : public ::testing::TestWithParam<FormatCase> {};

TEST_P(ResultFormat, FollowsTheTableAndKeepsConstantPicturesConstant) {
  const auto [pf, filter] = GetParam();
  // Reduction, enlargement and one of each along the two axes.
  const Integer sizes[][4] = {{40, 30, 9, 7}, {5, 4, 12, 10}, {13, 9, 7, 11}};
  for (const auto& s : sizes) {
    SCOPED_TRACE(::testing::Message() << s[0] << "x" << s[1] << " -> " << s[2] << "x" << s[3]);
    TIEBitmap src, dst(s[2], s[3], pf);
    MakeConstant(src, pf, s[0], s[1]);
    IEResample(&src, &dst, filter);
    ASSERT_EQ(dst.PixelFormat(), ExpectedFormat(pf, filter));
    ASSERT_EQ(dst.Width(), s[2]);
    ASSERT_EQ(dst.Height(), s[3]);

    // What the picture should read as: the source sample itself when the
    // format stays, its ie24RGB conversion when the result is ie24RGB.
    TIEBitmap reference(s[0], s[1], ie24RGB);
    reference.CopyAndConvertFormat(&src);
    TIEBitmap& expected = dst.PixelFormat() == pf ? src : reference;
    const Integer channels = dst.PixelFormat() == ie1g ? 1 : dst.ChannelCount();
    for (Integer y = 0; y < dst.Height(); ++y)
      for (Integer x = 0; x < dst.Width(); ++x)
        for (Integer c = 0; c < channels; ++c) {
          if (dst.PixelFormat() == ie1g && pf != ie1g) {
            // A dark colour projects to black either way.
            ASSERT_EQ(Sample(dst, x, y), 0) << x << "," << y;
          } else {
            ASSERT_EQ(Sample(dst, x, y, c), Sample(expected, 0, 0, c)) << x << "," << y << " channel " << c;
          }
        }
    if (pf == ie8p && filter == rfNone) {
      TRGB p;
      dst.GetPaletteColor(7, p);
      EXPECT_EQ(p.b, 40);
      EXPECT_EQ(p.g, 90);
      EXPECT_EQ(p.r, 110);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(AllFormatsAndFilters, ResultFormat,
                         ::testing::Combine(::testing::ValuesIn(kFormats), ::testing::ValuesIn(kFilters)),
                         [](const ::testing::TestParamInfo<FormatCase>& Info) {
                           return "Format" + std::to_string(int(std::get<0>(Info.param))) + "Filter" +
                                  std::to_string(int(std::get<1>(Info.param)));
                         });

}  // namespace

// ---------------------------------------------------------------------------

TEST(Dispatcher, EqualSizeIsAnExactCopyWithAlphaAndFormat) {
  TIEBitmap src, dst(10, 3, ie24RGB);
  Make(src, ie1g, 10, 3, [](Integer x, Integer y, Integer) { return (x + y) % 3 == 0; });
  TIEBitmap* a = src.GetAlphaChannel();
  for (Integer x = 0; x < 10; ++x) a->SetPixelByte(x, 1, Byte(x * 20));
  IEResample(&src, &dst, rfLanczos3);
  ASSERT_EQ(dst.PixelFormat(), ie1g);
  EXPECT_EQ(Samples(dst), Samples(src));
  ASSERT_TRUE(dst.HasAlphaChannel());
  EXPECT_EQ(Samples(*dst.GetAlphaChannel()), Samples(*a));
}

TEST(Dispatcher, OnePixelSourceLeavesTheDestinationAsItWas) {
  for (TResampleFilter f : {rfTriangle, rfLanczos3, rfFastLinear, rfBilinear, rfBicubic, rfProjectBW}) {
    TIEBitmap src, dst;
    Make(src, ie24RGB, 1, 1, [](Integer, Integer, Integer) { return 200; });
    Make(dst, ie24RGB, 4, 3, [](Integer x, Integer y, Integer c) { return x * 10 + y * 3 + c; });
    const std::vector<double> before = Samples(dst);
    IEResample(&src, &dst, f);
    EXPECT_EQ(dst.PixelFormat(), ie24RGB) << int(f);
    EXPECT_EQ(Samples(dst), before) << int(f);
  }
}

TEST(Dispatcher, AlphaChannelIsResampledWithTheSameFilterAndKeepsFull) {
  TIEBitmap src;
  Make(src, ie24RGB, 9, 7, [](Integer x, Integer y, Integer c) { return x * 25 + y * 3 + c; });
  TIEBitmap* a = src.GetAlphaChannel();
  for (Integer y = 0; y < 7; ++y)
    for (Integer x = 0; x < 9; ++x) a->SetPixelByte(x, y, Byte((x * 37 + y * 11) % 256));
  a->SetFull(false);
  // Kernel filters go through the one-byte two-pass filter, the
  // interpolators and the fast scaler through the fast 8-bit scaler.
  for (TResampleFilter f : {rfTriangle, rfLanczos3, rfBicubic, rfFastLinear, rfNone}) {
    TIEBitmap dst(20, 5, ie24RGB);
    IEResample(&src, &dst, f);
    ASSERT_TRUE(dst.HasAlphaChannel());
    TIEBitmap alpha;
    Make(alpha, ie8g, 9, 7, [&](Integer x, Integer y, Integer) { return a->GetPixelByte(x, y); });
    TIEBitmap expected(20, 5, ie8g);
    if (f == rfNone)
      IEStretchNearest(&alpha, &expected);
    else if (IsKernel(f))
      IEResample8Bit(&alpha, &expected, f);
    else
      IEResampleFast8Bit(&alpha, &expected);
    EXPECT_EQ(Samples(*dst.GetAlphaChannel()), Samples(expected)) << int(f);
    EXPECT_FALSE(dst.GetAlphaChannel()->Full());
  }
  a->Fill(255);
  a->SetFull(true);
  TIEBitmap dst(4, 4, ie24RGB);
  IEResample(&src, &dst, rfMitchell);
  EXPECT_TRUE(dst.GetAlphaChannel()->Full());
  for (double v : Samples(*dst.GetAlphaChannel())) ASSERT_EQ(v, 255);
}

TEST(Dispatcher, BoxKernelAndNearestStretchDiffer) {
  // rfNone takes column Trunc(i * 3 / 9); the box kernel maps the first and
  // last pixels onto each other and takes the pixel within half a step.
  TIEBitmap src, stretched(9, 1, ie8g), boxed(9, 1, ie8g);
  Make(src, ie8g, 3, 1, [](Integer x, Integer, Integer) { return x * 100; });
  IEResample(&src, &stretched, rfNone);
  IEResample(&src, &boxed, rfNearest);
  EXPECT_EQ(Samples(stretched), (std::vector<double>{0, 0, 0, 100, 100, 100, 200, 200, 200}));
  EXPECT_EQ(Samples(boxed), (std::vector<double>{0, 0, 0, 100, 100, 100, 100, 200, 200}));
}

TEST(Dispatcher, SingleColumnDestinationSamplesAroundTheFirstColumn) {
  // Scale dw/sw = 1/8 and centre 0: the triangle reaches 8 columns to the
  // right (and their reflections), giving column 0 one eighth of the weight.
  TIEBitmap src, dst(1, 1, ie8g);
  Make(src, ie8g, 8, 1, [](Integer x, Integer, Integer) { return x == 0 ? 200 : 0; });
  IEResample(&src, &dst, rfTriangle);
  EXPECT_EQ(Sample(dst, 0, 0), 25);
}

TEST(Dispatcher, BilinearOnAPalettePictureIsTheTriangleFilter) {
  TIEBitmap src;
  Make(src, ie8p, 11, 6, [](Integer x, Integer y, Integer) { return (x + 2 * y) % 4; });
  for (Integer i = 0; i < 4; ++i) src.SetPaletteColor(i, TRGB{Byte(i * 60), Byte(255 - i * 50), Byte(i * 20)});
  TIEBitmap bilinear(7, 13, ie8p), triangle(7, 13, ie8p);
  IEResample(&src, &bilinear, rfBilinear);
  IEResample(&src, &triangle, rfTriangle);
  ASSERT_EQ(bilinear.PixelFormat(), ie24RGB);
  EXPECT_EQ(Samples(bilinear), Samples(triangle));
}

TEST(Dispatcher, OneBitSourceGivesGrayTriplesThatAreExtremeOnlyWhereUniform) {
  TIEBitmap src;
  Make(src, ie1g, 16, 4, [](Integer x, Integer, Integer) { return x >= 8; });
  for (TResampleFilter f : {rfTriangle, rfLanczos3, rfFastLinear, rfBilinear}) {
    TIEBitmap dst(37, 9, ie1g);
    IEResample(&src, &dst, f);
    ASSERT_EQ(dst.PixelFormat(), ie24RGB) << int(f);
    std::set<double> middle;
    for (Integer y = 0; y < 9; ++y)
      for (Integer x = 0; x < 37; ++x) {
        const double v = Sample(dst, x, y, 0);
        ASSERT_EQ(Sample(dst, x, y, 1), v);
        ASSERT_EQ(Sample(dst, x, y, 2), v);
        if (x < 10) {
          ASSERT_EQ(v, 0) << int(f) << " at " << x;
        }
        if (x > 28) {
          ASSERT_EQ(v, 255) << int(f) << " at " << x;
        }
        if (v != 0 && v != 255) middle.insert(v);
      }
    EXPECT_FALSE(middle.empty()) << "the edge is smoothed by filter " << int(f);
  }
}

TEST(Dispatcher, DestinationOfAnotherFormatIsReallocatedNotOverrun) {
  // A 24-bit source stretched into an 8-bit destination would write three
  // bytes per pixel into rows of one: the destination takes the source's
  // format instead; a gray source into a 24-bit destination likewise.
  TIEBitmap rgb, gray;
  Make(rgb, ie24RGB, 50, 40, [](Integer x, Integer y, Integer c) { return (x * 5 + y + c) % 256; });
  Make(gray, ie8g, 50, 40, [](Integer x, Integer y, Integer) { return (x * 3 + y) % 256; });
  TIEBitmap small8(61, 33, ie8g);
  IEResample(&rgb, &small8, rfNone);
  EXPECT_EQ(small8.PixelFormat(), ie24RGB);
  TIEBitmap wide24(61, 33, ie24RGB);
  IEResample(&gray, &wide24, rfLanczos3);
  EXPECT_EQ(wide24.PixelFormat(), ie8g);
  TIEBitmap interp(61, 33, ie8g);
  IEInterpolate8And24(&rgb, &interp, 1);
  EXPECT_EQ(interp.PixelFormat(), ie24RGB);
  TIEBitmap fast(61, 33, ie1g);
  IEResampleFastLinear24(&rgb, &fast);
  EXPECT_EQ(fast.PixelFormat(), ie24RGB);
  TIEBitmap onebit;
  Make(onebit, ie1g, 20, 20, [](Integer x, Integer, Integer) { return x & 1; });
  TIEBitmap gray8(7, 7, ie8g);
  IEResample1BitToGray24(&onebit, 0, 0, 19, 19, &gray8);
  EXPECT_EQ(gray8.PixelFormat(), ie24RGB);
}

// Pictures in a temporary file hand out one row at a time: every kernel
// must copy what it reads before it asks for the next row, and write its rows
// back. Large pictures are resampled in bands of output rows, each from the
// source rows it reads, keeping the rows the previous band already scaled.
// Whether in memory or in a file, in one pass or in bands of any size, the
// results must be those of the whole picture in memory in one pass.
TEST(Dispatcher, FileBackedPicturesAndBandsGiveTheResultsOfOnePassInMemory) {
  TempDir dir;
  ASSERT_FALSE(dir.Path.empty());
  const int64_t savedThreshold = IEMemoryThresholdOverride, savedBand = IEResampleBandBytes;
  const WideString savedFolder = IETempFolder;
  IETempFolder = Utf8ToWide(dir.Path);
  Lcg rnd(21);
  for (TIEPixelFormat pf : {ie24RGB, ie8g, ie1g, ieRGB48})
    for (TResampleFilter f : {rfNone, rfLanczos3, rfFastLinear, rfBicubic, rfProjectBW})
      // Large enough that pictures in memory would be shared between threads;
      // smaller, larger and mixed on both axes.
      for (const auto& [dw, dh] : {std::pair<Integer, Integer>{333, 71}, {97, 53}, {120, 401}}) {
        SCOPED_TRACE(::testing::Message() << "format " << int(pf) << " filter " << int(f) << " " << dw << "x" << dh);
        IEMemoryThresholdOverride = -1;
        IEResampleBandBytes = savedBand;
        TIEBitmap src, dst(dw, dh, pf);
        Make(src, pf, 260, 190, [&](Integer, Integer, Integer) {
          const double v = double(rnd.Next() % 256);
          return pf == ie1g ? double(int(v) & 1) : pf == ieRGB48 ? v * 257 : v;
        });
        IEResample(&src, &dst, f);

        // The least band (the rows of one output row) and a few rows.
        for (int64_t band : {int64_t(1), int64_t(5000)}) {
          SCOPED_TRACE(::testing::Message() << "band bytes " << band);
          IEResampleBandBytes = band;
          TIEBitmap mdst(dw, dh, pf);
          IEResample(&src, &mdst, f);
          ASSERT_EQ(mdst.PixelFormat(), dst.PixelFormat());
          EXPECT_EQ(Samples(mdst), Samples(dst));
        }

        IEMemoryThresholdOverride = 64;
        IEResampleBandBytes = 1;
        TIEBitmap fsrc(260, 190, pf), fdst(dw, dh, pf);
        ASSERT_EQ(fsrc.Location(), ieFile);
        ASSERT_EQ(fdst.Location(), ieFile);
        for (Integer y = 0; y < 190; ++y) std::memcpy(fsrc.GetScanline(y), src.GetScanline(y), size_t(src.RowLen()));
        IEResample(&fsrc, &fdst, f);
        ASSERT_EQ(fdst.PixelFormat(), dst.PixelFormat());
        EXPECT_EQ(Samples(fdst), Samples(dst));
      }
  IEMemoryThresholdOverride = savedThreshold;
  IEResampleBandBytes = savedBand;
  IETempFolder = savedFolder;
}

}  // namespace test_resample_dispatch_tests
