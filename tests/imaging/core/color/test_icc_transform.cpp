// Colour transforms of profiles: the pixel layouts, the outputs that exist,
// whole-bitmap conversion, the row conversion of the codecs and the global
// CMYK/sRGB profiles, with transicc as the outside oracle.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "icc_test_util.h"
#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/color/iecolorformat.h"
#include "imaging/core/color/ieicc.h"
#include "imaging/io/ioparams.h"

namespace test_icc_transform_tests {

using namespace icctest;

namespace {

std::vector<Byte> SystemCMYK() {
  std::vector<Byte> b;
  CEReadSystemCMYKProfile(b);
  return b;
}

void Load(TIEICC& ICC, const std::vector<Byte>& Bytes) { ICC.LoadFromBuffer(Bytes.data(), Integer(Bytes.size())); }

// transicc's answer for each input line (perceptual intent, numbers as it
// prints them: 0..255 for RGB, percent for CMYK and L, signed a and b).
std::vector<std::vector<double>> Transicc(const std::string& In, const std::string& Out,
                                          const std::vector<std::vector<double>>& Values) {
  std::ostringstream text;
  for (const auto& v : Values) {
    for (double x : v) text << x << ' ';
    text << '\n';
  }
  const std::string s = text.str();
  TTempFile input("in.txt", std::vector<Byte>(s.begin(), s.end()));
  std::string out =
      Capture("transicc -n -t0 -i '" + In + "' -o '" + Out + "' < '" + input.Path() + "' 2>/dev/null");
  std::vector<std::vector<double>> result;
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream nums(line);
    std::vector<double> v;
    double x;
    while (nums >> x) v.push_back(x);
    if (!v.empty()) result.push_back(v);
  }
  return result;
}

double Clamp255(double v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

// Twenty stored CMYK pixels (255 = no ink): paper, inks, overprints, greys,
// rich black and mixed tones.
const std::vector<std::array<Byte, 4>> kCMYK20 = {
    {255, 255, 255, 255}, {0, 255, 255, 255},   {255, 0, 255, 255},   {255, 255, 0, 255},
    {255, 255, 255, 0},   {0, 0, 255, 255},     {255, 0, 0, 255},     {0, 255, 0, 255},
    {0, 0, 0, 0},         {128, 128, 128, 255}, {255, 255, 255, 128}, {200, 150, 100, 230},
    {30, 60, 90, 120},    {240, 10, 180, 250},  {100, 200, 20, 210},  {64, 64, 64, 64},
    {190, 220, 250, 40},  {5, 250, 128, 200},   {170, 85, 220, 180},  {250, 240, 230, 220}};

class ICCTest : public ::testing::Test {
 protected:
  void SetUp() override {
    savedEnable = IEEnableCMS;
    savedUse = IEUseCMYKProfile;
  }
  void TearDown() override {
    IEEnableCMS = savedEnable;
    IEUseCMYKProfile = savedUse;
  }
  bool savedEnable = false, savedUse = true;
};

}  // namespace

TEST_F(ICCTest, CMYKToSRGBMatchesTransicc) {
  ASSERT_TRUE(HaveTool("transicc")) << "transicc is needed (liblcms2-utils)";
  const std::vector<Byte> cmykBytes = SystemCMYK();
  ASSERT_FALSE(cmykBytes.empty()) << "a CMYK profile is needed (libgs-common)";
  TTempFile profileFile("cmyk.icc", cmykBytes);

  std::vector<std::vector<double>> percent;
  std::vector<Byte> stored, ink;  // layout 2 and layout 3 (6-byte step)
  for (const auto& c : kCMYK20) {
    std::vector<double> p;
    for (int k = 0; k < 4; ++k) {
      p.push_back((255 - c[k]) * 100.0 / 255.0);
      stored.push_back(c[k]);
    }
    percent.push_back(p);
    for (int k = 0; k < 4; ++k) ink.push_back(Byte(255 - c[k]));
    ink.push_back(0xEE);
    ink.push_back(0xEE);
  }
  const auto expected = Transicc(profileFile.Path(), "*sRGB", percent);
  ASSERT_EQ(expected.size(), kCMYK20.size());

  // The picture's own profile through a transform, the global profile of
  // the row conversion, and the ink-amount layout through the same.
  TIEICC cmyk, srgb;
  Load(cmyk, cmykBytes);
  srgb.LoadSRGB();
  std::vector<Byte> viaProfile(60), viaGlobal(60), viaInk(60);
  ASSERT_TRUE(cmyk.Transform(&srgb, 2, 1, 0, 0, stored.data(), viaProfile.data(), 20));
  IEUseCMYKProfile = true;
  ASSERT_TRUE(IEConvertColorFormatCMS(stored.data(), 2, viaGlobal.data(), 1, 20, nullptr));
  ASSERT_TRUE(IEConvertColorFormatCMS(ink.data(), 3, viaInk.data(), 1, 20, nullptr));
  for (size_t i = 0; i < 20; ++i) {
    SCOPED_TRACE(i);
    for (int ch = 0; ch < 3; ++ch) {
      const double want = Clamp255(expected[i][ch]);  // R, G, B
      const size_t at = 3 * i + (2 - ch);             // stored B, G, R
      EXPECT_NEAR(viaProfile[at], want, 1.0);
      EXPECT_NEAR(viaGlobal[at], want, 1.0);
      EXPECT_EQ(viaInk[at], viaGlobal[at]);
    }
  }
}

TEST_F(ICCTest, SRGBToCMYKMatchesTransicc) {
  ASSERT_TRUE(HaveTool("transicc")) << "transicc is needed (liblcms2-utils)";
  const std::vector<Byte> cmykBytes = SystemCMYK();
  ASSERT_FALSE(cmykBytes.empty());
  TTempFile profileFile("cmyk.icc", cmykBytes);
  const std::vector<std::array<Byte, 3>> rgb = {{255, 255, 255}, {0, 0, 0},     {255, 0, 0},    {0, 255, 0},
                                                {0, 0, 255},     {128, 128, 128}, {200, 120, 40}, {20, 90, 160}};
  std::vector<std::vector<double>> in;
  std::vector<TRGB> bgr;
  for (const auto& c : rgb) {
    in.push_back({double(c[0]), double(c[1]), double(c[2])});
    bgr.push_back(TRGB{c[2], c[1], c[0]});
  }
  const auto expected = Transicc("*sRGB", profileFile.Path(), in);
  ASSERT_EQ(expected.size(), rgb.size());
  IEUseCMYKProfile = true;
  std::vector<TCMYK> out(rgb.size());
  ASSERT_TRUE(IEProfileRGBToCMYK(bgr.data(), out.data(), Integer(out.size())));
  for (size_t i = 0; i < rgb.size(); ++i) {
    SCOPED_TRACE(i);
    const Byte got[4] = {out[i].c, out[i].m, out[i].y, out[i].k};
    for (int k = 0; k < 4; ++k) EXPECT_NEAR(255 - got[k], expected[i][k] * 2.55, 1.0);
  }
}

// CIELab pictures store a* and b* as signed bytes; a neutral grey must come
// out neutral, and a chromatic colour as transicc converts it.
TEST_F(ICCTest, LabInputKeepsNeutralsNeutral) {
  TIEICC lab, srgb;
  Load(lab, LabProfileBytes());
  ASSERT_TRUE(lab.IsValid());
  srgb.LoadSRGB();
  for (Byte l : {Byte(0), Byte(40), Byte(128), Byte(200), Byte(255)}) {
    SCOPED_TRACE(int(l));
    const Byte px[3] = {l, 0, 0};
    Byte out[3] = {};
    ASSERT_TRUE(lab.Transform(&srgb, 4, 1, 0, 0, px, out, 1));
    EXPECT_NEAR(out[0], out[1], 1);
    EXPECT_NEAR(out[1], out[2], 1);
  }
  const Byte white[3] = {255, 0, 0};
  Byte out[3] = {};
  ASSERT_TRUE(lab.Transform(&srgb, 4, 1, 0, 0, white, out, 1));
  EXPECT_GE(out[0], 254);

  ASSERT_TRUE(HaveTool("transicc")) << "transicc is needed (liblcms2-utils)";
  const int8_t a = 40, b = -20;
  const Byte colour[3] = {153, Byte(a), Byte(b)};  // L 60
  ASSERT_TRUE(lab.Transform(&srgb, 4, 1, 0, 0, colour, out, 1));
  const auto expected = Transicc("*Lab", "*sRGB", {{60.0, 40.0, -20.0}});
  ASSERT_EQ(expected.size(), 1u);
  EXPECT_NEAR(out[2], Clamp255(expected[0][0]), 1.0);
  EXPECT_NEAR(out[1], Clamp255(expected[0][1]), 1.0);
  EXPECT_NEAR(out[0], Clamp255(expected[0][2]), 1.0);
}

// One colour in every RGB layout: the byte orders and word orders feed the
// engine the same channels.
TEST_F(ICCTest, RGBLayoutsFeedTheSameColour) {
  const std::vector<Byte> srgbBytes = SRGBProfileBytes();
  TIEICC dest;
  dest.LoadSRGB();
  struct Case {
    Integer Layout;
    std::vector<Byte> Pixel;
  };
  // R 0x1234, G 0x80C0, B 0xF00F as words; the byte layouts carry the high bytes.
  const Case cases[] = {
      {0, {0x12, 0x80, 0xF0}},
      {1, {0xF0, 0x80, 0x12}},
      {8, {0x12, 0x80, 0xF0}},  // three plain channels through the same profile
      {6, {0x34, 0x12, 0xC0, 0x80, 0x0F, 0xF0}},
      {7, {0x12, 0x34, 0x80, 0xC0, 0xF0, 0x0F}},
  };
  std::vector<std::array<Byte, 3>> results;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Layout);
    TIEICC icc;
    Load(icc, srgbBytes);
    Byte out[3] = {};
    ASSERT_TRUE(icc.Transform(&dest, c.Layout, 1, 0, 0, c.Pixel.data(), out, 1));
    // sRGB to sRGB keeps the colour: B, G, R within one level.
    EXPECT_NEAR(out[0], 0xF0, 1);
    EXPECT_NEAR(out[1], 0x80, 1);
    EXPECT_NEAR(out[2], 0x12, 1);
    results.push_back({out[0], out[1], out[2]});
  }
  EXPECT_EQ(results[0], results[1]);
  EXPECT_EQ(results[0], results[2]);
  EXPECT_EQ(results[3], results[4]);  // the same words in either byte order

  // Stored CMYK and ink amounts are the same colour.
  TIEICC cmyk;
  Load(cmyk, SystemCMYK());
  ASSERT_TRUE(cmyk.IsValid());
  const Byte stored[4] = {200, 150, 100, 230};
  const Byte ink[6] = {55, 105, 155, 25, 0, 0};
  Byte a[3], b[3];
  ASSERT_TRUE(cmyk.Transform(&dest, 2, 1, 0, 0, stored, a, 1));
  ASSERT_TRUE(cmyk.Transform(&dest, 3, 1, 0, 0, ink, b, 1));
  EXPECT_EQ(std::vector<Byte>(a, a + 3), std::vector<Byte>(b, b + 3));

  // Grey pictures through a grey profile, where the system has one.
  std::vector<Byte> grey = ReadFileBytes("/usr/share/color/icc/ghostscript/sgray.icc");
  if (!grey.empty()) {
    TIEICC g;
    Load(g, grey);
    const Byte levels[3] = {0, 128, 255};
    Byte out[9];
    ASSERT_TRUE(g.Transform(&dest, 5, 1, 0, 0, levels, out, 3));
    for (int i = 0; i < 3; ++i) {
      EXPECT_NEAR(out[3 * i], out[3 * i + 1], 1);
      EXPECT_NEAR(out[3 * i + 1], out[3 * i + 2], 1);
    }
    EXPECT_LT(out[0], out[3]);
    EXPECT_LT(out[3], out[6]);
  }
}

TEST_F(ICCTest, ConversionInPlaceReadsEachChunkBeforeWriting) {
  TIEICC icc, dest;
  Load(icc, SRGBProfileBytes());
  dest.LoadSRGB();
  std::vector<Byte> px(3 * 1000), copy(3 * 1000);
  for (size_t i = 0; i < px.size(); ++i) px[i] = Byte(i * 7);
  ASSERT_TRUE(icc.Transform(&dest, 0, 1, 0, 0, px.data(), copy.data(), 1000));
  ASSERT_TRUE(icc.Transform(&dest, 0, 1, 0, 0, px.data(), px.data(), 1000));
  EXPECT_EQ(px, copy);
}

// Only BGR and stored CMYK are produced; every other output, unknown input
// codes and profiles that do not suit the layouts answer false and leave the
// target as it was.
TEST_F(ICCTest, UnsupportedLayoutsFailWithoutWriting) {
  TIEICC lab, srgb, cmyk;
  Load(lab, LabProfileBytes());
  srgb.LoadSRGB();
  Load(cmyk, SystemCMYK());
  struct Case {
    const char* Name;
    TIEICC* Source;
    Integer In, Out;
  };
  const Case cases[] = {
      {"to RGB", &lab, 4, 0},          {"to ink amounts", &lab, 4, 3}, {"to Lab", &lab, 4, 4},
      {"to grey", &lab, 4, 5},         {"to RGB48", &lab, 4, 6},       {"to RGB48 BE", &lab, 4, 7},
      {"to YCbCr", &lab, 4, 8},        {"to code 9", &lab, 4, 9},      {"to code -1", &lab, 4, -1},
      {"from code 9", &lab, 9, 1},     {"from code -1", &lab, -1, 1},
      {"RGB bytes into a CMYK profile", &cmyk, 1, 1},
      {"Lab bytes into an RGB profile", &srgb, 4, 1},
  };
  const Byte src[8] = {128, 0, 0, 128, 0, 0, 0, 0};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    std::array<Byte, 8> target;
    target.fill(0xA5);
    EXPECT_FALSE(c.Source->Transform(&srgb, c.In, c.Out, 0, 0, src, target.data(), 1));
    for (Byte b : target) EXPECT_EQ(b, 0xA5);
    EXPECT_FALSE(c.Source->HasTransform());
  }
  Byte out[3];
  EXPECT_FALSE(lab.Transform(nullptr, 4, 1, 0, 0, src, out, 1));
  EXPECT_FALSE(lab.Transform(&srgb, 4, 1, 0, 0, src, out, -1));
  EXPECT_FALSE(lab.Transform(&srgb, 4, 1, 0, 0, nullptr, out, 1));
  TIEICC empty;
  EXPECT_FALSE(empty.Transform(&srgb, 1, 1, 0, 0, src, out, 1));
}

// The transform is kept per argument set; a change of arguments or
// FreeTransform marks the profile applied, Clear resets it.
TEST_F(ICCTest, TransformIsKeptAndFreeingMarksApplied) {
  TIEICC icc, dest;
  Load(icc, SRGBProfileBytes());
  dest.LoadSRGB();
  const Byte px[3] = {10, 20, 30};
  Byte out[3];
  ASSERT_TRUE(icc.Transform(&dest, 1, 1, 0, 0, px, out, 1));
  EXPECT_TRUE(icc.HasTransform());
  EXPECT_FALSE(icc.Applied());
  ASSERT_TRUE(icc.Transform(&dest, 1, 1, 0, 0, px, out, 1));
  EXPECT_FALSE(icc.Applied());
  ASSERT_TRUE(icc.Transform(&dest, 0, 1, 0, 0, px, out, 1));  // other layout: rebuilt
  EXPECT_TRUE(icc.Applied());
  EXPECT_TRUE(icc.HasTransform());
  icc.FreeTransform();
  EXPECT_FALSE(icc.HasTransform());
  EXPECT_TRUE(icc.Applied());
  icc.Clear();
  EXPECT_FALSE(icc.Applied());
}

TEST_F(ICCTest, ConvertBitmapReplacesPixelsOrLeavesThemAlone) {
  const std::vector<Byte> cmykBytes = SystemCMYK();
  TIEICC srgb;
  srgb.LoadSRGB();

  // CMYK to ie24RGB: every pixel as Transform gives it, the alpha channel kept.
  TIEICC cmyk;
  Load(cmyk, cmykBytes);
  TIEBitmap bmp(5, 3, ieCMYK);
  std::vector<Byte> rows;
  for (Integer y = 0; y < 3; ++y) {
    auto* p = static_cast<Byte*>(bmp.GetScanline(y));
    for (Integer i = 0; i < 20; ++i) p[i] = Byte(17 * y + 13 * i);
    rows.insert(rows.end(), p, p + 20);
  }
  bmp.SetAlpha(2, 1, 77);
  TIEICC reference;
  Load(reference, cmykBytes);
  std::vector<Byte> expected(45);
  ASSERT_TRUE(reference.Transform(&srgb, 2, 1, 0, 0, rows.data(), expected.data(), 15));
  ASSERT_TRUE(cmyk.ConvertBitmap(&bmp, ie24RGB, &srgb));
  EXPECT_EQ(bmp.PixelFormat(), ie24RGB);
  ASSERT_EQ(bmp.Width(), 5);
  ASSERT_EQ(bmp.Height(), 3);
  for (Integer y = 0; y < 3; ++y) {
    auto* p = static_cast<Byte*>(bmp.GetScanline(y));
    EXPECT_EQ(std::vector<Byte>(p, p + 15), std::vector<Byte>(expected.begin() + 15 * y, expected.begin() + 15 * y + 15));
  }
  EXPECT_EQ(bmp.GetAlpha(2, 1), 77);
  EXPECT_TRUE(cmyk.Applied());
  EXPECT_FALSE(cmyk.HasTransform());

  // ie24RGB to ieCMYK through the same pair the other way.
  TIEICC srgbSource;
  Load(srgbSource, SRGBProfileBytes());
  TIEICC cmykDest;
  Load(cmykDest, cmykBytes);
  ASSERT_TRUE(srgbSource.ConvertBitmap(&bmp, ieCMYK, &cmykDest));
  EXPECT_EQ(bmp.PixelFormat(), ieCMYK);

  // Targets without an output, and sources without a layout: false, with
  // the picture, its format and the profile's state unchanged.
  struct Case {
    const char* Name;
    TIEPixelFormat Source, Target;
  };
  const Case cases[] = {{"to ie8g", ie24RGB, ie8g},        {"to ieRGB48", ie24RGB, ieRGB48},
                        {"to ieCIELab", ie24RGB, ieCIELab}, {"to ie1g", ie24RGB, ie1g},
                        {"from ie8p", ie8p, ie24RGB},      {"from ie1g", ie1g, ie24RGB}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TIEICC profile;
    Load(profile, SRGBProfileBytes());
    TIEBitmap pic(4, 2, c.Source);
    for (Integer y = 0; y < 2; ++y) {
      auto* p = static_cast<Byte*>(pic.GetScanline(y));
      for (Integer i = 0; i < pic.RowLen(); ++i) p[i] = Byte(31 * y + 7 * i + 1);
    }
    std::vector<Byte> before;
    for (Integer y = 0; y < 2; ++y) {
      auto* p = static_cast<Byte*>(pic.GetScanline(y));
      before.insert(before.end(), p, p + pic.RowLen());
    }
    EXPECT_FALSE(profile.ConvertBitmap(&pic, c.Target, &srgb));
    EXPECT_EQ(pic.PixelFormat(), c.Source);
    std::vector<Byte> after;
    for (Integer y = 0; y < 2; ++y) {
      auto* p = static_cast<Byte*>(pic.GetScanline(y));
      after.insert(after.end(), p, p + pic.RowLen());
    }
    EXPECT_EQ(after, before);
    EXPECT_FALSE(profile.Applied());
  }

  // A profile that does not suit the picture fails on its first row.
  TIEICC lab;
  Load(lab, LabProfileBytes());
  TIEBitmap rgb(3, 3, ie24RGB);
  rgb.Fill(0x336699);
  EXPECT_FALSE(lab.ConvertBitmap(&rgb, ie24RGB, &srgb));
  EXPECT_FALSE(lab.Applied());
  TRGB c;
  rgb.GetPixelRGB(1, 1, c);
  EXPECT_EQ(c.r, 0x99);
  EXPECT_EQ(c.b, 0x33);
}

// The codecs' row conversion through the picture's profiles.
TEST_F(ICCTest, RowConversionUsesThePictureProfiles) {
  const std::vector<Byte> labBytes = LabProfileBytes();
  const Byte px[6] = {128, 0, 0, 200, 30, Byte(-30)};
  Byte reference[6];
  {
    TIEICC lab, srgb;
    Load(lab, labBytes);
    srgb.LoadSRGB();
    ASSERT_TRUE(lab.Transform(&srgb, 4, 1, 0, 0, px, reference, 2));
  }

  TIOParamsVals params(nullptr);
  params.INPUTICCPROFILE = TIEICCPtr(new TIEICC, TIEICCDeleter{&IEDeleteICC});
  Load(*params.INPUTICCPROFILE, labBytes);
  Byte out[6];

  IEEnableCMS = false;
  std::fill(std::begin(out), std::end(out), 0xA5);
  EXPECT_FALSE(IEConvertColorFormatCMS(px, 4, out, 1, 2, &params));
  EXPECT_EQ(out[0], 0xA5);

  IEEnableCMS = true;
  EXPECT_FALSE(IEConvertColorFormatCMS(px, 4, out, 1, 2, nullptr));
  ASSERT_TRUE(IEConvertColorFormatCMS(px, 4, out, 1, 2, &params));
  EXPECT_EQ(std::vector<Byte>(out, out + 6), std::vector<Byte>(reference, reference + 6));
  ASSERT_NE(params.OUTPUTICCPROFILE, nullptr);  // made with sRGB on first use
  EXPECT_TRUE(params.OUTPUTICCPROFILE->IsValid());
  EXPECT_EQ(params.OUTPUTICCPROFILE->RawLength(), 0);

  // An output layout that does not exist writes nothing and answers false,
  // so the formulas take over.
  std::fill(std::begin(out), std::end(out), 0xA5);
  EXPECT_FALSE(IEConvertColorFormatCMS(px, 4, out, 5, 2, &params));
  EXPECT_EQ(out[0], 0xA5);

  // Once applied, the profile is not applied again.
  params.INPUTICCPROFILE->FreeTransform();
  EXPECT_FALSE(IEConvertColorFormatCMS(px, 4, out, 1, 2, &params));

  // The default profile stands in for a missing or invalid own profile.
  const Byte junk[200] = {};
  params.INPUTICCPROFILE->LoadFromBuffer(junk, sizeof junk);
  params.DEFAULTICCPROFILE = TIEICCPtr(new TIEICC, TIEICCDeleter{&IEDeleteICC});
  Load(*params.DEFAULTICCPROFILE, labBytes);
  ASSERT_TRUE(IEConvertColorFormatCMS(px, 4, out, 1, 2, &params));
  EXPECT_EQ(std::vector<Byte>(out, out + 6), std::vector<Byte>(reference, reference + 6));
  params.INPUTICCPROFILE.reset();
  params.DEFAULTICCPROFILE->FreeTransform();
  params.DEFAULTICCPROFILE->Clear();
  Load(*params.DEFAULTICCPROFILE, labBytes);
  EXPECT_TRUE(IEConvertColorFormatCMS(px, 4, out, 1, 2, &params));

  // A valid own profile wins over the default one: an sRGB own profile does
  // not take Lab bytes, so nothing is converted.
  params.INPUTICCPROFILE = TIEICCPtr(new TIEICC, TIEICCDeleter{&IEDeleteICC});
  Load(*params.INPUTICCPROFILE, SRGBProfileBytes());
  EXPECT_FALSE(IEConvertColorFormatCMS(px, 4, out, 1, 2, &params));

  // The hook starts as the row converter.
  EXPECT_EQ(IEColorConversionHook, &IEConvertColorFormat);
}

TEST_F(ICCTest, GlobalProfilesAreMadeOnceAndCanBeTurnedOff) {
  ASSERT_TRUE(IEInitCMYKProfiles()) << "a CMYK profile is needed (libgs-common)";
  EXPECT_TRUE(IEInitCMYKProfiles());
  EXPECT_TRUE(IELoadMSCMS());
  const TIEICC* cmyk = IECMYKProfile();
  ASSERT_NE(cmyk, nullptr);
  EXPECT_EQ(cmyk, IECMYKProfile());
  EXPECT_TRUE(cmyk->IsValid());
  EXPECT_TRUE(cmyk->HasTransform());
  ASSERT_NE(IESRGBProfile(), nullptr);
  EXPECT_TRUE(IESRGBProfile()->HasTransform());

  // Paper is white, full black ink is dark.
  const Byte paperAndBlack[8] = {255, 255, 255, 255, 255, 255, 255, 0};
  TRGB out[2];
  IEUseCMYKProfile = true;
  ASSERT_TRUE(IEProfileCMYKToRGB(paperAndBlack, 2, out, 2));
  EXPECT_GE(out[0].r, 250);
  EXPECT_GE(out[0].g, 250);
  EXPECT_GE(out[0].b, 250);
  EXPECT_LE(out[1].r, 70);

  // Switched off, the profiles are left alone and the formulas serve.
  IEUseCMYKProfile = false;
  TRGB untouched[2] = {{1, 2, 3}, {4, 5, 6}};
  EXPECT_FALSE(IEProfileCMYKToRGB(paperAndBlack, 2, untouched, 2));
  EXPECT_FALSE(IEConvertColorFormatCMS(paperAndBlack, 2, untouched, 1, 2, nullptr));
  EXPECT_EQ(untouched[0].b, 1);
  TCMYK c{9, 9, 9, 9};
  EXPECT_FALSE(IEProfileRGBToCMYK(&out[0], &c, 1));
  EXPECT_EQ(c.k, 9);
  // Other pairs never go through the global profiles.
  IEUseCMYKProfile = true;
  EXPECT_FALSE(IEConvertColorFormatCMS(paperAndBlack, 2, untouched, 4, 2, nullptr));
  EXPECT_FALSE(IEConvertColorFormatCMS(paperAndBlack, 0, untouched, 1, 2, nullptr));
}

// Several decoding threads convert CMYK rows through the one shared
// transform at once; each must get what one thread alone gets.
TEST_F(ICCTest, ConcurrentCMYKRowsAgreeWithOneThread) {
  IEUseCMYKProfile = true;
  ASSERT_TRUE(IEInitCMYKProfiles());
  std::vector<Byte> row(4 * 3000);
  for (size_t i = 0; i < row.size(); ++i) row[i] = Byte(i * 31 + i / 7);
  std::vector<Byte> expected(3 * 3000);
  ASSERT_TRUE(IEConvertColorFormatCMS(row.data(), 2, expected.data(), 1, 3000, nullptr));
  std::atomic<int> mismatches{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      std::vector<Byte> out(expected.size());
      for (int rep = 0; rep < 20; ++rep) {
        if (!IEConvertColorFormatCMS(row.data(), 2, out.data(), 1, 3000, nullptr) || out != expected) ++mismatches;
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(mismatches.load(), 0);
}

// Each thread with its own picture profile, opened and used at once.
TEST_F(ICCTest, ProfilesOfSeveralPicturesConvertAtOnce) {
  const std::vector<Byte> cmykBytes = SystemCMYK();
  const Byte px[4] = {30, 60, 90, 120};
  Byte expected[3];
  {
    TIEICC a, s;
    Load(a, cmykBytes);
    s.LoadSRGB();
    ASSERT_TRUE(a.Transform(&s, 2, 1, 0, 0, px, expected, 1));
  }
  std::atomic<int> mismatches{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 3; ++t)
    threads.emplace_back([&] {
      TIEICC a, s;
      Load(a, cmykBytes);
      s.LoadSRGB();
      Byte out[3];
      if (!a.Transform(&s, 2, 1, 0, 0, px, out, 1) || std::memcmp(out, expected, 3) != 0) ++mismatches;
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(mismatches.load(), 0);
}

// The first conversions of a process race to make the global profiles; in a
// fresh process, threads released together must all get the same result.
TEST(ICCGlobalDeathTest, FirstUseFromSeveralThreadsAtOnce) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  auto body = [] {
    std::vector<Byte> row(4 * 500);
    for (size_t i = 0; i < row.size(); ++i) row[i] = Byte(i * 13);
    std::atomic<bool> go{false};
    std::vector<std::vector<Byte>> outs(4, std::vector<Byte>(3 * 500));
    std::atomic<int> failed{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
      threads.emplace_back([&, t] {
        while (!go.load()) std::this_thread::yield();
        if (!IEConvertColorFormatCMS(row.data(), 2, outs[t].data(), 1, 500, nullptr)) ++failed;
      });
    go = true;
    for (auto& t : threads) t.join();
    bool same = true;
    for (int t = 1; t < 4; ++t) same = same && outs[t] == outs[0];
    std::exit(failed.load() == 0 && same ? 0 : 1);
  };
  EXPECT_EXIT(body(), ::testing::ExitedWithCode(0), "");
}

// Without a usable CMYK profile on the system the global profiles stay
// absent for good and every CMYK conversion is left to the formulas.
TEST(ICCGlobalDeathTest, NoSystemProfileLeavesTheFormulas) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const std::string rgbProfile = std::string(GT_TEST_BINARY_DIR) + "/icc_not_cmyk.icc";
  {
    const std::vector<Byte> b = SRGBProfileBytes();
    std::ofstream(rgbProfile, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
  }
  for (const std::string& setting : {std::string(), std::string("/nonexistent/cmyk.icc"), rgbProfile}) {
    SCOPED_TRACE(setting);
    auto body = [&setting] {
      ::setenv("GT_CMYK_PROFILE", setting.c_str(), 1);
      bool ok = !IEInitCMYKProfiles() && !IEInitCMYKProfiles() && IECMYKProfile() == nullptr;
      const Byte cmyk[4] = {0, 0, 0, 0};
      Byte out[3] = {7, 7, 7};
      ok = ok && !IEConvertColorFormatCMS(cmyk, 2, out, 1, 1, nullptr) && out[0] == 7;
      TRGB bgr{1, 2, 3};
      TCMYK c{5, 5, 5, 5};
      ok = ok && !IEProfileRGBToCMYK(&bgr, &c, 1) && c.k == 5;
      std::exit(ok ? 0 : 1);
    };
    EXPECT_EXIT(body(), ::testing::ExitedWithCode(0), "");
  }
  std::remove(rgbProfile.c_str());
}

}  // namespace test_icc_transform_tests
