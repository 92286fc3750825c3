// Rotation: the choice of algorithm, canvas sizes, the alpha channel, and
// quarter turns against ImageMagick.
#include <gtest/gtest.h>

#include "proc_test_util.h"
#include "tests/support/pnm_bitmap.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace test_proc_rotate_tests {

using namespace proc_test;

namespace {

struct Path {
  bool Antialias;
  Byte Mode;
  const char* Name;
};
const Path kPaths[] = {{false, 0, "nearest"}, {true, 0, "shear"}, {true, 1, "bilinear"}, {true, 2, "bicubic"}};

TEST(ProcRotate, QuarterAndHalfTurnsMatchImageMagick) {
  ASSERT_TRUE(gt_test::HaveTool("convert")) << "ImageMagick missing (scripts/install-deps.sh installs it)";
  gt_test::TempDir dir("rot");
  TIEBitmap src;
  Noise(src, 13, 7, ie24RGB);
  ASSERT_TRUE(gt_test::WritePnm(dir.File("in.ppm"), src));
  // Our positive angles turn counter-clockwise, ImageMagick's clockwise.
  for (int angle : {90, -90, 180, 270, -180}) {
    ASSERT_EQ(gt_test::Shell("convert " + dir.File("in.ppm") + " -rotate " + std::to_string(-angle) + " " +
                             dir.File("want.ppm")),
              0);
    gt_test::Pnm want;
    ASSERT_TRUE(gt_test::ReadPnm(dir.File("want.ppm"), want));
    TIEBitmap expected;
    ASSERT_TRUE(gt_test::LoadPnm(want, expected));
    for (const Path& path : kPaths) {
      SCOPED_TRACE(testing::Message() << angle << " " << path.Name);
      TIEBitmap b;
      b.Assign(&src);
      auto p = TZiduzUvProc::CreateFromBitmap(&b);
      p->Rotate(angle, path.Antialias, path.Mode, 0);
      ASSERT_EQ(b.Width(), expected.Width());
      ASSERT_EQ(b.Height(), expected.Height());
      EXPECT_EQ(Bytes(b), Bytes(expected));
    }
  }
}

TEST(ProcRotate, TheCanvasGrowsToHoldTheTurnedPicture) {
  struct Case {
    double Angle;
    bool Antialias;
    Byte Mode;
    Integer W, H;
  } cases[] = {
      {30, false, 0, 112, 93},   // Round(100 cos + 50 sin) by Round(100 sin + 50 cos)
      {-30, false, 0, 112, 93},
      {30, true, 1, 112, 94},    // padded 106 x 56, edges without the +1, frame cut off
      {90, true, 1, 50, 100},    // a quarter turn takes the shear path
      {0, true, 1, 100, 50},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.Angle << " mode " << int(c.Mode));
    TIEBitmap b;
    Noise(b, 100, 50, ie24RGB);
    auto p = TZiduzUvProc::CreateFromBitmap(&b);
    p->Rotate(c.Angle, c.Antialias, c.Mode, 0);
    EXPECT_EQ(b.Width(), c.W);
    EXPECT_EQ(b.Height(), c.H);
  }
}

TEST(ProcRotate, AnglesBeyondAFullTurnActLikeTheirRemainder) {
  for (const Path& path : kPaths) {
    SCOPED_TRACE(path.Name);
    TIEBitmap a, b;
    Noise(a, 31, 17, ie24RGB);
    b.Assign(&a);
    TZiduzUvProc::CreateFromBitmap(&a)->Rotate(45, path.Antialias, path.Mode, 0xFF);
    TZiduzUvProc::CreateFromBitmap(&b)->Rotate(405, path.Antialias, path.Mode, 0xFF);
    ASSERT_EQ(a.Width(), b.Width());
    ASSERT_EQ(a.Height(), b.Height());
    EXPECT_EQ(Bytes(a), Bytes(b));
  }
}

TEST(ProcRotate, TheAlphaChannelTurnsAlongAndTheCornersBecomeTransparent) {
  for (const Path& path : kPaths)
    for (TIEPixelFormat pf : {ie24RGB, ie8g, ie1g}) {
      SCOPED_TRACE(testing::Message() << path.Name << " format " << int(pf));
      TIEBitmap b;
      Noise(b, 60, 40, pf);
      b.GetAlphaChannel()->Fill(255);
      b.GetAlphaChannel()->SetFull(true);
      auto p = TZiduzUvProc::CreateFromBitmap(&b);
      p->Rotate(10, path.Antialias, path.Mode, 0x00FF00);
      ASSERT_TRUE(b.HasAlphaChannel());
      TIEBitmap* a = b.GetAlphaChannel();
      ASSERT_EQ(a->Width(), b.Width());
      ASSERT_EQ(a->Height(), b.Height());
      const Integer W = b.Width(), H = b.Height();
      EXPECT_GT(W, 60);
      for (auto [x, y] : {std::pair{0, 0}, {W - 1, 0}, {0, H - 1}, {W - 1, H - 1}}) {
        EXPECT_EQ(a->GetPixelByte(x, y), 0) << x << "," << y;
        if (pf == ie24RGB) {
          EXPECT_EQ(PixelBytes(b, x, y), (std::vector<Byte>{0, 255, 0}));
        }
      }
      EXPECT_EQ(a->GetPixelByte(W / 2, H / 2), 255);
      EXPECT_FALSE(a->Full());
    }
}

TEST(ProcRotate, ZeroDoesNothingAndAFullTurnKeepsThePictureButSavesUndo) {
  TIEBitmap b;
  Noise(b, 9, 6, ie24RGB);
  const auto before = Bytes(b);
  TZiduzUvProc p(nullptr);
  p.SetAutoUndo(true);
  p.SetAttachedIEBitmap(&b);
  Events ev;
  ev.Attach(p);
  p.Rotate(0);
  EXPECT_EQ(p.GetUndoCount(), 0);
  EXPECT_EQ(ev.Finished, 0);
  p.Rotate(360, true, 0);
  EXPECT_EQ(p.GetUndoCount(), 1);
  EXPECT_EQ(ev.Finished, 1);
  EXPECT_EQ(b.Width(), 9);
  EXPECT_EQ(Bytes(b), before);
}

TEST(ProcRotate, BicubicRingingNextToABrightEdgeStaysDark) {
  // A black picture with one white column: the bicubic weights undershoot
  // beside the edge; those samples must stay black, not turn grey.
  TIEBitmap b;
  ASSERT_TRUE(b.Allocate(40, 40, ie8g));
  b.Fill(0);
  for (Integer y = 0; y < 40; ++y) b.SetPixelByte(20, y, 255);
  IERotateQuality8(&b, 0, 2, 5);
  TIEBitmap lin;
  ASSERT_TRUE(lin.Allocate(40, 40, ie8g));
  lin.Fill(0);
  for (Integer y = 0; y < 40; ++y) lin.SetPixelByte(20, y, 255);
  IERotateQuality8(&lin, 0, 1, 5);
  ASSERT_EQ(b.Width(), lin.Width());
  // Where bilinear sampling sees only black, bicubic must give black too
  // (rows near the column's ends, where two negative lobes meet, left out).
  int checked = 0;
  for (Integer y = b.Height() / 4; y < b.Height() * 3 / 4; ++y)
    for (Integer x = 0; x < b.Width(); ++x)
      if (lin.GetPixelByte(x, y) == 0) {
        ++checked;
        ASSERT_EQ(b.GetPixelByte(x, y), 0) << x << "," << y;
      }
  EXPECT_GT(checked, 500);
}

}  // namespace

}  // namespace test_proc_rotate_tests
