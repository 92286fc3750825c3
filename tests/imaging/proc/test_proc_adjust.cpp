// Colour adjustments, the histogram, the channel splits and the integer HSV model.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "proc_test_util.h"
#include "tests/support/pnm_bitmap.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace test_proc_adjust_tests {

using namespace proc_test;

namespace {

Cardinal Packed(Byte r, Byte g, Byte b) { return Cardinal(b) | Cardinal(g) << 8 | Cardinal(r) << 16; }

TEST(ProcAdjust, IntegerHsvModel) {
  struct ToHsv {
    Byte r, g, b;
    Integer h, s, v;
  } to[] = {
      {255, 0, 0, 0, 99, 99},  {0, 255, 0, 120, 99, 99}, {0, 0, 255, 240, 99, 99}, {0, 0, 0, 0, 0, 0},
      {255, 255, 255, 0, 0, 99}, {255, 0, 255, 300, 99, 99}, {128, 64, 64, 0, 49, 50},
  };
  for (const ToHsv& c : to) {
    Integer h, s, v;
    IERGBToHSV(h, s, v, Packed(c.r, c.g, c.b));
    EXPECT_EQ(h, c.h) << int(c.r) << "," << int(c.g) << "," << int(c.b);
    EXPECT_EQ(s, c.s);
    EXPECT_EQ(v, c.v);
  }
  struct ToRgb {
    Integer h, s, v;
    Byte r, g, b;
  } from[] = {
      {120, 99, 99, 0, 255, 0}, {0, 99, 99, 255, 0, 0}, {240, 99, 99, 0, 0, 255},
      {0, 0, 50, 129, 129, 129}, {60, 99, 99, 255, 255, 0}, {0, 200, 200, 255, 0, 0},
  };
  for (const ToRgb& c : from) {
    TRGB t;
    IEHSVToRGB(t, c.h, c.s, c.v);
    EXPECT_EQ(t.r, c.r) << c.h << "," << c.s << "," << c.v;
    EXPECT_EQ(t.g, c.g);
    EXPECT_EQ(t.b, c.b);
  }
  for (Integer h : {-30, -1, 360, 400}) {
    TRGB a, b;
    IEHSVToRGB(a, h, 80, 70);
    IEHSVToRGB(b, h < 0 ? h + 360 : h - 360, 80, 70);
    EXPECT_TRUE(a.r == b.r && a.g == b.g && a.b == b.b) << h;
  }
}

TEST(ProcAdjust, IntensityAndContrastTables) {
  TIEBitmap b;
  Noise(b, 16, 8, ie24RGB);
  TIEBitmap original;
  original.Assign(&b);
  IEAdjustIntensityRGB(&b, 300, -300, 5, nullptr, nullptr, 0, 0, 100, 100);
  for (Integer x = 0; x < 16; ++x) {
    TRGB t = b.GetPixelTriple(x, 3), w = original.GetPixelTriple(x, 3);
    ASSERT_EQ(t.r, 255);
    ASSERT_EQ(t.g, 0);
    ASSERT_EQ(t.b, std::min(255, w.b + 5));
  }
  b.Assign(&original);
  IEAdjustContrast(&b, 10, 20, 30, 0, nullptr, nullptr, 0, 0, 16, 8);
  EXPECT_EQ(Bytes(b), Bytes(original));
  IEAdjustContrast(&b, 10, 20, 30, -100, nullptr, nullptr, 0, 0, 16, 8);
  for (Integer y = 0; y < 8; ++y)
    for (Integer x = 0; x < 16; ++x) ASSERT_EQ(PixelBytes(b, x, y), (std::vector<Byte>{30, 20, 10}));
}

TEST(ProcAdjust, HueFullTurnChangesNothingBeyondHueZero) {
  TIEBitmap a, b;
  Noise(a, 12, 6, ie24RGB);
  b.Assign(&a);
  IEAdjustHSL(&a, 0, 0, 0, nullptr, nullptr, 0, 0, 12, 6);
  IEAdjustHSL(&b, 360, 0, 0, nullptr, nullptr, 0, 0, 12, 6);
  EXPECT_EQ(Bytes(a), Bytes(b));
}

TEST(ProcAdjust, GammaIsGuardedAndMatchesImageMagick) {
  TIEBitmap b;
  Noise(b, 20, 10, ie24RGB);
  TIEBitmap original;
  original.Assign(&b);
  for (double g : {1.0, 0.0, -1.0, -0.5}) {
    IEGammaCorrect(&b, 7, nullptr, nullptr, g);
    EXPECT_EQ(Bytes(b), Bytes(original)) << g;
  }
  Byte table[256] = {};
  EXPECT_FALSE(IEBuildGammaTable(0, table));
  IEGammaCorrect(&b, 1, nullptr, nullptr, 2.2);  // red only
  bool redChanged = false;
  for (Integer x = 0; x < 20; ++x) {
    TRGB t = b.GetPixelTriple(x, 2), w = original.GetPixelTriple(x, 2);
    redChanged |= t.r != w.r;
    ASSERT_EQ(t.g, w.g);
    ASSERT_EQ(t.b, w.b);
  }
  EXPECT_TRUE(redChanged);
  ASSERT_TRUE(gt_test::HaveTool("convert")) << "ImageMagick missing (scripts/install-deps.sh installs it)";
  gt_test::TempDir dir("gamma");
  ASSERT_TRUE(gt_test::WritePnm(dir.File("in.ppm"), original));
  ASSERT_EQ(gt_test::Shell("convert " + dir.File("in.ppm") + " -gamma 2.2 " + dir.File("out.ppm")), 0);
  gt_test::Pnm want;
  ASSERT_TRUE(gt_test::ReadPnm(dir.File("out.ppm"), want));
  TIEBitmap expected;
  ASSERT_TRUE(gt_test::LoadPnm(want, expected));
  b.Assign(&original);
  IEGammaCorrect(&b, 7, nullptr, nullptr, 2.2);
  auto got = Bytes(b), exp = Bytes(expected);
  ASSERT_EQ(got.size(), exp.size());
  for (size_t i = 0; i < got.size(); ++i) ASSERT_LE(std::abs(int(got[i]) - int(exp[i])), 1) << i;
}

TEST(ProcAdjust, HistogramMatchesPillowAndHonoursTheSelection) {
  TIEBitmap b;
  Noise(b, 64, 48, ie24RGB);
  auto p = TZiduzUvProc::CreateFromBitmap(&b);
  TIEHistogram h;
  p->GetHistogram(h);
  // Debian's interpreter carries Pillow; a user's own one may not.
  const std::string py = std::filesystem::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
  if (gt_test::Shell(py + " -c 'import PIL' >/dev/null 2>&1") == 0) {
    gt_test::TempDir dir("hist");
    ASSERT_TRUE(gt_test::WritePnm(dir.File("in.ppm"), b));
    std::string out = gt_test::Capture(py + " -c \"from PIL import Image; print(' '.join(map(str, Image.open('" +
                                       dir.File("in.ppm") + "').histogram())))\"");
    std::istringstream in(out);
    for (int c = 0; c < 3; ++c)
      for (int i = 0; i < 256; ++i) {
        Cardinal want = 0;
        in >> want;
        ASSERT_EQ(c == 0 ? h[i].r : c == 1 ? h[i].g : h[i].b, want) << c << " " << i;
      }
  }
  MaskedProc m;
  m.SetAttachedIEBitmap(&b);
  m.SelectEllipse(64, 48, 10, 5, 50, 40);
  m.GetHistogram(h);
  Cardinal inside = 0;
  for (Integer y = 0; y < 48; ++y)
    for (Integer x = 0; x < 64; ++x) inside += m.Selection->IsPointInside(x, y);
  Cardinal sums[4] = {0, 0, 0, 0};
  for (int i = 0; i < 256; ++i) {
    sums[0] += h[i].r;
    sums[1] += h[i].g;
    sums[2] += h[i].b;
    sums[3] += h[i].gray;
  }
  for (Cardinal s : sums) EXPECT_EQ(s, inside);
}

TEST(ProcAdjust, SplitsWriteThreeGrayPicturesAndLeaveThePicture) {
  TIEBitmap b;
  ASSERT_TRUE(b.Allocate(3, 1, ie24RGB));
  b.SetPixelTriple(0, 0, TRGB{0, 0, 255});    // red
  b.SetPixelTriple(1, 0, TRGB{0, 255, 0});    // green
  b.SetPixelTriple(2, 0, TRGB{255, 255, 255});
  const auto before = Bytes(b);
  auto p = TZiduzUvProc::CreateFromBitmap(&b);
  TIEBitmap r, g, bl, h, s, v;
  p->SplitToRGBChannels(&r, &g, &bl);
  p->SplitToHSVChannels(&h, &s, &v);
  EXPECT_EQ(Bytes(b), before);
  EXPECT_EQ(Bytes(r), (std::vector<Byte>{255, 255, 255, 0, 0, 0, 255, 255, 255}));
  EXPECT_EQ(Bytes(g), (std::vector<Byte>{0, 0, 0, 255, 255, 255, 255, 255, 255}));
  // Hue 120 of green: Trunc(120 / 359 * 255) = 85.
  EXPECT_EQ(Bytes(h), (std::vector<Byte>{0, 0, 0, 85, 85, 85, 0, 0, 0}));
  EXPECT_EQ(Bytes(s), (std::vector<Byte>{255, 255, 255, 255, 255, 255, 0, 0, 0}));
  EXPECT_EQ(Bytes(v), (std::vector<Byte>{255, 255, 255, 255, 255, 255, 255, 255, 255}));
}

TEST(ProcAdjust, IntensityOperationSavesItsCaption) {
  TIEBitmap b;
  Noise(b, 4, 4, ie24RGB);
  TZiduzUvProc p(nullptr);
  p.SetAutoUndo(true);
  p.SetAttachedIEBitmap(&b);
  p.IntensityRGBall(10, -5, 0);
  EXPECT_EQ(p.UndoCaptions(0), u"IntensityRGBall 10,-5,0");
}

}  // namespace

}  // namespace test_proc_adjust_tests
