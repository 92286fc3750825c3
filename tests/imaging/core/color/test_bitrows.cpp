// Black-and-white conversion and the 1-bit row operations, checked against
// ImageMagick's threshold, an independent numpy ordered dither and a
// bit-by-bit reference of the bit copy.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cmath>
#include <functional>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "imaging/core/color/iebitrows.h"
#include "imaging/core/color/iecolorformat.h"
#include "imaging/core/kernels/iefilters.h"
#include "imaging/core/base/ieglobals.h"
#include "imaging/core/base/ieparallel.h"
#include "platform/graphics/bitmap.h"
#include "tests/imaging/core/bitmap/bitmap_fixture.h"
#include "tests/imaging/core/color/quant_support.h"

namespace test_bitrows_tests {

using namespace quant_test;

namespace {

// The reference script sits beside this file in the source tree.
const std::string kHere = std::string(GT_TEST_DATA_DIR) + "/../imaging/core/color";

Cardinal Pack(const TRGB& c) { return (Cardinal(c.r) << 16) | (Cardinal(c.g) << 8) | c.b; }

std::vector<bool> Bits(TIEBitmap& B) {
  std::vector<bool> v;
  for (Integer y = 0; y < B.Height(); ++y)
    for (Integer x = 0; x < B.Width(); ++x) v.push_back(White(B, x, y));
  return v;
}

void MakeGray(TIEBitmap& B, const std::vector<Byte>& Values, Integer W) {
  const Integer h = static_cast<Integer>(Values.size()) / W;
  ASSERT_TRUE(B.Allocate(W, h, ie8g));
  for (Integer y = 0; y < h; ++y) std::memcpy(B.GetScanline(y), Values.data() + size_t(y) * W, size_t(W));
}

// ---------------------------------------------------------------------------
// Thresholds

TEST(Threshold, FixedThresholdMatchesImageMagickOnAnEightBitRamp) {
  if (Shell("convert -version >/dev/null 2>&1") != 0) GTEST_FAIL() << "ImageMagick (convert) is not installed";
  TempDir dir;
  ASSERT_FALSE(dir.Path.empty());
  // The ramp 0..255 twice over, as an 8-bit gray picture and as a gray RGB one.
  TIEBitmap gray, rgb;
  std::vector<Byte> ramp;
  for (int y = 0; y < 2; ++y)
    for (int v = 0; v < 256; ++v) ramp.push_back(Byte(v));
  MakeGray(gray, ramp, 256);
  MakeRGB(rgb, 256, 2, [](Integer x, Integer) { return TRGB{Byte(x), Byte(x), Byte(x)}; });
  ASSERT_TRUE(WritePnm(dir.File("ramp.pgm"), gray));

  for (Integer t : {1, 2, 64, 127, 128, 129, 200, 254, 255}) {
    // ImageMagick whitens intensities above its threshold; halfway between
    // t - 1 and t gives the same split at any quantum depth.
    char pct[32];
    std::snprintf(pct, sizeof pct, "%.6f%%", (t - 0.5) * 100.0 / 255.0);
    const std::string out = dir.File("t" + std::to_string(t) + ".pgm");
    ASSERT_EQ(Shell("convert " + dir.File("ramp.pgm") + " -threshold " + pct + " -depth 8 " + out), 0);
    Pnm im;
    ASSERT_TRUE(ReadPnm(out, im));
    ASSERT_EQ(im.Width, 256);
    for (TIEBitmap* src : {&gray, &rgb}) {
      TIEBitmap dst;
      IEThresholdToBitmap(src, &dst, t);
      ASSERT_EQ(dst.PixelFormat(), ie1g);
      ASSERT_EQ(dst.Width(), 256);
      for (Integer y = 0; y < 2; ++y)
        for (Integer x = 0; x < 256; ++x)
          ASSERT_EQ(White(dst, x, y), im.At(x, y) == 255) << "threshold " << t << " level " << x << " format "
                                                           << int(src->PixelFormat());
    }
  }
}

TEST(Threshold, EveryPixelFormatIsThresholdedByTheGrayOfItsColour) {
  // Each row: a pixel whose colour has gray 100 and one whose colour has
  // gray 160, thresholded at 128 -> black, white. The CMYK pixels hold
  // exactly those greys only by the formulas.
  TCMYKFormulasScope formulas;
  struct Case {
    TIEPixelFormat format;
    std::function<void(TIEBitmap&)> fill;
  };
  const Case cases[] = {
      {ie8g, [](TIEBitmap& b) { auto* p = static_cast<Byte*>(b.GetScanline(0)); p[0] = 100; p[1] = 160; }},
      {ie16g,
       [](TIEBitmap& b) {
         auto* p = static_cast<Word*>(b.GetScanline(0));
         p[0] = 100 * 256 + 255;  // the high byte counts
         p[1] = 160 * 256;
       }},
      {ie8p,
       [](TIEBitmap& b) {
         b.SetPaletteColor(3, Rgb(100, 100, 100));
         b.SetPaletteColor(7, Rgb(160, 160, 160));
         auto* p = static_cast<Byte*>(b.GetScanline(0));
         p[0] = 3;
         p[1] = 7;
       }},
      {ie24RGB,
       [](TIEBitmap& b) {
         auto* p = static_cast<TRGB*>(b.GetScanline(0));
         p[0] = Rgb(0, 140, 9);    // (0 + 9940 + 72) div 100 = 100
         p[1] = Rgb(255, 150, 0);  // (5355 + 10650) div 100 = 160
       }},
      {ie32RGB,
       [](TIEBitmap& b) {
         auto* p = static_cast<Byte*>(b.GetScanline(0));
         const Byte v[8] = {9, 140, 0, 0, 0, 150, 255, 0};
         std::memcpy(p, v, 8);
       }},
      {ieRGB48,
       [](TIEBitmap& b) {
         auto* p = static_cast<Word*>(b.GetScanline(0));
         const Word v[6] = {0, 140 * 256 + 200, 9 * 256, 255 * 256 + 255, 150 * 256, 0};
         std::memcpy(p, v, sizeof v);
       }},
      {ie32f,
       [](TIEBitmap& b) {
         auto* p = static_cast<float*>(b.GetScanline(0));
         p[0] = 100.5f / 255;
         p[1] = 160.5f / 255;
       }},
      {ieCMYK,
       [](TIEBitmap& b) {
         auto* p = static_cast<TCMYK*>(b.GetScanline(0));
         p[0] = IEConvertRGBToCMYK(Rgb(100, 100, 100));
         p[1] = IEConvertRGBToCMYK(Rgb(160, 160, 160));
       }},
      {ieCIELab,
       [](TIEBitmap& b) {
         auto* p = static_cast<TCIELab*>(b.GetScanline(0));
         p[0] = IERGBToCIELab(Rgb(90, 90, 90));
         p[1] = IERGBToCIELab(Rgb(170, 170, 170));
       }},
  };
  for (const Case& c : cases) {
    TIEBitmap src(2, 1, c.format);
    c.fill(src);
    TIEBitmap dst;
    IEThresholdToBitmap(&src, &dst, 128);
    ASSERT_EQ(dst.PixelFormat(), ie1g) << int(c.format);
    EXPECT_FALSE(White(dst, 0, 0)) << "format " << int(c.format);
    EXPECT_TRUE(White(dst, 1, 0)) << "format " << int(c.format);
  }
}

TEST(Threshold, FloatSamplesOutsideTheRangeClampInsteadOfWrapping) {
  // Trunc(v x 255) taken to a byte would make 1.5 black (126) and -0.1
  // white (231); HDR samples above 1 are white and NaN is black.
  TIEBitmap src(5, 1, ie32f);
  auto* p = static_cast<float*>(src.GetScanline(0));
  p[0] = 1.5f;
  p[1] = -0.1f;
  p[2] = std::numeric_limits<float>::quiet_NaN();
  p[3] = std::numeric_limits<float>::infinity();
  p[4] = 0.9f;
  TIEBitmap dst;
  IEThresholdToBitmap(&src, &dst, 128);
  EXPECT_EQ(Bits(dst), (std::vector<bool>{true, false, false, true, true}));
}

TEST(Threshold, AutomaticThresholdIsTheGrayOfTheAverageColour) {
  // Average 100: the pixel equal to it turns white, the one just below black.
  TIEBitmap src;
  MakeGray(src, {90, 99, 100, 101, 110}, 5);
  TIEBitmap dst;
  IEThresholdToBitmap(&src, &dst, -1);
  EXPECT_EQ(Bits(dst), (std::vector<bool>{false, false, true, true, true}));
  // Per row the sums are divided by the width first: the rows give 50, 0
  // and 24, so the threshold is 74 div 3 = 24 (the plain mean, 150 / 6 = 25,
  // would make level 24 black).
  TIEBitmap src2;
  MakeGray(src2, {0, 100, 0, 1, 24, 25}, 2);
  IEThresholdToBitmap(&src2, &dst, -1);
  EXPECT_EQ(Bits(dst), (std::vector<bool>{false, true, false, false, true, true}));
}

TEST(Threshold, MaximumEntropySplitsTwoLevelPicturesInsteadOfWhiteningThem) {
  struct Case {
    const char* name;
    std::vector<Byte> pixels;
    std::vector<bool> expected;
  };
  const Case cases[] = {
      // A scanned page stored as 8-bit gray: every split between the two
      // levels scores exactly 0, which must not leave the picture all white.
      {"two levels", {40, 200, 200, 40, 200, 200}, {false, true, true, false, true, true}},
      {"black and white", {0, 255, 0, 255}, {false, true, false, true}},
      {"one black level stays black", {0, 0, 0, 0}, {false, false, false, false}},
      {"one white level stays white", {255, 255, 255, 255}, {true, true, true, true}},
      {"one dark gray level thresholds at 128", {127, 127}, {false, false}},
      {"one light gray level thresholds at 128", {128, 128}, {true, true}},
      // Two noisy modes split between them.
      {"two modes", {10, 12, 14, 11, 13, 230, 232, 234, 231, 233}, {false, false, false, false, false, true, true, true, true, true}},
  };
  for (const Case& c : cases) {
    TIEBitmap src, dst;
    MakeGray(src, c.pixels, static_cast<Integer>(c.pixels.size()));
    IEThresholdToBitmap(&src, &dst, -2);
    EXPECT_EQ(Bits(dst), c.expected) << c.name;
  }
}

TEST(Threshold, MaximumEntropyPicksTheBestSplitOfAThreeLevelPicture) {
  // Levels 10 (x3), 100 (x2), 200 (x4). Split at 11: classes {10} and
  // {100 x2, 200 x4}, entropies 0 + 0.6365; split at 101: {10 x3, 100 x2}
  // and {200}, entropies 0.6730 + 0. The second wins, so 100 turns black.
  TIEBitmap src, dst;
  MakeGray(src, {10, 10, 10, 100, 100, 200, 200, 200, 200}, 9);
  IEThresholdToBitmap(&src, &dst, -2);
  EXPECT_EQ(Bits(dst), (std::vector<bool>{false, false, false, false, false, true, true, true, true}));
}

TEST(Threshold, OneBitSourceIsCopiedWhateverTheThreshold) {
  TIEBitmap src(11, 2, ie1g);
  static_cast<Byte*>(src.GetScanline(0))[0] = 0xA5;
  static_cast<Byte*>(src.GetScanline(1))[1] = 0x60;
  const auto before = Bits(src);
  for (Integer t : {-2, -1, 0, 255}) {
    TIEBitmap dst;
    IEThresholdToBitmap(&src, &dst, t);
    EXPECT_EQ(Bits(dst), before) << t;
  }
}

TEST(Threshold, SourceIsNotChangedAndProgressIsReportedPerRow) {
  TIEBitmap src;
  MakeRGB(src, 9, 3, [](Integer x, Integer y) { return Rgb(Byte(x * 20), Byte(y * 50), 7); });
  std::vector<Byte> before;
  for (Integer y = 0; y < 3; ++y) {
    const Byte* r = static_cast<const Byte*>(src.GetScanline(y));
    before.insert(before.end(), r, r + 27);
  }
  std::vector<Integer> reported;
  std::atomic<bool> abort{false};
  TIEProgressRec progress(abort);
  progress.fOnProgress = [&](TObject*, Integer per) { reported.push_back(per); };
  TIEBitmap dst;
  IEThresholdToBitmap(&src, &dst, 50, progress);
  // Step 100 / 3.5: Trunc(28.57), Trunc(57.14), Trunc(85.71).
  EXPECT_EQ(reported, (std::vector<Integer>{28, 57, 85}));
  std::vector<Byte> after;
  for (Integer y = 0; y < 3; ++y) {
    const Byte* r = static_cast<const Byte*>(src.GetScanline(y));
    after.insert(after.end(), r, r + 27);
  }
  EXPECT_EQ(after, before);
  EXPECT_EQ(src.PixelFormat(), ie24RGB);
}

TEST(Threshold, ResultsDoNotDependOnThreadsOrStorage) {
  // Big enough for the rows to be spread over threads; the same pictures in
  // temporary files must run row by row and give the same bits.
  TempDir dir;
  ASSERT_FALSE(dir.Path.empty());
  const int64_t savedThreshold = IEMemoryThresholdOverride;
  const WideString savedFolder = IETempFolder;
  const Integer savedThreads = IEParallelThreads();
  Lcg rnd(31);
  auto fill = [&](TIEBitmap& b) {
    MakeRGB(b, 640, 300, [&](Integer x, Integer y) {
      const uint32_t v = rnd.Next();
      return Rgb(Byte(x + (v & 63)), Byte(y + ((v >> 6) & 63)), Byte(v >> 12));
    });
  };
  auto run = [](TIEBitmap& src, std::vector<bool>& threshold, std::vector<bool>& dither) {
    TIEBitmap dst;
    IEThresholdToBitmap(&src, &dst, 120);
    threshold = Bits(dst);
    TIEBitmap copy;
    copy.Assign(&src);
    std::atomic<bool> abort{false};
    TIEProgressRec none(abort);
    IEDitherTo1Bit(&copy, none);
    dither = Bits(copy);
  };
  TIEBitmap mem;
  fill(mem);
  std::vector<bool> t1, d1, tn, dn, tf, df;
  IESetParallelThreads(1);
  run(mem, t1, d1);
  IESetParallelThreads(0);
  run(mem, tn, dn);
  IEMemoryThresholdOverride = 0;
  IETempFolder = Utf8ToWide(dir.Path);
  TIEBitmap file;
  file.Assign(&mem);
  const bool onFile = file.Location() == ieFile;
  run(file, tf, df);
  IEMemoryThresholdOverride = savedThreshold;
  IETempFolder = savedFolder;
  IESetParallelThreads(savedThreads);
  EXPECT_TRUE(onFile);
  EXPECT_EQ(tn, t1);
  EXPECT_EQ(dn, d1);
  EXPECT_EQ(tf, t1);
  EXPECT_EQ(df, d1);
}

TEST(Threshold, InPlaceConversionsTouchOnlyTwentyFourBitPictures) {
  for (TIEPixelFormat f : {ie8g, ie32RGB, ie8p, ieRGB48}) {
    TIEBitmap b(4, 2, f);
    std::atomic<bool> abort{false};
    TIEProgressRec none(abort);
    IEThresholdTo1Bit(&b, 128, none);
    EXPECT_EQ(b.PixelFormat(), f);
    IEDitherTo1Bit(&b, none);
    EXPECT_EQ(b.PixelFormat(), f);
  }
  TIEBitmap b;
  MakeRGB(b, 4, 1, [](Integer x, Integer) { return x < 2 ? Rgb(0, 0, 0) : Rgb(255, 255, 255); });
  b.GetAlphaChannel()->SetPixelByte(1, 0, 77);
  std::atomic<bool> abort{false};
  TIEProgressRec none(abort);
  IEThresholdTo1Bit(&b, 128, none);
  EXPECT_EQ(b.PixelFormat(), ie1g);
  EXPECT_EQ(Bits(b), (std::vector<bool>{false, false, true, true}));
  ASSERT_TRUE(b.HasAlphaChannel());
  EXPECT_EQ(b.GetAlphaChannel()->GetPixelByte(1, 0), 77) << "the alpha channel stays";
}

// ---------------------------------------------------------------------------
// Ordered dither

TEST(Dither, MatchesAnIndependentNumpyReference) {
  TempDir dir;
  ASSERT_FALSE(dir.Path.empty());
  if (Shell("/usr/bin/python3 -c 'import numpy' 2>/dev/null") != 0) GTEST_FAIL() << "python3-numpy is not installed";
  // Gradients, noise, and rows of the colours at the edges of the rules.
  Lcg rnd(7);
  TIEBitmap src;
  MakeRGB(src, 61, 37, [&](Integer x, Integer y) -> TRGB {
    if (y == 0) return Rgb(251, 251, 251);
    if (y == 1) return Rgb(250, 255, 255);
    if (y == 2) return Rgb(Byte(x % 4), Byte(x % 4), Byte(x % 4));
    if (y < 12) return Rgb(Byte(x * 4), Byte(x * 4), Byte(x * 4));
    if (y < 24) return Rgb(Byte(x * 4), Byte(255 - y * 6), Byte(rnd.Next()));
    const uint32_t v = rnd.Next();
    return Rgb(Byte(v), Byte(v >> 8), Byte(v >> 16));
  });
  ASSERT_TRUE(WritePnm(dir.File("in.ppm"), src));
  ASSERT_EQ(Shell("/usr/bin/python3 " + kHere + "/dither_reference.py " + dir.File("in.ppm") + " " + dir.File("ref.pgm")),
            0);
  Pnm ref;
  ASSERT_TRUE(ReadPnm(dir.File("ref.pgm"), ref));
  std::atomic<bool> abort{false};
  TIEProgressRec none(abort);
  IEDitherTo1Bit(&src, none);
  ASSERT_EQ(src.PixelFormat(), ie1g);
  ASSERT_EQ(ref.Width, src.Width());
  Integer mismatches = 0;
  for (Integer y = 0; y < src.Height(); ++y)
    for (Integer x = 0; x < src.Width(); ++x)
      if (White(src, x, y) != (ref.At(x, y) == 255)) ++mismatches;
  EXPECT_EQ(mismatches, 0);
}

TEST(Dither, EdgeColoursFollowTheirRules) {
  TIEBitmap b;
  MakeRGB(b, 16, 16, [](Integer, Integer y) {
    return y < 8 ? Rgb(251, 251, 251) : (y < 12 ? Rgb(250, 255, 255) : Rgb(3, 3, 3));
  });
  std::atomic<bool> abort{false};
  TIEProgressRec none(abort);
  IEDitherTo1Bit(&b, none);
  for (Integer y = 0; y < 16; ++y)
    for (Integer x = 0; x < 16; ++x) {
      if (y < 8) {
        EXPECT_TRUE(White(b, x, y)) << "near white never takes a dot " << x << "," << y;
      } else if (y < 12) {
        // Gray 253 -> level 63: black only where the matrix holds 63, which
        // is table row 7 (x mod 8), column 0 (y mod 8).
        EXPECT_EQ(White(b, x, y), !(x % 8 == 7 && y % 8 == 0)) << x << "," << y;
      } else {
        EXPECT_FALSE(White(b, x, y)) << "gray 0..3 is always black";
      }
    }
}

TEST(Dither, RowHelperUsesColumnAsTableRow) {
  // Level 33 against column 0 of the matrix: entries 0, 48, 12, 60, 3, 51, 15, 63.
  std::vector<Byte> levels(10, 33);
  Byte row[2] = {0xFF, 0xFF};
  IEDitherRow(levels.data(), row, 10, 8);
  EXPECT_EQ(row[0], 0xAA);  // white at x mod 8 = 0, 2, 4, 6
  EXPECT_EQ(row[1], 0x80);  // x = 8 white, x = 9 black, unused bits cleared
  EXPECT_EQ(IEDitherLevel(Rgb(251, 252, 255)), 64);
  EXPECT_EQ(IEDitherLevel(Rgb(250, 255, 255)), 63);
}

// ---------------------------------------------------------------------------
// Two colours

TEST(TwoColors, TheDarkerColourBecomesBlack) {
  struct Case {
    const char* name;
    TRGB first, second;
    TRGB color1, color2;
    bool firstWhite;
  };
  const TRGB red = Rgb(255, 0, 0), navy = Rgb(0, 0, 128), yellow = Rgb(255, 255, 0);
  // (255, 0, 0) has gray 53.55 -> 54; (0, 76, 0) gray 53.96 -> 54: equal.
  const TRGB green = Rgb(0, 76, 0);
  const Case cases[] = {
      {"dark first", navy, yellow, navy, yellow, false},
      {"light first", yellow, navy, navy, yellow, true},
      {"equal gray keeps the first found as black", red, green, red, green, false},
  };
  for (const Case& c : cases) {
    TIEBitmap b;
    MakeRGB(b, 5, 2, [&](Integer x, Integer y) { return (x + y) % 3 == 0 ? c.first : c.second; });
    TRGB c1{}, c2{};
    auto r = IETwoColorsTo1Bit(&b, c1, c2);
    ASSERT_TRUE(r) << c.name;
    EXPECT_EQ(Pack(c1), Pack(c.color1)) << c.name;
    EXPECT_EQ(Pack(c2), Pack(c.color2)) << c.name;
    for (Integer y = 0; y < 2; ++y)
      for (Integer x = 0; x < 5; ++x) EXPECT_EQ(White(*r, x, y), ((x + y) % 3 == 0) == c.firstWhite) << c.name;
  }
}

TEST(TwoColors, OneOrMoreThanTwoColoursGiveNothing) {
  TRGB c1{}, c2{};
  TIEBitmap one;
  MakeRGB(one, 4, 4, [](Integer, Integer) { return Rgb(9, 9, 9); });
  EXPECT_FALSE(IETwoColorsTo1Bit(&one, c1, c2));
  TIEBitmap three;
  MakeRGB(three, 4, 4, [](Integer x, Integer y) {
    if (y == 3 && x == 3) return Rgb(1, 2, 3);  // only in the last row
    return (x % 2) ? Rgb(0, 0, 0) : Rgb(255, 255, 255);
  });
  EXPECT_FALSE(IETwoColorsTo1Bit(&three, c1, c2));
  // Other formats are read through their colours: a two-level gray picture works.
  TIEBitmap gray;
  MakeGray(gray, {200, 30, 30, 200}, 4);
  auto r = IETwoColorsTo1Bit(&gray, c1, c2);
  ASSERT_TRUE(r);
  EXPECT_EQ(Bits(*r), (std::vector<bool>{true, false, false, true}));
  EXPECT_EQ(c1.r, 30);
  EXPECT_EQ(c2.r, 200);
}

// ---------------------------------------------------------------------------
// Histogram

TEST(Histogram, CountsGrayLevelsOfEachFormat) {
  int64_t h[256];
  TIEBitmap bw(10, 3, ie1g);
  static_cast<Byte*>(bw.GetScanline(0))[0] = 0xF0;
  static_cast<Byte*>(bw.GetScanline(0))[1] = 0xFF;  // only 2 of these 8 bits are pixels
  static_cast<Byte*>(bw.GetScanline(2))[1] = 0x40;
  IEGetGrayHistogram(&bw, h);
  EXPECT_EQ(h[1], 7);
  EXPECT_EQ(h[0], 23);
  EXPECT_EQ(h[255], 0);

  TIEBitmap rgb48(3, 1, ieRGB48);
  auto* p = static_cast<Word*>(rgb48.GetScanline(0));
  const Word v[9] = {0xFFFF, 0xFFFF, 0xFFFF, 0x10FF, 0x20FF, 0x30FF, 0, 0, 0};
  std::memcpy(p, v, sizeof v);
  IEGetGrayHistogram(&rgb48, h);
  EXPECT_EQ(h[255], 1);
  EXPECT_EQ(h[(16 * 21 + 32 * 71 + 48 * 8) / 100], 1);
  EXPECT_EQ(h[0], 1);

  TIEBitmap rgb;
  MakeRGB(rgb, 7, 5, [](Integer x, Integer y) { return Rgb(Byte(x * 30), Byte(y * 40), 5); });
  IEGetGrayHistogram(&rgb, h);
  int64_t total = 0;
  for (int64_t c : h) total += c;
  EXPECT_EQ(total, 35);
  EXPECT_EQ(h[(180 * 21 + 160 * 71 + 5 * 8) / 100], 1);
}

// ---------------------------------------------------------------------------
// Bit rows

// Reference: bit by bit, source bits beyond SrcLength bytes read as 0.
void ReferenceCopy(std::vector<Byte>& dst, const std::vector<Byte>& src, int dOff, int srcLen, int count, int sOff) {
  for (int i = 0; i < count; ++i) {
    const int k = sOff + i;
    const bool bit = (k >> 3) < srcLen && (src[size_t(k >> 3)] & (0x80 >> (k & 7)));
    IESetBit(dst.data(), dOff + i, bit);
  }
}

TEST(BitRows, CopyBitsMatchesABitByBitReference) {
  Lcg rnd(12345);
  std::vector<Byte> src(16), dst(16), ref(16);
  int checked = 0;
  for (int sOff = 0; sOff <= 15; ++sOff)
    for (int dOff = 0; dOff <= 15; ++dOff)
      for (int count = 1; count <= 70; ++count) {
        for (auto& b : src) b = Byte(rnd.Next());
        for (auto& b : dst) b = Byte(rnd.Next());
        // Mostly the whole source; sometimes a source that ends early.
        const int srcLen = (count % 5 == 0) ? int(rnd.Next() % 12) : 16;
        ref = dst;
        ReferenceCopy(ref, src, dOff, srcLen, count, sOff);
        IECopyBits(dst.data(), src.data(), dOff, srcLen, count, sOff);
        ASSERT_EQ(dst, ref) << "src offset " << sOff << " dest offset " << dOff << " count " << count << " srcLength "
                            << srcLen;
        ++checked;
      }
  EXPECT_EQ(checked, 16 * 16 * 70);
}

TEST(BitRows, CopyBitsWithinOneRowAndItsGuards) {
  Lcg rnd(99);
  for (int round = 0; round < 200; ++round) {
    std::vector<Byte> row(16);
    for (auto& b : row) b = Byte(rnd.Next());
    const int sOff = int(rnd.Next() % 40), dOff = int(rnd.Next() % 40), count = 1 + int(rnd.Next() % 60);
    std::vector<Byte> ref = row;
    const std::vector<Byte> src = row;
    ReferenceCopy(ref, src, dOff, 16, count, sOff);
    IECopyBits(row.data(), row.data(), dOff, 16, count, sOff);
    ASSERT_EQ(row, ref) << sOff << " -> " << dOff << " x " << count;
  }
  std::vector<Byte> d(4, 0x5A), s(4, 0xFF);
  for (auto args : {std::array<int, 3>{-1, 8, 0}, std::array<int, 3>{0, 0, 0}, std::array<int, 3>{0, 8, -3}}) {
    IECopyBits(d.data(), s.data(), args[0], 4, args[1], args[2]);
    EXPECT_EQ(d, std::vector<Byte>(4, 0x5A));
  }
}

TEST(BitRows, GetAndSetBitUseTheMostSignificantBitFirst) {
  Byte row[2] = {0, 0};
  IESetBit(row, 0, true);
  IESetBit(row, 9, true);
  IESetBit(row, 15, true);
  EXPECT_EQ(row[0], 0x80);
  EXPECT_EQ(row[1], 0x41);
  IESetBit(row, 15, false);
  EXPECT_EQ(row[1], 0x40);
  EXPECT_TRUE(IEGetBit(row, 9));
  EXPECT_FALSE(IEGetBit(row, 8));
}

TEST(BitRows, ExpandWritesThreeBytesPerPixelAndNoMore) {
  const Byte src[2] = {0xA5, 0xC0};
  std::vector<Byte> dst(13 * 3 + 5, 0x77);
  IEExpand1BitRow(src, dst.data(), 13);
  const bool expected[13] = {1, 0, 1, 0, 0, 1, 0, 1, 1, 1, 0, 0, 0};
  for (int x = 0; x < 13; ++x)
    for (int c = 0; c < 3; ++c) EXPECT_EQ(dst[size_t(3 * x + c)], expected[x] ? 255 : 0) << x;
  for (size_t i = 39; i < dst.size(); ++i) EXPECT_EQ(dst[i], 0x77);
}

TEST(BitRows, InversionFlipsEveryPixelAndTwiceRestores) {
  TIEBitmap b(13, 3, ie1g);
  static_cast<Byte*>(b.GetScanline(1))[0] = 0x0F;
  const auto before = Bits(b);
  IEInvertBitmapBits(&b);
  const auto once = Bits(b);
  for (size_t i = 0; i < before.size(); ++i) EXPECT_NE(once[i], before[i]) << i;
  IEInvertBitmapBits(&b);
  EXPECT_EQ(Bits(b), before);
  Byte buf[3] = {0x00, 0xF0, 0x81};
  IEInvertBuffer(buf, 2);
  EXPECT_EQ(buf[0], 0xFF);
  EXPECT_EQ(buf[1], 0x0F);
  EXPECT_EQ(buf[2], 0x81);
}

TEST(BitRows, OneBitPlatformBitmapExpandsWithSetBitsWhite) {
  auto* src = new TBitmap;
  src->SetPixelFormat(pf1bit);
  src->SetSize(11, 3);
  // A colour table that reads set bits as black must not matter.
  src->SetColorTableEntry(0, RGBQUAD{255, 255, 255, 0});
  src->SetColorTableEntry(1, RGBQUAD{0, 0, 0, 0});
  static_cast<Byte*>(src->ScanLine(0))[0] = 0x81;
  static_cast<Byte*>(src->ScanLine(0))[1] = 0x20;
  static_cast<Byte*>(src->ScanLine(2))[0] = 0x00;
  static_cast<Byte*>(src->ScanLine(2))[1] = 0x00;
  auto* dst = new TBitmap;
  std::atomic<bool> abort{false};
  TIEProgressRec none(abort);
  IEConvert1BitTBitmapTo24(src, dst, none);
  ASSERT_EQ(dst->PixelFormat(), pf24bit);
  ASSERT_EQ(dst->Width(), 11);
  ASSERT_EQ(dst->Height(), 3);
  const Byte* r = static_cast<const Byte*>(dst->ScanLine(0));
  for (int x = 0; x < 11; ++x) EXPECT_EQ(r[3 * x + 1], (x == 0 || x == 7 || x == 10) ? 255 : 0) << x;
  const Byte* r2 = static_cast<const Byte*>(dst->ScanLine(2));
  for (int x = 0; x < 11; ++x) EXPECT_EQ(r2[3 * x], 0) << x;
  delete src;
  delete dst;
}

// ---------------------------------------------------------------------------
// Shared tables

TEST(Tables, ExpansionTableHoldsTheEightPixelsOfEachByte) {
  for (int b = 0; b < 256; ++b)
    for (int i = 0; i < 24; ++i) ASSERT_EQ(IE1BitExpandTable[b][i], ((b << (i / 3)) & 0x80) ? 255 : 0) << b << "," << i;
}

TEST(Tables, PredefinedFiltersAreBuiltFreedAndRebuilt) {
  IEBuildPredefinedFilters();
  const TIEFilter3x3* blur = IEGetPredefinedFilter(IEPredefinedFilterBlur);
  ASSERT_NE(blur, nullptr);
  for (auto& row : blur->Values)
    for (int32_t w : row) EXPECT_EQ(w, 1);
  EXPECT_EQ(blur->Divisor, 9);
  EXPECT_EQ(IEGetPredefinedFilterName(1), "Blur");
  EXPECT_EQ(IEGetPredefinedFilterName(8), "Low Pass 2");
  EXPECT_EQ(IEGetPredefinedFilter(2)->Values[1][1], -8);
  EXPECT_EQ(IEGetPredefinedFilter(0)->Divisor, 0);
  EXPECT_EQ(IEGetPredefinedFilter(9), nullptr);
  EXPECT_EQ(IEGetPredefinedFilter(-1), nullptr);
  IEFreePredefinedFilters();
  EXPECT_EQ(IEGetPredefinedFilter(1), nullptr);
  IEBuildPredefinedFilters();
  ASSERT_NE(IEGetPredefinedFilter(1), nullptr);
  EXPECT_EQ(IEGetPredefinedFilter(1)->Divisor, 9);
}

}  // namespace

}  // namespace test_bitrows_tests
