// PSD layers as the reader returns them: compared with psd-tools layer by
// layer, user masks as mask layers, hostile rectangles and channels, and a
// one-layer document's alpha placed on the merged picture.
#include <gtest/gtest.h>

#include "formats_test_util.h"
#include "imaging/formats/psd.h"
#include "imaging/view/ziduzuvview.h"
#include "test_psd_util.h"

namespace test_psd_layers_tests {

using namespace fmt_test;
using namespace psd_tests;

namespace psd_layer_tests {
namespace {

TEST(PsdLayers, ImageMagickLayersMatchPsdTools) {
  ASSERT_TRUE(HaveTool("convert"));
  TempDir dir("psd");
  const std::string f = dir.File("two.psd");
  ASSERT_EQ(Shell("convert -size 12x8 gradient:red-blue \\( -size 12x8 gradient:yellow-black \\) "
                  "\\( -size 5x3 gradient:white-green -repage +4+3 \\) -type TrueColor -depth 8 '" + f + "'"),
            0);
  for (bool native : {false, true}) {
    Read r;
    ReadPsd(r, gt_test::ReadFileBytes(f), true, native);
    ASSERT_FALSE(r.Pr.Aborting);
    // Layers were read, so the merged picture was not.
    EXPECT_TRUE(r.B.IsEmpty());
    ExpectSameLayers(f, Plain(r.L));
  }
  // Without layer loading a document of two layers gives the merged picture only.
  Read r;
  ReadPsd(r, gt_test::ReadFileBytes(f), false, false);
  EXPECT_TRUE(r.L.empty());
  EXPECT_EQ(ToRgb(&r.B), MagickRgb(f));
}

// A document of two RGB layers with alpha, stored under a negative count;
// the second is hidden, half opaque, clipped, has a user mask and a name
// whose length needs padding.
Bytes TwoLayerDocument(bool WithMask, int Compression2 = 0) {
  LayerSpec a;
  a.Top = 1;
  a.Left = 2;
  a.Bottom = 3;
  a.Right = 5;
  a.Name = "Back";
  a.Channels = {{-1, RawChannel({255, 128, 0, 10, 20, 30})},
                {0, RawChannel({1, 2, 3, 4, 5, 6})},
                {1, RawChannel({11, 12, 13, 14, 15, 16})},
                {2, RawChannel({21, 22, 23, 24, 25, 26})}};
  LayerSpec b;
  b.Top = -1;
  b.Left = -2;
  b.Bottom = 1;
  b.Right = 0;
  b.Opacity = 128;
  b.Clipping = 1;
  b.Flags = 2;
  b.Name = "ab";
  Bytes g = {40, 41, 42, 43};
  Bytes greenData = RawChannel(g);
  if (Compression2) greenData = Bytes{0, Byte(Compression2), 0x78, 0x9C, 1, 2, 3};
  b.Channels = {{-1, RawChannel({255, 255, 255, 0})},
                {0, RawChannel({30, 31, 32, 33})},
                {1, greenData},
                {2, RawChannel({50, 51, 52, 53})}};
  if (WithMask) {
    b.MaskData = MaskData(0, 0, 1, 3);
    b.Channels.push_back({-2, RawChannel({9, 99, 199})});
  }
  Doc d;
  d.W = 6;
  d.H = 4;
  d.Layers = LayerSection({a, b}, -2);
  return Build(d);
}

TEST(PsdLayers, HandBuiltLayersWithMaskMatchPsdTools) {
  TempDir dir("psd");
  const std::string f = dir.File("mask.psd");
  gt_test::WriteFileBytes(f, TwoLayerDocument(true));
  Read r;
  ReadPsd(r, gt_test::ReadFileBytes(f), true, false);
  ASSERT_FALSE(r.Pr.Aborting);
  ASSERT_EQ(r.L.size(), 3u);
  ExpectSameLayers(f, Plain(r.L));
  const TIELayer& back = *r.L[0];
  const TIELayer& top = *r.L[1];
  const TIELayer& mask = *r.L[2];
  EXPECT_EQ(back.Bitmap->PixelFormat(), ie24RGB);
  EXPECT_TRUE(back.Cropped);
  EXPECT_FALSE(top.Cropped);
  EXPECT_FALSE(top.IsMask);
  EXPECT_TRUE(mask.IsMask);
  EXPECT_FALSE(mask.Visible);
  EXPECT_EQ(mask.PosX, 0);
  EXPECT_EQ(mask.PosY, 0);
  ASSERT_EQ(mask.Bitmap->PixelFormat(), ie8g);
  ASSERT_EQ(mask.Bitmap->Width(), 3);
  ASSERT_EQ(mask.Bitmap->Height(), 1);
  const Byte* m = static_cast<const Byte*>(mask.Bitmap->GetScanline(0));
  EXPECT_EQ(Bytes(m, m + 3), (Bytes{9, 99, 199}));
}

TEST(PsdLayers, UnreadableChannelsAndRectanglesAreSkipped) {
  // A ZIP-compressed green channel stays blank, and the channel after it is
  // still read from where its own length puts it.
  for (int compression : {2, 3, 77}) {
    SCOPED_TRACE(compression);
    Read r;
    ReadPsd(r, TwoLayerDocument(false, compression), true, true);
    ASSERT_FALSE(r.Pr.Aborting);
    ASSERT_EQ(r.L.size(), 2u);
    const Byte* p = static_cast<const Byte*>(r.L[1]->Bitmap->GetScanline(0));
    EXPECT_EQ(Bytes(p, p + 6), (Bytes{50, 0, 30, 51, 0, 31}));
  }
  // Inverted, empty and oversized rectangles: those layers are dropped, the
  // others keep their pixels.
  struct Case {
    const char* Name;
    int32_t Top, Left, Bottom, Right;
  };
  const Case cases[] = {
      {"inverted", 5, 5, 2, 2},
      {"empty", 3, 3, 3, 9},
      {"huge", -2000000000, -2000000000, 2000000000, 2000000000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    LayerSpec bad;
    bad.Top = c.Top;
    bad.Left = c.Left;
    bad.Bottom = c.Bottom;
    bad.Right = c.Right;
    bad.Channels = {{0, RawChannel({1, 2, 3})}, {1, RawChannel({})}};
    LayerSpec good;
    good.Bottom = 1;
    good.Right = 2;
    good.Name = "good";
    good.Channels = {{0, RawChannel({7, 8})}, {1, RawChannel({9, 10})}, {2, RawChannel({11, 12})}};
    Doc d;
    d.Layers = LayerSection({bad, good}, 2);
    Read r;
    ReadPsd(r, Build(d), true, false);
    ASSERT_FALSE(r.Pr.Aborting);
    ASSERT_EQ(r.L.size(), 1u);
    EXPECT_EQ(r.L[0]->Name, "good");
    EXPECT_EQ(ToRgb(r.L[0]->Bitmap).Pixels, (Bytes{7, 9, 11, 8, 10, 12}));
  }
  // A channel claiming more than the section holds ends the read cleanly.
  LayerSpec liar;
  liar.Bottom = 1;
  liar.Right = 1;
  liar.Channels = {{0, RawChannel({1})}};
  Doc d;
  d.Layers = LayerSection({liar}, 1);
  Bytes f = Build(d);
  const size_t lengthAt = 26 + 4 + 4 + 4 + 4 + 2 + 16 + 2 + 2;  // first channel's length
  f[lengthAt] = 0x7F;
  Read r;
  ReadPsd(r, f, true, false);
  EXPECT_TRUE(r.Pr.Aborting);
}

TEST(PsdLayers, OneLayerGivesItsAlphaToThePicture) {
  // A 4 x 2 document with one 3 x 1 layer hanging off the left edge: its
  // alpha lands clipped at its place, the rest of the picture is clear.
  struct Case {
    const char* Name;
    int32_t Left, Top;
    Bytes Row0, Row1;
  };
  const Case cases[] = {
      {"at the origin, full size", 0, 0, {10, 20, 30, 40}, {50, 60, 70, 80}},
      {"off the left edge", -1, 0, {20, 30, 0, 0}, {0, 0, 0, 0}},
      {"off the top right", 2, -1, {0, 0, 50, 60}, {0, 0, 0, 0}},
      {"wholly outside", 9, 9, {0, 0, 0, 0}, {0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    LayerSpec l;
    l.Left = c.Left;
    l.Top = c.Top;
    const bool full = c.Left == 0 && c.Top == 0;
    l.Right = c.Left + (full ? 4 : 3);
    l.Bottom = c.Top + (full ? 2 : 1);
    const Bytes alpha = full ? Bytes{10, 20, 30, 40, 50, 60, 70, 80} : Bytes{10, 20, 30};
    if (!full && c.Top < 0) {
      // The one row of a layer one row above the picture never shows; make
      // it two rows so that the second one does.
      l.Bottom = c.Top + 2;
    }
    const size_t rows = size_t(l.Bottom - l.Top);
    Bytes a = alpha;
    if (!full) {
      a.clear();
      for (size_t y = 0; y < rows; ++y)
        for (size_t x = 0; x < 3; ++x) a.push_back(Byte(10 * (y * 4 + x + 1)));
    }
    const Bytes colour(a.size(), 100);
    l.Channels = {{-1, RawChannel(a)}, {0, RawChannel(colour)}, {1, RawChannel(colour)}, {2, RawChannel(colour)}};
    Doc d;
    d.W = 4;
    d.H = 2;
    d.Layers = LayerSection({l}, 1);
    const Bytes file = Build(d);
    TIEMemStream s(file.data(), int64_t(file.size()));
    TIEBitmap b;
    TIOParamsVals p(nullptr);
    Progress pr;
    IEPSDReadRoutine(&s, &b, p, pr.Rec, false);
    ASSERT_FALSE(pr.Aborting);
    ASSERT_TRUE(b.HasAlphaChannel());
    const Rgb got = ToRgb(&b);
    EXPECT_EQ(Bytes(got.Alpha.begin(), got.Alpha.begin() + 4), c.Row0);
    EXPECT_EQ(Bytes(got.Alpha.begin() + 4, got.Alpha.end()), c.Row1);
  }
}

}  // namespace
}  // namespace psd_layer_tests

}  // namespace test_psd_layers_tests
