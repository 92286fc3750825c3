// 3x3 filters and their files, the Gaussian blur and the morphological filter.
#include <gtest/gtest.h>

#include <climits>

#include "proc_test_util.h"
#include "tests/support/files.h"
#include "tests/support/pnm_bitmap.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace test_proc_filters_tests {

using namespace proc_test;

namespace {

struct FilterProc {
  FilterProc() { IEProcInitialize(); }
};

// A gray noise picture in 24 bits whose samples are multiples of Step.
void GrayNoise(TIEBitmap& B, Integer W, Integer H, Integer Step, uint32_t Seed = 3) {
  ASSERT_TRUE(B.Allocate(W, H, ie24RGB));
  gt_test::Lcg g(Seed);
  for (Integer y = 0; y < H; ++y)
    for (Integer x = 0; x < W; ++x) {
      const Byte v = static_cast<Byte>((g.Next() % (256 / Step)) * Step);
      B.SetPixelTriple(x, y, TRGB{v, v, v});
    }
}

bool ImageMagick(const gt_test::TempDir& Dir, TIEBitmap& In, const std::string& Args, TIEBitmap& Out) {
  if (!gt_test::WritePnm(Dir.File("in.ppm"), In)) return false;
  if (gt_test::Shell("convert " + Dir.File("in.ppm") + " " + Args + " " + Dir.File("out.ppm")) != 0) return false;
  gt_test::Pnm p;
  return gt_test::ReadPnm(Dir.File("out.ppm"), p) && gt_test::LoadPnm(p, Out);
}

TEST(ProcFilters, PredefinedFiltersAndConvolutionMatchImageMagick) {
  FilterProc init;
  TIEBitmap b;
  GrayNoise(b, 23, 17, 16);
  TIEBitmap original;
  original.Assign(&b);
  IEApplyFilter3x3(&b, *IEGetPredefinedFilter(0), nullptr, nullptr, 0, 0, 23, 17);
  EXPECT_EQ(Bytes(b), Bytes(original));
  ASSERT_TRUE(gt_test::HaveTool("convert")) << "ImageMagick missing (scripts/install-deps.sh installs it)";
  gt_test::TempDir dir("conv");
  // Low Pass 2 on samples that are multiples of 16: every sum divides exactly.
  TIEBitmap want;
  ASSERT_TRUE(ImageMagick(dir, original, "-define convolve:scale=! -morphology Convolve '3x3:1,2,1 2,4,2 1,2,1'", want));
  IEApplyFilter3x3(&b, *IEGetPredefinedFilter(8), nullptr, nullptr, 0, 0, 23, 17);
  EXPECT_EQ(Bytes(b), Bytes(want));
}

TEST(ProcFilters, SumsCountByMagnitudeAndNeverOverflow) {
  struct Case {
    int32_t Centre, Others, Divisor;
    Byte Pixel, Expect;
  } cases[] = {
      {-1, 0, 1, 60, 60},                    // -60 gives 60
      {1, 0, 0, 77, 77},                     // divisor 0 is 1
      {-8, 1, 1, 90, 0},                     // "Edges" on a uniform picture
      {INT32_MAX, INT32_MAX, 1, 255, 255},   // nine huge products
      {INT32_MIN, INT32_MIN, 1, 255, 255},   // the most negative weights
      {INT32_MIN, 0, -1, 255, 0},            // a negative divisor gives a negative result: 0
      {INT32_MIN, 0, INT32_MIN, 3, 0},
      {4, 0, 2, 10, 20},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.Centre << " " << c.Others << " / " << c.Divisor);
    TIEBitmap b;
    ASSERT_TRUE(b.Allocate(4, 3, ie24RGB));
    b.Fill(static_cast<double>(c.Pixel * 0x010101));
    TIEFilter3x3 f;
    for (auto& row : f.Values)
      for (auto& v : row) v = c.Others;
    f.Values[1][1] = c.Centre;
    f.Divisor = c.Divisor;
    IEApplyFilter3x3(&b, f, nullptr, nullptr, 0, 0, 4, 3);
    for (Integer y = 0; y < 3; ++y)
      for (Integer x = 0; x < 4; ++x) ASSERT_EQ(PixelBytes(b, x, y), (std::vector<Byte>(3, c.Expect)));
  }
}

TEST(ProcFilters, FilterFilesRoundTripAndBadFilesChangeNothing) {
  gt_test::TempDir dir("flt");
  TIEFilter3x3 f{{{1, -2, 3}, {-4, 5, -6}, {7, -8, INT32_MIN}}, 42};
  IESaveFilterToFile(Utf8ToWide(dir.File("a.flt")), f);
  auto bytes = gt_test::ReadFileBytes(dir.File("a.flt"));
  ASSERT_EQ(bytes.size(), 43u);
  EXPECT_EQ(bytes[0], 1);
  EXPECT_EQ(bytes[1], 3);
  EXPECT_EQ(bytes[2], 3);
  EXPECT_EQ(bytes[3 + 4], 0xFE);  // -2, little-endian
  TIEFilter3x3 g{};
  EXPECT_TRUE(IELoadFilterFromFile(Utf8ToWide(dir.File("a.flt")), g));
  EXPECT_EQ(std::memcmp(&f, &g, sizeof f), 0);

  const TIEFilter3x3 kept = *IEGetPredefinedFilter(3);
  for (auto [name, data] : {std::pair{"header.flt", std::vector<uint8_t>(43, 1)},
                            {"short.flt", std::vector<uint8_t>(bytes.begin(), bytes.begin() + 30)},
                            {"empty.flt", std::vector<uint8_t>()}}) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(gt_test::WriteFileBytes(dir.File(name), data));
    TIEFilter3x3 h = kept;
    EXPECT_FALSE(IELoadFilterFromFile(Utf8ToWide(dir.File(name)), h));
    EXPECT_EQ(std::memcmp(&h, &kept, sizeof h), 0);
  }
  TIEFilter3x3 h{};
  EXPECT_THROW(IELoadFilterFromFile(Utf8ToWide(dir.File("missing.flt")), h), Exception);
}

TEST(ProcFilters, GaussianBlurIdentitiesAndFlatPictures) {
  for (TIEPixelFormat pf : {ie8g, ie24RGB}) {
    TIEBitmap b;
    Noise(b, 30, 20, pf);
    TIEBitmap original;
    original.Assign(&b);
    IEGaussianBlur(&b, nullptr, nullptr, 0);
    IEGaussianBlur(&b, nullptr, nullptr, -2);
    IEGaussianBlur(&b, nullptr, nullptr, 0.1);
    EXPECT_EQ(Bytes(b), Bytes(original)) << int(pf);
    IEGaussianBlur(&b, nullptr, nullptr, 3);
    EXPECT_NE(Bytes(b), Bytes(original));
    TIEBitmap flat;
    ASSERT_TRUE(flat.Allocate(40, 9, pf));
    flat.Fill(pf == ie8g ? 123.0 : static_cast<double>(0x405060));
    const auto before = Bytes(flat);
    IEGaussianBlur(&flat, nullptr, nullptr, 5);
    EXPECT_EQ(Bytes(flat), before) << int(pf);
  }
  // The 8-bit rows agree with the library's own row convolution.
  TIEGaussKernel k;
  IEBuildGaussianKernel(k, 2.5);
  TIEBitmap row;
  Noise(row, 50, 1, ie24RGB);
  std::vector<Byte> grey(50), out8(50), out24(150), spread(150);
  for (int i = 0; i < 50; ++i) grey[size_t(i)] = static_cast<Byte*>(row.GetScanline(0))[3 * i];
  for (int i = 0; i < 150; ++i) spread[size_t(i)] = grey[size_t(i / 3)];
  IEConvolveRow8(k, grey.data(), out8.data(), 50);
  IEConvolveRow24(k, spread.data(), out24.data(), 50);
  for (int i = 0; i < 150; ++i) ASSERT_EQ(out24[size_t(i)], out8[size_t(i / 3)]) << i;
}

TEST(ProcFilters, MorphologyMatchesImageMagickOnGray) {
  ASSERT_TRUE(gt_test::HaveTool("convert")) << "ImageMagick missing (scripts/install-deps.sh installs it)";
  gt_test::TempDir dir("morph");
  TIEBitmap src;
  GrayNoise(src, 25, 19, 1);
  const char* im[] = {"Dilate", "Erode", "Open", "Close"};
  for (int kind = 0; kind < 4; ++kind)
    for (int radius : {1, 2}) {
      SCOPED_TRACE(testing::Message() << im[kind] << " radius " << radius);
      TIEBitmap want;
      ASSERT_TRUE(ImageMagick(dir, src, std::string("-morphology ") + im[kind] + " Square:" + std::to_string(radius),
                              want));
      TIEBitmap b;
      b.Assign(&src);
      IEMorphFilter(&b, radius, kind, nullptr, nullptr, 0, 0, 25, 19);
      EXPECT_EQ(Bytes(b), Bytes(want));
    }
}

TEST(ProcFilters, MorphologySpreadsOrRemovesASingleDarkPixel) {
  struct Case {
    Integer Kind;
    int Black;  // black pixels afterwards
  } cases[] = {{1, 9}, {3, 0}, {2, 1}, {0, 0}, {7, 1}};
  for (const Case& c : cases) {
    TIEBitmap b;
    ASSERT_TRUE(b.Allocate(9, 9, ie24RGB));
    b.Fill(static_cast<double>(0xFFFFFF));
    b.SetPixelTriple(4, 4, TRGB{0, 0, 0});
    IEMorphFilter(&b, 1, c.Kind, nullptr, nullptr, 0, 0, 9, 9);
    int black = 0;
    for (Integer y = 0; y < 9; ++y)
      for (Integer x = 0; x < 9; ++x) black += b.GetPixelTriple(x, y).g == 0;
    EXPECT_EQ(black, c.Black) << "kind " << c.Kind;
  }
}

}  // namespace

}  // namespace test_proc_filters_tests
