// Colour-space formulas: CIELab against scikit-image, the CMYK and YCbCr
// formulas at their ends, and the layout-to-layout row converter.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "imaging/core/color/iecolorformat.h"
#include "tests/imaging/core/color/conv_support.h"

namespace test_colorformat_tests {

namespace {

struct TConvSource {
  TIEPixelFormat Format;
  const char* Pixels;
  const char* Palette;
};
struct TConvGolden {
  TIEPixelFormat Src, Dst;
  Byte Method;
  const char* Pixels;
  const char* Palette;
};
struct TLabReference {
  Integer In[3];
  double Out[3];
};

#include "tests/imaging/core/color/conv_golden.inc"

// The stored bytes truncate toward zero, so they lie within one of the
// reference (which scikit-image computes with the same D65 white).
TEST(CIELab, ForwardIsWithinOneOfScikitImage) {
  for (const TLabReference& r : kLabForward) {
    TCIELab lab = IERGBToCIELab(TRGB{Byte(r.In[2]), Byte(r.In[1]), Byte(r.In[0])});
    SCOPED_TRACE(::testing::Message() << "RGB " << r.In[0] << "," << r.In[1] << "," << r.In[2]);
    EXPECT_NEAR(lab.l, r.Out[0], 1.0);
    EXPECT_NEAR(lab.a, r.Out[1], 1.0);
    EXPECT_NEAR(lab.b, r.Out[2], 1.0);
  }
}

TEST(CIELab, InverseIsWithinOneOfScikitImage) {
  for (const TLabReference& r : kLabInverse) {
    TRGB c = IECIELabToRGB(TCIELab{Byte(r.In[0]), int8_t(r.In[1]), int8_t(r.In[2])});
    SCOPED_TRACE(::testing::Message() << "Lab " << r.In[0] << "," << r.In[1] << "," << r.In[2]);
    EXPECT_NEAR(c.r, r.Out[0], 1.0);
    EXPECT_NEAR(c.g, r.Out[1], 1.0);
    EXPECT_NEAR(c.b, r.Out[2], 1.0);
  }
}

TEST(CIELab, EndsAndGrey) {
  TCIELab black = IERGBToCIELab(TRGB{0, 0, 0});
  EXPECT_EQ(black.l, 0);
  EXPECT_EQ(black.a, 0);
  EXPECT_EQ(black.b, 0);
  TCIELab grey = IERGBToCIELab(TRGB{128, 128, 128});
  EXPECT_EQ(grey.a, 0);
  EXPECT_EQ(grey.b, 0);
  TRGB white = IECIELabToRGB(TCIELab{255, 0, 0});
  EXPECT_EQ(white.r + white.g + white.b, 3 * 255);
  TRGB dark = IECIELabToRGB(TCIELab{0, 0, 0});
  EXPECT_EQ(dark.r + dark.g + dark.b, 0);
  // Far outside the gamut every channel still lands in 0..255.
  TRGB out = IECIELabToRGB(TCIELab{255, -128, 127});
  EXPECT_EQ(out.b, 0);
}

class CMYKFormulas : public ::testing::Test {
  TCMYKFormulasScope formulas;
};

TEST_F(CMYKFormulas, Ends) {
  TRGB c;
  IEConvertCMYKToRGB(TCMYK{255, 255, 255, 255}, c);
  EXPECT_EQ(c.r + c.g + c.b, 3 * 255);
  IEConvertCMYKToRGB(TCMYK{200, 100, 50, 0}, c);
  EXPECT_EQ(c.r + c.g + c.b, 0);
  IEConvertCMYKToRGB(TCMYK{255, 128, 0, 255}, c);
  EXPECT_EQ(c.r, 255);
  EXPECT_EQ(c.g, 128);
  EXPECT_EQ(c.b, 0);

  TCMYK k = IEConvertRGBToCMYK(TRGB{0, 0, 0});
  EXPECT_EQ((std::vector<int>{k.c, k.m, k.y, k.k}), (std::vector<int>{0, 0, 0, 1}));
  k = IEConvertRGBToCMYK(TRGB{0, 0, 255});
  EXPECT_EQ((std::vector<int>{k.c, k.m, k.y, k.k}), (std::vector<int>{255, 0, 0, 255}));
  k = IEConvertRGBToCMYK(TRGB{255, 255, 255});
  EXPECT_EQ((std::vector<int>{k.c, k.m, k.y, k.k}), (std::vector<int>{255, 255, 255, 255}));
}

TEST(YCbCrFormula, GreyAndClamping) {
  TRGB c;
  IEYCbCrToRGB(c, 16, 128, 128);
  EXPECT_EQ((std::vector<int>{c.r, c.g, c.b}), (std::vector<int>{16, 16, 16}));
  IEYCbCrToRGB(c, 255, 255, 255);
  EXPECT_EQ(c.r, 255);
  EXPECT_EQ(c.b, 255);
  EXPECT_EQ(c.g, 120);  // 255 - 0.34414 x 127 - 0.71414 x 127 = 120.6, truncated
  IEYCbCrToRGB(c, 0, 0, 0);
  EXPECT_EQ(c.r, 0);
  EXPECT_EQ(c.g, 135);  // 0.34414 x 128 + 0.71414 x 128
  EXPECT_EQ(c.b, 0);
}

// Each built-in pair on two pixels; pairs without a formula leave the
// target as it was, and the source is never written.
struct TLayoutCase {
  const char* name;
  Integer from, to;
  std::vector<Byte> in, out;  // out empty: nothing written
};
void PrintTo(const TLayoutCase& c, std::ostream* os) { *os << c.name; }

class ColorFormatLayouts : public ::testing::TestWithParam<TLayoutCase> {
  TCMYKFormulasScope formulas;  // the CMYK pairs show the formulas
};

TEST_P(ColorFormatLayouts, ConvertsTwoPixels) {
  const TLayoutCase& c = GetParam();
  std::vector<Byte> in = c.in, target(16, 0xEE);
  IEConvertColorFormat(in.data(), c.from, target.data(), c.to, 2, nullptr);
  EXPECT_EQ(in, c.in);
  if (c.out.empty()) {
    EXPECT_EQ(target, std::vector<Byte>(16, 0xEE));
  } else {
    EXPECT_EQ(std::vector<Byte>(target.begin(), target.begin() + c.out.size()), c.out);
    EXPECT_EQ(target[c.out.size()], 0xEE) << "wrote past the pixels";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, ColorFormatLayouts,
    ::testing::Values(
        TLayoutCase{"RGBToBGR", iecfRGB, iecfBGR, {1, 2, 3, 4, 5, 6}, {3, 2, 1, 6, 5, 4}},
        TLayoutCase{"BGRCopy", iecfBGR, iecfBGR, {1, 2, 3, 4, 5, 6}, {1, 2, 3, 4, 5, 6}},
        TLayoutCase{"BGRToCMYK", iecfBGR, iecfCMYK, {0, 0, 255, 0, 0, 0}, {255, 0, 0, 255, 0, 0, 0, 1}},
        TLayoutCase{"BGRToLab", iecfBGR, iecfCIELab, {0, 0, 0, 255, 255, 255}, {0, 0, 0, 255, 0, 0}},
        TLayoutCase{"BGRToGray", iecfBGR, iecfGray, {0, 0, 255, 255, 255, 255}, {53, 255}},
        TLayoutCase{"CMYKToBGR", iecfCMYK, iecfBGR, {255, 255, 255, 255, 255, 128, 0, 255}, {255, 255, 255, 0, 128, 255}},
        // Ink amounts: inverted first; the pixel is 6 bytes wide.
        TLayoutCase{"InkToBGR", iecfCMYKInk, iecfBGR, {0, 0, 0, 0, 9, 9, 0, 127, 255, 0, 9, 9}, {255, 255, 255, 0, 128, 255}},
        TLayoutCase{"LabToBGR", iecfCIELab, iecfBGR, {255, 0, 0, 0, 0, 0}, {255, 255, 255, 0, 0, 0}},
        TLayoutCase{"RGB48ToBGR", iecfRGB48, iecfBGR, {0x11, 0xAA, 0x22, 0xBB, 0x33, 0xCC, 0, 1, 0, 2, 0, 3}, {0xCC, 0xBB, 0xAA, 3, 2, 1}},
        TLayoutCase{"RGB48BigEndianToBGR", iecfRGB48BE, iecfBGR, {0xAA, 0x11, 0xBB, 0x22, 0xCC, 0x33, 1, 0, 2, 0, 3, 0}, {0xCC, 0xBB, 0xAA, 3, 2, 1}},
        TLayoutCase{"YCbCrToBGR", iecfYCbCr, iecfBGR, {16, 128, 128, 255, 128, 128}, {16, 16, 16, 255, 255, 255}},
        TLayoutCase{"GrayToBGRWritesNothing", iecfGray, iecfBGR, {1, 2, 3, 4, 5, 6}, {}},
        TLayoutCase{"RGBToCMYKWritesNothing", iecfRGB, iecfCMYK, {1, 2, 3, 4, 5, 6}, {}},
        TLayoutCase{"UnknownLayoutWritesNothing", 9, iecfBGR, {1, 2, 3, 4, 5, 6}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ColorFormat, RGBToBGRInPlace) {
  Byte px[6] = {1, 2, 3, 4, 5, 6};
  IEConvertColorFormat(px, iecfRGB, px, iecfBGR, 2, nullptr);
  EXPECT_EQ((std::vector<Byte>(px, px + 6)), (std::vector<Byte>{3, 2, 1, 6, 5, 4}));
}

}  // namespace

}  // namespace test_colorformat_tests
