// Gray, negative, black and white, fewer colours, 24 bits; merge, fill,
// clear and transparent colours.
#include <gtest/gtest.h>

#include <set>

#include "proc_test_util.h"
#include "tests/support/pnm_bitmap.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace test_proc_color_tests {

using namespace proc_test;

namespace {

TEST(ProcColor, NegativeInvertsEveryExactFormatAndTwiceIsIdentity) {
  struct Case {
    TIEPixelFormat Format;
    Integer Width;
  } cases[] = {{ie1g, 16}, {ie1g, 64}, {ie1g, 13}, {ie8g, 9},  {ie16g, 7},
               {ie24RGB, 9}, {ie24RGB, 8}, {ieRGB48, 5}, {ie32RGB, 6}, {ie8p, 5}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "format " << int(c.Format) << " width " << c.Width);
    TIEBitmap b;
    Noise(b, c.Width, 4, c.Format);
    TIEBitmap original;
    original.Assign(&b);
    auto p = TZiduzUvProc::CreateFromBitmap(&b);
    p->Negative();
    if (c.Format == ie8p) {
      EXPECT_EQ(Bytes(b), Bytes(original));  // the indexes stay
      TRGB was, now;
      original.GetPaletteColor(17, was);
      b.GetPaletteColor(17, now);
      EXPECT_EQ(now.r, 255 - was.r);
      EXPECT_EQ(now.b, 255 - was.b);
    } else {
      auto inv = Bytes(b), was = Bytes(original);
      for (size_t i = 0; i < inv.size(); ++i) {
        if (c.Format == ie32RGB && i % 4 == 3)
          ASSERT_EQ(inv[i], was[i]) << i;  // the fourth byte is kept
        else if (c.Format == ie1g && (i % ((c.Width + 7) / 8)) == size_t(c.Width / 8) && c.Width % 8)
          ASSERT_EQ(inv[i] >> (8 - c.Width % 8), Byte(~was[i]) >> (8 - c.Width % 8)) << i;
        else
          ASSERT_EQ(inv[i], Byte(~was[i])) << i;
      }
    }
    p->Negative();
    EXPECT_EQ(Bytes(b), Bytes(original));
  }
}

TEST(ProcColor, NegativeMatchesImageMagick) {
  ASSERT_TRUE(gt_test::HaveTool("convert")) << "ImageMagick missing (scripts/install-deps.sh installs it)";
  gt_test::TempDir dir("neg");
  TIEBitmap b;
  Noise(b, 37, 11, ie24RGB);
  ASSERT_TRUE(gt_test::WritePnm(dir.File("in.ppm"), b));
  ASSERT_EQ(gt_test::Shell("convert " + dir.File("in.ppm") + " -negate " + dir.File("out.ppm")), 0);
  gt_test::Pnm want;
  ASSERT_TRUE(gt_test::ReadPnm(dir.File("out.ppm"), want));
  TIEBitmap expected;
  ASSERT_TRUE(gt_test::LoadPnm(want, expected));
  TZiduzUvProc::CreateFromBitmap(&b)->Negative();
  EXPECT_EQ(Bytes(b), Bytes(expected));
}

TEST(ProcColor, NegativeOfAPalettedSelectionInvertsOnlyTheSelection) {
  MaskedProc p;
  p.SetAutoUndo(true);
  TIEBitmap b;
  Noise(b, 30, 20, ie8p);
  TIEBitmap original;
  original.Assign(&b);
  p.SetAttachedIEBitmap(&b);
  p.SelectEllipse(30, 20, 4, 3, 25, 16);
  p.Negative();
  ASSERT_EQ(b.PixelFormat(), ie24RGB);
  for (Integer y = 0; y < 20; ++y)
    for (Integer x = 0; x < 30; ++x) {
      TRGB was;
      original.GetPaletteColor(original.GetPixelByte(x, y), was);
      TRGB now = b.GetPixelTriple(x, y);
      const bool in = p.Selection->IsPointInside(x, y);
      ASSERT_EQ(now.r, in ? 255 - was.r : was.r) << x << "," << y;
      ASSERT_EQ(now.g, in ? 255 - was.g : was.g) << x << "," << y;
    }
  p.Undo();
  EXPECT_EQ(b.PixelFormat(), ie8p);
  EXPECT_EQ(Bytes(b), Bytes(original));
}

TEST(ProcColor, GrayUsesTheLibraryWeightsInsideTheSelectionOnly) {
  MaskedProc p;
  TIEBitmap b;
  Noise(b, 24, 16, ie24RGB);
  TIEBitmap original;
  original.Assign(&b);
  p.SetAttachedIEBitmap(&b);
  p.SelectEllipse(24, 16, 2, 2, 20, 13);
  p.ConvertToGray();
  for (Integer y = 0; y < 16; ++y)
    for (Integer x = 0; x < 24; ++x) {
      TRGB w = original.GetPixelTriple(x, y), n = b.GetPixelTriple(x, y);
      if (p.Selection->IsPointInside(x, y)) {
        const Byte g = static_cast<Byte>((w.r * 21 + w.g * 71 + w.b * 8) / 100);
        ASSERT_TRUE(n.r == g && n.g == g && n.b == g) << x << "," << y;
      } else {
        ASSERT_EQ(PixelBytes(b, x, y), PixelBytes(original, x, y));
      }
    }
  // A paletted picture becomes 24-bit gray.
  TIEBitmap pal;
  Noise(pal, 5, 5, ie8p);
  TZiduzUvProc::CreateFromBitmap(&pal)->ConvertToGray();
  ASSERT_EQ(pal.PixelFormat(), ie24RGB);
  TRGB t = pal.GetPixelTriple(3, 2);
  EXPECT_TRUE(t.r == t.g && t.g == t.b);
}

TEST(ProcColor, ProgressOfAMaskedOperationEndsJustAboveOneHundredThenAtIt) {
  TIEBitmap b;
  Noise(b, 10, 4, ie24RGB);
  auto p = TZiduzUvProc::CreateFromBitmap(&b);
  Events ev;
  ev.Attach(*p);
  p->ConvertToGray();
  // Trunc(k * 100 / 3.5) for k = 1..4, then the closing 100.
  EXPECT_EQ(ev.Progress, (std::vector<Integer>{28, 57, 85, 114, 100}));
  EXPECT_EQ(ev.Finished, 1);
}

TEST(ProcColor, ConvertToPicksBlackAndWhiteQuantizingOrNothing) {
  struct Case {
    Integer Colors;
    TIEPixelFormat Format;
    size_t MaxDistinct;
    bool Unchanged;
  } cases[] = {{2, ie1g, 2, false}, {256, ie24RGB, 256, false}, {16, ie24RGB, 16, false}, {2000, ie24RGB, 0, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Colors);
    TIEBitmap b;
    Noise(b, 40, 30, ie24RGB);
    const auto before = Bytes(b);
    TZiduzUvProc p(nullptr);
    p.SetAutoUndo(true);
    p.SetAttachedIEBitmap(&b);
    Events ev;
    ev.Attach(p);
    p.ConvertTo(c.Colors, 0);
    EXPECT_EQ(b.PixelFormat(), c.Format);
    EXPECT_EQ(p.GetUndoCount(), 1);
    EXPECT_EQ(ev.Finished, 1);
    if (c.Unchanged) {
      EXPECT_EQ(Bytes(b), before);
    } else if (c.Format == ie24RGB) {
      std::set<uint32_t> colours;
      for (Integer y = 0; y < 30; ++y)
        for (Integer x = 0; x < 40; ++x) {
          TRGB t = b.GetPixelTriple(x, y);
          colours.insert(t.r << 16 | t.g << 8 | t.b);
        }
      EXPECT_LE(colours.size(), c.MaxDistinct);
      EXPECT_GT(colours.size(), 1u);
    }
  }
}

TEST(ProcColor, ConvertToPaletteWritesNoMoreEntriesThanAsked) {
  struct Case {
    Integer Colors;
    Integer Written;
    bool Undo;
  } cases[] = {{0, 0, false}, {-3, 0, false}, {1, 1, true}, {2, 2, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Colors);
    TIEBitmap b;
    Noise(b, 8, 8, ie24RGB);
    TZiduzUvProc p(nullptr);
    p.SetAutoUndo(true);
    p.SetAttachedIEBitmap(&b);
    TRGB pal[3] = {{7, 7, 7}, {7, 7, 7}, {7, 7, 7}};
    p.ConvertToPalette(c.Colors, pal, 1);
    EXPECT_EQ(p.GetUndoCount(), c.Undo ? 1 : 0);
    const TRGB want[2] = {{0, 0, 0}, {255, 255, 255}};
    for (int i = 0; i < 3; ++i) {
      const TRGB e = i < c.Written ? want[i] : TRGB{7, 7, 7};
      EXPECT_TRUE(pal[i].r == e.r && pal[i].g == e.g && pal[i].b == e.b) << i;
    }
  }
}

TEST(ProcColor, OneBitExpansionMatchesImageMagick) {
  ASSERT_TRUE(gt_test::HaveTool("convert")) << "ImageMagick missing (scripts/install-deps.sh installs it)";
  gt_test::TempDir dir("expand");
  for (Integer w : {8, 10, 64, 3}) {
    SCOPED_TRACE(w);
    TIEBitmap b;
    Noise(b, w, 5, ie1g, static_cast<uint32_t>(w));
    ASSERT_TRUE(gt_test::WritePnm(dir.File("in.pbm"), b));
    ASSERT_EQ(gt_test::Shell("convert " + dir.File("in.pbm") + " -type TrueColor -depth 8 ppm:" + dir.File("out.ppm")), 0);
    gt_test::Pnm want;
    ASSERT_TRUE(gt_test::ReadPnm(dir.File("out.ppm"), want));
    TIEBitmap expected;
    ASSERT_TRUE(gt_test::LoadPnm(want, expected));
    ASSERT_EQ(expected.PixelFormat(), ie24RGB);
    // A picture of its own, without a platform bitmap, is expanded.
    TZiduzUvProc::CreateFromBitmap(&b)->ConvertTo24Bit();
    ASSERT_EQ(b.PixelFormat(), ie24RGB);
    EXPECT_EQ(Bytes(b), Bytes(expected));
  }
  TIEBitmap rgb;
  Noise(rgb, 4, 4, ie24RGB);
  auto p = TZiduzUvProc::CreateFromBitmap(&rgb);
  Events ev;
  ev.Attach(*p);
  p->ConvertTo24Bit();
  EXPECT_EQ(ev.Finished, 0);
}

// ---------------------------------------------------------------------------

void Solid(TIEBitmap& B, Integer W, Integer H, TRGB C) {
  ASSERT_TRUE(B.Allocate(W, H, ie24RGB));
  for (Integer y = 0; y < H; ++y)
    for (Integer x = 0; x < W; ++x) B.SetPixelTriple(x, y, C);
}

TEST(ProcMerge, PercentIsTheShareOfThePicturesOwnPixels) {
  struct Case {
    Integer Percent;
    TRGB Expect;
  } cases[] = {
      {100, {30, 20, 10}},  // unchanged
      {0, {33, 22, 11}},    // the given picture
      {50, {32, 21, 10}},   // rounded means, halves to even: 31.5, 21, 10.5
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Percent);
    TIEBitmap b, s;
    Solid(b, 6, 4, TRGB{30, 20, 10});
    Solid(s, 6, 4, TRGB{33, 22, 11});
    TZiduzUvProc::CreateFromBitmap(&b)->Merge(&s, c.Percent);
    TRGB t = b.GetPixelTriple(5, 3);
    EXPECT_EQ(t.b, c.Expect.b);
    EXPECT_EQ(t.g, c.Expect.g);
    EXPECT_EQ(t.r, c.Expect.r);
  }
}

TEST(ProcMerge, TheGivenPictureIsStretchedAndConvertedNotMisread) {
  TIEBitmap b;
  Solid(b, 8, 4, TRGB{0, 0, 0});
  TIEBitmap g;  // 2 x 1 gray: 100 then 200
  ASSERT_TRUE(g.Allocate(2, 1, ie8g));
  g.SetPixelByte(0, 0, 100);
  g.SetPixelByte(1, 0, 200);
  TZiduzUvProc::CreateFromBitmap(&b)->Merge(&g, 0);
  for (Integer y = 0; y < 4; ++y)
    for (Integer x = 0; x < 8; ++x) {
      const Byte want = x < 4 ? 100 : 200;
      ASSERT_EQ(PixelBytes(b, x, y), (std::vector<Byte>{want, want, want})) << x << "," << y;
    }
}

TEST(ProcMerge, FillOfOneBitPicturesFollowsTheRedByte) {
  for (auto [colour, white] : {std::pair{0x0000FFu, false}, {0xFF0000u, true}, {0x00FFFFu, false}}) {
    TIEBitmap b;
    Noise(b, 13, 3, ie1g);
    TZiduzUvProc::CreateFromBitmap(&b)->Fill(colour);
    for (Integer x = 0; x < 13; ++x) {
      TRGB t;
      b.GetPixelAsRGB(x, 1, t);
      ASSERT_EQ(t.r, white ? 255 : 0) << std::hex << colour << " " << x;
    }
  }
}

TEST(ProcMerge, TransparentRangesIncludeBothEndsAndClearFull) {
  TIEBitmap b;
  Solid(b, 6, 2, TRGB{255, 255, 255});
  b.SetPixelTriple(0, 0, TRGB{254, 255, 255});
  b.SetPixelTriple(1, 0, TRGB{10, 20, 30});
  b.SetPixelTriple(2, 0, TRGB{11, 20, 30});
  auto p = TZiduzUvProc::CreateFromBitmap(&b);
  p->SetTransparentColors(0xFFFFFF, 0xFFFFFF, 0);
  EXPECT_EQ(b.GetAlpha(0, 0), 255);
  EXPECT_EQ(b.GetAlpha(3, 0), 0);
  EXPECT_EQ(b.GetAlpha(5, 1), 0);
  EXPECT_FALSE(b.GetAlphaChannel()->Full());
  // Packed triples: byte 0 blue. Range (10..11, 20, 30) takes both pixels.
  p->SetTransparentColors(0x1E140A, 0x1E140B, 77);
  EXPECT_EQ(b.GetAlpha(1, 0), 77);
  EXPECT_EQ(b.GetAlpha(2, 0), 77);
  EXPECT_EQ(b.GetAlpha(0, 0), 255);
}

TEST(ProcMerge, ClearIgnoresTheSelection) {
  MaskedProc p;
  TIEBitmap b;
  Noise(b, 10, 10, ie24RGB);
  p.SetAttachedIEBitmap(&b);
  p.SelectEllipse(10, 10, 2, 2, 6, 6);
  p.SetBackground(0x00FF00);
  p.Clear();
  for (Integer y = 0; y < 10; ++y)
    for (Integer x = 0; x < 10; ++x) ASSERT_EQ(PixelBytes(b, x, y), (std::vector<Byte>{0, 255, 0}));
}

}  // namespace

}  // namespace test_proc_color_tests
