// Canvas resize, resampling, mirroring, cropping and rounded corners.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

#include "proc_test_util.h"
#include "tests/support/pnm_bitmap.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace test_proc_geometry_tests {

using namespace proc_test;

namespace {

TEST(ProcGeometry, ResampleToResolvesEachSideAsTheArgumentsSay) {
  struct Case {
    Integer W, H, ExpectW, ExpectH;
  } cases[] = {
      {-1, 100, 200, 100}, {300, -1, 300, 150}, {0, 50, 400, 50},  {-1, 0, 400, 200},
      {0, -1, 400, 200},   {-7, 5, 7, 5},       {-1, 1, 2, 1},     {1, -1, 1, 1},
  };
  TIEBitmap b;
  Noise(b, 400, 200, ie24RGB);
  const auto before = Bytes(b);
  auto p = TZiduzUvProc::CreateFromBitmap(&b);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.W << "," << c.H);
    TIEBitmap t;
    p->ResampleTo(&t, c.W, c.H, rfTriangle);
    EXPECT_EQ(t.Width(), c.ExpectW);
    EXPECT_EQ(t.Height(), c.ExpectH);
  }
  TIEBitmap t;
  p->ResampleTo(&t, -1, -1, rfTriangle);
  EXPECT_TRUE(t.IsEmpty());
  EXPECT_EQ(Bytes(b), before);  // the picture itself never changes
}

// ImageMagick maps pixel centres onto each other and the resampler the
// outer pixels; enlarged by 1 pixel in 100 the two mappings stay within
// 1/200 of a pixel of each other, while the sample points still sweep every
// fraction of a pixel, where the kernels differ most on a noise picture. Odd
// source sizes (102 - 1 and 82 - 1 odd too) keep every sample point off the
// middle between two pixels, where the
// box kernel's choice is a matter of convention; samples in 64..191 keep the
// ringing kernels clear of clamping, which the passes apply in other orders.
TEST(ProcGeometry, EnlargementByEachKernelMatchesImageMagick) {
  ASSERT_TRUE(gt_test::HaveTool("convert")) << "ImageMagick missing (scripts/install-deps.sh installs it)";
  const struct {
    TResampleFilter Filter;
    const char* Name;
  } kernels[] = {
      {rfTriangle, "Triangle"}, {rfHermite, "Hermite"},   {rfBell, "Quadratic"}, {rfBSpline, "Cubic"},
      {rfLanczos3, "Lanczos"},  {rfMitchell, "Mitchell"}, {rfNearest, "Box"},    {rfLinear, "Triangle"},
  };
  const Integer W = 101, H = 81, NW = 102, NH = 82;
  // Near the edges the resampler repeats the outer pixels where ImageMagick
  // weighs only the pixels inside: only the pixels at least the widest
  // support away from the edges are compared.
  const Integer kEdge = 3;
  TIEBitmap src;
  ASSERT_TRUE(src.Allocate(W, H, ie24RGB));
  gt_test::Lcg g(19);
  for (Integer y = 0; y < H; ++y) {
    Byte* r = static_cast<Byte*>(src.GetScanline(y));
    for (Integer i = 0; i < W * 3; ++i) r[i] = static_cast<Byte>(64 + g.Next() % 128);
  }
  gt_test::TempDir dir("resample");
  ASSERT_TRUE(gt_test::WritePnm(dir.File("in.ppm"), src));
  for (const auto& k : kernels) {
    SCOPED_TRACE(k.Name);
    ASSERT_EQ(gt_test::Shell("convert " + dir.File("in.ppm") + " -filter " + k.Name + " -resize " +
                             std::to_string(NW) + "x" + std::to_string(NH) + "! -depth 8 " + dir.File("out.ppm")),
              0);
    gt_test::Pnm pnm;
    TIEBitmap want;
    ASSERT_TRUE(gt_test::ReadPnm(dir.File("out.ppm"), pnm) && gt_test::LoadPnm(pnm, want));
    TIEBitmap b;
    b.Assign(&src);
    auto p = TZiduzUvProc::CreateFromBitmap(&b);
    p->Resample(NW, NH, k.Filter);
    ASSERT_EQ(b.Width(), NW);
    ASSERT_EQ(b.Height(), NH);
    int worst = 0;
    for (Integer y = kEdge; y < NH - kEdge; ++y)
      for (Integer x = kEdge; x < NW - kEdge; ++x) {
        const auto got = PixelBytes(b, x, y), ref = PixelBytes(want, x, y);
        for (size_t c = 0; c < 3; ++c) worst = std::max(worst, std::abs(int(got[c]) - int(ref[c])));
      }
    EXPECT_LE(worst, 2);
  }
}

TEST(ProcGeometry, ResampleFinishesTwiceAndSameSizeDoesNothing) {
  TIEBitmap b;
  Noise(b, 30, 20, ie24RGB);
  b.GetAlphaChannel()->Fill(128);
  auto p = TZiduzUvProc::CreateFromBitmap(&b);
  Events ev;
  ev.Attach(*p);
  p->Resample(30, 20, rfLanczos3);
  EXPECT_EQ(ev.Finished, 0);
  p->Resample(60, -1, rfLanczos3);
  EXPECT_EQ(ev.Finished, 2);
  EXPECT_EQ(b.Width(), 60);
  EXPECT_EQ(b.Height(), 40);
  ASSERT_TRUE(b.HasAlphaChannel());
  EXPECT_EQ(b.GetAlphaChannel()->Width(), 60);
  EXPECT_EQ(b.GetAlpha(30, 20), 128);
}

TEST(ProcGeometry, ImageResizeKeepsTheOldAreaOpaqueAndFillsTheNewOne) {
  TIEBitmap b;
  Noise(b, 10, 6, ie24RGB);
  TIEBitmap original;
  original.Assign(&b);
  auto p = TZiduzUvProc::CreateFromBitmap(&b);
  p->SetBackground(0x0000FF);  // red
  Events ev;
  ev.Attach(*p);
  p->ImageResize(10, 6, 1, 1, 0);
  EXPECT_EQ(ev.Finished, 0);
  p->ImageResize(14, 10, 1, 1, 0);  // centred: 2 columns and 2 rows added each side
  ASSERT_EQ(b.Width(), 14);
  ASSERT_EQ(b.Height(), 10);
  EXPECT_EQ(ev.Finished, 1);
  for (Integer y = 0; y < 10; ++y)
    for (Integer x = 0; x < 14; ++x) {
      const bool old = x >= 2 && x < 12 && y >= 2 && y < 8;
      ASSERT_EQ(b.GetAlpha(x, y), old ? 255 : 0) << x << "," << y;
      if (old)
        ASSERT_EQ(PixelBytes(b, x, y), PixelBytes(original, x - 2, y - 2));
      else
        ASSERT_EQ(PixelBytes(b, x, y), (std::vector<Byte>{0, 0, 255}));
    }
}

TEST(ProcGeometry, CropKeepsOnlyThePartOfTheRectangleInsideThePicture) {
  struct Case {
    Integer x1, y1, x2, y2;
    bool Changes;
    Integer L, T, W, H;
  } cases[] = {
      {2, 1, 5, 4, true, 2, 1, 4, 4},     {-3, -2, 2, 2, true, 0, 0, 3, 3},  {7, 5, 40, 40, true, 7, 5, 3, 3},
      {0, 0, 9, 7, false, 0, 0, 10, 8},   {5, 5, 2, 2, false, 0, 0, 10, 8},  {20, 20, 30, 30, false, 0, 0, 10, 8},
      {-9, -9, -1, -1, false, 0, 0, 10, 8}, {-100, -100, 100, 100, false, 0, 0, 10, 8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.x1 << "," << c.y1 << "," << c.x2 << "," << c.y2);
    TIEBitmap b;
    Noise(b, 10, 8, ie24RGB);
    TIEBitmap* a = b.GetAlphaChannel();
    for (Integer y = 0; y < 8; ++y)
      for (Integer x = 0; x < 10; ++x) a->SetPixelByte(x, y, static_cast<Byte>(y * 10 + x));
    TIEBitmap original;
    original.Assign(&b);
    TZiduzUvProc p(nullptr);
    p.SetAutoUndo(true);
    p.SetAttachedIEBitmap(&b);
    p.Crop(c.x1, c.y1, c.x2, c.y2);
    EXPECT_EQ(p.GetUndoCount(), c.Changes ? 1 : 0);
    ASSERT_EQ(b.Width(), c.W);
    ASSERT_EQ(b.Height(), c.H);
    for (Integer y = 0; y < c.H; ++y)
      for (Integer x = 0; x < c.W; ++x) {
        ASSERT_EQ(PixelBytes(b, x, y), PixelBytes(original, x + c.L, y + c.T));
        ASSERT_EQ(b.GetAlpha(x, y), (y + c.T) * 10 + x + c.L);
      }
  }
}

TEST(ProcGeometry, CropTransparentBorderRemovesExactlyTheFrameWithoutUndo) {
  TIEBitmap b;
  Noise(b, 30, 20, ie24RGB);
  TIEBitmap original;
  original.Assign(&b);
  TIEBitmap* a = b.GetAlphaChannel();
  a->Fill(0);
  for (Integer y = 5; y < 15; ++y)
    for (Integer x = 5; x < 25; ++x) a->SetPixelByte(x, y, 200);
  TZiduzUvProc p(nullptr);
  p.SetAutoUndo(true);
  p.SetAttachedIEBitmap(&b);
  p.CropTransparentBorder();
  EXPECT_EQ(p.GetUndoCount(), 0);
  ASSERT_EQ(b.Width(), 20);
  ASSERT_EQ(b.Height(), 10);
  for (Integer y = 0; y < 10; ++y)
    for (Integer x = 0; x < 20; ++x) {
      ASSERT_EQ(PixelBytes(b, x, y), PixelBytes(original, x + 5, y + 5));
      ASSERT_EQ(b.GetAlpha(x, y), 200);
    }
  // Wholly transparent: nothing to keep, nothing changes.
  b.GetAlphaChannel()->Fill(0);
  p.CropTransparentBorder();
  EXPECT_EQ(b.Width(), 20);
  EXPECT_EQ(b.Height(), 10);
}

TEST(ProcGeometry, FlipMirrorsPictureAndAlphaAndUndoGivesThemBack) {
  TIEBitmap b;
  Noise(b, 7, 5, ie24RGB);
  b.GetAlphaChannel()->SetPixelByte(0, 0, 10);
  TIEBitmap original;
  original.Assign(&b);
  TZiduzUvProc p(nullptr);
  p.SetAutoUndo(true);
  p.SetAttachedIEBitmap(&b);
  p.Flip(0);
  EXPECT_EQ(PixelBytes(b, 6, 0), PixelBytes(original, 0, 0));
  EXPECT_EQ(b.GetAlpha(6, 0), 10);
  p.Undo();
  EXPECT_EQ(Bytes(b), Bytes(original));
  EXPECT_EQ(b.GetAlpha(0, 0), 10);
  EXPECT_EQ(b.GetAlpha(6, 0), 255);
}

TEST(ProcGeometry, RoundCornersClearsTheFourCornersOnly) {
  TIEBitmap b;
  Noise(b, 40, 30, ie24RGB);
  IERoundCorners(&b, 10, 10);
  ASSERT_TRUE(b.HasAlphaChannel());
  for (auto [x, y] : {std::pair{0, 0}, {39, 0}, {0, 29}, {39, 29}, {1, 1}, {38, 28}}) EXPECT_EQ(b.GetAlpha(x, y), 0);
  for (auto [x, y] : {std::pair{20, 15}, {20, 0}, {0, 15}, {39, 15}, {20, 29}, {9, 9}, {30, 20}})
    EXPECT_EQ(b.GetAlpha(x, y), 255) << x << "," << y;
  EXPECT_FALSE(b.GetAlphaChannel()->Full());
  // Symmetric: each corner clears as many pixels as the others.
  int count[4] = {0, 0, 0, 0};
  for (Integer y = 0; y < 30; ++y)
    for (Integer x = 0; x < 40; ++x)
      if (b.GetAlpha(x, y) == 0) ++count[(x >= 20) + 2 * (y >= 15)];
  EXPECT_GT(count[0], 10);
  EXPECT_EQ(count[0], count[1]);
  EXPECT_EQ(count[2], count[3]);
  TIEBitmap empty;
  IERoundCorners(&empty, 10, 10);
  IERoundCorners(&b, 0, 10);
  EXPECT_TRUE(empty.IsEmpty());
}

}  // namespace

}  // namespace test_proc_geometry_tests
