// Conversion rules that the golden table does not reach: the display range
// of 16-bit gray, float clamping, equal formats, the source left alone where
// a rule goes through ie24RGB, and a conversion that cannot allocate.
#include <algorithm>
#include <cmath>
#include <limits>

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/color/iebitrows.h"
#include "imaging/core/color/iecolorformat.h"
#include "imaging/core/base/ieglobals.h"
#include "imaging/core/color/ieicc.h"
#include "tests/imaging/core/color/conv_support.h"

namespace test_conversion_rules_tests {

namespace {

using ConversionRules = FormulaCMYKTest;  // black and white survive the CMYK formulas exactly

TEST_F(ConversionRules, SpecimenValues) {
  // Pure red is (255 x 21) div 100 = 53 grey.
  TIEBitmap rgb(1, 1, ie24RGB);
  rgb.SetPixelRGB(0, 0, TRGB{0, 0, 255});
  ASSERT_TRUE(rgb.ConvertToPixelFormat(ie8g));
  EXPECT_EQ(rgb.GetPixelByte(0, 0), 53);

  TIEBitmap g(2, 1, ie8g);
  g.SetPixelByte(0, 0, 128);
  g.SetPixelByte(1, 0, 255);
  ASSERT_TRUE(g.ConvertToPixelFormat(ie16g));
  EXPECT_EQ(g.GetPixelWord(0, 0), 32896);
  EXPECT_EQ(g.GetPixelWord(1, 0), 65535);
  ASSERT_TRUE(g.ConvertToPixelFormat(ie8g));
  EXPECT_EQ(g.GetPixelByte(0, 0), 128);
  EXPECT_EQ(g.GetPixelByte(1, 0), 255);
}

// ie16g to colour maps DisplayLow..DisplayHigh onto 0..255: the range of the
// picture being written for a direct conversion, the picture's own when it
// converts itself.
TEST_F(ConversionRules, SixteenBitGrayToColourUsesTheDisplayRange) {
  const Word values[] = {500, 1000, 1500, 2000, 60000};
  const Byte expected[] = {0, 0, 127, 255, 255};
  TIEBitmap g(5, 1, ie16g);
  for (Integer x = 0; x < 5; ++x) g.SetPixelWord(x, 0, values[x]);

  TIEBitmap direct(5, 1, ie24RGB);
  direct.SetDisplayLow(1000);
  direct.SetDisplayHigh(2000);
  direct.CopyAndConvertFormat(&g);
  TIEBitmap plain(5, 1, ie24RGB);  // no range: the high byte
  plain.CopyAndConvertFormat(&g);
  for (Integer x = 0; x < 5; ++x) {
    TRGB c;
    direct.GetPixelRGB(x, 0, c);
    EXPECT_EQ(c.r, expected[x]) << values[x];
    EXPECT_TRUE(c.r == c.g && c.g == c.b);
    plain.GetPixelRGB(x, 0, c);
    EXPECT_EQ(c.r, values[x] >> 8);
  }

  // A reversed range stays inside the byte instead of wrapping.
  TIEBitmap reversed(5, 1, ie24RGB);
  reversed.SetDisplayLow(2000);
  reversed.SetDisplayHigh(1000);
  reversed.CopyAndConvertFormat(&g);
  for (Integer x = 0; x < 5; ++x) {
    TRGB c;
    reversed.GetPixelRGB(x, 0, c);
    EXPECT_TRUE(c.r == 0 || c.r == 255) << int(c.r);
  }

  g.SetDisplayLow(1000);
  g.SetDisplayHigh(2000);
  ASSERT_TRUE(g.ConvertToPixelFormat(ie24RGB));
  for (Integer x = 0; x < 5; ++x) EXPECT_EQ(g.GetPixelTriple(x, 0).g, expected[x]);
}

// Float samples outside 0..1 clamp (NaN is black) for every integer target
// instead of wrapping through the low bits: 1.5 is white, not 126.
TEST_F(ConversionRules, FloatSamplesOutsideTheRangeClamp) {
  const float samples[] = {1.5f, -0.1f, std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                           -std::numeric_limits<float>::infinity(), 1e30f};
  const Byte expected8[] = {255, 0, 0, 255, 0, 255};
  const TIEPixelFormat targets[] = {ie8g, ie8p, ie16g, ie24RGB, ieRGB48, ie32RGB, ieCMYK, ieCIELab};
  for (TIEPixelFormat t : targets) {
    SCOPED_TRACE(int(t));
    TIEBitmap f(6, 1, ie32f);
    for (Integer x = 0; x < 6; ++x) f.SetPixelFloat(x, 0, samples[x]);
    ASSERT_TRUE(f.ConvertToPixelFormat(t));
    for (Integer x = 0; x < 6; ++x) {
      TRGB c;
      f.GetPixelAsRGB(x, 0, c);
      EXPECT_EQ(c.r, expected8[x]) << "sample " << x;
    }
    if (t == ie16g) {
      for (Integer x = 0; x < 6; ++x) EXPECT_EQ(f.GetPixelWord(x, 0), expected8[x] * 257);
    }
  }
}

// Conversions that go through ie24RGB work on a copy: the caller's picture
// keeps its format and pixels.
TEST_F(ConversionRules, ConversionsThroughColourLeaveTheSourceAlone) {
  for (TIEPixelFormat target : {ieCIELab, ieCMYK}) {
    TIEBitmap src(9, 2, ie1g);
    Px(src, 0, 0) = 0xA5;
    Px(src, 1, 1) = 0x80;
    const TPictureSnapshot before = Snapshot(src);
    TIEBitmap dst(9, 2, target);
    dst.CopyAndConvertFormat(&src);
    EXPECT_TRUE(Snapshot(src) == before);
    EXPECT_EQ(src.PixelFormat(), ie1g);
    TRGB white, black;
    dst.GetPixelAsRGB(0, 0, white);
    dst.GetPixelAsRGB(1, 0, black);
    EXPECT_EQ(white.g, 255);
    EXPECT_EQ(black.g, 0);
  }
}

// The ordered dither leaves white areas white (no black dot per 8 x 8
// cell where the matrix holds 63) and black areas black, from every grey
// scaling; a method other than 0 and 1 leaves the rows as allocated.
TEST_F(ConversionRules, DitherKeepsWhiteWhiteAndBlackBlack) {
  struct Case {
    TIEPixelFormat format;
    double white, black;
  };
  for (const Case& c : {Case{ie8g, 255, 0}, Case{ie16g, 65535, 0}, Case{ie24RGB, 0xFFFFFF, 0}, Case{ie32f, 1.0, 0.0},
                        Case{ieRGB48, 0xFFFFFF, 0}, Case{ie8g, 251, 3}}) {
    SCOPED_TRACE(::testing::Message() << int(c.format) << " " << c.white);
    TIEBitmap src(16, 16, c.format);
    src.Fill(c.white);
    src.FillRect(0, 8, 15, 15, c.black);
    TIEBitmap bw(16, 16, ie1g);
    bw.SetBlackWhiteMethod(0);
    bw.CopyAndConvertFormat(&src);
    for (Integer y = 0; y < 16; ++y) {
      EXPECT_EQ(Px(bw, 0, y), y < 8 ? 0xFF : 0x00) << y;
      EXPECT_EQ(Px(bw, 1, y), y < 8 ? 0xFF : 0x00) << y;
    }
  }
  TIEBitmap src(8, 1, ie8g), bw(8, 1, ie1g);
  Px(bw, 0, 0) = 0x3C;
  bw.SetBlackWhiteMethod(7);
  bw.CopyAndConvertFormat(&src);
  EXPECT_EQ(Px(bw, 0, 0), 0x3C);
}

// PaletteUsed is the number of colours the quantizer may use.
TEST_F(ConversionRules, PaletteUsedLimitsTheColoursOfAnIndexedTarget) {
  TIEBitmap src(40, 30, ie24RGB);
  for (Integer y = 0; y < 30; ++y)
    for (Integer x = 0; x < 40; ++x) src.SetPixelRGB(x, y, TRGB{Byte(x * 6), Byte(y * 8), Byte((x + y) * 3)});
  for (Integer colours : {16, 2, 256}) {
    TIEBitmap dst(40, 30, ie8p);
    dst.SetPaletteUsed(colours);
    dst.CopyAndConvertFormat(&src);
    std::vector<bool> used(256);
    for (Integer y = 0; y < 30; ++y)
      for (Integer x = 0; x < 40; ++x) used[dst.GetPixelByte(x, y)] = true;
    Integer distinct = Integer(std::count(used.begin(), used.end(), true));
    EXPECT_LE(distinct, colours);
    EXPECT_GE(distinct, 2);
  }
}

TEST_F(ConversionRules, MismatchedSizesAndEmptySourcesConvertNothing) {
  TIEBitmap src(4, 4, ie8g);
  src.Fill(200);
  TIEBitmap dst(4, 3, ie24RGB);
  dst.Fill(0x0000FF);
  dst.CopyAndConvertFormat(&src);
  EXPECT_EQ(dst.GetPixelTriple(0, 0).r, 255);
  EXPECT_EQ(dst.GetPixelTriple(0, 0).g, 0);
  dst.CopyAndConvertFormat(nullptr);
  dst.CopyAndConvertFormat(&dst);
  EXPECT_EQ(dst.GetPixelTriple(3, 2).r, 255);
}

// The new pixels are made before the old ones are let go: when the target
// cannot be allocated the picture keeps its format, size, pixels and alpha,
// and the conversion reports the failure.
TEST_F(ConversionRules, FailedAllocationKeepsTheOriginal) {
  IEMemoryThresholdOverride = std::numeric_limits<int64_t>::max();
  TIEBitmap b(10, 4, ie24RGB);
  for (Integer y = 0; y < 4; ++y)
    for (Integer x = 0; x < 10; ++x) b.SetPixelRGB(x, y, TRGB{Byte(x), Byte(y), Byte(x + y)});
  b.GetAlphaChannel()->SetPixelByte(3, 3, 7);
  const TPictureSnapshot before = Snapshot(b);

  IEUseSegments = false;
  IEFileFallback = false;
  IEBitmapTestHooks.FailBlock = [](int64_t) { return true; };
  EXPECT_FALSE(b.ConvertToPixelFormat(ie16g));
  b.SetPixelFormat(ieRGB48);
  IEBitmapTestHooks = {};

  EXPECT_TRUE(Snapshot(b) == before);
  EXPECT_EQ(b.PixelFormat(), ie24RGB);
  ASSERT_TRUE(b.ConvertToPixelFormat(ie16g));
  EXPECT_EQ(b.PixelFormat(), ie16g);
}

TEST_F(ConversionRules, EmptyPictureOnlyTakesTheNewFormat) {
  TIEBitmap e;
  EXPECT_TRUE(e.ConvertToPixelFormat(ie16g));
  EXPECT_EQ(e.PixelFormat(), ie16g);
  EXPECT_TRUE(e.IsEmpty());
  ASSERT_TRUE(e.Allocate(2, 2, ie16g));
  EXPECT_EQ(e.RowLen(), 4);
}

// With a CMYK profile on the system (GT_CMYK_PROFILE names one), pictures
// convert between ieCMYK and colour through the global profiles, the same
// way whether whole rows or single pixels are asked for, and not by the
// formulas.
class ProfileConversions : public BitmapTest {
 protected:
  void SetUp() override {
    BitmapTest::SetUp();
    IEUseCMYKProfile = true;
    if (!IEInitCMYKProfiles()) GTEST_SKIP() << "no CMYK profile on this system (GT_CMYK_PROFILE names one)";
  }
  void TearDown() override {
    IEUseCMYKProfile = savedUseProfile;
    BitmapTest::TearDown();
  }

 private:
  bool savedUseProfile = IEUseCMYKProfile;
};

TEST_F(ProfileConversions, CMYKPicturesConvertThroughTheProfile) {
  const Integer w = 37, h = 3;
  for (int64_t threshold : {std::numeric_limits<int64_t>::max(), int64_t(0)}) {
    SCOPED_TRACE(threshold ? "memory" : "file");
    IEMemoryThresholdOverride = threshold;
    TIEBitmap cmyk(w, h, ieCMYK);
    for (Integer y = 0; y < h; ++y)
      for (Integer x = 0; x < w; ++x)
        cmyk.SetPixelDWord(x, y, IEMakeCMYK(Byte(255 - x * 7), Byte(x * 5 + y * 40), Byte(x * 11 + y * 3), Byte(255 - x * 3)));
    // What the profile makes of each row, and what the formulas would.
    std::vector<std::vector<TRGB>> profile(h, std::vector<TRGB>(w));
    bool formulaDiffers = false;
    for (Integer y = 0; y < h; ++y) {
      ASSERT_TRUE(IEProfileCMYKToRGB(cmyk.GetScanline(y), iecfCMYK, profile[y].data(), w));
      const Byte* s = static_cast<const Byte*>(cmyk.GetScanline(y));
      for (Integer x = 0; x < w; ++x) {
        const Byte* c = s + 4 * x;
        const TRGB formula{Byte(c[2] * c[3] / 255), Byte(c[1] * c[3] / 255), Byte(c[0] * c[3] / 255)};
        const TRGB& p = profile[y][x];
        formulaDiffers = formulaDiffers || p.r != formula.r || p.g != formula.g || p.b != formula.b;
      }
    }
    ASSERT_TRUE(formulaDiffers) << "the profile gave the formula's colours";

    TIEBitmap rgb(w, h, ie24RGB), rgba(w, h, ie32RGB);
    rgb.CopyAndConvertFormat(&cmyk);
    rgba.CopyAndConvertFormat(&cmyk);
    for (Integer y = 0; y < h; ++y)
      for (Integer x = 0; x < w; ++x) {
        const TRGB& want = profile[y][x];
        const TRGB got = rgb.GetPixelTriple(x, y);
        ASSERT_TRUE(got.r == want.r && got.g == want.g && got.b == want.b) << "ie24RGB " << x << "," << y;
        const Cardinal quad = rgba.GetPixelDWord(x, y);
        ASSERT_EQ(quad, Cardinal(want.b | want.g << 8 | want.r << 16 | 0xFF000000u)) << "ie32RGB " << x << "," << y;
        TRGB single;
        cmyk.GetPixelAsRGB(x, y, single);
        ASSERT_TRUE(single.r == want.r && single.g == want.g && single.b == want.b) << "one pixel " << x << "," << y;
      }
    // Grey levels of a CMYK picture are those of its colours.
    int64_t fromCMYK[256], fromRGB[256];
    IEGetGrayHistogram(&cmyk, fromCMYK);
    IEGetGrayHistogram(&rgb, fromRGB);
    EXPECT_TRUE(std::equal(fromCMYK, fromCMYK + 256, fromRGB));

    // And back: colour to CMYK through the profile, not the formula.
    TIEBitmap back(w, h, ieCMYK);
    back.CopyAndConvertFormat(&rgb);
    bool backDiffers = false;
    for (Integer y = 0; y < h; ++y) {
      std::vector<TCMYK> want(static_cast<size_t>(w));
      ASSERT_TRUE(IEProfileRGBToCMYK(profile[y].data(), want.data(), w));
      const Byte* got = static_cast<const Byte*>(back.GetScanline(y));
      for (Integer x = 0; x < w; ++x) {
        const TCMYK& c = want[size_t(x)];
        ASSERT_EQ((std::vector<Byte>(got + 4 * x, got + 4 * x + 4)), (std::vector<Byte>{c.c, c.m, c.y, c.k}))
            << x << "," << y;
        const TRGB& p = profile[y][x];
        const Byte k = std::max({p.r, p.g, p.b, Byte(1)});
        backDiffers = backDiffers || c.k != k || c.c != Byte(p.r * 255 / k);
      }
    }
    EXPECT_TRUE(backDiffers) << "the profile gave the formula's inks";
  }
}

}  // namespace

}  // namespace test_conversion_rules_tests
